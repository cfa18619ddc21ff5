#pragma once
// The transfer queue file "zyfarQue.ini" (in the settings folder).
//
//   [QUEUE]   NumQueues=<n>
//   [QUEUE1] .. [QUEUEn]   one failed single-file transfer each
//
// This module is the one owner of that layout: every reader and writer of
// the file goes through QueueFile, and every change is one locked
// read-modify-write of the whole file (QueueFile::Edit), so transfer
// workers, the queue dialog, the send pass and other processes never lose or
// duplicate an entry. Entries are renumbered by renaming their sections, so
// an entry moves with all its keys, whatever their length.
//
// Besides the keys every version writes, an entry being sent carries
// SendOwner, "<pid>:<start time>" of the process whose run sends it. Older
// versions ignore the key; it lets a later start tell an entry whose run is
// gone (a crash, a kill) from one that another live process is sending.
//
// A failed transfer that can be continued also carries ResumeOffset (the
// bytes in place), SourceSize and SourceTime (the source as it was when they
// were taken; engine/ResumePoint.h). Entries without them (older versions,
// or nothing to continue) start over when sent.
//
// An entry of a site reached over TLS carries Encryption ("EXPLICIT" or
// "IMPLICIT"; RemEncryption for the second server of a remote-to-remote
// entry), so its resend is protected the same way. Absent means a clear-text
// site (every older entry); a value that cannot be read counts as "EXPLICIT",
// so an entry is never sent in clear text by mistake.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransferQueueSink.h"

namespace zyfar {

class IniDocument;

inline constexpr const char* kQueueFileName = "zyfarQue.ini";
inline constexpr const char* kQueueSection = "QUEUE";
inline constexpr const char* kQueueCountKey = "NumQueues";

namespace queue_keys {
inline constexpr const char* LocalName = "LocalName";
inline constexpr const char* RemoteName = "RemoteName";
inline constexpr const char* Source = "Source";
inline constexpr const char* Destination = "Destination";
inline constexpr const char* Reason = "Reason";
inline constexpr const char* NumTimes = "NumTimes";
inline constexpr const char* Status = "Status";
inline constexpr const char* RemDirFile = "RemDirFile";
inline constexpr const char* LocDirFile = "LocDirFile";
inline constexpr const char* Password = "Password";
inline constexpr const char* Login = "Login";
inline constexpr const char* RemDir = "RemDir";
inline constexpr const char* FtpMethod = "FtpMethod";
inline constexpr const char* FileSize = "FileSize";
inline constexpr const char* Port = "Port";
inline constexpr const char* RemPassword = "RemPassword";
inline constexpr const char* RemLogin = "RemLogin";
inline constexpr const char* RemRemDir = "RemRemDir";
inline constexpr const char* RemotePort = "RemotePort";
inline constexpr const char* SendOwner = "SendOwner";
inline constexpr const char* ResumeOffset = "ResumeOffset";
inline constexpr const char* SourceSize = "SourceSize";
inline constexpr const char* SourceTime = "SourceTime";
inline constexpr const char* Encryption = "Encryption";
inline constexpr const char* RemEncryption = "RemEncryption";
}  // namespace queue_keys

inline constexpr const char* kQueueLocal = "Local";
inline constexpr const char* kQueueMethodPut = "ZYFAR_PUT";
inline constexpr const char* kQueueMethodGet = "ZYFAR_GET";
inline constexpr const char* kQueueMethodXfer = "ZYFAR_XFER";
inline constexpr const char* kQueueFreqNum = "FREQ_NUM";
inline constexpr const char* kQueueStatusSending = "SENDING";
inline constexpr const char* kQueueStatusIdle = "IDLE";

// The queue keeps a run's files in the terms the engine reports them in
// (engine/TransferQueueSink.h): the method, the server(s) and the items.
using QueueMethod = QueueReportMethod;
using QueueServer = QueueReportServer;  // remoteDir: the start directory
using QueueItem = QueueReportItem;      // result: 0 success, -1 never completed, else an error code;
                                        // errorText: the reason a failed item is queued with

[[nodiscard]] const char* QueueMethodText(QueueMethod method);

// The run whose files are reported: its mode and its server(s). The form
// for one site of a multiple-site put is a Put run with that site.
struct QueueRun {
    QueueMethod method = QueueMethod::Put;
    QueueServer first;
    QueueServer second;  // Xfer only
};

// The options of section SCHEDULE that govern the queue.
struct QueueOptions {
    int resendFail = 0;        // ResendFail
    std::string resendFreq;    // ResendFreq
    int resendFreqNum = 0;     // ResendFreqNum

