// The profile window's rules: folder create / rename / delete with their
// messages and the link files kept in step, the site form's messages, site
// delete / rename / move, the ".sts" import, and the question before
// closing over an edited form. All questions go through the ScriptedPrompter.
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardItem>
#include <QTest>
#include <memory>

#include "dialogs/ProfileSiteForm.h"
#include "dialogs/ProfileWindow.h"
#include "dialogs/ScriptedPrompter.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"
#include "support/UiTestEnv.h"
#include "views/DiskFolderTree.h"
#include "views/ProfView.h"

using namespace zyfar;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string MakeProfile(const std::string& folderRelative, const std::string& name, const std::string& host) {
    const std::string folder = folderRelative.empty() ? ProfilesFolder() : ProfilesFolder() + "/" + folderRelative;
    QDir().mkpath(Q(folder));
    std::string path;
    (void)SaveSiteProfile(folder, name, {host, "user", "pw", "/pub", "", "21"}, SaveMode::New, &path);
    return path;
}

// The message numbers asked: none for 0.
std::vector<int> Ids(int message) { return message == 0 ? std::vector<int>{} : std::vector<int>{message}; }

std::vector<std::string> LinkNames() {
    std::vector<std::string> out;
    for (const NamedPath& l : ListLinks()) out.push_back(l.name);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class ProfileWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        env_ = std::make_unique<uitest::UiTestEnv>();
        prompt_ = std::make_unique<ScriptedPrompter>();
    }
    void cleanup() {
        window_.reset();
        prompt_.reset();
        env_.reset();
    }

    void newFolderTakesTheFirstFreeName();
    void renameFolder_data();
    void renameFolder();
    void deleteFolder_data();
    void deleteFolder();
    void siteForm_data();
    void siteForm();
    void deleteSites_data();
    void deleteSites();
    void renameAndMoveSiteKeepLinks();
    void importSites_data();
    void importSites();
    void closeOverEditedForm_data();
    void closeOverEditedForm();
    void openedWithoutStoredRectangle();

private:
    CProfile& Window() {
        window_ = std::make_unique<CProfile>();
        return *window_;
    }
    void SelectFolder(const std::string& folder) { QVERIFY(window_->Tree()->SelectFolder(Q(folder))); }

    std::unique_ptr<uitest::UiTestEnv> env_;
    std::unique_ptr<ScriptedPrompter> prompt_;
    std::unique_ptr<CProfile> window_;
};

void ProfileWindowTest::newFolderTakesTheFirstFreeName() {
    CProfile& w = Window();
    QSignalSpy created(&w, &CProfile::profileFolderCreated);
    for (int i = 0; i < 3; ++i) {
        SelectFolder(ProfilesFolder());
        QVERIFY(w.HandleCommand(cmd::NewItem));
    }
    QCOMPARE(created.count(), 3);
    QCOMPARE(created.at(2).at(0).toString(), Q(ProfilesFolder() + "/New Profile (2)"));
    QVERIFY(IsFolder(ProfilesFolder() + "/New Profile (1)"));
    // The new item is the current one, under the root, in name order.
    QCOMPARE(w.Tree()->CurrentFolder(), Q(ProfilesFolder() + "/New Profile (2)"));
    QCOMPARE(w.Tree()->RootItem()->rowCount(), 3);
    QCOMPARE(prompt_->unexpected(), 0);
}

void ProfileWindowTest::renameFolder_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("vanish");
    QTest::addColumn<int>("message");
    QTest::newRow("free name") << "Customers" << false << 0;
    QTest::newRow("name taken") << "Taken" << false << 33048;
    QTest::newRow("folder gone") << "Elsewhere" << true << 33036;
    QTest::newRow("unchanged") << "Work" << false << 0;
}

void ProfileWindowTest::renameFolder() {
    QFETCH(QString, label);
    QFETCH(bool, vanish);
    QFETCH(int, message);
    const std::string site = MakeProfile("Work", "a", "ftp.a.test");
    QDir().mkpath(Q(ProfilesFolder() + "/Taken"));
    QVERIFY(AddLink("daily", {site}, 1, std::nullopt).ok());
    CProfile& w = Window();
    QSignalSpy renamed(&w, &CProfile::profileFolderRenamed);
    QStandardItem* item = w.Tree()->ItemOfPath(Q(ProfilesFolder() + "/Work"));
    QVERIFY(item != nullptr);
    if (vanish) QVERIFY(QDir(Q(ProfilesFolder() + "/Work")).removeRecursively());

    item->setText(label);  // what the label editor does when the edit ends

    QCOMPARE(prompt_->AskedIds(), Ids(message));
    const bool moved = message == 0 && label != "Work";
    QCOMPARE(renamed.count(), moved ? 1 : 0);
    QCOMPARE(item->text(), message == 0 ? label : QStringLiteral("Work"));
    const std::string expected = ProfilesFolder() + "/" + (moved ? label.toStdString() : "Work") + "/a.ini";
    QCOMPARE(Q(ReadLink("daily").sites.at(0)), Q(expected));
    if (!vanish) QVERIFY(IsRegularFile(expected));
}

