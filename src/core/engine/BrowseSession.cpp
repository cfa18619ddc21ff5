#include "engine/BrowseSession.h"

#include <algorithm>
#include <utility>

#include "engine/RemoteLookup.h"
#include "engine/TransferPaths.h"
#include "ftp/NameMask.h"
#include "ftp/SessionSettings.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/MessageTable.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

constexpr const char* kNone = "-";
constexpr int kMsgNameTakenFile = 174;    // "File was not renamed. A file by that name already exists!"
constexpr int kMsgNotFoundToDelete = 248;  // "Couldn't find file to delete!"
constexpr int kMsgFileNotDeleted = 249;    // "File was not deleted!"
constexpr int kMsgFolderNotRemoved = 33047;  // "Could not remove folder\nFolder still contains sub-folders ..."
constexpr int kMsgNameTakenFolder = 33048;  // "Folder was not renamed.\n A folder with the wanted name ..."
// A folder deleted with "Yes To All" is walked this many levels deep at most.
constexpr int kMaxDeleteDepth = 64;

// The result of a refusal that a string-table message explains.
FtpResult TableFailure(int id) { return FtpFail(id, MessageText(id)); }

FtpResult Cancelled() { return FtpFail(ftpcode::kCancelled, MessageText(ftpcode::kCancelled)); }

FtpResult BusyResult() { return FtpFail(ftpcode::kTransferInProgress, InternetErrorMessage(ftpcode::kTransferInProgress)); }

// The tray shows the session's work while an operation runs.
class TrayScope {
public:
    explicit TrayScope(TrayState state) { Ui().SetTrayState(static_cast<int>(state)); }
    ~TrayScope() { Ui().SetTrayState(static_cast<int>(TrayState::Idle)); }
    TrayScope(const TrayScope&) = delete;
    TrayScope& operator=(const TrayScope&) = delete;
};

bool ReadOnly(BrowseOpKind kind) {
    return kind == BrowseOpKind::List || kind == BrowseOpKind::Tree || kind == BrowseOpKind::SelectionJobs ||
           kind == BrowseOpKind::FolderJobs;
}

BrowseOpKind KindOf(const BrowseRequest& request) {
    static constexpr BrowseOpKind kKinds[] = {
        BrowseOpKind::List,        BrowseOpKind::Tree,         BrowseOpKind::MakeFolder,
        BrowseOpKind::Rename,      BrowseOpKind::DeleteFiles,  BrowseOpKind::DeleteFolder,
        BrowseOpKind::SelectionJobs, BrowseOpKind::FolderJobs,
    };
    static_assert(std::size(kKinds) == std::variant_size_v<BrowseRequest>);
    return kKinds[request.index()];
}

void KeepFirstFailure(BrowseResult& out, const FtpResult& r) {
    if (out.result.ok() && !r.ok()) out.result = r;
}

std::string RenameLogText(const std::string& from, const std::string& to) { return from + " -> " + to; }

}  // namespace

// ---- pure pieces ------------------------------------------------------------------------

std::vector<BrowseTreePiece> BuildTreePieces(const std::string& currentDirectory, char sep) {
    const std::vector<std::string> pieces = SplitPieces(currentDirectory, sep);
    if (currentDirectory.find(sep) == std::string::npos || pieces.empty()) {
        return {{currentDirectory, currentDirectory}};
    }
    std::vector<BrowseTreePiece> out;
    std::string running;
    for (const std::string& piece : pieces) {
        // Only a leading drive ("C:") goes without a separator before it; a
        // ":" inside a later folder name is just a character of that name.
        const bool drive = out.empty() && currentDirectory.front() != sep && piece.find(':') != std::string::npos;
        if (!drive) running += sep;
        running += piece;
        out.push_back({piece, running});
    }
    return out;
}

bool IsPlainRemoteName(const std::string& name, char sep) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find(sep) == std::string::npos && IsSafeArgument(name);
}

// ---- the owner's side -------------------------------------------------------------------

BrowseSession::BrowseSession(ResultHandler onResult) : onResult_(std::move(onResult)) {
    worker_ = std::thread([this] { WorkerLoop(); });
}

