// The queue file: entries added, counted up, removed and purged, damaged files,
// deleting in display order, marking as sent, and appends from many threads
// and processes at once.
#include "automation/QueueFile.h"

#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <thread>

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
    std::string ReadText() const { return test::ReadText(path_); }
    void WriteText(const std::string& text) const { ASSERT_TRUE(test::WriteText(path_, text)); }

    static QueueRun Put(const std::string& host = "up.test") {
        return {QueueMethod::Put, {host, "me", "pw", "/in", 2121}, {}};
    }
    static QueueRun Get(const std::string& host = "down.test") {
        return {QueueMethod::Get, {host, "you", "pw2", "/out", 21}, {}};
    }
    static QueueRun Xfer() {
        return {QueueMethod::Xfer, {"one.test", "l1", "p1", "/d1", 21}, {"two.test", "l2", "p2", "/d2", 2200}};
    }
    static QueueItem Failed(const std::string& name, const std::string& error = "550 No access") {
        return {"/home/me/data", name, name, "/in/sub", error, 1234, 12003, 0};
    }
    static QueueItem Succeeded(const std::string& name, int entry) {
        QueueItem i = Failed(name);
        i.result = 0;
        i.queueEntry = entry;
        return i;
    }
    static QueueOptions Adding() {
        QueueOptions o;
        o.resendFail = 1;
        return o;
    }
    std::vector<std::string> Names(const QueueFile& q) const {
        std::vector<std::string> out;
        for (const QueueEntry& e : q.LoadRows()) out.push_back(e.localName);
        return out;
    }

    std::string path_;
};

TEST_F(QueueFileTest, DefaultFileLivesInTheSettingsFolder) {
    EXPECT_EQ(QueueFile().path(), Path("config/Quorvane/zyfarQue.ini"));
}

TEST_F(QueueFileTest, AppendedEntriesHaveTheKeysInOrderAndOnlyXferTheSecondServer) {
    QueueFile q(path_);
    const QueueRunSummary s = q.ApplyRun(Put(), {Failed("a.txt")}, Adding(), true);
    EXPECT_EQ(s.appended, 1);
    EXPECT_EQ(ReadText(),
              "[QUEUE1]\nNumTimes=1\nLocalName=a.txt\nRemoteName=a.txt\nRemDirFile=/in/sub\n"
              "LocDirFile=/home/me/data\nReason=550 No access\nPassword=pw\nLogin=me\nRemDir=/in\n"
              "Source=Local\nDestination=up.test\nFtpMethod=ZYFAR_PUT\nFileSize=1234\nPort=2121\nStatus=0\n"
              "[QUEUE]\nNumQueues=1\n");
    ASSERT_TRUE(q.RecordFailure(Xfer(), Failed("x.bin")));
    ASSERT_TRUE(q.RecordFailure(Get(), Failed("g.bin")));
    const IniDocument doc = ReadPrivateProfile(path_);
    std::vector<std::string> keys;
    for (const auto& [k, v] : doc.GetSection("QUEUE2")) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"NumTimes", "LocalName", "RemoteName", "RemDirFile", "LocDirFile",
                                              "Reason", "Password", "Login", "RemDir", "Source", "Destination",
                                              "FtpMethod", "RemPassword", "RemLogin", "RemRemDir", "RemotePort",
                                              "FileSize", "Port", "Status"}));
    EXPECT_EQ(doc.Get("QUEUE2", "Source"), "one.test");
    EXPECT_EQ(doc.Get("QUEUE2", "Destination"), "two.test");
    EXPECT_EQ(doc.Get("QUEUE2", "RemotePort"), "2200");
    EXPECT_EQ(doc.Get("QUEUE3", "Source"), "down.test");
    EXPECT_EQ(doc.Get("QUEUE3", "Destination"), "Local");
    EXPECT_EQ(doc.Get("QUEUE3", "FtpMethod"), "ZYFAR_GET");
    EXPECT_FALSE(doc.Get("QUEUE3", "RemPassword").has_value());
}

