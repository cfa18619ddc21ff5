#pragma once
// Certificates the user chose to trust, and what happens to a server
// certificate that does not verify against the system's trust store.
//
// The file: ZyfarCerts.ini in the settings folder (mode 0600, written
// atomically like every settings file), section "Certificates", one key per
// server "host:port" (the host in lower case; an IPv6 address as it is, the
// port follows its last colon), the value the certificate's fingerprint
// "SHA256:" + 64 upper-case hex digits.
//
// The decision, for the certificate of host:port:
//   it verifies (trusted authority, names the host)   -> accepted
//   its fingerprint is the one stored for host:port    -> accepted, no question
//   another fingerprint is stored for host:port        -> refused (12169), the text
//                                                         names both fingerprints
//   it is the one accepted for this run (--fingerprint) -> accepted
//   otherwise the trust callback is asked: "Trust always" stores it, "Trust
//   this time" accepts it for this connection, "Cancel" refuses it; without
//   a callback (headless runs, --ls) it is refused, with the fingerprint and
//   how to trust it in the text.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpError.h"
#include "platform/CertificateInfo.h"

namespace zyfar {

// Asked about a certificate that neither verifies nor is trusted already.
using TrustCallback = std::function<TrustAnswer(const CertificateInfo&)>;

// A fingerprint as typed ("SHA256:ab:cd:...", "SHA256:ABCD...", or the hex
// digits alone, with or without colons, any case) in its stored form
// "SHA256:" + 64 upper-case hex digits; nothing when it is not 32 bytes of hex.
[[nodiscard]] std::optional<std::string> ParseFingerprint(std::string_view text);
// The form people compare: "AB:CD:...:EF" (the hex digits in pairs).
[[nodiscard]] std::string FormatFingerprint(std::string_view fingerprint);

// SettingsFolder() + "/ZyfarCerts.ini".
[[nodiscard]] std::string TrustedCertificatesPath();

struct TrustedCertificate {
    std::string host;
    std::uint16_t port = 0;
    std::string fingerprint;
};

class CertificateTrust {
public:
    explicit CertificateTrust(std::string path = TrustedCertificatesPath());

    // The fingerprint stored for host:port.
    [[nodiscard]] std::optional<std::string> Find(const std::string& host, std::uint16_t port) const;
    // Stores (or replaces) the fingerprint of host:port; false when the file
    // cannot be written or the fingerprint is not one.
    bool Store(const std::string& host, std::uint16_t port, const std::string& fingerprint);
    // Forgets host:port; false when nothing was stored for it.
    bool Remove(const std::string& host, std::uint16_t port);
    // Every stored entry, in file order.
    [[nodiscard]] std::vector<TrustedCertificate> List() const;

    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
};

enum class TrustVerdict {
    kVerified,       // verifies against the trusted authorities and names the host
    kTrustedBefore,  // the stored fingerprint for this server
    kAcceptedOnce,   // the fingerprint accepted for this run
    kChanged,        // another fingerprint is stored for this server: refused
    kAsk,            // unknown: the trust callback decides (no callback: refused)
};

// The decision table above. `stored` is the fingerprint stored for the
// server, `acceptedFingerprint` the one given for this run (any typed form,
// "" for none).
[[nodiscard]] TrustVerdict DecideTrust(bool verified, const std::optional<std::string>& stored,
                                       const std::string& offered, const std::string& acceptedFingerprint);

// The failure for a certificate that is refused because nobody could be
// asked (`userRefused` false: the text says how to trust it, with `url`, the
// server as "ftpes://host:port") or because the user refused it. The code
// says why it did not verify: 12037 expired, 12038 another host, else 12045.
[[nodiscard]] FtpResult UntrustedCertificateFailure(const CertificateInfo& certificate, bool userRefused,
                                                    const std::string& url);
// 12169: the certificate differs from the one trusted for the server; the
// text names both fingerprints.
[[nodiscard]] FtpResult ChangedCertificateFailure(const CertificateInfo& certificate,
                                                  const std::string& trustedFingerprint);

// A server as a URL of its scheme ("ftps" implicit, "ftpes" explicit):
// "ftpes://host:port", an IPv6 address in brackets.
[[nodiscard]] std::string ServerUrl(const std::string& scheme, const std::string& host, std::uint16_t port);

}  // namespace zyfar
