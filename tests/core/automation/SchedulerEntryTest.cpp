// Schedule entry lines: field encoding, parsing and formatting, the shapes an
// entry must have, the editor's "Add" rules (the past-entry rule included),
// loading and saving the store, and the start/stop command.
#include "automation/Scheduler.h"

#include "SchedulerTestSupport.h"
#include "automation/ResendTimer.h"
#include "platform/Clock.h"
#include "platform/TimerService.h"
#include "platform/UiHost.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyfar {
namespace {

using test::At;
using test::StoreTimerLines;

ScheduleEntry Entry(std::string target, std::string frequency, std::string date, std::string time,
                    std::string state = "On") {
    ScheduleEntry e;
    e.target = std::move(target);
    e.frequency = std::move(frequency);
    e.date = std::move(date);
    e.time = std::move(time);
    e.state = std::move(state);
    return e;
}

// ---- Names from the string table ----

TEST(ScheduleNames, FrequencyWeekdayAndMonthNames) {
    const char* frequencies[] = {"Once", "Today", "Hourly", "Daily", "Weekly", "Monthly", "Yearly"};
    for (int i = 0; i < 7; ++i) {
        const auto f = static_cast<ScheduleFrequency>(i);
        EXPECT_EQ(FrequencyName(f), frequencies[i]);
        EXPECT_EQ(ParseFrequency(frequencies[i]), f);
    }
    EXPECT_FALSE(ParseFrequency("once").has_value());
    EXPECT_FALSE(ParseFrequency("Once ").has_value());
    EXPECT_FALSE(ParseFrequency("").has_value());
    EXPECT_EQ(WeekdayName(0), "Sunday");
    EXPECT_EQ(WeekdayName(6), "Saturday");
    EXPECT_TRUE(WeekdayName(7).empty());
    EXPECT_TRUE(WeekdayName(-1).empty());
    EXPECT_EQ(MonthName(1), "January");
    EXPECT_EQ(MonthName(12), "December");
    EXPECT_TRUE(MonthName(0).empty());
    EXPECT_TRUE(MonthName(13).empty());
    EXPECT_EQ(ScheduleOnText(), "On");
    EXPECT_EQ(ScheduleOffText(), "Off");
}

TEST(ScheduleCalendar, WeekdayAndMonthLengthAgreeWithTheCLibrary) {
    for (int year : {1900, 1999, 2000, 2023, 2024, 2100, 2400}) {
        for (int month = 1; month <= 12; ++month) {
            const int days = DaysInMonth(year, month);
            // The day after the last one is the first of the next month.
            const LocalDateTime last = At(year, month, days, 12, 0);
            EXPECT_EQ(test::AddMinutes(last, 1440).day, 1) << year << "-" << month;
            for (int day = 1; day <= days; ++day)
                ASSERT_EQ(DayOfWeek(year, month, day), test::LibcWeekday(year, month, day)) << year << "-" << month << "-" << day;
        }
    }
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2024, 13), 0);
}

// ---- Field encoding ----

TEST(ScheduleEncoding, BlankAndPercentAreEscaped) {
    EXPECT_EQ(EncodeScheduleField("/home/me/My Scripts/nightly.cmd"), "/home/me/My%20Scripts/nightly.cmd");
    EXPECT_EQ(EncodeScheduleField("100%"), "100%25");
    EXPECT_EQ(EncodeScheduleField("a%20b"), "a%2520b");  // a literal "%20" survives
    EXPECT_EQ(EncodeScheduleField("tab\there"), "tab%09here");
    EXPECT_EQ(EncodeScheduleField("x\x7f"), "x%7F");
    EXPECT_EQ(EncodeScheduleField("plain-name_1.cmd"), "plain-name_1.cmd");
    EXPECT_EQ(EncodeScheduleField("Grüße"), "Grüße");  // UTF-8 bytes stay
}

TEST(ScheduleEncoding, RoundTripOfAwkwardPaths) {
    const std::vector<std::string> paths{
        "", " ", "%", "%%", "%20", "%25", "a b c", " lead", "trail ", "/p/x y/%41%zz.cmd", "100% done.cmd",
        "tab\tand\vformfeed\f", "end%", "ünï cödé/ä b.cmd", std::string(3000, ' ')};
    for (const std::string& p : paths) {
        const std::string encoded = EncodeScheduleField(p);
        EXPECT_EQ(encoded.find_first_of(" \t\r\n\v\f"), std::string::npos) << p;
        EXPECT_EQ(DecodeScheduleField(encoded), p) << encoded;
    }
}

