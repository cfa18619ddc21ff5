#include "engine/TransferDrivers.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/CopyLoop.h"
#include "engine/RemoteLookup.h"
#include "engine/TransferPaths.h"
#include "engine/TransferRun.h"
#include "engine/TransferSession.h"
#include "ftp/FtpClient.h"
#include "log/EventSound.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/WorkerControl.h"
#include "settings/Keys.h"

namespace zyfar {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct DriverSettings {
    bool perFileSound = false;
    DirTreeMode dirMode = DirTreeMode::NoPath;
    bool renameLong = false;
    bool keepPartial = false;  // failures are queued (SCHEDULE ResendFail): a get keeps its partial file
};

DriverSettings ReadDriverSettings(const TransferRun& run) {
    DriverSettings s;
    s.perFileSound = TransferSoundPerFile();
    s.dirMode = ParseDirTree(Read(keys::FTPDirTree));
    if (run.forceLastDir && s.dirMode == DirTreeMode::NoPath) {
        s.dirMode = DirTreeMode::LastDir;
    }
    s.renameLong = ReadNotNo(keys::RenameLongFileNames);
    s.keepPartial = ReadInt(keys::ResendFail) != 0;
    return s;
}

bool Cancelled(const TransferRun& run) { return run.control != nullptr && run.control->IsCancelled(); }

// Sounds and the batch-succeeded flag of one driver run.
class Outcomes {
public:
    explicit Outcomes(bool perFile) : perFile_(perFile) {}
    void Succeeded() {
        if (perFile_) {
            PlayEventSound(SoundEvent::TransferOk);
        }
    }
    void Failed() {
        batchOk_ = false;
        if (perFile_) {
            PlayEventSound(SoundEvent::TransferFail);
        }
    }
    void MarkFailedSilently() { batchOk_ = false; }
    void Finish() {
        if (!perFile_) {
            PlayEventSound(batchOk_ ? SoundEvent::TransferOk : SoundEvent::TransferFail);
        }
    }

private:
    bool perFile_;
    bool batchOk_ = true;
};

std::string CurrentDirectory(CTransferSession& s) {
    FtpOutcome<std::string> pwd = s.connection().GetCurrentDirectory();
    return pwd.ok() ? pwd.value : std::string();
}

// ---- remote target folders (put and server-to-server) ----

struct TargetPlan {
    std::string folder;  // the folder the target goes in, as targetPath spells it
    std::string targetPath;
    bool folderFailed = false;  // FULL_PATH: status 240
    bool leaveLoop = false;     // LAST_DIR: this and later jobs stay unattempted
    std::string failureText;
};

bool UsablePiece(const std::string& piece) {
    return piece.find(':') == std::string::npos && piece != "." && piece != "..";
}

// The pieces of a source folder that are rebuilt on the target side: those
// before the first piece equal to the plain target path or the target name.
std::vector<std::string> RebuiltPieces(const std::vector<std::string>& pieces, const std::string& plain,
                                       const std::string& name) {
    std::vector<std::string> out;
    for (const std::string& piece : pieces) {
        if (piece == plain || piece == name) {
            break;
        }
        if (UsablePiece(piece)) {
            out.push_back(piece);
        }
    }
    return out;
}

// Makes sure the folder `piece` exists in `parent` (which ends with its
// separator, or is empty) on the server: true when something of that name
// was there (a file there makes the copy fail) or the folder was created. A
// lookup that cannot tell is answered by trying to create it.
bool EnsureRemoteFolder(CTransferSession& s, RemoteLookup& lookup, const std::string& parent,
                        const std::string& piece, std::string& failure) {
    const RemoteLookup::Found found = lookup.Find(s.connection(), parent, piece);
    if (found.kind == RemoteLookup::Kind::Folder || found.kind == RemoteLookup::Kind::File) {
        return true;
    }
    const std::string path = parent + piece;
    FtpResult made = s.connection().CreateDirectory(path);
    if (!made.ok()) {
        failure = made.text;
        return false;
    }
    WriteLogEntry(logcode::MakeDirectoryOk, "-", s.host(), path, "-");
    lookup.NoteCreated(parent, piece, true);
    return true;
}

TargetPlan PlanRemoteTarget(DirTreeMode mode, CTransferSession& s, RemoteLookup& lookup,
                            const std::string& remoteDir, char sep, const std::string& name,
                            const std::string& plain, const std::vector<std::string>& sourcePieces) {
    TargetPlan plan;
    if (mode == DirTreeMode::NoPath) {
        plan.folder = remoteDir;
        plan.targetPath = plain;
        return plan;
    }
    std::string buffer = remoteDir.empty() ? std::string() : JoinWithSeparator(remoteDir, sep, "");
    const std::vector<std::string> pieces = RebuiltPieces(sourcePieces, plain, name);
    if (mode == DirTreeMode::LastDir) {
        if (!pieces.empty()) {
            std::string failure;
            if (!EnsureRemoteFolder(s, lookup, buffer, pieces.back(), failure)) {
                plan.leaveLoop = true;
                plan.failureText = failure;
                return plan;
            }
            buffer += pieces.back();
            buffer.push_back(sep);
        }
        plan.folder = buffer;
        plan.targetPath = buffer + name;
        return plan;
    }
    for (const std::string& piece : pieces) {
        std::string failure;
        if (!EnsureRemoteFolder(s, lookup, buffer, piece, failure)) {
            plan.folderFailed = true;
            plan.failureText = failure.empty() ? std::string(kCantCreateFolderText) : failure;
            return plan;
        }
        buffer += piece;
        buffer.push_back(sep);
    }
    plan.folder = buffer;
    plan.targetPath = buffer + name;
    return plan;
}

// ---- reconnecting between jobs ----

struct ConnectionLoss {
    std::int32_t code = 0;
    std::string text;
};

// Opens a lost source (or destination) connection again with the usual
// sequence, keeping the batch progress. Nothing when it is alive or came back.
std::optional<ConnectionLoss> Reconnect(TransferRun& run, bool destination, RemoteLookup* lookup) {
    CTransferSession* s = destination ? run.destinationSession.get() : run.sourceSession.get();
    if (s != nullptr && s->ConnectionAlive()) {
        return std::nullopt;
    }
    const std::int64_t done = run.progress.BatchDone();
    std::int32_t r = 0;
    if (destination) {
        CloseDestinationSession(run);
        r = OpenDestinationSession(run);
    } else {
        CloseSourceSession(run);
        r = OpenTransferSession(run);
        if (r == 0) {
            run.progress.SetBatch(run.batchSize, done, 1);
        }
    }
    if (lookup != nullptr) {
        lookup->Reset();
    }
    if (r != 0) {
        return ConnectionLoss{r, run.connectErrorText.empty() ? std::string("The connection could not be opened again.")
                                                              : run.connectErrorText};
    }
    return std::nullopt;
}

void FailRemaining(TransferRun& run, std::size_t from, const ConnectionLoss& loss) {
    for (std::size_t j = from; j < run.jobs.size(); ++j) {
        run.jobs[j].status = loss.code;
        run.jobs[j].reason = TruncateUtf8(loss.text, kFtpErrorTextMax);
    }
}

CopyRequest MakeRequest(const TransferRun& run, const CTransferJob& job, std::string source, std::string target,
                        SteadyClock::time_point batchStart, const DriverSettings& settings) {
    CopyRequest request;
    request.sourcePath = std::move(source);
    request.targetPath = std::move(target);
    request.typeFlag = run.typeFlag;
    request.size = job.size;
    request.batchStart = batchStart;
    request.mode = run.mode;
    request.overwrite = run.overwrite;
    if (job.size > 0 && !job.sizeApproximate) {
        request.listedSize = job.size;  // as the view's or the queue's listing gave it
    }
    request.resumeFrom = job.resume;
    request.keepPartial = settings.keepPartial;
    return request;
}

// ---- local target folders (get) ----

bool LocalExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool MakeLocalFolder(const std::string& path, std::string& failure) {
    if (::mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    const int error = errno;
    struct stat st {};
    if (error == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return true;
    }
    failure = "Cannot create " + path + ": " + std::strerror(error);
    return false;
}

// Makes sure the local folder `path` exists: true when it was there or was
// created (logged "Make Directory OK").
bool EnsureLocalFolder(const std::string& path, std::string& failure) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return true;
        }
        // A file where the folder belongs: the folder cannot be made.
        failure = "Cannot create " + path + ": " + std::strerror(EEXIST);
        return false;
    }
    if (!MakeLocalFolder(path, failure)) {
        return false;
    }
    WriteLogEntry(logcode::MakeDirectoryOk, "-", kLocalMachine, path, "-");
    return true;
}