BrowseSession::~BrowseSession() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        activeId_ = 0;
        runningCancelled_ = runningId_ != 0;
        // Also an idle connection: the close then sends nothing and waits for nothing.
        if (control_) control_->Cancel();
    }
    wake_.notify_all();
    // No events are served while waiting: the owner is often a widget being
    // destroyed, and a posted event reaching its half-destroyed children
    // would crash. Nothing on the worker waits for the owner's thread
    // without a way out: a message box it waits for ends with the cancel
    // above, and results are posted, not awaited.
    if (worker_.joinable()) worker_.join();
}

BrowseSubmitted BrowseSession::Connect(const BrowseSite& site, BrowseConnectOptions options, std::string mask) {
    std::lock_guard lock(mutex_);
    if (activeId_ != 0) return {0, BusyResult()};
    Task task;
    task.id = nextId_++;
    task.kind = BrowseOpKind::Connect;
    task.site = site;
    task.connectOptions = std::move(options);
    task.mask = std::move(mask);
    activeId_ = task.id;
    queue_.push_back(std::move(task));
    wake_.notify_all();
    return {activeId_, FtpOk()};
}

BrowseSubmitted BrowseSession::Submit(BrowseOperation operation) {
    std::lock_guard lock(mutex_);
    if (activeId_ != 0) return {0, BusyResult()};
    if (!connected_) return {0, FtpFail(ftpcode::kIncorrectHandleState, "Not connected to an FTP server.")};
    Task task;
    task.id = nextId_++;
    task.kind = KindOf(operation.request);
    task.operation = std::move(operation);
    activeId_ = task.id;
    queue_.push_back(std::move(task));
    wake_.notify_all();
    return {activeId_, FtpOk()};
}

void BrowseSession::Cancel() {
    std::lock_guard lock(mutex_);
    if (activeId_ == 0) return;
    for (Task& task : queue_) {
        if (task.id == activeId_) {
            task.cancelled = true;  // it ends without running
            return;
        }
    }
    if (runningId_ == activeId_) {
        runningCancelled_ = true;
        if (control_) control_->Cancel();
    }
}

std::uint64_t BrowseSession::Close() {
    std::lock_guard lock(mutex_);
    for (Task& task : queue_) task.cancelled = true;
    if (runningId_ != 0) {
        runningCancelled_ = true;
        if (control_) control_->Cancel();
    }
    connected_ = false;
    activeId_ = 0;
    Task close;
    close.id = nextId_++;
    close.kind = BrowseOpKind::Close;
    queue_.push_back(std::move(close));
    wake_.notify_all();
    return queue_.back().id;
}

bool BrowseSession::Busy() const {
    std::lock_guard lock(mutex_);
    return activeId_ != 0;
}

bool BrowseSession::Connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

BrowseSite BrowseSession::Site() const {
    std::lock_guard lock(mutex_);
    return site_;
}

char BrowseSession::Separator() const {
    std::lock_guard lock(mutex_);
    return separator_;
}

// ---- the worker -------------------------------------------------------------------------

void BrowseSession::WorkerLoop() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) break;
            task = std::move(queue_.front());
            queue_.pop_front();
            runningId_ = task.id;
            runningCancelled_ = task.cancelled;
        }
        BrowseResult result = Execute(task);
        bool deliver = false;
        {
            std::lock_guard lock(mutex_);
            runningId_ = 0;
            runningCancelled_ = false;
            if (activeId_ == task.id) activeId_ = 0;
            deliver = !stopping_;
        }
        // Not busy any more before the owner hears of it: the owner may
        // submit the next request as soon as it has the result.
        if (deliver && onResult_) onResult_(std::move(result));
    }
    RunClose(nullptr);
    workerDone_.store(true);
}

BrowseResult BrowseSession::Execute(Task& task) {
    BrowseResult out;
    out.id = task.id;
    out.kind = task.kind;
    if (task.kind == BrowseOpKind::Close) {
        RunClose(&out);
        return out;
    }
    if (RunningCancelled()) {
        out.result = Cancelled();
        return out;
    }
    if (task.kind == BrowseOpKind::Connect) {
        RunConnect(task, out);
    } else {
        RunOperation(*task.operation, out);
    }
    if (RunningCancelled() && !out.result.ok()) out.result = Cancelled();
    lastUsed_ = std::chrono::steady_clock::now();
    return out;
}

std::shared_ptr<WorkerControl> BrowseSession::NewControl() {
    auto control = std::make_shared<WorkerControl>();
    std::lock_guard lock(mutex_);
    control_ = control;
    if (runningCancelled_ || stopping_) control->Cancel();
    return control;
}

