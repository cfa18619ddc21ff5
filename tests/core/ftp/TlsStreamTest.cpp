// The TLS adapter against an in-process OpenSSL server on the other end of a
// socket pair: data both ways, what the certificate checks say, ends with
// close_notify, bounded waits, cancels and session resumption.
#include "ftp/TlsStream.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <regex>
#include <thread>

#include "platform/WorkerControl.h"
#include "support/TestCertificates.h"

namespace zyfar {
namespace {

using test::TestCertificate;
using test::TestCertificateSet;

// A server context with one certificate; it resumes sessions (ids and tickets).
class ServerContext {
public:
    explicit ServerContext(const TestCertificate& cert, int maxVersion = 0) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        X509* x = test::detail::ParseCert(cert.certPem);
        EVP_PKEY* k = test::detail::ParseKey(cert.keyPem);
        SSL_CTX_use_certificate(ctx_, x);
        SSL_CTX_use_PrivateKey(ctx_, k);
        X509_free(x);
        EVP_PKEY_free(k);
        static const unsigned char kId[] = "zyfar-test";
        SSL_CTX_set_session_id_context(ctx_, kId, sizeof(kId) - 1);
        if (maxVersion != 0) SSL_CTX_set_max_proto_version(ctx_, maxVersion);
    }
    ~ServerContext() { SSL_CTX_free(ctx_); }
    ServerContext(const ServerContext&) = delete;
    ServerContext& operator=(const ServerContext&) = delete;
    [[nodiscard]] SSL_CTX* get() const { return ctx_; }

private:
    SSL_CTX* ctx_ = nullptr;
};

// The server end of a socket pair, run by `script` on a thread of its own
// once its handshake is done (no handshake without a context).
class Peer {
public:
    Peer(SSL_CTX* ctx, std::function<void(SSL*, int fd)> script) {
        int fds[2] = {-1, -1};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        client_ = fds[0];
        const int server = fds[1];
        thread_ = std::thread([ctx, server, script = std::move(script)] {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);  // a closed client gives EPIPE, not a signal
            if (ctx == nullptr) {
                script(nullptr, server);
            } else {
                SSL* ssl = SSL_new(ctx);
                SSL_set_fd(ssl, server);
                if (SSL_accept(ssl) == 1) script(ssl, server);
                SSL_free(ssl);
            }
            ::close(server);
        });
    }
    ~Peer() {
        if (client_ >= 0) ::close(client_);
        thread_.join();
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    Socket TakeClient() {
        const int fd = client_;
        client_ = -1;
        return Socket(fd);
    }
    void Join() {
        thread_.join();
        thread_ = std::thread([] {});
    }

private:
    int client_ = -1;
    std::thread thread_;
};

// Reads until the client's close; true when it ended with close_notify.
bool ReadToEnd(SSL* ssl, std::string* received = nullptr) {
    char buf[16384];
    for (;;) {
        const int n = SSL_read(ssl, buf, sizeof(buf));
        if (n > 0) {
            if (received) received->append(buf, static_cast<std::size_t>(n));
            continue;
        }
        return SSL_get_error(ssl, n) == SSL_ERROR_ZERO_RETURN;
    }
}

TlsConnectSettings Settings(const std::string& host = "127.0.0.1") {
    TlsConnectSettings s;
    s.host = host;
    s.port = 990;
    s.timeout = std::chrono::seconds(10);
    return s;
}

std::shared_ptr<TlsContext> Context(const std::string& caFile = {}) {
    FtpOutcome<std::shared_ptr<TlsContext>> c = TlsContext::Create(caFile);
    EXPECT_TRUE(c.ok()) << c.result.text;
    return c.value;
}

TEST(TlsStream, CarriesLargeBuffersBothWays) {
    const TestCertificate& cert = TestCertificateSet::Get().selfSigned;
    ServerContext server(cert);
    Peer peer(server.get(), [](SSL* ssl, int) {
        char buf[16384];
        for (;;) {
            const int n = SSL_read(ssl, buf, sizeof(buf));
            if (n <= 0 || SSL_write(ssl, buf, n) != n) break;
        }
    });
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), nullptr, Context(), Settings());
    ASSERT_TRUE(s.ok()) << s.result.text;
    TlsStream& tls = *s.value;
    EXPECT_EQ(tls.ProtocolText(), "TLS 1.3");
    EXPECT_FALSE(tls.CipherText().empty());

    // One thread, as the FTP client uses a stream: a chunk out, its echo back.
    const std::string payload = test::PatternBytes(300 * 1024, 7);
    constexpr std::size_t kChunk = 40 * 1024;
    std::string back;
    std::vector<char> buf(256 * 1024);
    for (std::size_t off = 0; off < payload.size(); off += kChunk) {
        const std::string_view chunk = std::string_view(payload).substr(off, kChunk);
        ASSERT_TRUE(tls.SendAll(chunk, std::chrono::seconds(10)).ok());
        while (back.size() < off + chunk.size()) {
            FtpOutcome<std::size_t> got = tls.ReceiveSome(buf.data(), buf.size(), std::chrono::seconds(10));
            ASSERT_TRUE(got.ok()) << got.result.text;
            ASSERT_GT(got.value, 0U);
            back.append(buf.data(), got.value);
        }
    }
    EXPECT_TRUE(back == payload);
}