struct LocalPlan {
    std::string targetPath;
    bool folderFailed = false;
    bool leaveLoop = false;
    bool unsafe = false;
    std::string failureText;
};

// The pieces of the remote folder that are rebuilt under the local base.
// "." and pieces holding ":" are left out; a piece that is not a plain local
// name ("..", one with "/" or NUL) makes the plan unsafe.
bool LocalPieces(const std::string& remoteDir, char sep, const std::string& base, std::vector<std::string>& out,
                 std::string& bad) {
    for (const std::string& piece : SplitPieces(remoteDir, sep)) {
        if (piece == base) {
            break;
        }
        if (piece.find(':') != std::string::npos || piece == ".") {
            continue;
        }
        if (!IsPlainLocalName(piece)) {
            bad = piece;
            return false;
        }
        out.push_back(piece);
    }
    return true;
}

// The folders below the base that a get's file goes into: none without a
// path, the last piece of the server's folder, or every piece.
std::vector<std::string> TargetFolders(DirTreeMode mode, std::vector<std::string> pieces) {
    if (mode == DirTreeMode::NoPath || pieces.empty()) return {};
    if (mode == DirTreeMode::LastDir) return {pieces.back()};
    return pieces;
}

LocalPlan PlanLocalTarget(DirTreeMode mode, const std::string& base, const std::string& remoteDir, char sep,
                          const std::string& name) {
    LocalPlan plan;
    std::vector<std::string> pieces;
    std::string bad;
    if (mode != DirTreeMode::NoPath && !LocalPieces(remoteDir, sep, base, pieces, bad)) {
        plan.unsafe = true;
        plan.failureText = "The remote folder name \"" + bad + "\" cannot be used as a local folder name.";
        return plan;
    }
    std::string path = base;
    for (const std::string& folder : TargetFolders(mode, std::move(pieces))) {
        path = JoinLocal(path, folder);
        if (!EnsureLocalFolder(path, plan.failureText)) {
            // The last folder's failure ends the run; a folder of the full path fails this file.
            (mode == DirTreeMode::LastDir ? plan.leaveLoop : plan.folderFailed) = true;
            return plan;
        }
    }
    plan.targetPath = JoinLocal(path, name);
    return plan;
}


