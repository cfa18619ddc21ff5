#pragma once
// Shared pieces of the scheduler tests: calendar stepping done with the C
// library (independent of the code under test) and a store of entries in a
// temporary settings file.
#include "automation/Scheduler.h"
#include "core/settings/SettingsTestSupport.h"
#include "platform/Clock.h"
#include "settings/Keys.h"

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace zyfar {

inline std::ostream& operator<<(std::ostream& out, const LocalDateTime& t) {
    return out << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':' << t.second;
}

namespace test {

inline LocalDateTime At(int year, int month, int day, int hour, int minute, int second = 0) {
    return LocalDateTime{year, month, day, hour, minute, second};
}

// t moved by `minutes` (may be negative), through the C library's UTC calendar.
inline LocalDateTime AddMinutes(const LocalDateTime& t, long long minutes) {
    std::tm parts{};
    parts.tm_year = t.year - 1900;
    parts.tm_mon = t.month - 1;
    parts.tm_mday = t.day;
    parts.tm_hour = t.hour;
    parts.tm_min = t.minute;
    parts.tm_sec = t.second;
    std::time_t when = ::timegm(&parts);
    when += static_cast<std::time_t>(minutes * 60);
    std::tm out{};
    ::gmtime_r(&when, &out);
    return LocalDateTime{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec};
}

// The C library's weekday of a date (0 Sunday).
inline int LibcWeekday(int year, int month, int day) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = 12;
    std::time_t when = ::timegm(&parts);
    std::tm out{};
    ::gmtime_r(&when, &out);
    return out.tm_wday;
}

// Writes NumTimers and Timer0.. with the given raw lines.
inline void StoreTimerLines(const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) Write(keys::TimerN, static_cast<int>(i), lines[i]);
    WriteInt(keys::NumTimers, static_cast<int>(lines.size()));
}

}  // namespace test
}  // namespace zyfar
