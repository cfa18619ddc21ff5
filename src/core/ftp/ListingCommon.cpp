#include "ftp/ListingCommon.h"

#include <charconv>
#include <ctime>
#include <utility>

namespace zyfar {

bool IsSafeRemoteName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           !HasLineBreakOrNul(name);
}

namespace listing {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool ParseDecimal(std::string_view s, std::int64_t& value) {
    if (!AllDigits(s)) return false;
    std::int64_t v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;  // overflow
    value = v;
    return true;
}

bool ParseSmallInt(std::string_view s, int& value, std::size_t maxDigits) {
    if (s.size() > maxDigits || !AllDigits(s)) return false;
    int v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    value = v;
    return true;
}

namespace {

// Month names as ls prints them in the locales servers run in: English,
// German, French, Spanish, Italian, Portuguese, Dutch, Swedish, Danish and
// Norwegian, Hungarian, Polish, Czech, Finnish and Russian, abbreviated and
// long, lower case, UTF-8 (a few also in Latin-1, as older servers send them).
// No spelling stands for two different months.
struct MonthName {
    std::string_view name;
    int month;
};
constexpr MonthName kMonthNames[] = {
    // 1
    {"january", 1}, {"januar", 1}, {"janv", 1}, {"janvier", 1}, {"ene", 1}, {"enero", 1}, {"gen", 1},
    {"gennaio", 1}, {"janeiro", 1}, {"januari", 1}, {"j\xc3\xa4n", 1}, {"j\xc3\xa4nner", 1}, {"janu\xc3\xa1r", 1},
    {"sty", 1}, {"stycze\xc5\x84", 1}, {"led", 1}, {"leden", 1}, {"tammi", 1}, {"tammikuu", 1},
    {"\xd1\x8f\xd0\xbd\xd0\xb2", 1},
    // 2
    {"february", 2}, {"februar", 2}, {"f\xc3\xa9vr", 2}, {"fevr", 2}, {"f\xc3\xa9v", 2}, {"f\xc3\xa9vrier", 2},
    {"fevrier", 2}, {"f\xe9vr", 2}, {"febrero", 2}, {"febbraio", 2}, {"fev", 2}, {"fevereiro", 2},
    {"februari", 2}, {"febr", 2}, {"febru\xc3\xa1r", 2}, {"lut", 2}, {"luty", 2}, {"\xc3\xbano", 2},
    {"\xc3\xbanor", 2}, {"helmi", 2}, {"helmikuu", 2}, {"\xd1\x84\xd0\xb5\xd0\xb2", 2},
    // 3
    {"march", 3}, {"m\xc3\xa4r", 3}, {"m\xe4r", 3}, {"mrz", 3}, {"m\xc3\xa4rz", 3}, {"m\xe4rz", 3},
    {"maerz", 3}, {"mars", 3}, {"marzo", 3}, {"mar\xc3\xa7o", 3}, {"mrt", 3}, {"maart", 3}, {"marts", 3},
    {"m\xc3\xa1rc", 3}, {"m\xc3\xa1rcius", 3}, {"marzec", 3}, {"b\xc5\x99" "e", 3}, {"b\xc5\x99" "ezen", 3},
    {"maalis", 3}, {"maaliskuu", 3}, {"\xd0\xbc\xd0\xb0\xd1\x80", 3},
    // 4
    {"april", 4}, {"avr", 4}, {"avril", 4}, {"abr", 4}, {"abril", 4}, {"aprile", 4}, {"\xc3\xa1pr", 4},
    {"\xc3\xa1prilis", 4}, {"kwi", 4}, {"kwiecie\xc5\x84", 4}, {"dub", 4}, {"duben", 4}, {"huhti", 4},
    {"huhtikuu", 4}, {"\xd0\xb0\xd0\xbf\xd1\x80", 4},
    // 5
    {"may", 5}, {"mai", 5}, {"mayo", 5}, {"mag", 5}, {"maggio", 5}, {"maio", 5}, {"mei", 5}, {"maj", 5},
    {"m\xc3\xa1j", 5}, {"m\xc3\xa1jus", 5}, {"kv\xc4\x9b", 5}, {"kv\xc4\x9bten", 5}, {"touko", 5},
    {"toukokuu", 5}, {"\xd0\xbc\xd0\xb0\xd0\xb9", 5}, {"\xd0\xbc\xd0\xb0\xd1\x8f", 5},
    // 6
    {"june", 6}, {"juni", 6}, {"juin", 6}, {"junio", 6}, {"giu", 6}, {"giugno", 6}, {"junho", 6},
    {"j\xc3\xban", 6}, {"j\xc3\xbanius", 6}, {"cze", 6}, {"czerwiec", 6}, {"\xc4\x8dvn", 6}, {"\xc4\x8d" "erven", 6},
    {"kes\xc3\xa4", 6}, {"kes\xc3\xa4kuu", 6}, {"\xd0\xb8\xd1\x8e\xd0\xbd", 6},
    // 7
    {"july", 7}, {"juli", 7}, {"juil", 7}, {"juillet", 7}, {"julio", 7}, {"lug", 7}, {"luglio", 7}, {"julho", 7},
    {"j\xc3\xbal", 7}, {"j\xc3\xbalius", 7}, {"lip", 7}, {"lipiec", 7}, {"\xc4\x8dvc", 7},
    {"\xc4\x8d" "ervenec", 7}, {"hein\xc3\xa4", 7}, {"hein\xc3\xa4kuu", 7}, {"\xd0\xb8\xd1\x8e\xd0\xbb", 7},
    // 8
    {"august", 8}, {"ao\xc3\xbbt", 8}, {"ao\xfbt", 8}, {"aout", 8}, {"ago", 8}, {"agosto", 8},
    {"augustus", 8}, {"augusti", 8}, {"augusztus", 8}, {"sie", 8}, {"sierpie\xc5\x84", 8}, {"srp", 8},
    {"srpen", 8}, {"elo", 8}, {"elokuu", 8}, {"\xd0\xb0\xd0\xb2\xd0\xb3", 8},
    // 9
    {"september", 9}, {"sept", 9}, {"septembre", 9}, {"septiembre", 9}, {"setiembre", 9}, {"set", 9},
    {"settembre", 9}, {"setembro", 9}, {"szept", 9}, {"szeptember", 9}, {"wrz", 9}, {"wrzesie\xc5\x84", 9},
    {"z\xc3\xa1\xc5\x99", 9}, {"z\xc3\xa1\xc5\x99\xc3\xad", 9}, {"syys", 9}, {"syyskuu", 9},
    {"\xd1\x81\xd0\xb5\xd0\xbd", 9},
    // 10
    {"october", 10}, {"oktober", 10}, {"okt", 10}, {"octobre", 10}, {"octubre", 10}, {"ott", 10},
    {"ottobre", 10}, {"out", 10}, {"outubro", 10}, {"okt\xc3\xb3" "ber", 10}, {"pa\xc5\xba", 10},
    {"pa\xc5\xba" "dziernik", 10}, {"\xc5\x99\xc3\xadj", 10}, {"\xc5\x99\xc3\xadjen", 10}, {"loka", 10},
    {"lokakuu", 10}, {"\xd0\xbe\xd0\xba\xd1\x82", 10},
    // 11
    {"november", 11}, {"novembre", 11}, {"noviembre", 11}, {"novembro", 11}, {"lis", 11}, {"listopad", 11},
    {"marras", 11}, {"marraskuu", 11}, {"\xd0\xbd\xd0\xbe\xd1\x8f", 11},
    // 12
    {"december", 12}, {"dez", 12}, {"dezember", 12}, {"d\xc3\xa9" "c", 12}, {"d\xe9" "c", 12}, {"d\xc3\xa9" "cembre", 12},
    {"decembre", 12}, {"dic", 12}, {"diciembre", 12}, {"dicembre", 12}, {"dezembro", 12}, {"des", 12},
    {"desember", 12}, {"gru", 12}, {"grudzie\xc5\x84", 12}, {"pro", 12}, {"prosinec", 12}, {"joulu", 12},
    {"joulukuu", 12}, {"\xd0\xb4\xd0\xb5\xd0\xba", 12},
};

constexpr std::string_view kEnglishShort = "janfebmaraprmayjunjulaugsepoctnovdec";

}  // namespace

int MonthFromName(std::string_view s) {
    if (s.size() == 3) {  // the usual case first: "Jan" .. "Dec", any case
        const char a = LowerAscii(s[0]), b = LowerAscii(s[1]), c = LowerAscii(s[2]);
        for (std::size_t i = 0; i < kEnglishShort.size(); i += 3) {
            if (kEnglishShort[i] == a && kEnglishShort[i + 1] == b && kEnglishShort[i + 2] == c) {
                return static_cast<int>(i / 3) + 1;
            }
        }
    }
    if (!s.empty() && s.back() == '.') s.remove_suffix(1);  // "janv.", "Mär."
    // "1月" (Japanese, Chinese) and "1월" (Korean): the month's number.
    for (std::string_view mark : {std::string_view("\xe6\x9c\x88"), std::string_view("\xec\x9b\x94")}) {
        if (s.size() > mark.size() && s.substr(s.size() - mark.size()) == mark) {
            int m = 0;
            if (ParseSmallInt(s.substr(0, s.size() - mark.size()), m, 2) && m >= 1 && m <= 12) return m;
            return 0;
        }
    }
    if (s.size() < 3 || s.size() > 24) return 0;
    // Lower case: ASCII letters, Latin-1 capitals and their UTF-8 forms
    // ("Ä" C3 84 -> "ä" C3 A4).
    char lower[24];
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto u = static_cast<unsigned char>(s[i]);
        char c = LowerAscii(s[i]);
        if (u >= 0x80 && u <= 0x9E && i > 0 && static_cast<unsigned char>(s[i - 1]) == 0xC3) {
            c = static_cast<char>(u + 0x20);
        } else if (u >= 0xC0 && u <= 0xDE && u != 0xC3 && u != 0xC5 && u != 0xC4 && u != 0xD0 && u != 0xD1 &&
                   u != 0xD7) {
            c = static_cast<char>(u + 0x20);  // a Latin-1 capital
        }
        lower[i] = c;
    }
    const std::string_view key(lower, s.size());
    for (const MonthName& m : kMonthNames) {
        if (m.name.size() == key.size() && m.name == key) return m.month;
    }
    return 0;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

// Shifts the year to start in March, so the leap day is the last day of the
// shifted year; 400-year eras of 146097 days then make the count exact.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;                        // 0..399
    const std::int64_t shiftedMonth = month > 2 ? month - 3 : month + 9;  // March = 0
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;  // 719468: days from 0000-03-01 to 1970-01-01
}

