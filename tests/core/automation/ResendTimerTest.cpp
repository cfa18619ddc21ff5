// The background timers on a manual timer service: the resend period from
// ResendTime (its limits included), the 5-second first pass with
// StartQueueProg 1, a changed period taking effect after the next pass, and
// the scheduler timer's 5-second first tick and 60-second period.
#include "automation/ResendTimer.h"

#include "support/TestEnv.h"
#include "platform/TimerService.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace zyfar {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

TEST(ResendPeriod, LeadingMinutesWithLimits) {
    const std::pair<const char*, long long> cases[] = {
        {"10", 10}, {" 7 ", 7}, {"3 minutes", 3}, {"+2", 2}, {"1", 1},
        // Zero, negative and text give one minute.
        {"0", 1}, {"", 1}, {"abc", 1}, {"-4", 1}, {"-", 1}, {"   ", 1}, {"0.5", 1}, {"x10", 1},
        // Huge values are capped, not wrapped (71583 minutes would wrap a 32-bit millisecond count).
        {"35791", 35791}, {"35792", 35791}, {"71583", 35791}, {"99999999999999999999", 35791}};
    for (const auto& [text, minutes] : cases) {
        EXPECT_EQ(ResendPeriodFromText(text), milliseconds{minutes * 60000}) << '"' << text << '"';
    }
    EXPECT_LE(ResendPeriodFromText("99999999999999999999"), kMaximumTimerPeriod);
}

class BackgroundTimersTest : public test::IsolatedHomeTest {
protected:
    BackgroundTimers::Callbacks Counting() {
        return {[this] {
                    ++passes_;
                    passTimes_.push_back(service_.Now());
                    return 1;
                },
                [this] {
                    ++ticks_;
                    tickTimes_.push_back(service_.Now());
                }};
    }

    ManualTimerService service_;
    int passes_ = 0;
    int ticks_ = 0;
    std::vector<milliseconds> passTimes_;
    std::vector<milliseconds> tickTimes_;
};

TEST_F(BackgroundTimersTest, ResendPassTimesFromTheSettings) {
    struct Case {
        int startAction;        // StartQueueProg; 1 sends the queue 5 s after start-up
        const char* resendTime; // nullptr: absent
        milliseconds run;
        std::vector<milliseconds> passes;
    };
    const std::vector<Case> cases{
        {0, nullptr, 30min, {10min, 20min, 30min}},
        {2, nullptr, 10min, {10min}},
        {7, "10", 10min, {10min}},
        {1, "3", 3min + 5s, {5s, 3min + 5s}},
        {0, "soon", 3min, {1min, 2min, 3min}},
        {0, "-3", 2min, {1min, 2min}},
        {1, "0", 2min + 5s, {5s, 1min + 5s, 2min + 5s}},  // never keeps the 5-second period
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.startAction << " " << (c.resendTime ? c.resendTime : "absent"));
        WriteInt(keys::StartQueueProg, c.startAction);
        if (c.resendTime != nullptr) WriteProfileString("SCHEDULE", "ResendTime", c.resendTime);
        ManualTimerService service;
        std::vector<milliseconds> passes;
        BackgroundTimers timers(service, {[&] {
                                              passes.push_back(service.Now());
                                              return 0;
                                          },
                                          {}});
        service.Advance(c.run - 1ms);
        EXPECT_EQ(passes.size() + 1, c.passes.size());
        service.Advance(1ms);
        EXPECT_EQ(passes, c.passes);
        EXPECT_FALSE(service.IsActive(kSchedulerTimerId));
    }
}

TEST_F(BackgroundTimersTest, ChangedResendTimeTakesEffectAfterTheNextPass) {
    WriteProfileString("SCHEDULE", "ResendTime", "10");
    BackgroundTimers timers(service_, Counting());
    service_.Advance(2min);
    WriteProfileString("SCHEDULE", "ResendTime", "5");
    // The running period is not touched by the change itself.
    EXPECT_EQ(service_.Period(kResendTimerId), 10min);
    service_.Advance(8min);  // the pass at 10 min reads the new value
    EXPECT_EQ(service_.Period(kResendTimerId), 5min);
    service_.Advance(10min);
    EXPECT_EQ(passTimes_, (std::vector<milliseconds>{10min, 15min, 20min}));
}

TEST_F(BackgroundTimersTest, ChangeMadeByThePassItselfIsSeenAfterThatPass) {
    WriteProfileString("SCHEDULE", "ResendTime", "4");
    BackgroundTimers timers(service_, {[this] {
                                           ++passes_;
                                           passTimes_.push_back(service_.Now());
                                           WriteProfileString("SCHEDULE", "ResendTime", "2");
                                           return 0;
                                       },
                                       {}});
    service_.Advance(8min);
    EXPECT_EQ(passTimes_, (std::vector<milliseconds>{4min, 6min, 8min}));
}

TEST_F(BackgroundTimersTest, SchedulerTicksFiveSecondsAfterEachStartThenEveryMinute) {
    BackgroundTimers timers(service_, Counting());
    timers.OnTimer(kSchedulerTimerId);  // never started: a late call does nothing
    timers.OnTimer(4242);               // an id it does not own
    service_.Advance(3min);
    EXPECT_EQ(ticks_, 0);
    timers.SetSchedulerRunning(true);
    EXPECT_TRUE(timers.SchedulerRunning());
    service_.Advance(5s + 2min);
    EXPECT_EQ(tickTimes_, (std::vector<milliseconds>{3min + 5s, 4min + 5s, 5min + 5s}));
    EXPECT_EQ(service_.Period(kSchedulerTimerId), 1min);
    timers.SetSchedulerRunning(false);
    timers.OnTimer(kSchedulerTimerId);
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    EXPECT_EQ(timers.SchedulerPeriod(), 5s);
    service_.Advance(4min);
    EXPECT_EQ(ticks_, 3);
    timers.SetSchedulerRunning(true);
    service_.Advance(5s);
    EXPECT_EQ(ticks_, 4);
    // The resend timer runs whatever the scheduler does.
    service_.Advance(50s);
    EXPECT_EQ(passTimes_, (std::vector<milliseconds>{10min}));
}

TEST_F(BackgroundTimersTest, DestructionStopsBothTimers) {
    {
        BackgroundTimers timers(service_, Counting());
        timers.SetSchedulerRunning(true);
        EXPECT_TRUE(service_.IsActive(kResendTimerId));
        EXPECT_TRUE(service_.IsActive(kSchedulerTimerId));
    }
    EXPECT_FALSE(service_.IsActive(kResendTimerId));
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    EXPECT_EQ(service_.Advance(1h), 0);
}

}  // namespace
}  // namespace zyfar