bool BrowseSession::RunningCancelled() const {
    std::lock_guard lock(mutex_);
    return runningCancelled_;
}

bool BrowseSession::ConnectionGone() const {
    return !client_ || !client_->IsConnected() || (control_ && control_->IsCancelled());
}

std::string BrowseSession::Host() const {
    std::lock_guard lock(mutex_);
    return site_.host;
}

void BrowseSession::Disconnect(const std::string& host) {
    // The client refers to its control: it goes first.
    BrowseDisconnect(client_, host);
    serverFolder_.path.clear();
}

void BrowseSession::RunConnect(Task& task, BrowseResult& out) {
    if (client_) Disconnect(Host());
    {
        // Until this connect works there is no site: a failed one leaves the session closed.
        std::lock_guard lock(mutex_);
        site_ = BrowseSite{};
        connected_ = false;
    }
    const std::shared_ptr<WorkerControl> control = NewControl();
    BrowseConnectResult c = BrowseConnect(task.site, control.get(), task.connectOptions);
    out.changeDirectoryFailed = c.changeDirectoryFailed;
    if (!c.ok()) {
        out.result = FtpFail(c.code, c.text);
        return;
    }
    client_ = std::move(c.client);
    serverFolder_.path = c.currentDirectory;
    out.security = SecurityDetail(client_->features());
    if (!RunningCancelled()) {
        {
            std::lock_guard lock(mutex_);
            site_ = task.site;
            connected_ = true;
        }
        const TrayScope tray(TrayState::Receiving);
        Tree(c.currentDirectory, task.mask, out);
        // The connection stands even when its first listing did not work:
        // the result is the connection's, the listing's failure is in the
        // messages (and no listing comes with it).
        if (out.result.code != ftpcode::kCancelled) out.result = FtpOk();
    }
    if (RunningCancelled()) {
        // Cancelled or closed while it connected: the tree is not built.
        Disconnect(task.site.host);
        std::lock_guard lock(mutex_);
        site_ = BrowseSite{};
        connected_ = false;
        out.result = Cancelled();
    }
}

void BrowseSession::RunClose(BrowseResult* out) {
    std::string host;
    {
        std::lock_guard lock(mutex_);
        host = site_.host;
        if (out != nullptr) {
            site_ = BrowseSite{};
            connected_ = false;
        }
    }
    if (client_) Disconnect(host);
}

bool BrowseSession::Reconnect(BrowseResult& out) {
    const BrowseSite site = Site();
    if (client_) Disconnect(site.host);
    const std::shared_ptr<WorkerControl> control = NewControl();
    BrowseConnectOptions quiet;
    quiet.quiet = true;
    BrowseConnectResult c = BrowseConnect(site, control.get(), quiet);
    if (!c.ok()) {
        out.result = RunningCancelled() ? Cancelled() : FtpFail(c.code, c.text);
        return false;
    }
    client_ = std::move(c.client);
    serverFolder_.path = c.currentDirectory;
    out.security = SecurityDetail(client_->features());
    out.reconnected = true;
    lastUsed_ = std::chrono::steady_clock::now();
    return true;
}

bool BrowseSession::EnsureConnected(BrowseResult& out) {
    if (RunningCancelled()) {
        out.result = Cancelled();
        return false;
    }
    if (!ConnectionGone()) {
        if (std::chrono::steady_clock::now() - lastUsed_ < kIdleCheck) return true;
        // Idle for a while: servers close such connections. A PWD tells.
        FtpOutcome<std::string> pwd = client_->GetCurrentDirectory();
        if (pwd.ok()) {
            serverFolder_.path = std::move(pwd.value);
            return true;
        }
        if (RunningCancelled()) {
            out.result = Cancelled();
            return false;
        }
    }
    return Reconnect(out);
}

