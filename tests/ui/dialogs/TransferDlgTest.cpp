// The transfer window over real transfers from a local pyftpdlib server: it
// shows the core's progress texts and closes by itself; the Cancel questions
// (one server and serial) with every answer, also when the run ends while the
// question is open; placement next to the previous window; the run starter's
// spaced starts; command-line link runs ending after their last window; a
// get continued from an earlier attempt says where it resumed.
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <chrono>
#include <memory>
#include <thread>

#include <utime.h>

#include "DialogTestSupport.h"
#include "automation/MultiPut.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "dialogs/ScriptedPrompter.h"
#include "engine/TransferController.h"
#include "engine/TransferRun.h"
#include "support/FtpTestServer.h"

using namespace zyfar;
using namespace zyfar::uitest;

Q_DECLARE_METATYPE(MessageAnswer)

class TransferDlgTest : public QObject {
    Q_OBJECT
    PrivateHome home_;
    std::unique_ptr<test::PyFtpdServer> server_;
    TestHost host_;
    RecordingSink sink_;
    ScriptedPrompter prompter_;
    int fileNumber_ = 0;

    std::string Root() const { return server_->root(); }
    TransferServer Server(const std::string& remoteDir, std::uint16_t port = 0) const {
        return TransferServer{"127.0.0.1", "user", "pass", remoteDir, port != 0 ? port : server_->port()};
    }
    // A local file of `size` pattern bytes and its put job into `remoteDir` (made on the server).
    CTransferJob PutJob(std::int64_t size, const std::string& remoteDir, std::string* bytes = nullptr) {
        const std::string name = "f" + std::to_string(++fileNumber_) + ".bin";
        const std::string data = test::PatternBytes(static_cast<std::size_t>(size), static_cast<std::uint32_t>(fileNumber_));
        test::WriteFile(home_.path().toStdString() + "/" + name, data);
        test::MakeDir(Root() + remoteDir);
        if (bytes != nullptr) *bytes = data;
        CTransferJob job;
        job.localDir = home_.path().toStdString();
        job.sourceName = job.targetName = name;
        job.remoteDir = remoteDir;
        job.size = size;
        return job;
    }
    std::unique_ptr<TransferRun> PutRun(const CTransferJob& job, std::uint16_t port = 0) {
        return MakeSingleServerRun(Server(job.remoteDir, port), {job}, "", job.size, TransferMode::PutKeep, 2, nullptr,
                                   nullptr, false);
    }
    std::string Remote(const CTransferJob& job) const {
        return test::ReadFile(Root() + job.remoteDir + "/" + job.targetName).value_or("<missing>");
    }

private slots:
    void initTestCase() {
        server_ = std::make_unique<test::PyFtpdServer>();
        QVERIFY2(server_->started(), server_->error().c_str());
        SetUiHost(&host_);
        WriteProfileString("FTP", "Passive", "YES");
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        WriteProfileString("FTP", "ConnectTo", "10");
        WriteProfileString("FTP", "Retry", "0");
        WriteProfileString("CONFIG", "Overwrite", "YES");
    }
    void cleanupTestCase() { SetUiHost(nullptr); }
    void init() {
        TheTransferLog().Clear();
        sink_.Clear();
        prompter_.Reset();
        prompter_.duringMessage = nullptr;
        host_.quits = 0;
        SetPendingLinkTransfers(-1);
    }
    void cleanup() {
        CTransferDlg::CancelAll();
        QTRY_COMPARE(CTransferDlg::OpenCount(), 0);
        QCOMPARE(prompter_.unexpected(), 0);
    }

