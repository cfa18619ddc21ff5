#pragma once
// A local file read or written by a copy loop, buffered in 256 KiB pieces so
// that a 4096-byte pass is a memory copy and not a system call.
//
// Failures carry a file-error cause as their code (the numbers transfer jobs
// have always stored: 2 not found, 3 bad path, 5 access denied, 13 disk full,
// ...) and a text that names the file and the system's reason.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpError.h"

namespace zyfar {

namespace filecause {
inline constexpr std::int32_t kGeneric = 1;
inline constexpr std::int32_t kFileNotFound = 2;
inline constexpr std::int32_t kBadPath = 3;
inline constexpr std::int32_t kTooManyOpenFiles = 4;
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::int32_t kInvalidFile = 6;
inline constexpr std::int32_t kHardIo = 10;
inline constexpr std::int32_t kDiskFull = 13;
}  // namespace filecause

// The cause for an errno value.
[[nodiscard]] std::int32_t FileCauseOfErrno(int error);

// A local file failure: the cause of `error` and the text
// "<what> <path>: <the system's reason>".
[[nodiscard]] FtpResult LocalFileFailure(std::string_view what, const std::string& path, int error);

class BufferedLocalFile {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    // Reads and writes of at least the buffer's size go straight between
    // the caller's buffer and the file (bytes already buffered are handed
    // out or flushed first).
    static constexpr std::size_t kDirectIo = kBufferSize;

    // Opens an existing regular file for reading (a FIFO or a device is
    // refused, never waited on).
    [[nodiscard]] static FtpOutcome<std::unique_ptr<BufferedLocalFile>> OpenRead(const std::string& path);
    // A download's file: a new file under a fresh hidden name in the folder of
    // `target` (created exclusively, never through a link), which takes the
    // target's place only through Place(). Until then the target is left
    // exactly as it was; a file that is never placed is removed when it is
    // closed. It takes the permissions of a regular file it will replace.
    // Failures name the target.
    [[nodiscard]] static FtpOutcome<std::unique_ptr<BufferedLocalFile>> CreateFor(const std::string& target);

    // ---- a download kept between attempts ----
    // The partial file of a download: "<target>.zyfar-part" beside it.
    [[nodiscard]] static std::string PartialPathFor(const std::string& target);
    // Opens the partial file of `target` (created if missing, never through a
    // link), locked so that no other run writes it at the same time (another
    // one holding it: failure code kPartialBusy). When it holds exactly
    // `offset` bytes (offset > 0) they are kept and writes go after them;
    // otherwise it starts empty. offset() says which. It takes the target's
    // place only through Place(); closed without that it stays, for a later
    // attempt, as long as it holds any bytes (an empty one is removed).
    [[nodiscard]] static FtpOutcome<std::unique_ptr<BufferedLocalFile>> OpenPartial(const std::string& target,
                                                                                     std::int64_t offset);
    static constexpr std::int32_t kPartialBusy = filecause::kAccessDenied;
    // Removes the partial file of `target` when nothing continues it any
    // more: only a regular file at exactly that path (a link is neither
    // followed nor removed), and not while a run holds it (kBusy).
    enum class PartialRemoval { kRemoved, kAbsent, kBusy, kNotAFile, kFailed };
    [[nodiscard]] static PartialRemoval RemovePartial(const std::string& target);
    // A partial file: the bytes it held when opened, which writes follow.
    [[nodiscard]] std::int64_t offset() const { return offset_; }
    // A partial file: empties it (the server sends the whole file after all).
    [[nodiscard]] FtpResult StartOver();
    // A partial file: up to n bytes from `position` of what it holds (its
    // first offset() bytes), without moving the write position.
    [[nodiscard]] FtpOutcome<std::size_t> ReadBack(std::int64_t position, char* buffer, std::size_t n);
    // A partial file whose bytes are wrong: removed when closed.
    void Discard() { keepPartial_ = false; }

    // Reading: the next Read starts at byte `position`.
    [[nodiscard]] FtpResult SeekTo(std::int64_t position);
    // Reading: the file's modification time when it was opened,
    // "<seconds>.<nanoseconds>" since 1970.
    [[nodiscard]] const std::string& TimeAtOpen() const { return timeAtOpen_; }

    ~BufferedLocalFile();
    BufferedLocalFile(const BufferedLocalFile&) = delete;
    BufferedLocalFile& operator=(const BufferedLocalFile&) = delete;

    // The file's size when it was opened.
    [[nodiscard]] std::int64_t SizeAtOpen() const { return sizeAtOpen_; }
    [[nodiscard]] const std::string& path() const { return path_; }

    // Up to n bytes; fewer only at the end of the file, 0 at its end.
    [[nodiscard]] FtpOutcome<std::size_t> Read(char* buffer, std::size_t n);
    // All n bytes (buffered).
    [[nodiscard]] FtpResult Write(const char* buffer, std::size_t n);
    // Writes what is buffered and closes; the result of the last write. A
    // download's file that was not placed is removed (a partial file with
    // bytes in it stays).
    [[nodiscard]] FtpResult Close();
    // A download's file: closes it and renames it to the target. With
    // `replace` an existing target (a link itself, not what it points to) is
    // replaced; without, an existing target is kept and the result is 239
    // "Can't overwrite existing file!".
    [[nodiscard]] FtpResult Place(bool replace);

private:
    BufferedLocalFile(int fd, std::string path, bool writing, std::int64_t size);
    [[nodiscard]] FtpResult Flush();
    [[nodiscard]] FtpResult Fail(const char* what, int error) const;
    [[nodiscard]] FtpResult PlaceFailure(int error) const;

    int fd_;
    std::string path_;
    std::string temporary_;  // a download's file until it is placed
    bool writing_;
    std::int64_t sizeAtOpen_;
    std::vector<char> buffer_;
    std::size_t start_ = 0;  // read: first unread byte
    std::size_t end_ = 0;    // read: end of valid bytes; write: bytes collected
    bool eof_ = false;
    bool keepPartial_ = false;  // a partial file that stays when closed unplaced
    std::int64_t offset_ = 0;
    std::string timeAtOpen_;
};

}  // namespace zyfar
