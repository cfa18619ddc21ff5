// The socket adapter and the worker control it cooperates with.
#include "ftp/Socket.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/WorkerControl.h"
#include "support/TestEnv.h"

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
    for (const std::string good : {"localhost", "ftp.example.com", "ftp.example.com.", "127.0.0.1", "::1",
                                   "invalid.example.com"})
        EXPECT_TRUE(IsResolvableHostName(good)) << good;
    for (const std::string& bad : {std::string(), std::string("two words"), std::string("tab\there"),
                                   std::string("line\r\nbreak"), std::string("nul\0x", 5), std::string("a..b"),
                                   std::string(".leading"), std::string(64, 'a') + ".com", std::string(254, 'a'),
                                   std::string("server.invalid"), std::string("SERVER.INVALID."), std::string("invalid")})
        EXPECT_FALSE(IsResolvableHostName(bad)) << bad;
}

TEST(SocketResolve, NamesAndAddresses) {
    FtpOutcome<std::vector<SocketAddress>> v4 = ResolveHost("127.0.0.1", 2121);
    ASSERT_TRUE(v4.ok() && !v4.value.empty()) << v4.result.text;
    EXPECT_EQ(v4.value[0].HostText() + test::Cat(":", v4.value[0].port()), "127.0.0.1:2121");
    EXPECT_FALSE(ResolveHost("localhost", 21).value.empty());
    EXPECT_EQ(ResolveHost("nothing.invalid", 21).result.code, ftpcode::kNameNotResolved);
    // The same host whatever the ports and the IPv4-mapped form.
    const SocketAddress a = SocketAddress::Loopback4(1);
    EXPECT_TRUE(a.SameHost(SocketAddress::Loopback4(2)));
    EXPECT_FALSE(a.SameHost(SocketAddress::Loopback6(1)));
    FtpOutcome<std::vector<SocketAddress>> mapped = ResolveHost("::ffff:127.0.0.1", 5);
    ASSERT_TRUE(mapped.ok());
    EXPECT_TRUE(mapped.value[0].SameHost(a));
    EXPECT_EQ(mapped.value[0].HostText(), "127.0.0.1");
    EXPECT_FALSE(ResolveHost("127.0.0.2", 5).value.at(0).SameHost(a));
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

TEST(SocketCancel, CancelEndsABlockedReceiveOrAcceptAndItIsNotAnEnd) {
    TcpPair p = MakePair();
    WorkerControl control;
    TcpStream s(std::move(p.client), &control);
    s.SetCancellable(true);
    std::future<FtpOutcome<std::size_t>> received = std::async(std::launch::async, [&] {
        char buf[64];
        return s.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(60));
    });
    std::future<FtpOutcome<Socket>> accepted = std::async(std::launch::async, [&] {
        return AcceptFrom(p.listener, SocketAddress::Loopback4(0), std::chrono::seconds(60), &control);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    control.Cancel();
    ASSERT_EQ(received.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    ASSERT_EQ(accepted.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(received.get().result.code, ftpcode::kCancelled);
    EXPECT_EQ(accepted.get().result.code, ftpcode::kCancelled);
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
