// The scheduler tick: which stored entries start at which minute, for every
// frequency, walked minute by minute across hour, day, month and year ends,
// and what happens to entries that are off or malformed.
#include "automation/Scheduler.h"

#include "SchedulerTestSupport.h"
#include "platform/Clock.h"
#include "settings/Keys.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zyfar {
namespace {

using test::AddMinutes;
using test::At;
using test::StoreTimerLines;

struct Fired {
    int entry;
    LocalDateTime when;
    friend bool operator==(const Fired&, const Fired&) = default;
};

std::ostream& operator<<(std::ostream& out, const Fired& f) { return out << "Timer" << f.entry << " at " << f.when; }

class SchedulerTickTest : public test::TempDirTest {
protected:
    SchedulerTickTest()
        : scheduler_(clock_, ScheduleActions{[this](const std::string& p) { scripts_.push_back(p); },
                                             [this](const std::string& n) { links_.push_back(n); }}) {}

    TickReport TickAt(const LocalDateTime& when) {
        clock_.Set(when);
        return scheduler_.Tick();
    }

    // Ticks once a minute for `minutes` minutes from `from`; every start.
    std::vector<Fired> Walk(const LocalDateTime& from, long long minutes) {
        std::vector<Fired> fired;
        for (long long m = 0; m < minutes; ++m) {
            const LocalDateTime when = AddMinutes(from, m);
            for (const int entry : TickAt(when).started) fired.push_back({entry, when});
        }
        return fired;
    }

    // Ticks at the given minutes of every day from `from` for `days` days.
    std::vector<Fired> WalkDays(const LocalDateTime& from, int days, const std::vector<std::pair<int, int>>& times) {
        std::vector<Fired> fired;
        for (int d = 0; d < days; ++d) {
            const LocalDateTime day = AddMinutes(from, 1440LL * d);
            for (const auto& [hour, minute] : times) {
                const LocalDateTime when = At(day.year, day.month, day.day, hour, minute, 30);
                for (const int entry : TickAt(when).started) fired.push_back({entry, when});
            }
        }
        return fired;
    }

