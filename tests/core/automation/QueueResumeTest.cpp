// The queue carries where a failed transfer stopped (ResumeOffset, SourceSize, SourceTime) from its run to the
// send pass that tries it again: kept and updated with each failure, read strictly, absent in older queue files
// (which then start over), and a queued get resent through the real queue file continues with REST.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

// The partial download a get entry's resend continues, under each FTP Dir Tree mode, as the get driver places
// the file; nothing for other entries or when the place depends on what only a connection tells.
TEST_F(QueueResumeTest, ThePartialFileOfAGetEntry) {
    struct Case {
        const char* dirTree;
        const char* method;
        const char* localDir;
        const char* remoteDir;
        const char* name;
        const char* want;  // null: none
    };
    const Case cases[] = {
        {"", "ZYFAR_GET", "/down", "/pub/a", "f.bin", "/down/f.bin.zyfar-part"},
        {"NO_PATH", "ZYFAR_GET", "/down/", "", "f.bin", "/down/f.bin.zyfar-part"},
        {"LAST_DIR", "ZYFAR_GET", "/down", "/pub/a", "f.bin", "/down/a/f.bin.zyfar-part"},
        {"FULL_PATH", "ZYFAR_GET", "/down", "/pub/a", "f.bin", "/down/pub/a/f.bin.zyfar-part"},
        {"FULL_PATH", "ZYFAR_GET", "/down", "", "f.bin", nullptr},         // the login folder: unknown offline
        {"FULL_PATH", "ZYFAR_GET", "/down", "/pub/../x", "f.bin", nullptr},  // the driver refuses it
        {"", "ZYFAR_GET", "/down", "/pub", "../f.bin", nullptr},
        {"", "ZYFAR_GET", "", "/pub", "f.bin", nullptr},
        {"", "ZYFAR_PUT", "/down", "/pub", "f.bin", nullptr},
        {"", "", "/down", "/pub", "f.bin", nullptr},
        {"", "ZYFAR_XFER", "/down", "/pub", "f.bin", nullptr},
    };
    for (const Case& c : cases) {
        Set("CONFIG", "FTPDirTree", c.dirTree);
        QueueEntry e;
        e.ftpMethod = c.method;
        e.locDirFile = c.localDir;
        e.remDirFile = c.remoteDir;
        e.localName = e.remoteName = c.name;
        EXPECT_EQ(QueuePartialPathOf(e).value_or("(none)"), c.want ? c.want : "(none)")
            << c.dirTree << " " << c.method << " " << c.remoteDir << " " << c.name;
    }
}

// Deleted get entries take their partial downloads along, except where bytes may still be wanted.
TEST_F(QueueResumeTest, DeletedGetEntriesRemoveOnlyTheirOwnIdlePartialFiles) {
    const std::string folder = MakeLocalDir("parts");
    auto entry = [&](const std::string& name, int status) {
        QueueEntry e;
        e.ftpMethod = kQueueMethodGet;
        e.locDirFile = folder;
        e.remDirFile = "/pub";
        e.localName = e.remoteName = name;
        e.status = status;
        return e;
    };
    for (const char* name : {"idle", "sending", "kept", "held"})
        ASSERT_TRUE(test::WriteFile(folder + "/" + name + ".zyfar-part", "bytes"));
    ASSERT_TRUE(test::MakeDir(folder + "/dir.zyfar-part"));
    ASSERT_TRUE(test::WriteFile(folder + "/target", "elsewhere"));
    ASSERT_EQ(::symlink((folder + "/target").c_str(), (folder + "/link.zyfar-part").c_str()), 0);
    const int held = ::open((folder + "/held.zyfar-part").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const int removed = RemoveDeletedPartials(
        {entry("idle", 0), entry("sending", 1), entry("kept", 0), entry("held", 0), entry("dir", 0),
         entry("link", 0), entry("absent", 0)},
        {entry("kept", 0)});
    ::close(held);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(test::ListFolder(folder), (std::vector<std::string>{"dir.zyfar-part", "held.zyfar-part",
                                                                   "kept.zyfar-part", "link.zyfar-part",
                                                                   "sending.zyfar-part", "target"}));
    EXPECT_EQ(test::ReadFile(folder + "/target").value_or(""), "elsewhere");
}

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
