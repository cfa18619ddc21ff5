// Timer services: the manual one's virtual time; the headless loop thread (waits are bounded, never timed).
#include "platform/TimerService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace zyfar {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Due order with ties by id, periods kept and clamped, callbacks that kill their timer, an empty callback that
// kills. A callback that sets its timer again, a timer set again: BackgroundTimersTest.
TEST(ManualTimerService, FiresInDueOrderAndKeepsClampedPeriods) {
    ManualTimerService service;
    std::vector<int> seen;
    service.SetTimer(2, 30ms, [&](int id) { seen.push_back(id); });
    service.SetTimer(1, 20ms, [&](int id) { seen.push_back(id); });
    EXPECT_EQ(service.Advance(60ms), 5);  // 1@20, 2@30, 1@40, 1@60, 2@60
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 1, 1, 2}));
    EXPECT_EQ(service.FiredIds(), seen);
    EXPECT_TRUE(service.TimeUntilDue(1) == 20ms && service.TimeUntilDue(2) == 30ms);
    service.SetTimer(3, milliseconds{-5}, [](int) {});  // clamped (a zero period: HeadlessTimerService)
    service.SetTimer(4, std::chrono::hours{24 * 400}, [](int) {});
    EXPECT_TRUE(service.Period(3) == kMinimumTimerPeriod && service.Period(4) == kMaximumTimerPeriod);
    int calls = 0;
    service.SetTimer(5, 1s, [&](int id) {
        ++calls;
        service.KillTimer(id);
    });
    for (int id : {1, 2, 3, 4}) service.SetTimer(id, 1s, TimerCallback{});
    service.KillTimer(99);  // an unknown id is harmless
    EXPECT_EQ(service.Advance(1min), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(service.IsActive(5) || service.IsActive(1));
}

// Counts calls and lets the test wait for a number of them (bounded).
class CallCounter {
public:
    void Hit() {
        std::lock_guard guard(mutex_);
        ++count_;
        changed_.notify_all();
    }
    bool WaitFor(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return count_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

TEST(HeadlessTimerService, PeriodicTimerFiresWithItsIdEvenAtPeriodZeroAndDestructionReturns) {
    CallCounter counter;
    std::atomic<int> wrongId{0};
    {
        HeadlessTimerService service;
        service.SetTimer(7, 0ms, [&](int id) {  // clamped to the minimum, still fires
            if (id != 7) ++wrongId;
            counter.Hit();
        });
        EXPECT_EQ(service.Period(7), kMinimumTimerPeriod);
        EXPECT_TRUE(counter.WaitFor(3));
        service.SetTimer(8, std::chrono::hours{1}, [&](int) { counter.Hit(); });
    }  // joins the loop thread while it waits for a distant timer; a hang fails by the test's time-out
    EXPECT_EQ(wrongId.load(), 0);
}

TEST(HeadlessTimerService, NoCallStartsAfterKillTimerReturns) {
    HeadlessTimerService service;
    CallCounter counter;
    std::atomic<bool> killed{false};
    std::atomic<int> lateCalls{0};
    service.SetTimer(1, 10ms, [&](int) { if (killed) ++lateCalls; counter.Hit(); });
    ASSERT_TRUE(counter.WaitFor(2));
    service.KillTimer(1);
    killed = true;
    EXPECT_FALSE(service.IsActive(1));
    CallCounter other;  // the loop runs a while longer through another timer
    service.SetTimer(2, 10ms, [&](int) { other.Hit(); });
    ASSERT_TRUE(other.WaitFor(5));
    EXPECT_EQ(lateCalls.load(), 0);
}

TEST(HeadlessTimerService, KillTimerWaitsForARunningCallback) {
    HeadlessTimerService service;
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> finished{false}, firstCall{true}, finishedSeenByKiller{false};
    service.SetTimer(1, 10ms, [&](int) {
        if (!firstCall.exchange(false)) return;
        entered.set_value();
        released.wait();
        finished = true;
    });
    entered.get_future().wait();
    std::thread killer([&] {
        service.KillTimer(1);
        finishedSeenByKiller = finished.load();
    });
    release.set_value();
    killer.join();
    EXPECT_TRUE(finishedSeenByKiller.load());
}

TEST(HeadlessTimerService, CallbacksMayChangeTimersOfTheSameService) {
    HeadlessTimerService service;
    CallCounter second;
    std::atomic<int> firstCalls{0};
    service.SetTimer(1, 10ms, [&](int id) {
        ++firstCalls;
        service.KillTimer(id);  // from its own callback: no wait, no deadlock
        service.SetTimer(2, 10ms, [&](int) { second.Hit(); });
    });
    EXPECT_TRUE(second.WaitFor(3));
    EXPECT_EQ(firstCalls.load(), 1);
    EXPECT_FALSE(service.IsActive(1));
}

}  // namespace
}  // namespace zyfar