void BrowseSession::RunOperation(const BrowseOperation& operation, BrowseResult& out) {
    const bool readOnly = ReadOnly(out.kind);
    const TrayScope tray(readOnly ? TrayState::Receiving : TrayState::Sending);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureConnected(out)) return;
        if (out.reconnected) Ui().SetTrayState(static_cast<int>(readOnly ? TrayState::Receiving : TrayState::Sending));
        std::visit([this, &out](const auto& request) { Run(request, out); }, operation.request);
        // A listing that found its connection gone (a server that dropped
        // an idle connection, say) runs once more on a fresh one. Changes
        // are never repeated: the server may have made them already.
        const bool retry = readOnly && !out.result.ok() && !out.reconnected && ConnectionGone() && !RunningCancelled();
        if (!retry) break;
        BrowseResult fresh;
        fresh.id = out.id;
        fresh.kind = out.kind;
        out = std::move(fresh);
    }
    if (operation.thenList && !RunningCancelled() && !ConnectionGone()) {
        BrowseListing listing;
        const FtpResult r = List(*operation.thenList, listing);
        if (r.ok()) {
            out.listing = std::move(listing);
        } else {
            out.messages.push_back(BrowseMessageText(r));
            if (ConnectionGone()) KeepFirstFailure(out, r);
        }
    }
}

// ---- operations -------------------------------------------------------------------------

void BrowseSession::Run(const BrowseListRequest& request, BrowseResult& out) {
    BrowseListing listing;
    out.result = List(request, listing);
    if (out.result.ok()) {
        out.listing = std::move(listing);
    } else if (out.result.code != ftpcode::kCancelled) {
        out.messages.push_back(BrowseMessageText(out.result));
    }
}

void BrowseSession::Run(const BrowseTreeRequest& request, BrowseResult& out) {
    FtpOutcome<std::string> pwd = client_->GetCurrentDirectory();
    if (!pwd.ok()) {
        out.result = pwd.result;
        out.messages.push_back(BrowseMessageText(pwd.result));
        return;
    }
    serverFolder_.path = pwd.value;
    Tree(pwd.value, request.mask, out);
}

void BrowseSession::Tree(const std::string& currentDirectory, const std::string& mask, BrowseResult& out) {
    const char sep = RemoteSeparatorFor(currentDirectory);
    {
        std::lock_guard lock(mutex_);
        separator_ = sep;
    }
    out.currentDirectory = currentDirectory;
    out.separator = sep;
    out.tree = BuildTreePieces(currentDirectory, sep);
    BrowseListing listing;
    out.result = List({out.tree.back().path, mask, std::nullopt}, listing);
    if (out.result.ok()) {
        out.listing = std::move(listing);
    } else if (out.result.code != ftpcode::kCancelled) {
        out.messages.push_back(BrowseMessageText(out.result));
    }
}

FtpResult BrowseSession::List(const BrowseListRequest& request, BrowseListing& listing) {
    const char sep = Separator();
    const std::string mask = request.mask.empty() ? std::string("*") : request.mask;
    listing.folder = request.folder;
    listing.pattern = JoinWithSeparator(request.folder, sep, mask);
    FtpResult r = FtpOk();
    std::vector<RemoteEntry> entries;
    if (mask.find('/') != std::string::npos || mask.find(sep) != std::string::npos || !IsSafeArgument(mask)) {
        r = FtpFail(ftpcode::kInvalidOperation, "The filter mask \"" + mask + "\" holds a folder separator.");
    } else if (HasWildcard(mask)) {
        // The whole folder, matched here: a folder the server will not list
        // is reported as such, not shown as empty.
        FtpOutcome<std::vector<RemoteEntry>> all = client_->ListEntries(request.folder);
        r = all.result;
        for (RemoteEntry& e : all.value) {
            if (MatchesMask(e.name, mask)) entries.push_back(std::move(e));
        }
    } else {
        // One name: MLST where the server offers it.
        FtpOutcome<std::vector<FtpFoundFile>> found = client_->Find(listing.pattern);
        r = found.result;
        for (FtpFoundFile& f : found.value) entries.push_back(std::move(f.entry));
    }
    for (RemoteEntry& e : entries) {
        if (!r.ok()) break;
        BrowseEntry item;
        item.path = JoinWithSeparator(request.folder, sep, e.name);
        if (MayBeLink(e)) {
            const FtpOutcome<bool> folder = EntersAsFolder(*client_, item.path, serverFolder_);
            r = folder.result;
            item.kind = folder.value ? BrowseEntryKind::LinkFolder : BrowseEntryKind::LinkFile;
        } else {
            item.kind = e.isDirectory ? BrowseEntryKind::Folder : BrowseEntryKind::File;
        }
        item.entry = std::move(e);
        const bool isFolder = item.kind == BrowseEntryKind::Folder || item.kind == BrowseEntryKind::LinkFolder;
        (isFolder ? listing.folders : listing.files).push_back(std::move(item));
    }
    std::stable_sort(listing.folders.begin(), listing.folders.end(),
                     [](const BrowseEntry& a, const BrowseEntry& b) { return a.entry.name < b.entry.name; });
    if (request.changedFrom) {
        if (r.ok()) {
            WriteLogEntry(logcode::ChangeDirectoryOk, *request.changedFrom, Host(), request.folder, kNone);
        } else if (r.code != ftpcode::kCancelled) {
            WriteLogEntry(logcode::ChangeDirectoryFailed, *request.changedFrom, Host(), request.folder, r.text);
        }
    }
    if (!r.ok()) {
        listing.files.clear();
        listing.folders.clear();
    }
    return r;
}

