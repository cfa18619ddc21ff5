#include "platform/Clock.h"

#include <ctime>

namespace zyfar {

LocalDateTime SystemClock::Now() const {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (::localtime_r(&now, &parts) == nullptr) return {};
    LocalDateTime result;
    result.year = parts.tm_year + 1900;
    result.month = parts.tm_mon + 1;
    result.day = parts.tm_mday;
    result.hour = parts.tm_hour;
    result.minute = parts.tm_min;
    // tm_sec may be 60 during a leap second; the log never prints more than 59.
    result.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
    return result;
}

void FixedClock::Set(const LocalDateTime& now) {
    std::lock_guard guard(mutex_);
    now_ = now;
}

LocalDateTime FixedClock::Now() const {
    std::lock_guard guard(mutex_);
    return now_;
}

int DayOfWeek(int year, int month, int day) noexcept {
    // Days from 1970-01-01 (a Thursday) by the civil-from-days inverse.
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long mp = (month + 9) % 12;  // March = 0
    const long long doy = (153 * mp + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097 + doe - 719468;
    const long long weekday = (days % 7 + 7 + 4) % 7;  // 1970-01-01 was day 4 (Thursday)
    return static_cast<int>(weekday);
}

bool IsLeapYear(int year) noexcept { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) noexcept {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

const Clock& SystemClockInstance() {
    static const SystemClock clock;
    return clock;
}

}  // namespace zyfar
