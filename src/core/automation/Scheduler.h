#pragma once
// The scheduler: entries in section SCHEDULE of the settings store
// ("NumTimers", "Timer0", "Timer1", ...), each one line
//
//     target frequency date time state [extra]
//
// with fields separated by single blanks. The target is a script path (ending
// in "cmd", any case) or a link name; since a field holds no blank, a blank is
// stored as "%20" and a "%" as "%25" (other white space and control characters
// as "%XX" too). The optional sixth field is read ("B" when absent) but has no
// use and is not written.
//
// Fields by frequency (day and month two digits, the year four):
//
//     Once     DD/MM/YYYY   HH:MM
//     Today    DD/MM/YYYY   HH:MM   (the day the entry was added)
//     Hourly   ----         --:MM
//     Daily    ----         HH:MM
//     Weekly   Sunday..     HH:MM   (weekday names of the string table)
//     Monthly  DD/--/--     HH:MM
//     Yearly   DD/MM/--     HH:MM
//
// The tick runs once a minute while the scheduler is started and compares the
// fields as text with today's date "DD/MM/YYYY", the time "HH:MM", today's
// weekday name, "DD/--/--" and "DD/MM/--". Every entry that is "On" and
// matches starts: a script run for a script target, a link run otherwise.
//
// Lines that do not have this shape (wrong field count, unknown frequency or
// state, a date or time that does not fit the frequency) are malformed: the
// tick never starts them and reports them; the editor does not show them, and
// saving keeps them as they are.
//
// A tick that comes late also runs the minutes it skipped since the previous
// tick, up to kScheduleCatchUpMinutes of them, each entry at most once; after
// a longer gap (a suspended machine) only the current minute runs.
#include "platform/Clock.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

class BackgroundTimers;

enum class ScheduleFrequency { Once, Today, Hourly, Daily, Weekly, Monthly, Yearly };

// "Once" .. "Yearly" (string-table entries 266 to 272).
[[nodiscard]] std::string_view FrequencyName(ScheduleFrequency frequency);
// Exact comparison with the seven names.
[[nodiscard]] std::optional<ScheduleFrequency> ParseFrequency(std::string_view name);
// "Sunday" .. "Saturday" for 0 .. 6 (entries 273 to 279); empty outside.
[[nodiscard]] std::string_view WeekdayName(int weekday);
// "January" .. "December" for 1 .. 12 (entries 254 to 265); empty outside.
[[nodiscard]] std::string_view MonthName(int month);
// "On" (entry 291) and "Off" (entry 293).
[[nodiscard]] std::string_view ScheduleOnText();
[[nodiscard]] std::string_view ScheduleOffText();

inline constexpr const char* kScheduleNoDate = "----";
inline constexpr const char* kScheduleDefaultExtra = "B";
inline constexpr int kScheduleCatchUpMinutes = 5;

struct ScheduleEntry {
    std::string target;  // the script path or link name as the user gave it
    std::string frequency;
    std::string date;
    std::string time;
    std::string state;
    std::string extra = kScheduleDefaultExtra;
    std::string stored;  // the line as loaded ("" for a new entry); written back as it was while the fields match

    friend bool operator==(const ScheduleEntry&, const ScheduleEntry&) = default;
};

// "%20" for a blank, "%25" for "%", "%XX" (upper-case hex) for other white
// space and control characters; everything else as it is.
[[nodiscard]] std::string EncodeScheduleField(std::string_view text);
// The reverse: "%XX" with two hex digits becomes that byte, except "%00"; any
// other "%" stays as it is.
[[nodiscard]] std::string DecodeScheduleField(std::string_view text);

// Splits a stored line at white space: six fields, or five and extra "B".
// Nothing for any other field count. The target is decoded.
[[nodiscard]] std::optional<ScheduleEntry> ParseScheduleLine(std::string_view line);
// The five fields joined by single blanks, the target encoded.
[[nodiscard]] std::string FormatScheduleLine(const ScheduleEntry& entry);

// True when the entry's frequency, date, time and state have the shapes of
// the table above (ranges included: hour 00-23, minute 00-59, day 01-31,
// month 01-12; a "Once", "Today" or "Yearly" date must exist in the calendar,
// "29/02/--" does) and the target is not empty.
[[nodiscard]] bool IsWellFormed(const ScheduleEntry& entry);

// The last three characters are "cmd" in any case.
[[nodiscard]] bool IsScriptTarget(std::string_view target);

// "DD/MM/YYYY" and "HH:MM" of a local time.
[[nodiscard]] std::string ScheduleDateText(const LocalDateTime& now);
[[nodiscard]] std::string ScheduleTimeText(const LocalDateTime& now);

// The entry is well formed, "On", and its frequency matches `now` (seconds
// are ignored).
[[nodiscard]] bool IsDue(const ScheduleEntry& entry, const LocalDateTime& now);

// A "Once" or "Today" entry whose date and time lie before the minute of
// `now` (its minute is over, it will never fire again). False for the other
// frequencies and for malformed entries.
[[nodiscard]] bool IsExpired(const ScheduleEntry& entry, const LocalDateTime& now);

// ---- The tick ----

struct ScheduleActions {
    std::function<void(const std::string& scriptPath)> runScript;
    std::function<void(const std::string& linkName)> runLink;
};

