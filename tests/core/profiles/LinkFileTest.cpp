#include "profiles/LinkFile.h"

#include "ProfileFixture.h"
#include "settings/IniFile.h"

namespace zyfar {
namespace {

class LinkFileTest : public testing::ProfileFixture {
protected:
    std::string Site(const std::string& relative) const { return ProfilesFolder() + "/" + relative; }
};

TEST_F(LinkFileTest, AddWritesSitesAndFilesInOneFile) {
    std::string saved;
    const std::string list = FilesFolder() + "/week";
    ASSERT_TRUE(AddLink("daily.ini", {Site("a.ini"), Site("g/b.ini")}, 3, list, &saved).ok());
    EXPECT_EQ(saved, "daily");
    EXPECT_EQ(ReadText(LinksFolder() + "/daily.ini"),
              "[LinkItems]\nSites=2\nFiles=" + list + "/flist.ini\n[SITE1]\nSITE=" + Site("a.ini") +
                  "\n[SITE2]\nSITE=" + Site("g/b.ini") + "\n");
    EXPECT_EQ(ReadLink("daily").sites, (std::vector<std::string>{Site("a.ini"), Site("g/b.ini")}));

    // Saved again over itself: the old keys stay, a file list not chosen
    // this time is kept.
    ASSERT_TRUE(AddLink("daily", {Site("d.ini")}, 1, std::nullopt).ok());
    EXPECT_EQ(ReadLink("daily").sites, std::vector<std::string>{Site("d.ini")});
    EXPECT_EQ(ReadLink("daily").files, list + "/flist.ini");
    EXPECT_EQ(ReadPrivateProfile(LinkFilePath("daily")).Get("SITE2", "SITE"), Site("g/b.ini"));
    // A new link without a file list has no Files key.
    ASSERT_TRUE(AddLink("l", {Site("a.ini")}, 1, std::nullopt).ok());
    EXPECT_FALSE(ReadPrivateProfile(LinkFilePath("l")).Get("LinkItems", "Files").has_value());
}

TEST_F(LinkFileTest, AddChecksNameSitesAndFilesBeforeWriting) {
    EXPECT_EQ(AddLink("", {Site("a.ini")}, 1, std::nullopt).messageId(), 311);
    EXPECT_EQ(AddLink(".ini", {Site("a.ini")}, 1, std::nullopt).messageId(), 311);
    EXPECT_EQ(AddLink("l", {}, 1, std::nullopt).messageId(), 312);
    EXPECT_EQ(AddLink("l", {Site("a.ini")}, 0, std::nullopt).messageId(), 313);
    EXPECT_EQ(AddLink("../x", {Site("a.ini")}, 1, std::nullopt).messageId(), 311);  // cut before the dot: empty
    EXPECT_EQ(AddLink("a/b", {Site("a.ini")}, 1, std::nullopt).status, ProfileStatus::InvalidName);
    EXPECT_EQ(AddLink("l", {"bad\npath"}, 1, std::nullopt).status, ProfileStatus::InvalidValue);
    EXPECT_TRUE(ListLinks().empty());
}

TEST_F(LinkFileTest, DamagedLinksReadAsBoundedOrEmpty) {
    EXPECT_TRUE(ReadLink("absent").sites.empty());
    WriteText(LinksFolder() + "/big.ini", "[LinkItems]\nSites=2147483647\n[SITE1]\nSITE=/p/a.ini\n[SITE3]\nSITE=/p/c.ini\n");
    EXPECT_EQ(ReadLink("big").sites, (std::vector<std::string>{"/p/a.ini", "", "/p/c.ini"}));
    WriteText(LinksFolder() + "/neg.ini", "[LinkItems]\nSites=-4\n[SITE1]\nSITE=/p/a.ini\n");
    WriteText(LinksFolder() + "/junk.ini", "\x01\x02garbage[[[\n=\n");
    EXPECT_TRUE(ReadLink("neg").sites.empty() && ReadLink("junk").sites.empty() && !ReadLink("junk").files);
}

TEST_F(LinkFileTest, RenameAndDeleteFollowTheDialogRules) {
    ASSERT_TRUE(AddLink("old", {Site("a.ini")}, 1, std::nullopt).ok());
    ASSERT_TRUE(AddLink("other", {Site("b.ini")}, 1, std::nullopt).ok());
    EXPECT_EQ(RenameLink("old", "old").messageId(), 314);
    EXPECT_EQ(RenameLink("old", "other").status, ProfileStatus::AlreadyExists);
    EXPECT_EQ(ReadLink("other").sites, std::vector<std::string>{Site("b.ini")});
    EXPECT_EQ(RenameLink("", "x").messageId(), 315);
    std::string renamed;
    ASSERT_TRUE(RenameLink("old", "new.ini", &renamed).ok());
    EXPECT_TRUE(renamed == "new" && !Exists(LinkFilePath("old")));
    EXPECT_EQ(ReadLink("new").sites, std::vector<std::string>{Site("a.ini")});

    EXPECT_EQ(DeleteLink("").messageId(), 315);
    EXPECT_EQ(DeleteLink("missing").status, ProfileStatus::DoesNotExist);
    EXPECT_EQ(DeleteLink("../../settings").status, ProfileStatus::InvalidName);
    ASSERT_TRUE(DeleteLink("new").ok());
    // Links in a subfolder are listed, renamed and deleted in their folder.
    WriteText(LinksFolder() + "/team/n.ini", "[LinkItems]\nSites=0\n");
    auto links = ListLinks();
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].name + " " + links[1].name, "other n");
    ASSERT_TRUE(RenameLinkFile(links[1].path, "m").ok());
    ASSERT_TRUE(DeleteLinkFile(LinksFolder() + "/team/m.ini").ok());
    EXPECT_EQ(ListLinks().size(), 1u);
}

