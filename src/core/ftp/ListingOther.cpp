// Listings of the rarer server systems. Each line shape is recognised by
// fields that no other format has in that place; a line that fits no shape
// exactly is no match, never a guess.
//
// OS/2:        "  36611      A    04-23-103  10:57  OS2KRNL"
//              "      0           DIR   05-12-97   16:44  PSFONTS"
// AS/400:      "QSYS            77824 02/23/00 15:09:55 *DIR       QSYS.LIB/"
//              "QPGMR                                  *MEM       XML.SAVF/XML.MBR"
// MVS:         "SAVE00 3390   2004/06/23  1    1  FB      80  3120  PS  PROJ.TEXT"
//              "  MEMBER1   01.01 2002/09/12 2002/09/12 13:36    18    18     0 USERID"
// z/VM:        "PROFILE  EXEC     V         65         13          1 2005-08-12 10:27:02 -"
// VxWorks:     "   1224       JAN-10-1970 00:04:51   foo.txt"
// OS-9:        "  0.0     97/01/15 1507  d-ewrewr      8C       480 CMDS"
// HP NonStop:  "ALTERED       101              130 18-Jul-02 12:11:40 255, 10 NUNU"
//
// Sizes that count records, tracks or blocks rather than bytes are left
// unknown; a byte count that a text transfer changes is marked approximate.
#include "ftp/ListingCommon.h"

namespace zyfar {
namespace {

using namespace listing;

bool IsUpperAlnum(std::string_view s, std::string_view extra = {}) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!((c >= 'A' && c <= 'Z') || IsDigit(c) || extra.find(c) != std::string_view::npos)) return false;
    }
    return true;
}

