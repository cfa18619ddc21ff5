#include "automation/ScriptTransfer.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "engine/TransferStats.h"
#include "ftp/NameMask.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "platform/WorkerControl.h"

namespace zyfar {
namespace {

constexpr std::int64_t kDay = 86400;

FtpResult CancelledCopy() { return FtpFail(ftpcode::kCancelled, "The operation was canceled."); }

bool KeepGoing(WorkerControl* control) { return control == nullptr || control->Checkpoint(); }

int FileCause(int err) {
    switch (err) {
        case ENOENT:
            return 2;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return 3;
        case EMFILE:
        case ENFILE:
            return 4;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return 5;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return 13;
        default:
            return 1;
    }
}

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int get() const { return fd_; }
    // Closes now; the errno of a failed close, else 0.
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t n, int& err) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// A temporary file next to the target: O_EXCL, never following a link.
struct TempFile {
    int fd = -1;
    std::string path;
    int error = 0;
};

TempFile CreateTemp(const std::string& folder) {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    TempFile temp;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = ".zyfar-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                                 std::to_string(random() % 1000000000U) + ".part";
        temp.path = JoinPath(folder, name);
        temp.fd = ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (temp.fd >= 0) return temp;
        temp.error = errno;
        if (temp.error != EEXIST) break;
    }
    temp.fd = -1;
    return temp;
}

// Moves the finished temporary file to the target; without overwrite an
// existing target is never replaced, not even one that appears meanwhile.
int PlaceFile(const std::string& temp, const std::string& target, bool overwrite) {
    if (overwrite) return ::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without RENAME_NOREPLACE: a hard link fails on an existing name.
    if (::link(temp.c_str(), target.c_str()) != 0) return errno;
    ::unlink(temp.c_str());
    return 0;
}

// Adds the time of one copy to the statistics when it goes out of scope.
class CopyTimer {
public:
    explicit CopyTimer(bool serverToServer) : serverToServer_(serverToServer) {}
    ~CopyTimer() {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_);
        if (serverToServer_) stats::AddServerToServerTime(ns.count());
        else stats::AddTransferTime(ns.count());
    }
    CopyTimer(const CopyTimer&) = delete;
    CopyTimer& operator=(const CopyTimer&) = delete;

private:
    bool serverToServer_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

FtpResult CantOverwrite() { return FtpFail(kMsgCantOverwrite, MessageText(kMsgCantOverwrite)); }

}  // namespace

bool ScriptAgeFilter::Passes(std::int64_t age) const {
    const std::int64_t limit = std::int64_t{days} * kDay;
    if (op == ">") return age > limit;
    if (op == ">=") return age >= limit;
    if (op == "<") return age < limit;
    if (op == "<=") return age <= limit;
    if (op == "=") return limit - kDay < age && age <= limit;
    return false;
}

std::optional<std::int64_t> RemoteTimeToEpoch(const RemoteTime& time) {
    if (!time.valid) return std::nullopt;
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    return static_cast<std::int64_t>(::timegm(&tm));
}

bool IsSafeLocalName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

FtpResult LocalFileError(int err, std::string_view what, const std::string& path) {
    std::string text(what);
    text += " ";
    text += path;
    text += ": ";
    text += std::strerror(err);
    return FtpFail(FileCause(err), text);
}

LocalFind FindLocalFiles(const std::string& spec) {
    LocalFind found;
    const std::size_t slash = spec.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : spec.substr(0, slash));
    const std::string mask = slash == std::string::npos ? spec : spec.substr(slash + 1);
    auto add = [&](const std::string& name) {
        const std::string path = slash == std::string::npos ? name : JoinPath(folder, name);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        found.files.push_back(LocalFile{path, name, static_cast<std::int64_t>(st.st_size),
                                        static_cast<std::int64_t>(st.st_mtime)});
    };
    if (mask.empty()) return found;
    if (!HasWildcard(mask)) {
        add(mask);
        return found;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        found.error = errno;
        return found;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (MatchesMask(name, mask)) add(name);
    }
    ::closedir(dir);
    std::sort(found.files.begin(), found.files.end(),
              [](const LocalFile& a, const LocalFile& b) { return a.name < b.name; });
    return found;
}

