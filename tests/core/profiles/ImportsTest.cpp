#include "profiles/Imports.h"

#include "ProfileFixture.h"
#include "profiles/FileList.h"
#include "profiles/SiteProfile.h"

namespace zyfar {
namespace {

class ImportsTest : public testing::ProfileFixture {};

TEST_F(ImportsTest, SiteListBecomesNumberedProfilesAndSkipsUnterminatedLastLine) {
    const std::string sts = root_ + "/in/old.sites.sts";
    WriteText(sts,
              "FTP_SERVER_FILE\n"
              "ftp.a.test anonymous me@x /pub\n"
              "ftp.b.test  bob\tpw   NONE\r\n"
              "ftp.c.test carol pw /never");
    const std::string folder = ProfileFolder("imported");
    const SiteImportResult r = ImportSiteList(sts, folder);
    ASSERT_TRUE(r.result.ok()) << r.result.text();
    ASSERT_EQ(r.created.size(), 2u);
    EXPECT_EQ(r.created[0].path + " " + r.created[1].path, folder + "/old.sites0.ini " + folder + "/old.sites1.ini");
    EXPECT_EQ(ReadText(r.created[0].path),
              "[Settings]\nHost=ftp.a.test\nUser=anonymous\nPassword=me@x\nRemote Path=/pub\nPort=21\n");
    EXPECT_EQ(ReadText(r.created[1].path),
              "[Settings]\nHost=ftp.b.test\nUser=bob\nPassword=pw\nRemote Path=\nPort=21\n");
    EXPECT_FALSE(Exists(folder + "/old.sites2.ini"));
    // Missing words are empty, extra words are ignored, a NUL separates words.
    const auto only = ParseSiteRecord("  host.only  ");
    EXPECT_EQ(only.host + "|" + only.user, "host.only|");
    EXPECT_EQ(ParseSiteRecord("h u p /d extra words").remotePath, "/d");
    EXPECT_EQ(ParseSiteRecord(std::string("h\0u p d", 7)).user, "u");
}

TEST_F(ImportsTest, OnlyAFileThatStartsWithTheMarkerIsImported) {
    const std::string folder = ProfileFolder();
    for (const char* bad : {"FTP_SERVER_FIL\nftp.a.test u p /\n", ""}) {
        WriteText(root_ + "/bad.sts", bad);
        const SiteImportResult r = ImportSiteList(root_ + "/bad.sts", folder);
        EXPECT_EQ(r.result.text(), "File was not a valid FTP server file!");
    }
    EXPECT_EQ(ImportSiteList(root_ + "/missing.sts", folder).result.status, ProfileStatus::IoError);
    EXPECT_TRUE(ListIniFilesBelow(folder).empty());
    // Text after the marker on its line does not matter.
    WriteText(root_ + "/m.sts", "FTP_SERVER_FILE version 2\nh u p d\n");
    const SiteImportResult r = ImportSiteList(root_ + "/m.sts", folder);
    ASSERT_TRUE(r.result.ok() && r.created.size() == 1u);
    EXPECT_EQ(r.created[0].name, "m0");
}

TEST_F(ImportsTest, ExistingProfilesGetTheImportedKeysAndBlankLinesMakeNothing) {
    const std::string folder = ProfileFolder();
    ASSERT_TRUE(SaveSiteProfile(folder, "s1", {"h", "me", "keep", "/old", "notes", "2121"}, SaveMode::New).ok());
    WriteText(root_ + "/s.sts", "FTP_SERVER_FILE\nh0 u p d\nh1 u1 p1 NONE\n\n   \nh4 u\n");
    const SiteImportResult r = ImportSiteList(root_ + "/s.sts", folder);
    ASSERT_TRUE(r.result.ok());
    ASSERT_EQ(r.updated.size(), 1u);
    EXPECT_EQ(r.updated[0].name, "s1");
    ASSERT_EQ(r.created.size(), 2u);
    EXPECT_EQ(r.created[1].name, "s4");
    EXPECT_EQ(ReadSiteProfile(r.created[1].path).password, "");
    // The five keys are written; the description stays.
    EXPECT_EQ(ReadSiteProfile(folder + "/s1.ini"), (SiteProfile{"h1", "u1", "p1", "", "notes", "21"}));
    EXPECT_FALSE(Exists(folder + "/s2.ini"));
}

TEST_F(ImportsTest, FailedWriteGivesUpdatedProfilesTheirFormerContents) {
    const std::string folder = ProfileFolder("partly");
    ASSERT_TRUE(SaveSiteProfile(folder, "s0", {"h", "me", "keep", "/old", "", "21"}, SaveMode::New).ok());
    const std::string before = ReadText(folder + "/s0.ini");
    WriteText(root_ + "/s.sts", "FTP_SERVER_FILE\nh0 u p d\nh1 u p d\n");
    std::filesystem::create_directories(folder + "/s1.ini.lock");
    const SiteImportResult r = ImportSiteList(root_ + "/s.sts", folder);
    EXPECT_EQ(r.result.status, ProfileStatus::IoError);
    EXPECT_TRUE(r.created.empty() && r.updated.empty());
    EXPECT_EQ(ReadText(folder + "/s0.ini"), before);
    EXPECT_FALSE(Exists(folder + "/s1.ini"));
}

TEST_F(ImportsTest, FailedWriteLeavesNoProfileBehind) {
    const std::string folder = ProfileFolder("blocked");
    WriteText(root_ + "/s.sts", "FTP_SERVER_FILE\nh0 u p d\nh1 u p d\nh2 u p d\n");
    // A folder where the second profile's lock file must go makes that
    // write fail, whoever runs the test.
    std::filesystem::create_directories(folder + "/s1.ini.lock");
    const SiteImportResult r = ImportSiteList(root_ + "/s.sts", folder);
    EXPECT_EQ(r.result.status, ProfileStatus::IoError);
    EXPECT_TRUE(r.created.empty() && ListIniFilesBelow(folder).empty());
    EXPECT_FALSE(Exists(folder + "/s0.ini.lock"));
}

TEST_F(ImportsTest, FileListImportTakesExistingFilesAndUpdatesPresentItems) {
    const std::string data = root_ + "/data";
    WriteText(data + "/a.txt", "12345");
    WriteText(data + "/sub/b.bin", "xy");
    std::filesystem::create_directories(data + "/dir");
    WriteText(root_ + "/l.fls",
              "FTP_SERVER_FILE\n" + data + "/a.txt\n" + data + "/deleted.txt\n" + data + "/*.txt\n" + data +
                  "/dir\nrelative.txt\n" + data + "/sub/b.bin\r\n" + data + "/a.txt");
    const FileImportResult r = ImportFileList(root_ + "/l.fls", {}, ImportMode::Append);
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.added, 2u);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_EQ(FileListLocalPath(r.items[0]) + test::Cat(" ", r.items[0].size) + " " + r.items[0].remoteName + " " +
                  FileListLocalPath(r.items[1]) + test::Cat(" ", r.items[1].size),
              data + "/a.txt 5 a.txt " + data + "/sub/b.bin 2");
    EXPECT_GT(r.items[0].lastWrite, 0);

