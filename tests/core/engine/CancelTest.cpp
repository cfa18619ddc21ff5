// The cancel protocol: pause and resume, "Yes" while the server stalls,
// serial "Only this one" during a copy and before the connection, "All".
// Waits are bounded; nothing here measures time.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"

namespace zyfar::enginetest {
namespace {

using namespace std::chrono_literals;

// Waits (bounded) until pred holds.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return pred();
}

class TransferCancelTest : public EngineTest {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<test::PyFtpdServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(server_->started()) << server_->error();
        FastSettings(true);
        Set("CONFIG", "Overwrite", "YES");
    }
    static std::unique_ptr<test::PyFtpdServer> server_;
};

std::unique_ptr<test::PyFtpdServer> TransferCancelTest::server_;

TEST_F(TransferCancelTest, PauseThenResumeFinishesWithIdenticalContent) {
    const std::string data = test::PatternBytes(10'000'000, 5);
    ASSERT_TRUE(test::WriteFile(Local("pause.bin"), data));
    test::MakeDir(server_->root() + "/pause");
    auto c = std::make_unique<TransferController>(
        MakeSingleServerRun(Server("127.0.0.1", server_->port()),
                            {Job(dir_.path(), "pause.bin", "pause.bin", "/pause", 10'000'000)}, "", 10'000'000,
                            TransferMode::PutKeep, 2, nullptr, nullptr, false),
        &sink);
    c->Start();
    c->Suspend();  // the Cancel button: the worker stops at its next pass
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(c->WorkerDone());
    c->Resume();  // "No": it goes on where it paused
    ASSERT_TRUE(c->WaitForWorker(60s));
    c->Finish();
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(server_->root() + "/pause/pause.bin") == data);
}

TEST_F(TransferCancelTest, WorkerDoneHandlerRunsWhenTheWorkerEndsByItself) {
    std::promise<void> done;
    auto c = std::make_unique<TransferController>(
        MakeSingleServerRun(Server("127.0.0.1", server_->port()), {}, "", 0, TransferMode::Put, 2, nullptr, nullptr,
                            false),
        &sink);
    c->SetWorkerDoneHandler([&done] { done.set_value(); });
    c->Start();
    ASSERT_EQ(done.get_future().wait_for(30s), std::future_status::ready);
    c->Finish();
    EXPECT_TRUE(c->Finished());
    EXPECT_EQ(sink.Reports().size(), 1u);
    c->Finish();  // a second close does nothing
    EXPECT_EQ(sink.Reports().size(), 1u);
}

TEST_F(TransferCancelTest, YesEndsTheTransferWhileTheServerStalls) {
    Set("FTP", "RecTo", "120");  // far beyond the wait below: only the cancel can end it
    test::FaultServer stall(R"({"file_sizes": {"/st": 1000000},
                                "transfer": {"RETR": {"send_bytes": 1000, "outcome": "stall"}}})");
    ASSERT_TRUE(stall.started()) << stall.error();
    const std::string base = MakeLocalDir("yes");
    auto c = std::make_unique<TransferController>(
        MakeSingleServerRun(Server("127.0.0.1", stall.port()),
                            {Job("", "st", "st", "/", 1000000), Job("", "st2", "st2", "/", 5)}, base, 1000005,
                            TransferMode::Get, 2, nullptr, nullptr, false),
        &sink);
    c->Start();
    ASSERT_TRUE(stall.WaitForLine("RETR /st", 30s));
    c->Suspend();
    auto cancelled = std::async(std::launch::async, [&c] { c->Cancel(); });
    ASSERT_EQ(cancelled.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(c->Finished());
    // Neither job counts as done; both are reported as never completed.
    EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
    EXPECT_EQ(c->run().jobs[1].status, kJobNotAttempted);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].detail, "FTP Get Canceled");
    ASSERT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(sink.Reports()[0].items.size(), 2u);
    EXPECT_EQ(LogEntries(logcode::SessionClosed).size(), 1u);
}

