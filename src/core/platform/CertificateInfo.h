#pragma once
// What the user is shown about a server certificate that could not be
// verified, and the answers to the question "trust it?". Plain data: the FTP
// client fills it from the TLS handshake, the user interface shows it.
#include <cstdint>
#include <string>

namespace zyfar {

struct CertificateInfo {
    std::string host;        // the host name or address the user gave
    std::uint16_t port = 0;  // the port connected to
    std::string subject;     // "CN=ftp.example.org,O=Example" (RFC 2253 form)
    std::string issuer;
    std::string notBefore;   // "2025-01-31 12:00:00 UTC"
    std::string notAfter;
    // SHA-256 of the certificate's DER bytes: "SHA256:" and 64 upper-case hex
    // digits. FormatFingerprint (ftp/CertificateTrust.h) gives the
    // colon-separated form people compare ("AB:CD:...").
    std::string fingerprint;
    std::string verifyError;  // why it did not verify ("self-signed certificate"), "" when it did
    bool expired = false;     // its validity ended (or has not begun yet)
    bool wrongHost = false;   // it does not name the host connected to
    bool selfSigned = false;  // it is its own issuer
};

enum class TrustAnswer {
    kTrustAlways,  // accept and remember it for this host and port
    kTrustOnce,    // accept it for this connection only
    kCancel,       // refuse it: the connection is not made
};

}  // namespace zyfar
