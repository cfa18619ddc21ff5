// How the FTP/CONFIG settings become client options, transfer types, find
// flags and error texts.
#include "ftp/SessionSettings.h"

#include <gtest/gtest.h>

#include "core/settings/SettingsTestSupport.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

class SessionSettingsTest : public test::TempDirTest {
protected:
    static void Set(const char* key, const std::string& value) { WriteProfileString("FTP", key, value); }
};

TEST_F(SessionSettingsTest, FreshStoreGivesTheSessionDefaults) {
    const FtpConnectOptions o = SessionOptionsFromSettings();
    EXPECT_EQ(o.access, FtpAccess::kPreconfig);  // AccessType absent
    EXPECT_EQ(o.connectTimeout, Millis(20000));
    EXPECT_EQ(o.dataReceiveTimeout, Millis(20000));
    EXPECT_EQ(o.dataSendTimeout, Millis(20000));
    EXPECT_EQ(o.controlReceiveTimeout, Millis(20000));
    EXPECT_EQ(o.controlSendTimeout, Millis(20000));
    EXPECT_EQ(o.retries, 2);
    EXPECT_TRUE(o.reload);
    EXPECT_FALSE(o.cache);
    EXPECT_FALSE(o.passive);
    EXPECT_TRUE(o.host.empty());
    EXPECT_TRUE(o.user.empty());
    EXPECT_TRUE(o.password.empty());
    EXPECT_TRUE(SessionProxyString(o).empty());
}

TEST_F(SessionSettingsTest, AccessTypeTexts) {
    struct Row {
        const char* stored;
        FtpAccess expected;
    };
    const Row rows[] = {
        {"DirectAccess", FtpAccess::kDirect},
        {"ProxyAccess", FtpAccess::kProxy},
        {"PreconfigAccess", FtpAccess::kPreconfig},
        {"directaccess", FtpAccess::kPreconfig},  // values compare exactly
        {"DirectAcess", FtpAccess::kPreconfig},   // misspelled
        {"", FtpAccess::kPreconfig},
    };
    for (const Row& row : rows) {
        Set("AccessType", row.stored);
        EXPECT_EQ(SessionOptionsFromSettings().access, row.expected) << '"' << row.stored << '"';
    }
}

TEST_F(SessionSettingsTest, ProxyPortDefaultsTo2021) {
    Set("AccessType", "ProxyAccess");
    Set("ProxyName", "proxy.example");
    FtpConnectOptions o = SessionOptionsFromSettings();
    EXPECT_EQ(o.proxyName, "proxy.example");
    EXPECT_EQ(o.proxyPort, 2021);
    EXPECT_EQ(SessionProxyString(o), "proxy.example:2021");
    EXPECT_TRUE(CheckSessionOptions(o).ok());

    Set("ProxyPort", "8080");
    o = SessionOptionsFromSettings();
    EXPECT_EQ(SessionProxyString(o), "proxy.example:8080");

    // A port that cannot be one falls back to the default.
    for (const char* bad : {"0", "-5", "70000"}) {
        Set("ProxyPort", bad);
        EXPECT_EQ(SessionOptionsFromSettings().proxyPort, 2021) << bad;
    }
}

TEST_F(SessionSettingsTest, ProxyAccessWithoutNameFailsTheSessionCheck) {
    Set("AccessType", "ProxyAccess");
    const FtpResult r = CheckSessionOptions(SessionOptionsFromSettings());
    EXPECT_EQ(r.code, ftpcode::kInvalidProxyRequest);
    EXPECT_FALSE(r.text.empty());
    Set("ProxyName", "   ");
    EXPECT_FALSE(CheckSessionOptions(SessionOptionsFromSettings()).ok());
    // The proxy name matters only for the proxy access type.
    Set("AccessType", "DirectAccess");
    EXPECT_TRUE(CheckSessionOptions(SessionOptionsFromSettings()).ok());
}

TEST_F(SessionSettingsTest, TimeoutsAreSecondsTimesThousand) {
    Set("ConnectTo", "5");
    Set("RecTo", "7");
    Set("SendTo", "8");
    Set("RecToCtrl", "6");
    Set("SendToCtrl", "9");
    const FtpConnectOptions o = SessionOptionsFromSettings();
    EXPECT_EQ(o.connectTimeout, Millis(5000));
    EXPECT_EQ(o.dataReceiveTimeout, Millis(7000));
    EXPECT_EQ(o.dataSendTimeout, Millis(8000));
    EXPECT_EQ(o.controlReceiveTimeout, Millis(6000));
    EXPECT_EQ(o.controlSendTimeout, Millis(9000));
}

TEST_F(SessionSettingsTest, UnusableTimeoutsFallBackOrAreCapped) {
    Set("ConnectTo", "0");
    Set("RecTo", "-3");
    Set("SendTo", "2147483647");  // would overflow 32 bits once multiplied
    const FtpConnectOptions o = SessionOptionsFromSettings();
    EXPECT_EQ(o.connectTimeout, Millis(20000));
    EXPECT_EQ(o.dataReceiveTimeout, Millis(20000));
    EXPECT_EQ(o.dataSendTimeout, kMaxSessionTimeout);
}

TEST_F(SessionSettingsTest, RetryCount) {
    Set("Retry", "0");
    EXPECT_EQ(SessionOptionsFromSettings().retries, 0);
    Set("Retry", "5");
    EXPECT_EQ(SessionOptionsFromSettings().retries, 5);
    Set("Retry", "-1");
    EXPECT_EQ(SessionOptionsFromSettings().retries, 2);
    Set("Retry", "1000000");
    EXPECT_EQ(SessionOptionsFromSettings().retries, kMaxSessionRetries);
}

