// The cancel protocol: pause and resume, "Yes" while the server stalls, serial "Only this one" during a copy and before the connection, "All".
#include <unistd.h>

#include <future>

#include "support/EngineFixture.h"

namespace zyfar::enginetest {
namespace {

using namespace std::chrono_literals;

class TransferCancelTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(server().started()) << server().error();
        FastSettings(true);
        Set("CONFIG", "Overwrite", "YES");
    }
    static test::PyFtpdServer& server() { return SharedPyFtpd(); }

    // A serial put to /s1, /s2 and /s3 of the shared server; site 2 may be another server.
    std::unique_ptr<TransferController> Serial(const std::vector<CTransferJob>& jobs, std::uint16_t secondPort = 0) {
        std::vector<CTransferSite> sites;
        for (int i = 1; i <= 3; ++i) {
            test::MakeDir(server().root() + "/s" + std::to_string(i));
            const std::uint16_t port = i == 2 && secondPort != 0 ? secondPort : server().port();
            sites.push_back(CTransferSite{"127.0.0.1", "user", "pass", "/s" + std::to_string(i), 0, port});
        }
        return Controller(
            MakeSerialRun(sites, jobs, BatchSizeOf(jobs), TransferMode::PutKeep, 1, nullptr, nullptr, false));
    }
};

TEST_F(TransferCancelTest, PauseThenResumeFinishesWithIdenticalContentAndEndsTheWorkerOnce) {
    const std::string data = test::PatternBytes(10'000'000, 5);
    ASSERT_TRUE(test::WriteFile(Path("pause.bin"), data));
    test::MakeDir(server().root() + "/pause");
    auto c = Controller(Single(Server(server().port()), {Job(Root(), "pause.bin", "pause.bin", "/pause", 10'000'000)},
                               TransferMode::PutKeep));
    std::promise<void> done;  // the handler runs when the worker ends by itself
    c->SetWorkerDoneHandler([&done] { done.set_value(); });
    c->Start();
    c->Suspend();  // the Cancel button: the worker stops at its next pass
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(c->WorkerDone());
    c->Resume();  // "No": it goes on where it paused
    ASSERT_EQ(done.get_future().wait_for(60s), std::future_status::ready);
    c->Finish();
    EXPECT_TRUE(c->Finished());
    c->Finish();  // a second close reports nothing more
    EXPECT_EQ(sink.Reports().size(), 1u);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(server().root() + "/pause/pause.bin") == data);
}

// A get waits for bytes that never come; a put for room the server never makes.
TEST_F(TransferCancelTest, YesEndsTheTransferWhileTheServerStalls) {
    Set("FTP", "RecTo", "120");  // far beyond the waits below: only the cancel can end it
    Set("FTP", "SendTo", "120");
    ASSERT_TRUE(test::WriteFile(Path("big.bin"), ""));
    ASSERT_EQ(::truncate(Path("big.bin").c_str(), 64 << 20), 0);
    for (const bool put : {false, true}) {
        SCOPED_TRACE(put ? "put" : "get");
        TheTransferLog().Clear();
        const std::size_t earlier = sink.Reports().size();
        test::FaultServer stall(put ? R"({"transfer": {"STOR": {"send_bytes": 100000, "outcome": "stall"}}})"
                                    : R"({"file_sizes": {"/st": 1000000},
                                         "transfer": {"RETR": {"send_bytes": 1000, "outcome": "stall"}}})");
        ASSERT_TRUE(stall.started()) << stall.error();
        // The get's target is there already and must stay as it was.
        const std::string base = MakeLocalDir(put ? "yes-put" : "yes-get");
        ASSERT_TRUE(test::WriteFile(base + "/st", "old"));
        auto c = Controller(
            put ? Single(Server(stall.port()),
                         {Job(Root(), "big.bin", "st", "/", 64 << 20), Job(Root(), "big.bin", "st2", "/", 5)},
                         TransferMode::PutKeep)
                : Single(Server(stall.port()), {Job("", "st", "st", "/", 1000000), Job("", "st2", "st2", "/", 5)},
                         TransferMode::Get, base));
        c->Start();
        ASSERT_TRUE(stall.WaitForLine(put ? "STOR /st" : "RETR /st", 30s));
        ASSERT_TRUE(WaitUntil([&] {
            if (!put) return c->run().progress.Snapshot().fileSent > 0;
            for (const std::string& line : stall.Lines()) {
                if (line.rfind("#STORED ", 0) == 0) return true;
            }
            return false;
        }));
        c->Suspend();
        auto cancelled = std::async(std::launch::async, [&c] { c->Cancel(); });
        ASSERT_EQ(cancelled.wait_for(30s), std::future_status::ready);
        EXPECT_TRUE(c->Finished());
        EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
        EXPECT_EQ(c->run().jobs[1].status, kJobNotAttempted);
        const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
        ASSERT_EQ(failed.size(), 2u);
        EXPECT_EQ(failed[0].detail, put ? "FTP Put Canceled" : "FTP Get Canceled");
        ASSERT_EQ(sink.Reports().size(), earlier + 1);
        EXPECT_EQ(sink.Reports().back().items.size(), 2u);
        EXPECT_EQ(LogEntries(logcode::SessionClosed).size(), 1u);
        EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
        EXPECT_EQ(test::ListFolder(base), std::vector<std::string>{"st"});  // no temporary file
        EXPECT_EQ(test::ReadFile(base + "/st"), "old");
    }
}

