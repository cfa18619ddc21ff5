// The queue send pass: which entries are taken, how they are grouped into runs,
// what is written back and how the runs are started (recording starter); the
// engine's reports kept in the queue file, twenty runs failing at once; and
// against pyftpdlib, a queue built by failed puts and gets sent again once the
// servers can take the files (entries that arrived removed, the others moved up).
#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"
#include "automation/QueueSend.h"
#include "engine/TransferController.h"

namespace zyfar::autotest {
namespace {

using QueueSendTest = AutomationTest;

struct E {
    std::string source, destination, method, localName, remoteName, locDir, status = "0";
    std::string extra{};  // further "key=value" lines
};

std::string Section(int n, const E& e) {
    std::string s = "[QUEUE" + std::to_string(n) + "]\nNumTimes=1\nLocalName=" + e.localName +
                    "\nRemoteName=" + e.remoteName + "\nRemDirFile=/rem" + std::to_string(n) +
                    "\nLocDirFile=" + e.locDir + "\nReason=r\nPassword=pw" + std::to_string(n) +
                    "\nLogin=lg" + std::to_string(n) + "\nRemDir=/start" + std::to_string(n) +
                    "\nSource=" + e.source + "\nDestination=" + e.destination;
    if (!e.method.empty()) s += "\nFtpMethod=" + e.method;
    s += "\nFileSize=" + std::to_string(100 + n) + "\nPort=" + std::to_string(2000 + n) + "\n";
    s += e.extra;
    s += "Status=" + e.status + "\n";
    return s;
}

std::string QueueText(const std::vector<E>& entries) {
    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(entries.size()) + "\n";
    for (std::size_t i = 0; i < entries.size(); ++i) text += Section(static_cast<int>(i + 1), entries[i]);
    return text;
}

std::vector<std::string> LocalNames(const TransferRun& run) {
    std::vector<std::string> out;
    for (const CTransferJob& j : run.jobs) out.push_back(run.mode == TransferMode::Get ? j.targetName : j.sourceName);
    return out;
}

std::string JobText(const CTransferJob& j) {
    return j.localDir + "|" + j.sourceName + " > " + j.remoteDir + "|" + j.targetName + " " + std::to_string(j.size) +
           " " + std::to_string(j.status);
}

std::vector<int> Entries(const TransferRun& run) {
    std::vector<int> out;
    for (const CTransferJob& j : run.jobs) out.push_back(j.queueEntry);
    return out;
}

TEST_F(QueueSendTest, EmptyQueueOrNoIdleEntryStartsNothing) {
    RecordingStarter starter;
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 0);  // no file at all
    ASSERT_TRUE(test::WriteFile(queuePath_, "[QUEUE]\nNumQueues=0\n" + Section(1, {"Local", "h", "", "a", "a", "/l"})));
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 0);  // the section is no entry
    ASSERT_TRUE(test::WriteFile(queuePath_, QueueText({{"Local", "h", "", "a", "a", "/l", "1"},
                                                       {"h", "Local", "ZYFAR_GET", "b", "b", "/l", "1"}})));
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 0);  // everything is being sent
    EXPECT_TRUE(starter.runs.empty());
    EXPECT_EQ(Q(1, "Status"), "1");
}

