// The drivers against the scripted fault server: dropped connections,
// failure replies after "150", short streams, stalled data connections,
// hostile listings, ASCII line ends, and what goes on the wire.
#include <gtest/gtest.h>

#include <algorithm>
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
    // Gets the named files (1000 bytes each as far as the jobs know) from "/".
    std::unique_ptr<TransferController> Get(test::FaultServer& server, const std::vector<std::string>& names,
                                            const std::string& base) {
        std::vector<CTransferJob> jobs;
        for (const std::string& name : names) jobs.push_back(Job("", name, name, "/", 1000));
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
    static std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, std::size_t from = 0) {
        const auto it = std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())),
                                  lines.end(), line);
        return it == lines.end() ? std::string::npos : static_cast<std::size_t>(it - lines.begin());
    }
};

TEST_F(TransferFaultTest, ADropMidFileFailsTheJobAndTheNextJobRunsOnANewConnection) {
    test::FaultServer server(R"({"file_sizes": {"/a": 100000, "/b": 100000},
                                 "transfer": {"RETR": {"send_bytes": 5000, "outcome": "drop"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Get(server, {"a", "b"}, MakeLocalDir("drop"));
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
        if (server_ && progress.Snapshot().fileSent > 0) server_.reset();
    }

private:
    std::unique_ptr<test::FaultServer>& server_;
};

TEST_F(TransferFaultTest, AFailedReconnectFailsTheRemainingJobsWithTheConnectionsError) {
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

TEST_F(TransferFaultTest, FailureReplyAfter150FailsGetAndPut) {
    for (const bool put : {false, true}) {
        SCOPED_TRACE(put ? "put" : "get");
        TheTransferLog().Clear();
        test::FaultServer server(put ? R"({"transfer": {"STOR": {"outcome": "426"}}})"
                                     : R"({"file_sizes": {"/a": 20000}, "transfer": {"RETR": {"outcome": "426"}}})");
        ASSERT_TRUE(server.started()) << server.error();
        auto c = put ? Put(server, "up.bin", test::PatternBytes(50000)) : Get(server, {"a"}, MakeLocalDir("f426"));
        const CTransferJob& job = c->run().jobs[0];
        EXPECT_NE(job.status, 0);
        EXPECT_NE(job.reason.find("426"), std::string::npos) << job.reason;
        EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
        ASSERT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 1u);
        EXPECT_EQ(LogEntries(logcode::FtpTransferFailed)[0].detail, job.reason);
    }
    EXPECT_EQ(ReadStatistics().filesTransferred, 0);
}

TEST_F(TransferFaultTest, AShortStreamWith226IsAFailureInBinaryMode) {
    test::FaultServer server(R"({"file_sizes": {"/s.bin": 10000}, "transfer": {"RETR": {"send_bytes": 4000}}})");
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
    // The data wait ran out after RecTo; the answer to the ABOR that
    // followed is the reason.
    EXPECT_NE(c->run().jobs[0].status, 0);
    EXPECT_FALSE(c->run().jobs[0].reason.empty());
    EXPECT_TRUE(server.WaitForLine("ABOR"));
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 0u);
}

TEST_F(TransferFaultTest, LineEndsFollowTheTransferType) {
    Set("CONFIG", "TextExtensions", "TXT,log");  // extensions match without regard to case
    test::FaultServer server(R"({"files": {"/t.txt": "one\r\ntwo\r\n\r\nthree"}})");
    ASSERT_TRUE(server.started()) << server.error();
    const std::string base = MakeLocalDir("ascii");
    auto get = Get(server, {"t.txt"}, base);
    ASSERT_EQ(get->run().jobs[0].status, 0) << get->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(base + "/t.txt"), "one\ntwo\n\nthree");
    EXPECT_EQ(server.Count("TYPE A"), 1u);
    EXPECT_EQ(server.Count("SIZE /t.txt"), 0u);  // sizes do not apply to ASCII

    auto put = Put(server, "notes.txt", "a\nb\n");
    ASSERT_EQ(put->run().jobs[0].status, 0) << put->run().jobs[0].reason;
    EXPECT_TRUE(server.WaitForLine("#STORED 6"));
    EXPECT_EQ(server.Count("TYPE A"), 2u);

    // Type flag 1 takes the configured type, which wins over the extensions.
    Set("FTP", "TransferType", "BINARY");
    const std::string raw = MakeLocalDir("binary");
    auto binary = RunToEnd(Single(Server(server.port()), {Job("", "t.txt", "t.txt", "/", 4)}, TransferMode::Get, raw, 1));
    ASSERT_EQ(binary->run().jobs[0].status, 0) << binary->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(raw + "/t.txt"), "one\r\ntwo\r\n\r\nthree");
    EXPECT_EQ(server.Count("TYPE A"), 2u);
}