struct VerifyRow {
    const char* name;
    const TestCertificate TestCertificateSet::*cert;
    bool withCa;
    const char* host;
    bool verified;
    bool expired;
    bool wrongHost;
    bool selfSigned;
};

TEST(TlsStream, CertificateChecks) {
    const TestCertificateSet& set = TestCertificateSet::Get();
    test::TempDir dir("zyfar-tlsca");
    const std::string caFile = dir / "ca.crt";
    ASSERT_TRUE(test::WriteFile(caFile, set.authority.certPem));
    const VerifyRow rows[] = {
        {"CA-signed, CA trusted", &TestCertificateSet::valid, true, "127.0.0.1", true, false, false, false},
        {"CA-signed, CA unknown", &TestCertificateSet::valid, false, "127.0.0.1", false, false, false, false},
        {"expired", &TestCertificateSet::expired, true, "127.0.0.1", false, true, false, false},
        {"for another host", &TestCertificateSet::otherHost, true, "127.0.0.1", false, false, true, false},
        {"host name matches", &TestCertificateSet::otherHost, true, "other.example", true, false, false, false},
        {"self-signed", &TestCertificateSet::selfSigned, true, "127.0.0.1", false, false, false, true},
    };
    const std::regex fingerprint("SHA256:[0-9A-F]{64}");
    for (const VerifyRow& row : rows) {
        SCOPED_TRACE(row.name);
        ServerContext server(set.*row.cert);
        Peer peer(server.get(), [](SSL* ssl, int) { ReadToEnd(ssl); });
        FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(
            peer.TakeClient(), nullptr, Context(row.withCa ? caFile : std::string()), Settings(row.host));
        ASSERT_TRUE(s.ok()) << s.result.text;
        EXPECT_EQ(s.value->Verified(), row.verified);
        const CertificateInfo info = s.value->PeerCertificate();
        EXPECT_EQ(info.expired, row.expired);
        EXPECT_EQ(info.wrongHost, row.wrongHost);
        EXPECT_EQ(info.selfSigned, row.selfSigned);
        EXPECT_EQ(info.verifyError.empty(), row.verified) << info.verifyError;
        EXPECT_TRUE(std::regex_match(info.fingerprint, fingerprint)) << info.fingerprint;
        EXPECT_NE(info.subject.find("O=Zyfar tests"), std::string::npos) << info.subject;
        EXPECT_FALSE(info.notAfter.empty());
        EXPECT_EQ(info.host, row.host);
        EXPECT_EQ(info.port, 990);
    }
}

TEST(TlsStream, PeerCloseNotifyEndsTheDataAndIsAnswered) {
    ServerContext server(TestCertificateSet::Get().selfSigned);
    std::atomic<int> secondShutdown{-2};
    Peer peer(server.get(), [&](SSL* ssl, int) {
        SSL_write(ssl, "bye", 3);
        if (SSL_shutdown(ssl) == 0) secondShutdown = SSL_shutdown(ssl);  // waits for the client's close_notify
    });
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), nullptr, Context(), Settings());
    ASSERT_TRUE(s.ok()) << s.result.text;
    std::string got;
    char buf[64];
    for (int i = 0; i < 10; ++i) {
        FtpOutcome<std::size_t> r = s.value->ReceiveSome(buf, sizeof(buf), std::chrono::seconds(10));
        ASSERT_TRUE(r.ok()) << r.result.text;
        if (r.value == 0) break;
        got.append(buf, r.value);
    }
    EXPECT_EQ(got, "bye");
    peer.Join();
    EXPECT_EQ(secondShutdown.load(), 1);  // our close_notify arrived
}

TEST(TlsStream, ShutdownSendDeliversEverythingAndCloseNotify) {
    ServerContext server(TestCertificateSet::Get().selfSigned);
    std::string received;
    std::atomic<bool> cleanEnd{false};
    Peer peer(server.get(), [&](SSL* ssl, int) {
        cleanEnd = ReadToEnd(ssl, &received);
        SSL_shutdown(ssl);
    });
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), nullptr, Context(), Settings());
    ASSERT_TRUE(s.ok()) << s.result.text;
    const std::string payload = test::PatternBytes(200 * 1024, 3);
    ASSERT_TRUE(s.value->SendAll(payload, std::chrono::seconds(10)).ok());
    s.value->ShutdownSend();
    s.value->CloseNow();
    peer.Join();
    EXPECT_TRUE(cleanEnd.load());
    EXPECT_TRUE(received == payload);
}

