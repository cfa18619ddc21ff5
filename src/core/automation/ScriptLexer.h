#pragma once
// Reading an FTP command script: lines with bounded memory, the keyword a
// line starts with, its blank-separated fields, and the safe echo of a line
// in the batch output.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

// The longest line the interpreter takes (bytes, without the line end).
// Longer lines are kept cut to this length and flagged; the interpreter
// reports them as lines it cannot parse.
inline constexpr std::size_t kMaxScriptLineBytes = 8192;

// The script keywords in the order a line is matched against them.
enum class ScriptKeyword {
    Open,
    Get,
    Send,
    Put,
    Close,
    Cd,
    Lcd,
    Mkdir,
    Remove,
    Rmdir,
    Rename,
    Binary,
    Ascii,
    Message,
    Beep,
    Comment,
    None,  // no keyword matches
};

// The keyword's text ("open", ..., "/"); empty for None.
[[nodiscard]] std::string_view ScriptKeywordText(ScriptKeyword keyword);

// Removes the blanks (spaces and tabs) a line starts with.
[[nodiscard]] std::string_view StripLeadingBlanks(std::string_view line);

// The first keyword, in matching order, whose text equals the first
// characters of the line (as many as the keyword has, without regard to
// case). The rest of the line's first word is not looked at, so "OPENED"
// matches "open". The line must already be stripped of leading blanks.
[[nodiscard]] ScriptKeyword MatchScriptKeyword(std::string_view line);

// The line's fields: runs of characters other than white space (blank, tab,
// CR, LF, vertical tab, form feed). The keyword word is field 0.
[[nodiscard]] std::vector<std::string> SplitScriptFields(std::string_view line);

// The fields a command takes from its line: the keyword's word and then the
// command's arguments; words after the last field a command reads are
// ignored. A "get", "put" or "send" line ends with its file spec or goes on
// with the age filter "word op days", which must then be whole (all three
// words, days a whole number). Nothing when the line has fewer fields than
// its command needs or its age filter does not parse. Comment, "message" and
// "beep" lines give all their fields.
[[nodiscard]] std::optional<std::vector<std::string>> ReadScriptFields(ScriptKeyword keyword, std::string_view line);

// True for "get", "put" and "send".
[[nodiscard]] constexpr bool IsScriptTransfer(ScriptKeyword keyword) {
    return keyword == ScriptKeyword::Get || keyword == ScriptKeyword::Put || keyword == ScriptKeyword::Send;
}

// A whole field read as a signed 32-bit decimal number (an optional sign,
// then digits only); nothing for any other text or an out-of-range value.
[[nodiscard]] std::optional<std::int32_t> ParseScriptInteger(std::string_view field);

// A field read the way a port number is read: the leading decimal digits
// (after an optional sign), 0 when there are none. Values beyond the 32-bit
// range are held at its limits.
[[nodiscard]] std::int64_t LeadingInteger(std::string_view field);

// The line as the batch output shows it: the password field of an "open"
// line replaced by "********", control characters as "?", cut to about 240
// bytes (never inside a UTF-8 sequence) with "..." marking the cut.
[[nodiscard]] std::string ScriptEchoLine(std::string_view line, ScriptKeyword keyword);

// One line of a script file.
struct ScriptLine {
    std::string text;          // without the line end ("\n" or "\r\n")
    std::int64_t number = 0;   // 1 for the first line
    bool tooLong = false;      // longer than kMaxScriptLineBytes; text holds the start
    bool hasNul = false;       // the line holds a NUL byte
};

// Reads a script file line by line with a fixed-size buffer, whatever the
// length of the lines or of the file. A UTF-8 byte-order mark at the start
// of the file is skipped. A last line without a line end is a line.
class ScriptLineReader {
public:
    explicit ScriptLineReader(const std::string& path);
    ~ScriptLineReader();
    ScriptLineReader(const ScriptLineReader&) = delete;
    ScriptLineReader& operator=(const ScriptLineReader&) = delete;

    // True when the file could be opened for reading (and is not a folder).
    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
    // The errno of a failed open.
    [[nodiscard]] int OpenError() const { return openError_; }

    // The next line; false at the end of the file or after a read error.
    [[nodiscard]] bool Next(ScriptLine& line);
    // A read error ended the file early (ReadError() holds the errno).
    [[nodiscard]] bool Failed() const { return readError_ != 0; }
    [[nodiscard]] int ReadError() const { return readError_; }

private:
    // Refills the buffer; false at the end of the file or on an error.
    bool Fill();

    int fd_ = -1;
    int openError_ = 0;
    int readError_ = 0;
    bool eof_ = false;
    bool firstLine_ = true;
    std::int64_t lineNumber_ = 0;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

}  // namespace zyfar
