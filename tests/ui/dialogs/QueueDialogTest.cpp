// The queue dialog: its own sort rules, Delete and Clear List by content
// while another run changes the file underneath, the messages 33044 and
// 33054 of its commands, and the partial downloads of deleted get entries
// with the "Resume at" column.
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "automation/MultiPut.h"
#include "automation/QueueFile.h"
#include "dialogs/QueueDialog.h"
#include "dialogs/ScriptedPrompter.h"
#include "engine/TransferRun.h"
#include "support/UiTestEnv.h"

using namespace zyfar;

namespace {

// Keeps the runs a send pass starts, without windows or workers.
class RecordingStarter final : public TransferRunStarter {
public:
    void StartRun(std::unique_ptr<TransferRun> run, bool) override { runs.push_back(std::move(run)); }
    void PauseBetweenStarts(std::chrono::milliseconds) override {}
    std::vector<std::unique_ptr<TransferRun>> runs;
};

// One entry: "name:retries:status", a put to up.test. An entry being sent is
// this process's, so no send pass takes it for one a gone run left behind.
std::string Section(int n, const QString& spec) {
    const QStringList f = spec.split(QLatin1Char(':'));
    const std::string owner = f.value(2, "0") != "0" ? "SendOwner=" + QueueOwnerOfThisProcess() + "\n" : "";
    return "[QUEUE" + std::to_string(n) + "]\nLocalName=" + f[0].toStdString() + "\nRemoteName=" + f[0].toStdString() +
           "\nSource=Local\nDestination=up.test\nLocDirFile=/tmp\nLogin=me\nPassword=pw\nNumTimes=" +
           f.value(1, "1").toStdString() + "\nStatus=" + f.value(2, "0").toStdString() + "\nReason=timed out\n" + owner;
}

std::string QueueText(const QStringList& entries) {
    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(entries.size()) + "\n";
    for (int i = 0; i < entries.size(); ++i) text += Section(i + 1, entries[i]);
    return text;
}

QStringList FileNames(const std::string& path) {
    QStringList out;
    for (const QueueEntry& e : QueueFile(path).LoadRows()) out << QString::fromStdString(e.localName);
    return out;
}

QStringList Column(const QueueDialog& dialog, int column) {
    QStringList out;
    for (int r = 0; r < dialog.Model()->RowCount(); ++r) out << dialog.Model()->CellText(r, column);
    return out;
}

struct Fixture {
    uitest::UiTestEnv env;
    ScriptedPrompter prompter;
    RecordingStarter starter;
    std::string path = env.Path("zyfarQue.ini");
    explicit Fixture(const QStringList& entries) {
        env.WriteFile("zyfarQue.ini", QueueText(entries));
        SetPrompter(&prompter);
    }
    ~Fixture() { SetPrompter(nullptr); }
    std::unique_ptr<QueueDialog> Open() {
        auto dialog = std::make_unique<QueueDialog>(&starter, nullptr, path);
        if (!dialog->Loaded()) {
            QSignalSpy loaded(dialog.get(), &QueueDialog::loaded);
            if (!loaded.wait(5000)) return nullptr;
        }
        return dialog;
    }
};

}  // namespace

class QueueDialogTest : public QObject {
    Q_OBJECT
private slots:
    void sortRules_data();
    void sortRules();
    void deleteAndClearByContent_data();
    void deleteAndClearByContent();
    void messages_data();
    void messages();
    void partialDownloadsOfDeletedGets_data();
    void partialDownloadsOfDeletedGets();
};

void QueueDialogTest::sortRules_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("ids");  // the Id column after the clicks
    // Entries: 1 "beta" retries 9 idle, 2 "Alpha" 10 sending, 3 "gamma" 2 idle, 4 "alpha2" 10 idle.
    QTest::newRow("Id descending after two clicks") << 0 << 2 << QStringList{"4", "3", "2", "1"};
    QTest::newRow("Retries as numbers: 2 < 9 < 10") << 1 << 1 << QStringList{"3", "1", "2", "4"};
    QTest::newRow("Retries descending keeps equal rows in order") << 1 << 2 << QStringList{"2", "4", "1", "3"};
    QTest::newRow("File without regard to case") << 2 << 1 << QStringList{"2", "4", "1", "3"};
    QTest::newRow("Status by number: idle first") << 7 << 1 << QStringList{"1", "3", "4", "2"};
}

