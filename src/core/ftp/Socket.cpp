#include "ftp/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/TextUtil.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

using Clock = std::chrono::steady_clock;

// A cancellable wait wakes at least this often to look at the cancel flag, in
// case a cancel lands between registering a socket and blocking on it.
constexpr Millis kCancelPollSlice{200};

bool SetNonBlocking(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) {
        return false;
    }
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, wanted) == 0;
}

std::string ErrnoText(const char* what, int err) {
    std::string t = what;
    t += ": ";
    t += std::strerror(err);
    return t;
}

// The IPv4 address inside an IPv4 or IPv4-mapped IPv6 address, if any.
bool AsIpv4(const sockaddr* sa, in_addr* out) {
    if (sa->sa_family == AF_INET) {
        *out = reinterpret_cast<const sockaddr_in*>(sa)->sin_addr;
        return true;
    }
    if (sa->sa_family == AF_INET6) {
        const auto* s6 = reinterpret_cast<const sockaddr_in6*>(sa);
        if (IN6_IS_ADDR_V4MAPPED(&s6->sin6_addr)) {
            std::memcpy(&out->s_addr, &s6->sin6_addr.s6_addr[12], 4);
            return true;
        }
    }
    return false;
}

}  // namespace

// ---- SocketAddress ---------------------------------------------------------

SocketAddress::SocketAddress(const sockaddr* sa, socklen_t len) {
    if (sa != nullptr && len > 0 && static_cast<std::size_t>(len) <= sizeof(storage_)) {
        std::memcpy(&storage_, sa, static_cast<std::size_t>(len));
        len_ = len;
    }
}

int SocketAddress::family() const { return len_ > 0 ? storage_.ss_family : AF_UNSPEC; }

std::uint16_t SocketAddress::port() const {
    if (family() == AF_INET) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
    }
    if (family() == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
    }
    return 0;
}

void SocketAddress::set_port(std::uint16_t p) {
    if (family() == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(p);
    } else if (family() == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(p);
    }
}

std::string SocketAddress::HostText() const {
    char buf[INET6_ADDRSTRLEN] = {};
    in_addr v4{};
    if (len_ > 0 && AsIpv4(raw(), &v4)) {
        ::inet_ntop(AF_INET, &v4, buf, sizeof(buf));
        return buf;
    }
    if (family() == AF_INET6) {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr, buf,
                    sizeof(buf));
        return buf;
    }
    return {};
}

bool SocketAddress::SameHost(const SocketAddress& other) const {
    if (!valid() || !other.valid()) {
        return false;
    }
    in_addr a{};
    in_addr b{};
    const bool a4 = AsIpv4(raw(), &a);
    const bool b4 = AsIpv4(other.raw(), &b);
    if (a4 || b4) {
        return a4 && b4 && a.s_addr == b.s_addr;
    }
    const auto* x = reinterpret_cast<const sockaddr_in6*>(&storage_);
    const auto* y = reinterpret_cast<const sockaddr_in6*>(other.raw());
    return std::memcmp(&x->sin6_addr, &y->sin6_addr, sizeof(in6_addr)) == 0;
}

SocketAddress SocketAddress::Loopback4(std::uint16_t p) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(p);
    return SocketAddress(reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
}

SocketAddress SocketAddress::Loopback6(std::uint16_t p) {
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_addr = in6addr_loopback;
    sa.sin6_port = htons(p);
    return SocketAddress(reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
}

// ---- Socket ------------------------------------------------------------------

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

SocketAddress Socket::LocalAddress() const {
    sockaddr_storage ss{};
    socklen_t len = sizeof(ss);
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
        return {};
    }
    return SocketAddress(reinterpret_cast<const sockaddr*>(&ss), len);
}

