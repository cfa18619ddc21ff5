#include "engine/BufferedLocalFile.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "engine/TransferJob.h"

namespace zyfar {

std::int32_t FileCauseOfErrno(int error) {
    switch (error) {
        case ENOENT:
            return filecause::kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return filecause::kBadPath;
        case EMFILE:
        case ENFILE:
            return filecause::kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return filecause::kAccessDenied;
        case EBADF:
            return filecause::kInvalidFile;
        case EIO:
            return filecause::kHardIo;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return filecause::kDiskFull;
        default:
            return filecause::kGeneric;
    }
}

FtpResult LocalFileFailure(std::string_view what, const std::string& path, int error) {
    std::string text(what);
    text += " ";
    text += path;
    text += ": ";
    text += std::strerror(error);
    return FtpFail(FileCauseOfErrno(error), text);
}

BufferedLocalFile::BufferedLocalFile(int fd, std::string path, bool writing, std::int64_t size)
    : fd_(fd), path_(std::move(path)), writing_(writing), sizeAtOpen_(size), buffer_(kBufferSize) {}

BufferedLocalFile::~BufferedLocalFile() { (void)Close(); }

FtpOutcome<std::unique_ptr<BufferedLocalFile>> BufferedLocalFile::OpenRead(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer (it is refused
    // below); reads of a regular file do not heed the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return LocalFileFailure("Cannot open", path, errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return LocalFileFailure("Cannot open", path, error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return LocalFileFailure("Cannot open", path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
#ifdef POSIX_FADV_SEQUENTIAL
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    std::unique_ptr<BufferedLocalFile> file(new BufferedLocalFile(fd, path, false, static_cast<std::int64_t>(st.st_size)));
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%lld.%09ld", static_cast<long long>(st.st_mtim.tv_sec),
                  static_cast<long>(st.st_mtim.tv_nsec));
    file->timeAtOpen_ = stamp;
    return file;
}

FtpResult BufferedLocalFile::SeekTo(std::int64_t position) {
    if (fd_ < 0 || writing_) {
        return FtpFail(filecause::kInvalidFile, "The file " + path_ + " is not open for reading.");
    }
    if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
        return Fail("Cannot read", errno);
    }
    start_ = end_ = 0;
    eof_ = false;
    return FtpOk();
}

namespace {

// The folder part of a local path ("." for a bare name).
std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos) {
        return ".";
    }
    return cut == 0 ? std::string("/") : path.substr(0, cut);
}

}  // namespace

FtpOutcome<std::unique_ptr<BufferedLocalFile>> BufferedLocalFile::CreateFor(const std::string& target) {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string folder = FolderOf(target);
    int error = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string name = ".zyfar-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                                 std::to_string(random() % 1000000000U) + ".part";
        std::string temporary = folder + "/" + name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // A file that replaces another keeps its permissions (a private file stays private).
            struct stat st {};
            if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                (void)::fchmod(fd, st.st_mode & 07777);
            }
            std::unique_ptr<BufferedLocalFile> file(new BufferedLocalFile(fd, target, true, 0));
            file->temporary_ = std::move(temporary);
            return file;
        }
        error = errno;
        if (error != EEXIST) {
            break;
        }
    }
    return LocalFileFailure("Cannot create", target, error);
}

std::string BufferedLocalFile::PartialPathFor(const std::string& target) { return target + ".zyfar-part"; }

FtpOutcome<std::unique_ptr<BufferedLocalFile>> BufferedLocalFile::OpenPartial(const std::string& target,
                                                                             std::int64_t offset) {
    const std::string partial = PartialPathFor(target);
    const int fd = ::open(partial.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return LocalFileFailure("Cannot create", partial, errno);
    }
    const auto refuse = [fd, &partial](FtpResult why) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0) {
            ::unlink(partial.c_str());  // nothing of an earlier attempt is lost
        }
        ::close(fd);
        return why;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return refuse(LocalFileFailure("Cannot create", partial, EINVAL));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);  // another run writes it: never touched
        return FtpFail(kPartialBusy, "The partial file " + partial + " is in use by another transfer.");
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::unique_ptr<BufferedLocalFile> file(new BufferedLocalFile(fd, target, true, 0));
    file->temporary_ = partial;
    file->keepPartial_ = true;
    if (offset > 0 && st.st_size == offset && ::lseek(fd, 0, SEEK_END) == static_cast<off_t>(offset)) {
        file->offset_ = offset;
        return file;
    }
    if (FtpResult r = file->StartOver(); !r.ok()) {
        file->Discard();
        return r;
    }
    // A file that replaces another keeps its permissions (a private file stays private).
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    return file;
}

BufferedLocalFile::PartialRemoval BufferedLocalFile::RemovePartial(const std::string& target) {
    const std::string partial = PartialPathFor(target);
    const int fd = ::open(partial.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? PartialRemoval::kAbsent : PartialRemoval::kNotAFile;  // ELOOP: a link
    }
    PartialRemoval result = PartialRemoval::kNotAFile;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        struct stat now {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            result = PartialRemoval::kBusy;
        } else if (::lstat(partial.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
            result = PartialRemoval::kNotAFile;  // replaced meanwhile: not the file looked at
        } else {
            result = ::unlink(partial.c_str()) == 0 ? PartialRemoval::kRemoved : PartialRemoval::kFailed;
        }
    }
    ::close(fd);
    return result;
}

