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
// "-rw-r--r--@" (extended attributes); "drwxr-xr-x1732" (the link count run
// into the permissions); strings a server cut short ("drwxr-x") and type
// letters beyond the usual ones (HP-UX "n" network files, "w" whiteouts,
// "D" doors, "M" migrated files). Returns the type letter or 0, and the
// permission text in `perms`.
char PermissionType(std::string_view p, std::string_view& perms) {
    if (p.size() > 10) {
        std::size_t end = p.size();
        while (end > 10 && IsDigit(p[end - 1])) --end;  // a link count run into the field
        p = p.substr(0, end);
    }
    if (p.size() == 11) {
        const char mark = p[10];
        if (mark != '+' && mark != '.' && mark != '@') return 0;
        p.remove_suffix(1);
    }
    if (p.size() < 7 || p.size() > 10) return 0;
    const char type = p[0];
    if (type != '-' && !((type >= 'a' && type <= 'z') || (type >= 'A' && type <= 'Z'))) return 0;
    for (std::size_t i = 1; i < p.size(); ++i) {
        if (std::string_view("-rwxsStTlL?").find(p[i]) == std::string_view::npos) return 0;
    }
    perms = p;
    return type;
}

struct DateMatch {
    RemoteTime time;
    std::size_t lastToken = 0;  // index of the date's last token
    bool bareYear = false;      // the last token is a year standing where ls puts the time
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
bool TimeOrYear(std::string_view s, int month, int day, const ListingContext& ctx, DateMatch& m) {
    int hour = 0, minute = 0, second = 0;
    if (ParseLooseClock(s, hour, minute, second)) {
        int year = 0;
        if (!InferYear(month, day, ctx, year)) return false;
        m.time = RemoteTime{year, month, day, hour, minute, second, true};
        return true;
    }
    int year = 0;
    if (s.size() == 4 && ParseSmallInt(s, year, 4) && IsValidDate(year, month, day)) {
        m.time = RemoteTime{year, month, day, 0, 0, 0, true};
        m.bareYear = true;
        return true;
    }
    return false;
}

// A day of the month, "15", also "15." (German order) and "15," ("Oct 08, 2002").
bool ParseDay(std::string_view s, int& day, char& mark) {
    mark = 0;
    if (!s.empty() && (s.back() == '.' || s.back() == ',')) {
        mark = s.back();
        s.remove_suffix(1);
    }
    return ParseSmallInt(s, day, 2) && day >= 1 && day <= 31;
}

// A whole date in one field: "2026-01-15", "1999/10/12", "2004.07.15",
// "24-04-2003" or "04-24-2003" (day first only when the first number cannot
// be a month; with "." between the parts the day comes first, as in Europe),
// "01-jun-99", "01-Jun-1999".
bool ParseWholeDate(std::string_view s, RemoteTime& t) {
    if (s.size() < 8 || s.size() > 11) return false;
    const std::size_t p1 = s.find_first_of("-/.");
    if (p1 == std::string_view::npos || p1 == 0) return false;
    const char sep = s[p1];
    const std::size_t p2 = s.find(sep, p1 + 1);
    if (p2 == std::string_view::npos || s.find(sep, p2 + 1) != std::string_view::npos) return false;
    const std::string_view a = s.substr(0, p1), b = s.substr(p1 + 1, p2 - p1 - 1), c = s.substr(p2 + 1);
    int x = 0, y = 0, z = 0, year = 0, month = 0, day = 0;
    if (!ParseSmallInt(a, x, 4) || !ParseSmallInt(c, z, 4)) return false;
    if (const int named = sep == '-' ? MonthFromName(b) : 0; named != 0) {  // 01-jun-99
        if (a.size() > 2 || (c.size() != 2 && c.size() != 4)) return false;
        year = ExpandYear(z, c.size());
        month = named;
        day = x;
    } else {
        if (!ParseSmallInt(b, y, 2)) return false;
        if (a.size() == 4 && c.size() <= 2) {  // 1999/10/12
            year = x;
            month = y;
            day = z;
        } else if (a.size() <= 2 && c.size() == 4) {
            year = z;
            const bool dayFirst = sep == '.' || (x > 12 && y <= 12);
            month = dayFirst ? y : x;
            day = dayFirst ? x : y;
        } else {
            return false;
        }
    }
    if (!IsValidDate(year, month, day)) return false;
    t = RemoteTime{year, month, day, 0, 0, 0, true};
    return true;
}

// A clock in token j, if there is one: it belongs to the date.
void OptionalClock(const UnixTokens& t, std::size_t j, DateMatch& m) {
    if (j < t.count && ParseLooseClock(t.tok[j], m.time.hour, m.time.minute, m.time.second)) m.lastToken = j;
}

bool MatchDateAt(const UnixTokens& t, std::size_t i, const ListingContext& ctx, DateMatch& m) {
    if (i + 1 >= t.count) return false;
    const std::string_view a = t.tok[i];
    const std::string_view b = t.tok[i + 1];
    const std::string_view c = i + 2 < t.count ? t.tok[i + 2] : std::string_view();
    int day = 0, month = 0;
    char mark = 0;
    m.lastToken = i + 2;

    // Month name first: "Jan 15 10:30", "Jan 15  2020", "Mär 15 10:30",
    // "Oct 08, 2002 09:47", "1月 15 10:30".
    if (ParseDay(b, day, mark) && (month = MonthFromName(a)) != 0) {
        if (mark == ',') {
            int year = 0;
            if (c.size() != 4 || !ParseSmallInt(c, year, 4) || !IsValidDate(year, month, day)) return false;
            m.time = RemoteTime{year, month, day, 0, 0, 0, true};
            OptionalClock(t, i + 3, m);
            return true;
        }
        if (c.empty() || !TimeOrYear(c, month, day, ctx, m)) return false;
        // "Jan 15 10:30:00 2020" (BSD ls -T): with seconds shown, a year follows.
        int year = 0;
        if (c.size() == 8 && i + 3 < t.count && t.tok[i + 3].size() == 4 &&
            ParseSmallInt(t.tok[i + 3], year, 4) && IsValidDate(year, month, day)) {
            m.time.year = year;
            m.lastToken = i + 3;
        }
        return true;
    }
    if (!IsDigit(a.front())) return false;

    // One field holds the whole date, a time may follow:
    // "2026-01-15 10:30", "1999/10/12", "24-04-2003 10:00", "01-jun-99",
    // "2026-01-15 10:30:45.123456789 +0100" (--full-time).
    if (ParseWholeDate(a, m.time)) {
        m.lastToken = i;
        OptionalClock(t, i + 1, m);
        if (m.lastToken == i + 1 && i + 2 < t.count) {
            const std::string_view zone = t.tok[i + 2];
            if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && AllDigits(zone.substr(1))) {
                m.lastToken = i + 2;  // the time-zone offset belongs to the date
            }
        }
        return true;
    }
    // "09-26 2000", "09-26 13:45": month and day, then the year or a time.
    if (a.size() == 5 && a[2] == '-') {
        if (!ParseSmallInt(a.substr(0, 2), month, 2) || !ParseSmallInt(a.substr(3), day, 2) || month < 1 ||
            month > 12 || day < 1 || day > 31) {
            return false;
        }
        m.lastToken = i + 1;
        return TimeOrYear(b, month, day, ctx, m);
    }
    if (c.empty()) return false;
    // "2003. márc. 12. 10:00" (Hungarian order: year, month, day).
    if (a.size() == 5 && a[4] == '.' && ParseSmallInt(a.substr(0, 4), m.time.year, 4)) {
        if ((month = MonthFromName(b)) == 0 || !ParseDay(c, day, mark) || !IsValidDate(m.time.year, month, day)) {
            return false;
        }
        m.time = RemoteTime{m.time.year, month, day, 0, 0, 0, true};
        OptionalClock(t, i + 3, m);
        return true;
    }
    if (!ParseDay(a, day, mark) || mark == ',') return false;
    // "15 Jan 10:30", "15. Mär 2020" (day first).
    if ((month = MonthFromName(b)) != 0) return TimeOrYear(c, month, day, ctx, m);
    // "3 29 03:26": month and day as numbers, then a time (never a year,
    // which would leave a run of plain numbers open to misreading).
    int hour = 0, minute = 0, second = 0;
    if (mark == 0 && day <= 12 && ParseDay(b, month, mark) && mark == 0 && ParseLooseClock(c, hour, minute, second)) {
        std::swap(day, month);
        int year = 0;
        if (!InferYear(month, day, ctx, year)) return false;
        m.time = RemoteTime{year, month, day, hour, minute, second, true};
        return true;
    }
    return false;
}

