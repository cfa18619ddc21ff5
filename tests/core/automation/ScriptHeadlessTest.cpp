// The headless script run: in process (lines on a stream, exit statuses) and
// as a process of the built program ("zyfar --headless -b x.cmd"), which is
// skipped when the program was not built.
#include "automation/HeadlessScript.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ScriptTestSupport.h"

extern char** environ;

namespace zyfar::test {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

class HeadlessTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        // The process's log stays in memory during these runs.
        LogSettings settings;
        settings.toFile = false;
        TheTransferLog().ApplySettings(settings);
    }
    struct Outcome {
        int status = -1;
        std::vector<std::string> out;
        std::string err;
    };
    Outcome RunHeadless(const std::string& path) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome o;
        o.status = RunHeadlessScript(path, out, err);
        o.out = SplitLines(ReadStream(out));
        o.err = ReadStream(err);
        std::fclose(out);
        std::fclose(err);
        return o;
    }
    static std::string ReadStream(std::FILE* f) {
        std::fflush(f);
        std::rewind(f);
        std::string text;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        return text;
    }
};

TEST_F(HeadlessTest, ACleanRunPrintsItsLinesAndMessagesAndExitsZero) {
    PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    WriteFile(server.root() + "/r.txt", "r");
    const std::string path = dir_ / "Nightly.CMD";
    WriteFile(path, OpenLine("S", server) + "message Fetching now\nget S r.txt\n/ done\n");
    const Outcome o = RunHeadless(path);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, (std::vector<std::string>{path, "S: Internet Connection OK", "S: FTP Connection OK",
                                               "Fetching now", "S: FTP Transfer Complete r.txt"}));
    EXPECT_TRUE(o.err.empty());
    EXPECT_EQ(ReadFile(LocalFile("r.txt")).value_or(""), "r");
}

TEST_F(HeadlessTest, AnErrorBlockMakesTheStatusOne) {
    const std::string path = dir_ / "bad.cmd";
    WriteFile(path, "nonsense\nmessage after\n");
    const Outcome o = RunHeadless(path);
    EXPECT_EQ(o.status, 1);
    std::vector<std::string> expected{path};
    for (const std::string& l : ErrorBlock("Could not parse this line in file:  nonsense")) expected.push_back(l);
    expected.push_back("after");
    EXPECT_EQ(o.out, expected);
}

TEST_F(HeadlessTest, ParameterErrorOfAGetIsStatusOne) {
    const std::string path = dir_ / "p.cmd";
    WriteFile(path, "get S\nmessage never\n");
    const Outcome o = RunHeadless(path);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out.back(), "");
    for (const std::string& l : o.out) EXPECT_NE(l, "never");
}

TEST_F(HeadlessTest, NotAScriptFileIsStatusTwoWithTheMessageOnStandardError) {
    const std::string text = dir_ / "notes.txt";
    WriteFile(text, "message hi\n");
    MakeDir(dir_ / "folder.cmd");
    for (const std::string& path : {text, dir_ / "missing.cmd", dir_ / "folder.cmd", std::string("cmd")}) {
        const Outcome o = RunHeadless(path);
        EXPECT_EQ(o.status, 2) << path;
        EXPECT_TRUE(o.out.empty()) << path;
        EXPECT_EQ(o.err, "Could not open Zyfar Script file, exiting ....\n") << path;
    }
}

TEST_F(HeadlessTest, ScriptPathRule) {
    const std::string path = dir_ / "a.Cmd";
    WriteFile(path, "");
    EXPECT_TRUE(IsScriptFilePath(path));
    EXPECT_FALSE(IsScriptFilePath(dir_ / "a.cmd.txt"));
    EXPECT_FALSE(IsScriptFilePath(dir_ / "none.cmd"));
}

// ---- the program as a process ----------------------------------------------------------------

class HeadlessProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = std::string(ZYFAR_BINARY_DIR) + "/src/ui/zyfar";
        if (::access(program_.c_str(), X_OK) != 0) GTEST_SKIP() << "the program was not built: " << program_;
        ASSERT_TRUE(home_.valid());
        config_ = home_ / "config";
        MakeDir(config_);
        MakeDir(config_ + "/Quorvane");
        MakeDir(home_ / "state");
        MakeDir(home_ / "data");
        local_ = home_ / "local";
        MakeDir(local_);
    }
    void WriteSettings(const std::string& extra = "") {
        WriteFile(config_ + "/Quorvane/Zyfar.ini", "[CONFIG]\nDataDir=" + local_ +
                                                     "\n[FTP]\nAccessType=DirectAccess\nRetry=0\n[LOG]\nToFile=NO\n" +
                                                     extra);
    }
    struct Outcome {
        int status = -1;
        std::vector<std::string> out;
        std::string err;
    };
    // Starts the program with private XDG folders and no display.
    pid_t Spawn(const std::vector<std::string>& args) {
        std::vector<std::string> env{"XDG_CONFIG_HOME=" + config_, "XDG_STATE_HOME=" + (home_ / "state"),
                                     "XDG_DATA_HOME=" + (home_ / "data"), "HOME=" + home_.path(),
                                     "PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=offscreen"};
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argv{program_};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argp;
        for (std::string& a : argv) argp.push_back(a.data());
        argp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, OutFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, ErrFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, program_.c_str(), &actions, nullptr, argp.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0 ? pid : -1;
    }
    // Waits (bounded) for the program to end; a program still running is killed.
    Outcome Finish(pid_t pid) {
        Outcome o;
        if (pid <= 0) return o;
        int status = 0;
        bool done = false;
        for (int i = 0; i < 6000 && !done; ++i) {  // up to about 60 s
            done = ::waitpid(pid, &status, WNOHANG) == pid;
            if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!done) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return o;
        }
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = SplitLines(ReadFile(OutFile()).value_or(""));
        o.err = ReadFile(ErrFile()).value_or("");
        return o;
    }
    Outcome RunProgram(const std::vector<std::string>& args) { return Finish(Spawn(args)); }
    std::string OutFile() const { return home_ / "out.txt"; }
    std::string ErrFile() const { return home_ / "err.txt"; }

    TempDir home_{"zyfar-headless"};
    std::string program_;
    std::string config_;
    std::string local_;
};

