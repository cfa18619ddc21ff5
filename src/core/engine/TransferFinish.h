#pragma once
// The end of a transfer run: sessions closed, every failed file logged
// ("FTP Transfer Failed"), the queue told (failed files added or counted,
// succeeded queue entries removed, the FREQ_NUM purge), the browsing views
// refreshed when they still show the folder they showed when the run was
// built, and a command-line link run ended after its last run.
//
// A failed file is queued with the folders its attempt started from (the
// jobs as the run was built, `built`, same order): a put's remote folder
// before the FTPDirTree folders were added, a get's local folder before
// them. The driver moves a failed put's remote folder to its target's folder;
// storing that would add the folders a second time when the queue sends it
// again.
#include <vector>

namespace zyfar {

class TransferRun;
class TransferQueueSink;
struct CTransferSite;
struct CTransferJob;

// Runs once per run, on the thread that owns it, after its worker has ended.
// A null sink means the process's sink (GetTransferQueueSink()).
void FinishTransfer(TransferRun& run, TransferQueueSink* sink = nullptr,
                    const std::vector<CTransferJob>* built = nullptr);

// Serial runs, after each site: failed jobs are logged and reported for that
// site and set back to -1 so the next site tries them again; a succeeded job
// from the queue has its entry removed.
void PerSiteQueueStep(TransferRun& run, const CTransferSite& site, TransferQueueSink* sink = nullptr,
                      const std::vector<CTransferJob>* built = nullptr);

}  // namespace zyfar
