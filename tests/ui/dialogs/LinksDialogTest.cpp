// The links dialog: Add, Rename and Delete with their messages (311-315),
// the duplicate rules of the sites and files lists, and the upkeep signals
// the main window's link list follows.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "dialogs/LinksDialog.h"
#include "dialogs/ScriptedPrompter.h"
#include "profiles/LinkFile.h"
#include "support/UiTestEnv.h"

using namespace zyfar;

namespace {

// A profile tree: site profiles a (host a.example), A2 (host A.EXAMPLE),
// s1 (server1), s10 (server10), empty (no host); file lists "week" (two
// files, one listed twice) and "month"; the link "daily" (a + week).
struct Tree {
    uitest::UiTestEnv env;
    Tree() {
        for (const auto& [name, host] : std::vector<std::pair<std::string, std::string>>{
                 {"a", "a.example"}, {"A2", "A.EXAMPLE"}, {"s1", "server1"}, {"s10", "server10"}, {"empty", ""}})
            env.WriteFile("base/Profiles/" + name + ".ini", "[Settings]\nHost=" + host + "\nUser=u\nPassword=p\n");
        env.WriteFile("base/Files/week/flist.ini",
                      "[LIST]\nNumItems=3\n[FILE1]\nLocalName=a.txt\nFolder=/d\n[FILE2]\nLocalName=a.txt\n"
                      "Folder=/d/\n[FILE3]\nLocalName=b.txt\nFolder=/d\n");
        env.WriteFile("base/Files/month/flist.ini", "[LIST]\nNumItems=1\n[FILE1]\nLocalName=m.txt\nFolder=/m\n");
        (void)AddLink("daily", {Profile("a")}, 1, env.Path("base/Files/week"));
    }
    [[nodiscard]] std::string Profile(const std::string& name) const {
        return env.Path("base/Profiles/" + name + ".ini");
    }
};

void Choose(QComboBox* combo, const QString& text) {
    const int i = combo->findText(text);
    QVERIFY2(i >= 0, qPrintable(text));
    combo->setCurrentIndex(i);
    emit combo->activated(i);
}

QStringList Texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QStringList ComboTexts(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

QPushButton* RenameButton(const LinksDialog& dialog) {
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->accessibleName() == QLatin1String("Rename")) return b;
    return nullptr;
}

}  // namespace

