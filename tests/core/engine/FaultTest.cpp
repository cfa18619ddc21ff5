// The drivers against the scripted fault server: drops, 426, short streams, stalls, refused lookups, hostile
// names; the cancel protocol: pause and resume, "Yes" while the server stalls, serial "Only this one" during a
// copy and before the connection, "All".
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "support/EngineFixture.h"
#include "ftp/FtpError.h"

namespace zyfar::enginetest {
namespace {

using namespace std::chrono_literals;

class TransferFaultTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        FastSettings(true);
        Set("CONFIG", "Overwrite", "YES");
    }
    std::unique_ptr<TransferController> Get(test::FaultServer& server, const std::vector<std::string>& names,
                                            const std::string& base, std::int64_t size = 1000) {
        std::vector<CTransferJob> jobs;
        for (const std::string& name : names) jobs.push_back(Job("", name, name, "/", size));
        return RunSingle(Server(server.port()), jobs, TransferMode::Get, base);
    }
    std::unique_ptr<TransferController> Put(test::FaultServer& server, const std::string& name,
                                            const std::string& content, const std::string& target = "",
                                            const std::string& remoteDir = "/") {
        EXPECT_TRUE(test::WriteFile(Path(name), content));
        return RunSingle(Server(server.port()),
                         {Job(Root(), name, target.empty() ? name : target, remoteDir,
                              static_cast<std::int64_t>(content.size()))},
                         TransferMode::PutKeep);
    }
};

// 4096: bytes come out of the stream's own buffer; kDirectBuffer: straight into the pass's buffer.
class TransferFaultBufferTest : public TransferFaultTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        TransferFaultTest::SetUp();
        Set("FTP", "ReadBuffer", std::to_string(GetParam()));
        Set("FTP", "WriteBuffer", std::to_string(GetParam()));
    }
};

INSTANTIATE_TEST_SUITE_P(Buffers, TransferFaultBufferTest, ::testing::Values(4096, kDirectBuffer),
                         [](const ::testing::TestParamInfo<int>& tested) {
                             return "Buffer" + std::to_string(tested.param);
                         });

// Data dropped after 300000 of 3000000 bytes (the second job reconnects) or a 426 after all: every job fails.
TEST_P(TransferFaultBufferTest, ADropOrA426FailsEveryJobWithItsReason) {
    const std::string data = test::PatternBytes(3'000'000, 3);
    ASSERT_TRUE(test::WriteFile(Path("a"), data));
    ASSERT_TRUE(test::WriteFile(Path("b"), data));
    for (const bool put : {false, true}) {
        for (const char* outcome : {"drop", "426"}) {
            SCOPED_TRACE(::testing::Message() << (put ? "put " : "get ") << outcome);
            TheTransferLog().Clear();
            const std::string rule = std::string(R"({"send_bytes": )") + (*outcome == 'd' ? "300000" : "3000000") +
                                     R"(, "outcome": ")" + outcome + "\"}";
            test::FaultServer server(R"({"file_sizes": {"/a": 3000000, "/b": 3000000}, "transfer": {")" +
                                     std::string(put ? "STOR" : "RETR") + "\": " + rule + "}}");
            ASSERT_TRUE(server.started()) << server.error();
            auto c = put ? RunSingle(Server(server.port()),
                                     {Job(Root(), "a", "a", "/", 3'000'000), Job(Root(), "b", "b", "/", 3'000'000)},
                                     TransferMode::PutKeep)
                         : Get(server, {"a", "b"}, MakeLocalDir(std::string("f") + outcome), 3'000'000);
            EXPECT_EQ(c->DriverResult(), 1);
            for (const CTransferJob& job : c->run().jobs) {
                EXPECT_NE(job.status, 0) << job.sourceName;
                EXPECT_NE(job.status, kJobNotAttempted) << job.sourceName;
                EXPECT_FALSE(job.reason.empty()) << job.sourceName;
            }
            EXPECT_TRUE(*outcome == 'd' || c->run().jobs[0].reason.find("426") != std::string::npos)
                << c->run().jobs[0].reason;
            EXPECT_EQ(server.Count("#CONNECT"), *outcome == 'd' ? 2u : 1u);
            EXPECT_EQ(LogEntries(logcode::FtpConnectionOk).size(), server.Count("#CONNECT"));
            ASSERT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 2u);
            EXPECT_EQ(LogEntries(logcode::FtpTransferFailed)[0].detail, c->run().jobs[0].reason);
        }
    }
    EXPECT_EQ(ReadStatistics().filesTransferred, 0);
}

