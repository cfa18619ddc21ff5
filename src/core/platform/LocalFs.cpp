#include "platform/LocalFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>

#include "platform/MessageTable.h"
#include "platform/Paths.h"

namespace zyfar {
namespace {

// ---- small pieces ----

// An owned file descriptor.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool ok() const { return fd_ >= 0; }
    // Closes now; the errno of a failed close (NFS reports late write errors there), else 0.
    int Close() {
        const int fd = std::exchange(fd_, -1);
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int fd_;
};

Fd OpenFolder(const std::string& folder) {
    return Fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Calls visit(entry) for each entry of the open folder but "." and "..",
// until it answers false. The caller keeps its descriptor. 0 or the errno of
// a failed read.
template <typename Visit>
int ReadEntries(int folderFd, Visit&& visit) {
    const int own = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
    if (dir == nullptr) {
        const int err = errno;
        if (own >= 0) ::close(own);
        return err;
    }
    ::rewinddir(dir);
    int err = 0;
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (d == nullptr) {
            err = errno;
            break;
        }
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        if (!visit(*d)) break;
    }
    ::closedir(dir);
    return err;
}

bool Below(std::string_view path, std::string_view prefix) {
    return path == prefix || (path.size() > prefix.size() && path.starts_with(prefix) && path[prefix.size()] == '/');
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// "%s" placeholders filled in order; the arguments are never read as formats.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// ---- the current user's write permission ----

struct UserIds {
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    std::vector<gid_t> groups;

    UserIds() {
        const int n = ::getgroups(0, nullptr);
        if (n > 0) {
            groups.resize(static_cast<std::size_t>(n));
            groups.resize(static_cast<std::size_t>(std::max(0, ::getgroups(n, groups.data()))));
        }
    }
    // The write bit of the class (owner, group, others) this user falls in is clear.
    [[nodiscard]] bool ReadOnly(uid_t owner, gid_t group, unsigned mode) const {
        if (owner == uid) return (mode & S_IWUSR) == 0;
        if (group == gid || std::find(groups.begin(), groups.end(), group) != groups.end())
            return (mode & S_IWGRP) == 0;
        return (mode & S_IWOTH) == 0;
    }
};

// ---- stat with the birth time ----

struct Attr {
    unsigned mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t accessed = 0;
    std::int64_t created = kNoTime;
};

std::atomic<bool> g_noStatx{false};

// statx where the kernel has it (fstatat otherwise). Automount points are not
// triggered. False with errno set when the entry cannot be read.
bool StatAt(int dirFd, const char* name, bool follow, Attr& out) {
    const int flags = AT_NO_AUTOMOUNT | (follow ? 0 : AT_SYMLINK_NOFOLLOW);
    if (!g_noStatx.load(std::memory_order_relaxed)) {
        struct statx sx {};
        if (::statx(dirFd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
            out = Attr{sx.stx_mode, sx.stx_uid, sx.stx_gid, static_cast<std::int64_t>(sx.stx_size),
                       sx.stx_mtime.tv_sec, sx.stx_atime.tv_sec, kNoTime};
            if ((sx.stx_mask & STATX_BTIME) != 0) out.created = sx.stx_btime.tv_sec;
            return true;
        }
        if (errno != ENOSYS) return false;
        g_noStatx.store(true, std::memory_order_relaxed);
    }
    struct stat st {};
    if (::fstatat(dirFd, name, &st, flags) != 0) return false;
    out = Attr{st.st_mode, st.st_uid, st.st_gid, st.st_size, st.st_mtim.tv_sec, st.st_atim.tv_sec, kNoTime};
    return true;
}

// Fills one entry of an open folder; false (errno set) when it cannot be read.
bool ReadEntry(int dirFd, const char* name, const UserIds& user, LocalEntry& e, std::int64_t* accessed = nullptr) {
    Attr a;
    if (!StatAt(dirFd, name, false, a)) return false;
    e.name = name;
    e.isSymlink = S_ISLNK(a.mode);
    if (e.isSymlink) {
        Attr target;
        if (StatAt(dirFd, name, true, target)) a = target;
        else a.size = 0;  // a link that leads nowhere: its own times, no size
    }
    e.size = a.size;
    e.modified = a.modified;
    e.created = a.created;
    e.isFolder = S_ISDIR(a.mode);
    e.isFile = S_ISREG(a.mode);
    e.hidden = name[0] == '.';
    e.readOnly = !S_ISLNK(a.mode) && user.ReadOnly(a.uid, a.gid, a.mode);
    if (accessed != nullptr) *accessed = a.accessed;
    return true;
}

// ---- mount table ----

bool IsRemovableBlock(const std::string& sysBlock, const std::string& device) {
    if (!device.starts_with("/dev/")) return false;
    char real[PATH_MAX];
    const std::string dev = ::realpath(device.c_str(), real) != nullptr ? real : device;  // by-label links, mapper
    std::string dir = sysBlock + "/" + dev.substr(dev.rfind('/') + 1);
    struct stat st {};
    if (::stat((dir + "/partition").c_str(), &st) == 0 && ::realpath(dir.c_str(), real) != nullptr) {
        dir = real;  // a partition: the flag is its disk's, the folder above
        dir.resize(dir.rfind('/'));
    }
    std::ifstream flag(dir + "/removable");
    char c = '0';
    return flag.get(c) && c == '1';
}

}  // namespace

MountProbe SystemMountProbe(const std::string& sysBlock) {
    MountProbe probe;
    probe.removable = [sysBlock](const std::string& device) { return IsRemovableBlock(sysBlock, device); };
    probe.ownedByUser = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    };
    probe.isFolder = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    probe.runtimeDir = "/run/user/" + std::to_string(::geteuid());
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') probe.home = home;
    return probe;
}

std::string DecodeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out += static_cast<char>(value & 0xFF);
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

DriveType ClassifyMount(const std::string& device, const std::string& path, const std::string& fsType,
                        const MountProbe& probe) {
    // Pseudo file systems, container layers and package images (squashfs and
    // erofs sit on /dev/loop devices, so they are named here).
    if (fsType.starts_with("cgroup") ||
        OneOf(fsType, {"proc", "sysfs", "devpts", "devtmpfs", "mqueue", "debugfs", "tracefs", "securityfs", "pstore",
                       "bpf", "autofs", "configfs", "fusectl", "hugetlbfs", "binfmt_misc", "efivarfs", "rpc_pipefs",
                       "nsfs", "selinuxfs", "rootfs", "nfsd", "overlay", "aufs", "squashfs", "erofs",
                       "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs"}))
        return DriveType::Hidden;
    if (OneOf(fsType, {"iso9660", "udf"})) return DriveType::CdRom;
    if (OneOf(fsType, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "9p", "afs", "ceph", "glusterfs", "lustre",
                       "davfs", "sshfs", "fuse.sshfs", "fuse.rclone", "fuse.s3fs", "fuse.glusterfs", "fuse.davfs2"}))
        return DriveType::Network;
    if (OneOf(fsType, {"tmpfs", "ramfs"})) {
        const bool users = (!probe.runtimeDir.empty() && Below(path, probe.runtimeDir)) ||
                           (!probe.home.empty() && Below(path, probe.home)) ||
                           (probe.ownedByUser && probe.ownedByUser(path));
        return users ? DriveType::RamDisk : DriveType::Hidden;
    }
    const bool blockDevice = device.starts_with("/dev/");
    if (!blockDevice && fsType != "zfs") return DriveType::Hidden;
    if (probe.isFolder && !probe.isFolder(path)) return DriveType::Hidden;  // a bind-mounted file
    if (Below(path, "/media") || Below(path, "/run/media")) return DriveType::Removable;
    if (blockDevice && probe.removable && probe.removable(device)) return DriveType::Removable;
    return DriveType::Fixed;
}

std::vector<LocalDrive> ParseMountTable(std::string_view table, const MountProbe& probe) {
    std::vector<LocalDrive> drives{LocalDrive{"/", "", "", DriveType::Fixed}};
    std::size_t start = 0;
    while (start < table.size()) {
        std::size_t end = table.find('\n', start);
        if (end == std::string_view::npos) end = table.size();
        std::istringstream fields{std::string(table.substr(start, end - start))};
        start = end + 1;
        std::string device, path, type;
        if (!(fields >> device >> path >> type)) continue;
        path = DecodeMountField(path);
        if (path == "/" || !path.starts_with('/')) continue;
        LocalDrive drive{path, DecodeMountField(device), DecodeMountField(type), DriveType::Hidden};
        drive.type = ClassifyMount(drive.device, drive.path, drive.fsType, probe);
        auto same = std::find_if(drives.begin(), drives.end(), [&](const LocalDrive& d) { return d.path == path; });
        if (same != drives.end()) *same = std::move(drive);  // mounted over: the last mount is what is seen
        else drives.push_back(std::move(drive));
    }
    std::erase_if(drives, [](const LocalDrive& d) { return d.type == DriveType::Hidden; });
    return drives;
}

std::vector<LocalDrive> ListDrives(const std::string& mountsPath) {
    std::ifstream in(mountsPath);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    return ParseMountTable(text.str(), SystemMountProbe());
}

bool DriveShown(DriveType type, bool connectNet) {
    if (type == DriveType::Network) return connectNet;
    return type != DriveType::Hidden;
}

bool DriveReadsAtOnce(DriveType type) { return type != DriveType::Removable && type != DriveType::CdRom; }

// ---- listing ----

LocalListing ListFolder(const std::string& folder, std::size_t cap) {
    LocalListing out;
    const auto fail = [&](int err) {
        out.entries.clear();
        out.truncated = false;
        out.errorCode = err;
        out.error = "Cannot read folder " + folder + ": " + std::strerror(err);
        return std::move(out);
    };
    const Fd fd = OpenFolder(folder);
    if (!fd.ok()) return fail(errno);
    const UserIds user;
    const int readError = ReadEntries(fd.get(), [&](const dirent& d) {
        if (out.entries.size() >= cap) {
            out.truncated = true;
            return false;
        }
        LocalEntry e;
        if (ReadEntry(fd.get(), d.d_name, user, e)) out.entries.push_back(std::move(e));
        else if (errno != ENOENT)  // unreadable, yet there: shown by name
            out.entries.push_back(LocalEntry{d.d_name, 0, 0, kNoTime, false, false, false, d.d_name[0] == '.', false});
        return true;
    });
    if (readError != 0) return fail(readError);
    std::sort(out.entries.begin(), out.entries.end(),
              [](const LocalEntry& a, const LocalEntry& b) { return a.name < b.name; });
    return out;
}

std::optional<LocalFileInfo> StatLocal(const std::string& folder, const std::string& name) {
    const Fd dir = OpenFolder(folder);
    LocalFileInfo info;
    const bool read = dir.ok() && IsLocalFileName(name) &&
                      ReadEntry(dir.get(), name.c_str(), UserIds(), info.entry, &info.accessed);
    return read ? std::optional<LocalFileInfo>(std::move(info)) : std::nullopt;
}

LocalDateTime LocalTimeOf(std::int64_t secondsSinceEpoch) {
    const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm p{};
    if (::localtime_r(&seconds, &p) == nullptr) return {};
    return LocalDateTime{p.tm_year + 1900, p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, std::min(p.tm_sec, 59)};
}

// ---- file operations ----

bool IsLocalFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string_view("/\0", 2)) == name.npos;
}

