// The local disk service: drives from mount tables, folder listings, and the
// file operations with their outcomes, links planted at targets included.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "platform/LocalFs.h"
#include "platform/MessageTable.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

using test::Exists;
using test::ReadText;
using test::TempDir;
using test::WriteText;

MountProbe FakeProbe() {
    MountProbe probe;
    probe.removable = [](const std::string& device) { return device == "/dev/sdc1"; };
    probe.ownedByUser = [](const std::string& path) { return path == "/mnt/scratch"; };
    probe.isFolder = [](const std::string& path) { return path != "/etc/hostname"; };
    probe.runtimeDir = "/run/user/1000";
    probe.home = "/home/me";
    return probe;
}

TEST(LocalFsDrives, MountTableGivesTypedDrivesWithRootFirst) {
    // Each line with the drive it gives (Hidden: none); "/" comes first whatever the table says.
    const struct { const char* line; const char* path; DriveType type; } mounts[] = {
        {"proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0", "", DriveType::Hidden},
        {"/dev/nvme0n1p1 /boot/efi vfat rw,relatime,fmask=0077 0 0", "/boot/efi", DriveType::Fixed},
        {"/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0", "", DriveType::Hidden},
        {"cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev,noexec 0 0", "", DriveType::Hidden},
        {"tmpfs /run tmpfs rw,nosuid,nodev,size=1623404k,mode=755 0 0", "", DriveType::Hidden},
        {"systemd-1 /proc/sys/fs/binfmt_misc autofs rw,relatime,fd=29 0 0", "", DriveType::Hidden},
        {"/dev/loop3 /snap/core22/1380 squashfs ro,nodev,relatime 0 0", "", DriveType::Hidden},
        {"tmpfs /run/user/1000 tmpfs rw,nosuid,nodev,mode=700,uid=1000 0 0", "/run/user/1000", DriveType::RamDisk},
        {"gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw,nosuid 0 0", "", DriveType::Hidden},
        {"/dev/sdb1 /media/me/USB\\040STICK vfat rw,uid=1000 0 0", "/media/me/USB STICK", DriveType::Removable},
        {"/dev/sr0 /media/me/DVD\\011VOL iso9660 ro,nosuid,nodev 0 0", "/media/me/DVD\tVOL", DriveType::CdRom},
        {"fileserver:/export/home /mnt/nfs nfs4 rw,vers=4.2,addr=10.0.0.5 0 0", "/mnt/nfs", DriveType::Network},
        {"//nas/share /mnt/nas cifs rw,relatime,vers=3.1.1 0 0", "/mnt/nas", DriveType::Network},
        {"me@host:/srv /home/me/remote fuse.sshfs rw,nosuid,nodev 0 0", "/home/me/remote", DriveType::Network},
        {"overlay /var/lib/docker/overlay2/4f1e/merged overlay rw,lowerdir=/x 0 0", "", DriveType::Hidden},
        {"/dev/sdc1 /mnt/backup ext4 rw,relatime 0 0", "/mnt/backup", DriveType::Removable},  // sysfs says so
        {"/dev/nvme0n1p2 /etc/hostname ext4 rw,relatime 0 0", "", DriveType::Hidden},         // a file bound
        {"tmpfs /home/me/ramdisk tmpfs rw,relatime 0 0", "/home/me/ramdisk", DriveType::RamDisk},
        {"tmpfs /mnt/scratch tmpfs rw,relatime 0 0", "/mnt/scratch", DriveType::RamDisk},  // the user's folder
        {"/dev/sdd1 /mnt/data ext4 rw,relatime 0 0", "", DriveType::Hidden},  // mounted over below
        {"tmpfs /mnt/data tmpfs rw,relatime 0 0", "", DriveType::Hidden},
        {"broken-line-without-fields", "", DriveType::Hidden},
        {"rpool/home /home zfs rw,xattr 0 0", "/home", DriveType::Fixed},
    };
    std::string table;
    std::vector<std::pair<std::string, DriveType>> expected{{"/", DriveType::Fixed}}, got;
    for (const auto& m : mounts) {
        table += std::string(m.line) + "\n";
        if (m.type != DriveType::Hidden) expected.emplace_back(m.path, m.type);
    }
    for (const LocalDrive& d : ParseMountTable(table, FakeProbe())) got.emplace_back(d.path, d.type);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(ParseMountTable(table, FakeProbe())[4],
              (LocalDrive{"/media/me/DVD\tVOL", "/dev/sr0", "iso9660", DriveType::CdRom}));
    EXPECT_EQ(ListDrives("/nonexistent/mounts"), (std::vector<LocalDrive>{{"/", "", "", DriveType::Fixed}}));

    const struct { const char* in; const char* out; } escapes[] = {
        {"a\\040b", "a b"}, {"x\\134y", "x\\y"}, {"\\012", "\n"}, {"\\04", "\\04"}, {"\\089", "\\089"}, {"\\", "\\"}};
    for (const auto& e : escapes) EXPECT_EQ(DecodeMountField(e.in), e.out) << e.in;

    EXPECT_EQ(std::make_tuple(DriveShown(DriveType::Network, false), DriveShown(DriveType::Network, true),
                              DriveReadsAtOnce(DriveType::CdRom), DriveReadsAtOnce(DriveType::Removable),
                              DriveReadsAtOnce(DriveType::RamDisk)),
              std::make_tuple(false, true, false, false, true));
}

