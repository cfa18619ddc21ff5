// FTP over TLS against real servers on 127.0.0.1: vsftpd (explicit and
// implicit, session reuse and close_notify required) and pyftpdlib's TLS
// handler; transfers both ways in both data modes, a server that refuses
// AUTH TLS, the CONNECT proxy, and a capture of the loopback traffic.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <sstream>

#include "ftp/BrowseConnect.h"
#include "ftp/FtpClient.h"
#include "ftp/ListCommand.h"
#include "log/TransferLog.h"
#include "platform/UiHost.h"
#include "settings/SettingsStore.h"
#include "platform/CommandLine.h"
#include "support/FtpClientHelpers.h"
#include "support/ProgramRun.h"
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

// A raw relay records both directions of the control and the (passive) data
// connections: with explicit TLS neither the password nor the file content
// is in the capture although the transfers worked; without encryption both
// are there (the control of the test).
TEST_F(TlsTest, NothingCrossesTheNetworkInClearText) {
    for (const bool tls : {true, false}) {
        SCOPED_TRACE(tls ? "explicit TLS" : "no encryption");
        const std::uint16_t low = test::FreePortRange(4);
        ASSERT_NE(low, 0);
        test::VsftpdOptions o = Vsftpd("self");
        if (!tls) o.tlsCert.clear();
        o.passiveLow = low;
        o.passiveHigh = static_cast<std::uint16_t>(low + 3);
        test::VsftpdServer server(o);
        REQUIRE_SERVER(server);
        test::CaptureRelay relay(server.port(), o.passiveLow, o.passiveHigh);
        ASSERT_TRUE(relay.started()) << relay.error();
        FtpConnectOptions options = Options(relay.port(), tls ? Encryption::Explicit : Encryption::None);
        options.host = relay.host();
        options.passive = true;
        options.trust = [](const CertificateInfo&) { return TrustAnswer::kTrustOnce; };
        FtpClient client;
        const FtpResult r = client.Connect(options);
        ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
        const std::string content = Payload(100 * 1024, 11);
        RoundTrip(client, server.uploadFolder() + "/secret.bin", content);
        client.Close();
        const std::string captured = relay.Captured();
        ASSERT_GT(captured.size(), 2 * content.size());  // both transfers went through the relay
        EXPECT_EQ(captured.find("AUTH TLS\r\n") != std::string::npos, tls);
        EXPECT_EQ(captured.find(kPassword) != std::string::npos, !tls);
        EXPECT_EQ(captured.find(kMarker) != std::string::npos, !tls);
        EXPECT_EQ(captured.find(content.substr(5000, 64)) != std::string::npos, !tls);
    }
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

// ---- certificate trust ----------------------------------------------------------------------

enum class Answer { kNoCallback, kAlways, kOnce, kCancel };

struct TrustRow {
    const char* name;
    const char* server;        // the certificate the server shows
    const char* storedBefore;  // the certificate trusted for the server before, or null
    Answer answer;
    const char* acceptOnce;    // --fingerprint: this certificate's, or null
    int asked;                 // times the callback is asked
    std::int32_t code;         // 0: connected
    const char* storedAfter;   // what the file holds for the server afterwards, or null
};

std::string FingerprintOf(const char* name) {
    const test::TestCertificateSet& set = test::TestCertificateSet::Get();
    const std::string pem = std::string(name) == "self"    ? set.selfSigned.certPem
                            : std::string(name) == "self2" ? set.selfSigned2.certPem
                            : std::string(name) == "other" ? set.otherHost.certPem
                                                           : set.expired.certPem;
    X509* x = test::detail::ParseCert(pem);
    unsigned char md[32];
    unsigned int len = 0;
    X509_digest(x, EVP_sha256(), md, &len);
    X509_free(x);
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        hex += kHex[md[i] >> 4];
        hex += kHex[md[i] & 15];
    }
    return "SHA256:" + hex;
}

