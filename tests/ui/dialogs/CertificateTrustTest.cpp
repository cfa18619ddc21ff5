// Certificate trust in the GUI. A remote tree connects over explicit TLS to
// pyftpdlib on 127.0.0.1; the certificate question, asked on the tree's
// connect worker, reaches the prompter through the main window: first
// contact with each answer, expired and wrong-host certificates (the reason
// in the question), and a changed certificate (refused, no question). Then
// the real dialog, asked by a worker through the main window: its buttons,
// Enter and Esc, and a cancelled worker that takes the open dialog away.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <memory>
#include <thread>

#include "app/MainFrame.h"
#include "dialogs/CertificateDialog.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/ScriptedPrompter.h"
#include "dialogs/TrustedCertificatesDialog.h"
#include "ftp/CertificateTrust.h"
#include "log/TransferLog.h"
#include "platform/WorkerControl.h"
#include "support/FtpTestServer.h"
#include "support/TestCertificates.h"
#include "support/RemotePair.h"
#include "support/UiTestEnv.h"
#include "views/RemFilesView.h"
#include "views/RemoteTree.h"

using namespace zyfar;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(TrustAnswer)
Q_DECLARE_METATYPE(MessageAnswer)

namespace {

const test::TestCertificate& CertificateNamed(const QString& name) {
    const test::TestCertificateSet& set = test::TestCertificateSet::Get();
    if (name == "self2") return set.selfSigned2;
    if (name == "expired") return set.expired;
    if (name == "other") return set.otherHost;
    return set.selfSigned;
}

// "SHA256:" and the 64 upper-case hex digits of the certificate's DER bytes.
std::string FingerprintOf(const QString& name) {
    X509* x = test::detail::ParseCert(CertificateNamed(name).certPem);
    unsigned char md[32];
    unsigned int len = 0;
    X509_digest(x, EVP_sha256(), md, &len);
    X509_free(x);
    std::string out = "SHA256:";
    for (unsigned int i = 0; i < len; ++i) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += kHex[md[i] >> 4];
        out += kHex[md[i] & 15];
    }
    return out;
}

using Pair = uitest::RemotePair;

CertificateInfo SampleCertificate() {
    CertificateInfo info;
    info.host = "127.0.0.1";
    info.port = 2121;
    info.subject = "O=Zyfar tests,CN=<b>127.0.0.1</b>";
    info.issuer = info.subject;
    info.notBefore = "2026-01-01 00:00:00 UTC";
    info.notAfter = "2027-01-01 00:00:00 UTC";
    info.fingerprint = FingerprintOf("self");
    info.verifyError = "self-signed certificate";
    info.selfSigned = true;
    return info;
}

}  // namespace

class CertificateTrustTest : public QObject {
    Q_OBJECT
    QTemporaryDir certs_;
    std::unique_ptr<uitest::UiTestEnv> env_;
    std::unique_ptr<CMainFrame> frame_;

