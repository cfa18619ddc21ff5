// The client against the scripted fault server: refusals, stalls, drops, cancel.
#include <sys/socket.h>

#include <atomic>
#include <future>

#include "support/FtpClientHelpers.h"
#include "platform/WorkerControl.h"

namespace zyfar {
namespace {

using test::FaultServer;
using test::GetBytes;
using test::LoopbackOptions;
using test::PutBytes;
using test::TraceLog;

bool AnyStartsWith(const std::vector<std::string>& v, const std::string& prefix) {
    return std::any_of(v.begin(), v.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class FtpFault : public ::testing::Test {
protected:
    void Start(const std::string& script, bool connect = true) {
        server_ = std::make_unique<FaultServer>(script);
        ASSERT_TRUE(server_->started()) << server_->error();
        options_ = LoopbackOptions(server_->port());
        options_.trace = trace_.Fn();
        if (connect) {
            FtpResult r = client_.Connect(options_);
            ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
        }
    }

    std::unique_ptr<FaultServer> server_;
    FtpConnectOptions options_;
    TraceLog trace_;
    FtpClient client_;
};

// ---- logging in ------------------------------------------------------------------------------

// Each login reply takes its own branch; the password never reaches the trace, however the server echoes it.
TEST_F(FtpFault, LoginRepliesAndThePasswordNeverLeaks) {
    const struct {
        const char* script;
        const char* user;
        const char* password;
        int code;
        const char* text;  // the result's text; nullptr: not checked
        const char* sent;  // a command line the server must have had; nullptr: none
    } cases[] = {
        {R"({"replies": {"PASS": "530 Login incorrect."}})", "user", "very-secret-pw", ftpcode::kLoginFailure,
         "530 Login incorrect.", "USER user"},
        // A server that echoes the password gets it masked, whatever its length.
        {R"({"replies": {"PASS": "530 Password very-secret-pw is wrong."}})", "user", "very-secret-pw",
         ftpcode::kLoginFailure, "530 Password **** is wrong.", nullptr},
        {R"({"replies": {"PASS": "530 Login incorrect for pass a"}})", "user", "a", ftpcode::kLoginFailure,
         "530 Login incorrect for pass ****", nullptr},
        {R"({"replies": {"PASS": "332 Need account for login."}})", "user", "pass", ftpcode::kLoginFailure,
         "The server asks for an account (ACCT), which is not supported: 332 Need account for login.", "PASS pass"},
        {R"({"replies": {"USER": "230 Welcome, no password needed."}})", "user", "pass", 0, nullptr, nullptr},
        {R"({"replies": {"USER": "530 This FTP server is anonymous only."}})", "user", "pass",
         ftpcode::kIncorrectUserName, nullptr, "USER user"},
        {R"({"replies": {"FEAT": "502 Command not implemented."}})", "user", "pass", 0, nullptr, "PASS pass"},
        {R"({"greeting": "120 wait a minute\n220 ready"})", "user", "pass", 0, nullptr, "PASS pass"},
        {R"({"mode": "close"})", "user", "pass", ftpcode::kConnectionAborted, nullptr, nullptr},
        {"{}", "", "", 0, nullptr, "USER anonymous"},
        {"{}", "user", "pw\r\nDELE x", ftpcode::kInvalidOperation, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        trace_.lines.clear();
        Start(c.script, false);
        options_.user = c.user;
        options_.password = c.password;
        FtpClient client;
        const FtpResult r = client.Connect(options_);
        EXPECT_EQ(r.code, c.code) << r.text;
        if (c.text != nullptr) { EXPECT_EQ(r.text, c.text); }
        if (c.sent != nullptr) { EXPECT_GE(server_->Count(c.sent), 1u); }
        const std::vector<std::string> cmds = server_->Commands();
        const bool noUser = c.code == ftpcode::kConnectionAborted || c.code == ftpcode::kInvalidOperation;
        EXPECT_EQ(AnyStartsWith(cmds, "USER"), !noUser);
        const bool noPassword = std::string(c.script).find("230") != std::string::npos;
        EXPECT_EQ(AnyStartsWith(cmds, "PASS"), c.code == ftpcode::kLoginFailure || (c.code == 0 && !noPassword));
        EXPECT_FALSE(AnyStartsWith(cmds, "ACCT") || AnyStartsWith(cmds, "DELE"));
        for (const std::string& l : trace_.lines) {
            EXPECT_EQ(l.find("very-secret-pw"), std::string::npos) << l;
            EXPECT_EQ(l.find("for pass a"), std::string::npos) << l;
        }
        EXPECT_EQ(client.IsConnected(), c.code == 0);
        if (c.code == 0) {
            EXPECT_TRUE(client.GetCurrentDirectory().ok());
            EXPECT_EQ(client.features().mlsd, std::string(c.script).find("FEAT") == std::string::npos);
        }
    }
    // Later replies mask the password too; FEAT names inside its first or last line are no features; MDTM with a
    // fraction; RNFR refused: no RNTO; a refused TYPE is asked again.
    Start(R"({"replies": {"FEAT": "211-MLST SIZE are not here\n EPSV\n211 MLST", "MDTM": "213 20240229235958.123",
              "RNFR": "550 no such file", "TYPE": "504 no", "CWD": "550 No folder a here"}})", false);
    options_.password = "a";
    ASSERT_TRUE(client_.Connect(options_).ok());
    EXPECT_EQ(client_.SetCurrentDirectory("/x").text, "550 No folder **** here");
    EXPECT_EQ(trace_.Count("< 550 No folder **** here"), 1u);
    EXPECT_TRUE(!client_.features().mlst && !client_.features().size && client_.features().epsv);
    const RemoteTime t = client_.ModificationTime("/f").value;
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second, t.valid}),
              (std::vector<int>{2024, 2, 29, 23, 59, 58, 1}));
    EXPECT_EQ(client_.Rename("/a", "/b").code, ftpcode::kExtendedError);
    EXPECT_EQ(server_->Count("RNTO /b"), 0u);
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(GetBytes(client_, "/f", FtpTransferType::kAscii).ok());
    EXPECT_EQ(server_->Count("TYPE A"), 2u);
}