void QueueDialogTest::sortRules() {
    QFETCH(int, column);
    QFETCH(int, clicks);
    QFETCH(QStringList, ids);
    Fixture f({"beta:9:0", "Alpha:10:1", "gamma:2:0", "alpha2:10:0"});
    auto dialog = f.Open();
    QVERIFY(dialog);
    QCOMPARE(Column(*dialog, 7), (QStringList{"IDLE", "SENDING", "IDLE", "IDLE"}));
    for (int i = 0; i < clicks; ++i) dialog->List()->ClickColumn(column);
    QCOMPARE(Column(*dialog, 0), ids);
    QCOMPARE(dialog->List()->SortDirection(column), clicks == 1 ? kSortAscending : kSortDescending);
}

void QueueDialogTest::deleteAndClearByContent_data() {
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QStringList>("underneath");  // the file after another run changed it while the dialog was open
    QTest::addColumn<QStringList>("after");
    // The dialog shows a, b, c, d sorted by File descending; Delete removes b and c (the 2nd and 3rd rows shown).
    QTest::newRow("delete, file unchanged") << false << QStringList{"a", "b", "c", "d"} << QStringList{"d", "a"};
    QTest::newRow("delete, a sent and gone, e appended")
        << false << QStringList{"b", "c", "d", "e"} << QStringList{"d", "e"};
    QTest::newRow("delete, c counted again and moved first, f appended")
        << false << QStringList{"c:2", "a", "b", "d", "f"} << QStringList{"d", "a", "f"};
    QTest::newRow("clear, file unchanged") << true << QStringList{"a", "b", "c", "d"} << QStringList{};
    QTest::newRow("clear keeps what was appended meanwhile")
        << true << QStringList{"b", "d", "e", "a"} << QStringList{"e"};
}