// First contact, trusted before, changed, expired, another host, nobody to
// ask, and a fingerprint given for the run; the file stays private.
TEST_F(TlsTest, TrustOnFirstUse) {
    const TrustRow rows[] = {
        {"first contact, trust always", "self", nullptr, Answer::kAlways, nullptr, 1, 0, "self"},
        {"trust this time", "self", nullptr, Answer::kOnce, nullptr, 1, 0, nullptr},
        {"cancel", "self", nullptr, Answer::kCancel, nullptr, 1, ftpcode::kCertificateUntrusted, nullptr},
        {"trusted before: no question", "self", "self", Answer::kCancel, nullptr, 0, 0, "self"},
        {"changed certificate", "self", "self2", Answer::kAlways, nullptr, 0, ftpcode::kCertificateChanged, "self2"},
        {"expired", "expired", nullptr, Answer::kCancel, nullptr, 1, ftpcode::kCertificateDateInvalid, nullptr},
        {"another host", "other", nullptr, Answer::kCancel, nullptr, 1, ftpcode::kCertificateHostInvalid, nullptr},
        {"nobody to ask", "self", nullptr, Answer::kNoCallback, nullptr, 0, ftpcode::kCertificateUntrusted, nullptr},
        {"fingerprint given", "self", nullptr, Answer::kNoCallback, "self", 0, 0, nullptr},
        {"another fingerprint given", "self", nullptr, Answer::kNoCallback, "self2", 0,
         ftpcode::kCertificateUntrusted, nullptr},
    };
    std::map<std::string, std::unique_ptr<test::VsftpdServer>> servers;
    for (const char* name : {"self", "expired", "other"}) {
        servers[name] = std::make_unique<test::VsftpdServer>(Vsftpd(name));
        REQUIRE_SERVER(*servers[name]);
    }
    int i = 0;
    for (const TrustRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::uint16_t port = servers[row.server]->port();
        FtpConnectOptions options = Options(port, Encryption::Explicit);
        options.trustFile = Path("trust" + std::to_string(++i) + ".ini");
        CertificateTrust store(options.trustFile);
        if (row.storedBefore) {
            ASSERT_TRUE(store.Store("127.0.0.1", port, FingerprintOf(row.storedBefore)));
        }
        std::vector<CertificateInfo> asked;
        if (row.answer != Answer::kNoCallback) {
            options.trust = [&](const CertificateInfo& c) {
                asked.push_back(c);
                return row.answer == Answer::kAlways ? TrustAnswer::kTrustAlways
                       : row.answer == Answer::kOnce ? TrustAnswer::kTrustOnce
                                                     : TrustAnswer::kCancel;
            };
        }
        if (row.acceptOnce) options.acceptFingerprint = FingerprintOf(row.acceptOnce);
        FtpClient client;
        const FtpResult r = client.Connect(options);
        EXPECT_EQ(r.code, row.code) << r.text;
        EXPECT_EQ(client.IsConnected(), row.code == 0);
        ASSERT_EQ(static_cast<int>(asked.size()), row.asked);
        const std::string offered = FingerprintOf(row.server);
        ASSERT_TRUE(client.certificate());
        EXPECT_EQ(client.certificate()->fingerprint, offered);
        if (!asked.empty()) {
            const CertificateInfo& c = asked.front();
            EXPECT_EQ(c.fingerprint, offered);
            EXPECT_EQ(c.host + ":" + std::to_string(c.port), "127.0.0.1:" + std::to_string(port));
            EXPECT_EQ(c.expired, std::string(row.server) == "expired");
            EXPECT_EQ(c.wrongHost, std::string(row.server) == "other");
            EXPECT_EQ(c.selfSigned, std::string(row.server) == "self");
            EXPECT_FALSE(c.verifyError.empty());
        }
        if (row.code != 0) {
            EXPECT_NE(r.text.find(offered), std::string::npos) << r.text;
        }
        if (row.code == ftpcode::kCertificateChanged) {
            EXPECT_NE(r.text.find(FingerprintOf(row.storedBefore)), std::string::npos) << r.text;
        }
        if (row.answer == Answer::kNoCallback && row.code != 0) {
            EXPECT_NE(r.text.find("zyfar --trust ftpes://127.0.0.1:" + std::to_string(port)), std::string::npos)
                << r.text;
        }
        const std::optional<std::string> stored = store.Find("127.0.0.1", port);
        EXPECT_EQ(stored.value_or("(none)"), row.storedAfter ? FingerprintOf(row.storedAfter) : "(none)");
        if (stored) {
            EXPECT_EQ(test::ModeOf(options.trustFile), 0600);
        }
        client.Close();
        if (row.answer == Answer::kAlways && row.code == 0) {
            // The next connection does not ask again.
            options.trust = [&](const CertificateInfo&) {
                ADD_FAILURE() << "asked again";
                return TrustAnswer::kCancel;
            };
            FtpClient again;
            const FtpResult second = again.Connect(options);
            EXPECT_TRUE(second.ok()) << second.text;
        }
    }
}

