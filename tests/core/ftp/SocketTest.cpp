// The socket adapter and the worker control it cooperates with.
#include "ftp/Socket.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/WorkerControl.h"
#include "support/FtpTestServer.h"

namespace zyfar {
namespace {

// A connected loopback pair: the client end and the accepted server end.
struct TcpPair {
    Socket listener;
    Socket client;
    Socket server;
};

TcpPair MakePair() {
    TcpPair p;
    FtpOutcome<Socket> l = ListenTcp(SocketAddress::Loopback4(0), 4);
    EXPECT_TRUE(l.ok()) << l.result.text;
    p.listener = std::move(l.value);
    FtpOutcome<Socket> c = ConnectTcp(p.listener.LocalAddress(), std::chrono::seconds(5), nullptr);
    EXPECT_TRUE(c.ok()) << c.result.text;
    p.client = std::move(c.value);
    FtpOutcome<Socket> s = AcceptFrom(p.listener, SocketAddress::Loopback4(0), std::chrono::seconds(5), nullptr);
    EXPECT_TRUE(s.ok()) << s.result.text;
    p.server = std::move(s.value);
    return p;
}

TEST(SocketHostNames, LocalChecks) {
    EXPECT_TRUE(IsResolvableHostName("localhost"));
    EXPECT_TRUE(IsResolvableHostName("ftp.example.com"));
    EXPECT_TRUE(IsResolvableHostName("ftp.example.com."));
    EXPECT_TRUE(IsResolvableHostName("127.0.0.1"));
    EXPECT_TRUE(IsResolvableHostName("::1"));
    EXPECT_FALSE(IsResolvableHostName(""));
    EXPECT_FALSE(IsResolvableHostName("two words"));
    EXPECT_FALSE(IsResolvableHostName("tab\there"));
    EXPECT_FALSE(IsResolvableHostName("line\r\nbreak"));
    EXPECT_FALSE(IsResolvableHostName(std::string("nul\0x", 5)));
    EXPECT_FALSE(IsResolvableHostName("a..b"));
    EXPECT_FALSE(IsResolvableHostName(".leading"));
    EXPECT_FALSE(IsResolvableHostName(std::string(64, 'a') + ".com"));
    EXPECT_FALSE(IsResolvableHostName(std::string(254, 'a')));
    EXPECT_FALSE(IsResolvableHostName("server.invalid"));
    EXPECT_FALSE(IsResolvableHostName("SERVER.INVALID."));
    EXPECT_FALSE(IsResolvableHostName("invalid"));
    EXPECT_TRUE(IsResolvableHostName("invalid.example.com"));
}

TEST(SocketResolve, NumericAndLocalNames) {
    FtpOutcome<std::vector<SocketAddress>> v4 = ResolveHost("127.0.0.1", 2121);
    ASSERT_TRUE(v4.ok()) << v4.result.text;
    ASSERT_FALSE(v4.value.empty());
    EXPECT_EQ(v4.value[0].HostText(), "127.0.0.1");
    EXPECT_EQ(v4.value[0].port(), 2121);
    FtpOutcome<std::vector<SocketAddress>> local = ResolveHost("localhost", 21);
    ASSERT_TRUE(local.ok()) << local.result.text;
    EXPECT_FALSE(local.value.empty());
    EXPECT_EQ(ResolveHost("nothing.invalid", 21).result.code, ftpcode::kNameNotResolved);
}

TEST(SocketAddresses, SameHostIgnoresPortsAndMappedForms) {
    SocketAddress a = SocketAddress::Loopback4(1);
    SocketAddress b = SocketAddress::Loopback4(2);
    EXPECT_TRUE(a.SameHost(b));
    EXPECT_FALSE(a.SameHost(SocketAddress::Loopback6(1)));
    FtpOutcome<std::vector<SocketAddress>> mapped = ResolveHost("::ffff:127.0.0.1", 5);
    ASSERT_TRUE(mapped.ok());
    EXPECT_TRUE(mapped.value[0].SameHost(a));
    EXPECT_EQ(mapped.value[0].HostText(), "127.0.0.1");
    FtpOutcome<std::vector<SocketAddress>> other = ResolveHost("127.0.0.2", 5);
    ASSERT_TRUE(other.ok());
    EXPECT_FALSE(other.value[0].SameHost(a));
    EXPECT_FALSE(SocketAddress().SameHost(SocketAddress()));
}

TEST(SocketIo, SendAndReceiveWithTimeOut) {
    TcpPair p = MakePair();
    TcpStream a(std::move(p.client), nullptr);
    TcpStream b(std::move(p.server), nullptr);
    ASSERT_TRUE(a.SendAll("hello", std::chrono::seconds(5)).ok());
    char buf[16];
    FtpOutcome<std::size_t> n = b.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(5));
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(std::string(buf, n.value), "hello");
    // Nothing more: the wait ends with a time-out.
    EXPECT_EQ(b.ReceiveSome(buf, sizeof(buf), std::chrono::milliseconds(100)).result.code, ftpcode::kTimeout);
    a.ShutdownSend();
    n = b.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(5));
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(n.value, 0u);  // an orderly end
}

TEST(SocketIo, RefusedConnect) {
    Socket holder(::socket(AF_INET, SOCK_STREAM, 0));
    SocketAddress any = SocketAddress::Loopback4(0);
    ASSERT_EQ(::bind(holder.fd(), any.raw(), any.length()), 0);
    FtpOutcome<Socket> c = ConnectTcp(holder.LocalAddress(), std::chrono::seconds(5), nullptr);
    EXPECT_EQ(c.result.code, ftpcode::kCannotConnect);
}

