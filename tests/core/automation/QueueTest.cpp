// The queue file (entries added, counted, purged, damaged files, deletes, owners, concurrent appends) and the
// send pass: entries taken and grouped into runs, write failures, and resends to pyftpdlib.
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"
#include "automation/HeadlessLink.h"
#include "automation/QueueSend.h"
#include "engine/TransferController.h"

namespace zyfar::autotest {
namespace {

class QueueFileTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        test::IsolatedHomeTest::SetUp();
        path_ = Path("q/zyfarQue.ini");
    }
    void WriteText(const std::string& text) const { ASSERT_TRUE(test::WriteText(path_, text)); }
    IniDocument Doc() const { return ReadPrivateProfile(path_); }

    static QueueRun Put(const std::string& host = "up.test", std::uint16_t port = 2121, const std::string& login = "me") {
        return {QueueMethod::Put, {host, login, "pw", "/in", port}, {}};
    }
    static QueueRun Get(const std::string& host = "down.test") { return {QueueMethod::Get, {host, "you", "pw2", "/out", 21}, {}}; }
    static QueueItem Failed(const std::string& name, const std::string& error = "550 No access") {
        return {"/home/me/data", name, name, "/in/sub", error, 1234, 12003, 0};
    }
    static QueueItem Succeeded(const std::string& name, int entry) {
        QueueItem i = Failed(name);
        i.result = 0;
        i.queueEntry = entry;
        return i;
    }
    static QueueOptions Adding(const std::string& freq = "", int limit = 0, int resendFail = 1) {
        return QueueOptions{resendFail, freq, limit};
    }
    QueueRunSummary Apply(const QueueRun& run, const std::vector<QueueItem>& items,
                          const QueueOptions& o = Adding(), bool purge = true, bool perFile = true) {
        return QueueFile(path_).ApplyRun(run, items, o, purge, perFile);
    }
    std::string Names() const {
        std::string out;
        for (const QueueEntry& e : QueueFile(path_).LoadRows()) out += e.localName + ":" + std::to_string(e.numTimes) + " ";
        return out;
    }

    std::string path_;
};

TEST_F(QueueFileTest, AppendedEntriesHaveTheKeysInOrderAndOnlyXferTheSecondServer) {
    EXPECT_EQ(QueueFile().path(), Path("config/Quorvane/zyfarQue.ini"));
    EXPECT_EQ(Apply(Put(), {Failed("a.txt")}).appended, 1);
    EXPECT_EQ(test::ReadText(path_),
              "[QUEUE1]\nNumTimes=1\nLocalName=a.txt\nRemoteName=a.txt\nRemDirFile=/in/sub\n"
              "LocDirFile=/home/me/data\nReason=550 No access\nPassword=pw\nLogin=me\nRemDir=/in\n"
              "Source=Local\nDestination=up.test\nFtpMethod=ZYFAR_PUT\nFileSize=1234\nPort=2121\nStatus=0\n"
              "[QUEUE]\nNumQueues=1\n");
    Apply({QueueMethod::Xfer, {"one.test", "l1", "p1", "/d1", 21}, {"two.test", "l2", "p2", "/d2", 2200}}, {Failed("x")});
    Apply(Get(), {Failed("g")});
    const IniDocument doc = Doc();
    std::string keys;
    for (const auto& [k, v] : doc.GetSection("QUEUE2")) keys += k + "=" + v + " ";
    EXPECT_EQ(keys,
              "NumTimes=1 LocalName=x RemoteName=x RemDirFile=/in/sub LocDirFile=/home/me/data Reason=550 No access "
              "Password=p1 Login=l1 RemDir=/d1 Source=one.test Destination=two.test FtpMethod=ZYFAR_XFER "
              "RemPassword=p2 RemLogin=l2 RemRemDir=/d2 RemotePort=2200 FileSize=1234 Port=21 Status=0 ");
    EXPECT_EQ(doc.Get("QUEUE3", "Source").value_or("") + ">" + doc.Get("QUEUE3", "Destination").value_or(""),
              "down.test>Local");
    EXPECT_FALSE(doc.Get("QUEUE3", "RemPassword").has_value());
}

