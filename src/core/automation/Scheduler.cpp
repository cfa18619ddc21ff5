#include "automation/Scheduler.h"

#include "automation/ResendTimer.h"
#include "platform/MessageTable.h"
#include "platform/TextUtil.h"
#include "platform/UiHost.h"
#include "settings/IniFile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <tuple>
#include <utility>

namespace zyfar {
namespace {

constexpr int kFirstFrequencyMessage = 266;  // "Once"
constexpr int kFirstWeekdayMessage = 273;    // "Sunday"
constexpr int kFirstMonthMessage = 254;      // "January"
constexpr int kOnMessage = 291;
constexpr int kOffMessage = 293;
constexpr int kStartSchedulerMessage = 302;
constexpr int kStopSchedulerMessage = 303;
constexpr int kPastMessage = 295;
constexpr int kNoTargetMessage = 33046;
constexpr int kFrequencyCount = 7;

// Exactly `width` digits, value within [lo, hi].
std::optional<int> Digits(std::string_view text, std::size_t width, int lo, int hi) {
    if (text.size() != width) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.2d", value);
    return buffer;
}

struct DayMonthYear {
    int day = 0;
    int month = 0;
    int year = 0;
};

// "DD/MM/YYYY", a date that exists.
std::optional<DayMonthYear> ParseFullDate(std::string_view text) {
    if (text.size() != 10 || text[2] != '/' || text[5] != '/') return std::nullopt;
    const auto day = Digits(text.substr(0, 2), 2, 1, 31);
    const auto month = Digits(text.substr(3, 2), 2, 1, 12);
    const auto year = Digits(text.substr(6, 4), 4, 0, 9999);
    if (!day || !month || !year || *day > DaysInMonth(*year, *month)) return std::nullopt;
    return DayMonthYear{*day, *month, *year};
}

struct HourMinute {
    int hour = 0;
    int minute = 0;
};

// "HH:MM".
std::optional<HourMinute> ParseClockTime(std::string_view text) {
    if (text.size() != 5 || text[2] != ':') return std::nullopt;
    const auto hour = Digits(text.substr(0, 2), 2, 0, 23);
    const auto minute = Digits(text.substr(3, 2), 2, 0, 59);
    if (!hour || !minute) return std::nullopt;
    return HourMinute{*hour, *minute};
}

bool IsHourlyTime(std::string_view text) {
    return text.size() == 5 && text.substr(0, 3) == "--:" && Digits(text.substr(3, 2), 2, 0, 59).has_value();
}

bool IsWeekdayName(std::string_view text) {
    for (int d = 0; d < 7; ++d)
        if (text == WeekdayName(d)) return true;
    return false;
}

// "DD/--/--".
bool IsMonthlyDate(std::string_view text) {
    return text.size() == 8 && text.substr(2) == "/--/--" && Digits(text.substr(0, 2), 2, 1, 31).has_value();
}

// "DD/MM/--", a day the month has in a leap year.
bool IsYearlyDate(std::string_view text) {
    if (text.size() != 8 || text[2] != '/' || text.substr(5) != "/--") return false;
    const auto day = Digits(text.substr(0, 2), 2, 1, 31);
    const auto month = Digits(text.substr(3, 2), 2, 1, 12);
    return day && month && *day <= DaysInMonth(2000, *month);
}

bool DateFits(ScheduleFrequency frequency, std::string_view date) {
    switch (frequency) {
        case ScheduleFrequency::Once:
        case ScheduleFrequency::Today: return ParseFullDate(date).has_value();
        case ScheduleFrequency::Hourly:
        case ScheduleFrequency::Daily: return date == kScheduleNoDate;
        case ScheduleFrequency::Weekly: return IsWeekdayName(date);
        case ScheduleFrequency::Monthly: return IsMonthlyDate(date);
        case ScheduleFrequency::Yearly: return IsYearlyDate(date);
    }
    return false;
}

bool TimeFits(ScheduleFrequency frequency, std::string_view time) {
    if (frequency == ScheduleFrequency::Hourly) return IsHourlyTime(time);
    return ParseClockTime(time).has_value();
}

// The n of a "Timer<n>" key (any case), or -1.
long long TimerKeyNumber(std::string_view key) {
    constexpr std::string_view prefix = "timer";
    if (key.size() <= prefix.size() || key.size() > prefix.size() + 12) return -1;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if ((key[i] | 0x20) != prefix[i]) return -1;
    long long n = 0;
    for (std::size_t i = prefix.size(); i < key.size(); ++i) {
        if (!IsDigit(key[i])) return -1;
        n = n * 10 + (key[i] - '0');
    }
    return n;
}

LocalDateTime MinuteOf(LocalDateTime now) {
    now.second = 0;
    return now;
}

LocalDateTime PreviousMinute(LocalDateTime t) {
    if (--t.minute >= 0) return t;
    t.minute = 59;
    if (--t.hour >= 0) return t;
    t.hour = 23;
    if (--t.day >= 1) return t;
    if (--t.month < 1) {
        t.month = 12;
        --t.year;
    }
    t.day = DaysInMonth(t.year, t.month);
    return t;
}

bool AskOkCancel(int messageId) {
    return Ui().ShowMessage(std::string(MessageText(messageId)), MessageKind::Question, MessageButtons::OkCancel) ==
           MessageAnswer::Ok;
}

}  // namespace

std::string_view FrequencyName(ScheduleFrequency frequency) {
    return MessageText(kFirstFrequencyMessage + static_cast<int>(frequency));
}

std::optional<ScheduleFrequency> ParseFrequency(std::string_view name) {
    for (int i = 0; i < kFrequencyCount; ++i) {
        const auto frequency = static_cast<ScheduleFrequency>(i);
        if (name == FrequencyName(frequency)) return frequency;
    }
    return std::nullopt;
}

std::string_view WeekdayName(int weekday) {
    if (weekday < 0 || weekday > 6) return {};
    return MessageText(kFirstWeekdayMessage + weekday);
}

std::string_view MonthName(int month) {
    if (month < 1 || month > 12) return {};
    return MessageText(kFirstMonthMessage + month - 1);
}

std::string_view ScheduleOnText() { return MessageText(kOnMessage); }
std::string_view ScheduleOffText() { return MessageText(kOffMessage); }

std::string EncodeScheduleField(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || byte <= 0x20 || byte == 0x7F) {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string DecodeScheduleField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
            const int value = HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]);
            if (value != 0) {
                out.push_back(static_cast<char>(value));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::optional<ScheduleEntry> ParseScheduleLine(std::string_view line) {
    std::array<std::string_view, 6> fields;
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsWhiteSpace(line[i])) ++i;
        if (i == line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && !IsWhiteSpace(line[i])) ++i;
        if (count == fields.size()) return std::nullopt;  // more than six fields
        fields[count++] = line.substr(start, i - start);
    }
    if (count < 5) return std::nullopt;
    ScheduleEntry entry;
    entry.target = DecodeScheduleField(fields[0]);
    entry.frequency = fields[1];
    entry.date = fields[2];
    entry.time = fields[3];
    entry.state = fields[4];
    if (count == 6) entry.extra = fields[5];
    return entry;
}

