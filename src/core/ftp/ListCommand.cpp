#include "ftp/ListCommand.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

#include "ftp/FtpClient.h"
#include "ftp/NameMask.h"
#include "ftp/SessionSettings.h"
#include "platform/Netrc.h"
#include "platform/TextUtil.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

FtpUrlParse Refuse(std::string error) { return FtpUrlParse{std::nullopt, std::move(error)}; }

// Percent-decodes a URL part; nothing for a bad escape or a decoded CR/LF/NUL.
std::optional<std::string> Decode(std::string_view part) {
    std::string out;
    out.reserve(part.size());
    for (std::size_t i = 0; i < part.size(); ++i) {
        char c = part[i];
        if (c == '%') {
            if (i + 2 >= part.size()) return std::nullopt;  // needs two hex digits
            const int hi = HexDigitValue(part[i + 1]);
            const int lo = HexDigitValue(part[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        out.push_back(c);
    }
    if (HasLineBreakOrNul(out)) return std::nullopt;
    return out;
}

bool IsHostNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_';
}

bool IsIpv6LiteralChar(char c) { return HexDigitValue(c) >= 0 || c == ':' || c == '.'; }

std::optional<std::uint16_t> ParsePort(std::string_view digits, int defaultPort) {
    if (digits.empty()) return static_cast<std::uint16_t>(defaultPort);
    if (digits.size() > 5) return std::nullopt;
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

// host[:port] or [v6]:port into the URL.
std::string ParseHostPort(std::string_view hostPort, FtpUrl& url) {
    std::string_view portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string_view::npos) return "The IPv6 address has no closing \"]\".";
        const std::string_view literal = hostPort.substr(1, close - 1);
        if (literal.find(':') == std::string_view::npos ||
            !std::all_of(literal.begin(), literal.end(), IsIpv6LiteralChar))
            return "The IPv6 address is not valid.";
        url.host = std::string(literal);
        const std::string_view rest = hostPort.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return "Unexpected text after the IPv6 address.";
            portText = rest.substr(1);
        }
    } else {
        const std::size_t colon = hostPort.find(':');
        const std::string_view name = hostPort.substr(0, colon);
        if (colon != std::string_view::npos) {
            portText = hostPort.substr(colon + 1);
            if (portText.find(':') != std::string_view::npos)
                return "An IPv6 address must be written in brackets, e.g. [::1].";
        }
        if (!std::all_of(name.begin(), name.end(), IsHostNameChar)) return "The host name is not valid.";
        url.host = std::string(name);
    }
    if (url.host.empty()) return "The URL names no host.";
    const std::optional<std::uint16_t> port = ParsePort(portText, DefaultPortFor(url.encryption));
    if (!port) return "The port must be a number from 1 to 65535.";
    url.port = *port;
    return {};
}

std::string SanitizedName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '?';
    }
    return out;
}