TEST_F(QueueFileTest, SecondFailureOfTheSameTransferCountsInsteadOfAdding) {
    QueueFile q(path_);
    q.ApplyRun(Put(), {Failed("a.txt", "first")}, Adding(), true);
    ASSERT_TRUE(q.MarkSending(q.LoadRows()) == std::vector<int>{1});
    const QueueRunSummary s = q.ApplyRun(Put(), {Failed("a.txt", "second")}, Adding(), true);
    EXPECT_EQ(s.counted, 1);
    EXPECT_EQ(s.appended, 0);
    const auto rows = q.LoadRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].numTimes, 2);
    EXPECT_EQ(rows[0].status, 0);
    EXPECT_EQ(rows[0].reason, "first");  // the reason is kept
    // Another server, another case of the name, another direction: new entries.
    q.ApplyRun(Put("other.test"), {Failed("a.txt")}, Adding(), true);
    q.ApplyRun(Put(), {Failed("A.txt")}, Adding(), true);
    q.ApplyRun(Get("up.test"), {Failed("a.txt")}, Adding(), true);
    EXPECT_EQ(q.Count(), 4);
}

TEST_F(QueueFileTest, ResendFailOffAddsAndCountsNothingButStillRemovesSuccesses) {
    QueueFile q(path_);
    q.ApplyRun(Put(), {Failed("a"), Failed("b")}, Adding(), true);
    const QueueOptions off;
    const QueueRunSummary s = q.ApplyRun(Put(), {Failed("a"), Failed("c"), Succeeded("b", 2)}, off, true);
    EXPECT_EQ(s.appended + s.counted, 0);
    EXPECT_EQ(s.removed, 1);
    const auto rows = q.LoadRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].numTimes, 1);
}

TEST_F(QueueFileTest, CanceledReasonsDependOnTheKindOfRun) {
    QueueItem never = Failed("n");
    never.result = -1;
    EXPECT_EQ(QueueFailureReason(QueueMethod::Put, never), "FTP Put Canceled");
    EXPECT_EQ(QueueFailureReason(QueueMethod::Get, never), "FTP Get Canceled");
    EXPECT_EQ(QueueFailureReason(QueueMethod::Xfer, never), "550 No access");
    EXPECT_EQ(QueueFailureReason(QueueMethod::Put, Failed("f", "boom")), "boom");
}

TEST_F(QueueFileTest, MultiLineReasonIsStoredOnOneLineAndUnstorableNamesAreRefused) {
    QueueFile q(path_);
    const QueueRunSummary s = q.ApplyRun(
        Put(), {Failed("a", "550-first\r\n550 second"), Failed("bad\nname"), Failed("c")}, Adding(), true);
    EXPECT_EQ(s.appended, 2);
    EXPECT_EQ(s.refused, 1);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(q.LoadRows()[0].reason, "550-first  550 second");
}

TEST_F(QueueFileTest, SuccessRemovesTheEntryAndTheOnesBehindMoveUp) {
    QueueFile q(path_);
    q.ApplyRun(Put(), {Failed("a"), Failed("b"), Failed("c")}, Adding(), true);
    const QueueRunSummary s = q.ApplyRun(Put(), {Succeeded("b", 2)}, QueueOptions{}, true);
    EXPECT_EQ(s.removed, 1);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"a", "c"}));
    const IniDocument doc = ReadPrivateProfile(path_);
    EXPECT_EQ(doc.Get("QUEUE", "NumQueues"), "2");
    EXPECT_FALSE(doc.HasSection("QUEUE3"));
    // A success that did not come from the queue removes nothing.
    EXPECT_EQ(q.ApplyRun(Put(), {Succeeded("a", 0)}, QueueOptions{}, true).removed, 0);
    EXPECT_FALSE(q.RemoveTransfer(Put(), Failed("zzz")));
    EXPECT_TRUE(q.RemoveTransfer(Put(), Failed("a")));
    EXPECT_EQ(Names(q), std::vector<std::string>{"c"});
}

