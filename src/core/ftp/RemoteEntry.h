#pragma once
// One entry of a remote directory listing, as every listing parser returns it.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace zyfar {

// A calendar time as the server gave it (no time-zone conversion).
struct RemoteTime {
    int year = 0;    // four digits, e.g. 2026
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
    bool valid = false;
    friend bool operator==(const RemoteTime&, const RemoteTime&) = default;
};

// A server time (taken as UTC) in seconds since 1970; nothing when the time
// is not valid.
[[nodiscard]] inline std::optional<std::int64_t> RemoteTimeToEpoch(const RemoteTime& time) {
    if (!time.valid) return std::nullopt;
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    return static_cast<std::int64_t>(::timegm(&tm));
}

struct RemoteEntry {
    std::string name;             // never ".", "..", never holds '/', NUL, CR or LF
    bool isDirectory = false;
    bool isLink = false;          // a symbolic link; linkTarget holds what it points at
    std::string linkTarget;
    std::int64_t size = -1;       // bytes; -1 when the listing did not say
    // The listing gave the size only roughly (VMS blocks, "33.5k", an edit
    // file's end-of-file): good to show, not to check a transfer against.
    bool sizeApproximate = false;
    RemoteTime modified;          // last-write time
    std::string permissions;      // e.g. "-rw-r--r--" when the listing gives it
    friend bool operator==(const RemoteEntry&, const RemoteEntry&) = default;
};

}  // namespace zyfar
