#include "engine/ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace zyfar {

namespace {

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char buffer[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(std::min<int>(n, sizeof buffer - 1)));
}

}  // namespace

std::string FormatSentText(std::int64_t done, std::int64_t total) {
    if (total <= 0) {
        return {};
    }
    const double percent = static_cast<double>(done) * 100.0 / static_cast<double>(total);
    return Format("Sent %lld bytes out of %lld (%.2f%%)", static_cast<long long>(done),
                  static_cast<long long>(total), percent);
}

std::string FormatRateText(std::int64_t bytes, std::int64_t seconds) {
    const std::int64_t s = seconds < 1 ? 1 : seconds;
    return Format("%.2f kbs", static_cast<double>(bytes) / static_cast<double>(s) * 0.001);
}

std::optional<double> TimeLeftSeconds(std::int64_t total, std::int64_t done, std::int64_t elapsed) {
    if (done <= 0) {
        return std::nullopt;
    }
    if (done >= total) {
        return 0.0;
    }
    return static_cast<double>(total - done) * static_cast<double>(elapsed) / static_cast<double>(done);
}

std::string FormatTimeLeft(double seconds) {
    if (!(seconds >= 0.0)) {
        seconds = 0.0;  // also NaN
    }
    if (seconds > 3600.0) {
        const auto t = static_cast<long long>(std::min(seconds, 9.0e15));
        return Format("Left: %.2lld:%.2lld:%.2lld", t / 3600, (t % 3600) / 60, t % 60);
    }
    if (seconds > 60.0) {
        const auto t = static_cast<long long>(seconds);
        return Format("Left: %.2lld:%.2lld", t / 60, t % 60);
    }
    return Format("Left: %.2f secs", seconds);
}

int BarPosition(std::int64_t done, std::int64_t total, int countUp) {
    int position = 0;
    if (total > 0 && done > 0) {
        // done * 100 / total without overflowing for sizes near 2^63
        const std::int64_t clamped = std::min(done, total);
        position = clamped >= total ? 100
                                    : static_cast<int>(static_cast<long double>(clamped) * 100.0L /
                                                       static_cast<long double>(total));
        position = std::clamp(position, 0, 100);
    }
    return countUp == 1 ? position : 100 - position;
}

std::string GroupDigits(std::int64_t value) {
    if (value == 0) {
        return {};
    }
    const bool negative = value < 0;
    // Work on the unsigned magnitude so the most negative value is safe.
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out.append(digits, 0, lead);
    for (std::size_t i = lead; i < digits.size(); i += 3) {
        out.push_back(',');
        out.append(digits, i, 3);
    }
    return negative ? "-" + out : out;
}

std::string FormatStatisticsTime(double seconds) {
    if (seconds >= 3600.0) {
        const auto t = static_cast<long long>(std::min(seconds, 9.0e15));
        const long long hours = t / 3600;
        const long long rest = t - hours * 3600;
        return Format("%lld hr %lld min %lld secs", hours, rest / 60, rest % 60);
    }
    if (seconds >= 60.0) {
        const auto t = static_cast<long long>(seconds);
        return Format("%lld min %lld secs", t / 60, t % 60);
    }
    return Format("%.0f secs", seconds);
}

std::string FormatStatisticsRate(std::int64_t bytes, double seconds) {
    if (!(seconds > 0.0)) {
        return {};
    }
    return Format("%.2f", static_cast<double>(bytes) / (seconds * 1000.0));
}

}  // namespace zyfar
