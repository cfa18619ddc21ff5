#include "engine/TransferController.h"

#include <algorithm>

#include "engine/TransferDrivers.h"
#include "engine/TransferFinish.h"
#include "engine/TransferSession.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"

namespace zyfar {

TransferController::TransferController(std::unique_ptr<TransferRun> run, TransferQueueSink* sink)
    : run_(std::move(run)), sink_(sink) {
    originalJobs_ = run_->jobs;
}

TransferController::~TransferController() {
    if (thread_.joinable()) {
        if (!WorkerDone() && control_) {
            control_->Cancel();
        }
        JoinWorker();
    }
    if (!finished_ && control_) {
        finished_ = true;
        FinishTransfer(*run_, sink_, &originalJobs_);
    }
}

void TransferController::SetWorkerDoneHandler(std::function<void()> handler) { onWorkerDone_ = std::move(handler); }

void TransferController::Start() {
    if (control_) {
        return;  // started already
    }
    Launch(0);
}

void TransferController::Launch(std::size_t firstSite) {
    if (control_) {
        retiredControls_.push_back(std::move(control_));
    }
    control_ = std::make_unique<WorkerControl>();
    run_->control = control_.get();
    {
        std::lock_guard guard(mutex_);
        workerDone_ = false;
    }
    // A message box the worker waits for ends its wait on the worker's cancel,
    // so Cancel() on the GUI thread can join it.
    WorkerControl* control = control_.get();
    if (run_->serial) {
        thread_ = std::thread([this, control, firstSite] {
            const WorkerScope worker(control);
            SerialWorker(firstSite);
        });
    } else {
        thread_ = std::thread([this, control] {
            const WorkerScope worker(control);
            SingleWorker();
        });
    }
}

void TransferController::SingleWorker() {
    const std::int32_t r = RunJobsForMode(*run_);
    {
        std::lock_guard guard(mutex_);
        driverResult_ = r;
    }
    WorkerEnded(true);
}

void TransferController::RestoreJobsForSite() {
    // Every site starts from the jobs as they were built: a failed put moves
    // its job's remote folder to the folder of that site's target, which must
    // not leak into the next site, and a file sent to the previous site is
    // not yet sent to this one.
    for (std::size_t j = 0; j < run_->jobs.size() && j < originalJobs_.size(); ++j) {
        run_->jobs[j].remoteDir = originalJobs_[j].remoteDir;
        run_->jobs[j].reason = originalJobs_[j].reason;
        run_->jobs[j].status = kJobNotAttempted;
    }
}

void TransferController::SerialWorker(std::size_t firstSite) {
    WorkerControl* control = run_->control;
    for (std::size_t i = firstSite; i < run_->sites.size(); ++i) {
        if (control->IsCancelled()) {
            WorkerEnded(false);
            return;
        }
        // The jobs are made ready for this site before it becomes the current
        // one: a cancel in between then reports the jobs as not sent to it.
        RestoreJobsForSite();
        CTransferSite& site = run_->sites[i];
        run_->source = TransferServer{site.host, site.login, site.password, site.remoteDir, site.port};
        run_->source.encryption = site.encryption;
        run_->currentSite.store(static_cast<int>(i));
        run_->stopAfterCurrent.store(false);
        const std::int32_t r = IsPutMode(run_->mode) ? RunPutJobs(*run_) : RunGetJobs(*run_);
        if (control->IsCancelled()) {
            WorkerEnded(false);
            return;
        }
        site.status = r == kDriverDone ? 0 : r;
        PerSiteQueueStep(*run_, site, sink_, &originalJobs_);
        {
            std::lock_guard guard(mutex_);
            sitesReported_ = i + 1;
        }
        CloseTransferSessions(*run_);
    }
    {
        std::lock_guard guard(mutex_);
        driverResult_ = kDriverDone;
    }
    WorkerEnded(true);
}

void TransferController::WorkerEnded(bool notify) {
    const bool cancelled = run_->control != nullptr && run_->control->IsCancelled();
    {
        std::lock_guard guard(mutex_);
        workerDone_ = true;
    }
    doneChanged_.notify_all();
    if (notify && !cancelled && onWorkerDone_) {
        onWorkerDone_();
    }
}

bool TransferController::WaitForWorker(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return doneChanged_.wait_for(lock, timeout, [this] { return workerDone_; });
}

bool TransferController::WorkerDone() const {
    std::lock_guard guard(mutex_);
    return workerDone_;
}

std::int32_t TransferController::DriverResult() const {
    std::lock_guard guard(mutex_);
    return driverResult_;
}

void TransferController::JoinWorker() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        // On the GUI thread the worker's message boxes are still shown while it ends.
        ServeUiWhileWaiting([this] { return WorkerDone(); });
        thread_.join();
    }
}

void TransferController::Finish() {
    if (finished_) {
        return;
    }
    JoinWorker();
    finished_ = true;
    FinishTransfer(*run_, sink_, &originalJobs_);
}

void TransferController::RunToEnd() {
    Start();
    JoinWorker();
    Finish();
}

void TransferController::Suspend() {
    if (control_) {
        control_->Pause();
    }
}

void TransferController::Resume() {
    if (control_) {
        control_->Resume();
    }
}

std::size_t TransferController::SitesReported() const {
    std::lock_guard guard(mutex_);
    return sitesReported_;
}

std::size_t TransferController::CurrentSiteIndex() const {
    const int current = run_->currentSite.load();
    return current < 0 ? 0 : static_cast<std::size_t>(current);
}

void TransferController::Cancel() {
    if (finished_) {
        return;
    }
    if (control_) {
        control_->Cancel();
    }
    JoinWorker();
    if (run_->serial) {
        CloseTransferSessions(*run_);
        // The worker may have reported the current site (or every site)
        // before the cancel reached it.
        const std::size_t current = std::max(CurrentSiteIndex(), SitesReported());
        for (std::size_t i = current; i < run_->sites.size(); ++i) {
            if (i > CurrentSiteIndex()) {
                // Sites never reached: none of their files was sent.
                for (CTransferJob& job : run_->jobs) {
                    job.status = kJobNotAttempted;
                }
            }
            PerSiteQueueStep(*run_, run_->sites[i], sink_, &originalJobs_);
        }
    }
    finished_ = true;
    FinishTransfer(*run_, sink_, &originalJobs_);
}

TransferController::OnlyThisOne TransferController::CancelOnlyThisOne() {
    if (finished_) {
        return OnlyThisOne::Finished;
    }
    run_->stopAfterCurrent.store(true);
    if (run_->AbortSourceCopy()) {
        // The site's connection is given up: a copy blocked on a server that
        // neither reads nor sends returns at once instead of at its time-out.
        if (control_) {
            control_->ShutdownSockets();
        }
        Resume();
        return OnlyThisOne::AbortedCopy;
    }
    if (control_) {
        control_->Cancel();
    }
    JoinWorker();
    CloseTransferSessions(*run_);
    const std::size_t current = CurrentSiteIndex();
    if (current < run_->sites.size() && SitesReported() <= current) {
        PerSiteQueueStep(*run_, run_->sites[current], sink_, &originalJobs_);
    }
    if (current + 1 < run_->sites.size()) {
        Launch(current + 1);
        return OnlyThisOne::SkippedSite;
    }
    finished_ = true;
    FinishTransfer(*run_, sink_, &originalJobs_);
    return OnlyThisOne::Finished;
}

}  // namespace zyfar
