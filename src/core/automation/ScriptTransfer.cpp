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
#include <ctime>
#include <memory>
#include <random>

#include "engine/BufferedLocalFile.h"
#include "engine/CopyLoop.h"
#include "engine/TransferStats.h"
#include "ftp/NameMask.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "platform/WorkerControl.h"

namespace zyfar {
namespace {

constexpr std::int64_t kDay = 86400;


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

// The counted ends of a script copy: each read and write adds its bytes to
// the statistics.
CopyReadFn ServerReads(FtpFileStream& stream, bool countGot) {
    return [&stream, countGot](char* buffer, std::size_t n) {
        FtpOutcome<std::size_t> got = stream.Read(buffer, n);
        if (got.ok()) {
            stats::AddBytesReceived(static_cast<std::int64_t>(got.value));
            if (countGot) stats::AddBytesGot(static_cast<std::int64_t>(got.value));
        }
        return got;
    };
}

CopyWriteFn ServerWrites(FtpFileStream& stream) {
    return [&stream](const char* buffer, std::size_t n) {
        FtpResult r = stream.Write(buffer, n);
        if (r.ok()) stats::AddBytesSent(static_cast<std::int64_t>(n));
        return r;
    };
}

CopyReadFn LocalReads(BufferedLocalFile& file) {
    return [&file](char* buffer, std::size_t n) {
        FtpOutcome<std::size_t> got = file.Read(buffer, n);
        if (got.ok()) stats::AddLocalBytesRead(static_cast<std::int64_t>(got.value));
        return got;
    };
}

CopyWriteFn LocalWrites(BufferedLocalFile& file) {
    return [&file](const char* buffer, std::size_t n) {
        FtpResult r = file.Write(buffer, n);
        if (r.ok()) stats::AddLocalBytesWritten(static_cast<std::int64_t>(n));
        return r;
    };
}

// Runs a script copy through the engine's pass loop, kScriptCopyChunk bytes
// a pass (one read, then one write of what it gave), pausing at and checking
// the control before every pass. `readStream` / `writeStream` are the server
// streams of the two ends (none for a local end). A cancelled copy aborts
// both; a failed one aborts the end that did not fail. FtpOk when the source
// ended.
FtpResult RunScriptPasses(WorkerControl* control, FtpFileStream* readStream, const CopyReadFn& read,
                          FtpFileStream* writeStream, const CopyWriteFn& write) {
    bool readFailed = false;
    const PassResult passes = CopyPassLoop(
        kScriptCopyChunk, kScriptCopyChunk, control, nullptr,
        [&read, &readFailed](char* buffer, std::size_t n) {
            FtpOutcome<std::size_t> got = read(buffer, n);
            readFailed = !got.ok();
            return got;
        },
        write, {});
    if (passes.end == PassEnd::EndOfSource) return FtpOk();
    if (passes.end == PassEnd::Cancelled) {
        if (readStream) (void)readStream->Abort();
        if (writeStream) (void)writeStream->Abort();
        return CancelledResult();
    }
    if (FtpFileStream* other = readFailed ? writeStream : readStream) (void)other->Abort();
    return passes.failure;
}

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
    return LocalFileFailure(what, path, err);
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
    // Failures name the target, not the temporary file.
    std::unique_ptr<BufferedLocalFile> local = BufferedLocalFile::AdoptForWriting(temp.fd, target);
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
    if (FtpResult copied = RunScriptPasses(control, &stream, ServerReads(stream, true), nullptr, LocalWrites(*local));
        !copied.ok())
        return copied;
    FtpResult closed = stream.Close();
    if (!closed.ok()) return closed;
    if (FtpResult r = local->Close(); !r.ok()) return r;
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
    FtpOutcome<std::unique_ptr<BufferedLocalFile>> local = BufferedLocalFile::OpenRead(localPath);
    if (!local.ok()) return local.result;
    BufferedLocalFile& file = *local.value;

    CopyTimer timer(false);
    FtpOutcome<std::unique_ptr<FtpFileStream>> opened = client.OpenFile(remotePath, FtpOpenMode::kWrite, type);
    if (!opened.ok()) return opened.result;
    FtpFileStream& stream = *opened.value;
    if (FtpResult copied = RunScriptPasses(control, nullptr, LocalReads(file), &stream, ServerWrites(stream));
        !copied.ok())
        return copied;
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
    FtpFileStream& in = *source.value;
    FtpFileStream& out = *target.value;
    if (FtpResult copied = RunScriptPasses(control, &in, ServerReads(in, false), &out, ServerWrites(out));
        !copied.ok())
        return copied;
    FtpResult closedTarget = out.Close();
    FtpResult closedSource = in.Close();
    if (!closedTarget.ok()) return closedTarget;
    if (closedSource.ok()) stats::AddFileTransferred();
    return closedSource;
}

}  // namespace zyfar