std::string FailureText(const FtpResult& r) {
    std::string text = r.text.empty() ? InternetErrorMessage(r.code) : r.text;
    if (text.empty()) text = "Error " + std::to_string(r.code) + ".";
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

int Fail(std::ostream& err, const std::string& text) {
    err << "zyfar: " << text << '\n';
    err.flush();
    return 1;
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// What the path names: the entries to print, or the failure.
FtpOutcome<std::vector<FtpFoundFile>> Lookup(FtpClient& client, const std::string& path) {
    if (path.empty()) {
        FtpOutcome<std::string> pwd = client.GetCurrentDirectory();
        if (!pwd.ok()) return pwd.result;
        return client.Find(pwd.value.empty() || pwd.value.back() != '/' ? pwd.value + "/" : pwd.value);
    }
    const std::string name = SplitRemotePath(path).name;
    if (!name.empty() && HasWildcard(name)) return client.Find(path);  // a mask: its matches
    const std::string target = WithoutTrailingSlashes(path);
    if (target != "/") {
        FtpOutcome<std::vector<FtpFoundFile>> self = client.Find(target);
        if (!self.ok()) return self.result;
        if (self.value.empty()) return FtpFail(ftpcode::kExtendedError, "No such file or folder: " + path);
        if (!self.value.front().IsDirectory()) return self;  // a file: that one entry
    }
    return client.Find(target == "/" ? target : target + "/");
}

bool IsCertificateRefusal(std::int32_t code) {
    return code == ftpcode::kCertificateUntrusted || code == ftpcode::kCertificateDateInvalid ||
           code == ftpcode::kCertificateHostInvalid || code == ftpcode::kCertificateChanged;
}

std::string TlsUrl(const FtpUrl& url) {
    return ServerUrl(url.encryption == Encryption::Implicit ? "ftps" : "ftpes", url.host, url.port);
}

void PrintCertificate(std::ostream& out, const CertificateInfo& c) {
    out << "  server:   " << c.host << ':' << c.port << '\n'
        << "  subject:  " << c.subject << '\n'
        << "  issuer:   " << c.issuer << '\n'
        << "  valid:    from " << c.notBefore << " to " << c.notAfter << '\n';
    if (!c.verifyError.empty()) out << "  problem:  " << c.verifyError << '\n';
    out << "  SHA-256:  " << FormatFingerprint(c.fingerprint) << '\n';
}

// What a refused certificate was, and the two ways to trust it.
void ExplainRefusedCertificate(std::ostream& err, const CertificateInfo& c, const FtpResult& r, const FtpUrl& url) {
    err << "The server's certificate:\n";
    PrintCertificate(err, c);
    if (r.code == ftpcode::kCertificateChanged) {
        err << "It is NOT the certificate trusted for this server before (see the line above). If the\n"
               "server's administrator confirms the new fingerprint, trust it instead with\n";
    } else {
        err << "Check the fingerprint with the server's administrator, then trust the certificate with\n";
    }
    err << "  zyfar --trust " << TlsUrl(url) << "\n"
        << "or accept exactly this certificate for one run with\n"
        << "  --fingerprint " << c.fingerprint << '\n';
    err.flush();
}

}  // namespace

FtpUrlParse ParseFtpUrl(std::string_view text) {
    if (HasLineBreakOrNul(text)) return Refuse("The URL holds a line break or NUL.");
    FtpUrl url;
    constexpr std::pair<std::string_view, Encryption> kSchemes[] = {
        {"ftp://", Encryption::None}, {"ftpes://", Encryption::Explicit}, {"ftps://", Encryption::Implicit}};
    bool known = false;
    for (const auto& [scheme, encryption] : kSchemes) {
        if (StartsWithNoCase(text, scheme)) {
            text.remove_prefix(scheme.size());
            url.encryption = encryption;
            known = true;
            break;
        }
    }
    if (!known) return Refuse("Only ftp://, ftpes:// (FTP over TLS) and ftps:// (implicit TLS) URLs can be listed.");

    const std::size_t slash = text.find('/');
    const std::string_view authority = text.substr(0, slash);
    const std::string_view rawPath = slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);

    std::string_view hostPort = authority;
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
        const std::size_t colon = userInfo.find(':');
        const std::optional<std::string> user = Decode(userInfo.substr(0, colon));
        if (!user) return Refuse("The user name in the URL is not valid.");
        url.user = *user;
        if (colon != std::string_view::npos) {
            url.password = Decode(userInfo.substr(colon + 1));
            if (!url.password) return Refuse("The password in the URL is not valid.");
        }
    }
    if (std::string error = ParseHostPort(hostPort, url); !error.empty()) return Refuse(std::move(error));
    const std::optional<std::string> path = Decode(rawPath);
    if (!path) return Refuse("The path in the URL is not valid.");
    url.path = *path;
    return FtpUrlParse{std::move(url), {}};
}