TEST(ScheduleEncoding, DecodingToleratesStrayPercentSigns) {
    EXPECT_EQ(DecodeScheduleField("%"), "%");
    EXPECT_EQ(DecodeScheduleField("%4"), "%4");
    EXPECT_EQ(DecodeScheduleField("a%zzb"), "a%zzb");
    EXPECT_EQ(DecodeScheduleField("%00x"), "%00x");  // never a NUL byte
    EXPECT_EQ(DecodeScheduleField("%41%62"), "Ab");
    EXPECT_EQ(DecodeScheduleField("x%2"), "x%2");
}

// ---- Lines ----

TEST(ScheduleLine, FiveFieldsTakeExtraB) {
    const auto e = ParseScheduleLine("nightly Daily ---- 22:15 On");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(*e, Entry("nightly", "Daily", "----", "22:15"));
    EXPECT_EQ(e->extra, "B");
}

TEST(ScheduleLine, SixFieldsKeepTheSixth) {
    const auto e = ParseScheduleLine("nightly Daily ---- 22:15 Off Q");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->state, "Off");
    EXPECT_EQ(e->extra, "Q");
}

TEST(ScheduleLine, OtherFieldCountsAreRefused) {
    EXPECT_FALSE(ParseScheduleLine("").has_value());
    EXPECT_FALSE(ParseScheduleLine("   ").has_value());
    EXPECT_FALSE(ParseScheduleLine("a b c d").has_value());
    EXPECT_FALSE(ParseScheduleLine("a b c d e f g").has_value());
    EXPECT_FALSE(ParseScheduleLine("/home/me/my script.cmd Daily ---- 22:15 On B").has_value());
}

TEST(ScheduleLine, RunsOfWhiteSpaceSeparateFields) {
    const auto e = ParseScheduleLine("  a\tDaily  ----   22:15 On  ");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(*e, Entry("a", "Daily", "----", "22:15"));
}

TEST(ScheduleLine, FormatWritesFiveFieldsAndEncodesTheTarget) {
    const ScheduleEntry e = Entry("/home/me/My Jobs/50% off.cmd", "Weekly", "Friday", "18:05", "Off");
    ScheduleEntry withExtra = e;
    withExtra.extra.push_back('Z');  // the sixth field is never written
    const std::string line = FormatScheduleLine(withExtra);
    EXPECT_EQ(line, "/home/me/My%20Jobs/50%25%20off.cmd Weekly Friday 18:05 Off");
    const auto back = ParseScheduleLine(line);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, e);  // extra back to "B"
}

TEST(ScheduleLine, WellFormedShapes) {
    EXPECT_TRUE(IsWellFormed(Entry("x", "Once", "29/02/2024", "00:00")));
    EXPECT_TRUE(IsWellFormed(Entry("x", "Today", "31/12/2025", "23:59", "Off")));
    EXPECT_TRUE(IsWellFormed(Entry("x", "Hourly", "----", "--:59")));
    EXPECT_TRUE(IsWellFormed(Entry("x", "Daily", "----", "00:00")));
    EXPECT_TRUE(IsWellFormed(Entry("x", "Weekly", "Sunday", "12:00")));
    EXPECT_TRUE(IsWellFormed(Entry("x", "Monthly", "31/--/--", "12:00")));
    EXPECT_TRUE(IsWellFormed(Entry("x", "Yearly", "29/02/--", "12:00")));

    EXPECT_FALSE(IsWellFormed(Entry("", "Daily", "----", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Daily", "----", "12:00", "Maybe")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Once", "29/02/2023", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Once", "1/02/2023", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Once", "01/13/2023", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Once", "01/02/23", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Once", "00/02/2023", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Hourly", "----", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Hourly", "----", "--:60")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Daily", "----", "--:10")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Daily", "---", "10:10")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Daily", "----", "10:1a")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Weekly", "sunday", "10:10")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Monthly", "00/--/--", "10:10")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Monthly", "05/01/--", "10:10")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Yearly", "31/04/--", "10:10")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Yearly", "05/--/--", "10:10")));
}

TEST(ScheduleLine, DateAndTimeTexts) {
    EXPECT_EQ(ScheduleDateText(At(2025, 3, 7, 9, 5)), "07/03/2025");
    EXPECT_EQ(ScheduleTimeText(At(2025, 3, 7, 9, 5)), "09:05");
    EXPECT_EQ(ScheduleTimeText(At(2025, 3, 7, 0, 0)), "00:00");
}