// A name with a line break cannot be stored; a reply of several lines is kept on one.
TEST_F(QueueFileTest, FailuresAreCountedOnTheirEntryAndSuccessesRemoveIt) {
    const QueueRunSummary first = Apply(Put(), {Failed("a", "550-first\r\n550 second"), Failed("bad\nname"),
                                                Failed("b"), Failed("c")});
    EXPECT_EQ(first.appended * 10 + first.refused, 31);
    const QueueRunSummary again = Apply(Put(), {Failed("a", "second")});
    EXPECT_EQ(again.counted * 10 + again.appended, 10);
    EXPECT_EQ(QueueFile(path_).LoadRows()[0].reason, "550-first  550 second");  // the first reason is kept
    // Another server, case of the name, direction, port or login: new entries, each counted on its own.
    Apply(Put("other.test"), {Failed("a")});
    Apply(Put(), {Failed("A")});
    Apply(Get("up.test"), {Failed("a")});
    Apply(Put("up.test", 2122), {Failed("a")});
    Apply(Put("up.test", 2121, "other"), {Failed("a")});
    EXPECT_EQ(Apply(Put("up.test", 2122), {Failed("a")}).counted, 1);
    EXPECT_EQ(Names(), "a:2 b:1 c:1 a:1 A:1 a:1 a:2 a:1 ");
    // ResendFail off: nothing is added or counted, successes still leave.
    const QueueRunSummary off = Apply(Put(), {Failed("a"), Failed("new"), Succeeded("b", 2), Succeeded("c", 0)},
                                      QueueOptions{});
    EXPECT_EQ(off.appended + off.counted, 0);
    EXPECT_EQ(off.removed, 1);  // "c" did not come from the queue
    EXPECT_EQ(Names(), "a:2 c:1 a:1 A:1 a:1 a:2 a:1 ");
    EXPECT_EQ(Doc().Get("QUEUE", "NumQueues"), "7");
    EXPECT_FALSE(Doc().HasSection("QUEUE8"));
}

TEST_F(QueueFileTest, FreqNumPurgeOnlyInTheSingleJobFormWithResendFailOne) {
    struct Case {
        QueueOptions options;
        bool purge;
        bool perFile;
        const char* after;
    };
    const Case cases[] = {
        {Adding("FREQ_NUM", 2), false, true, "keep:1 drop:3 last:1 "},    // site form: no purge
        {Adding("FREQ_NUM", 2, 2), true, true, "keep:1 drop:3 last:1 "},  // ResendFail 2
        {Adding("UNTIL_END", 2), true, true, "keep:1 drop:3 last:1 "},
        {Adding("FREQ_NUM", 2), true, true, "keep:1 last:1 "},            // drop passes the limit; last moves
        {Adding("FREQ_NUM", 0), true, false, ""},  // the per-file steps skipped, the purge runs
    };
    for (const Case& c : cases) {
        WriteText("[QUEUE]\nNumQueues=3\n[QUEUE1]\nLocalName=keep\nSource=Local\nDestination=up.test\n"
                  "[QUEUE2]\nLocalName=drop\nRemoteName=drop\nSource=Local\nDestination=up.test\nNumTimes=2\nLogin=me\nPort=2121\n"
                  "[QUEUE3]\nLocalName=last\nSource=Local\nDestination=up.test\n");
        const QueueRunSummary s = Apply(Put(), {Failed("drop")}, c.options, c.purge, c.perFile);
        EXPECT_EQ(Names(), c.after) << c.options.resendFail << c.options.resendFreq << c.purge << c.perFile;
        EXPECT_EQ(s.appended, 0);
    }
    EXPECT_FALSE(Doc().HasSection("QUEUE1"));
}

TEST_F(QueueFileTest, DamagedFilesReadAsDefaultsAndLongEntriesMoveWhole) {
    const std::pair<const char*, int> counts[] = {
        {"", 0}, {"[QUEUE1]\nLocalName=a\n", 0}, {"[QUEUE]\nNumQueues=-7\n[QUEUE1]\n", 0},
        {"[QUEUE]\nNumQueues=lots\n[QUEUE1]\n", 0}, {"[QUEUE]\nNumQueues=9\n[QUEUE1]\n[QUEUE3]\n", 3}};
    for (const auto& [text, count] : counts) {
        WriteText(text);
        EXPECT_EQ(QueueFile(path_).Count(), count) << text;
    }
    WriteText("[QUEUE]\nNumQueues=3\n[QUEUE1]\nLocalName=a\nNumTimes=x\nStatus=\n[QUEUE3]\nLocalName=c\n");
    auto rows = QueueFile(path_).LoadRows();
    EXPECT_EQ(rows[0].numTimes, 0);  // present but not a number
    EXPECT_EQ(rows[1].numTimes, 1);  // absent
    EXPECT_STREQ(rows[1].StatusText(), "IDLE");
    // An append after a damaged count goes behind the last entry; a long entry moves whole.
    QueueItem big = Failed("big");
    big.localDir = "/" + std::string(3000, 'd');
    big.errorText = std::string(2000, 'r');
    Apply(Put(), {Failed("first"), big});
    EXPECT_EQ(Doc().Get("QUEUE", "NumQueues"), "5");
    const auto bigSection = Doc().GetSection("QUEUE5");
    Apply(Put(), {Succeeded("first", 4)}, QueueOptions{});
    EXPECT_EQ(Doc().GetSection("QUEUE4"), bigSection);
}

