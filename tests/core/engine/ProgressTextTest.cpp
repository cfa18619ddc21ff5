// Progress, rate, time-left and statistics texts, and the progress state behind them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/ProgressText.h"
#include "engine/TransferProgress.h"
#include "engine/TransferStats.h"

namespace zyfar {
namespace {

TEST(ProgressText, TextsOfCountsAndTimes) {
    const std::pair<std::string, std::string> cases[] = {
        {FormatSentText(512, 1024), "Sent 512 bytes out of 1024 (50.00%)"},
        {FormatSentText(5'368'709'120LL, 10'737'418'240LL), "Sent 5368709120 bytes out of 10737418240 (50.00%)"},
        {FormatSentText(10, 0), ""},
        {FormatRateText(50'000, 10), "5.00 kbs"},  // thousands of bytes per second
        {FormatRateText(1500, 0), "1.50 kbs"},     // 0 s counts as 1
        {FormatRateText(6'000'000'000LL, 2), "3000000.00 kbs"},
        {FormatTimeLeft(12.5), "Left: 12.50 secs"}, {FormatTimeLeft(60), "Left: 60.00 secs"},
        {FormatTimeLeft(60.5), "Left: 01:00"},      {FormatTimeLeft(3600), "Left: 60:00"},
        {FormatTimeLeft(3600.5), "Left: 01:00:00"},
        {GroupDigits(999), "999"}, {GroupDigits(1000), "1,000"}, {GroupDigits(0), ""},
        {GroupDigits(-1234), "-1,234"}, {GroupDigits(12'345'678'901LL), "12,345,678,901"},
        {FormatStatisticsTime(3725.4), "1 hr 2 min 5 secs"}, {FormatStatisticsTime(61), "1 min 1 secs"},
        {FormatStatisticsTime(59.6), "60 secs"},             {FormatStatisticsTime(0.2), "0 secs"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(ProgressText, TimeLeftAndBarPositions) {
    EXPECT_FALSE(TimeLeftSeconds(100, 0, 5).has_value());  // nothing moved yet
    EXPECT_DOUBLE_EQ(*TimeLeftSeconds(100, 25, 10), 30.0);
    EXPECT_DOUBLE_EQ(*TimeLeftSeconds(100, 150, 10), 0.0);  // the source grew: never negative
    const std::int64_t bars[][4] = {
        // done, total, count up (1) or down (0), position
        {49, 100, 1, 49},       {250, 100, 1, 100},  // a file larger than its job's size
        {30, 100, 0, 70},       {5, 0, 1, 0},        // no total: no division
        {5, 0, 2, 100},         {4'294'967'296LL, 8'589'934'592LL, 1, 50},
        {INT64_MAX - 1, INT64_MAX, 1, 99},
    };
    for (const auto& b : bars) EXPECT_EQ(BarPosition(b[0], b[1], static_cast<int>(b[2])), b[3]) << b[0] << "/" << b[1];
}

TEST(StatisticsText, WindowFieldsFromASnapshot) {
    StatisticsSnapshot s;
    StatisticsTexts t = FormatStatistics(s);
    EXPECT_EQ(std::vector<std::string>({t.localBytesRead, t.filesTransferred, t.localRate, t.localTime, t.remoteRate,
                                        t.remoteTime}),
              std::vector<std::string>({"", "0", "", "", "", ""}));
    s.localBytesRead = s.localBytesWritten = 1'000'000;
    s.bytesSent = 1'234'567;
    s.bytesReceived = 999;
    s.bytesGot = 500'000;
    s.filesTransferred = 3;
    s.transferSeconds = 4.0;
    s.serverToServerSeconds = 61.0;
    t = FormatStatistics(s);
    // Local rate: 2,000,000 / (4 * 1000); remote rate: 500,000 / (61 * 1000).
    EXPECT_EQ(std::vector<std::string>({t.localBytesRead, t.remoteBytesWritten, t.remoteBytesRead, t.filesTransferred,
                                        t.localRate, t.localTime, t.remoteRate, t.remoteTime}),
              std::vector<std::string>(
                  {"1,000,000", "1,234,567", "999", "3", "500.00", "4 secs", "8.20", "1 min 1 secs"}));
}

TEST(TransferProgress, TextsComeFromTheCountersOnDemand) {
    TransferProgress p;
    p.ResetForConnect("ftp.example");
    p.SetBatch(10'000, 0, 1);
    p.BeginFile(4'000);
    ProgressSnapshot s0 = p.Snapshot();
    EXPECT_EQ(s0.server, "ftp.example");
    EXPECT_EQ(s0.batchBytes, "");  // nothing moved yet
    EXPECT_EQ(s0.fileBar, 0);

    p.OnPass(1'000, std::int64_t{2}, std::int64_t{1});  // a fifth pass: rates
    p.OnPass(1'000, std::nullopt, std::nullopt);         // other passes: bytes only
    ProgressSnapshot s = p.Snapshot();
    EXPECT_EQ(std::pair(s.batchBar, s.fileBar), std::pair(20, 50));
    // Rates and times stay as the last fifth pass left them (1000 bytes in 2 s).
    EXPECT_EQ(std::vector<std::string>({s.batchBytes, s.fileBytes, s.batchRate, s.batchLeft, s.fileRate, s.fileLeft}),
              std::vector<std::string>({"Sent 2000 bytes out of 10000 (20.00%)", "Sent 2000 bytes out of 4000 (50.00%)",
                                        "0.50 kbs", "Left: 18.00 secs", "1.00 kbs", "Left: 3.00 secs"}));
}

// A file larger than its job clamps the bars; counting down, a skipped file advances only the batch; the destination's reset keeps the file's texts.
TEST(TransferProgress, ClampsCountsDownSkipsAndResetsForTheDestination) {
    TransferProgress p;
    p.ResetForConnect("src");
    p.SetLocalFile("/a/b");
    p.SetRemoteFile("/r/b");
    p.SetBatch(100, 0, 1);
    p.BeginFile(50);
    p.OnPass(75, std::int64_t{1}, std::int64_t{1});
    EXPECT_EQ(p.Snapshot().fileBar, 100);
    EXPECT_EQ(p.Snapshot().fileSent, 75);
    p.ResetForDestination("dst");
    ProgressSnapshot s = p.Snapshot();
    EXPECT_EQ(std::vector<std::string>({s.server, s.localFile, s.remoteFile, s.batchBytes, s.batchRate, s.fileBytes}),
              std::vector<std::string>({"dst", "/a/b", "", "", "", "Sent 75 bytes out of 50 (150.00%)"}));
    EXPECT_EQ(s.batchBar, 75);
    TransferProgress down;
    down.SetBatch(400, 0, 2);
    down.BeginFile(100);
    EXPECT_EQ(down.Snapshot().fileBar, 100);
    down.AdvanceBatch(100);  // a file skipped as existing
    s = down.Snapshot();
    EXPECT_EQ(s.batchBar, 75);
    EXPECT_EQ(s.batchBytes, "Sent 100 bytes out of 400 (25.00%)");
    EXPECT_EQ(s.batchRate, "");
}

}  // namespace
}  // namespace zyfar