void QueueDialogTest::deleteAndClearByContent() {
    QFETCH(bool, clear);
    QFETCH(QStringList, underneath);
    QFETCH(QStringList, after);
    Fixture f({"a", "b", "c", "d"});
    auto dialog = f.Open();
    QVERIFY(dialog);
    dialog->List()->ClickColumn(2);
    dialog->List()->ClickColumn(2);
    QCOMPARE(Column(*dialog, 2), (QStringList{"d", "c", "b", "a"}));
    f.env.WriteFile("zyfarQue.ini", QueueText(underneath));
    if (clear) {
        f.prompter.messageAnswers.push_back(MessageAnswer::Yes);
        dialog->ClearList();
    } else {
        dialog->List()->SelectRow(1);
        dialog->List()->ReportView()->selectionModel()->select(dialog->Model()->index(2, 0),
                                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        dialog->HandleCommand(cmd::Delete);
    }
    dialog->WaitForWrites();
    QCoreApplication::processEvents();
    QCOMPARE(FileNames(f.path), after);
    QCOMPARE(dialog->Model()->RowCount(), clear ? 0 : 2);
    QVERIFY(f.prompter.messageAnswers.empty());
}

void QueueDialogTest::messages_data() {
    QTest::addColumn<QStringList>("queue");
    QTest::addColumn<int>("command");  // 1 Send All, 1188 Send, 1127 Clear List
    QTest::addColumn<int>("answer");   // to 33044: 1 Yes, 0 No
    QTest::addColumn<QList<int>>("asked");
    QTest::addColumn<int>("runs");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("Send All with an idle entry starts it and closes")
        << QStringList{"a", "b:1:1"} << 1 << 0 << QList<int>{} << 1 << true << QStringList{"a", "b"};
    QTest::newRow("Send All with every entry being sent: 33054, stays open")
        << QStringList{"a:1:1"} << 1 << 0 << QList<int>{33054} << 0 << false << QStringList{"a"};
    QTest::newRow("Send on an empty queue: 33054") << QStringList{} << 1188 << 0 << QList<int>{33054} << 0 << false
                                                     << QStringList{};
    QTest::newRow("Send with an idle entry stays open") << QStringList{"a"} << 1188 << 0 << QList<int>{} << 1 << false
                                                         << QStringList{"a"};
    QTest::newRow("Clear List answered No changes nothing")
        << QStringList{"a", "b"} << 1127 << 0 << QList<int>{33044} << 0 << false << QStringList{"a", "b"};
    QTest::newRow("Clear List answered Yes") << QStringList{"a", "b"} << 1127 << 1 << QList<int>{33044} << 0 << false
                                             << QStringList{};
    QTest::newRow("Clear List on an empty list asks nothing")
        << QStringList{} << 1127 << 1 << QList<int>{} << 0 << false << QStringList{};
}

void QueueDialogTest::messages() {
    QFETCH(QStringList, queue);
    QFETCH(int, command);
    QFETCH(int, answer);
    QFETCH(QList<int>, asked);
    QFETCH(int, runs);
    QFETCH(bool, accepted);
    QFETCH(QStringList, after);
    Fixture f(queue);
    f.prompter.messageAnswers = {answer == 1 ? MessageAnswer::Yes : MessageAnswer::No};
    auto dialog = f.Open();
    QVERIFY(dialog);
    if (command == 1)
        dialog->SendAllButton()->click();
    else
        QVERIFY(dialog->HandleCommand(command));
    dialog->WaitForWrites();
    QCoreApplication::processEvents();
    QList<int> ids;
    for (int id : f.prompter.AskedIds()) ids << id;
    QCOMPARE(ids, asked);
    QCOMPARE(static_cast<int>(f.starter.runs.size()), runs);
    QCOMPARE(dialog->result() == QDialog::Accepted, accepted);
    QCOMPARE(FileNames(f.path), after);
}

// A get of "name" from down.test into `folder`: "name:status:resume::remote", resume
// "offset" (all three resume keys) or "offset!" (ResumeOffset alone, which
// no resend uses); method "put" makes it a put of the same local file.
std::string GetSection(int n, const QString& spec, const std::string& folder) {
    const QStringList f = spec.split(QLatin1Char(':'));
    const bool put = f.value(3) == "put";
    std::string text = "[QUEUE" + std::to_string(n) + "]\nLocalName=" + f[0].toStdString() +
                       "\nRemoteName=" + f.value(4, f[0]).toStdString() + (put ? "\nSource=Local\nDestination=down.test"
                                                                   : "\nSource=down.test\nDestination=Local") +
                       "\nFtpMethod=" + (put ? "ZYFAR_PUT" : "ZYFAR_GET") + "\nLocDirFile=" + folder +
                       "\nRemDirFile=/pub\nLogin=me\nPassword=pw\nNumTimes=1\nStatus=" + f.value(1, "0").toStdString() +
                       "\nReason=timed out\n";
    if (f.value(1, "0") != "0") text += "SendOwner=" + QueueOwnerOfThisProcess() + "\n";
    QString resume = f.value(2);
    if (!resume.isEmpty()) {
        const bool alone = resume.endsWith('!');
        text += "ResumeOffset=" + resume.remove('!').toStdString() + "\n";
        if (!alone) text += "SourceSize=900000\nSourceTime=20231114221320\n";
    }
    return text;
}

void QueueDialogTest::partialDownloadsOfDeletedGets_data() {
    QTest::addColumn<QStringList>("entries");  // GetSection specs; the first one is deleted
    QTest::addColumn<QString>("setup");        // "link": the part file is a link; "held": a run holds it
    QTest::addColumn<bool>("clear");           // Clear List instead of Delete
    QTest::addColumn<QStringList>("resumeAt");  // the "Resume at" column
    QTest::addColumn<bool>("removed");          // f.bin.zyfar-part is gone
    QTest::newRow("idle get: its part file goes")
        << QStringList{"f.bin:0:70000", "g.bin"} << "" << false << QStringList{"70000", ""} << true;
    QTest::newRow("Clear List too") << QStringList{"f.bin:0:70000", "g.bin"} << "" << true
                                    << QStringList{"70000", ""} << true;
    QTest::newRow("an offset alone is not shown; the file still goes")
        << QStringList{"f.bin:0:123!"} << "" << false << QStringList{""} << true;
    QTest::newRow("put: the local file's part file is not its own")
        << QStringList{"f.bin:0::put"} << "" << false << QStringList{""} << false;
    QTest::newRow("being sent: its run keeps it")
        << QStringList{"f.bin:1:70000"} << "" << false << QStringList{"70000"} << false;
    QTest::newRow("another entry continues it")
        << QStringList{"f.bin:0:70000", "f.bin:0:70000::mirror.bin"} << "" << false << QStringList{"70000", "70000"} << false;
    QTest::newRow("a link is neither followed nor removed")
        << QStringList{"f.bin:0:70000"} << "link" << false << QStringList{"70000"} << false;
    QTest::newRow("held by a run") << QStringList{"f.bin:0:70000"} << "held" << false << QStringList{"70000"} << false;
}

void QueueDialogTest::partialDownloadsOfDeletedGets() {
    QFETCH(QStringList, entries);
    QFETCH(QString, setup);
    QFETCH(bool, clear);
    QFETCH(QStringList, resumeAt);
    QFETCH(bool, removed);
    Fixture f({});
    const std::string folder = f.env.Path("down");
    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(entries.size()) + "\n";
    for (int i = 0; i < entries.size(); ++i) text += GetSection(i + 1, entries[i], folder);
    f.env.WriteFile("zyfarQue.ini", text);
    // The real file, an unrelated part file, and f.bin's part file (or a link in its place).
    f.env.WriteFile("down/f.bin", "the real file");
    f.env.WriteFile("down/other.bin.zyfar-part", "another download");
    f.env.WriteFile("victim.txt", "not to be touched");
    const QString part = QString::fromStdString(folder + "/f.bin.zyfar-part");
    if (setup == "link") {
        QVERIFY(QFile::link(QString::fromStdString(f.env.Path("victim.txt")), part));
    } else {
        f.env.WriteFile("down/f.bin.zyfar-part", std::string(70000, 'x'));
    }
    int held = -1;
    if (setup == "held") {
        held = ::open(part.toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
    }
    auto dialog = f.Open();
    QVERIFY(dialog);
    QCOMPARE(dialog->Model()->HeaderText(QueueListModel::ResumeAt), QStringLiteral("Resume at"));
    QCOMPARE(Column(*dialog, QueueListModel::ResumeAt), resumeAt);
    if (clear) {
        f.prompter.messageAnswers.push_back(MessageAnswer::Yes);
        dialog->ClearList();
    } else {
        dialog->List()->SelectRow(0);
        dialog->HandleCommand(cmd::Delete);
    }
    dialog->WaitForWrites();
    QCoreApplication::processEvents();
    if (held >= 0) ::close(held);
    QCOMPARE(FileNames(f.path).size(), clear ? 0 : entries.size() - 1);  // the entry went either way
    QCOMPARE(QFileInfo::exists(part) || QFileInfo(part).isSymLink(), !removed);
    QVERIFY(QFileInfo::exists(QString::fromStdString(folder + "/f.bin")));
    QVERIFY(QFileInfo::exists(QString::fromStdString(folder + "/other.bin.zyfar-part")));
    QFile victim(QString::fromStdString(f.env.Path("victim.txt")));
    QVERIFY(victim.open(QIODevice::ReadOnly));
    QCOMPARE(victim.readAll(), QByteArray("not to be touched"));
    QCOMPARE(f.prompter.unexpected(), 0);
}

QTEST_MAIN(QueueDialogTest)
#include "QueueDialogTest.moc"
