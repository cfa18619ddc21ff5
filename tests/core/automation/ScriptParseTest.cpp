// Script lines that never reach a server: unknown and empty lines, comments,
// field-count rules (fatal only for get, send and put), unknown sessions,
// messages and beeps, malformed files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

using ParseTest = ScriptTest;

TEST_F(ParseTest, FirstLineIsTheScriptPathAndCommentsListNothing) {
    const ScriptRunResult r = Run("/ a comment\n  // another\n/\n");
    EXPECT_EQ(Lines(), std::vector<std::string>{script_});
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(r.linesRead, 3);
}

TEST_F(ParseTest, UnknownAndEmptyLinesGiveParseErrorBlocksAndTheRunGoesOn) {
    const ScriptRunResult r = Run("frobnicate S x\n\n   \nmessage still here\n");
    std::vector<std::string> expected;
    for (const char* echo : {"frobnicate S x", "", ""}) {
        const std::vector<std::string> block = ErrorBlock(std::string("Could not parse this line in file:  ") + echo);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(Body(), expected);
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"still here"});
    EXPECT_EQ(r.errorBlocks, 3);
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
}

TEST_F(ParseTest, WrongFieldCountsOfNonTransferLinesAreReportedAndTheRunGoesOn) {
    const std::vector<std::string> bad{
        "open S host user",  "open S h u p 21 /d x", "close",     "close S x", "cd S",     "cd S a b",
        "lcd",               "lcd a b",              "mkdir S",   "remove S",  "remove S a b",
        "rmdir S a b",       "rename S a",           "rename S a b c",        "binary",  "ascii S x",
        "message",           "message ",
    };
    std::string script;
    for (const std::string& line : bad) script += line + "\n";
    script += "message reached\n";
    const ScriptRunResult r = Run(script);
    for (const std::string& line : bad) {
        std::string echo = line;
        if (line.rfind("open S h u p", 0) == 0) echo = "open S h u ******** 21 /d x";
        EXPECT_TRUE(HasErrorBlock("Bad number of parameters on line: " + echo)) << line;
    }
    EXPECT_EQ(r.errorBlocks, static_cast<int>(bad.size()));
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"reached"});
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
}

struct FatalCase {
    const char* line;
};

void PrintTo(const FatalCase& c, std::ostream* out) { *out << '"' << c.line << '"'; }

class FatalParameterTest : public ScriptTest, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(FatalParameterTest, EndsTheRunAfterTheParameterErrorBlock) {
    const std::string line = GetParam().line;
    const ScriptRunResult r = Run(line + "\nmessage not reached\n");
    EXPECT_EQ(Body(), ErrorBlock("Bad number of parameters on line: " + line));
    EXPECT_TRUE(host_.messages().empty());
    EXPECT_EQ(r.end, ScriptEnd::ParameterError);
    EXPECT_EQ(r.errorBlocks, 1);
}

INSTANTIATE_TEST_SUITE_P(TransferLines, FatalParameterTest,
                         ::testing::Values(FatalCase{"get S"}, FatalCase{"get S a b"}, FatalCase{"get S a w <"},
                                           FatalCase{"get S a w < 2 x"}, FatalCase{"get S *.txt w < two"},
                                           FatalCase{"GET S *.txt w < 2x"}, FatalCase{"send S T"},
                                           FatalCase{"send S T a b"}, FatalCase{"send S T a w < 99999999999"},
                                           FatalCase{"put S"}, FatalCase{"put S a b c d"},
                                           FatalCase{"putt S a w > x"}));

TEST_F(ParseTest, LinesNamingUnknownSessionsDoNothing) {
    const ScriptRunResult r =
        Run("get NOPE *.txt\nput NOPE *.txt\nsend NOPE OTHER *.txt\nclose NOPE\ncd NOPE /x\nmkdir NOPE x\n"
            "remove NOPE x\nrmdir NOPE x\nrename NOPE a b\nbinary NOPE\nascii NOPE\nget NOPE *.txt w < 2\n");
    EXPECT_EQ(Lines(), std::vector<std::string>{script_});
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_TRUE(LogEntries().empty());
}

TEST_F(ParseTest, SessionNamesAreCaseSensitive) {
    // "LOCAL" exists after an lcd; "local" does not.
    Run("lcd .\nbinary local\nbinary LOCAL\n");
    EXPECT_EQ(Body(), (std::vector<std::string>{"LOCAL: Change Directory OK .", "LOCAL: Binary mode"}));
}

TEST_F(ParseTest, MessageShowsTheRestOfTheLineAfterOneBlank) {
    Run("message Backup  starts now \nMESSAGE  two\nmessagex three\n");
    EXPECT_EQ(host_.messages(), (std::vector<std::string>{"Backup  starts now ", " two", " three"}));
    EXPECT_EQ(Lines().size(), 1u);
}

TEST_F(ParseTest, BeepRingsOnceALine) {
    Run("beep\nBEEP now\n");
    EXPECT_EQ(host_.beeps(), 2);
    EXPECT_EQ(Lines().size(), 1u);
}

TEST_F(ParseTest, MissingScriptRunsNothing) {
    ScriptInterpreter interpreter(output_, host_, &log_);
    const ScriptRunResult r = interpreter.Run(Path("missing.cmd"));
    EXPECT_EQ(r.end, ScriptEnd::CouldNotOpen);
    EXPECT_TRUE(Lines().empty());
}

TEST_F(ParseTest, LinesWithNulBytesOrOverLongAreNeverActedOn) {
    const std::string huge = "message " + std::string(1 << 20, 'x');
    const ScriptRunResult r = Run(std::string("message a\0b\n", 12) + huge + "\nmessage after\n");
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"after"});
    EXPECT_EQ(r.errorBlocks, 2);
    EXPECT_TRUE(HasErrorBlock("Could not parse this line in file:  message a?b"));
    for (const std::string& line : Lines()) EXPECT_LT(line.size(), 400u);
}

TEST_F(ParseTest, BinaryJunkGivesErrorBlocksAndNoCrash) {
    std::string junk = PatternBytes(64 * 1024, 7);
    const ScriptRunResult r = Run(junk);
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_GT(r.errorBlocks, 0);
    for (const std::string& line : Lines()) {
        for (char c : line) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << "control character in output";
    }
}

TEST_F(ParseTest, LocalFolderChangesCheckTheFolder) {
    MakeDir(local_ + "/sub");
    const ScriptRunResult r = Run("lcd sub\nlcd missing\nlcd " + local_ + "\n");
    std::vector<std::string> expected{"LOCAL: Change Directory OK sub"};
    const std::vector<std::string> block = ErrorBlock("LOCAL: Change Directory Failed missing");
    expected.insert(expected.end(), block.begin(), block.end());
    expected.push_back("LOCAL: Change Directory OK " + local_);
    EXPECT_EQ(Body(), expected);
    EXPECT_EQ(r.errorBlocks, 1);
    EXPECT_EQ(LogCodes(), (std::vector<int>{32867, 32868, 32867}));
}

}  // namespace
}  // namespace zyfar::autotest
