// Remote browsing against a real server on 127.0.0.1: connect, the tree
// pieces, a folder click, make / rename / delete with their questions and
// messages, a refused second request, Cancel of a stalled listing, an
// escaped name, question 247 before a new quick connect, and Highlight
// Differences between two remote lists.
#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardItem>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "dialogs/ProgressWindow.h"
#include "dialogs/ScriptedPrompter.h"
#include "dialogs/SiteDialog.h"
#include "settings/Keys.h"
#include "support/FtpTestServer.h"
#include "support/RemotePair.h"
#include "support/UiTestEnv.h"
#include "views/DirView.h"
#include "views/RemFilesView.h"
#include "views/RemoteTree.h"

using namespace zyfar;
using namespace std::chrono_literals;

namespace {

using Pair = uitest::RemotePair;

BrowseSite Site(std::uint16_t port, const std::string& folder = {}) { return BrowseSite{"127.0.0.1", "user", "pass", folder, port}; }

bool WaitIdle(const CRemoteTree& tree) { return QTest::qWaitFor([&] { return !tree.Busy(); }, 20000); }

QStringList Names(const CRemFilesView& list) {
    QStringList out;
    for (int i = 0; i < list.RowCount(); ++i) out << list.Files()->CellText(i, 0);
    out.sort();
    return out;
}

QStandardItem* Child(CRemoteTree& tree, QStandardItem* parent, const QString& label) {
    return tree.Model()->ChildByLabel(parent, label);
}

void SelectNames(CRemFilesView& list, const QStringList& names) {
    std::vector<bool> flags;
    for (int i = 0; i < list.RowCount(); ++i) flags.push_back(names.contains(list.Files()->CellText(i, 0)));
    list.SelectRowsByFlags(flags);
}

}  // namespace

class RemoteBrowseTest : public QObject {
    Q_OBJECT
private slots:
    void init() { env_ = std::make_unique<uitest::UiTestEnv>(); }
    void cleanup() { env_.reset(); }

    void connectShowsTreeAndListAndClickListsAFolder();
    void operations_data();
    void operations();
    void secondRequestIsRefusedWithoutAMessage();
    void cancelOfAStalledListingKeepsTheRowsAndNamesShowEscaped();
    void quickConnectAsks247WhileConnected();
    void siteDialogRefusesMissingFields();
    void highlightDifferencesSelectsBothSides();

private:
    std::unique_ptr<uitest::UiTestEnv> env_;
};

void RemoteBrowseTest::connectShowsTreeAndListAndClickListsAFolder() {
    test::PyFtpdServer server;
    QVERIFY2(server.started(), server.error().c_str());
    QVERIFY(test::WriteFile(server.root() + "/a.txt", "0123456789") && test::MakeDir(server.root() + "/sub") &&
            test::WriteFile(server.root() + "/sub/c.txt", "c"));
    ScriptedPrompter prompter;
    Pair p;
    QVERIFY(p.tree.ConnectTo(Site(server.port())));
    QVERIFY(p.tree.Busy());
    QVERIFY(WaitIdle(p.tree));
    QVERIFY(p.tree.Connected());
    // Host item, then one folder item "/" holding "sub"; the list shows the files.
    QStandardItem* host = p.tree.Model()->item(0);
    QCOMPARE(host->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(host->toolTip(), QStringLiteral("Not encrypted"));
    QStandardItem* root = Child(p.tree, host, QStringLiteral("/"));
    QVERIFY(root != nullptr);
    QStandardItem* sub = Child(p.tree, root, QStringLiteral("sub"));
    QVERIFY(sub != nullptr);
    QCOMPARE(Names(p.list), QStringList{QStringLiteral("a.txt")});
    QCOMPARE(p.tree.ConnectedServer()->remoteDir, std::string("/"));
    QCOMPARE(Read(keys::QuickServer), std::string("127.0.0.1"));

    p.tree.SetCurrentItem(sub->index());  // a click
    QVERIFY(WaitIdle(p.tree));
    QCOMPARE(Names(p.list), QStringList{QStringLiteral("c.txt")});
    QCOMPARE(p.tree.CurrentPath(), std::string("/sub"));

    // A click on the open "/" closes its branch and lists it; its arrow reads
    // the branch again without changing what the list shows.
    p.tree.SetCurrentItem(root->index());
    QVERIFY(WaitIdle(p.tree));
    QVERIFY(Child(p.tree, root, QStringLiteral("sub")) == nullptr);
    p.tree.Tree()->expand(root->index());
    QVERIFY(WaitIdle(p.tree));
    QVERIFY(Child(p.tree, root, QStringLiteral("sub")) != nullptr);
    QCOMPARE(p.tree.CurrentPath(), std::string("/"));
    QCOMPARE(Names(p.list), QStringList{QStringLiteral("a.txt")});

    // FTP Get into the local list opposite: the file arrives through a
    // transfer window, and the local list shows it when the run has ended.
    QTemporaryDir local;
    CDirView dir;
    QVERIFY(dir.ListFolder(local.path().toStdString()));
    p.list.SetOpposite(&dir);
    dir.SetOpposite(&p.list);
    SelectNames(p.list, {QStringLiteral("a.txt")});
    QVERIFY(p.list.HandleCommand(cmd::FtpGet));
    QTRY_VERIFY_WITH_TIMEOUT(dir.Files()->FindName("a.txt") >= 0, 20000);
    QFile got(local.filePath(QStringLiteral("a.txt")));
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), QByteArray("0123456789"));
    QCOMPARE(prompter.unexpected(), 0);

    // ZYFAR_SHOT=<png>: a picture of the connected pair (run under Xvfb).
    if (const QByteArray shot = qgetenv("ZYFAR_SHOT"); !shot.isEmpty()) {
        QSplitter window;
        window.addWidget(&p.tree);
        window.addWidget(&p.list);
        window.resize(900, 420);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().save(QString::fromLocal8Bit(shot)));
        p.tree.setParent(nullptr);
        p.list.setParent(nullptr);
    }
}

