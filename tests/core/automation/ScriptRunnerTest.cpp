// The script runner thread: Stop (pause), Resume and Cancel as the batch
// output dialog uses them, the finished callback, and the closing of the
// run's sessions when it is cancelled in the middle of a transfer.
#include "automation/ScriptRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

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
    bool WaitShown(std::size_t n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return shown_.size() >= n; });
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

TEST_F(RunnerTest, StopHoldsTheRunAtTheNextLineAndResumeFinishesIt) {
    std::mutex m;
    std::optional<ScriptRunResult> finished;
    ScriptRunner runner(WriteScript("message one\nmessage two\n"), output_, gate_, &log_,
                        [&](const ScriptRunResult& r) {
                            std::lock_guard<std::mutex> lock(m);
                            finished = r;
                        });
    EXPECT_EQ(runner.state(), ScriptRunner::State::Running);
    runner.Start();
    ASSERT_TRUE(gate_.WaitShown(1));
    runner.Stop();
    EXPECT_EQ(runner.state(), ScriptRunner::State::Suspended);
    gate_.CloseOne();
    // Paused before the second line: the run cannot have finished.
    EXPECT_FALSE(runner.Result().has_value());
    EXPECT_EQ(gate_.shown(), std::vector<std::string>{"one"});
    runner.Resume();
    EXPECT_EQ(runner.state(), ScriptRunner::State::Running);
    ASSERT_TRUE(gate_.WaitShown(2));
    gate_.CloseOne();
    runner.Wait();
    EXPECT_EQ(runner.state(), ScriptRunner::State::Finished);
    ASSERT_TRUE(runner.Result().has_value());
    EXPECT_EQ(runner.Result()->end, ScriptEnd::EndOfFile);
    std::lock_guard<std::mutex> lock(m);
    ASSERT_TRUE(finished.has_value());
    EXPECT_EQ(finished->linesRead, 2);
}

TEST_F(RunnerTest, CancelWhileStoppedEndsTheRunWithoutTheRemainingLines) {
    ScriptRunner runner(WriteScript("message one\nmessage two\nmessage three\n"), output_, gate_, &log_);
    runner.Start();
    ASSERT_TRUE(gate_.WaitShown(1));
    runner.Stop();
    gate_.CloseOne();
    runner.Cancel();
    runner.Wait();
    EXPECT_EQ(runner.state(), ScriptRunner::State::Finished);
    ASSERT_TRUE(runner.Result().has_value());
    EXPECT_EQ(runner.Result()->end, ScriptEnd::Cancelled);
    EXPECT_EQ(gate_.shown(), std::vector<std::string>{"one"});
}

TEST_F(RunnerTest, CancelDuringAStalledDownloadClosesTheSessions) {
    FaultServer server(R"({"feat": ["SIZE"], "listing": "-rw-r--r-- 1 u g 99 Jan 01  2024 s.bin\r\n",)"
                       R"( "files": {"s.bin": "0123456789"}, "transfer": {"RETR": {"send_bytes": 4, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    ScriptRunner runner(WriteScript("open F 127.0.0.1 user pass " + std::to_string(server.port()) +
                                    "\nget F s.bin\nmessage not reached\n"),
                        output_, gate_, &log_);
    runner.Start();
    ASSERT_TRUE(server.WaitForLine("RETR s.bin", std::chrono::seconds(20)));
    runner.Cancel();
    runner.Wait();
    ASSERT_TRUE(runner.Result().has_value());
    EXPECT_EQ(runner.Result()->end, ScriptEnd::Cancelled);
    EXPECT_TRUE(gate_.shown().empty());
    const std::vector<int> codes = LogCodes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 32876);
    // No partial download is left.
    EXPECT_FALSE(ReadFile(LocalFile("s.bin")));
}

TEST_F(RunnerTest, DestroyingARunningRunnerCancelsAndJoinsIt) {
    {
        ScriptRunner runner(WriteScript("message one\nmessage two\n"), output_, gate_, &log_);
        runner.Start();
        ASSERT_TRUE(gate_.WaitShown(1));
        runner.Stop();
        gate_.CloseOne();
    }
    EXPECT_EQ(gate_.shown(), std::vector<std::string>{"one"});
}

}  // namespace
}  // namespace zyfar::autotest