    void showsTheCoreTextsAndClosesByItself() {
        std::string data;
        const CTransferJob job = PutJob(20'000'000, "/show", &data);
        QPointer<CTransferDlg> dlg = new CTransferDlg(PutRun(job), nullptr, nullptr, &sink_);
        QCOMPARE(dlg->windowTitle(), QStringLiteral("FTP Put to: 127.0.0.1"));
        QVERIFY(!dlg->close());  // the close box does nothing
        QVERIFY(dlg->isVisible());
        TransferProgress& progress = dlg->run().progress;
        // Waited for without serving events: the window cannot end meanwhile
        // (a fast put would otherwise be over, and its window gone, before
        // the suspend below).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (progress.Snapshot().batchDone == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        QVERIFY(progress.Snapshot().batchDone > 0);
        dlg->controller().Suspend();  // the texts stand still while the worker waits
        QTRY_COMPARE(FieldText(dlg, "All files bytes"), QString::fromStdString(progress.Snapshot().batchBytes));
        const ProgressSnapshot s = progress.Snapshot();
        QTRY_COMPARE(FieldText(dlg, "Current file bytes"), QString::fromStdString(s.fileBytes));
        QVERIFY(QRegularExpression(R"(^Sent \d+ bytes out of 20000000 \(\d+\.\d\d%\)$)")
                    .match(FieldText(dlg, "All files bytes"))
                    .hasMatch());
        QCOMPARE(FieldText(dlg, "FTP Server"), QString::fromStdString(s.server));
        // The two names show their ends.
        QCOMPARE(FieldText(dlg, "Remote File"), QString::fromStdString(s.remoteFile));
        for (const QLineEdit* e : dlg->findChildren<QLineEdit*>()) QCOMPARE(e->cursorPosition(), e->text().size());
        dlg->controller().Resume();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.isNull(), 60000);
        QVERIFY(Remote(job) == data);
        QCOMPARE(Logged(logcode::FtpTransferComplete),
                 QStringList{"Local Machine > 127.0.0.1 | /show/" + QString::fromStdString(job.targetName) + " | -"});
        QCOMPARE(sink_.Reports().size(), std::size_t{1});  // FinishTransfer ran once
    }

    // A get continued from its partial file: the window says from which byte,
    // and the whole file arrives.
    void resumedGetSaysWhereItContinued() {
        const std::string data = test::PatternBytes(20'000'000, 77);
        test::MakeDir(Root() + "/resume");
        test::WriteFile(Root() + "/resume/big.bin", data);
        const utimbuf times{1'700'000'000, 1'700'000'000};  // MDTM 20231114221320
        QCOMPARE(::utime((Root() + "/resume/big.bin").c_str(), &times), 0);
        const std::string local = home_.path().toStdString() + "/resume";
        test::MakeDir(local);
        constexpr std::int64_t kKept = 1'000'003;
        test::WriteFile(local + "/big.bin.zyfar-part", data.substr(0, kKept));
        CTransferJob job;
        job.localDir = local;
        job.sourceName = job.targetName = "big.bin";
        job.remoteDir = "/resume";
        job.size = static_cast<std::int64_t>(data.size());
        job.resume = ResumePoint{kKept, job.size, "20231114221320"};
        QPointer<CTransferDlg> dlg = new CTransferDlg(
            MakeSingleServerRun(Server("/resume"), {job}, "", job.size, TransferMode::Get, 2, nullptr, nullptr, false),
            nullptr, nullptr, &sink_);
        TransferProgress& progress = dlg->run().progress;
        // Waited for without serving events, as above: the window cannot end meanwhile.
        QVERIFY(WaitOffLoop([&] { return progress.Snapshot().fileResumedFrom > 0; }, std::chrono::seconds(30)));
        dlg->controller().Suspend();
        QTRY_COMPARE(FieldText(dlg, "Current file resumed"), QStringLiteral("Resumed at 1000003 bytes"));
        dlg->controller().Resume();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.isNull(), 60000);
        QVERIFY(test::ReadFile(local + "/big.bin") == data);
        QCOMPARE(Logged(logcode::FtpTransferComplete).size(), 1);
        QVERIFY2(Logged(logcode::FtpTransferComplete)[0].contains("Resumed at byte 1000003"),
                 qPrintable(Logged(logcode::FtpTransferComplete)[0]));
    }

    // The Cancel button of a one-server window. "ends meanwhile": the worker
    // runs to its end while the question is open; the window must outlive its
    // question, and the answer no longer matters.
    void cancelQuestion_data() {
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<bool>("endsMeanwhile");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("escape");  // Escape instead of the button
        QTest::newRow("No resumes") << MessageAnswer::No << false << true << false;
        QTest::newRow("Yes cancels") << MessageAnswer::Yes << false << false << false;
        QTest::newRow("Escape, Yes cancels") << MessageAnswer::Yes << false << false << true;
        QTest::newRow("ends meanwhile, No") << MessageAnswer::No << true << true << false;
        QTest::newRow("ends meanwhile, Yes") << MessageAnswer::Yes << true << true << false;
    }
    void cancelQuestion() {
        QFETCH(MessageAnswer, answer);
        QFETCH(bool, endsMeanwhile);
        QFETCH(bool, sent);
        QFETCH(bool, escape);
        std::string data;
        const CTransferJob job = PutJob(5'000'000, "/cancel" + std::to_string(fileNumber_), &data);
        QPointer<CTransferDlg> dlg = new CTransferDlg(PutRun(job), nullptr, nullptr, &sink_);
        prompter_.messageAnswers = {answer};
        bool aliveAfterEnd = false;
        prompter_.duringMessage = [&](const ScriptedPrompter::Asked&) {
            dlg->CancelClicked();  // a second click while asking is ignored
            if (!endsMeanwhile) return;
            dlg->controller().Resume();
            QVERIFY(WaitOffLoop([&] { return dlg->controller().WorkerDone(); }));
            QCoreApplication::processEvents();  // the worker's end arrives while the box is open
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            aliveAfterEnd = !dlg.isNull() && !dlg->controller().Finished();
        };
        if (escape) {
            QTest::keyClick(dlg, Qt::Key_Escape);
        } else {
            QTest::mouseClick(dlg->findChild<QPushButton*>(), Qt::LeftButton);
        }
        QTRY_VERIFY_WITH_TIMEOUT(dlg.isNull(), 60000);
        QCOMPARE(aliveAfterEnd, endsMeanwhile);
        QCOMPARE(prompter_.asked().size(), std::size_t{1});
        const ScriptedPrompter::Asked& q = prompter_.asked()[0];
        QCOMPARE(q.text, QStringLiteral("127.0.0.1: Cancel FTP sending?"));
        QCOMPARE(q.id, 0);
        QCOMPARE(q.buttons, MessageButtons::YesNo);
        QCOMPARE(q.icon, MessageKind::Question);
        QCOMPARE(sink_.Reports().size(), std::size_t{1});  // FinishTransfer ran once
        QCOMPARE(Remote(job) == data, sent);
        QCOMPARE(Logged(logcode::FtpTransferComplete).size(), sent ? 1 : 0);
        const QStringList failed = Logged(logcode::FtpTransferFailed);
        QCOMPARE(failed.size(), sent ? 0 : 1);
        if (!sent) QVERIFY2(failed[0].endsWith("| FTP Put Canceled"), qPrintable(failed[0]));
    }

    // The serial window's three buttons, pressed while the first of three sites connects.
    void serialCancel_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QList<bool>>("sentTo");
        QTest::newRow("All") << 0 << QList<bool>{false, false, false};
        QTest::newRow("Only this one") << 1 << QList<bool>{false, true, true};
        QTest::newRow("Cancel") << 2 << QList<bool>{true, true, true};
    }
    void serialCancel() {
        QFETCH(int, button);
        QFETCH(QList<bool>, sentTo);
        std::string data;
        const std::string base = "/serial" + std::to_string(button);
        const CTransferJob job = PutJob(3'000'000, base, &data);
        std::vector<CTransferSite> sites;
        for (int i = 1; i <= 3; ++i) {
            const std::string dir = base + "/s" + std::to_string(i);
            test::MakeDir(Root() + dir);
            sites.push_back(CTransferSite{"127.0.0.1", "user", "pass", dir, 0, server_->port()});
        }
        CTransferJob relative = job;
        relative.remoteDir.clear();  // each site's own folder
        QPointer<CTransferDlg> dlg = new CTransferDlg(
            MakeSerialRun(sites, {relative}, job.size, TransferMode::PutKeep, 1, nullptr, nullptr, false), nullptr,
            nullptr, &sink_);
        prompter_.threeButtonAnswers = {button};
        dlg->CancelClicked();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.isNull(), 60000);
        QCOMPARE(prompter_.asked().size(), std::size_t{1});
        QCOMPARE(prompter_.asked()[0].text,
                 QStringLiteral("This is a Serial FTP Put transfer. Cancel all or just this one?"));
        for (int i = 0; i < 3; ++i) {
            const std::string path = Root() + base + "/s" + std::to_string(i + 1) + "/" + job.targetName;
            QVERIFY2((test::ReadFile(path) == data) == sentTo[i], path.c_str());
        }
        QCOMPARE(sink_.Reports().size(), std::size_t{4});  // each site once, then the run's end
    }

    void placement_data() {
        QTest::addColumn<QRect>("previous");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("expected");
        const QRect screen(0, 0, 1280, 900);
        QTest::newRow("next to it") << QRect(100, 100, 300, 200) << screen << QPoint(110, 120);
        QTest::newRow("reaches the right edge") << QRect(980, 100, 300, 200) << screen << QPoint(20, 120);
        QTest::newRow("one short of the right edge") << QRect(969, 100, 300, 200) << screen << QPoint(979, 120);
        QTest::newRow("reaches the bottom") << QRect(100, 700, 300, 200) << screen << QPoint(110, 40);
        QTest::newRow("one short of the bottom") << QRect(100, 679, 300, 200) << screen << QPoint(110, 699);
        QTest::newRow("both") << QRect(1000, 800, 300, 200) << screen << QPoint(20, 40);
        QTest::newRow("panel above") << QRect(100, 750, 300, 200) << QRect(0, 30, 1280, 870) << QPoint(110, 70);
    }
    void placement() {
        QFETCH(QRect, previous);
        QFETCH(QRect, available);
        QFETCH(QPoint, expected);
        QCOMPARE(PlaceNextTo(previous, available), expected);
    }

    // A parallel put to four servers that never answer the login: the first
    // window opens at once, the others wait for timers (the GUI thread never
    // sleeps) and open in order, each next to the one before.
    void starterSpacesStartsWithoutSleeping() {
        test::FaultServer silent(R"({"after_greeting": "stall"})");
        QVERIFY2(silent.started(), silent.error().c_str());
        DialogRunStarter starter(&sink_);
        QList<QPointer<CTransferDlg>> opened;
        QList<QPoint> expected;
        connect(&starter, &DialogRunStarter::opened, this, [&](CTransferDlg* d) {
            expected << (opened.isEmpty() ? d->pos()
                                          : PlaceNextTo(opened.last()->frameGeometry(), d->screen()->availableGeometry()));
            opened << d;
        });
        std::vector<TransferServer> servers;
        for (int i = 1; i <= 4; ++i) servers.push_back(Server("/p" + std::to_string(i), silent.port()));
        const CTransferJob job = PutJob(10, "/p");
        QCOMPARE(StartParallelRuns(servers, {job}, job.size, starter), 4);
        QCOMPARE(starter.Started(), 1);  // no sleep: the other three wait
        QCOMPARE(starter.Waiting(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(starter.Started(), 4, 10000);
        QCOMPARE(starter.Waiting(), 0);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(!opened[i].isNull());
            QCOMPARE(opened[i]->run().source.remoteDir, "/p" + std::to_string(i + 1));
            QCOMPARE(opened[i]->pos(), expected[i]);
        }
        QCOMPARE(starter.LastOpened(), opened.last().data());
    }

    // Runs still waiting when the starter goes away end as never connected.
    void starterEndsWaitingRunsWhenDestroyed() {
        test::FaultServer silent(R"({"after_greeting": "stall"})");
        QVERIFY2(silent.started(), silent.error().c_str());
        const CTransferJob job = PutJob(10, "/drop");
        {
            DialogRunStarter starter(&sink_);
            const std::vector<TransferServer> servers(3, Server("/drop", silent.port()));
            QCOMPARE(StartParallelRuns(servers, {job}, job.size, starter), 3);
            QCOMPARE(starter.Waiting(), 2);
        }
        const std::vector<QueueReport> reports = sink_.Reports();
        QCOMPARE(reports.size(), std::size_t{2});
        for (const QueueReport& r : reports) {
            QCOMPARE(r.items.size(), std::size_t{1});
            QCOMPARE(r.items[0].result, kJobNotAttempted);
            QCOMPARE(r.items[0].errorText, std::string("FTP Put Canceled"));
        }
        QCOMPARE(Logged(logcode::FtpTransferFailed).size(), 2);
        QCOMPARE(CTransferDlg::OpenCount(), 1);  // the one that started runs on
    }

    // A command-line link run with two windows quits when the second closes, not before.
    void linkRunQuitsAfterTheLastWindow() {
        test::FaultServer silent(R"({"after_greeting": "stall"})");
        QVERIFY2(silent.started(), silent.error().c_str());
        SetPendingLinkTransfers(2);
        QPointer<CTransferDlg> waiting = new CTransferDlg(PutRun(PutJob(10, "/link"), silent.port()), nullptr, nullptr, &sink_);
        QPointer<CTransferDlg> quick = new CTransferDlg(PutRun(PutJob(1000, "/link")), nullptr, nullptr, &sink_);
        QTRY_VERIFY_WITH_TIMEOUT(quick.isNull(), 30000);
        QCOMPARE(PendingLinkTransfers(), 1);
        QCOMPARE(host_.quits.load(), 0);
        prompter_.messageAnswers = {MessageAnswer::Yes};
        waiting->CancelClicked();
        QTRY_VERIFY(waiting.isNull());
        QCOMPARE(PendingLinkTransfers(), 0);
        QCOMPARE(host_.quits.load(), 1);
    }
};

QTEST_MAIN(TransferDlgTest)
#include "TransferDlgTest.moc"
