// In-memory behaviour of the INI document: lookups, edits, preservation of
// unrelated text and tolerance of malformed input.
#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <string>

namespace zyfar {
namespace {

using Entries = IniDocument::Entries;

TEST(IniDocumentLookup, NamesMatchWithoutRegardToCase) {
    const auto doc = IniDocument::Parse("[Settings]\nHost=ftp.example\nPort=21\n");
    EXPECT_EQ(doc.Get("settings", "HOST"), "ftp.example");
    EXPECT_EQ(doc.Get("SETTINGS", "port"), "21");
    EXPECT_TRUE(doc.HasSection("sEtTiNgS"));
    EXPECT_FALSE(doc.Get("Settings", "User").has_value());
    EXPECT_FALSE(doc.Get("Other", "Host").has_value());
}

TEST(IniDocumentLookup, FirstOccurrenceWinsForKeysAndSections) {
    const auto doc = IniDocument::Parse("[A]\nk=one\nK=two\n[B]\nk=b\n[a]\nk=three\nextra=x\n");
    EXPECT_EQ(doc.Get("A", "k"), "one");
    // The second [a] section is invisible to reads.
    EXPECT_FALSE(doc.Get("A", "extra").has_value());
    EXPECT_EQ(doc.GetSection("a"), (Entries{{"k", "one"}}));
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"A", "B"}));
}

TEST(IniDocumentLookup, BlanksAroundNamesAndValuesAreTrimmedInnerBlanksKept) {
    const auto doc = IniDocument::Parse("  [  My Section ]  \n\t Local File \t=  C:/a b  c.txt \t\n");
    EXPECT_EQ(doc.Get("My Section", "Local File"), "C:/a b  c.txt");
    EXPECT_EQ(doc.Get("  my section  ", "  local file "), "C:/a b  c.txt");
    EXPECT_FALSE(doc.Get("MySection", "Local File").has_value());
}

TEST(IniDocumentLookup, NoQuotingOrEscaping) {
    const auto doc = IniDocument::Parse("[S]\nq=\"quoted\"\nb=a\\nb\nsemi=x ; not a comment\neq=a=b=c\n");
    EXPECT_EQ(doc.Get("S", "q"), "\"quoted\"");
    EXPECT_EQ(doc.Get("S", "b"), "a\\nb");
    EXPECT_EQ(doc.Get("S", "semi"), "x ; not a comment");
    EXPECT_EQ(doc.Get("S", "eq"), "a=b=c");
}

TEST(IniDocumentLookup, EmptyValueIsPresent) {
    const auto doc = IniDocument::Parse("[S]\nempty=\n");
    EXPECT_EQ(doc.Get("S", "empty"), "");
}

TEST(IniDocumentLookup, KeysBeforeAnySectionBelongToNoSection) {
    const auto doc = IniDocument::Parse("loose=1\n[S]\nk=v\n");
    EXPECT_FALSE(doc.Get("", "loose").has_value());
    EXPECT_EQ(doc.SectionNames(), (std::vector<std::string>{"S"}));
}

TEST(IniDocumentLookup, BackslashesInSectionNamesAreLiteral) {
    const auto doc = IniDocument::Parse("[Dimensions\\Main\\Mainframe]\nWidth=640\n");
    EXPECT_EQ(doc.Get("dimensions\\main\\MAINFRAME", "width"), "640");
}

TEST(IniDocumentEdit, SetChangesTheValueInPlaceAndKeepsEverythingElse) {
    const std::string text = "; queue file\n[A]\nx=1\ny = 2 \n\n[B]\nz=3\n";
    auto doc = IniDocument::Parse(text);
    ASSERT_TRUE(doc.Set("a", "Y", "20"));
    EXPECT_EQ(doc.Serialize(), "; queue file\n[A]\nx=1\ny=20\n\n[B]\nz=3\n");
}

TEST(IniDocumentEdit, NewKeyGoesAfterTheLastEntryOfTheSection) {
    auto doc = IniDocument::Parse("[A]\nx=1\n\n; about B\n[B]\nz=3\n");
    ASSERT_TRUE(doc.Set("A", "new", "v"));
    EXPECT_EQ(doc.Serialize(), "[A]\nx=1\nnew=v\n\n; about B\n[B]\nz=3\n");
}