// ---- the job walk shared by the drivers ----

// What a driver does after one step of a job.
enum class Step {
    Go,         // on with this job (after the last step: on with the next one)
    Continue,   // a put whose target is its own earlier partial upload: on, but only continuing it
    NextJob,    // this job is settled; on with the next one
    LeaveLoop,  // this and the later jobs stay unattempted
    Cancelled,  // the worker was cancelled
};

// Only the put honours the dialog's "Only this one" (stop after current).
enum class StopAfterCurrent { Checked, Ignored };

// The server's current folder when some job leaves `dir` empty (read once);
// empty otherwise.
std::string CurrentDirectoryForJobs(const TransferRun& run, CTransferSession& s, std::string CTransferJob::*dir) {
    for (const CTransferJob& job : run.jobs) {
        if ((job.*dir).empty()) {
            return CurrentDirectory(s);
        }
    }
    return std::string();
}

// Walks the job list: before each job the stop and cancel flags, and from the
// second job on the lost connections (through `reconnect`); a connection that
// cannot be opened again fails every remaining job. `doJob` does one job.
template <class ReconnectFn, class JobFn>
std::int32_t WalkJobs(TransferRun& run, Outcomes& outcomes, StopAfterCurrent stop, const ReconnectFn& reconnect,
                      const JobFn& doJob) {
    for (std::size_t i = 0; i < run.jobs.size(); ++i) {
        if (stop == StopAfterCurrent::Checked && run.stopAfterCurrent.load()) {
            break;
        }
        if (Cancelled(run)) {
            return ftpcode::kCancelled;
        }
        if (i > 0) {
            if (std::optional<ConnectionLoss> loss = reconnect()) {
                if (Cancelled(run)) {
                    return ftpcode::kCancelled;
                }
                FailRemaining(run, i, *loss);
                outcomes.MarkFailedSilently();
                break;
            }
        }
        const Step step = doJob(run.jobs[i]);
        if (step == Step::Cancelled) {
            return ftpcode::kCancelled;
        }
        if (step == Step::LeaveLoop) {
            break;
        }
    }
    outcomes.Finish();
    return kDriverDone;
}