TEST_F(TransferCancelTest, YesDuringAPutLeavesThePartialTargetAndReportsTheJob) {
    const std::string data = test::PatternBytes(20'000'000, 6);
    ASSERT_TRUE(test::WriteFile(Local("yes.bin"), data));
    test::MakeDir(server_->root() + "/yesput");
    auto c = std::make_unique<TransferController>(
        MakeSingleServerRun(Server("127.0.0.1", server_->port()),
                            {Job(dir_.path(), "yes.bin", "yes.bin", "/yesput", 20'000'000)}, "", 20'000'000,
                            TransferMode::Put, 2, nullptr, nullptr, false),
        &sink);
    c->Start();
    ASSERT_TRUE(WaitUntil([&] { return c->run().progress.Snapshot().fileSent > 0 || c->WorkerDone(); }));
    c->Suspend();
    c->Cancel();
    EXPECT_TRUE(c->Finished());
    if (c->run().jobs[0].status != 0) {  // the copy had not finished before the cancel
        EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
        ASSERT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 1u);
        EXPECT_EQ(LogEntries(logcode::FtpTransferFailed)[0].detail, "FTP Put Canceled");
        EXPECT_TRUE(Exists(Local("yes.bin")));  // DeletePut never touches a failed file
    }
}

// Suspends the controller from the worker thread the first time the serial
// run's given site has moved bytes.
class SuspendOnSite final : public ProgressObserver {
public:
    SuspendOnSite(TransferController& c, int site) : controller_(c), site_(site) {}
    void OnProgress(const TransferProgress& progress) override {
        if (fired_.load() || controller_.run().currentSite.load() != site_) {
            return;
        }
        if (progress.Snapshot().fileSent > 0) {
            controller_.Suspend();
            fired_.store(true);
        }
    }
    std::atomic<bool> fired_{false};

private:
    TransferController& controller_;
    int site_;
};

std::vector<CTransferSite> ThreeSites(std::uint16_t port, const std::string& second = "/s2",
                                      std::uint16_t secondPort = 0) {
    std::vector<CTransferSite> sites;
    for (int i = 1; i <= 3; ++i) {
        CTransferSite s;
        s.host = "127.0.0.1";
        s.login = "user";
        s.password = "pass";
        s.remoteDir = i == 2 ? second : "/s" + std::to_string(i);
        s.port = i == 2 && secondPort != 0 ? secondPort : port;
        sites.push_back(s);
    }
    return sites;
}

TEST_F(TransferCancelTest, SerialOnlyThisOneDuringTheSecondSitesCopy) {
    for (int i = 1; i <= 3; ++i) {
        test::MakeDir(server_->root() + "/s" + std::to_string(i));
    }
    const std::string one = test::PatternBytes(3'000'000, 11);
    const std::string two = test::PatternBytes(3'000'000, 12);
    ASSERT_TRUE(test::WriteFile(Local("one.bin"), one));
    ASSERT_TRUE(test::WriteFile(Local("two.bin"), two));
    std::vector<CTransferJob> jobs{Job(dir_.path(), "one.bin", "one.bin", "", 3'000'000),
                                   Job(dir_.path(), "two.bin", "two.bin", "", 3'000'000)};
    auto c = std::make_unique<TransferController>(
        MakeSerialRun(ThreeSites(server_->port()), jobs, 6'000'000, TransferMode::PutKeep, 1, nullptr, nullptr,
                      false),
        &sink);
    auto trigger = std::make_shared<SuspendOnSite>(*c, 1);
    c->run().progress.Subscribe(trigger);
    c->Start();
    ASSERT_TRUE(WaitUntil([&] { return trigger->fired_.load(); }));
    EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::AbortedCopy);
    ASSERT_TRUE(c->WaitForWorker(60s));
    c->Finish();

    // Sites 1 and 3 got both files.
    for (const char* site : {"/s1", "/s3"}) {
        EXPECT_TRUE(test::ReadFile(server_->root() + site + "/one.bin") == one) << site;
        EXPECT_TRUE(test::ReadFile(server_->root() + site + "/two.bin") == two) << site;
    }
    // Site 2: the file being copied ended as cancelled (237), or, when the
    // first file had just ended, the next one was not started (-1); nothing
    // after it ran.
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);  // one per site, then the run's end
    EXPECT_TRUE(reports[0].items.empty());
    EXPECT_TRUE(reports[2].items.empty());
    ASSERT_FALSE(reports[1].items.empty());
    EXPECT_EQ(reports[1].first.remoteDir, "/s2");
    for (std::size_t i = 0; i < reports[1].items.size(); ++i) {
        EXPECT_EQ(reports[1].items[i].errorText, "FTP Put Canceled");
        if (i == 0) {
            EXPECT_TRUE(reports[1].items[i].result == kJobCancelled || reports[1].items[i].result == kJobNotAttempted);
        } else {
            EXPECT_EQ(reports[1].items[i].result, kJobNotAttempted);
        }
    }
    EXPECT_EQ(reports[1].items.back().localName, "two.bin");
    EXPECT_FALSE(reports[3].perFile);
    EXPECT_TRUE(reports[3].purge);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), reports[1].items.size());
    EXPECT_EQ(failed[0].destination, "127.0.0.1");
    EXPECT_EQ(failed[0].file.substr(0, 4), "/s2/");
    for (const CTransferSite& site : c->run().sites) {
        EXPECT_EQ(site.status, 0);
    }
}