namespace {

FsStatus StatusOf(int err) {
    switch (err) {
        case 0: return FsStatus::Ok;
        case ENOENT:
        case ENOTDIR: return FsStatus::NotFound;
        case EEXIST:
        case ENOTEMPTY: return FsStatus::Exists;
        case EACCES:
        case EPERM:
        case EROFS: return FsStatus::Denied;
        case EISDIR: return FsStatus::IsFolder;
        default: return FsStatus::Failed;
    }
}

// A result with the message's text ("%s" filled from `args`) or, without a
// message, `what`; the system's reason follows on its own line for denied
// and other failures.
FsResult Outcome(FsStatus status, int message, int err, std::initializer_list<std::string_view> args,
                 std::string_view what = {}) {
    FsResult r{status, message, message != 0 ? Fill(MessageText(message), args) : std::string(what), err};
    if (err != 0 && (status == FsStatus::Denied || status == FsStatus::Failed)) {
        if (!r.text.empty()) r.text += '\n';
        r.text += std::strerror(err);
    }
    return r;
}

// Renames without replacing anything. 0 or an errno.
int RenameNoReplaceAt(int fromDir, const char* from, int toDir, const char* to) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS) return err;
    // A file system without RENAME_NOREPLACE: look, then rename. Only a
    // racing creator of that very name can slip in between.
    struct stat st {};
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

