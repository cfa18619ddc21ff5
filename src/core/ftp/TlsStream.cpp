#include "ftp/TlsStream.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

using Clock = std::chrono::steady_clock;
using BioState = TlsStream::BioState;

// Our own close_notify after the peer's is a courtesy: it waits this long at
// most for room in the socket.
constexpr Millis kCloseNotifyWait{2000};
// Bytes read and dropped per call while waiting for the peer's close.
constexpr std::size_t kDrainChunk = 16 * 1024;

Millis Left(Clock::time_point deadline) {
    return std::max(Millis(0), std::chrono::duration_cast<Millis>(deadline - Clock::now()));
}

// ---- the socket BIO ---------------------------------------------------------------------
// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a
// peer that has gone. This one sends with MSG_NOSIGNAL and never blocks
// (MSG_DONTWAIT), so every wait is the stream's own bounded poll.

BioState* StateOf(BIO* bio) { return static_cast<BioState*>(BIO_get_data(bio)); }

int BioWrite(BIO* bio, const char* data, std::size_t len, std::size_t* written) {
    BIO_clear_retry_flags(bio);
    BioState* st = StateOf(bio);
    for (;;) {
        const ssize_t n = ::send(st->fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            *written = static_cast<std::size_t>(n);
            return 1;
        }
        if (errno == EINTR) {
            continue;
        }
        st->lastErrno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_write(bio);
        }
        return 0;
    }
}

int BioRead(BIO* bio, char* data, std::size_t len, std::size_t* readBytes) {
    BIO_clear_retry_flags(bio);
    BioState* st = StateOf(bio);
    for (;;) {
        const ssize_t n = ::recv(st->fd, data, len, MSG_DONTWAIT);
        if (n > 0) {
            *readBytes = static_cast<std::size_t>(n);
            return 1;
        }
        if (n == 0) {
            st->eof = true;
            *readBytes = 0;
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        st->lastErrno = errno;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_read(bio);
        }
        return 0;
    }
}

long BioCtrl(BIO* bio, int cmd, long /*num*/, void* /*ptr*/) {
    switch (cmd) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return StateOf(bio)->eof ? 1 : 0;
    default: return 0;
    }
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

int BioDestroy(BIO* /*bio*/) { return 1; }

BIO_METHOD* SocketBioMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zyfar socket");
        if (m != nullptr) {
            BIO_meth_set_write_ex(m, BioWrite);
            BIO_meth_set_read_ex(m, BioRead);
            BIO_meth_set_ctrl(m, BioCtrl);
            BIO_meth_set_create(m, BioCreate);
            BIO_meth_set_destroy(m, BioDestroy);
        }
        return m;
    }();
    return method;
}

// ---- sessions ---------------------------------------------------------------------------

// The slot of an SSL that points at the TlsContext keeping its sessions
// (control connections only).
int SessionOwnerIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// OpenSSL hands every new session of a connection here (for TLS 1.3 the
// tickets that arrive after the handshake). Returning 1 keeps the reference.
int OnNewSession(SSL* ssl, SSL_SESSION* session) {
    auto* owner = static_cast<TlsContext*>(SSL_get_ex_data(ssl, SessionOwnerIndex()));
    if (owner == nullptr || SSL_SESSION_is_resumable(session) != 1) {
        return 0;
    }
    owner->KeepControlSession(session);
    return 1;
}

// The usual key exchange groups, `group` first.
void OfferKeyGroupFirst(SSL* ssl, int group) {
    int groups[6] = {group};
    int n = 1;
    for (const int g : {NID_X25519, NID_X9_62_prime256v1, NID_X448, NID_secp521r1, NID_secp384r1}) {
        if (g != group) groups[n++] = g;
    }
    if (SSL_set1_groups(ssl, groups, n) != 1) {
        ERR_clear_error();  // the defaults stay: only a retried hello more
    }
}

// ---- texts ------------------------------------------------------------------------------

std::string LastSslReason() {
    const unsigned long e = ERR_peek_last_error();
    if (e == 0) {
        return {};
    }
    const char* reason = ERR_reason_error_string(e);
    if (reason != nullptr) {
        return reason;
    }
    char buf[256];
    ERR_error_string_n(e, buf, sizeof(buf));
    return buf;
}

