#pragma once
// The transfer log: every connection, directory change, transfer and remote
// file operation of the run becomes one entry. Entries are kept in memory for
// the log view, optionally appended to the log file, and announced to
// subscribers (the GUI log view, the headless runner).
//
// Threads: WriteLogEntry may be called from any thread. One lock (a timed
// mutex, waited for at most 1500 ms) serialises the entry list, the numbering
// and the log file. A writer first puts its entry on a small pending queue and
// then waits for the lock; whoever holds the lock writes every pending entry,
// in the order they were queued, before it lets go. So a writer whose wait
// runs out does not lose its entry and does not write it unguarded: the entry
// stays queued and the thread that holds the lock writes it before releasing
// it (WriteLogEntry then answers Queued).
//
// Subscribers are called after the lock has been released, never while it is
// held, one event at a time in entry order, from whichever thread wrote the
// entry. A subscriber may call back into the log (even WriteLogEntry); it
// must not block waiting for another thread that might itself be writing a
// log entry or unsubscribing. The GUI view therefore forwards each event to
// the GUI thread with a queued (non-blocking) call.
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/LogEntry.h"
#include "log/LogFile.h"
#include "platform/Clock.h"

namespace zyfar {

inline constexpr std::chrono::milliseconds kLogLockWait{1500};

// The LOG settings as the log uses them.
struct LogSettings {
    bool toScreen = true;     // LOG/ToScreen "YES"
    bool toFile = true;       // LOG/ToFile "YES"
    bool appendLog = false;   // LOG/AppendLog "YES"
    int timeFormat = 0;       // LOG/TimeFormat
    int dateFormat = 0;       // LOG/DateFormat
    LogFilter filter = LogFilter::All;  // LOG/View
    std::string filePath;     // LogFolder() + "/" + LOG/FileName; empty when file logging is off
};

// Reads the LOG section (and the log folder) from the settings store.
[[nodiscard]] LogSettings ReadLogSettings();

class LogSubscriber {
public:
    virtual ~LogSubscriber() = default;
    // A new entry; `shown` is true when screen logging is on and the current
    // filter admits it (the view adds a row for it).
    virtual void OnLogEntry(const LogEntry& entry, bool shown) = 0;
    // The shown rows must be rebuilt from VisibleEntries(): the filter
    // changed, the list was cleared, or a file was loaded.
    virtual void OnLogRefill() {}
    // The log file could not be used (bad format, write error). The message
    // box itself is shown through the UI host; this is for status displays
    // and the headless runner.
    virtual void OnLogFileProblem(const std::string& /*text*/) {}
};

// One entry as a caller hands it in. Without time or date the current local
// time is formatted with the current formats. toFile false keeps the entry
// out of the log file (entries loaded from a file).
struct LogEntryRequest {
    int code = 0;
    std::string source;
    std::string destination;
    std::string file;
    std::string detail;
    std::optional<std::string> time;
    std::optional<std::string> date;
    bool toFile = true;
};

enum class LogWriteOutcome {
    Written,   // the entry is in the list (and in the file when file logging is on)
    Queued,    // the lock was busy for the whole wait: the holder writes the entry
    Rejected,  // the code is not a log event code (32861 to 32877)
};

class TransferLog {
public:
    explicit TransferLog(const Clock& clock = SystemClockInstance(),
                         std::chrono::milliseconds lockWait = kLogLockWait);
    ~TransferLog();
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    // Writes an entry stamped with the current time, to screen and file as
    // the settings say.
    LogWriteOutcome WriteLogEntry(int code, std::string_view source, std::string_view destination,
                                  std::string_view file, std::string_view detail);
    LogWriteOutcome WriteLogEntry(LogEntryRequest request);

    // Settings reload: adopts the formats, switches, filter and file path.
    // When the path changed, AppendLog is on and nothing has been written to
    // a log file yet in this run, the entries of that file are loaded (each
    // file once per run); the result of that load is returned.
    std::optional<LogLoadResult> ApplySettings(const LogSettings& settings);
    std::optional<LogLoadResult> ReloadSettings();  // ApplySettings(ReadLogSettings())
    [[nodiscard]] LogSettings Settings() const;

