#pragma once
// The one adapter between the FTP client and OpenSSL: TLS over a connected
// socket, seen by the rest of the client as a ByteStream with the same waits
// as TcpStream. Every wait is bounded (poll on what OpenSSL asks for: read or
// write), and a cancel of the owning worker ends it at once (12017).
//
// TLS 1.2 is the oldest version spoken, 1.3 is preferred. The certificate is
// checked against the system's trust store (plus an optional extra CA file)
// and the host name (an address literal against the certificate's IP
// entries); the handshake itself never fails on an unverified certificate:
// the caller decides (Verified(), PeerCertificate()) before it sends anything.
//
// Data connections resume the control connection's TLS session (servers such
// as vsftpd with require_ssl_reuse refuse others): the control connection's
// sessions, TLS 1.3 tickets included, are kept in the shared TlsContext as
// they arrive, and each data connection offers the latest one.
//
// Ends: a peer's close_notify (or a bare end of the connection) reads as the
// end of the data, answered by our own close_notify. ShutdownSend sends
// close_notify and then waits, bounded, for the peer to close in turn, so the
// last bytes of an upload are never lost to a reset.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/FtpError.h"
#include "ftp/Socket.h"
#include "platform/CertificateInfo.h"

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;

namespace zyfar {

class WorkerControl;

// What the TLS connections of one FTP session share: the trusted authorities
// and the control connection's latest session. Used by one worker at a time.
class TlsContext {
public:
    // extraCaFile, when not empty, is trusted besides the system store (a
    // private certificate authority; the tests' own). 12157 when OpenSSL
    // cannot be set up or the file cannot be read.
    [[nodiscard]] static FtpOutcome<std::shared_ptr<TlsContext>> Create(const std::string& extraCaFile);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    [[nodiscard]] ssl_ctx_st* native() const { return ctx_; }
    // The control connection's latest resumable session, or null.
    [[nodiscard]] ssl_session_st* controlSession() const { return controlSession_; }
    // Keeps `session` (whose reference it takes over) in place of the last one.
    void KeepControlSession(ssl_session_st* session);
    // The key exchange group the control connection's server chose (0:
    // none yet). Data connections offer it first: a key share the server
    // does not take costs a retried hello and a round trip per connection.
    [[nodiscard]] int keyGroup() const { return keyGroup_; }
    void SetKeyGroup(int group) { keyGroup_ = group; }

private:
    TlsContext() = default;
    ssl_ctx_st* ctx_ = nullptr;
    ssl_session_st* controlSession_ = nullptr;
    int keyGroup_ = 0;
};

struct TlsConnectSettings {
    std::string host;         // checked against the certificate; sent as SNI when it is a name
    std::uint16_t port = 0;   // shown with the certificate
    bool control = false;     // the control connection: its sessions are kept for the data connections
    bool resume = false;      // offer the control connection's session (data connections)
    Millis timeout{20000};    // the whole handshake
};

class TlsStream final : public ByteStream {
public:
    // Runs the client handshake on a connected socket. 12157 when it fails
    // (the text says why), 12002 on a time-out, 12017 on a cancel.
    [[nodiscard]] static FtpOutcome<std::unique_ptr<TlsStream>> Connect(Socket socket, WorkerControl* control,
                                                                        std::shared_ptr<TlsContext> context,
                                                                        const TlsConnectSettings& settings);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    [[nodiscard]] FtpResult SendAll(std::string_view data, Millis timeout) override;
    // Hands out as many decrypted bytes as are there without waiting for
    // more (up to n), after waiting for the first.
    [[nodiscard]] FtpOutcome<std::size_t> ReceiveSome(char* buffer, std::size_t n, Millis timeout) override;
    void SetCancellable(bool cancellable) override;
    void ShutdownSend() override;
    void CloseNow() override;
    [[nodiscard]] bool IsOpen() const override { return socket_.valid(); }

    // "TLS 1.3" / "TLS 1.2".
    [[nodiscard]] std::string ProtocolText() const;
    // The cipher suite's standard name ("TLS_AES_256_GCM_SHA384").
    [[nodiscard]] std::string CipherText() const;
    // The certificate chain verified against the trusted authorities and
    // names the host.
    [[nodiscard]] bool Verified() const;
    // The handshake resumed the offered session.
    [[nodiscard]] bool SessionReused() const;
    // The server's certificate as the user is shown it (empty fields when
    // the server sent none).
    [[nodiscard]] CertificateInfo PeerCertificate() const;
    // Only its fingerprint ("SHA256:..."), "" without one.
    [[nodiscard]] std::string PeerFingerprint() const;
    // How long ShutdownSend waits for the peer's close (default 20 s).
    void SetCloseWait(Millis wait) { closeWait_ = wait; }

    struct BioState {
        int fd = -1;
        int lastErrno = 0;
        bool eof = false;
    };

private:
    TlsStream(Socket socket, WorkerControl* control, std::shared_ptr<TlsContext> context);
    enum class Want { kDone, kRead, kWrite, kClosed, kFailed };
    [[nodiscard]] Want Classify(int rc);
    [[nodiscard]] FtpResult Failure(const char* what) const;
    [[nodiscard]] FtpResult WaitFor(Want want, Millis timeout) const;
    [[nodiscard]] const WorkerControl* ActiveControl() const { return cancellable_ ? control_ : nullptr; }
    [[nodiscard]] bool CancelRequested() const;
    // Sends close_notify once; waits at most `wait` for room to send it.
    void SendCloseNotify(Millis wait);
    void ReleaseSsl();

    Socket socket_;
    WorkerControl* control_;
    std::shared_ptr<TlsContext> context_;
    ssl_st* ssl_ = nullptr;
    BioState bio_;
    std::string host_;
    std::uint16_t port_ = 0;
    bool cancellable_ = false;
    bool peerClosed_ = false;     // the peer's close_notify (or end of stream) was read
    bool closeNotifySent_ = false;
    FtpResult pendingFailure_;    // a failure met after bytes were handed out: reported next time
    Millis closeWait_{20000};
    int lastSslError_ = 0;
};

}  // namespace zyfar