    std::string CertFile(const QString& name, const char* ext) const {
        return (certs_.path() + "/" + name + ext).toStdString();
    }

private slots:
    void initTestCase() {
        for (const char* name : {"self", "self2", "expired", "other"}) {
            const QString n = QString::fromLatin1(name);
            test::WriteCertificate(certs_.path().toStdString(), name, CertificateNamed(n));
        }
    }
    void init() {
        env_ = std::make_unique<uitest::UiTestEnv>();
        // The trusted certificates file lives in the settings folder.
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(env_->Path("config")));
        WriteProfileString("FTP", "Retry", "0");
        WriteProfileString("FTP", "ConnectTo", "10");
        WriteProfileString("LOG", "ToFile", "NO");
        (void)TheTransferLog().ReloadSettings();
        frame_ = std::make_unique<CMainFrame>(false);  // the UI host the connect worker asks
    }
    void cleanup() {
        frame_.reset();
        env_.reset();
    }

    void questionThroughTheRemoteTree_data() {
        QTest::addColumn<QString>("served");   // the certificate the server shows
        QTest::addColumn<QString>("trusted");  // the one trusted for the server before, or ""
        QTest::addColumn<TrustAnswer>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("reason");  // a line of the question's reason
        QTest::addColumn<bool>("connects");
        QTest::addColumn<QString>("storedAfter");  // "" when nothing is stored
        QTest::newRow("first contact, Trust always")
            << "self" << "" << TrustAnswer::kTrustAlways << true << "It is self-signed" << true << "self";
        QTest::newRow("Trust this time")
            << "self" << "" << TrustAnswer::kTrustOnce << true << "It is self-signed" << true << "";
        QTest::newRow("Cancel") << "self" << "" << TrustAnswer::kCancel << true << "It is self-signed" << false << "";
        QTest::newRow("expired") << "expired" << "" << TrustAnswer::kCancel << true
                                 << "It is outside its validity period" << false << "";
        QTest::newRow("wrong host") << "other" << "" << TrustAnswer::kTrustOnce << true
                                    << "It is not issued for 127.0.0.1." << true << "";
        QTest::newRow("changed: refused, not asked")
            << "self" << "self2" << TrustAnswer::kTrustAlways << false << "" << false << "self2";
        QTest::newRow("trusted before: not asked")
            << "self" << "self" << TrustAnswer::kCancel << false << "" << true << "self";
    }
    void questionThroughTheRemoteTree() {
        QFETCH(QString, served);
        QFETCH(QString, trusted);
        QFETCH(TrustAnswer, answer);
        QFETCH(bool, asked);
        QFETCH(QString, reason);
        QFETCH(bool, connects);
        QFETCH(QString, storedAfter);
        test::PyFtpdOptions options;
        options.tlsCert = CertFile(served, ".crt");
        options.tlsKey = CertFile(served, ".key");
        test::PyFtpdServer server(options);
        QVERIFY2(server.started(), server.error().c_str());
        const std::uint16_t port = server.port();
        CertificateTrust store;
        QCOMPARE(QString::fromStdString(store.path()), QString::fromStdString(env_->Path("config/Quorvane/ZyfarCerts.ini")));
        if (!trusted.isEmpty()) QVERIFY(store.Store("127.0.0.1", port, FingerprintOf(trusted)));

        ScriptedPrompter prompter;
        prompter.trustAnswers = {answer};
        Pair p;
        const BrowseSite site{"127.0.0.1", "user", "pass", "", port, Encryption::Explicit};
        QVERIFY(p.tree.ConnectTo(site));
        QVERIFY(QTest::qWaitFor([&] { return !p.tree.Busy(); }, 20000));
        QCOMPARE(p.tree.Connected(), connects);

        const std::string offered = FingerprintOf(served);
        QCOMPARE(prompter.certificatesShown.size(), std::size_t(asked ? 1 : 0));
        if (asked) {
            const CertificateInfo& shown = prompter.certificatesShown.front();
            QCOMPARE(shown.fingerprint, offered);
            QCOMPARE(shown.host + ":" + std::to_string(shown.port), "127.0.0.1:" + std::to_string(port));
            const ScriptedPrompter::Asked& question = prompter.asked().front();
            QCOMPARE(question.title, QStringLiteral("Unknown Certificate"));
            QVERIFY2(question.text.split('\n').filter(reason).size() == 1, qPrintable(question.text));
        } else {
            QVERIFY(prompter.trustAnswers.size() == 1);  // never asked: the answer is still there
        }
        if (!connects) {
            // The connecting window keeps the failure, which names the offered
            // certificate (and, for a changed one, the trusted one too).
            const QString failure = p.tree.Progress()->Status();
            QVERIFY2(failure.contains(QString::fromStdString(offered)), qPrintable(failure));
            if (!trusted.isEmpty()) QVERIFY2(failure.contains(QString::fromStdString(FingerprintOf(trusted))), qPrintable(failure));
        }
        const std::optional<std::string> stored = store.Find("127.0.0.1", port);
        QCOMPARE(QString::fromStdString(stored.value_or("")),
                 storedAfter.isEmpty() ? QString() : QString::fromStdString(FingerprintOf(storedAfter)));

        if (connects && answer == TrustAnswer::kTrustAlways) {
            // A second connection to the server asks nothing.
            p.tree.Disconnect();
            QVERIFY(p.tree.ConnectTo(site));
            QVERIFY(QTest::qWaitFor([&] { return !p.tree.Busy(); }, 20000));
            QVERIFY(p.tree.Connected());
            QCOMPARE(prompter.certificatesShown.size(), std::size_t(1));
        }
        p.tree.Disconnect();
        QCOMPARE(prompter.unexpected(), 0);
    }

    // The real dialog, asked from a worker: only the worker waits, and what
    // the user does is its answer. "worker cancelled": the dialog goes away.
    void realDialogAskedByAWorker_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<TrustAnswer>("expected");
        QTest::newRow("Trust always") << "Trust always" << TrustAnswer::kTrustAlways;
        QTest::newRow("Trust this time") << "Trust this time" << TrustAnswer::kTrustOnce;
        QTest::newRow("Cancel") << "Cancel" << TrustAnswer::kCancel;
        QTest::newRow("Enter presses Cancel") << "Enter" << TrustAnswer::kCancel;
        QTest::newRow("Esc") << "Esc" << TrustAnswer::kCancel;
        QTest::newRow("worker cancelled") << "worker cancelled" << TrustAnswer::kCancel;
    }
    void realDialogAskedByAWorker() {
        QFETCH(QString, action);
        QFETCH(TrustAnswer, expected);
        const CertificateInfo info = SampleCertificate();
        WorkerControl control;
        std::atomic<bool> answered{false};
        TrustAnswer answer = TrustAnswer::kTrustAlways;
        bool seen = false;
        bool plainSubject = false;
        QString problem;
        // Runs inside the dialog's own event loop once it is up.
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<CertificateDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || seen) return;
            seen = true;
            poll.stop();
            for (QLabel* l : dialog->findChildren<QLabel*>()) {
                if (l->accessibleName() == "Problem") problem = l->text();
                if (l->accessibleName() == "Subject")
                    plainSubject = l->text() == QString::fromStdString(info.subject) && l->textFormat() == Qt::PlainText;
            }
            // ZYFAR_SHOT=<png>: a picture of the question as a worker asks it (run under Xvfb).
            if (const QString shot = qEnvironmentVariable("ZYFAR_SHOT"); !shot.isEmpty() && action == "Trust always")
                QVERIFY(dialog->grab().save(shot));
            if (action == "worker cancelled") {
                control.Cancel();
            } else if (action == "Enter") {
                // Even on a trust button, Enter is Cancel's.
                for (QPushButton* b : dialog->findChildren<QPushButton*>())
                    if (b->accessibleName() == "Trust always") QTest::keyClick(b, Qt::Key_Return);
            } else if (action == "Esc") {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                for (QPushButton* b : dialog->findChildren<QPushButton*>())
                    if (b->accessibleName() == action) b->click();
            }
        });
        poll.start();
        std::thread worker([&] {
            WorkerScope scope(&control);
            answer = frame_->AskCertificateTrust(info);
            answered.store(true);
        });
        const bool done = QTest::qWaitFor([&] { return answered.load(); }, 20000);
        if (!done) control.Cancel();  // never leave the worker waiting
        worker.join();
        QVERIFY(done);
        QVERIFY(seen);
        QCOMPARE(answer, expected);
        QCOMPARE(problem, QStringLiteral("It is self-signed: no certificate authority vouches for it.\n"
                                         "The check reported: self-signed certificate."));
        QVERIFY(plainSubject);  // the server's text is shown as it is, never read as markup
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    // Trusted Certificates: Remove forgets the selected servers only after a
    // Yes, and the list shows what the file holds afterwards.
    void trustedListRemoval_data() {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<QStringList>("left");
        const QString a = QStringLiteral("127.0.0.1:2121"), b = QStringLiteral("[::1]:990"),
                      c = QStringLiteral("ftp.example.org:21");
        QTest::newRow("one, yes") << QStringList{b} << MessageAnswer::Yes << QStringList{a, c};
        QTest::newRow("two, yes") << QStringList{a, c} << MessageAnswer::Yes << QStringList{b};
        QTest::newRow("no") << QStringList{a} << MessageAnswer::No << QStringList{a, b, c};
    }
    void trustedListRemoval() {
        QFETCH(QStringList, selected);
        QFETCH(MessageAnswer, answer);
        QFETCH(QStringList, left);
        const std::string fingerprint = "SHA256:" + std::string(64, 'A');
        CertificateTrust trust;
        QVERIFY(trust.Store("ftp.example.org", 21, fingerprint) && trust.Store("::1", 990, fingerprint) &&
                trust.Store("127.0.0.1", 2121, fingerprint));
        ScriptedPrompter prompter;
        prompter.messageAnswers.push_back(answer);
        TrustedCertificatesDialog dialog;
        QVERIFY(!dialog.RemoveButton()->isEnabled());
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = dialog.List()->topLevelItem(i);
            item->setSelected(selected.contains(item->text(0)));
            QCOMPARE(item->text(1), QString::fromStdString(FormatFingerprint(fingerprint)));
        }
        QVERIFY(dialog.RemoveButton()->isEnabled());
        QTest::mouseClick(dialog.RemoveButton(), Qt::LeftButton);
        QCOMPARE(prompter.asked().size(), std::size_t{1});
        QStringList shown, stored;
        for (int i = 0; i < dialog.List()->topLevelItemCount(); ++i) shown << dialog.List()->topLevelItem(i)->text(0);
        for (const TrustedCertificate& t : CertificateTrust().List())
            stored << QString::fromStdString(ServerUrl("ftpes", t.host, t.port)).mid(8);
        stored.sort();
        QCOMPARE(shown, left);
        QCOMPARE(stored, left);
    }
};

QTEST_MAIN(CertificateTrustTest)
#include "CertificateTrustTest.moc"