// The removable flag of a partition is its disk's (a sysfs tree of our own).
TEST(LocalFsDrives, RemovableFlagFromSysfs) {
    TempDir sys;
    ASSERT_TRUE(WriteText(sys / "block/sdb/removable", "1\n"));
    ASSERT_TRUE(WriteText(sys / "block/sdb/sdb1/partition", "1\n"));
    ASSERT_TRUE(WriteText(sys / "block/sda/removable", "0\n"));
    ASSERT_TRUE(WriteText(sys / "block/sda/sda1/partition", "1\n"));
    ASSERT_TRUE(test::MakeDir(sys / "class"));
    for (const char* link : {"sdb", "sdb/sdb1", "sda/sda1"}) {
        const std::string name = std::string(link).substr(std::string(link).rfind('/') + 1);
        ASSERT_EQ(::symlink(("../block/" + std::string(link)).c_str(), (sys / "class/" + name).c_str()), 0);
    }
    const MountProbe probe = SystemMountProbe(sys / "class");
    EXPECT_TRUE(probe.removable("/dev/sdb1"));
    EXPECT_TRUE(probe.removable("/dev/sdb"));
    EXPECT_FALSE(probe.removable("/dev/sda1"));
    EXPECT_FALSE(probe.removable("/dev/nvme9n9p9"));
    EXPECT_FALSE(probe.removable("server:/export"));
}

// A folder with one entry of each kind.
class LocalFsFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.valid());
        ASSERT_TRUE(WriteText(dir / "a.txt", "hello"));
        ASSERT_TRUE(WriteText(dir / ".hidden", ""));
        ASSERT_TRUE(WriteText(dir / "locked", "x"));
        ASSERT_EQ(::chmod((dir / "locked").c_str(), 0444), 0);
        ASSERT_TRUE(test::MakeDir(dir / "sub"));
        ASSERT_EQ(::symlink("a.txt", (dir / "link").c_str()), 0);
        ASSERT_EQ(::symlink("missing", (dir / "dangling").c_str()), 0);
        ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    }
    TempDir dir{"zyfar-localfs"};
};

// An entry as "<name> [dir] [file] [link] [hidden] [ro] <size of a non-folder>".
std::string Describe(const LocalEntry& e) {
    std::string out = e.name;
    for (const auto& [on, word] : {std::pair{e.isFolder, " dir"}, {e.isFile, " file"}, {e.isSymlink, " link"},
                                   {e.hidden, " hidden"}, {e.readOnly, " ro"}})
        if (on) out += word;
    return e.isFolder ? out : out + " " + std::to_string(e.size);
}

