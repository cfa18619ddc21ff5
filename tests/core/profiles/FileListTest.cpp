#include "profiles/FileList.h"

#include "ProfileFixture.h"
#include "profiles/LinkFile.h"
#include "settings/IniFile.h"

namespace zyfar {
namespace {

FileListItem Item(const std::string& folder, const std::string& name, std::int64_t size, const std::string& remote = "") {
    return {.folder = folder, .localName = name, .remoteName = remote.empty() ? name : remote, .size = size};
}

class FileListTest : public testing::ProfileFixture {
protected:
    std::string NewList(const std::string& name) {
        std::string folder;
        EXPECT_TRUE(CreateFileListFolder(name, &folder).ok());
        return folder;
    }
};

TEST_F(FileListTest, SaveWritesCountFirstThenSectionsInRowOrder) {
    const std::string list = NewList("nightly");
    ASSERT_TRUE(SaveFileList(list, {}).ok());
    EXPECT_FALSE(Exists(list + "/flist.ini"));  // an empty list writes nothing
    const std::int64_t huge = 6LL * 1024 * 1024 * 1024 + 7;
    ASSERT_TRUE(SaveFileList(list, {Item("/data", "a.txt", 10, "A.TXT"), Item("/data/", "b.bin", huge)}).ok());
    EXPECT_EQ(ReadText(list + "/flist.ini"),
              "[LIST]\nNumItems=2\n"
              "[FILE1]\nLocalName=a.txt\nFolder=/data\nRemoteName=A.TXT\nSize=10\n"
              "[FILE2]\nLocalName=b.bin\nFolder=/data/\nRemoteName=b.bin\nSize=6442450951\n");
    auto back = LoadFileList(list);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], Item("/data", "a.txt", 10, "A.TXT"));
    EXPECT_EQ(back[1].size, huge);
    EXPECT_EQ(FileListLocalPath(back[0]) + FileListLocalPath(back[1]), "/data/a.txt/data/b.bin");

    // A shorter list leaves the old sections behind but loads only its count.
    ASSERT_TRUE(SaveFileList(list, {Item("/e", "z", 3)}).ok());
    EXPECT_TRUE(ReadPrivateProfile(list + "/flist.ini").HasSection("FILE2"));
    EXPECT_EQ(LoadFileList(list), std::vector<FileListItem>{Item("/e", "z", 3)});
}

TEST_F(FileListTest, DamagedFilesReadSafely) {
    const std::string list = NewList("bad");
    WriteText(list + "/flist.ini",
              "[LIST]\nNumItems=2000000000\n[FILE1]\nLocalName=a\nFolder=/d\nSize=-5\n"
              "[FILE3]\nLocalName=c\nFolder=/d\nRemoteName=\nSize=12abc\n");
    const auto items = LoadFileList(list);
    ASSERT_EQ(items.size(), 2u);  // FILE2 is missing and skipped; the count is bounded
    EXPECT_EQ(items[0].remoteName + test::Cat(" ", items[0].size) + " " + items[1].remoteName + test::Cat(" ", items[1].size),
              "a 0 c 12");
    for (const char* count : {"-3", "junk"}) {
        WriteText(list + "/flist.ini", std::string("[LIST]\nNumItems=") + count + "\n[FILE1]\nLocalName=a\n");
        EXPECT_TRUE(LoadFileList(list).empty()) << count;
    }
    EXPECT_TRUE(LoadFileList(root_ + "/no-such-list").empty());
}

TEST_F(FileListTest, ItemsThatCannotBeStoredFailTheWholeSave) {
    const std::string list = NewList("keep");
    ASSERT_TRUE(SaveFileList(list, {Item("/d", "old", 1)}).ok());
    const std::string before = ReadText(list + "/flist.ini");
    for (const FileListItem& bad : {Item("/d", "new\nline", 1), Item("/d", " lead", 1), Item("/d", "trail ", 1),
                                    Item("/d", "", 1), Item("/d\r", "x", 1)}) {
        const ProfileResult r = SaveFileList(list, {Item("/d", "fine", 1), bad});
        EXPECT_EQ(r.status, ProfileStatus::InvalidValue);
    }
    EXPECT_EQ(ReadText(list + "/flist.ini"), before);
}

TEST_F(FileListTest, MergeDoesNotDuplicateSameFolderAndName) {
    std::vector<FileListItem> items{Item("/d", "a", 1)};
    const std::vector<FileListItem> more{Item("/d", "a", 99), Item("/e", "a", 2), Item("/d", "b", 3)};
    EXPECT_EQ(MergeFileListItems(items, more), 2u);
    EXPECT_EQ(MergeFileListItems(items, more), 0u);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].size, 1);
    EXPECT_TRUE(HasFileListItem(items, "/e", "a") && !HasFileListItem(items, "/e", "b"));
}

TEST_F(FileListTest, FolderCreateAndRenameRefuseClashesAndLinksFollow) {
    WriteText(FilesFolder() + "/clash", "I am a file");
    EXPECT_EQ(CreateFileListFolder("clash").status, ProfileStatus::NotAFolder);
    EXPECT_EQ(ReadText(FilesFolder() + "/clash"), "I am a file");
    EXPECT_EQ(CreateFileListFolder("../out").status, ProfileStatus::InvalidName);
    const std::string list = NewList("week");
    EXPECT_EQ(NewList("week"), FilesFolder() + "/week");  // an existing list folder is reused
    ASSERT_TRUE(SaveFileList(list, {Item("/d", "a", 1)}).ok());
    ASSERT_TRUE(AddLink("l", {"/p/s.ini"}, 1, list).ok());
    NewList("taken");
    EXPECT_EQ(RenameFileListFolder(list, "taken").messageId(), 33048);
    EXPECT_EQ(RenameFileListFolder(FilesFolder() + "/none", "x").messageId(), 33036);
    std::string renamed;
    ASSERT_TRUE(RenameFileListFolder(list, "weekly", &renamed).ok());
    EXPECT_EQ(LoadFileList(renamed).size(), 1u);
    EXPECT_EQ(ReadLink("l").files, renamed + "/flist.ini");
    const auto lists = ListFileLists();
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0].name + " " + lists[1].name, "taken weekly");
}

}  // namespace
}  // namespace zyfar