SocketAddress Socket::PeerAddress() const {
    sockaddr_storage ss{};
    socklen_t len = sizeof(ss);
    if (fd_ < 0 || ::getpeername(fd_, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
        return {};
    }
    return SocketAddress(reinterpret_cast<const sockaddr*>(&ss), len);
}

// ---- resolving -----------------------------------------------------------------

bool IsResolvableHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    for (char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) {
            return false;
        }
    }
    // A numeric IPv6 address has no labels to check.
    if (host.find(':') != std::string_view::npos) {
        return true;
    }
    std::string_view rest = host;
    if (rest.back() == '.') {
        rest.remove_suffix(1);  // a fully qualified name may end with a dot
    }
    std::size_t start = 0;
    std::string_view lastLabel;
    while (start <= rest.size()) {
        const std::size_t dot = rest.find('.', start);
        const std::size_t end = dot == std::string_view::npos ? rest.size() : dot;
        const std::string_view label = rest.substr(start, end - start);
        if (label.empty() || label.size() > 63) {
            return false;
        }
        lastLabel = label;
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    // Names in the reserved "invalid" domain never resolve (RFC 6761 6.4).
    return !EqualsNoCase(lastLabel, "invalid");
}

FtpOutcome<std::vector<SocketAddress>> SystemResolve(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc == EAI_NONAME || rc == EAI_ADDRFAMILY) {
        // AI_ADDRCONFIG hides loopback-only families on hosts without other
        // addresses; ask again without it before giving up.
        hints.ai_flags = AI_NUMERICSERV;
        rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    }
    if (rc != 0 || list == nullptr) {
        return FtpFail(ftpcode::kNameNotResolved,
                       "The server name could not be resolved: " + host + " (" + ::gai_strerror(rc) + ")");
    }
    std::vector<SocketAddress> out;
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET || ai->ai_family == AF_INET6) {
            out.emplace_back(ai->ai_addr, static_cast<socklen_t>(ai->ai_addrlen));
        }
    }
    ::freeaddrinfo(list);
    if (out.empty()) {
        return FtpFail(ftpcode::kNameNotResolved, "The server name could not be resolved: " + host);
    }
    return out;
}

namespace {

std::mutex g_resolverMutex;
HostResolver g_resolver;  // empty: SystemResolve

HostResolver CurrentResolver() {
    std::lock_guard lock(g_resolverMutex);
    return g_resolver ? g_resolver : HostResolver(SystemResolve);
}

// What the lookup thread hands back; shared, so the thread may outlive a
// cancelled wait.
struct PendingLookup {
    CancellableEvent done;
    std::mutex mutex;
    FtpOutcome<std::vector<SocketAddress>> answer;
};

}  // namespace

HostResolver SetHostResolver(HostResolver resolver) {
    std::lock_guard lock(g_resolverMutex);
    HostResolver previous = std::move(g_resolver);
    g_resolver = std::move(resolver);
    return previous;
}

FtpOutcome<std::vector<SocketAddress>> ResolveHost(const std::string& host, std::uint16_t port,
                                                   WorkerControl* control) {
    if (!IsResolvableHostName(host)) {
        return FtpFail(ftpcode::kNameNotResolved, "The server name could not be resolved: " + host);
    }
    HostResolver resolve = CurrentResolver();
    if (control == nullptr) {
        return resolve(host, port);
    }
    if (control->IsCancelled()) {
        return CancelledResult();
    }
    // getaddrinfo cannot be interrupted: it runs on a detached thread that
    // owns everything it touches, and the worker waits for its answer or for
    // a cancel, whichever comes first.
    auto pending = std::make_shared<PendingLookup>();
    try {
        std::thread([pending, resolve = std::move(resolve), host, port] {
            FtpOutcome<std::vector<SocketAddress>> answer = resolve(host, port);
            {
                std::lock_guard lock(pending->mutex);
                pending->answer = std::move(answer);
            }
            pending->done.Set();
        }).detach();
    } catch (const std::system_error&) {
        return FtpFail(ftpcode::kInternalError, "The name lookup could not be started.");
    }
    if (!pending->done.Wait(control)) {
        return CancelledResult();
    }
    std::lock_guard lock(pending->mutex);
    return std::move(pending->answer);
}

