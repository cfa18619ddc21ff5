#include "profiles/ProfileFolders.h"

#include "ProfileFixture.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"

#include <algorithm>
#include <filesystem>

namespace zyfar {
namespace {

namespace fs = std::filesystem;

class ProfileFoldersTest : public testing::ProfileFixture {
protected:
    // Makes the entries of a layout below `base`: "x/" a folder, "x" a file.
    static void Make(const std::string& base, const std::vector<std::string>& entries) {
        for (const std::string& e : entries) {
            if (e.back() == '/') {
                fs::create_directories(base + "/" + e);
            } else {
                fs::create_directories(fs::path(base + "/" + e).parent_path());
                test::WriteText(base + "/" + e, "x");
            }
        }
    }
    // Every entry below `base`, relative, sorted ("x/" for folders).
    static std::vector<std::string> Layout(const std::string& base) {
        std::vector<std::string> out;
        if (!fs::exists(base)) return out;
        for (const auto& e : fs::recursive_directory_iterator(base)) {
            std::string rel = fs::relative(e.path(), base).string();
            if (e.is_directory() && !e.is_symlink()) rel += "/";
            out.push_back(rel);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

struct FreeNameCase {
    std::vector<std::string> present;
    std::string expected;
};

TEST_F(ProfileFoldersTest, TheFirstFreeNameIsTheBaseThenTheNumberedOnes) {
    const FreeNameCase cases[] = {
        {{}, "New Profile"},
        {{"New Profile/"}, "New Profile (1)"},
        {{"New Profile/", "New Profile (1)/"}, "New Profile (2)"},
        {{"New Profile (1)/"}, "New Profile"},
        {{"New Profile"}, "New Profile (1)"},  // a file of that name takes it too
        {{"New Profile/", "New Profile (2)/"}, "New Profile (1)"},
        {{"new profile/"}, "New Profile"},  // names differ by case on this file system
    };
    int n = 0;
    for (const FreeNameCase& c : cases) {
        const std::string parent = ProfileFolder("case" + std::to_string(n++));
        Make(parent, c.present);
        EXPECT_EQ(FreeNameIn(parent, kNewProfileFolderLabel), c.expected) << n;
        std::string made;
        ASSERT_TRUE(CreateFolderUnderFreeName(parent, kNewProfileFolderLabel, &made).ok()) << n;
        EXPECT_EQ(made, parent + "/" + c.expected);
        EXPECT_TRUE(IsFolder(made));
    }
    EXPECT_EQ(CreateFolderUnderFreeName(ProfilesFolder() + "/missing", "New Profile").messageId(), 33036);
    EXPECT_EQ(CreateFolderUnderFreeName(ProfilesFolder(), "../x").status, ProfileStatus::InvalidName);
    EXPECT_EQ(FreeNameIn(ProfilesFolder(), "a/b"), "");
}

struct RemovalCase {
    const char* name;
    std::vector<std::string> layout;  // below the folder "f"
    FolderRemoval how;
    int messageId;                    // 0: none
    bool ok;
    std::vector<std::string> left;    // what stays below the parent
};

TEST_F(ProfileFoldersTest, FolderOnlyNeedsAFolderWithoutSubFoldersAndAllTakesEverything) {
    const RemovalCase cases[] = {
        {"all", {"a.ini", "s/b.ini", "s/t/"}, FolderRemoval::All, 0, true, {}},
        {"only files", {"a.ini", "a.ini.lock"}, FolderRemoval::FolderOnly, 0, true, {}},
        {"only empty", {}, FolderRemoval::FolderOnly, 0, true, {}},
        {"only with sub", {"a.ini", "s/"}, FolderRemoval::FolderOnly, 33047, false, {"f/", "f/a.ini", "f/s/"}},
        {"cancel", {"a.ini"}, FolderRemoval::Cancel, 0, true, {"f/", "f/a.ini"}},
    };
    for (const RemovalCase& c : cases) {
        const std::string parent = ProfileFolder(c.name);
        Make(parent, {"f/"});
        Make(parent + "/f", c.layout);
        const ProfileResult r = RemoveFolder(parent + "/f", c.how);
        EXPECT_EQ(r.ok(), c.ok) << c.name;
        EXPECT_EQ(r.messageId(), c.messageId) << c.name;
        EXPECT_EQ(Layout(parent), c.left) << c.name;
    }
    EXPECT_EQ(RemoveFolder(ProfilesFolder() + "/none", FolderRemoval::All).messageId(), 33036);
    EXPECT_EQ(RemoveFolder("/", FolderRemoval::All).status, ProfileStatus::InvalidName);
}

TEST_F(ProfileFoldersTest, SymbolicLinksAreRemovedWithoutTouchingWhatTheyPointAt) {
    const std::string outside = root_ + "/outside";
    Make(outside, {"keep.txt", "deep/keep2.txt"});
    const std::string f = ProfileFolder("f");
    fs::create_directory_symlink(outside, f + "/to-outside");
    fs::create_symlink(outside + "/keep.txt", f + "/file-link.ini");
    // A link to a folder is not a sub-folder: folder-only may remove it.
    ASSERT_TRUE(RemoveFolder(f, FolderRemoval::FolderOnly).ok());
    EXPECT_FALSE(PathExists(f));
    EXPECT_EQ(Layout(outside), (std::vector<std::string>{"deep/", "deep/keep2.txt", "keep.txt"}));
    const std::string g = ProfileFolder("g/sub");
    fs::create_directory_symlink(outside, g + "/to-outside");
    ASSERT_TRUE(RemoveFolder(ProfilesFolder() + "/g", FolderRemoval::All).ok());
    EXPECT_EQ(Layout(outside), (std::vector<std::string>{"deep/", "deep/keep2.txt", "keep.txt"}));
}

struct LinkUpkeepCase {
    const char* name;
    FolderRemoval how;
    std::vector<std::string> removedLinks;  // sorted
    std::vector<std::string> linksLeft;     // sorted
};

TEST_F(ProfileFoldersTest, DeletingAProfileFolderDeletesTheLinksNamingItsProfiles) {
    const LinkUpkeepCase cases[] = {
        {"all", FolderRemoval::All, {"deep", "inside", "upper"}, {"other"}},
        {"only", FolderRemoval::FolderOnly, {}, {"deep", "inside", "other", "upper"}},  // 33047
        {"cancel", FolderRemoval::Cancel, {}, {"deep", "inside", "other", "upper"}},
    };
    for (const LinkUpkeepCase& c : cases) {
        for (const NamedPath& l : ListLinks()) ASSERT_TRUE(DeleteLinkFile(l.path).ok());
        const std::string work = ProfileFolder(std::string("w-") + c.name);
        const std::string f = ProfileFolder(std::string("w-") + c.name + "/Work");
        ProfileFolder(std::string("w-") + c.name + "/Workshop");
        std::string upper = f;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        ASSERT_TRUE(AddLink("inside", {work + "/x.ini", f + "/a.ini"}, 1, std::nullopt).ok());
        ASSERT_TRUE(AddLink("deep", {f + "/sub/b.ini"}, 1, std::nullopt).ok());
        ASSERT_TRUE(AddLink("upper", {upper + "/a.ini"}, 1, std::nullopt).ok());
        ASSERT_TRUE(AddLink("other", {work + "/Workshop/a.ini"}, 1, std::nullopt).ok());
        Make(f, {"a.ini", "sub/b.ini"});
        std::vector<std::string> removed;
        const ProfileResult r = DeleteProfileFolder(f, c.how, &removed);
        EXPECT_EQ(r.ok(), c.how != FolderRemoval::FolderOnly) << c.name;
        std::sort(removed.begin(), removed.end());
        EXPECT_EQ(removed, c.removedLinks) << c.name;
        std::vector<std::string> left;
        for (const NamedPath& l : ListLinks()) left.push_back(l.name);
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, c.linksLeft) << c.name;
    }
    // The root of the profile tree and folders outside it are refused.
    EXPECT_EQ(DeleteProfileFolder(ProfilesFolder(), FolderRemoval::All).status, ProfileStatus::InvalidName);
    EXPECT_EQ(DeleteProfileFolder(root_, FolderRemoval::All).status, ProfileStatus::InvalidName);
    EXPECT_TRUE(IsFolder(ProfilesFolder()));
}

TEST_F(ProfileFoldersTest, AFolderOnlyDeleteTakesTheLinksOfItsOwnProfiles) {
    const std::string f = ProfileFolder("plain");
    Make(f, {"a.ini"});
    ASSERT_TRUE(AddLink("uses", {f + "/a.ini"}, 1, std::nullopt).ok());
    std::vector<std::string> removed;
    ASSERT_TRUE(DeleteProfileFolder(f, FolderRemoval::FolderOnly, &removed).ok());
    EXPECT_EQ(removed, std::vector<std::string>{"uses"});
    EXPECT_TRUE(ListLinks().empty());
}

TEST_F(ProfileFoldersTest, DeletingAFileListFolderDropsItsLinksFromTheComboAndKeepsTheirFiles) {
    const std::string week = FilesFolder() + "/week";
    const std::string day = FilesFolder() + "/week/day";
    const std::string month = FilesFolder() + "/month";
    for (const std::string& list : {week, day, month}) {
        fs::create_directories(list);
        ASSERT_TRUE(SaveFileList(list, {{"/d", "a", "a", 1, 0}}).ok());
    }
    ASSERT_TRUE(AddLink("w", {"/p/a.ini"}, 1, week).ok());
    ASSERT_TRUE(AddLink("d", {"/p/a.ini"}, 1, day).ok());
    ASSERT_TRUE(AddLink("m", {"/p/a.ini"}, 1, month).ok());
    std::vector<std::string> dropped;
    EXPECT_EQ(DeleteFileListFolder(week, FolderRemoval::FolderOnly, &dropped).messageId(), 33047);
    EXPECT_TRUE(dropped.empty());
    EXPECT_TRUE(IsRegularFile(FileListIniPath(week)));
    ASSERT_TRUE(DeleteFileListFolder(week, FolderRemoval::All, &dropped).ok());
    std::sort(dropped.begin(), dropped.end());
    EXPECT_EQ(dropped, (std::vector<std::string>{"d", "w"}));
    EXPECT_EQ(ListLinks().size(), 3u);
    EXPECT_FALSE(PathExists(week));
    EXPECT_EQ(DeleteFileListFolder(FilesFolder(), FolderRemoval::All).status, ProfileStatus::InvalidName);
}

TEST_F(ProfileFoldersTest, MovingAFileListFolderTakesItsLinksAlong) {
    const std::string week = FilesFolder() + "/week";
    const std::string archive = FilesFolder() + "/archive";
    fs::create_directories(week);
    fs::create_directories(archive);
    ASSERT_TRUE(SaveFileList(week, {{"/d", "a", "a", 1, 0}}).ok());
    ASSERT_TRUE(AddLink("w", {"/p/a.ini"}, 1, week).ok());
    std::string moved;
    ASSERT_TRUE(MoveFileListFolder(week, archive, &moved).ok());
    EXPECT_EQ(moved, archive + "/week");
    EXPECT_EQ(ReadLink("w").files, archive + "/week/flist.ini");
    EXPECT_EQ(MoveFileListFolder(archive, moved).status, ProfileStatus::InvalidName);
    fs::create_directories(week);
    EXPECT_EQ(MoveFileListFolder(moved, FilesFolder()).messageId(), 33048);
}

}  // namespace
}  // namespace zyfar
