// The file-list window and the files view: a new list saved under an asked
// name reaches the tree; a list loaded into the Multiple Put screen's files
// view asks append / replace / cancel (33045 on another screen); a changed
// list asks 33053 before it is left; a ".fls" import that is not one gives
// 146 and changes nothing; remote names follow their rules.
#include <QSignalSpy>
#include <QStandardItem>
#include <QtTest>
#include <memory>

#include "dialogs/FileListWindow.h"
#include "dialogs/ScriptedPrompter.h"
#include "profiles/FileList.h"
#include "support/UiTestEnv.h"
#include "views/DiskFolderTree.h"
#include "views/FilesView.h"
#include "views/ViewMenu.h"

using namespace zyfar;
using namespace zyfar::uitest;

class FileListWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<UiTestEnv> env_;

    // A saved list "name" of files a, b, ... in the folder "disk".
    QString MakeList(const std::string& name, const std::vector<std::string>& files) {
        std::vector<FileListItem> items;
        for (const std::string& f : files) {
            env_->WriteFile("disk/" + f, f);
            items.push_back(FileListItem{env_->Path("disk"), f, f, 1});
        }
        std::string folder;
        if (!CreateFileListFolder(name, &folder).ok() || !SaveFileList(folder, items).ok()) return {};
        return QString::fromStdString(folder);
    }