TEST_F(QueueFileTest, FreqNumPurgeRemovesTheEntryWhoseCountPassesTheLimit) {
    QueueFile q(path_);
    QueueOptions o = Adding();
    o.resendFreq = "FREQ_NUM";
    o.resendFreqNum = 3;
    q.ApplyRun(Put(), {Failed("keep"), Failed("drop")}, o, true);
    for (int i = 0; i < 2; ++i) q.ApplyRun(Put(), {Failed("drop")}, o, true);
    ASSERT_EQ(q.LoadRows().at(1).numTimes, 3);
    EXPECT_EQ(q.Count(), 2);
    const QueueRunSummary s = q.ApplyRun(Put(), {Failed("drop")}, o, true);  // raises it to 4
    EXPECT_EQ(s.purged, 1);
    EXPECT_EQ(Names(q), std::vector<std::string>{"keep"});
    EXPECT_FALSE(ReadPrivateProfile(path_).HasSection("QUEUE2"));
}

TEST_F(QueueFileTest, PurgeNeedsTheSingleJobFormResendFailOneAndFreqNum) {
    QueueFile q(path_);
    QueueOptions o = Adding();
    o.resendFreq = "FREQ_NUM";
    o.resendFreqNum = 0;
    q.ApplyRun(Put(), {Failed("a")}, o, false);  // site form: no purge
    EXPECT_EQ(q.Count(), 1);
    QueueOptions two = o;
    two.resendFail = 2;
    q.ApplyRun(Put(), {Failed("a")}, two, true);  // counted, but ResendFail is not 1
    EXPECT_EQ(q.Count(), 1);
    QueueOptions until = o;
    until.resendFreq = "UNTIL_END";
    q.ApplyRun(Put(), {Failed("a")}, until, true);
    EXPECT_EQ(q.Count(), 1);
    EXPECT_EQ(q.LoadRows()[0].numTimes, 3);
    // The per-file steps may be skipped; the purge still runs.
    const QueueRunSummary s = q.ApplyRun(Put(), {Failed("b")}, o, true, false);
    EXPECT_EQ(s.appended, 0);
    EXPECT_EQ(s.purged, 1);
    EXPECT_EQ(q.Count(), 0);
}

TEST_F(QueueFileTest, PurgeKeepsOrderAndEntriesWithoutCountAsOne) {
    WriteText(
        "[QUEUE]\nNumQueues=5\n[QUEUE1]\nLocalName=a\nNumTimes=9\n[QUEUE2]\nLocalName=b\n"
        "[QUEUE3]\nLocalName=c\nNumTimes=2\n[QUEUE4]\nLocalName=d\nNumTimes=5\n[QUEUE5]\nLocalName=e\nNumTimes=1\n");
    QueueFile q(path_);
    EXPECT_EQ(q.PurgeOverLimit(2), 2);
    EXPECT_EQ(Names(q), (std::vector<std::string>{"b", "c", "e"}));
    const IniDocument doc = ReadPrivateProfile(path_);
    EXPECT_FALSE(doc.HasSection("QUEUE4"));
    EXPECT_FALSE(doc.HasSection("QUEUE5"));
    EXPECT_FALSE(doc.Get("QUEUE1", "NumTimes").has_value());  // b moved whole, nothing added
}

TEST_F(QueueFileTest, DamagedOrMissingFilesReadAsDefaults) {
    QueueFile q(path_);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_TRUE(q.LoadRows().empty());
    WriteText("[QUEUE1]\nLocalName=a\n");
    EXPECT_EQ(q.Count(), 0);  // no QUEUE section
    WriteText("[QUEUE]\nNumQueues=-7\n[QUEUE1]\nLocalName=a\n");
    EXPECT_EQ(q.Count(), 0);
    WriteText("[QUEUE]\nNumQueues=lots\n[QUEUE1]\nLocalName=a\n");
    EXPECT_EQ(q.Count(), 0);
    WriteText("[QUEUE]\nNumQueues=2000000000\n[QUEUE1]\nLocalName=a\nNumTimes=x\nStatus=\n[QUEUE3]\nLocalName=c\n");
    const auto rows = q.LoadRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].numTimes, 0);  // present but not a number
    EXPECT_EQ(rows[1].localName, "");
    EXPECT_EQ(rows[1].numTimes, 1);  // absent
    EXPECT_EQ(rows[1].port, "");
    EXPECT_STREQ(rows[1].StatusText(), "IDLE");
    // Appending after a damaged count goes right behind the last entry.
    ASSERT_TRUE(q.RecordFailure(Put(), Failed("new")));
    EXPECT_EQ(ReadPrivateProfile(path_).Get("QUEUE", "NumQueues"), "4");
    EXPECT_EQ(q.LoadRows().at(3).localName, "new");
}

