#include "engine/TransferProgress.h"

#include <algorithm>

#include "engine/ProgressText.h"

namespace zyfar {

namespace {
constexpr std::chrono::milliseconds kNotifyInterval{100};
}

void TransferProgress::SetServer(std::string text) {
    {
        std::lock_guard guard(mutex_);
        server_ = std::move(text);
    }
    Notify(true);
}

void TransferProgress::SetLocalFile(std::string text) {
    {
        std::lock_guard guard(mutex_);
        localFile_ = std::move(text);
    }
    Notify(true);
}

void TransferProgress::SetRemoteFile(std::string text) {
    {
        std::lock_guard guard(mutex_);
        remoteFile_ = std::move(text);
    }
    Notify(true);
}

void TransferProgress::ResetForConnect(const std::string& server) {
    {
        std::lock_guard guard(mutex_);
        server_ = server;
        localFile_.clear();
        remoteFile_.clear();
        batchBytesShown_ = batchRateShown_ = false;
        fileBytesShown_ = fileRateShown_ = false;
        batchBar_ = 0;
        fileBar_ = 0;
        fileSize_ = 0;
        fileSent_ = 0;
    }
    Notify(true);
}

void TransferProgress::ResetForDestination(const std::string& server) {
    {
        std::lock_guard guard(mutex_);
        server_ = server;
        remoteFile_.clear();
        batchBytesShown_ = batchRateShown_ = false;
    }
    Notify(true);
}

void TransferProgress::SetBatch(std::int64_t total, std::int64_t done, int countUp) {
    std::lock_guard guard(mutex_);
    batchTotal_ = total;
    batchDone_ = done;
    countUp_ = countUp;
}

std::int64_t TransferProgress::BatchTotal() const {
    std::lock_guard guard(mutex_);
    return batchTotal_;
}

std::int64_t TransferProgress::BatchDone() const {
    std::lock_guard guard(mutex_);
    return batchDone_;
}

int TransferProgress::CountUp() const {
    std::lock_guard guard(mutex_);
    return countUp_;
}

void TransferProgress::AdvanceBatch(std::int64_t n) {
    {
        std::lock_guard guard(mutex_);
        if (batchTotal_ > 0) {
            batchDone_ += n;
            batchBar_ = BarPosition(batchDone_, batchTotal_, countUp_);
            batchBytesShown_ = true;
        }
    }
    Notify(true);
}

void TransferProgress::BeginFile(std::int64_t size) {
    {
        std::lock_guard guard(mutex_);
        fileSize_ = size;
        fileSent_ = 0;
        fileBar_ = countUp_ == 1 ? 0 : 100;
    }
    Notify(true);
}

void TransferProgress::OnPass(std::int64_t n, std::optional<std::int64_t> batchElapsed,
                              std::optional<std::int64_t> fileElapsed) {
    bool observed = false;
    {
        std::lock_guard guard(mutex_);
        if (batchTotal_ > 0) {
            batchDone_ += n;
            batchBar_ = BarPosition(batchDone_, batchTotal_, countUp_);
            batchBytesShown_ = true;
            if (batchElapsed) {
                batchRateDone_ = batchDone_;
                batchRateElapsed_ = std::max<std::int64_t>(1, *batchElapsed);
                batchRateShown_ = true;
            }
        }
        fileSent_ += n;
        if (fileSize_ > 0) {
            fileBar_ = BarPosition(fileSent_, fileSize_, countUp_);
            fileBytesShown_ = true;
            if (fileElapsed) {
                fileRateSent_ = fileSent_;
                fileRateElapsed_ = std::max<std::int64_t>(1, *fileElapsed);
                fileRateShown_ = true;
            }
        }
        observed = hasObservers_;
    }
    if (observed) {
        Notify(false);
    }
}

void TransferProgress::EndFile() { Notify(true); }

ProgressSnapshot TransferProgress::Snapshot() const {
    std::lock_guard guard(mutex_);
    ProgressSnapshot s;
    s.server = server_;
    s.localFile = localFile_;
    s.remoteFile = remoteFile_;
    s.batchBar = batchBar_;
    s.fileBar = fileBar_;
    s.batchDone = batchDone_;
    s.batchTotal = batchTotal_;
    s.fileSent = fileSent_;
    s.fileSize = fileSize_;
    if (batchBytesShown_) {
        s.batchBytes = FormatSentText(batchDone_, batchTotal_);
    }
    if (batchRateShown_) {
        s.batchRate = FormatRateText(batchRateDone_, batchRateElapsed_);
        if (std::optional<double> t = TimeLeftSeconds(batchTotal_, batchRateDone_, batchRateElapsed_)) {
            s.batchLeft = FormatTimeLeft(*t);
        }
    }
    if (fileBytesShown_) {
        s.fileBytes = FormatSentText(fileSent_, fileSize_);
    }
    if (fileRateShown_) {
        s.fileRate = FormatRateText(fileRateSent_, fileRateElapsed_);
        if (std::optional<double> t = TimeLeftSeconds(fileSize_, fileRateSent_, fileRateElapsed_)) {
            s.fileLeft = FormatTimeLeft(*t);
        }
    }
    return s;
}

int TransferProgress::Subscribe(std::shared_ptr<ProgressObserver> observer) {
    std::lock_guard guard(observersMutex_);
    const int id = nextObserverId_++;
    observers_.emplace_back(id, std::move(observer));
    std::lock_guard state(mutex_);
    hasObservers_ = true;
    return id;
}

void TransferProgress::Unsubscribe(int id) {
    std::lock_guard guard(observersMutex_);
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
    std::lock_guard state(mutex_);
    hasObservers_ = !observers_.empty();
}

void TransferProgress::Notify(bool force) {
    std::vector<std::shared_ptr<ProgressObserver>> targets;
    {
        std::lock_guard guard(observersMutex_);
        if (observers_.empty()) {
            return;
        }
        const SteadyTime now = std::chrono::steady_clock::now();
        if (!force && now - lastNotify_ < kNotifyInterval) {
            return;
        }
        lastNotify_ = now;
        for (const auto& entry : observers_) {
            targets.push_back(entry.second);
        }
    }
    for (const auto& observer : targets) {
        observer->OnProgress(*this);
    }
}

}  // namespace zyfar