void RemoteBrowseTest::operations_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<QStringList>("select");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QList<int>>("buttons");
    QTest::addColumn<QList<int>>("askedIds");      // message numbers asked (0: a text from the result)
    QTest::addColumn<int>("resultMessage");        // the string number the result's text is, 0 none
    QTest::addColumn<QStringList>("serverAfter");  // names in the root afterwards

    const QStringList start{"a.txt", "b.txt", "sub"};
    QTest::newRow("new folder") << "new" << QStringList{} << QStringList{"made"} << QList<int>{} << QList<int>{} << 0
                                << QStringList{"a.txt", "b.txt", "made", "sub"};
    QTest::newRow("rename file") << "rename" << QStringList{"a.txt"} << QStringList{"z.txt"} << QList<int>{}
                                 << QList<int>{177} << 0 << QStringList{"b.txt", "sub", "z.txt"};
    QTest::newRow("rename onto a taken name") << "rename" << QStringList{"a.txt"} << QStringList{"b.txt"}
                                              << QList<int>{} << QList<int>{177, 0} << 174 << start;
    QTest::newRow("rename nothing selected") << "rename" << QStringList{} << QStringList{} << QList<int>{}
                                             << QList<int>{171} << 0 << start;
    QTest::newRow("rename two selected") << "rename" << QStringList{"a.txt", "b.txt"} << QStringList{}
                                         << QList<int>{} << QList<int>{170} << 0 << start;
    QTest::newRow("delete yes to all") << "delete" << QStringList{"a.txt", "b.txt"} << QStringList{} << QList<int>{1}
                                       << QList<int>{} << 0 << QStringList{"sub"};
    QTest::newRow("delete yes then cancel") << "delete" << QStringList{"a.txt", "b.txt"} << QStringList{}
                                            << QList<int>{0, 2} << QList<int>{} << 0 << QStringList{"b.txt", "sub"};
    QTest::newRow("delete nothing selected") << "delete" << QStringList{} << QStringList{} << QList<int>{}
                                             << QList<int>{179} << 0 << start;
    QTest::newRow("delete folder yes to all") << "rmdir" << QStringList{} << QStringList{} << QList<int>{0}
                                              << QList<int>{} << 0 << QStringList{"a.txt", "b.txt"};
    QTest::newRow("delete folder cancel") << "rmdir" << QStringList{} << QStringList{} << QList<int>{2}
                                          << QList<int>{} << 0 << start;
}

