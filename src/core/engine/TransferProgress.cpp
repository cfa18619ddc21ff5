#include "engine/TransferProgress.h"

#include <algorithm>

#include "engine/ProgressText.h"

namespace zyfar {

namespace {
constexpr std::chrono::milliseconds kNotifyInterval{100};
}

void TransferProgress::Meter::Show(int countUp, std::optional<std::int64_t> elapsed) {
    bar = BarPosition(done, total, countUp);
    bytesShown = true;
    if (elapsed) {
        rateDone = done - base;
        rateElapsed = std::max<std::int64_t>(1, *elapsed);
        rateShown = true;
    }
}

void TransferProgress::Meter::Texts(std::string& bytes, std::string& rate, std::string& left) const {
    if (bytesShown) {
        bytes = FormatSentText(done, total);
    }
    if (rateShown) {
        rate = FormatRateText(rateDone, rateElapsed);
        if (std::optional<double> t = TimeLeftSeconds(total - base, rateDone, rateElapsed)) {
            left = FormatTimeLeft(*t);
        }
    }
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
        batch_.HideTexts();
        file_.HideTexts();
        batch_.bar = 0;
        file_.bar = 0;
        file_.total = 0;
        file_.done = 0;
        file_.base = 0;
    }
    Notify(true);
}

void TransferProgress::ResetForDestination(const std::string& server) {
    {
        std::lock_guard guard(mutex_);
        server_ = server;
        remoteFile_.clear();
        batch_.HideTexts();
    }
    Notify(true);
}

void TransferProgress::SetBatch(std::int64_t total, std::int64_t done, int countUp) {
    std::lock_guard guard(mutex_);
    batch_.total = total;
    batch_.done = done;
    countUp_ = countUp;
}

std::int64_t TransferProgress::BatchTotal() const {
    std::lock_guard guard(mutex_);
    return batch_.total;
}

std::int64_t TransferProgress::BatchDone() const {
    std::lock_guard guard(mutex_);
    return batch_.done;
}

int TransferProgress::CountUp() const {
    std::lock_guard guard(mutex_);
    return countUp_;
}

void TransferProgress::AdvanceBatch(std::int64_t n) {
    {
        std::lock_guard guard(mutex_);
        if (batch_.total > 0) {
            batch_.done += n;
            batch_.Show(countUp_, std::nullopt);
        }
    }
    Notify(true);
}

void TransferProgress::BeginFile(std::int64_t size) {
    {
        std::lock_guard guard(mutex_);
        file_.total = size;
        file_.done = 0;
        file_.base = 0;
        file_.bar = countUp_ == 1 ? 0 : 100;
    }
    Notify(true);
}

void TransferProgress::OnPass(std::int64_t n, std::optional<std::int64_t> batchElapsed,
                              std::optional<std::int64_t> fileElapsed) {
    bool observed = false;
    {
        std::lock_guard guard(mutex_);
        if (batch_.total > 0) {
            batch_.done += n;
            batch_.Show(countUp_, batchElapsed);
        }
        file_.done += n;
        if (file_.total > 0) {
            file_.Show(countUp_, fileElapsed);
        }
        observed = hasObservers_;
    }
    if (observed) {
        Notify(false);
    }
}

void TransferProgress::ResumeFile(std::int64_t offset) {
    {
        std::lock_guard guard(mutex_);
        if (batch_.total > 0) {
            batch_.done += offset;
            batch_.base += offset;
            batch_.Show(countUp_, std::nullopt);
        }
        file_.done = offset;
        file_.base = offset;
        if (file_.total > 0) {
            file_.Show(countUp_, std::nullopt);
        }
    }
    Notify(true);
}

void TransferProgress::EndFile() { Notify(true); }

ProgressSnapshot TransferProgress::Snapshot() const {
    std::lock_guard guard(mutex_);
    ProgressSnapshot s;
    s.server = server_;
    s.localFile = localFile_;
    s.remoteFile = remoteFile_;
    s.batchBar = batch_.bar;
    s.fileBar = file_.bar;
    s.batchDone = batch_.done;
    s.batchTotal = batch_.total;
    s.fileSent = file_.done;
    s.fileSize = file_.total;
    s.fileResumedFrom = file_.base;
    batch_.Texts(s.batchBytes, s.batchRate, s.batchLeft);
    file_.Texts(s.fileBytes, s.fileRate, s.fileLeft);
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
