#include "log/TransferLog.h"

#include <algorithm>

#include "log/LogFormats.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "platform/UiHost.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

constexpr int kMsgBadLogFile = 280;

}  // namespace

LogSettings ReadLogSettings() {
    LogSettings s;
    s.timeFormat = ReadInt(keys::TimeFormat);
    s.dateFormat = ReadInt(keys::DateFormat);
    s.toScreen = ReadYes(keys::ToScreenView);
    s.toFile = ReadYes(keys::ToFileView);
    s.appendLog = ReadYes(keys::AppendLog);
    s.filter = ParseLogFilterView(Read(keys::View));
    if (s.toFile) {
        const std::string name = Read(keys::FileNameView);
        if (!name.empty()) s.filePath = JoinPath(LogFolder(), name);
    }
    return s;
}

TransferLog::TransferLog(const Clock& clock, std::chrono::milliseconds lockWait)
    : clock_(clock), lockWait_(lockWait) {}

TransferLog::~TransferLog() {
    // Write whatever a timed-out writer left queued.
    LockBlocking();
    DrainAndRelease();
}

// ---------------------------------------------------------------- locking

void TransferLog::LockBlocking() const { lock_.lock(); }

void TransferLog::DrainAndRelease() const {
    for (;;) {
        ProcessPendingLocked();
        lock_.unlock();
        Deliver();
        {
            std::lock_guard guard(queueMutex_);
            if (pending_.empty()) return;
        }
        // Entries were queued after the last pass. If the lock is busy, its
        // holder writes them before it lets go.
        if (!lock_.try_lock_for(lockWait_)) return;
    }
}

void TransferLog::ProcessPendingLocked() const {
    for (;;) {
        std::deque<Pending> batch;
        {
            std::lock_guard guard(queueMutex_);
            batch.swap(pending_);
        }
        if (batch.empty()) return;
        for (const Pending& p : batch) AppendEntryLocked(p.request, p.now);
    }
}

void TransferLog::PostLocked(Event event) const {
    std::lock_guard guard(queueMutex_);
    outbox_.push_back(std::move(event));
}

void TransferLog::Deliver() const {
    std::vector<std::string> messages;
    {
        std::lock_guard notify(notifyMutex_);
        for (;;) {
            std::deque<Event> events;
            {
                std::lock_guard guard(queueMutex_);
                events.swap(outbox_);
            }
            if (events.empty()) break;
            for (const Event& event : events) {
                // A copy: a subscriber may subscribe or unsubscribe meanwhile.
                const auto subscribers = subscribers_;
                for (const auto& [id, subscriber] : subscribers) {
                    switch (event.kind) {
                        case Event::Kind::Entry: subscriber->OnLogEntry(event.entry, event.shown); break;
                        case Event::Kind::Refill: subscriber->OnLogRefill(); break;
                        case Event::Kind::FileProblem: subscriber->OnLogFileProblem(event.text); break;
                    }
                }
                if (event.showMessage) messages.push_back(event.text);
            }
        }
    }
    // Message boxes wait for the user: shown without holding any of the
    // log's locks, so other threads keep logging meanwhile.
    for (const std::string& text : messages) Ui().ShowMessage(text, MessageKind::Stop, MessageButtons::Ok);
}

TransferLog::ScopedLockForTesting::ScopedLockForTesting(TransferLog& log) : log_(log) { log_.LockBlocking(); }

TransferLog::ScopedLockForTesting::~ScopedLockForTesting() { log_.DrainAndRelease(); }

// ---------------------------------------------------------------- writing

LogWriteOutcome TransferLog::WriteLogEntry(int code, std::string_view source, std::string_view destination,
                                           std::string_view file, std::string_view detail) {
    LogEntryRequest request;
    request.code = code;
    request.source = source;
    request.destination = destination;
    request.file = file;
    request.detail = detail;
    return WriteLogEntry(std::move(request));
}

