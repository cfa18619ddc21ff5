#pragma once
// Line-level helpers of the INI engine (internal to the settings module).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/TextUtil.h"

namespace zyfar::ini_text {

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsWhiteSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsWhiteSpace(s.back())) s.remove_suffix(1);
    return s;
}

// The section name of a header line ("[name]", blanks allowed around both
// the brackets and the name; a missing "]" takes the rest of the line), or
// nothing when the line is not a header.
inline std::optional<std::string_view> HeaderName(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    std::size_t i = 0;
    while (i < line.size() && IsWhiteSpace(line[i])) ++i;
    if (i >= line.size() || line[i] != '[') return std::nullopt;
    std::string_view rest = line.substr(i + 1);
    if (const std::size_t close = rest.find(']'); close != std::string_view::npos) rest = rest.substr(0, close);
    return Trim(rest);
}

// Names that can be written without changing how the file parses.
inline bool ValidSectionName(std::string_view name) {
    const std::string_view t = Trim(name);
    return !t.empty() && !HasLineBreakOrNul(name) && t.find(']') == std::string_view::npos;
}

inline bool ValidKeyName(std::string_view name) {
    const std::string_view t = Trim(name);
    return !t.empty() && !HasLineBreakOrNul(name) && t.find('=') == std::string_view::npos && t.front() != '[' &&
           t.front() != ';';
}

inline bool ValidValue(std::string_view value) { return !HasLineBreakOrNul(value); }

struct EntryLine {
    std::string_view key;    // trimmed
    std::string_view value;  // trimmed
    std::size_t lineStart;   // offset of the line in the block text
    std::size_t lineEnd;     // one past its "\n"
};

// End offset of a block's header line (0 for the lines before any header).
inline std::size_t HeaderLineEnd(std::string_view block, bool hasHeader) {
    if (!hasHeader) return 0;
    const std::size_t nl = block.find('\n');
    return nl == std::string_view::npos ? block.size() : nl + 1;
}

// Calls fn for every "key=value" line of a block in order (the header line,
// blank lines, ";" comments, lines without "=" and lines with an empty key
// are skipped) until fn returns false.
template <typename Fn>
void ForEachEntry(std::string_view block, bool hasHeader, Fn&& fn) {
    std::size_t pos = HeaderLineEnd(block, hasHeader);
    while (pos < block.size()) {
        const std::size_t nl = block.find('\n', pos);
        const std::size_t end = nl == std::string_view::npos ? block.size() : nl + 1;
        std::string_view line = block.substr(pos, (nl == std::string_view::npos ? block.size() : nl) - pos);
        const std::string_view trimmed = Trim(line);
        if (!trimmed.empty() && trimmed.front() != ';') {
            if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
                const std::string_view key = Trim(line.substr(0, eq));
                if (!key.empty()) {
                    if (!fn(EntryLine{key, Trim(line.substr(eq + 1)), pos, end})) return;
                }
            }
        }
        pos = end;
    }
}

}  // namespace zyfar::ini_text
