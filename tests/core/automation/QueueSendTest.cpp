// The queue send pass: entries taken and grouped into runs, write failures, and resends to pyftpdlib.
#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"
#include "automation/HeadlessLink.h"
#include "automation/QueueSend.h"
#include "engine/TransferController.h"

namespace zyfar::autotest {
namespace {

using QueueSendTest = AutomationTest;

struct E {
    std::string source, destination, method, localName, remoteName, locDir, status = "0";
    std::string extra{};  // further "key=value" lines
};

std::string QueueText(const std::vector<E>& entries) {
    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(entries.size()) + "\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const E& e = entries[i];
        const std::string n = std::to_string(i + 1);
        text += "[QUEUE" + n + "]\nNumTimes=1\nLocalName=" + e.localName + "\nRemoteName=" + e.remoteName +
                "\nRemDirFile=/rem" + n + "\nLocDirFile=" + e.locDir + "\nPassword=pw" + n + "\nLogin=lg" +
                "\nRemDir=/start" + n + "\nSource=" + e.source + "\nDestination=" + e.destination +
                (e.method.empty() ? "" : "\nFtpMethod=" + e.method) + "\nFileSize=10" + n + "\nPort=2001\n" +
                e.extra + "Status=" + e.status + "\n";
    }
    return text;
}

// "entry:localDir|source>remoteDir|target size" of each job.
std::string Jobs(const TransferRun& run) {
    std::string out;
    for (const CTransferJob& j : run.jobs)
        out += std::to_string(j.queueEntry) + ":" + j.localDir + "|" + j.sourceName + ">" + j.remoteDir + "|" +
               j.targetName + " " + std::to_string(j.size) + " ";
    return out;
}

TEST_F(QueueSendTest, RoutesInOrderOfFirstIdleEntryTakeAllTheirEntries) {
    ASSERT_TRUE(WriteFile(
        queuePath_,
        QueueText({
            {"Local", "alpha", "ZYFAR_PUT", "a.txt", "A.TXT", "/loc"},
            {"alpha", "beta", "ZYFAR_XFER", "x.bin", "x.bin", "/srcdir", "0",
             "RemLogin=rl\nRemPassword=rp\nRemRemDir=/dst\nRemotePort=2121\n"},
            {"gamma", "Local", "ZYFAR_GET", "g.txt", "g-remote.txt", "/down"},
            // Being sent by a live process, taken since its route has an idle entry.
            {"Local", "alpha", "", "b.txt", "b.txt", "/loc", "1", "SendOwner=1\n"},
            {"Local", "delta", "ZYFAR_PUT", "d.txt", "d.txt", "/loc", "1", "SendOwner=1\n"},  // no idle entry
            {"alpha", "beta", "ZYFAR_XFER", "y.bin", "y.bin", "/srcdir", "0",
             "RemLogin=other\nRemPassword=other\nRemRemDir=/other\nRemotePort=1\n"},
        })));
    RecordingStarter starter;
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    // Put and get runs are followed by the pause, a remote-to-remote run is
    // not. Entry 6 goes to another login on "beta": a route of its own.
    EXPECT_EQ(starter.events,
              (std::vector<std::string>{"start alpha", "pause 200", "start alpha", "start gamma", "pause 200",
                                        "start alpha"}));
    ASSERT_EQ(starter.runs.size(), 4u);
    const TransferRun& put = *starter.runs[0];
    EXPECT_EQ(put.mode, TransferMode::Put);
    EXPECT_EQ(put.typeFlag, 2);
    EXPECT_EQ(Jobs(put), "1:/loc|a.txt>/rem1|A.TXT 101 4:/loc|b.txt>/rem4|b.txt 104 ");
    // A put's server is its destination, with the password of the route's first entry.
    EXPECT_EQ(ServerText(put.source), "alpha lg/pw1 /start1 :2001");
    EXPECT_EQ(put.batchSize, 101 + 104);
    const TransferRun& xfer = *starter.runs[1];
    EXPECT_EQ(xfer.mode, TransferMode::ServerToServer);
    EXPECT_EQ(Jobs(xfer), "2:/srcdir|x.bin>/rem2|x.bin 102 ");
    EXPECT_EQ(ServerText(xfer.source), "alpha lg/pw2 /start2 :2001");
    EXPECT_EQ(ServerText(xfer.destination), "beta rl/rp /dst :2121");
    EXPECT_EQ(Jobs(*starter.runs[3]), "6:/srcdir|y.bin>/rem6|y.bin 106 ");
    EXPECT_EQ(ServerText(starter.runs[3]->destination), "beta other/other /other :1");
    const TransferRun& get = *starter.runs[2];
    EXPECT_EQ(get.mode, TransferMode::Get);
    EXPECT_EQ(get.source.host, "gamma");  // a get's server is its source
    EXPECT_EQ(Jobs(get), "3:/down|g-remote.txt>/rem3|g.txt 103 ");  // the server's name, the local name
    // Every taken entry is being sent now, by this process; only that changed.
    for (int n : {1, 2, 3, 4, 6}) EXPECT_EQ(Q(n, "Status") + Q(n, "SendOwner"), "1" + QueueOwnerOfThisProcess()) << n;
    EXPECT_EQ(Q(5, "SendOwner"), "1");
    EXPECT_EQ(Q(1, "NumTimes"), "1");
    RecordingStarter again;
    EXPECT_EQ(RunQueueSendPass(again, queuePath_), 0);
}

TEST_F(QueueSendTest, DuplicateLocalPathsAreSentOnce) {
    ASSERT_TRUE(WriteFile(queuePath_, QueueText({
                                          {"Local", "h", "", "a.txt", "a.txt", "/loc"},          // 1
                                          {"Local", "h", "", "keep.txt", "keep.txt", "/loc"},    // 2
                                          {"Local", "h", "", "a.txt", "a.txt", "/loc/"},         // 3 same transfer
                                          {"Local", "h", "", "a.txt", "copy-of-a.txt", "/loc"},  // 4 other name
                                          {"Local", "other", "", "a.txt", "a.txt", "/loc"},      // 5 other route
                                          {"g", "Local", "ZYFAR_GET", "a", "a", "C:\\in"},       // 6
                                          {"g", "Local", "ZYFAR_GET", "a", "a", "C:\\in\\"},     // 7 same as 6
                                          {"g", "Local", "ZYFAR_GET", "a", "a", "/in"},          // 8 another file
                                      })));
    RecordingStarter starter;
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    ASSERT_EQ(starter.runs.size(), 3u);
    // 3 and 7 merged into 1 and 6, the rest renumbered; 4 waits for a later pass.
    EXPECT_EQ(Jobs(*starter.runs[0]), "1:/loc|a.txt>/rem1|a.txt 101 2:/loc|keep.txt>/rem2|keep.txt 102 ");
    EXPECT_EQ(Jobs(*starter.runs[1]), "4:/loc|a.txt>/rem5|a.txt 105 ");
    EXPECT_EQ(Jobs(*starter.runs[2]), "5:C:\\in|a>/rem6|a 106 6:/in|a>/rem8|a 108 ");
    EXPECT_EQ(QueueCount(), 6);
    EXPECT_EQ(Q(3, "RemoteName") + Q(3, "Status"), "copy-of-a.txt0");
}

TEST_F(QueueSendTest, EmptyOrDamagedQueuesReadAsDefaultsAndUnusableEntriesStay) {
    RecordingStarter starter;
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 0);  // no file at all
    ASSERT_TRUE(WriteFile(queuePath_,
                          "[QUEUE]\nNumQueues=40\n"
                          "[QUEUE1]\nLocalName=a\nSource=Local\nDestination=h\nPort=http\nStatus=zero\nFileSize=-5\n"
                          "[QUEUE2]\nLocalName=b\nDestination=h\n"  // no source: cannot be sent
                          "[QUEUE3]\nLocalName=c\nSource=Local\nDestination=h\nPort=70000\nFtpMethod=bogus\n"
                          "[QUEUE5]\nSource=Local\nDestination=h\n"));  // no file name; QUEUE4 is missing
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    ASSERT_EQ(starter.runs.size(), 1u);
    const TransferRun& run = *starter.runs[0];
    EXPECT_EQ(run.mode, TransferMode::Put);  // an unknown method is a put
    EXPECT_EQ(run.source.port, 21);          // "http" is no port
    EXPECT_EQ(Jobs(run), "1:|a>| 0 3:|c>| 0 ");
    EXPECT_EQ(Q(2, "Status"), "<absent>");  // left alone
    EXPECT_EQ(Q(5, "Status"), "<absent>");
    EXPECT_EQ(QueuePortOf("70000") * 100000 + QueuePortOf(" 2121 "), 21 * 100000 + 2121);
}

