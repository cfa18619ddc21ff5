#include "automation/QueueFile.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/TransferJob.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/UiHost.h"
#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"
#include "settings/Keys.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <optional>
#include <utility>

namespace zyfar {
namespace {

namespace qk = queue_keys;

// A failure text may quote a multi-line server reply; it is shown on one
// line, so line breaks become blanks instead of making the entry unstorable.
std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return out;
}

// The number of a "QUEUE<digits>" section name, or 0.
int QueueSectionNumber(std::string_view name) {
    constexpr std::string_view upper = "QUEUE", lower = "queue";
    if (name.size() <= upper.size()) return 0;
    for (std::size_t i = 0; i < upper.size(); ++i)
        if (name[i] != upper[i] && name[i] != lower[i]) return 0;
    long long n = 0;
    for (std::size_t i = upper.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
        if (n > 1000000000) return 0;
    }
    return static_cast<int>(n);
}

int EffectiveCount(const IniDocument& doc) {
    const auto stored = doc.Get(kQueueSection, kQueueCountKey);
    const int count = stored ? std::max(0, ParseLeadingInt(*stored)) : 0;
    if (count == 0) return 0;
    int highest = 0;
    for (const std::string& name : doc.SectionNames()) highest = std::max(highest, QueueSectionNumber(name));
    return std::min(count, highest);
}

std::string Text(const IniDocument& doc, const std::string& section, const char* key) {
    return doc.Get(section, key).value_or("");
}

int Int(const IniDocument& doc, const std::string& section, const char* key, int def) {
    const auto v = doc.Get(section, key);
    return v ? ParseLeadingInt(*v) : def;
}

QueueEntry ReadEntry(const IniDocument& doc, int number) {
    const std::string s = QueueSectionName(number);
    QueueEntry e;
    e.number = number;
    e.numTimes = Int(doc, s, qk::NumTimes, 1);
    e.status = Int(doc, s, qk::Status, 0);
    e.localName = Text(doc, s, qk::LocalName);
    e.remoteName = Text(doc, s, qk::RemoteName);
    e.source = Text(doc, s, qk::Source);
    e.destination = Text(doc, s, qk::Destination);
    e.reason = Text(doc, s, qk::Reason);
    e.remDirFile = Text(doc, s, qk::RemDirFile);
    e.locDirFile = Text(doc, s, qk::LocDirFile);
    e.remDir = Text(doc, s, qk::RemDir);
    e.password = Text(doc, s, qk::Password);
    e.login = Text(doc, s, qk::Login);
    e.ftpMethod = Text(doc, s, qk::FtpMethod);
    e.fileSize = Text(doc, s, qk::FileSize);
    e.port = Text(doc, s, qk::Port);
    e.remPassword = Text(doc, s, qk::RemPassword);
    e.remLogin = Text(doc, s, qk::RemLogin);
    e.remRemDir = Text(doc, s, qk::RemRemDir);
    e.remotePort = Text(doc, s, qk::RemotePort);
    e.sendOwner = Text(doc, s, qk::SendOwner);
    e.resumeOffset = Text(doc, s, qk::ResumeOffset);
    e.sourceSize = Text(doc, s, qk::SourceSize);
    e.sourceTime = Text(doc, s, qk::SourceTime);
    e.encryption = Text(doc, s, qk::Encryption);
    e.remEncryption = Text(doc, s, qk::RemEncryption);
    return e;
}

// An entry's keys in the order an appended entry has them. Numeric keys that
// were absent stay absent (an empty value would read as 0, not as the
// default); the second-server keys only for "ZYFAR_XFER".
IniDocument::Entries EntryKeys(const QueueEntry& e) {
    IniDocument::Entries out{
        {qk::NumTimes, std::to_string(e.numTimes)},
        {qk::LocalName, e.localName},
        {qk::RemoteName, e.remoteName},
        {qk::RemDirFile, e.remDirFile},
        {qk::LocDirFile, e.locDirFile},
        {qk::Reason, OneLine(e.reason)},
        {qk::Password, e.password},
        {qk::Login, e.login},
        {qk::RemDir, e.remDir},
        {qk::Source, e.source},
        {qk::Destination, e.destination},
        {qk::FtpMethod, e.ftpMethod},
    };
    if (e.IsXfer()) {
        out.emplace_back(qk::RemPassword, e.remPassword);
        out.emplace_back(qk::RemLogin, e.remLogin);
        out.emplace_back(qk::RemRemDir, e.remRemDir);
        if (!e.remotePort.empty()) out.emplace_back(qk::RemotePort, e.remotePort);
        if (!e.remEncryption.empty()) out.emplace_back(qk::RemEncryption, e.remEncryption);
    }
    if (!e.fileSize.empty()) out.emplace_back(qk::FileSize, e.fileSize);
    if (!e.port.empty()) out.emplace_back(qk::Port, e.port);
    if (!e.encryption.empty()) out.emplace_back(qk::Encryption, e.encryption);
    out.emplace_back(qk::Status, std::to_string(e.status));
    if (!e.sendOwner.empty()) out.emplace_back(qk::SendOwner, e.sendOwner);
    if (!e.resumeOffset.empty()) {
        out.emplace_back(qk::ResumeOffset, e.resumeOffset);
        out.emplace_back(qk::SourceSize, e.sourceSize);
        out.emplace_back(qk::SourceTime, e.sourceTime);
    }
    return out;
}

// The same file between the same servers.
// Equal for two entries of the same transfer (SameTransfer).
std::string TransferKey(const QueueEntry& e) {
    std::string key;
    key.reserve(e.localName.size() + e.remoteName.size() + e.source.size() + e.destination.size() + 32);
    for (const std::string* part : {&e.localName, &e.remoteName, &e.source, &e.destination}) {
        key += *part;
        key += '\0';
    }
    key += QueueServerIdentity(e);
    return key;
}

bool SameTransfer(const QueueEntry& a, const QueueEntry& b) {
    return a.localName == b.localName && a.remoteName == b.remoteName && a.source == b.source &&
           a.destination == b.destination && QueueServerIdentity(a) == QueueServerIdentity(b);
}

// The new entry for a failed item, in the order the file keeps it.
}  // namespace