std::string FormatScheduleLine(const ScheduleEntry& entry) {
    std::string line = EncodeScheduleField(entry.target);
    for (const std::string* field : {&entry.frequency, &entry.date, &entry.time, &entry.state}) {
        line.push_back(' ');
        line += EncodeScheduleField(*field);
    }
    return line;
}

bool IsWellFormed(const ScheduleEntry& entry) {
    if (entry.target.empty()) return false;
    if (entry.state != ScheduleOnText() && entry.state != ScheduleOffText()) return false;
    const auto frequency = ParseFrequency(entry.frequency);
    return frequency && DateFits(*frequency, entry.date) && TimeFits(*frequency, entry.time);
}

bool IsScriptTarget(std::string_view target) {
    if (target.size() < 3) return false;
    const std::string_view tail = target.substr(target.size() - 3);
    return (tail[0] | 0x20) == 'c' && (tail[1] | 0x20) == 'm' && (tail[2] | 0x20) == 'd';
}

std::string ScheduleDateText(const LocalDateTime& now) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2d/%.2d/%d", now.day, now.month, now.year);
    return buffer;
}

std::string ScheduleTimeText(const LocalDateTime& now) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2d:%.2d", now.hour, now.minute);
    return buffer;
}

bool IsDue(const ScheduleEntry& entry, const LocalDateTime& now) {
    if (!IsWellFormed(entry) || entry.state != ScheduleOnText()) return false;
    const std::string time = ScheduleTimeText(now);
    switch (*ParseFrequency(entry.frequency)) {
        case ScheduleFrequency::Once:
        case ScheduleFrequency::Today: return entry.date == ScheduleDateText(now) && entry.time == time;
        case ScheduleFrequency::Hourly: return entry.time == "--:" + TwoDigits(now.minute);
        case ScheduleFrequency::Daily: return entry.time == time;
        case ScheduleFrequency::Weekly:
            return entry.date == WeekdayName(DayOfWeek(now.year, now.month, now.day)) && entry.time == time;
        case ScheduleFrequency::Monthly: return entry.date == TwoDigits(now.day) + "/--/--" && entry.time == time;
        case ScheduleFrequency::Yearly:
            return entry.date == TwoDigits(now.day) + "/" + TwoDigits(now.month) + "/--" && entry.time == time;
    }
    return false;
}