struct TickReport {
    std::vector<int> started;    // entry numbers (the n of "Timer<n>") started
    std::vector<int> malformed;  // entry numbers skipped as malformed
    bool repeatedMinute = false; // a second tick within one minute did nothing
};

class Scheduler {
public:
    Scheduler(const Clock& clock, ScheduleActions actions);

    // Reads NumTimers and Timer0 .. Timer<NumTimers-1> (a missing key ends the
    // list) and starts every entry due in this minute or in a skipped one (see
    // above), in order. A tick in the same minute as the previous one does
    // nothing, so an early timer never starts an entry twice. Runs on the
    // thread of the timer service (the GUI thread).
    TickReport Tick();

private:
    const Clock& clock_;
    ScheduleActions actions_;
    std::optional<LocalDateTime> lastMinute_;  // seconds zeroed
};

// ---- Store access for the editor ----

struct KeptScheduleLine {
    std::size_t before = 0;  // the number of loaded entries in front of it
    std::string line;        // as stored
};

struct LoadedSchedule {
    std::vector<ScheduleEntry> entries;
    int expired = 0;                      // "Once"/"Today" entries left out, past their time
    std::vector<KeptScheduleLine> malformed;  // lines the editor does not show, kept by the save
};

// Entries from Timer0 on until a key is missing (NumTimers is not consulted).
// Expired entries are left out (the next save drops them); malformed lines
// are not shown but kept.
[[nodiscard]] LoadedSchedule LoadSchedule(const LocalDateTime& now);

// Writes the edited entries in one file update, as Timer0.. with NumTimers
// their number: each kept line goes back in front of the entry it stood
// before (or at the end), an entry whose fields are as loaded keeps its
// stored line, and keys whose value is unchanged are not touched (nothing is
// written when nothing changed). Stale "Timer<n>" keys above the new count
// are removed. False when the settings file could not be written.
bool SaveSchedule(const std::vector<ScheduleEntry>& entries, const std::vector<KeptScheduleLine>& kept = {});

// ---- Making an entry in the editor ----

struct ScheduleRequest {
    bool useScript = false;     // "Schedule Script File" checked
    std::string scriptPath;
    std::string linkName;       // the selected link ("" for none)
    ScheduleFrequency frequency = ScheduleFrequency::Once;
    int day = 1;                // 1-31
    int month = 1;              // 1-12
    int year = 0;               // typed year; a year not after the current one means this year
    int hour = 0;               // 0-23
    int minute = 0;             // 0-59
    int weekday = 0;            // 0 Sunday .. 6 Saturday
};

enum class ScheduleRequestError {
    None,
    NoTarget,     // message 33046 "Please select a profile!"
    InPast,       // message 295 "Can't schedule in the past ... Please change time!"
    InvalidDate,  // a field out of range, or a day the month does not have
};

// The string-table number of the message for an error (0 for None and InvalidDate).
[[nodiscard]] int MessageIdFor(ScheduleRequestError error);

struct ScheduleRequestResult {
    std::optional<ScheduleEntry> entry;  // state "On"
    ScheduleRequestError error = ScheduleRequestError::None;
};

// The entry the editor's "Add" makes: the target is the script path when
// useScript is set and the path is not empty, else the link name. A "Once"
// entry must lie after the current minute; a "Today" entry's time must lie
// after the current time of day.
[[nodiscard]] ScheduleRequestResult MakeScheduleEntry(const ScheduleRequest& request, const LocalDateTime& now);

// "On" <-> "Off".
void ToggleScheduleState(ScheduleEntry& entry);

// The moment the editor's fields start at (when it opens and on Reset): the
// next whole minute after `now`, rolling over the hour, day, month and year,
// with the weekday of that date. Target and frequency are left empty.
[[nodiscard]] ScheduleRequest ScheduleFieldsAtNextMinute(const LocalDateTime& now);

// The fields an entry shows when it is picked in the editor's list: its
// frequency and the day, month, year, weekday, hour and minute the frequency
// stores; the fields it does not store keep their values from `shown`.
// Nothing for a malformed entry. The target fields are not touched.
[[nodiscard]] std::optional<ScheduleRequest> ScheduleFieldsOf(const ScheduleEntry& entry, const ScheduleRequest& shown);

// The editor removed the entry at `row`: the kept lines after it move up by
// one, so that each stays in front of the entry it stood before.
void ForgetScheduleRow(std::vector<KeptScheduleLine>& kept, std::size_t row);

// ---- Start and stop ----

// CONFIG Scheduler: started at start-up unless it is "NO".
[[nodiscard]] bool SchedulerEnabledInSettings();
void StoreSchedulerEnabled(bool enabled);

// Start-up: starts the scheduler timer when the setting says so. Returns the
// state (for the check marks and the animation).
bool StartSchedulerFromSettings(BackgroundTimers& timers);

// The Start/Stop Scheduler command: asks message 303 "Stop Scheduler?" or 302
// "Start Scheduler?" (OK/Cancel, question icon) through the UI host; on OK
// stops or starts timer 1000 and stores "NO" or "YES". Returns the new state
// when it changed, nothing on Cancel.
std::optional<bool> ToggleSchedulerCommand(BackgroundTimers& timers);

}  // namespace zyfar
