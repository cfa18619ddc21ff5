#include "automation/ResendTimer.h"

#include "settings/IniFile.h"
#include "settings/Keys.h"

#include <algorithm>
#include <utility>

namespace zyfar {

std::chrono::milliseconds ResendPeriodFromText(std::string_view resendTime) {
    // ParseLeadingInt: blanks trimmed, optional sign, no digits gives 0,
    // clamped to the int range.
    const int minutes = std::clamp(ParseLeadingInt(resendTime), kMinimumResendMinutes, kMaximumResendMinutes);
    return std::chrono::minutes{minutes};
}

std::chrono::milliseconds ConfiguredResendPeriod() { return ResendPeriodFromText(Read(keys::ResendTimeTimer)); }

std::chrono::milliseconds InitialResendPeriod() {
    if (ParseStartQueueProg(ReadInt(keys::StartQueueProg)) == StartQueueAction::Send) return kTimerStartPeriod;
    return ConfiguredResendPeriod();
}

BackgroundTimers::BackgroundTimers(TimerService& timers, Callbacks callbacks)
    : timers_(timers), callbacks_(std::move(callbacks)), schedulerPeriod_(kTimerStartPeriod) {
    const auto period = InitialResendPeriod();
    std::lock_guard guard(mutex_);
    resendPeriod_ = period;
    timers_.SetTimer(kResendTimerId, resendPeriod_, [this](int id) { OnTimer(id); });
}

BackgroundTimers::~BackgroundTimers() {
    {
        std::lock_guard guard(mutex_);
        closing_ = true;  // a callback still running re-arms nothing from here on
        schedulerRunning_ = false;
    }
    // Not under mutex_: KillTimer waits for a running callback, which takes it.
    timers_.KillTimer(kResendTimerId);
    timers_.KillTimer(kSchedulerTimerId);
}

void BackgroundTimers::SetSchedulerRunning(bool run) {
    {
        std::lock_guard guard(mutex_);
        if (closing_) return;
        schedulerRunning_ = run;
        schedulerPeriod_ = kTimerStartPeriod;
        // SetTimer never waits for a callback, so it may be called under the lock.
        if (run) timers_.SetTimer(kSchedulerTimerId, schedulerPeriod_, [this](int id) { OnTimer(id); });
    }
    if (!run) timers_.KillTimer(kSchedulerTimerId);
}

bool BackgroundTimers::SchedulerRunning() const {
    std::lock_guard guard(mutex_);
    return schedulerRunning_;
}

std::chrono::milliseconds BackgroundTimers::ResendPeriod() const {
    std::lock_guard guard(mutex_);
    return resendPeriod_;
}

std::chrono::milliseconds BackgroundTimers::SchedulerPeriod() const {
    std::lock_guard guard(mutex_);
    return schedulerPeriod_;
}

void BackgroundTimers::OnTimer(int timerId) {
    if (timerId == kResendTimerId)
        OnResendTimer();
    else if (timerId == kSchedulerTimerId)
        OnSchedulerTimer();
}

void BackgroundTimers::OnResendTimer() {
    {
        std::lock_guard guard(mutex_);
        if (closing_) return;
    }
    if (callbacks_.sendPass) (void)callbacks_.sendPass();
    const auto period = ConfiguredResendPeriod();
    std::lock_guard guard(mutex_);
    if (closing_ || period == resendPeriod_) return;
    resendPeriod_ = period;
    timers_.SetTimer(kResendTimerId, resendPeriod_, [this](int id) { OnTimer(id); });
}

void BackgroundTimers::ReloadResendPeriod() {
    const auto period = ConfiguredResendPeriod();
    std::lock_guard guard(mutex_);
    if (closing_ || period == resendPeriod_ || resendPeriod_ == kTimerStartPeriod) return;
    resendPeriod_ = period;
    timers_.SetTimer(kResendTimerId, resendPeriod_, [this](int id) { OnTimer(id); });
}

void BackgroundTimers::OnSchedulerTimer() {
    {
        std::lock_guard guard(mutex_);
        if (closing_ || !schedulerRunning_) return;  // a call that crossed a stop
    }
    if (callbacks_.schedulerTick) callbacks_.schedulerTick();
    std::lock_guard guard(mutex_);
    if (closing_ || !schedulerRunning_ || schedulerPeriod_ == kSchedulerTickPeriod) return;
    schedulerPeriod_ = kSchedulerTickPeriod;
    timers_.SetTimer(kSchedulerTimerId, schedulerPeriod_, [this](int id) { OnTimer(id); });
}

}  // namespace zyfar
