// The drivers against the scripted fault server: drops, 426, short streams, stalls, refused lookups, hostile names.
#include <sys/stat.h>
#include <unistd.h>

#include "support/EngineFixture.h"
#include "ftp/FtpError.h"

namespace zyfar::enginetest {
namespace {

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
        auto c = RunToEnd(Single(Server(server.port()), {Job("", "t.txt", "t.txt", "/", 4)}, TransferMode::Get, base,
                                 flag));
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

}  // namespace
}  // namespace zyfar::enginetest
