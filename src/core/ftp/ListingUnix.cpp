// Unix `ls -l` style listings, as sent by most servers and by Windows
// servers set to Unix-style output. The fields before the date vary a lot
// (link count, owner and group may be missing, numeric, or hold blanks), so
// the parser finds the date first and takes the number in front of it as
// the size. The name is the rest of the line after the single blank that
// follows the date: inner, leading and trailing blanks all belong to it.
#include "ftp/ListingCommon.h"

namespace zyfar {
namespace {

using namespace listing;

constexpr std::size_t kMaxTokens = 16;  // the date always starts within the first few fields
using UnixTokens = Tokens<kMaxTokens>;

// "drwxr-xr-x", "-rw-r--r--+" (ACL), "-rw-r--r--." (SELinux context),
// "-rw-r--r--@" (extended attributes). Returns the type letter or 0.
char PermissionType(std::string_view p) {
    if (p.size() == 11) {
        const char mark = p[10];
        if (mark != '+' && mark != '.' && mark != '@') return 0;
    } else if (p.size() != 10) {
        return 0;
    }
    const char type = p[0];
    if (std::string_view("-dlbcpsD").find(type) == std::string_view::npos) return 0;
    for (std::size_t i = 1; i < 10; ++i) {
        if (std::string_view("-rwxsStTlL").find(p[i]) == std::string_view::npos) return 0;
    }
    return type;
}

struct DateMatch {
    RemoteTime time;
    std::size_t lastToken = 0;  // index of the date's last token
};

// A year-less date: the year that puts it nearest to now. ls shows the time
// instead of the year only for dates within about half a year of now, so a
// date more than half a year ahead is from last year, and (with a server
// clock a little ahead at the turn of the year) one more than half a year
// behind is from next year.
bool InferYear(int month, int day, const ListingContext& ctx, int& year) {
    const RemoteTime now = NowOrSystem(ctx);
    if (!now.valid) return false;
    const std::int64_t today = DaysFromCivil(now.year, now.month, now.day);
    bool found = false;
    std::int64_t best = 0;
    for (int y = now.year - 1; y <= now.year + 1; ++y) {
        if (!IsValidDate(y, month, day)) continue;  // Feb 29 outside leap years
        const std::int64_t diff = DaysFromCivil(y, month, day) - today;
        const std::int64_t dist = diff < 0 ? -diff : diff;
        // On a tie (exactly half a year either way) the earlier year wins.
        if (!found || dist < best) {
            found = true;
            best = dist;
            year = y;
        }
    }
    // Feb 29 with no leap year within a year of now: the latest leap year
    // before now (never more than eight years back).
    for (int y = now.year - 2; !found && y >= now.year - 8; --y) {
        if (IsValidDate(y, month, day)) {
            found = true;
            year = y;
        }
    }
    return found;
}

// "12:00" (year inferred) or "2020" in the third field of a month-day date.
bool TimeOrYear(std::string_view s, int month, int day, const ListingContext& ctx, RemoteTime& t) {
    int hour = 0, minute = 0, second = 0;
    if (ParseClock(s, hour, minute, second)) {
        int year = 0;
        if (!InferYear(month, day, ctx, year)) return false;
        t = RemoteTime{year, month, day, hour, minute, second, true};
        return true;
    }
    int year = 0;
    if (s.size() == 4 && ParseSmallInt(s, year, 4) && IsValidDate(year, month, day)) {
        t = RemoteTime{year, month, day, 0, 0, 0, true};
        return true;
    }
    return false;
}

bool MatchDateAt(const UnixTokens& t, std::size_t i, const ListingContext& ctx, DateMatch& m) {
    if (i + 1 >= t.count) return false;
    const std::string_view a = t.tok[i];
    const std::string_view b = t.tok[i + 1];
    int day = 0;

    // "2026-01-15 10:30" (--time-style=long-iso) and
    // "2026-01-15 10:30:00.000000000 +0100" (--full-time).
    if (a.size() == 10 && a[4] == '-' && a[7] == '-') {
        int year = 0, month = 0, hour = 0, minute = 0, second = 0;
        if (!ParseSmallInt(a.substr(0, 4), year, 4) || !ParseSmallInt(a.substr(5, 2), month, 2) ||
            !ParseSmallInt(a.substr(8, 2), day, 2) || !IsValidDate(year, month, day) ||
            !ParseClock(b, hour, minute, second)) {
            return false;
        }
        m.time = RemoteTime{year, month, day, hour, minute, second, true};
        m.lastToken = i + 1;
        if (i + 3 < t.count || (i + 2 < t.count && t.more)) {
            const std::string_view zone = t.tok[i + 2];
            if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && AllDigits(zone.substr(1))) {
                m.lastToken = i + 2;  // the time-zone offset belongs to the date
            }
        }
        return true;
    }