void BrowseSession::Run(const BrowseMakeFolderRequest& request, BrowseResult& out) {
    const char sep = Separator();
    const std::string path = JoinWithSeparator(request.folder, sep, request.name);
    FtpResult r = IsPlainRemoteName(request.name, sep)
                      ? client_->CreateDirectory(path)
                      : FtpFail(ftpcode::kInvalidOperation, "\"" + request.name + "\" cannot be a folder name.");
    if (r.ok()) {
        WriteLogEntry(logcode::MakeDirectoryOk, kNone, Host(), path, kNone);
    } else {
        if (r.code != ftpcode::kCancelled) out.messages.push_back(BrowseMessageText(r));
        WriteLogEntry(logcode::MakeDirectoryFailed, kNone, Host(), path, r.text);
    }
    out.items.push_back({path, r});
    out.result = r;
}

void BrowseSession::Run(const BrowseRenameRequest& request, BrowseResult& out) {
    const char sep = Separator();
    const std::string host = Host();
    RemoteLookup lookup;
    for (const BrowseRenameRequest::Item& item : request.items) {
        const std::string from = JoinWithSeparator(item.folder, sep, item.name);
        const std::string to = JoinWithSeparator(item.toFolder, sep, item.toName);
        FtpResult r;
        std::string message;
        if (!IsPlainRemoteName(item.toName, sep)) {
            r = FtpFail(ftpcode::kInvalidOperation, "\"" + item.toName + "\" cannot be a name on the server.");
            message = r.text;
        } else {
            const RemoteLookup::Found found = lookup.Find(*client_, item.toFolder, item.toName);
            if (found.kind == RemoteLookup::Kind::File || found.kind == RemoteLookup::Kind::Folder) {
                r = TableFailure(item.isFolder ? kMsgNameTakenFolder : kMsgNameTakenFile);
                message = r.text;
            } else if (found.kind == RemoteLookup::Kind::Unknown) {
                // Renaming onto a name that may be taken could replace it: refused.
                r = found.failure.ok() ? FtpFail(ftpcode::kExtendedError, "") : found.failure;
                message = "Not renamed: the server does not say whether " + to + " already exists.";
                if (!r.text.empty()) message += "\n\n" + r.text;
            } else {
                r = client_->Rename(from, to);
                if (r.ok()) {
                    lookup.NoteCreated(item.toFolder, item.toName, item.isFolder);
                } else {
                    message = BrowseMessageText(r);
                }
            }
        }
        if (r.ok()) {
            WriteLogEntry(logcode::RenamingOk, kNone, host, RenameLogText(from, to), kNone);
        } else {
            if (r.code != ftpcode::kCancelled) out.messages.push_back(message);
            WriteLogEntry(logcode::RenamingFailed, kNone, host, RenameLogText(from, to), r.text.empty() ? message : r.text);
        }
        out.items.push_back({from, r});
        KeepFirstFailure(out, r);
        if (ConnectionGone()) break;
    }
}

