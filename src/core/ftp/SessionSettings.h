#pragma once
// How the "FTP" and "CONFIG" settings shape a session: the client options a
// transfer, a script or the browsing connect opens its connection with, the
// ASCII/binary choice per file, the directory-search flags and the texts of the
// WinInet-style 12xxx result codes.
#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/FtpClient.h"

namespace zyfar {

// Directory-search flags (the values the system has always used).
inline constexpr std::uint32_t kInternetFlagReload = 0x80000000u;
inline constexpr std::uint32_t kInternetFlagDontCache = 0x04000000u;

// FTP section -> client options: AccessType ("DirectAccess" direct,
// "ProxyAccess" proxy, anything else incl. absent = pre-configured), ProxyName,
// ProxyPort (default 2021), Cache ("NO" default for sessions) and Reload
// ("YES") flags, ConnectTo/RecTo/SendTo/RecToCtrl/SendToCtrl seconds (x1000 ms),
// Retry, Passive ("YES" => passive). Host/user/password/port left empty.
// Encryption (FTP over TLS, absent "NONE"; see ParseEncryption) and, when
// the user interface can ask (UiHost::AsksCertificateTrust), a trust
// callback that asks it about an unknown certificate; headless runs have
// none, so such a certificate is refused.
// Values that cannot be used fall back to the key's default: a time-out of 0
// or less, a retry count below 0 (above kMaxSessionRetries is capped), a
// ProxyPort outside 1..65535. Time-outs are capped at kMaxSessionTimeout.
[[nodiscard]] FtpConnectOptions SessionOptionsFromSettings();

inline constexpr int kMaxSessionRetries = 100;
inline constexpr Millis kMaxSessionTimeout{24LL * 3600 * 1000};

// The check made when a session is set up, before any connection: the proxy
// access type needs a proxy name (12033 otherwise). The browsing connect and
// the engine treat a failure here as the session itself failing.
[[nodiscard]] FtpResult CheckSessionOptions(const FtpConnectOptions& options);

// The proxy as the session names it: ProxyName, ":" and ProxyPort in decimal;
// empty unless the access type is the proxy.
[[nodiscard]] std::string SessionProxyString(const FtpConnectOptions& options);

// 1 ASCII, 2 binary, by FTP TransferType when flag == 1, else TextExtensions.
[[nodiscard]] int ChooseTransferType(std::string_view fileName, int flag);

// INTERNET_FLAG_RELOAD (0x80000000) when Reload is "YES", plus
// INTERNET_FLAG_DONT_CACHE (0x04000000) when Cache is "NO" => 0x84000000 default.
[[nodiscard]] std::uint32_t FindFlags();

// The FTP section's Encryption: quick connects and script "open" lines.
[[nodiscard]] Encryption DefaultEncryption();
// The last connection's (QuickEncryption), DefaultEncryption when not kept.
[[nodiscard]] Encryption QuickSiteEncryption();

// The detail of the "FTP Connection OK" log event: "TLS 1.3, <cipher>" for a
// protected connection, "-" otherwise.
[[nodiscard]] std::string ConnectionLogDetail(const FtpClient& client);

// The text for a WinInet-style code (the 12xxx table), "" for unknown codes.
[[nodiscard]] std::string InternetErrorMessage(int code);

}  // namespace zyfar