void ProfileWindowTest::deleteFolder_data() {
    QTest::addColumn<int>("answer");  // 0 "Profile only", 1 "Yes To All", 2 Cancel
    QTest::addColumn<bool>("withSubFolder");
    QTest::addColumn<int>("message");
    QTest::addColumn<bool>("gone");
    QTest::addColumn<QStringList>("linksLeft");
    QTest::newRow("profile only") << 0 << false << 0 << true << QStringList{"other"};
    QTest::newRow("profile only, sub-folder") << 0 << true << 33047 << false << QStringList{"daily", "other"};
    QTest::newRow("yes to all") << 1 << true << 0 << true << QStringList{"other"};
    QTest::newRow("cancel") << 2 << true << 0 << false << QStringList{"daily", "other"};
}

void ProfileWindowTest::deleteFolder() {
    QFETCH(int, answer);
    QFETCH(bool, withSubFolder);
    QFETCH(int, message);
    QFETCH(bool, gone);
    QFETCH(QStringList, linksLeft);
    const std::string site = MakeProfile("Work", "a", "ftp.a.test");
    const std::string keep = MakeProfile("Home", "b", "ftp.b.test");
    if (withSubFolder) (void)MakeProfile("Work/Sub", "c", "ftp.c.test");
    QVERIFY(AddLink("daily", {keep, site}, 1, std::nullopt).ok());
    QVERIFY(AddLink("other", {keep}, 1, std::nullopt).ok());
    CProfile& w = Window();
    QSignalSpy deleted(&w, &CProfile::profileFolderDeleted);
    QSignalSpy dropped(&w, &CProfile::linksDropped);
    SelectFolder(ProfilesFolder() + "/Work");
    prompt_->threeButtonAnswers.push_back(answer);

    QVERIFY(w.HandleCommand(cmd::DeleteItem));

    QCOMPARE(prompt_->asked().at(0).title, QStringLiteral("Delete Profile"));
    QCOMPARE(prompt_->asked().at(0).text, QStringLiteral("Delete Profile and Sub-Profiles?"));
    QCOMPARE(prompt_->asked().at(0).choices.mid(0, 2), (QStringList{"Profile only", "Yes To All"}));
    QCOMPARE(prompt_->AskedIds(), Ids(message));
    QCOMPARE(!IsFolder(ProfilesFolder() + "/Work"), gone);
    QCOMPARE(deleted.count(), gone ? 1 : 0);
    QCOMPARE(dropped.count(), gone ? 1 : 0);
    QStringList left;
    for (const std::string& n : LinkNames()) left << Q(n);
    QCOMPARE(left, linksLeft);
    QVERIFY(IsRegularFile(keep));
    // Gone: the list shows the parent folder.
    if (gone) QCOMPARE(w.List()->Folder(), Q(ProfilesFolder()));
}

void ProfileWindowTest::siteForm_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("message");
    QTest::addColumn<QString>("file");
    QTest::newRow("new") << "site.old" << "ftp.n.test" << "2121" << 0 << "site.ini";
    QTest::newRow("hidden name") << ".hidden" << "ftp.n.test" << "21" << 0 << ".hidden.ini";
    QTest::newRow("no port") << "p" << "ftp.n.test" << "" << 226 << "";
    QTest::newRow("no host") << "p" << "" << "21" << 226 << "";
    QTest::newRow("name taken") << "exists" << "ftp.n.test" << "21" << 227 << "";
}

