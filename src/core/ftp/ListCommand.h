#pragma once
// `zyfar --ls ftp://[user[:password]@]host[:port]/path`: lists one remote
// folder on standard output and exits, without any window. ftpes:// asks for
// FTP over TLS with AUTH TLS (port 21 by default), ftps:// for implicit TLS
// (port 990 by default). A certificate that neither verifies nor is trusted
// is refused (exit 1) with its fingerprint and how to trust it:
// `zyfar --trust ftpes://host:port` (RunTrustCommand) stores it, and
// `--fingerprint SHA256:...` accepts exactly that certificate for one run.
//
// Output: one line per entry, sorted by name, tab-separated:
//   type ("d" folder, "f" file, "l" link), size in bytes (empty when the
//   server did not say), last-write time as the server gave it in ISO 8601
//   ("2026-01-15T10:30:00", empty when unknown), name.
// A control character in a name is printed as "?", so a listing can never
// drive the terminal. Exit status 0, or 1 with the error text on stderr.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/FtpProxy.h"
#include "ftp/RemoteEntry.h"
#include "settings/Keys.h"

namespace zyfar {

struct FtpUrl {
    std::string user;                     // decoded; empty: anonymous
    std::optional<std::string> password;  // decoded; absent when the URL has none
    std::string host;                     // an IPv6 literal without its brackets
    std::uint16_t port = 21;
    // The decoded path after the host's "/": relative to the login folder,
    // absolute when it starts with "/" ("ftp://h//pub" or "ftp://h/%2Fpub").
    // Empty: the login folder itself.
    std::string path;
    // ftp:// none, ftpes:// explicit, ftps:// implicit.
    Encryption encryption = Encryption::None;
};

struct FtpUrlParse {
    std::optional<FtpUrl> url;
    std::string error;  // why the URL was refused
};

// Parses an ftp:// (ftpes://, ftps://) URL. User, password and path are percent-decoded; a URL
// holding CR, LF or NUL (also as %0D, %0A, %00) is refused, as are bad
// escapes, a missing or malformed host and a port outside 1..65535.
[[nodiscard]] FtpUrlParse ParseFtpUrl(std::string_view url);

// One output line (without its line end).
[[nodiscard]] std::string FormatListLine(const RemoteEntry& entry);
// "2026-01-15T10:30:00", or "" when the time is unknown.
[[nodiscard]] std::string FormatIsoTime(const RemoteTime& time);

// The environment variable that may hold the password of a URL's user.
inline constexpr const char* kPasswordVariable = "ZYFAR_PASSWORD";

// Connects with the session settings (passive when `passive` or FTP Passive
// "YES"), lists the URL's folder (or the one file it names) and prints it.
// The password comes from the URL, else from ZYFAR_PASSWORD, else from
// $HOME/.netrc when that file is private to the user (a file others may
// read is refused, with the reason on `err`): the entry's login must match
// the URL's, and a URL without a user takes the entry's login. With no user
// from either, the login is "anonymous" with CONFIG Email as password.
// `acceptFingerprint` (--fingerprint): the certificate accepted for this run.
[[nodiscard]] int RunListCommand(const std::string& url, bool passive, std::ostream& out, std::ostream& err,
                                 const EnvLookup& env = ProcessEnv, const std::string& acceptFingerprint = {});

// `zyfar --trust ftpes://host:port` (or ftps://): connects as far as the
// server's certificate (no login), prints it (server, subject, issuer,
// validity, problem, SHA-256 fingerprint) and stores it in the trusted
// certificates, replacing one stored before. With `fingerprint`
// (--fingerprint) only that certificate is stored: another one is refused.
// Exit status 0 when stored, 1 otherwise (the reason on `err`).
[[nodiscard]] int RunTrustCommand(const std::string& url, const std::string& fingerprint, std::ostream& out,
                                  std::ostream& err);

}  // namespace zyfar