// ---- The editor's Add ----

class ScheduleRequestTest : public ::testing::Test {
protected:
    ScheduleRequest Request(ScheduleFrequency f) const {
        ScheduleRequest r;
        r.linkName = "site-group";
        r.frequency = f;
        r.day = 9;
        r.month = 11;
        r.year = 2026;
        r.hour = 7;
        r.minute = 5;
        r.weekday = 3;
        return r;
    }
    const LocalDateTime now_ = At(2025, 6, 15, 14, 30, 20);
};

TEST_F(ScheduleRequestTest, FieldsByFrequency) {
    struct Case {
        ScheduleFrequency f;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {ScheduleFrequency::Once, "09/11/2026", "07:05"},  {ScheduleFrequency::Hourly, "----", "--:05"},
        {ScheduleFrequency::Daily, "----", "07:05"},       {ScheduleFrequency::Weekly, "Wednesday", "07:05"},
        {ScheduleFrequency::Monthly, "09/--/--", "07:05"}, {ScheduleFrequency::Yearly, "09/11/--", "07:05"},
    };
    for (const Case& c : cases) {
        const auto result = MakeScheduleEntry(Request(c.f), now_);
        ASSERT_TRUE(result.entry.has_value()) << FrequencyName(c.f);
        EXPECT_EQ(result.error, ScheduleRequestError::None);
        EXPECT_EQ(*result.entry, Entry("site-group", std::string(FrequencyName(c.f)), c.date, c.time));
    }
    ScheduleRequest today = Request(ScheduleFrequency::Today);
    today.hour = 15;
    const auto result = MakeScheduleEntry(today, now_);
    ASSERT_TRUE(result.entry.has_value());
    EXPECT_EQ(*result.entry, Entry("site-group", "Today", "15/06/2025", "15:05"));
}

TEST_F(ScheduleRequestTest, TargetIsScriptOnlyWhenCheckedAndNotEmpty) {
    ScheduleRequest r = Request(ScheduleFrequency::Daily);
    r.scriptPath = "/home/me/a b.cmd";
    EXPECT_EQ(MakeScheduleEntry(r, now_).entry->target, "site-group");
    r.useScript = true;
    EXPECT_EQ(MakeScheduleEntry(r, now_).entry->target, "/home/me/a b.cmd");
    r.scriptPath.clear();
    EXPECT_EQ(MakeScheduleEntry(r, now_).entry->target, "site-group");
    r.linkName.clear();
    const auto none = MakeScheduleEntry(r, now_);
    EXPECT_FALSE(none.entry.has_value());
    EXPECT_EQ(none.error, ScheduleRequestError::NoTarget);
    EXPECT_EQ(MessageIdFor(none.error), 33046);
}

TEST_F(ScheduleRequestTest, OnceInTheCurrentMinuteOrEarlierIsRefused) {
    auto once = [&](int year, int month, int day, int hour, int minute) {
        ScheduleRequest r = Request(ScheduleFrequency::Once);
        r.year = year;
        r.month = month;
        r.day = day;
        r.hour = hour;
        r.minute = minute;
        return MakeScheduleEntry(r, now_);
    };
    EXPECT_EQ(once(2025, 6, 15, 14, 30).error, ScheduleRequestError::InPast);  // this minute
    EXPECT_EQ(once(2025, 6, 15, 14, 29).error, ScheduleRequestError::InPast);
    EXPECT_EQ(once(2025, 6, 15, 13, 59).error, ScheduleRequestError::InPast);
    EXPECT_EQ(once(2025, 6, 14, 23, 59).error, ScheduleRequestError::InPast);
    EXPECT_EQ(once(2025, 5, 31, 23, 59).error, ScheduleRequestError::InPast);
    EXPECT_EQ(MessageIdFor(ScheduleRequestError::InPast), 295);
    EXPECT_TRUE(once(2025, 6, 15, 14, 31).entry.has_value());
    EXPECT_TRUE(once(2025, 6, 16, 0, 0).entry.has_value());
    EXPECT_TRUE(once(2025, 7, 1, 0, 0).entry.has_value());
    // An earlier day in a later year lies in the future.
    const auto later = once(2026, 1, 1, 0, 0);
    ASSERT_TRUE(later.entry.has_value());
    EXPECT_EQ(later.entry->date, "01/01/2026");
    // A year not after the current one means the current year.
    const auto typedPast = once(2020, 12, 24, 18, 0);
    ASSERT_TRUE(typedPast.entry.has_value());
    EXPECT_EQ(typedPast.entry->date, "24/12/2025");
    EXPECT_EQ(once(2020, 1, 24, 18, 0).error, ScheduleRequestError::InPast);
}

