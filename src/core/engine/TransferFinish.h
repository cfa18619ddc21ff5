#pragma once
// The end of a transfer run: sessions closed, every failed file logged
// ("FTP Transfer Failed"), the queue told (failed files added or counted,
// succeeded queue entries removed, the FREQ_NUM purge), the browsing views
// refreshed when they still show the folder they showed when the run was
// built, and a command-line link run ended after its last run.
namespace zyfar {

class TransferRun;
class TransferQueueSink;
struct CTransferSite;

// Runs once per run, on the thread that owns it, after its worker has ended.
// A null sink means the process's sink (GetTransferQueueSink()).
void FinishTransfer(TransferRun& run, TransferQueueSink* sink = nullptr);

// Serial runs, after each site: failed jobs are logged and reported for that
// site and set back to -1 so the next site tries them again; a succeeded job
// from the queue has its entry removed.
void PerSiteQueueStep(TransferRun& run, const CTransferSite& site, TransferQueueSink* sink = nullptr);

}  // namespace zyfar
