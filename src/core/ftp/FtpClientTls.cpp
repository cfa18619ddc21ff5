// FTP over TLS in the client: AUTH TLS, PBSZ / PROT, the certificate
// decision, and TLS on the control and data connections (TlsStream).
#include "ftp/FtpClient.h"
#include "ftp/TlsStream.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

bool Cancelled(const WorkerControl* control) { return control != nullptr && control->IsCancelled(); }

}  // namespace

FtpResult FtpClient::StartExplicitTls() {
    FtpOutcome<FtpReply> reply = ctrl_->Exchange("AUTH", "TLS");
    if (!reply.ok()) {
        return reply.result;
    }
    if (reply.value.code != 234) {
        return FtpFail(ftpcode::kTlsRefused,
                       "The server refused FTP over TLS (AUTH TLS); nothing was sent in clear text: " +
                           reply.value.Text());
    }
    return ctrl_->UpgradeStream(
        [this](std::unique_ptr<ByteStream> plain) { return SecureStream(std::move(plain), true); });
}

FtpResult FtpClient::ProtectDataConnections() {
    struct Command {
        const char* verb;
        const char* arg;
    };
    for (const Command& command : {Command{"PBSZ", "0"}, Command{"PROT", "P"}}) {
        FtpOutcome<FtpReply> reply = ctrl_->Exchange(command.verb, command.arg);
        if (!reply.ok()) {
            return reply.result;
        }
        if (ClassifyReply(reply.value.code) != ReplyKind::kCompletion) {
            return FtpFail(ftpcode::kTlsRefused, std::string("The server refused to protect the data connections (") +
                                                     command.verb + " " + command.arg + "): " + reply.value.Text());
        }
    }
    dataProtected_ = true;
    return FtpOk();
}

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::SecureStream(std::unique_ptr<ByteStream> plain, bool isControl) {
    auto* tcp = dynamic_cast<TcpStream*>(plain.get());
    if (tcp == nullptr) {
        return FtpFail(ftpcode::kInternalError, "The connection cannot be protected.");
    }
    if (!tls_) {
        FtpOutcome<std::shared_ptr<TlsContext>> context = TlsContext::Create(options_.extraCaFile);
        if (!context.ok()) {
            return context.result;
        }
        tls_ = std::move(context.value);
    }
    TlsConnectSettings settings;
    settings.host = options_.host;
    settings.port = options_.port;
    settings.control = isControl;
    settings.resume = !isControl;
    settings.timeout = options_.connectTimeout;
    FtpOutcome<std::unique_ptr<TlsStream>> secured = TlsStream::Connect(tcp->Release(), control_, tls_, settings);
    if (!secured.ok()) {
        return secured.result;
    }
    TlsStream& stream = *secured.value;
    stream.SetCloseWait(options_.dataReceiveTimeout);
    if (isControl) {
        FtpResult trusted = DecideOnCertificate(stream.PeerCertificate(), stream.Verified());
        if (!trusted.ok()) {
            return trusted;
        }
        tlsProtocol_ = stream.ProtocolText();
        tlsCipher_ = stream.CipherText();
    } else if (const std::string fingerprint = stream.PeerFingerprint();
               !certificate_ || fingerprint != certificate_->fingerprint) {
        // The data connection must end at the server the control connection
        // trusted: a resumed session carries the same certificate.
        return FtpFail(ftpcode::kCertificateChanged,
                       "The data connection presented another certificate than the control connection: " +
                           fingerprint);
    }
    return std::unique_ptr<ByteStream>(std::move(secured.value));
}

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::ProtectData(std::unique_ptr<ByteStream> plain) {
    FtpOutcome<std::unique_ptr<ByteStream>> secured = SecureStream(std::move(plain), false);
    if (!secured.ok()) {
        // The server is inside a transfer command: abort it so the control
        // connection stays in step.
        FtpFileStream pending(*ctrl_, nullptr, FtpFileStream::Direction::kRead, false, {}, nullptr);
        (void)pending.Abort();
    }
    return secured;
}

FtpResult FtpClient::DecideOnCertificate(const CertificateInfo& certificate, bool verified) {
    certificate_ = certificate;
    if (certificate.fingerprint.empty()) {
        return FtpFail(ftpcode::kSecureChannelError, "The server sent no certificate.");
    }
    if (checkingOnly_) {
        checkedVerified_ = verified;
        return FtpFail(ftpcode::kCancelled, "Only the certificate was asked for.");  // ends the connect here
    }
    CertificateTrust store(options_.trustFile.empty() ? TrustedCertificatesPath() : options_.trustFile);
    const std::optional<std::string> stored =
        verified ? std::nullopt : store.Find(options_.host, options_.port);
    switch (DecideTrust(verified, stored, certificate.fingerprint, options_.acceptFingerprint)) {
    case TrustVerdict::kVerified:
    case TrustVerdict::kTrustedBefore:
    case TrustVerdict::kAcceptedOnce: return FtpOk();
    case TrustVerdict::kChanged: return ChangedCertificateFailure(certificate, stored.value_or(""));
    case TrustVerdict::kAsk: break;
    }
    const std::string url = ServerUrl(options_.encryption == Encryption::Implicit ? "ftps" : "ftpes", options_.host,
                                      options_.port);
    if (!options_.trust) {
        return UntrustedCertificateFailure(certificate, false, url);
    }
    const TrustAnswer answer = options_.trust(certificate);
    if (Cancelled(control_)) {
        return CancelledResult();
    }
    switch (answer) {
    case TrustAnswer::kTrustAlways:
        // Not being able to remember it does not undo the user's yes for
        // this connection; the next one asks again.
        (void)store.Store(options_.host, options_.port, certificate.fingerprint);
        return FtpOk();
    case TrustAnswer::kTrustOnce: return FtpOk();
    case TrustAnswer::kCancel: break;
    }
    return UntrustedCertificateFailure(certificate, true, url);
}

FtpOutcome<CertificateCheck> FtpClient::CheckCertificate(const FtpConnectOptions& options) {
    if (options.encryption == Encryption::None) {
        return FtpFail(ftpcode::kInvalidOperation, "A certificate comes only with FTP over TLS.");
    }
    checkingOnly_ = true;
    checkedVerified_ = false;
    const FtpResult r = Connect(options);
    checkingOnly_ = false;
    Close();
    if (!certificate_ || certificate_->fingerprint.empty()) {
        return r.ok() ? FtpFail(ftpcode::kSecureChannelError, "The server sent no certificate.") : r;
    }
    return CertificateCheck{*certificate_, checkedVerified_};
}

}  // namespace zyfar
