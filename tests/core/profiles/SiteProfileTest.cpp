#include "profiles/SiteProfile.h"

#include "ProfileFixture.h"
#include "profiles/LinkFile.h"
#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyfar {
namespace {

class SiteProfileTest : public testing::ProfileFixture {
protected:
    static SiteProfile Sample() {
        SiteProfile p;
        p.host = "ftp.example.test";
        p.user = "me";
        p.password = "secret";
        p.remotePath = "/pub";
        p.description = "main mirror";
        p.port = "2121";
        return p;
    }
};

TEST_F(SiteProfileTest, NewProfileWritesSixKeysInOrder) {
    std::string path;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "site.old", Sample(), SaveMode::New, &path).ok());
    EXPECT_EQ(path, ProfilesFolder() + "/site.ini");
    EXPECT_EQ(ReadText(path),
              "[Settings]\nHost=ftp.example.test\nUser=me\nPassword=secret\nRemote Path=/pub\n"
              "Description=main mirror\nPort=2121\n");
    EXPECT_EQ(ReadSiteProfile(path), Sample());
}

TEST_F(SiteProfileTest, LeadingDotNameKeepsItsDot) {
    std::string path;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), ".hidden", Sample(), SaveMode::New, &path).ok());
    EXPECT_EQ(FileNameOf(path), ".hidden.ini");
}

TEST_F(SiteProfileTest, EmptyRemotePathAndDescriptionAreAllowedButNotEmptyPort) {
    SiteProfile p = Sample();
    p.remotePath.clear();
    p.description.clear();
    EXPECT_TRUE(SaveSiteProfile(ProfileFolder(), "a", p, SaveMode::New).ok());
    p.port.clear();
    const ProfileResult r = SaveSiteProfile(ProfileFolder(), "b", p, SaveMode::New);
    EXPECT_EQ(r.messageId(), 226);
    EXPECT_FALSE(Exists(ProfilesFolder() + "/b.ini"));
    for (auto field : {&SiteProfile::host, &SiteProfile::user, &SiteProfile::password}) {
        SiteProfile q = Sample();
        q.*field = "";
        EXPECT_EQ(SaveSiteProfile(ProfileFolder(), "c", q, SaveMode::New).status, ProfileStatus::MissingFields);
    }
    EXPECT_EQ(SaveSiteProfile(ProfileFolder(), "", Sample(), SaveMode::New).status, ProfileStatus::MissingFields);
    EXPECT_FALSE(Exists(ProfilesFolder() + "/c.ini"));
}

TEST_F(SiteProfileTest, NewOverExistingAndUpdateOfMissingChangeNothing) {
    const std::string folder = ProfileFolder();
    ASSERT_TRUE(SaveSiteProfile(folder, "site", Sample(), SaveMode::New).ok());
    const std::string before = ReadText(folder + "/site.ini");
    SiteProfile other = Sample();
    other.host = "other.test";
    EXPECT_EQ(SaveSiteProfile(folder, "site", other, SaveMode::New).messageId(), 227);
    EXPECT_EQ(ReadText(folder + "/site.ini"), before);
    EXPECT_EQ(SaveSiteProfile(folder, "ghost", other, SaveMode::Update).messageId(), 228);
    EXPECT_FALSE(Exists(folder + "/ghost.ini"));
    ASSERT_TRUE(SaveSiteProfile(folder, "site", other, SaveMode::Update).ok());
    EXPECT_EQ(ReadSiteProfile(folder + "/site.ini").host, "other.test");
}

TEST_F(SiteProfileTest, NamesThatLeaveTheFolderAreRefused) {
    const std::string folder = ProfileFolder("inner");
    for (const char* bad : {"../escape", "a/b", "..", "/etc/passwd", ".."}) {
        const ProfileResult r = SaveSiteProfile(folder, bad, Sample(), SaveMode::New);
        EXPECT_EQ(r.status, ProfileStatus::InvalidName) << bad;
    }
    // A leading dot is kept, so "../escape" stays whole and is refused.
    EXPECT_TRUE(ListIniFilesBelow(ProfilesFolder()).empty());
}

TEST_F(SiteProfileTest, ValuesWithLineBreaksAreRefusedWithoutWriting) {
    SiteProfile p = Sample();
    p.password = "pa\nss";
    EXPECT_EQ(SaveSiteProfile(ProfileFolder(), "site", p, SaveMode::New).status, ProfileStatus::InvalidValue);
    EXPECT_FALSE(Exists(ProfilesFolder() + "/site.ini"));
}