// "33.5k", "12M", "1.2G", "100B" (ls -h and some embedded servers): the
// nearest byte count.
bool ParseSizeWithUnit(std::string_view s, std::int64_t& size, bool& approximate) {
    if (!s.empty() && (s.back() == 'B' || s.back() == 'b')) s.remove_suffix(1);
    if (s.empty()) return false;
    std::int64_t unit = 1;
    switch (LowerAscii(s.back())) {
        case 'k': unit = 1LL << 10; break;
        case 'm': unit = 1LL << 20; break;
        case 'g': unit = 1LL << 30; break;
        case 't': unit = 1LL << 40; break;
        default: break;
    }
    if (unit != 1) s.remove_suffix(1);
    const std::size_t dot = s.find('.');
    std::int64_t whole = 0;
    int fraction = 0;
    const std::string_view fractionText = dot == std::string_view::npos ? std::string_view() : s.substr(dot + 1);
    if (!ParseDecimal(s.substr(0, dot), whole) || whole > (INT64_MAX >> 41)) return false;
    if (dot != std::string_view::npos && !ParseSmallInt(fractionText, fraction, 3)) return false;
    std::int64_t scale = 1;
    for (std::size_t k = 0; k < fractionText.size(); ++k) scale *= 10;
    size = whole * unit + fraction * unit / scale;
    approximate = unit != 1 || scale != 1;
    return true;
}