// Moves the bytes, then the permission bits and the times. 0 or an errno.
int CopyData(int src, int dst, const struct stat& st) {
    bool kernelCopy = true;
    for (;;) {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(src, nullptr, dst, nullptr, std::size_t{1} << 30, 0);
            if (n > 0) continue;
            if (n == 0) break;
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
            kernelCopy = false;  // both offsets stand where the kernel left them
        }
        static thread_local std::vector<char> buffer(1 << 18);
        const ssize_t got = ::read(src, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(dst, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno != EINTR) return errno;
            if (put > 0) done += put;
        }
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(dst, st.st_mode & 0777) != 0 || ::futimens(dst, times) != 0) return errno;
    return 0;
}

// A fresh temporary name in the target folder, created exclusively.
Fd CreateTemporary(int dirFd, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".zyfar-copy-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        Fd fd(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.ok() || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return Fd();
}

// Copies src (an open regular file) into dirFd/name. 0 or an errno; EEXIST
// when the name is taken and `overwrite` is off. Nothing partial stays.
int CopyInto(int src, const struct stat& st, int dirFd, const std::string& name, bool overwrite) {
    if (!overwrite) {
        Fd dst(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!dst.ok()) return errno;
        int err = CopyData(src, dst.get(), st);
        if (const int closeErr = dst.Close(); err == 0) err = closeErr;
        if (err != 0) ::unlinkat(dirFd, name.c_str(), 0);
        return err;
    }
    struct stat old {};
    if (::fstatat(dirFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(old.st_mode)) return EISDIR;
    std::string temporary;
    Fd dst = CreateTemporary(dirFd, temporary);
    if (!dst.ok()) return errno;
    int err = CopyData(src, dst.get(), st);
    if (const int closeErr = dst.Close(); err == 0) err = closeErr;
    // renameat replaces a link at the target itself, never what it leads to.
    if (err == 0 && ::renameat(dirFd, temporary.c_str(), dirFd, name.c_str()) != 0) err = errno;
    if (err != 0) ::unlinkat(dirFd, temporary.c_str(), 0);
    return err;
}

// Opens a regular file for reading (a pipe never blocks the open). 0 or an
// errno; EISDIR for a folder, EINVAL for anything else that is no file.
int OpenSource(int dirFd, const std::string& name, Fd& fd, struct stat& st) {
    fd = Fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.ok()) return errno;
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    return ::fcntl(fd.get(), F_SETFL, 0) == 0 ? 0 : errno;
}

