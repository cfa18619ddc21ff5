// The end of a run without a server: failure log entries and reasons per
// mode, the queue report, the view refresh rules, the per-site queue step,
// the pending link-run count, and the three ways a run is built.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/TransferFinish.h"

namespace zyfar::enginetest {
namespace {

class TransferFinishTest : public EngineTest {};

std::vector<CTransferJob> MixedJobs() {
    CTransferJob queuedOk = Job("/l", "q.txt", "Q.TXT", "/r", 10);
    queuedOk.status = 0;
    queuedOk.queueEntry = 3;
    CTransferJob plainOk = Job("/l", "ok.txt", "ok.txt", "/r", 20);
    plainOk.status = 0;
    CTransferJob never = Job("/l", "never.txt", "never.txt", "/r", 30);
    CTransferJob failed = Job("/l", "bad.txt", "bad.txt", "/r", 40);
    failed.status = 12002;
    failed.reason = "The request has timed out.";
    failed.queueEntry = 7;
    return {queuedOk, plainOk, never, failed};
}

TEST_F(TransferFinishTest, PutRunLogsFailuresAndReportsItsFiles) {
    Set("SCHEDULE", "ResendFail", "1");
    Set("SCHEDULE", "ResendFreq", "FREQ_NUM");
    Set("SCHEDULE", "ResendFreqNum", "3");
    auto run = MakeSingleServerRun(Server("srv", 2121, "me", "secret", "/start"), MixedJobs(), "", 100,
                                   TransferMode::Put, 1, nullptr, nullptr, false);
    FinishTransfer(*run, &sink);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].source, "Local Machine");
    EXPECT_EQ(failed[0].destination, "srv");
    EXPECT_EQ(failed[0].file, "never.txt");
    EXPECT_EQ(failed[0].detail, "FTP Put Canceled");
    EXPECT_EQ(failed[1].detail, "The request has timed out.");

    ASSERT_EQ(sink.Reports().size(), 1u);
    const QueueReport r = sink.Reports()[0];
    EXPECT_EQ(r.method, QueueReportMethod::Put);
    EXPECT_EQ(r.first.host, "srv");
    EXPECT_EQ(r.first.login, "me");
    EXPECT_EQ(r.first.password, "secret");
    EXPECT_EQ(r.first.remoteDir, "/start");
    EXPECT_EQ(r.first.port, 2121);
    EXPECT_TRUE(r.perFile);
    EXPECT_TRUE(r.purge);
    EXPECT_EQ(r.resendFail, 1);
    EXPECT_EQ(r.resendFreq, "FREQ_NUM");
    EXPECT_EQ(r.resendFreqNum, 3);
    // The queued success (to be removed), then the two failures; the plain success is not reported.
    ASSERT_EQ(r.items.size(), 3u);
    EXPECT_EQ(r.items[0].result, 0);
    EXPECT_EQ(r.items[0].queueEntry, 3);
    EXPECT_EQ(r.items[0].localName, "q.txt");
    EXPECT_EQ(r.items[0].remoteName, "Q.TXT");
    EXPECT_EQ(r.items[1].result, -1);
    EXPECT_EQ(r.items[1].errorText, "FTP Put Canceled");
    EXPECT_EQ(r.items[2].result, 12002);
    EXPECT_EQ(r.items[2].size, 40);
    EXPECT_EQ(r.items[2].queueEntry, 7);
    EXPECT_EQ(r.items[2].localDir, "/l");
    EXPECT_EQ(r.items[2].remoteDir, "/r");
}

TEST_F(TransferFinishTest, GetRunNamesTheServerFirstAndSwapsNames) {
    std::vector<CTransferJob> jobs{Job("/local", "remote-name", "local-name", "/pub", 5)};
    auto run = MakeSingleServerRun(Server("srv", 21), jobs, "/local", 5, TransferMode::Get, 1, nullptr, nullptr, false);
    FinishTransfer(*run, &sink);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].source, "srv");
    EXPECT_EQ(failed[0].destination, "Local Machine");
    EXPECT_EQ(failed[0].detail, "FTP Get Canceled");
    const QueueReport r = sink.Reports().at(0);
    EXPECT_EQ(r.method, QueueReportMethod::Get);
    EXPECT_EQ(r.items.at(0).localName, "local-name");
    EXPECT_EQ(r.items.at(0).remoteName, "remote-name");
}

