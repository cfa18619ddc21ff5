// FTP over TLS against real servers on 127.0.0.1: vsftpd (explicit and
// implicit, session reuse and close_notify required) and pyftpdlib's TLS
// handler; transfers both ways in both data modes, a server that refuses
// AUTH TLS, the CONNECT proxy, and a capture of the loopback traffic.
#include <gtest/gtest.h>

#include "ftp/FtpClient.h"
#include "support/FtpClientHelpers.h"
#include "support/TestCertificates.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

constexpr const char* kPassword = "Zq7-secret-pass-4711";
constexpr const char* kMarker = "DISTINCTIVE-CONTENT-0xC0FFEE-";

// Content no compressor or cipher would produce by chance: a marker line
// repeated between pattern bytes.
std::string Payload(std::size_t n, std::uint32_t seed) {
    std::string out;
    while (out.size() < n) {
        out += kMarker;
        out += test::PatternBytes(997, seed++);
    }
    out.resize(n);
    return out;
}

class TlsTest : public test::IsolatedHomeTest {
protected:
    static void SetUpTestSuite() {
        certs_ = new test::TempDir("zyfar-tlscerts");
        const test::TestCertificateSet& set = test::TestCertificateSet::Get();
        ASSERT_TRUE(set.valid.ok() && set.selfSigned.ok());
        test::WriteFile(*certs_ / "ca.crt", set.authority.certPem);
        test::WriteCertificate(certs_->path(), "valid", set.valid);
        test::WriteCertificate(certs_->path(), "expired", set.expired);
        test::WriteCertificate(certs_->path(), "other", set.otherHost);
        test::WriteCertificate(certs_->path(), "self", set.selfSigned);
        test::WriteCertificate(certs_->path(), "self2", set.selfSigned2);
    }
    static void TearDownTestSuite() {
        delete certs_;
        certs_ = nullptr;
    }
    static std::string Cert(const std::string& name) { return *certs_ / (name + ".crt"); }
    static std::string Key(const std::string& name) { return *certs_ / (name + ".key"); }

    static test::VsftpdOptions Vsftpd(const std::string& cert, bool implicit = false) {
        test::VsftpdOptions o;
        o.askPassword = true;
        o.tlsCert = Cert(cert);
        o.tlsKey = Key(cert);
        o.implicitTls = implicit;
        return o;
    }

    // Anonymous vsftpd login with a password that must never be seen in clear.
    FtpConnectOptions Options(std::uint16_t port, Encryption encryption) const {
        FtpConnectOptions o = test::LoopbackOptions(port);
        o.user = "anonymous";
        o.password = kPassword;
        o.encryption = encryption;
        o.extraCaFile = *certs_ / "ca.crt";
        o.trustFile = Path("ZyfarCerts.ini");
        return o;
    }

    // Puts `bytes` as `path`, gets it back and compares.
    static void RoundTrip(FtpClient& client, const std::string& path, const std::string& bytes) {
        ASSERT_TRUE(client.IsConnected());
        const FtpResult put = test::PutBytes(client, path, bytes);
        ASSERT_TRUE(put.ok()) << put.code << " " << put.text;
        const FtpOutcome<std::string> got = test::GetBytes(client, path);
        ASSERT_TRUE(got.ok()) << got.result.code << " " << got.result.text;
        EXPECT_TRUE(got.value == bytes) << "got " << got.value.size() << " bytes of " << bytes.size();
    }

    static test::TempDir* certs_;
};

test::TempDir* TlsTest::certs_ = nullptr;

#define REQUIRE_SERVER(server)                                                        \
    do {                                                                              \
        if ((server).unavailable()) GTEST_SKIP() << "vsftpd: " << (server).error();   \
        ASSERT_TRUE((server).started()) << (server).error();                          \
    } while (false)

// Explicit and implicit TLS, passive and active data connections: a put and
// a get of a few hundred KB, the bytes compared, and a listing; vsftpd
// accepts only data connections that resume the control session and end
// with close_notify both ways.
TEST_F(TlsTest, VsftpdTransfersInEveryMode) {
    test::VsftpdServer explicitServer(Vsftpd("valid"));
    REQUIRE_SERVER(explicitServer);
    test::VsftpdServer implicitServer(Vsftpd("valid", true));
    REQUIRE_SERVER(implicitServer);
    struct Row {
        const char* name;
        Encryption encryption;
        bool passive;
    };
    const Row rows[] = {
        {"explicit, passive", Encryption::Explicit, true},
        {"explicit, active", Encryption::Explicit, false},
        {"implicit, passive", Encryption::Implicit, true},
        {"implicit, active", Encryption::Implicit, false},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::VsftpdServer& server = row.encryption == Encryption::Implicit ? implicitServer : explicitServer;
        FtpConnectOptions options = Options(server.port(), row.encryption);
        options.passive = row.passive;
        FtpClient client;
        const FtpResult r = client.Connect(options);
        ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
        EXPECT_TRUE(client.features().tls);
        EXPECT_EQ(client.features().tlsProtocol, "TLS 1.3");
        EXPECT_EQ(SecurityDetail(client.features()), "TLS 1.3, " + client.features().tlsCipher);
        const std::string name = "f" + std::to_string(++n) + ".bin";
        RoundTrip(client, server.uploadFolder() + (server.uploadFolder() == "/" ? "" : "/") + name,
                  Payload(300 * 1024 + 17, static_cast<std::uint32_t>(n)));
        const FtpOutcome<std::vector<FtpFoundFile>> listed = client.Find(server.uploadFolder() + "/");
        ASSERT_TRUE(listed.ok()) << listed.result.text;
        const std::vector<std::string> names = test::Names(listed.value);
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
        client.Close();
    }
}

