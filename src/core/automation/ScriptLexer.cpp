#include "automation/ScriptLexer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>

#include "ftp/FtpError.h"
#include "platform/TextUtil.h"

namespace zyfar {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kEchoMax = 240;
constexpr std::string_view kHiddenPassword = "********";

struct KeywordRow {
    ScriptKeyword keyword;
    std::string_view text;
    std::size_t fields;  // the fields the command needs, its keyword word included
    std::size_t most;    // the most it reads; later words are ignored
};

constexpr std::size_t kAllFields = std::numeric_limits<std::size_t>::max();

// Matching order: the first row whose text starts the line wins. A transfer
// reads either its plain fields or those and the three of the age filter.
constexpr std::array<KeywordRow, 16> kKeywords{{
    {ScriptKeyword::Open, "open", 6, 7},        // open S host login password port [directory]
    {ScriptKeyword::Get, "get", 3, 6},          // get S remote-spec [word op days]
    {ScriptKeyword::Send, "send", 4, 7},        // send S1 S2 spec [word op days]
    {ScriptKeyword::Put, "put", 3, 6},          // put S local-spec [word op days]
    {ScriptKeyword::Close, "close", 2, 2},      // close S
    {ScriptKeyword::Cd, "cd", 3, 3},            // cd S directory
    {ScriptKeyword::Lcd, "lcd", 2, 2},          // lcd directory
    {ScriptKeyword::Mkdir, "mkdir", 3, 3},      // mkdir S directory
    {ScriptKeyword::Remove, "remove", 3, 3},    // remove S spec
    {ScriptKeyword::Rmdir, "rmdir", 3, 3},      // rmdir S directory
    {ScriptKeyword::Rename, "rename", 4, 4},    // rename S old new
    {ScriptKeyword::Binary, "binary", 2, 2},    // binary S
    {ScriptKeyword::Ascii, "ascii", 2, 2},      // ascii S
    {ScriptKeyword::Message, "message", 0, kAllFields},
    {ScriptKeyword::Beep, "beep", 0, kAllFields},
    {ScriptKeyword::Comment, "/", 0, kAllFields},
}};

}  // namespace

std::string_view ScriptKeywordText(ScriptKeyword keyword) {
    for (const KeywordRow& row : kKeywords) {
        if (row.keyword == keyword) return row.text;
    }
    return {};
}

std::string_view StripLeadingBlanks(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    return line.substr(i);
}

ScriptKeyword MatchScriptKeyword(std::string_view line) {
    for (const KeywordRow& row : kKeywords) {
        if (StartsWithNoCase(line, row.text)) return row.keyword;
    }
    return ScriptKeyword::None;
}

std::vector<std::string> SplitScriptFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsWhiteSpace(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsWhiteSpace(line[i])) ++i;
        if (i > start) fields.emplace_back(line.substr(start, i - start));
    }
    return fields;
}

std::optional<std::vector<std::string>> ReadScriptFields(ScriptKeyword keyword, std::string_view line) {
    const auto row = std::find_if(kKeywords.begin(), kKeywords.end(),
                                  [keyword](const KeywordRow& r) { return r.keyword == keyword; });
    if (row == kKeywords.end()) return std::nullopt;
    std::vector<std::string> fields = SplitScriptFields(line);
    if (fields.size() < row->fields) return std::nullopt;
    if (fields.size() > row->most) fields.resize(row->most);
    // Any word after a transfer's spec starts the age filter, and a filter
    // that does not read whole is refused rather than dropped: dropping it
    // would copy every matching file.
    if (IsScriptTransfer(keyword) && fields.size() > row->fields &&
        (fields.size() < row->most || !ParseScriptInteger(fields.back())))
        return std::nullopt;
    return fields;
}

std::optional<std::int32_t> ParseScriptInteger(std::string_view field) {
    std::size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i == field.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < field.size(); ++i) {
        if (!IsDigit(field[i])) return std::nullopt;
        value = value * 10 + (field[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int64_t LeadingInteger(std::string_view field) {
    std::size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < field.size() && IsDigit(field[i]); ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return -value;
    return value > kLimit - 1 ? kLimit - 1 : value;
}

std::string ScriptEchoLine(std::string_view line, ScriptKeyword keyword) {
    std::string shown;
    if (keyword == ScriptKeyword::Open) {
        // open S host login password port [directory]: the fifth word is the password.
        std::vector<std::string> fields = SplitScriptFields(line);
        if (fields.size() >= 5) {
            fields[4] = std::string(kHiddenPassword);
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (i > 0) shown += ' ';
                shown += fields[i];
            }
        } else {
            shown = std::string(line);
        }
    } else {
        shown = std::string(line);
    }
    for (char& c : shown) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '?';
    }
    if (shown.size() > kEchoMax) shown = TruncateUtf8(shown, kEchoMax) + "...";
    return shown;
}

// ---- ScriptLineReader ---------------------------------------------------------------------

ScriptLineReader::ScriptLineReader(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) {
        openError_ = errno;
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        openError_ = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        return;
    }
    buffer_.resize(kReadChunk);
}

ScriptLineReader::~ScriptLineReader() {
    if (fd_ >= 0) ::close(fd_);
}

bool ScriptLineReader::Fill() {
    if (eof_ || fd_ < 0) return false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n > 0) {
            pos_ = 0;
            end_ = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) readError_ = errno;
        eof_ = true;
        return false;
    }
}

bool ScriptLineReader::Next(ScriptLine& line) {
    line.text.clear();
    line.tooLong = false;
    line.hasNul = false;
    bool sawAnything = false;
    bool ended = false;
    bool cut = false;
    while (!ended) {
        if (pos_ == end_ && !Fill()) break;
        sawAnything = true;
        const char* start = buffer_.data() + pos_;
        std::size_t n = end_ - pos_;
        std::size_t take = n;
        for (std::size_t i = 0; i < n; ++i) {
            if (start[i] == '\n') {
                take = i;
                ended = true;
                break;
            }
        }
        for (std::size_t i = 0; i < take; ++i) {
            if (start[i] == '\0') line.hasNul = true;
        }
        const std::size_t room = kMaxScriptLineBytes + 1 - std::min(line.text.size(), kMaxScriptLineBytes + 1);
        if (take > room) cut = true;
        line.text.append(start, std::min(take, room));
        pos_ += take + (ended ? 1 : 0);
    }
    if (!sawAnything) return false;
    // The text keeps one byte more than the limit, so a line of exactly the
    // limit followed by CR LF is not flagged.
    if (!cut && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    if (cut || line.text.size() > kMaxScriptLineBytes) {
        line.tooLong = true;
        line.text.resize(kMaxScriptLineBytes);
    }
    if (firstLine_) {
        firstLine_ = false;
        if (line.text.compare(0, 3, "\xEF\xBB\xBF") == 0) line.text.erase(0, 3);
    }
    line.number = ++lineNumber_;
    return true;
}

}  // namespace zyfar
