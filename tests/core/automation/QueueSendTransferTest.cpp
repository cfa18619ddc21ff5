// The queue send pass against pyftpdlib: a queue built by failed puts and
// gets is sent again once the servers can take the files; the entries that
// arrived are removed and the others move up.
#include "automation/EngineQueue.h"
#include "MultiPutTestSupport.h"
#include "automation/QueueSend.h"
#include "engine/TransferController.h"

namespace zyfar::multiput_test {
namespace {

using QueueSendTransferTest = MultiPutTest;

TransferServer Server(const test::PyFtpdServer& s, const std::string& remoteDir = "",
                      const std::string& password = "pass") {
    return TransferServer{"127.0.0.1", "user", password, remoteDir, s.port()};
}

void AddStuckEntry(const std::string& queuePath, const std::string& host, const std::string& name) {
    QueueFile file(queuePath);
    QueueRun run;
    run.first.host = host;
    QueueItem item;
    item.localDir = "/nowhere";
    item.localName = name;
    item.remoteName = name;
    item.errorText = "stuck";
    ASSERT_TRUE(file.RecordFailure(run, item));
    ASSERT_TRUE(WritePrivateProfileString(QueueSectionName(file.Count()), "Status", "1", queuePath));
}

TEST_F(QueueSendTransferTest, FailedPutsAndGetsAreSentAgainAndLeaveTheQueue) {
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    WriteProfileString("SCHEDULE", "ResendFail", "1");
    QueueFileSink sink(queuePath_);

    AddStuckEntry(queuePath_, "first-other", "s1.txt");
    const std::string p1 = MakeLocalFile("p1.txt", 70000, 3);
    const std::string p2 = MakeLocalFile("p2.txt", 1234, 4);

    // A put into a folder the server does not have yet: the session fails,
    // both files are queued.
    {
        std::vector<CTransferJob> jobs{Item(local_, "p1.txt", 70000), Item(local_, "p2.txt", 1234)};
        TransferController put(MakeSingleServerRun(Server(server, "/incoming"), jobs, "", 71234, TransferMode::Put, 1,
                                                   nullptr, nullptr, false),
                               &sink);
        put.RunToEnd();
    }
    // A get from a folder the server does not have yet.
    {
        CTransferJob job;
        job.localDir = local_;
        job.sourceName = "g.txt";
        job.targetName = "g.txt";
        TransferController get(MakeSingleServerRun(Server(server, "/outgoing"), {job}, "", 0, TransferMode::Get, 1,
                                                   nullptr, nullptr, false),
                               &sink);
        get.RunToEnd();
    }
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

TEST_F(QueueSendTransferTest, AFailingSendSetsItsEntriesIdleAgainWithOneMoreTry) {
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    WriteProfileString("SCHEDULE", "ResendFail", "1");
    QueueFileSink sink(queuePath_);
    MakeLocalFile("p.txt", 100);
    {
        TransferController put(MakeSingleServerRun(Server(server, "/incoming"), {Item(local_, "p.txt", 100)}, "", 100,
                                                   TransferMode::Put, 1, nullptr, nullptr, false),
                               &sink);
        put.RunToEnd();
    }
    ASSERT_EQ(QueueCount(), 1);
    QuickStarter starter(&sink);
    ASSERT_EQ(RunQueueSendPass(starter, queuePath_), 1);
    EXPECT_EQ(Q(1, "Status"), "1");
    starter.WaitAll();
    // Still no folder: the entry is counted and idle again.
    ASSERT_EQ(QueueCount(), 1);
    EXPECT_EQ(Q(1, "NumTimes"), "2");
    EXPECT_EQ(Q(1, "Status"), "0");
}

TEST_F(QueueSendTransferTest, RemoteToRemoteEntryUsesItsSecondServer) {
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
}  // namespace zyfar::multiput_test
