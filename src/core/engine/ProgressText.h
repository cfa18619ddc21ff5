#pragma once
// The texts of the transfer window's progress fields and of the statistics
// window, produced from numbers on demand. All byte counts are 64-bit.
#include <cstdint>
#include <optional>
#include <string>

namespace zyfar {

// "Sent %ld bytes out of %ld (%.2f%%)" with done, total and done*100/total.
// Empty when total is not above 0.
[[nodiscard]] std::string FormatSentText(std::int64_t done, std::int64_t total);

// "%.2f kbs" with bytes / seconds * 0.001 (1000-byte kilobytes per second).
// Seconds below 1 count as 1.
[[nodiscard]] std::string FormatRateText(std::int64_t bytes, std::int64_t seconds);

// Seconds left: (total - done) * elapsed / done; nothing while done is not
// above 0; 0 once done reaches total.
[[nodiscard]] std::optional<double> TimeLeftSeconds(std::int64_t total, std::int64_t done, std::int64_t elapsed);

// "Left: %.2d:%.2d:%.2d" above 3600 s, "Left: %.2d:%.2d" above 60 s up to
// 3600 s, else "Left: %.2f secs". Hours, minutes and seconds are those of the
// truncated value.
[[nodiscard]] std::string FormatTimeLeft(double seconds);

// A progress bar position 0..100 for done out of total (integer percent,
// clamped), counted down (100 - position) when countUp is not 1. A total
// that is not above 0 gives the start position.
[[nodiscard]] int BarPosition(std::int64_t done, std::int64_t total, int countUp);

// ---- statistics window ----

// Decimal digits grouped by "," in threes from the right; 0 gives "".
[[nodiscard]] std::string GroupDigits(std::int64_t value);

// "%d hr %d min %d secs" from 3600 s on, "%d min %d secs" from 60 s, else
// "%.0f secs".
[[nodiscard]] std::string FormatStatisticsTime(double seconds);

// "%.2f" of bytes / (seconds * 1000); empty when seconds is not above 0.
[[nodiscard]] std::string FormatStatisticsRate(std::int64_t bytes, double seconds);

}  // namespace zyfar