TEST_P(TransferFaultBufferTest, AStalledDataConnectionEndsByTheDataTimeOut) {
    Set("FTP", "RecTo", "1");
    test::FaultServer server(R"({"file_sizes": {"/st": 1000000},
                                 "transfer": {"RETR": {"send_bytes": 200000, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Get(server, {"st"}, MakeLocalDir("stall"));
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_FALSE(c->run().jobs[0].reason.empty());
    EXPECT_TRUE(server.WaitForLine("ABOR"));
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
}

// A RETR cut at 30000 of 100000 bytes, then "226": SIZE or else the listed size shows it short.
TEST_F(TransferFaultTest, AShortGetFailsAgainstSizeOrTheListedSize) {
    struct Case {
        const char* size;   // the SIZE reply; "" answers from the file
        std::int64_t listed;  // the job's size; 0: unknown
        bool ok;
        bool approximate = false;  // listed in blocks or units: never a byte count to check
    };
    for (const Case& c : {Case{"", 0, false}, Case{"502 Command not implemented.", 100000, false},
                          Case{"550 Not a plain file.", 30001, false},
                          Case{"502 Command not implemented.", 0, true},
                          Case{"502 Command not implemented.", 100000, true, true}}) {
        SCOPED_TRACE(::testing::Message() << c.size << " listed " << c.listed);
        std::string script = R"({"file_sizes": {"/f.bin": 100000}, "transfer": {"RETR": {"send_bytes": 30000}})";
        if (*c.size != '\0') script += std::string(R"(, "replies": {"SIZE": ")") + c.size + "\"}";
        test::FaultServer server(script + "}");
        ASSERT_TRUE(server.started()) << server.error();
        const std::string base =
            MakeLocalDir("cut" + std::to_string(c.listed) + (*c.size ? c.size : "-") + (c.approximate ? "~" : ""));
        CTransferJob job = Job("", "f.bin", "f.bin", "/", c.listed);
        job.sizeApproximate = c.approximate;
        auto run = RunSingle(Server(server.port()), {job}, TransferMode::Get, base);
        EXPECT_EQ(run->run().jobs[0].status == 0, c.ok) << run->run().jobs[0].reason;
        EXPECT_EQ(Exists(base + "/f.bin"), c.ok);
        EXPECT_TRUE(*c.size || run->run().jobs[0].reason.find("30000 bytes moved, 100000 expected") != std::string::npos)
            << run->run().jobs[0].reason;
        EXPECT_EQ(ReadStatistics().filesTransferred, c.ok ? 1 : 0);
        ResetStatisticsForTesting();
    }
}

// A failed get leaves the old file and no temporary file; a good one replaces a planted link, not its target.
TEST_F(TransferFaultTest, AFailedGetKeepsTheOldFileAndALinkAtTheTargetIsReplaced) {
    test::FaultServer server(R"({"files": {"/good": "new content"}, "file_sizes": {"/cut": 100000},
                                 "transfer": {"RETR": {"send_bytes": 30000}}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string base = MakeLocalDir("mine");
    const std::string victim = MakeLocalDir("outside") + "/victim";
    ASSERT_TRUE(test::WriteFile(victim, "victim"));
    ASSERT_TRUE(test::WriteFile(base + "/cut", "precious"));
    ASSERT_TRUE(test::WriteFile(base + "/missing", "keep"));
    ASSERT_EQ(::symlink(victim.c_str(), (base + "/good").c_str()), 0);
    auto c = Get(server, {"cut", "missing", "good"}, base, 0);
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kConnectionAborted);
    EXPECT_EQ(c->run().jobs[1].status, ftpcode::kExtendedError);  // 550 from the server
    EXPECT_EQ(c->run().jobs[2].status, 0) << c->run().jobs[2].reason;
    EXPECT_EQ(test::ReadFile(base + "/cut"), "precious");
    EXPECT_EQ(test::ReadFile(base + "/missing"), "keep");
    EXPECT_EQ(test::ReadFile(victim), "victim");
    struct stat st {};
    ASSERT_EQ(::lstat((base + "/good").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(test::ReadFile(base + "/good"), "new content");
    EXPECT_EQ(test::ListFolder(base), (std::vector<std::string>{"cut", "good", "missing"}));
}

// Overwrite "NO" with MLST and the listing refused: SIZE finds the file, which stays (no refused lookup reads as
// "absent": TransferDriverTest.AnUploadOnlyAccountNeverOverwritesWithOverwriteOff).
TEST_F(TransferFaultTest, OverwriteOffAsksSizeWhereMlstAndTheListingAreRefused) {
    Set("CONFIG", "Overwrite", "NO");
    test::FaultServer server(R"({"feat": ["MLST type*;size*;", "SIZE", "EPSV"], "replies": {"MLST": "501 No."},
                                 "transfer": {"LIST": {"reply": "501 No."}}, "files": {"/up/w.bin": "old"}})");
    ASSERT_TRUE(server.started()) << server.error();
    auto run = Put(server, "w.bin", "new", "", "/up");
    EXPECT_EQ(run->run().jobs[0].status, kJobTargetExists) << run->run().jobs[0].reason;
    EXPECT_EQ(run->run().jobs[0].reason, "Can't overwrite existing file!");
    EXPECT_EQ(server.Count("SIZE /up/w.bin"), 1u);
    EXPECT_EQ(server.Count("STOR /up/w.bin"), 0u);
}

// One listing per folder serves the batch; a folder holding "\" takes "\" for the path and the check.
TEST_F(TransferFaultTest, TheExistenceCheckListsEachFolderTheFilesGoToOnce) {
    Set("CONFIG", "Overwrite", "NO");
    test::FaultServer server(R"({"feat": ["SIZE", "EPSV"],
        "listing": "-rw-r--r--   1 u g  5 Jan 01  2024 exists.bin\r\n"})");
    ASSERT_TRUE(server.started()) << server.error();
    std::vector<CTransferJob> jobs;
    for (const char* name : {"exists.bin", "n1.bin", "n2.bin", "n3.bin"}) {
        ASSERT_TRUE(test::WriteFile(Path(name), "data"));
        jobs.push_back(Job(Root(), name, name, "/up", 4));
    }
    jobs.push_back(Job(Root(), "n1.bin", "w.bin", "/pub/x\\in", 4));
    auto c = RunSingle(Server(server.port()), jobs, TransferMode::PutKeep);
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    EXPECT_EQ(c->run().jobs[0].reason, "Can't overwrite existing file!");
    for (std::size_t i = 1; i < jobs.size(); ++i) EXPECT_EQ(c->run().jobs[i].status, 0) << c->run().jobs[i].reason;
    EXPECT_EQ(server.Count("LIST /up"), 1u);
    EXPECT_EQ(server.Count("LIST /pub/x\\in"), 1u);
    EXPECT_EQ(server.Count("STOR /pub/x\\in\\w.bin"), 1u);
}

TEST_F(TransferFaultTest, AFailedReconnectFailsTheRemainingJobsWithTheConnectionsError) {
    // Stops the server once the first file moved bytes: the reconnect finds nobody.
    class StopServerOnBytes final : public ProgressObserver {
    public:
        explicit StopServerOnBytes(std::unique_ptr<test::FaultServer>& server) : server_(server) {}
        void OnProgress(const TransferProgress& progress) override {
            if (server_ && progress.Snapshot().fileSent > 0) server_.reset();
        }

    private:
        std::unique_ptr<test::FaultServer>& server_;
    };
    auto server = std::make_unique<test::FaultServer>(
        R"({"file_sizes": {"/a": 100000, "/b": 10, "/c": 10},
            "transfer": {"RETR": {"send_bytes": 5000, "outcome": "drop"}}})");
    ASSERT_TRUE(server->started()) << server->error();
    auto c = Controller(Single(Server(server->port()),
                               {Job("", "a", "a", "/", 100000), Job("", "b", "b", "/", 10), Job("", "c", "c", "/", 10)},
                               TransferMode::Get, MakeLocalDir("gone")));
    c->run().progress.Subscribe(std::make_shared<StopServerOnBytes>(server));
    c->RunToEnd();
    EXPECT_EQ(server, nullptr);
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_NE(c->run().jobs[1].status, kJobNotAttempted);
    EXPECT_EQ(c->run().jobs[1].status, c->run().jobs[2].status);
    EXPECT_EQ(c->run().jobs[1].status, c->run().connectErrorCode);
    EXPECT_FALSE(c->run().jobs[2].reason.empty());
    EXPECT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 3u);
}

// A text file is got as ASCII without a size check (its size differs on the wire); type flag 1 takes the
// configured type instead. Content both ways: TransferContentTest.
TEST_F(TransferFaultTest, TheTransferTypeFollowsTheRunsTypeFlag) {
    Set("CONFIG", "TextExtensions", "txt");
    Set("FTP", "TransferType", "BINARY");
    test::FaultServer server(R"({"files": {"/t.txt": "one\r\ntwo"}})");
    ASSERT_TRUE(server.started()) << server.error();
    for (const int flag : {2, 1}) {
        const std::string base = MakeLocalDir("type" + std::to_string(flag));
        auto c = RunToEnd(
            Single(Server(server.port()), {Job("", "t.txt", "t.txt", "/", 4)}, TransferMode::Get, base, flag));
        ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
        EXPECT_EQ(test::ReadFile(base + "/t.txt"), flag == 2 ? "one\ntwo" : "one\r\ntwo");
        EXPECT_EQ(server.Count("TYPE A"), 1u);
    }
    EXPECT_EQ(server.Count("SIZE /t.txt"), 1u);  // for the binary get only
}

TEST_F(TransferFaultTest, HostileNamesNeverLeaveTheTargetFolderOrReachTheWire) {
    test::FaultServer server(
        R"({"feat": ["SIZE", "EPSV"], "files": {"/good.txt": "good!", "/../../evil.txt": "evil!", "/..": "dots!"}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::vector<std::string> names = {"../../evil.txt", "..", "good.txt", "/etc/passwd", "sub/../../x"};
    (void)MakeLocalDir("outer");
    const std::string base = MakeLocalDir("outer/target");
    auto c = Get(server, names, base);
    for (const CTransferJob& job : c->run().jobs) {
        EXPECT_EQ(job.status == 0, job.targetName == "good.txt") << job.targetName;
    }
    EXPECT_EQ(test::ListFolder(base), std::vector<std::string>{"good.txt"});
    EXPECT_EQ(test::ListFolder(Path("outer")), std::vector<std::string>{"target"});
    EXPECT_EQ(server.Count("RETR /../../evil.txt"), 0u);

    auto put = Put(server, "plain.bin", "p", "x\r\nDELE important");
    EXPECT_EQ(put->run().jobs[0].status, ftpcode::kInvalidOperation);
    for (const std::string& line : server.Commands()) EXPECT_EQ(line.find("DELE"), std::string::npos) << line;
}

// ---- cancelling ----

class TransferCancelTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(server().started()) << server().error();
        FastSettings(true);
        Set("CONFIG", "Overwrite", "YES");
    }
    static test::PyFtpdServer& server() { return SharedPyFtpd(); }

    // A serial put to /s1, /s2 and /s3 of the shared server; site 2 may be another server.
    std::unique_ptr<TransferController> Serial(const std::vector<CTransferJob>& jobs, std::uint16_t secondPort = 0) {
        std::vector<CTransferSite> sites;
        for (int i = 1; i <= 3; ++i) {
            test::MakeDir(server().root() + "/s" + std::to_string(i));
            const std::uint16_t port = i == 2 && secondPort != 0 ? secondPort : server().port();
            sites.push_back(CTransferSite{"127.0.0.1", "user", "pass", "/s" + std::to_string(i), 0, port});
        }
        return Controller(
            MakeSerialRun(sites, jobs, BatchSizeOf(jobs), TransferMode::PutKeep, 1, nullptr, nullptr, false));
    }
};

