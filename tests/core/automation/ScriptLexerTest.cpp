// Script lines: keyword matching by prefix and order, fields, numbers, the
// safe echo, and the bounded line reader.
#include "automation/ScriptLexer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "automation/ScriptTransfer.h"
#include "support/FtpTestServer.h"

namespace zyfar {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(ScriptKeywordTest, MatchesThePrefixWithoutRegardToCaseInTableOrder) {
    const std::vector<std::pair<std::string, ScriptKeyword>> rows{
        {"open a", ScriptKeyword::Open},       {"OPEN a", ScriptKeyword::Open},
        {"openings", ScriptKeyword::Open},     {"get", ScriptKeyword::Get},
        {"GETALL x", ScriptKeyword::Get},      {"send", ScriptKeyword::Send},
        {"put x", ScriptKeyword::Put},         {"close", ScriptKeyword::Close},
        {"cd x", ScriptKeyword::Cd},           {"cdup", ScriptKeyword::Cd},
        {"lcd x", ScriptKeyword::Lcd},         {"mkdir", ScriptKeyword::Mkdir},
        {"remove", ScriptKeyword::Remove},     {"rmdir", ScriptKeyword::Rmdir},
        {"rename", ScriptKeyword::Rename},     {"binary", ScriptKeyword::Binary},
        {"Ascii", ScriptKeyword::Ascii},       {"message hi", ScriptKeyword::Message},
        {"beep", ScriptKeyword::Beep},         {"/ comment", ScriptKeyword::Comment},
        {"//x", ScriptKeyword::Comment},       {"", ScriptKeyword::None},
        {"ge", ScriptKeyword::None},           {"remov", ScriptKeyword::None},
        {"delete x", ScriptKeyword::None},     {"# no", ScriptKeyword::None},
        {"lc x", ScriptKeyword::None},         {"messag", ScriptKeyword::None},
        {"  \t open x", ScriptKeyword::Open}, {"\t\tget a b", ScriptKeyword::Get},
        {"   ", ScriptKeyword::None},
    };
    // Leading blanks are removed before matching.
    for (const auto& [line, keyword] : rows) {
        EXPECT_EQ(MatchScriptKeyword(StripLeadingBlanks(line)), keyword) << "line: \"" << line << "\"";
    }
    EXPECT_EQ(StripLeadingBlanks("  \t open x"), "open x");
}

TEST(ScriptFieldsTest, SplitsAtAnyWhiteSpace) {
    EXPECT_EQ(SplitScriptFields("open  S\thost  user\rpw 21 "),
              (std::vector<std::string>{"open", "S", "host", "user", "pw", "21"}));
    EXPECT_TRUE(SplitScriptFields(" \t ").empty());
    EXPECT_EQ(SplitScriptFields("x"), (std::vector<std::string>{"x"}));
}

TEST(ScriptFieldsTest, IntegersMustBeWholeFieldsInRangeAndPortsReadTheLeadingDigits) {
    const std::pair<const char*, std::optional<std::int32_t>> integers[] = {
        {"2", 2}, {"-3", -3}, {"+7", 7}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt}, {"99999999999999999999", std::nullopt}, {"2x", std::nullopt},
        {"", std::nullopt}, {"-", std::nullopt}, {"x", std::nullopt}};
    for (const auto& [text, value] : integers) EXPECT_EQ(ParseScriptInteger(text), value) << text;
    EXPECT_EQ(LeadingInteger("2121"), 2121);
    EXPECT_EQ(LeadingInteger("21abc"), 21);
    EXPECT_EQ(LeadingInteger("abc"), 0);
    EXPECT_EQ(LeadingInteger("-5"), -5);
    EXPECT_GT(LeadingInteger("99999999999999999999999"), 65535);
}

TEST(ScriptEchoTest, HidesThePasswordOfAnOpenLine) {
    const std::pair<const char*, const char*> open[] = {
        {"open S host user secret 21", "open S host user ******** 21"},
        {"OPEN S host user secret", "OPEN S host user ********"},
        {"open S host user secret 21 /dir extra", "open S host user ******** 21 /dir extra"},
        {"open S host user", "open S host user"}};
    for (const auto& [line, echo] : open) EXPECT_EQ(ScriptEchoLine(line, ScriptKeyword::Open), echo);
    EXPECT_EQ(ScriptEchoLine("get S a b c", ScriptKeyword::Get), "get S a b c");  // other lines as they are
}

TEST(ScriptEchoTest, ControlCharactersAndLengthAreTamed) {
    EXPECT_EQ(ScriptEchoLine(std::string("bad\x1b[2Jline\x7f", 12), ScriptKeyword::None), "bad?[2Jline?");
    const std::string echo = ScriptEchoLine(std::string(5000, 'x'), ScriptKeyword::None);
    EXPECT_LT(echo.size(), 300u);
    EXPECT_EQ(echo.substr(echo.size() - 3), "...");
    // A cut never splits a UTF-8 sequence.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "\xC3\xA9";
    const std::string cut = ScriptEchoLine(wide, ScriptKeyword::None);
    const std::string body = cut.substr(0, cut.size() - 3);
    EXPECT_EQ(body.size() % 2, 0u);
}

