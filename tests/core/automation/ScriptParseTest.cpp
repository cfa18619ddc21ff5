// Script lines that never reach a server: lexer, fields, echo, line reader, age filter, and whole runs.
#include "AutomationTestSupport.h"
#include "automation/ScriptLexer.h"
#include "automation/ScriptTransfer.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

TEST(ScriptKeywordTest, MatchesThePrefixWithoutRegardToCaseInTableOrder) {
    const std::vector<std::pair<std::string, ScriptKeyword>> rows{
        {"openings", ScriptKeyword::Open}, {"GETALL x", ScriptKeyword::Get}, {"cdup", ScriptKeyword::Cd},
        {"lcd x", ScriptKeyword::Lcd},     {"remove", ScriptKeyword::Remove}, {"rmdir", ScriptKeyword::Rmdir},
        {"Ascii", ScriptKeyword::Ascii},   {"//x", ScriptKeyword::Comment},   {"", ScriptKeyword::None},
        {"remov", ScriptKeyword::None},    {"lc x", ScriptKeyword::None},     {"  \t open x", ScriptKeyword::Open},
    };
    // Leading blanks are removed before matching.
    for (const auto& [line, keyword] : rows) {
        EXPECT_EQ(MatchScriptKeyword(StripLeadingBlanks(line)), keyword) << "line: \"" << line << "\"";
    }
    EXPECT_EQ(StripLeadingBlanks("  \t open x"), "open x");
}

// Later words are ignored, but a transfer's age filter must be whole.
TEST(ScriptFieldsTest, CommandsReadTheirFieldsAndIgnoreLaterWords) {
    using Fields = std::optional<std::vector<std::string>>;
    const std::vector<std::pair<std::string, Fields>> rows{
        {"open  S\thost  user\rpw 21 ", Fields{{"open", "S", "host", "user", "pw", "21"}}},
        {"open S h u p 21 /d extra", Fields{{"open", "S", "h", "u", "p", "21", "/d"}}},
        {"close S x y", Fields{{"close", "S"}}},          {"cd S a b", Fields{{"cd", "S", "a"}}},
        {"lcd a b", Fields{{"lcd", "a"}}},                {"rename S a b c", Fields{{"rename", "S", "a", "b"}}},
        {"ascii S x", Fields{{"ascii", "S"}}},            {"get S *.txt", Fields{{"get", "S", "*.txt"}}},
        {"get S *.txt w < 2 and more", Fields{{"get", "S", "*.txt", "w", "<", "2"}}},
        {"send S T a w >= -1 x", Fields{{"send", "S", "T", "a", "w", ">=", "-1"}}},
        {"put S a w ?? 3", Fields{{"put", "S", "a", "w", "??", "3"}}},  // an unknown operator passes nothing
        {"beep now", Fields{{"beep", "now"}}},            {"open S host user", std::nullopt},
        {"close", std::nullopt},    {"cd S", std::nullopt},      {"rename S a", std::nullopt},
        {"binary", std::nullopt},   {"get S", std::nullopt},     {"get S a b", std::nullopt},  // a filter cut short
        {"get S *.txt < 2", std::nullopt}, {"send S T a w <", std::nullopt}, {"get S a w < two", std::nullopt},
        {"put S a w < 2x", std::nullopt},  {"send S T a w < 99999999999", std::nullopt},
    };
    for (const auto& [line, fields] : rows) EXPECT_EQ(ReadScriptFields(MatchScriptKeyword(line), line), fields) << line;
}

TEST(ScriptFieldsTest, IntegersMustBeWholeFieldsInRangeAndPortsReadTheLeadingDigits) {
    const std::pair<const char*, std::optional<std::int32_t>> integers[] = {
        {"2", 2}, {"-3", -3}, {"+7", 7}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt}, {"99999999999999999999", std::nullopt}, {"2x", std::nullopt},
        {"", std::nullopt}, {"-", std::nullopt}, {"x", std::nullopt}};
    for (const auto& [text, value] : integers) EXPECT_EQ(ParseScriptInteger(text), value) << text;
    EXPECT_EQ(std::vector({LeadingInteger("2121"), LeadingInteger("21abc"), LeadingInteger("abc")}),
              std::vector<std::int64_t>({2121, 21, 0}));
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
    EXPECT_EQ(ScriptEchoLine(std::string("bad\x1b[2Jline\x7f", 12), ScriptKeyword::None), "bad?[2Jline?");
    // A long line is cut (ParseTest.LinesWithNulBytesOrOverLongAreNeverActedOn), never inside a UTF-8 sequence.
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

// ---- age filter ----

TEST(ScriptAgeFilterTest, OperatorsCompareUtcAgesAgainstWholeDays) {
    constexpr std::int64_t kDay = 86400;
    struct Row {
        const char* op;
        std::int32_t days;
        std::int64_t age;
        bool passes;
    };
    const std::vector<Row> rows{
        {">", 2, 2 * kDay + 1, true}, {">", 2, 2 * kDay, false},     {">=", 2, 2 * kDay, true}, {">=", 2, 2 * kDay - 1, false},
        {"<", 2, 2 * kDay - 1, true}, {"<", 2, 2 * kDay, false},     {"<=", 2, 2 * kDay, true}, {"<=", 2, 2 * kDay + 1, false},
        {"=", 2, 2 * kDay, true},     {"=", 2, kDay + 1, true},      {"=", 2, kDay, false},     {"=", 2, 2 * kDay + 1, false},
        {"==", 2, 2 * kDay, false},   {"", 2, 0, false},             {">", 2147483647, 0, false},
        {"<", 2147483647, 100 * kDay, true},
    };
    for (const Row& row : rows) {
        ScriptAgeFilter filter{row.op, row.days};
        EXPECT_EQ(filter.Passes(row.age), row.passes) << row.op << " " << row.days << " age " << row.age;
    }
    // Server times are taken as UTC.
    RemoteTime t{2024, 3, 1, 12, 30, 15, true};
    EXPECT_EQ(RemoteTimeToEpoch(t), 1709296215);
    t.valid = false;
    EXPECT_FALSE(RemoteTimeToEpoch(t));
}

