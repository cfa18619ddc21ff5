// The queue file: entries added, counted, purged, damaged files, deletes, owners, concurrent appends.
#include "automation/QueueFile.h"
#include "automation/QueueSend.h"

#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "settings/IniFile.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

class QueueFileTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        test::IsolatedHomeTest::SetUp();
        path_ = Path("q/zyfarQue.ini");
    }
    void WriteText(const std::string& text) const { ASSERT_TRUE(test::WriteText(path_, text)); }
    IniDocument Doc() const { return ReadPrivateProfile(path_); }

    static QueueRun Put(const std::string& host = "up.test") { return {QueueMethod::Put, {host, "me", "pw", "/in", 2121}, {}}; }
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
    // Another server, another case of the name, another direction: new entries.
    Apply(Put("other.test"), {Failed("a")});
    Apply(Put(), {Failed("A")});
    Apply(Get("up.test"), {Failed("a")});
    EXPECT_EQ(Names(), "a:2 b:1 c:1 a:1 A:1 a:1 ");
    // ResendFail off: nothing is added or counted, successes still leave.
    const QueueRunSummary off = Apply(Put(), {Failed("a"), Failed("new"), Succeeded("b", 2), Succeeded("c", 0)},
                                      QueueOptions{});
    EXPECT_EQ(off.appended + off.counted, 0);
    EXPECT_EQ(off.removed, 1);  // "c" did not come from the queue
    EXPECT_EQ(Names(), "a:2 c:1 a:1 A:1 a:1 ");
    EXPECT_EQ(Doc().Get("QUEUE", "NumQueues"), "5");
    EXPECT_FALSE(Doc().HasSection("QUEUE6"));
}

TEST_F(QueueFileTest, FreqNumPurgeOnlyInTheSingleJobFormWithResendFailOne) {
    struct Case {
        QueueOptions options;
        bool purge;
        bool perFile;
        const char* after;
    };
    const Case cases[] = {
        {Adding("FREQ_NUM", 2), false, true, "keep:1 drop:3 "},      // site form: no purge
        {Adding("FREQ_NUM", 2, 2), true, true, "keep:1 drop:3 "},    // ResendFail 2
        {Adding("UNTIL_END", 2), true, true, "keep:1 drop:3 "},
        {Adding("FREQ_NUM", 2), true, true, "keep:1 "},              // drop passes the limit
        {Adding("FREQ_NUM", 0), true, false, ""},                    // the per-file steps skipped, the purge runs
    };
    for (const Case& c : cases) {
        WriteText("[QUEUE]\nNumQueues=2\n[QUEUE1]\nLocalName=keep\nSource=Local\nDestination=up.test\n"
                  "[QUEUE2]\nLocalName=drop\nRemoteName=drop\nSource=Local\nDestination=up.test\nNumTimes=2\n"
                  "Login=me\nPort=2121\n");
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
                failures += Apply(Put(), {Failed(test::Cat("t", t) + "-" + std::to_string(i))}).appended == 1 ? 0 : 1;
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

}  // namespace
}  // namespace zyfar
