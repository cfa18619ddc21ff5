#include "ftp/FtpProxy.h"

#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <cstdlib>

#include "platform/TextUtil.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

constexpr std::size_t kMaxProxyHeader = 16 * 1024;

std::string Trim(std::string_view s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos) {
        return {};
    }
    const std::size_t b = s.find_last_not_of(" \t");
    return std::string(s.substr(a, b - a + 1));
}

std::optional<std::string> FirstSet(const EnvLookup& env, const char* a, const char* b) {
    for (const char* name : {a, b}) {
        std::optional<std::string> v = env(name);
        if (v && !Trim(*v).empty()) {
            return Trim(*v);
        }
    }
    return std::nullopt;
}

bool ExcludedByNoProxy(const std::string& host, const std::string& list) {
    const std::string h = ToLowerAscii(host);
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        std::string item = ToLowerAscii(Trim(list.substr(start, comma == std::string::npos ? comma : comma - start)));
        if (item == "*") {
            return true;
        }
        if (!item.empty() && item.front() == '.') {
            item.erase(0, 1);
        }
        if (!item.empty() &&
            (h == item || (h.size() > item.size() && h.compare(h.size() - item.size(), item.size(), item) == 0 &&
                           h[h.size() - item.size() - 1] == '.'))) {
            return true;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return false;
}

// "host:port" for a CONNECT line, with brackets around an IPv6 address.
std::string Authority(const std::string& host, std::uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace

std::optional<std::string> ProcessEnv(const char* name) {
    const char* v = std::getenv(name);  // NOLINT: read-only use on the worker
    if (v == nullptr) {
        return std::nullopt;
    }
    return std::string(v);
}

std::optional<ProxyEndpoint> ParseHttpProxyUrl(std::string_view url) {
    constexpr std::string_view kScheme = "http://";
    if (url.size() <= kScheme.size() || ToLowerAscii(url.substr(0, kScheme.size())) != kScheme) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(kScheme.size());
    rest = rest.substr(0, rest.find('/'));
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        rest.remove_prefix(at + 1);  // credentials are not used
    }
    ProxyEndpoint ep;
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        ep.host = std::string(rest.substr(1, close - 1));
        std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return std::nullopt;
            }
            portText = after.substr(1);
        }
    } else {
        const std::size_t colon = rest.find(':');
        ep.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
        }
    }
    if (ep.host.empty() || !IsResolvableHostName(ep.host)) {
        return std::nullopt;
    }
    ep.port = 80;
    if (!portText.empty()) {
        if (portText.size() > 5) {
            return std::nullopt;
        }
        unsigned long p = 0;
        for (char c : portText) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            p = p * 10 + static_cast<unsigned long>(c - '0');
        }
        if (p == 0 || p > 65535) {
            return std::nullopt;
        }
        ep.port = static_cast<std::uint16_t>(p);
    }
    return ep;
}

std::optional<ProxyEndpoint> ProxyFromEnvironment(const std::string& targetHost, const EnvLookup& env) {
    std::optional<std::string> url = FirstSet(env, "ftp_proxy", "FTP_PROXY");
    if (!url) {
        url = FirstSet(env, "all_proxy", "ALL_PROXY");
    }
    if (!url) {
        return std::nullopt;
    }
    if (std::optional<std::string> no = FirstSet(env, "no_proxy", "NO_PROXY")) {
        if (ExcludedByNoProxy(targetHost, *no)) {
            return std::nullopt;
        }
    }
    return ParseHttpProxyUrl(*url);
}

FtpOutcome<Socket> ConnectThroughHttpProxy(const ProxyEndpoint& proxy, const std::string& targetHost,
                                           std::uint16_t targetPort, Millis connectTimeout, Millis ioTimeout,
                                           WorkerControl* control) {
    // The target goes into the request line: refuse anything that could
    // smuggle a second line or header.
    if (!IsResolvableHostName(targetHost)) {
        return FtpFail(ftpcode::kNameNotResolved, "The server name could not be resolved: " + targetHost);
    }
    FtpOutcome<std::vector<SocketAddress>> addrs = ResolveHost(proxy.host, proxy.port, control);
    if (!addrs.ok()) {
        return addrs.result;
    }
    FtpResult last = FtpFail(ftpcode::kCannotConnect, "The attempt to connect to the proxy failed.");
    for (const SocketAddress& a : addrs.value) {
        FtpOutcome<Socket> s = ConnectTcp(a, connectTimeout, control);
        if (!s.ok()) {
            last = s.result;
            if (last.code == ftpcode::kCancelled) {
                return last;
            }
            continue;
        }
        TcpStream stream(std::move(s.value), control);
        stream.SetCancellable(true);
        const std::string authority = Authority(targetHost, targetPort);
        const std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
        FtpResult sent = stream.SendAll(request, ioTimeout);
        if (!sent.ok()) {
            return sent;
        }
        // Read the header one byte at a time so nothing of the tunnelled
        // stream (the FTP greeting may follow at once) is taken from it.
        std::string header;
        while (header.size() < kMaxProxyHeader &&
               (header.size() < 4 || header.compare(header.size() - 4, 4, "\r\n\r\n") != 0)) {
            char c = 0;
            FtpOutcome<std::size_t> got = stream.ReceiveSome(&c, 1, ioTimeout);
            if (!got.ok()) {
                return got.result;
            }
            if (got.value == 0) {
                return FtpFail(ftpcode::kCannotConnect, "The proxy closed the connection.");
            }
            header += c;
        }
        const std::string status = header.substr(0, header.find("\r\n"));
        // "HTTP/1.x 2xx ..."
        const std::size_t sp = status.find(' ');
        if (status.rfind("HTTP/", 0) != 0 || sp == std::string::npos || sp + 1 >= status.size() ||
            status[sp + 1] != '2') {
            return FtpFail(ftpcode::kCannotConnect, "The proxy refused the connection: " + status);
        }
        return stream.Release();
    }
    return last;
}

}  // namespace zyfar