TEST(IniDocumentEdit, NewSectionIsAppendedAtTheEnd) {
    auto doc = IniDocument::Parse("[A]\nx=1");  // no final line end
    ASSERT_TRUE(doc.Set("B", "k", "v"));
    ASSERT_TRUE(doc.Set("B", "k2", "v2"));
    EXPECT_EQ(doc.Serialize(), "[A]\nx=1\n[B]\nk=v\nk2=v2\n");
}

TEST(IniDocumentEdit, WritesChangeTheFirstOfDuplicateSectionsAndKeys) {
    auto doc = IniDocument::Parse("[A]\nk=1\nk=2\n[A]\nk=3\n");
    ASSERT_TRUE(doc.Set("A", "k", "9"));
    EXPECT_EQ(doc.Serialize(), "[A]\nk=9\nk=2\n[A]\nk=3\n");
    EXPECT_EQ(doc.Get("A", "k"), "9");
}

TEST(IniDocumentEdit, SettingTheSameValueIsNoChange) {
    auto doc = IniDocument::Parse("[A]\nk = v\n");
    const auto before = doc.ChangeCount();
    ASSERT_TRUE(doc.Set("A", "K", "v"));
    EXPECT_EQ(doc.ChangeCount(), before);
    EXPECT_EQ(doc.Serialize(), "[A]\nk = v\n");
    ASSERT_TRUE(doc.Set("A", "k", "w"));
    EXPECT_GT(doc.ChangeCount(), before);
}

TEST(IniDocumentEdit, RefusesTextThatWouldCorruptTheFile) {
    auto doc = IniDocument::Parse("[A]\nk=v\n");
    EXPECT_FALSE(doc.Set("A", "k", "line1\nline2"));
    EXPECT_FALSE(doc.Set("A", "k", "cr\rhere"));
    EXPECT_FALSE(doc.Set("A", "k", std::string("nul\0x", 5)));
    EXPECT_FALSE(doc.Set("A", "a\nb", "v"));
    EXPECT_FALSE(doc.Set("A\r\n[B]", "k", "v"));
    EXPECT_FALSE(doc.Set("A]", "k", "v"));
    EXPECT_FALSE(doc.Set("", "k", "v"));
    EXPECT_FALSE(doc.Set("A", "", "v"));
    EXPECT_FALSE(doc.Set("A", "a=b", "v"));
    EXPECT_FALSE(doc.Set("A", "[B]", "v"));
    EXPECT_FALSE(doc.Set("A", ";k", "v"));
    EXPECT_EQ(doc.Serialize(), "[A]\nk=v\n");
    EXPECT_EQ(doc.ChangeCount(), 0u);
}

TEST(IniDocumentEdit, RemoveKeyRemovesEveryOccurrenceInTheFirstSection) {
    auto doc = IniDocument::Parse("[A]\nk=1\nother=x\nK=2\n[B]\nk=3\n");
    EXPECT_TRUE(doc.RemoveKey("a", "k"));
    EXPECT_FALSE(doc.Get("A", "k").has_value());
    EXPECT_EQ(doc.Get("B", "k"), "3");
    EXPECT_EQ(doc.Serialize(), "[A]\nother=x\n[B]\nk=3\n");
    EXPECT_FALSE(doc.RemoveKey("A", "k"));
    EXPECT_FALSE(doc.RemoveKey("Missing", "k"));
}

TEST(IniDocumentEdit, RemoveSectionRemovesAllSectionsOfThatName) {
    auto doc = IniDocument::Parse("[A]\nk=1\n[B]\nk=2\n[a]\nk=3\n[C]\nk=4\n");
    EXPECT_TRUE(doc.RemoveSection("A"));
    EXPECT_EQ(doc.Serialize(), "[B]\nk=2\n[C]\nk=4\n");
    EXPECT_FALSE(doc.HasSection("A"));
    EXPECT_FALSE(doc.RemoveSection("A"));
    // A removed section can be created again.
    ASSERT_TRUE(doc.Set("A", "k", "new"));
    EXPECT_EQ(doc.Get("A", "k"), "new");
    EXPECT_EQ(doc.Serialize(), "[B]\nk=2\n[C]\nk=4\n[A]\nk=new\n");
}

