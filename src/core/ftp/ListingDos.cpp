// DOS / IIS style listings:
//   "01-15-26  10:30AM       <DIR>          folder name"
//   "01-15-2026  10:30PM            123456 file.txt"
// with 24-hour times ("22:30"), the AM/PM mark as a field of its own
// ("10:30 PM", as the Windows `dir` command prints it), "/" or "." between
// the date parts, the ISO order "2026-01-15", and sizes with thousands
// separators ("1,234,567").
#include "ftp/ListingCommon.h"

namespace zyfar {
namespace {

using namespace listing;

// Two-digit years below 70 are 20xx, the rest 19xx.
int FullYear(int year, std::size_t digits) {
    if (digits == 4) return year;
    return year < 70 ? 2000 + year : 1900 + year;
}

bool ParseDosDate(std::string_view s, int& year, int& month, int& day) {
    const std::size_t p1 = s.find_first_of("-/.");
    if (p1 == std::string_view::npos) return false;
    const char sep = s[p1];
    const std::size_t p2 = s.find(sep, p1 + 1);
    if (p2 == std::string_view::npos || s.find(sep, p2 + 1) != std::string_view::npos) return false;
    const std::string_view a = s.substr(0, p1);
    const std::string_view b = s.substr(p1 + 1, p2 - p1 - 1);
    const std::string_view c = s.substr(p2 + 1);
    int x = 0, y = 0, z = 0;
    if (!ParseSmallInt(a, x, 4) || !ParseSmallInt(b, y, 2) || !ParseSmallInt(c, z, 4)) return false;
    if (a.size() == 4) {  // 2026-01-15
        if (c.size() > 2) return false;
        year = x;
        month = y;
        day = z;
    } else {
        if (a.size() > 2 || (c.size() != 2 && c.size() != 4)) return false;
        year = FullYear(z, c.size());
        if (x > 12 && y <= 12) {  // 15-01-2026: the day comes first
            day = x;
            month = y;
        } else {  // 01-15-2026, the usual order
            month = x;
            day = y;
        }
    }
    return IsValidDate(year, month, day);
}

// "10:30", "10:30AM", "10:30PM", "22:30", "10:30:15"; the mark may also
// come as the next field (`markField`), which is then consumed.
bool ParseDosTime(std::string_view s, std::string_view markField, bool& usedMark, int& hour,
                  int& minute, int& second) {
    usedMark = false;
    std::string_view mark;
    if (EndsWithNoCase(s, "AM") || EndsWithNoCase(s, "PM")) {
        mark = s.substr(s.size() - 2);
        s.remove_suffix(2);
    } else if (EqualsNoCase(markField, "AM") || EqualsNoCase(markField, "PM")) {
        mark = markField;
        usedMark = true;
    }
    if (!ParseClock(s, hour, minute, second)) return false;
    if (!mark.empty()) {
        if (hour < 1 || hour > 12) return false;
        const bool pm = LowerAscii(mark[0]) == 'p';
        if (hour == 12) hour = 0;  // 12:xxAM is just after midnight, 12:xxPM just after noon
        if (pm) hour += 12;
    }
    return true;
}

// "123456" or "123,456" (groups of three after the first).
bool ParseDosSize(std::string_view s, std::int64_t& size) {
    if (s.find(',') == std::string_view::npos) return ParseDecimal(s, size);
    std::string digits;
    std::size_t group = 0;
    bool first = true;
    for (char c : s) {
        if (c == ',') {
            if ((first && (group == 0 || group > 3)) || (!first && group != 3)) return false;
            first = false;
            group = 0;
        } else if (IsDigit(c)) {
            digits.push_back(c);
            ++group;
        } else {
            return false;
        }
    }
    if (group != 3) return false;
    return ParseDecimal(digits, size);
}

}  // namespace

LineResult ParseDosLine(std::string_view line, const ListingContext& /*ctx*/) {
    if (TrimBlanks(line).empty()) return Ignored();
    const Tokens<5> t = SplitTokens<5>(line);
    if (t.count < 3) return NoMatch();

    RemoteTime time;
    if (!ParseDosDate(t.tok[0], time.year, time.month, time.day)) return NoMatch();
    bool usedMark = false;
    if (!ParseDosTime(t.tok[1], t.tok[2], usedMark, time.hour, time.minute, time.second)) {
        return NoMatch();
    }
    time.valid = true;
    const std::size_t sizeIndex = usedMark ? 3 : 2;
    if (sizeIndex >= t.count) return NoMatch();
    const std::string_view sizeField = t.tok[sizeIndex];

    RemoteEntry e;
    e.modified = time;
    std::size_t nameStart = EndOffset(line, sizeField);
    if (EqualsNoCase(sizeField, "<DIR>")) {
        // The <DIR> mark stands in a padded column: all blanks after it are padding.
        e.isDirectory = true;
        while (nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
    } else if (ParseDosSize(sizeField, e.size)) {
        // The size is right-aligned and followed by one blank, then the name.
        if (nameStart < line.size() && IsBlank(line[nameStart])) ++nameStart;
    } else {
        return NoMatch();
    }
    e.name.assign(line.substr(nameStart));
    return MakeEntry(std::move(e));
}

}  // namespace zyfar
