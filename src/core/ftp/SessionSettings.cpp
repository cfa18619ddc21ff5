#include "ftp/SessionSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "platform/MessageTable.h"
#include "platform/UiHost.h"
#include "platform/TextUtil.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

// A time-out key in seconds as milliseconds; a value that cannot be a time-out
// (0 or negative) gives the key's default, a huge one the cap.
Millis TimeoutFromKey(const KeyDef& key) {
    std::int64_t seconds = ReadInt(key);
    if (seconds <= 0) seconds = key.intDefault;
    const std::int64_t ms = seconds * 1000;
    return std::min(Millis{ms}, kMaxSessionTimeout);
}

int RetriesFromSettings() {
    const int retries = ReadInt(keys::Retry);
    if (retries < 0) return keys::Retry.intDefault;
    return std::min(retries, kMaxSessionRetries);
}

std::uint16_t ProxyPortFromSettings() {
    const int port = ReadInt(keys::ProxyPort);
    if (port < 1 || port > 65535) return static_cast<std::uint16_t>(keys::ProxyPort.intDefault);
    return static_cast<std::uint16_t>(port);
}

FtpAccess AccessFromSettings() {
    switch (SessionAccessMode(Read(keys::AccessTypeSession))) {
        case AccessMode::Direct: return FtpAccess::kDirect;
        case AccessMode::Proxy: return FtpAccess::kProxy;
        case AccessMode::Preconfig: break;
    }
    return FtpAccess::kPreconfig;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The comma-separated TextExtensions list holds the extension (blanks around
// a piece do not count, an empty piece matches nothing).
bool ListHoldsExtension(std::string_view list, std::string_view extension) {
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view piece = TrimBlanks(list.substr(0, comma));
        if (!piece.empty() && EqualsNoCase(piece, extension)) return true;
        if (comma == std::string_view::npos) return false;
        list.remove_prefix(comma + 1);
    }
}

}  // namespace

FtpConnectOptions SessionOptionsFromSettings() {
    FtpConnectOptions options;
    options.host.clear();
    options.user.clear();
    options.password.clear();
    options.access = AccessFromSettings();
    if (options.access == FtpAccess::kProxy) {
        options.proxyName = Read(keys::ProxyName);
        options.proxyPort = ProxyPortFromSettings();
    }
    options.connectTimeout = TimeoutFromKey(keys::ConnectTo);
    options.dataReceiveTimeout = TimeoutFromKey(keys::RecTo);
    options.dataSendTimeout = TimeoutFromKey(keys::SendTo);
    options.controlReceiveTimeout = TimeoutFromKey(keys::RecToCtrl);
    options.controlSendTimeout = TimeoutFromKey(keys::SendToCtrl);
    options.retries = RetriesFromSettings();
    options.reload = Read(keys::Reload) == "YES";
    options.cache = Read(keys::CacheSession) != "NO";
    options.passive = ReadYes(keys::Passive);
    options.encryption = DefaultEncryption();
    if (Ui().AsksCertificateTrust()) {
        options.trust = [](const CertificateInfo& certificate) { return Ui().AskCertificateTrust(certificate); };
    }
    return options;
}

Encryption DefaultEncryption() { return ParseEncryption(Read(keys::Encryption)); }

Encryption QuickSiteEncryption() {
    const std::string kept = Read(keys::QuickEncryption);
    return kept.empty() ? DefaultEncryption() : ParseEncryption(kept);
}

std::string ConnectionLogDetail(const FtpClient& client) {
    const std::string detail = SecurityDetail(client.features());
    return detail.empty() ? std::string("-") : detail;
}

FtpResult CheckSessionOptions(const FtpConnectOptions& options) {
    if (options.access == FtpAccess::kProxy && TrimBlanks(options.proxyName).empty())
        return FtpFail(ftpcode::kInvalidProxyRequest, "No proxy server name is configured for the proxy access type.");
    return FtpOk();
}

std::string SessionProxyString(const FtpConnectOptions& options) {
    if (options.access != FtpAccess::kProxy) return {};
    return options.proxyName + ":" + std::to_string(options.proxyPort);
}

int ChooseTransferType(std::string_view fileName, int flag) {
    constexpr int kAscii = static_cast<int>(FtpTransferType::kAscii);
    constexpr int kBinary = static_cast<int>(FtpTransferType::kBinary);
    if (flag == 1) {
        const TransferType mode = ParseTransferType(Read(keys::TransferTypeSession));
        if (mode == TransferType::Binary) return kBinary;
        if (mode == TransferType::Text) return kAscii;
    }
    const std::optional<std::string> list = ReadIfPresent(keys::TextExtensions);
    if (!list) return kBinary;
    // Only the file's own name counts, not the folders of a path.
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos) fileName.remove_prefix(slash + 1);
    const std::size_t dot = fileName.find('.');
    if (dot == std::string_view::npos) return kBinary;
    return ListHoldsExtension(*list, fileName.substr(dot + 1)) ? kAscii : kBinary;
}

std::uint32_t FindFlags() {
    std::uint32_t flags = 0;
    if (Read(keys::Reload) == "YES") flags |= kInternetFlagReload;
    if (Read(keys::CacheSession) == "NO") flags |= kInternetFlagDontCache;
    return flags;
}

std::string InternetErrorMessage(int code) {
    // The texts live in the string table under their own numbers; only the
    // internet error range is answered here.
    constexpr int kFirstInternetError = 12000;
    constexpr int kLastInternetError = 12999;
    if (code < kFirstInternetError || code > kLastInternetError) return {};
    return std::string(MessageText(code));
}

}  // namespace zyfar