class ScriptReaderTest : public ::testing::Test {
protected:
    std::vector<ScriptLine> ReadAll(const std::string& bytes) {
        const std::string path = dir_ / "s.cmd";
        WriteFile(path, bytes);
        ScriptLineReader reader(path);
        EXPECT_TRUE(reader.IsOpen());
        std::vector<ScriptLine> lines;
        ScriptLine line;
        while (reader.Next(line)) lines.push_back(line);
        EXPECT_FALSE(reader.Failed());
        return lines;
    }
    TempDir dir_{"zyfar-lexer"};
};

TEST_F(ScriptReaderTest, SplitsLinesDropsLineEndsAndFlagsNulBytes) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
        int nulLine;  // the line flagged for a NUL byte, -1 for none
    };
    const std::vector<Case> cases{
        {"open a\r\n\nget b\nlast", {"open a", "", "get b", "last"}, -1},
        {"", {}, -1},
        {"a\n", {"a"}, -1},  // a final newline adds no line
        // A byte order mark is skipped only at the start.
        {"\xEF\xBB\xBFopen a\n\xEF\xBB\xBFx\n", {"open a", "\xEF\xBB\xBFx"}, -1},
        {std::string("cd S a\0b\nbeep\n", 14), {std::string("cd S a\0b", 8), "beep"}, 0},
    };
    for (const Case& c : cases) {
        const std::vector<ScriptLine> lines = ReadAll(c.bytes);
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            texts.push_back(lines[i].text);
            EXPECT_EQ(lines[i].number, static_cast<int>(i + 1));
            EXPECT_EQ(lines[i].hasNul, static_cast<int>(i) == c.nulLine) << i;
        }
        EXPECT_EQ(texts, c.lines);
    }
}

TEST_F(ScriptReaderTest, LongLinesAreCutAndFlaggedWithoutLosingTheNextLine) {
    const std::string full(kMaxScriptLineBytes, 'a');
    const std::vector<ScriptLine> lines = ReadAll(full + "\r\n" + full + "b\r\n" + std::string(1 << 20, 'g') + "\nbeep\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, full);  // exactly the limit: not flagged
    EXPECT_FALSE(lines[0].tooLong);
    for (std::size_t i : {1u, 2u}) {
        EXPECT_TRUE(lines[i].tooLong) << i;
        EXPECT_EQ(lines[i].text.size(), kMaxScriptLineBytes) << i;
    }
    EXPECT_EQ(lines[3].text, "beep");
    EXPECT_FALSE(lines[3].tooLong);
}

TEST_F(ScriptReaderTest, MissingFileAndFolderDoNotOpen) {
    ScriptLineReader missing(dir_ / "none.cmd");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_NE(missing.OpenError(), 0);
    ScriptLineReader folder(dir_.path());
    EXPECT_FALSE(folder.IsOpen());
    ScriptLine line;
    EXPECT_FALSE(folder.Next(line));
}

// ---- age filter ------------------------------------------------------------------------------

TEST(ScriptAgeFilterTest, OperatorsCompareAgainstWholeDays) {
    constexpr std::int64_t kDay = 86400;
    struct Row {
        const char* op;
        std::int32_t days;
        std::int64_t age;
        bool passes;
    };
    const std::vector<Row> rows{
        {">", 2, 2 * kDay + 1, true},      {">", 2, 2 * kDay, false},
        {">=", 2, 2 * kDay, true},         {">=", 2, 2 * kDay - 1, false},
        {"<", 2, 2 * kDay - 1, true},      {"<", 2, 2 * kDay, false},
        {"<=", 2, 2 * kDay, true},         {"<=", 2, 2 * kDay + 1, false},
        {"=", 2, 2 * kDay, true},          {"=", 2, kDay + 1, true},
        {"=", 2, kDay, false},             {"=", 2, 2 * kDay + 1, false},
        {"=", 0, 0, true},                 {"=", 0, 1, false},
        {"<", 0, -5, true},                {"==", 2, 2 * kDay, false},
        {"", 2, 0, false},                 {"gt", 2, 10 * kDay, false},
        {">", 2147483647, 0, false},       {"<", 2147483647, 100 * kDay, true},
    };
    for (const Row& row : rows) {
        ScriptAgeFilter filter{row.op, row.days};
        EXPECT_EQ(filter.Passes(row.age), row.passes) << row.op << " " << row.days << " age " << row.age;
    }
}

TEST(ScriptAgeFilterTest, ServerTimesAreTakenAsUtc) {
    RemoteTime t{2024, 3, 1, 12, 30, 15, true};
    EXPECT_EQ(RemoteTimeToEpoch(t), 1709296215);
    t.valid = false;
    EXPECT_FALSE(RemoteTimeToEpoch(t));
}

TEST(ScriptLocalNameTest, OnlyPlainNamesAreSafe) {
    EXPECT_TRUE(IsSafeLocalName("a.txt"));
    EXPECT_TRUE(IsSafeLocalName("..a"));
    for (const std::string name : {"", ".", "..", "../x", "a/b"}) EXPECT_FALSE(IsSafeLocalName(name)) << name;
    EXPECT_FALSE(IsSafeLocalName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace zyfar
