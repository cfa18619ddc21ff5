// The unattended link run: in this process through RunHeadlessLink, and as
// the built program ("zyfar -l <link>" without a display): the printed log
// lines, the messages on standard error and the exit statuses 0, 1 and 2.
#include "automation/HeadlessLink.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "MultiPutTestSupport.h"
#include "log/LogFormats.h"

extern char** environ;

namespace zyfar::multiput_test {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// The parsed stdout lines; a line that is not a log line fails the test.
std::vector<LogLineFields> LogLines(const std::string& out) {
    std::vector<LogLineFields> fields;
    for (const std::string& line : SplitLines(out)) {
        std::optional<LogLineFields> f = ParseLogLine(line);
        EXPECT_TRUE(f.has_value()) << "not a log line: " << line;
        if (f) fields.push_back(std::move(*f));
    }
    return fields;
}

std::size_t CountCode(const std::vector<LogLineFields>& lines, int code) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const LogLineFields& f) { return f.code == code; }));
}

// A temporary stream whose text can be read back.
class CapturedStream {
public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream() {
        if (file_ != nullptr) std::fclose(file_);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;
    std::FILE* get() { return file_; }
    std::string Text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buf[4096];
        std::size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
        return text;
    }

private:
    std::FILE* file_;
};

class HeadlessLinkTest : public MultiPutTest {
protected:
    // Files a.txt and b.txt, a list of both, and a link "nightly" to the
    // servers (with a wrong password for the ones listed in `refusing`).
    void MakeNightly(const std::vector<test::PyFtpdServer*>& servers, const std::vector<bool>& refusing = {}) {
        contents_ = {MakeLocalFile("a.txt", 3000, 1), MakeLocalFile("b.txt", 70000, 2)};
        const std::string list = MakeFileList("list", {"a.txt", "b.txt"});
        std::vector<std::string> profiles;
        for (std::size_t i = 0; i < servers.size(); ++i) {
            const bool refuse = i < refusing.size() && refusing[i];
            profiles.push_back(MakeProfile("site" + std::to_string(i), "127.0.0.1", servers[i]->port(), "user",
                                           refuse ? "wrong" : "pass"));
        }
        MakeLink("nightly", profiles, list);
    }
    std::vector<std::string> contents_;
};

TEST_F(HeadlessLinkTest, UnknownLinkIsReportedWithMessage33051) {
    CapturedStream out;
    CapturedStream err;
    EXPECT_EQ(RunHeadlessLink("nosuch", out.get(), err.get()), kHeadlessLinkNotFound);
    EXPECT_EQ(out.Text(), "");
    EXPECT_EQ(err.Text(), "Could not find Zyfar link, exiting ...\n");
}

TEST_F(HeadlessLinkTest, EveryFileToEverySitePrintsTheLogAndSucceeds) {
    test::PyFtpdServer one;
    test::PyFtpdServer two;
    ASSERT_TRUE(one.started() && two.started());
    MakeNightly({&one, &two});
    CapturedStream out;
    CapturedStream err;
    EXPECT_EQ(RunHeadlessLink("nightly", out.get(), err.get()), kHeadlessLinkOk);
    EXPECT_EQ(err.Text(), "");

    const std::vector<LogLineFields> lines = LogLines(out.Text());
    // Every entry of the run was printed, in the log file's line format.
    const std::vector<LogEntry> entries = TheTransferLog().Entries();
    ASSERT_EQ(lines.size(), entries.size());
    std::string expected;
    for (const LogEntry& e : entries) expected += FormatLogLine(e);
    EXPECT_EQ(out.Text(), expected);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferComplete), 4u);
    EXPECT_EQ(CountCode(lines, logcode::FtpConnectionOk), 2u);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferFailed), 0u);
    for (test::PyFtpdServer* s : {&one, &two}) {
        EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/a.txt"), contents_[0]));
        EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/b.txt"), contents_[1]));
    }
}

TEST_F(HeadlessLinkTest, ARefusedLoginFailsTheRunAndQueuesItsFiles) {
    test::PyFtpdServer one;
    test::PyFtpdServer two;
    ASSERT_TRUE(one.started() && two.started());
    WriteProfileString("SCHEDULE", "ResendFail", "1");
    MakeNightly({&one, &two}, {false, true});
    CapturedStream out;
    CapturedStream err;
    // No sink given: the user's queue file.
    EXPECT_EQ(RunHeadlessLink("nightly", out.get(), err.get()), kHeadlessLinkFailed);
    const std::vector<LogLineFields> lines = LogLines(out.Text());
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferComplete), 2u);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferFailed), 2u);
    EXPECT_NE(err.Text().find("2 of 4 file transfers failed"), std::string::npos) << err.Text();
    ASSERT_EQ(QueueCount(), 2);
    EXPECT_EQ(Q(1, "Port"), std::to_string(two.port()));
    EXPECT_EQ(Q(1, "Password"), "wrong");
}

