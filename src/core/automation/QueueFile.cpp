#include "automation/QueueFile.h"

#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"
#include "settings/Keys.h"

#include <algorithm>
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
    }
    if (!e.fileSize.empty()) out.emplace_back(qk::FileSize, e.fileSize);
    if (!e.port.empty()) out.emplace_back(qk::Port, e.port);
    out.emplace_back(qk::Status, std::to_string(e.status));
    return out;
}

bool SameTransfer(const QueueEntry& a, const QueueEntry& b) {
    return a.localName == b.localName && a.remoteName == b.remoteName && a.source == b.source &&
           a.destination == b.destination;
}

// The new entry for a failed item, in the order the file keeps it.
QueueEntry NewEntry(const QueueRun& run, const QueueItem& item) {
    QueueEntry e;
    e.numTimes = 1;
    e.status = 0;
    e.localName = item.localName;
    e.remoteName = item.remoteName;
    e.remDirFile = item.remoteDir;
    e.locDirFile = item.localDir;
    e.reason = QueueFailureReason(run.method, item);
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
    }
    e.fileSize = std::to_string(std::max<std::int64_t>(0, item.size));
    e.port = std::to_string(run.first.port);
    return e;
}

bool Storeable(const QueueEntry& e) {
    for (const std::string* v : {&e.localName, &e.remoteName, &e.remDirFile, &e.locDirFile, &e.password, &e.login,
                                 &e.remDir, &e.source, &e.destination, &e.remPassword, &e.remLogin, &e.remRemDir})
        if (HasLineBreakOrNul(*v)) return false;
    return true;
}

// The queue inside one locked update: the document and its entry count.
class QueueDoc {
public:
    explicit QueueDoc(IniDocument& doc) : doc_(doc), count_(EffectiveCount(doc)) {}

    [[nodiscard]] int count() const { return count_; }

    // The first entry 1..count with these names and route, or 0.
    [[nodiscard]] int Find(const std::string& local, const std::string& remote, const std::string& source,
                           const std::string& destination) const {
        for (int i = 1; i <= count_; ++i) {
            const std::string s = QueueSectionName(i);
            if (Text(doc_, s, qk::LocalName) == local && Text(doc_, s, qk::RemoteName) == remote &&
                Text(doc_, s, qk::Source) == source && Text(doc_, s, qk::Destination) == destination)
                return i;
        }
        return 0;
    }

    [[nodiscard]] int Find(const QueueRun& run, const QueueItem& item) const {
        return Find(item.localName, item.remoteName, QueueRouteSource(run), QueueRouteDestination(run));
    }

    void Count(int number) {
        const std::string s = QueueSectionName(number);
        doc_.Set(s, qk::NumTimes, std::to_string(Int(doc_, s, qk::NumTimes, 1) + 1));
        doc_.Set(s, qk::Status, "0");
    }

    bool Append(const QueueEntry& e) {
        if (!doc_.ReplaceSection(QueueSectionName(count_ + 1), EntryKeys(e))) return false;
        ++count_;
        doc_.Set(kQueueSection, kQueueCountKey, std::to_string(count_));
        return true;
    }

    // Gives section `from` the number `to` in place (a missing section
    // leaves none behind). Renaming keeps each entry's lines as they are and
    // costs the same for any entry size, so removing the first of 10,000
    // entries stays fast.
    void Renumber(int from, int to) {
        if (from == to) return;
        const std::string target = QueueSectionName(to);
        doc_.RemoveSection(target);
        doc_.RenameSection(QueueSectionName(from), target);
    }

    void RemoveAt(int p) {
        for (int q = p; q < count_; ++q) Renumber(q + 1, q);
        doc_.RemoveSection(QueueSectionName(count_));
        --count_;
        doc_.Set(kQueueSection, kQueueCountKey, std::to_string(count_));
    }

    int Purge(int limit) {
        int w = 1;
        for (int i = 1; i <= count_; ++i) {
            if (Int(doc_, QueueSectionName(i), qk::NumTimes, 1) > limit) {
                doc_.RemoveSection(QueueSectionName(i));
                continue;
            }
            Renumber(i, w);
            ++w;
        }
        const int kept = w - 1;
        const int removed = count_ - kept;
        if (removed == 0) return 0;
        for (int i = kept + 1; i <= count_; ++i) doc_.RemoveSection(QueueSectionName(i));
        count_ = kept;
        doc_.Set(kQueueSection, kQueueCountKey, std::to_string(count_));
        return removed;
    }

    // Replaces all entries by `entries`; sections above the new count up to
    // the old count are removed.
    bool Rewrite(const std::vector<QueueEntry>& entries) {
        const int old = count_;
        for (std::size_t r = 0; r < entries.size(); ++r)
            if (!doc_.ReplaceSection(QueueSectionName(static_cast<int>(r + 1)), EntryKeys(entries[r]))) return false;
        count_ = static_cast<int>(entries.size());
        doc_.Set(kQueueSection, kQueueCountKey, std::to_string(count_));
        for (int i = count_ + 1; i <= old; ++i) doc_.RemoveSection(QueueSectionName(i));
        return true;
    }