// ---- waiting, connecting, listening ----------------------------------------------

FtpResult WaitReady(int fd, short events, Millis timeout, const WorkerControl* control) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (control != nullptr && control->IsCancelled()) {
            return CancelledResult();
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return FtpFail(ftpcode::kTimeout, "The request has timed out.");
        }
        auto wait = std::chrono::duration_cast<Millis>(deadline - now) + Millis(1);
        if (control != nullptr) {
            wait = std::min(wait, kCancelPollSlice);
        }
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(wait.count()));
        if (rc < 0) {
            if (errno == EINTR) {
                continue;
            }
            return FtpFail(ftpcode::kInternalError, ErrnoText("poll", errno));
        }
        if (rc > 0) {
            if (control != nullptr && control->IsCancelled()) {
                return CancelledResult();
            }
            return FtpOk();
        }
    }
}

FtpOutcome<Socket> ConnectTcp(const SocketAddress& to, Millis timeout, WorkerControl* control) {
    Socket s(::socket(to.family(), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!s.valid()) {
        return FtpFail(ftpcode::kCannotConnect, ErrnoText("socket", errno));
    }
    if (!SetNonBlocking(s.fd(), true)) {
        return FtpFail(ftpcode::kInternalError, ErrnoText("fcntl", errno));
    }
    SocketRegistration reg(control, s.fd());
    int rc = ::connect(s.fd(), to.raw(), to.length());
    if (rc != 0 && errno != EINPROGRESS) {
        return FtpFail(ftpcode::kCannotConnect,
                       ErrnoText(("connect to " + to.HostText()).c_str(), errno));
    }
    if (rc != 0) {
        FtpResult w = WaitReady(s.fd(), POLLOUT, timeout, control);
        if (!w.ok()) {
            if (w.code == ftpcode::kTimeout) {
                return FtpFail(ftpcode::kTimeout,
                               "The request has timed out (connecting to " + to.HostText() + ").");
            }
            return w;
        }
        int err = 0;
        socklen_t len = sizeof(err);
        if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
            err = errno;
        }
        if (control != nullptr && control->IsCancelled()) {
            return CancelledResult();
        }
        if (err != 0) {
            return FtpFail(err == ETIMEDOUT ? ftpcode::kTimeout : ftpcode::kCannotConnect,
                           ErrnoText(("connect to " + to.HostText()).c_str(), err));
        }
    }
    if (!SetNonBlocking(s.fd(), false)) {
        return FtpFail(ftpcode::kInternalError, ErrnoText("fcntl", errno));
    }
    const int one = 1;
    ::setsockopt(s.fd(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return s;
}

FtpOutcome<Socket> ListenTcp(const SocketAddress& on, int backlog) {
    Socket s(::socket(on.family(), SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!s.valid()) {
        return FtpFail(ftpcode::kInternalError, ErrnoText("socket", errno));
    }
    if (::bind(s.fd(), on.raw(), on.length()) != 0) {
        return FtpFail(ftpcode::kInternalError, ErrnoText("bind", errno));
    }
    if (::listen(s.fd(), backlog) != 0) {
        return FtpFail(ftpcode::kInternalError, ErrnoText("listen", errno));
    }
    return s;
}

FtpOutcome<Socket> AcceptFrom(const Socket& listener, const SocketAddress& expectedPeer, Millis timeout,
                              WorkerControl* control) {
    const auto deadline = Clock::now() + timeout;
    SocketRegistration reg(control, listener.fd());
    for (;;) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
        FtpResult w = WaitReady(listener.fd(), POLLIN, std::max(left, Millis(0)), control);
        if (!w.ok()) {
            return w;
        }
        sockaddr_storage ss{};
        socklen_t len = sizeof(ss);
        Socket conn(::accept4(listener.fd(), reinterpret_cast<sockaddr*>(&ss), &len, SOCK_CLOEXEC));
        if (!conn.valid()) {
            if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED) {
                continue;
            }
            if (control != nullptr && control->IsCancelled()) {
                return CancelledResult();
            }
            return FtpFail(ftpcode::kCannotConnect, ErrnoText("accept", errno));
        }
        const SocketAddress peer(reinterpret_cast<const sockaddr*>(&ss), len);
        if (!peer.SameHost(expectedPeer)) {
            continue;  // not the server: drop it and keep waiting for the real one
        }
        return conn;
    }
}

void SetSocketCancellable(WorkerControl* control, const Socket& socket, bool cancellable, bool& registered) {
    if (cancellable == registered || control == nullptr || !socket.valid()) {
        registered = cancellable && control != nullptr && socket.valid();
        return;
    }
    if (cancellable) {
        control->RegisterSocket(socket.fd());
    } else {
        control->UnregisterSocket(socket.fd());
    }
    registered = cancellable;
}

// ---- TcpStream ------------------------------------------------------------------------

TcpStream::TcpStream(Socket socket, WorkerControl* control)
    : socket_(std::move(socket)), control_(control) {}

TcpStream::~TcpStream() { CloseNow(); }

void TcpStream::SetCancellable(bool cancellable) {
    SetSocketCancellable(control_, socket_, cancellable, cancellable_);
}

bool TcpStream::CancelRequested() const { return ActiveControl() != nullptr && ActiveControl()->IsCancelled(); }

FtpResult TcpStream::IoError(int err, const char* what) const {
    if (CancelRequested()) {
        return CancelledResult();
    }
    if (err == ECONNRESET) {
        return FtpFail(ftpcode::kConnectionReset, "The connection with the server has been reset.");
    }
    if (err == ETIMEDOUT) {
        return FtpFail(ftpcode::kTimeout, "The request has timed out.");
    }
    return FtpFail(ftpcode::kConnectionAborted, ErrnoText(what, err));
}

FtpResult TcpStream::SendAll(std::string_view data, Millis timeout) {
    if (!socket_.valid()) {
        return FtpFail(ftpcode::kConnectionAborted, "The connection with the server has been terminated.");
    }
    // The send is tried first and the wait comes only when the socket is
    // full: a copy that keeps up with the peer makes one system call per
    // buffer, not two.
    while (!data.empty()) {
        if (CancelRequested()) {
            return CancelledResult();
        }
        const ssize_t n = ::send(socket_.fd(), data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                FtpResult w = WaitReady(socket_.fd(), POLLOUT, timeout, ActiveControl());
                if (!w.ok()) {
                    return w;
                }
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            return IoError(errno, "send");
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    if (CancelRequested()) {
        return CancelledResult();
    }
    return FtpOk();
}

FtpOutcome<std::size_t> TcpStream::ReceiveSome(char* buffer, std::size_t n, Millis timeout) {
    if (!socket_.valid()) {
        return FtpFail(ftpcode::kConnectionAborted, "The connection with the server has been terminated.");
    }
    // As in SendAll: receive first, wait only when nothing is there.
    for (;;) {
        if (CancelRequested()) {
            return CancelledResult();
        }
        const ssize_t got = ::recv(socket_.fd(), buffer, n, MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                FtpResult w = WaitReady(socket_.fd(), POLLIN, timeout, ActiveControl());
                if (!w.ok()) {
                    return w;
                }
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            return IoError(errno, "recv");
        }
        // A cancel shuts the socket down, which looks like an orderly end:
        // never let that pass for the end of the data.
        if (got == 0 && CancelRequested()) {
            return CancelledResult();
        }
        return static_cast<std::size_t>(got);
    }
}

Socket TcpStream::Release() {
    SetCancellable(false);
    return std::move(socket_);
}

void TcpStream::ShutdownSend() {
    if (socket_.valid()) {
        ::shutdown(socket_.fd(), SHUT_WR);
    }
}

void TcpStream::CloseNow() {
    if (socket_.valid()) {
        SetCancellable(false);
        socket_.Close();
    }
}

}  // namespace zyfar