RemoteTime TimeFromUnixSeconds(std::int64_t seconds) {
    RemoteTime t;
    // Years 1..9999 only: keeps every step below far from overflow.
    constexpr std::int64_t kMin = -62135596800LL;  // 0001-01-01T00:00:00
    constexpr std::int64_t kMax = 253402300799LL;  // 9999-12-31T23:59:59
    if (seconds < kMin || seconds > kMax) return t;
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    t.year = static_cast<int>(year);
    t.month = static_cast<int>(month);
    t.day = static_cast<int>(day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.valid = true;
    return t;
}

bool ParseClock(std::string_view s, int& hour, int& minute, int& second) {
    // H:MM or HH:MM, then optional :SS and an optional fraction.
    const std::size_t c1 = s.find(':');
    if (c1 == std::string_view::npos || c1 == 0 || c1 > 2) return false;
    int h = 0, m = 0, sec = 0;
    if (!ParseSmallInt(s.substr(0, c1), h, 2)) return false;
    std::string_view rest = s.substr(c1 + 1);
    if (rest.size() < 2 || !ParseSmallInt(rest.substr(0, 2), m, 2)) return false;
    rest.remove_prefix(2);
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 3 || !ParseSmallInt(rest.substr(1, 2), sec, 2)) {
            return false;
        }
        rest.remove_prefix(3);
        if (!rest.empty()) {
            if (rest.front() != '.' && rest.front() != ',') return false;
            if (rest.size() > 1 && !AllDigits(rest.substr(1))) return false;
        }
    }
    if (h > 23 || m > 59 || sec > 60) return false;
    hour = h;
    minute = m;
    second = sec > 59 ? 59 : sec;  // a leap second shows as :59
    return true;
}