// A target folder could not be made ("FULL_PATH"): status 240, logged with the
// host that refused it.
void RecordFolderFailure(CTransferJob& job, const std::string& host, const std::string& failureText,
                         Outcomes& outcomes) {
    job.status = kJobFolderFailed;
    job.reason = kCantCreateFolderText;
    WriteLogEntry(logcode::MakeDirectoryFailed, "-", host, job.sourceName, failureText);
    outcomes.Failed();
}

// Overwrite off and the target is there: status 239; the batch bar still
// counts the file.
void RecordTargetExists(TransferRun& run, CTransferJob& job, Outcomes& outcomes) {
    job.status = kJobTargetExists;
    job.reason = kCantOverwriteText;
    run.progress.AdvanceBatch(job.size);
    outcomes.Failed();
}

// The planned target on a server (put and server-to-server): the cancel flag,
// a folder that could not be made and, with Overwrite off, what already
// stands at the target. Step::Go when the copy may start; Step::Continue
// when a file stands there but the job holds where an earlier attempt of it
// stopped (`mayContinue`): the copy may then only continue that file.
Step SettleRemoteTarget(TransferRun& run, CTransferSession& target, RemoteLookup& lookup, CTransferJob& job,
                        const std::string& name, const TargetPlan& plan, Outcomes& outcomes,
                        bool mayContinue = false) {
    if (Cancelled(run)) {
        return Step::Cancelled;
    }
    if (plan.leaveLoop) {
        outcomes.MarkFailedSilently();
        return Step::LeaveLoop;
    }
    run.progress.SetRemoteFile(plan.targetPath);
    if (plan.folderFailed) {
        RecordFolderFailure(job, target.host(), plan.failureText, outcomes);
        return Step::NextJob;
    }
    if (!run.overwrite) {
        const RemoteLookup::Found found = lookup.Find(target.connection(), plan.folder, name);
        if (Cancelled(run)) {
            return Step::Cancelled;
        }
        if (found.kind == RemoteLookup::Kind::Folder) {
            // Nothing is sent over a folder, but its bytes count as done so the
            // batch bar still reaches its end.
            run.progress.AdvanceBatch(job.size);
            return Step::NextJob;
        }
        if (found.kind == RemoteLookup::Kind::File) {
            if (mayContinue) {
                return Step::Continue;
            }
            RecordTargetExists(run, job, outcomes);
            return Step::NextJob;
        }
        if (found.kind == RemoteLookup::Kind::Unknown) {
            // The server would not say whether the target exists: it is
            // treated as there, so an existing file is never replaced.
            RecordTargetExists(run, job, outcomes);
            job.reason = TruncateUtf8(CannotTellText(found.failure), kFtpErrorTextMax);
            return Step::NextJob;
        }
    }
    return Step::Go;
}

// The detail of a copy's "FTP Transfer Complete": the hash it was verified
// with ("SHA-256 <hex>"), after "Resumed at byte <n>" when it continued an
// earlier attempt; "-" when there is neither.
std::string CompletionDetail(const CopyOutcome& copy) {
    std::string detail;
    if (copy.resumedFrom > 0) {
        detail = "Resumed at byte " + std::to_string(copy.resumedFrom);
    }
    if (!copy.verified.empty()) {
        detail += detail.empty() ? copy.verified : "; " + copy.verified;
    }
    return detail.empty() ? "-" : detail;
}

// Records a finished copy in its job, the log ("FTP Transfer Complete" from
// `fromHost` to `toHost`) and the sounds. True when it succeeded.
bool RecordCopy(CTransferJob& job, const CopyOutcome& copy, Outcomes& outcomes, const std::string& fromHost,
                const std::string& toHost, const std::string& target) {
    job.resume = copy.resume;
    if (copy.ok()) {
        job.status = 0;
        WriteLogEntry(logcode::FtpTransferComplete, fromHost, toHost, target, CompletionDetail(copy));
        outcomes.Succeeded();
        return true;
    }
    job.status = copy.result;
    if (!copy.errorText.empty()) {
        job.reason = copy.errorText;
    }
    outcomes.Failed();
    return false;
}

}  // namespace

std::optional<std::string> GetTargetPath(DirTreeMode mode, const std::string& base, const std::string& remoteDir,
                                         const std::string& name) {
    if (base.empty() || !IsPlainLocalName(name)) return std::nullopt;
    std::vector<std::string> pieces;
    if (mode != DirTreeMode::NoPath) {
        if (remoteDir.empty()) return std::nullopt;  // the server's login folder: known only when connected
        std::string bad;
        if (!LocalPieces(remoteDir, RemoteSeparatorFor(remoteDir), base, pieces, bad)) return std::nullopt;
    }
    std::string path = base;
    for (const std::string& folder : TargetFolders(mode, std::move(pieces))) path = JoinLocal(path, folder);
    return JoinLocal(path, name);
}

