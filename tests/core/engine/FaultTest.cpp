// The drivers against the scripted fault server: dropped connections,
// failure replies after "150", short streams, stalled data connections,
// hostile listings, ASCII line ends, and what goes on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "ftp/FtpClient.h"
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

    std::unique_ptr<TransferController> Get(test::FaultServer& server, std::vector<std::string> names,
                                            const std::string& base) {
        std::vector<CTransferJob> jobs;
        for (const std::string& name : names) {
            jobs.push_back(Job("", name, name, "/", 1000));
        }
        const std::int64_t total = BatchSizeOf(jobs);
        return RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()), jobs, base, total, TransferMode::Get,
                                            2, nullptr, nullptr, false),
                        &sink);
    }

    static std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, std::size_t from = 0) {
        for (std::size_t i = from; i < lines.size(); ++i) {
            if (lines[i] == line) {
                return i;
            }
        }
        return std::string::npos;
    }
};

TEST_F(TransferFaultTest, ADropMidFileFailsTheJobAndTheNextJobRunsOnANewConnection) {
    test::FaultServer server(R"({"file_sizes": {"/a": 100000, "/b": 100000},
                                 "transfer": {"RETR": {"send_bytes": 5000, "outcome": "drop"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string base = MakeLocalDir("drop");
    auto c = Get(server, {"a", "b"}, base);
    EXPECT_EQ(c->DriverResult(), 1);
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_FALSE(c->run().jobs[0].reason.empty());
    EXPECT_NE(c->run().jobs[1].status, 0);
    // The second job was sent on a second control connection.
    const std::vector<std::string> lines = server.Lines();
    const std::size_t firstRetr = IndexOf(lines, "RETR /a");
    ASSERT_NE(firstRetr, std::string::npos);
    const std::size_t reconnect = IndexOf(lines, "#CONNECT", firstRetr);
    ASSERT_NE(reconnect, std::string::npos);
    EXPECT_NE(IndexOf(lines, "RETR /b", reconnect), std::string::npos);
    EXPECT_EQ(LogEntries(logcode::FtpConnectionOk).size(), 2u);  // logged as usual
    EXPECT_EQ(c->run().progress.Snapshot().batchTotal, 2000);
}

// Stops the fault server from the worker thread once the first file has
// moved bytes, so the reconnect before the next job finds nobody.
class StopServerOnBytes final : public ProgressObserver {
public:
    explicit StopServerOnBytes(std::unique_ptr<test::FaultServer>& server) : server_(server) {}
    void OnProgress(const TransferProgress& progress) override {
        if (!stopped_ && progress.Snapshot().fileSent > 0) {
            stopped_ = true;
            server_.reset();
        }
    }

private:
    std::unique_ptr<test::FaultServer>& server_;
    bool stopped_ = false;
};

TEST_F(TransferFaultTest, AFailedReconnectFailsTheRemainingJobsWithTheConnectionsError) {
    auto server = std::make_unique<test::FaultServer>(
        R"({"file_sizes": {"/a": 100000, "/b": 10, "/c": 10},
            "transfer": {"RETR": {"send_bytes": 5000, "outcome": "drop"}}})");
    ASSERT_TRUE(server->started()) << server->error();
    const std::uint16_t port = server->port();
    std::vector<CTransferJob> jobs{Job("", "a", "a", "/", 100000), Job("", "b", "b", "/", 10),
                                   Job("", "c", "c", "/", 10)};
    auto c = std::make_unique<TransferController>(
        MakeSingleServerRun(Server("127.0.0.1", port), jobs, MakeLocalDir("gone"), 100020, TransferMode::Get, 2,
                            nullptr, nullptr, false),
        &sink);
    c->run().progress.Subscribe(std::make_shared<StopServerOnBytes>(server));
    c->RunToEnd();
    EXPECT_EQ(server, nullptr);
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_NE(c->run().jobs[1].status, 0);
    EXPECT_NE(c->run().jobs[1].status, kJobNotAttempted);
    EXPECT_EQ(c->run().jobs[1].status, c->run().jobs[2].status);
    EXPECT_EQ(c->run().jobs[1].status, c->run().connectErrorCode);
    EXPECT_FALSE(c->run().jobs[2].reason.empty());
    EXPECT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 3u);
}

TEST_F(TransferFaultTest, AFileTheServerCannotGiveLeavesNoLocalFile) {
    test::FaultServer server(R"({"files": {"/there": "here"}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string base = MakeLocalDir("nofile");
    auto c = Get(server, {"missing", "there"}, base);
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kExtendedError);
    EXPECT_NE(c->run().jobs[0].reason.find("550"), std::string::npos) << c->run().jobs[0].reason;
    EXPECT_FALSE(Exists(base + "/missing"));
    EXPECT_EQ(c->run().jobs[1].status, 0);
    EXPECT_EQ(test::ReadFile(base + "/there"), "here");
}

TEST_F(TransferFaultTest, FailureReplyAfter150FailsTheGet) {
    test::FaultServer server(R"({"file_sizes": {"/a": 20000},
                                 "transfer": {"RETR": {"outcome": "426"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Get(server, {"a"}, MakeLocalDir("f426"));
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_NE(c->run().jobs[0].reason.find("426"), std::string::npos) << c->run().jobs[0].reason;
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
    EXPECT_EQ(ReadStatistics().filesTransferred, 0);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].detail, c->run().jobs[0].reason);
}

TEST_F(TransferFaultTest, FailureReplyAfter150FailsThePut) {
    test::FaultServer server(R"({"transfer": {"STOR": {"outcome": "426"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(Local("up.bin"), test::PatternBytes(50000)));
    auto c = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()),
                                          {Job(dir_.path(), "up.bin", "up.bin", "/", 50000)}, "", 50000,
                                          TransferMode::PutKeep, 2, nullptr, nullptr, false),
                      &sink);
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_NE(c->run().jobs[0].reason.find("426"), std::string::npos) << c->run().jobs[0].reason;
}