FtpResult SetupFailure(const std::string& what) {
    std::string text = "TLS cannot be set up: " + what;
    const std::string reason = LastSslReason();
    if (!reason.empty()) {
        text += " (" + reason + ")";
    }
    ERR_clear_error();
    return FtpFail(ftpcode::kSecureChannelError, text);
}

bool IsAddressLiteral(const std::string& host) {
    unsigned char buf[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buf) == 1 || ::inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// Control characters never reach a terminal or a window.
std::string Printable(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '?';
        }
    }
    return text;
}

std::string NameText(const X509_NAME* name) {
    if (name == nullptr) {
        return {};
    }
    BIO* mem = BIO_new(BIO_s_mem());
    if (mem == nullptr) {
        return {};
    }
    X509_NAME_print_ex(mem, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long len = BIO_get_mem_data(mem, &data);
    std::string out = len > 0 && data != nullptr ? std::string(data, static_cast<std::size_t>(len)) : std::string();
    BIO_free(mem);
    return Printable(std::move(out));
}

std::string TimeText(const ASN1_TIME* t) {
    std::tm tm{};
    if (t == nullptr || ASN1_TIME_to_tm(t, &tm) != 1) {
        return {};
    }
    char buf[40];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

std::string Sha256Fingerprint(const X509* cert) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (X509_digest(cert, EVP_sha256(), md, &len) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "SHA256:";
    for (unsigned int i = 0; i < len; ++i) {
        out += kHex[md[i] >> 4];
        out += kHex[md[i] & 0x0F];
    }
    return out;
}

}  // namespace

// ---- TlsContext ---------------------------------------------------------------------------

FtpOutcome<std::shared_ptr<TlsContext>> TlsContext::Create(const std::string& extraCaFile) {
    std::shared_ptr<TlsContext> c(new TlsContext());
    c->ctx_ = SSL_CTX_new(TLS_client_method());
    if (c->ctx_ == nullptr) {
        return SetupFailure("no context");
    }
    SSL_CTX* ctx = c->ctx_;
    if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) {
        return SetupFailure("TLS 1.2 is not available");
    }
    // A peer that ends the connection without close_notify: the end of the
    // data as far as the stream goes (the FTP reply on the protected control
    // connection says whether the transfer was complete).
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Read whole socket buffers, not one record header at a time.
    SSL_CTX_set_read_ahead(ctx, 1);
    // The decision on the certificate is the caller's, after the handshake.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
        ERR_clear_error();  // no system store: nothing verifies, every certificate goes to the trust decision
    }
    if (!extraCaFile.empty() && SSL_CTX_load_verify_locations(ctx, extraCaFile.c_str(), nullptr) != 1) {
        return SetupFailure("the certificate authority file " + extraCaFile + " cannot be read");
    }
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, OnNewSession);
    if (SocketBioMethod() == nullptr) {
        return SetupFailure("no socket method");
    }
    return c;
}

TlsContext::~TlsContext() {
    if (controlSession_ != nullptr) {
        SSL_SESSION_free(controlSession_);
    }
    if (ctx_ != nullptr) {
        SSL_CTX_free(ctx_);
    }
}

void TlsContext::KeepControlSession(ssl_session_st* session) {
    if (controlSession_ != nullptr) {
        SSL_SESSION_free(controlSession_);
    }
    controlSession_ = session;
}

// ---- TlsStream ------------------------------------------------------------------------------

TlsStream::TlsStream(Socket socket, WorkerControl* control, std::shared_ptr<TlsContext> context)
    : socket_(std::move(socket)), control_(control), context_(std::move(context)) {
    bio_.fd = socket_.fd();
}

TlsStream::~TlsStream() { CloseNow(); }

