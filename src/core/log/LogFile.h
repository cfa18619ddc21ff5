#pragma once
// The transfer log file on disk: appending entry lines, loading a log file
// line by line, and saving a list of entries as a new log file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "log/LogEntry.h"
#include "log/LogFormats.h"

namespace zyfar {

// Appends lines to one log file for one run of the program.
class LogFileWriter {
public:
    enum class Status {
        Written,     // the line is in the file
        NoFile,      // no path set: nothing to do
        BadFormat,   // the file exists and does not start with the marker
        IoError,     // the file or its folder could not be created or written
    };
    struct Result {
        Status status = Status::NoFile;
        std::string error;  // for IoError: what failed, with the system's reason
    };

    // The file to append to; empty writes nothing. Changing it keeps the
    // first-write state: that state belongs to the run, so a file chosen in
    // the middle of a run is appended to, never emptied.
    void SetPath(const std::string& path) { path_ = path; }
    [[nodiscard]] const std::string& Path() const { return path_; }

    // True until the first line of this run has been written.
    [[nodiscard]] bool FirstWrite() const { return firstWrite_; }

    // Appends one complete line ("...\n"). A missing file (and its folder) is
    // created with the marker line first. On the first write of the run with
    // appendLog false an existing log file is started afresh. An empty existing
    // file is treated as a new one. A line is written with one write() call and
    // a failed partial write is cut back, so the file never holds half a line.
    [[nodiscard]] Result Append(const std::string& line, bool appendLog);

private:
    std::string path_;
    bool firstWrite_ = true;
};

struct LogLoadLimits {
    std::uint64_t maxFileBytes = 256ull * 1024 * 1024;
    std::size_t maxLineBytes = 64 * 1024;
    std::size_t maxEntries = 1'000'000;
};

struct LogLoadResult {
    enum class Status {
        Ok,            // the lines were read (some may have been skipped, below)
        Unreadable,    // missing, not a regular file, or cannot be opened or read
        NotALogFile,   // does not begin with "FTP_SERVER_FILE"
        TooLarge,      // over maxFileBytes or maxEntries: nothing was loaded
    };
    Status status = Status::Ok;
    std::size_t loaded = 0;          // entries handed to the sink
    std::size_t malformed = 0;       // lines whose code is not a log event code
    std::size_t overlong = 0;        // lines over maxLineBytes (skipped)
    std::size_t firstBadLine = 0;    // 1-based line number of the first skipped line, 0 when none
    bool unterminatedTail = false;   // the file ends with text after the last "\n" (ignored)
    std::string message;             // a sentence for the user; empty when all went well

    [[nodiscard]] bool Ok() const { return status == Status::Ok; }
};

// Reads a log file line by line, handing each well-formed entry line to
// `sink` in file order. Memory use is bounded by maxLineBytes, not by the
// size of the file. The marker line is checked; a text after the last "\n"
// is ignored.
[[nodiscard]] LogLoadResult ReadLogFile(const std::string& path, const LogLoadLimits& limits,
                                        const std::function<void(LogLineFields&&)>& sink);

struct LogSaveResult {
    bool ok = false;
    std::string message;  // why it failed
};

// Writes the marker line and one line per entry (in the given order) to a new
// file that replaces `path` only when everything was written, so a failed save
// leaves an existing file as it was. The fields are cleaned first.
[[nodiscard]] LogSaveResult SaveLogFile(const std::string& path, const std::vector<LogEntry>& entries);

}  // namespace zyfar
