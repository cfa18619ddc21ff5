#include "ftp/ListingCommon.h"

#include <charconv>
#include <ctime>
#include <utility>

namespace zyfar {

bool IsSafeRemoteName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           !HasLineBreakOrNul(name);
}

namespace listing {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool ParseDecimal(std::string_view s, std::int64_t& value) {
    if (!AllDigits(s)) return false;
    std::int64_t v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;  // overflow
    value = v;
    return true;
}

bool ParseSmallInt(std::string_view s, int& value, std::size_t maxDigits) {
    if (s.size() > maxDigits || !AllDigits(s)) return false;
    int v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    value = v;
    return true;
}

int MonthFromName(std::string_view s) {
    static constexpr std::string_view kNames[12] = {
        "january", "february", "march",     "april",   "may",      "june",
        "july",    "august",   "september", "october", "november", "december"};
    if (s.size() < 3) return 0;
    for (int m = 0; m < 12; ++m) {
        const std::string_view full = kNames[m];
        if (s.size() == 3 ? EqualsNoCase(s, full.substr(0, 3)) : EqualsNoCase(s, full)) return m + 1;
    }
    return 0;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

// Shifts the year to start in March, so the leap day is the last day of the
// shifted year; 400-year eras of 146097 days then make the count exact.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;                        // 0..399
    const std::int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;  // March = 0
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;  // 719468: days from 0000-03-01 to 1970-01-01
}

RemoteTime TimeFromUnixSeconds(std::int64_t seconds) {
    RemoteTime t;
    // Years 1..9999 only: keeps every step below far from overflow.
    constexpr std::int64_t kMin = -62135596800LL;  // 0001-01-01T00:00:00
    constexpr std::int64_t kMax = 253402300799LL;  // 9999-12-31T23:59:59
    if (seconds < kMin || seconds > kMax) return t;
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    t.year = static_cast<int>(year);
    t.month = static_cast<int>(month);
    t.day = static_cast<int>(day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.valid = true;
    return t;
}

bool ParseClock(std::string_view s, int& hour, int& minute, int& second) {
    // H:MM or HH:MM, then optional :SS and an optional fraction.
    const std::size_t c1 = s.find(':');
    if (c1 == std::string_view::npos || c1 == 0 || c1 > 2) return false;
    int h = 0, m = 0, sec = 0;
    if (!ParseSmallInt(s.substr(0, c1), h, 2)) return false;
    std::string_view rest = s.substr(c1 + 1);
    if (rest.size() < 2 || !ParseSmallInt(rest.substr(0, 2), m, 2)) return false;
    rest.remove_prefix(2);
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 3 || !ParseSmallInt(rest.substr(1, 2), sec, 2)) {
            return false;
        }
        rest.remove_prefix(3);
        if (!rest.empty()) {
            if (rest.front() != '.' && rest.front() != ',') return false;
            if (rest.size() > 1 && !AllDigits(rest.substr(1))) return false;
        }
    }
    if (h > 23 || m > 59 || sec > 60) return false;
    hour = h;
    minute = m;
    second = sec > 59 ? 59 : sec;  // a leap second shows as :59
    return true;
}

RemoteTime NowOrSystem(const ListingContext& ctx) {
    if (ctx.now.valid) return ctx.now;
    return TimeFromUnixSeconds(static_cast<std::int64_t>(std::time(nullptr)));
}

LineResult MakeEntry(RemoteEntry&& e) {
    if (!IsSafeRemoteName(e.name) || HasLineBreakOrNul(e.linkTarget)) return Ignored();
    LineResult r;
    r.kind = LineResult::Entry;
    r.entry = std::move(e);
    return r;
}

}  // namespace listing
}  // namespace zyfar