TEST_F(QueueSendTest, RoutesInOrderOfFirstAppearanceWithTheirServers) {
    ASSERT_TRUE(test::WriteFile(
        queuePath_,
        QueueText({
            {"Local", "alpha", "ZYFAR_PUT", "a.txt", "A.TXT", "/loc"},                             // 1 put alpha
            {"alpha", "beta", "ZYFAR_XFER", "x.bin", "x.bin", "/srcdir", "0",
             "RemLogin=rl\nRemPassword=rp\nRemRemDir=/dst\nRemotePort=2121\n"},                    // 2 xfer
            {"gamma", "Local", "ZYFAR_GET", "g.txt", "g-remote.txt", "/down"},                     // 3 get gamma
            {"Local", "alpha", "", "b.txt", "b.txt", "/loc"},                                       // 4 put (no method)
            {"Local", "delta", "ZYFAR_PUT", "d.txt", "d.txt", "/loc", "1"},                       // 5 being sent
            {"alpha", "beta", "ZYFAR_XFER", "y.bin", "y.bin", "/srcdir", "0",
             "RemLogin=other\nRemPassword=other\nRemRemDir=/other\nRemotePort=1\n"},              // 6 xfer
        })));
    RecordingStarter starter;
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    // Put and get runs are followed by the pause, a remote-to-remote run is not.
    EXPECT_EQ(starter.events, (std::vector<std::string>{"start alpha", "pause 200", "start alpha", "start gamma"}));
    ASSERT_EQ(starter.runs.size(), 3u);

    const TransferRun& put = *starter.runs[0];
    EXPECT_EQ(put.mode, TransferMode::Put);
    EXPECT_EQ(put.typeFlag, 2);
    EXPECT_EQ(LocalNames(put), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(Entries(put), (std::vector<int>{1, 4}));
    EXPECT_EQ(JobText(put.jobs[0]), "/loc|a.txt > /rem1|A.TXT 101 -1");
    // A put's server is its destination, with the login of the route's first entry.
    EXPECT_EQ(ServerText(put.source), "alpha lg1/pw1 /start1 :2001");
    EXPECT_EQ(put.batchSize, 101 + 104);

    const TransferRun& xfer = *starter.runs[1];
    EXPECT_EQ(xfer.mode, TransferMode::ServerToServer);
    EXPECT_EQ(Entries(xfer), (std::vector<int>{2, 6}));
    EXPECT_EQ(ServerText(xfer.source), "alpha lg2/pw2 /start2 :2002");
    EXPECT_EQ(ServerText(xfer.destination), "beta rl/rp /dst :2121");  // the second server of the first entry
    EXPECT_EQ(xfer.localTargetDir, "/dst");

    const TransferRun& get = *starter.runs[2];
    EXPECT_EQ(get.mode, TransferMode::Get);
    EXPECT_EQ(get.typeFlag, 2);
    EXPECT_EQ(get.source.host, "gamma");  // a get's server is its source
    ASSERT_EQ(get.jobs.size(), 1u);
    EXPECT_EQ(JobText(get.jobs[0]), "/down|g-remote.txt > /rem3|g.txt 103 -1");  // the server's name, the local name

    // Every taken entry is being sent now; the one already being sent stays so.
    for (int n : {1, 2, 3, 4, 5, 6}) EXPECT_EQ(Q(n, "Status"), "1") << n;
    // The pass only marks: every other key is as it was.
    EXPECT_EQ(Q(1, "NumTimes"), "1");
    EXPECT_EQ(QueueCount(), 6);
    // Nothing is idle any more: the next pass starts nothing.
    RecordingStarter again;
    EXPECT_EQ(RunQueueSendPass(again, queuePath_), 0);
}

TEST_F(QueueSendTest, DuplicateLocalPathsAreSentOnce) {
    ASSERT_TRUE(test::WriteFile(queuePath_, QueueText({
                                                {"Local", "h", "", "a.txt", "a.txt", "/loc"},          // 1
                                                {"Local", "h", "", "keep.txt", "keep.txt", "/loc"},    // 2
                                                {"Local", "h", "", "a.txt", "a.txt", "/loc/"},         // 3 same transfer
                                                {"Local", "h", "", "a.txt", "copy-of-a.txt", "/loc"},  // 4 other name
                                                {"Local", "other", "", "a.txt", "a.txt", "/loc"},      // 5 other route
                                            })));
    RecordingStarter starter;
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    ASSERT_EQ(starter.runs.size(), 2u);
    EXPECT_EQ(LocalNames(*starter.runs[0]), (std::vector<std::string>{"a.txt", "keep.txt"}));
    EXPECT_EQ(LocalNames(*starter.runs[1]), (std::vector<std::string>{"a.txt"}));

    // Entry 3 was the same transfer as entry 1: merged, the entries behind it
    // moved up. Entry 4 (another remote name) waits idle for a later pass.
    EXPECT_EQ(QueueCount(), 4);
    EXPECT_EQ(Q(3, "RemoteName"), "copy-of-a.txt");
    EXPECT_EQ(Q(3, "Status"), "0");
    EXPECT_EQ(Q(4, "Destination"), "other");
    EXPECT_EQ(Q(4, "Status"), "1");
    EXPECT_EQ(GetPrivateProfileString("QUEUE5", "LocalName", "<absent>", queuePath_), "<absent>");
    // The jobs carry the entries' numbers after the move.
    EXPECT_EQ(Entries(*starter.runs[0]), (std::vector<int>{1, 2}));
    EXPECT_EQ(Entries(*starter.runs[1]), (std::vector<int>{4}));

    // A later pass sends the waiting entry.
    RecordingStarter later;
    ASSERT_EQ(RunQueueSendPass(later, queuePath_), 1);
    ASSERT_EQ(later.runs.size(), 1u);
    EXPECT_EQ(later.runs[0]->jobs.at(0).targetName, "copy-of-a.txt");
}

TEST_F(QueueSendTest, GetPathsUseTheFoldersOwnSeparator) {
    // "C:\in" + "a" and "C:\in\" + "a" are one file; "/in" + "a" is another.
    ASSERT_TRUE(test::WriteFile(queuePath_, QueueText({
                                                {"h", "Local", "ZYFAR_GET", "a", "a", "C:\\in"},
                                                {"h", "Local", "ZYFAR_GET", "a", "a", "C:\\in\\"},
                                                {"h", "Local", "ZYFAR_GET", "a", "a", "/in"},
                                            })));
    RecordingStarter starter;
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    ASSERT_EQ(starter.runs.size(), 1u);
    EXPECT_EQ(Entries(*starter.runs[0]), (std::vector<int>{1, 2}));  // entry 3 moved up to 2
    EXPECT_EQ(QueueCount(), 2);
}

TEST_F(QueueSendTest, DamagedEntriesReadAsDefaultsAndUnusableOnesStay) {
    std::string text = "[QUEUE]\nNumQueues=40\n";
    text += "[QUEUE1]\nLocalName=a\nSource=Local\nDestination=h\nPort=http\nStatus=zero\nFileSize=-5\n";
    text += "[QUEUE2]\nLocalName=b\nDestination=h\n";          // no source: cannot be sent
    text += "[QUEUE3]\nLocalName=c\nSource=Local\nDestination=h\nPort=70000\nFtpMethod=bogus\n";
    text += "[QUEUE5]\nSource=Local\nDestination=h\n";         // no file name; QUEUE4 is missing
    ASSERT_TRUE(test::WriteFile(queuePath_, text));
    RecordingStarter starter;
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    ASSERT_EQ(starter.runs.size(), 1u);
    const TransferRun& run = *starter.runs[0];
    EXPECT_EQ(run.mode, TransferMode::Put);  // an unknown method is a put
    EXPECT_EQ(run.source.port, 21);          // "http" is no port
    EXPECT_EQ(Entries(run), (std::vector<int>{1, 3}));
    EXPECT_EQ(run.jobs[0].size, 0);
    EXPECT_EQ(Q(1, "Status"), "1");
    EXPECT_EQ(Q(2, "Status"), "<absent>");  // left alone
    EXPECT_EQ(GetPrivateProfileString("QUEUE5", "Status", "<absent>", queuePath_), "<absent>");
    EXPECT_EQ(QueuePortOf("70000"), 21);
    EXPECT_EQ(QueuePortOf(" 2121 "), 2121);
    EXPECT_EQ(QueuePortOf(""), 21);
}

TEST_F(QueueSendTest, LongEntriesMoveWhole) {
    const std::string longDir = "/" + std::string(3000, 'd');
    ASSERT_TRUE(test::WriteFile(queuePath_, QueueText({
                                                {"Local", "h", "", "a", "a", "/loc"},
                                                {"Local", "h", "", "a", "a", "/loc"},  // merged into 1
                                                {"Local", "z", "", "big", "big", longDir, "1"},
                                            })));
    RecordingStarter starter;
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    EXPECT_EQ(QueueCount(), 2);
    EXPECT_EQ(Q(2, "LocDirFile"), longDir);
    EXPECT_EQ(Q(2, "Status"), "1");
    EXPECT_EQ(Q(2, "Password"), "pw3");
}

// ---- engine reports ----

TEST_F(QueueSendTest, AnXferReportKeepsBothServers) {
    QueueReport report;
    report.method = QueueReportMethod::Xfer;
    report.first = QueueReportServer{"a.example", "al", "ap", "/a", 2100};
    report.second = QueueReportServer{"b.example", "bl", "bp", "/b", 2200};
    const QueueRun run = QueueRunOf(report);
    EXPECT_EQ(run.method, QueueMethod::Xfer);
    EXPECT_EQ(ServerText(run.first), "a.example al/ap /a :2100");
    EXPECT_EQ(ServerText(run.second), "b.example bl/bp /b :2200");
    EXPECT_EQ(QueueRouteSource(run) + " > " + QueueRouteDestination(run), "a.example > b.example");
}

TEST_F(QueueSendTest, TwentyRunsFailingFiveFilesEachAtOnceLeaveOneHundredEntries) {
    Set("SCHEDULE", "ResendFail", "1");
    test::FaultServer refusing(R"({"mode": "close"})");  // every connection is closed at once
    ASSERT_TRUE(refusing.started()) << refusing.error();
    QueueFileSink sink(queuePath_);
    // Each run ends by itself (its connection fails), then all report at
    // about the same time, each on its own thread.
    auto runAll = [&] {
        std::vector<std::unique_ptr<TransferController>> controllers;
        for (int r = 0; r < 20; ++r) {
            std::vector<CTransferJob> jobs;
            for (int f = 0; f < 5; ++f) {
                jobs.push_back(Item("/data", "run" + std::to_string(r) + "-file" + std::to_string(f), 100));
                jobs.back().remoteDir = "/in";
            }
            const TransferServer server{"127.0.0.1", "user", "pass", "", refusing.port()};
            controllers.push_back(std::make_unique<TransferController>(
                MakeSingleServerRun(server, jobs, "", 500, TransferMode::PutKeep, 1, nullptr, nullptr, false), &sink));
        }
        for (auto& c : controllers) c->Start();
        std::vector<std::thread> finishers;
        for (auto& c : controllers) {
            finishers.emplace_back([&c] {
                ASSERT_TRUE(c->WaitForWorker(std::chrono::seconds(60)));
                c->Finish();
            });
        }
        for (std::thread& t : finishers) t.join();
    };
    runAll();
    const std::vector<QueueEntry> rows = sink.file().LoadRows();
    EXPECT_EQ(sink.file().Count(), 100);
    ASSERT_EQ(rows.size(), 100u);
    for (const QueueEntry& e : rows) {
        EXPECT_EQ(std::to_string(e.numTimes) + " " + e.reason + " " + e.source + " > " + e.destination + " " + e.ftpMethod,
                  "1 FTP Put Canceled Local > 127.0.0.1 ZYFAR_PUT");
    }
    // The same failures again count up instead of adding entries.
    runAll();
    EXPECT_EQ(sink.file().Count(), 100);
    for (const QueueEntry& e : sink.file().LoadRows()) EXPECT_EQ(e.numTimes, 2);
}

// ---- against pyftpdlib ----

TransferServer Server(const test::PyFtpdServer& s, const std::string& remoteDir = "",
                      const std::string& password = "pass") {
    return TransferServer{"127.0.0.1", "user", password, remoteDir, s.port()};
}

// One run to its end, reporting to the queue file.
void RunOnce(QueueFileSink& sink, const TransferServer& server, const std::vector<CTransferJob>& jobs,
             std::int64_t batchSize, TransferMode mode) {
    TransferController(MakeSingleServerRun(server, jobs, "", batchSize, mode, 1, nullptr, nullptr, false), &sink)
        .RunToEnd();
}

void AddStuckEntry(const std::string& queuePath, const std::string& host, const std::string& name) {
    QueueFile file(queuePath);
    QueueRun run;
    run.first.host = host;
    ASSERT_TRUE(file.RecordFailure(run, QueueItem{"/nowhere", name, name, "", "stuck", 0, -1, 0}));
    ASSERT_TRUE(WritePrivateProfileString(QueueSectionName(file.Count()), "Status", "1", queuePath));
}

TEST_F(QueueSendTest, FailedPutsAndGetsAreCountedWhileFailingThenSentAndLeaveTheQueue) {
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    WriteProfileString("SCHEDULE", "ResendFail", "1");
    QueueFileSink sink(queuePath_);

    AddStuckEntry(queuePath_, "first-other", "s1.txt");
    const std::string p1 = MakeLocalFile("p1.txt", 70000, 3);
    const std::string p2 = MakeLocalFile("p2.txt", 1234, 4);

    // A put into and a get from folders the server does not have yet: the
    // sessions fail, the files are queued.
    RunOnce(sink, Server(server, "/incoming"), {Item(local_, "p1.txt", 70000), Item(local_, "p2.txt", 1234)}, 71234,
            TransferMode::Put);
    RunOnce(sink, Server(server, "/outgoing"), {Item(local_, "g.txt", 0)}, 0, TransferMode::Get);
    AddStuckEntry(queuePath_, "last-other", "s2.txt");

    ASSERT_EQ(QueueCount(), 5);
    EXPECT_EQ(Q(2, "LocalName"), "p1.txt");
    EXPECT_EQ(Q(2, "FtpMethod"), "ZYFAR_PUT");
    EXPECT_EQ(Q(2, "Reason"), "FTP Put Canceled");
    EXPECT_EQ(Q(2, "RemDir"), "/incoming");
    EXPECT_EQ(Q(3, "LocalName"), "p2.txt");
    EXPECT_EQ(Q(4, "FtpMethod"), "ZYFAR_GET");
    EXPECT_EQ(Q(4, "Source"), "127.0.0.1");
    EXPECT_EQ(Q(4, "Destination"), "Local");
    EXPECT_EQ(Q(4, "RemDir"), "/outgoing");

    // A pass while the folders are still missing: each entry is counted once
    // more and idle again.
    {
        QuickStarter first(&sink);
        ASSERT_EQ(RunQueueSendPass(first, queuePath_), 1);
        for (int n : {2, 3, 4}) EXPECT_EQ(Q(n, "Status"), "1") << n;
        first.WaitAll();
    }
    ASSERT_EQ(QueueCount(), 5);
    for (int n : {2, 3, 4}) EXPECT_EQ(Q(n, "NumTimes") + " " + Q(n, "Status"), "2 0") << n;

    // The servers can take the files now.
    ASSERT_TRUE(test::MakeDir(server.root() + "/incoming"));
    const std::string g = test::PatternBytes(5000, 9);
    ASSERT_TRUE(test::MakeDir(server.root() + "/outgoing"));
    ASSERT_TRUE(test::WriteFile(server.root() + "/outgoing/g.txt", g));

    QuickStarter starter(&sink);
    EXPECT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    EXPECT_EQ(starter.Count(), 2u);
    starter.WaitAll();

    EXPECT_TRUE(SameBytes(test::ReadFile(server.root() + "/incoming/p1.txt"), p1));
    EXPECT_TRUE(SameBytes(test::ReadFile(server.root() + "/incoming/p2.txt"), p2));
    EXPECT_TRUE(SameBytes(test::ReadFile(local_ + "/g.txt"), g));
    // Mode 0 with DeletePut absent keeps the local files.
    EXPECT_TRUE(test::ReadFile(local_ + "/p1.txt").has_value());

    // The three sent entries are gone; the two others are entries 1 and 2.
    ASSERT_EQ(QueueCount(), 2);
    EXPECT_EQ(Q(1, "LocalName"), "s1.txt");
    EXPECT_EQ(Q(2, "LocalName"), "s2.txt");
    EXPECT_EQ(Q(2, "Destination"), "last-other");
    EXPECT_EQ(Q(2, "Status"), "1");
    for (int n : {3, 4, 5}) EXPECT_EQ(Q(n, "LocalName"), "<absent>") << n;
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 3u);
}