TransferServer Server(const test::PyFtpdServer& s, const std::string& remoteDir) {
    return TransferServer{"127.0.0.1", "user", "pass", remoteDir, s.port()};
}

void RunOnce(QueueFileSink& sink, const TransferServer& server, const std::vector<CTransferJob>& jobs,
             TransferMode mode) {
    TransferController(MakeSingleServerRun(server, jobs, "", BatchSizeOf(jobs), mode, 1, nullptr, nullptr, false),
                       &sink)
        .RunToEnd();
}

// An unwritable queue file is logged and told; an unattended link run fails.
TEST_F(QueueSendTest, AQueueFileThatCannotBeWrittenIsReported) {
    ASSERT_TRUE(test::MakeDir(queuePath_));  // a folder in the way
    const int before = QueueWriteFailures();
    RecordingStarter starter;
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), kQueueSendFailed);  // not "the queue is empty"
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), kQueueSendFailed);  // logged, not told again
    // The file itself queues nothing, counts the failures it could not queue and says why.
    QueueFile file(queuePath_);
    const QueueRunSummary s = file.ApplyRun({QueueMethod::Put, {"h", "", "", "", 21}, {}},
                                            {{"/l", "a", "a", "", "x", 1, 12003, 0}, {"/l", "b", "b", "", "", 1, 0, 1},
                                             {"/l", "c", "c", "", "x", 1, 12003, 0}},
                                            QueueOptions{1, "", 0}, true);
    EXPECT_EQ(std::to_string(s.written) + " " + std::to_string(s.appended + s.counted + s.removed) + " " +
                  std::to_string(s.notQueued) + " " + file.lastError(),
              "0 0 2 a folder is in the way");
    EXPECT_FALSE(file.ResetAll());

    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    Set("SCHEDULE", "ResendFail", "1");
    Set("SCHEDULE", "ResendFreq", "FREQ_NUM");
    QueueFileSink queue(queuePath_);
    RunOnce(queue, Server(server, "/missing"), {Item(local_, "a.txt", 1)}, TransferMode::Put);
    std::vector<std::string> logged;
    for (const LogEntry& e : LogEntries(logcode::FtpTransferFailed)) logged.push_back(e.file + " | " + e.detail);
    EXPECT_EQ(logged, (std::vector<std::string>{"- | Queue file not written: a folder is in the way",
                                                "- | Queue file not written: a folder is in the way",
                                                "a.txt | FTP Put Canceled",
                                                "a.txt | Queue file not written: a folder is in the way; not queued"}));
    std::vector<test::ShownMessage> told;  // besides the session's own failure
    for (const test::ShownMessage& m : host.shown.Get())
        if (m.text.find("queue") != std::string::npos) told.push_back(m);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].text, "The transfer queue file " + queuePath_ +
                                " could not be written (a folder is in the way). The queue was not sent.");
    EXPECT_NE(told[1].text.find("1 failed file(s) were not added to the queue."), std::string::npos);
    EXPECT_EQ(told[1].kind, MessageKind::Stop);

    // Every file of the link arrives, but the queue update (the FREQ_NUM purge) cannot be written.
    MakeLocalFile("b.txt", 10);
    MakeLink("nightly", {MakeProfile("site", "127.0.0.1", server.port())}, MakeFileList("list", {"b.txt"}));
    CapturedStream out, err;
    EXPECT_EQ(RunHeadlessLink("nightly", out.get(), err.get()), kHeadlessLinkFailed);
    EXPECT_TRUE(test::ReadFile(server.root() + "/b.txt").has_value());
    EXPECT_EQ(err.Text(), "zyfar: the transfer queue file could not be written.\n");
    EXPECT_EQ(QueueWriteFailures(), before + 4);
}

