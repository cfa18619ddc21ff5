#pragma once
// The background timers of the automation subsystem: timer 1001 runs the
// queue send pass every ResendTime minutes, timer 1000 runs the scheduler
// tick once a minute while the scheduler is started. BackgroundTimers is the
// core of the invisible background timer window; the main window makes one at
// start-up and keeps it until it closes. The send pass and the scheduler tick
// are handed in as callbacks.
//
// Resend period (SCHEDULE ResendTime, minutes as text, default "10"): the
// leading decimal integer of the text, times one minute. Two cases are made
// safe here:
//  - less than one minute ("0", a negative number, or a text that does not
//    start with a number, which reads as 0) gives the shortest period,
//    one minute, so the pass never runs in a busy loop and the queue is still
//    sent as often as the timer allows;
//  - more than kMaximumResendMinutes gives kMaximumResendMinutes (about 24.8
//    days, the longest period a timer takes) instead of a period that wraps
//    around in 32-bit arithmetic.
#include "platform/TimerService.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string_view>

namespace zyfar {

inline constexpr int kSchedulerTimerId = 1000;
inline constexpr int kResendTimerId = 1001;

// The first call after a start: the scheduler's first tick, and the first send
// pass when StartQueueProg is 1 ("Send Queue").
inline constexpr std::chrono::milliseconds kTimerStartPeriod{5000};
inline constexpr std::chrono::milliseconds kSchedulerTickPeriod{60000};

inline constexpr int kMinimumResendMinutes = 1;
inline constexpr int kMaximumResendMinutes = 35791;  // 35791 * 60000 ms < 2^31 ms

// The resend period for a ResendTime text (see above for the limits).
[[nodiscard]] std::chrono::milliseconds ResendPeriodFromText(std::string_view resendTime);

// The resend period from the settings store (ResendTime, default "10").
[[nodiscard]] std::chrono::milliseconds ConfiguredResendPeriod();

// The first resend period at start-up: 5 seconds when StartQueueProg is 1,
// else ConfiguredResendPeriod().
[[nodiscard]] std::chrono::milliseconds InitialResendPeriod();

class BackgroundTimers {
public:
    struct Callbacks {
        // The queue send pass; its result (1 started jobs, 0 nothing to send)
        // is not needed here.
        std::function<int()> sendPass;
        // The scheduler tick.
        std::function<void()> schedulerTick;
    };

    // Starts timer 1001 with InitialResendPeriod(); the scheduler is stopped.
    BackgroundTimers(TimerService& timers, Callbacks callbacks);
    // Stops both timers (waiting for a callback running on another thread).
    ~BackgroundTimers();
    BackgroundTimers(const BackgroundTimers&) = delete;
    BackgroundTimers& operator=(const BackgroundTimers&) = delete;

    // Scheduler control: starting (re)starts timer 1000 with its first period
    // of 5 seconds; stopping stops it. Either way the next start begins with
    // the 5-second period again. Call it from one thread (the GUI thread).
    void SetSchedulerRunning(bool run);
    [[nodiscard]] bool SchedulerRunning() const;

    // Current periods of timers 1001 and 1000 (the scheduler period is the one
    // timer 1000 runs with, or would start with).
    [[nodiscard]] std::chrono::milliseconds ResendPeriod() const;
    [[nodiscard]] std::chrono::milliseconds SchedulerPeriod() const;

    // Reads ResendTime again and, when the period differs, restarts the resend
    // timer with it at once (the configuration sheet calls it after OK). The
    // first 5-second period after start-up is left alone: the queue is still
    // sent once, 5 seconds after start.
    void ReloadResendPeriod();

    // The timer callback for both ids (the timer service calls it).
    //  1001: run the send pass, then read ResendTime again; a different period
    //        restarts the timer with it (so a change takes effect after the
    //        next pass, and the 5-second first period ends after one pass).
    //  1000: when the scheduler runs, run the tick, then switch to the
    //        60-second period if it still has the first one. A call that
    //        arrives after a stop does nothing.
    void OnTimer(int timerId);

private:
    void OnResendTimer();
    void OnSchedulerTimer();

    TimerService& timers_;
    Callbacks callbacks_;
    mutable std::mutex mutex_;  // the fields below
    std::chrono::milliseconds resendPeriod_{};
    std::chrono::milliseconds schedulerPeriod_{};
    bool schedulerRunning_ = false;
    bool closing_ = false;
};

}  // namespace zyfar