TEST_F(LinkFileTest, LinksFollowFolderDeletesSiteRenamesAndFileListRenames) {
    ASSERT_TRUE(AddLink("inside", {Site("x/b.ini"), Site("Work/a.ini")}, 1, std::nullopt).ok());
    ASSERT_TRUE(AddLink("lookalike", {Site("WorkOld/a.ini")}, 1, std::nullopt).ok());
    ASSERT_TRUE(AddLink("unrelated", {Site("x/b.ini")}, 1, std::nullopt).ok());
    const auto removed = DeleteLinksNaming(Site("work"));
    EXPECT_EQ(removed, std::vector<std::string>{"inside"});
    EXPECT_EQ(ListLinks().size(), 2u);
    EXPECT_FALSE(Exists(LinkFilePath("inside")));
    EXPECT_TRUE(DeleteLinksNaming("").empty());
    // A site rename changes equal paths only.
    ASSERT_TRUE(AddLink("l", {Site("a.ini"), Site("a.ini.bak"), Site("b.ini")}, 1, FilesFolder() + "/Week").ok());
    const std::string before = ReadText(LinkFilePath("unrelated"));
    EXPECT_EQ(OnSiteProfileRenamed(Site("a.ini"), Site("z.ini")), std::vector<std::string>{"l"});
    EXPECT_EQ(ReadLink("l").sites, (std::vector<std::string>{Site("z.ini"), Site("a.ini.bak"), Site("b.ini")}));
    EXPECT_EQ(ReadText(LinkFilePath("unrelated")), before);
    // File list renames ignore case and compare whole components.
    ASSERT_TRUE(AddLink("n", {Site("a.ini")}, 1, FilesFolder() + "/Weekly").ok());
    EXPECT_EQ(LinksUsingFileList(FilesFolder() + "/week"), std::vector<std::string>{"l"});
    EXPECT_EQ(OnFileListRenamed(FilesFolder() + "/WEEK", FilesFolder() + "/Days"), std::vector<std::string>{"l"});
    EXPECT_EQ(*ReadLink("l").files + " " + *ReadLink("n").files,
              FilesFolder() + "/Days/flist.ini " + FilesFolder() + "/Weekly/flist.ini");
    EXPECT_TRUE(LinksUsingFileList(FilesFolder() + "/Week").empty());
}

}  // namespace
}  // namespace zyfar