std::uint16_t QueuePortOf(const std::string& text) {
    if (text.empty()) return 21;
    const int port = ParseLeadingInt(text);
    return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : std::uint16_t{21};
}

Encryption QueueEncryptionOf(const std::string& text) {
    return text.empty() ? Encryption::None : ParseEncryption(text);
}

std::string QueueServerIdentity(const QueueEntry& e) {
    std::string id = std::to_string(QueuePortOf(e.port)) + '\n' + e.login + '\n' +
                     EncryptionText(QueueEncryptionOf(e.encryption));
    if (e.IsXfer()) {
        id += '\n' + std::to_string(QueuePortOf(e.remotePort)) + '\n' + e.remLogin + '\n' +
              EncryptionText(QueueEncryptionOf(e.remEncryption));
    }
    return id;
}

namespace {

// The resume keys of a point (none when there is nothing to continue, or
// when its time could not be stored on one line).
void SetResumeKeys(QueueEntry& e, const ResumePoint& point) {
    if (!point.Usable() || HasLineBreakOrNul(point.sourceTime)) {
        e.resumeOffset.clear();
        e.sourceSize.clear();
        e.sourceTime.clear();
        return;
    }
    e.resumeOffset = std::to_string(point.offset);
    e.sourceSize = std::to_string(point.sourceSize);
    e.sourceTime = point.sourceTime;
}

// A whole non-negative decimal number, or nothing.
std::optional<std::int64_t> WholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(text);
}

// A clear-text site's entry has no Encryption key, as before TLS.
std::string StoredEncryption(Encryption mode) { return mode == Encryption::None ? "" : EncryptionText(mode); }

QueueEntry NewEntry(const QueueRun& run, const QueueItem& item) {
    QueueEntry e;
    e.numTimes = 1;
    e.status = 0;
    e.localName = item.localName;
    e.remoteName = item.remoteName;
    e.remDirFile = item.remoteDir;
    e.locDirFile = item.localDir;
    e.reason = item.errorText;  // the run end says why ("FTP Put Canceled" for a put never completed)
    e.password = run.first.password;
    e.login = run.first.login;
    e.remDir = run.first.remoteDir;
    e.source = QueueRouteSource(run);
    e.destination = QueueRouteDestination(run);
    e.ftpMethod = QueueMethodText(run.method);
    if (run.method == QueueMethod::Xfer) {
        e.remPassword = run.second.password;
        e.remLogin = run.second.login;
        e.remRemDir = run.second.remoteDir;
        e.remotePort = std::to_string(run.second.port);
        e.remEncryption = StoredEncryption(run.second.encryption);
    }
    e.fileSize = std::to_string(std::max<std::int64_t>(0, item.size));
    e.port = std::to_string(run.first.port);
    e.encryption = StoredEncryption(run.first.encryption);
    SetResumeKeys(e, item.resume);
    return e;
}

