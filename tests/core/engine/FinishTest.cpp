// The end of a run without a server: failure log entries, the queue report, view refreshes, the per-site step, the pending link-run count, run titles.
#include "support/EngineFixture.h"
#include "engine/TransferFinish.h"

namespace zyfar::enginetest {
namespace {

using TransferFinishTest = EngineTest;

// A queued success, a plain success, a job never attempted, a failure.
std::vector<CTransferJob> MixedJobs() {
    std::vector<CTransferJob> jobs{Job("/l", "q.txt", "Q.TXT", "/r", 10), Job("/l", "ok.txt", "ok.txt", "/r", 20),
                                   Job("/l", "never.txt", "never.txt", "/r", 30), Job("/l", "bad.txt", "bad.txt", "/r", 40)};
    jobs[0].status = jobs[1].status = 0;
    jobs[0].queueEntry = 3;
    jobs[3].status = 12002;
    jobs[3].reason = "The request has timed out.";
    jobs[3].queueEntry = 7;
    return jobs;
}

TEST_F(TransferFinishTest, FailuresAreLoggedAndReportedWithTheFoldersTheirAttemptStartedFrom) {
    Set("SCHEDULE", "ResendFail", "1");
    Set("SCHEDULE", "ResendFreq", "FREQ_NUM");
    Set("SCHEDULE", "ResendFreqNum", "3");
    const std::vector<CTransferJob> built = MixedJobs();
    auto run = MakeSingleServerRun(Server(2121, "me", "secret", "/start", "srv"), built, "", 100, TransferMode::Put, 1,
                                   nullptr, nullptr, false);
    run->jobs[3].remoteDir = "/r/l";  // the driver moved the failed put to its target's folder
    FinishTransfer(*run, &sink, &built);
    auto get = MakeSingleServerRun(Server(21, "user", "pass", "", "srv"),
                                   {Job("/view", "remote-name", "local-name", "/pub", 5)}, "/local", 5,
                                   TransferMode::Get, 1, nullptr, nullptr, false);
    FinishTransfer(*get, &sink);
    CTransferJob never = Job("/src", "a", "a", "/dst", 1);
    never.reason = "left over";
    auto xfer = MakeServerToServerRun(Server(2100, "d", "dp", "/dst", "dst"), Server(2200, "s", "sp", "/src", "src"),
                                      {never}, 1, 1, nullptr, nullptr, false);
    FinishTransfer(*xfer, &sink);
    EXPECT_EQ(Logged(logcode::FtpTransferFailed),
              (std::vector<std::string>{"Local Machine > srv | never.txt | FTP Put Canceled",
                                        "Local Machine > srv | bad.txt | The request has timed out.",
                                        "srv > Local Machine | remote-name | FTP Get Canceled",
                                        "src > dst | a | left over"}));
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 3u);
    const QueueReport& r = reports[0];
    EXPECT_EQ(r.method, QueueReportMethod::Put);
    EXPECT_EQ(Text(r.first), "srv me/secret /start :2121");
    EXPECT_EQ(std::to_string(r.perFile) + std::to_string(r.purge) + std::to_string(r.resendFail) + r.resendFreq +
                  std::to_string(r.resendFreqNum),
              "111FREQ_NUM3");
    // The queued success, then the failures; the failed put keeps the folder it started from.
    EXPECT_EQ(Texts(r.items), (std::vector<std::string>{"0 /l|q.txt /r|Q.TXT 10 #3 ",
                                                        "-1 /l|never.txt /r|never.txt 30 #0 FTP Put Canceled",
                                                        "12002 /l|bad.txt /r|bad.txt 40 #7 The request has timed out."}));
    // A get's local name is the job's target, its local folder the run's target folder.
    EXPECT_EQ(Texts(reports[1].items), std::vector<std::string>{"-1 /local|local-name /pub|remote-name 5 #0 FTP Get Canceled"});
    EXPECT_EQ(reports[2].method, QueueReportMethod::Xfer);
    EXPECT_EQ(Text(reports[2].first) + " " + Text(reports[2].second), "src s/sp /src :2200 dst d/dp /dst :2100");
}

TEST_F(TransferFinishTest, ViewsAreRefreshedWhileTheyShowTheSameFolder) {
    struct Case {
        const char* deletePut;
        const char* deleteGet;
        TransferMode mode;
        bool destinationMoved;  // the destination view shows another folder at the end
        int destinationRefreshes;
        int sourceRefreshes;  // the source view only when files were deleted there
    };
    const Case cases[] = {
        {"NO", "NO", TransferMode::Put, false, 1, 0},     {"NO", "NO", TransferMode::Put, true, 0, 0},
        {"yEs", "NO", TransferMode::Put, false, 1, 1},    {"yEs", "NO", TransferMode::PutKeep, false, 1, 0},
        {"NO", "YES", TransferMode::Get, false, 1, 1},    {"NO", "YES", TransferMode::Put, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.deletePut << c.deleteGet << static_cast<int>(c.mode) << c.destinationMoved);
        Set("CONFIG", "DeletePut", c.deletePut);
        Set("CONFIG", "DeleteGet", c.deleteGet);
        auto dest = std::make_shared<FakeView>("/pub");
        auto source = std::make_shared<FakeView>("/home/me");
        auto run = MakeSingleServerRun(Server(21, "u", "p", "", "srv"), {}, "", 0, c.mode, 1, dest, source, false);
        if (c.destinationMoved) dest->Show("/elsewhere");
        FinishTransfer(*run, &sink);
        EXPECT_EQ(dest->refreshes.load(), c.destinationRefreshes);
        EXPECT_EQ(source->refreshes.load(), c.sourceRefreshes);
    }
}

// A serial run reports per site (failures back to -1 for the next); its end has no per-file steps.
TEST_F(TransferFinishTest, SerialRunsReportEachSite) {
    CTransferSite site;
    site.host = "two";
    site.remoteDir = "C:\\in";
    site.port = 2121;
    auto run = MakeSerialRun({site}, MixedJobs(), 100, TransferMode::PutKeep, 1, nullptr, nullptr, false);
    run->jobs[2].remoteDir.clear();  // falls back to the site's folder
    PerSiteQueueStep(*run, site, &sink);
    for (const CTransferJob& job : run->jobs) EXPECT_TRUE(job.status == 0 || job.status == kJobNotAttempted);
    EXPECT_EQ(run->jobs[3].status, kJobNotAttempted);
    EXPECT_EQ(Logged(logcode::FtpTransferFailed),
              (std::vector<std::string>{"Local Machine > two | C:\\in\\never.txt | FTP Put Canceled",
                                        "Local Machine > two | /r/bad.txt | The request has timed out."}));
    FinishTransfer(*run, &sink);
    EXPECT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 2u);
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(Text(reports[0].first), "two / C:\\in :2121");
    EXPECT_EQ(std::to_string(reports[0].perFile) + std::to_string(reports[0].purge), "10");
    ASSERT_EQ(reports[0].items.size(), 3u);
    EXPECT_EQ(reports[0].items[2].result, 12002);  // reported with the status it had
    EXPECT_EQ(std::to_string(reports[1].perFile) + std::to_string(reports[1].purge), "01");
    EXPECT_TRUE(reports[1].items.empty());
}

