#include "log/LogFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace zyfar {
namespace {

std::string SystemReason(int error) { return std::strerror(error); }

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool Valid() const { return fd_ >= 0; }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports whether the close succeeded.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

int OpenNoInterrupt(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes all of `data`; false (errno set) when a write fails.
bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------- writer

LogFileWriter::Result LogFileWriter::Append(const std::string& line, bool appendLog) {
    Result result;
    if (path_.empty()) return result;

    const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    FileDescriptor fd(OpenNoInterrupt(path_.c_str(), flags));
    if (!fd.Valid() && errno == ENOENT) {
        const std::string folder = ParentFolder(path_);
        if (!folder.empty() && !MakeFolders(folder)) {
            result.status = Status::IoError;
            result.error = "Cannot create the log folder " + Quoted(folder) + ": " + SystemReason(errno);
            return result;
        }
        fd.Reset(OpenNoInterrupt(path_.c_str(), flags | O_CREAT, 0600));
    }
    if (!fd.Valid()) {
        result.status = Status::IoError;
        result.error = "Cannot open the log file " + Quoted(path_) + ": " + SystemReason(errno);
        return result;
    }
    if (!IsRegularFile(fd.Get())) {
        result.status = Status::IoError;
        result.error = "The log file " + Quoted(path_) + " is not a regular file.";
        return result;
    }

    char head[kLogFileMarker.size()];
    ssize_t got;
    do {
        got = ::pread(fd.Get(), head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        result.status = Status::IoError;
        result.error = "Cannot read the log file " + Quoted(path_) + ": " + SystemReason(errno);
        return result;
    }
    bool writeMarker = got == 0;  // a new or empty file
    if (!writeMarker) {
        if (static_cast<std::size_t>(got) != sizeof head ||
            std::string_view(head, sizeof head) != kLogFileMarker) {
            result.status = Status::BadFormat;
            return result;
        }
        if (firstWrite_ && !appendLog) {
            if (::ftruncate(fd.Get(), 0) != 0) {
                result.status = Status::IoError;
                result.error = "Cannot empty the log file " + Quoted(path_) + ": " + SystemReason(errno);
                return result;
            }
            writeMarker = true;
        }
    }

    std::string payload;
    if (writeMarker) {
        payload.append(kLogFileMarker);
        payload.push_back('\n');
    }
    payload.append(line);

    struct stat before {};
    const bool haveSize = ::fstat(fd.Get(), &before) == 0;
    if (!WriteAll(fd.Get(), payload)) {
        const int error = errno;
        // Cut a partial line off again so the next line starts on its own.
        if (haveSize) (void)::ftruncate(fd.Get(), before.st_size);
        result.status = Status::IoError;
        result.error = "Cannot write the log file " + Quoted(path_) + ": " + SystemReason(error);
        return result;
    }
    if (!fd.Close()) {
        result.status = Status::IoError;
        result.error = "Cannot write the log file " + Quoted(path_) + ": " + SystemReason(errno);
        return result;
    }
    firstWrite_ = false;
    result.status = Status::Written;
    return result;
}

// ---------------------------------------------------------------- loader

namespace {

// Feeds the lines of a file to a handler, one at a time, keeping at most
// maxLineBytes of a line. The handler gets the line, whether it was cut, and
// its 1-based number; it returns false to stop.
class LineReader {
public:
    explicit LineReader(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

    template <typename Handler>
    bool Feed(std::string_view chunk, Handler&& handler) {
        while (!chunk.empty()) {
            const std::size_t newline = chunk.find('\n');
            const std::string_view piece = chunk.substr(0, newline);
            if (!cut_) {
                const std::size_t room = maxLineBytes_ - line_.size();
                if (piece.size() > room) {
                    line_.append(piece.substr(0, room));
                    cut_ = true;
                } else {
                    line_.append(piece);
                }
            }
            if (newline == std::string_view::npos) return true;
            ++number_;
            const bool go = handler(std::string_view(line_), cut_, number_);
            line_.clear();
            cut_ = false;
            if (!go) return false;
            chunk.remove_prefix(newline + 1);
        }
        return true;
    }

    // True when text follows the last "\n".
    [[nodiscard]] bool HasTail() const { return !line_.empty() || cut_; }

private:
    std::size_t maxLineBytes_;
    std::string line_;
    bool cut_ = false;
    std::size_t number_ = 0;
};

std::string DescribeSkipped(const LogLoadResult& r) {
    std::string text;
    const std::size_t skipped = r.malformed + r.overlong;
    if (skipped > 0) {
        text = std::to_string(skipped) + (skipped == 1 ? " line was" : " lines were") +
               " not a log entry and " + (skipped == 1 ? "was" : "were") + " skipped (first at line " +
               std::to_string(r.firstBadLine) + ").";
    }
    if (r.unterminatedTail) {
        if (!text.empty()) text.push_back(' ');
        text += "The incomplete last line was ignored.";
    }
    return text;
}

}  // namespace

LogLoadResult ReadLogFile(const std::string& path, const LogLoadLimits& limits,
                          const std::function<void(LogLineFields&&)>& sink) {
    LogLoadResult result;
    FileDescriptor fd(OpenNoInterrupt(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        result.status = LogLoadResult::Status::Unreadable;
        result.message = "Cannot open the log file " + Quoted(path) + ": " + SystemReason(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        result.status = LogLoadResult::Status::Unreadable;
        result.message = "The log file " + Quoted(path) + " is not a regular file.";
        return result;
    }
    if (static_cast<std::uint64_t>(st.st_size) > limits.maxFileBytes) {
        result.status = LogLoadResult::Status::TooLarge;
        result.message = "The log file " + Quoted(path) + " is too large to load (" + std::to_string(st.st_size) +
                         " bytes; at most " + std::to_string(limits.maxFileBytes) + " bytes can be loaded).";
        return result;
    }

    const std::size_t maxLine = limits.maxLineBytes < kLogFileMarker.size() ? kLogFileMarker.size()
                                                                            : limits.maxLineBytes;
    LineReader reader(maxLine);
    bool sawMarker = false;
    bool markerLineDone = false;
    bool badMarker = false;
    bool tooMany = false;
    auto onLine = [&](std::string_view line, bool cut, std::size_t number) {
        if (number == 1) {
            markerLineDone = true;
            sawMarker = line.substr(0, kLogFileMarker.size()) == kLogFileMarker;
            badMarker = !sawMarker;
            return sawMarker;
        }
        if (line.empty() && !cut) return true;  // blank line
        std::optional<LogLineFields> fields;
        if (!cut) fields = ParseLogLine(line);
        if (!fields) {
            ++(cut ? result.overlong : result.malformed);
            if (result.firstBadLine == 0) result.firstBadLine = number;
            return true;
        }
        if (result.loaded >= limits.maxEntries) {
            tooMany = true;
            return false;
        }
        ++result.loaded;
        sink(std::move(*fields));
        return true;
    };

    std::string buffer(64 * 1024, '\0');
    bool go = true;
    while (go) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            result.status = LogLoadResult::Status::Unreadable;
            result.message = "Cannot read the log file " + Quoted(path) + ": " + SystemReason(errno);
            return result;
        }
        if (n == 0) break;
        go = reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)), onLine);
    }

    if (tooMany) {
        result.status = LogLoadResult::Status::TooLarge;
        result.message = "The log file " + Quoted(path) + " holds more than " + std::to_string(limits.maxEntries) +
                         " entries and was not loaded.";
        return result;
    }
    if (!sawMarker) {
        // A file without even one complete line is judged by its first bytes.
        if (!badMarker && reader.HasTail()) {
            char head[kLogFileMarker.size()];
            const ssize_t got = ::pread(fd.Get(), head, sizeof head, 0);
            sawMarker = got == static_cast<ssize_t>(sizeof head) &&
                        std::string_view(head, sizeof head) == kLogFileMarker;
        }
        if (!sawMarker) {
            result.status = LogLoadResult::Status::NotALogFile;
            result.message = "The file " + Quoted(path) + " is not a log file (it does not begin with " +
                             std::string(kLogFileMarker) + ").";
            return result;
        }
    }
    result.unterminatedTail = reader.HasTail() && markerLineDone;
    result.message = DescribeSkipped(result);
    return result;
}

// ---------------------------------------------------------------- saver

LogSaveResult SaveLogFile(const std::string& path, const std::vector<LogEntry>& entries) {
    LogSaveResult result;
    if (path.empty()) {
        result.message = "No file name was given.";
        return result;
    }
    std::string temp = path + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.Valid()) {
        result.message = "Cannot create " + Quoted(path) + ": " + SystemReason(errno);
        return result;
    }
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0600;
    (void)::fchmod(fd.Get(), mode);

    std::string text(kLogFileMarker);
    text.push_back('\n');
    bool ok = true;
    for (const LogEntry& entry : entries) {
        LogEntry clean = entry;
        for (std::string* field : {&clean.time, &clean.date, &clean.source, &clean.destination, &clean.file,
                                   &clean.detail}) {
            *field = CleanLogField(*field);
        }
        text += FormatLogLine(clean);
        if (text.size() >= 256 * 1024) {
            ok = WriteAll(fd.Get(), text);
            text.clear();
            if (!ok) break;
        }
    }
    if (ok) ok = WriteAll(fd.Get(), text);
    if (ok) ok = ::fsync(fd.Get()) == 0;
    const int writeError = errno;
    const bool closed = fd.Close();
    if (!ok || !closed) {
        ::unlink(temp.c_str());
        result.message = "Cannot write " + Quoted(path) + ": " + SystemReason(ok ? errno : writeError);
        return result;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        result.message = "Cannot write " + Quoted(path) + ": " + SystemReason(error);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace zyfar