    // An item already in the list is updated (size) and keeps its remote name.
    WriteText(root_ + "/l.fls", "FTP_SERVER_FILE\n" + data + "/a.txt\n");
    FileListItem present = r.items[0];
    present.remoteName = "renamed.txt";
    present.size = 1;
    FileListItem other = present;
    other.localName = "z";
    const FileImportResult append = ImportFileList(root_ + "/l.fls", {present, other}, ImportMode::Append);
    ASSERT_TRUE(append.result.ok());
    EXPECT_EQ(std::pair(append.added, append.updated), std::pair(std::size_t{0}, std::size_t{1}));
    ASSERT_EQ(append.items.size(), 2u);
    EXPECT_EQ(append.items[0].remoteName + test::Cat(" ", append.items[0].size), "renamed.txt 5");
    const FileImportResult replace = ImportFileList(root_ + "/l.fls", {present, other}, ImportMode::Replace);
    ASSERT_EQ(replace.items.size(), replace.added);
    EXPECT_EQ(replace.items.at(0).remoteName, "a.txt");

    WriteText(root_ + "/bad.fls", "not marked\n" + data + "/a.txt\n");
    const FileImportResult bad = ImportFileList(root_ + "/bad.fls", {present}, ImportMode::Replace);
    EXPECT_EQ(bad.result.messageId(), 146);
    ASSERT_EQ(bad.items.size(), 1u);  // the current list is handed back untouched
    EXPECT_EQ(bad.items[0].remoteName, "renamed.txt");
}

}  // namespace
}  // namespace zyfar
