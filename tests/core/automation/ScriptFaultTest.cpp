// Scripts against the fault server, and the runner thread's Stop, Resume and Cancel.
#include <condition_variable>

#include "AutomationTestSupport.h"
#include "automation/ScriptRunner.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

// Without MLST the client lists folders with LIST; the listing is the script's.
std::string FaultScript(const std::string& listing, const std::string& files, const std::string& transfer) {
    return R"({"feat": ["SIZE", "MDTM"], "listing": )" + listing + R"(, "files": )" + files +
           R"(, "transfer": )" + transfer + "}";
}

class FaultTest : public ScriptTest {
protected:
    std::vector<std::string> Retrieved(const FaultServer& server) const {
        std::vector<std::string> out;
        for (const std::string& c : server.Commands()) {
            if (c.rfind("RETR ", 0) == 0) out.push_back(c);
        }
        return out;
    }
    std::vector<std::string> LocalNames() const { return test::ListFolder(local_); }
};

// RETR cut at 30000 of 100000 then "226", no SIZE: the listing shows it short; the old copy stays.
TEST_F(FaultTest, AGetCutShortWith226FailsAndKeepsTheOldFile) {
    FaultServer server(FaultScript(
        R"("-rw-r--r-- 1 u g 20000 Jan 01  2024 a.bin\r\n-rw-r--r-- 1 u g 100000 Jan 01  2024 f.bin\r\n")", "{}",
        R"({"RETR": {"send_bytes": 30000}}, "file_sizes": {"a.bin": 20000, "f.bin": 100000},)"
        R"( "replies": {"SIZE": "502 Not implemented."})"));
    ASSERT_TRUE(server.started()) << server.error();
    WriteProfileString("CONFIG", "Overwrite", "YES");
    WriteProfileString("CONFIG", "DeleteGet", "YES");
    WriteFile(LocalFile("f.bin"), "old");
    const ScriptRunResult r = Run(OpenLine("F", server) + "get F *.bin\nmessage on\n");
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_EQ(r.errorBlocks, 1);
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    EXPECT_TRUE(HasLine("F: FTP Transfer Complete a.bin"));
    EXPECT_FALSE(HasLine("F: FTP Transfer Complete f.bin"));
    EXPECT_EQ(ReadFile(LocalFile("f.bin")).value_or(""), "old");
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"a.bin", "f.bin"}));  // no partial or temporary file
    EXPECT_EQ(server.Count("DELE a.bin"), 1u);
    EXPECT_EQ(server.Count("DELE f.bin"), 0u);
    EXPECT_EQ(CountCode(32864), 1);
}

TEST_F(FaultTest, AConnectionDroppedDuringAGetEndsTheRunAndClosesTheSessions) {
    FaultServer server(FaultScript(R"("-rw-r--r-- 1 u g 9 Jan 01  2024 a.txt\r\n-rw-r--r-- 1 u g 9 Jan 01  2024 b.txt\r\n")",
                                   R"({"a.txt": "aaaaaaaaa", "b.txt": "bbbbbbbbb"})",
                                   R"({"RETR": {"send_bytes": 3, "outcome": "drop"}})"));
    ASSERT_TRUE(server.started()) << server.error();
    const ScriptRunResult r = Run(OpenLine("F", server) + "get F *.txt\nmessage not reached\n");
    EXPECT_EQ(r.end, ScriptEnd::ConnectionLost);
    EXPECT_TRUE(host_.messages().empty());
    EXPECT_EQ(Retrieved(server).size(), 1u) << "the second file must not be tried on a lost connection";
    EXPECT_TRUE(LocalNames().empty());
    EXPECT_EQ(LogCodes().back(), 32876);
}