TEST_F(QueueSendTest, RemoteToRemoteEntryUsesItsSecondServer) {
    test::PyFtpdOptions otherUser;
    otherUser.users = {{"second", "secret"}};
    test::PyFtpdServer from;
    test::PyFtpdServer to(otherUser);
    ASSERT_TRUE(from.started()) << from.error();
    ASSERT_TRUE(to.started()) << to.error();
    ASSERT_TRUE(test::MakeDir(to.root() + "/dst"));
    const std::string bytes = test::PatternBytes(40000, 5);
    ASSERT_TRUE(test::WriteFile(from.root() + "/x.bin", bytes));
    // Both servers listen on 127.0.0.1: the second one is told apart by
    // its own port, login and password.
    const std::string text = "[QUEUE]\nNumQueues=1\n[QUEUE1]\nNumTimes=1\nLocalName=x.bin\nRemoteName=x.bin\n"
                             "RemDirFile=/dst\nLocDirFile=/\nReason=r\nPassword=pass\nLogin=user\nRemDir=/\n"
                             "Source=127.0.0.1\nDestination=127.0.0.1\nFtpMethod=ZYFAR_XFER\n"
                             "RemPassword=secret\nRemLogin=second\nRemRemDir=/dst\nRemotePort=" +
                             std::to_string(to.port()) + "\nFileSize=40000\nPort=" + std::to_string(from.port()) +
                             "\nStatus=0\n";
    ASSERT_TRUE(test::WriteFile(queuePath_, text));

    QueueFileSink sink(queuePath_);
    QuickStarter starter(&sink);
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    ASSERT_EQ(starter.Count(), 1u);
    starter.WaitAll();

    EXPECT_TRUE(SameBytes(test::ReadFile(to.root() + "/dst/x.bin"), bytes));
    EXPECT_EQ(starter.Controller(0).run().jobs.at(0).status, 0);
    EXPECT_EQ(QueueCount(), 0);
}

}  // namespace
}  // namespace zyfar::autotest
