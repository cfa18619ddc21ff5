#pragma once
// One transfer run: what a transfer window is built with (one server, two
// servers, or a serial site list), its jobs, and while it runs its sessions,
// progress state and stop flags. The Qt transfer window (CTransferDlg) shows
// a run; the drivers, the workers and FinishTransfer work on it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/TransferJob.h"
#include "engine/TransferProgress.h"
#include "settings/Keys.h"

namespace zyfar {

class CTransferSession;
class WorkerControl;

// A browsing view a run refreshes when it ends. Both calls may come from any
// thread; the GUI forwards Refresh to its own thread.
class TransferViewLink {
public:
    virtual ~TransferViewLink() = default;
    // The folder text the view shows now.
    [[nodiscard]] virtual std::string ShownDirectoryText() const = 0;
    virtual void Refresh() = 0;
};

// One server as a constructor is given it.
struct TransferServer {
    std::string host;
    std::string login;
    std::string password;
    std::string remoteDir;
    std::uint16_t port = 21;
    Encryption encryption = Encryption::None;  // FTP over TLS
};

class TransferRun {
public:
    TransferRun();
    ~TransferRun();
    TransferRun(const TransferRun&) = delete;
    TransferRun& operator=(const TransferRun&) = delete;

    // ---- what the run was built with ----
    std::int64_t batchSize = 0;  // total bytes of all jobs
    TransferServer source;       // for a put or get the only server
    TransferServer destination;  // mode 2 only
    std::string destinationViewText;  // the folders the two views showed when the run was built
    std::string sourceViewText;
    bool overwrite = false;      // CONFIG Overwrite is anything but "NO"
    TransferMode mode = TransferMode::Put;
    bool serial = false;         // the jobs go to every site of `sites` in turn
    int typeFlag = 1;            // for ChooseTransferType: 1 asks for the configured type
    std::string localTargetDir;  // get: folder to store into (empty: each job's own); mode 2: destination folder
    std::vector<CTransferJob> jobs;
    std::weak_ptr<TransferViewLink> destinationView;
    std::weak_ptr<TransferViewLink> sourceView;
    bool forceLastDir = false;   // "NO_PATH" counts as "LAST_DIR"
    std::vector<CTransferSite> sites;

    // ---- while it runs ----
    TransferProgress progress;
    // Set by "Only this one"; the put driver checks it before each job.
    std::atomic<bool> stopAfterCurrent{false};
    // The control of the worker running now (sessions are bound to it).
    WorkerControl* control = nullptr;
    // The site the serial worker serves now (-1 before the first).
    std::atomic<int> currentSite{-1};
    // The last failed connection's code and text, for a window or a
    // headless report (jobs of a run that never connected stay at -1).
    std::int32_t connectErrorCode = 0;
    std::string connectErrorText;

    // The sessions; replaced only under sessionMutex so another thread can
    // look at them (SourceConnected, AbortSourceCopy).
    std::mutex sessionMutex;
    std::unique_ptr<CTransferSession> sourceSession;
    std::unique_ptr<CTransferSession> destinationSession;

    // Any thread: whether the source session has an open connection.
    [[nodiscard]] bool SourceConnected();
    // Any thread: sets the source session's abort flag; false when there is
    // no connected source session.
    bool AbortSourceCopy();
    // Worker thread: installs or removes a session.
    void SetSourceSession(std::unique_ptr<CTransferSession> session);
    void SetDestinationSession(std::unique_ptr<CTransferSession> session);
    std::unique_ptr<CTransferSession> TakeSourceSession();
    std::unique_ptr<CTransferSession> TakeDestinationSession();
};

// The three ways a run is built. Each reads CONFIG Overwrite and notes the
// folders the views show now.
[[nodiscard]] std::unique_ptr<TransferRun> MakeSingleServerRun(
    const TransferServer& site, std::vector<CTransferJob> jobs, std::string localTargetDir, std::int64_t batchSize,
    TransferMode mode, int typeFlag, std::shared_ptr<TransferViewLink> destinationView,
    std::shared_ptr<TransferViewLink> sourceView, bool forceLastDir);

// Mode 2; the local target folder is the destination's remote folder.
[[nodiscard]] std::unique_ptr<TransferRun> MakeServerToServerRun(
    const TransferServer& destination, const TransferServer& source, std::vector<CTransferJob> jobs,
    std::int64_t batchSize, int typeFlag, std::shared_ptr<TransferViewLink> destinationView,
    std::shared_ptr<TransferViewLink> sourceView, bool forceLastDir);

// A serial put of the jobs to every site in turn.
[[nodiscard]] std::unique_ptr<TransferRun> MakeSerialRun(
    std::vector<CTransferSite> sites, std::vector<CTransferJob> jobs, std::int64_t batchSize, TransferMode mode,
    int typeFlag, std::shared_ptr<TransferViewLink> destinationView, std::shared_ptr<TransferViewLink> sourceView,
    bool forceLastDir);

// The window title by mode: "FTP Put to: host", "FTP Get from: host",
// "FTP Transfer from:source to destination".
[[nodiscard]] std::string TransferTitle(const TransferRun& run);

// The sum of the jobs' sizes.
[[nodiscard]] std::int64_t BatchSizeOf(const std::vector<CTransferJob>& jobs);

// ---- command-line link runs ----
// -1 while no command-line link run is active; else the number of its
// transfer runs still open.
void SetPendingLinkTransfers(int count);
[[nodiscard]] int PendingLinkTransfers();
// A run ended: a count above 0 goes down by one; when it goes from 1 to 0 the
// program is asked to quit (UiHost::RequestQuit) and true is returned.
bool ReleasePendingLinkTransfer();

}  // namespace zyfar