    if (i + 2 >= t.count) return false;
    const std::string_view c = t.tok[i + 2];
    int month = MonthFromName(a);
    bool ok = false;
    if (month != 0 && ParseSmallInt(b, day, 2) && day >= 1 && day <= 31) {
        ok = TimeOrYear(c, month, day, ctx, m.time);  // "Jan 15 10:30", "Jan 15  2020"
    } else if (ParseSmallInt(a, day, 2) && day >= 1 && day <= 31 && (month = MonthFromName(b)) != 0) {
        ok = TimeOrYear(c, month, day, ctx, m.time);  // "15 Jan 10:30" (day first)
    }
    if (!ok) return false;
    m.lastToken = i + 2;
    // "Jan 15 10:30:00 2020" (BSD ls -T): with seconds shown, a year follows.
    int year = 0;
    if (c.size() == 8 && i + 3 < t.count && t.tok[i + 3].size() == 4 &&
        ParseSmallInt(t.tok[i + 3], year, 4) && IsValidDate(year, m.time.month, m.time.day)) {
        m.time.year = year;
        m.lastToken = i + 3;
    }
    return true;
}

// The size field in front of the date at token index `dateIndex`. Device
// files show "major, minor" (or "major,minor") there instead: that is no
// size, so the size stays -1. Returns false when the field is no number.
bool SizeBefore(const UnixTokens& t, std::size_t dateIndex, std::size_t firstField, char type,
                std::int64_t& size) {
    if (dateIndex <= firstField) return false;
    const std::string_view s = t.tok[dateIndex - 1];
    if (type == 'c' || type == 'b') {
        const std::size_t comma = s.find(',');
        if (comma != std::string_view::npos) {  // "1,3"
            std::int64_t major = 0, minor = 0;
            if (ParseDecimal(s.substr(0, comma), major) && ParseDecimal(s.substr(comma + 1), minor)) {
                size = -1;
                return true;
            }
            return false;
        }
        if (dateIndex >= firstField + 2) {  // "1, 3"
            const std::string_view majorField = t.tok[dateIndex - 2];
            std::int64_t major = 0, minor = 0;
            if (majorField.size() >= 2 && majorField.back() == ',' &&
                ParseDecimal(majorField.substr(0, majorField.size() - 1), major) &&
                ParseDecimal(s, minor)) {
                size = -1;
                return true;
            }
        }
        std::int64_t ignored = 0;
        if (ParseDecimal(s, ignored)) {  // some servers show a plain 0 for devices
            size = -1;
            return true;
        }
        return false;
    }
    return ParseDecimal(s, size);
}

bool IsTotalLine(std::string_view line) {
    // "total 123", also "total 1.5M" (ls -h) and "Total 12"
    const std::string_view s = TrimBlanks(line);
    if (!StartsWithNoCase(s, "total") || s.size() < 7 || !IsBlank(s[5])) return false;
    const std::string_view n = TrimBlanks(s.substr(6));
    return !n.empty() && IsDigit(n.front()) && n.find_first_of(" \t") == std::string_view::npos;
}

}  // namespace

LineResult ParseUnixLine(std::string_view line, const ListingContext& ctx) {
    if (TrimBlanks(line).empty() || IsTotalLine(line)) return Ignored();

    const UnixTokens t = SplitTokens<kMaxTokens>(line);
    if (t.count < 4) return NoMatch();

    char type = PermissionType(t.tok[0]);
    std::size_t firstField = 1;  // first token after the permissions
    std::string permissions;
    if (type != 0) {
        permissions.assign(t.tok[0].substr(0, 10));
    } else if ((t.tok[0] == "d" || t.tok[0] == "-") && t.tok[1].size() >= 2 &&
               t.tok[1].front() == '[' && t.tok[1].back() == ']') {
        // "d [RWCEAFMS] admin  512 Jan 15 10:30 name": Novell-style rights in brackets.
        type = t.tok[0][0];
        firstField = 2;
        permissions.assign(t.tok[1]);
    } else {
        return NoMatch();
    }

    // The left-most date with a size before it; fields after it belong to the name.
    for (std::size_t i = firstField + 1; i + 1 < t.count; ++i) {
        DateMatch m;
        if (!MatchDateAt(t, i, ctx, m)) continue;
        std::int64_t size = -1;
        if (!SizeBefore(t, i, firstField, type, size)) continue;

        std::size_t nameStart = EndOffset(line, t.tok[m.lastToken]);
        if (nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
        std::string_view name = line.substr(nameStart);

        RemoteEntry e;
        e.isDirectory = type == 'd';
        e.size = size;
        e.modified = m.time;
        e.permissions = std::move(permissions);
        if (type == 'l') {
            e.isLink = true;
            // "name -> target"; the first arrow splits (an arrow inside a
            // name cannot be told apart from the separator).
            const std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) {
                e.linkTarget.assign(name.substr(arrow + 4));
                name = name.substr(0, arrow);
            }
        }
        e.name.assign(name);
        return MakeEntry(std::move(e));
    }
    return NoMatch();
}

}  // namespace zyfar