TEST(TlsStream, ShutdownSendGivesUpOnAPeerThatNeverCloses) {
    ServerContext server(TestCertificateSet::Get().selfSigned);
    std::atomic<bool> cleanEnd{false};
    std::atomic<bool> release{false};
    Peer peer(server.get(), [&](SSL* ssl, int) {
        cleanEnd = ReadToEnd(ssl);
        // Never answers and never closes until the test is done.
        for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), nullptr, Context(), Settings());
    ASSERT_TRUE(s.ok()) << s.result.text;
    s.value->SetCloseWait(std::chrono::milliseconds(200));
    s.value->ShutdownSend();  // returns although the peer stays silent
    EXPECT_TRUE(s.value->IsOpen());
    release = true;
    s.value->CloseNow();
    peer.Join();
    EXPECT_TRUE(cleanEnd.load());
}

TEST(TlsStream, HandshakeWithASilentPeerTimesOut) {
    Peer peer(nullptr, [](SSL*, int fd) {
        char buf[512];
        while (::read(fd, buf, sizeof(buf)) > 0) {
        }
    });
    TlsConnectSettings settings = Settings();
    settings.timeout = std::chrono::milliseconds(300);
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), nullptr, Context(), settings);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.result.code, ftpcode::kTimeout) << s.result.text;
}

TEST(TlsStream, HandshakeWithAPlainServerFails) {
    Peer peer(nullptr, [](SSL*, int fd) {
        const char greeting[] = "220 plain FTP here\r\n";
        (void)::write(fd, greeting, sizeof(greeting) - 1);
        char buf[512];
        while (::read(fd, buf, sizeof(buf)) > 0) {
        }
    });
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), nullptr, Context(), Settings());
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.result.code, ftpcode::kSecureChannelError) << s.result.text;
}

TEST(TlsStream, CancelEndsAWait) {
    ServerContext server(TestCertificateSet::Get().selfSigned);
    Peer peer(server.get(), [](SSL* ssl, int) { ReadToEnd(ssl); });
    WorkerControl control;
    FtpOutcome<std::unique_ptr<TlsStream>> s = TlsStream::Connect(peer.TakeClient(), &control, Context(), Settings());
    ASSERT_TRUE(s.ok()) << s.result.text;
    s.value->SetCancellable(true);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        control.Cancel();
    });
    char buf[16];
    FtpOutcome<std::size_t> r = s.value->ReceiveSome(buf, sizeof(buf), std::chrono::seconds(30));
    canceller.join();
    EXPECT_EQ(r.result.code, ftpcode::kCancelled) << r.result.text;
}

// The control connection's session (a TLS 1.3 ticket that comes after the
// handshake, or the TLS 1.2 session) is offered and taken by the next connection.
TEST(TlsStream, DataConnectionsResumeTheControlSession) {
    for (const int version : {0, TLS1_2_VERSION}) {
        SCOPED_TRACE(version == 0 ? "TLS 1.3" : "TLS 1.2");
        ServerContext server(TestCertificateSet::Get().selfSigned, version);
        std::shared_ptr<TlsContext> context = Context();
        Peer control(server.get(), [](SSL* ssl, int) {
            SSL_write(ssl, "220 ready\r\n", 11);
            ReadToEnd(ssl);
        });
        TlsConnectSettings controlSettings = Settings();
        controlSettings.control = true;
        FtpOutcome<std::unique_ptr<TlsStream>> c =
            TlsStream::Connect(control.TakeClient(), nullptr, context, controlSettings);
        ASSERT_TRUE(c.ok()) << c.result.text;
        EXPECT_EQ(c.value->ProtocolText(), version == 0 ? "TLS 1.3" : "TLS 1.2");
        char buf[64];
        FtpOutcome<std::size_t> greeting = c.value->ReceiveSome(buf, sizeof(buf), std::chrono::seconds(10));
        ASSERT_TRUE(greeting.ok());
        ASSERT_NE(context->controlSession(), nullptr);

        for (int i = 0; i < 2; ++i) {  // every data connection resumes it, not only the first
            Peer data(server.get(), [](SSL* ssl, int) { ReadToEnd(ssl); });
            TlsConnectSettings dataSettings = Settings();
            dataSettings.resume = true;
            FtpOutcome<std::unique_ptr<TlsStream>> d =
                TlsStream::Connect(data.TakeClient(), nullptr, context, dataSettings);
            ASSERT_TRUE(d.ok()) << d.result.text;
            EXPECT_TRUE(d.value->SessionReused()) << "data connection " << i;
        }
    }
}

}  // namespace
}  // namespace zyfar