// ---- connecting ----------------------------------------------------------------------------

TEST(FtpConnectFailures, UnresolvableNamesAndAClosedPort) {
    for (const char* host : {"no-such-host.invalid", "", "bad host name", "x..y"}) {
        FtpClient client;
        const FtpResult r = client.Connect(LoopbackOptions(21, host));
        EXPECT_EQ(r.code, ftpcode::kNameNotResolved) << "'" << host << "': " << r.text;
    }
    const Socket holder = test::RefusingSocket();
    FtpConnectOptions o = LoopbackOptions(holder.LocalAddress().port());
    o.retries = 2;
    FtpClient client;
    EXPECT_EQ(client.Connect(o).code, ftpcode::kCannotConnect);
}

TEST(FtpConnectFailures, FaultyServersGiveTheirCodes) {
    const struct {
        const char* script;
        int code;
        const char* text;  // nullptr: not checked
    } cases[] = {
        {R"({"mode": "backlog"})", ftpcode::kTimeout, nullptr},  // full backlog: the connect waits
        {R"({"mode": "silent"})", ftpcode::kTimeout, nullptr},   // no greeting
        {R"({"greeting": "220-Welcome, and then nothing more", "after_greeting": "stall"})", ftpcode::kTimeout,
         nullptr},
        {R"({"greeting": {"repeat": "220-spam spam spam", "count": 20000, "last": "220 done"}})",
         ftpcode::kExtendedError, nullptr},  // refused, not held
        {R"({"greeting": "HTTP/1.1 400 Bad Request"})", ftpcode::kExtendedError, nullptr},
        {R"({"greeting": "421 Too many connections."})", ftpcode::kDropped, "421 Too many connections."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        FaultServer server(c.script);
        ASSERT_TRUE(server.started()) << server.error();
        FtpClient client;
        FtpConnectOptions o = LoopbackOptions(server.port());
        o.connectTimeout = std::chrono::seconds(1);
        o.controlReceiveTimeout = std::chrono::seconds(1);
        const FtpResult r = client.Connect(o);
        EXPECT_EQ(r.code, c.code) << r.text;
        if (c.text != nullptr) { EXPECT_EQ(r.text, c.text); }
        EXPECT_FALSE(client.IsConnected());
        EXPECT_TRUE(server.Commands().empty());  // no USER before a whole greeting
    }
}

// ---- commands ------------------------------------------------------------------------------

// Every command goes through one check; the operations of several steps are refused before their first.
TEST_F(FtpFault, LineBreaksInArgumentsAreRefusedAndNothingIsSent) {
    Start(R"({"files": {"/f": "x"}})");
    const std::size_t before = server_->Commands().size();
    EXPECT_EQ(client_.SetCurrentDirectory("/a\r\nDELE /f").code, ftpcode::kInvalidOperation);
    EXPECT_EQ(client_.CreateDirectory(std::string("d\0e", 3)).code, ftpcode::kInvalidOperation);
    EXPECT_EQ(client_.Rename("/f", "/g\r\nDELE /f").code, ftpcode::kInvalidOperation);
    EXPECT_EQ(client_.OpenFile("/f\r\nDELE /f", FtpOpenMode::kRead, FtpTransferType::kBinary).result.code,
              ftpcode::kInvalidOperation);
    EXPECT_EQ(client_.OpenFile("/new\n", FtpOpenMode::kWrite, FtpTransferType::kAscii).result.code,
              ftpcode::kInvalidOperation);
    EXPECT_EQ(client_.Find("/dir\r\n/*").result.code, ftpcode::kInvalidOperation);
    // The session is intact and nothing went out.
    ASSERT_TRUE(client_.GetCurrentDirectory().ok());
    std::vector<std::string> cmds = server_->Commands();
    ASSERT_EQ(cmds.size(), before + 1);
    EXPECT_EQ(cmds.back(), "PWD");
}

TEST_F(FtpFault, RepliesThatBreakTheSession) {
    const std::pair<const char*, int> cases[] = {
        {R"({"replies": {"CWD": "this is not an FTP reply"}})", ftpcode::kExtendedError},
        {R"({"replies": {"CWD": "421 Service shutting down."}})", ftpcode::kDropped},
        {R"({"replies": {"CWD": {"drop": true}}})", ftpcode::kConnectionAborted},
        {R"({"replies": {"CWD": {"stall": true}}})", ftpcode::kTimeout},
    };
    for (const auto& [script, code] : cases) {
        SCOPED_TRACE(script);
        Start(script, false);
        options_.controlReceiveTimeout = std::chrono::seconds(1);
        FtpClient client;
        ASSERT_TRUE(client.Connect(options_).ok());
        EXPECT_EQ(client.SetCurrentDirectory("/x").code, code);
        EXPECT_FALSE(client.IsConnected());
        EXPECT_FALSE(client.GetCurrentDirectory().ok());
    }
}

// ---- data connections ----------------------------------------------------------------------

TEST_F(FtpFault, PassiveReplyNamingAnotherHostIsIgnored) {
    server_ = std::make_unique<FaultServer>(
        R"({"epsv": false, "pasv_address": "10.1.2.3", "files": {"/f": "from the real server"}})");
    ASSERT_TRUE(server_->started());
    options_ = LoopbackOptions(server_->port());
    options_.passive = true;
    ASSERT_TRUE(client_.Connect(options_).ok());
    FtpOutcome<std::string> got = GetBytes(client_, "/f");
    ASSERT_TRUE(got.ok()) << got.result.text;  // reached 127.0.0.1, not 10.1.2.3
    EXPECT_EQ(got.value, "from the real server");
    std::vector<std::string> cmds = server_->Commands();
    EXPECT_GE(server_->Count("EPSV"), 1u);
    EXPECT_GE(server_->Count("PASV"), 1u);
    // EPSV is not tried again once the server said it does not know it.
    EXPECT_EQ(GetBytes(client_, "/f").value, "from the real server");
    EXPECT_EQ(server_->Count("EPSV"), 1u);
}

TEST_F(FtpFault, ActiveModeTurnsAwayAForeignPeer) {
    Start(R"({"active_source": "127.0.0.2", "files": {"/f": "should not arrive"}})", false);
    options_.connectTimeout = std::chrono::seconds(1);
    ASSERT_TRUE(client_.Connect(options_).ok());
    FtpOutcome<std::string> got = GetBytes(client_, "/f");
    EXPECT_FALSE(got.ok());
    EXPECT_EQ(got.result.code, ftpcode::kTimeout);
    EXPECT_TRUE(AnyStartsWith(server_->Commands(), "PORT 127,0,0,1,"));
    // The server was told to stop and the session is still in step.
    EXPECT_GE(server_->Count("ABOR"), 1u);
    EXPECT_TRUE(client_.GetCurrentDirectory().ok());
}

// The server stops reading after 10000 bytes of an upload and sends 426: noticed while writing or at Close, and
// the session goes on. Drops and a 426 for each direction: TransferFaultBufferTest.ADropOrA426FailsEveryJob...
TEST_F(FtpFault, AnUploadTheServerStopsReadingFailsAndTheSessionGoesOn) {
    Start(R"({"transfer": {"STOR": {"send_bytes": 10000, "outcome": "426"}}})");
    const FtpResult r = PutBytes(client_, "/up.bin", test::PatternBytes(8 * 1024 * 1024));
    EXPECT_EQ(r.code, ftpcode::kConnectionAborted) << r.text;
    EXPECT_NE(r.text.find("426"), std::string::npos) << r.text;
    EXPECT_TRUE(client_.GetCurrentDirectory().ok());
}

// ---- cancelling from another thread -------------------------------------------------------

TEST_F(FtpFault, CancelUnblocksAStalledReadAndSendsAbor) {
    server_ = std::make_unique<FaultServer>(
        R"({"file_sizes": {"/f": 100000}, "transfer": {"RETR": {"send_bytes": 1000, "outcome": "stall"}}})");
    ASSERT_TRUE(server_->started());
    WorkerControl control;
    FtpClient client(&control);
    FtpConnectOptions o = LoopbackOptions(server_->port());
    o.dataReceiveTimeout = std::chrono::seconds(60);  // only the cancel can end the wait
    ASSERT_TRUE(client.Connect(o).ok());
    FtpOutcome<std::unique_ptr<FtpFileStream>> f = client.OpenFile("/f", FtpOpenMode::kRead, FtpTransferType::kBinary);
    ASSERT_TRUE(f.ok()) << f.result.text;
    std::atomic<std::int64_t> received{0};
    std::future<FtpResult> result = std::async(std::launch::async, [&]() -> FtpResult {
        char buf[4096];
        for (;;) {
            FtpOutcome<std::size_t> n = f.value->Read(buf, sizeof(buf));
            if (!n.ok()) return n.result;
            if (n.value == 0) return FtpFail(ftpcode::kInternalError, "a stalled transfer ended cleanly");
            received += static_cast<std::int64_t>(n.value);
        }
    });
    for (int i = 0; i < 500 && received.load() < 1000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(received.load(), 1000);
    control.Cancel();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "cancel did not unblock the read";
    EXPECT_EQ(result.get().code, ftpcode::kCancelled);
    EXPECT_TRUE(server_->WaitForLine("ABOR"));
}

// A connect into a full backlog and a control reply that never comes end at the cancel; the client then refuses
// further work.
TEST(FtpCancel, CancelUnblocksAConnectAndAControlWait) {
    for (const bool connected : {false, true}) {
        FaultServer server(connected ? R"({"replies": {"CWD": {"stall": true}}})" : R"({"mode": "backlog"})");
        ASSERT_TRUE(server.started()) << server.error();
        WorkerControl control;
        FtpClient client(&control);
        FtpConnectOptions o = LoopbackOptions(server.port());
        o.connectTimeout = o.controlReceiveTimeout = std::chrono::seconds(60);
        o.retries = 3;
        ASSERT_TRUE(!connected || client.Connect(o).ok());
        std::future<FtpResult> r = std::async(std::launch::async, [&] {
            return connected ? client.SetCurrentDirectory("/slow") : client.Connect(o);
        });
        ASSERT_TRUE(!connected || server.WaitForLine("CWD /slow"));
        control.Cancel();
        ASSERT_EQ(r.wait_for(std::chrono::seconds(20)), std::future_status::ready) << connected;
        EXPECT_EQ(r.get().code, ftpcode::kCancelled);
        EXPECT_EQ(client.GetCurrentDirectory().result.code, ftpcode::kCancelled);
    }
}

}  // namespace
}  // namespace zyfar
