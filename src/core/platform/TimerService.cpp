#include "platform/TimerService.h"

#include <algorithm>
#include <utility>

namespace zyfar {

std::chrono::milliseconds ClampTimerPeriod(std::chrono::milliseconds period) {
    return std::clamp(period, kMinimumTimerPeriod, kMaximumTimerPeriod);
}

// ---- HeadlessTimerService ----

HeadlessTimerService::HeadlessTimerService() : thread_([this] { Loop(); }) {}

HeadlessTimerService::~HeadlessTimerService() {
    {
        std::lock_guard guard(mutex_);
        stop_ = true;
        timers_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void HeadlessTimerService::SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) {
    if (!callback) {
        KillTimer(id);
        return;
    }
    {
        std::lock_guard guard(mutex_);
        if (stop_) return;
        Timer& timer = timers_[id];
        timer.period = ClampTimerPeriod(period);
        timer.due = std::chrono::steady_clock::now() + timer.period;
        timer.callback = std::move(callback);
        timer.generation = nextGeneration_++;
    }
    wake_.notify_all();
}

void HeadlessTimerService::KillTimer(int id) {
    std::unique_lock lock(mutex_);
    timers_.erase(id);
    wake_.notify_all();
    if (std::this_thread::get_id() == thread_.get_id()) return;  // from a callback
    finished_.wait(lock, [&] { return running_ != id; });
}

std::optional<std::chrono::milliseconds> HeadlessTimerService::Period(int id) const {
    std::lock_guard guard(mutex_);
    const auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return it->second.period;
}

void HeadlessTimerService::Loop() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (timers_.empty()) {
            wake_.wait(lock);
            continue;
        }
        // The earliest due timer; the map order makes the lower id win a tie.
        auto next = timers_.begin();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due < next->second.due) next = it;
        const auto now = std::chrono::steady_clock::now();
        if (next->second.due > now) {
            // Woken early by a change or by the deadline: look again either way.
            // The deadline is a copy: while the lock is free the timer may go.
            const auto due = next->second.due;
            wake_.wait_until(lock, due);
            continue;
        }
        const int id = next->first;
        Timer& timer = next->second;
        // No burst after a late call: the next call is one period after this one.
        timer.due = std::max(timer.due + timer.period, now + timer.period);
        TimerCallback callback = timer.callback;  // a copy: the callback may reset its timer
        running_ = id;
        lock.unlock();
        callback(id);
        lock.lock();
        running_.reset();
        finished_.notify_all();
    }
}

// ---- ManualTimerService ----

void ManualTimerService::SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) {
    if (!callback) {
        KillTimer(id);
        return;
    }
    std::lock_guard guard(mutex_);
    Timer& timer = timers_[id];
    timer.period = ClampTimerPeriod(period);
    timer.due = now_ + timer.period;
    timer.callback = std::move(callback);
}

void ManualTimerService::KillTimer(int id) {
    std::lock_guard guard(mutex_);
    timers_.erase(id);
}

std::optional<std::chrono::milliseconds> ManualTimerService::Period(int id) const {
    std::lock_guard guard(mutex_);
    const auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return it->second.period;
}

int ManualTimerService::Advance(std::chrono::milliseconds step) {
    std::unique_lock lock(mutex_);
    const auto target = now_ + std::max(step, std::chrono::milliseconds{0});
    int count = 0;
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= target && (next == timers_.end() || it->second.due < next->second.due))
                next = it;
        if (next == timers_.end()) break;
        const int id = next->first;
        now_ = next->second.due;
        next->second.due += next->second.period;
        TimerCallback callback = next->second.callback;
        fired_.push_back(id);
        lock.unlock();
        callback(id);
        ++count;
        lock.lock();
    }
    now_ = target;
    return count;
}

std::optional<std::chrono::milliseconds> ManualTimerService::TimeUntilDue(int id) const {
    std::lock_guard guard(mutex_);
    const auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return it->second.due - now_;
}

std::chrono::milliseconds ManualTimerService::Now() const {
    std::lock_guard guard(mutex_);
    return now_;
}

std::vector<int> ManualTimerService::FiredIds() const {
    std::lock_guard guard(mutex_);
    return fired_;
}

}  // namespace zyfar
