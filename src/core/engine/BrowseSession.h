#pragma once
// The browsing session of a remote tree and its list: one FTP connection,
// owned for the session's whole life by a worker thread of its own, which
// runs the views' operations one at a time (connect, list a folder, build the
// tree pieces, make, rename, move and delete, turn a selection into transfer
// jobs).
//
// Threads: the owner (the GUI thread) calls Connect, Submit, Cancel, Close
// and the getters; none of them waits for the network. Each accepted request
// gets an id, and its result comes back once through the result handler, on
// the worker thread (the GUI posts it to itself). While a request is under
// way every further Connect or Submit is refused at once with 12110 ("an
// operation is already in progress"); Busy() tells the same.
//
// Cancel ends the running operation only. A cancel shuts the connection's
// sockets down, so the server's state is unknown afterwards: the next
// operation opens the connection again by itself, quietly (the log shows the
// new connection; no message box, no sound) and says so in its result
// (`reconnected`). The same happens after the server dropped the
// connection; a connection idle for a while is checked first, and a listing
// that finds its connection gone is run once more on a fresh one.
//
// Questions are the GUI's: it asks before submitting (Delete Folder's "Yes To
// All" / "This folder only", each file's "About to remove file"), and passes
// the answer in. Messages the user is to see come back in the result, in
// order, as texts; the log events are written here as the work goes.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "engine/RemoteSelection.h"
#include "engine/TransferJob.h"
#include "ftp/BrowseConnect.h"
#include "ftp/FtpClient.h"

namespace zyfar {

class WorkerControl;

// ---- requests ---------------------------------------------------------------------------

// Lists `folder` through `folder` + separator + mask ("*" when empty). With
// `changedFrom` (the previous current folder) the change of the current
// folder is logged: 32867 "Change Directory OK" when the listing worked,
// else 32868.
struct BrowseListRequest {
    std::string folder;
    std::string mask;
    std::optional<std::string> changedFrom;
};

// Reads the server's current folder, chooses the separator, cuts the folder
// into tree pieces and lists the last piece.
struct BrowseTreeRequest {
    std::string mask;
};

// Creates folder + separator + name: 32873, or 32874 and the error text.
struct BrowseMakeFolderRequest {
    std::string folder;
    std::string name;
};

// Renames or moves, each item in turn: the target name is looked up first;
// when it is taken the item is refused with 174 (a file) or 33048 (a
// folder), when the server cannot say whether it is taken the item is
// refused too. Then RNFR/RNTO: 32871, or 32872 and the error text.
struct BrowseRenameRequest {
    struct Item {
        std::string folder;
        std::string name;
        std::string toFolder;
        std::string toName;
        bool isFolder = false;
    };
    std::vector<Item> items;
};

// Removes files the user confirmed, each in turn: one that is not there
// gives 248 "Couldn't find file to delete!" and 32870; then DELE: 32869, or
// 249 "File was not deleted!" and 32870.
struct BrowseDeleteFilesRequest {
    std::string folder;
    std::vector<std::string> names;
};

// The answer to "Delete Folder and Sub-folders?".
enum class FolderDeleteAnswer {
    YesToAll,        // the whole subtree: in each folder the files, then the sub-folders, then the folder
    ThisFolderOnly,  // the files directly inside, then the folder (which stays when it has sub-folders)
};

// Removes a folder: each removed file or folder writes 32869; a file that
// cannot be removed its error text and 32870; a folder that cannot be
// removed 33047 and 32870. Links are removed as links, never walked into.
struct BrowseDeleteFolderRequest {
    std::string path;
    FolderDeleteAnswer answer = FolderDeleteAnswer::ThisFolderOnly;
};

// Selected rows of `folder` into jobs (FTP Get / FTP Put of a list).
struct BrowseSelectionJobsRequest {
    std::string folder;
    std::vector<BrowseRow> rows;
    BrowseJobTarget target;
};

// A folder dragged out of the tree into jobs.
struct BrowseFolderJobsRequest {
    std::string folder;
    BrowseJobTarget target;
};

using BrowseRequest =
    std::variant<BrowseListRequest, BrowseTreeRequest, BrowseMakeFolderRequest, BrowseRenameRequest,
                 BrowseDeleteFilesRequest, BrowseDeleteFolderRequest, BrowseSelectionJobsRequest,
                 BrowseFolderJobsRequest>;

struct BrowseOperation {
    BrowseRequest request;
    // Lists a folder afterwards, in the same turn, whether the operation
    // worked or not (not after a cancel or a lost connection).
    std::optional<BrowseListRequest> thenList;
};

// ---- results ----------------------------------------------------------------------------

enum class BrowseOpKind {
    Connect, Close, List, Tree, MakeFolder, Rename, DeleteFiles, DeleteFolder, SelectionJobs, FolderJobs,
};

enum class BrowseEntryKind {
    File,        // a plain file
    Folder,      // a folder (tree images 3 and 4)
    LinkFolder,  // a link that can be entered (tree images 8 and 11)
    LinkFile,    // a link that cannot be entered: a file of type 235 "Symbolic Link"
};

struct BrowseEntry {
    RemoteEntry entry;  // the name exactly as the server sent its bytes
    std::string path;   // folder + separator + name
    BrowseEntryKind kind = BrowseEntryKind::File;
};

struct BrowseListing {
    std::string folder;
    std::string pattern;              // what was searched: folder + separator + mask
    std::vector<BrowseEntry> files;   // File and LinkFile entries, in the server's order
    std::vector<BrowseEntry> folders;  // Folder and LinkFolder entries, sorted by name
};

// One item of the tree built from the server's current folder.
struct BrowseTreePiece {
    std::string label;  // the piece of the path ("pub", "C:"); the whole path for a single item
    std::string path;   // the running path up to and including the piece
};

// What happened to one file or folder of a make, rename or delete.
struct BrowseItemOutcome {
    std::string path;  // the file or folder (a rename: the old path)
    FtpResult result;  // ok, or why not
};

struct BrowseResult {
    std::uint64_t id = 0;
    BrowseOpKind kind = BrowseOpKind::List;
    // ok; 12017 after a cancel; else the (first) failure. A Connect's is the
    // connection's: when its first listing fails the result stays ok, the
    // listing is absent and the messages say why. A refusal explained by a
    // message of the string table carries that number (174, 248, 33047 ...).
    FtpResult result;
    bool reconnected = false;  // the connection was opened again for this operation
    // Connect, and an operation that connected again: "TLS 1.3, <cipher>" for a
    // protected connection, "" for a clear one.
    std::string security;
    std::vector<std::string> messages;  // for the user, in order (error texts, 174, 248, 249, 33047 ...)

