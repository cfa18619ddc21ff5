// HTTP CONNECT tunnelling and the environment's proxy settings.
#include "ftp/FtpProxy.h"

#include <map>

#include "support/FtpClientHelpers.h"

namespace zyfar {
namespace {

using test::ConnectProxy;
using test::GetBytes;
using test::LoopbackOptions;
using test::PutBytes;
using test::PyFtpdServer;
using test::TraceLog;

EnvLookup FakeEnv(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const char* name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

TEST(FtpProxyUrl, Parses) {
    const std::pair<const char*, std::optional<ProxyEndpoint>> cases[] = {
        {"http://proxy.example.com:3128", ProxyEndpoint{"proxy.example.com", 3128}},
        {"HTTP://proxy:8080/", ProxyEndpoint{"proxy", 8080}},
        {"http://proxy", ProxyEndpoint{"proxy", 80}},
        {"http://joe:pw@proxy:81", ProxyEndpoint{"proxy", 81}},
        {"http://[::1]:8080", ProxyEndpoint{"::1", 8080}},
        {"https://proxy:443", std::nullopt},   {"socks5://proxy:1080", std::nullopt},
        {"proxy:3128", std::nullopt},          {"http://", std::nullopt},
        {"http://proxy:0", std::nullopt},      {"http://proxy:65536", std::nullopt},
        {"http://bad host:80", std::nullopt},
    };
    for (const auto& [url, want] : cases) EXPECT_EQ(ParseHttpProxyUrl(url), want) << url;
}

// ftp_proxy first, then all_proxy; no_proxy excludes hosts.
TEST(FtpProxyEnvironment, Table) {
    const ProxyEndpoint a{"a", 1}, b{"b", 2}, p{"p", 1};
    const struct {
        const char* host;
        std::map<std::string, std::string> env;
        std::optional<ProxyEndpoint> want;
    } cases[] = {
        {"h", {{"ftp_proxy", "http://a:1"}, {"all_proxy", "http://b:2"}}, a},
        {"h", {{"FTP_PROXY", "http://a:1"}}, a},
        {"h", {{"all_proxy", "http://b:2"}}, b},
        {"h", {{"ftp_proxy", "  "}, {"ALL_PROXY", "http://b:2"}}, b},
        {"h", {}, std::nullopt},
        // Not http:// means a direct connection (ftp_proxy is not skipped for all_proxy).
        {"h", {{"ftp_proxy", "socks5://s:1"}, {"all_proxy", "http://b:2"}}, std::nullopt},
        {"ftp.example.com", {{"ftp_proxy", "http://p:1"}, {"no_proxy", ".example.com"}}, std::nullopt},
        {"FTP.Example.com", {{"ftp_proxy", "http://p:1"}, {"no_proxy", "other, example.com"}}, std::nullopt},
        {"anything", {{"ftp_proxy", "http://p:1"}, {"no_proxy", "*"}}, std::nullopt},
        {"ftp.badexample.com", {{"ftp_proxy", "http://p:1"}, {"no_proxy", "example.com"}}, p},
        {"ftp.example.org", {{"ftp_proxy", "http://p:1"}, {"no_proxy", "example.com"}}, p},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProxyFromEnvironment(c.host, FakeEnv(c.env)), c.want) << "row " << (&c - cases);
    }
}

class FtpThroughProxy : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.started()) << server_.error();
        ASSERT_TRUE(proxy_.started()) << proxy_.error();
        options_ = LoopbackOptions(server_.port());
        options_.trace = trace_.Fn();
    }

    PyFtpdServer server_;
    ConnectProxy proxy_;
    FtpConnectOptions options_;
    TraceLog trace_;
    FtpClient client_;
};

TEST_F(FtpThroughProxy, ControlAndDataGoThroughTheTunnel) {
    options_.access = FtpAccess::kProxy;
    options_.proxyName = "127.0.0.1";
    options_.proxyPort = proxy_.port();
    options_.passive = false;  // the proxy forces passive data connections
    FtpResult r = client_.Connect(options_);
    ASSERT_TRUE(r.ok()) << r.text;
    const std::string data = test::PatternBytes(700000, 9);
    ASSERT_TRUE(PutBytes(client_, "/p.bin", data).ok());
    FtpOutcome<std::string> got = GetBytes(client_, "/p.bin");
    ASSERT_TRUE(got.ok()) << got.result.text;
    EXPECT_TRUE(got.value == data);
    std::vector<std::string> targets = proxy_.Targets();
    ASSERT_GE(targets.size(), 3u);  // control, upload, download
    EXPECT_EQ(targets[0], "127.0.0.1:" + std::to_string(server_.port()));
    for (std::size_t i = 1; i < targets.size(); ++i) {
        EXPECT_EQ(targets[i].rfind("127.0.0.1:", 0), 0u) << targets[i];
        EXPECT_NE(targets[i], targets[0]);
    }
    EXPECT_EQ(trace_.CountPrefix("> PORT"), 0u);
    EXPECT_EQ(trace_.CountPrefix("> EPRT"), 0u);
}

TEST_F(FtpThroughProxy, PreconfiguredAccessUsesAnHttpProxyOnly) {
    options_.access = FtpAccess::kPreconfig;
    options_.env = FakeEnv({{"ftp_proxy", "socks5://127.0.0.1:" + std::to_string(proxy_.port())}});
    ASSERT_TRUE(client_.Connect(options_).ok());
    ASSERT_TRUE(client_.Find("/*").ok());
    EXPECT_TRUE(proxy_.Targets().empty());  // not http://: connected directly
    client_.Close();
    options_.env = FakeEnv({{"ftp_proxy", "http://127.0.0.1:" + std::to_string(proxy_.port()) + "/"}});
    ASSERT_TRUE(client_.Connect(options_).ok());
    ASSERT_TRUE(client_.Find("/*").ok());
    EXPECT_GE(proxy_.Targets().size(), 2u);
}

TEST_F(FtpThroughProxy, RefusedTunnelIsCannotConnectQuotingTheProxy) {
    const Socket holder = test::RefusingSocket();
    options_.port = holder.LocalAddress().port();
    options_.access = FtpAccess::kProxy;
    options_.proxyName = "127.0.0.1";
    options_.proxyPort = proxy_.port();
    options_.retries = 2;
    FtpResult r = client_.Connect(options_);
    EXPECT_EQ(r.code, ftpcode::kCannotConnect);
    EXPECT_NE(r.text.find("502"), std::string::npos) << r.text;
    EXPECT_EQ(proxy_.Targets().size(), 3u);  // the first attempt and two retries
}

TEST(FtpProxyTunnel, TargetWithLineBreakIsRefusedBeforeConnecting) {
    FtpOutcome<Socket> s = ConnectThroughHttpProxy(ProxyEndpoint{"127.0.0.1", 9}, "host\r\nX-Evil: 1", 21,
                                                   std::chrono::seconds(1), std::chrono::seconds(1), nullptr);
    EXPECT_EQ(s.result.code, ftpcode::kNameNotResolved);
}

}  // namespace
}  // namespace zyfar
