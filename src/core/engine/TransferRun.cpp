#include "engine/TransferRun.h"

#include <atomic>

#include "engine/TransferSession.h"
#include "platform/UiHost.h"
#include "settings/Keys.h"

namespace zyfar {

TransferRun::TransferRun() = default;

TransferRun::~TransferRun() {
    // Files before connections, source before destination.
    std::lock_guard guard(sessionMutex);
    sourceSession.reset();
    destinationSession.reset();
}

bool TransferRun::SourceConnected() {
    std::lock_guard guard(sessionMutex);
    return sourceSession && sourceSession->HasConnection();
}

bool TransferRun::AbortSourceCopy() {
    std::lock_guard guard(sessionMutex);
    if (!sourceSession || !sourceSession->HasConnection()) {
        return false;
    }
    sourceSession->abortFlag.store(true);
    return true;
}

void TransferRun::SetSourceSession(std::unique_ptr<CTransferSession> session) {
    std::unique_ptr<CTransferSession> old;
    {
        std::lock_guard guard(sessionMutex);
        old = std::move(sourceSession);
        sourceSession = std::move(session);
    }
}

void TransferRun::SetDestinationSession(std::unique_ptr<CTransferSession> session) {
    std::unique_ptr<CTransferSession> old;
    {
        std::lock_guard guard(sessionMutex);
        old = std::move(destinationSession);
        destinationSession = std::move(session);
    }
}

std::unique_ptr<CTransferSession> TransferRun::TakeSourceSession() {
    std::lock_guard guard(sessionMutex);
    return std::move(sourceSession);
}

std::unique_ptr<CTransferSession> TransferRun::TakeDestinationSession() {
    std::lock_guard guard(sessionMutex);
    return std::move(destinationSession);
}

namespace {

std::string ShownText(const std::shared_ptr<TransferViewLink>& view) {
    return view ? view->ShownDirectoryText() : std::string();
}

std::unique_ptr<TransferRun> NewRun(std::vector<CTransferJob> jobs, std::int64_t batchSize, TransferMode mode,
                                    int typeFlag, const std::shared_ptr<TransferViewLink>& destinationView,
                                    const std::shared_ptr<TransferViewLink>& sourceView, bool forceLastDir) {
    auto run = std::make_unique<TransferRun>();
    run->jobs = std::move(jobs);
    run->batchSize = batchSize;
    run->mode = mode;
    run->typeFlag = typeFlag;
    run->destinationView = destinationView;
    run->sourceView = sourceView;
    run->destinationViewText = ShownText(destinationView);
    run->sourceViewText = ShownText(sourceView);
    run->forceLastDir = forceLastDir;
    run->overwrite = ReadNotNo(keys::Overwrite);
    return run;
}

}  // namespace

std::unique_ptr<TransferRun> MakeSingleServerRun(const TransferServer& site, std::vector<CTransferJob> jobs,
                                                 std::string localTargetDir, std::int64_t batchSize,
                                                 TransferMode mode, int typeFlag,
                                                 std::shared_ptr<TransferViewLink> destinationView,
                                                 std::shared_ptr<TransferViewLink> sourceView, bool forceLastDir) {
    auto run = NewRun(std::move(jobs), batchSize, mode, typeFlag, destinationView, sourceView, forceLastDir);
    run->source = site;
    run->localTargetDir = std::move(localTargetDir);
    return run;
}

std::unique_ptr<TransferRun> MakeServerToServerRun(const TransferServer& destination, const TransferServer& source,
                                                   std::vector<CTransferJob> jobs, std::int64_t batchSize,
                                                   int typeFlag, std::shared_ptr<TransferViewLink> destinationView,
                                                   std::shared_ptr<TransferViewLink> sourceView, bool forceLastDir) {
    auto run = NewRun(std::move(jobs), batchSize, TransferMode::ServerToServer, typeFlag, destinationView,
                      sourceView, forceLastDir);
    run->source = source;
    run->destination = destination;
    run->localTargetDir = destination.remoteDir;
    return run;
}

std::unique_ptr<TransferRun> MakeSerialRun(std::vector<CTransferSite> sites, std::vector<CTransferJob> jobs,
                                           std::int64_t batchSize, TransferMode mode, int typeFlag,
                                           std::shared_ptr<TransferViewLink> destinationView,
                                           std::shared_ptr<TransferViewLink> sourceView, bool forceLastDir) {
    auto run = NewRun(std::move(jobs), batchSize, mode, typeFlag, destinationView, sourceView, forceLastDir);
    run->serial = true;
    run->sites = std::move(sites);
    if (!run->sites.empty()) {
        const CTransferSite& first = run->sites.front();
        run->source = TransferServer{first.host, first.login, first.password, first.remoteDir, first.port};
    }
    return run;
}

std::string TransferTitle(const TransferRun& run) {
    switch (run.mode) {
        case TransferMode::Get:
            return "FTP Get from: " + run.source.host;
        case TransferMode::ServerToServer:
            return "FTP Transfer from:" + run.source.host + " to " + run.destination.host;
        case TransferMode::Put:
        case TransferMode::PutKeep:
        default:
            return "FTP Put to: " + run.source.host;
    }
}

std::int64_t BatchSizeOf(const std::vector<CTransferJob>& jobs) {
    std::int64_t total = 0;
    for (const CTransferJob& job : jobs) {
        total += job.size > 0 ? job.size : 0;
    }
    return total;
}

namespace {
std::atomic<int> gPendingLinkTransfers{-1};
}

void SetPendingLinkTransfers(int count) { gPendingLinkTransfers.store(count); }

int PendingLinkTransfers() { return gPendingLinkTransfers.load(); }

bool ReleasePendingLinkTransfer() {
    int current = gPendingLinkTransfers.load();
    while (current > 0) {
        if (gPendingLinkTransfers.compare_exchange_weak(current, current - 1)) {
            if (current == 1) {
                Ui().RequestQuit();
                return true;
            }
            return false;
        }
    }
    return false;
}

}  // namespace zyfar