    // Connect and Tree: the server's current folder, the separator chosen
    // and the tree pieces; changeDirectoryFailed when the site's folder
    // could not be entered (the session goes on where the server stands).
    std::string currentDirectory;
    char separator = '/';
    std::vector<BrowseTreePiece> tree;
    bool changeDirectoryFailed = false;

    // Connect, Tree, List and any thenList: the listing.
    std::optional<BrowseListing> listing;

    // Make, rename and delete: one outcome per file or folder, in order.
    std::vector<BrowseItemOutcome> items;

    // Jobs requests: the jobs (sorted, each file once) and their bytes.
    std::vector<CTransferJob> jobs;
    std::int64_t batchSize = 0;
};

// A request handed in: accepted with an id, or refused at once.
struct BrowseSubmitted {
    std::uint64_t id = 0;  // 0 when refused
    FtpResult result;      // 12110 while busy; 12019 when not connected

    [[nodiscard]] bool accepted() const { return id != 0; }
};

// ---- pure pieces ------------------------------------------------------------------------

// The tree items of a server's current folder P, cut at `sep`: each piece
// appended to a running path, with the separator before it, except a drive
// piece ("C:", a first piece holding ":" of a path that does not start with
// the separator). A P without a separator, or made of separators only,
// gives one item for P.
[[nodiscard]] std::vector<BrowseTreePiece> BuildTreePieces(const std::string& currentDirectory, char sep);

// A name a new folder or a rename target may have: not empty, not "." or
// "..", without "/", the separator, CR, LF or NUL.
[[nodiscard]] bool IsPlainRemoteName(const std::string& name, char sep);

// ---- the session ------------------------------------------------------------------------

class BrowseSession {
public:
    using ResultHandler = std::function<void(BrowseResult result)>;

    // The handler runs on the worker thread, once per accepted request (and
    // once per Close). Once the destructor has begun, results are dropped,
    // and it returns only after a handler call under way has ended; so the
    // handler must not wait for the owner's thread (post, do not block).
    explicit BrowseSession(ResultHandler onResult);
    // Cancels whatever runs, closes the connection (the close is logged) and
    // joins the worker; it waits for no server.
    ~BrowseSession();
    BrowseSession(const BrowseSession&) = delete;
    BrowseSession& operator=(const BrowseSession&) = delete;

