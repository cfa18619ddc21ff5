// The socket adapter and the cancel of the worker control it cooperates with.
#include "ftp/Socket.h"

#include <atomic>
#include <future>

#include "support/FtpClientHelpers.h"
#include "platform/WorkerControl.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

using std::chrono::seconds;

struct TcpPair {
    Socket listener;
    Socket client;
    Socket server;
};

TcpPair MakePair() {
    TcpPair p;
    p.listener = ListenTcp(SocketAddress::Loopback4(0), 4).value;
    p.client = ConnectTcp(p.listener.LocalAddress(), seconds(5), nullptr).value;
    p.server = AcceptFrom(p.listener, SocketAddress::Loopback4(0), seconds(5), nullptr).value;
    EXPECT_TRUE(p.client.valid() && p.server.valid());
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
    WorkerControl control;  // the same answer through the lookup thread
    EXPECT_FALSE(ResolveHost("localhost", 21, &control).value.empty());
    EXPECT_EQ(ResolveHost("nothing.invalid", 21, &control).result.code, ftpcode::kNameNotResolved);
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

// A name lookup that blocks until the test releases it.
struct BlockedLookup {
    std::promise<void> entered;
    CancellableEvent release;
    std::atomic<bool> returned{false};
};

TEST(SocketResolve, CancelEndsTheConnectWhileTheLookupStillBlocks) {
    auto lookup = std::make_shared<BlockedLookup>();
    std::future<void> entered = lookup->entered.get_future();
    const HostResolver previous = SetHostResolver([lookup](const std::string&, std::uint16_t port) {
        lookup->entered.set_value();
        (void)lookup->release.Wait(nullptr);
        lookup->returned = true;
        return FtpOutcome<std::vector<SocketAddress>>(std::vector<SocketAddress>{SocketAddress::Loopback4(port)});
    });
    WorkerControl control;
    FtpClient client(&control);
    std::future<FtpResult> connect =
        std::async(std::launch::async, [&] { return client.Connect(test::LoopbackOptions(1, "slow.example")); });
    const bool lookupStarted = entered.wait_for(seconds(20)) == std::future_status::ready;
    control.Cancel();
    const bool connectEnded = connect.wait_for(seconds(20)) == std::future_status::ready;
    const bool lookupStillBlocked = !lookup->returned;
    lookup->release.Set();  // the lookup thread ends on its own
    SetHostResolver(previous);
    EXPECT_TRUE(lookupStarted);
    EXPECT_TRUE(connectEnded && lookupStillBlocked);
    EXPECT_EQ(connect.get().code, ftpcode::kCancelled);
}

// A blocked receive: FtpFault.CancelUnblocksAStalledReadAndSendsAbor.
TEST(SocketCancel, CancelEndsABlockedAccept) {
    TcpPair p = MakePair();
    WorkerControl control;
    std::future<FtpOutcome<Socket>> accepted = std::async(std::launch::async, [&] {
        return AcceptFrom(p.listener, SocketAddress::Loopback4(0), seconds(60), &control);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    control.Cancel();
    ASSERT_EQ(accepted.wait_for(seconds(20)), std::future_status::ready);
    EXPECT_EQ(accepted.get().result.code, ftpcode::kCancelled);
}

TEST(SocketCancel, OnlyRegisteredSocketsAreShutDown) {
    TcpPair p = MakePair();
    WorkerControl control;
    control.RegisterSocket(p.server.fd());
    control.UnregisterSocket(p.server.fd());
    control.Cancel();
    TcpStream a(std::move(p.client), &control);  // not made cancellable
    TcpStream b(std::move(p.server), nullptr);
    ASSERT_TRUE(a.SendAll("ABOR\r\n", seconds(5)).ok());
    char buf[16];
    FtpOutcome<std::size_t> n = b.ReceiveSome(buf, sizeof(buf), seconds(5));
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(std::string(buf, n.value), "ABOR\r\n");
    // Made cancellable after the cancel: shut down at once.
    a.SetCancellable(true);
    EXPECT_EQ(a.ReceiveSome(buf, sizeof(buf), seconds(5)).result.code, ftpcode::kCancelled);
    // A cancelled control neither sleeps nor passes a checkpoint (holding and resuming: RunnerTest, CancelTest).
    EXPECT_FALSE(control.SleepFor(seconds(60)) || control.Checkpoint());
}

}  // namespace
}  // namespace zyfar