TEST_F(QueueFileTest, DeleteRewritesInDisplayOrderKeepingWhatChangedMeanwhile) {
    QueueFile q(path_);
    Apply(Put(), {Failed("a"), Failed("b"), Failed("c"), Failed("d"), Failed("e")});
    const auto rows = q.LoadRows();
    // Meanwhile: "a" succeeded, "c" failed again, "n" was added.
    Apply(Put(), {Succeeded("a", 1), Failed("c"), Failed("n")});
    // Sorted descending by name in the dialog, then "b" and "d" deleted.
    ASSERT_TRUE(q.DeleteRows({rows[4], rows[2], rows[0]}, {rows[1], rows[3]}));
    EXPECT_EQ(Names(), "e:1 c:2 n:1 ");
    ASSERT_TRUE(q.DeleteRows({q.LoadRows()[1]}, {q.LoadRows()[0], q.LoadRows()[2]}));
    EXPECT_EQ(Names(), "c:2 ");
    for (int i = 2; i <= 5; ++i) EXPECT_FALSE(Doc().HasSection("QUEUE" + std::to_string(i)));
    // A get entry is written back without the second-server keys; absent numbers stay absent.
    WriteText("[QUEUE]\nNumQueues=2\n[QUEUE1]\nLocalName=x\nSource=h\nDestination=Local\nFtpMethod=ZYFAR_GET\n"
              "RemPassword=stale\nRemLogin=stale\nRemRemDir=/stale\nRemotePort=99\n[QUEUE2]\nLocalName=y\n");
    ASSERT_TRUE(q.DeleteRows({q.LoadRows()[0]}, {q.LoadRows()[1]}));
    std::string keys;
    for (const auto& [k, v] : Doc().GetSection("QUEUE1")) keys += k + " ";
    EXPECT_EQ(keys, "NumTimes LocalName RemoteName RemDirFile LocDirFile Reason Password Login RemDir Source "
                    "Destination FtpMethod Status ");
    // Clear: no entries, the sections stay until an append replaces them whole.
    ASSERT_TRUE(q.Clear());
    EXPECT_EQ(q.Count(), 0);
    Apply(Put(), {Failed("p")});
    EXPECT_EQ(Doc().Get("QUEUE1", "LocalName"), "p");
    EXPECT_FALSE(Doc().Get("QUEUE1", "FtpMethod") == "ZYFAR_GET");
}

// Clear List removes what the dialog showed, by content: whatever a run did
// to the file since the dialog read it, the entries it added stay.
TEST_F(QueueFileTest, ClearRemovesTheShownEntriesAndKeepsThoseAddedMeanwhile) {
    struct Case {
        const char* what;
        std::vector<QueueItem> meanwhile;  // a put run to up.test after the dialog read a, b, c
        QueueOptions options;
        const char* after;
    };
    const Case cases[] = {
        {"nothing changed", {}, Adding(), ""},
        {"new entries appended", {Failed("n"), Failed("m")}, Adding(), "n:1 m:1 "},
        {"a sent and gone, the others move up", {Succeeded("a", 1), Failed("n")}, Adding(), "n:1 "},
        {"b counted again", {Failed("b"), Failed("n")}, Adding(), "n:1 "},
        {"a counted past the limit and purged", {Failed("a"), Failed("n")}, Adding("FREQ_NUM", 1), "n:1 "},
    };
    for (const Case& c : cases) {
        WriteText("");
        Apply(Put(), {Failed("a"), Failed("b"), Failed("c")});
        const auto shown = QueueFile(path_).LoadRows();
        if (!c.meanwhile.empty()) Apply(Put(), c.meanwhile, c.options);
        ASSERT_TRUE(QueueFile(path_).ClearRows(shown)) << c.what;
        EXPECT_EQ(Names(), c.after) << c.what;
        const int left = QueueFile(path_).Count();
        EXPECT_FALSE(Doc().HasSection(QueueSectionName(left + 1))) << c.what;
    }
    // The same names to another port or login, or in another route, are other transfers to Clear and Delete.
    for (const bool clear : {true, false}) {
        WriteText("[QUEUE]\nNumQueues=4\n[QUEUE1]\nLocalName=x\nSource=Local\nDestination=h\nPort=21\n"
                  "[QUEUE2]\nLocalName=x\nSource=Local\nDestination=h\nPort=2121\n"
                  "[QUEUE3]\nLocalName=x\nSource=Local\nDestination=h\nLogin=other\n"
                  "[QUEUE4]\nLocalName=x\nSource=h\nDestination=Local\n");
        QueueFile q(path_);
        const auto rows = q.LoadRows();
        ASSERT_TRUE(clear ? q.ClearRows({rows[0], rows[3]}) : q.DeleteRows({rows[1], rows[2]}, {rows[0], rows[3]}));
        const auto left = q.LoadRows();
        ASSERT_EQ(left.size(), 2u) << clear;
        EXPECT_EQ(left[0].port + left[1].login, "2121other") << clear;
    }
}

