// The local side: rename and delete questions by number, the filter and
// wildcard masks, moves and copies dropped between two folders, a folder
// that vanished, the drive tree's drives, and the put runs built from the
// list and from a dragged folder.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardItem>
#include <QTreeView>
#include <QtTest>
#include <algorithm>

#include "dialogs/ScriptedPrompter.h"
#include "settings/Keys.h"
#include "support/UiTestEnv.h"
#include "views/DirView.h"
#include "views/DriveTree.h"

using namespace zyfar;
using uitest::UiTestEnv;

Q_DECLARE_METATYPE(std::vector<zyfar::FileListItem>)

namespace {

// A remote list as the local list sees it: its kind and, when connected, its server.
class FakeRemoteList : public CFileView {
public:
    FakeRemoteList() : CFileView(true) {}
    [[nodiscard]] FileListKind Kind() const override { return FileListKind::Remote; }
    [[nodiscard]] CBrowseTree* BrowseTree() const override { return nullptr; }
    [[nodiscard]] std::optional<TransferServer> ConnectedServer() const override { return server; }
    std::optional<TransferServer> server;
};

QString ReadAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
}

QStringList Names(const std::string& folder) {
    return QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QStringList RowNames(const CDirView& view) {
    QStringList names;
    for (int row = 0; row < view.RowCount(); ++row) names << QString::fromStdString(view.Files()->Row(row).name);
    return names;
}

void Select(CDirView& view, const QStringList& names) {
    std::vector<bool> flags(static_cast<std::size_t>(view.RowCount()), false);
    for (const QString& name : names) flags[static_cast<std::size_t>(view.Files()->FindName(name.toStdString()))] = true;
    view.SelectRowsByFlags(flags);
}

QList<int> Ids(const ScriptedPrompter& p) {
    QList<int> ids;
    for (int id : p.AskedIds()) ids << id;
    return ids;
}

int CountAsked(const ScriptedPrompter& p, ScriptedPrompter::Asked::Kind kind) {
    return static_cast<int>(std::count_if(p.asked().begin(), p.asked().end(),
                                          [kind](const auto& a) { return a.kind == kind; }));
}

}  // namespace

class LocalBrowseTest : public QObject {
    Q_OBJECT
    std::unique_ptr<UiTestEnv> env_;

private slots:
    void initTestCase() { qRegisterMetaType<std::vector<FileListItem>>(); }
    void init() { env_ = std::make_unique<UiTestEnv>(); }
    void cleanup() { env_.reset(); }