void RemoteBrowseTest::operations() {
    QFETCH(QString, op);
    QFETCH(QStringList, select);
    QFETCH(QStringList, inputs);
    QFETCH(QList<int>, buttons);
    QFETCH(QList<int>, askedIds);
    QFETCH(int, resultMessage);
    QFETCH(QStringList, serverAfter);

    test::PyFtpdServer server;
    QVERIFY2(server.started(), server.error().c_str());
    const std::string& r = server.root();
    QVERIFY(test::WriteFile(r + "/a.txt", "a") && test::WriteFile(r + "/b.txt", "bb") && test::MakeDir(r + "/sub") &&
            test::WriteFile(r + "/sub/in.txt", "x") && test::MakeDir(r + "/sub/deep"));
    ScriptedPrompter prompter;
    Pair p;
    QVERIFY(p.tree.ConnectTo(Site(server.port())));
    QVERIFY(WaitIdle(p.tree));
    QStandardItem* root = Child(p.tree, p.tree.Model()->item(0), QStringLiteral("/"));
    QVERIFY(root != nullptr);

    for (const QString& text : inputs) prompter.inputAnswers.push_back(text);
    for (int b : buttons) prompter.threeButtonAnswers.push_back(b);
    for (int id : askedIds)
        if (id == 177) prompter.messageAnswers.push_back(MessageAnswer::Ok);
    p.list.SortByColumn(0, 1);  // name order, so "the first selected file" is a.txt
    if (p.list.Files()->CellText(0, 0) != QLatin1String("a.txt")) p.list.SortByColumn(0, 2);
    SelectNames(p.list, select);
    if (op == "new") {
        p.tree.NewFolder();
    } else if (op == "rename") {
        p.list.Rename();
    } else if (op == "delete") {
        p.list.DeleteSelection();
    } else {
        QStandardItem* sub = Child(p.tree, root, QStringLiteral("sub"));
        p.tree.SetCurrentItem(sub->index());
        QVERIFY(WaitIdle(p.tree));
        p.tree.DeleteFolder();
    }
    QVERIFY(WaitIdle(p.tree));

    QList<int> asked;
    for (const auto& a : prompter.asked())
        if (a.kind == ScriptedPrompter::Asked::Kind::Message) asked << a.id;
    QCOMPARE(asked, askedIds);
    if (resultMessage != 0) QCOMPARE(prompter.asked().back().text, MessageString(resultMessage));

    QDir dir(QString::fromStdString(r));
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), serverAfter);
    // The list follows the server: its files are those left in the folder it shows.
    if (op == "delete" || op == "rename") {
        QStringList files;
        for (const QString& n : serverAfter)
            if (n.endsWith(QLatin1String(".txt"))) files << n;
        QCOMPARE(Names(p.list), files);
    }
    if (op == "new") QVERIFY(Child(p.tree, root, QStringLiteral("made")) != nullptr);
    if (op == "rmdir" && buttons.front() == 0) QVERIFY(Child(p.tree, root, QStringLiteral("sub")) == nullptr);
}

void RemoteBrowseTest::secondRequestIsRefusedWithoutAMessage() {
    test::PyFtpdServer server;
    QVERIFY2(server.started(), server.error().c_str());
    ScriptedPrompter prompter;
    Pair p;
    QVERIFY(p.tree.ConnectTo(Site(server.port())));
    QVERIFY(WaitIdle(p.tree));
    QSignalSpy status(&p.tree, &CRemoteTree::StatusMessage);
    QVERIFY(p.tree.RefreshThen({}));
    QVERIFY(!p.tree.RefreshThen({}));  // refused while the first runs
    QCOMPARE(status.count(), 1);
    QVERIFY(status.front().front().toString().contains(QStringLiteral("already in progress")));
    QVERIFY(WaitIdle(p.tree));
    QVERIFY(prompter.asked().empty());
}

void RemoteBrowseTest::cancelOfAStalledListingKeepsTheRowsAndNamesShowEscaped() {
    // MLSD lists two files (one name in Latin-1: not UTF-8); a one-name
    // look-up (MLST, the filter "x") never gets an answer.
    test::FaultServer server(
        "{\"mlsd\": \"type=file;size=3;modify=20240102030405; caf\\u00e9.txt\\r\\n"
        "type=file;size=5;modify=20240102030405; plain.txt\\r\\n\", \"replies\": {\"MLST\": {\"stall\": true}}}");
    QVERIFY2(server.started(), server.error().c_str());
    ScriptedPrompter prompter;
    Pair p;
    p.tree.SetProgressDelay(0);
    QVERIFY(p.tree.ConnectTo(Site(server.port())));
    QVERIFY(WaitIdle(p.tree));
    QCOMPARE(Names(p.list), (QStringList{QStringLiteral("caf\\xe9.txt"), QStringLiteral("plain.txt")}));
    const int cafe = p.list.Files()->FindName("caf\xe9.txt");
    QVERIFY(cafe >= 0);  // the row keeps the server's bytes

    prompter.inputAnswers.push_back(QStringLiteral("x"));
    p.list.Filter();
    QVERIFY(p.tree.Busy());
    QTRY_VERIFY_WITH_TIMEOUT(p.tree.Progress()->isVisible(), 5000);
    p.tree.Progress()->CancelButton()->click();
    QVERIFY(WaitIdle(p.tree));
    QCOMPARE(p.list.RowCount(), 2);
    QVERIFY(p.tree.Connected());
    QCOMPARE(prompter.AskedIds(), std::vector<int>{});
}

