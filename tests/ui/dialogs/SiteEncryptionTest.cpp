// The "Encryption" choice of a site: the FTP Site dialog answers it in its
// fields, the profile form keeps what a stored profile says unless the user
// changes it (an absent key stays absent, a new profile is explicit TLS), the
// port follows a change to or from implicit TLS only while it is the usual
// one, and the multiple-site list shows each site's protection.
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>
#include <memory>

#include "dialogs/ProfileSiteForm.h"
#include "dialogs/ScriptedPrompter.h"
#include "dialogs/SiteDialog.h"
#include "ftp/SessionSettings.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "support/UiTestEnv.h"
#include "views/FtpView.h"

using namespace zyfar;

Q_DECLARE_METATYPE(Encryption)

namespace {

// The combo of a site form, whichever form it is.
QComboBox* ComboOf(QWidget* form) {
    for (QComboBox* c : form->findChildren<QComboBox*>())
        if (c->accessibleName() == QLatin1String("Encryption")) return c;
    return nullptr;
}

void Choose(QComboBox* combo, Encryption mode) { combo->setCurrentIndex(combo->findData(static_cast<int>(mode))); }

}  // namespace

class SiteEncryptionTest : public QObject {
    Q_OBJECT
    std::unique_ptr<uitest::UiTestEnv> env_;

private slots:
    void init() { env_ = std::make_unique<uitest::UiTestEnv>(); }
    void cleanup() { env_.reset(); }

    void siteDialogAnswersTheChoice_data();
    void siteDialogAnswersTheChoice();
    void portFollowsImplicitTls_data();
    void portFollowsImplicitTls();
    void profileFormKeepsWhatIsStored_data();
    void profileFormKeepsWhatIsStored();
    void siteListShowsTheProtection_data();
    void siteListShowsTheProtection();
};

void SiteEncryptionTest::siteDialogAnswersTheChoice_data() {
    QTest::addColumn<Encryption>("shown");
    QTest::addColumn<Encryption>("chosen");
    QTest::newRow("none kept") << Encryption::None << Encryption::None;
    QTest::newRow("explicit kept") << Encryption::Explicit << Encryption::Explicit;
    QTest::newRow("implicit kept") << Encryption::Implicit << Encryption::Implicit;
    QTest::newRow("none to explicit") << Encryption::None << Encryption::Explicit;
    QTest::newRow("explicit to none") << Encryption::Explicit << Encryption::None;
}