TEST_F(SiteProfileTest, MultiLineDescriptionSurvivesAndStaysOneLineInTheFile) {
    SiteProfile p = Sample();
    p.description = "line one\r\nline two\n100% sure %0A literal";
    std::string path;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "site", p, SaveMode::New, &path).ok());
    EXPECT_EQ(ReadSiteProfile(path).description, p.description);
    EXPECT_EQ(ReadPrivateProfile(path).Get("Settings", "Port"), "2121");  // nothing after it broke
    EXPECT_EQ(DecodeDescription("50%"), "50%");
    EXPECT_EQ(DecodeDescription("%2"), "%2");
    EXPECT_EQ(DecodeDescription("a%0ab"), "a\nb");
}

TEST_F(SiteProfileTest, MissingFileAndMissingPortReadAsDefaults) {
    EXPECT_EQ(ReadSiteProfile(ProfilesFolder() + "/none.ini"), SiteProfile{});
    WriteText(ProfilesFolder() + "/p.ini", "[settings]\nhost = h.test \nUSER=Anonymous\n");
    const SiteProfile p = ReadSiteProfile(ProfilesFolder() + "/p.ini");
    EXPECT_EQ(p.host, "h.test");
    EXPECT_EQ(p.port, "21");
    EXPECT_TRUE(IsAnonymousUser(p.user));
    EXPECT_FALSE(IsAnonymousUser("anonymous1"));
    EXPECT_FALSE(IsAnonymousUser("anon"));
    EXPECT_EQ(SiteProfilePort(p), 21);
    SiteProfile q;
    q.port = "99999";
    EXPECT_EQ(SiteProfilePort(q), 21);
    q.port = "990";
    EXPECT_EQ(SiteProfilePort(q), 990);
}

TEST_F(SiteProfileTest, RenameMovesTheFileAndTheLinksFollow) {
    std::string oldPath;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder("grp"), "a", Sample(), SaveMode::New, &oldPath).ok());
    ASSERT_TRUE(AddLink("daily", {oldPath}, 1, std::nullopt).ok());
    std::string newPath;
    ASSERT_TRUE(RenameSiteProfile(oldPath, "b.ini", &newPath).ok());
    EXPECT_EQ(newPath, ProfilesFolder() + "/grp/b.ini");
    EXPECT_FALSE(Exists(oldPath));
    EXPECT_FALSE(Exists(oldPath + ".lock"));
    EXPECT_EQ(ReadSiteProfile(newPath), Sample());
    EXPECT_EQ(ReadLink("daily").sites, std::vector<std::string>{newPath});
}

TEST_F(SiteProfileTest, RenameOntoAnExistingProfileIsRefused) {
    std::string a, b;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "a", Sample(), SaveMode::New, &a).ok());
    SiteProfile other = Sample();
    other.host = "b.test";
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "b", other, SaveMode::New, &b).ok());
    EXPECT_EQ(RenameSiteProfile(a, "b").messageId(), 227);
    EXPECT_EQ(ReadSiteProfile(b).host, "b.test");
    EXPECT_TRUE(Exists(a));
}

TEST_F(SiteProfileTest, MoveIntoAFolderUpdatesLinks) {
    std::string path;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "a", Sample(), SaveMode::New, &path).ok());
    const std::string target = ProfileFolder("moved");
    ASSERT_TRUE(AddLink("l", {path}, 1, std::nullopt).ok());
    std::string moved;
    ASSERT_TRUE(MoveSiteProfile(path, target, &moved).ok());
    EXPECT_EQ(moved, target + "/a.ini");
    EXPECT_EQ(ReadLink("l").sites.at(0), moved);
    EXPECT_EQ(MoveSiteProfile(moved, root_ + "/nowhere").status, ProfileStatus::NoSuchPath);
}

TEST_F(SiteProfileTest, DeleteRemovesTheLinksThatNameItWhateverTheCase) {
    std::string a, b;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "a", Sample(), SaveMode::New, &a).ok());
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "b", Sample(), SaveMode::New, &b).ok());
    std::string upper = a;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(AddLink("uses-a", {b, upper}, 1, std::nullopt).ok());
    ASSERT_TRUE(AddLink("uses-b", {b}, 1, std::nullopt).ok());
    std::vector<std::string> removed;
    ASSERT_TRUE(DeleteSiteProfile(a, &removed).ok());
    EXPECT_EQ(removed, std::vector<std::string>{"uses-a"});
    EXPECT_FALSE(Exists(a));
    EXPECT_FALSE(Exists(LinkFilePath("uses-a")));
    EXPECT_TRUE(Exists(LinkFilePath("uses-b")));
    EXPECT_EQ(DeleteSiteProfile(a).status, ProfileStatus::DoesNotExist);
}