    void renameRules_data() {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("input");  // "<none>": the input is not asked
        QTest::addColumn<bool>("okToRename");
        QTest::addColumn<bool>("vanish");     // the file goes before the rename
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QStringList>("files");
        const QStringList both{"a.txt", "b.txt"};
        QTest::newRow("none selected") << QStringList{} << "<none>" << false << false << QList<int>{171} << both;
        QTest::newRow("two selected") << both << "<none>" << false << false << QList<int>{170} << both;
        QTest::newRow("unchanged") << QStringList{"a.txt"} << "a.txt" << false << false << QList<int>{} << both;
        QTest::newRow("renamed") << QStringList{"a.txt"} << "c.txt" << true << false << QList<int>{177}
                                 << QStringList{"b.txt", "c.txt"};
        QTest::newRow("cancelled") << QStringList{"a.txt"} << "c.txt" << false << false << QList<int>{177} << both;
        QTest::newRow("name taken") << QStringList{"a.txt"} << "b.txt" << true << false << QList<int>{177, 174} << both;
        QTest::newRow("empty name") << QStringList{"a.txt"} << "" << false << false << QList<int>{0} << both;
        QTest::newRow("slash") << QStringList{"a.txt"} << "x/y" << false << false << QList<int>{0} << both;
        QTest::newRow("file gone") << QStringList{"a.txt"} << "c.txt" << true << true << QList<int>{177, 173}
                                   << QStringList{"b.txt"};
    }
    void renameRules() {
        QFETCH(QStringList, selected);
        QFETCH(QString, input);
        QFETCH(bool, okToRename);
        QFETCH(bool, vanish);
        QFETCH(QList<int>, ids);
        QFETCH(QStringList, files);
        env_->WriteFile("d/a.txt", "a");
        env_->WriteFile("d/b.txt", "b");
        CDirView view;
        QVERIFY(view.ListFolder(env_->Path("d")));
        Select(view, selected);
        if (vanish) QFile::remove(QString::fromStdString(env_->Path("d/a.txt")));
        ScriptedPrompter p;
        if (input != "<none>") p.inputAnswers.push_back(input);
        p.messageAnswers.push_back(okToRename ? MessageAnswer::Ok : MessageAnswer::Cancel);
        QSignalSpy renamed(&view, &CDirView::fileRenamed);
        view.HandleCommand(cmd::Rename);
        QCOMPARE(Ids(p), ids);
        QCOMPARE(Names(env_->Path("d")), files);
        if (ids == QList<int>{177} && okToRename) {
            QCOMPARE(p.asked().back().title, QString("QUESTION"));
            QCOMPARE(p.asked().back().text, QString("About to rename file a.txt to c.txt!\nContinue?"));
            QCOMPARE(RowNames(view), (QStringList{"c.txt", "b.txt"}));
            QCOMPARE(renamed.count(), 1);
        } else {
            QCOMPARE(renamed.count(), 0);
        }
    }

    void deleteRules_data() {
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QList<int>>("answers");  // three-button answers
        QTest::addColumn<bool>("vanish");
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("secondButton");
        QTest::addColumn<QStringList>("left");
        const QStringList all{"a", "b", "c"};
        QTest::newRow("none") << QStringList{} << QList<int>{} << false << QList<int>{179} << 0 << "" << all;
        QTest::newRow("one, Yes") << QStringList{"a"} << QList<int>{0} << false << QList<int>{} << 1 << ""
                                  << QStringList{"b", "c"};
        QTest::newRow("Yes To All") << all << QList<int>{1} << false << QList<int>{} << 1 << "Yes To All"
                                    << QStringList{};
        QTest::newRow("Yes then Cancel") << all << QList<int>{0, 2} << false << QList<int>{} << 2 << "Yes To All"
                                         << QStringList{"b", "c"};
        QTest::newRow("file gone") << QStringList{"a"} << QList<int>{0} << true << QList<int>{180} << 1 << ""
                                   << QStringList{"b", "c"};
    }
    void deleteRules() {
        QFETCH(QStringList, selected);
        QFETCH(QList<int>, answers);
        QFETCH(bool, vanish);
        QFETCH(QList<int>, ids);
        QFETCH(int, questions);
        QFETCH(QString, secondButton);
        QFETCH(QStringList, left);
        for (const char* name : {"d/a", "d/b", "d/c"}) env_->WriteFile(name, "x");
        CDirView view;
        QVERIFY(view.ListFolder(env_->Path("d")));
        Select(view, selected);
        if (vanish) QFile::remove(QString::fromStdString(env_->Path("d/a")));
        ScriptedPrompter p;
        for (int a : answers) p.threeButtonAnswers.push_back(a);
        for (qsizetype i = 0; i < ids.size(); ++i) p.messageAnswers.push_back(MessageAnswer::Ok);
        view.HandleCommand(cmd::Delete);
        QCOMPARE(Ids(p), ids);
        QCOMPARE(CountAsked(p, ScriptedPrompter::Asked::Kind::ThreeButtons), questions);
        if (questions > 0) {
            const auto& q = *std::find_if(p.asked().begin(), p.asked().end(), [](const auto& a) {
                return a.kind == ScriptedPrompter::Asked::Kind::ThreeButtons;
            });
            QCOMPARE(q.title, QString("Delete?"));
            QCOMPARE(q.text, QString("About to remove file %1!").arg(QString::fromStdString(env_->Path("d/a"))));
            QCOMPARE(q.choices, (QStringList{"Yes", secondButton, "Cancel"}));
        }
        QCOMPARE(Names(env_->Path("d")), left);
        if (!vanish) QCOMPARE(RowNames(view), left);
        QCOMPARE(p.unexpected(), 0);
    }