bool IsExpired(const ScheduleEntry& entry, const LocalDateTime& now) {
    if (!IsWellFormed(entry)) return false;
    const auto frequency = ParseFrequency(entry.frequency);
    if (frequency != ScheduleFrequency::Once && frequency != ScheduleFrequency::Today) return false;
    const auto date = ParseFullDate(entry.date);
    const auto time = ParseClockTime(entry.time);
    return std::tie(date->year, date->month, date->day, time->hour, time->minute) <
           std::tie(now.year, now.month, now.day, now.hour, now.minute);
}

// ---- Scheduler ----

Scheduler::Scheduler(const Clock& clock, ScheduleActions actions) : clock_(clock), actions_(std::move(actions)) {}

TickReport Scheduler::Tick() {
    TickReport report;
    const LocalDateTime now = MinuteOf(clock_.Now());
    if (lastMinute_ && *lastMinute_ == now) {
        report.repeatedMinute = true;
        return report;
    }
    // The minutes to run: this one, and the ones skipped since the last tick
    // when that lies at most kScheduleCatchUpMinutes + 1 minutes back.
    std::vector<LocalDateTime> minutes{now};
    if (lastMinute_) {
        std::vector<LocalDateTime> skipped;
        LocalDateTime m = PreviousMinute(now);
        for (int i = 0; i < kScheduleCatchUpMinutes && !(m == *lastMinute_); ++i, m = PreviousMinute(m))
            skipped.push_back(m);
        if (m == *lastMinute_) minutes.insert(minutes.begin(), skipped.rbegin(), skipped.rend());
    }
    lastMinute_ = now;

    // One snapshot of the file for the whole tick.
    const IniDocument store = ReadPrivateProfile(CurrentSettingsFile());
    const auto count = store.Get(sections::Schedule, keys::NumTimers.key);
    const int numTimers = count ? ParseLeadingInt(*count) : keys::NumTimers.intDefault;
    for (int i = 0; i < numTimers; ++i) {
        const auto line = store.Get(sections::Schedule, NumberedKey(keys::TimerN, i));
        if (!line) break;
        const auto entry = ParseScheduleLine(*line);
        if (!entry || !IsWellFormed(*entry)) {
            report.malformed.push_back(i);
            continue;
        }
        if (std::none_of(minutes.begin(), minutes.end(), [&](const LocalDateTime& m) { return IsDue(*entry, m); }))
            continue;
        report.started.push_back(i);
        if (IsScriptTarget(entry->target)) {
            if (actions_.runScript) actions_.runScript(entry->target);
        } else if (actions_.runLink) {
            actions_.runLink(entry->target);
        }
    }
    return report;
}

// ---- Store access ----

LoadedSchedule LoadSchedule(const LocalDateTime& now) {
    LoadedSchedule loaded;
    const IniDocument store = ReadPrivateProfile(CurrentSettingsFile());
    for (int i = 0;; ++i) {
        const auto line = store.Get(sections::Schedule, NumberedKey(keys::TimerN, i));
        if (!line) break;
        auto entry = ParseScheduleLine(*line);
        if (!entry || !IsWellFormed(*entry)) {
            loaded.malformed.push_back({loaded.entries.size(), *line});
        } else if (IsExpired(*entry, now)) {
            ++loaded.expired;
        } else {
            entry->stored = *line;
            loaded.entries.push_back(std::move(*entry));
        }
    }
    return loaded;
}