TEST_F(TransferFaultTest, HostileListingNamesNeverLeaveTheTargetFolder) {
    test::FaultServer server(R"({"feat": ["SIZE", "EPSV"],
        "listing": "-rw-r--r--   1 u g  5 Jan 01  2024 ../../evil.txt\r\n-rw-r--r--   1 u g  5 Jan 01  2024 ..\r\n-rw-r--r--   1 u g  5 Jan 01  2024 good.txt\r\n-rw-r--r--   1 u g  5 Jan 01  2024 /etc/passwd\r\n",
        "files": {"/good.txt": "good!", "/../../evil.txt": "evil!", "/..": "dots!"}})");
    ASSERT_TRUE(server.started()) << server.error();
    // The job list comes from the server's listing, as the remote view builds it.
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
    for (const FtpFoundFile& f : found.value) names.push_back(f.FileName());
    // And two names no listing gives, as a damaged queue file might hold.
    names.push_back("../../evil.txt");
    names.push_back("..");
    (void)MakeLocalDir("outer");
    const std::string base = MakeLocalDir("outer/target");
    auto c = Get(server, names, base);
    int good = 0;
    for (const CTransferJob& job : c->run().jobs) {
        if (job.targetName == "good.txt") {
            good += job.status == 0 ? 1 : 100;
        } else {
            EXPECT_NE(job.status, 0) << job.targetName;
        }
    }
    EXPECT_EQ(good, 1);
    EXPECT_EQ(test::ReadFile(base + "/good.txt"), "good!");
    EXPECT_FALSE(Exists(Path("evil.txt")));
    EXPECT_FALSE(Exists(Path("outer/evil.txt")));
    EXPECT_EQ(server.Count("RETR /../../evil.txt"), 0u);
}

TEST_F(TransferFaultTest, NamesWithLineBreaksNeverReachTheWire) {
    test::FaultServer server(R"({})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Put(server, "plain.bin", "p", "x\r\nDELE important");
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kInvalidOperation);
    EXPECT_FALSE(c->run().jobs[0].reason.empty());
    for (const std::string& line : server.Commands()) EXPECT_EQ(line.find("DELE"), std::string::npos) << line;
}

TEST_F(TransferFaultTest, RemoteBackslashFoldersUseBackslashes) {
    test::FaultServer server(R"({})");
    ASSERT_TRUE(server.started()) << server.error();
    auto c = Put(server, "w.bin", "w", "", "C:\\ftp");
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
        ASSERT_TRUE(test::WriteFile(Path(name), "data"));
        jobs.push_back(Job(Root(), name, name, "/up", 4));
    }
    auto c = RunSingle(Server(server.port()), jobs, TransferMode::PutKeep);
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(c->run().jobs[i].status, 0) << c->run().jobs[i].reason;
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
    EXPECT_EQ(Logged(logcode::FtpTransferFailed),
              (std::vector<std::string>{"127.0.0.1 > Local Machine | a | FTP Get Canceled",
                                        "127.0.0.1 > Local Machine | b | FTP Get Canceled"}));
    // The session itself was set up and is closed again; no FTP connection to close.
    const std::vector<int> codes = Codes();
    EXPECT_EQ(codes.front(), logcode::InternetConnectionOk);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), logcode::FtpConnectionOk), 0);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), logcode::FtpConnectionClosed), 0);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), StoredLogCode(logcode::SessionClosed)), 1);
}

}  // namespace
}  // namespace zyfar::enginetest
