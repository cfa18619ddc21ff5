// How the FTP/CONFIG settings become client options, transfer types, find flags and error texts; the proxies
// they and the environment name, and HTTP CONNECT tunnelling.
#include "ftp/SessionSettings.h"

#include <map>

#include "ftp/FtpProxy.h"
#include "support/FtpClientHelpers.h"
#include "support/TestEnv.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

class SessionSettingsTest : public test::IsolatedHomeTest {
protected:
    static void Set(const char* key, const std::string& value) { WriteProfileString("FTP", key, value); }
};

TEST_F(SessionSettingsTest, FreshStoreGivesTheSessionDefaults) {
    const FtpConnectOptions o = SessionOptionsFromSettings();
    EXPECT_EQ(o.access, FtpAccess::kPreconfig);  // AccessType absent
    for (Millis t : {o.connectTimeout, o.dataReceiveTimeout, o.dataSendTimeout, o.controlReceiveTimeout,
                     o.controlSendTimeout})
        EXPECT_EQ(t, Millis(20000));
    EXPECT_EQ(o.retries, 2);
    EXPECT_TRUE(o.reload);
    EXPECT_FALSE(o.cache);
    EXPECT_FALSE(o.passive);
    EXPECT_EQ(o.host + o.user + o.password, "");
    EXPECT_TRUE(SessionProxyString(o).empty());
}

TEST_F(SessionSettingsTest, StoredTextsBecomeOptions) {
    enum Field { access, connect, dataIn, dataOut, ctrlIn, ctrlOut, retries, passive, proxyPort };
    const auto values = [](const FtpConnectOptions& o) {
        return std::vector<long long>{static_cast<long long>(o.access), o.connectTimeout.count(),
                                      o.dataReceiveTimeout.count(), o.dataSendTimeout.count(),
                                      o.controlReceiveTimeout.count(), o.controlSendTimeout.count(),
                                      o.retries, o.passive, o.proxyPort};
    };
    const auto mode = [](FtpAccess a) { return static_cast<long long>(a); };
    const struct {
        const char* key;
        const char* value;
        Field field;
        long long expected;
    } cases[] = {
        {"AccessType", "DirectAccess", access, mode(FtpAccess::kDirect)},
        {"AccessType", "ProxyAccess", access, mode(FtpAccess::kProxy)},
        {"ProxyPort", "8080", proxyPort, 8080},
        {"ProxyPort", "0", proxyPort, 2021},
        {"ProxyPort", "70000", proxyPort, 2021},
        {"AccessType", "PreconfigAccess", access, mode(FtpAccess::kPreconfig)},
        {"AccessType", "directaccess", access, mode(FtpAccess::kPreconfig)},  // values compare exactly
        {"ConnectTo", "5", connect, 5000},  // seconds times a thousand
        {"RecTo", "7", dataIn, 7000},
        {"SendTo", "8", dataOut, 8000},
        {"RecToCtrl", "6", ctrlIn, 6000},
        {"SendToCtrl", "9", ctrlOut, 9000},
        {"ConnectTo", "0", connect, 20000},  // unusable: the default
        {"RecTo", "-3", dataIn, 20000},
        {"SendTo", "2147483647", dataOut, kMaxSessionTimeout.count()},  // would overflow 32 bits
        {"Retry", "5", retries, 5},
        {"Retry", "-1", retries, 2},
        {"Retry", "1000000", retries, kMaxSessionRetries},
        {"Passive", "YES", passive, 1},
        {"Passive", "yes", passive, 0},
    };
    for (const auto& c : cases) {
        Set(c.key, c.value);
        EXPECT_EQ(values(SessionOptionsFromSettings())[c.field], c.expected) << c.key << "=" << c.value;
    }
}

// A proxy access without a name is refused by the connect: BrowseConnectTest.BadPortAndProxyWithoutNameFail.
TEST_F(SessionSettingsTest, ProxyAccessNamesItsProxy) {
    Set("AccessType", "ProxyAccess");
    Set("ProxyName", "proxy.example");
    FtpConnectOptions o = SessionOptionsFromSettings();
    EXPECT_EQ(SessionProxyString(o), "proxy.example:2021");
    EXPECT_TRUE(CheckSessionOptions(o).ok());
    Set("ProxyName", "   ");
    EXPECT_FALSE(CheckSessionOptions(SessionOptionsFromSettings()).ok());
}

// Reload only for "YES", no cache only for "NO" (values compare exactly).
TEST_F(SessionSettingsTest, FindFlagsFollowReloadAndCache) {
    const struct {
        const char* reload;  // nullptr: absent
        const char* cache;
        std::uint32_t flags;
    } rows[] = {
        {nullptr, nullptr, 0x84000000u},      {"NO", "YES", 0u}, {"YES", "YES", kInternetFlagReload},
        {"NO", "NO", kInternetFlagDontCache}, {"yes", "maybe", 0u},
    };
    for (const auto& row : rows) {
        if (row.reload) Set("Reload", row.reload);
        if (row.cache) Set("Cache", row.cache);
        SCOPED_TRACE(std::string(row.reload ? row.reload : "-") + "/" + (row.cache ? row.cache : "-"));
        EXPECT_EQ(FindFlags(), row.flags);
        const FtpConnectOptions o = SessionOptionsFromSettings();
        EXPECT_EQ(o.reload, (row.flags & kInternetFlagReload) != 0);
        EXPECT_EQ(o.cache, (row.flags & kInternetFlagDontCache) == 0);
    }
}