// A second implementation: pyftpdlib's TLS handler, both data modes.
TEST_F(TlsTest, PyftpdlibTransfers) {
    test::PyFtpdOptions py;
    py.tlsCert = Cert("valid");
    py.tlsKey = Key("valid");
    test::PyFtpdServer server(py);
    ASSERT_TRUE(server.started()) << server.error();
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        FtpConnectOptions options = Options(server.port(), Encryption::Explicit);
        options.user = "user";
        options.password = "pass";
        options.passive = passive;
        FtpClient client;
        const FtpResult r = client.Connect(options);
        ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
        EXPECT_TRUE(client.features().tls);
        RoundTrip(client, passive ? "/p.bin" : "/a.bin", Payload(256 * 1024 + 3, passive ? 5 : 6));
    }
}

// Through the HTTP CONNECT proxy: control and (passive) data tunnels, TLS inside.
TEST_F(TlsTest, ThroughTheConnectProxy) {
    test::VsftpdServer server(Vsftpd("valid"));
    REQUIRE_SERVER(server);
    test::ConnectProxy proxy;
    ASSERT_TRUE(proxy.started()) << proxy.error();
    FtpConnectOptions options = Options(server.port(), Encryption::Explicit);
    options.access = FtpAccess::kProxy;
    options.proxyName = "127.0.0.1";
    options.proxyPort = proxy.port();
    FtpClient client;
    const FtpResult r = client.Connect(options);
    ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
    RoundTrip(client, server.uploadFolder() + "/proxied.bin", Payload(200 * 1024, 9));
    const std::vector<std::string> targets = proxy.Targets();
    ASSERT_GE(targets.size(), 3U);  // control, then a data tunnel per transfer
    EXPECT_EQ(targets.front(), "127.0.0.1:" + std::to_string(server.port()));
}

// A server without TLS: the connect fails with 12113, and after AUTH TLS
// nothing more was sent (no USER, no password), as a capture shows.
TEST_F(TlsTest, RefusedAuthTlsSendsNothingMore) {
    test::PyFtpdServer plain;
    ASSERT_TRUE(plain.started()) << plain.error();
    test::CaptureRelay relay(plain.port(), 0, 0);
    ASSERT_TRUE(relay.started()) << relay.error();
    FtpConnectOptions options = Options(relay.port(), Encryption::Explicit);
    options.host = relay.host();
    test::TraceLog trace;
    options.trace = trace.Fn();
    FtpClient client;
    const FtpResult r = client.Connect(options);
    EXPECT_EQ(r.code, ftpcode::kTlsRefused) << r.text;
    EXPECT_NE(r.text.find("AUTH TLS"), std::string::npos) << r.text;
    EXPECT_FALSE(client.IsConnected());
    client.Close();
    EXPECT_EQ(trace.lines.back().rfind("< 5", 0), 0U) << trace.lines.back();  // the refusal was the last word
    const std::string captured = relay.Captured();
    EXPECT_NE(captured.find("AUTH TLS\r\n"), std::string::npos);
    EXPECT_EQ(captured.find("USER"), std::string::npos);
    EXPECT_EQ(captured.find(kPassword), std::string::npos);
}

// Bytes that follow "234" in clear would later pass for protected ones: the
// connection is dropped before any TLS byte or command goes out.
TEST_F(TlsTest, BytesInjectedAfterTheAuthReplyAreRefused) {
    test::FaultServer server(R"({"replies": {"AUTH": "234 Go ahead\n230 Logged in, says the injection"}})");
    ASSERT_TRUE(server.started()) << server.error();
    FtpClient client;
    const FtpResult r = client.Connect(Options(server.port(), Encryption::Explicit));
    EXPECT_EQ(r.code, ftpcode::kSecureChannelError) << r.text;
    EXPECT_FALSE(client.IsConnected());
    client.Close();
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"AUTH TLS"});
}

}  // namespace
}  // namespace zyfar