TEST(IniDocumentEdit, ReplaceSectionKeepsHeaderAndTrailingComments) {
    auto doc = IniDocument::Parse("[Files]\nFile1=a\nFile2=b\n\n; next\n[Other]\nx=1\n[files]\nFile9=z\n");
    ASSERT_TRUE(doc.ReplaceSection("FILES", {{"File1", "c"}, {"Count", "1"}}));
    EXPECT_EQ(doc.Serialize(), "[Files]\nFile1=c\nCount=1\n\n; next\n[Other]\nx=1\n");
    EXPECT_EQ(doc.GetSection("files"), (Entries{{"File1", "c"}, {"Count", "1"}}));
}

TEST(IniDocumentEdit, ReplaceSectionCreatesAndRefusesBadEntries) {
    auto doc = IniDocument::Parse("");
    ASSERT_TRUE(doc.ReplaceSection("New", {{"a", "1"}}));
    EXPECT_EQ(doc.Serialize(), "[New]\na=1\n");
    EXPECT_FALSE(doc.ReplaceSection("New", {{"a", "2"}, {"b", "x\ny"}}));
    EXPECT_EQ(doc.Serialize(), "[New]\na=1\n");
    // Emptying a section keeps its header.
    ASSERT_TRUE(doc.ReplaceSection("New", {}));
    EXPECT_TRUE(doc.HasSection("New"));
    EXPECT_TRUE(doc.GetSection("New").empty());
}

TEST(IniDocumentEdit, GetSectionGivesFirstOccurrenceOfEachKeyInOrder) {
    const auto doc = IniDocument::Parse("[S]\nb=2\na=1\nB=dup\nnoequals\n;c=3\n=x\n");
    EXPECT_EQ(doc.GetSection("s"), (Entries{{"b", "2"}, {"a", "1"}}));
}

TEST(IniDocumentBadInput, BomAndCrLfAreAccepted) {
    auto doc = IniDocument::Parse("\xEF\xBB\xBF[A]\r\nk=v\r\n[B]\r\nx=1\r\n");
    EXPECT_EQ(doc.Get("A", "k"), "v");
    EXPECT_EQ(doc.Get("B", "x"), "1");
    ASSERT_TRUE(doc.Set("B", "x", "2"));
    EXPECT_EQ(doc.Serialize(), "[A]\nk=v\n[B]\nx=2\n");
}

TEST(IniDocumentBadInput, LinesWithoutEqualsAreKeptButIgnored) {
    const std::string text = "garbage line\n[A]\njust text\nk=v\n]]]\n[unterminated\nu=1\n";
    auto doc = IniDocument::Parse(text);
    EXPECT_EQ(doc.Get("A", "k"), "v");
    EXPECT_EQ(doc.Get("unterminated", "u"), "1");
    EXPECT_EQ(doc.Serialize(), text);
    ASSERT_TRUE(doc.Set("A", "k", "w"));
    EXPECT_EQ(doc.Serialize(), "garbage line\n[A]\njust text\nk=w\n]]]\n[unterminated\nu=1\n");
}

TEST(IniDocumentBadInput, NulBytesDoNotCutTheFile) {
    const std::string text("[A]\nk=a\0b\nafter=1\n[B]\nx=\0\n", 26);
    auto doc = IniDocument::Parse(text);
    EXPECT_EQ(doc.Get("A", "k"), std::string("a\0b", 3));
    EXPECT_EQ(doc.Get("A", "after"), "1");
    EXPECT_EQ(doc.Get("B", "x"), std::string("\0", 1));
    EXPECT_EQ(doc.Serialize(), text);
}

TEST(IniDocumentBadInput, VeryLongLinesSurvive) {
    const std::string big(1 << 20, 'x');
    auto doc = IniDocument::Parse("[A]\nbig=" + big + "\n" + std::string(1 << 20, 'y') + "\nk=v\n");
    EXPECT_TRUE(doc.Get("A", "big") == big);
    EXPECT_EQ(doc.Get("A", "k"), "v");
    ASSERT_TRUE(doc.Set("A", "k", "w"));
    const std::string out = doc.Serialize();
    EXPECT_EQ(out.size(), 4 + 4 + big.size() + 1 + (1u << 20) + 1 + 4);
    EXPECT_TRUE(IniDocument::Parse(out).Get("A", "big") == big);
}

