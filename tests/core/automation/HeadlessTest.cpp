// Unattended link runs in this process, and link and script runs of the built program without a display.
#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"

#include "../ftp/FtpTestHelpers.h"
#include "AutomationTestSupport.h"
#include "log/LogFormats.h"

#include <tuple>

namespace zyfar::autotest {
namespace {

// The parsed output lines; a line that is not a log line fails the test.
std::vector<LogLineFields> LogLines(const std::string& out) {
    std::vector<LogLineFields> fields;
    for (const std::string& line : SplitLines(out)) {
        std::optional<LogLineFields> f = ParseLogLine(line);
        EXPECT_TRUE(f.has_value()) << "not a log line: " << line;
        if (f) fields.push_back(std::move(*f));
    }
    return fields;
}

std::size_t Count(const std::vector<LogLineFields>& lines, int code) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const LogLineFields& f) { return f.code == code; }));
}

class HeadlessTest : public ScriptTest {
protected:
    // Link "nightly" sends a.txt and b.txt to the servers; the site at `refusing` has a wrong password.
    void MakeNightly(const std::vector<test::PyFtpdServer*>& servers, int refusing = -1,
                     const std::vector<std::string>& moreProfiles = {}) {
        contents_ = {MakeLocalFile("a.txt", 3000, 1), MakeLocalFile("b.txt", 70000, 2)};
        std::vector<std::string> profiles;
        for (std::size_t i = 0; i < servers.size(); ++i) {
            profiles.push_back(MakeProfile("site" + std::to_string(i), "127.0.0.1", servers[i]->port(),
                                           static_cast<int>(i) == refusing ? "wrong" : "pass"));
        }
        profiles.insert(profiles.end(), moreProfiles.begin(), moreProfiles.end());
        MakeLink("nightly", profiles, MakeFileList("list", {"a.txt", "b.txt"}));
    }
    void ExpectDelivered(const std::vector<test::PyFtpdServer*>& servers) {
        for (test::PyFtpdServer* s : servers) {
            EXPECT_TRUE(SameBytes(ReadFile(s->root() + "/a.txt"), contents_[0]));
            EXPECT_TRUE(SameBytes(ReadFile(s->root() + "/b.txt"), contents_[1]));
        }
    }
    // The program's settings: same profile base and data folder, no retries, failures queued.
    void SetUpProgram(bool logToFile = false) {
        if (::access(ProgramPath().c_str(), X_OK) != 0) GTEST_SKIP() << "the program is not built";
        const std::string settings = SettingsFilePath();
        for (const auto& [section, key, value] :
             std::vector<std::tuple<const char*, const char*, std::string>>{
                 {"CONFIG", "ProfilePath", base_}, {"CONFIG", "DataDir", local_}, {"CONFIG", "Email", "me@example.org"},
                 {"FTP", "AccessType", "DirectAccess"}, {"FTP", "Passive", "YES"}, {"FTP", "Retry", "0"},
                 {"SCHEDULE", "ResendFail", "1"}, {"LOG", "ToFile", logToFile ? "" : "NO"}}) {
            if (std::string(key) == "ToFile" && logToFile) continue;  // absent: the log file is written
            ASSERT_TRUE(WritePrivateProfileString(section, key, value, settings));
        }
    }
    std::vector<std::string> contents_;
};

// ---- in this process ----

// A success prints the same and exits with 0 (ProgramExitStatusesAndOutput); link problems are printed there too.
TEST_F(HeadlessTest, LinkPrintsTheLogAndWhySitesFailedAndQueuesTheirFiles) {
    test::PyFtpdServer one, two;
    ASSERT_TRUE(one.started() && two.started());
    const Socket refusing = test::RefusingSocket();
    Set("SCHEDULE", "ResendFail", "1");
    MakeNightly({&one, &two}, 1, {MakeProfile("closed", "127.0.0.1", refusing.LocalAddress().port())});
    CapturedStream out, err;
    // No sink given: the user's queue file.
    EXPECT_EQ(RunHeadlessLink("nightly", out.get(), err.get()), kHeadlessLinkFailed);
    // Every entry of the run was printed, in the log file's line format.
    std::string expected;
    for (const LogEntry& e : TheTransferLog().Entries()) expected += FormatLogLine(e);
    EXPECT_EQ(out.Text(), expected);
    const std::vector<LogLineFields> lines = LogLines(out.Text());
    EXPECT_EQ(Count(lines, logcode::FtpTransferComplete), 2u);
    EXPECT_EQ(Count(lines, logcode::FtpTransferFailed), 4u);
    EXPECT_EQ(Count(lines, logcode::FtpConnectionOk), 1u);
    // Standard error says why each site failed, never with the password.
    const std::string why = err.Text();
    EXPECT_NE(why.find("4 of 6 file transfers failed"), std::string::npos) << why;
    EXPECT_NE(why.find("zyfar: 127.0.0.1:" + std::to_string(two.port()) + ": 530 "), std::string::npos) << why;
    EXPECT_NE(why.find("zyfar: 127.0.0.1:" + std::to_string(refusing.LocalAddress().port()) + ": "),
              std::string::npos) << why;
    EXPECT_NE(why.find("Connection refused"), std::string::npos) << why;
    EXPECT_EQ(why.find("wrong"), std::string::npos) << why;
    ExpectDelivered({&one});
    // The two failing sites differ only in port: one queue entry per file.
    ASSERT_EQ(QueueCount(), 2);
    EXPECT_EQ(Q(1, "Port"), std::to_string(two.port()));
    EXPECT_EQ(Q(1, "Password"), "wrong");
}

