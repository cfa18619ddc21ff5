#include "ftp/CertificateTrust.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"

namespace zyfar {

namespace {

constexpr const char* kSection = "Certificates";
constexpr std::string_view kPrefix = "SHA256:";
constexpr std::size_t kDigestBytes = 32;

std::string KeyOf(const std::string& host, std::uint16_t port) {
    return ToLowerAscii(host) + ":" + std::to_string(port);
}

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Reason(const CertificateInfo& c) {
    if (c.expired) return "it has expired or is not valid yet";
    if (c.wrongHost) return "it was issued for another host";
    if (c.selfSigned) return "it is self-signed";
    return c.verifyError.empty() ? std::string("it cannot be verified") : c.verifyError;
}

std::int32_t CodeOf(const CertificateInfo& c) {
    if (c.expired) return ftpcode::kCertificateDateInvalid;
    if (c.wrongHost) return ftpcode::kCertificateHostInvalid;
    return ftpcode::kCertificateUntrusted;
}

}  // namespace

std::optional<std::string> ParseFingerprint(std::string_view text) {
    if (StartsWithNoCase(text, kPrefix)) text.remove_prefix(kPrefix.size());
    std::string hex;
    for (char c : text) {
        if (c == ':') continue;
        if (HexDigitValue(c) < 0) return std::nullopt;
        hex += c;
    }
    if (hex.size() != 2 * kDigestBytes) return std::nullopt;
    return std::string(kPrefix) + ToUpperAscii(hex);
}

std::string FormatFingerprint(std::string_view fingerprint) {
    const std::optional<std::string> canonical = ParseFingerprint(fingerprint);
    if (!canonical) return std::string(fingerprint);
    const std::string_view hex = std::string_view(*canonical).substr(kPrefix.size());
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0) out += ':';
        out.append(hex.substr(i, 2));
    }
    return out;
}

std::string TrustedCertificatesPath() { return JoinPath(SettingsFolder(), "ZyfarCerts.ini"); }

CertificateTrust::CertificateTrust(std::string path) : path_(std::move(path)) {}

std::optional<std::string> CertificateTrust::Find(const std::string& host, std::uint16_t port) const {
    const std::optional<std::string> stored = ReadPrivateProfile(path_).Get(kSection, KeyOf(host, port));
    if (!stored) return std::nullopt;
    // A value that is no fingerprint still names "some other certificate":
    // it is kept as it stands, so it can never match and is reported as changed.
    std::optional<std::string> parsed = ParseFingerprint(*stored);
    return parsed ? parsed : stored;
}

bool CertificateTrust::Store(const std::string& host, std::uint16_t port, const std::string& fingerprint) {
    const std::optional<std::string> canonical = ParseFingerprint(fingerprint);
    if (!canonical || host.empty() || HasLineBreakOrNul(host)) return false;
    MakeFolders(ParentOf(path_));
    return UpdatePrivateProfile(path_, [&](IniDocument& doc) { doc.Set(kSection, KeyOf(host, port), *canonical); });
}

bool CertificateTrust::Remove(const std::string& host, std::uint16_t port) {
    return RemovePrivateProfileKey(kSection, KeyOf(host, port), path_);
}

std::vector<TrustedCertificate> CertificateTrust::List() const {
    std::vector<TrustedCertificate> out;
    for (const auto& [key, value] : ReadPrivateProfile(path_).GetSection(kSection)) {
        const std::size_t colon = key.rfind(':');
        if (colon == std::string::npos) continue;
        const int port = ParseLeadingInt(std::string_view(key).substr(colon + 1));
        if (port < 1 || port > 65535) continue;
        out.push_back({key.substr(0, colon), static_cast<std::uint16_t>(port), value});
    }
    return out;
}

TrustVerdict DecideTrust(bool verified, const std::optional<std::string>& stored, const std::string& offered,
                         const std::string& acceptedFingerprint) {
    if (verified) return TrustVerdict::kVerified;
    const std::optional<std::string> mine = ParseFingerprint(offered);
    if (!mine) return TrustVerdict::kAsk;  // no certificate to pin: nothing can match
    if (stored) return *stored == *mine ? TrustVerdict::kTrustedBefore : TrustVerdict::kChanged;
    const std::optional<std::string> accepted = ParseFingerprint(acceptedFingerprint);
    if (accepted && *accepted == *mine) return TrustVerdict::kAcceptedOnce;
    return TrustVerdict::kAsk;
}

FtpResult UntrustedCertificateFailure(const CertificateInfo& c, bool userRefused, const std::string& url) {
    const std::string server = c.host + ":" + std::to_string(c.port);
    if (userRefused) {
        return FtpFail(CodeOf(c), "The certificate of " + server + " was refused (" + Reason(c) + "): " + c.fingerprint);
    }
    // The fingerprint comes first: the text may be cut at 255 bytes.
    return FtpFail(CodeOf(c), "Certificate not trusted, " + c.fingerprint + " (" + Reason(c) +
                                  "). After checking it: zyfar --trust " + url);
}

FtpResult ChangedCertificateFailure(const CertificateInfo& c, const std::string& trustedFingerprint) {
    return FtpFail(ftpcode::kCertificateChanged,
                   "REFUSED: the certificate changed! Trusted " + trustedFingerprint + ", offered now " +
                       c.fingerprint + " by " + c.host + ":" + std::to_string(c.port));
}

std::string ServerUrl(const std::string& scheme, const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return scheme + "://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace zyfar