FtpResult DownloadFile(FtpClient& client, const std::string& remotePath, const std::string& folder,
                       const std::string& name, FtpTransferType type, bool overwrite, WorkerControl* control) {
    if (!IsSafeLocalName(name)) return FtpFail(ftpcode::kInvalidOperation, "Unsafe local file name: " + name);
    const std::string target = JoinPath(folder, name);
    struct stat st {};
    if (!overwrite && ::lstat(target.c_str(), &st) == 0) return CantOverwrite();
    if (overwrite && ::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return LocalFileError(EISDIR, "Cannot replace", target);

    TempFile temp = CreateTemp(folder);
    if (temp.fd < 0) return LocalFileError(temp.error, "Cannot create a file in", folder);
    Fd fd(temp.fd);
    bool keep = false;
    struct Cleanup {
        const std::string& path;
        bool& keep;
        ~Cleanup() {
            if (!keep) ::unlink(path.c_str());
        }
    } cleanup{temp.path, keep};

    CopyTimer timer(false);
    FtpOutcome<std::unique_ptr<FtpFileStream>> opened = client.OpenFile(remotePath, FtpOpenMode::kRead, type);
    if (!opened.ok()) return opened.result;
    FtpFileStream& stream = *opened.value;
    std::vector<char> buffer(kScriptCopyChunk);
    for (;;) {
        if (!KeepGoing(control)) {
            (void)stream.Abort();
            return CancelledCopy();
        }
        FtpOutcome<std::size_t> got = stream.Read(buffer.data(), buffer.size());
        if (!got.ok()) return got.result;
        if (got.value == 0) break;
        const auto n = static_cast<std::int64_t>(got.value);
        stats::AddBytesReceived(n);
        stats::AddBytesGot(n);
        int err = 0;
        if (!WriteAll(fd.get(), buffer.data(), got.value, err)) {
            (void)stream.Abort();
            return LocalFileError(err, "Cannot write", target);
        }
        stats::AddLocalBytesWritten(n);
    }
    FtpResult closed = stream.Close();
    if (!closed.ok()) return closed;
    if (const int err = fd.Close(); err != 0) return LocalFileError(err, "Cannot write", target);
    if (const int err = PlaceFile(temp.path, target, overwrite); err != 0) {
        if (err == EEXIST) return CantOverwrite();
        return LocalFileError(err, "Cannot create", target);
    }
    keep = true;
    stats::AddFileTransferred();
    return FtpOk();
}

FtpResult UploadFile(FtpClient& client, const std::string& localPath, const std::string& remotePath,
                     FtpTransferType type, WorkerControl* control) {
    Fd fd(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.get() < 0) return LocalFileError(errno, "Cannot open", localPath);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return LocalFileError(errno, "Cannot open", localPath);
    if (!S_ISREG(st.st_mode)) return LocalFileError(EISDIR, "Not a regular file:", localPath);

    CopyTimer timer(false);
    FtpOutcome<std::unique_ptr<FtpFileStream>> opened = client.OpenFile(remotePath, FtpOpenMode::kWrite, type);
    if (!opened.ok()) return opened.result;
    FtpFileStream& stream = *opened.value;
    std::vector<char> buffer(kScriptCopyChunk);
    for (;;) {
        if (!KeepGoing(control)) {
            (void)stream.Abort();
            return CancelledCopy();
        }
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            (void)stream.Abort();
            return LocalFileError(err, "Cannot read", localPath);
        }
        if (n == 0) break;
        stats::AddLocalBytesRead(n);
        FtpResult written = stream.Write(buffer.data(), static_cast<std::size_t>(n));
        if (!written.ok()) return written;
        stats::AddBytesSent(n);
    }
    FtpResult closed = stream.Close();
    if (closed.ok()) stats::AddFileTransferred();
    return closed;
}

FtpResult CopyServerToServer(FtpClient& from, const std::string& fromPath, FtpClient& to, const std::string& toPath,
                             FtpTransferType type, WorkerControl* control) {
    if (&from == &to)
        return FtpFail(ftpcode::kTransferInProgress,
                       "The source and the destination are the same connection; a file cannot be copied onto it.");
    CopyTimer timer(true);
    FtpOutcome<std::unique_ptr<FtpFileStream>> source = from.OpenFile(fromPath, FtpOpenMode::kRead, type);
    if (!source.ok()) return source.result;
    FtpOutcome<std::unique_ptr<FtpFileStream>> target = to.OpenFile(toPath, FtpOpenMode::kWrite, type);
    if (!target.ok()) {
        (void)source.value->Abort();
        return target.result;
    }
    std::vector<char> buffer(kScriptCopyChunk);
    for (;;) {
        if (!KeepGoing(control)) {
            (void)source.value->Abort();
            (void)target.value->Abort();
            return CancelledCopy();
        }
        FtpOutcome<std::size_t> got = source.value->Read(buffer.data(), buffer.size());
        if (!got.ok()) {
            (void)target.value->Abort();
            return got.result;
        }
        if (got.value == 0) break;
        stats::AddBytesReceived(static_cast<std::int64_t>(got.value));
        FtpResult written = target.value->Write(buffer.data(), got.value);
        if (!written.ok()) {
            (void)source.value->Abort();
            return written;
        }
        stats::AddBytesSent(static_cast<std::int64_t>(got.value));
    }
    FtpResult closedTarget = target.value->Close();
    FtpResult closedSource = source.value->Close();
    if (!closedTarget.ok()) return closedTarget;
    if (closedSource.ok()) stats::AddFileTransferred();
    return closedSource;
}

}  // namespace zyfar