// ---- against pyftpdlib ----

void SendQueue(QueueFileSink& sink, const std::string& queuePath, std::size_t runs) {
    QuickStarter starter(&sink);
    ASSERT_EQ(RunQueueSendPass(starter, queuePath), 1);
    EXPECT_EQ(starter.Count(), runs);
    starter.WaitAll();
}

// A remote-to-remote entry goes at the first pass to its second server (own port and login).
TEST_F(QueueSendTest, FailedPutsAndGetsAreCountedWhileFailingThenSentAndLeaveTheQueue) {
    test::PyFtpdOptions otherUser;
    otherUser.users = {{"second", "secret"}};
    test::PyFtpdServer server;
    test::PyFtpdServer to(otherUser);
    ASSERT_TRUE(server.started() && to.started()) << server.error();
    Set("SCHEDULE", "ResendFail", "1");
    QueueFileSink queue(queuePath_);
    ASSERT_TRUE(test::MakeDir(to.root() + "/dst"));
    const std::string x = PatternBytes(40000, 5);
    ASSERT_TRUE(WriteFile(server.root() + "/x.bin", x));
    ASSERT_TRUE(WriteFile(queuePath_, "[QUEUE]\nNumQueues=2\n" +
                                          QueueText({{"Local", "first-other", "", "s1.txt", "s1.txt", "/nowhere", "1",
                                                      "SendOwner=" + QueueOwnerOfThisProcess() + "\n"}}).substr(20) +
                                          "[QUEUE2]\nLocalName=x.bin\nRemoteName=x.bin\nRemDirFile=/dst\nLocDirFile=/\n"
                                          "Password=pass\nLogin=user\nRemDir=/\nSource=127.0.0.1\nDestination=127.0.0.1\n"
                                          "FtpMethod=ZYFAR_XFER\nRemPassword=secret\nRemLogin=second\nRemRemDir=/dst\n"
                                          "RemotePort=" + std::to_string(to.port()) +
                                          "\nPort=" + std::to_string(server.port()) + "\n"));
    const std::string p1 = MakeLocalFile("p1.txt", 70000, 3);
    const std::string p2 = MakeLocalFile("p2.txt", 1234, 4);
    // A put and a get into folders the server lacks fail and are queued.
    RunOnce(queue, Server(server, "/incoming"), {Item(local_, "p1.txt", 70000), Item(local_, "p2.txt", 1234)},
            TransferMode::Put);
    RunOnce(queue, Server(server, "/outgoing"), {Item(local_, "g.txt", 0)}, TransferMode::Get);
    ASSERT_EQ(QueueCount(), 5);
    EXPECT_EQ(Q(3, "LocalName") + " " + Q(3, "FtpMethod") + " " + Q(3, "Reason") + " " + Q(3, "RemDir"),
              "p1.txt ZYFAR_PUT FTP Put Canceled /incoming");
    EXPECT_EQ(Q(5, "Source") + ">" + Q(5, "Destination") + " " + Q(5, "FtpMethod") + " " + Q(5, "LocDirFile"),
              "127.0.0.1>Local ZYFAR_GET " + local_);
    // Folders still missing: the remote-to-remote entry leaves, the others count once more.
    SendQueue(queue, queuePath_, 3);
    EXPECT_TRUE(SameBytes(test::ReadFile(to.root() + "/dst/x.bin"), x));
    ASSERT_EQ(QueueCount(), 4);
    for (int n : {2, 3, 4}) EXPECT_EQ(Q(n, "NumTimes") + " " + Q(n, "Status") + Q(n, "SendOwner"), "2 0<absent>") << n;
    // The server can take the files now.
    ASSERT_TRUE(test::MakeDir(server.root() + "/incoming"));
    ASSERT_TRUE(test::MakeDir(server.root() + "/outgoing"));
    const std::string g = test::PatternBytes(5000, 9);
    ASSERT_TRUE(WriteFile(server.root() + "/outgoing/g.txt", g));
    SendQueue(queue, queuePath_, 2);
    EXPECT_TRUE(SameBytes(test::ReadFile(server.root() + "/incoming/p1.txt"), p1));
    EXPECT_TRUE(SameBytes(test::ReadFile(server.root() + "/incoming/p2.txt"), p2));
    EXPECT_TRUE(SameBytes(test::ReadFile(local_ + "/g.txt"), g));
    // The three sent entries are gone; the one being sent by this process stays as it was.
    ASSERT_EQ(QueueCount(), 1);
    EXPECT_EQ(Q(1, "LocalName") + " " + Q(1, "Status"), "s1.txt 1");
    EXPECT_EQ(Q(2, "LocalName"), "<absent>");
}

}  // namespace
}  // namespace zyfar::autotest