TEST_F(FaultTest, HostileNamesInAListingAreNeverFetchedOrPrintedRaw) {
    const std::string listing =
        R"("-rw-r--r-- 1 u g 2 Jan 01  2024 ok.txt\r\n-rw-r--r-- 1 u g 2 Jan 01  2024 ../../evil.txt\r\n)"
        R"(-rw-r--r-- 1 u g 2 Jan 01  2024 esc\u001b[31m.txt\r\n")";
    FaultServer server(FaultScript(listing, R"({"ok.txt": "ok", "esc\u001b[31m.txt": "es"})", "{}"));
    ASSERT_TRUE(server.started()) << server.error();
    const ScriptRunResult r = Run(OpenLine("F", server) + "get F *\n");
    EXPECT_EQ(r.errorBlocks, 0);
    std::vector<std::string> fetched = Retrieved(server);
    std::sort(fetched.begin(), fetched.end());
    EXPECT_EQ(fetched, (std::vector<std::string>{"RETR esc\x1b[31m.txt", "RETR ok.txt"}));
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"esc\x1b[31m.txt", "ok.txt"}));
    EXPECT_TRUE(HasLine("F: FTP Transfer Complete esc?[31m.txt"));
    for (const std::string& line : Lines()) EXPECT_EQ(line.find('\x1b'), std::string::npos);
}

// ---- the runner thread ----

// A host whose message box stays open until the test closes it.
class GateHost : public ScriptHost {
public:
    void ShowMessage(const std::string& text) override {
        std::unique_lock<std::mutex> lock(mutex_);
        shown_.push_back(text);
        changed_.notify_all();
        changed_.wait(lock, [&] { return closed_ >= shown_.size(); });
    }
    void Beep() override {}

    // Waits (bounded) until n messages were shown.
    bool WaitShown(std::size_t n, std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return shown_.size() >= n; });
    }
    void CloseOne() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++closed_;
        changed_.notify_all();
    }
    std::vector<std::string> shown() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return shown_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> shown_;
    std::size_t closed_ = 0;
};

class RunnerTest : public ScriptTest {
protected:
    std::string WriteScript(const std::string& text) {
        script_ = Path("runner.cmd");
        WriteFile(script_, text);
        return script_;
    }
    GateHost gate_;
};

// Stop holds the run at the next line, Resume goes on, Cancel while stopped ends it; a stall is cancelled by SIGTERM.
TEST_F(RunnerTest, StopHoldsTheRunResumeGoesOnAndCancelOrDestructionEndIt) {
    std::optional<ScriptRunResult> finished;
    ScriptRunner runner(WriteScript("message one\nmessage two\nmessage three\n"), output_, gate_, &log_,
                        [&](const ScriptRunResult& r) { finished = r; });
    runner.Start();
    ASSERT_TRUE(gate_.WaitShown(1));
    runner.Stop();
    EXPECT_EQ(runner.state(), ScriptRunner::State::Suspended);
    gate_.CloseOne();
    EXPECT_FALSE(gate_.WaitShown(2, std::chrono::milliseconds(300)));  // held before the second line
    EXPECT_FALSE(runner.Result().has_value());
    EXPECT_EQ(gate_.shown(), std::vector<std::string>{"one"});
    runner.Resume();
    ASSERT_TRUE(gate_.WaitShown(2));
    runner.Stop();
    gate_.CloseOne();
    runner.Cancel();
    runner.Wait();
    EXPECT_EQ(runner.state(), ScriptRunner::State::Finished);
    ASSERT_TRUE(runner.Result().has_value() && finished.has_value());
    EXPECT_EQ(finished->end, ScriptEnd::Cancelled);
    {
        ScriptRunner destroyed(WriteScript("message one\nmessage two\n"), output_, gate_, &log_);
        destroyed.Start();
        ASSERT_TRUE(gate_.WaitShown(3));
        destroyed.Stop();
        gate_.CloseOne();
    }  // destroying a running runner cancels and joins it
    EXPECT_EQ(gate_.shown(), (std::vector<std::string>{"one", "two", "one"}));
}

}  // namespace
}  // namespace zyfar::autotest