bool Storeable(const QueueEntry& e) {
    for (const std::string* v : {&e.localName, &e.remoteName, &e.remDirFile, &e.locDirFile, &e.password, &e.login,
                                 &e.remDir, &e.source, &e.destination, &e.remPassword, &e.remLogin, &e.remRemDir})
        if (HasLineBreakOrNul(*v)) return false;
    return true;
}


// Field 22 of /proc/<pid>/stat: when the process started, in clock ticks
// since boot ("" when it cannot be read). With the pid it names one process
// even after the pid is used again.
std::string ProcessStartTime(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');  // the command name may hold blanks and ')'
    if (close == std::string::npos) return {};
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && (fields >> field); ++i) {
        if (i == 22) return field;
    }
    return {};
}

std::atomic<int> gWriteFailures{0};

// Why a write of `path` failed, as far as can be told afterwards.
std::string WriteFailureText(const std::string& path, int savedErrno) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? "a folder is in the way" : "it is not a regular file";
    if (savedErrno != 0) return std::strerror(savedErrno);
    return "the file could not be written";
}

}  // namespace

ResumePoint QueueResumeOf(const QueueEntry& e) {
    const std::optional<std::int64_t> offset = WholeNumber(e.resumeOffset);
    const std::optional<std::int64_t> size = WholeNumber(e.sourceSize);
    if (!offset || !size || e.sourceTime.empty() || *offset <= 0 || *offset > *size) {
        return {};
    }
    return ResumePoint{*offset, *size, e.sourceTime};
}

// ---- QueueEditor ----

QueueEditor::QueueEditor(IniDocument& doc) : doc_(doc), count_(EffectiveCount(doc)) {}

QueueEntry QueueEditor::Read(int number) const { return ReadEntry(doc_, number); }

std::vector<QueueEntry> QueueEditor::Entries() const {
    std::vector<QueueEntry> out;
    out.reserve(static_cast<std::size_t>(count_));
    for (int i = 1; i <= count_; ++i) out.push_back(ReadEntry(doc_, i));
    return out;
}

int QueueEditor::Find(const std::string& local, const std::string& remote, const std::string& source,
                      const std::string& destination) const {
    for (int i = 1; i <= count_; ++i) {
        const std::string s = QueueSectionName(i);
        if (Text(doc_, s, qk::LocalName) == local && Text(doc_, s, qk::RemoteName) == remote &&
            Text(doc_, s, qk::Source) == source && Text(doc_, s, qk::Destination) == destination)
            return i;
    }
    return 0;
}

int QueueEditor::Find(const QueueRun& run, const QueueItem& item) const {
    const QueueEntry probe = NewEntry(run, item);
    for (int i = 1; i <= count_; ++i)
        if (SameTransfer(Read(i), probe)) return i;
    return 0;
}

void QueueEditor::Count(int number) {
    doc_.Set(QueueSectionName(number), qk::NumTimes,
             std::to_string(Int(doc_, QueueSectionName(number), qk::NumTimes, 1) + 1));
    MarkIdle(number);
}

bool QueueEditor::Append(const QueueEntry& e) {
    if (!doc_.ReplaceSection(QueueSectionName(count_ + 1), EntryKeys(e))) return false;
    SetCount(count_ + 1);
    return true;
}

void QueueEditor::SetResume(int number, const ResumePoint& point) {
    QueueEntry keys;
    SetResumeKeys(keys, point);
    const std::string s = QueueSectionName(number);
    for (const auto& [key, value] : {std::pair{qk::ResumeOffset, keys.resumeOffset},
                                     std::pair{qk::SourceSize, keys.sourceSize},
                                     std::pair{qk::SourceTime, keys.sourceTime}}) {
        if (!value.empty()) {
            doc_.Set(s, key, value);
        } else if (doc_.Get(s, key)) {
            doc_.RemoveKey(s, key);
        }
    }
}

void QueueEditor::MarkSending(int number) {
    const std::string s = QueueSectionName(number);
    doc_.Set(s, qk::Status, "1");
    doc_.Set(s, qk::SendOwner, QueueOwnerOfThisProcess());
}

void QueueEditor::MarkIdle(int number) {
    const std::string s = QueueSectionName(number);
    if (doc_.Get(s, qk::Status) != "0") doc_.Set(s, qk::Status, "0");
    if (doc_.Get(s, qk::SendOwner)) doc_.RemoveKey(s, qk::SendOwner);
}

// Gives section `from` the number `to` in place. Renaming keeps each entry's
// lines as they are and costs the same for any entry size.
void QueueEditor::Renumber(int from, int to) {
    if (from == to) return;
    doc_.RemoveSection(QueueSectionName(to));
    doc_.RenameSection(QueueSectionName(from), QueueSectionName(to));
}