bool SaveSchedule(const std::vector<ScheduleEntry>& entries, const std::vector<KeptScheduleLine>& kept) {
    std::vector<std::string> lines;
    std::size_t k = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        for (; k < kept.size() && kept[k].before <= i; ++k) lines.push_back(kept[k].line);
        const ScheduleEntry& entry = entries[i];
        if (!IsWellFormed(entry)) continue;
        const auto asStored = ParseScheduleLine(entry.stored);
        const bool unchanged = asStored && asStored->target == entry.target && asStored->frequency == entry.frequency &&
                               asStored->date == entry.date && asStored->time == entry.time &&
                               asStored->state == entry.state;
        lines.push_back(unchanged ? entry.stored : FormatScheduleLine(entry));
    }
    for (; k < kept.size(); ++k) lines.push_back(kept[k].line);

    return UpdatePrivateProfile(CurrentSettingsFile(), [&](IniDocument& doc) {
        auto setIfChanged = [&](const std::string& key, const std::string& value) {
            if (doc.Get(sections::Schedule, key) != value) doc.Set(sections::Schedule, key, value);
        };
        for (std::size_t i = 0; i < lines.size(); ++i) setIfChanged(NumberedKey(keys::TimerN, static_cast<int>(i)), lines[i]);
        for (const auto& [key, value] : doc.GetSection(sections::Schedule))
            if (TimerKeyNumber(key) >= static_cast<long long>(lines.size())) doc.RemoveKey(sections::Schedule, key);
        setIfChanged(keys::NumTimers.key, std::to_string(lines.size()));
    });
}

// ---- Making an entry ----

int MessageIdFor(ScheduleRequestError error) {
    switch (error) {
        case ScheduleRequestError::NoTarget: return kNoTargetMessage;
        case ScheduleRequestError::InPast: return kPastMessage;
        case ScheduleRequestError::None:
        case ScheduleRequestError::InvalidDate: return 0;
    }
    return 0;
}

ScheduleRequestResult MakeScheduleEntry(const ScheduleRequest& request, const LocalDateTime& now) {
    ScheduleRequestResult result;
    ScheduleEntry entry;
    entry.target = request.useScript && !request.scriptPath.empty() ? request.scriptPath : request.linkName;
    if (entry.target.empty()) {
        result.error = ScheduleRequestError::NoTarget;
        return result;
    }
    const bool timeOk = request.hour >= 0 && request.hour <= 23 && request.minute >= 0 && request.minute <= 59;
    const bool monthOk = request.month >= 1 && request.month <= 12;
    const bool dayOk = request.day >= 1 && request.day <= 31;
    const int year = request.year > now.year ? request.year : now.year;
    const std::string clock = TwoDigits(request.hour) + ":" + TwoDigits(request.minute);
    bool valid = timeOk;
    bool past = false;

    entry.frequency = FrequencyName(request.frequency);
    entry.time = clock;
    switch (request.frequency) {
        case ScheduleFrequency::Once:
            valid = valid && monthOk && year <= 9999 && dayOk && request.day <= DaysInMonth(year, request.month);
            entry.date = TwoDigits(request.day) + "/" + TwoDigits(request.month) + "/" + std::to_string(year);
            past = std::tie(year, request.month, request.day, request.hour, request.minute) <=
                   std::tie(now.year, now.month, now.day, now.hour, now.minute);
            break;
        case ScheduleFrequency::Today:
            entry.date = ScheduleDateText(now);
            past = std::tie(request.hour, request.minute) <= std::tie(now.hour, now.minute);
            break;
        case ScheduleFrequency::Hourly:
            valid = request.minute >= 0 && request.minute <= 59;
            entry.date = kScheduleNoDate;
            entry.time = "--:" + TwoDigits(request.minute);
            break;
        case ScheduleFrequency::Daily: entry.date = kScheduleNoDate; break;
        case ScheduleFrequency::Weekly:
            valid = valid && request.weekday >= 0 && request.weekday <= 6;
            entry.date = WeekdayName(request.weekday);
            break;
        case ScheduleFrequency::Monthly:
            valid = valid && dayOk;
            entry.date = TwoDigits(request.day) + "/--/--";
            break;
        case ScheduleFrequency::Yearly:
            valid = valid && monthOk && dayOk && request.day <= DaysInMonth(2000, request.month);
            entry.date = TwoDigits(request.day) + "/" + TwoDigits(request.month) + "/--";
            break;
    }
    entry.state = ScheduleOnText();
    if (!valid || !IsWellFormed(entry)) {
        result.error = ScheduleRequestError::InvalidDate;
    } else if (past) {
        result.error = ScheduleRequestError::InPast;
    } else {
        result.entry = std::move(entry);
    }
    return result;
}

