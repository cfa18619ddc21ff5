#pragma once
// Periodic timers with a callback, the way the automation subsystem uses them:
// a timer has a small integer id, a period in milliseconds and a callback that
// receives the id. Setting a timer that already runs replaces its period and
// callback and restarts its count; killing it stops it.
//
// The Qt program implements this with QTimer on the GUI thread. Headless runs
// use HeadlessTimerService (one loop thread for all its timers); tests use
// ManualTimerService, whose time only moves when the test says so.
//
// Every implementation runs the callbacks of one service one at a time, never
// two at once, and never with an internal lock held, so a callback may set or
// kill timers of the same service (its own included).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zyfar {

using TimerCallback = std::function<void(int timerId)>;

// Periods are clamped to [kMinimumTimerPeriod, kMaximumTimerPeriod]: a zero
// period would otherwise spin, and the GUI timer takes a signed 32-bit count.
inline constexpr std::chrono::milliseconds kMinimumTimerPeriod{10};
inline constexpr std::chrono::milliseconds kMaximumTimerPeriod{2147483647};

[[nodiscard]] std::chrono::milliseconds ClampTimerPeriod(std::chrono::milliseconds period);

class TimerService {
public:
    virtual ~TimerService() = default;

    // Starts timer `id` (or restarts it when it runs): the callback is called
    // with `id` every `period` (clamped, see above), the first time one period
    // from now. An empty callback kills the timer instead.
    virtual void SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) = 0;

    // Stops timer `id`; nothing happens when it does not run. After the call
    // returns no new call of its callback starts. A call that is already
    // running on another thread is waited for, unless KillTimer is called from
    // that callback itself.
    virtual void KillTimer(int id) = 0;

    // The clamped period of a running timer, or nothing.
    [[nodiscard]] virtual std::optional<std::chrono::milliseconds> Period(int id) const = 0;

    [[nodiscard]] bool IsActive(int id) const { return Period(id).has_value(); }
};

// One background thread that sleeps on a condition variable until the next
// timer is due and runs the due callbacks in due order. A timer that falls
// behind (a slow callback) is not fired in a burst to catch up: its next call
// is one period after the late one. The destructor stops the thread after a
// running callback returns; timers still set then are dropped.
class HeadlessTimerService final : public TimerService {
public:
    HeadlessTimerService();
    ~HeadlessTimerService() override;
    HeadlessTimerService(const HeadlessTimerService&) = delete;
    HeadlessTimerService& operator=(const HeadlessTimerService&) = delete;

    void SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) override;
    void KillTimer(int id) override;
    [[nodiscard]] std::optional<std::chrono::milliseconds> Period(int id) const override;

private:
    using SteadyTime = std::chrono::steady_clock::time_point;
    struct Timer {
        std::chrono::milliseconds period{};
        SteadyTime due{};
        TimerCallback callback;
        std::uint64_t generation = 0;  // changes with every SetTimer of this id
    };

    void Loop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;      // the loop: timers changed or stop
    std::condition_variable finished_;  // KillTimer: a running callback returned
    std::map<int, Timer> timers_;
    std::optional<int> running_;        // id whose callback runs now
    std::uint64_t nextGeneration_ = 1;
    bool stop_ = false;
    std::thread thread_;  // last member: started after everything else exists
};

// Virtual time for tests. Nothing fires until Advance() moves the time on;
// callbacks then run on the calling thread, in due order (ties in id order).
class ManualTimerService final : public TimerService {
public:
    void SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) override;
    void KillTimer(int id) override;
    [[nodiscard]] std::optional<std::chrono::milliseconds> Period(int id) const override;

    // Moves the virtual time forward by `step`, firing every timer that falls
    // due on the way (a timer set by a callback counts from the callback's
    // time). Returns the number of callbacks run.
    int Advance(std::chrono::milliseconds step);

    // Time from now until timer `id` is next due, or nothing when it does not run.
    [[nodiscard]] std::optional<std::chrono::milliseconds> TimeUntilDue(int id) const;

    // Virtual milliseconds since the service was made.
    [[nodiscard]] std::chrono::milliseconds Now() const;

    // Ids of the callbacks run so far, in order.
    [[nodiscard]] std::vector<int> FiredIds() const;

private:
    struct Timer {
        std::chrono::milliseconds period{};
        std::chrono::milliseconds due{};
        TimerCallback callback;
    };

    mutable std::mutex mutex_;
    std::map<int, Timer> timers_;
    std::chrono::milliseconds now_{0};
    std::vector<int> fired_;
};

}  // namespace zyfar