TEST_F(TransferCancelTest, PauseThenResumeFinishesWithIdenticalContentAndEndsTheWorkerOnce) {
    const std::string data = test::PatternBytes(10'000'000, 5);
    ASSERT_TRUE(test::WriteFile(Path("pause.bin"), data));
    test::MakeDir(server().root() + "/pause");
    auto c = Controller(Single(Server(server().port()), {Job(Root(), "pause.bin", "pause.bin", "/pause", 10'000'000)},
                               TransferMode::PutKeep));
    std::promise<void> done;  // the handler runs when the worker ends by itself
    c->SetWorkerDoneHandler([&done] { done.set_value(); });
    c->Start();
    c->Suspend();  // the Cancel button: the worker stops at its next pass
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(c->WorkerDone());
    c->Resume();  // "No": it goes on where it paused
    ASSERT_EQ(done.get_future().wait_for(60s), std::future_status::ready);
    c->Finish();
    EXPECT_TRUE(c->Finished());
    c->Finish();  // a second close reports nothing more
    EXPECT_EQ(sink.Reports().size(), 1u);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(server().root() + "/pause/pause.bin") == data);
}

// A get waits for bytes that never come; a put for room the server never makes.
TEST_F(TransferCancelTest, YesEndsTheTransferWhileTheServerStalls) {
    Set("FTP", "RecTo", "120");  // far beyond the waits below: only the cancel can end it
    Set("FTP", "SendTo", "120");
    ASSERT_TRUE(test::WriteFile(Path("big.bin"), ""));
    ASSERT_EQ(::truncate(Path("big.bin").c_str(), 64 << 20), 0);
    for (const bool put : {false, true}) {
        SCOPED_TRACE(put ? "put" : "get");
        TheTransferLog().Clear();
        const std::size_t earlier = sink.Reports().size();
        test::FaultServer stall(put ? R"({"transfer": {"STOR": {"send_bytes": 100000, "outcome": "stall"}}})"
                                    : R"({"file_sizes": {"/st": 1000000},
                                         "transfer": {"RETR": {"send_bytes": 1000, "outcome": "stall"}}})");
        ASSERT_TRUE(stall.started()) << stall.error();
        // The get's target is there already and must stay as it was.
        const std::string base = MakeLocalDir(put ? "yes-put" : "yes-get");
        ASSERT_TRUE(test::WriteFile(base + "/st", "old"));
        auto c = Controller(
            put ? Single(Server(stall.port()),
                         {Job(Root(), "big.bin", "st", "/", 64 << 20), Job(Root(), "big.bin", "st2", "/", 5)},
                         TransferMode::PutKeep)
                : Single(Server(stall.port()), {Job("", "st", "st", "/", 1000000), Job("", "st2", "st2", "/", 5)},
                         TransferMode::Get, base));
        c->Start();
        ASSERT_TRUE(stall.WaitForLine(put ? "STOR /st" : "RETR /st", 30s));
        ASSERT_TRUE(WaitUntil([&] {
            if (!put) return c->run().progress.Snapshot().fileSent > 0;
            for (const std::string& line : stall.Lines()) {
                if (line.rfind("#STORED ", 0) == 0) return true;
            }
            return false;
        }));
        c->Suspend();
        auto cancelled = std::async(std::launch::async, [&c] { c->Cancel(); });
        ASSERT_EQ(cancelled.wait_for(30s), std::future_status::ready);
        EXPECT_TRUE(c->Finished());
        EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
        EXPECT_EQ(c->run().jobs[1].status, kJobNotAttempted);
        const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
        ASSERT_EQ(failed.size(), 2u);
        EXPECT_EQ(failed[0].detail, put ? "FTP Put Canceled" : "FTP Get Canceled");
        ASSERT_EQ(sink.Reports().size(), earlier + 1);
        EXPECT_EQ(sink.Reports().back().items.size(), 2u);
        EXPECT_EQ(LogEntries(logcode::SessionClosed).size(), 1u);
        EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
        EXPECT_EQ(test::ListFolder(base), std::vector<std::string>{"st"});  // no temporary file
        EXPECT_EQ(test::ReadFile(base + "/st"), "old");
    }
}

