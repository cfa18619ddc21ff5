// The remote tree against a pyftpdlib on 127.0.0.1 that requires FTP over
// TLS for the login and the data, its self-signed certificate trusted
// beforehand: a site asks for TLS through its profile's Encryption, through
// the FTP section's default for a quick connect, or through an ftpes:// URL.
// Asked for, the tree lists the folder and a put from the local list
// arrives; not asked for, nothing connects (no clear-text fall-back works).
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/Application.h"
#include "app/MainFrame.h"
#include "dialogs/ScriptedPrompter.h"
#include "ftp/CertificateTrust.h"
#include "ftp/SessionSettings.h"
#include "log/TransferLog.h"
#include "platform/Paths.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "support/FtpTestServer.h"
#include "support/TestCertificates.h"
#include "support/UiTestEnv.h"
#include "views/DirView.h"
#include "views/RemFilesView.h"
#include "views/RemoteTree.h"

using namespace zyfar;
using namespace std::chrono_literals;

namespace {

// "SHA256:" and the upper-case hex of the certificate's SHA-256 digest.
std::string FingerprintOf(const std::string& pem) {
    X509* x = test::detail::ParseCert(pem);
    unsigned char md[32];
    unsigned int len = 0;
    const bool ok = x != nullptr && X509_digest(x, EVP_sha256(), md, &len) == 1;
    X509_free(x);
    std::string out = "SHA256:";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned int i = 0; ok && i < len; ++i) {
        out += kHex[md[i] >> 4];
        out += kHex[md[i] & 15];
    }
    return out;
}

QStringList Names(const CRemFilesView& list) {
    QStringList out;
    for (int i = 0; i < list.RowCount(); ++i) out << list.Files()->CellText(i, 0);
    out.sort();
    return out;
}

}  // namespace

class TlsBrowseTest : public QObject {
    Q_OBJECT
    std::unique_ptr<uitest::UiTestEnv> env_;
    std::unique_ptr<QTemporaryDir> home_;

private slots:
    void init() {
        // The trusted-certificates file lives in the settings folder: a private one.
        home_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", home_->filePath(QStringLiteral("config")).toUtf8());
        env_ = std::make_unique<uitest::UiTestEnv>();
        (void)TheTransferLog().ReloadSettings();
    }
    void cleanup() {
        env_.reset();
        qunsetenv("XDG_CONFIG_HOME");
        home_.reset();
    }

    void onlyProtectedConnects_data();
    void onlyProtectedConnects();
};

void TlsBrowseTest::onlyProtectedConnects_data() {
    QTest::addColumn<QString>("how");         // "profile", "quick" or "url"
    QTest::addColumn<QString>("encryption");  // the profile's or FTP section's Encryption ("" absent); the URL's scheme
    QTest::addColumn<bool>("connects");
    QTest::newRow("explicit profile") << "profile" << "EXPLICIT" << true;
    QTest::newRow("profile with none") << "profile" << "NONE" << false;
    QTest::newRow("profile without the key") << "profile" << "" << false;
    QTest::newRow("quick connect, explicit default") << "quick" << "EXPLICIT" << true;
    QTest::newRow("quick connect, no default") << "quick" << "" << false;
    QTest::newRow("ftpes URL") << "url" << "ftpes" << true;
    QTest::newRow("ftp URL") << "url" << "ftp" << false;
}