void ToggleScheduleState(ScheduleEntry& entry) {
    entry.state = entry.state == ScheduleOnText() ? ScheduleOffText() : ScheduleOnText();
}

ScheduleRequest ScheduleFieldsAtNextMinute(const LocalDateTime& now) {
    LocalDateTime t = MinuteOf(now);
    if (++t.minute > 59) {
        t.minute = 0;
        if (++t.hour > 23) {
            t.hour = 0;
            if (++t.day > DaysInMonth(t.year, t.month)) {
                t.day = 1;
                if (++t.month > 12) {
                    t.month = 1;
                    ++t.year;
                }
            }
        }
    }
    ScheduleRequest fields;
    fields.day = t.day;
    fields.month = t.month;
    fields.year = t.year;
    fields.hour = t.hour;
    fields.minute = t.minute;
    fields.weekday = DayOfWeek(t.year, t.month, t.day);
    return fields;
}

std::optional<ScheduleRequest> ScheduleFieldsOf(const ScheduleEntry& entry, const ScheduleRequest& shown) {
    if (!IsWellFormed(entry)) return std::nullopt;
    ScheduleRequest fields = shown;
    fields.frequency = *ParseFrequency(entry.frequency);
    const std::string_view date = entry.date;
    if (fields.frequency == ScheduleFrequency::Hourly) {
        fields.minute = *Digits(std::string_view(entry.time).substr(3, 2), 2, 0, 59);
    } else {
        const auto time = ParseClockTime(entry.time);
        fields.hour = time->hour;
        fields.minute = time->minute;
    }
    switch (fields.frequency) {
        case ScheduleFrequency::Once:
        case ScheduleFrequency::Today: {
            const auto full = ParseFullDate(date);
            fields.day = full->day;
            fields.month = full->month;
            fields.year = full->year;
            break;
        }
        case ScheduleFrequency::Hourly:
        case ScheduleFrequency::Daily: break;
        case ScheduleFrequency::Weekly:
            for (int d = 0; d < 7; ++d)
                if (date == WeekdayName(d)) fields.weekday = d;
            break;
        case ScheduleFrequency::Monthly: fields.day = *Digits(date.substr(0, 2), 2, 1, 31); break;
        case ScheduleFrequency::Yearly:
            fields.day = *Digits(date.substr(0, 2), 2, 1, 31);
            fields.month = *Digits(date.substr(3, 2), 2, 1, 12);
            break;
    }
    return fields;
}

void ForgetScheduleRow(std::vector<KeptScheduleLine>& kept, std::size_t row) {
    for (KeptScheduleLine& line : kept)
        if (line.before > row) --line.before;
}

// ---- Start and stop ----

bool SchedulerEnabledInSettings() { return ReadNotNo(keys::Scheduler); }

void StoreSchedulerEnabled(bool enabled) { Write(keys::Scheduler, enabled ? "YES" : "NO"); }

bool StartSchedulerFromSettings(BackgroundTimers& timers) {
    const bool enabled = SchedulerEnabledInSettings();
    if (enabled) timers.SetSchedulerRunning(true);
    return enabled;
}

std::optional<bool> ToggleSchedulerCommand(BackgroundTimers& timers) {
    const bool running = timers.SchedulerRunning();
    if (!AskOkCancel(running ? kStopSchedulerMessage : kStartSchedulerMessage)) return std::nullopt;
    timers.SetSchedulerRunning(!running);
    StoreSchedulerEnabled(!running);
    return !running;
}

}  // namespace zyfar