FtpOutcome<std::unique_ptr<TlsStream>> TlsStream::Connect(Socket socket, WorkerControl* control,
                                                          std::shared_ptr<TlsContext> context,
                                                          const TlsConnectSettings& settings) {
    if (!socket.valid() || !context) {
        return FtpFail(ftpcode::kInternalError, "No connection to protect.");
    }
    std::unique_ptr<TlsStream> s(new TlsStream(std::move(socket), control, std::move(context)));
    s->host_ = settings.host;
    s->port_ = settings.port;
    s->ssl_ = SSL_new(s->context_->native());
    if (s->ssl_ == nullptr) {
        return SetupFailure("no connection object");
    }
    BIO* bio = BIO_new(SocketBioMethod());
    if (bio == nullptr) {
        return SetupFailure("no socket object");
    }
    BIO_set_data(bio, &s->bio_);
    SSL_set_bio(s->ssl_, bio, bio);

    // The name (or address) the certificate must carry; names also go out as SNI.
    if (IsAddressLiteral(settings.host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(s->ssl_), settings.host.c_str()) != 1) {
            return SetupFailure("the address " + settings.host + " cannot be checked");
        }
    } else if (!settings.host.empty()) {
        if (SSL_set1_host(s->ssl_, settings.host.c_str()) != 1 ||
            SSL_ctrl(s->ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(settings.host.c_str())) != 1) {
            return SetupFailure("the host name " + settings.host + " cannot be checked");
        }
    }
    if (settings.control) {
        SSL_set_ex_data(s->ssl_, SessionOwnerIndex(), s->context_.get());
    }
    if (settings.resume && s->context_->keyGroup() != 0) {
        OfferKeyGroupFirst(s->ssl_, s->context_->keyGroup());
    }
    if (settings.resume && s->context_->controlSession() != nullptr) {
        // A copy: OpenSSL takes a TLS 1.3 session out of use once it has
        // resumed a connection, and every data connection resumes the
        // control connection's session, not only the first.
        SSL_SESSION* copy = SSL_SESSION_dup(s->context_->controlSession());
        if (copy != nullptr) {
            SSL_set_session(s->ssl_, copy);
            SSL_SESSION_free(copy);
        }
    }
    SSL_set_connect_state(s->ssl_);

    // The whole handshake is bounded, and a cancel ends it.
    s->SetCancellable(true);
    const auto deadline = Clock::now() + settings.timeout;
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_do_handshake(s->ssl_);
        if (rc == 1) {
            break;
        }
        const Want want = s->Classify(rc);
        if (want != Want::kRead && want != Want::kWrite) {
            return s->Failure("TLS handshake");
        }
        if (Left(deadline).count() == 0) {
            return FtpFail(ftpcode::kTimeout, "The request has timed out (TLS handshake with " + settings.host + ").");
        }
        FtpResult w = s->WaitFor(want, Left(deadline));
        if (!w.ok()) {
            return w.code == ftpcode::kTimeout
                       ? FtpFail(ftpcode::kTimeout,
                                 "The request has timed out (TLS handshake with " + settings.host + ").")
                       : w;
        }
    }
    s->SetCancellable(false);
    if (settings.control) {
        const long group = SSL_get_negotiated_group(s->ssl_);
        s->context_->SetKeyGroup(group > 0 && group < TLSEXT_nid_unknown ? static_cast<int>(group) : 0);
    }
    // A server without tickets or session ids leaves the handshake's own
    // session as the one to resume (TLS 1.2); a TLS 1.3 one is not resumable
    // until its ticket arrives.
    if (settings.control && s->context_->controlSession() == nullptr) {
        SSL_SESSION* own = SSL_get1_session(s->ssl_);
        if (own != nullptr && SSL_SESSION_is_resumable(own) == 1) {
            s->context_->KeepControlSession(own);
        } else if (own != nullptr) {
            SSL_SESSION_free(own);
        }
    }
    return s;
}

TlsStream::Want TlsStream::Classify(int rc) {
    lastSslError_ = SSL_get_error(ssl_, rc);
    switch (lastSslError_) {
    case SSL_ERROR_WANT_READ: return Want::kRead;
    case SSL_ERROR_WANT_WRITE: return Want::kWrite;
    case SSL_ERROR_ZERO_RETURN: return Want::kClosed;
    case SSL_ERROR_SYSCALL:
        // No library error and no socket error: the peer ended the connection.
        return ERR_peek_error() == 0 && bio_.lastErrno == 0 ? Want::kClosed : Want::kFailed;
    default: return Want::kFailed;
    }
}

bool TlsStream::CancelRequested() const { return ActiveControl() != nullptr && ActiveControl()->IsCancelled(); }