void TlsBrowseTest::onlyProtectedConnects() {
    QFETCH(QString, how);
    QFETCH(QString, encryption);
    QFETCH(bool, connects);

    const test::TestCertificateSet& certs = test::TestCertificateSet::Get();
    QVERIFY(certs.selfSigned.ok());
    const test::CertificateFiles files = test::WriteCertificate(env_->Path(""), "server", certs.selfSigned);
    test::PyFtpdOptions options;
    options.tlsCert = files.cert;
    options.tlsKey = files.key;
    test::PyFtpdServer server(options);
    QVERIFY2(server.started(), server.error().c_str());
    QVERIFY(test::WriteFile(server.root() + "/a.txt", "remote"));
    QVERIFY(MakeFolders(SettingsFolder()));
    QVERIFY(CertificateTrust().Store("127.0.0.1", server.port(), FingerprintOf(certs.selfSigned.certPem)));

    ScriptedPrompter prompter;
    const std::string port = std::to_string(server.port());
    std::unique_ptr<CMainFrame> frame;  // the URL rows open the main window
    std::unique_ptr<CRemoteTree> ownTree;
    std::unique_ptr<CRemFilesView> ownList;
    CRemoteTree* tree = nullptr;
    if (how == QLatin1String("url")) {
        frame = std::make_unique<CMainFrame>(false);
        const std::string url = encryption.toStdString() + "://user:pass@127.0.0.1:" + port + "/";
        QVERIFY(OpenFtpUrl(*frame, url));
        tree = qobject_cast<CRemoteTree*>(frame->RightFirstPane());
    } else {
        ownTree = std::make_unique<CRemoteTree>();
        ownList = std::make_unique<CRemFilesView>();
        tree = ownTree.get();
        tree->SetList(ownList.get());
        tree->SetConnectPause(0ms);
        if (how == QLatin1String("profile")) {
            const SiteProfile profile{"127.0.0.1", "user", "pass", "", "", port, encryption.toStdString()};
            std::string path;
            QVERIFY(SaveSiteProfile(ProfilesFolder(), "tls", profile, SaveMode::New, &path).ok());
            QVERIFY(tree->ConnectWithProfile(QString::fromStdString(path)));
        } else {
            if (!encryption.isEmpty()) Write(keys::Encryption, encryption.toStdString());
            // The dialog starts with the FTP section's default; OK takes it as shown.
            SiteFields typed{QStringLiteral("127.0.0.1"), QStringLiteral("user"), QStringLiteral("pass"), QString(),
                             QString::fromStdString(port)};
            typed.encryption = ParseEncryption(encryption.toStdString());
            prompter.siteAnswers.push_back(typed);
            tree->QuickConnect();
            QCOMPARE(prompter.siteShown.size(), std::size_t{1});
            QCOMPARE(prompter.siteShown.front().encryption, typed.encryption);
        }
    }
    QVERIFY(tree != nullptr);
    QVERIFY(QTest::qWaitFor([&] { return !tree->Busy(); }, 30000));
    QCOMPARE(tree->Connected(), connects);
    QCOMPARE(prompter.unexpected(), 0);
    if (!connects) {
        QVERIFY(!tree->ConnectedServer());
        return;
    }
    CRemFilesView* list = tree->Files();
    QVERIFY(list != nullptr);
    QCOMPARE(Names(*list), QStringList{QStringLiteral("a.txt")});
    const std::optional<TransferServer> connected = tree->ConnectedServer();
    QVERIFY(connected && connected->encryption == Encryption::Explicit);
    // The server's item says how the connection is protected.
    const QString tip = tree->Model()->item(0)->toolTip();
    QVERIFY2(tip.startsWith(QStringLiteral("Encrypted: TLS 1.")), qPrintable(tip));
    // The next Last Connection offers the same protection, whatever the FTP default says.
    Write(keys::Encryption, "NONE");
    QCOMPARE(QuickSiteEncryption(), Encryption::Explicit);
    if (how != QLatin1String("profile")) return;

    // FTP Put from the local list opposite: the file arrives over TLS.
    QTemporaryDir local;
    QVERIFY(test::WriteFile(local.filePath(QStringLiteral("b.txt")).toStdString(), "sent over TLS"));
    CDirView dir;
    QVERIFY(dir.ListFolder(local.path().toStdString()));
    list->SetOpposite(&dir);
    dir.SetOpposite(list);
    std::vector<bool> flags;
    for (int i = 0; i < dir.RowCount(); ++i) flags.push_back(dir.Files()->CellText(i, 0) == QLatin1String("b.txt"));
    dir.SelectRowsByFlags(flags);
    QVERIFY(dir.HandleCommand(cmd::FtpPut));
    QTRY_VERIFY_WITH_TIMEOUT(Names(*list).contains(QStringLiteral("b.txt")), 30000);
    QCOMPARE(test::ReadFile(server.root() + "/b.txt").value_or("(missing)"), std::string("sent over TLS"));
    QCOMPARE(prompter.unexpected(), 0);
}

QTEST_MAIN(TlsBrowseTest)
#include "TlsBrowseTest.moc"