void SiteEncryptionTest::siteDialogAnswersTheChoice() {
    QFETCH(Encryption, shown);
    QFETCH(Encryption, chosen);
    SiteFields fields;
    fields.host = QStringLiteral("ftp.example.org");
    fields.port = QStringLiteral("2121");  // not a usual port: it stays whatever is chosen
    fields.encryption = shown;
    SiteDialog dialog(fields);
    QComboBox* combo = ComboOf(&dialog);
    QVERIFY(combo != nullptr);
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QStringLiteral("None"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Explicit TLS (AUTH TLS)"));
    QCOMPARE(combo->itemText(2), QStringLiteral("Implicit TLS"));
    QCOMPARE(dialog.Fields(), fields);  // unchanged: the same fields come back
    Choose(combo, chosen);
    SiteFields expected = fields;
    expected.encryption = chosen;
    QCOMPARE(dialog.Fields(), expected);
}

void SiteEncryptionTest::portFollowsImplicitTls_data() {
    QTest::addColumn<bool>("profileForm");
    QTest::addColumn<Encryption>("from");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QList<int>>("choices");  // Encryption values chosen in turn
    QTest::addColumn<QString>("portAfter");
    const auto I = static_cast<int>(Encryption::Implicit);
    const auto E = static_cast<int>(Encryption::Explicit);
    const auto N = static_cast<int>(Encryption::None);
    for (const bool form : {false, true}) {
        const char* where = form ? "profile form" : "site dialog";
        QTest::addRow("%s: 21 becomes 990", where) << form << Encryption::None << "21" << QList<int>{I} << "990";
        QTest::addRow("%s: and back", where) << form << Encryption::None << "21" << QList<int>{I, E} << "21";
        QTest::addRow("%s: 990 back to 21", where) << form << Encryption::Implicit << "990" << QList<int>{N} << "21";
        QTest::addRow("%s: typed port stays", where) << form << Encryption::None << "2121" << QList<int>{I, N}
                                                     << "2121";
        QTest::addRow("%s: 990 with none stays", where) << form << Encryption::None << "990" << QList<int>{E}
                                                        << "990";
        QTest::addRow("%s: none to explicit keeps 21", where) << form << Encryption::None << "21" << QList<int>{E}
                                                              << "21";
    }
}

void SiteEncryptionTest::portFollowsImplicitTls() {
    QFETCH(bool, profileForm);
    QFETCH(Encryption, from);
    QFETCH(QString, port);
    QFETCH(QList<int>, choices);
    QFETCH(QString, portAfter);
    std::unique_ptr<QWidget> window;
    QLineEdit* portField = nullptr;
    if (profileForm) {
        auto form = std::make_unique<ProfileSiteForm>();
        SiteProfile p;
        p.host = "h";
        p.port = port.toStdString();
        p.encryption = EncryptionText(from);
        form->Start(SiteFormMode::Update, QStringLiteral("p"), p);
        portField = form->PortField();
        window = std::move(form);
    } else {
        SiteFields f;
        f.port = port;
        f.encryption = from;
        window = std::make_unique<SiteDialog>(f);
        for (QLineEdit* e : window->findChildren<QLineEdit*>())
            if (e->accessibleName() == QLatin1String("Port")) portField = e;
    }
    QVERIFY(portField != nullptr);
    QComboBox* combo = ComboOf(window.get());
    QVERIFY(combo != nullptr);
    for (const int choice : choices) Choose(combo, static_cast<Encryption>(choice));
    QCOMPARE(portField->text(), portAfter);
    if (profileForm) QCOMPARE(static_cast<ProfileSiteForm*>(window.get())->Profile().port, portAfter.toStdString());
    else QCOMPARE(static_cast<SiteDialog*>(window.get())->Fields().port, portAfter);
}

void SiteEncryptionTest::profileFormKeepsWhatIsStored_data() {
    QTest::addColumn<bool>("fresh");       // a new profile rather than an existing one
    QTest::addColumn<QString>("stored");   // the Encryption text read ("" absent)
    QTest::addColumn<Encryption>("shown");
    QTest::addColumn<int>("choose");       // -1: left alone
    QTest::addColumn<QString>("saved");    // the Encryption text the form answers
    const int none = static_cast<int>(Encryption::None);
    const int explicitTls = static_cast<int>(Encryption::Explicit);
    QTest::newRow("absent stays absent") << false << "" << Encryption::None << -1 << "";
    QTest::newRow("absent, explicit chosen") << false << "" << Encryption::None << explicitTls << "EXPLICIT";
    QTest::newRow("explicit, none chosen") << false << "EXPLICIT" << Encryption::Explicit << none << "NONE";
    QTest::newRow("stored spelling kept") << false << "implicit" << Encryption::Implicit << -1 << "implicit";
    // An unreadable value means explicit TLS and is not rewritten unasked.
    QTest::newRow("unreadable kept") << false << "TLS" << Encryption::Explicit << -1 << "TLS";
    QTest::newRow("new is explicit") << true << "" << Encryption::Explicit << -1 << "EXPLICIT";
    QTest::newRow("new, none chosen") << true << "" << Encryption::Explicit << none << "NONE";
}

void SiteEncryptionTest::profileFormKeepsWhatIsStored() {
    QFETCH(bool, fresh);
    QFETCH(QString, stored);
    QFETCH(Encryption, shown);
    QFETCH(int, choose);
    QFETCH(QString, saved);
    ProfileSiteForm form;
    SiteProfile p{"ftp.example.org", "me", "pw", "/pub", "", "2121", stored.toStdString()};
    form.Start(fresh ? SiteFormMode::New : SiteFormMode::Update, QStringLiteral("site"), p);
    QCOMPARE(EncryptionOf(form.EncryptionBox()), shown);
    QVERIFY(!form.Changed());
    if (choose >= 0) Choose(form.EncryptionBox(), static_cast<Encryption>(choose));
    QCOMPARE(form.Changed(), choose >= 0);
    SiteProfile expected = p;
    expected.encryption = saved.toStdString();
    QCOMPARE(form.Profile(), expected);
}

void SiteEncryptionTest::siteListShowsTheProtection_data() {
    QTest::addColumn<QString>("profileKey");  // the profile's Encryption line, "" none; "-": added by hand
    QTest::addColumn<QString>("defaultKey");  // FTP Encryption (the default for sites without a profile)
    QTest::addColumn<Encryption>("expected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("profile without the key") << "" << "EXPLICIT" << Encryption::None << "None";
    QTest::newRow("explicit profile") << "EXPLICIT" << "NONE" << Encryption::Explicit << "Explicit TLS";
    QTest::newRow("implicit profile") << "IMPLICIT" << "NONE" << Encryption::Implicit << "Implicit TLS";
    QTest::newRow("by hand, default none") << "-" << "" << Encryption::None << "None";
    QTest::newRow("by hand, default implicit") << "-" << "IMPLICIT" << Encryption::Implicit << "Implicit TLS";
}

void SiteEncryptionTest::siteListShowsTheProtection() {
    QFETCH(QString, profileKey);
    QFETCH(QString, defaultKey);
    QFETCH(Encryption, expected);
    QFETCH(QString, shown);
    if (!defaultKey.isEmpty()) Write(keys::Encryption, defaultKey.toStdString());
    ScriptedPrompter prompter;
    CFtpView list;
    QCOMPARE(list.Model()->HeaderText(4), QStringLiteral("Encryption"));
    if (profileKey == QLatin1String("-")) {
        // Add an FTP site: the dialog starts with the default and answers it as it stands.
        SiteFields typed{QStringLiteral("ftp.example.org"), QStringLiteral("me"), QStringLiteral("pw"), QString(),
                         QStringLiteral("21")};
        typed.encryption = DefaultEncryption();
        prompter.siteAnswers.push_back(typed);
        list.AddSite();
        QCOMPARE(prompter.siteShown.size(), std::size_t{1});
        QCOMPARE(prompter.siteShown.front().encryption, expected);
    } else {
        std::string text = "[Settings]\nHost=ftp.example.org\nUser=me\nPassword=pw\n";
        if (!profileKey.isEmpty()) text += "Encryption=" + profileKey.toStdString() + "\n";
        env_->WriteFile("site.ini", text);
        QVERIFY(list.AddProfile(QString::fromStdString(env_->Path("site.ini"))));
    }
    QCOMPARE(list.RowCount(), 1);
    QCOMPARE(list.Sites().front().encryption, expected);
    QCOMPARE(list.Model()->CellText(0, 4), shown);
    QCOMPARE(prompter.unexpected(), 0);
}

QTEST_MAIN(SiteEncryptionTest)
#include "SiteEncryptionTest.moc"