TEST_F(QueueFileTest, LongEntriesMoveWhole) {
    QueueFile q(path_);
    QueueItem big = Failed("big");
    big.localDir = "/" + std::string(3000, 'd');
    big.errorText = std::string(2000, 'r');
    q.ApplyRun(Put(), {Failed("first"), big, Failed("last")}, Adding(), true);
    const std::vector<std::pair<std::string, std::string>> before = ReadPrivateProfile(path_).GetSection("QUEUE2");
    q.ApplyRun(Put(), {Succeeded("first", 1)}, QueueOptions{}, true);
    EXPECT_EQ(ReadPrivateProfile(path_).GetSection("QUEUE1"), before);
    q.PurgeOverLimit(5);
    const auto rows = q.LoadRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].locDirFile, big.localDir);
    EXPECT_EQ(rows[0].reason, big.errorText);
    ASSERT_TRUE(q.DeleteRows({rows[1], rows[0]}, {}));
    EXPECT_EQ(q.LoadRows().at(1).locDirFile, big.localDir);
}

TEST_F(QueueFileTest, ClearKeepsSectionsButTheNextAppendReplacesThemWhole) {
    QueueFile q(path_);
    q.ApplyRun(Xfer(), {Failed("x")}, Adding(), true);
    ASSERT_TRUE(q.Clear());
    EXPECT_EQ(q.Count(), 0);
    EXPECT_TRUE(ReadPrivateProfile(path_).HasSection("QUEUE1"));
    q.ApplyRun(Get(), {Failed("g")}, Adding(), true);
    const IniDocument doc = ReadPrivateProfile(path_);
    EXPECT_EQ(doc.Get("QUEUE1", "LocalName"), "g");
    EXPECT_FALSE(doc.Get("QUEUE1", "RemPassword").has_value());  // nothing left of the old entry
}

TEST_F(QueueFileTest, DeleteRewritesTheRemainingEntriesInDisplayOrder) {
    QueueFile q(path_);
    q.ApplyRun(Put(), {Failed("a"), Failed("b"), Failed("c"), Failed("d"), Failed("e")}, Adding(), true);
    auto rows = q.LoadRows();
    // Sorted descending by name in the dialog, then "b" and "d" deleted.
    ASSERT_TRUE(q.DeleteRows({rows[4], rows[2], rows[0]}, {rows[1], rows[3]}));
    EXPECT_EQ(Names(q), (std::vector<std::string>{"e", "c", "a"}));
    rows = q.LoadRows();
    ASSERT_TRUE(q.DeleteRows({rows[1]}, {rows[0], rows[2]}));
    const IniDocument doc = ReadPrivateProfile(path_);
    EXPECT_EQ(doc.Get("QUEUE", "NumQueues"), "1");
    EXPECT_EQ(doc.Get("QUEUE1", "LocalName"), "c");
    for (int i = 2; i <= 5; ++i) EXPECT_FALSE(doc.HasSection("QUEUE" + std::to_string(i)));
}

TEST_F(QueueFileTest, DeleteWritesGetEntriesWithoutSecondServerKeys) {
    WriteText(
        "[QUEUE]\nNumQueues=2\n[QUEUE1]\nLocalName=x\nSource=h\nDestination=Local\nFtpMethod=ZYFAR_GET\n"
        "RemPassword=stale\nRemLogin=stale\nRemRemDir=/stale\nRemotePort=99\n"
        "[QUEUE2]\nLocalName=y\nSource=h\nDestination=Local\nFtpMethod=ZYFAR_GET\n");
    QueueFile q(path_);
    auto rows = q.LoadRows();
    ASSERT_TRUE(q.DeleteRows({rows[0]}, {rows[1]}));
    const IniDocument doc = ReadPrivateProfile(path_);
    for (const char* key : {"RemPassword", "RemLogin", "RemRemDir", "RemotePort"})
        EXPECT_FALSE(doc.Get("QUEUE1", key).has_value()) << key;
    EXPECT_FALSE(doc.Get("QUEUE1", "Port").has_value());  // absent stays absent (reads as 21)
    EXPECT_EQ(doc.Get("QUEUE1", "LocalName"), "x");
}