TEST_F(ScheduleRequestTest, TodayInTheCurrentMinuteOrEarlierIsRefused) {
    ScheduleRequest r = Request(ScheduleFrequency::Today);
    r.hour = 14;
    r.minute = 30;
    EXPECT_EQ(MakeScheduleEntry(r, now_).error, ScheduleRequestError::InPast);
    r.hour = 13;
    r.minute = 59;
    EXPECT_EQ(MakeScheduleEntry(r, now_).error, ScheduleRequestError::InPast);
    r.hour = 14;
    r.minute = 31;
    EXPECT_TRUE(MakeScheduleEntry(r, now_).entry.has_value());
}

TEST_F(ScheduleRequestTest, RepeatingFrequenciesAreNeverInThePast) {
    for (auto f : {ScheduleFrequency::Hourly, ScheduleFrequency::Daily, ScheduleFrequency::Weekly,
                   ScheduleFrequency::Monthly, ScheduleFrequency::Yearly}) {
        ScheduleRequest r = Request(f);
        r.hour = 0;
        r.minute = 0;
        r.day = 1;
        r.month = 1;
        EXPECT_TRUE(MakeScheduleEntry(r, now_).entry.has_value()) << FrequencyName(f);
    }
}

TEST_F(ScheduleRequestTest, ImpossibleDatesAndRangesAreRefused) {
    ScheduleRequest r = Request(ScheduleFrequency::Once);
    r.month = 4;
    r.day = 31;
    EXPECT_EQ(MakeScheduleEntry(r, now_).error, ScheduleRequestError::InvalidDate);
    r.month = 2;
    r.day = 29;
    r.year = 2027;
    EXPECT_EQ(MakeScheduleEntry(r, now_).error, ScheduleRequestError::InvalidDate);
    r.year = 2028;
    EXPECT_TRUE(MakeScheduleEntry(r, now_).entry.has_value());
    r.year = 10000;
    EXPECT_EQ(MakeScheduleEntry(r, now_).error, ScheduleRequestError::InvalidDate);

    ScheduleRequest y = Request(ScheduleFrequency::Yearly);
    y.month = 2;
    y.day = 30;
    EXPECT_EQ(MakeScheduleEntry(y, now_).error, ScheduleRequestError::InvalidDate);
    y.day = 29;
    EXPECT_TRUE(MakeScheduleEntry(y, now_).entry.has_value());

    ScheduleRequest d = Request(ScheduleFrequency::Daily);
    d.hour = 24;
    EXPECT_EQ(MakeScheduleEntry(d, now_).error, ScheduleRequestError::InvalidDate);
    d.hour = -1;
    EXPECT_EQ(MakeScheduleEntry(d, now_).error, ScheduleRequestError::InvalidDate);
    ScheduleRequest h = Request(ScheduleFrequency::Hourly);
    h.minute = 60;
    EXPECT_EQ(MakeScheduleEntry(h, now_).error, ScheduleRequestError::InvalidDate);
    h.minute = 59;
    h.hour = 99;  // unused by an hourly entry
    EXPECT_TRUE(MakeScheduleEntry(h, now_).entry.has_value());
    ScheduleRequest w = Request(ScheduleFrequency::Weekly);
    w.weekday = 7;
    EXPECT_EQ(MakeScheduleEntry(w, now_).error, ScheduleRequestError::InvalidDate);
    EXPECT_EQ(MessageIdFor(ScheduleRequestError::InvalidDate), 0);
}

TEST(ScheduleState, ToggleSwitchesOnAndOff) {
    ScheduleEntry e = Entry("x", "Daily", "----", "10:00");
    ToggleScheduleState(e);
    EXPECT_EQ(e.state, "Off");
    ToggleScheduleState(e);
    EXPECT_EQ(e.state, "On");
}