bool IsHex(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!IsDigit(c) && !((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

// Three numbers split by `sep` ("04-23-103", "2004/06/23", "97/01/15").
bool ThreeNumbers(std::string_view s, char sep, std::string_view parts[3]) {
    const std::size_t p1 = s.find(sep);
    if (p1 == std::string_view::npos) return false;
    const std::size_t p2 = s.find(sep, p1 + 1);
    if (p2 == std::string_view::npos || s.find(sep, p2 + 1) != std::string_view::npos) return false;
    parts[0] = s.substr(0, p1);
    parts[1] = s.substr(p1 + 1, p2 - p1 - 1);
    parts[2] = s.substr(p2 + 1);
    return AllDigits(parts[0]) && AllDigits(parts[1]) && AllDigits(parts[2]) && parts[0].size() <= 4 &&
           parts[1].size() <= 2 && parts[2].size() <= 4;
}

// The date's numbers in the order given by `order` ("mdy", "dmy", "ymd").
bool MakeDate(std::string_view parts[3], const char* order, RemoteTime& t) {
    int year = 0, month = 0, day = 0;
    for (int k = 0; k < 3; ++k) {
        int v = 0;
        if (!ParseSmallInt(parts[k], v, 4)) return false;
        if (order[k] == 'y') {
            year = ExpandYear(v, parts[k].size());
        } else if (order[k] == 'm') {
            month = v;
        } else {
            day = v;
        }
    }
    if (!IsValidDate(year, month, day)) return false;
    t = RemoteTime{year, month, day, 0, 0, 0, true};
    return true;
}

bool DateIn(std::string_view s, char sep, const char* order, RemoteTime& t) {
    std::string_view parts[3];
    return ThreeNumbers(s, sep, parts) && MakeDate(parts, order, t);
}

bool ClockInto(std::string_view s, RemoteTime& t) { return ParseClock(s, t.hour, t.minute, t.second); }

// The rest of the line from the first non-blank after `token`.
std::string_view RestAfter(std::string_view line, std::string_view token) {
    std::size_t i = EndOffset(line, token);
    while (i < line.size() && IsBlank(line[i])) ++i;
    return line.substr(i);
}

// "DD-Mon-YY" or "MON-DD-YYYY" (month name in the middle or first).
bool NamedMonthDate(std::string_view s, bool monthFirst, RemoteTime& t) {
    const std::size_t d1 = s.find('-');
    const std::size_t d2 = d1 == std::string_view::npos ? d1 : s.find('-', d1 + 1);
    if (d2 == std::string_view::npos) return false;
    const std::string_view a = s.substr(0, d1), b = s.substr(d1 + 1, d2 - d1 - 1), c = s.substr(d2 + 1);
    int day = 0, year = 0;
    const int month = MonthFromName(monthFirst ? a : b);
    if (month == 0 || !ParseSmallInt(monthFirst ? b : a, day, 2) || !ParseSmallInt(c, year, 4) ||
        (c.size() != 2 && c.size() != 4)) {
        return false;
    }
    year = ExpandYear(year, c.size());
    if (!IsValidDate(year, month, day)) return false;
    t = RemoteTime{year, month, day, 0, 0, 0, true};
    return true;
}

}  // namespace

LineResult ParseOs2Line(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<8> t = SplitTokens<8>(line);
    if (t.count < 4) return NoMatch();
    RemoteEntry e;
    if (!ParseDecimal(t.tok[0], e.size)) return NoMatch();
    // Attribute columns ("A", "R", "H", "S", "DIR") between the size and the date.
    std::size_t i = 1;
    for (; i < t.count && i <= 3 && !IsDigit(t.tok[i].front()); ++i) {
        if (t.tok[i] == "DIR") {
            e.isDirectory = true;
        } else if (t.tok[i].size() > 4 || t.tok[i].find_first_not_of("ARHS") != std::string_view::npos) {
            return NoMatch();
        }
    }
    if (i + 2 >= t.count || !DateIn(t.tok[i], '-', "mdy", e.modified) || t.tok[i].size() < 8 ||
        !ClockInto(t.tok[i + 1], e.modified)) {
        return NoMatch();
    }
    if (e.isDirectory) e.size = -1;
    e.name.assign(RestAfter(line, t.tok[i + 1]));
    return MakeEntry(std::move(e));
}

LineResult ParseAs400Line(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<6> t = SplitTokens<6>(line);
    // The object type ("*FILE", "*DIR", "*STMF", "*MEM", ...) comes after the
    // owner, or after owner, size, date and time (an anonymous session shows
    // no owner).
    std::size_t k = 0;
    while (k < t.count && k < 5 && !(t.tok[k].size() >= 3 && t.tok[k][0] == '*' && IsUpperAlnum(t.tok[k].substr(1)))) {
        ++k;
    }
    if (k == 0 || k >= t.count - 1 || (k != 1 && k != 3 && k != 4)) return NoMatch();
    const std::string_view type = t.tok[k];
    RemoteEntry e;
    if (k >= 3) {
        const std::size_t s = k - 3;
        const std::string_view date = t.tok[s + 1];
        std::string clock(t.tok[s + 2]);
        for (char& c : clock) {
            if (c == '.') c = ':';  // the job's time separator may be "."
        }
        if ((k == 4 && !IsUpperAlnum(t.tok[0], "#$@_")) || !ParseDecimal(t.tok[s], e.size) ||
            !(DateIn(date, '/', "mdy", e.modified) || DateIn(date, '.', "dmy", e.modified) ||
              DateIn(date, '-', "ymd", e.modified)) ||
            !ClockInto(clock, e.modified)) {
            return NoMatch();
        }
    } else if (!IsUpperAlnum(t.tok[0], "#$@_")) {
        return NoMatch();
    }
    std::string_view name = RestAfter(line, type);
    e.isDirectory = type == "*DIR" || type == "*LIB" || type == "*FLR";
    if (!name.empty() && name.back() == '/') {
        e.isDirectory = true;
        name.remove_suffix(1);
    }
    if (type == "*MEM") {
        // "XML.SAVF/XML.MBR": the member is the last part.
        const std::size_t slash = name.rfind('/');
        if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    }
    if (e.isDirectory) e.size = -1;
    e.name.assign(name);
    return MakeEntry(std::move(e));
}

LineResult ParseMvsLine(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<12> t = SplitTokens<12>(line);
    if (t.count < 2 || t.more) return NoMatch();
    RemoteEntry e;
    const std::string_view last = t.tok[t.count - 1];
    // A data set moved to tape or disk archive, and a qualifier with more levels below it.
    if (t.count == 2 && t.tok[0] == "Migrated" && IsUpperAlnum(last, ".#$@-")) {
        e.name.assign(last);
        return MakeEntry(std::move(e));
    }
    if (t.count == 3 && t.tok[0] == "Pseudo" && t.tok[1] == "Directory" && IsUpperAlnum(last, ".#$@-")) {
        e.isDirectory = true;
        e.name.assign(last);
        return MakeEntry(std::move(e));
    }
    // A member of a partitioned data set: name, version "VV.MM", created, changed date and time.
    if (t.count >= 5 && t.tok[1].size() == 5 && t.tok[1][2] == '.' && AllDigits(t.tok[1].substr(0, 2)) &&
        AllDigits(t.tok[1].substr(3))) {
        RemoteTime created;
        if (!IsUpperAlnum(t.tok[0], "#$@") || t.tok[0].size() > 8 || !DateIn(t.tok[2], '/', "ymd", created) ||
            !DateIn(t.tok[3], '/', "ymd", e.modified) || !ClockInto(t.tok[4], e.modified)) {
            return NoMatch();
        }
        e.name.assign(t.tok[0]);
        return MakeEntry(std::move(e));
    }
    // A member of a load library: name, size and TTR in hex.
    if (t.count >= 3 && t.tok[1].size() == 6 && t.tok[2].size() == 6 && IsHex(t.tok[1]) && IsHex(t.tok[2])) {
        if (!IsUpperAlnum(t.tok[0], "#$@") || t.tok[0].size() > 8) return NoMatch();
        e.name.assign(t.tok[0]);
        return MakeEntry(std::move(e));
    }
    // A data set: volume, unit, last referred date ("**NONE**" when never),
    // extents, tracks used, record format, lengths, organisation, name.
    if (t.count < 6 || !IsUpperAlnum(t.tok[0], "#$@") || !IsDigit(t.tok[1].front()) ||
        !IsUpperAlnum(t.tok[1])) {
        return NoMatch();
    }
    const std::string_view referred = t.tok[2];
    if (referred != "**NONE**" && !DateIn(referred, '/', "ymd", e.modified) &&
        !DateIn(referred, '/', "mdy", e.modified)) {
        return NoMatch();
    }
    const std::string_view dsorg = t.tok[t.count - 2];
    if (dsorg == "PO" || dsorg == "PO-E") {
        e.isDirectory = true;
    } else if (dsorg != "PS" && dsorg != "DA" && dsorg != "IS" && dsorg != "VS" && dsorg != "VSAM" &&
               dsorg != "PS-E" && dsorg != "?") {
        return NoMatch();
    }
    if (!IsUpperAlnum(last, ".#$@-")) return NoMatch();
    e.name.assign(last);
    return MakeEntry(std::move(e));
}

LineResult ParseZvmLine(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<10> t = SplitTokens<10>(line);
    if (t.count < 8) return NoMatch();
    // file name, file type, record format, record length, records, blocks, date, time[, label]
    const std::string_view recfm = t.tok[2];
    if (!IsUpperAlnum(t.tok[0], "#$@+-_") || !IsUpperAlnum(t.tok[1], "#$@+-_") ||
        (recfm != "F" && recfm != "V" && recfm != "-")) {
        return NoMatch();
    }
    // Record length, records and blocks ("-" each for a folder).
    std::size_t i = 3;
    while (i < 6 && (t.tok[i] == "-" || AllDigits(t.tok[i]))) ++i;
    RemoteEntry e;
    if (i < 5 || i + 1 >= t.count ||
        !(DateIn(t.tok[i], '-', "ymd", e.modified) || DateIn(t.tok[i], '/', "mdy", e.modified)) ||
        !ClockInto(t.tok[i + 1], e.modified)) {
        return NoMatch();
    }
    e.isDirectory = t.tok[1] == "DIR" || recfm == "-";
    e.name.assign(t.tok[0]);
    if (!e.isDirectory) {
        e.name.push_back('.');
        e.name.append(t.tok[1]);
    }
    return MakeEntry(std::move(e));
}

LineResult ParseVxWorksLine(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<4> t = SplitTokens<4>(line);
    if (t.count < 4) return NoMatch();
    RemoteEntry e;
    if (!ParseDecimal(t.tok[0], e.size) || !NamedMonthDate(t.tok[1], true, e.modified) ||
        !ClockInto(t.tok[2], e.modified)) {
        return NoMatch();
    }
    std::string_view name = RestAfter(line, t.tok[2]);
    // "subdir           <DIR>"
    if (name.size() > 5 && name.substr(name.size() - 5) == "<DIR>" && IsBlank(name[name.size() - 6])) {
        e.isDirectory = true;
        e.size = -1;
        name = TrimBlanks(name.substr(0, name.size() - 5));
    }
    e.name.assign(name);
    return MakeEntry(std::move(e));
}

LineResult ParseOs9Line(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<7> t = SplitTokens<7>(line);
    if (t.count < 7) return NoMatch();
    // group.user, YY/MM/DD, HHMM, attributes, sector (hex), byte count, name
    const std::string_view owner = t.tok[0], hhmm = t.tok[2], attrs = t.tok[3];
    const std::size_t dot = owner.find('.');
    RemoteEntry e;
    int hour = 0, minute = 0;
    if (dot == std::string_view::npos || !AllDigits(owner.substr(0, dot)) || !AllDigits(owner.substr(dot + 1)) ||
        !DateIn(t.tok[1], '/', "ymd", e.modified) || hhmm.size() != 4 || !ParseSmallInt(hhmm.substr(0, 2), hour, 2) ||
        !ParseSmallInt(hhmm.substr(2), minute, 2) || hour > 23 || minute > 59 || attrs.size() != 8 ||
        attrs.find_first_not_of("-dsewr") != std::string_view::npos || !IsHex(t.tok[4]) ||
        !ParseDecimal(t.tok[5], e.size)) {
        return NoMatch();
    }
    e.modified.hour = hour;
    e.modified.minute = minute;
    e.isDirectory = attrs[0] == 'd';
    if (e.isDirectory) e.size = -1;
    e.name.assign(RestAfter(line, t.tok[5]));
    return MakeEntry(std::move(e));
}

LineResult ParseNonStopLine(std::string_view line, const ListingContext& /*ctx*/) {
    const Tokens<6> t = SplitTokens<6>(line);
    if (t.count < 6) return NoMatch();
    // name, file code, end of file (bytes), DD-Mon-YY, HH:MM:SS, owner "255, 10", security
    std::string_view code = t.tok[1];
    if (!code.empty() && code.back() == 'O') code.remove_suffix(1);  // an OSS file code ("101O")
    RemoteEntry e;
    if (!IsUpperAlnum(t.tok[0], "^_") || !IsUpperAlnum(t.tok[0].substr(0, 1)) || IsDigit(t.tok[0].front()) ||
        !AllDigits(code) || !ParseDecimal(t.tok[2], e.size) || !NamedMonthDate(t.tok[3], false, e.modified) ||
        !ClockInto(t.tok[4], e.modified) || !IsDigit(t.tok[5].front())) {
        return NoMatch();
    }
    e.sizeApproximate = true;  // an edit file (code 101) changes size in a text transfer
    e.name.assign(t.tok[0]);
    return MakeEntry(std::move(e));
}

}  // namespace zyfar