    [[nodiscard]] static QueueOptions FromSettings();
    // Failed files are added or counted (ResendFail non-zero).
    [[nodiscard]] bool AddsFailures() const { return resendFail != 0; }
    // The single-job form purges (ResendFail 1 and ResendFreq "FREQ_NUM").
    [[nodiscard]] bool Purges() const { return resendFail == 1 && resendFreq == kQueueFreqNum; }
};

// One row of the queue dialog: the entry as read from its section. Numbers
// are held as text the way they are stored ("" when the key is absent).
struct QueueEntry {
    int number = 0;    // section number when read
    int numTimes = 1;  // NumTimes (absent 1)
    int status = 0;    // Status (absent 0)
    std::string localName, remoteName, source, destination, reason;
    std::string remDirFile, locDirFile, remDir, password, login, ftpMethod;
    std::string fileSize, port;
    std::string remPassword, remLogin, remRemDir, remotePort;
    std::string sendOwner;  // SendOwner ("" when absent)
    std::string resumeOffset, sourceSize, sourceTime;  // ResumeOffset, SourceSize, SourceTime ("" when absent)
    std::string encryption, remEncryption;             // Encryption, RemEncryption ("" when absent)

    [[nodiscard]] bool IsXfer() const { return ftpMethod == kQueueMethodXfer; }
    // "SENDING" when Status is not 0, else "IDLE".
    [[nodiscard]] const char* StatusText() const { return status != 0 ? kQueueStatusSending : kQueueStatusIdle; }
};

// "QUEUE%d"
[[nodiscard]] std::string QueueSectionName(int number);

// The port of a queue entry's text: its leading integer, 21 when absent or
// outside 1..65535.
[[nodiscard]] std::uint16_t QueuePortOf(const std::string& text);

// The protection of a queue entry's text: None when absent, else as
// ParseEncryption reads it (an unknown value is Explicit, never clear text).
[[nodiscard]] Encryption QueueEncryptionOf(const std::string& text);

// The resume point an entry's keys give: offset 0 (start over) unless
// ResumeOffset, SourceSize and SourceTime are all there and readable.
[[nodiscard]] ResumePoint QueueResumeOf(const QueueEntry& e);

// Which servers an entry goes to beyond its route's host names: the port and
// login of the first server and, for a remote-to-remote entry, those of the
// second. Two sites on one host (another port or another login) are two
// routes: their entries are sent to their own server and never count for
// each other.
[[nodiscard]] std::string QueueServerIdentity(const QueueEntry& e);

// The route (Source, Destination) of a run.
[[nodiscard]] std::string QueueRouteSource(const QueueRun& run);
[[nodiscard]] std::string QueueRouteDestination(const QueueRun& run);

struct QueueRunSummary {
    int appended = 0;  // new entries
    int counted = 0;   // existing entries whose NumTimes went up
    int removed = 0;   // entries removed because their transfer succeeded
    int purged = 0;    // entries removed by the FREQ_NUM purge
    int refused = 0;   // failed items that cannot be stored (a name with a line break)
    int notQueued = 0; // failed items that were to be queued but the file could not be written
    bool written = true;  // false when the file could not be read or written (all counts are then 0)
};

// The queue inside one locked update of the file.
class QueueEditor {
public:
    explicit QueueEditor(IniDocument& doc);

    [[nodiscard]] int count() const { return count_; }
    [[nodiscard]] QueueEntry Read(int number) const;
    [[nodiscard]] std::vector<QueueEntry> Entries() const;
    // The first entry 1..count with these names and route, or 0. The run's
    // form also needs the same servers (QueueServerIdentity).
    [[nodiscard]] int Find(const std::string& local, const std::string& remote, const std::string& source,
                           const std::string& destination) const;
    [[nodiscard]] int Find(const QueueRun& run, const QueueItem& item) const;