TEST_F(QueueFileTest, DeleteKeepsWhatTheEngineChangedWhileTheDialogWasOpen) {
    QueueFile q(path_);
    q.ApplyRun(Put(), {Failed("a"), Failed("b"), Failed("c")}, Adding(), true);
    const auto snapshot = q.LoadRows();
    // Meanwhile: "a" succeeded, "c" failed again, "n" was added.
    q.ApplyRun(Put(), {Succeeded("a", 1), Failed("c"), Failed("n")}, Adding(), true);
    ASSERT_TRUE(q.DeleteRows({snapshot[2], snapshot[0]}, {snapshot[1]}));
    const auto rows = q.LoadRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].localName, "c");
    EXPECT_EQ(rows[0].numTimes, 2);
    EXPECT_EQ(rows[1].localName, "n");
}

TEST_F(QueueFileTest, MarkSendingFindsEntriesThatMovedAndResetSetsEveryEntryIdle) {
    QueueFile q(path_);
    q.ApplyRun(Put(), {Failed("a"), Failed("b")}, Adding(), true);
    const auto rows = q.LoadRows();
    q.RemoveTransfer(Put(), Failed("a"));
    EXPECT_EQ(q.MarkSending(rows), (std::vector<int>{0, 1}));
    EXPECT_STREQ(q.LoadRows().at(0).StatusText(), "SENDING");
    ASSERT_TRUE(q.ResetAll());
    EXPECT_EQ(q.LoadRows().at(0).status, 0);
}

// Appends from many threads and two processes at once: every entry arrives
// exactly once and the shared transfer is counted once per failure.
TEST_F(QueueFileTest, ConcurrentAppendsLoseAndDuplicateNothing) {
    constexpr int kProcesses = 2, kThreads = 8, kPerWorker = 12, kShared = 3;
    ASSERT_TRUE(test::MakeDir(Path("q")));

    auto work = [this](const std::string& tag) {
        QueueFile q(path_);
        bool ok = true;
        for (int i = 0; i < kPerWorker; ++i) {
            ok = q.RecordFailure(Put(), Failed(tag + "-" + std::to_string(i))) && ok;
            if (i < kShared) ok = q.RecordFailure(Put(), Failed("shared")) && ok;
        }
        return ok;
    };

    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(work("proc" + std::to_string(p)) ? 0 : 1);
        children.push_back(pid);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            if (!work("thread" + std::to_string(t))) ++failures;
        });
    for (auto& t : threads) t.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failures.load(), 0);

    QueueFile q(path_);
    const auto rows = q.LoadRows();
    const int workers = kProcesses + kThreads;
    ASSERT_EQ(static_cast<int>(rows.size()), workers * kPerWorker + 1);
    std::map<std::string, int> seen;
    for (const QueueEntry& e : rows) ++seen[e.localName];
    for (const auto& [name, count] : seen) EXPECT_EQ(count, 1) << name;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kPerWorker; ++i)
            EXPECT_EQ(seen.count("thread" + std::to_string(t) + "-" + std::to_string(i)), 1u);
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kPerWorker; ++i)
            EXPECT_EQ(seen.count("proc" + std::to_string(p) + "-" + std::to_string(i)), 1u);
    const auto shared = std::find_if(rows.begin(), rows.end(), [](const QueueEntry& e) { return e.localName == "shared"; });
    ASSERT_NE(shared, rows.end());
    EXPECT_EQ(shared->numTimes, workers * kShared);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].number, static_cast<int>(i + 1));
}

}  // namespace
}  // namespace zyfar