TEST(ScheduleExpiry, OnlyOnceAndTodayBeforeTheCurrentMinuteExpire) {
    const LocalDateTime now = At(2025, 1, 1, 0, 0, 45);
    EXPECT_TRUE(IsExpired(Entry("x", "Once", "31/12/2024", "23:59"), now));
    EXPECT_TRUE(IsExpired(Entry("x", "Today", "31/12/2024", "23:59", "Off"), now));
    EXPECT_FALSE(IsExpired(Entry("x", "Once", "01/01/2025", "00:00"), now));  // its minute is still on
    EXPECT_FALSE(IsExpired(Entry("x", "Once", "01/01/2025", "00:01"), now));
    EXPECT_FALSE(IsExpired(Entry("x", "Daily", "----", "00:00"), At(2030, 1, 1, 0, 0)));
    EXPECT_FALSE(IsExpired(Entry("x", "Once", "garbage", "00:00"), now));
}

// ---- Load and save ----

class ScheduleStoreTest : public test::TempDirTest {};

TEST_F(ScheduleStoreTest, SaveThenLoadRoundTrip) {
    const std::vector<ScheduleEntry> entries{
        Entry("/home/me/My Jobs/a%b.cmd", "Once", "01/01/2030", "08:00"),
        Entry("Site Group", "Weekly", "Tuesday", "23:15", "Off"),
        Entry("mirror", "Hourly", "----", "--:45"),
        Entry("yearly", "Yearly", "29/02/--", "12:00"),
    };
    ASSERT_TRUE(SaveSchedule(entries));
    EXPECT_EQ(ReadInt(keys::NumTimers), 4);
    EXPECT_EQ(Read(keys::TimerN, 0), "/home/me/My%20Jobs/a%25b.cmd Once 01/01/2030 08:00 On");
    EXPECT_EQ(Read(keys::TimerN, 1), "Site%20Group Weekly Tuesday 23:15 Off");
    const LoadedSchedule loaded = LoadSchedule(At(2025, 1, 1, 0, 0));
    EXPECT_EQ(loaded.entries, entries);
    EXPECT_EQ(loaded.expired, 0);
    EXPECT_TRUE(loaded.malformed.empty());
}

TEST_F(ScheduleStoreTest, SaveRemovesEveryOldTimerKey) {
    StoreTimerLines({"a Daily ---- 01:00 On", "b Daily ---- 02:00 On", "c Daily ---- 03:00 On"});
    Write(keys::TimerN, 7, "orphan Daily ---- 04:00 On");  // beyond a gap
    WriteProfileString("SCHEDULE", "ResendTime", "15");    // other keys stay
    ASSERT_TRUE(SaveSchedule({Entry("z", "Daily", "----", "05:00")}));
    EXPECT_EQ(ReadInt(keys::NumTimers), 1);
    EXPECT_EQ(Read(keys::TimerN, 0), "z Daily ---- 05:00 On");
    for (int i : {1, 2, 7}) EXPECT_FALSE(ReadIfPresent(keys::TimerN, i).has_value()) << i;
    EXPECT_EQ(GetProfileString("SCHEDULE", "ResendTime", ""), "15");

    ASSERT_TRUE(SaveSchedule({}));
    EXPECT_EQ(ReadInt(keys::NumTimers), 0);
    EXPECT_FALSE(ReadIfPresent(keys::TimerN, 0).has_value());
}

TEST_F(ScheduleStoreTest, SaveSkipsEntriesThatCouldNotBeReadBack) {
    ASSERT_TRUE(SaveSchedule({Entry("", "Daily", "----", "05:00"), Entry("ok", "Daily", "----", "05:00"),
                              Entry("bad", "Sometimes", "----", "05:00")}));
    EXPECT_EQ(ReadInt(keys::NumTimers), 1);
    EXPECT_EQ(Read(keys::TimerN, 0), "ok Daily ---- 05:00 On");
}