    [[nodiscard]] std::vector<QueueEntry> Entries() const {
        std::vector<QueueEntry> out;
        out.reserve(static_cast<std::size_t>(count_));
        for (int i = 1; i <= count_; ++i) out.push_back(ReadEntry(doc_, i));
        return out;
    }

    IniDocument& doc() { return doc_; }

private:
    IniDocument& doc_;
    int count_;
};

}  // namespace

const char* QueueMethodText(QueueMethod method) {
    switch (method) {
        case QueueMethod::Get: return kQueueMethodGet;
        case QueueMethod::Xfer: return kQueueMethodXfer;
        case QueueMethod::Put: break;
    }
    return kQueueMethodPut;
}

std::string QueueSectionName(int number) { return std::string(kQueueSection) + std::to_string(number); }

std::string QueueFailureReason(QueueMethod method, const QueueItem& item) {
    if (item.result == -1 && method == QueueMethod::Put) return std::string(MessageText(kMsgFtpPutCanceled));
    if (item.result == -1 && method == QueueMethod::Get) return kQueueGetCanceled;
    return item.errorText;
}

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
    return QueueDoc(doc).Entries();
}

QueueRunSummary QueueFile::ApplyRun(const QueueRun& run, const std::vector<QueueItem>& items,
                                    const QueueOptions& options, bool purge, bool perFile) {
    QueueRunSummary summary;
    const bool purges = purge && options.Purges();
    if (!purges && (!perFile || items.empty())) return summary;
    summary.written = UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        summary = QueueRunSummary{};
        QueueDoc q(doc);
        for (const QueueItem& item : items) {
            if (!perFile) break;
            if (item.result != 0) {
                if (!options.AddsFailures()) continue;
                if (const int k = q.Find(run, item); k > 0) {
                    q.Count(k);
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
    return summary;
}

bool QueueFile::RecordFailure(const QueueRun& run, const QueueItem& item) {
    const QueueEntry e = NewEntry(run, item);
    if (!Storeable(e)) return false;
    bool stored = false;
    const bool written = UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        QueueDoc q(doc);
        if (const int k = q.Find(run, item); k > 0) {
            q.Count(k);
            stored = true;
        } else {
            stored = q.Append(e);
        }
    });
    return written && stored;
}

bool QueueFile::RemoveTransfer(const QueueRun& run, const QueueItem& item) {
    bool removed = false;
    const bool written = UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        QueueDoc q(doc);
        if (const int k = q.Find(run, item); k > 0) {
            q.RemoveAt(k);
            removed = true;
        }
    });
    return written && removed;
}

int QueueFile::PurgeOverLimit(int limit) {
    int removed = 0;
    const bool written = UpdatePrivateProfile(path_, [&](IniDocument& doc) { removed = QueueDoc(doc).Purge(limit); });
    return written ? removed : 0;
}

std::vector<int> QueueFile::MarkSending(const std::vector<QueueEntry>& entries) {
    std::vector<int> numbers(entries.size(), 0);
    const bool written = UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        QueueDoc q(doc);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const QueueEntry& e = entries[i];
            numbers[i] = q.Find(e.localName, e.remoteName, e.source, e.destination);
            if (numbers[i] > 0) doc.Set(QueueSectionName(numbers[i]), qk::Status, "1");
        }
    });
    if (!written) std::fill(numbers.begin(), numbers.end(), 0);
    return numbers;
}

bool QueueFile::ResetAll() {
    return UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        QueueDoc q(doc);
        for (int i = 1; i <= q.count(); ++i) {
            const std::string s = QueueSectionName(i);
            if (doc.HasSection(s) && doc.Get(s, qk::Status) != "0") doc.Set(s, qk::Status, "0");
        }
    });
}

bool QueueFile::Clear() {
    return UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        if (doc.Get(kQueueSection, kQueueCountKey) != "0") doc.Set(kQueueSection, kQueueCountKey, "0");
    });
}

bool QueueFile::DeleteRows(const std::vector<QueueEntry>& remaining, const std::vector<QueueEntry>& deleted) {
    bool stored = true;
    const bool written = UpdatePrivateProfile(path_, [&](IniDocument& doc) {
        QueueDoc q(doc);
        std::vector<QueueEntry> current = q.Entries();
        std::vector<bool> used(current.size(), false);
        auto take = [&](const QueueEntry& row) -> std::optional<std::size_t> {
            for (std::size_t i = 0; i < current.size(); ++i) {
                if (!used[i] && SameTransfer(current[i], row)) {
                    used[i] = true;
                    return i;
                }
            }
            return std::nullopt;
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

}  // namespace zyfar