    // The View commands: adopts the filter, stores LOG/View and asks for a
    // refill. False when it was already the current filter.
    bool SetFilter(LogFilter filter);
    [[nodiscard]] LogFilter Filter() const;

    // Deletes every entry; the next entry is number 1 again. The file stays.
    void Clear();

    // Loads a log file's entries after the current ones (the log view's open
    // command). Nothing is added unless the whole file could be read; lines
    // that are not entries are skipped and counted in the result.
    LogLoadResult LoadFile(const std::string& path, const LogLoadLimits& limits = {});

    [[nodiscard]] std::vector<LogEntry> Entries() const;
    // The entries the current filter admits, in list order (the rows of a refill).
    [[nodiscard]] std::vector<LogEntry> VisibleEntries() const;
    [[nodiscard]] std::size_t Size() const;
    // How many writers so far ran out of their wait (diagnostics).
    [[nodiscard]] std::uint64_t QueuedWrites() const;

    // Subscribers are held until unsubscribed. After Unsubscribe returns no
    // call to that subscriber is running on another thread.
    [[nodiscard]] int Subscribe(std::shared_ptr<LogSubscriber> subscriber);
    void Unsubscribe(int id);

    // Holds the log's lock for its lifetime, as a slow writer would (tests of
    // the bounded wait). Queued entries are written when it ends.
    class ScopedLockForTesting {
    public:
        explicit ScopedLockForTesting(TransferLog& log);
        ~ScopedLockForTesting();
        ScopedLockForTesting(const ScopedLockForTesting&) = delete;
        ScopedLockForTesting& operator=(const ScopedLockForTesting&) = delete;

    private:
        TransferLog& log_;
    };

private:
    struct Pending {
        LogEntryRequest request;
        LocalDateTime now;
    };
    struct Event {
        enum class Kind { Entry, Refill, FileProblem } kind = Kind::Entry;
        LogEntry entry;
        bool shown = false;
        std::string text;
        bool showMessage = false;
    };

    void LockBlocking() const;
    // Writes the pending entries, releases the lock, announces the events,
    // and repeats while entries were queued meanwhile.
    void DrainAndRelease() const;
    void ProcessPendingLocked() const;
    void AppendEntryLocked(const LogEntryRequest& request, const LocalDateTime& now, bool announce = true) const;
    void WriteToFileLocked(const LogEntry& entry) const;
    void PostLocked(Event event) const;
    void Deliver() const;
    void AddLoadedLocked(std::vector<LogLineFields>& lines) const;

    const Clock& clock_;
    const std::chrono::milliseconds lockWait_;

    // Guarded by lock_ (mutable: readers also drain the pending queue).
    mutable std::timed_mutex lock_;
    mutable std::vector<LogEntry> entries_;
    mutable int lastNumber_ = 0;
    mutable LogSettings settings_;
    mutable LogFileWriter writer_;
    mutable std::vector<std::string> loadedPaths_;
    mutable bool ioProblemReported_ = false;

    // Guarded by queueMutex_.
    mutable std::mutex queueMutex_;
    mutable std::deque<Pending> pending_;
    mutable std::deque<Event> outbox_;
    mutable std::uint64_t queuedWrites_ = 0;

    // Guarded by notifyMutex_ (recursive: a subscriber may write entries).
    mutable std::recursive_mutex notifyMutex_;
    std::vector<std::pair<int, std::shared_ptr<LogSubscriber>>> subscribers_;
    int nextSubscriberId_ = 1;
};

// The log of this process, its settings read from the store at first use.
[[nodiscard]] TransferLog& TheTransferLog();

// Writes an entry to the process's log (any thread).
LogWriteOutcome WriteLogEntry(int code, std::string_view source, std::string_view destination,
                              std::string_view file, std::string_view detail);

}  // namespace zyfar