LogWriteOutcome TransferLog::WriteLogEntry(LogEntryRequest request) {
    if (!IsLogEventCode(request.code)) return LogWriteOutcome::Rejected;
    {
        // The time of the event, not of the moment the lock came free.
        std::lock_guard guard(queueMutex_);
        pending_.push_back(Pending{std::move(request), clock_.Now()});
    }
    if (!lock_.try_lock_for(lockWait_)) {
        std::lock_guard guard(queueMutex_);
        ++queuedWrites_;
        return LogWriteOutcome::Queued;
    }
    DrainAndRelease();
    return LogWriteOutcome::Written;
}

void TransferLog::AppendEntryLocked(const LogEntryRequest& request, const LocalDateTime& now, bool announce) const {
    LogEntry entry;
    entry.number = ++lastNumber_;
    entry.code = StoredLogCode(request.code);
    // The offset keeps the code as written: 32877 is shown as 32876 with offset 16.
    entry.offset = request.code - logcode::First;
    entry.source = CleanLogField(request.source);
    entry.destination = CleanLogField(request.destination);
    entry.file = CleanLogField(request.file);
    entry.detail = CleanLogField(request.detail);
    entry.time = CleanLogField(request.time ? *request.time : FormatLogTime(now, settings_.timeFormat));
    entry.date = CleanLogField(request.date ? *request.date : FormatLogDate(now, settings_.dateFormat));
    entries_.push_back(entry);

    if (announce) {
        Event event;
        event.kind = Event::Kind::Entry;
        event.shown = settings_.toScreen && FilterAdmits(settings_.filter, entry);
        event.entry = entry;
        PostLocked(std::move(event));
    }

    if (request.toFile && settings_.toFile) WriteToFileLocked(entry);
}

void TransferLog::WriteToFileLocked(const LogEntry& entry) const {
    const LogFileWriter::Result result = writer_.Append(FormatLogLine(entry), settings_.appendLog);
    switch (result.status) {
        case LogFileWriter::Status::Written: ioProblemReported_ = false; return;
        case LogFileWriter::Status::NoFile: return;
        case LogFileWriter::Status::BadFormat: {
            // Not our file: leave it alone, log to screen only from now on.
            settings_.toFile = false;
            Write(keys::ToFileView, "NO");
            Event event;
            event.kind = Event::Kind::FileProblem;
            event.text = std::string(MessageText(kMsgBadLogFile));
            event.showMessage = true;
            PostLocked(std::move(event));
            return;
        }
        case LogFileWriter::Status::IoError: {
            // Keep trying with later entries (the disk may get space again),
            // but tell the user once per run of failures.
            if (ioProblemReported_) return;
            ioProblemReported_ = true;
            Event event;
            event.kind = Event::Kind::FileProblem;
            event.text = result.error;
            event.showMessage = true;
            PostLocked(std::move(event));
            return;
        }
    }
}

// ---------------------------------------------------------------- settings

std::optional<LogLoadResult> TransferLog::ApplySettings(const LogSettings& settings) {
    LockBlocking();
    std::optional<LogLoadResult> loadResult;
    const std::string path = settings.toFile ? settings.filePath : std::string();
    const bool pathChanged = path != writer_.Path();
    const bool filterChanged = settings.filter != settings_.filter;
    settings_ = settings;
    settings_.filePath = path;
    writer_.SetPath(path);
    ioProblemReported_ = false;

    bool refill = filterChanged;
    if (pathChanged && !path.empty() && settings.appendLog && writer_.FirstWrite() &&
        std::find(loadedPaths_.begin(), loadedPaths_.end(), path) == loadedPaths_.end()) {
        loadedPaths_.push_back(path);
        std::vector<LogLineFields> lines;
        loadResult = ReadLogFile(path, LogLoadLimits{}, [&lines](LogLineFields&& f) { lines.push_back(std::move(f)); });
        if (loadResult->Ok()) {
            AddLoadedLocked(lines);
            refill = refill || !lines.empty();
        }
    }
    if (refill) PostLocked(Event{Event::Kind::Refill, {}, false, {}, false});
    DrainAndRelease();
    return loadResult;
}