    // A further failure: NumTimes + 1, idle again (Reason kept).
    void Count(int number);
    bool Append(const QueueEntry& entry);
    // Status 1, owned by this process.
    void MarkSending(int number);
    // Status 0, no owner.
    void MarkIdle(int number);
    // Where the entry's transfer stopped: the three resume keys, or none of
    // them when the point has nothing to continue (offset 0).
    void SetResume(int number, const ResumePoint& point);
    // Removes entry `number`; the entries behind it move up by one.
    void RemoveAt(int number);
    // Keeps the entries whose NumTimes (absent 1) is not above `limit`, in
    // order and renumbered; returns how many were removed.
    int Purge(int limit);
    // Replaces all entries; sections above the new count up to the old count
    // are removed.
    bool Rewrite(const std::vector<QueueEntry>& entries);
    // Entries left at Status 1 by a run that is gone become idle: those owned
    // by another process that no longer runs, and, at the start of a process
    // (`processStart`), those without an owner (written by an older version).
    // Entries of this process are left alone. Returns how many were freed.
    int ReleaseAbandoned(bool processStart);
    // NumQueues := count (sections above it stay in the file but are no
    // longer entries).
    void SetCount(int count);

private:
    void Renumber(int from, int to);

    IniDocument& doc_;
    int count_;
};

// "<pid>:<start time>" of this process.
[[nodiscard]] const std::string& QueueOwnerOfThisProcess();
// Whether the process an owner text names is still running (an unreadable
// text counts as running: nothing is freed on a guess).
[[nodiscard]] bool QueueOwnerAlive(const std::string& owner);

// Failed writes of any queue file in this process so far; an unattended run
// compares it before and after to end with a failure status.
[[nodiscard]] int QueueWriteFailures();
// Says that the queue file could not be written: a transfer log entry per
// file that was not queued (or one entry when `files` is empty) with the
// reason, and (when `tellUser`) the user's message through the UI host.
// Counts the failure.
void ReportQueueWriteFailure(const std::string& path, const std::string& reason,
                             const std::vector<std::string>& files, const std::string& consequence,
                             bool tellUser = true);

class QueueFile {
public:
    // The queue file of this user: "zyfarQue.ini" in the settings folder.
    QueueFile();
    // Another file (tests, tools).
    explicit QueueFile(std::string path);

    [[nodiscard]] const std::string& path() const { return path_; }

    // The number of entries: NumQueues (absent, negative or garbage 0), never
    // more than the highest QUEUE section present.
    [[nodiscard]] int Count() const;

    // One row per entry 1..Count(), missing keys at their defaults.
    [[nodiscard]] std::vector<QueueEntry> LoadRows() const;

    // ---- Engine queue update ----

    // All queue changes of one run as one write: for each item in order, a
    // failed one (result not 0) is counted on its matching entry (NumTimes+1,
    // Status 0, Reason kept) or appended, when options.AddsFailures(); a
    // successful one that came from a queue entry has its matching entry
    // removed (whatever the options say). `perFile` false skips those steps.
    // Then, when `purge` is set (the single-job form) and options.Purges(),
    // entries with NumTimes above ResendFreqNum are removed.
    QueueRunSummary ApplyRun(const QueueRun& run, const std::vector<QueueItem>& items,
                             const QueueOptions& options, bool purge, bool perFile = true);

    // Any other change, as one locked update; false (with lastError()) when
    // the file could not be read or written.
    bool Edit(const std::function<void(QueueEditor&)>& fn);
    // Why the last Edit failed.
    [[nodiscard]] const std::string& lastError() const { return lastError_; }

    // ---- Queue dialog and start-up ----

    // "Reset": Status 0 on every entry.
    bool ResetAll();

    // "Clear List", and the start-up "Empty Queue": NumQueues 0 (the entry
    // sections stay in the file but are no longer entries).
    bool Clear();

    // "Delete": rewrites the queue from the dialog's remaining rows in their
    // display order. `deleted` are the rows the user removed. Rows are
    // matched to the file's current entries by file names and route, and
    // written from the file's current content (so counts and states the
    // engine changed while the dialog was open are kept); an entry that is
    // gone from the file is not brought back, and entries added since the
    // dialog read the file stay, after the remaining rows. The second-server
    // keys are written only for "ZYFAR_XFER" entries; sections above the new
    // count up to the old count are removed.
    bool DeleteRows(const std::vector<QueueEntry>& remaining, const std::vector<QueueEntry>& deleted);

    // "Clear List" from the dialog: removes the entries it shows (`shown`,
    // matched to the file's current entries as DeleteRows does), so that
    // entries added since the dialog read the file stay, renumbered from 1.
    // Rows whose entry is gone from the file change nothing.
    bool ClearRows(const std::vector<QueueEntry>& shown);

private:
    std::string path_;
    std::string lastError_;
};

}  // namespace zyfar