TEST_F(TransferFinishTest, ServerToServerRunKeepsTheJobsOwnReason) {
    CTransferJob never = Job("/src", "a", "a", "/dst", 1);
    never.reason = "left over";
    auto run = MakeServerToServerRun(Server("dst", 2100, "d", "dp", "/dst"), Server("src", 2200, "s", "sp", "/src"),
                                     {never}, 1, 1, nullptr, nullptr, false);
    EXPECT_EQ(run->localTargetDir, "/dst");
    FinishTransfer(*run, &sink);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].source, "src");
    EXPECT_EQ(failed[0].destination, "dst");
    EXPECT_EQ(failed[0].detail, "left over");
    const QueueReport r = sink.Reports().at(0);
    EXPECT_EQ(r.method, QueueReportMethod::Xfer);
    EXPECT_EQ(r.first.host, "src");
    EXPECT_EQ(r.second.host, "dst");
    EXPECT_EQ(r.second.port, 2100);
    EXPECT_EQ(r.second.password, "dp");
}

TEST_F(TransferFinishTest, ViewsAreRefreshedOnlyWhileTheyShowTheSameFolder) {
    auto dest = std::make_shared<FakeView>("/pub");
    auto source = std::make_shared<FakeView>("/home/me");
    auto run = MakeSingleServerRun(Server("srv", 21), {}, "", 0, TransferMode::Put, 1, dest, source, false);
    EXPECT_EQ(run->destinationViewText, "/pub");
    EXPECT_EQ(run->sourceViewText, "/home/me");
    FinishTransfer(*run, &sink);
    EXPECT_EQ(dest->refreshes.load(), 1);
    EXPECT_EQ(source->refreshes.load(), 0);  // DeletePut is off

    dest->Show("/elsewhere");
    auto again = MakeSingleServerRun(Server("srv", 21), {}, "", 0, TransferMode::Put, 1, dest, source, false);
    dest->Show("/moved-on");
    FinishTransfer(*again, &sink);
    EXPECT_EQ(dest->refreshes.load(), 1);
}

TEST_F(TransferFinishTest, DeletionAfterTransferAlsoRefreshesTheSourceView) {
    Set("CONFIG", "DeletePut", "yEs");
    auto dest = std::make_shared<FakeView>("/pub");
    auto source = std::make_shared<FakeView>("/home/me");
    auto put = MakeSingleServerRun(Server("srv", 21), {}, "", 0, TransferMode::Put, 1, dest, source, false);
    FinishTransfer(*put, &sink);
    EXPECT_EQ(source->refreshes.load(), 1);
    // Mode 3 never deletes, so its source view stays as it is.
    auto keep = MakeSingleServerRun(Server("srv", 21), {}, "", 0, TransferMode::PutKeep, 1, dest, source, false);
    FinishTransfer(*keep, &sink);
    EXPECT_EQ(source->refreshes.load(), 1);
    // A view that is gone is simply skipped.
    auto gone = MakeSingleServerRun(Server("srv", 21), {}, "", 0, TransferMode::Put, 1, nullptr,
                                    std::make_shared<FakeView>("/tmp"), false);
    FinishTransfer(*gone, &sink);
}

TEST_F(TransferFinishTest, DeleteGetDecidesForGetRuns) {
    Set("CONFIG", "DeleteGet", "YES");
    auto source = std::make_shared<FakeView>("/pub");
    auto get = MakeSingleServerRun(Server("srv", 21), {}, "/l", 0, TransferMode::Get, 1, nullptr, source, false);
    FinishTransfer(*get, &sink);
    EXPECT_EQ(source->refreshes.load(), 1);
}