TEST_F(TransferCancelTest, SerialOnlyThisOneBeforeTheConnectionDropsTheSite) {
    test::FaultServer silent(R"({"after_greeting": "stall"})");
    ASSERT_TRUE(silent.started()) << silent.error();
    for (int i = 1; i <= 3; ++i) {
        test::MakeDir(server_->root() + "/s" + std::to_string(i));
    }
    ASSERT_TRUE(test::WriteFile(Local("f.bin"), "serial"));
    auto c = std::make_unique<TransferController>(
        MakeSerialRun(ThreeSites(server_->port(), "/s2", silent.port()), {Job(dir_.path(), "f.bin", "f.bin", "", 6)},
                      6, TransferMode::PutKeep, 1, nullptr, nullptr, false),
        &sink);
    c->Start();
    // Site 2 never answers its login.
    ASSERT_TRUE(silent.WaitForLine("USER user", 30s));
    ASSERT_EQ(c->run().currentSite.load(), 1);
    c->Suspend();
    EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::SkippedSite);
    ASSERT_TRUE(c->WaitForWorker(60s));
    c->Finish();
    EXPECT_EQ(test::ReadFile(server_->root() + "/s1/f.bin"), "serial");
    EXPECT_EQ(test::ReadFile(server_->root() + "/s3/f.bin"), "serial");
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[1].first.port, silent.port());
    ASSERT_EQ(reports[1].items.size(), 1u);
    EXPECT_EQ(reports[1].items[0].errorText, "FTP Put Canceled");
    EXPECT_TRUE(reports[2].items.empty());  // site 3 went fine
}

TEST_F(TransferCancelTest, SerialAllReportsTheCurrentSiteAndEverySiteAfterIt) {
    test::FaultServer silent(R"({"after_greeting": "stall"})");
    ASSERT_TRUE(silent.started()) << silent.error();
    test::MakeDir(server_->root() + "/s1");
    ASSERT_TRUE(test::WriteFile(Local("a.bin"), "all"));
    auto c = std::make_unique<TransferController>(
        MakeSerialRun(ThreeSites(server_->port(), "/s2", silent.port()), {Job(dir_.path(), "a.bin", "a.bin", "", 3)},
                      3, TransferMode::PutKeep, 1, nullptr, nullptr, false),
        &sink);
    c->Start();
    ASSERT_TRUE(silent.WaitForLine("USER user", 30s));
    c->Suspend();
    c->Cancel();  // "All"
    EXPECT_TRUE(c->Finished());
    EXPECT_EQ(test::ReadFile(server_->root() + "/s1/a.bin"), "all");
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);  // site 1 by the worker, sites 2 and 3 by the cancel, then the end
    ASSERT_EQ(reports[1].items.size(), 1u);
    ASSERT_EQ(reports[2].items.size(), 1u);
    // Site 3 was never reached: its file is reported as not sent, though
    // the same job had succeeded on site 1.
    EXPECT_EQ(reports[2].first.remoteDir, "/s3");
    EXPECT_EQ(reports[2].items[0].result, kJobNotAttempted);
    EXPECT_EQ(reports[2].items[0].errorText, "FTP Put Canceled");
}

}  // namespace
}  // namespace zyfar::enginetest
