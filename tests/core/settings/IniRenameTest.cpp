#include "settings/IniFile.h"

#include <gtest/gtest.h>

namespace zyfar {
namespace {

TEST(IniRenameSection, KeepsLinesPlaceAndLookups) {
    IniDocument doc = IniDocument::Parse("[A]\nx=1\n; note\n[B]\ny=2\n[C]\nz=3\n");
    ASSERT_TRUE(doc.RenameSection("b", "Q7"));
    EXPECT_EQ(doc.Serialize(), "[A]\nx=1\n; note\n[Q7]\ny=2\n[C]\nz=3\n");
    EXPECT_EQ(doc.Get("q7", "Y"), "2");
    EXPECT_FALSE(doc.HasSection("B"));
    // Later writes find the renamed section.
    ASSERT_TRUE(doc.Set("Q7", "w", "4"));
    EXPECT_EQ(doc.GetSection("Q7").size(), 2u);
}

TEST(IniRenameSection, RefusesWhatWouldLoseOrMergeSections) {
    IniDocument doc = IniDocument::Parse("[A]\nx=1\n[B]\ny=2\n");
    EXPECT_FALSE(doc.RenameSection("A", "b"));      // target exists (names ignore case)
    EXPECT_FALSE(doc.RenameSection("Missing", "Z"));
    EXPECT_FALSE(doc.RenameSection("A", "bad]name"));
    EXPECT_FALSE(doc.RenameSection("A", ""));
    EXPECT_EQ(doc.Serialize(), "[A]\nx=1\n[B]\ny=2\n");
}

TEST(IniRenameSection, ALaterDuplicateBecomesTheFirstOfItsName) {
    IniDocument doc = IniDocument::Parse("[D]\na=first\n[E]\n[D]\na=second\n");
    ASSERT_TRUE(doc.RenameSection("D", "F"));
    EXPECT_EQ(doc.Get("F", "a"), "first");
    EXPECT_EQ(doc.Get("D", "a"), "second");
    ASSERT_TRUE(doc.RenameSection("D", "G"));
    EXPECT_FALSE(doc.HasSection("D"));
    EXPECT_EQ(doc.Get("G", "a"), "second");
}

}  // namespace
}  // namespace zyfar
