#pragma once
// Results of FTP operations: the system's signed 32-bit code (0 success, else a
// WinInet-style 12xxx code) and a text of at most 255 bytes that quotes the
// server's reply when there is one. Passwords never go into a text.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace zyfar {

namespace ftpcode {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kTimeout = 12002;
inline constexpr std::int32_t kExtendedError = 12003;   // the server refused: see the text
inline constexpr std::int32_t kInternalError = 12004;
inline constexpr std::int32_t kNameNotResolved = 12007;
inline constexpr std::int32_t kIncorrectUserName = 12013;
inline constexpr std::int32_t kLoginFailure = 12015;
inline constexpr std::int32_t kInvalidOperation = 12016;  // e.g. a CR/LF/NUL in an argument
inline constexpr std::int32_t kCancelled = 12017;
inline constexpr std::int32_t kIncorrectHandleState = 12019;  // not connected
inline constexpr std::int32_t kCannotConnect = 12029;
inline constexpr std::int32_t kConnectionAborted = 12030;
inline constexpr std::int32_t kConnectionReset = 12031;
inline constexpr std::int32_t kInvalidProxyRequest = 12033;
inline constexpr std::int32_t kTransferInProgress = 12110;
inline constexpr std::int32_t kDropped = 12111;
// FTP over TLS.
inline constexpr std::int32_t kCertificateDateInvalid = 12037;  // expired or not yet valid, not trusted
inline constexpr std::int32_t kCertificateHostInvalid = 12038;  // names another host, not trusted
inline constexpr std::int32_t kCertificateUntrusted = 12045;    // unknown issuer or self-signed, not trusted
inline constexpr std::int32_t kTlsRefused = 12113;              // the server refused AUTH TLS
inline constexpr std::int32_t kSecureChannelError = 12157;      // the TLS handshake or a TLS record failed
inline constexpr std::int32_t kCertificateChanged = 12169;      // differs from the one trusted for the server
}  // namespace ftpcode

// The longest error text handed out, in bytes.
inline constexpr std::size_t kFtpErrorTextMax = 255;

struct [[nodiscard]] FtpResult {
    std::int32_t code = ftpcode::kOk;
    std::string text;

    [[nodiscard]] bool ok() const { return code == ftpcode::kOk; }
};

// A success.
[[nodiscard]] FtpResult FtpOk();
// A failure; the text is cut to kFtpErrorTextMax bytes (never inside a UTF-8
// sequence) and control characters other than '\n' become blanks.
[[nodiscard]] FtpResult FtpFail(std::int32_t code, std::string_view text);
// The failure of work stopped by a cancel (12017).
[[nodiscard]] FtpResult CancelledResult();

// A value or a failure.
template <typename T>
struct [[nodiscard]] FtpOutcome {
    FtpResult result;
    T value{};

    FtpOutcome() = default;
    FtpOutcome(T v) : value(std::move(v)) {}                    // NOLINT: implicit on purpose
    FtpOutcome(FtpResult r) : result(std::move(r)) {}           // NOLINT: implicit on purpose
    [[nodiscard]] bool ok() const { return result.ok(); }
};

// Cuts a text to at most max bytes without splitting a UTF-8 sequence.
[[nodiscard]] std::string TruncateUtf8(std::string_view text, std::size_t max);

}  // namespace zyfar