constexpr int kMaxTreeDepth = 256;

// Removes parentFd/name and everything below it, never following a link. 0 or an errno.
int RemoveTreeAt(int parentFd, const char* name, int depth) {
    if (depth > kMaxTreeDepth) return ELOOP;
    const Fd fd(::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.ok()) return errno;
    std::vector<std::pair<std::string, bool>> children;  // name, is a folder
    int err = ReadEntries(fd.get(), [&](const dirent& d) {
        bool folder = d.d_type == DT_DIR;
        struct stat st {};
        if (d.d_type == DT_UNKNOWN && ::fstatat(fd.get(), d.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            folder = S_ISDIR(st.st_mode);
        children.emplace_back(d.d_name, folder);
        return true;
    });
    for (std::size_t i = 0; err == 0 && i < children.size(); ++i) {
        const char* child = children[i].first.c_str();
        if (children[i].second) err = RemoveTreeAt(fd.get(), child, depth + 1);
        else if (::unlinkat(fd.get(), child, 0) != 0 && errno != ENOENT) err = errno;
    }
    if (err == 0 && ::unlinkat(parentFd, name, AT_REMOVEDIR) != 0) err = errno;
    return err;
}

}  // namespace

FsResult RenameLocal(const std::string& folder, const std::string& oldName, const std::string& newName) {
    if (!IsLocalFileName(newName)) return {FsStatus::InvalidName, 0, "Not a valid file name: \"" + newName + "\"", 0};
    if (newName == oldName) return {FsStatus::Unchanged, 0, {}, 0};
    int err = ENOENT;
    if (Fd dir = OpenFolder(folder); dir.ok() && IsLocalFileName(oldName))
        err = RenameNoReplaceAt(dir.get(), oldName.c_str(), dir.get(), newName.c_str());
    else if (!dir.ok())
        err = errno;
    const FsStatus status = StatusOf(err);
    if (status == FsStatus::Ok) return {};
    if (status == FsStatus::NotFound) return Outcome(status, kMsgNoSuchPathRename, 0, {});
    if (status == FsStatus::Exists || status == FsStatus::Denied) return Outcome(status, kMsgNotRenamed, err, {});
    return Outcome(status, 0, err, {},
                   "Cannot rename " + JoinPath(folder, oldName) + " to " + JoinPath(folder, newName));
}

FsResult DeleteLocalFile(const std::string& folder, const std::string& name) {
    const std::string path = JoinPath(folder, name);
    const auto fail = [&](int err) {
        const FsStatus status = StatusOf(err);
        if (status == FsStatus::NotFound) return Outcome(status, kMsgNoSuchFile, 0, {});
        if (status == FsStatus::Denied) return Outcome(status, kMsgReadOnly, err, {});
        return Outcome(status, 0, err, {}, "Cannot remove " + path);
    };
    if (!IsLocalFileName(name)) return fail(ENOENT);
    Fd dir = OpenFolder(folder);
    struct stat st {};
    if (!dir.ok() || ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
    if (S_ISDIR(st.st_mode)) return {FsStatus::IsFolder, 0, path + " is a folder", EISDIR};
    // A file without write permission is read-only, as its list row shows it.
    if (!S_ISLNK(st.st_mode) && UserIds().ReadOnly(st.st_uid, st.st_gid, st.st_mode))
        return Outcome(FsStatus::Denied, kMsgReadOnly, 0, {});
    if (::unlinkat(dir.get(), name.c_str(), 0) != 0) return fail(errno);
    return {};
}

FsResult DeleteLocalFolder(const std::string& path, FolderDelete how) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : trimmed.substr(0, slash);
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (!IsLocalFileName(name)) return {FsStatus::InvalidName, 0, "Not a folder that can be removed: " + path, 0};
    const auto fail = [&](int err) {
        const FsStatus status = StatusOf(err);
        if (status == FsStatus::NotFound) return Outcome(status, kMsgNoSuchFile, 0, {});
        if (status == FsStatus::Exists) return Outcome(FsStatus::NotEmpty, kMsgFolderNotRemoved, 0, {});
        if (status == FsStatus::Denied) return Outcome(status, kMsgFolderNotRemoved, err, {});
        return Outcome(status, 0, err, {}, "Cannot remove " + trimmed);
    };
    Fd dir = OpenFolder(parent);
    struct stat st {};
    if (!dir.ok() || ::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
    int err = 0;
    if (S_ISLNK(st.st_mode)) err = ::unlinkat(dir.get(), name.c_str(), 0) == 0 ? 0 : errno;  // the link, not its folder
    else if (!S_ISDIR(st.st_mode)) return {FsStatus::IsFolder, 0, trimmed + " is not a folder", ENOTDIR};
    else if (how == FolderDelete::Recursive) err = RemoveTreeAt(dir.get(), name.c_str(), 0);
    else err = ::unlinkat(dir.get(), name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
    return err == 0 ? FsResult{} : fail(err);
}

FsResult MoveLocal(const std::string& folder, const std::string& name, const std::string& targetFolder) {
    const std::string from = JoinPath(folder, name);
    const std::string to = JoinPath(targetFolder, name);
    Fd source = OpenFolder(folder);
    int err = source.ok() ? 0 : errno;
    Fd target = OpenFolder(targetFolder);
    if (err == 0 && !target.ok()) err = errno;
    if (err == 0 && !IsLocalFileName(name)) err = ENOENT;
    if (err == 0) err = RenameNoReplaceAt(source.get(), name.c_str(), target.get(), name.c_str());
    if (err == EXDEV) {
        // Another file system: a regular file is copied, then removed here.
        Fd in;
        struct stat st {};
        const int openErr = ::fstatat(source.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
                                ? OpenSource(source.get(), name, in, st)
                                : EXDEV;
        err = openErr != 0 ? openErr : CopyInto(in.get(), st, target.get(), name, false);
        if (err == 0 && ::unlinkat(source.get(), name.c_str(), 0) != 0) {
            err = errno;
            ::unlinkat(target.get(), name.c_str(), 0);  // one file, in one place
        }
    }
    const FsStatus status = StatusOf(err);
    if (status == FsStatus::Ok) return {};
    if (status == FsStatus::NotFound) return Outcome(status, kMsgNoSuchPathRename, 0, {});
    return Outcome(status, kMsgCouldNotMove, status == FsStatus::Exists ? 0 : err, {from, to});
}

FsResult CopyLocal(const std::string& folder, const std::string& name, const std::string& targetFolder,
                   bool overwrite) {
    const std::string from = JoinPath(folder, name);
    const std::string to = JoinPath(targetFolder, name);
    Fd dir = OpenFolder(folder);
    Fd in;
    struct stat st {};
    int err = !dir.ok() ? errno : !IsLocalFileName(name) ? ENOENT : OpenSource(dir.get(), name, in, st);
    if (err != 0) {
        if (StatusOf(err) == FsStatus::NotFound) return Outcome(FsStatus::NotFound, kMsgNoSuchFile, 0, {});
        if (err == EISDIR) return {FsStatus::IsFolder, 0, from + " is a folder; folders are not copied", err};
        return Outcome(StatusOf(err), 0, err, {}, "Cannot copy " + from);
    }
    Fd target = OpenFolder(targetFolder);
    err = target.ok() ? CopyInto(in.get(), st, target.get(), name, overwrite) : errno;
    if (err == 0) return {};
    if (err == EEXIST && !overwrite) return Outcome(FsStatus::Exists, kMsgOverwrite, 0, {to});
    if (err == EISDIR) return {FsStatus::IsFolder, 0, to + " is a folder", err};
    return Outcome(StatusOf(err), 0, err, {}, "Cannot copy " + from + " to " + to);
}

}  // namespace zyfar