void BrowseSession::Run(const BrowseDeleteFilesRequest& request, BrowseResult& out) {
    const char sep = Separator();
    const std::string host = Host();
    RemoteLookup lookup;
    for (const std::string& name : request.names) {
        const std::string path = JoinWithSeparator(request.folder, sep, name);
        FtpResult r;
        std::string detail;
        const RemoteLookup::Found found = lookup.Find(*client_, request.folder, name);
        if (found.kind == RemoteLookup::Kind::Absent) {
            r = TableFailure(kMsgNotFoundToDelete);
            detail = r.text;
        } else if (found.kind == RemoteLookup::Kind::Unknown && ConnectionGone()) {
            r = found.failure;
            detail = r.text;
        } else {
            // There, or the server cannot say: the removal itself tells.
            const FtpResult removed = client_->Remove(path);
            detail = removed.text;
            r = removed.ok() || removed.code == ftpcode::kCancelled ? removed : TableFailure(kMsgFileNotDeleted);
        }
        if (r.ok()) {
            WriteLogEntry(logcode::DeletionOk, kNone, host, path, kNone);
        } else {
            if (r.code != ftpcode::kCancelled) out.messages.push_back(r.text);
            WriteLogEntry(logcode::DeletionFailed, kNone, host, path, detail);
        }
        out.items.push_back({path, r});
        KeepFirstFailure(out, r);
        if (ConnectionGone()) break;
    }
}

void BrowseSession::Run(const BrowseDeleteFolderRequest& request, BrowseResult& out) {
    (void)DeleteTree(request.path, request.answer, 0, out);
}

bool BrowseSession::DeleteTree(const std::string& path, FolderDeleteAnswer answer, int depth, BrowseResult& out) {
    const char sep = Separator();
    const std::string host = Host();
    // Records a failure; false when the work cannot go on (cancelled, connection lost).
    const auto failed = [&](const std::string& what, const FtpResult& r, const std::string& message,
                            const std::string& detail) {
        if (r.code != ftpcode::kCancelled) out.messages.push_back(message);
        WriteLogEntry(logcode::DeletionFailed, kNone, host, what, detail);
        out.items.push_back({what, r});
        KeepFirstFailure(out, r);
        return !ConnectionGone();
    };
    const auto removed = [&](const std::string& what) {
        WriteLogEntry(logcode::DeletionOk, kNone, host, what, kNone);
        out.items.push_back({what, FtpOk()});
    };
    FtpOutcome<std::vector<RemoteEntry>> listed = client_->ListEntries(path);
    if (!listed.ok()) return failed(path, listed.result, BrowseMessageText(listed.result), listed.result.text);
    std::vector<std::string> folders;
    for (const RemoteEntry& e : listed.value) {
        const std::string child = JoinWithSeparator(path, sep, e.name);
        if (e.isDirectory && !e.isLink) {
            folders.push_back(child);
            continue;
        }
        // Files, and links of any kind: a link goes, what it points at stays.
        const FtpResult r = client_->Remove(child);
        if (r.ok()) {
            removed(child);
        } else if (!failed(child, r, BrowseMessageText(r), r.text)) {
            return false;
        }
    }
    if (answer == FolderDeleteAnswer::YesToAll) {
        for (const std::string& folder : folders) {
            if (depth + 1 > kMaxDeleteDepth) {
                const FtpResult deep = FtpFail(ftpcode::kInvalidOperation, "Folders nest too deep: " + folder);
                if (!failed(folder, deep, deep.text, deep.text)) return false;
                continue;
            }
            if (!DeleteTree(folder, answer, depth + 1, out)) return false;
        }
    }
    const FtpResult r = client_->RemoveDirectory(path);
    if (r.ok()) {
        removed(path);
        return true;
    }
    if (r.code == ftpcode::kCancelled || ConnectionGone()) return failed(path, r, BrowseMessageText(r), r.text);
    const FtpResult refused = TableFailure(kMsgFolderNotRemoved);
    return failed(path, refused, refused.text, r.text);
}

void BrowseSession::Run(const BrowseSelectionJobsRequest& request, BrowseResult& out) {
    Jobs(JobsFromRows(*client_, serverFolder_, Separator(), request.folder, request.rows, request.target,
                      RemoteJobSettings::FromStore()),
         out);
}

void BrowseSession::Run(const BrowseFolderJobsRequest& request, BrowseResult& out) {
    Jobs(JobsFromFolder(*client_, serverFolder_, Separator(), request.folder, request.target,
                        RemoteJobSettings::FromStore()),
         out);
}

void BrowseSession::Jobs(RemoteJobs jobs, BrowseResult& out) {
    out.result = jobs.result;
    out.jobs = std::move(jobs.jobs);
    out.batchSize = jobs.batchSize;
    out.messages = std::move(jobs.messages);
}

}  // namespace zyfar
