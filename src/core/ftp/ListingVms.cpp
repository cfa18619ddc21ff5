// VMS listings:
//   "FILE.TXT;1   5/9   1-JAN-2026 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)"
//   "SUBDIR.DIR;1   1/3   1-JAN-2026 12:00:00 [GROUP,OWNER] (RWE,RWE,RE,E)"
// The name carries a version (";1"), stripped here; a directory is
// "NAME.DIR;n" and listed as "NAME". The size is given in 512-byte blocks
// ("used/allocated" or just "used"); the entry's size is the used blocks
// times 512, the nearest the listing comes to a byte count. A long name
// stands alone on its line with the details on the next one: the
// dispatcher joins such lines (see IsVmsNameOnlyLine).
#include "ftp/ListingCommon.h"

namespace zyfar {
namespace {

using namespace listing;

constexpr std::int64_t kVmsBlock = 512;

// "FILE.TXT;1" -> "FILE.TXT"; false when there is no ";version".
bool SplitVersion(std::string_view token, std::string_view& name) {
    const std::size_t semi = token.rfind(';');
    if (semi == std::string_view::npos || semi == 0 || !AllDigits(token.substr(semi + 1))) return false;
    if (token.size() - semi - 1 > 6) return false;  // versions run to 32767
    name = token.substr(0, semi);
    return true;
}

// "5/9" or "5" (blocks used, of those allocated), "2KB" / "3MB" (some
// servers give the size in bytes with a unit), "******" (the field
// overflowed: no size).
bool ParseVmsSize(std::string_view s, std::int64_t& bytes) {
    if (s.find_first_not_of('*') == std::string_view::npos) {
        bytes = -1;
        return true;
    }
    std::int64_t unit = kVmsBlock;
    if (EndsWithNoCase(s, "KB")) {
        unit = 1024;
    } else if (EndsWithNoCase(s, "MB")) {
        unit = 1024 * 1024;
    } else if (EndsWithNoCase(s, "GB")) {
        unit = 1024 * 1024 * 1024;
    }
    if (unit != kVmsBlock) s.remove_suffix(2);
    const std::size_t slash = s.find('/');
    std::int64_t used = 0, allocated = 0;
    if (!ParseDecimal(s.substr(0, slash), used)) return false;
    if (slash != std::string_view::npos && (unit != kVmsBlock || !ParseDecimal(s.substr(slash + 1), allocated))) {
        return false;
    }
    if (used > INT64_MAX / unit) return false;
    bytes = used * unit;
    return true;
}

// "1-JAN-2026"; a month name the parser does not know leaves the time
// unknown (`known` false) but still marks the field as the date.
bool ParseVmsDate(std::string_view s, RemoteTime& t, bool& known) {
    const std::size_t d1 = s.find('-');
    if (d1 == std::string_view::npos) return false;
    const std::size_t d2 = s.find('-', d1 + 1);
    if (d2 == std::string_view::npos) return false;
    int day = 0, year = 0;
    const std::string_view monthText = s.substr(d1 + 1, d2 - d1 - 1);
    if (!ParseSmallInt(s.substr(0, d1), day, 2) || monthText.size() < 3 || AllDigits(monthText) ||
        !ParseSmallInt(s.substr(d2 + 1), year, 4) || s.size() - d2 - 1 != 4 || day < 1 || day > 31) {
        return false;
    }
    const int month = MonthFromName(monthText);
    known = month != 0;
    if (!known) return true;
    if (!IsValidDate(year, month, day)) return false;
    t = RemoteTime{year, month, day, 0, 0, 0, true};
    return true;
}

bool IsHeaderLine(std::string_view line) {
    const std::string_view s = TrimBlanks(line);
    // "Directory DISK$USER:[USER]", "Total of 3 files, 15/18 blocks.",
    // "Grand total of 2 directories, 7 files, 30/45 blocks."
    return StartsWithNoCase(s, "Directory ") || StartsWithNoCase(s, "Total of ") ||
           StartsWithNoCase(s, "Grand total of ");
}

}  // namespace

namespace listing {

bool IsVmsNameOnlyLine(std::string_view line) {
    const Tokens<2> t = SplitTokens<2>(line);
    std::string_view name;
    return t.count == 1 && SplitVersion(t.tok[0], name);
}

}  // namespace listing

LineResult ParseVmsLine(std::string_view line, const ListingContext& /*ctx*/) {
    if (TrimBlanks(line).empty() || IsHeaderLine(line)) return Ignored();
    const Tokens<8> t = SplitTokens<8>(line);
    std::string_view name;
    if (t.count == 0 || !SplitVersion(t.tok[0], name)) return NoMatch();

    RemoteEntry e;
    if (EndsWithNoCase(name, ".DIR")) {
        e.isDirectory = true;
        name.remove_suffix(4);
    }
    e.name.assign(name);
    if (t.count == 1) return MakeEntry(std::move(e));  // details on the next line

    // Size, date and time in any order (the time may be missing), then the
    // owner "[GROUP,OWNER]" and the protection "(RWED,RWED,RE,)".
    bool haveSize = false, haveDate = false, knownDate = false, haveTime = false;
    RemoteTime time;
    std::size_t i = 1;
    for (; i < t.count && t.tok[i].front() != '[' && t.tok[i].front() != '('; ++i) {
        const std::string_view f = t.tok[i];
        int hour = 0, minute = 0, second = 0;
        if (!haveDate && ParseVmsDate(f, time, knownDate)) {
            haveDate = true;
        } else if (!haveTime && ParseClock(f, hour, minute, second)) {
            haveTime = true;
            time.hour = hour;
            time.minute = minute;
            time.second = second;
        } else if (!haveSize && ParseVmsSize(f, e.size)) {
            haveSize = true;
            e.sizeApproximate = e.size > 0;  // whole blocks or kilobytes
        } else {
            return NoMatch();
        }
    }
    if (!haveDate) return NoMatch();
    if (knownDate) e.modified = time;
    if (e.isDirectory) e.size = -1;
    // The protection mask "(RWED,RWED,RE,)" serves as the permissions text.
    for (; i < t.count; ++i) {
        if (t.tok[i].size() >= 2 && t.tok[i].front() == '(' && t.tok[i].back() == ')') {
            e.permissions.assign(t.tok[i]);
            break;
        }
    }
    return MakeEntry(std::move(e));
}

}  // namespace zyfar
