// The queue carries where a failed transfer stopped (ResumeOffset, SourceSize, SourceTime) from its run to the
// send pass that tries it again: kept and updated with each failure, read strictly, absent in older queue files
// (which then start over), and a queued get resent through the real queue file continues with REST.
#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"
#include "automation/QueueSend.h"
#include "engine/BufferedLocalFile.h"
#include "engine/TransferController.h"

namespace zyfar::autotest {
namespace {

TEST(QueueResumeKeys, OnlyThreeReadableKeysMakeAPointToContinueFrom) {
    struct Case {
        const char* offset;
        const char* size;
        const char* time;
        ResumePoint want;
    };
    const Case cases[] = {
        {"40", "100", "20240102030405", {40, 100, "20240102030405"}},
        {"100", "100", "1.5", {100, 100, "1.5"}},
        {"", "", "", {}},  // an entry of an older version
        {"40", "", "t", {}},
        {"40", "100", "", {}},
        {"0", "100", "t", {}},
        {"-5", "100", "t", {}},
        {"40x", "100", "t", {}},
        {" 40", "100", "t", {}},
        {"140", "100", "t", {}},  // more than the source
        {"99999999999999999999", "99999999999999999999", "t", {}},
    };
    for (const Case& c : cases) {
        QueueEntry e;
        std::tie(e.resumeOffset, e.sourceSize, e.sourceTime) = std::tuple(c.offset, c.size, c.time);
        EXPECT_EQ(QueueResumeOf(e), c.want) << c.offset << "/" << c.size << "/" << c.time;
    }
}

class QueueResumeTest : public AutomationTest {};

// Each failure of the same file stores where it stopped now; nothing to continue removes the keys.
TEST_F(QueueResumeTest, EachFailureStoresWhereTheTransferStoppedNow) {
    QueueFile file(queuePath_);
    const QueueRun run{QueueMethod::Get, {"h", "user", "pass", "/", 21}, {}};
    const QueueOptions options{1, "", 0};
    QueueItem item{"/down", "f.bin", "f.bin", "/", "dropped", 100, ftpcode::kConnectionAborted, 0};
    const std::vector<ResumePoint> points = {{40, 100, "20240102030405"}, {70, 100, "20240102030405"}, {}, {10, 100, "t"}};
    for (std::size_t i = 0; i < points.size(); ++i) {
        item.resume = points[i];
        ASSERT_EQ(file.ApplyRun(run, {item}, options, true).written, true);
        ASSERT_EQ(QueueCount(), 1);
        EXPECT_EQ(Q(1, "NumTimes"), std::to_string(i + 1));
        EXPECT_EQ(Q(1, "ResumeOffset"), points[i].offset > 0 ? std::to_string(points[i].offset) : "<absent>");
        EXPECT_EQ(Q(1, "SourceTime"), points[i].offset > 0 ? points[i].sourceTime : "<absent>");
        EXPECT_EQ(QueueResumeOf(file.LoadRows().at(0)), points[i]);
    }
    // The send pass hands the point to the job; the dialog's Delete keeps it with the entry.
    RecordingStarter starter;
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    EXPECT_EQ(starter.runs.at(0)->jobs.at(0).resume, points.back());
    ASSERT_TRUE(file.DeleteRows(file.LoadRows(), {}));
    EXPECT_EQ(Q(1, "ResumeOffset") + "/" + Q(1, "SourceSize"), "10/100");
}

// A get dropped after 100,000 bytes is queued; the send pass continues it with REST, or, from an entry that does
// not have the resume keys (an older queue file), starts it over. Both end with the whole file and no queue entry.
TEST_F(QueueResumeTest, ASendPassContinuesAQueuedGetAndAnOlderEntryStartsOver) {
    Set("SCHEDULE", "ResendFail", "1");
    const std::string data = PatternBytes(300'000, 41);
    QueueFileSink queue(queuePath_);
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "an older entry" : "a new entry");
        test::FaultServer server(
            R"({"rest": true, "transfer": {"RETR": {"times": 1, "send_bytes": 100000, "outcome": "drop"}}})");
        ASSERT_TRUE(server.started()) << server.error();
        ASSERT_TRUE(WriteFile(server.root() + "/f.bin", data));
        const std::string down = Path(older ? "down-older" : "down");
        ASSERT_TRUE(test::MakeDir(down));
        auto first = std::make_unique<TransferController>(
            MakeSingleServerRun(enginetest::Server(server.port()), {enginetest::Job("", "f.bin", "f.bin", "/", 300'000)},
                                down, 300'000, TransferMode::Get, 2, nullptr, nullptr, false),
            &queue);
        first->RunToEnd();
        ASSERT_EQ(QueueCount(), 1);
        EXPECT_EQ(Q(1, "ResumeOffset"), "100000");
        EXPECT_EQ(Q(1, "SourceSize"), "300000");
        if (older) {
            ASSERT_TRUE(QueueFile(queuePath_).Edit([](QueueEditor& q) { q.SetResume(1, {}); }));
            ASSERT_EQ(Q(1, "SourceTime"), "<absent>");
        }
        QuickStarter starter(&queue);
        ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
        starter.WaitAll();
        EXPECT_EQ(QueueCount(), 0);
        EXPECT_TRUE(SameBytes(ReadFile(down + "/f.bin"), data));
        EXPECT_EQ(server.Count("REST 100000"), older ? 0u : 1u);
        EXPECT_EQ(server.Count("RETR /f.bin"), 2u);
        EXPECT_EQ(test::ListFolder(down), std::vector<std::string>{"f.bin"});  // no partial file left
    }
}

}  // namespace
}  // namespace zyfar::autotest