std::string FormatIsoTime(const RemoteTime& t) {
    if (!t.valid) return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

std::string FormatListLine(const RemoteEntry& entry) {
    std::string line = entry.isLink ? "l" : entry.isDirectory ? "d" : "f";
    line += '\t';
    if (entry.size >= 0) line += std::to_string(entry.size);
    line += '\t';
    line += FormatIsoTime(entry.modified);
    line += '\t';
    line += SanitizedName(entry.name);
    return line;
}

int RunListCommand(const std::string& urlText, bool passive, std::ostream& out, std::ostream& err,
                   const EnvLookup& env, const std::string& acceptFingerprint) {
    FtpUrlParse parsed = ParseFtpUrl(urlText);
    if (!parsed.url) return Fail(err, parsed.error);
    const FtpUrl& url = *parsed.url;
    if (!acceptFingerprint.empty() && !ParseFingerprint(acceptFingerprint))
        return Fail(err, "--fingerprint needs a SHA-256 fingerprint (SHA256: and 64 hex digits).");

    FtpConnectOptions options = SessionOptionsFromSettings();
    options.passive = options.passive || passive;
    options.host = url.host;
    options.port = url.port;
    // The URL decides: ftp:// stays plain whatever FTP Encryption says.
    options.encryption = url.encryption;
    options.trust = nullptr;  // nobody to ask: an unknown certificate is refused
    options.acceptFingerprint = acceptFingerprint;
    std::optional<std::string> password = url.password;
    if (!password && env) password = env(kPasswordVariable);
    std::string user = url.user;
    if (!password) {
        // ~/.netrc, when it is private to the user: the login must match the
        // URL's, and a URL without one takes the entry's.
        const std::optional<std::string> home = env ? env("HOME") : std::nullopt;
        if (home && !home->empty()) {
            const NetrcLookup netrc = LookupNetrc(*home + "/.netrc", url.host, url.user);
            if (!netrc.refusal.empty()) err << "zyfar: " << netrc.refusal << '\n';
            if (netrc.found) {
                user = netrc.found->login;
                password = netrc.found->password;
            }
        }
    }
    if (user.empty()) {
        options.user = "anonymous";
        options.password = Read(keys::Email);
    } else {
        options.user = user;
        options.password = password.value_or("");
    }
    if (const FtpResult session = CheckSessionOptions(options); !session.ok()) return Fail(err, FailureText(session));

    FtpClient client;
    if (const FtpResult r = client.Connect(options); !r.ok()) {
        const int status = Fail(err, FailureText(r));
        if (client.certificate() && IsCertificateRefusal(r.code)) ExplainRefusedCertificate(err, *client.certificate(), r, url);
        return status;
    }
    FtpOutcome<std::vector<FtpFoundFile>> found = Lookup(client, url.path);
    client.Close();
    if (!found.ok()) return Fail(err, FailureText(found.result));

    std::vector<FtpFoundFile>& entries = found.value;
    std::sort(entries.begin(), entries.end(),
              [](const FtpFoundFile& a, const FtpFoundFile& b) { return a.entry.name < b.entry.name; });
    for (const FtpFoundFile& f : entries) out << FormatListLine(f.entry) << '\n';
    out.flush();
    if (!out) return Fail(err, "The listing could not be written.");
    return 0;
}

int RunTrustCommand(const std::string& urlText, const std::string& fingerprint, std::ostream& out,
                    std::ostream& err) {
    FtpUrlParse parsed = ParseFtpUrl(urlText);
    if (!parsed.url) return Fail(err, parsed.error);
    const FtpUrl& url = *parsed.url;
    if (url.encryption == Encryption::None)
        return Fail(err, "--trust needs an ftpes:// (FTP over TLS) or ftps:// (implicit TLS) URL.");
    std::optional<std::string> wanted;
    if (!fingerprint.empty()) {
        wanted = ParseFingerprint(fingerprint);
        if (!wanted) return Fail(err, "--fingerprint needs a SHA-256 fingerprint (SHA256: and 64 hex digits).");
    }
    FtpConnectOptions options = SessionOptionsFromSettings();
    options.host = url.host;
    options.port = url.port;
    options.encryption = url.encryption;
    if (const FtpResult session = CheckSessionOptions(options); !session.ok()) return Fail(err, FailureText(session));

    FtpClient client;
    const FtpOutcome<CertificateCheck> check = client.CheckCertificate(options);
    if (!check.ok()) return Fail(err, FailureText(check.result));
    const CertificateInfo& c = check.value.certificate;
    out << "The certificate of " << TlsUrl(url) << ":\n";
    PrintCertificate(out, c);
    if (wanted && *wanted != c.fingerprint) {
        return Fail(err, "This is not the certificate given with --fingerprint (" + *wanted + "); nothing was stored.");
    }
    CertificateTrust store;
    const std::optional<std::string> before = store.Find(url.host, url.port);
    if (before && *before == c.fingerprint) {
        out << "It was trusted already.\n";
        out.flush();
        return 0;
    }
    if (!store.Store(url.host, url.port, c.fingerprint))
        return Fail(err, "The trusted certificates file " + store.path() + " cannot be written.");
    if (check.value.verified) out << "It also verifies against the system's certificate authorities.\n";
    if (before) out << "It replaces the certificate trusted before: " << *before << '\n';
    out << "Trusted from now on (" << store.path() << ").\n";
    out.flush();
    return 0;
}

}  // namespace zyfar
