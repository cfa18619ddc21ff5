// The queue dialog: its own sort rules, Delete and Clear List by content
// while another run changes the file underneath, and the messages 33044 and
// 33054 of its commands.
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

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

QTEST_MAIN(QueueDialogTest)
#include "QueueDialogTest.moc"