void ProfileWindowTest::siteForm() {
    QFETCH(QString, name);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(int, message);
    QFETCH(QString, file);
    (void)MakeProfile("", "exists", "ftp.old.test");
    CProfile& w = Window();
    QSignalSpy created(&w, &CProfile::siteProfileCreated);
    w.NewSite();
    ProfileSiteForm* form = w.Form();
    QCOMPARE(form->Mode(), SiteFormMode::New);
    QVERIFY(!w.Tree()->isEnabled());
    form->NameField()->setText(name);
    form->HostField()->setText(host);
    form->AnonymousBox()->setChecked(true);  // anonymous login, the Email key as password
    form->PortField()->setText(port);

    QCOMPARE(w.SaveForm(), message == 0);

    QCOMPARE(prompt_->AskedIds(), Ids(message));
    QCOMPARE(form->Mode(), message == 0 ? SiteFormMode::Idle : SiteFormMode::New);
    QCOMPARE(created.count(), message == 0 ? 1 : 0);
    if (message != 0) return;
    const std::string path = ProfilesFolder() + "/" + file.toStdString();
    QCOMPARE(created.at(0).at(1).toString(), Q(path));
    // A profile made here is protected with explicit TLS unless chosen otherwise.
    QCOMPARE(ReadSiteProfile(path), (SiteProfile{host.toStdString(), "anonymous", "tester@example.org", "", "",
                                                 port.toStdString(), "EXPLICIT"}));
    // The list shows the new profile with its password hidden.
    const int row = w.List()->RowOfPath(Q(path));
    QVERIFY(row >= 0);
    QCOMPARE(w.List()->Model()->CellText(row, 3), QStringLiteral("****"));
}

void ProfileWindowTest::deleteSites_data() {
    QTest::addColumn<QList<int>>("answers");  // 0 Yes, 1 Yes To All, 2 Cancel
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("deleted");
    QTest::newRow("yes, cancel") << QList<int>{0, 2} << 2 << 1;
    QTest::newRow("yes to all") << QList<int>{1} << 1 << 2;
    QTest::newRow("cancel") << QList<int>{2} << 1 << 0;
}

void ProfileWindowTest::deleteSites() {
    QFETCH(QList<int>, answers);
    QFETCH(int, questions);
    QFETCH(int, deleted);
    const std::string a = MakeProfile("", "a", "ftp.a.test");
    const std::string b = MakeProfile("", "b", "ftp.b.test");
    QVERIFY(AddLink("la", {a}, 1, std::nullopt).ok());
    QVERIFY(AddLink("lb", {b}, 1, std::nullopt).ok());
    CProfile& w = Window();
    QSignalSpy removed(&w, &CProfile::siteProfileDeleted);
    w.DeleteSites();  // nothing selected
    QCOMPARE(prompt_->AskedIds(), std::vector<int>{179});
    prompt_->Reset();
    w.List()->SelectAllRows();
    for (const int answer : answers) prompt_->threeButtonAnswers.push_back(answer);

    w.DeleteSites();

    QCOMPARE(static_cast<int>(prompt_->asked().size()), questions);
    QCOMPARE(prompt_->asked().at(0).text, Q("About to remove file " + a + "!"));
    QCOMPARE(prompt_->asked().at(0).choices.at(1), QStringLiteral("Yes To All"));
    QCOMPARE(removed.count(), deleted);
    QCOMPARE(static_cast<int>(LinkNames().size()), 2 - deleted);
    QCOMPARE(w.List()->RowCount(), 2 - deleted);
}

void ProfileWindowTest::renameAndMoveSiteKeepLinks() {
    const std::string a = MakeProfile("", "a", "ftp.a.test");
    (void)MakeProfile("", "b", "ftp.b.test");
    QDir().mkpath(Q(ProfilesFolder() + "/Archive"));
    QVERIFY(AddLink("l", {a}, 1, std::nullopt).ok());
    CProfile& w = Window();
    QSignalSpy renamed(&w, &CProfile::siteProfileRenamed);
    // A taken name is refused (227) and changes nothing.
    w.List()->SelectRow(w.List()->RowOfPath(Q(a)));
    prompt_->inputAnswers = {QStringLiteral("b"), QStringLiteral("renamed.txt")};
    w.RenameSite();
    QCOMPARE(prompt_->AskedIds(), Ids(227));
    w.RenameSite();
    const std::string renamedPath = ProfilesFolder() + "/renamed.ini";
    QCOMPARE(renamed.count(), 1);
    QCOMPARE(Q(ReadLink("l").sites.at(0)), Q(renamedPath));

    // Dropping the row on a folder of the tree moves the file; the link follows.
    DropInfo drop;
    drop.rows = {w.List()->RowOfPath(Q(renamedPath))};
    drop.targetTree = w.Tree();
    drop.targetFolder = Q(ProfilesFolder() + "/Archive");
    w.List()->DropOperation(drop);
    const std::string moved = ProfilesFolder() + "/Archive/renamed.ini";
    QVERIFY(IsRegularFile(moved));
    QCOMPARE(renamed.count(), 2);
    QCOMPARE(renamed.at(1).at(1).toString(), Q(moved));
    QCOMPARE(Q(ReadLink("l").sites.at(0)), Q(moved));
    QCOMPARE(w.List()->RowCount(), 1);
}