TEST(SocketIo, AcceptTurnsAwayOtherHosts) {
    FtpOutcome<Socket> l = ListenTcp(SocketAddress::Loopback4(0), 4);
    ASSERT_TRUE(l.ok());
    const SocketAddress at = l.value.LocalAddress();
    // A stranger from 127.0.0.2 connects first, then the expected peer.
    Socket stranger(::socket(AF_INET, SOCK_STREAM, 0));
    FtpOutcome<std::vector<SocketAddress>> src = ResolveHost("127.0.0.2", 0);
    ASSERT_TRUE(src.ok());
    if (::bind(stranger.fd(), src.value[0].raw(), src.value[0].length()) != 0) {
        GTEST_SKIP() << "127.0.0.2 is not usable here";
    }
    ASSERT_EQ(::connect(stranger.fd(), at.raw(), at.length()), 0);
    FtpOutcome<Socket> good = ConnectTcp(at, std::chrono::seconds(5), nullptr);
    ASSERT_TRUE(good.ok());
    FtpOutcome<Socket> got = AcceptFrom(l.value, SocketAddress::Loopback4(0), std::chrono::seconds(5), nullptr);
    ASSERT_TRUE(got.ok()) << got.result.text;
    EXPECT_EQ(got.value.PeerAddress().port(), good.value.LocalAddress().port());
    // Only the stranger: the wait runs out.
    Socket stranger2(::socket(AF_INET, SOCK_STREAM, 0));
    ASSERT_EQ(::bind(stranger2.fd(), src.value[0].raw(), src.value[0].length()), 0);
    ASSERT_EQ(::connect(stranger2.fd(), at.raw(), at.length()), 0);
    EXPECT_EQ(AcceptFrom(l.value, SocketAddress::Loopback4(0), std::chrono::milliseconds(300), nullptr).result.code,
              ftpcode::kTimeout);
}

TEST(SocketCancel, CancelEndsABlockedReceiveAndItIsNotAnEnd) {
    TcpPair p = MakePair();
    WorkerControl control;
    TcpStream s(std::move(p.client), &control);
    s.SetCancellable(true);
    std::future<FtpOutcome<std::size_t>> r = std::async(std::launch::async, [&] {
        char buf[64];
        return s.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(60));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    control.Cancel();
    ASSERT_EQ(r.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    FtpOutcome<std::size_t> got = r.get();
    EXPECT_FALSE(got.ok());
    EXPECT_EQ(got.result.code, ftpcode::kCancelled);
}

TEST(SocketCancel, CancelEndsABlockedAccept) {
    FtpOutcome<Socket> l = ListenTcp(SocketAddress::Loopback4(0), 1);
    ASSERT_TRUE(l.ok());
    WorkerControl control;
    std::future<FtpOutcome<Socket>> r = std::async(std::launch::async, [&] {
        return AcceptFrom(l.value, SocketAddress::Loopback4(0), std::chrono::seconds(60), &control);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    control.Cancel();
    ASSERT_EQ(r.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(r.get().result.code, ftpcode::kCancelled);
}

TEST(SocketCancel, NotCancellableStreamIgnoresTheFlag) {
    TcpPair p = MakePair();
    WorkerControl control;
    control.Cancel();
    TcpStream a(std::move(p.client), &control);  // not made cancellable
    TcpStream b(std::move(p.server), nullptr);
    ASSERT_TRUE(a.SendAll("ABOR\r\n", std::chrono::seconds(5)).ok());
    char buf[16];
    FtpOutcome<std::size_t> n = b.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(5));
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(std::string(buf, n.value), "ABOR\r\n");
    // Made cancellable after the cancel: shut down at once.
    a.SetCancellable(true);
    EXPECT_EQ(a.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(5)).result.code, ftpcode::kCancelled);
}

TEST(WorkerControlTest, PauseHoldsTheCheckpointUntilResume) {
    WorkerControl control;
    EXPECT_TRUE(control.Checkpoint());
    control.Pause();
    EXPECT_TRUE(control.IsPaused());
    std::atomic<bool> passed{false};
    std::thread worker([&] {
        passed = control.Checkpoint();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(passed.load());  // still held
    control.Resume();
    worker.join();
    EXPECT_TRUE(passed.load());
    EXPECT_FALSE(control.IsPaused());
}

TEST(WorkerControlTest, CancelReleasesAPausedWorkerWithFalse) {
    WorkerControl control;
    control.Pause();
    std::promise<bool> result;
    std::thread worker([&] { result.set_value(control.Checkpoint()); });
    std::future<bool> f = result.get_future();
    control.Cancel();
    ASSERT_EQ(f.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_FALSE(f.get());
    worker.join();
    EXPECT_TRUE(control.IsCancelled());
    EXPECT_FALSE(control.Checkpoint());
}

TEST(WorkerControlTest, UnregisteredSocketIsLeftAlone) {
    TcpPair p = MakePair();
    WorkerControl control;
    control.RegisterSocket(p.client.fd());
    control.UnregisterSocket(p.client.fd());
    control.Cancel();
    // Still usable in both directions.
    TcpStream a(std::move(p.client), nullptr);
    TcpStream b(std::move(p.server), nullptr);
    ASSERT_TRUE(a.SendAll("x", std::chrono::seconds(5)).ok());
    char c = 0;
    FtpOutcome<std::size_t> n = b.ReceiveSome(&c, 1, std::chrono::seconds(5));
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(n.value, 1u);
}

}  // namespace
}  // namespace zyfar