TEST_F(TransferFinishTest, SerialRunLeavesPerFileStepsToTheSites) {
    std::vector<CTransferSite> sites(2);
    sites[0].host = "one";
    sites[1].host = "two";
    auto run = MakeSerialRun(sites, MixedJobs(), 100, TransferMode::PutKeep, 1, nullptr, nullptr, false);
    EXPECT_TRUE(run->serial);
    EXPECT_EQ(run->source.host, "one");
    FinishTransfer(*run, &sink);
    EXPECT_TRUE(LogEntries(logcode::FtpTransferFailed).empty());
    const QueueReport r = sink.Reports().at(0);
    EXPECT_FALSE(r.perFile);
    EXPECT_TRUE(r.purge);
    EXPECT_TRUE(r.items.empty());
}

TEST_F(TransferFinishTest, PerSiteStepResetsFailuresForTheNextSite) {
    CTransferSite site;
    site.host = "two";
    site.remoteDir = "C:\\in";
    site.port = 2121;
    auto run = MakeSerialRun({site}, MixedJobs(), 100, TransferMode::PutKeep, 1, nullptr, nullptr, false);
    run->jobs[2].remoteDir.clear();  // falls back to the site's folder
    PerSiteQueueStep(*run, site, &sink);
    for (const CTransferJob& job : run->jobs) {
        EXPECT_TRUE(job.status == 0 || job.status == kJobNotAttempted);
    }
    EXPECT_EQ(run->jobs[3].status, kJobNotAttempted);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].destination, "two");
    EXPECT_EQ(failed[0].file, "C:\\in\\never.txt");
    EXPECT_EQ(failed[1].file, "/r/bad.txt");
    const QueueReport r = sink.Reports().at(0);
    EXPECT_EQ(r.first.host, "two");
    EXPECT_EQ(r.first.port, 2121);
    EXPECT_FALSE(r.purge);
    ASSERT_EQ(r.items.size(), 3u);
    EXPECT_EQ(r.items[2].result, 12002);  // reported with the status it had
}

TEST_F(TransferFinishTest, PendingLinkTransfersEndTheLinkRunWithItsLastRun) {
    auto finish = [this] {
        auto run = MakeSingleServerRun(Server("srv", 21), {}, "", 0, TransferMode::PutKeep, 1, nullptr, nullptr,
                                       false);
        FinishTransfer(*run, &sink);
    };
    SetPendingLinkTransfers(-1);
    finish();
    EXPECT_EQ(PendingLinkTransfers(), -1);
    EXPECT_EQ(host.quits.load(), 0);
    SetPendingLinkTransfers(2);
    finish();
    EXPECT_EQ(PendingLinkTransfers(), 1);
    EXPECT_EQ(host.quits.load(), 0);
    finish();
    EXPECT_EQ(PendingLinkTransfers(), 0);
    EXPECT_EQ(host.quits.load(), 1);
    finish();
    EXPECT_EQ(PendingLinkTransfers(), 0);
    EXPECT_EQ(host.quits.load(), 1);
}

TEST_F(TransferFinishTest, TitlesAndOverwriteAreTakenWhenTheRunIsBuilt) {
    auto put = MakeSingleServerRun(Server("up.example", 21), {}, "", 0, TransferMode::PutKeep, 1, nullptr, nullptr,
                                   false);
    EXPECT_EQ(TransferTitle(*put), "FTP Put to: up.example");
    EXPECT_FALSE(put->overwrite);  // CONFIG Overwrite absent: "NO"
    Set("CONFIG", "Overwrite", "maybe");
    auto get = MakeSingleServerRun(Server("down.example", 21), {}, "/l", 0, TransferMode::Get, 1, nullptr, nullptr,
                                   false);
    EXPECT_EQ(TransferTitle(*get), "FTP Get from: down.example");
    EXPECT_TRUE(get->overwrite);
    auto xfer = MakeServerToServerRun(Server("b", 21), Server("a", 21), {}, 0, 1, nullptr, nullptr, false);
    EXPECT_EQ(TransferTitle(*xfer), "FTP Transfer from:a to b");
    EXPECT_EQ(xfer->mode, TransferMode::ServerToServer);
}

TEST_F(TransferFinishTest, BatchSizeIsSixtyFourBit) {
    std::vector<CTransferJob> jobs{Job("", "a", "a", "", 3'000'000'000LL), Job("", "b", "b", "", 3'000'000'000LL)};
    EXPECT_EQ(BatchSizeOf(jobs), 6'000'000'000LL);
}

}  // namespace
}  // namespace zyfar::enginetest