// ---- the built program ----

TEST_F(HeadlessTest, ProgramExitStatusesAndOutput) {
    SetUpProgram();
    if (IsSkipped()) return;
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    WriteFile(server.root() + "/p.txt", "program");
    MakeNightly({&server});
    const std::string good = Path("job.cmd");
    WriteFile(good, OpenLine("S", server.port()) + "message hello from the job\nget S p.txt\n");
    WriteFile(LinksFolder() + "/broken.ini", "[LinkItems]\nSites=two\n");
    WriteFile(Path("job.txt"), "beep\n");
    test::MakeDir(Path("folder.cmd"));
    EXPECT_TRUE(IsScriptFilePath(good) && !IsScriptFilePath(Path("job.txt")));
    const std::string errors = Path("JOB.CMD");
    WriteFile(errors, "open S 127.0.0.1 user secret1\ncd\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;  // a part of standard error
    };
    const std::string noScript = "Could not open Zyfar Script file, exiting ....\n";
    std::string blocks = errors + "\n";
    for (const std::string& l : Expand({"!Bad number of parameters on line: open S 127.0.0.1 user ********",
                                        "!Bad number of parameters on line: cd"})) {
        blocks += l + "\n";
    }
    const std::vector<Case> cases{
        {{"-l", "nosuch"}, 2, "", "Could not find Zyfar link, exiting ...\n"},
        {{"--headless", "-l", "broken"}, 1, "", "The link names no file list."},
        {{"--headless", "-b", Path("job.txt")}, 2, "", noScript},
        {{"--headless", "-b", Path("missing.cmd")}, 2, "", noScript},
        {{"--headless", "-b", Path("folder.cmd")}, 2, "", noScript},
        {{"--headless", "/B", errors}, 1, blocks, ""},
        {{"--headless", "-b", good}, 0,
         good + "\nS: Internet Connection OK\nS: FTP Connection OK\nhello from the job\nS: FTP Transfer Complete p.txt\n", ""},
        {{"/L", "nightly", "-b", good}, 0, "", ""},  // the first flag counts; the output is the log (below)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[c.args.size() - 2] + " " + c.args.back());
        const ProgramOutcome o = RunProgram(c.args, Root());
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
        if (c.args[0] != "/L") {
            EXPECT_EQ(o.out, c.out);
            continue;
        }
        const std::vector<LogLineFields> lines = LogLines(o.out);
        EXPECT_EQ(Count(lines, logcode::FtpTransferComplete), 2u);
        EXPECT_EQ(Count(lines, logcode::FtpTransferFailed), 0u);
        for (const LogLineFields& f : lines) {
            EXPECT_TRUE(f.code != logcode::FtpTransferComplete ||
                        f.source + " > " + f.destination == "Local Machine > 127.0.0.1");
        }
    }
    EXPECT_EQ(ReadFile(local_ + "/p.txt"), "program");
    ExpectDelivered({&server});
    EXPECT_EQ(QueueCount(), 0);
}

TEST_F(HeadlessTest, ATerminateSignalCancelsTheScriptWhichStillClosesAndLogsItsSessions) {
    SetUpProgram(true);
    if (IsSkipped()) return;
    test::FaultServer server(R"({"feat": ["SIZE"], "listing": "-rw-r--r-- 1 u g 99 Jan 01  2024 s.bin\r\n",)"
                             R"( "files": {"s.bin": "0123456789"}, "transfer": {"RETR": {"send_bytes": 4, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string logs = Path("logs");
    test::MakeDir(logs);
    ASSERT_TRUE(WritePrivateProfileString("CONFIG", "DefaultDir", logs, SettingsFilePath()));
    const std::string script = Path("stall.cmd");
    WriteFile(script, "open F 127.0.0.1 user pass " + std::to_string(server.port()) + "\nget F s.bin\nbeep\n");
    const pid_t pid = StartProgram({"--headless", "-b", script}, Root());
    ASSERT_GT(pid, 0);
    const bool reached = server.WaitForLine("RETR s.bin", std::chrono::seconds(20));
    ::kill(pid, SIGTERM);
    const ProgramOutcome o = FinishProgram(pid, Root());
    ASSERT_TRUE(reached);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(SplitLines(o.out), Expand({script, "F: Internet Connection OK", "F: FTP Connection OK",
                                         "!F: The operation was canceled. s.bin"}));
    EXPECT_FALSE(ReadFile(local_ + "/s.bin"));
    const std::vector<std::string> logLines = SplitLines(ReadFile(logs + "/log1.log").value_or(""));
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.front(), "FTP_SERVER_FILE");
    EXPECT_EQ(logLines.back().rfind("32876\t", 0), 0u) << logLines.back();
}

}  // namespace
}  // namespace zyfar::autotest