bool ParseLooseClock(std::string_view s, int& hour, int& minute, int& second) {
    if (ParseClock(s, hour, minute, second)) return true;
    if (s == "24:00" || s == "24:00:00") {
        hour = 24;
        minute = 0;
        second = 0;
        return true;
    }
    const std::size_t colon = s.find(':');
    int h = 0, m = 0;
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() != colon + 2 ||
        !ParseSmallInt(s.substr(0, colon), h, 2) || !ParseSmallInt(s.substr(colon + 1), m, 1) || h > 23 || m > 5) {
        return false;
    }
    hour = h;
    minute = m * 10;
    second = 0;
    return true;
}

int ExpandYear(int year, std::size_t digits) {
    if (digits <= 2) return year < 70 ? 2000 + year : 1900 + year;
    if (digits == 3) return 1900 + year;
    return year;
}

RemoteTime NowOrSystem(const ListingContext& ctx) {
    if (ctx.now.valid) return ctx.now;
    return TimeFromUnixSeconds(static_cast<std::int64_t>(std::time(nullptr)));
}

LineResult MakeEntry(RemoteEntry&& e) {
    if (!IsSafeRemoteName(e.name) || HasLineBreakOrNul(e.linkTarget)) return Ignored();
    if (e.modified.valid && e.modified.hour == 24) {
        const RemoteTime& t = e.modified;
        e.modified = TimeFromUnixSeconds((DaysFromCivil(t.year, t.month, t.day) + 1) * 86400);
    }
    LineResult r;
    r.kind = LineResult::Entry;
    r.entry = std::move(e);
    return r;
}

}  // namespace listing
}  // namespace zyfar