void QueueEditor::SetCount(int count) {
    count_ = count;
    doc_.Set(kQueueSection, kQueueCountKey, std::to_string(count_));
}

void QueueEditor::RemoveAt(int p) {
    for (int q = p; q < count_; ++q) Renumber(q + 1, q);
    doc_.RemoveSection(QueueSectionName(count_));
    SetCount(count_ - 1);
}

int QueueEditor::Purge(int limit) {
    int kept = 0;
    for (int i = 1; i <= count_; ++i) {
        if (Int(doc_, QueueSectionName(i), qk::NumTimes, 1) > limit) {
            doc_.RemoveSection(QueueSectionName(i));
        } else {
            Renumber(i, ++kept);
        }
    }
    const int removed = count_ - kept;
    if (removed > 0) SetCount(kept);
    return removed;
}

bool QueueEditor::Rewrite(const std::vector<QueueEntry>& entries) {
    const int old = count_;
    for (std::size_t r = 0; r < entries.size(); ++r)
        if (!doc_.ReplaceSection(QueueSectionName(static_cast<int>(r + 1)), EntryKeys(entries[r]))) return false;
    SetCount(static_cast<int>(entries.size()));
    for (int i = count_ + 1; i <= old; ++i) doc_.RemoveSection(QueueSectionName(i));
    return true;
}

int QueueEditor::ReleaseAbandoned(bool processStart) {
    int freed = 0;
    for (int i = 1; i <= count_; ++i) {
        const std::string s = QueueSectionName(i);
        if (Int(doc_, s, qk::Status, 0) == 0) continue;
        const std::string owner = Text(doc_, s, qk::SendOwner);
        const bool gone = owner.empty() ? processStart
                                        : owner != QueueOwnerOfThisProcess() && !QueueOwnerAlive(owner);
        if (gone) {
            MarkIdle(i);
            ++freed;
        }
    }
    return freed;
}

// ---- owners ----

const std::string& QueueOwnerOfThisProcess() {
    static const std::string owner = [] {
        const long pid = static_cast<long>(::getpid());
        return std::to_string(pid) + ":" + ProcessStartTime(pid);
    }();
    return owner;
}

bool QueueOwnerAlive(const std::string& owner) {
    const std::size_t colon = owner.find(':');
    const std::string pidText = owner.substr(0, colon);
    if (pidText.empty() || pidText.size() > 9 || pidText.find_first_not_of("0123456789") != std::string::npos)
        return true;
    const long pid = std::stol(pidText);
    if (pid <= 0) return true;
    const std::string started = colon == std::string::npos ? std::string() : owner.substr(colon + 1);
    const std::string now = ProcessStartTime(pid);
    if (!now.empty()) return started.empty() || started == now;
    // No /proc entry for it: ask the kernel whether the pid exists at all.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// ---- failures ----

int QueueWriteFailures() { return gWriteFailures.load(); }

void ReportQueueWriteFailure(const std::string& path, const std::string& reason,
                             const std::vector<std::string>& files, const std::string& consequence, bool tellUser) {
    ++gWriteFailures;
    const std::string detail = "Queue file not written: " + reason;
    if (files.empty()) {
        WriteLogEntry(logcode::FtpTransferFailed, kLocalMachine, path, "-", detail);
    } else {
        for (const std::string& file : files)
            WriteLogEntry(logcode::FtpTransferFailed, kLocalMachine, path, file, detail + "; not queued");
    }
    if (!tellUser) return;
    (void)Ui().ShowMessage("The transfer queue file " + path + " could not be written (" + reason + "). " +
                               consequence,
                           MessageKind::Stop, MessageButtons::Ok);
}

const char* QueueMethodText(QueueMethod method) {
    switch (method) {
        case QueueMethod::Get: return kQueueMethodGet;
        case QueueMethod::Xfer: return kQueueMethodXfer;
        case QueueMethod::Put: break;
    }
    return kQueueMethodPut;
}

std::string QueueSectionName(int number) { return std::string(kQueueSection) + std::to_string(number); }


std::string QueueRouteSource(const QueueRun& run) {
    return run.method == QueueMethod::Put ? std::string(kQueueLocal) : run.first.host;
}

std::string QueueRouteDestination(const QueueRun& run) {
    switch (run.method) {
        case QueueMethod::Put: return run.first.host;
        case QueueMethod::Get: return kQueueLocal;
        case QueueMethod::Xfer: return run.second.host;
    }
    return {};
}

QueueOptions QueueOptions::FromSettings() {
    QueueOptions o;
    o.resendFail = ReadInt(keys::ResendFail);
    o.resendFreq = Read(keys::ResendFreq);
    o.resendFreqNum = ReadInt(keys::ResendFreqNum);
    return o;
}

QueueFile::QueueFile() : path_(ResolvePrivateFile(kQueueFileName)) {}

QueueFile::QueueFile(std::string path) : path_(std::move(path)) {}

int QueueFile::Count() const { return EffectiveCount(ReadPrivateProfile(path_)); }

std::vector<QueueEntry> QueueFile::LoadRows() const {
    IniDocument doc = ReadPrivateProfile(path_);
    return QueueEditor(doc).Entries();
}

bool QueueFile::Edit(const std::function<void(QueueEditor&)>& fn) {
    errno = 0;
    const bool written = UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        QueueEditor q(doc);
        fn(q);
    });
    lastError_ = written ? std::string() : WriteFailureText(path_, errno);
    return written;
}

