// The exit statuses shared by the unattended runs and the runs with a display,
// and the tally of failed files a link run with a display takes from the ends
// of its runs.
#include <gtest/gtest.h>

#include <vector>

#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"

namespace zyfar {
namespace {

TEST(ExitStatusTest, ScriptAndLinkRuns) {
    struct Case {
        ScriptEnd end;
        int errorBlocks;
        bool queueWritten;
        int status;
    };
    const Case cases[] = {
        {ScriptEnd::EndOfFile, 0, true, kHeadlessOk},           {ScriptEnd::EndOfFile, 1, true, kHeadlessErrors},
        {ScriptEnd::EndOfFile, 0, false, kHeadlessErrors},      {ScriptEnd::Cancelled, 0, true, kHeadlessErrors},
        {ScriptEnd::ConnectionLost, 0, true, kHeadlessErrors},  {ScriptEnd::ParameterError, 1, true, kHeadlessErrors},
        {ScriptEnd::ReadError, 0, true, kHeadlessErrors},       {ScriptEnd::CouldNotOpen, 0, true, kHeadlessBadScript},
    };
    for (const Case& c : cases) {
        ScriptRunResult r;
        r.end = c.end;
        r.errorBlocks = c.errorBlocks;
        EXPECT_EQ(ScriptExitStatus(r, c.queueWritten), c.status) << static_cast<int>(c.end) << " " << c.errorBlocks;
    }
    // Failed files, link problems, queue file written.
    EXPECT_EQ(std::vector({LinkExitStatus(0, false, true), LinkExitStatus(1, false, true), LinkExitStatus(0, true, true),
                           LinkExitStatus(0, false, false)}),
              std::vector({kHeadlessLinkOk, kHeadlessLinkFailed, kHeadlessLinkFailed, kHeadlessLinkFailed}));
}

class RecordingSink final : public TransferQueueSink {
public:
    void ApplyRun(const QueueReport& report) override { reports.push_back(report); }
    std::vector<QueueReport> reports;
};

QueueReport ReportOf(std::initializer_list<int> results) {
    QueueReport report;
    for (int r : results) {
        QueueReportItem item;
        item.result = r;
        report.items.push_back(item);
    }
    return report;
}

// Failed files are those reported with a result other than 0 (-1: never
// completed); every report reaches the next sink unchanged.
TEST(ExitStatusTest, TallyCountsFailedFilesAndPassesReportsOn) {
    RecordingSink next;
    LinkRunTally tally(&next);
    tally.ApplyRun(ReportOf({0, 0}));
    tally.ApplyRun(ReportOf({-1, 12029, 0}));
    tally.ApplyRun(ReportOf({}));
    EXPECT_EQ(tally.Failed(), 2);
    EXPECT_EQ(tally.Runs(), 3);
    ASSERT_EQ(next.reports.size(), 3u);
    EXPECT_EQ(next.reports[1].items.size(), 3u);
}

}  // namespace
}  // namespace zyfar