void ProfileWindowTest::importSites_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("message");
    QTest::addColumn<int>("created");
    QTest::newRow("good") << "FTP_SERVER_FILE\nftp.x.test u p NONE\nftp.y.test u p /d\n" << 0 << 1;
    QTest::newRow("malformed") << "FTP_SERVER_FIL\nftp.x.test u p NONE\n" << 146 << 0;
}

void ProfileWindowTest::importSites() {
    QFETCH(QString, text);
    QFETCH(int, message);
    QFETCH(int, created);
    // old1 exists: the import writes its keys, the description stays.
    QVERIFY(SaveSiteProfile(ProfilesFolder(), "old1", {"h", "me", "pw", "", "kept", "21"}, SaveMode::New).ok());
    env_->WriteFile("old.sts", text.toStdString());
    CProfile& w = Window();
    QSignalSpy added(&w, &CProfile::siteProfileCreated);
    prompt_->fileAnswers.push_back(Q(env_->Path("old.sts")));

    w.ImportSites();

    QCOMPARE(prompt_->AskedIds(), Ids(message));
    QCOMPARE(added.count(), created);
    QCOMPARE(w.List()->RowCount(), 1 + created);
    const SiteProfile old1 = ReadSiteProfile(ProfilesFolder() + "/old1.ini");
    QCOMPARE(Q(old1.host + " " + old1.description), message == 0 ? QStringLiteral("ftp.y.test kept")
                                                                  : QStringLiteral("h kept"));
}

void ProfileWindowTest::closeOverEditedForm_data() {
    QTest::addColumn<int>("answer");  // MessageAnswer
    QTest::addColumn<bool>("validForm");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<std::vector<int>>("asked");
    QTest::newRow("cancel stays") << int(MessageAnswer::Cancel) << true << false << std::vector<int>{33053};
    QTest::newRow("no discards") << int(MessageAnswer::No) << true << true << std::vector<int>{33053};
    QTest::newRow("yes saves") << int(MessageAnswer::Yes) << true << true << std::vector<int>{33053};
    QTest::newRow("yes, invalid stays") << int(MessageAnswer::Yes) << false << false << std::vector<int>{33053, 226};
}

void ProfileWindowTest::closeOverEditedForm() {
    QFETCH(int, answer);
    QFETCH(bool, validForm);
    QFETCH(bool, closes);
    QFETCH(std::vector<int>, asked);
    CProfile& w = Window();
    w.show();
    w.NewSite();
    w.Form()->NameField()->setText(QStringLiteral("n"));
    w.Form()->HostField()->setText(validForm ? QStringLiteral("ftp.n.test") : QString());
    w.Form()->LoginField()->setText(QStringLiteral("u"));
    w.Form()->PasswordField()->setText(QStringLiteral("p"));
    prompt_->messageAnswers.push_back(static_cast<MessageAnswer>(answer));

    QCOMPARE(w.close(), closes);

    QCOMPARE(prompt_->AskedIds(), asked);
    QCOMPARE(IsRegularFile(ProfilesFolder() + "/n.ini"), answer == int(MessageAnswer::Yes) && validForm);
    // An untouched form closes without a question.
    if (!closes) {
        w.CancelForm();
        prompt_->Reset();
        QVERIFY(w.close());
        QVERIFY(prompt_->asked().empty());
    }
}

void ProfileWindowTest::openedWithoutStoredRectangle() {
    CProfile& w = Window();
    QCOMPARE(w.windowTitle(), QStringLiteral("Zyfar Profiles"));
    QCOMPARE(w.size(), QSize(400, 400));
    w.show();
    w.resize(520, 360);
    w.SaveLayout();
    const WindowGeometry g = ReadWindowGeometry(sections::ProfileWindow);
    QCOMPARE(QSize(g.width, g.height), QSize(520, 360));
    QVERIFY(GetProfileString("Dimensions\\Profile\\split1", "NumCols", "").size() > 0);
}

QTEST_MAIN(ProfileWindowTest)
#include "ProfileWindowTest.moc"