// A user interface that can be asked about certificates.
class AskingHost final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override {}
    MessageAnswer ShowMessage(const std::string&, MessageKind, MessageButtons) override { return MessageAnswer::Ok; }
    bool AsksCertificateTrust() const override { return true; }
    TrustAnswer AskCertificateTrust(const CertificateInfo& c) override {
        asked.push_back(c.fingerprint);
        return TrustAnswer::kTrustOnce;
    }
    std::vector<std::string> asked;
};

// The browsing connect asks the user interface about the certificate (one
// that cannot ask refuses it) and logs "FTP Connection OK" with the protection.
TEST_F(TlsTest, BrowsingAsksTheUserAndLogsTheProtection) {
    test::VsftpdServer server(Vsftpd("self"));
    REQUIRE_SERVER(server);
    WriteProfileString("FTP", "Retry", "0");
    WriteProfileString("FTP", "ConnectTo", "10");
    LogSettings quiet;
    quiet.toFile = false;
    TheTransferLog().ApplySettings(quiet);
    TheTransferLog().Clear();
    BrowseSite site{"127.0.0.1", "anonymous", kPassword, "", server.port(), Encryption::Explicit};

    AskingHost host;
    SetUiHost(&host);
    BrowseConnectResult r = BrowseConnect(site, nullptr);
    SetUiHost(nullptr);
    ASSERT_TRUE(r.ok()) << r.text;
    EXPECT_EQ(host.asked, std::vector<std::string>{FingerprintOf("self")});
    std::string detail = "(none)";
    for (const LogEntry& e : TheTransferLog().Entries())
        if (e.code == 32861) detail = e.detail;
    EXPECT_EQ(detail, "TLS 1.3, " + r.client->features().tlsCipher);
    BrowseDisconnect(r.client, site.host);

    const BrowseConnectResult refused = BrowseConnect(site, nullptr);  // the default host cannot ask
    EXPECT_EQ(refused.code, ftpcode::kCertificateUntrusted) << refused.text;
}

// ---- the command line ---------------------------------------------------------------------------

TEST(TlsUrls, TrustAndFingerprintOptions) {
    struct Row {
        std::vector<std::string> words;
        bool trust;
        const char* trustUrl;
        const char* fingerprint;
        bool ls;
        const char* error;
    };
    const Row rows[] = {
        {{"--trust", "ftpes://h:21"}, true, "ftpes://h:21", "", false, ""},
        {{"--trust=ftps://h", "--fingerprint", "SHA256:AB"}, true, "ftps://h", "SHA256:AB", false, ""},
        {{"--ls", "ftpes://h/", "--fingerprint=SHA256:CD"}, false, "", "SHA256:CD", true, ""},
        {{"--trust"}, true, "", "", false, "option --trust needs a URL"},
        {{"--ls", "ftpes://h/", "--fingerprint"}, false, "", "", true, "option --fingerprint needs a SHA256: fingerprint"},
        {{"--fingerprint="}, false, "", "", false, "option --fingerprint needs a SHA256: fingerprint"},
    };
    for (const Row& row : rows) {
        const CommandLine line = ParseCommandLine(row.words);
        SCOPED_TRACE(row.words.front());
        EXPECT_EQ(line.trust, row.trust);
        EXPECT_EQ(line.trustUrl, row.trustUrl);
        EXPECT_EQ(line.fingerprint, row.fingerprint);
        EXPECT_EQ(line.ls, row.ls);
        EXPECT_EQ(line.optionError, row.error);
        EXPECT_TRUE(line.unknownOptions.empty());
    }
}

TEST(TlsFingerprints, ParsedAndFormatted) {
    const std::string hex = "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
    for (const std::string& typed :
         {"SHA256:" + hex, ToLowerAscii(hex), "sha256:" + FormatFingerprint("SHA256:" + hex)}) {
        EXPECT_EQ(ParseFingerprint(typed).value_or("(none)"), "SHA256:" + hex) << typed;
    }
    for (const std::string& bad : {std::string("SHA256:00"), "SHA256:" + hex + "00", "SHA256:" + hex.substr(2) + "zz"})
        EXPECT_FALSE(ParseFingerprint(bad)) << bad;
    EXPECT_EQ(FormatFingerprint("SHA256:" + hex).substr(0, 12), "00:11:22:33:");
    EXPECT_EQ(FormatFingerprint("SHA256:" + hex).size(), 95U);
}