// ---- whole runs ----

using ParseTest = ScriptTest;

// Unknown and empty lines, and wrong field counts of other lines than transfers, give error blocks; the run goes on.
TEST_F(ParseTest, UnknownLinesAndWrongFieldCountsOfNonTransferLinesAreReportedAndTheRunGoesOn) {
    const std::vector<std::string> bad{"open S host user", "open A 127.0.0.1 user pass 70000",  // a port out of range
                                       "close",  "cd S", "lcd", "mkdir S", "remove S", "rmdir S", "rename S a",
                                       "binary", "message", "message "};
    std::string script = "frobnicate S x\n\n   \n";
    for (const std::string& line : bad) script += line + "\n";
    const ScriptRunResult r = Run(script + "message reached\n");
    std::vector<std::string> expected;
    for (const char* echo : {"frobnicate S x", "", ""})
        for (const std::string& l : ErrorBlock(std::string("Could not parse this line in file:  ") + echo)) expected.push_back(l);
    for (std::string echo : bad) {
        if (echo.rfind("open A", 0) == 0) echo = "open A 127.0.0.1 user ******** 70000";
        for (const std::string& l : ErrorBlock("Bad number of parameters on line: " + echo)) expected.push_back(l);
    }
    EXPECT_EQ(Body(), expected);
    EXPECT_EQ(r.errorBlocks, static_cast<int>(bad.size()) + 3);
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"reached"});
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_TRUE(LogEntries().empty());
}

// Wrong field counts of get, send and put end the run.
TEST_F(ParseTest, BadTransferLinesEndTheRunAfterTheParameterErrorBlock) {
    for (const std::string line : {"get S", "GET S *.txt w < 2x", "send S T", "put S a b c d", "putt S a w > x"}) {
        const std::size_t before = Lines().size() + 1;  // and the script path
        const ScriptRunResult r = Run(line + "\nmessage not reached\n");
        const std::vector<std::string> lines = Lines();
        EXPECT_EQ(std::vector(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()),
                  ErrorBlock("Bad number of parameters on line: " + line));
        EXPECT_TRUE(r.end == ScriptEnd::ParameterError && r.errorBlocks == 1) << line;
    }
    EXPECT_TRUE(host_.messages().empty());
}

// The first line is the script path; comments and lines naming unknown sessions list nothing.
TEST_F(ParseTest, CommentsAndLinesNamingUnknownSessionsDoNothing) {
    const ScriptRunResult r =
        Run("/ a comment\n  // another\n/\nget NOPE *.txt\nput NOPE *.txt\nsend NOPE OTHER *.txt\nclose NOPE\n"
            "cd NOPE /x\nmkdir NOPE x\nremove NOPE x\nrmdir NOPE x\nrename NOPE a b\nbinary NOPE\nascii NOPE\nget NOPE *.txt w < 2\n"
            "close NOPE x\ncd NOPE a b\nrename NOPE a b c\nput NOPE a w < 2 more\n");  // later words are ignored
    EXPECT_EQ(Lines(), std::vector<std::string>{script_});
    EXPECT_TRUE(r.errorBlocks == 0 && r.end == ScriptEnd::EndOfFile && r.linesRead == 19);
    EXPECT_TRUE(LogEntries().empty());
}

TEST_F(ParseTest, MessageShowsTheRestOfTheLineAfterOneBlankAndBeepRingsOnceALine) {
    Run("message Backup  starts now \nbeep\nMESSAGE  two\nmessagex three\nBEEP now\n");
    EXPECT_EQ(host_.messages(), (std::vector<std::string>{"Backup  starts now ", " two", " three"}));
    EXPECT_EQ(host_.beeps(), 2);
    EXPECT_EQ(Lines().size(), 1u);
}

TEST_F(ParseTest, LinesWithNulBytesOrOverLongAreNeverActedOn) {
    const std::string huge = "message " + std::string(1 << 20, 'x');
    const ScriptRunResult r = Run(std::string("message a\0b\n", 12) + huge + "\nmessage after\n");
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"after"});
    EXPECT_EQ(r.errorBlocks, 2);
    EXPECT_TRUE(HasErrorBlock("Could not parse this line in file:  message a?b"));
    for (const std::string& line : Lines()) EXPECT_LT(line.size(), 400u);
}

// "LOCAL" exists after an lcd; "local" does not (session names are case sensitive).
TEST_F(ParseTest, LocalFolderChangesCheckTheFolder) {
    MakeDir(local_ + "/sub");
    const ScriptRunResult r = Run("lcd sub ignored\nlcd missing\nlcd " + local_ + "\nbinary local\nbinary LOCAL\n");
    EXPECT_EQ(Body(), Expand({"LOCAL: Change Directory OK sub", "!LOCAL: Change Directory Failed missing",
                              "LOCAL: Change Directory OK " + local_, "LOCAL: Binary mode"}));
    EXPECT_EQ(r.errorBlocks, 1);
    EXPECT_EQ(LogCodes(), (std::vector<int>{32867, 32868, 32867}));
}

}  // namespace
}  // namespace zyfar::autotest