// Suspends the run from the worker thread once the given site has moved bytes.
class SuspendOnSite final : public ProgressObserver {
public:
    SuspendOnSite(TransferController& c, int site) : controller_(c), site_(site) {}
    void OnProgress(const TransferProgress& progress) override {
        if (!fired.load() && controller_.run().currentSite.load() == site_ && progress.Snapshot().fileSent > 0) {
            controller_.Suspend();
            fired.store(true);
        }
    }
    std::atomic<bool> fired{false};

private:
    TransferController& controller_;
    int site_;
};

TEST_F(TransferCancelTest, SerialOnlyThisOneDuringTheSecondSitesCopy) {
    const std::string one = test::PatternBytes(3'000'000, 11);
    const std::string two = test::PatternBytes(3'000'000, 12);
    ASSERT_TRUE(test::WriteFile(Path("one.bin"), one));
    ASSERT_TRUE(test::WriteFile(Path("two.bin"), two));
    auto c = Serial({Job(Root(), "one.bin", "one.bin", "", 3'000'000), Job(Root(), "two.bin", "two.bin", "", 3'000'000)});
    auto trigger = std::make_shared<SuspendOnSite>(*c, 1);
    c->run().progress.Subscribe(trigger);
    c->Start();
    ASSERT_TRUE(WaitUntil([&] { return trigger->fired.load(); }));
    EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::AbortedCopy);
    ASSERT_TRUE(c->WaitForWorker(60s));
    c->Finish();

    for (const char* site : {"/s1", "/s3"}) {  // sites 1 and 3 got both files
        EXPECT_TRUE(test::ReadFile(server().root() + site + "/one.bin") == one) << site;
        EXPECT_TRUE(test::ReadFile(server().root() + site + "/two.bin") == two) << site;
    }
    // Site 2: the file being copied ends as cancelled (237), or the next is not started (-1).
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);  // one per site, then the run's end
    EXPECT_TRUE(reports[0].items.empty());
    EXPECT_TRUE(reports[2].items.empty());
    ASSERT_FALSE(reports[1].items.empty());
    EXPECT_EQ(reports[1].first.remoteDir, "/s2");
    for (std::size_t i = 0; i < reports[1].items.size(); ++i) {
        const QueueReportItem& item = reports[1].items[i];
        EXPECT_EQ(item.errorText, "FTP Put Canceled");
        EXPECT_TRUE(item.result == kJobNotAttempted || (i == 0 && item.result == kJobCancelled)) << item.result;
    }
    EXPECT_EQ(reports[1].items.back().localName, "two.bin");
    EXPECT_FALSE(reports[3].perFile);
    EXPECT_TRUE(reports[3].purge);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), reports[1].items.size());
    EXPECT_EQ(failed[0].destination, "127.0.0.1");
    EXPECT_EQ(failed[0].file.substr(0, 4), "/s2/");
    for (const CTransferSite& site : c->run().sites) EXPECT_EQ(site.status, 0);
}