void RemoteBrowseTest::quickConnectAsks247WhileConnected() {
    test::PyFtpdServer server;
    QVERIFY2(server.started(), server.error().c_str());
    ScriptedPrompter prompter;
    Pair p;
    QVERIFY(p.tree.ConnectTo(Site(server.port(), "/")));
    QVERIFY(WaitIdle(p.tree));

    prompter.messageAnswers.push_back(MessageAnswer::No);
    p.tree.QuickConnect();
    QCOMPARE(prompter.AskedIds(), std::vector<int>{247});
    QVERIFY(prompter.siteShown.empty());
    QVERIFY(p.tree.Connected());

    prompter.Reset();
    prompter.messageAnswers.push_back(MessageAnswer::Yes);
    SiteFields typed;
    typed.host = QStringLiteral("127.0.0.1");
    typed.login = QStringLiteral("user");
    typed.password = QStringLiteral("pass");
    typed.port = QString::number(server.port());
    prompter.siteAnswers.push_back(typed);
    p.tree.QuickConnect();
    QCOMPARE(prompter.AskedIds(), std::vector<int>{247});
    QCOMPARE(prompter.siteShown.size(), std::size_t{1});
    // The dialog is filled from the Quick keys the last connect wrote.
    QCOMPARE(prompter.siteShown.front().folder, QStringLiteral("/"));
    QCOMPARE(prompter.siteShown.front().port, QString::number(server.port()));
    QVERIFY(WaitIdle(p.tree));
    QVERIFY(p.tree.Connected());
    QCOMPARE(Read(keys::QuickDirec), std::string());
}

void RemoteBrowseTest::siteDialogRefusesMissingFields() {
    ScriptedPrompter prompter;
    SiteFields fields;
    fields.host = QStringLiteral("ftp.example.org");
    fields.login = QStringLiteral("me");
    SiteDialog dialog(fields);
    QVERIFY(!dialog.Validate());  // no password
    QCOMPARE(prompter.AskedIds(), std::vector<int>{245});
    dialog.findChild<QCheckBox*>()->setChecked(true);
    QCOMPARE(dialog.Fields().login, QStringLiteral("anonymous"));
    QCOMPARE(dialog.Fields().password, QStringLiteral("tester@example.org"));
    QVERIFY(dialog.Validate());
}

void RemoteBrowseTest::highlightDifferencesSelectsBothSides() {
    test::PyFtpdServer server;
    QVERIFY2(server.started(), server.error().c_str());
    const std::string& r = server.root();
    QVERIFY(test::MakeDir(r + "/left") && test::MakeDir(r + "/right"));
    QVERIFY(test::WriteFile(r + "/left/a", std::string(10, 'a')) && test::WriteFile(r + "/left/b", std::string(20, 'b')));
    QVERIFY(test::WriteFile(r + "/right/a", std::string(10, 'a')) &&
            test::WriteFile(r + "/right/b", std::string(21, 'b')) && test::WriteFile(r + "/right/c", std::string(5, 'c')));
    ScriptedPrompter prompter;
    Pair left;
    Pair right;
    left.list.SetOpposite(&right.list);
    right.list.SetOpposite(&left.list);
    QVERIFY(left.tree.ConnectTo(Site(server.port(), "/left")));
    QVERIFY(right.tree.ConnectTo(Site(server.port(), "/right")));
    QVERIFY(WaitIdle(left.tree) && WaitIdle(right.tree));

    auto selected = [](const CRemFilesView& list) {
        QStringList out;
        for (int row : list.SelectedRows()) out << list.Files()->CellText(row, 0);
        out.sort();
        return out;
    };
    for (CRemFilesView* from : {&left.list, &right.list}) {
        QSignalSpy done(from, &CRemFilesView::ComparisonDone);
        from->HighlightDifferences();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
        QCOMPARE(selected(left.list), QStringList{QStringLiteral("b")});
        QCOMPARE(selected(right.list), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    }
    QVERIFY(prompter.asked().empty());

    // The difference copied across: FTP Get on the right list is a
    // server-to-server copy into the left list's folder, which then shows it.
    SelectNames(right.list, {QStringLiteral("c")});
    QVERIFY(right.list.HandleCommand(cmd::FtpGet));
    QTRY_VERIFY_WITH_TIMEOUT(left.list.Files()->FindName("c") >= 0, 20000);
    QCOMPARE(test::ReadFile(r + "/left/c"), std::string(5, 'c'));
    QVERIFY(prompter.asked().empty());
}

QTEST_MAIN(RemoteBrowseTest)
#include "RemoteBrowseTest.moc"