// Suspends the run from the worker thread once the given site has moved bytes.
class SuspendOnSite final : public ProgressObserver {
public:
    SuspendOnSite(TransferController& c, int site) : controller_(c), site_(site) {}
    void OnProgress(const TransferProgress& progress) override {
        if (!fired.load() && controller_.run().currentSite.load() == site_ && progress.Snapshot().fileSent > 0) {
            controller_.Suspend();
            fired.store(true);
        }
    }
    std::atomic<bool> fired{false};

private:
    TransferController& controller_;
    int site_;
};

TEST_F(TransferCancelTest, SerialOnlyThisOneDuringTheSecondSitesCopy) {
    const std::string one = test::PatternBytes(3'000'000, 11);
    const std::string two = test::PatternBytes(3'000'000, 12);
    ASSERT_TRUE(test::WriteFile(Path("one.bin"), one));
    ASSERT_TRUE(test::WriteFile(Path("two.bin"), two));
    auto c = Serial({Job(Root(), "one.bin", "one.bin", "", 3'000'000), Job(Root(), "two.bin", "two.bin", "", 3'000'000)});
    auto trigger = std::make_shared<SuspendOnSite>(*c, 1);
    c->run().progress.Subscribe(trigger);
    c->Start();
    ASSERT_TRUE(WaitUntil([&] { return trigger->fired.load(); }));
    EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::AbortedCopy);
    ASSERT_TRUE(c->WaitForWorker(60s));
    c->Finish();

    for (const char* site : {"/s1", "/s3"}) {  // sites 1 and 3 got both files
        EXPECT_TRUE(test::ReadFile(server().root() + site + "/one.bin") == one) << site;
        EXPECT_TRUE(test::ReadFile(server().root() + site + "/two.bin") == two) << site;
    }
    // Site 2: the file being copied ends as cancelled (237), or the next is not started (-1).
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);  // one per site, then the run's end
    EXPECT_TRUE(reports[0].items.empty());
    EXPECT_TRUE(reports[2].items.empty());
    ASSERT_FALSE(reports[1].items.empty());
    EXPECT_EQ(reports[1].first.remoteDir, "/s2");
    for (std::size_t i = 0; i < reports[1].items.size(); ++i) {
        const QueueReportItem& item = reports[1].items[i];
        EXPECT_EQ(item.errorText, "FTP Put Canceled");
        EXPECT_TRUE(item.result == kJobNotAttempted || (i == 0 && item.result == kJobCancelled)) << item.result;
    }
    EXPECT_EQ(reports[1].items.back().localName, "two.bin");
    EXPECT_FALSE(reports[3].perFile);
    EXPECT_TRUE(reports[3].purge);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), reports[1].items.size());
    EXPECT_EQ(failed[0].destination, "127.0.0.1");
    EXPECT_EQ(failed[0].file.substr(0, 4), "/s2/");
    for (const CTransferSite& site : c->run().sites) EXPECT_EQ(site.status, 0);
}

