#pragma once
// The one thin adapter between the FTP logic and POSIX sockets: blocking I/O
// where every wait has an explicit time-out (poll), IPv4 and IPv6, connect
// time-outs, and cancellation through the worker's WorkerControl.
#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpError.h"

namespace zyfar {

class WorkerControl;

using Millis = std::chrono::milliseconds;

class SocketAddress {
public:
    SocketAddress() = default;
    SocketAddress(const sockaddr* sa, socklen_t len);

    [[nodiscard]] bool valid() const { return len_ > 0; }
    [[nodiscard]] int family() const;
    [[nodiscard]] std::uint16_t port() const;
    void set_port(std::uint16_t port);
    // The numeric host ("127.0.0.1", "::1"); an IPv4-mapped IPv6 address is
    // shown in its IPv4 form.
    [[nodiscard]] std::string HostText() const;
    // Same host address, ports ignored (IPv4-mapped forms compare equal to
    // their IPv4 address).
    [[nodiscard]] bool SameHost(const SocketAddress& other) const;

    [[nodiscard]] const sockaddr* raw() const { return reinterpret_cast<const sockaddr*>(&storage_); }
    [[nodiscard]] socklen_t length() const { return len_; }

    static SocketAddress Loopback4(std::uint16_t port);
    static SocketAddress Loopback6(std::uint16_t port);

private:
    sockaddr_storage storage_{};
    socklen_t len_ = 0;
};

// Owns one socket descriptor.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    void Close();

    [[nodiscard]] SocketAddress LocalAddress() const;
    [[nodiscard]] SocketAddress PeerAddress() const;

private:
    int fd_ = -1;
};

// True when a host name may be handed to the resolver. Empty names, names
// with blanks or control characters, over-long names or labels, and names in
// the reserved ".invalid" domain are refused without any resolver traffic.
[[nodiscard]] bool IsResolvableHostName(std::string_view host);

// Turns a host and port into addresses, blocking as long as it takes.
using HostResolver = std::function<FtpOutcome<std::vector<SocketAddress>>(const std::string& host,
                                                                          std::uint16_t port)>;

// The system resolver (getaddrinfo).
[[nodiscard]] FtpOutcome<std::vector<SocketAddress>> SystemResolve(const std::string& host, std::uint16_t port);

// Installs the resolver ResolveHost uses (tests put one in that blocks until
// released); an empty function restores the system resolver. Returns the
// previous one.
HostResolver SetHostResolver(HostResolver resolver);

// Resolves a host (name or numeric address) for TCP: 12007 when it cannot be.
// With a control the lookup runs on a helper thread of its own and a cancel
// ends the wait at once (12017); the helper finishes the lookup on its own
// and drops the answer. Without a control the lookup runs on the caller.
[[nodiscard]] FtpOutcome<std::vector<SocketAddress>> ResolveHost(const std::string& host, std::uint16_t port,
                                                                 WorkerControl* control = nullptr);

// Connects with a time-out: 12029 refused/unreachable, 12002 time-out,
// 12017 cancelled.
[[nodiscard]] FtpOutcome<Socket> ConnectTcp(const SocketAddress& to, Millis timeout,
                                            WorkerControl* control);

// A listening socket on the given address (its port may be 0).
[[nodiscard]] FtpOutcome<Socket> ListenTcp(const SocketAddress& on, int backlog);

// Accepts one connection whose peer has the host of expectedPeer; connections
// from any other address are closed and waiting goes on until the time-out.
[[nodiscard]] FtpOutcome<Socket> AcceptFrom(const Socket& listener, const SocketAddress& expectedPeer,
                                            Millis timeout, WorkerControl* control);

// Waits for readiness (POLLIN or POLLOUT). A null control is not cancellable.
[[nodiscard]] FtpResult WaitReady(int fd, short events, Millis timeout, const WorkerControl* control);

// Registers a stream's socket with its worker's control (a cancel then shuts
// it down) or takes it off; `registered` tracks which, and stays false while
// there is no control or no socket.
void SetSocketCancellable(WorkerControl* control, const Socket& socket, bool cancellable, bool& registered);

// A byte stream with a time-out per wait. The FTP logic talks to this
// interface only, so tests can put a scripted peer behind it.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Sends every byte; each wait for buffer space lasts at most timeout.
    [[nodiscard]] virtual FtpResult SendAll(std::string_view data, Millis timeout) = 0;
    // Receives between 1 and n bytes; 0 means the peer closed its side.
    [[nodiscard]] virtual FtpOutcome<std::size_t> ReceiveSome(char* buffer, std::size_t n, Millis timeout) = 0;
    // While cancellable, a cancel of the owning worker ends waits with 12017.
    virtual void SetCancellable(bool cancellable) = 0;
    // Half-closes the sending side (the end of an upload).
    virtual void ShutdownSend() = 0;
    // Closes at once.
    virtual void CloseNow() = 0;
    [[nodiscard]] virtual bool IsOpen() const = 0;
};

// A ByteStream over a connected TCP socket.
class TcpStream final : public ByteStream {
public:
    TcpStream(Socket socket, WorkerControl* control);
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    [[nodiscard]] FtpResult SendAll(std::string_view data, Millis timeout) override;
    [[nodiscard]] FtpOutcome<std::size_t> ReceiveSome(char* buffer, std::size_t n, Millis timeout) override;
    void SetCancellable(bool cancellable) override;
    void ShutdownSend() override;
    void CloseNow() override;
    [[nodiscard]] bool IsOpen() const override { return socket_.valid(); }

    [[nodiscard]] const Socket& socket() const { return socket_; }
    // Gives the socket up (no longer registered for cancelling).
    [[nodiscard]] Socket Release();

private:
    [[nodiscard]] const WorkerControl* ActiveControl() const { return cancellable_ ? control_ : nullptr; }
    [[nodiscard]] bool CancelRequested() const;
    [[nodiscard]] FtpResult IoError(int err, const char* what) const;

    Socket socket_;
    WorkerControl* control_;
    bool cancellable_ = false;
};

}  // namespace zyfar
