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

// "5/9" or "5" (blocks used).
bool ParseBlocks(std::string_view s, std::int64_t& bytes) {
    const std::size_t slash = s.find('/');
    std::int64_t used = 0, allocated = 0;
    if (!ParseDecimal(s.substr(0, slash), used)) return false;
    if (slash != std::string_view::npos && !ParseDecimal(s.substr(slash + 1), allocated)) return false;
    if (used > INT64_MAX / kVmsBlock) return false;
    bytes = used * kVmsBlock;
    return true;
}

// "1-JAN-2026"
bool ParseVmsDate(std::string_view s, RemoteTime& t) {
    const std::size_t d1 = s.find('-');
    if (d1 == std::string_view::npos) return false;
    const std::size_t d2 = s.find('-', d1 + 1);
    if (d2 == std::string_view::npos) return false;
    int day = 0, year = 0;
    const int month = MonthFromName(s.substr(d1 + 1, d2 - d1 - 1));
    if (!ParseSmallInt(s.substr(0, d1), day, 2) || month == 0 ||
        !ParseSmallInt(s.substr(d2 + 1), year, 4) || s.size() - d2 - 1 != 4 ||
        !IsValidDate(year, month, day)) {
        return false;
    }
    t.year = year;
    t.month = month;
    t.day = day;
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

    if (t.count < 4 || !ParseBlocks(t.tok[1], e.size) || !ParseVmsDate(t.tok[2], e.modified) ||
        !ParseClock(t.tok[3], e.modified.hour, e.modified.minute, e.modified.second)) {
        return NoMatch();
    }
    e.modified.valid = true;
    if (e.isDirectory) e.size = -1;
    // The protection mask "(RWED,RWED,RE,)" serves as the permissions text.
    for (std::size_t i = 4; i < t.count; ++i) {
        if (t.tok[i].size() >= 2 && t.tok[i].front() == '(' && t.tok[i].back() == ')') {
            e.permissions.assign(t.tok[i]);
            break;
        }
    }
    return MakeEntry(std::move(e));
}

}  // namespace zyfar
