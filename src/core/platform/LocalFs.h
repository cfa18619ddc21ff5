#pragma once
// The local disk as the browsing views see it: the drives (from the mount
// table), the entries of one folder, and the file operations of the local
// list (rename, delete, move, copy) with the outcomes and message numbers the
// views show. POSIX only. The operations work on a name inside an open folder
// descriptor, so a symbolic link planted at a target is replaced or refused,
// never followed.
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace zyfar {

// ---- drives ----

// The drive types of the drive tree. Hidden: pseudo file systems (proc,
// sysfs, cgroup, ...), container layers (overlay, aufs), package images
// (squashfs, erofs), tmpfs that is not the user's, desktop helpers
// (fuse.gvfsd-fuse, fuse.portal) and anything else the tree does not show.
enum class DriveType { Fixed, Removable, CdRom, Network, RamDisk, Hidden };

struct LocalDrive {
    std::string path;    // mount point, escapes decoded
    std::string device;  // what is mounted ("/dev/sdb1", "server:/export", "tmpfs")
    std::string fsType;  // "ext4", "nfs4", ...
    DriveType type = DriveType::Fixed;

    friend bool operator==(const LocalDrive&, const LocalDrive&) = default;
};

// What the classification asks of the machine; tests give their own answers.
// Only local mounts are ever asked about (a dead network server cannot hang
// the drive list).
struct MountProbe {
    // The block device (a "/dev/..." path) is marked removable.
    std::function<bool(const std::string& device)> removable;
    // The folder exists and belongs to the current user.
    std::function<bool(const std::string& path)> ownedByUser;
    // The mount point is a folder (a bind mount of a single file is not a drive).
    std::function<bool(const std::string& path)> isFolder;
    std::string runtimeDir;  // "/run/user/<uid>"
    std::string home;        // $HOME
};

// The probe of this machine: removable flags from <sysBlock>/<name>/removable
// (a partition asks its disk), ownership and folders by lstat/stat.
[[nodiscard]] MountProbe SystemMountProbe(const std::string& sysBlock = "/sys/class/block");

// One mount-table field with its octal escapes ("\040" blank, "\011" tab,
// "\012" line feed, "\134" backslash) decoded.
[[nodiscard]] std::string DecodeMountField(std::string_view field);

// The type of one mount: CD-ROM (iso9660, udf), network (nfs, cifs, smb3,
// fuse.sshfs, 9p, ...), RAM disk (tmpfs or ramfs under the user's runtime
// folder or home, or owned by the user), removable (a block device marked
// removable, or mounted under /media or /run/media), fixed (any other file
// system on a /dev block device, and zfs), else Hidden.
[[nodiscard]] DriveType ClassifyMount(const std::string& device, const std::string& path, const std::string& fsType,
                                      const MountProbe& probe);

// The drives of a mount table: "/" first as a fixed drive (always, even when
// the table lacks it), then each other mount point that is not Hidden, in
// table order. A point mounted over again has the type of its last mount.
[[nodiscard]] std::vector<LocalDrive> ParseMountTable(std::string_view table, const MountProbe& probe);

// ParseMountTable over a mount table file; an unreadable file gives "/" alone.
[[nodiscard]] std::vector<LocalDrive> ListDrives(const std::string& mountsPath = "/proc/self/mounts");

// Drive tree rules: network drives are shown only when CONFIG ConnectNet is
// not "NO"; removable and CD-ROM drives read their folders when expanded,
// the others at once.
[[nodiscard]] bool DriveShown(DriveType type, bool connectNet);
[[nodiscard]] bool DriveReadsAtOnce(DriveType type);

// ---- folder listing ----

// A time the file system does not keep (the creation time on many).
inline constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

struct LocalEntry {
    std::string name;
    std::int64_t size = 0;        // bytes; a link: its target's (0 when it leads nowhere)
    std::int64_t modified = 0;    // seconds since the epoch; a link: its target's
    std::int64_t created = kNoTime;
    bool isFolder = false;        // a folder, or a link to one
    bool isFile = false;          // a regular file, or a link to one (devices, pipes and sockets are neither)
    bool isSymlink = false;
    bool hidden = false;          // the name starts with "."
    bool readOnly = false;        // the permission bits give this user no write access

    friend bool operator==(const LocalEntry&, const LocalEntry&) = default;
};

inline constexpr std::size_t kListingCap = 1'000'000;

struct LocalListing {
    std::vector<LocalEntry> entries;  // ordered by name (byte order); never "." or ".."
    std::string error;                // why the folder could not be read; empty when it was
    int errorCode = 0;                // errno of the failure
    bool truncated = false;           // the folder holds more than the cap; the first `cap` read are kept

    [[nodiscard]] bool ok() const { return error.empty(); }
};

// The entries of one folder. A folder that is missing or cannot be read gives
// the error ("Cannot read folder <path>: <reason>") and no entries; an entry
// that vanishes while the folder is read is left out.
[[nodiscard]] LocalListing ListFolder(const std::string& folder, std::size_t cap = kListingCap);

// One entry of a folder with its last access time (the properties dialog);
// nothing when it does not exist.
struct LocalFileInfo {
    LocalEntry entry;
    std::int64_t accessed = 0;
};
[[nodiscard]] std::optional<LocalFileInfo> StatLocal(const std::string& folder, const std::string& name);

// Seconds since the epoch as the local calendar time (seconds above 59 read
// as 59).
[[nodiscard]] LocalDateTime LocalTimeOf(std::int64_t secondsSinceEpoch);

// ---- file operations ----

enum class FsStatus {
    Ok,
    Unchanged,    // rename to the same name: nothing done
    InvalidName,  // empty, ".", "..", or holding "/" or NUL
    NotFound,     // the file or a folder of its path does not exist
    Denied,       // access denied, read-only file or file system
    Exists,       // the target name is taken
    NotEmpty,     // a folder that still holds entries
    IsFolder,     // a file operation on a folder, or the reverse
    Failed,       // any other system error (see `text`)
};

struct FsResult {
    FsStatus status = FsStatus::Ok;
    int message = 0;   // string-table number of the message, 0 when none
    // What the view shows: the message's text with its "%s" filled (349 is
    // the overwrite question), or a sentence of its own without a message;
    // for denied and other system failures the system's reason follows on a
    // line of its own. Empty on success and for Unchanged.
    std::string text;
    int error = 0;     // errno of the failing call

    [[nodiscard]] bool ok() const { return status == FsStatus::Ok; }
};

// Messages of the local list.
inline constexpr int kMsgNoSuchPathRename = 173;  // "No such path to rename directory"
inline constexpr int kMsgNotRenamed = 174;        // "File was not renamed. A file by that name already exists!"
inline constexpr int kMsgNoSuchFile = 180;        // "No such file!"
inline constexpr int kMsgReadOnly = 182;          // "File is read only!"
inline constexpr int kMsgFolderNotRemoved = 33047;  // "Could not remove folder\nFolder still contains ..."
inline constexpr int kMsgCouldNotMove = 347;      // "Could not rename file from %s to %s!"
inline constexpr int kMsgOverwrite = 349;         // "File %s already exists. Overwrite?"

// A name that can stand inside a folder: not empty, not "." or "..", no "/"
// or NUL.
[[nodiscard]] bool IsLocalFileName(std::string_view name);

// Rename within a folder. Unchanged for the same name; InvalidName for a bad
// new name; 173 when the file or folder is missing; 174 when the new name is
// taken (by anything, a link included) or access is denied.
[[nodiscard]] FsResult RenameLocal(const std::string& folder, const std::string& oldName,
                                   const std::string& newName);

// Deletes one file or link (never what a link leads to). 180 when missing;
// 182 when the file is read-only (no write permission for this user) or
// access is denied; IsFolder for a folder.
[[nodiscard]] FsResult DeleteLocalFile(const std::string& folder, const std::string& name);

// Deletes a folder: OnlyEmpty removes an empty folder (NotEmpty, 33047,
// otherwise); Recursive removes everything below it first, never following a
// link (a link is removed as a link). A link given as the folder is removed
// as a link. 180 when missing; 33047 when access is denied. Stops at the
// first failure (what was removed before stays removed).
enum class FolderDelete { OnlyEmpty, Recursive };
[[nodiscard]] FsResult DeleteLocalFolder(const std::string& path, FolderDelete how);

// Moves folder/name to targetFolder/name without replacing anything. 173
// when the file or a folder is missing; 347 with both paths when the target
// exists, access is denied or the move fails otherwise. Across file systems a
// regular file is copied and then removed.
[[nodiscard]] FsResult MoveLocal(const std::string& folder, const std::string& name,
                                 const std::string& targetFolder);

// Copies the regular file folder/name (a link to one: what it leads to) to
// targetFolder/name. Without `overwrite` an existing target gives Exists with
// 349 (the question to ask); with it the copy goes to a temporary file in the
// target folder that then replaces the target (a link at the target is
// replaced, never written through; a folder there is refused). Keeps the
// permission bits and the modification time. 180 when the source is missing;
// a failed copy leaves no partial file and the target unchanged.
[[nodiscard]] FsResult CopyLocal(const std::string& folder, const std::string& name, const std::string& targetFolder,
                                 bool overwrite);

}  // namespace zyfar