TEST_F(HeadlessLinkTest, ALinkWithProblemsSaysSoAndFails) {
    test::PyFtpdServer one;
    ASSERT_TRUE(one.started());
    MakeLocalFile("a.txt", 10);
    const std::string list = MakeFileList("list", {"a.txt", "missing.txt"});
    MakeLink("partly", {MakeProfile("site", "127.0.0.1", one.port())}, list);
    MakeLink("nofiles", {MakeProfile("other", "127.0.0.1", one.port())}, std::nullopt);

    CapturedStream out;
    CapturedStream err;
    // The file that exists is still sent; the run reports the one that does not.
    EXPECT_EQ(RunHeadlessLink("partly", out.get(), err.get()), kHeadlessLinkFailed);
    EXPECT_TRUE(test::ReadFile(one.root() + "/a.txt").has_value());
    EXPECT_NE(err.Text().find("missing.txt does not exist and is not sent."), std::string::npos) << err.Text();

    CapturedStream out2;
    CapturedStream err2;
    EXPECT_EQ(RunHeadlessLink("nofiles", out2.get(), err2.get()), kHeadlessLinkFailed);
    EXPECT_EQ(out2.Text(), "");
    EXPECT_EQ(err2.Text(),
              "zyfar: The link names no file list.\nzyfar: link \"nofiles\" has nothing to send.\n");
}

// ---- the built program ----

struct ProcessResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

class HeadlessLinkProcessTest : public HeadlessLinkTest {
protected:
    void SetUp() override {
        HeadlessLinkTest::SetUp();
        binary_ = std::string(ZYFAR_BINARY_DIR) + "/src/ui/zyfar";
        if (::access(binary_.c_str(), X_OK) != 0) GTEST_SKIP() << "the program is not built: " << binary_;
        // The program's own settings file: the same profile base, no proxy,
        // quick failures.
        const std::string settings = SettingsFilePath();
        ASSERT_TRUE(WritePrivateProfileString("CONFIG", "ProfilePath", base_, settings));
        ASSERT_TRUE(WritePrivateProfileString("CONFIG", "Email", "me@example.org", settings));
        ASSERT_TRUE(WritePrivateProfileString("FTP", "AccessType", "DirectAccess", settings));
        ASSERT_TRUE(WritePrivateProfileString("FTP", "Passive", "YES", settings));
        ASSERT_TRUE(WritePrivateProfileString("FTP", "Retry", "0", settings));
        ASSERT_TRUE(WritePrivateProfileString("SCHEDULE", "ResendFail", "1", settings));
    }

    // Runs the program with the test's XDG folders and no display; waits at
    // most two minutes.
    ProcessResult Run(const std::vector<std::string>& args) {
        ProcessResult result;
        const std::string outFile = dir_ / "stdout.txt";
        const std::string errFile = dir_ / "stderr.txt";
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                entry.rfind("HOME=", 0) == 0) {
                continue;
            }
            env.push_back(entry);
        }
        env.push_back("HOME=" + (dir_ / "home"));
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argv{binary_};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> argvp;
        for (std::string& a : argv) argvp.push_back(a.data());
        argvp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, binary_.c_str(), &actions, nullptr, argvp.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            ADD_FAILURE() << "cannot start " << binary_;
            return result;
        }
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 1200 && !ended; ++i) {  // up to two minutes
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not end";
        }
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = test::ReadFile(outFile).value_or("");
        result.err = test::ReadFile(errFile).value_or("");
        return result;
    }

    std::string binary_;
};

TEST_F(HeadlessLinkProcessTest, UnknownLinkExitsWithTwo) {
    const ProcessResult r = Run({"-l", "nosuch"});
    EXPECT_EQ(r.exitStatus, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Could not find Zyfar link, exiting ...\n");
}

TEST_F(HeadlessLinkProcessTest, LinkToTwoServersExitsWithZero) {
    test::PyFtpdServer one;
    test::PyFtpdServer two;
    ASSERT_TRUE(one.started() && two.started());
    MakeNightly({&one, &two});
    const ProcessResult r = Run({"/L", "nightly"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<LogLineFields> lines = LogLines(r.out);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferComplete), 4u);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferFailed), 0u);
    for (const LogLineFields& f : lines) {
        if (f.code == logcode::FtpTransferComplete) {
            EXPECT_EQ(f.source, "Local Machine");
            EXPECT_EQ(f.destination, "127.0.0.1");
        }
    }
    for (test::PyFtpdServer* s : {&one, &two}) {
        EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/a.txt"), contents_[0]));
        EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/b.txt"), contents_[1]));
    }
    EXPECT_EQ(QueueCount(), 0);
}

TEST_F(HeadlessLinkProcessTest, RefusedLoginExitsWithOneAndQueuesTheFiles) {
    test::PyFtpdServer one;
    test::PyFtpdServer two;
    ASSERT_TRUE(one.started() && two.started());
    MakeNightly({&one, &two}, {true, false});
    // The first flag-and-value pair counts; the later script pair is ignored.
    const ProcessResult r = Run({"-l", "nightly", "-b", dir_ / "ignored.cmd"});
    EXPECT_EQ(r.exitStatus, 1);
    const std::vector<LogLineFields> lines = LogLines(r.out);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferComplete), 2u);
    EXPECT_EQ(CountCode(lines, logcode::FtpTransferFailed), 2u);
    EXPECT_NE(r.err.find("2 of 4 file transfers failed"), std::string::npos) << r.err;
    ASSERT_EQ(QueueCount(), 2);
    EXPECT_EQ(Q(1, "LocalName"), "a.txt");
    EXPECT_EQ(Q(2, "LocalName"), "b.txt");
    EXPECT_EQ(Q(1, "Port"), std::to_string(one.port()));
}

TEST_F(HeadlessLinkProcessTest, MalformedLinkExitsWithOneAndAClearMessage) {
    ASSERT_TRUE(test::WriteFile(LinksFolder() + "/broken.ini", "[LinkItems]\nSites=two\n"));
    const ProcessResult r = Run({"--headless", "-l", "broken"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("The link names no file list."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The link names no site profiles."), std::string::npos) << r.err;
}

}  // namespace
}  // namespace zyfar::multiput_test