// The size field in front of the date at token index `dateIndex`. Device
// files show "major, minor" (or "major,minor") there instead: that is no
// size, so the size stays -1, as it does for a negative size (a server's
// 32-bit overflow, which says nothing sure). When a column overflowed into
// the next, the size is the digits at the end of a field that holds the
// owner or group as well ("ftpadmin125435904"). Returns false when the
// field holds no size.
bool SizeBefore(const UnixTokens& t, std::size_t dateIndex, std::size_t firstField, char type,
                std::int64_t& size, bool& approximate) {
    if (dateIndex <= firstField) return false;
    const std::string_view s = t.tok[dateIndex - 1];
    if (ParseDecimal(s, size)) {
        if (type == 'c' || type == 'b') size = -1;  // some servers show a plain 0 for devices
        return true;
    }
    std::int64_t major = 0, minor = 0;
    if (type == 'c' || type == 'b') {
        size = -1;
        const std::size_t comma = s.find(',');
        if (comma != std::string_view::npos) {  // "1,3"
            return ParseDecimal(s.substr(0, comma), major) && ParseDecimal(s.substr(comma + 1), minor);
        }
        return false;
    }
    if (s.size() >= 2 && s[0] == '-' && AllDigits(s.substr(1))) {
        size = -1;
        return true;
    }
    if (IsDigit(s[0])) return ParseSizeWithUnit(s, size, approximate);
    // A field run together: only when a column is missing for it (at most
    // links, owner and "group+size" before the date), and only for a number
    // long enough to have overflowed its column (a group "www2" with the
    // size missing stays no match).
    std::size_t digits = 0;
    while (digits < s.size() && IsDigit(s[s.size() - 1 - digits])) ++digits;
    if (digits < 5 || dateIndex - firstField > 3) return false;
    return ParseDecimal(s.substr(s.size() - digits), size);
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
    if (t.count < 3) return NoMatch();

    std::string_view perms;
    char type = PermissionType(t.tok[0], perms);
    std::size_t firstField = 1;  // first token after the permissions
    bool netware = false;
    if (type == 0) {
        if ((t.tok[0] == "d" || t.tok[0] == "-") && t.tok[1].size() >= 2 && t.tok[1].front() == '[' &&
            t.tok[1].back() == ']') {
            // "d [RWCEAFMS] admin  512 Jan 15 10:30   name": NetWare rights in
            // brackets; the name starts in its own column, after any blanks.
            type = t.tok[0][0];
            firstField = 2;
            perms = t.tok[1];
            netware = true;
        } else {
            return NoMatch();
        }
    }

    RemoteEntry e;
    e.isDirectory = type == 'd';
    e.permissions.assign(perms);
    std::size_t nameStart = 0;
    bool found = false;
    // The left-most date with a size before it; fields after it belong to the name.
    for (std::size_t i = firstField + 1; i + 1 < t.count; ++i) {
        DateMatch m;
        if (!MatchDateAt(t, i, ctx, m)) continue;
        if (!SizeBefore(t, i, firstField, type, e.size, e.sizeApproximate)) continue;
        found = true;
        e.modified = m.time;
        const std::size_t dateEnd = EndOffset(line, t.tok[m.lastToken]);
        nameStart = dateEnd;
        if (netware) {
            while (nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
        } else if (nameStart < line.size() && IsBlank(line[nameStart])) {
            ++nameStart;
            // "Jan 29 1997  prog": a server that puts the year left in the
            // time's column pads it with a blank after it, not before.
            const std::size_t yearStart = dateEnd - 4;
            if (m.bareYear && yearStart >= 2 && IsBlank(line[yearStart - 1]) && !IsBlank(line[yearStart - 2]) &&
                nameStart < line.size() && IsBlank(line[nameStart])) {
                ++nameStart;
            }
        }
        break;
    }
    if (!found) {
        // No date at all: "-rw-r--r-- 1 owner group 1234 name" or
        // "... 1 owner 1234 name". Only a name without blanks is taken: with
        // more fields there, an unknown date could not be told from the name.
        const std::size_t n = t.count;
        if (t.more || n < firstField + 4 || n > firstField + 5 || !AllDigits(t.tok[firstField]) ||
            !ParseDecimal(t.tok[n - 2], e.size) || IsDigit(t.tok[n - 1].front())) {
            return NoMatch();
        }
        nameStart = static_cast<std::size_t>(t.tok[n - 1].data() - line.data());
        if (type == 'c' || type == 'b') e.size = -1;
    }

    std::string_view name = line.substr(nameStart);
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

}  // namespace zyfar