// ---- put ----------------------------------------------------------------------------

std::int32_t RunPutJobs(TransferRun& run) {
    if (const std::int32_t r = OpenTransferSession(run); r != 0) {
        return r;
    }
    const SteadyClock::time_point batchStart = SteadyClock::now();
    const DriverSettings settings = ReadDriverSettings(run);
    RemoteLookup lookup;
    const std::string currentDir = CurrentDirectoryForJobs(run, *run.sourceSession, &CTransferJob::remoteDir);
    Outcomes outcomes(settings.perFileSound);

    const auto reconnect = [&run, &lookup] { return Reconnect(run, false, &lookup); };
    return WalkJobs(run, outcomes, StopAfterCurrent::Checked, reconnect, [&](CTransferJob& job) {
        CTransferSession& s = *run.sourceSession;
        const std::string localPath = JoinLocal(job.localDir, job.sourceName);
        run.progress.SetLocalFile(localPath);
        const std::string remoteDir = job.remoteDir.empty() ? currentDir : job.remoteDir;
        const char sep = RemoteSeparatorFor(remoteDir);
        const std::string name = settings.renameLong ? ShortenLongName(job.targetName) : job.targetName;
        const std::string plain = JoinWithSeparator(remoteDir, sep, name);

        const TargetPlan plan = PlanRemoteTarget(settings.dirMode, s, lookup, remoteDir, sep, name, plain,
                                                 SplitPieces(job.localDir, '/'));
        const Step settled = SettleRemoteTarget(run, s, lookup, job, name, plan, outcomes, job.resume.Usable());
        if (settled != Step::Go && settled != Step::Continue) {
            return settled;
        }
        CopyRequest request = MakeRequest(run, job, localPath, plan.targetPath, batchStart, settings);
        request.continueOnly = settled == Step::Continue;
        const CopyOutcome copy = PutCopyLoop(s, request);
        if (copy.cancelled || Cancelled(run)) {
            job.resume = copy.resume;  // the job stays unattempted; where it stopped is kept
            return Step::Cancelled;
        }
        if (RecordCopy(job, copy, outcomes, kLocalMachine, s.host(), plan.targetPath)) {
            lookup.NoteCreated(plan.folder, name, false);
        } else {
            std::string folder = FolderBeforeName(plan.targetPath, name);
            job.remoteDir = folder.empty() ? currentDir : folder;
        }
        return Step::Go;
    });
}

// ---- get ----------------------------------------------------------------------------

std::int32_t RunGetJobs(TransferRun& run) {
    if (const std::int32_t r = OpenTransferSession(run); r != 0) {
        return r;
    }
    const SteadyClock::time_point batchStart = SteadyClock::now();
    const DriverSettings settings = ReadDriverSettings(run);
    const std::string currentDir = CurrentDirectoryForJobs(run, *run.sourceSession, &CTransferJob::remoteDir);
    Outcomes outcomes(settings.perFileSound);

    const auto reconnect = [&run] { return Reconnect(run, false, nullptr); };
    return WalkJobs(run, outcomes, StopAfterCurrent::Ignored, reconnect, [&](CTransferJob& job) {
        CTransferSession& s = *run.sourceSession;
        const std::string remoteDir = job.remoteDir.empty() ? currentDir : job.remoteDir;
        const char sep = RemoteSeparatorFor(remoteDir);
        const std::string source = JoinWithSeparator(remoteDir, sep, job.sourceName);
        run.progress.SetRemoteFile(source);
        const std::string base = run.localTargetDir.empty() ? job.localDir : run.localTargetDir;

        std::string refusal;
        if (base.empty()) {
            refusal = "There is no local folder to store the file in.";
        } else if (!IsPlainLocalName(job.targetName)) {
            refusal = "The name \"" + job.targetName + "\" cannot be used as a local file name.";
        }
        LocalPlan plan;
        if (refusal.empty()) {
            plan = PlanLocalTarget(settings.dirMode, base, remoteDir, sep, job.targetName);
            if (plan.unsafe) {
                refusal = plan.failureText;
            }
        }
        if (!refusal.empty()) {
            job.status = ftpcode::kInvalidOperation;
            job.reason = FtpFail(ftpcode::kInvalidOperation, refusal).text;
            job.localDir = base;
            outcomes.Failed();
            return Step::NextJob;
        }
        if (plan.leaveLoop) {
            outcomes.MarkFailedSilently();
            return Step::LeaveLoop;
        }
        if (plan.folderFailed) {
            job.localDir = base;
            RecordFolderFailure(job, kLocalMachine, plan.failureText, outcomes);
            return Step::NextJob;
        }
        run.progress.SetLocalFile(plan.targetPath);
        if (!run.overwrite && LocalExists(plan.targetPath)) {
            job.localDir = base;
            RecordTargetExists(run, job, outcomes);
            return Step::NextJob;
        }
        const CopyOutcome copy = GetCopyLoop(s, MakeRequest(run, job, source, plan.targetPath, batchStart, settings));
        if (copy.cancelled || Cancelled(run)) {
            job.resume = copy.resume;  // the job stays unattempted; where it stopped is kept
            return Step::Cancelled;
        }
        if (!RecordCopy(job, copy, outcomes, s.host(), kLocalMachine, plan.targetPath)) {
            job.localDir = base;
        }
        return Step::Go;
    });
}

