// The background timers on a manual timer service: the resend period from
// ResendTime (its limits included), the 5-second first pass with
// StartQueueProg 1, a changed period taking effect after the next pass, and
// the scheduler timer's 5-second first tick and 60-second period.
#include "automation/ResendTimer.h"

#include "core/settings/SettingsTestSupport.h"
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

TEST(ResendPeriod, LeadingMinutesTimesSixtyThousand) {
    EXPECT_EQ(ResendPeriodFromText("10"), milliseconds{600000});
    EXPECT_EQ(ResendPeriodFromText("5"), milliseconds{300000});
    EXPECT_EQ(ResendPeriodFromText(" 7 "), milliseconds{420000});
    EXPECT_EQ(ResendPeriodFromText("3 minutes"), milliseconds{180000});
    EXPECT_EQ(ResendPeriodFromText("+2"), milliseconds{120000});
    EXPECT_EQ(ResendPeriodFromText("1"), milliseconds{60000});
}

TEST(ResendPeriod, ZeroNegativeAndTextGiveOneMinute) {
    for (const char* text : {"0", "", "abc", "-4", "-", "   ", "0.5", "x10"})
        EXPECT_EQ(ResendPeriodFromText(text), milliseconds{60000}) << '"' << text << '"';
}

TEST(ResendPeriod, HugeValuesAreCappedNotWrapped) {
    // 71583 minutes would wrap a 32-bit millisecond count to a few seconds.
    EXPECT_EQ(ResendPeriodFromText("35791"), milliseconds{35791LL * 60000});
    for (const char* text : {"35792", "71583", "100000", "99999999999999999999"})
        EXPECT_EQ(ResendPeriodFromText(text), milliseconds{35791LL * 60000}) << text;
    EXPECT_LE(ResendPeriodFromText("99999999999999999999"), kMaximumTimerPeriod);
}

class BackgroundTimersTest : public test::TempDirTest {
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

TEST_F(BackgroundTimersTest, AbsentSettingsSendEveryTenMinutes) {
    BackgroundTimers timers(service_, Counting());
    EXPECT_EQ(service_.Period(kResendTimerId), milliseconds{600000});
    EXPECT_EQ(timers.ResendPeriod(), 10min);
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    service_.Advance(10min - 1ms);
    EXPECT_EQ(passes_, 0);
    service_.Advance(1ms);
    EXPECT_EQ(passes_, 1);
    service_.Advance(20min);
    EXPECT_EQ(passTimes_, (std::vector<milliseconds>{10min, 20min, 30min}));
}

TEST_F(BackgroundTimersTest, SendQueueAtStartRunsTheFirstPassAfterFiveSeconds) {
    WriteInt(keys::StartQueueProg, 1);
    WriteProfileString("SCHEDULE", "ResendTime", "3");
    BackgroundTimers timers(service_, Counting());
    EXPECT_EQ(timers.ResendPeriod(), 5s);
    service_.Advance(3min + 5s);
    EXPECT_EQ(passTimes_, (std::vector<milliseconds>{5s, 3min + 5s}));
    EXPECT_EQ(timers.ResendPeriod(), 3min);
    EXPECT_EQ(service_.Period(kResendTimerId), 3min);
}

TEST_F(BackgroundTimersTest, OtherStartActionsUseTheConfiguredPeriodAtOnce) {
    for (int action : {0, 2, 7}) {
        WriteInt(keys::StartQueueProg, action);
        ManualTimerService service;
        BackgroundTimers timers(service, {});
        EXPECT_EQ(service.Period(kResendTimerId), 10min) << action;
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

TEST_F(BackgroundTimersTest, ZeroOrGarbageResendTimeSendsOncePerMinute) {
    for (const char* text : {"0", "soon", "-3"}) {
        WriteProfileString("SCHEDULE", "ResendTime", text);
        ManualTimerService service;
        int passes = 0;
        BackgroundTimers timers(service, {[&] {
                                              ++passes;
                                              return 0;
                                          },
                                          {}});
        EXPECT_EQ(service.Advance(10min), 10) << text;
        EXPECT_EQ(passes, 10) << text;
    }
}

TEST_F(BackgroundTimersTest, ZeroAfterSendQueueStartDoesNotKeepTheFiveSecondPeriod) {
    WriteInt(keys::StartQueueProg, 1);
    WriteProfileString("SCHEDULE", "ResendTime", "0");
    BackgroundTimers timers(service_, Counting());
    service_.Advance(5s + 3min);
    EXPECT_EQ(passTimes_, (std::vector<milliseconds>{5s, 1min + 5s, 2min + 5s, 3min + 5s}));
}

TEST_F(BackgroundTimersTest, SchedulerFirstTickAfterFiveSecondsThenEveryMinute) {
    BackgroundTimers timers(service_, Counting());
    EXPECT_FALSE(timers.SchedulerRunning());
    service_.Advance(3min);
    EXPECT_EQ(ticks_, 0);

    timers.SetSchedulerRunning(true);
    EXPECT_TRUE(timers.SchedulerRunning());
    EXPECT_EQ(service_.Period(kSchedulerTimerId), 5s);
    service_.Advance(5s + 2min);
    EXPECT_EQ(tickTimes_, (std::vector<milliseconds>{3min + 5s, 4min + 5s, 5min + 5s}));
    EXPECT_EQ(timers.SchedulerPeriod(), 1min);
    EXPECT_EQ(service_.Period(kSchedulerTimerId), 1min);
}

TEST_F(BackgroundTimersTest, StopThenStartBeginsWithFiveSecondsAgain) {
    BackgroundTimers timers(service_, Counting());
    timers.SetSchedulerRunning(true);
    service_.Advance(2min);
    const int before = ticks_;
    EXPECT_EQ(before, 2);  // 5 s and 65 s
    timers.SetSchedulerRunning(false);
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    EXPECT_EQ(timers.SchedulerPeriod(), 5s);
    service_.Advance(10min);
    EXPECT_EQ(ticks_, before);
    timers.SetSchedulerRunning(true);
    service_.Advance(5s);
    EXPECT_EQ(ticks_, before + 1);
}

TEST_F(BackgroundTimersTest, ResendTimerRunsWhateverTheSchedulerDoes) {
    BackgroundTimers timers(service_, Counting());
    timers.SetSchedulerRunning(true);
    timers.SetSchedulerRunning(false);
    service_.Advance(10min);
    EXPECT_EQ(passes_, 1);
    EXPECT_EQ(ticks_, 0);
}

TEST_F(BackgroundTimersTest, LateSchedulerCallAfterStopDoesNothing) {
    BackgroundTimers timers(service_, Counting());
    timers.OnTimer(kSchedulerTimerId);  // never started
    EXPECT_EQ(ticks_, 0);
    timers.SetSchedulerRunning(true);
    timers.SetSchedulerRunning(false);
    timers.OnTimer(kSchedulerTimerId);
    EXPECT_EQ(ticks_, 0);
    timers.OnTimer(4242);  // an id it does not own
    EXPECT_EQ(passes_ + ticks_, 0);
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
