// The scheduler's lines, editor, store, ticks (walked with the C library's calendar) and timers.
#include "automation/Scheduler.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <ostream>

#include "automation/ResendTimer.h"
#include "platform/Clock.h"
#include "platform/TimerService.h"
#include "platform/UiHost.h"
#include "settings/IniFile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "support/Recorders.h"
#include "support/TestEnv.h"

namespace zyfar {

std::ostream& operator<<(std::ostream& out, const LocalDateTime& t) {
    return out << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':' << t.second;
}

void PrintTo(const ScheduleEntry& e, std::ostream* out) { *out << FormatScheduleLine(e) << " [" << e.extra << "]"; }

namespace {

LocalDateTime At(int year, int month, int day, int hour, int minute, int second = 0) {
    return LocalDateTime{year, month, day, hour, minute, second};
}

// t moved by `minutes` through the C library's UTC calendar.
LocalDateTime AddMinutes(const LocalDateTime& t, long long minutes) {
    std::tm p{};
    p.tm_year = t.year - 1900;
    p.tm_mon = t.month - 1;
    p.tm_mday = t.day;
    p.tm_hour = t.hour;
    p.tm_min = t.minute;
    p.tm_sec = t.second;
    const std::time_t when = ::timegm(&p) + static_cast<std::time_t>(minutes * 60);
    ::gmtime_r(&when, &p);
    return LocalDateTime{p.tm_year + 1900, p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec};
}

// Writes NumTimers and Timer0.. with the given raw lines.
void StoreTimerLines(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) Write(keys::TimerN, static_cast<int>(i), lines[i]);
    WriteInt(keys::NumTimers, static_cast<int>(lines.size()));
}

ScheduleEntry Entry(std::string target, std::string frequency, std::string date, std::string time,
                    std::string state = "On") {
    return ScheduleEntry{std::move(target), std::move(frequency), std::move(date), std::move(time), std::move(state),
                         kScheduleDefaultExtra, ""};
}

// ---- calendar, fields and lines ----

TEST(ScheduleCalendar, LeapYearsWeekdaysAndFrequencyNames) {
    EXPECT_EQ(std::vector({DaysInMonth(2024, 2), DaysInMonth(2023, 2), DaysInMonth(1900, 2), DaysInMonth(2000, 2),
                           DaysInMonth(2025, 4), DaysInMonth(2025, 12), DaysInMonth(2024, 13)}),
              std::vector({29, 28, 28, 29, 30, 31, 0}));
    EXPECT_EQ(std::vector({DayOfWeek(2024, 2, 29), DayOfWeek(2000, 1, 1), DayOfWeek(2100, 3, 1), DayOfWeek(1900, 3, 1)}),
              std::vector({4, 6, 1, 4}));
    EXPECT_EQ(ParseFrequency("Weekly"), ScheduleFrequency::Weekly);
    for (const char* name : {"once", "Once ", ""}) EXPECT_FALSE(ParseFrequency(name).has_value()) << name;
}

TEST(ScheduleLine, FieldsAreEscapedParsedAndFormatted) {
    const std::pair<const char*, const char*> encoded[] = {
        {"My Scripts/a", "My%20Scripts/a"}, {"a%20b", "a%2520b"}, {"tab\there", "tab%09here"}, {"x\x7f", "x%7F"}, {"Grüße", "Grüße"}};
    for (const auto& [plain, text] : encoded) EXPECT_EQ(EncodeScheduleField(plain), text);
    // Stray percent signs decode as themselves, never to a NUL byte.
    for (const char* stray : {"%", "%4", "a%zzb", "%00x", "x%2"}) EXPECT_EQ(DecodeScheduleField(stray), stray);
    const std::pair<const char*, const char*> lines[] = {
        {"nightly Daily ---- 22:15 On", "On B"},            // five fields take "B"
        {"nightly Daily ---- 22:15 Off Q", "Off Q"},        // six keep the sixth
        {"  nightly\tDaily  ----   22:15 On  ", "On B"},   // runs of white space separate
        {"", nullptr}, {"a b c d", nullptr}, {"a b c d e f g", nullptr}};
    for (const auto& [line, stateExtra] : lines) {
        const auto e = ParseScheduleLine(line);
        ASSERT_EQ(e.has_value(), stateExtra != nullptr) << line;
        if (e) {
            EXPECT_EQ(e->target + e->frequency + e->date + e->time + " " + e->state + " " + e->extra,
                      std::string("nightlyDaily----22:15 ") + stateExtra);
        }
    }
    ScheduleEntry e = Entry("/home/me/My Jobs/50% off.cmd", "Weekly", "Friday", "18:05", "Off");
    e.extra = "BZ";  // the sixth field is never written
    EXPECT_EQ(FormatScheduleLine(e), "/home/me/My%20Jobs/50%25%20off.cmd Weekly Friday 18:05 Off");
    e.extra = "B";
    EXPECT_EQ(ParseScheduleLine(FormatScheduleLine(e)), e);
    EXPECT_EQ(ScheduleDateText(At(2025, 3, 7, 9, 5)) + " " + ScheduleTimeText(At(2025, 3, 7, 9, 5)), "07/03/2025 09:05");
}

TEST(ScheduleLine, WellFormedShapes) {
    for (const char* good : {"Once 29/02/2024 00:00", "Today 31/12/2025 23:59", "Hourly ---- --:59", "Daily ---- 00:00",
                             "Weekly Sunday 12:00", "Monthly 31/--/-- 12:00", "Yearly 29/02/-- 12:00"})
        EXPECT_TRUE(IsWellFormed(*ParseScheduleLine(std::string("x ") + good + " On"))) << good;
    for (const char* bad : {"Once 29/02/2023 12:00", "Once 1/02/2023 12:00", "Once 01/02/23 12:00", "Hourly ---- 12:00",
                            "Hourly ---- --:60", "Daily --- 10:10", "Daily ---- 7:00", "Weekly sunday 10:10",
                            "Monthly 05/01/-- 10:10", "Yearly 31/04/-- 10:10", "Sometimes ---- 10:10"})
        EXPECT_FALSE(IsWellFormed(*ParseScheduleLine(std::string("x ") + bad + " On"))) << bad;
    EXPECT_FALSE(IsWellFormed(Entry("", "Daily", "----", "12:00")));
    EXPECT_FALSE(IsWellFormed(Entry("x", "Daily", "----", "12:00", "Maybe")));
    // Only "Once" and "Today" before the current minute expire.
    const LocalDateTime now = At(2025, 1, 1, 0, 0, 45);
    EXPECT_TRUE(IsExpired(Entry("x", "Once", "31/12/2024", "23:59"), now));
    EXPECT_TRUE(IsExpired(Entry("x", "Today", "31/12/2024", "23:59", "Off"), now));
    EXPECT_FALSE(IsExpired(Entry("x", "Once", "01/01/2025", "00:00"), now));  // its minute is still on
    EXPECT_FALSE(IsExpired(Entry("x", "Daily", "----", "00:00"), At(2030, 1, 1, 0, 0)));
    EXPECT_FALSE(IsExpired(Entry("x", "Once", "garbage", "00:00"), now));
}

// ---- the editor's Add ----

ScheduleRequest Request(ScheduleFrequency f, int year = 2026, int month = 11, int day = 9, int hour = 7,
                        int minute = 5) {
    return ScheduleRequest{false, "", "site-group", f, day, month, year, hour, minute, 3};
}

// The entry's "date time", or "past" / "invalid" / "no target".
std::string Made(const ScheduleRequest& r) {
    const auto result = MakeScheduleEntry(r, At(2025, 6, 15, 14, 30, 20));
    EXPECT_EQ(result.entry.has_value(), result.error == ScheduleRequestError::None);
    switch (result.error) {
        case ScheduleRequestError::InPast: return "past";
        case ScheduleRequestError::InvalidDate: return "invalid";
        case ScheduleRequestError::NoTarget: return "no target";
        case ScheduleRequestError::None: break;
    }
    EXPECT_EQ(result.entry->frequency + result.entry->state, std::string(FrequencyName(r.frequency)) + "On");
    return result.entry->target + " " + result.entry->date + " " + result.entry->time;
}

TEST(ScheduleRequest, FieldsByFrequencyAndRefusedMoments) {
    using F = ScheduleFrequency;
    ScheduleRequest weekday = Request(F::Weekly);
    weekday.weekday = 7;
    const std::pair<ScheduleRequest, const char*> cases[] = {
        {Request(F::Once), "09/11/2026 07:05"},          {Request(F::Today, 0, 1, 1, 15, 5), "15/06/2025 15:05"},
        {Request(F::Hourly, 0, 1, 1, 99, 5), "---- --:05"},  // the hour is not used
        {Request(F::Daily), "---- 07:05"},               {Request(F::Weekly), "Wednesday 07:05"},
        {Request(F::Monthly), "09/--/-- 07:05"},         {Request(F::Yearly, 2026, 2, 29), "29/02/-- 07:05"},
        {Request(F::Daily, 2025, 1, 1, 0, 0), "---- 00:00"},  // repeating entries are never in the past
        {Request(F::Once, 2025, 6, 15, 14, 30), "past"},  {Request(F::Once, 2025, 6, 15, 14, 31), "15/06/2025 14:31"},
        {Request(F::Once, 2020, 12, 24, 18, 0), "24/12/2025 18:00"},  // a past year means this year
        {Request(F::Once, 2020, 1, 24, 18, 0), "past"},  {Request(F::Today, 0, 1, 1, 14, 30), "past"},
        {Request(F::Once, 2027, 2, 29), "invalid"},      {Request(F::Daily, 2026, 1, 1, 24), "invalid"},
        {weekday, "invalid"}};
    for (const auto& [request, made] : cases) {
        const std::string got = Made(request);
        EXPECT_EQ(got.rfind("site-group ", 0) == 0 ? got.substr(11) : got, made);
    }
    // The target is the script only when checked and not empty.
    ScheduleRequest r = Request(F::Daily);
    r.scriptPath = "/home/me/a b.cmd";
    EXPECT_EQ(Made(r), "site-group ---- 07:05");
    r.useScript = true;
    EXPECT_EQ(Made(r), "/home/me/a b.cmd ---- 07:05");
    r.scriptPath.clear();
    EXPECT_EQ(Made(r), "site-group ---- 07:05");
    r.linkName.clear();
    EXPECT_EQ(Made(r), "no target");
    using E = ScheduleRequestError;
    EXPECT_EQ(std::vector({MessageIdFor(E::InPast), MessageIdFor(E::NoTarget), MessageIdFor(E::InvalidDate)}),
              std::vector({295, 33046, 0}));
}

TEST(ScheduleRequest, EditorStartsAtTheNextWholeMinute) {
    // Each moment against the C library's calendar one minute on.
    const LocalDateTime moments[] = {At(2025, 12, 31, 23, 59, 59), At(2024, 2, 28, 23, 59),  At(2024, 2, 29, 23, 59, 1),
                                     At(2025, 2, 28, 23, 59, 30), At(2025, 4, 30, 23, 59),  At(2025, 1, 31, 23, 59),
                                     At(2100, 2, 28, 23, 59),     At(2025, 6, 15, 14, 59, 5), At(2025, 6, 15, 14, 30, 20)};
    for (const LocalDateTime& now : moments) {
        LocalDateTime whole = now;
        whole.second = 0;
        const LocalDateTime next = AddMinutes(whole, 1);
        const ScheduleRequest fields = ScheduleFieldsAtNextMinute(now);
        EXPECT_EQ((LocalDateTime{fields.year, fields.month, fields.day, fields.hour, fields.minute, 0}), next) << now;
        EXPECT_EQ(fields.weekday, DayOfWeek(next.year, next.month, next.day)) << now;
        EXPECT_TRUE(fields.linkName.empty() && fields.scriptPath.empty() && !fields.useScript);
    }
    // A "Once" entry at the opening fields is never in the past.
    ScheduleRequest once = ScheduleFieldsAtNextMinute(At(2025, 12, 31, 23, 59, 59));
    once.linkName = "l";
    EXPECT_EQ(Made(once), "l 01/01/2026 00:00");
}

TEST(ScheduleRequest, PickedEntriesShowTheFieldsTheyStore) {
    using F = ScheduleFrequency;
    const ScheduleRequest shown = Request(F::Once, 2030, 3, 4, 5, 6);  // weekday 3
    // entry -> frequency day/month/year weekday hour:minute
    const std::pair<ScheduleEntry, const char*> cases[] = {
        {Entry("x", "Once", "09/11/2026", "07:05"), "0 9/11/2026 3 7:5"},
        {Entry("x", "Today", "15/06/2025", "23:59", "Off"), "1 15/6/2025 3 23:59"},
        {Entry("x", "Hourly", "----", "--:45"), "2 4/3/2030 3 5:45"},
        {Entry("x", "Daily", "----", "00:00"), "3 4/3/2030 3 0:0"},
        {Entry("x", "Weekly", "Saturday", "18:05"), "4 4/3/2030 6 18:5"},
        {Entry("x", "Monthly", "31/--/--", "01:02"), "5 31/3/2030 3 1:2"},
        {Entry("x", "Yearly", "29/02/--", "12:00"), "6 29/2/2030 3 12:0"},
        {Entry("x", "Fortnightly", "----", "12:00"), "none"},
        {Entry("x", "Daily", "----", "24:00"), "none"}};
    for (const auto& [entry, expected] : cases) {
        const auto f = ScheduleFieldsOf(entry, shown);
        const std::string got = f ? std::to_string(static_cast<int>(f->frequency)) + " " + std::to_string(f->day) + "/" +
                                        std::to_string(f->month) + "/" + std::to_string(f->year) + " " +
                                        std::to_string(f->weekday) + " " + std::to_string(f->hour) + ":" +
                                        std::to_string(f->minute)
                                  : "none";
        EXPECT_EQ(got, expected) << FormatScheduleLine(entry);
        if (f) {
            EXPECT_EQ(f->linkName, shown.linkName);
        }
    }
}

TEST(ScheduleRequest, KeptLinesFollowTheRowsLeft) {
    std::vector<KeptScheduleLine> kept{{0, "a"}, {2, "b"}, {2, "c"}, {5, "d"}};
    ForgetScheduleRow(kept, 2);  // the entry b and c stood before
    ForgetScheduleRow(kept, 0);
    std::string got;
    for (const auto& k : kept) got += std::to_string(k.before) + k.line + " ";
    EXPECT_EQ(got, "0a 1b 1c 3d ");
}

// ---- the store and the start/stop command ----

using ScheduleStoreTest = test::IsolatedHomeTest;

TEST_F(ScheduleStoreTest, SaveWritesTheEditedEntriesAndKeepsWhatItCannotRead) {
    StoreTimerLines({
        "old Once 14/06/2025 10:00 On",     // expired: left out, dropped by the save
        "now Once 15/06/2025 14:30 On B",   // this minute: kept, six fields
        "broken Daily 10:00 On",            // malformed: kept as it is
        "soon Today 15/06/2025 14:31 On",
        "lower Daily ---- 09:00 on",        // malformed: a lower-case state
        "daily Daily ---- 09:00 On",
    });
    Write(keys::TimerN, 9, "after-gap Daily ---- 09:00 On");  // not read: removed as stale
    WriteProfileString("SCHEDULE", "ResendTime", "15");       // other keys stay
    LoadedSchedule loaded = LoadSchedule(At(2025, 6, 15, 14, 30, 59));
    std::string targets;
    for (const ScheduleEntry& e : loaded.entries) targets += e.target + " ";
    EXPECT_EQ(targets, "now soon daily ");
    EXPECT_EQ(loaded.expired, 1);
    ASSERT_EQ(loaded.malformed.size(), 2u);
    EXPECT_EQ(std::to_string(loaded.malformed[1].before) + " " + loaded.malformed[1].line, "2 lower Daily ---- 09:00 on");
    // Toggled, deleted, added; an entry that could not be read back is skipped.
    ToggleScheduleState(loaded.entries[1]);
    loaded.entries.erase(loaded.entries.begin() + 2);
    loaded.entries.push_back(Entry("/home/me/My Jobs/a%b.cmd", "Weekly", "Tuesday", "23:15"));
    loaded.entries.push_back(Entry("bad", "Sometimes", "----", "05:00"));
    ASSERT_TRUE(SaveSchedule(loaded.entries, loaded.malformed));
    std::vector<std::string> stored;
    for (int i = 0; i < 10; ++i) stored.push_back(ReadIfPresent(keys::TimerN, i).value_or(""));
    EXPECT_EQ(stored, (std::vector<std::string>{"now Once 15/06/2025 14:30 On B", "broken Daily 10:00 On",
                                                "soon Today 15/06/2025 14:31 Off", "lower Daily ---- 09:00 on",
                                                "/home/me/My%20Jobs/a%25b.cmd Weekly Tuesday 23:15 On", "", "", "",
                                                "", ""}));
    EXPECT_EQ(ReadInt(keys::NumTimers), 5);
    EXPECT_EQ(GetProfileString("SCHEDULE", "ResendTime", ""), "15");
    // Saving what loads again unchanged writes nothing.
    const LoadedSchedule again = LoadSchedule(At(2025, 6, 15, 14, 30, 59));
    struct stat before {}, after {};
    ASSERT_EQ(::stat(CurrentSettingsFile().c_str(), &before), 0);
    EXPECT_TRUE(SaveSchedule(again.entries, again.malformed));
    ASSERT_EQ(::stat(CurrentSettingsFile().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // every write replaces the file
    ASSERT_TRUE(SaveSchedule({}));
    EXPECT_EQ(ReadInt(keys::NumTimers), 0);
    EXPECT_FALSE(ReadIfPresent(keys::TimerN, 0).has_value());
}

TEST_F(ScheduleStoreTest, StartStopCommandAsksAndStoresTheState) {
    ManualTimerService service;
    BackgroundTimers timers(service, {});
    EXPECT_FALSE(StartSchedulerFromSettings(timers));  // absent reads "NO"
    test::RecordingUiHost host;
    host.answer = MessageAnswer::Cancel;
    SetUiHost(&host);
    EXPECT_FALSE(ToggleSchedulerCommand(timers).has_value());  // Cancel
    EXPECT_FALSE(timers.SchedulerRunning() || ReadIfPresent(keys::Scheduler).has_value());
    host.answer = MessageAnswer::Ok;
    EXPECT_EQ(ToggleSchedulerCommand(timers), std::optional<bool>(true));
    EXPECT_TRUE(timers.SchedulerRunning() && service.IsActive(kSchedulerTimerId));
    EXPECT_EQ(Read(keys::Scheduler), "YES");
    EXPECT_EQ(ToggleSchedulerCommand(timers), std::optional<bool>(false));
    EXPECT_FALSE(service.IsActive(kSchedulerTimerId));
    EXPECT_EQ(Read(keys::Scheduler), "NO");
    EXPECT_EQ(host.Texts(), (std::vector<std::string>{"Start Scheduler?", "Start Scheduler?", "Stop Scheduler?"}));
    for (const test::ShownMessage& m : host.shown.Get())
        EXPECT_TRUE(m.kind == MessageKind::Question && m.buttons == MessageButtons::OkCancel);
    SetUiHost(nullptr);
    Write(keys::Scheduler, "whatever");  // any value but "NO" starts it at start-up
    EXPECT_TRUE(StartSchedulerFromSettings(timers) && service.IsActive(kSchedulerTimerId));
}

// ---- the tick ----

class SchedulerTickTest : public test::IsolatedHomeTest {
protected:
    TickReport TickAt(const LocalDateTime& when) {
        clock_.Set(when);
        return scheduler_.Tick();
    }
    // `count` ticks `step` minutes apart from `from`; "entry@day/month hh:mm" of every start.
    std::string Walk(const LocalDateTime& from, long long count, long long step = 1) {
        std::string fired;
        for (long long i = 0; i < count; ++i) {
            const LocalDateTime t = AddMinutes(from, i * step);
            char text[48];
            for (const int entry : TickAt(t).started) {
                std::snprintf(text, sizeof text, "%d@%d/%d %02d:%02d ", entry, t.day, t.month, t.hour, t.minute);
                fired += text;
            }
        }
        return fired;
    }

    FixedClock clock_;
    std::vector<std::string> scripts_;
    std::vector<std::string> links_;
    Scheduler scheduler_{clock_, ScheduleActions{[this](const std::string& p) { scripts_.push_back(p); },
                                                 [this](const std::string& n) { links_.push_back(n); }}};
};

TEST_F(SchedulerTickTest, EveryFrequencyFiresAtItsMinuteOnItsDaysAcrossBoundaries) {
    std::vector<std::string> weekly;
    for (int d = 0; d < 7; ++d) weekly.push_back("l Weekly " + std::string(WeekdayName(d)) + " 08:30 On");
    struct Case {
        std::vector<std::string> lines;
        LocalDateTime from;
        long long count, step;
        const char* expected;
    };
    const Case cases[] = {
        {{"nightly Hourly ---- --:15 On"}, At(2024, 12, 31, 21, 0), 4 * 60, 1,
         "0@31/12 21:15 0@31/12 22:15 0@31/12 23:15 0@1/1 00:15 "},
        {{"backup Daily ---- 23:59 On", "early Daily ---- 00:00 On"}, At(2023, 12, 30, 23, 0), 2 * 1440 + 60, 1,
         "0@30/12 23:59 1@31/12 00:00 0@31/12 23:59 1@1/1 00:00 0@1/1 23:59 "},
        {{"leap Once 29/02/2024 00:00 On", "later Once 01/03/2024 00:01 On"}, At(2024, 2, 28, 23, 0), 26 * 60, 1,
         "0@29/2 00:00 1@1/3 00:01 "},
        // 8 days from Saturday 2024-02-24, across the leap day and a month end; entry n is weekday n.
        {weekly, At(2024, 2, 24, 0, 0), 8 * 1440, 1,
         "6@24/2 08:30 0@25/2 08:30 1@26/2 08:30 2@27/2 08:30 3@28/2 08:30 4@29/2 08:30 5@1/3 08:30 6@2/3 08:30 "},
        // Daily ticks at 12:00:30 for four months, and at 06:00:30 for six years.
        {{"eom Monthly 31/--/-- 12:00 On", "first Monthly 01/--/-- 12:00 On"}, At(2025, 1, 1, 12, 0, 30), 120, 1440,
         "1@1/1 12:00 0@31/1 12:00 1@1/2 12:00 1@1/3 12:00 0@31/3 12:00 1@1/4 12:00 "},
        {{"leap Yearly 29/02/-- 06:00 On"}, At(2023, 1, 1, 6, 0, 30), 6 * 365 + 1, 1440, "0@29/2 06:00 0@29/2 06:00 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines[0]);
        StoreTimerLines(c.lines);
        EXPECT_EQ(Walk(c.from, c.count, c.step), c.expected);
    }
    // Once and Today never match in another year; seconds do not matter.
    StoreTimerLines({"job Once 15/06/2025 10:30 On", "mirror Today 15/06/2025 10:30 On"});
    EXPECT_EQ(Walk(At(2024, 6, 15, 10, 30), 1) + Walk(At(2026, 6, 15, 10, 30), 1), "");
    EXPECT_EQ(TickAt(At(2025, 6, 15, 10, 30, 59)).started, (std::vector<int>{0, 1}));
}

// "cmd" targets (any case) start scripts, others links; malformed lines never start.
TEST_F(SchedulerTickTest, WhatATickStarts) {
    const std::string huge(1 << 20, 'x');
    StoreTimerLines({"/home/me/a.cmd Daily ---- 07:00 On", "/home/me/B.CMD Daily ---- 07:00 On B",
                     "cmd Daily ---- 07:00 On X", "weekly-sync Daily ---- 07:00 On", "a.cmdx Daily ---- 07:00 On",
                     "/home/me/My%20Scripts/100%25%20sync.cmd Daily ---- 07:00 On", "Site%20Group Daily ---- 07:00 On",
                     "", "job Daily ---- 07:00 On B extra", "job Sometimes ---- 07:00 On",
                     "job Monthly 32/--/-- 07:00 On", huge + " Daily ---- 07:00 On " + huge, huge,
                     "job\x01\x7f Daily ---- 07:00 Off \xff\xfe", "lower Daily ---- 07:00 on"});
    const TickReport report = TickAt(At(2025, 1, 2, 7, 0));
    EXPECT_EQ(report.started, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 11}));
    EXPECT_EQ(report.malformed, (std::vector<int>{7, 8, 9, 10, 12, 14}));
    EXPECT_EQ(scripts_, (std::vector<std::string>{"/home/me/a.cmd", "/home/me/B.CMD", "cmd",
                                                  "/home/me/My Scripts/100% sync.cmd"}));
    EXPECT_EQ(links_, (std::vector<std::string>{"weekly-sync", "a.cmdx", "Site Group", huge}));
    // A second tick in the same minute starts nothing.
    const TickReport again = TickAt(At(2025, 1, 2, 7, 0, 58));
    EXPECT_TRUE(again.repeatedMinute && again.started.empty());
    StoreTimerLines({"a Daily ---- 07:01 On", "b Daily ---- 07:01 On", "c Daily ---- 07:01 On"});
    RemovePrivateProfileKey("SCHEDULE", "Timer1", CurrentSettingsFile());
    EXPECT_EQ(TickAt(At(2025, 1, 2, 7, 1)).started, std::vector<int>{0});  // a missing key ends the tick
    Write(keys::TimerN, 1, "b Daily ---- 07:01 On");
    int day = 3;
    for (const auto& [count, started] : std::vector<std::pair<const char*, std::vector<int>>>{
             {"2", {0, 1}}, {"lots", {}}, {"-5", {}}, {"2147483647", {0, 1, 2}}}) {
        WriteProfileString("SCHEDULE", "NumTimers", count);
        EXPECT_EQ(TickAt(At(2025, 1, day++, 7, 1)).started, started) << count;
    }
    Scheduler bare(clock_, ScheduleActions{});  // without actions nothing crashes
    clock_.Set(At(2025, 1, 9, 7, 1));
    EXPECT_EQ(bare.Tick().started.size(), 3u);
}

// A late tick runs up to five skipped minutes; after a longer gap or a step back, only its own.
TEST_F(SchedulerTickTest, ALateTickCatchesUpOnAtMostFiveSkippedMinutes) {
    StoreTimerLines({"a Daily ---- 10:01 On", "b Daily ---- 10:03 On", "c Hourly ---- --:02 On",
                     "d Daily ---- 10:09 On", "e Daily ---- 10:11 On", "f Daily ---- 10:17 On"});
    const std::pair<LocalDateTime, std::vector<int>> ticks[] = {
        {At(2025, 1, 2, 10, 0), {}},
        {At(2025, 1, 2, 10, 4, 50), {0, 1, 2}},  // 10:01 to 10:03 skipped
        {At(2025, 1, 2, 10, 10), {3}},           // five skipped
        {At(2025, 1, 2, 10, 17), {5}},           // six skipped: 10:11 is not run late
        {At(2025, 1, 2, 10, 3), {1}},            // the clock went back
        {At(2025, 1, 3, 10, 2, 59), {2}},        // a day later (a suspended machine)
    };
    for (const auto& [when, started] : ticks) EXPECT_EQ(TickAt(when).started, started) << when;
}

// ---- the background resend and scheduler timers ----

using namespace std::chrono_literals;
using std::chrono::milliseconds;

TEST(ResendPeriod, LeadingMinutesWithLimits) {
    // Zero, negative and text give one minute; huge values are capped (71583 would wrap 32-bit ms).
    const std::pair<const char*, long long> cases[] = {
        {" 7 ", 7}, {"3 minutes", 3}, {"0", 1}, {"abc", 1}, {"-4", 1}, {"35791", 35791}, {"71583", 35791},
        {"99999999999999999999", 35791}};
    for (const auto& [text, minutes] : cases)
        EXPECT_EQ(ResendPeriodFromText(text), milliseconds{minutes * 60000}) << '"' << text << '"';
}

using BackgroundTimersTest = test::IsolatedHomeTest;

TEST_F(BackgroundTimersTest, ResendPassTimesFromTheSettingsAndTheirReload) {
    struct Case {
        int startAction;         // StartQueueProg; 1 sends the queue 5 s after start-up
        const char* resendTime;  // nullptr: absent
        const char* changedTo;   // ResendTime written by each pass (nullptr: none)
        milliseconds reloadAt;   // when the settings are reloaded with ResendTime `reloadTo` (0: never)
        const char* reloadTo;
        std::vector<milliseconds> passes;
    };
    const Case cases[] = {
        {0, nullptr, nullptr, 0ms, "", {10min, 20min, 30min}},  {7, "10", nullptr, 0ms, "", {10min}},
        {1, "3", nullptr, 0ms, "", {5s, 3min + 5s}},
        {1, "0", nullptr, 0ms, "", {5s, 1min + 5s, 2min + 5s}},  // never keeps the 5-second period
        {2, "4", "2", 0ms, "", {4min, 6min, 8min}},              // a change takes effect after the next pass
        {0, "10", nullptr, 1min, "3", {4min, 7min}},             // a reload: the new period counts from it
        {0, "10", nullptr, 1min, "10", {10min, 20min}},          // unchanged: the running period goes on
        {1, "10", nullptr, 1s, "3", {5s, 3min + 5s}},            // the 5-second first send is kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.startAction << " " << (c.resendTime ? c.resendTime : "absent") << " "
                                          << c.reloadTo);
        WriteInt(keys::StartQueueProg, c.startAction);
        if (c.resendTime != nullptr) WriteProfileString("SCHEDULE", "ResendTime", c.resendTime);
        ManualTimerService service;
        std::vector<milliseconds> passes;
        auto pass = [&] {
            passes.push_back(service.Now());
            if (c.changedTo) WriteProfileString("SCHEDULE", "ResendTime", c.changedTo);
            return 0;
        };
        BackgroundTimers timers(service, {pass, {}});
        if (c.reloadAt > 0ms) {
            service.Advance(c.reloadAt);
            WriteProfileString("SCHEDULE", "ResendTime", c.reloadTo);
            timers.ReloadResendPeriod();
        }
        service.Advance(c.passes.back() - 1ms - service.Now());
        EXPECT_EQ(passes.size() + 1, c.passes.size());
        service.Advance(1ms);
        EXPECT_EQ(passes, c.passes);
        EXPECT_FALSE(service.IsActive(kSchedulerTimerId));
    }
}

TEST_F(BackgroundTimersTest, SchedulerTicksFiveSecondsAfterEachStartThenEveryMinute) {
    ManualTimerService service;
    std::vector<milliseconds> ticks, passes;
    {
        auto pass = [&] { return passes.push_back(service.Now()), 1; };
        BackgroundTimers timers(service, {pass, [&] { ticks.push_back(service.Now()); }});
        timers.OnTimer(kSchedulerTimerId);  // never started: a late call does nothing
        timers.OnTimer(4242);               // an id it does not own
        service.Advance(3min);
        timers.SetSchedulerRunning(true);
        service.Advance(5s + 2min);
        EXPECT_EQ(ticks, (std::vector<milliseconds>{3min + 5s, 4min + 5s, 5min + 5s}));
        timers.SetSchedulerRunning(false);
        timers.OnTimer(kSchedulerTimerId);
        EXPECT_FALSE(service.IsActive(kSchedulerTimerId));
        service.Advance(4min);
        timers.SetSchedulerRunning(true);
        service.Advance(55s);
        EXPECT_EQ(ticks.size(), 4u);
        EXPECT_EQ(passes, (std::vector<milliseconds>{10min}));  // the resend timer runs whatever the scheduler does
    }
    // Destruction stops both timers.
    EXPECT_FALSE(service.IsActive(kResendTimerId) || service.IsActive(kSchedulerTimerId));
    EXPECT_EQ(service.Advance(1h), 0);
}

}  // namespace
}  // namespace zyfar