class TransferTypeTest : public test::IsolatedHomeTest {};

TEST_F(TransferTypeTest, ExtensionListAndConfiguredMode) {
    const struct {
        const char* extensions;  // nullptr: absent
        const char* mode;        // nullptr: absent (automatic)
        const char* name;
        int flag;
        int expected;  // 1 text, 2 binary
    } cases[] = {
        {nullptr, nullptr, "notes.txt", 0, 2},  // no list: everything is binary
        {"txt,htm,tar.gz", nullptr, "README", 0, 2},     // no dot
        {"txt,htm,tar.gz", nullptr, "Notes.TXT", 0, 1},  // case does not matter
        {"txt,htm,tar.gz", nullptr, "a.b.txt", 0, 2},    // the extension is "b.txt"
        {"txt,htm,tar.gz", nullptr, "a.tar.gz", 0, 1},   // everything after the first dot
        {"txt,htm,tar.gz", nullptr, "page.html", 0, 2},  // "htm" is not "html"
        {"txt,htm,tar.gz", nullptr, ".txt", 0, 1},       // a dot first: the extension is "txt"
        {"txt,htm,tar.gz", nullptr, "file.", 0, 2},      // an empty extension matches no piece
        {"txt,htm,tar.gz", nullptr, "/pub/a.b/README", 0, 2},  // folders of a path do not count
        {"txt,htm,tar.gz", nullptr, "/pub/a.b/notes.TXT", 0, 1},
        {"txt,b.txt", nullptr, "a.b.txt", 0, 1},
        {" txt , log,,", nullptr, "a.log", 0, 1},  // pieces trimmed, empty pieces ignored
        {"", nullptr, "a.txt", 0, 2},
        {"txt", "BINARY", "a.txt", 1, 2},  // only flag 1 asks for the configured mode
        {"txt", "BINARY", "a.txt", 0, 1},
        {"txt", "TEXT", "a.bin", 1, 1},
        {"txt", "AUTOMATIC", "a.txt", 1, 1},
        {"txt", "text", "a.bin", 1, 2},  // compared exactly: automatic
    };
    for (const auto& c : cases) {
        if (c.extensions) WriteProfileString("CONFIG", "TextExtensions", c.extensions);
        if (c.mode) WriteProfileString("FTP", "TransferType", c.mode);
        EXPECT_EQ(ChooseTransferType(c.name, c.flag), c.expected)
            << c.name << " flag " << c.flag << " list " << (c.extensions ? c.extensions : "-") << " mode "
            << (c.mode ? c.mode : "-");
    }
}

TEST(InternetErrorMessage, KnownCodesGiveTheirTextsOthersNothing) {
    EXPECT_EQ(InternetErrorMessage(12002), "The request has timed out.");
    EXPECT_EQ(InternetErrorMessage(12007), "The server name could not be resolved.\n");
    EXPECT_EQ(InternetErrorMessage(12015), "The request to connect to and log on to an FTP server  failed.");
    EXPECT_EQ(InternetErrorMessage(12111),
              "The FTP operation was not completed because the session \nwas aborted.");
    EXPECT_FALSE(InternetErrorMessage(12038).empty());
    // Every code the FTP client hands out has a text.
    for (int code : {ftpcode::kTimeout, ftpcode::kExtendedError, ftpcode::kInternalError, ftpcode::kNameNotResolved,
                     ftpcode::kIncorrectUserName, ftpcode::kLoginFailure, ftpcode::kInvalidOperation,
                     ftpcode::kCancelled, ftpcode::kIncorrectHandleState, ftpcode::kCannotConnect,
                     ftpcode::kConnectionAborted, ftpcode::kConnectionReset, ftpcode::kInvalidProxyRequest,
                     ftpcode::kTransferInProgress, ftpcode::kDropped})
        EXPECT_FALSE(InternetErrorMessage(code).empty()) << code;
    // Gaps of the table, other string-table numbers and nonsense.
    for (int code : {0, -1, 12000, 12014, 12034, 12044, 32861, 351, 2147483647})
        EXPECT_EQ(InternetErrorMessage(code), "") << code;
}

// ---- proxies ----

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
        {"HTTP://proxy:8080/", ProxyEndpoint{"proxy", 8080}}, {"http://proxy", ProxyEndpoint{"proxy", 80}},
        {"http://joe:pw@proxy:81", ProxyEndpoint{"proxy", 81}}, {"http://[::1]:8080", ProxyEndpoint{"::1", 8080}},
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