// Site 2 is a server that greets and then never answers the login.
TEST_F(TransferCancelTest, SerialOnlyThisOneAndAllWhileTheSecondSiteConnects) {
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "All" : "Only this one");
        const std::size_t earlier = sink.Reports().size();
        test::FaultServer silent(R"({"after_greeting": "stall"})");
        ASSERT_TRUE(silent.started()) << silent.error();
        const std::string name = all ? "all.bin" : "one.bin";
        ASSERT_TRUE(test::WriteFile(Path(name), "serial"));
        auto c = Serial({Job(Root(), name, name, "", 6)}, silent.port());
        c->Start();
        ASSERT_TRUE(silent.WaitForLine("USER user", 30s));
        ASSERT_EQ(c->run().currentSite.load(), 1);
        c->Suspend();
        if (all) {
            c->Cancel();
            EXPECT_TRUE(c->Finished());
        } else {
            EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::SkippedSite);
            ASSERT_TRUE(c->WaitForWorker(60s));
            c->Finish();
        }
        EXPECT_EQ(test::ReadFile(server().root() + "/s1/" + name), "serial");
        // "Only this one" goes on with site 3; "All" never reaches it.
        EXPECT_EQ(test::ReadFile(server().root() + "/s3/" + name).has_value(), !all);
        const std::vector<QueueReport> seen = sink.Reports();
        ASSERT_EQ(seen.size(), earlier + 4);  // sites 1, 2, 3, then the run's end
        const std::vector<QueueReport> reports(seen.begin() + static_cast<std::ptrdiff_t>(earlier), seen.end());
        EXPECT_EQ(reports[1].first.port, silent.port());
        ASSERT_EQ(reports[1].items.size(), 1u);
        EXPECT_EQ(reports[1].items[0].errorText, "FTP Put Canceled");
        if (all) {
            ASSERT_EQ(reports[2].items.size(), 1u);
            EXPECT_EQ(reports[2].first.remoteDir, "/s3");
            EXPECT_EQ(reports[2].items[0].result, kJobNotAttempted);
            EXPECT_EQ(reports[2].items[0].errorText, "FTP Put Canceled");
        } else {
            EXPECT_TRUE(reports[2].items.empty());
        }
    }
}

// Site 2 takes 100000 bytes of the upload and then reads no more: "Only this
// one" gives up its connection, so the blocked send ends now, not at SendTo.
TEST_F(TransferCancelTest, SerialOnlyThisOneEndsASendTheServerNeverReads) {
    Set("FTP", "SendTo", "600");
    ASSERT_TRUE(test::WriteFile(Path("big.bin"), ""));
    ASSERT_EQ(::truncate(Path("big.bin").c_str(), 64 << 20), 0);
    test::FaultServer stall(R"({"transfer": {"STOR": {"send_bytes": 100000, "outcome": "stall"}}})");
    ASSERT_TRUE(stall.started()) << stall.error();
    auto c = Serial({Job(Root(), "big.bin", "big.bin", "", 64 << 20)}, stall.port());
    c->Start();
    // Blocked in send: the socket buffers are full and the byte count stands still.
    std::int64_t last = -1;
    ASSERT_TRUE(WaitUntil([&] {
        const std::int64_t now = c->run().progress.Snapshot().fileSent;
        const bool still = now > 100000 && now == last;
        last = now;
        std::this_thread::sleep_for(100ms);
        return still;
    }));
    c->Suspend();  // a pause cannot reach a blocked send
    EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::AbortedCopy);
    ASSERT_TRUE(c->WaitForWorker(60s));  // far below SendTo: only the shut-down connection ends it
    c->Finish();
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);
    ASSERT_EQ(reports[1].items.size(), 1u);
    EXPECT_EQ(reports[1].items[0].result, kJobCancelled);
    EXPECT_EQ(reports[1].items[0].errorText, "FTP Put Canceled");
    struct stat st {};  // site 3 is still served
    ASSERT_EQ(::stat((server().root() + "/s3/big.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, std::int64_t{64} << 20);
}

// "All" or "Only this one" answered after the serial worker has served every
// site by itself: each site is reported once, nothing is logged as failed.
TEST_F(TransferCancelTest, SerialCancelAfterTheWorkerEndedReportsEachSiteOnce) {
    for (const bool all : {true, false}) {
        SCOPED_TRACE(all ? "All" : "Only this one");
        TheTransferLog().Clear();
        const std::size_t earlier = sink.Reports().size();
        ASSERT_TRUE(test::WriteFile(Path("late.bin"), "late"));
        auto c = Serial({Job(Root(), "late.bin", "late.bin", "", 4)});
        c->Start();
        ASSERT_TRUE(c->WaitForWorker(60s));
        c->Suspend();  // the Cancel button, pressed as the run ended
        if (all) {
            c->Cancel();
        } else {
            EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::Finished);
        }
        EXPECT_TRUE(c->Finished());
        const std::vector<QueueReport> seen = sink.Reports();
        ASSERT_EQ(seen.size(), earlier + 4);  // sites 1, 2, 3, then the run's end
        for (std::size_t i = earlier; i < earlier + 3; ++i) EXPECT_TRUE(seen[i].items.empty()) << i;
        EXPECT_TRUE(LogEntries(logcode::FtpTransferFailed).empty());
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(test::ReadFile(server().root() + "/s" + std::to_string(i) + "/late.bin"), "late");
    }
}

}  // namespace
}  // namespace zyfar::enginetest
