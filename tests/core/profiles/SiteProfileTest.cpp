// Profile names and paths, the profile folder listings, and site profiles: the file layout, refused names and
// values, and renames, moves and deletes that the link files follow.
#include "profiles/SiteProfile.h"

#include "ProfileFixture.h"
#include "profiles/LinkFile.h"
#include "settings/IniFile.h"

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

// Paths below a folder compare whole components (folder renames and deletes, which links follow, below and in
// LinkFileTest); a rename never replaces an existing target (the refused renames of profiles, folders, links).
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

// ---- site profiles ----

class SiteProfileTest : public testing::ProfileFixture {
protected:
    static SiteProfile Sample(const std::string& host = "ftp.example.test") {
        return {.host = host, .user = "me", .password = "secret", .remotePath = "/pub", .description = "main mirror",
                .port = "2121"};
    }
    // Saves a new profile and returns its path.
    static std::string Save(const std::string& folder, const std::string& name, const SiteProfile& p = Sample()) {
        std::string path;
        EXPECT_TRUE(SaveSiteProfile(folder, name, p, SaveMode::New, &path).ok()) << name;
        return path;
    }
};

TEST_F(SiteProfileTest, SaveWritesSixKeysInOrderAndCutsTheName) {
    const std::string path = Save(ProfileFolder(), "site.old");
    EXPECT_EQ(path, ProfilesFolder() + "/site.ini");
    EXPECT_EQ(ReadText(path),
              "[Settings]\nHost=ftp.example.test\nUser=me\nPassword=secret\nRemote Path=/pub\n"
              "Description=main mirror\nPort=2121\n");
    EXPECT_EQ(ReadSiteProfile(path), Sample());
    EXPECT_EQ(FileNameOf(Save(ProfileFolder(), ".hidden")), ".hidden.ini");  // a leading dot is kept

    // A multi-line description survives and stays one line in the file.
    SiteProfile p = Sample();
    p.description = "line one\r\nline two\n100% sure %0A literal";
    const std::string multi = Save(ProfileFolder(), "multi", p);
    EXPECT_EQ(ReadSiteProfile(multi).description, p.description);
    EXPECT_EQ(ReadPrivateProfile(multi).Get("Settings", "Port"), "2121");  // nothing after it broke
    EXPECT_EQ(DecodeDescription("50%") + DecodeDescription("%2") + DecodeDescription("a%0ab"), "50%%2a\nb");
}

TEST_F(SiteProfileTest, MissingFieldsExistingNamesAndUnsafeInputChangeNothing) {
    const std::string folder = ProfileFolder("inner");
    SiteProfile p = Sample();
    p.remotePath = p.description = "";
    const std::string site = Save(folder, "site", p);  // both may be empty
    const std::string before = ReadText(site);
    p.port.clear();
    EXPECT_EQ(SaveSiteProfile(folder, "b", p, SaveMode::New).messageId(), 226);
    for (auto field : {&SiteProfile::host, &SiteProfile::user, &SiteProfile::password}) {
        SiteProfile q = Sample();
        q.*field = "";
        EXPECT_EQ(SaveSiteProfile(folder, "c", q, SaveMode::New).status, ProfileStatus::MissingFields);
    }
    EXPECT_EQ(SaveSiteProfile(folder, "", Sample(), SaveMode::New).status, ProfileStatus::MissingFields);
    for (const char* bad : {"../escape", "a/b", "..", "/etc/passwd"})
        EXPECT_EQ(SaveSiteProfile(folder, bad, Sample(), SaveMode::New).status, ProfileStatus::InvalidName) << bad;
    SiteProfile broken = Sample();
    broken.password = "pa\nss";
    EXPECT_EQ(SaveSiteProfile(folder, "d", broken, SaveMode::New).status, ProfileStatus::InvalidValue);
    EXPECT_EQ(SaveSiteProfile(folder, "site", Sample("other.test"), SaveMode::New).messageId(), 227);
    EXPECT_EQ(SaveSiteProfile(folder, "ghost", Sample("other.test"), SaveMode::Update).messageId(), 228);
    ASSERT_TRUE(ReadText(site) == before && ListIniFilesBelow(ProfilesFolder()).size() == 1u);
    ASSERT_TRUE(SaveSiteProfile(folder, "site", Sample("other.test"), SaveMode::Update).ok());
    EXPECT_EQ(ReadSiteProfile(site).host, "other.test");
}

TEST_F(SiteProfileTest, MissingFileAndMissingPortReadAsDefaults) {
    EXPECT_EQ(ReadSiteProfile(ProfilesFolder() + "/none.ini"), SiteProfile{});
    WriteText(ProfilesFolder() + "/p.ini", "[settings]\nhost = h.test \nUSER=Anonymous\n");
    SiteProfile p = ReadSiteProfile(ProfilesFolder() + "/p.ini");
    EXPECT_EQ(p.host + ":" + p.port, "h.test:21");
    EXPECT_TRUE(IsAnonymousUser(p.user) && !IsAnonymousUser("anonymous1"));
    for (const auto& [port, want] : {std::pair{"21", 21}, {"99999", 21}, {"990", 990}, {"x", 21}}) {
        p.port = port;
        EXPECT_EQ(SiteProfilePort(p), want) << port;
    }
}