// ---- server to server ---------------------------------------------------------------

std::int32_t RunServerToServerJobs(TransferRun& run) {
    if (const std::int32_t r = OpenTransferSession(run); r != 0) {
        return r;
    }
    if (const std::int32_t r = OpenDestinationSession(run); r != 0) {
        return r;
    }
    const SteadyClock::time_point batchStart = SteadyClock::now();
    const DriverSettings settings = ReadDriverSettings(run);
    RemoteLookup lookup;
    // The job's local-dir field holds the source server's folder, its
    // remote-dir field the destination server's.
    const std::string sourceCurrent = CurrentDirectoryForJobs(run, *run.sourceSession, &CTransferJob::localDir);
    const std::string destinationCurrent =
        CurrentDirectoryForJobs(run, *run.destinationSession, &CTransferJob::remoteDir);
    Outcomes outcomes(settings.perFileSound);

    const auto reconnect = [&run, &lookup] {
        std::optional<ConnectionLoss> loss = Reconnect(run, false, nullptr);
        if (!loss) {
            loss = Reconnect(run, true, &lookup);
        }
        return loss;
    };
    return WalkJobs(run, outcomes, StopAfterCurrent::Ignored, reconnect, [&](CTransferJob& job) {
        CTransferSession& src = *run.sourceSession;
        CTransferSession& dst = *run.destinationSession;
        const std::string sourceDir = job.localDir.empty() ? sourceCurrent : job.localDir;
        const char sourceSep = RemoteSeparatorFor(sourceDir);
        const std::string sourcePath = JoinWithSeparator(sourceDir, sourceSep, job.sourceName);
        run.progress.SetLocalFile(sourcePath);
        const std::string targetDir = job.remoteDir.empty() ? destinationCurrent : job.remoteDir;
        const char sep = RemoteSeparatorFor(targetDir);
        const std::string& name = job.targetName;
        const std::string plain = JoinWithSeparator(targetDir, sep, name);

        const TargetPlan plan = PlanRemoteTarget(settings.dirMode, dst, lookup, targetDir, sep, name, plain,
                                                 SplitPieces(sourcePath, sourceSep));
        if (const Step step = SettleRemoteTarget(run, dst, lookup, job, name, plan, outcomes); step != Step::Go) {
            return step;
        }
        const CopyOutcome copy =
            ServerToServerCopyLoop(src, dst, MakeRequest(run, job, sourcePath, plan.targetPath, batchStart, settings));
        if (copy.cancelled || Cancelled(run)) {
            return Step::Cancelled;
        }
        if (RecordCopy(job, copy, outcomes, src.host(), dst.host(), plan.targetPath)) {
            lookup.NoteCreated(plan.folder, name, false);
        }
        return Step::Go;
    });
}

std::int32_t RunJobsForMode(TransferRun& run) {
    switch (run.mode) {
        case TransferMode::Put:
        case TransferMode::PutKeep:
            return RunPutJobs(run);
        case TransferMode::Get:
            return RunGetJobs(run);
        case TransferMode::ServerToServer:
        default:
            return RunServerToServerJobs(run);
    }
}

}  // namespace zyfar