std::optional<LogLoadResult> TransferLog::ReloadSettings() { return ApplySettings(ReadLogSettings()); }

LogSettings TransferLog::Settings() const {
    LockBlocking();
    LogSettings copy = settings_;
    DrainAndRelease();
    return copy;
}

bool TransferLog::SetFilter(LogFilter filter) {
    LockBlocking();
    const bool changed = filter != settings_.filter;
    if (changed) {
        settings_.filter = filter;
        Write(keys::View, LogFilterText(filter));
        PostLocked(Event{Event::Kind::Refill, {}, false, {}, false});
    }
    DrainAndRelease();
    return changed;
}

LogFilter TransferLog::Filter() const {
    LockBlocking();
    const LogFilter filter = settings_.filter;
    DrainAndRelease();
    return filter;
}

// ---------------------------------------------------------------- list

void TransferLog::Clear() {
    LockBlocking();
    entries_.clear();
    lastNumber_ = 0;
    PostLocked(Event{Event::Kind::Refill, {}, false, {}, false});
    DrainAndRelease();
}

void TransferLog::AddLoadedLocked(std::vector<LogLineFields>& lines) const {
    entries_.reserve(entries_.size() + lines.size());
    for (LogLineFields& f : lines) {
        LogEntryRequest request;
        request.code = f.code;
        request.time = std::move(f.time);
        request.date = std::move(f.date);
        request.source = std::move(f.source);
        request.destination = std::move(f.destination);
        request.file = std::move(f.file);
        request.detail = std::move(f.detail);
        request.toFile = false;
        // The view refills once afterwards instead of adding the rows one by one.
        AppendEntryLocked(request, LocalDateTime{}, /*announce=*/false);
    }
}

LogLoadResult TransferLog::LoadFile(const std::string& path, const LogLoadLimits& limits) {
    std::vector<LogLineFields> lines;
    LogLoadResult result = ReadLogFile(path, limits, [&lines](LogLineFields&& f) { lines.push_back(std::move(f)); });
    if (!result.Ok()) return result;
    LockBlocking();
    AddLoadedLocked(lines);
    PostLocked(Event{Event::Kind::Refill, {}, false, {}, false});
    DrainAndRelease();
    return result;
}

std::vector<LogEntry> TransferLog::Entries() const {
    LockBlocking();
    std::vector<LogEntry> copy = entries_;
    DrainAndRelease();
    return copy;
}

std::vector<LogEntry> TransferLog::VisibleEntries() const {
    LockBlocking();
    std::vector<LogEntry> shown;
    for (const LogEntry& entry : entries_) {
        if (FilterAdmits(settings_.filter, entry)) shown.push_back(entry);
    }
    DrainAndRelease();
    return shown;
}

std::size_t TransferLog::Size() const {
    LockBlocking();
    const std::size_t size = entries_.size();
    DrainAndRelease();
    return size;
}

std::uint64_t TransferLog::QueuedWrites() const {
    std::lock_guard guard(queueMutex_);
    return queuedWrites_;
}

// ---------------------------------------------------------------- subscribers

int TransferLog::Subscribe(std::shared_ptr<LogSubscriber> subscriber) {
    std::lock_guard notify(notifyMutex_);
    const int id = nextSubscriberId_++;
    if (subscriber) subscribers_.emplace_back(id, std::move(subscriber));
    return id;
}

void TransferLog::Unsubscribe(int id) {
    std::lock_guard notify(notifyMutex_);
    std::erase_if(subscribers_, [id](const auto& item) { return item.first == id; });
}

// ---------------------------------------------------------------- process log

TransferLog& TheTransferLog() {
    static TransferLog* log = [] {
        // Never destroyed: workers may still log while the program exits.
        auto* created = new TransferLog();
        (void)created->ReloadSettings();
        return created;
    }();
    return *log;
}

LogWriteOutcome WriteLogEntry(int code, std::string_view source, std::string_view destination,
                              std::string_view file, std::string_view detail) {
    return TheTransferLog().WriteLogEntry(code, source, destination, file, detail);
}

}  // namespace zyfar