    void masks_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QStringList>("rowsOrSent");  // Filter: the rows shown; 1135: the files sent
        QTest::newRow("filter") << cmd::Filter << "*.txt" << "Filter" << QList<int>{} << QStringList{"a.txt", "b.txt"};
        QTest::newRow("wildcard send") << cmd::SendWildcardToRight << "b*" << "Wildcard" << QList<int>{}
                                       << QStringList{"b.log", "b.txt"};
        QTest::newRow("wildcard send, no match") << cmd::SendWildcardToRight << "*.gif" << "Wildcard"
                                                 << QList<int>{281} << QStringList{};
        QTest::newRow("wildcard put, no match") << cmd::FtpPutWildcard << "*.gif" << "Filter" << QList<int>{281}
                                                << QStringList{};
    }
    void masks() {
        QFETCH(int, command);
        QFETCH(QString, mask);
        QFETCH(QString, title);
        QFETCH(QList<int>, ids);
        QFETCH(QStringList, rowsOrSent);
        for (const char* name : {"d/a.txt", "d/b.txt", "d/b.log"}) env_->WriteFile(name, "x");
        CDirView view;
        FakeRemoteList remote;
        remote.server = TransferServer{"127.0.0.1", "u", "p", "/in", 2121};
        view.SetOpposite(&remote);
        QVERIFY(view.ListFolder(env_->Path("d")));
        ScriptedPrompter p;
        p.inputAnswers.push_back(mask);
        QSignalSpy sent(&view, &CDirView::sendToRight);
        view.HandleCommand(command);
        QCOMPARE(Ids(p), ids);
        QCOMPARE(p.asked().front().title, title);
        QCOMPARE(p.asked().front().text, title == "Filter" ? QString("Filter mask:") : QString("Wildcard mask:"));
        if (command == cmd::Filter) {
            QCOMPARE(RowNames(view), rowsOrSent);
            QCOMPARE(view.Files()->HeaderText(0), QString("File (*.txt)"));
        } else if (!rowsOrSent.isEmpty()) {
            QCOMPARE(sent.count(), 1);
            QStringList names;
            for (const FileListItem& item : sent.front().front().value<std::vector<FileListItem>>())
                names << QString::fromStdString(item.localName);
            QCOMPARE(names, rowsOrSent);
        }
    }

    void dropMovesOrCopies_data() {
        QTest::addColumn<QString>("dragDrop");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QStringList>("targetHas");     // files already in the target ("old")
        QTest::addColumn<QList<int>>("answers");       // 1 Yes, 0 No
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QStringList>("targetTexts");   // a, b in the target afterwards
        QTest::addColumn<QStringList>("sourceLeft");
        const QStringList both{"a", "b"};
        QTest::newRow("move") << "MOVE" << false << QStringList{} << QList<int>{} << QList<int>{}
                              << QStringList{"A", "B"} << QStringList{};
        QTest::newRow("move onto a file") << "MOVE" << false << QStringList{"a"} << QList<int>{} << QList<int>{347}
                                          << QStringList{"old", "B"} << QStringList{"a"};
        QTest::newRow("copy, No keeps the target") << "COPY" << false << QStringList{"a"} << QList<int>{0}
                                                   << QList<int>{349} << QStringList{"old", "B"} << both;
        QTest::newRow("Ctrl copies, Yes overwrites") << "MOVE" << true << QStringList{"a"} << QList<int>{1}
                                                     << QList<int>{349} << QStringList{"A", "B"} << both;
        QTest::newRow("asked once per file") << "COPY" << false << both << QList<int>{1, 0} << QList<int>{349, 349}
                                             << QStringList{"A", "old"} << both;
    }
    void dropMovesOrCopies() {
        QFETCH(QString, dragDrop);
        QFETCH(bool, ctrl);
        QFETCH(QStringList, targetHas);
        QFETCH(QList<int>, answers);
        QFETCH(QList<int>, ids);
        QFETCH(QStringList, targetTexts);
        QFETCH(QStringList, sourceLeft);
        Write(keys::DragDrop, dragDrop.toStdString());
        env_->WriteFile("src/a", "A");
        env_->WriteFile("src/b", "B");
        QDir().mkpath(QString::fromStdString(env_->Path("dst")));
        for (const QString& name : targetHas) env_->WriteFile("dst/" + name.toStdString(), "old");
        CDirView source;
        CDirView target;
        QVERIFY(source.ListFolder(env_->Path("src")));
        QVERIFY(target.ListFolder(env_->Path("dst")));
        ScriptedPrompter p;
        for (int a : answers) p.messageAnswers.push_back(a == 1 ? MessageAnswer::Yes : MessageAnswer::No);
        DropInfo info;
        info.action = ctrl ? DropAction::Copy : DropAction::Move;
        info.rows = {0, 1};
        info.targetList = &target;
        source.DropOperation(info);
        QCOMPARE(Ids(p), ids);
        QCOMPARE((QStringList{ReadAll(env_->Path("dst/a")), ReadAll(env_->Path("dst/b"))}), targetTexts);
        QCOMPARE(Names(env_->Path("src")), sourceLeft);
        QCOMPARE(RowNames(source), sourceLeft);
        QCOMPARE(RowNames(target), (QStringList{"a", "b"}));
    }

    void vanishedFolderShowsErrorAndEmptyList() {
        env_->WriteFile("drive/gone/f", "x");
        env_->WriteFile("drive/kept/g", "y");
        CDriveTree tree;
        CDirView list;
        tree.SetDirView(&list);
        tree.LoadDrives({LocalDrive{env_->Path("drive"), "/dev/sda1", "ext4", DriveType::Fixed}});
        QVERIFY(tree.ShowFolder(QString::fromStdString(env_->Path("drive/gone"))));
        QCOMPARE(RowNames(list), QStringList{"f"});
        ScriptedPrompter p;
        QVERIFY(QDir(QString::fromStdString(env_->Path("drive/gone"))).removeRecursively());
        list.HandleCommand(cmd::Refresh);
        QCOMPARE(Ids(p), QList<int>{0});
        QVERIFY(p.asked().front().text.contains("gone"));
        QCOMPARE(list.RowCount(), 0);
        QVERIFY(!list.ListError().isEmpty());
        // The tree still holds the item: choosing it again says so again.
        QVERIFY(tree.ShowFolder(QString::fromStdString(env_->Path("drive/kept"))));
        QCOMPARE(RowNames(list), QStringList{"g"});
        QVERIFY(tree.ShowFolder(QString::fromStdString(env_->Path("drive/gone"))));
        QCOMPARE(Ids(p), (QList<int>{0, 0}));
        QCOMPARE(list.RowCount(), 0);
    }

    void drivesByTypeAndConnectNet_data() {
        QTest::addColumn<QString>("connectNet");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("NO") << "NO" << QStringList{"fixed", "usb", "cd"};
        QTest::newRow("YES") << "YES" << QStringList{"fixed", "usb", "cd", "net"};
    }
    void drivesByTypeAndConnectNet() {
        QFETCH(QString, connectNet);
        QFETCH(QStringList, shown);
        Write(keys::ConnectNet, connectNet.toStdString());
        for (const char* f : {"fixed/home/me/x", "usb/photos/y", "cd/disc/z", "net/share/w"}) env_->WriteFile(f, "1");
        const auto drive = [this](const char* name, DriveType type) {
            return LocalDrive{env_->Path(name), "dev", "fs", type};
        };
        CDriveTree tree;
        CDirView list;
        tree.SetDirView(&list);
        tree.LoadDrives({drive("fixed", DriveType::Fixed), drive("usb", DriveType::Removable),
                         drive("cd", DriveType::CdRom), drive("net", DriveType::Network)});
        QStringList labels;
        for (int i = 0; i < tree.Model()->rowCount(); ++i)
            labels << QFileInfo(tree.Model()->item(i)->text()).fileName();
        QCOMPARE(labels, shown);
        // Removable media are read only when expanded: a placeholder until then.
        QStandardItem* usb = tree.Model()->item(1);
        QVERIFY(!usb->data(CDriveTree::ReadRole).toBool());
        QVERIFY(usb->child(0)->data(CDriveTree::PlaceholderRole).toBool());
        tree.Tree()->expand(usb->index());
        QCOMPARE(usb->child(0)->text(), QString("photos"));
        QCOMPARE(tree.Model()->item(0)->child(0)->text(), QString("home"));  // fixed: read at once
        // The start selects the first fixed drive and opens the path down to the start folder.
        tree.Start(QString::fromStdString(env_->Path("fixed/home/me")));
        QCOMPARE(tree.CurrentFolder(), QString::fromStdString(env_->Path("fixed/home/me")));
        QCOMPARE(RowNames(list), QStringList{"x"});
    }

    void putBuildsTheRun() {
        Write(keys::FileCasingPut, "UPPER_CASE");
        env_->WriteFile("d/a.txt", "123456");
        env_->WriteFile("d/b.txt", "12");
        env_->WriteFile("d/sub/c.txt", "1");
        CDirView view;
        FakeRemoteList remote;
        view.SetOpposite(&remote);
        QVERIFY(view.ListFolder(env_->Path("d")));
        ScriptedPrompter p;
        QSignalSpy sent(&view, &CDirView::sendToRight);
        // Not connected: nothing at all; connected without a selection: 203.
        view.HandleCommand(cmd::FtpPut);
        QCOMPARE(Ids(p), QList<int>{});
        remote.server = TransferServer{"127.0.0.1", "u", "p", "/in", 2121};
        view.HandleCommand(cmd::FtpPut);
        QCOMPARE(Ids(p), QList<int>{203});
        const std::unique_ptr<TransferRun> run = view.MakePutRun({0, 1}, *remote.server, remote.RefreshLink());
        QVERIFY(run);
        QCOMPARE(run->mode, TransferMode::Put);
        QCOMPARE(QString::fromStdString(run->source.remoteDir), QString("/in"));
        QCOMPARE(run->batchSize, std::int64_t{8});
        QCOMPARE(run->jobs.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(run->jobs[0].targetName), QString("A.TXT"));
        QCOMPARE(QString::fromStdString(run->jobs[1].localDir), QString::fromStdString(env_->Path("d")));
        QCOMPARE(QString::fromStdString(run->destinationViewText), QString());  // the fake list shows no folder
        QCOMPARE(QString::fromStdString(run->sourceViewText), QString::fromStdString(env_->Path("d")));
        // A folder dragged from the tree: its files, and the sub-folders' with DragDropDirs "YES".
        CDriveTree tree;
        tree.SetDirView(&view);
        for (const char* dirs : {"NO", "YES"}) {
            Write(keys::DragDropDirsView, dirs);
            const auto folderRun = tree.MakeFolderPutRun(QString::fromStdString(env_->Path("d")), *remote.server, nullptr);
            QVERIFY(folderRun);
            QCOMPARE(folderRun->jobs.size(), std::size_t{std::string(dirs) == "YES" ? 3u : 2u});
        }
        // Opposite a local list, FTP Put sends to the right side instead.
        CDirView other;
        view.SetOpposite(&other);
        view.SelectRow(0);
        view.HandleCommand(cmd::FtpPut);
        QCOMPARE(sent.count(), 1);
    }
};

QTEST_MAIN(LocalBrowseTest)
#include "LocalBrowseTest.moc"