// Site 2 is a server that greets and then never answers the login.
TEST_F(TransferCancelTest, SerialOnlyThisOneAndAllWhileTheSecondSiteConnects) {
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "All" : "Only this one");
        const std::size_t earlier = sink.Reports().size();
        test::FaultServer silent(R"({"after_greeting": "stall"})");
        ASSERT_TRUE(silent.started()) << silent.error();
        const std::string name = all ? "all.bin" : "one.bin";
        ASSERT_TRUE(test::WriteFile(Path(name), "serial"));
        auto c = Serial({Job(Root(), name, name, "", 6)}, silent.port());
        c->Start();
        ASSERT_TRUE(silent.WaitForLine("USER user", 30s));
        ASSERT_EQ(c->run().currentSite.load(), 1);
        c->Suspend();
        if (all) {
            c->Cancel();
            EXPECT_TRUE(c->Finished());
        } else {
            EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::SkippedSite);
            ASSERT_TRUE(c->WaitForWorker(60s));
            c->Finish();
        }
        EXPECT_EQ(test::ReadFile(server().root() + "/s1/" + name), "serial");
        // "Only this one" goes on with site 3; "All" never reaches it.
        EXPECT_EQ(test::ReadFile(server().root() + "/s3/" + name).has_value(), !all);
        const std::vector<QueueReport> seen = sink.Reports();
        ASSERT_EQ(seen.size(), earlier + 4);  // sites 1, 2, 3, then the run's end
        const std::vector<QueueReport> reports(seen.begin() + static_cast<std::ptrdiff_t>(earlier), seen.end());
        EXPECT_EQ(reports[1].first.port, silent.port());
        ASSERT_EQ(reports[1].items.size(), 1u);
        EXPECT_EQ(reports[1].items[0].errorText, "FTP Put Canceled");
        if (all) {
            ASSERT_EQ(reports[2].items.size(), 1u);
            EXPECT_EQ(reports[2].first.remoteDir, "/s3");
            EXPECT_EQ(reports[2].items[0].result, kJobNotAttempted);
            EXPECT_EQ(reports[2].items[0].errorText, "FTP Put Canceled");
        } else {
            EXPECT_TRUE(reports[2].items.empty());
        }
    }
}