TEST_F(LocalFsFolder, ListsEveryEntryWithItsKind) {
    const LocalListing listing = ListFolder(dir.path());
    ASSERT_TRUE(listing.ok()) << listing.error;
    EXPECT_FALSE(listing.truncated);
    std::vector<std::string> got;
    for (const LocalEntry& e : listing.entries) {
        got.push_back(Describe(e));
        EXPECT_GT(e.modified, 1600000000) << e.name;
        if (e.created != kNoTime) {
            EXPECT_LE(e.created, e.modified + 1) << e.name;
        }
    }
    EXPECT_EQ(got, (std::vector<std::string>{".hidden file hidden 0", "a.txt file 5", "dangling link 0",
                                             "link file link 5", "locked file ro 1", "pipe 0", "sub dir"}));
    const LocalListing capped = ListFolder(dir.path(), 3);
    EXPECT_TRUE(capped.truncated);
    EXPECT_EQ(capped.entries.size(), 3u);

    const auto info = StatLocal(dir.path(), "a.txt");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->entry, listing.entries[1]);
    EXPECT_GT(info->accessed, 1600000000);
    EXPECT_FALSE(StatLocal(dir.path(), "nope").has_value());
}

TEST_F(LocalFsFolder, FolderThatVanishedOrIsNoFolderGivesAnErrorAndNoEntries) {
    for (const std::string& path : {dir / "gone", dir / "a.txt"}) {
        const LocalListing listing = ListFolder(path);
        EXPECT_FALSE(listing.ok()) << path;
        EXPECT_TRUE(listing.entries.empty());
        EXPECT_NE(listing.errorCode, 0);
        EXPECT_NE(listing.error.find(path), std::string::npos) << listing.error;
    }
}

std::string Msg(int id) { return std::string(MessageText(id)); }

TEST_F(LocalFsFolder, RenameOutcomes) {
    const std::string d = dir.path();
    const struct { const char* from; const char* to; FsStatus status; int message; } cases[] = {
        {"a.txt", "a.txt", FsStatus::Unchanged, 0},   {"a.txt", "", FsStatus::InvalidName, 0},
        {"a.txt", "x/y", FsStatus::InvalidName, 0},   {"a.txt", "..", FsStatus::InvalidName, 0},
        {"nope", "b", FsStatus::NotFound, 173},       {"a.txt", "locked", FsStatus::Exists, 174},
        {"a.txt", "dangling", FsStatus::Exists, 174},  // a link at the target is a taken name
        {"a.txt", "b.txt", FsStatus::Ok, 0},
    };
    for (const auto& c : cases) {
        const FsResult r = RenameLocal(d, c.from, c.to);
        EXPECT_EQ(r.status, c.status) << c.from << " -> " << c.to << ": " << r.text;
        EXPECT_EQ(r.message, c.message) << c.to;
        if (c.message != 0) {
            EXPECT_EQ(r.text, Msg(c.message));
        }
    }
    EXPECT_EQ(ReadText(dir / "b.txt"), "hello");
    EXPECT_FALSE(Exists(dir / "missing"));  // the dangling link's target was never created
    EXPECT_EQ(RenameLocal(dir / "gone", "a", "b").message, 173);
}

TEST_F(LocalFsFolder, DeleteOutcomes) {
    const std::string d = dir.path();
    EXPECT_EQ(DeleteLocalFile(d, "nope").message, 180);
    const FsResult locked = DeleteLocalFile(d, "locked");
    EXPECT_EQ(std::tie(locked.status, locked.message, locked.text), std::make_tuple(FsStatus::Denied, 182, Msg(182)));
    EXPECT_TRUE(Exists(dir / "locked"));
    EXPECT_EQ(DeleteLocalFile(d, "sub").status, FsStatus::IsFolder);
    EXPECT_TRUE(DeleteLocalFile(d, "link").ok());  // the link goes, its file stays
    EXPECT_EQ(ReadText(dir / "a.txt"), "hello");
    EXPECT_TRUE(DeleteLocalFile(d, "a.txt").ok());
    EXPECT_FALSE(Exists(dir / "a.txt"));

    TempDir outside;
    ASSERT_TRUE(WriteText(outside / "keep", "safe"));
    ASSERT_TRUE(WriteText(dir / "sub/deep/er/file", "x"));
    ASSERT_EQ(::symlink(outside.path().c_str(), (dir / "sub/deep/out").c_str()), 0);
    const FsResult notEmpty = DeleteLocalFolder(dir / "sub", FolderDelete::OnlyEmpty);
    EXPECT_EQ(std::tie(notEmpty.status, notEmpty.message), std::make_tuple(FsStatus::NotEmpty, 33047));
    EXPECT_TRUE(DeleteLocalFolder(dir / "sub/", FolderDelete::Recursive).ok());
    EXPECT_FALSE(Exists(dir / "sub"));
    EXPECT_EQ(ReadText(outside / "keep"), "safe");  // a link inside is removed, never followed
    EXPECT_EQ(DeleteLocalFolder(dir / "sub", FolderDelete::Recursive).message, 180);
    EXPECT_EQ(DeleteLocalFolder("/", FolderDelete::Recursive).status, FsStatus::InvalidName);
    EXPECT_EQ(DeleteLocalFolder(dir / "locked", FolderDelete::OnlyEmpty).status, FsStatus::IsFolder);
}

