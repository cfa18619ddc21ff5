// Link runs: the plan read from a link, its file list and profiles; the command-line run; unattended link runs
// in this process; link and script runs of the built program, unattended and with a display.
#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"
#include "automation/LinkRun.h"

#include "support/FtpClientHelpers.h"
#include "AutomationTestSupport.h"
#include "log/LogFormats.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

const std::vector<std::string> kOffscreen{"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=/tmp"};

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
    // The program's settings: same profile base and data folder, no retries, failures queued or not.
    void SetUpProgram(bool logToFile = false, bool queueFailures = true) {
        if (::access(ProgramPath().c_str(), X_OK) != 0) GTEST_SKIP() << "the program is not built";
        for (const auto& [section, key, value] : std::vector<std::tuple<const char*, const char*, std::string>>{
                 {"CONFIG", "ProfilePath", base_}, {"CONFIG", "DataDir", local_}, {"CONFIG", "Email", "me@example.org"},
                 {"FTP", "AccessType", "DirectAccess"}, {"FTP", "Passive", "YES"}, {"FTP", "Retry", "0"},
                 {"SCHEDULE", "ResendFail", queueFailures ? "1" : "0"}, {"LOG", "ToFile", logToFile ? "" : "NO"}}) {
            if (std::string(key) == "ToFile" && logToFile) continue;  // absent: the log file is written
            ASSERT_TRUE(WritePrivateProfileString(section, key, value, SettingsFilePath()));
        }
    }
    std::vector<std::string> contents_;
};

// ---- the plan and the command-line run ----

using LinkRunTest = AutomationTest;

bool HasProblem(const std::vector<std::string>& problems, const std::string& words) {
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(words) != std::string::npos; });
}

// Jobs take the size from the disk and the put casing; missing files and profiles are named and left out.
TEST_F(LinkRunTest, PlanReadsFilesAndSitesAndLeavesOutWhatIsMissing) {
    MakeLocalFile("Here.TXT", 5);
    WriteProfileString("CONFIG", "FileCasingPut", "LOWER_CASE");
    ASSERT_TRUE(test::MakeDir(local_ + "/folder"));
    const std::string list = MakeFileList("mixed", {"Here.TXT", "gone.txt", "folder"});
    const std::string good = MakeProfile("good", "good.example", 2121, "p1", "/pub", "u1");
    const std::string noHost = MakeProfile("nohost", "x", 21);
    ASSERT_TRUE(WritePrivateProfileString("Settings", "Host", "", noHost));
    const std::string junk = ProfilesFolder() + "/junk.ini";
    ASSERT_TRUE(test::WriteFile(junk, std::string("\x7f" "ELF\0\0binary junk", 17)));
    MakeLink("partial", {good, ProfilesFolder() + "/deleted.ini", noHost, junk}, list);

    const LinkRunPlan plan = PlanLinkRun("partial");
    EXPECT_TRUE(plan.found && plan.CanRun());
    ASSERT_EQ(plan.jobs.size(), 1u);
    const CTransferJob& j = plan.jobs[0];
    EXPECT_EQ(j.localDir + "/" + j.sourceName + " > " + j.targetName + " " + std::to_string(j.size) + " " +
                  std::to_string(j.status) + " " + std::to_string(plan.batchSize),
              local_ + "/Here.TXT > here.txt 5 -1 5");
    ASSERT_EQ(plan.servers.size(), 1u);
    EXPECT_EQ(ServerText(plan.servers[0]), "good.example u1/p1 /pub :2121");
    for (const std::string& words : {local_ + "/gone.txt does not exist", local_ + "/folder is not a file",
                                     std::string("deleted.ini does not exist"), std::string("nohost.ini names no host"),
                                     std::string("junk.ini names no host")})
        EXPECT_TRUE(HasProblem(plan.problems, words)) << words;
    EXPECT_EQ(plan.problems.size(), 5u);
}

