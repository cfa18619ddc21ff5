#pragma once
// HTTP CONNECT tunnels for the control and data connections, and the proxy
// named by the environment for the pre-configured access type.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/FtpError.h"
#include "ftp/Socket.h"

namespace zyfar {

struct ProxyEndpoint {
    std::string host;
    std::uint16_t port = 0;
    friend bool operator==(const ProxyEndpoint&, const ProxyEndpoint&) = default;
};

// Looks a variable up; the default reads the process environment.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;
[[nodiscard]] std::optional<std::string> ProcessEnv(const char* name);

// "http://[user@]host[:port][/...]" (port 80 when absent; IPv6 hosts in
// brackets). Anything else, another scheme included, gives nothing.
[[nodiscard]] std::optional<ProxyEndpoint> ParseHttpProxyUrl(std::string_view url);

// The proxy for an FTP connection to targetHost: ftp_proxy (or FTP_PROXY),
// else all_proxy (or ALL_PROXY), when it is an http:// URL and targetHost is
// not excluded by no_proxy (or NO_PROXY: "*", or comma-separated names that
// match exactly or as a domain suffix). Nothing means connect directly.
[[nodiscard]] std::optional<ProxyEndpoint> ProxyFromEnvironment(const std::string& targetHost,
                                                                const EnvLookup& env);

// Connects to the proxy and asks it with CONNECT for targetHost:targetPort.
// 12007 when the proxy's name does not resolve, 12029 when it cannot be
// reached or refuses the tunnel (the text quotes its status line), 12002 on a
// time-out. On success the socket carries the tunnelled connection; no byte
// after the proxy's header has been read from it.
[[nodiscard]] FtpOutcome<Socket> ConnectThroughHttpProxy(const ProxyEndpoint& proxy, const std::string& targetHost,
                                                         std::uint16_t targetPort, Millis connectTimeout,
                                                         Millis ioTimeout, WorkerControl* control);

}  // namespace zyfar