// `--ls` of a server with a self-signed certificate: refused (exit 1) with
// the fingerprint and both ways to trust it; accepted with that
// fingerprint; after `--trust` accepted without it.
TEST_F(TlsTest, HeadlessListingAndTrustCommand) {
    test::VsftpdServer server(Vsftpd("self"));
    REQUIRE_SERVER(server);
    ASSERT_TRUE(test::WriteFile(server.root() + "/hello.txt", "hello"));
    const std::string port = std::to_string(server.port());
    const std::string url = "ftpes://anonymous@127.0.0.1:" + port + "/";
    const std::string fingerprint = FingerprintOf("self");
    const EnvLookup env = [](const char* name) -> std::optional<std::string> {
        if (std::string(name) == kPasswordVariable) return std::string(kPassword);
        return std::nullopt;
    };
    const auto list = [&](const std::string& accept, std::string* err = nullptr) {
        std::ostringstream out;
        std::ostringstream errors;
        const int status = RunListCommand(url, false, out, errors, env, accept);
        if (err) *err = errors.str();
        return std::make_pair(status, out.str());
    };
    std::string err;
    auto [refused, nothing] = list("", &err);
    EXPECT_EQ(refused, 1);
    EXPECT_TRUE(nothing.empty());
    EXPECT_NE(err.find(FormatFingerprint(fingerprint)), std::string::npos) << err;
    EXPECT_NE(err.find("zyfar --trust ftpes://127.0.0.1:" + port), std::string::npos) << err;
    EXPECT_NE(err.find("--fingerprint " + fingerprint), std::string::npos) << err;
    EXPECT_EQ(list(FingerprintOf("self2")).first, 1);
    auto [once, listing] = list(fingerprint);
    EXPECT_EQ(once, 0);
    EXPECT_NE(listing.find("hello.txt"), std::string::npos) << listing;
    EXPECT_FALSE(test::Exists(TrustedCertificatesPath()));  // accepting for a run stores nothing

    std::ostringstream out;
    std::ostringstream errors;
    EXPECT_EQ(RunTrustCommand("ftpes://127.0.0.1:" + port, FingerprintOf("self2"), out, errors), 1);
    EXPECT_FALSE(test::Exists(TrustedCertificatesPath()));  // not the certificate named: nothing stored
    out.str("");
    EXPECT_EQ(RunTrustCommand("ftpes://127.0.0.1:" + port, "", out, errors), 0) << errors.str();
    EXPECT_NE(out.str().find(FormatFingerprint(fingerprint)), std::string::npos) << out.str();
    EXPECT_EQ(test::ModeOf(TrustedCertificatesPath()), 0600);
    auto [trusted, again] = list("");
    EXPECT_EQ(trusted, 0);
    EXPECT_NE(again.find("hello.txt"), std::string::npos) << again;
}

// The same through the program itself (the options reach the commands).
TEST_F(TlsTest, TheProgramRefusesThenTrusts) {
    struct stat st {};
    if (::stat(test::ProgramPath().c_str(), &st) != 0) GTEST_SKIP() << "the program is not built";
    test::VsftpdServer server(Vsftpd("self"));
    REQUIRE_SERVER(server);
    const std::string target = "ftpes://127.0.0.1:" + std::to_string(server.port());
    const std::string password = std::string("ZYFAR_PASSWORD=") + kPassword;
    const std::string listing = "ftpes://anonymous@127.0.0.1:" + std::to_string(server.port()) + "/";
    const test::ProgramOutcome refused = test::RunProgram({"--ls", listing}, Root(), {password});
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find(FormatFingerprint(FingerprintOf("self"))), std::string::npos) << refused.err;
    const test::ProgramOutcome trust = test::RunProgram({"--trust", target}, Root());
    EXPECT_EQ(trust.status, 0) << trust.err;
    const test::ProgramOutcome listed = test::RunProgram({"--ls", listing}, Root(), {password});
    EXPECT_EQ(listed.status, 0) << listed.err;
}

}  // namespace
}  // namespace zyfar
