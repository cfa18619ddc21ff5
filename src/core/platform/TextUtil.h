#pragma once
// Byte-level text helpers used by every module. They look at ASCII only, so
// their answers never depend on the process locale (a GUI run sets one).
#include <cstddef>
#include <string>
#include <string_view>

namespace zyfar {

inline constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A blank inside a line: space or tab.
inline constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// White space as the C library's "C" locale has it: blank, tab, CR, LF,
// vertical tab, form feed.
inline constexpr bool IsWhiteSpace(char c) { return IsBlank(c) || (c >= '\n' && c <= '\r'); }

// Not empty and digits only (no sign, no blanks).
inline constexpr bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

// The value of a hexadecimal digit (either case), -1 for any other byte.
inline constexpr int HexDigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
inline constexpr char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string ToLowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

inline std::string ToUpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

inline constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

inline constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

inline constexpr bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// True when the text holds a CR, an LF or a NUL: it cannot be stored in a
// line of a text file or sent as one command line.
inline constexpr bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace zyfar