TEST_F(SessionSettingsTest, PassiveOnlyForYes) {
    Set("Passive", "YES");
    EXPECT_TRUE(SessionOptionsFromSettings().passive);
    for (const char* other : {"NO", "yes", "1", ""}) {
        Set("Passive", other);
        EXPECT_FALSE(SessionOptionsFromSettings().passive) << other;
    }
}

TEST_F(SessionSettingsTest, FindFlagsFollowReloadAndCache) {
    EXPECT_EQ(FindFlags(), 0x84000000u);
    Set("Reload", "NO");
    Set("Cache", "YES");
    EXPECT_EQ(FindFlags(), 0u);
    EXPECT_FALSE(SessionOptionsFromSettings().reload);
    EXPECT_TRUE(SessionOptionsFromSettings().cache);
    Set("Reload", "YES");
    EXPECT_EQ(FindFlags(), kInternetFlagReload);
    Set("Reload", "NO");
    Set("Cache", "NO");
    EXPECT_EQ(FindFlags(), kInternetFlagDontCache);
    // Any Reload text other than "YES" asks for no reload; any Cache text
    // other than "NO" allows caching.
    Set("Reload", "yes");
    Set("Cache", "maybe");
    EXPECT_EQ(FindFlags(), 0u);
    EXPECT_FALSE(SessionOptionsFromSettings().reload);
    EXPECT_TRUE(SessionOptionsFromSettings().cache);
}

class TransferTypeTest : public test::TempDirTest {
protected:
    static void Extensions(const std::string& list) { WriteProfileString("CONFIG", "TextExtensions", list); }
    static void Mode(const std::string& mode) { WriteProfileString("FTP", "TransferType", mode); }
};

TEST_F(TransferTypeTest, WithoutExtensionListEverythingIsBinary) {
    EXPECT_EQ(ChooseTransferType("notes.txt", 0), 2);
    EXPECT_EQ(ChooseTransferType("notes.txt", 1), 2);  // TransferType absent: automatic
}

TEST_F(TransferTypeTest, AutomaticByExtensionTable) {
    Extensions("txt,htm,tar.gz");
    struct Row {
        const char* name;
        int expected;
    };
    const Row rows[] = {
        {"README", 2},       // no dot
        {"Notes.TXT", 1},    // case does not matter
        {"notes.txt", 1},
        {"a.b.txt", 2},      // the extension is "b.txt"
        {"a.tar.gz", 1},     // everything after the first dot
        {"page.html", 2},    // "htm" is not "html"
        {".txt", 1},         // a dot first: the extension is "txt"
        {"file.", 2},        // empty extension matches no piece
        {"", 2},
        {"/pub/a.b/README", 2},      // folders of a path do not count
        {"/pub/a.b/notes.TXT", 1},
    };
    for (const Row& row : rows) EXPECT_EQ(ChooseTransferType(row.name, 0), row.expected) << row.name;
    Extensions("txt,b.txt");
    EXPECT_EQ(ChooseTransferType("a.b.txt", 0), 1);
}

TEST_F(TransferTypeTest, ListPiecesAreTrimmedAndEmptyPiecesIgnored) {
    Extensions(" txt , log,,");
    EXPECT_EQ(ChooseTransferType("a.txt", 0), 1);
    EXPECT_EQ(ChooseTransferType("a.log", 0), 1);
    EXPECT_EQ(ChooseTransferType("a.", 0), 2);
    Extensions("");
    EXPECT_EQ(ChooseTransferType("a.", 0), 2);
    EXPECT_EQ(ChooseTransferType("a.txt", 0), 2);
}

TEST_F(TransferTypeTest, ConfiguredModeWinsOnlyWithFlagOne) {
    Extensions("txt");
    Mode("BINARY");
    EXPECT_EQ(ChooseTransferType("a.txt", 1), 2);
    EXPECT_EQ(ChooseTransferType("a.txt", 0), 1);  // flag 0: the table decides
    Mode("TEXT");
    EXPECT_EQ(ChooseTransferType("a.bin", 1), 1);
    EXPECT_EQ(ChooseTransferType("a.bin", 2), 2);  // only flag 1 asks for the mode
    Mode("AUTOMATIC");
    EXPECT_EQ(ChooseTransferType("a.txt", 1), 1);
    EXPECT_EQ(ChooseTransferType("a.bin", 1), 2);
    Mode("text");  // compared exactly: automatic
    EXPECT_EQ(ChooseTransferType("a.bin", 1), 2);
}

TEST(InternetErrorMessage, KnownCodesGiveTheirTexts) {
    EXPECT_EQ(InternetErrorMessage(12002), "The request has timed out.");
    EXPECT_EQ(InternetErrorMessage(12007), "The server name could not be resolved.\n");
    EXPECT_EQ(InternetErrorMessage(12015), "The request to connect to and log on to an FTP server  failed.");
    EXPECT_EQ(InternetErrorMessage(12029), "The attempt to connect to the server failed.");
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
}

TEST(InternetErrorMessage, UnknownCodesGiveNothing) {
    // Gaps of the table, other string-table numbers and nonsense.
    for (int code : {0, -1, 12000, 12014, 12034, 12035, 12044, 12999, 32861, 351, 237, 2147483647})
        EXPECT_EQ(InternetErrorMessage(code), "") << code;
}

}  // namespace
}  // namespace zyfar
