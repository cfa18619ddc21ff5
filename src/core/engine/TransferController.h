#pragma once
// Runs a transfer run on a worker thread and carries out the cancel
// protocol of the transfer window. The window (or a headless runner) owns the
// controller and calls it from its own thread; the worker never touches the
// window.
//
//  - Start() starts the single worker (one driver by mode) or the serial
//    worker (the put driver for every site in turn, with the per-site queue
//    step and closing of the sessions after each site).
//  - When the worker ends by itself it calls the worker-done handler (on the
//    worker thread); the owner then calls Finish() on its own thread, which
//    joins the worker and runs FinishTransfer once.
//  - Cancel button: Suspend() pauses the worker at its next pass while the
//    user is asked. "No"/"Cancel": Resume(). "Yes"/"All": Cancel() cancels
//    the worker (blocked sockets are shut down so it returns at once), joins
//    it, closes the sessions and runs FinishTransfer ("All" first reports the
//    current site and every site after it). "Only this one" (serial):
//    CancelOnlyThisOne().
// No thread is ever killed.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/TransferRun.h"

namespace zyfar {

class TransferQueueSink;
class WorkerControl;

class TransferController {
public:
    // A null sink means the process's sink at the end of the run.
    explicit TransferController(std::unique_ptr<TransferRun> run, TransferQueueSink* sink = nullptr);
    // A worker still running is cancelled and joined; FinishTransfer runs if
    // it has not yet.
    ~TransferController();
    TransferController(const TransferController&) = delete;
    TransferController& operator=(const TransferController&) = delete;

    [[nodiscard]] TransferRun& run() { return *run_; }

    // Called on the worker thread when the worker ended by itself (not when
    // it was cancelled). Set before Start(). The handler only tells the
    // owner (a queued call, a flag); Finish and the cancel operations belong
    // to the owner's thread.
    void SetWorkerDoneHandler(std::function<void()> handler);

    void Start();
    // Waits up to `timeout` for the worker to end; true when it has.
    bool WaitForWorker(std::chrono::milliseconds timeout);
    [[nodiscard]] bool WorkerDone() const;
    // Joins the worker (which must have ended or be about to end) and runs
    // FinishTransfer; does nothing the second time.
    void Finish();
    [[nodiscard]] bool Finished() const { return finished_.load(); }
    // Start, wait for the worker, Finish (headless runs).
    void RunToEnd();
    // The last driver result of the single worker (1, or a session failure).
    [[nodiscard]] std::int32_t DriverResult() const;

    // ---- the Cancel button ----
    void Suspend();
    void Resume();
    // "Yes" (one server) and "All" (serial).
    void Cancel();

    enum class OnlyThisOne {
        AbortedCopy,  // connected: the current file ends as cancelled, the worker goes on with the next site
        SkippedSite,  // not yet connected: the site was dropped, a new worker serves the sites after it
        Finished,     // not yet connected and it was the last site: the run has ended
    };
    // "Only this one" of a serial run (see above).
    OnlyThisOne CancelOnlyThisOne();

private:
    void Launch(std::size_t firstSite);
    void SingleWorker();
    void SerialWorker(std::size_t firstSite);
    void WorkerEnded(bool notify);
    void JoinWorker();
    void RestoreJobsForSite();
    std::size_t CurrentSiteIndex() const;
    std::size_t SitesReported() const;

    std::unique_ptr<TransferRun> run_;
    TransferQueueSink* sink_;
    std::function<void()> onWorkerDone_;
    std::unique_ptr<WorkerControl> control_;
    std::vector<std::unique_ptr<WorkerControl>> retiredControls_;
    std::thread thread_;
    std::vector<CTransferJob> originalJobs_;

    mutable std::mutex mutex_;
    std::condition_variable doneChanged_;
    bool workerDone_ = true;
    std::int32_t driverResult_ = 0;
    // Serial runs: the sites before this index have had their per-site queue
    // step; a cancel that comes after the worker reported a site (or ended
    // by itself) never reports it a second time.
    std::size_t sitesReported_ = 0;
    std::atomic<bool> finished_{false};
};

}  // namespace zyfar