FtpResult TlsStream::Failure(const char* what) const {
    if (CancelRequested()) {
        return CancelledResult();
    }
    if (lastSslError_ == SSL_ERROR_SYSCALL || (lastSslError_ == SSL_ERROR_ZERO_RETURN)) {
        const int err = bio_.lastErrno;
        if (err == ECONNRESET) {
            return FtpFail(ftpcode::kConnectionReset, "The connection with the server has been reset.");
        }
        if (err == 0) {
            return FtpFail(ftpcode::kConnectionAborted,
                           std::string("The connection with the server has been terminated (") + what + ").");
        }
        return FtpFail(ftpcode::kConnectionAborted, std::string(what) + ": " + std::strerror(err));
    }
    std::string reason = LastSslReason();
    if (reason.empty()) {
        reason = "error " + std::to_string(lastSslError_);
    }
    return FtpFail(ftpcode::kSecureChannelError, std::string("The secure connection failed (") + what + "): " + reason);
}

FtpResult TlsStream::WaitFor(Want want, Millis timeout) const {
    return WaitReady(socket_.fd(), want == Want::kWrite ? POLLOUT : POLLIN, timeout, ActiveControl());
}

void TlsStream::SetCancellable(bool cancellable) {
    SetSocketCancellable(control_, socket_, cancellable, cancellable_);
}

FtpResult TlsStream::SendAll(std::string_view data, Millis timeout) {
    if (ssl_ == nullptr) {
        return FtpFail(ftpcode::kConnectionAborted, "The connection with the server has been terminated.");
    }
    while (!data.empty()) {
        if (CancelRequested()) {
            return CancelledResult();
        }
        std::size_t written = 0;
        ERR_clear_error();
        bio_.lastErrno = 0;
        const int rc = SSL_write_ex(ssl_, data.data(), data.size(), &written);
        if (rc == 1) {
            data.remove_prefix(written);
            continue;
        }
        const Want want = Classify(rc);
        if (want == Want::kRead || want == Want::kWrite) {
            FtpResult w = WaitFor(want, timeout);
            if (!w.ok()) {
                return w;
            }
            continue;
        }
        return Failure("send");
    }
    if (CancelRequested()) {
        return CancelledResult();
    }
    return FtpOk();
}

FtpOutcome<std::size_t> TlsStream::ReceiveSome(char* buffer, std::size_t n, Millis timeout) {
    if (ssl_ == nullptr) {
        return FtpFail(ftpcode::kConnectionAborted, "The connection with the server has been terminated.");
    }
    if (!pendingFailure_.ok()) {
        FtpResult f = std::move(pendingFailure_);
        pendingFailure_ = FtpOk();
        return f;
    }
    if (peerClosed_ || n == 0) {
        return std::size_t{0};
    }
    std::size_t got = 0;
    for (;;) {
        if (got == 0 && CancelRequested()) {
            return CancelledResult();
        }
        std::size_t one = 0;
        ERR_clear_error();
        bio_.lastErrno = 0;
        const int rc = SSL_read_ex(ssl_, buffer + got, n - got, &one);
        if (rc == 1) {
            got += one;
            if (got == n) {
                return got;
            }
            continue;  // more records may be there already: take them without waiting
        }
        const Want want = Classify(rc);
        if (want == Want::kRead || want == Want::kWrite) {
            if (got > 0) {
                return got;
            }
            FtpResult w = WaitFor(want, timeout);
            if (!w.ok()) {
                return w;
            }
            continue;
        }
        if (want == Want::kClosed) {
            // A cancel shuts the socket down, which reads like an orderly
            // end: never let that pass for the end of the data.
            if (CancelRequested()) {
                return CancelledResult();
            }
            peerClosed_ = true;
            SendCloseNotify(std::min(timeout, kCloseNotifyWait));
            return got;
        }
        FtpResult f = Failure("receive");
        if (got > 0) {
            pendingFailure_ = std::move(f);
            return got;
        }
        return f;
    }
}

void TlsStream::SendCloseNotify(Millis wait) {
    if (ssl_ == nullptr || closeNotifySent_ || SSL_is_init_finished(ssl_) != 1) {
        return;
    }
    closeNotifySent_ = true;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        ERR_clear_error();
        bio_.lastErrno = 0;
        const int rc = SSL_shutdown(ssl_);
        if (rc >= 0) {
            return;  // sent (1: the peer's had come already)
        }
        if (Classify(rc) != Want::kWrite || Left(deadline).count() == 0 ||
            !WaitFor(Want::kWrite, Left(deadline)).ok()) {
            return;
        }
    }
}