TEST_F(ScheduleStoreTest, LoadLeavesOutExpiredAndMalformedEntries) {
    StoreTimerLines({
        "old Once 14/06/2025 10:00 On",    // expired
        "now Once 15/06/2025 14:30 On",    // this minute: kept
        "soon Today 15/06/2025 14:31 On",  // kept
        "gone Today 15/06/2025 14:29 Off", // expired
        "broken Daily 10:00 On",           // malformed
        "daily Daily ---- 09:00 On",       // kept
    });
    Write(keys::TimerN, 7, "after-gap Daily ---- 09:00 On");
    WriteInt(keys::NumTimers, 1);  // the editor reads until a key is missing
    const LoadedSchedule loaded = LoadSchedule(At(2025, 6, 15, 14, 30, 59));
    ASSERT_EQ(loaded.entries.size(), 3u);
    EXPECT_EQ(loaded.entries[0].target, "now");
    EXPECT_EQ(loaded.entries[1].target, "soon");
    EXPECT_EQ(loaded.entries[2].target, "daily");
    EXPECT_EQ(loaded.expired, 2);
    EXPECT_EQ(loaded.malformed, std::vector<std::string>{"broken Daily 10:00 On"});

    // Saving what was loaded drops the left-out lines from the store.
    ASSERT_TRUE(SaveSchedule(loaded.entries));
    EXPECT_EQ(ReadInt(keys::NumTimers), 3);
    EXPECT_FALSE(ReadIfPresent(keys::TimerN, 3).has_value());
    EXPECT_FALSE(ReadIfPresent(keys::TimerN, 7).has_value());
}

TEST_F(ScheduleStoreTest, LoadOfAnEmptyStore) {
    const LoadedSchedule loaded = LoadSchedule(At(2025, 1, 1, 0, 0));
    EXPECT_TRUE(loaded.entries.empty());
    EXPECT_EQ(loaded.expired, 0);
    EXPECT_TRUE(loaded.malformed.empty());
}

// ---- Start and stop ----

class AnsweringHost final : public UiHost {
public:
    explicit AnsweringHost(MessageAnswer answer) : answer_(answer) {}
    void SetTrayState(int) override {}
    void RequestQuit() override {}
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons buttons) override {
        asked.push_back(text);
        EXPECT_EQ(kind, MessageKind::Question);
        EXPECT_EQ(buttons, MessageButtons::OkCancel);
        return answer_;
    }
    std::vector<std::string> asked;

private:
    MessageAnswer answer_;
};

class SchedulerCommandTest : public test::TempDirTest {
protected:
    void TearDown() override {
        SetUiHost(nullptr);
        test::TempDirTest::TearDown();
    }
    ManualTimerService service_;
};

TEST_F(SchedulerCommandTest, EnabledUnlessNo) {
    EXPECT_FALSE(SchedulerEnabledInSettings());  // absent reads "NO"
    Write(keys::Scheduler, "YES");
    EXPECT_TRUE(SchedulerEnabledInSettings());
    Write(keys::Scheduler, "whatever");
    EXPECT_TRUE(SchedulerEnabledInSettings());
    Write(keys::Scheduler, "NO");
    EXPECT_FALSE(SchedulerEnabledInSettings());
}

TEST_F(SchedulerCommandTest, StartUpStartsTheTimerOnlyWhenEnabled) {
    BackgroundTimers timers(service_, {});
    EXPECT_FALSE(StartSchedulerFromSettings(timers));
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    StoreSchedulerEnabled(true);
    EXPECT_EQ(Read(keys::Scheduler), "YES");
    EXPECT_TRUE(StartSchedulerFromSettings(timers));
    EXPECT_TRUE(service_.IsActive(kSchedulerTimerId));
}

TEST_F(SchedulerCommandTest, OkStartsAndStopsAndStoresTheState) {
    AnsweringHost host(MessageAnswer::Ok);
    SetUiHost(&host);
    BackgroundTimers timers(service_, {});
    EXPECT_EQ(ToggleSchedulerCommand(timers), std::optional<bool>(true));
    EXPECT_TRUE(timers.SchedulerRunning());
    EXPECT_EQ(Read(keys::Scheduler), "YES");
    EXPECT_EQ(ToggleSchedulerCommand(timers), std::optional<bool>(false));
    EXPECT_FALSE(timers.SchedulerRunning());
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    EXPECT_EQ(Read(keys::Scheduler), "NO");
    EXPECT_EQ(host.asked, (std::vector<std::string>{"Start Scheduler?", "Stop Scheduler?"}));
}

TEST_F(SchedulerCommandTest, CancelChangesNothing) {
    AnsweringHost host(MessageAnswer::Cancel);
    SetUiHost(&host);
    BackgroundTimers timers(service_, {});
    EXPECT_FALSE(ToggleSchedulerCommand(timers).has_value());
    EXPECT_FALSE(timers.SchedulerRunning());
    EXPECT_FALSE(service_.IsActive(kSchedulerTimerId));
    EXPECT_FALSE(ReadIfPresent(keys::Scheduler).has_value());
}

}  // namespace
}  // namespace zyfar
