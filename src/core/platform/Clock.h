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

// One SystemClock for the whole process.
[[nodiscard]] const Clock& SystemClockInstance();

}  // namespace zyfar