// Entries being sent carry their process; what a gone run left is freed.
TEST_F(QueueFileTest, AbandonedEntriesBecomeIdleAndLiveOnesStay) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    const std::string childOwner = std::to_string(child) + ":1";
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // gone now
    const std::string parentOwner = std::to_string(::getppid());  // running, written by a version without start times
    struct Case {
        std::string owner;  // "" absent
        bool processStart;
        int statusAfter;
    };
    const Case cases[] = {
        {QueueOwnerOfThisProcess(), true, 1}, {childOwner, false, 0}, {parentOwner, true, 1},
        {std::to_string(::getpid()) + ":1", false, 0},  // this pid, but another process that had it before
        {"", false, 1}, {"", true, 0}, {"garbage", true, 1}};
    for (const Case& c : cases) {
        WriteText("[QUEUE]\nNumQueues=1\n[QUEUE1]\nLocalName=a\nStatus=1\n" +
                  (c.owner.empty() ? std::string() : "SendOwner=" + c.owner + "\n"));
        int freed = 0;
        ASSERT_TRUE(QueueFile(path_).Edit([&](QueueEditor& q) { freed = q.ReleaseAbandoned(c.processStart); }));
        const QueueEntry e = QueueFile(path_).LoadRows().at(0);
        EXPECT_EQ(e.status, c.statusAfter) << c.owner << " " << c.processStart;
        EXPECT_EQ(freed, 1 - c.statusAfter);
        EXPECT_EQ(e.sendOwner.empty(), c.statusAfter == 0 || c.owner.empty());
    }
    ASSERT_TRUE(QueueFile(path_).ResetAll());
    EXPECT_EQ(test::ReadText(path_), "[QUEUE]\nNumQueues=1\n[QUEUE1]\nLocalName=a\nStatus=0\n");
    // The send pass frees a gone process's entries, and ownerless ones at a process's first pass.
    WriteText("[QUEUE]\nNumQueues=2\n[QUEUE1]\nLocalName=a\nSource=Local\nDestination=h\nStatus=1\nSendOwner=" +
              childOwner + "\n[QUEUE2]\nLocalName=b\nSource=Local\nDestination=k\nStatus=1\n");
    const QueueSendPlan later = TakeQueueRoutes(path_, false);
    ASSERT_EQ(later.routes.size(), 1u);
    EXPECT_EQ(later.routes[0].destination, "h");
    const QueueSendPlan first = TakeQueueRoutes(path_, true);
    ASSERT_EQ(first.freed * 10 + static_cast<int>(first.routes.size()), 11);
    EXPECT_EQ(first.routes[0].destination, "k");
}

// Concurrent appends: each entry once, each failure counted once (across processes: PrivateProfileTest).
TEST_F(QueueFileTest, ConcurrentAppendsLoseAndDuplicateNothing) {
    constexpr int kThreads = 8, kPerWorker = 12, kShared = 3;
    ASSERT_TRUE(test::MakeDir(Path("q")));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerWorker; ++i) {
                const std::string name = test::Cat("t", t) + "-" + std::to_string(i);
                if (Apply(Put(), {Failed(name)}).appended != 1) ++failures;
                if (i < kShared && !Apply(Put(), {Failed("shared")}).written) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    const auto rows = QueueFile(path_).LoadRows();
    ASSERT_EQ(static_cast<int>(rows.size()), kThreads * kPerWorker + 1);
    std::map<std::string, int> seen;
    for (const QueueEntry& e : rows) seen[e.localName] = e.numTimes;
    EXPECT_EQ(seen.size(), rows.size());  // every name once
    EXPECT_EQ(seen["shared"], kThreads * kShared);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].number, static_cast<int>(i + 1));
}

// ---- the send pass ----

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
