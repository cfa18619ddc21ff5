// The script lexer, as the interpreter reads a script: the input is a script
// file; every line is read back with the fixed-size line reader, and each is
// stripped, matched against the keywords, split into fields, echoed and its
// fields read as numbers.
//
// The reader must give the file's lines as they are (a line model below:
// split at LF, a CR before it and a first-line BOM dropped, cut at the line
// limit); the echo never holds a control character and shows the mask for
// the password of an "open" line; numbers stay in range.
#include <limits>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "automation/ScriptLexer.h"

namespace {

struct Expected {
    std::string text;
    bool tooLong = false;
    bool hasNul = false;
};

std::vector<Expected> Model(std::string_view file) {
    std::vector<Expected> lines;
    while (!file.empty()) {
        const std::size_t lf = file.find('\n');
        std::string_view raw = file.substr(0, lf);
        file.remove_prefix(lf == std::string_view::npos ? file.size() : lf + 1);
        Expected e;
        e.hasNul = raw.find('\0') != std::string_view::npos;
        if (raw.size() <= zyfar::kMaxScriptLineBytes + 1 && !raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        if (raw.size() > zyfar::kMaxScriptLineBytes) {
            e.tooLong = true;
            raw = raw.substr(0, zyfar::kMaxScriptLineBytes);
        }
        e.text = raw;
        if (lines.empty() && e.text.compare(0, 3, "\xEF\xBB\xBF") == 0) e.text.erase(0, 3);
        lines.push_back(std::move(e));
    }
    return lines;
}

void CheckLine(std::string_view text) {
    const std::string_view stripped = zyfar::StripLeadingBlanks(text);
    FUZZ_CHECK(stripped.empty() || (stripped.front() != ' ' && stripped.front() != '\t'));
    const zyfar::ScriptKeyword keyword = zyfar::MatchScriptKeyword(stripped);
    const std::vector<std::string> fields = zyfar::SplitScriptFields(stripped);
    for (const std::string& f : fields) {
        FUZZ_CHECK(!f.empty() && f.find_first_of(" \t\r\n\v\f") == std::string::npos);
        if (const auto n = zyfar::ParseScriptInteger(f)) FUZZ_CHECK(zyfar::LeadingInteger(f) == *n);
        const std::int64_t lead = zyfar::LeadingInteger(f);
        FUZZ_CHECK(lead >= std::numeric_limits<std::int32_t>::min() && lead <= std::numeric_limits<std::int32_t>::max());
    }
    if (keyword != zyfar::ScriptKeyword::None) {
        const std::string_view word = zyfar::ScriptKeywordText(keyword);
        FUZZ_CHECK(!fields.empty() && fields.front().size() >= word.size());
    }
    const std::string echo = zyfar::ScriptEchoLine(stripped, keyword);
    FUZZ_CHECK(echo.size() <= 243);
    for (const char c : echo) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    std::size_t masked = fields.size() >= 5 ? fields.size() - 1 + 8 - fields[4].size() : 0;
    for (const std::string& f : fields) masked += f.size();
    if (keyword == zyfar::ScriptKeyword::Open && fields.size() >= 5 && masked <= 240) {
        // Short enough not to be cut: the fifth word shown is the mask, whatever the password.
        const std::vector<std::string> shown = zyfar::SplitScriptFields(echo);
        FUZZ_CHECK(shown.size() == fields.size() && shown[4] == "********");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file = zyfar::fuzz::AsText(data, size);
    const std::vector<Expected> expected = Model(file);

    zyfar::ScriptLineReader reader(zyfar::fuzz::ScratchFile(file));
    FUZZ_CHECK(reader.IsOpen());
    zyfar::ScriptLine line;
    std::size_t n = 0;
    while (reader.Next(line)) {
        FUZZ_CHECK(n < expected.size());
        const Expected& e = expected[n];
        ++n;
        FUZZ_CHECK(line.number == static_cast<std::int64_t>(n));
        FUZZ_CHECK(line.text == e.text && line.tooLong == e.tooLong && line.hasNul == e.hasNul);
        CheckLine(line.text);
    }
    FUZZ_CHECK(!reader.Failed() && n == expected.size());
    return 0;
}
