#pragma once
// Small helpers shared by the listing parsers: token splitting, number,
// month and time parsing, calendar arithmetic and the name safety check.
// Nothing here allocates; everything works on views into the line.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ftp/ListingParser.h"
#include "ftp/RemoteEntry.h"
#include "platform/TextUtil.h"

namespace zyfar::listing {

std::string_view TrimBlanks(std::string_view s);

// Up to N blank-separated tokens of a line, as views into it. `more` is set
// when the line holds further tokens after the N-th.
template <std::size_t N>
struct Tokens {
    std::array<std::string_view, N> tok{};
    std::size_t count = 0;
    bool more = false;
};

template <std::size_t N>
Tokens<N> SplitTokens(std::string_view line) {
    Tokens<N> t;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
        while (i < n && IsBlank(line[i])) ++i;
        if (i >= n) break;
        if (t.count == N) {
            t.more = true;
            break;
        }
        const std::size_t b = i;
        while (i < n && !IsBlank(line[i])) ++i;
        t.tok[t.count++] = line.substr(b, i - b);
    }
    return t;
}

// Offset of the first byte after a token (a view into line) within line.
inline std::size_t EndOffset(std::string_view line, std::string_view token) {
    return static_cast<std::size_t>(token.data() - line.data()) + token.size();
}

// A non-negative decimal number made of digits only (no sign, no blanks),
// that fits into 63 bits.
bool ParseDecimal(std::string_view s, std::int64_t& value);
// Same, limited to int, and to at most maxDigits digits.
bool ParseSmallInt(std::string_view s, int& value, std::size_t maxDigits = 9);

// A month's name, abbreviated or long, with or without a final ".", any
// case, in English and the languages servers' ls prints ("Mär", "janv.",
// "ene", "mrt", "maj", "márc", "1月"): 1..12, else 0.
int MonthFromName(std::string_view s);
// A year of two digits (below 70: 20xx, else 19xx) or three (years since
// 1900, as some servers print 2003: "103"); four digits stand as they are.
int ExpandYear(int year, std::size_t digits);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);
// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(int year, int month, int day);
// Calendar time (UTC) of a count of seconds since 1970-01-01 00:00:00.
// Gives an invalid time when the year would leave 1..9999.
RemoteTime TimeFromUnixSeconds(std::int64_t seconds);

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.fraction" (24 hours).
bool ParseClock(std::string_view s, int& hour, int& minute, int& second);

// ParseClock, also taking what servers print at the edges: "24:00" (the end
// of the day: hour 24, which MakeEntry turns into 00:00 of the next day) and
// a minute cut to one digit ("00:0", read as its first digit: 00:00).
bool ParseLooseClock(std::string_view s, int& hour, int& minute, int& second);

// The current UTC time when the context does not carry a valid one.
RemoteTime NowOrSystem(const ListingContext& ctx);

// An entry verdict, or Ignore when the entry's name is not safe to hand out.
// A time of 24:00 becomes 00:00 of the next day.
LineResult MakeEntry(RemoteEntry&& e);
inline LineResult Ignored() { return LineResult{LineResult::Ignore, {}}; }
inline LineResult NoMatch() { return LineResult{LineResult::NoMatch, {}}; }

// True for a line that holds a VMS file name with its version and nothing
// else: the details of that entry follow on the next line.
bool IsVmsNameOnlyLine(std::string_view line);

}  // namespace zyfar::listing
