#include "profiles/ProfileNames.h"

#include "ProfileFixture.h"

#include <gtest/gtest.h>

#include <tuple>

namespace zyfar {
namespace {

using testing::ProfileFixture;

TEST(ProfileNameRules, CutNamesAndRejectUnsafeOnes) {
    const char* const cases[][3] = {
        // typed, profile name, link name: profile names keep a leading dot, link names do not
        {"site.old", "site", "site"},     {"site.a.b", "site", "site"}, {".hidden", ".hidden", ""},
        {".hidden.old", ".hidden.old", ""}, {"plain", "plain", "plain"}, {"", "", ""},
        {"site.", "site", "site"},        {"daily.ini", "daily", "daily"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CutProfileName(c[0]), c[1]) << c[0];
        EXPECT_EQ(CutLinkName(c[0]), c[2]) << c[0];
    }
    for (const std::string& bad : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                   std::string("/abs"), std::string("x..y"), std::string("a\nb"),
                                   std::string("a\rb"), std::string("a\0b", 3)})
        EXPECT_FALSE(IsSafeName(bad)) << "accepted: " << bad;
    for (const std::string good : {"site", ".hidden", "my site", "a.b", "Ünïcode"})
        EXPECT_TRUE(IsSafeName(good)) << "refused: " << good;
    EXPECT_EQ(Fail(ProfileStatus::AlreadyExists, "x").text(), "A profile with this name already exists!\nx");
}

TEST(ProfilePaths, SameOrBelowComparesWholeComponentsAndPathPieces) {
    const std::tuple<const char*, const char*, bool, bool> below[] = {
        {"/p/a/x.ini", "/p/a", false, true}, {"/p/a", "/p/a/", false, true},    {"/p/ab/x.ini", "/p/a", false, false},
        {"/p/a.ini", "/p/a", false, false},  {"/P/A/x.ini", "/p/a", false, false}, {"/P/A/x.ini", "/p/a", true, true},
        {"/p", "/p/a", true, false},         {"/p/a", "", true, false},
    };
    for (const auto& [path, folder, ignoreCase, want] : below)
        EXPECT_EQ(IsSameOrBelow(path, folder, ignoreCase), want) << path << " in " << folder;
    EXPECT_EQ(ParentFolderOf("/a/b/c.ini") + "|" + ParentFolderOf("/a") + "|" + ParentFolderOf("/a/b/"), "/a/b|/|/a");
    EXPECT_EQ(FileNameOf("/a/b/c.ini") + "|" + FileNameOf("/a/b/"), "c.ini|b");
    EXPECT_EQ(WithoutTrailingSlash("/a//") + "|" + WithoutTrailingSlash("/"), "/a|/");
}

class ProfileFolderTest : public ProfileFixture {};

TEST_F(ProfileFolderTest, ListingsShowIniFilesOnlyRecurseAndSkipLinkLoops) {
    const std::string p = ProfileFolder();
    ASSERT_EQ(::symlink(p.c_str(), (p + "/self").c_str()), 0);
    WriteText(p + "/a.ini", "[Settings]\n");
    WriteText(p + "/a.ini.lock", "");
    WriteText(p + "/notes.txt", "x");
    WriteText(p + "/sub/deeper/b.INI", "[Settings]\n");
    std::string seen;
    for (const auto& e : ListIniFilesBelow(p)) seen += e.name + "=" + e.path + " ";
    for (const auto& e : ListIniFilesIn(p)) seen += "in:" + e.name + " ";
    for (const auto& e : ListFoldersBelow(p)) seen += "dir:" + e.name + "=" + e.path + " ";
    EXPECT_EQ(seen, "a=" + p + "/a.ini b=" + p + "/sub/deeper/b.INI in:a dir:sub=" + p + "/sub dir:deeper=" + p +
                        "/sub/deeper ");
}

TEST_F(ProfileFolderTest, RenameNeverReplacesAnExistingTarget) {
    const std::string a = root_ + "/a", b = root_ + "/b";
    WriteText(a, "A");
    WriteText(b, "B");
    EXPECT_EQ(RenameNoReplace(a, b), RenameOutcome::TargetExists);
    EXPECT_EQ(ReadText(a) + ReadText(b), "AB");
    EXPECT_EQ(RenameNoReplace(root_ + "/missing", root_ + "/c"), RenameOutcome::SourceMissing);
    EXPECT_EQ(RenameNoReplace(a, root_ + "/c"), RenameOutcome::Ok);
    EXPECT_EQ(ReadText(root_ + "/c"), "A");
    EXPECT_FALSE(Exists(a));
}

}  // namespace
}  // namespace zyfar