TEST_F(TransferFinishTest, PendingLinkTransfersEndTheLinkRunWithItsLastRun) {
    // {count before, count after, quit requests so far}
    const int steps[][3] = {{-1, -1, 0}, {2, 1, 0}, {1, 0, 1}, {0, 0, 1}};
    for (const auto& step : steps) {
        if (step[0] != 1) SetPendingLinkTransfers(step[0]);
        auto run = MakeSingleServerRun(Server(21, "u", "p", "", "srv"), {}, "", 0, TransferMode::PutKeep, 1, nullptr,
                                       nullptr, false);
        FinishTransfer(*run, &sink);
        EXPECT_EQ(PendingLinkTransfers(), step[1]) << step[0];
        EXPECT_EQ(host.quits.load(), step[2]) << step[0];
    }
}

TEST_F(TransferFinishTest, TitlesAndOverwriteAreTakenWhenTheRunIsBuilt) {
    auto at = [](const char* name) { return Server(21, "u", "p", "", name); };
    auto put = MakeSingleServerRun(at("up"), {}, "", 0, TransferMode::PutKeep, 1, nullptr, nullptr, false);
    Set("CONFIG", "Overwrite", "maybe");
    auto get = MakeSingleServerRun(at("down"), {}, "/l", 0, TransferMode::Get, 1, nullptr, nullptr, false);
    auto xfer = MakeServerToServerRun(at("b"), at("a"), {}, 0, 1, nullptr, nullptr, false);
    EXPECT_EQ(TransferTitle(*put) + "," + TransferTitle(*get) + "," + TransferTitle(*xfer),
              "FTP Put to: up,FTP Get from: down,FTP Transfer from:a to b");
    EXPECT_EQ(std::to_string(put->overwrite) + std::to_string(get->overwrite), "01");  // absent is "NO"
}

}  // namespace
}  // namespace zyfar::enginetest
