// How the FTP/CONFIG settings become client options, transfer types, find flags and error texts.
#include "ftp/SessionSettings.h"

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

TEST_F(SessionSettingsTest, FindFlagsFollowReloadAndCache) {
    EXPECT_EQ(FindFlags(), 0x84000000u);
    Set("Reload", "NO");
    Set("Cache", "YES");
    EXPECT_EQ(FindFlags(), 0u);
    Set("Reload", "YES");
    EXPECT_EQ(FindFlags(), kInternetFlagReload);
    Set("Reload", "NO");
    Set("Cache", "NO");
    EXPECT_EQ(FindFlags(), kInternetFlagDontCache);
    // Reload only for "YES", no cache only for "NO".
    Set("Reload", "yes");
    Set("Cache", "maybe");
    EXPECT_EQ(FindFlags(), 0u);
    EXPECT_FALSE(SessionOptionsFromSettings().reload);
    EXPECT_TRUE(SessionOptionsFromSettings().cache);
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

}  // namespace
}  // namespace zyfar
