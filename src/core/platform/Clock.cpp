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

const Clock& SystemClockInstance() {
    static const SystemClock clock;
    return clock;
}

}  // namespace zyfar