TEST(IniDocumentBadInput, EmptyAndBlankTextsParse) {
    EXPECT_TRUE(IniDocument::Parse("").SectionNames().empty());
    EXPECT_EQ(IniDocument::Parse("").Serialize(), "");
    EXPECT_TRUE(IniDocument::Parse("\n\n  \n").SectionNames().empty());
    auto doc = IniDocument::Parse("[]\n=\n[ ]\n");
    EXPECT_FALSE(doc.Get("", "").has_value());
}

TEST(IniDocumentBadInput, RandomBytesNeverBreakRoundTrips) {
    // Deterministic pseudo-random text built from the characters that matter
    // to the parser; every parse must re-serialise to a text that parses to
    // the same lookups, and edits must stay readable.
    const char alphabet[] = "[]=;\r\n \tab\0";
    std::uint32_t seed = 12345;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = 0; i < 200; ++i) {
            seed = seed * 1103515245u + 12345u;
            text.push_back(alphabet[(seed >> 16) % (sizeof alphabet - 1)]);
        }
        auto doc = IniDocument::Parse(text);
        const auto again = IniDocument::Parse(doc.Serialize());
        ASSERT_EQ(again.SectionNames(), doc.SectionNames()) << "round " << round;
        for (const auto& name : doc.SectionNames()) ASSERT_EQ(again.GetSection(name), doc.GetSection(name));
        ASSERT_TRUE(doc.Set("Fixed", "key", "value"));
        EXPECT_EQ(IniDocument::Parse(doc.Serialize()).Get("fixed", "KEY"), "value") << "round " << round;
    }
}

TEST(IniDocumentCopies, CopiesAreIndependent) {
    auto doc = IniDocument::Parse("[A]\nk=1\n");
    IniDocument copy = doc;
    ASSERT_TRUE(copy.Set("A", "k", "2"));
    EXPECT_EQ(copy.Get("A", "k"), "2");
    EXPECT_EQ(doc.Get("A", "k"), "1");
    ASSERT_TRUE(doc.RemoveSection("A"));
    EXPECT_EQ(copy.Serialize(), "[A]\nk=2\n");
    doc = IniDocument::Parse("[A]\nk=1\n");
    IniDocument moved = std::move(doc);
    EXPECT_EQ(moved.Get("A", "k"), "1");
}

TEST(IniDocumentPieces, PiecesJoinToTheSerialisedText) {
    std::string text;
    for (int i = 1; i <= 50; ++i) text += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    auto doc = IniDocument::FromText(std::string(text));
    EXPECT_EQ(doc.Pieces().size(), 1u);  // untouched: one piece
    ASSERT_TRUE(doc.Set("S10", "k", "changed"));
    ASSERT_TRUE(doc.RemoveSection("S20"));
    ASSERT_TRUE(doc.Set("New", "k", "v"));
    const auto pieces = doc.Pieces();
    EXPECT_LE(pieces.size(), 5u);
    std::string joined;
    for (auto p : pieces) joined.append(p);
    EXPECT_EQ(joined, doc.Serialize());
    const auto back = IniDocument::Parse(joined);
    EXPECT_EQ(back.Get("S10", "k"), "changed");
    EXPECT_FALSE(back.HasSection("S20"));
    EXPECT_EQ(back.Get("S50", "k"), "50");
    EXPECT_EQ(back.Get("New", "k"), "v");
}

TEST(IniDocumentPieces, FromTextHandlesBomAndCrLfLikeParse) {
    const std::string text = "\xEF\xBB\xBF[A]\r\nk=v\r\nlone=a\rb\r\n";
    const auto a = IniDocument::FromText(std::string(text));
    const auto b = IniDocument::Parse(text);
    EXPECT_EQ(a.Serialize(), "[A]\nk=v\nlone=a\rb\n");
    EXPECT_EQ(a.Serialize(), b.Serialize());
    EXPECT_EQ(a.Get("a", "lone"), "a\rb");
}

TEST(IniParseLeadingInt, WindowsStyleIntegerReading) {
    EXPECT_EQ(ParseLeadingInt("42"), 42);
    EXPECT_EQ(ParseLeadingInt("  -17 "), -17);
    EXPECT_EQ(ParseLeadingInt("+8"), 8);
    EXPECT_EQ(ParseLeadingInt("12abc"), 12);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt("1 2"), 1);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace zyfar