TEST_F(LocalFsFolder, MoveAndCopyNeverReplaceOrFollowATargetUnasked) {
    TempDir target;
    TempDir victim;
    const std::string d = dir.path();
    const std::string t = target.path();
    ASSERT_TRUE(WriteText(victim / "secret", "victim"));
    ASSERT_TRUE(WriteText(target / "locked", "theirs"));
    ASSERT_EQ(::symlink((victim / "secret").c_str(), (target / "a.txt").c_str()), 0);  // planted

    // Copy: the existing name is a question; the planted link is never written through.
    FsResult r = CopyLocal(d, "a.txt", t, false);
    EXPECT_EQ(std::tie(r.status, r.message), std::make_tuple(FsStatus::Exists, 349));
    EXPECT_EQ(r.text, "File " + (target / "a.txt") + " already exists. Overwrite?");
    EXPECT_TRUE(CopyLocal(d, "a.txt", t, true).ok());
    EXPECT_EQ(ReadText(victim / "secret"), "victim");
    EXPECT_EQ(ReadText(target / "a.txt"), "hello");
    struct stat st {};
    ASSERT_EQ(::lstat((target / "a.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_TRUE(CopyLocal(d, "locked", t, true).ok());
    EXPECT_EQ(test::ModeOf(target / "locked"), 0444);  // bits kept
    EXPECT_EQ(CopyLocal(d, "nope", t, false).message, 180);
    EXPECT_EQ(CopyLocal(d, "sub", t, false).status, FsStatus::IsFolder);
    EXPECT_EQ(CopyLocal(d, "pipe", t, false).status, FsStatus::Failed);  // returns at once, no hang
    EXPECT_EQ(test::ListFolder(t), (std::vector<std::string>{"a.txt", "locked"}));  // no temporary left

    // Move: a taken name (a link included) is message 347 with both paths.
    ASSERT_EQ(::symlink((victim / "secret").c_str(), (target / ".hidden").c_str()), 0);
    r = MoveLocal(d, ".hidden", t);
    EXPECT_EQ(r.message, 347);
    EXPECT_EQ(r.text, "Could not rename file from " + (dir / ".hidden") + " to " + (target / ".hidden") + "!");
    EXPECT_EQ(MoveLocal(d, "nope", t).message, 173);
    EXPECT_EQ(MoveLocal(d, "a.txt", dir / "gone").message, 173);
    EXPECT_TRUE(MoveLocal(d, "sub", t).ok());
    EXPECT_TRUE(Exists(target / "sub"));
    EXPECT_FALSE(Exists(dir / "sub"));
    EXPECT_EQ(ReadText(victim / "secret"), "victim");
}

// Across file systems a file is copied and then removed; needs a tmpfs
// /dev/shm beside a temporary folder on another file system.
TEST(LocalFsMove, AcrossFileSystemsCopiesThenRemoves) {
    TempDir here;
    struct stat a {}, b {};
    if (::stat(here.path().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable file system";
    const std::string name = "zyfar-move-" + std::to_string(::getpid());
    ASSERT_TRUE(WriteText(here / name, "content"));
    const FsResult r = MoveLocal(here.path(), name, "/dev/shm");
    EXPECT_TRUE(r.ok()) << r.text;
    EXPECT_EQ(ReadText("/dev/shm/" + name), "content");
    EXPECT_FALSE(Exists(here / name));
    ::unlink(("/dev/shm/" + name).c_str());
}

}  // namespace
}  // namespace zyfar