TEST_F(TransferFaultTest, AShortStreamWith226IsAFailureInBinaryMode) {
    test::FaultServer server(R"({"file_sizes": {"/s.bin": 10000},
                                 "transfer": {"RETR": {"send_bytes": 4000}}})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Get(server, {"s.bin"}, MakeLocalDir("short"));
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kConnectionAborted);
    EXPECT_NE(c->run().jobs[0].reason.find("4000 bytes moved, 10000 expected"), std::string::npos)
        << c->run().jobs[0].reason;
    EXPECT_EQ(server.Count("SIZE /s.bin"), 1u);
}

TEST_F(TransferFaultTest, AStalledDataConnectionEndsByTheDataTimeOut) {
    Set("FTP", "RecTo", "1");
    test::FaultServer server(R"({"file_sizes": {"/st": 100000},
                                 "transfer": {"RETR": {"send_bytes": 3000, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Get(server, {"st"}, MakeLocalDir("stall"));
    // The data wait ran out after RecTo; the server's answer to the ABOR
    // that followed is the reason.
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_FALSE(c->run().jobs[0].reason.empty());
    EXPECT_TRUE(server.WaitForLine("ABOR"));  // the transfer was abandoned properly
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
}

TEST_F(TransferFaultTest, AsciiGetTurnsCrLfIntoLf) {
    Set("CONFIG", "TextExtensions", "txt,log");
    test::FaultServer server(R"({"files": {"/t.txt": "one\r\ntwo\r\n\r\nthree"}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string base = MakeLocalDir("ascii");
    auto c = Get(server, {"t.txt"}, base);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(base + "/t.txt"), "one\ntwo\n\nthree");
    EXPECT_EQ(server.Count("TYPE A"), 1u);
    EXPECT_EQ(server.Count("SIZE /t.txt"), 0u);  // sizes do not apply to ASCII
}

TEST_F(TransferFaultTest, AsciiPutSendsCrLf) {
    Set("CONFIG", "TextExtensions", "TXT");
    test::FaultServer server(R"({})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(Local("notes.txt"), "a\nb\n"));
    auto c = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()),
                                          {Job(dir_.path(), "notes.txt", "notes.txt", "/", 4)}, "", 4,
                                          TransferMode::PutKeep, 2, nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_TRUE(server.WaitForLine("#STORED 6"));
    EXPECT_EQ(server.Count("TYPE A"), 1u);
}

TEST_F(TransferFaultTest, ConfiguredBinaryTypeWinsOverExtensions) {
    Set("CONFIG", "TextExtensions", "txt");
    Set("FTP", "TransferType", "BINARY");
    test::FaultServer server(R"({"files": {"/t.txt": "x\r\ny"}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string base = MakeLocalDir("bin");
    // Type flag 1: the configured type.
    auto c = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()), {Job("", "t.txt", "t.txt", "/", 4)},
                                          base, 4, TransferMode::Get, 1, nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(base + "/t.txt"), "x\r\ny");
}

TEST_F(TransferFaultTest, HostileListingNamesNeverLeaveTheTargetFolder) {
    const std::string listing =
        "-rw-r--r--   1 u g  5 Jan 01  2024 ../../evil.txt\r\n"
        "-rw-r--r--   1 u g  5 Jan 01  2024 ..\r\n"
        "-rw-r--r--   1 u g  5 Jan 01  2024 good.txt\r\n"
        "-rw-r--r--   1 u g  5 Jan 01  2024 /etc/passwd\r\n";
    std::string script = R"({"feat": ["SIZE", "EPSV"], "listing": ")";
    for (char ch : listing) {
        script += ch == '\r' ? std::string("\\r") : ch == '\n' ? std::string("\\n") : std::string(1, ch);
    }
    script += R"(", "files": {"/good.txt": "good!", "/../../evil.txt": "evil!", "/..": "dots!"}})";
    test::FaultServer server(script);
    ASSERT_TRUE(server.started()) << server.error();
    // Build the job list from the server's listing, as the remote view does.
    FtpClient client;
    FtpConnectOptions options;
    options.host = "127.0.0.1";
    options.port = server.port();
    options.user = "user";
    options.password = "pass";
    options.passive = true;
    ASSERT_TRUE(client.Connect(options).ok());
    FtpOutcome<std::vector<FtpFoundFile>> found = client.Find("/*");
    ASSERT_TRUE(found.ok()) << found.result.text;
    client.Close();
    std::vector<std::string> names;
    for (const FtpFoundFile& f : found.value) {
        names.push_back(f.FileName());
    }
    // And two jobs with names no listing gives, as a damaged queue file might.
    names.push_back("../../evil.txt");
    names.push_back("..");
    (void)MakeLocalDir("outer");
    const std::string base = MakeLocalDir("outer/target");
    auto c = Get(server, names, base);
    bool gotGood = false;
    for (const CTransferJob& job : c->run().jobs) {
        if (job.targetName == "good.txt") {
            gotGood = job.status == 0;
        } else {
            EXPECT_NE(job.status, 0) << job.targetName;
        }
    }
    EXPECT_TRUE(gotGood);
    EXPECT_EQ(test::ReadFile(base + "/good.txt"), "good!");
    EXPECT_FALSE(Exists(dir_ / "evil.txt"));
    EXPECT_FALSE(Exists(dir_ / "outer/evil.txt"));
    EXPECT_EQ(server.Count("RETR /../../evil.txt"), 0u);
}

