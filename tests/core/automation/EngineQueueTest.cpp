// The engine's queue reports kept in the queue file: the mapping of a report
// onto queue runs and items, and many runs failing at once.
#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"
#include "engine/TransferController.h"

namespace zyfar::autotest {
namespace {

using EngineQueueTest = AutomationTest;

TEST_F(EngineQueueTest, ReportsMapOntoQueueRunsAndItems) {
    QueueReport report;
    report.method = QueueReportMethod::Xfer;
    report.first = QueueReportServer{"a.example", "al", "ap", "/a", 2100};
    report.second = QueueReportServer{"b.example", "bl", "bp", "/b", 2200};
    const QueueRun run = QueueRunOf(report);
    EXPECT_EQ(run.method, QueueMethod::Xfer);
    for (const auto& [server, text] : {std::pair{run.first, "a.example al/ap /a :2100"},
                                       std::pair{run.second, "b.example bl/bp /b :2200"}}) {
        EXPECT_EQ(server.host + " " + server.login + "/" + server.password + " " + server.remoteDir + " :" +
                      std::to_string(server.port),
                  text);
    }
    EXPECT_EQ(QueueRouteSource(run) + " > " + QueueRouteDestination(run), "a.example > b.example");
    const QueueItem q = QueueItemOf(QueueReportItem{"/l", "ln", "rn", "/r", "why", 5'000'000'000LL, 12002, 4});
    EXPECT_EQ(q.localDir + q.localName + q.remoteName + q.remoteDir + q.errorText, "/llnrn/rwhy");
    EXPECT_EQ(q.size, 5'000'000'000LL);
    EXPECT_EQ(q.result, 12002);
    EXPECT_EQ(q.queueEntry, 4);
}

TEST_F(EngineQueueTest, TwentyRunsFailingFiveFilesEachAtOnceLeaveOneHundredEntries) {
    Set("SCHEDULE", "ResendFail", "1");
    test::FaultServer refusing(R"({"mode": "close"})");  // every connection is closed at once
    ASSERT_TRUE(refusing.started()) << refusing.error();
    QueueFileSink sink(queuePath_);

    auto runAll = [&] {
        std::vector<std::unique_ptr<TransferController>> controllers;
        for (int r = 0; r < 20; ++r) {
            std::vector<CTransferJob> jobs;
            for (int f = 0; f < 5; ++f) {
                CTransferJob job;
                job.localDir = "/data";
                job.sourceName = "run" + std::to_string(r) + "-file" + std::to_string(f);
                job.targetName = job.sourceName;
                job.remoteDir = "/in";
                job.size = 100;
                jobs.push_back(job);
            }
            TransferServer server{"127.0.0.1", "user", "pass", "", refusing.port()};
            controllers.push_back(std::make_unique<TransferController>(
                MakeSingleServerRun(server, jobs, "", 500, TransferMode::PutKeep, 1, nullptr, nullptr, false),
                &sink));
        }
        for (auto& c : controllers) {
            c->Start();
        }
        // Each run ends by itself (its connection fails) and then reports on
        // its own thread, all at about the same time.
        std::vector<std::thread> finishers;
        for (auto& c : controllers) {
            finishers.emplace_back([&c] {
                ASSERT_TRUE(c->WaitForWorker(std::chrono::seconds(60)));
                c->Finish();
            });
        }
        for (std::thread& t : finishers) {
            t.join();
        }
    };

    runAll();
    EXPECT_EQ(sink.file().Count(), 100);
    std::vector<QueueEntry> rows = sink.file().LoadRows();
    ASSERT_EQ(rows.size(), 100u);
    for (const QueueEntry& e : rows) {
        EXPECT_EQ(e.numTimes, 1);
        EXPECT_EQ(e.reason, "FTP Put Canceled");
        EXPECT_EQ(e.source, "Local");
        EXPECT_EQ(e.destination, "127.0.0.1");
        EXPECT_EQ(e.ftpMethod, "ZYFAR_PUT");
    }

    // The same failures again count up instead of adding entries.
    runAll();
    EXPECT_EQ(sink.file().Count(), 100);
    for (const QueueEntry& e : sink.file().LoadRows()) {
        EXPECT_EQ(e.numTimes, 2);
    }
}

}  // namespace
}  // namespace zyfar::autotest