FtpResult BufferedLocalFile::StartOver() {
    if (fd_ < 0 || !keepPartial_) {
        return FtpFail(filecause::kInvalidFile, "The file " + path_ + " is not a partial download.");
    }
    end_ = 0;
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) {
        return Fail("Cannot write", errno);
    }
    offset_ = 0;
    return FtpOk();
}

FtpOutcome<std::size_t> BufferedLocalFile::ReadBack(std::int64_t position, char* buffer, std::size_t n) {
    if (fd_ < 0 || !keepPartial_) {
        return FtpFail(filecause::kInvalidFile, "The file " + path_ + " is not a partial download.");
    }
    for (;;) {
        const ssize_t got = ::pread(fd_, buffer, n, static_cast<off_t>(position));
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            return LocalFileFailure("Cannot read", temporary_, errno);
        }
    }
}

FtpResult BufferedLocalFile::Fail(const char* what, int error) const { return LocalFileFailure(what, path_, error); }

FtpOutcome<std::size_t> BufferedLocalFile::Read(char* buffer, std::size_t n) {
    if (fd_ < 0 || writing_) {
        return FtpFail(filecause::kInvalidFile, "The file " + path_ + " is not open for reading.");
    }
    std::size_t done = 0;
    while (done < n) {
        if (start_ < end_) {
            const std::size_t take = std::min(n - done, end_ - start_);
            std::memcpy(buffer + done, buffer_.data() + start_, take);
            start_ += take;
            done += take;
            continue;
        }
        if (eof_) {
            break;
        }
        // Large requests go straight into the caller's buffer.
        const bool direct = n - done >= kDirectIo;
        char* target = direct ? buffer + done : buffer_.data();
        const std::size_t want = direct ? n - done : buffer_.size();
        const ssize_t got = ::read(fd_, target, want);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail("Cannot read", errno);
        }
        if (got == 0) {
            eof_ = true;
            break;
        }
        if (target == buffer + done) {
            done += static_cast<std::size_t>(got);
        } else {
            start_ = 0;
            end_ = static_cast<std::size_t>(got);
        }
    }
    return done;
}

FtpResult BufferedLocalFile::Flush() {
    std::size_t off = 0;
    while (off < end_) {
        const ssize_t put = ::write(fd_, buffer_.data() + off, end_ - off);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            end_ = 0;
            return Fail("Cannot write", error);
        }
        off += static_cast<std::size_t>(put);
    }
    end_ = 0;
    return FtpOk();
}

FtpResult BufferedLocalFile::Write(const char* buffer, std::size_t n) {
    if (fd_ < 0 || !writing_) {
        return FtpFail(filecause::kInvalidFile, "The file " + path_ + " is not open for writing.");
    }
    const bool direct = n >= kDirectIo;
    if (!direct && end_ + n <= buffer_.size()) {
        std::memcpy(buffer_.data() + end_, buffer, n);
        end_ += n;
        return FtpOk();
    }
    FtpResult r = Flush();
    if (!r.ok()) {
        return r;
    }
    if (direct) {
        std::size_t off = 0;
        while (off < n) {
            const ssize_t put = ::write(fd_, buffer + off, n - off);
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Fail("Cannot write", errno);
            }
            off += static_cast<std::size_t>(put);
        }
        return FtpOk();
    }
    std::memcpy(buffer_.data(), buffer, n);
    end_ = n;
    return FtpOk();
}

FtpResult BufferedLocalFile::Close() {
    if (fd_ < 0) {
        return FtpOk();
    }
    FtpResult r = FtpOk();
    if (writing_) {
        r = Flush();
    }
    if (::close(fd_) != 0 && r.ok() && writing_) {
        r = Fail("Cannot write", errno);
    }
    fd_ = -1;
    if (!temporary_.empty()) {
        // A partial file with bytes in it stays for a later attempt.
        struct stat st {};
        const bool keep = keepPartial_ && ::lstat(temporary_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                          st.st_size > 0;
        if (!keep) {
            ::unlink(temporary_.c_str());
        }
        temporary_.clear();
    }
    return r;
}

FtpResult BufferedLocalFile::PlaceFailure(int error) const {
    if (error == EEXIST) {
        return FtpFail(kJobTargetExists, kCantOverwriteText);
    }
    return Fail("Cannot create", error);
}

FtpResult BufferedLocalFile::Place(bool replace) {
    if (temporary_.empty()) {
        return FtpFail(filecause::kInvalidFile, "The file " + path_ + " is not a download's file.");
    }
    const std::string temporary = std::move(temporary_);
    temporary_.clear();
    struct Remover {
        const std::string& path;
        bool keep = false;
        ~Remover() {
            if (!keep) {
                ::unlink(path.c_str());
            }
        }
    } remover{temporary};
    FtpResult r = Close();
    if (!r.ok()) {
        return r;
    }
    int error = 0;
    if (replace) {
        error = ::rename(temporary.c_str(), path_.c_str()) == 0 ? 0 : errno;
    } else if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // A file system without RENAME_NOREPLACE: a hard link fails on an
            // existing name; the temporary name is then removed.
            return ::link(temporary.c_str(), path_.c_str()) == 0 ? FtpOk() : PlaceFailure(errno);
        }
    }
    if (error != 0) {
        return PlaceFailure(error);
    }
    remover.keep = true;  // the rename took the temporary name along
    return FtpOk();
}

}  // namespace zyfar