QueueRunSummary QueueFile::ApplyRun(const QueueRun& run, const std::vector<QueueItem>& items,
                                    const QueueOptions& options, bool purge, bool perFile) {
    QueueRunSummary summary;
    const bool purges = purge && options.Purges();
    if (!purges && (!perFile || items.empty())) return summary;
    summary.written = Edit([&](QueueEditor& q) {
        summary = QueueRunSummary{};
        for (const QueueItem& item : items) {
            if (!perFile) break;
            if (item.result != 0) {
                if (!options.AddsFailures()) continue;
                if (const int k = q.Find(run, item); k > 0) {
                    q.Count(k);
                    q.SetResume(k, item.resume);
                    ++summary.counted;
                    continue;
                }
                const QueueEntry e = NewEntry(run, item);
                if (Storeable(e) && q.Append(e)) {
                    ++summary.appended;
                } else {
                    ++summary.refused;
                }
            } else if (item.queueEntry > 0) {
                if (const int k = q.Find(run, item); k > 0) {
                    q.RemoveAt(k);
                    ++summary.removed;
                }
            }
        }
        if (purges) summary.purged = q.Purge(options.resendFreqNum);
    });
    if (!summary.written) {
        // Nothing of it reached the file: no entry was added, counted or removed.
        summary = QueueRunSummary{};
        summary.written = false;
        if (perFile && options.AddsFailures())
            for (const QueueItem& item : items) summary.notQueued += item.result != 0 ? 1 : 0;
    }
    return summary;
}

bool QueueFile::ResetAll() {
    return Edit([](QueueEditor& q) {
        for (int i = 1; i <= q.count(); ++i) q.MarkIdle(i);
    });
}

bool QueueFile::Clear() {
    return Edit([](QueueEditor& q) {
        if (q.count() != 0) q.SetCount(0);
    });
}

bool QueueFile::DeleteRows(const std::vector<QueueEntry>& remaining, const std::vector<QueueEntry>& deleted) {
    bool stored = true;
    const bool written = Edit([&](QueueEditor& q) {
        std::vector<QueueEntry> current = q.Entries();
        // The file's entries by transfer, in file order: a row takes the
        // first entry of its transfer not taken yet (one hash look-up a row,
        // so a 10,000-entry queue is matched in linear time).
        std::unordered_map<std::string, std::deque<std::size_t>> byTransfer;
        byTransfer.reserve(current.size());
        for (std::size_t i = 0; i < current.size(); ++i) byTransfer[TransferKey(current[i])].push_back(i);
        std::vector<bool> used(current.size(), false);
        auto take = [&](const QueueEntry& row) -> std::optional<std::size_t> {
            const auto it = byTransfer.find(TransferKey(row));
            if (it == byTransfer.end() || it->second.empty()) return std::nullopt;
            const std::size_t i = it->second.front();
            it->second.pop_front();
            used[i] = true;
            return i;
        };
        std::vector<QueueEntry> result;
        result.reserve(current.size());
        for (const QueueEntry& row : remaining)
            if (const auto i = take(row)) result.push_back(current[*i]);
        for (const QueueEntry& row : deleted) (void)take(row);
        for (std::size_t i = 0; i < current.size(); ++i)
            if (!used[i]) result.push_back(current[i]);  // added while the dialog was open
        stored = q.Rewrite(result);
    });
    return written && stored;
}

bool QueueFile::ClearRows(const std::vector<QueueEntry>& shown) { return DeleteRows({}, shown); }

}  // namespace zyfar