TEST_F(SiteProfileTest, RenameAndMoveCarryTheLinksAlong) {
    const std::string oldPath = Save(ProfileFolder("grp"), "a");
    const std::string other = Save(ProfileFolder("grp"), "c", Sample("c.test"));
    ASSERT_TRUE(AddLink("daily", {oldPath}, 1, std::nullopt).ok());
    EXPECT_EQ(RenameSiteProfile(other, "a").messageId(), 227);  // never onto an existing profile
    ASSERT_TRUE(RenameSiteProfile(oldPath, "a.ini").ok());      // its own name: nothing to do
    std::string newPath;
    ASSERT_TRUE(RenameSiteProfile(oldPath, "b.ini", &newPath).ok());
    EXPECT_EQ(ReadLink("daily").sites, std::vector<std::string>{ProfilesFolder() + "/grp/b.ini"});
    EXPECT_FALSE(Exists(oldPath) || Exists(oldPath + ".lock"));
    EXPECT_EQ(ReadSiteProfile(newPath), Sample());

    const std::string target = ProfileFolder("moved");
    std::string moved;
    ASSERT_TRUE(MoveSiteProfile(newPath, target, &moved).ok());
    EXPECT_EQ(ReadLink("daily").sites, std::vector<std::string>{target + "/b.ini"});
    EXPECT_EQ(MoveSiteProfile(moved, root_ + "/nowhere").status, ProfileStatus::NoSuchPath);
    EXPECT_EQ(ReadSiteProfile(other).host, "c.test");
}

TEST_F(SiteProfileTest, DeleteRemovesTheLinksThatNameItWhateverTheCase) {
    const std::string a = Save(ProfileFolder(), "a");
    const std::string b = Save(ProfileFolder(), "b");
    std::string upper = a;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(AddLink("uses-a", {b, upper}, 1, std::nullopt).ok());
    ASSERT_TRUE(AddLink("uses-b", {b}, 1, std::nullopt).ok());
    std::vector<std::string> removed;
    ASSERT_TRUE(DeleteSiteProfile(a, &removed).ok());
    EXPECT_EQ(removed, std::vector<std::string>{"uses-a"});
    EXPECT_FALSE(Exists(a) || Exists(LinkFilePath("uses-a")));
    EXPECT_TRUE(Exists(LinkFilePath("uses-b")));
    EXPECT_EQ(DeleteSiteProfile(a).status, ProfileStatus::DoesNotExist);
}

TEST_F(SiteProfileTest, FolderOperationsReportTheDescribedMessagesAndLinksFollow) {
    const std::string grp = ProfileFolder("grp");
    ProfileFolder("taken");
    EXPECT_EQ(SaveSiteProfile(grp + "/sub", "s", Sample(), SaveMode::New).status, ProfileStatus::NoSuchPath);
    const std::string site = Save(ProfileFolder("grp/sub"), "s");
    ASSERT_TRUE(AddLink("l", {site, ProfilesFolder() + "/grpx/t.ini"}, 1, std::nullopt).ok());
    EXPECT_EQ(RenameProfileFolder(grp, "taken").messageId(), 33048);
    EXPECT_EQ(RenameProfileFolder(ProfilesFolder() + "/absent", "x").messageId(), 33036);
    std::string renamed;
    ASSERT_TRUE(RenameProfileFolder(grp, "group", &renamed).ok());
    EXPECT_EQ(renamed, ProfilesFolder() + "/group");
    // Only the path inside the renamed folder changes, not the look-alike.
    EXPECT_EQ(ReadLink("l").sites, (std::vector<std::string>{renamed + "/sub/s.ini", ProfilesFolder() + "/grpx/t.ini"}));

    EXPECT_EQ(MoveProfileFolder(renamed, renamed + "/sub").status, ProfileStatus::InvalidName);  // into itself
    ASSERT_TRUE(MoveProfileFolder(renamed, ProfileFolder("taken")).ok());
    EXPECT_TRUE(Exists(ProfilesFolder() + "/taken/group/sub/s.ini"));

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
    const std::string deep = Save(ProfileFolder("x/y/z"), "deep", anon);
    anon.user = "anonymous";
    const std::string top = Save(ProfileFolder(), "top", anon);
    const std::string named = Save(ProfileFolder(), "named");
    WriteText(ProfilesFolder() + "/junk.ini", "not an ini file at all\n\x01\x02");
    EXPECT_EQ(ListSiteProfiles().size(), 4u);

    EXPECT_EQ(FillAnonymousPasswords("me@example.test"), 2);
    EXPECT_EQ(ReadSiteProfile(deep).password + ReadSiteProfile(top).password + ReadSiteProfile(named).password,
              "me@example.testme@example.testsecret");
    EXPECT_EQ(ReadSiteProfile(deep).description, "main mirror");
    EXPECT_EQ(FillAnonymousPasswords("bad\naddress"), -1);
    EXPECT_EQ(ReadSiteProfile(top).password, "me@example.test");
}

}  // namespace
}  // namespace zyfar