TEST_F(TransferFaultTest, NamesWithLineBreaksNeverReachTheWire) {
    test::FaultServer server(R"({})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(Local("plain.bin"), "p"));
    auto c = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()),
                                          {Job(dir_.path(), "plain.bin", "x\r\nDELE important", "/", 1)}, "", 1,
                                          TransferMode::PutKeep, 2, nullptr, nullptr, false),
                      &sink);
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kInvalidOperation);
    EXPECT_FALSE(c->run().jobs[0].reason.empty());
    for (const std::string& line : server.Commands()) {
        EXPECT_EQ(line.find("DELE"), std::string::npos) << line;
    }
}

TEST_F(TransferFaultTest, RemoteBackslashFoldersUseBackslashes) {
    test::FaultServer server(R"({})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(Local("w.bin"), "w"));
    auto c = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()),
                                          {Job(dir_.path(), "w.bin", "w.bin", "C:\\ftp", 1)}, "", 1,
                                          TransferMode::PutKeep, 2, nullptr, nullptr, false),
                      &sink);
    EXPECT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(server.Count("STOR C:\\ftp\\w.bin"), 1u);
}

TEST_F(TransferFaultTest, WithoutMlstOneListingPerFolderServesTheWholeBatch) {
    Set("CONFIG", "Overwrite", "NO");
    test::FaultServer server(R"({"feat": ["SIZE", "EPSV"],
        "listing": "-rw-r--r--   1 u g  5 Jan 01  2024 exists.bin\r\n"})");
    ASSERT_TRUE(server.started()) << server.error();
    std::vector<CTransferJob> jobs;
    for (const char* name : {"exists.bin", "n1.bin", "n2.bin", "n3.bin"}) {
        ASSERT_TRUE(test::WriteFile(Local(name), "data"));
        jobs.push_back(Job(dir_.path(), name, name, "/up", 4));
    }
    auto c = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server.port()), jobs, "", 16, TransferMode::PutKeep,
                                          2, nullptr, nullptr, false),
                      &sink);
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(c->run().jobs[i].status, 0) << c->run().jobs[i].reason;
    }
    EXPECT_EQ(server.Count("LIST /up"), 1u);
}

TEST_F(TransferFaultTest, ConnectionFailureLeavesJobsUnattempted) {
    test::FaultServer server(R"({"mode": "close"})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Get(server, {"a", "b"}, MakeLocalDir("nc"));
    EXPECT_NE(c->DriverResult(), 0);
    EXPECT_NE(c->DriverResult(), 1);
    EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
    EXPECT_NE(c->run().connectErrorCode, 0);
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].detail, "FTP Get Canceled");
    EXPECT_EQ(failed[0].source, "127.0.0.1");
    EXPECT_EQ(failed[0].destination, "Local Machine");
    EXPECT_EQ(LogEntries(logcode::FtpConnectionOk).size(), 0u);
    // The session itself was set up and is closed again.
    EXPECT_EQ(LogEntries(logcode::InternetConnectionOk).size(), 1u);
    EXPECT_EQ(LogEntries(logcode::FtpConnectionClosed).size(), 0u);
    EXPECT_EQ(LogEntries(logcode::SessionClosed).size(), 1u);
}

}  // namespace
}  // namespace zyfar::enginetest