void TlsStream::ShutdownSend() {
    if (ssl_ == nullptr) {
        return;
    }
    const auto deadline = Clock::now() + closeWait_;
    SendCloseNotify(closeWait_);
    ::shutdown(socket_.fd(), SHUT_WR);
    // Wait for the peer's close. What it still sends (TLS 1.3 session
    // tickets, its close_notify) is read and dropped: closing with unread
    // bytes would reset the connection, and a reset can cost the peer the
    // last bytes it has not read yet.
    char scratch[kDrainChunk];
    while (!peerClosed_ && Left(deadline).count() > 0) {
        std::size_t one = 0;
        ERR_clear_error();
        bio_.lastErrno = 0;
        const int rc = SSL_read_ex(ssl_, scratch, sizeof(scratch), &one);
        if (rc == 1) {
            continue;
        }
        const Want want = Classify(rc);
        if (want == Want::kRead && WaitFor(want, Left(deadline)).ok()) {
            continue;
        }
        peerClosed_ = want == Want::kClosed;
        break;
    }
}

void TlsStream::ReleaseSsl() {
    if (ssl_ == nullptr) {
        return;
    }
    // Closing without close_notify must not make the shared session
    // unusable for the next data connection (OpenSSL drops the session of
    // a connection that was not shut down); a fatal alert still does.
    if (SSL_is_init_finished(ssl_) == 1) {
        SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    }
    SSL_free(ssl_);  // frees the socket BIO too
    ssl_ = nullptr;
}

void TlsStream::CloseNow() {
    if (socket_.valid()) {
        SetCancellable(false);
    }
    ReleaseSsl();
    socket_.Close();
}

std::string TlsStream::ProtocolText() const {
    if (ssl_ == nullptr) {
        return {};
    }
    switch (SSL_version(ssl_)) {
    case TLS1_3_VERSION: return "TLS 1.3";
    case TLS1_2_VERSION: return "TLS 1.2";
    default: return SSL_get_version(ssl_);
    }
}

std::string TlsStream::CipherText() const {
    const SSL_CIPHER* cipher = ssl_ != nullptr ? SSL_get_current_cipher(ssl_) : nullptr;
    if (cipher == nullptr) {
        return {};
    }
    const char* name = SSL_CIPHER_standard_name(cipher);
    return name != nullptr ? name : SSL_CIPHER_get_name(cipher);
}

bool TlsStream::Verified() const {
    return ssl_ != nullptr && SSL_get0_peer_certificate(ssl_) != nullptr && SSL_get_verify_result(ssl_) == X509_V_OK;
}

bool TlsStream::SessionReused() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

std::string TlsStream::PeerFingerprint() const {
    const X509* cert = ssl_ != nullptr ? SSL_get0_peer_certificate(ssl_) : nullptr;
    return cert != nullptr ? Sha256Fingerprint(cert) : std::string();
}

CertificateInfo TlsStream::PeerCertificate() const {
    CertificateInfo info;
    info.host = host_;
    info.port = port_;
    X509* cert = ssl_ != nullptr ? SSL_get0_peer_certificate(ssl_) : nullptr;
    if (cert == nullptr) {
        info.verifyError = "the server sent no certificate";
        return info;
    }
    info.subject = NameText(X509_get_subject_name(cert));
    info.issuer = NameText(X509_get_issuer_name(cert));
    info.notBefore = TimeText(X509_get0_notBefore(cert));
    info.notAfter = TimeText(X509_get0_notAfter(cert));
    info.fingerprint = Sha256Fingerprint(cert);
    const long result = SSL_get_verify_result(ssl_);
    if (result != X509_V_OK) {
        info.verifyError = X509_verify_cert_error_string(result);
    }
    info.expired = X509_cmp_current_time(X509_get0_notAfter(cert)) < 0 ||
                   X509_cmp_current_time(X509_get0_notBefore(cert)) > 0;
    info.wrongHost = IsAddressLiteral(host_) ? X509_check_ip_asc(cert, host_.c_str(), 0) != 1
                                             : X509_check_host(cert, host_.data(), host_.size(), 0, nullptr) != 1;
    info.selfSigned = X509_self_signed(cert, 0) == 1;
    return info;
}

}  // namespace zyfar