TEST_F(LinkRunTest, MalformedLinkAndListFilesGiveClearErrors) {
    MakeLocalFile("a.txt", 1);
    const std::string site = MakeProfile("site", "h.example", 21);
    const std::string list = MakeFileList("list", {"a.txt"});
    const std::string five = MakeFileList("five", {"a.txt"});
    ASSERT_TRUE(WritePrivateProfileString("LIST", "NumItems", "5", five + "/flist.ini"));
    const std::string oneSite = "[SITE1]\nSITE=" + site + "\n";
    const std::pair<const char*, std::string> files[] = {
        {"garbage", std::string("\x01\x02not an ini\n\xff")},
        {"holes", "[LinkItems]\nSites=3\nFiles=" + list + "/flist.ini\n" + oneSite + "[SITE3]\nSITE=" + site + "\n"},
        {"lost", "[LinkItems]\nSites=1\nFiles=/nonexistent/flist.ini\n" + oneSite},
        {"junk", "[LinkItems]\nSites=1\nFiles=" + Path("junk.ini") + "\n" + oneSite},
    };
    for (const auto& [name, text] : files) ASSERT_TRUE(test::WriteFile(LinksFolder() + "/" + name + ".ini", text));
    ASSERT_TRUE(test::WriteFile(Path("junk.ini"), "this is not a file list\n"));
    MakeLink("nolist", {site}, std::nullopt);
    MakeLink("short", {site}, five);
    struct Case {
        const char* link;
        bool canRun;
        std::vector<std::string> problems;  // words each of some problem
    };
    const std::vector<Case> cases{
        {"nolist", false, {"names no file list"}},
        {"garbage", false, {"names no file list", "names no site profiles"}},
        {"holes", true, {"Section SITE2 of the link names no site profile"}},  // a count above the sections
        {"lost", false, {"The file list /nonexistent/flist.ini does not exist"}},
        {"junk", false, {"lists no files"}},
        {"short", true, {"says it lists 5 files, but only 1 of them can be read"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        const LinkRunPlan plan = PlanLinkRun(c.link);
        EXPECT_TRUE(plan.found);
        EXPECT_EQ(plan.CanRun(), c.canRun);
        for (const std::string& words : c.problems) EXPECT_TRUE(HasProblem(plan.problems, words)) << words;
    }
    EXPECT_EQ(PlanLinkRun("holes").servers.size(), 2u);
    // Unknown or unsafe names, and a folder named like a link, are not found.
    ASSERT_TRUE(test::MakeDir(LinksFolder() + "/dir.ini"));
    for (const char* name : {"nosuch", "", "../Profiles/site", "dir"}) EXPECT_FALSE(PlanLinkRun(name).found) << name;
}

TEST_F(LinkRunTest, CommandLineRunCountsItsRunsBeforeTheFirstStartsOrEndsAtOnce) {
    MakeLocalFile("a.txt", 1);
    const std::string list = MakeFileList("list", {"a.txt"});
    MakeLink("three", {MakeProfile("s1", "one", 21), MakeProfile("s2", "two", 21), MakeProfile("s3", "three", 21)},
             list);
    RecordingStarter starter;
    std::vector<int> pendingAtStart;
    starter.onStart = [&](const TransferRun&) { pendingAtStart.push_back(PendingLinkTransfers()); };
    const LinkRunResult r = RunCommandLineLink("three", starter);
    EXPECT_EQ(r.runsStarted, 3);
    EXPECT_EQ(pendingAtStart, (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(starter.runs[0]->mode, TransferMode::PutKeep);
    EXPECT_EQ(host.quits.load(), 0);
    // Nothing to send: the run ends at once.
    MakeLink("empty", {MakeProfile("s4", "four", 21)}, std::nullopt);
    const LinkRunResult empty = RunCommandLineLink("empty", starter);
    EXPECT_TRUE(empty.found && empty.runsStarted == 0 && starter.runs.size() == 3u);
    EXPECT_EQ(host.quits.load(), 1);
    EXPECT_EQ(PendingLinkTransfers(), 0);

    // An unknown link: nothing is touched, the caller says 33051.
    SetPendingLinkTransfers(-1);
    const LinkRunResult unknown = RunCommandLineLink("nosuch", starter);
    EXPECT_FALSE(unknown.found);
    EXPECT_EQ(PendingLinkTransfers(), -1);
    EXPECT_EQ(host.quits.load(), 1);
}

// ---- unattended, in this process ----

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
    EXPECT_EQ(SplitLines(out.Text()).size(), TheTransferLog().Entries().size());
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
    // The two failing sites differ only in port: each keeps its own entries.
    ASSERT_EQ(QueueCount(), 4);
    std::multiset<std::string> ports;
    for (int n = 1; n <= 4; ++n) ports.insert(Q(n, "Port"));
    const std::string a = std::to_string(two.port()), b = std::to_string(refusing.LocalAddress().port());
    EXPECT_EQ(ports, (std::multiset<std::string>{a, a, b, b}));
    EXPECT_EQ(Q(1, "Port") == a ? Q(1, "Password") : Q(3, "Password"), "wrong");
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
    WriteFile(good, OpenLine("S", server) + "message hello from the job\nget S p.txt\n");
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

// Each job runs once with a display (the offscreen platform stands in for one) and once headless; both end by
// themselves with the same status and do the same work.
TEST_F(HeadlessTest, RunsWithADisplayEndWithTheStatusesOfTheUnattendedRuns) {
    SetUpProgram(false, false);
    if (IsSkipped()) return;
    test::PyFtpdServer one, two;
    ASSERT_TRUE(one.started() && two.started());
    WriteFile(one.root() + "/p.txt", "program");
    MakeNightly({&one, &two});
    MakeLink("onebad", {MakeProfile("good", "127.0.0.1", one.port()), MakeProfile("refused", "127.0.0.1", two.port(), "wrong")},
             MakeFileList("list2", {"a.txt", "b.txt"}));
    MakeLink("nolist", {MakeProfile("good3", "127.0.0.1", one.port())}, std::nullopt);
    const std::string fine = Path("fine.cmd"), errors = Path("errors.cmd");
    WriteFile(fine, OpenLine("S", one) + "get S p.txt\nbeep\n/ a comment\n");
    WriteFile(errors, OpenLine("S", one) + "cd S /nowhere\nget S p.txt\n");
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"-b", fine}, kHeadlessOk},          {{"/B", errors}, kHeadlessErrors},
        {{"-l", "nightly"}, kHeadlessLinkOk}, {{"-l", "onebad"}, kHeadlessLinkFailed},
        {{"-l", "nolist"}, kHeadlessLinkFailed}};
    for (const auto& [jobArgs, status] : cases) {
        for (const bool display : {true, false}) {
            SCOPED_TRACE(jobArgs[0] + " " + jobArgs[1] + (display ? " with a display" : " headless"));
            ::unlink((local_ + "/p.txt").c_str());
            for (PyFtpdServer* s : {&one, &two})
                for (const char* name : {"/a.txt", "/b.txt"}) ::unlink((s->root() + name).c_str());
            std::vector<std::string> args = jobArgs;
            if (!display) args.insert(args.begin(), "--headless");
            const ProgramOutcome o = RunProgram(args, Root(), display ? kOffscreen : std::vector<std::string>{});
            EXPECT_EQ(o.status, status) << o.err;
            if (jobArgs[0] == "-b") {
                EXPECT_EQ(ReadFile(local_ + "/p.txt"), "program");
            }
            if (jobArgs[1] == "nightly") ExpectDelivered({&one, &two});
            if (jobArgs[1] == "onebad") {
                ExpectDelivered({&one});
                EXPECT_FALSE(ReadFile(two.root() + "/a.txt"));
            }
        }
    }
}

// A terminate signal cancels a script run with or without a display; the program still ends by itself with the
// errors status, and unattended it prints the cancel and still closes and logs its session.
TEST_F(HeadlessTest, ATerminateSignalCancelsTheScriptWhichStillClosesAndLogsItsSessions) {
    SetUpProgram(true);
    if (IsSkipped()) return;
    for (const bool display : {false, true}) {
        SCOPED_TRACE(display ? "with a display" : "headless");
        test::FaultServer server(R"({"feat": ["SIZE"], "listing": "-rw-r--r-- 1 u g 99 Jan 01  2024 s.bin\r\n",)"
                                 R"( "files": {"s.bin": "0123456789"}, "transfer": {"RETR": {"send_bytes": 4, "outcome": "stall"}}})");
        ASSERT_TRUE(server.started()) << server.error();
        const std::string logs = Path(display ? "logs-display" : "logs");
        test::MakeDir(logs);
        ASSERT_TRUE(WritePrivateProfileString("CONFIG", "DefaultDir", logs, SettingsFilePath()));
        const std::string script = Path("stall.cmd");
        WriteFile(script, OpenLine("F", server) + "get F s.bin\nbeep\n");
        const pid_t pid = display ? StartProgram({"-b", script}, Root(), kOffscreen)
                                  : StartProgram({"--headless", "-b", script}, Root());
        ASSERT_GT(pid, 0);
        const bool reached = server.WaitForLine("RETR s.bin", std::chrono::seconds(20));
        ::kill(pid, SIGTERM);
        const ProgramOutcome o = FinishProgram(pid, Root());
        ASSERT_TRUE(reached);
        EXPECT_EQ(o.status, kHeadlessErrors) << o.err;
        EXPECT_FALSE(ReadFile(local_ + "/s.bin"));
        if (display) continue;
        EXPECT_EQ(SplitLines(o.out), Expand({script, "F: Internet Connection OK", "F: FTP Connection OK",
                                             "!F: The operation was canceled. s.bin"}));
        const std::vector<std::string> logLines = SplitLines(ReadFile(logs + "/log1.log").value_or(""));
        ASSERT_FALSE(logLines.empty());
        EXPECT_EQ(logLines.front(), "FTP_SERVER_FILE");
        EXPECT_EQ(logLines.back().rfind("32876\t", 0), 0u) << logLines.back();
    }
}

}  // namespace
}  // namespace zyfar::autotest