TEST_F(SiteProfileTest, FolderRenameReportsTheDescribedMessagesAndLinksFollow) {
    const std::string grp = ProfileFolder("grp");
    ProfileFolder("taken");
    std::string site;
    ASSERT_TRUE(SaveSiteProfile(grp + "/sub", "s", Sample(), SaveMode::New, &site).status ==
                ProfileStatus::NoSuchPath);
    ProfileFolder("grp/sub");
    ASSERT_TRUE(SaveSiteProfile(grp + "/sub", "s", Sample(), SaveMode::New, &site).ok());
    ASSERT_TRUE(AddLink("l", {site, ProfilesFolder() + "/grpx/t.ini"}, 1, std::nullopt).ok());

    EXPECT_EQ(RenameProfileFolder(grp, "taken").messageId(), 33048);
    EXPECT_EQ(RenameProfileFolder(ProfilesFolder() + "/absent", "x").messageId(), 33036);
    std::string renamed;
    ASSERT_TRUE(RenameProfileFolder(grp, "group", &renamed).ok());
    EXPECT_EQ(renamed, ProfilesFolder() + "/group");
    EXPECT_TRUE(Exists(renamed + "/sub/s.ini"));
    // Only the path inside the renamed folder changes, not the look-alike.
    EXPECT_EQ(ReadLink("l").sites,
              (std::vector<std::string>{renamed + "/sub/s.ini", ProfilesFolder() + "/grpx/t.ini"}));
}

TEST_F(SiteProfileTest, FolderMoveRefusesToMoveIntoItself) {
    const std::string a = ProfileFolder("a");
    ProfileFolder("a/b");
    EXPECT_EQ(MoveProfileFolder(a, a + "/b").status, ProfileStatus::InvalidName);
    EXPECT_TRUE(Exists(a + "/b"));
    const std::string c = ProfileFolder("c");
    std::string moved;
    ASSERT_TRUE(MoveProfileFolder(a, c, &moved).ok());
    EXPECT_EQ(moved, c + "/a");
    EXPECT_TRUE(Exists(c + "/a/b"));
}

TEST_F(SiteProfileTest, CreateFolderRefusesExistingAndUnsafeNames) {
    std::string made;
    ASSERT_TRUE(CreateProfileFolder(ProfilesFolder(), kNewProfileFolderLabel, &made).ok());
    EXPECT_EQ(made, ProfilesFolder() + "/New Profile");
    EXPECT_EQ(CreateProfileFolder(ProfilesFolder(), kNewProfileFolderLabel).status, ProfileStatus::FolderExists);
    EXPECT_EQ(CreateProfileFolder(ProfilesFolder(), "..").status, ProfileStatus::InvalidName);
    EXPECT_EQ(CreateProfileFolder(root_ + "/none", "x").status, ProfileStatus::NoSuchPath);
}

TEST_F(SiteProfileTest, AnonymousFillWalksTheWholeTree) {
    SiteProfile anon = Sample();
    anon.user = "ANONYMOUS";
    anon.password = "old";
    std::string deep, top, named;
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder("x/y/z"), "deep", anon, SaveMode::New, &deep).ok());
    anon.user = "anonymous";
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "top", anon, SaveMode::New, &top).ok());
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder(), "named", Sample(), SaveMode::New, &named).ok());
    WriteText(ProfilesFolder() + "/junk.ini", "not an ini file at all\n\x01\x02");

    EXPECT_EQ(FillAnonymousPasswords("me@example.test"), 2);
    EXPECT_EQ(ReadSiteProfile(deep).password, "me@example.test");
    EXPECT_EQ(ReadSiteProfile(top).password, "me@example.test");
    EXPECT_EQ(ReadSiteProfile(named).password, "secret");
    EXPECT_EQ(ReadSiteProfile(deep).description, "main mirror");
    EXPECT_EQ(FillAnonymousPasswords("bad\naddress"), -1);
    EXPECT_EQ(ReadSiteProfile(top).password, "me@example.test");
}

TEST_F(SiteProfileTest, ListSiteProfilesFindsNestedProfiles) {
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder("a"), "one", Sample(), SaveMode::New).ok());
    ASSERT_TRUE(SaveSiteProfile(ProfileFolder("b/c"), "two", Sample(), SaveMode::New).ok());
    const auto all = ListSiteProfiles();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].name, "one");
    EXPECT_EQ(all[1].name, "two");
}

}  // namespace
}  // namespace zyfar