    // Connects to a site (the browsing connect: log events, sounds, status
    // texts through options.status, message boxes through the UI host), then
    // builds the tree pieces and lists the last one with `mask`. An open
    // connection is closed first (and logged).
    BrowseSubmitted Connect(const BrowseSite& site, BrowseConnectOptions options = {}, std::string mask = {});
    // One operation on the connected site.
    BrowseSubmitted Submit(BrowseOperation operation);
    // Cancels the running (or not yet started) request; nothing when idle.
    void Cancel();
    // Disconnects: cancels a running request, then logs 32875 and 32877 and
    // forgets the site. Never refused; a Connect may follow at once (it runs
    // after the close). Returns the id of the close's own result.
    std::uint64_t Close();

    [[nodiscard]] bool Busy() const;
    // A site was connected and not closed since (the connection itself may
    // be opened again by the next operation).
    [[nodiscard]] bool Connected() const;
    [[nodiscard]] BrowseSite Site() const;
    // The separator chosen when the tree was last built.
    [[nodiscard]] char Separator() const;

    // A connection unused this long is checked (PWD) before an operation.
    static constexpr std::chrono::seconds kIdleCheck{15};

private:
    struct Task {
        std::uint64_t id = 0;
        BrowseOpKind kind = BrowseOpKind::List;
        std::optional<BrowseOperation> operation;
        BrowseSite site;  // Connect
        BrowseConnectOptions connectOptions;
        std::string mask;
        bool cancelled = false;  // ends without running
    };

    void WorkerLoop();
    BrowseResult Execute(Task& task);
    void RunConnect(Task& task, BrowseResult& out);
    void RunOperation(const BrowseOperation& operation, BrowseResult& out);
    // Closes the connection; with a result (a Close request) the site is forgotten too.
    void RunClose(BrowseResult* out);
    void Disconnect(const std::string& host);

    // The connection for the next step: the open one when it is usable,
    // else a new one (reported in out.reconnected). False when there is none.
    bool EnsureConnected(BrowseResult& out);
    bool Reconnect(BrowseResult& out);
    // A control for a new connection, published for Cancel (the client that
    // used the previous one must be gone).
    std::shared_ptr<WorkerControl> NewControl();
    [[nodiscard]] bool ConnectionGone() const;
    [[nodiscard]] bool RunningCancelled() const;
    [[nodiscard]] std::string Host() const;

    // The operations, on the worker thread with a connected client.
    void Run(const BrowseListRequest& request, BrowseResult& out);
    void Run(const BrowseTreeRequest& request, BrowseResult& out);
    void Run(const BrowseMakeFolderRequest& request, BrowseResult& out);
    void Run(const BrowseRenameRequest& request, BrowseResult& out);
    void Run(const BrowseDeleteFilesRequest& request, BrowseResult& out);
    void Run(const BrowseDeleteFolderRequest& request, BrowseResult& out);
    void Run(const BrowseSelectionJobsRequest& request, BrowseResult& out);
    void Run(const BrowseFolderJobsRequest& request, BrowseResult& out);
    [[nodiscard]] FtpResult List(const BrowseListRequest& request, BrowseListing& listing);
    void Tree(const std::string& currentDirectory, const std::string& mask, BrowseResult& out);
    // False when the work cannot go on (cancelled, connection lost).
    bool DeleteTree(const std::string& path, FolderDeleteAnswer answer, int depth, BrowseResult& out);
    static void Jobs(RemoteJobs jobs, BrowseResult& out);

    const ResultHandler onResult_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;           // requests and closes, in order
    std::uint64_t activeId_ = 0;       // the request that makes the session busy (0: none)
    std::uint64_t runningId_ = 0;      // the request the worker runs now
    bool runningCancelled_ = false;
    bool stopping_ = false;
    bool connected_ = false;
    std::uint64_t nextId_ = 1;
    BrowseSite site_;
    char separator_ = '/';
    std::shared_ptr<WorkerControl> control_;  // the connection's (written by the worker under the lock)

    // The worker's own.
    std::unique_ptr<FtpClient> client_;
    ServerFolder serverFolder_;
    std::chrono::steady_clock::time_point lastUsed_{};

    std::atomic<bool> workerDone_{false};
    std::thread worker_;
};

}  // namespace zyfar