// Site 2 takes 100000 bytes of the upload and then reads no more: "Only this
// one" gives up its connection, so the blocked send ends now, not at SendTo.
TEST_F(TransferCancelTest, SerialOnlyThisOneEndsASendTheServerNeverReads) {
    Set("FTP", "SendTo", "600");
    Set("FTP", "ReadBuffer", "7001");  // each pass reads this much: every count seen is a whole number of them
    Set("FTP", "WriteBuffer", "7001");
    ASSERT_TRUE(test::WriteFile(Path("big.bin"), ""));
    ASSERT_EQ(::truncate(Path("big.bin").c_str(), 64 << 20), 0);
    test::FaultServer stall(R"({"transfer": {"STOR": {"send_bytes": 100000, "outcome": "stall"}}})");
    ASSERT_TRUE(stall.started()) << stall.error();
    auto c = Serial({Job(Root(), "big.bin", "big.bin", "", 64 << 20)}, stall.port());
    c->Start();
    // Blocked in send: the socket buffers are full and the byte count stands still.
    std::int64_t last = -1;
    ASSERT_TRUE(WaitUntil([&] {
        const std::int64_t now = c->run().progress.Snapshot().fileSent;
        const bool still = now > 100000 && now == last;
        last = now;
        std::this_thread::sleep_for(100ms);
        return still;
    }));
    EXPECT_EQ(last % 7001, 0) << last;
    c->Suspend();  // a pause cannot reach a blocked send
    EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::AbortedCopy);
    ASSERT_TRUE(c->WaitForWorker(60s));  // far below SendTo: only the shut-down connection ends it
    c->Finish();
    const std::vector<QueueReport> reports = sink.Reports();
    ASSERT_EQ(reports.size(), 4u);
    ASSERT_EQ(reports[1].items.size(), 1u);
    EXPECT_EQ(reports[1].items[0].result, kJobCancelled);
    EXPECT_EQ(reports[1].items[0].errorText, "FTP Put Canceled");
    struct stat st {};  // site 3 is still served
    ASSERT_EQ(::stat((server().root() + "/s3/big.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, std::int64_t{64} << 20);
}

// "All" or "Only this one" answered after the serial worker has served every
// site by itself: each site is reported once, nothing is logged as failed.
TEST_F(TransferCancelTest, SerialCancelAfterTheWorkerEndedReportsEachSiteOnce) {
    for (const bool all : {true, false}) {
        SCOPED_TRACE(all ? "All" : "Only this one");
        TheTransferLog().Clear();
        const std::size_t earlier = sink.Reports().size();
        ASSERT_TRUE(test::WriteFile(Path("late.bin"), "late"));
        auto c = Serial({Job(Root(), "late.bin", "late.bin", "", 4)});
        c->Start();
        ASSERT_TRUE(c->WaitForWorker(60s));
        c->Suspend();  // the Cancel button, pressed as the run ended
        if (all) {
            c->Cancel();
        } else {
            EXPECT_EQ(c->CancelOnlyThisOne(), TransferController::OnlyThisOne::Finished);
        }
        EXPECT_TRUE(c->Finished());
        const std::vector<QueueReport> seen = sink.Reports();
        ASSERT_EQ(seen.size(), earlier + 4);  // sites 1, 2, 3, then the run's end
        for (std::size_t i = earlier; i < earlier + 3; ++i) EXPECT_TRUE(seen[i].items.empty()) << i;
        EXPECT_TRUE(LogEntries(logcode::FtpTransferFailed).empty());
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(test::ReadFile(server().root() + "/s" + std::to_string(i) + "/late.bin"), "late");
    }
}

}  // namespace
}  // namespace zyfar::enginetest