    FixedClock clock_;
    std::vector<std::string> scripts_;
    std::vector<std::string> links_;
    Scheduler scheduler_;
};

// ---- Every frequency at its minute boundaries ----

TEST_F(SchedulerTickTest, HourlyFiresAtItsMinuteOfEveryHourAcrossMidnight) {
    StoreTimerLines({"nightly Hourly ---- --:15 On"});
    const auto fired = Walk(At(2024, 12, 31, 21, 0), 4 * 60);
    const std::vector<Fired> expected{{0, At(2024, 12, 31, 21, 15)},
                                      {0, At(2024, 12, 31, 22, 15)},
                                      {0, At(2024, 12, 31, 23, 15)},
                                      {0, At(2025, 1, 1, 0, 15)}};
    EXPECT_EQ(fired, expected);
    EXPECT_EQ(links_, std::vector<std::string>(4, "nightly"));
    EXPECT_TRUE(scripts_.empty());
}

TEST_F(SchedulerTickTest, DailyFiresOncePerDayAcrossYearEnd) {
    StoreTimerLines({"backup Daily ---- 23:59 On", "early Daily ---- 00:00 On"});
    const auto fired = Walk(At(2023, 12, 30, 23, 0), 2 * 1440 + 60);
    const std::vector<Fired> expected{{0, At(2023, 12, 30, 23, 59)},
                                      {1, At(2023, 12, 31, 0, 0)},
                                      {0, At(2023, 12, 31, 23, 59)},
                                      {1, At(2024, 1, 1, 0, 0)},
                                      {0, At(2024, 1, 1, 23, 59)}};
    EXPECT_EQ(fired, expected);
}

TEST_F(SchedulerTickTest, OnceFiresOnlyAtItsDateAndMinuteOnLeapDay) {
    StoreTimerLines({"leap Once 29/02/2024 00:00 On", "later Once 01/03/2024 00:01 On"});
    const auto fired = Walk(At(2024, 2, 28, 23, 0), 26 * 60);
    const std::vector<Fired> expected{{0, At(2024, 2, 29, 0, 0)}, {1, At(2024, 3, 1, 0, 1)}};
    EXPECT_EQ(fired, expected);
}

TEST_F(SchedulerTickTest, OnceDoesNotFireInAnotherYear) {
    StoreTimerLines({"job Once 15/06/2025 10:30 On"});
    EXPECT_TRUE(TickAt(At(2024, 6, 15, 10, 30)).started.empty());
    EXPECT_TRUE(TickAt(At(2026, 6, 15, 10, 30)).started.empty());
    EXPECT_EQ(TickAt(At(2025, 6, 15, 10, 30)).started, std::vector<int>{0});
}

TEST_F(SchedulerTickTest, TodayBehavesLikeOnceForTheDayItWasAdded) {
    StoreTimerLines({"mirror Today 31/12/2024 23:59 On"});
    const auto fired = Walk(At(2024, 12, 31, 23, 50), 20);
    EXPECT_EQ(fired, (std::vector<Fired>{{0, At(2024, 12, 31, 23, 59)}}));
    // The same time on another day never matches.
    EXPECT_TRUE(TickAt(At(2025, 12, 31, 23, 59)).started.empty());
}

TEST_F(SchedulerTickTest, WeeklyEntryForEachWeekdayFiresOnlyOnThatDay) {
    std::vector<std::string> lines;
    for (int d = 0; d < 7; ++d) lines.push_back("link" + std::to_string(d) + " Weekly " + std::string(WeekdayName(d)) + " 08:30 On");
    StoreTimerLines(lines);
    // 8 days from Saturday 2024-02-24, crossing the leap day and a month end.
    const auto fired = Walk(At(2024, 2, 24, 0, 0), 8 * 1440);
    ASSERT_EQ(fired.size(), 8u);
    for (const Fired& f : fired) {
        EXPECT_EQ(f.when.hour, 8);
        EXPECT_EQ(f.when.minute, 30);
        EXPECT_EQ(test::LibcWeekday(f.when.year, f.when.month, f.when.day), f.entry) << f;
    }
    EXPECT_EQ(fired.front(), (Fired{6, At(2024, 2, 24, 8, 30)}));  // Saturday
    EXPECT_EQ(fired[5], (Fired{4, At(2024, 2, 29, 8, 30)}));       // Thursday, leap day
    EXPECT_EQ(fired.back(), (Fired{6, At(2024, 3, 2, 8, 30)}));    // the next Saturday
}

TEST_F(SchedulerTickTest, MonthlyDay31FiresOnlyInMonthsThatHaveIt) {
    StoreTimerLines({"eom Monthly 31/--/-- 12:00 On", "first Monthly 01/--/-- 12:00 On"});
    const auto fired = WalkDays(At(2025, 1, 1, 0, 0), 365, {{11, 59}, {12, 0}, {12, 1}});
    std::vector<int> monthsOf31;
    int firsts = 0;
    for (const Fired& f : fired) {
        EXPECT_EQ(f.when.hour, 12);
        EXPECT_EQ(f.when.minute, 0);
        if (f.entry == 0) {
            EXPECT_EQ(f.when.day, 31);
            monthsOf31.push_back(f.when.month);
        } else {
            EXPECT_EQ(f.when.day, 1);
            ++firsts;
        }
    }
    EXPECT_EQ(monthsOf31, (std::vector<int>{1, 3, 5, 7, 8, 10, 12}));
    EXPECT_EQ(firsts, 12);
}

TEST_F(SchedulerTickTest, YearlyLeapDayFiresOnlyInLeapYears) {
    StoreTimerLines({"leap Yearly 29/02/-- 06:00 On"});
    const auto fired = WalkDays(At(2023, 1, 1, 0, 0), 6 * 365 + 1, {{5, 59}, {6, 0}, {6, 1}});
    const std::vector<Fired> expected{{0, At(2024, 2, 29, 6, 0, 30)}, {0, At(2028, 2, 29, 6, 0, 30)}};
    EXPECT_EQ(fired, expected);
}

TEST_F(SchedulerTickTest, YearlyAtYearEndAndYearStart) {
    StoreTimerLines({"close Yearly 31/12/-- 23:59 On", "open Yearly 01/01/-- 00:00 On"});
    const auto fired = Walk(At(2025, 12, 31, 23, 0), 120);
    const std::vector<Fired> expected{{0, At(2025, 12, 31, 23, 59)}, {1, At(2026, 1, 1, 0, 0)}};
    EXPECT_EQ(fired, expected);
    EXPECT_EQ(links_, (std::vector<std::string>{"close", "open"}));
}

TEST_F(SchedulerTickTest, SecondsDoNotMatter) {
    StoreTimerLines({"job Daily ---- 10:00 On"});
    EXPECT_EQ(TickAt(At(2025, 5, 5, 10, 0, 59)).started, std::vector<int>{0});
}

// ---- State and targets ----

TEST_F(SchedulerTickTest, OffEntriesAndOtherStateTextsNeverFire) {
    StoreTimerLines({"a Hourly ---- --:05 Off", "b Hourly ---- --:05 on", "c Hourly ---- --:05 ON"});
    const auto fired = Walk(At(2025, 3, 3, 0, 0), 180);
    EXPECT_TRUE(fired.empty());
}

TEST_F(SchedulerTickTest, TargetEndingInCmdInAnyCaseStartsAScript) {
    StoreTimerLines({"/home/me/a.cmd Daily ---- 07:00 On", "/home/me/B.CMD Daily ---- 07:00 On",
                     "/home/me/c.Cmd Daily ---- 07:00 On", "cmd Daily ---- 07:00 On",
                     "weekly-sync Daily ---- 07:00 On", "a.cmdx Daily ---- 07:00 On", "md Daily ---- 07:00 On"});
    const auto report = TickAt(At(2025, 1, 2, 7, 0));
    EXPECT_EQ(report.started, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(scripts_, (std::vector<std::string>{"/home/me/a.cmd", "/home/me/B.CMD", "/home/me/c.Cmd", "cmd"}));
    EXPECT_EQ(links_, (std::vector<std::string>{"weekly-sync", "a.cmdx", "md"}));
}

TEST_F(SchedulerTickTest, EncodedScriptPathReachesTheRunDecoded) {
    StoreTimerLines({"/home/me/My%20Scripts/100%25%20sync.cmd Daily ---- 07:00 On", "Site%20Group Daily ---- 07:00 On"});
    TickAt(At(2025, 1, 2, 7, 0));
    EXPECT_EQ(scripts_, std::vector<std::string>{"/home/me/My Scripts/100% sync.cmd"});
    EXPECT_EQ(links_, std::vector<std::string>{"Site Group"});
}

TEST_F(SchedulerTickTest, SixthFieldIsAccepted) {
    StoreTimerLines({"job Daily ---- 07:00 On B", "other Daily ---- 07:00 On X"});
    EXPECT_EQ(TickAt(At(2025, 1, 2, 7, 0)).started, (std::vector<int>{0, 1}));
}

// ---- Entry list bounds ----

TEST_F(SchedulerTickTest, NumTimersLimitsTheEntriesRead) {
    StoreTimerLines({"a Daily ---- 07:00 On", "b Daily ---- 07:00 On", "c Daily ---- 07:00 On"});
    WriteInt(keys::NumTimers, 2);
    EXPECT_EQ(TickAt(At(2025, 1, 2, 7, 0)).started, (std::vector<int>{0, 1}));
}

TEST_F(SchedulerTickTest, MissingKeyEndsTheTick) {
    Write(keys::TimerN, 0, "a Daily ---- 07:00 On");
    Write(keys::TimerN, 2, "c Daily ---- 07:00 On");
    WriteInt(keys::NumTimers, 3);
    EXPECT_EQ(TickAt(At(2025, 1, 2, 7, 0)).started, std::vector<int>{0});
    EXPECT_EQ(links_, std::vector<std::string>{"a"});
}

TEST_F(SchedulerTickTest, NoStoreOrGarbageCountStartsNothing) {
    EXPECT_TRUE(TickAt(At(2025, 1, 2, 7, 0)).started.empty());
    Write(keys::TimerN, 0, "a Daily ---- 07:01 On");
    WriteProfileString("SCHEDULE", "NumTimers", "lots");
    EXPECT_TRUE(TickAt(At(2025, 1, 2, 7, 1)).started.empty());
    WriteProfileString("SCHEDULE", "NumTimers", "-5");
    EXPECT_TRUE(TickAt(At(2025, 1, 2, 7, 1, 30)).started.empty());
    WriteProfileString("SCHEDULE", "NumTimers", "2147483647");
    EXPECT_EQ(TickAt(At(2025, 1, 3, 7, 1)).started, std::vector<int>{0});
}

TEST_F(SchedulerTickTest, SecondTickInTheSameMinuteStartsNothing) {
    StoreTimerLines({"job Daily ---- 07:00 On"});
    EXPECT_EQ(TickAt(At(2025, 1, 2, 7, 0, 1)).started, std::vector<int>{0});
    const auto again = TickAt(At(2025, 1, 2, 7, 0, 58));
    EXPECT_TRUE(again.repeatedMinute);
    EXPECT_TRUE(again.started.empty());
    EXPECT_EQ(links_.size(), 1u);
    // The next day's tick at the same minute starts it again.
    EXPECT_EQ(TickAt(At(2025, 1, 3, 7, 0, 0)).started, std::vector<int>{0});
}

// ---- Malformed entries ----

TEST_F(SchedulerTickTest, MalformedEntriesAreReportedAndNeverStart) {
    const std::string huge(1 << 20, 'x');
    StoreTimerLines({
        "",                                          // 0: empty
        "job Daily ---- 07:00",                      // 1: four fields
        "job Daily ---- 07:00 On B extra",           // 2: seven fields
        "job Sometimes ---- 07:00 On",               // 3: unknown frequency
        "job daily ---- 07:00 On",                   // 4: frequency case differs
        "job Daily 01/01/2025 07:00 On",             // 5: date does not fit Daily
        "job Daily ---- 7:00 On",                    // 6: one-digit hour
        "job Daily ---- 24:00 On",                   // 7: hour out of range
        "job Hourly ---- 07:00 On",                  // 8: hourly without dashes
        "job Once 31/04/2025 07:00 On",              // 9: a day April lacks
        "job Once 29/02/2025 07:00 On",              // 10: no leap day in 2025
        "job Weekly Funday 07:00 On",                // 11: unknown weekday
        "job Monthly 32/--/-- 07:00 On",             // 12: day 32
        "job Yearly 30/02/-- 07:00 On",              // 13: never exists
        huge + " Daily ---- 07:00 On " + huge,       // 14: huge, but six well-shaped fields
        huge,                                        // 15: one huge field
        "job\x01\x7f Daily ---- 07:00 Off \xff\xfe",  // 16: odd bytes, well shaped, Off
        "job Daily ---- 07:00 On",                   // 17: the only good one
    });
    const auto report = TickAt(At(2025, 1, 1, 7, 0));
    EXPECT_EQ(report.started, (std::vector<int>{14, 17}));
    const std::vector<int> malformed{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15};
    EXPECT_EQ(report.malformed, malformed);
    EXPECT_EQ(links_, (std::vector<std::string>{huge, "job"}));
}

TEST_F(SchedulerTickTest, MissingActionsDoNotCrash) {
    StoreTimerLines({"a.cmd Daily ---- 07:00 On", "link Daily ---- 07:00 On"});
    Scheduler bare(clock_, ScheduleActions{});
    clock_.Set(At(2025, 1, 1, 7, 0));
    EXPECT_EQ(bare.Tick().started, (std::vector<int>{0, 1}));
}

}  // namespace
}  // namespace zyfar