private slots:
    void init() { env_ = std::make_unique<UiTestEnv>(); }
    void cleanup() { env_.reset(); }

    void newListSavedUnderAskedName() {
        ScriptedPrompter prompter;
        CSite window({});
        QSignalSpy created(&window, &CSite::fileListCreated);
        env_->WriteFile("disk/x.txt", "x");
        QCOMPARE(window.Files()->AddPaths({env_->Path("disk/x.txt")}), 1);
        prompter.inputAnswers = {QStringLiteral("weekly")};
        QVERIFY(window.Files()->HandleCommand(cmd::SaveList));
        QCOMPARE(created.count(), 1);
        const QString folder = created.at(0).at(1).toString();
        QCOMPARE(LoadFileList(folder.toStdString()).size(), std::size_t{1});
        QVERIFY(window.ListTree()->ItemOfPath(folder) != nullptr);
        QCOMPARE(window.Files()->ListFolder(), folder);
        QVERIFY(!window.Files()->Changed());
        QCOMPARE(prompter.unexpected(), 0);
    }

    // The screen's files view holds one file when a two-file list comes.
    void loadIntoScreen_data() {
        QTest::addColumn<bool>("screenShown");
        QTest::addColumn<int>("answer");  // Replace, Append, Cancel
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("asked");  // message ids
        QTest::newRow("replace") << true << 0 << 2 << QList<int>{};
        QTest::newRow("append") << true << 1 << 3 << QList<int>{};
        QTest::newRow("cancel") << true << 2 << 1 << QList<int>{};
        QTest::newRow("other screen") << false << -1 << 1 << QList<int>{33045};
    }
    void loadIntoScreen() {
        QFETCH(bool, screenShown);
        QFETCH(int, answer);
        QFETCH(int, rows);
        QFETCH(QList<int>, asked);
        const QString list = MakeList("daily", {"a", "b"});
        ScriptedPrompter prompter;
        CFilesView screen;
        (void)screen.AddItems({FileListItem{"/elsewhere", "z", "z", 3}});
        CSite window([&]() -> QWidget* { return screenShown ? &screen : nullptr; });
        QVERIFY(window.ListTree()->SelectFolder(list));
        if (answer >= 0) prompter.threeButtonAnswers = {answer};
        else prompter.messageAnswers = {MessageAnswer::Ok};
        QVERIFY(window.HandleCommand(cmd::SelectTreeItem));
        QCOMPARE(screen.RowCount(), rows);
        const std::vector<int> ids = prompter.AskedIds();
        QCOMPARE(QList<int>(ids.begin(), ids.end()), asked);
        // The append-or-replace question comes only on the Multiple Put screen.
        QCOMPARE(prompter.asked().size(), std::size_t{1});
        QCOMPARE(prompter.asked().front().kind == ScriptedPrompter::Asked::Kind::ThreeButtons, screenShown);
        QCOMPARE(prompter.unexpected(), 0);
        // Loading the same list again adds nothing.
        prompter.threeButtonAnswers = {1};
        if (screenShown && answer != 2) {
            (void)screen.LoadList(list);
            QCOMPARE(screen.RowCount(), rows);
        }
    }

    void changedListAsksBeforeLeaving_data() {
        QTest::addColumn<bool>("closing");  // else another list is shown
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<int>("saved");
        QTest::newRow("close, Yes saves") << true << MessageAnswer::Yes << 3;
        QTest::newRow("close, No keeps the file") << true << MessageAnswer::No << 2;
        QTest::newRow("switch, Yes saves") << false << MessageAnswer::Yes << 3;
        QTest::newRow("switch, No keeps the file") << false << MessageAnswer::No << 2;
    }
    void changedListAsksBeforeLeaving() {
        QFETCH(bool, closing);
        QFETCH(MessageAnswer, answer);
        QFETCH(int, saved);
        const QString list = MakeList("daily", {"a", "b"});
        const QString other = MakeList("other", {"c"});
        ScriptedPrompter prompter;
        auto* window = new CSite({});
        QVERIFY(window->ListTree()->SelectFolder(list));
        QCOMPARE(window->Files()->RowCount(), 2);
        env_->WriteFile("disk/new", "n");
        QCOMPARE(window->Files()->AddPaths({env_->Path("disk/new")}), 1);
        prompter.messageAnswers = {answer};
        if (closing) {
            window->close();  // deletes itself
        } else {
            QVERIFY(window->ListTree()->SelectFolder(other));
            QCOMPARE(window->Files()->ListFolder(), other);
            QCOMPARE(window->Files()->RowCount(), 1);
            delete window;
        }
        QCOMPARE(prompter.AskedIds(), std::vector<int>{33053});
        QCOMPARE(static_cast<int>(LoadFileList(list.toStdString()).size()), saved);
        QCOMPARE(prompter.unexpected(), 0);
    }

    void importOfNoServerFileChangesNothing() {
        env_->WriteFile("old.fls", "NOT_A_SERVER_FILE\n/etc/hostname\n");
        ScriptedPrompter prompter;
        prompter.messageAnswers = {MessageAnswer::Ok};
        CSite window({});
        (void)window.Files()->AddItems({FileListItem{"/elsewhere", "z", "z", 3}});
        QVERIFY(!window.ImportFileList(QString::fromStdString(env_->Path("old.fls"))));
        QCOMPARE(prompter.AskedIds(), std::vector<int>{146});
        QCOMPARE(window.Files()->RowCount(), 1);  // not even the append-or-replace question
        QCOMPARE(prompter.unexpected(), 0);
    }

    void importAppendsOrReplaces_data() {
        QTest::addColumn<int>("answer");  // Append, Replace, Cancel
        QTest::addColumn<int>("rows");
        QTest::newRow("append") << 0 << 3;
        QTest::newRow("replace") << 1 << 2;
        QTest::newRow("cancel") << 2 << 1;
    }
    void importAppendsOrReplaces() {
        QFETCH(int, answer);
        QFETCH(int, rows);
        const QString list = MakeList("daily", {"z"});
        env_->WriteFile("disk/a", "a");
        env_->WriteFile("disk/b", "b");
        env_->WriteFile("old.fls", "FTP_SERVER_FILE\n" + env_->Path("disk/a") + "\n" + env_->Path("disk/gone") + "\n" +
                                       env_->Path("disk/b") + "\n");
        ScriptedPrompter prompter;
        CSite window({});
        QVERIFY(window.ListTree()->SelectFolder(list));
        prompter.threeButtonAnswers = {answer};
        (void)window.ImportFileList(QString::fromStdString(env_->Path("old.fls")));
        QCOMPARE(window.Files()->RowCount(), rows);
        // Files were added: the list was saved into its folder.
        QCOMPARE(static_cast<int>(LoadFileList(list.toStdString()).size()), rows);
        QCOMPARE(prompter.unexpected(), 0);
    }

    void remoteNameRules_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("messages");  // message ids asked (0: the composed confirmation)
        QTest::addColumn<QString>("remote");
        QTest::newRow("two selected") << 2 << QString() << QList<int>{170} << "a";
        QTest::newRow("none selected") << 0 << QString() << QList<int>{171} << "a";
        QTest::newRow("new name") << 1 << "web.txt" << QList<int>{0} << "web.txt";
        QTest::newRow("same name, no question") << 1 << "a" << QList<int>{} << "a";
    }
    void remoteNameRules() {
        QFETCH(int, selected);
        QFETCH(QString, typed);
        QFETCH(QList<int>, messages);
        QFETCH(QString, remote);
        ScriptedPrompter prompter;
        CFilesView view;
        (void)view.AddItems({FileListItem{"/d", "a", "", 1}, FileListItem{"/d", "b", "", 1}});
        for (int r = 0; r < selected; ++r) view.SelectRow(r, false);
        if (selected == 1) prompter.inputAnswers = {typed};
        for (int i = 0; i < messages.size(); ++i) prompter.messageAnswers.push_back(MessageAnswer::Ok);
        QVERIFY(view.HandleCommand(cmd::Rename));
        QList<int> asked;
        for (const auto& a : prompter.asked())
            if (a.kind == ScriptedPrompter::Asked::Kind::Message) asked << a.id;
        QCOMPARE(asked, messages);
        QCOMPARE(QString::fromStdString(view.Items()[0].remoteName), remote);
        // An empty name goes back to the local name.
        if (remote != "a") {
            prompter.inputAnswers = {QString()};
            prompter.messageAnswers = {MessageAnswer::Ok};
            QVERIFY(view.HandleCommand(cmd::Rename));
            QCOMPARE(view.Items()[0].remoteName, std::string("a"));
        }
        QCOMPARE(prompter.unexpected(), 0);
    }
};

QTEST_MAIN(FileListWindowTest)
#include "FileListWindowTest.moc"
