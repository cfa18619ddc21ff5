// Command-line script and link runs of the built program with a display (the
// offscreen platform stands in for one): the batch output window or one
// transfer window per site, the program ending by itself, and the same exit
// status as the unattended run of the same job.
#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"

#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

const std::vector<std::string> kOffscreen{"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=/tmp"};

class DisplayRunTest : public ScriptTest {
protected:
    void SetUpProgram() {
        if (::access(ProgramPath().c_str(), X_OK) != 0) GTEST_SKIP() << "the program is not built";
        for (const auto& [section, key, value] : std::vector<std::tuple<const char*, const char*, std::string>>{
                 {"CONFIG", "ProfilePath", base_}, {"CONFIG", "DataDir", local_}, {"CONFIG", "Email", "me@example.org"},
                 {"FTP", "AccessType", "DirectAccess"}, {"FTP", "Passive", "YES"}, {"FTP", "Retry", "0"},
                 {"SCHEDULE", "ResendFail", "0"}, {"LOG", "ToFile", "NO"}}) {
            ASSERT_TRUE(WritePrivateProfileString(section, key, value, SettingsFilePath()));
        }
    }
};

// Each job runs once with the offscreen display and once headless; both end
// by themselves with the expected status and do the same work.
TEST_F(DisplayRunTest, ExitStatusesMatchTheUnattendedRuns) {
    SetUpProgram();
    if (IsSkipped()) return;
    test::PyFtpdServer one, two;
    ASSERT_TRUE(one.started() && two.started());
    WriteFile(one.root() + "/p.txt", "program");
    const std::string a = MakeLocalFile("a.txt", 3000, 1), b = MakeLocalFile("b.txt", 70000, 2);
    const std::string list = MakeFileList("list", {"a.txt", "b.txt"});
    const std::string good = MakeProfile("good1", "127.0.0.1", one.port());
    const std::string good2 = MakeProfile("good2", "127.0.0.1", two.port());
    const std::string refused = MakeProfile("refused", "127.0.0.1", two.port(), "wrong");
    MakeLink("both", {good, good2}, list);
    MakeLink("onebad", {good, refused}, list);
    MakeLink("nolist", {good}, std::nullopt);
    const std::string fine = Path("fine.cmd"), errors = Path("errors.cmd");
    WriteFile(fine, OpenLine("S", one) + "get S p.txt\nbeep\n/ a comment\n");
    WriteFile(errors, OpenLine("S", one) + "cd S /nowhere\nget S p.txt\n");
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const std::vector<Case> cases{
        {{"-b", fine}, kHeadlessOk},        {{"/B", errors}, kHeadlessErrors}, {{"-l", "both"}, kHeadlessLinkOk},
        {{"-l", "onebad"}, kHeadlessLinkFailed}, {{"-l", "nolist"}, kHeadlessLinkFailed},
    };
    for (const Case& c : cases) {
        for (const bool display : {true, false}) {
            SCOPED_TRACE(c.args[0] + " " + c.args[1] + (display ? " with a display" : " headless"));
            ::unlink((local_ + "/p.txt").c_str());
            for (PyFtpdServer* s : {&one, &two}) {
                ::unlink((s->root() + "/a.txt").c_str());
                ::unlink((s->root() + "/b.txt").c_str());
            }
            std::vector<std::string> args = c.args;
            if (!display) args.insert(args.begin(), "--headless");
            const ProgramOutcome o = RunProgram(args, Root(), display ? kOffscreen : std::vector<std::string>{});
            EXPECT_EQ(o.status, c.status) << o.err;
            if (c.args[0] == "-b") {
                EXPECT_EQ(ReadFile(local_ + "/p.txt"), "program");
            }
            if (c.args[1] == "both" || c.args[1] == "onebad") {
                EXPECT_TRUE(SameBytes(ReadFile(one.root() + "/a.txt"), a));
                EXPECT_TRUE(SameBytes(ReadFile(one.root() + "/b.txt"), b));
            }
            if (c.args[1] == "both") {
                EXPECT_TRUE(SameBytes(ReadFile(two.root() + "/b.txt"), b));
            } else if (c.args[1] == "onebad") {
                EXPECT_FALSE(ReadFile(two.root() + "/a.txt"));
            }
        }
    }
}

// A terminate signal during a script run with a display cancels the run; the
// program still ends by itself, with the errors status.
TEST_F(DisplayRunTest, ATerminateSignalCancelsTheRunWithADisplay) {
    SetUpProgram();
    if (IsSkipped()) return;
    test::FaultServer server(R"({"feat": ["SIZE"], "listing": "-rw-r--r-- 1 u g 99 Jan 01  2024 s.bin\r\n",)"
                             R"( "files": {"s.bin": "0123456789"}, "transfer": {"RETR": {"send_bytes": 4, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string script = Path("stall.cmd");
    WriteFile(script, OpenLine("F", server) + "get F s.bin\n");
    const pid_t pid = StartProgram({"-b", script}, Root(), kOffscreen);
    ASSERT_GT(pid, 0);
    const bool reached = server.WaitForLine("RETR s.bin", std::chrono::seconds(20));
    ::kill(pid, SIGTERM);
    const ProgramOutcome o = FinishProgram(pid, Root());
    ASSERT_TRUE(reached);
    EXPECT_EQ(o.status, kHeadlessErrors) << o.err;
    EXPECT_FALSE(ReadFile(local_ + "/s.bin"));
}

}  // namespace
}  // namespace zyfar::autotest