class LinksDialogTest : public QObject {
    Q_OBJECT
private slots:
    // Profiles chosen one after another (a "*" prefix: the message about a
    // profile without a host is expected), and the sites listed.
    void sitesDedupe_data() {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("same profile twice") << QStringList{"a", "a"} << QStringList{"a.example"};
        QTest::newRow("host differs in case") << QStringList{"a", "A2"} << QStringList{"a.example"};
        QTest::newRow("host a prefix of another") << QStringList{"s10", "s1"} << QStringList{"server10", "server1"};
        QTest::newRow("no host") << QStringList{"*empty", "s1"} << QStringList{"server1"};
    }
    void sitesDedupe() {
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, listed);
        Tree tree;
        ScriptedPrompter prompter;
        LinksDialog dialog;
        int expectedMessages = 0;
        for (QString name : chosen) {
            if (name.startsWith('*')) {
                name.remove(0, 1);
                ++expectedMessages;
            }
            Choose(dialog.ProfileCombo(), name);
        }
        QCOMPARE(Texts(dialog.SitesList()), listed);
        QCOMPARE(int(prompter.asked().size()), expectedMessages);
        QCOMPARE(prompter.unexpected(), expectedMessages);  // an OK box: its default answer is taken
        // The file list chosen twice shows its two files once each.
        Choose(dialog.FileListCombo(), "week");
        Choose(dialog.FileListCombo(), "week");
        QCOMPARE(Texts(dialog.FilesList()), (QStringList{"/d/a.txt", "/d/b.txt"}));
    }

    // Add: typed name, profiles and file list chosen; the message expected
    // (0: saved) and the link names afterwards.
    void add_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("profiles");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("message");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<int>("added");
        const QStringList two{"a", "s1"};
        QTest::newRow("new, extension cut") << "weekly.ini" << two << "week" << 0 << QStringList{"daily", "weekly"} << 1;
        QTest::newRow("over an existing link") << "daily" << two << "month" << 0 << QStringList{"daily"} << 0;
        QTest::newRow("no name") << "" << two << "week" << 311 << QStringList{"daily"} << 0;
        QTest::newRow("only an extension") << ".ini" << two << "week" << 311 << QStringList{"daily"} << 0;
        QTest::newRow("no sites") << "n" << QStringList{} << "week" << 312 << QStringList{"daily"} << 0;
        QTest::newRow("no file list") << "n" << two << "" << 313 << QStringList{"daily"} << 0;
    }
    void add() {
        QFETCH(QString, typed);
        QFETCH(QStringList, profiles);
        QFETCH(QString, list);
        QFETCH(int, message);
        QFETCH(QStringList, links);
        QFETCH(int, added);
        Tree tree;
        ScriptedPrompter prompter;
        LinksDialog dialog;
        QSignalSpy addedSpy(&dialog, &LinksDialog::linkAdded);
        for (const QString& p : profiles) Choose(dialog.ProfileCombo(), p);
        if (!list.isEmpty()) Choose(dialog.FileListCombo(), list);
        dialog.NameEdit()->setText(typed);
        dialog.Add();
        QCOMPARE(prompter.AskedIds(), message ? std::vector<int>{message} : std::vector<int>{});
        QCOMPARE(ComboTexts(dialog.LinkCombo()), links);
        QCOMPARE(addedSpy.count(), added);
        if (message != 0) {
            QCOMPARE(dialog.SitesList()->count(), int(profiles.size()));  // nothing is lost on a refusal
            return;
        }
        const std::string name = links.size() == 2 ? "weekly" : "daily";
        if (added) QCOMPARE(addedSpy.at(0).at(0).toString(), QString::fromStdString(LinkFilePath(name)));
        const LinkDefinition link = ReadLink(name);
        QCOMPARE(link.sites, (std::vector<std::string>{tree.Profile("a"), tree.Profile("s1")}));
        QCOMPARE(link.files.value_or(""), tree.env.Path("base/Files/" + list.toStdString() + "/flist.ini"));
        QVERIFY(dialog.SitesList()->count() == 0 && dialog.FilesList()->count() == 0 && dialog.NameEdit()->text().isEmpty());
    }

    void chooseLinkShowsIt() {
        Tree tree;
        ScriptedPrompter prompter;
        LinksDialog dialog;
        QPushButton* rename = RenameButton(dialog);
        QVERIFY(rename && !rename->isEnabled());  // Rename needs a link chosen
        Choose(dialog.LinkCombo(), "daily");
        QVERIFY(rename->isEnabled());
        QCOMPARE(Texts(dialog.SitesList()), QStringList{"a.example"});
        QCOMPARE(Texts(dialog.FilesList()), (QStringList{"/d/a.txt", "/d/b.txt"}));
        QCOMPARE(dialog.FileListCombo()->currentText(), QStringLiteral("week"));
        QCOMPARE(dialog.NameEdit()->text(), QStringLiteral("daily"));
        // Choosing a profile leaves the link: its name is no longer shown.
        Choose(dialog.ProfileCombo(), "s1");
        QVERIFY(dialog.LinkCombo()->currentIndex() < 0 && dialog.NameEdit()->text().isEmpty());
        QCOMPARE(Texts(dialog.SitesList()), (QStringList{"a.example", "server1"}));
        dialog.RemoveSite(0);
        QCOMPARE(Texts(dialog.SitesList()), QStringList{"server1"});
        QCOMPARE(int(prompter.asked().size()), 0);
    }

    // Rename and Delete: the name typed for Rename ("" for Delete), the
    // message expected, the link names afterwards and the signal sent.
    void renameDelete_data() {
        QTest::addColumn<bool>("select");
        QTest::addColumn<QString>("typed");  // null: Delete
        QTest::addColumn<int>("message");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("rename") << true << "nightly.x" << 0 << QStringList{"nightly", "other"};
        QTest::newRow("rename to the same name") << true << "daily" << 314 << QStringList{"daily", "other"};
        QTest::newRow("rename onto another link") << true << "other" << 227 << QStringList{"daily", "other"};
        QTest::newRow("rename to nothing") << true << "" << 311 << QStringList{"daily", "other"};
        QTest::newRow("delete") << true << QString() << 0 << QStringList{"other"};
        QTest::newRow("delete, none selected") << false << QString() << 315 << QStringList{"daily", "other"};
    }
    void renameDelete() {
        QFETCH(bool, select);
        QFETCH(QString, typed);
        QFETCH(int, message);
        QFETCH(QStringList, links);
        Tree tree;
        (void)AddLink("other", {tree.Profile("s1")}, 1, std::nullopt);
        ScriptedPrompter prompter;
        LinksDialog dialog;
        QSignalSpy renamed(&dialog, &LinksDialog::linkRenamed);
        QSignalSpy deleted(&dialog, &LinksDialog::linkDeleted);
        if (select) Choose(dialog.LinkCombo(), "daily");
        const QString daily = QString::fromStdString(LinkFilePath("daily"));
        if (typed.isNull()) {
            dialog.Delete();
        } else {
            dialog.NameEdit()->setText(typed);
            dialog.Rename();
        }
        QCOMPARE(prompter.AskedIds(), message ? std::vector<int>{message} : std::vector<int>{});
        QCOMPARE(ComboTexts(dialog.LinkCombo()), links);
        QCOMPARE(QFileInfo::exists(daily), links.contains("daily"));
        const bool ok = message == 0;
        QCOMPARE(renamed.count(), ok && !typed.isNull() ? 1 : 0);
        QCOMPARE(deleted.count(), ok && typed.isNull() ? 1 : 0);
        if (!renamed.isEmpty()) {
            const QString nightly = QString::fromStdString(LinkFilePath("nightly"));
            QCOMPARE(renamed.at(0), (QList<QVariant>{daily, nightly}));
            QCOMPARE(ReadLinkFile(nightly.toStdString()).sites, std::vector<std::string>{tree.Profile("a")});
            QCOMPARE(dialog.LinkCombo()->currentText(), QStringLiteral("nightly"));
        }
        if (!deleted.isEmpty()) QCOMPARE(deleted.at(0).at(0).toString(), daily);
        QCOMPARE(QFileInfo::exists(QString::fromStdString(LinkFilePath("other"))), true);
    }
};

QTEST_MAIN(LinksDialogTest)
#include "LinksDialogTest.moc"