TEST_F(HeadlessProcessTest, RunsAScriptAndExitsZero) {
    PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    WriteFile(server.root() + "/p.txt", "program");
    WriteSettings();
    const std::string script = home_ / "job.cmd";
    WriteFile(script, "open S 127.0.0.1 user pass " + std::to_string(server.port()) +
                          "\nmessage hello from the job\nget S p.txt\n");
    const Outcome o = RunProgram({"--headless", "-b", script});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, (std::vector<std::string>{script, "S: Internet Connection OK", "S: FTP Connection OK",
                                               "hello from the job", "S: FTP Transfer Complete p.txt"}));
    EXPECT_EQ(ReadFile(local_ + "/p.txt").value_or(""), "program");
}

TEST_F(HeadlessProcessTest, ErrorBlocksGiveStatusOne) {
    WriteSettings();
    const std::string script = home_ / "JOB.CMD";
    WriteFile(script, "open S 127.0.0.1 user secret1\ncd\n");
    const Outcome o = RunProgram({"--headless", "/B", script});
    EXPECT_EQ(o.status, 1) << o.err;
    std::vector<std::string> expected{script};
    for (const std::string& l : ErrorBlock("Bad number of parameters on line: open S 127.0.0.1 user ********"))
        expected.push_back(l);
    for (const std::string& l : ErrorBlock("Bad number of parameters on line: cd")) expected.push_back(l);
    EXPECT_EQ(o.out, expected);
}

TEST_F(HeadlessProcessTest, ABadScriptPathGivesStatusTwo) {
    WriteSettings();
    const std::string text = home_ / "job.txt";
    WriteFile(text, "beep\n");
    for (const std::string& path : {text, home_ / "missing.cmd"}) {
        const Outcome o = RunProgram({"--headless", "-b", path});
        EXPECT_EQ(o.status, 2) << path;
        EXPECT_TRUE(o.out.empty());
        EXPECT_EQ(o.err, "Could not open Zyfar Script file, exiting ....\n") << path;
    }
}

TEST_F(HeadlessProcessTest, ATerminateSignalCancelsTheRunWhichStillClosesAndLogsItsSessions) {
    FaultServer server(R"({"feat": ["SIZE"], "listing": "-rw-r--r-- 1 u g 99 Jan 01  2024 s.bin\r\n",)"
                       R"( "files": {"s.bin": "0123456789"}, "transfer": {"RETR": {"send_bytes": 4, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string logs = home_ / "logs";
    MakeDir(logs);
    WriteFile(config_ + "/Quorvane/Zyfar.ini", "[CONFIG]\nDataDir=" + local_ + "\nDefaultDir=" + logs +
                                                 "\n[FTP]\nAccessType=DirectAccess\nRetry=0\n");
    const std::string script = home_ / "stall.cmd";
    WriteFile(script, "open F 127.0.0.1 user pass " + std::to_string(server.port()) + "\nget F s.bin\nbeep\n");
    const pid_t pid = Spawn({"--headless", "-b", script});
    ASSERT_GT(pid, 0);
    const bool reached = server.WaitForLine("RETR s.bin", std::chrono::seconds(20));
    ::kill(pid, SIGTERM);
    const Outcome o = Finish(pid);
    ASSERT_TRUE(reached);
    EXPECT_EQ(o.status, 1);
    std::vector<std::string> expected{script, "F: Internet Connection OK", "F: FTP Connection OK"};
    for (const std::string& l : ErrorBlock("F: The operation was canceled. s.bin")) expected.push_back(l);
    EXPECT_EQ(o.out, expected);
    EXPECT_FALSE(ReadFile(local_ + "/s.bin"));
    const std::vector<std::string> logLines = SplitLines(ReadFile(logs + "/log1.log").value_or(""));
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.front(), "FTP_SERVER_FILE");
    EXPECT_EQ(logLines.back().rfind("32876\t", 0), 0u) << logLines.back();
}

}  // namespace
}  // namespace zyfar::test
