#pragma once
// Local calendar time for the parts of Zyfar that print dates and times (the
// transfer log). The clock is an interface so tests can fix "now".
#include <mutex>

namespace zyfar {

// A broken-down local time: month 1-12, day 1-31, hour 0-23.
struct LocalDateTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The current local time. Must be safe to call from any thread.
    [[nodiscard]] virtual LocalDateTime Now() const = 0;
};

// The machine's clock in the local time zone.
class SystemClock final : public Clock {
public:
    [[nodiscard]] LocalDateTime Now() const override;
};

// A clock that shows whatever it was last set to.
class FixedClock final : public Clock {
public:
    explicit FixedClock(const LocalDateTime& now = {}) : now_(now) {}
    void Set(const LocalDateTime& now);
    [[nodiscard]] LocalDateTime Now() const override;

private:
    mutable std::mutex mutex_;
    LocalDateTime now_;
};

// Calendar helpers (proleptic Gregorian calendar).
// Day of the week of a date: 0 Sunday .. 6 Saturday.
[[nodiscard]] int DayOfWeek(int year, int month, int day) noexcept;
[[nodiscard]] bool IsLeapYear(int year) noexcept;
// Days of a month (1-12) of a year; 0 for a month outside 1-12.
[[nodiscard]] int DaysInMonth(int year, int month) noexcept;

// One SystemClock for the whole process.
[[nodiscard]] const Clock& SystemClockInstance();

}  // namespace zyfar
