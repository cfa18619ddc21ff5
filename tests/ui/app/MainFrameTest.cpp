// The main window: its rectangle and tray, the screens and the profile bar,
// the commands with their check marks and settings, the e-mail prompt, the
// scheduler switch, files dropped from the desktop, and a worker's message
// box that must not hang the window.
#include <QAction>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QtTest>
#include <thread>

#include "app/Application.h"
#include "platform/CommandLine.h"
#include "app/MainFrame.h"
#include "platform/Clock.h"
#include "automation/Scheduler.h"
#include "dialogs/BatchOutputDlg.h"
#include "app/ScreenPanes.h"
#include "config/ConfigSheet.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "dialogs/ProfileWindow.h"
#include "dialogs/ScriptedPrompter.h"
#include "log/TransferLog.h"
#include "platform/WorkerControl.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "support/UiTestEnv.h"
#include "views/FilesView.h"
#include "views/FtpView.h"

using namespace zyfar;

namespace {

QString Key(const char* section, const char* key) {
    return QString::fromStdString(GetProfileString(section, key, "<absent>"));
}

bool Checked(CMainFrame& frame, int id) { return frame.Commands().StateOf(id).checked.value_or(false); }

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
    std::unique_ptr<uitest::UiTestEnv> env_;

private slots:
    void init() {
        env_ = std::make_unique<uitest::UiTestEnv>();
        (void)TheTransferLog().ReloadSettings();
    }
    void cleanup() { env_.reset(); }

    void rectangleIsStoredAndRestored() {
        {
            CMainFrame frame(false);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QCOMPARE(frame.windowTitle(), QStringLiteral("Zyfar v. 2.06"));
            QCOMPARE(frame.pos(), QPoint(20, 20));
            QCOMPARE(MainFrame(), &frame);
            frame.resize(700, 500);
            frame.close();  // writes at once, without waiting for the delayed save
        }
        QCOMPARE(Key("Dimensions\\Main\\Mainframe", "Width"), QStringLiteral("700"));
        // Every splitter was saved at close.
        for (const char* s : {"Main\\split1", "Main\\split2", "Main\\split3", "Main\\split4"})
            QVERIFY2(Key((std::string("Dimensions\\") + s).c_str(), "NumRows") != "<absent>", s);
        // Stored splitter sizes come back once the window is shown.
        WriteProfileString("Dimensions\\Main\\split2", "Col0", "200");
        WriteProfileString("Dimensions\\Main\\split2", "Col1", "480");
        CMainFrame again(false);
        QCOMPARE(again.size(), QSize(700, 500));
        again.ShowAsStored();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QTRY_VERIFY(again.Screen().LeftRight()->sizes().value(0) > 0);
        const QList<int> sizes = again.Screen().LeftRight()->sizes();
        QVERIFY2(sizes[0] * 2 < sizes[1], qPrintable(QString::number(sizes[0]) + "/" + QString::number(sizes[1])));
    }

    void trayStateAndMenu() {
        CMainFrame frame(true);
        QVERIFY(frame.HasTrayIcon());
        for (int s : {2, 7, -1}) frame.SetTrayState(s);
        QCOMPARE(frame.TrayState(), 2);  // unknown states change nothing
        // A burst from a worker ends at the last state asked for.
        std::thread burst([&frame] {
            for (int i = 0; i < 10000; ++i) frame.SetTrayState(1 + i % 2);
            frame.SetTrayState(0);
        });
        burst.join();
        QTRY_COMPARE(frame.TrayState(), 0);
        QStringList ids;
        for (QAction* a : frame.TrayMenu()->actions())
            if (!a->isSeparator()) ids << a->objectName();
        QCOMPARE(ids, (QStringList{"command1264", "command1239", "command1268", "command1266", "command1265",
                                   "command1267"}));
    }

    void startScreen_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("screen");
        QTest::newRow("absent") << QString() << 1174;
        QTest::newRow("local") << "REMOTE_LOCAL" << 1172;
        QTest::newRow("multiple") << "MULTIPLE_PUT" << 1174;
        QTest::newRow("other") << "remote" << 1173;
    }
    void startScreen() {
        QFETCH(QString, stored);
        QFETCH(int, screen);
        if (!stored.isNull()) WriteProfileString("CONFIG", "StartScreen", stored.toStdString());
        CMainFrame frame(false);
        QCOMPARE(static_cast<int>(frame.CurrentScreen()), screen);
        for (int id : {1172, 1173, 1174}) QCOMPARE(Checked(frame, id), id == screen);
        ProfileBar& bar = frame.Bar();
        QCOMPARE(bar.ComboOf(ProfileBar::Left)->isEnabled(), screen != 1172);
        QCOMPARE(bar.ComboOf(ProfileBar::Links)->isVisibleTo(&bar), screen == 1174);
        QCOMPARE(bar.LabelOf(ProfileBar::Right)->text(),
                 screen == 1174 ? QStringLiteral("File Profiles") : QStringLiteral("FTP Sites"));
        const bool multiple = screen == 1174;
        QCOMPARE(qobject_cast<CFtpView*>(frame.Screen().RightFirst()) != nullptr, multiple);
        QCOMPARE(qobject_cast<CFilesView*>(frame.FileListView()) != nullptr, multiple);
    }

    void screenSwitchAndSplit() {
        CMainFrame frame(false);
        QWidget* list = frame.Screen().RightList();
        QVERIFY(frame.HandleCommand(1174));  // the screen shown: nothing happens
        QCOMPARE(frame.Screen().RightList(), list);
        QCOMPARE(Key("Dimensions\\Main\\split2", "NumCols"), QStringLiteral("<absent>"));
        frame.Commands().Dispatch(1172);
        QCOMPARE(static_cast<int>(frame.CurrentScreen()), 1172);
        QCOMPARE(Key("CONFIG", "StartScreen"), QStringLiteral("REMOTE_LOCAL"));
        QVERIFY(Key("Dimensions\\Main\\split2", "NumCols") != "<absent>");  // saved by the switch
        QCOMPARE(frame.Screen().LeftHalf()->orientation(), Qt::Vertical);  // HORIZ: tree above list
        QWidget* log = frame.LogView();
        // Vertically on the configuration sheet's Misc page, then OK: the
        // screen is rebuilt once the sheet has closed.
        bool sheetSeen = false;
        QTimer::singleShot(0, &frame, [&] {
            auto* sheet = qobject_cast<ConfigSheet*>(QApplication::activeModalWidget());
            if (sheet == nullptr) return;
            sheetSeen = true;
            sheet->SetCurrentPage(ConfigSheet::MiscTab);
            for (QRadioButton* b : sheet->findChildren<QRadioButton*>())
                if (b->text().remove('&') == "Vertically") b->click();
            sheet->accept();
        });
        frame.Commands().Dispatch(1158);
        QVERIFY(sheetSeen);
        QCOMPARE(Key("CONFIG", "ScreenSplit"), QStringLiteral("VERT"));
        QTRY_COMPARE(frame.Screen().LeftHalf()->orientation(), Qt::Horizontal);
        QCOMPARE(frame.LogView(), log);  // the log view survives a rebuild
        QCOMPARE(static_cast<int>(frame.CurrentScreen()), 1172);
    }

    // Screen readers and black-box tests find every list, tree and field by name.
    void everyViewAndFieldHasAName() {
        CMainFrame frame(false);
        for (int screen : {1172, 1173, 1174}) {
            frame.Commands().Dispatch(screen);
            QStringList unnamed;
            for (QWidget* w : frame.findChildren<QWidget*>()) {
                const bool field = qobject_cast<QAbstractItemView*>(w) || qobject_cast<QComboBox*>(w) ||
                                   qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w);
                if (field && w->accessibleName().isEmpty() && w->isVisibleTo(&frame))
                    unnamed << QString::fromLatin1(w->metaObject()->className()) + "/" + w->objectName() + "/" + (w->parentWidget() ? w->parentWidget()->objectName() : QString());
            }
            QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        }
    }

    void modesFiltersAndBars_data() {
        QTest::addColumn<QString>("transferType");
        QTest::addColumn<int>("mode");
        QTest::newRow("binary") << "BINARY" << 1165;
        QTest::newRow("text") << "TEXT" << 1166;
        QTest::newRow("unknown") << "NotFound" << 1167;
    }
    void modesFiltersAndBars() {
        QFETCH(QString, transferType);
        QFETCH(int, mode);
        WriteProfileString("FTP", "TransferType", transferType.toStdString());
        WriteProfileString("LOG", "View", "SUCCESS");
        WriteProfileString("CONFIG", "StatusBar", "0");
        CMainFrame frame(false);
        for (int id : {1165, 1166, 1167}) QCOMPARE(Checked(frame, id), id == mode);
        frame.Commands().Dispatch(1166);
        QCOMPARE(Key("FTP", "TransferType"), QStringLiteral("TEXT"));
        QVERIFY(Checked(frame, 1184));
        frame.Commands().Dispatch(1185);
        QCOMPARE(Key("LOG", "View"), QStringLiteral("UNSUCCESS"));
        QVERIFY(Checked(frame, 1185) && !Checked(frame, 1184));
        // Absent bar keys show the bar; a stored 0 hides it; a toggle stores.
        QVERIFY(Checked(frame, 59392) && Checked(frame, 1232) && !Checked(frame, 59393));
        frame.Commands().Dispatch(1232);
        QCOMPARE(Key("CONFIG", "ProfileBar"), QStringLiteral("0"));
        QVERIFY(!Checked(frame, 1232));
    }

    void schedulerSwitchAsksAndStores() {
        ScriptedPrompter prompt;
        CMainFrame frame(false);
        frame.StartBackground(nullptr);
        QVERIFY(!frame.SchedulerRunning());
        prompt.messageAnswers = {MessageAnswer::Ok, MessageAnswer::Cancel, MessageAnswer::Ok};
        frame.Commands().Dispatch(1200);
        QVERIFY(frame.SchedulerRunning());
        QVERIFY(Checked(frame, 1200) && Checked(frame, 1265));
        QCOMPARE(Key("CONFIG", "Scheduler"), QStringLiteral("YES"));
        frame.Commands().Dispatch(1265);  // Cancel: still running
        QVERIFY(frame.SchedulerRunning());
        frame.Commands().Dispatch(1200);
        QVERIFY(!frame.SchedulerRunning());
        QCOMPARE(Key("CONFIG", "Scheduler"), QStringLiteral("NO"));
        QStringList asked;
        for (const auto& a : prompt.asked()) asked << a.text;
        QCOMPARE(asked, (QStringList{"Start Scheduler?", "Stop Scheduler?", "Stop Scheduler?"}));
    }

    // A scheduler tick that comes while a modal dialog is open still starts
    // its script, in a batch window of no owner (the dialog stays open).
    void schedulerTickDuringAModalDialogStartsTheScript() {
        ScriptedPrompter prompt;
        env_->WriteFile("tick.cmd", "");
        const std::string script = env_->Path("tick.cmd");
        // Hourly at this minute and the next: the first tick (5 s after the
        // start) finds one of them due even when the minute turns meanwhile.
        const LocalDateTime now = SystemClockInstance().Now();
        std::vector<ScheduleEntry> entries;
        for (int add : {0, 1}) {
            ScheduleRequest request;
            request.useScript = true;
            request.scriptPath = script;
            request.frequency = ScheduleFrequency::Hourly;
            request.minute = (now.minute + add) % 60;
            const ScheduleRequestResult made = MakeScheduleEntry(request, now);
            QVERIFY(made.entry.has_value());
            entries.push_back(*made.entry);
        }
        QVERIFY(SaveSchedule(entries));
        CMainFrame frame(false);
        DialogRunStarter starter;
        frame.StartBackground(&starter);
        prompt.messageAnswers = {MessageAnswer::Ok};
        frame.Commands().Dispatch(1200);
        QVERIFY(frame.SchedulerRunning());
        QDialog modal(&frame);
        QPointer<BatchOutputDlg> started;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &modal, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dlg = qobject_cast<BatchOutputDlg*>(w)) started = dlg;
            if (started) modal.accept();
        });
        watch.start(50);
        QTimer::singleShot(20000, &modal, &QDialog::reject);  // bounded: no tick, no window
        QCOMPARE(modal.exec(), int(QDialog::Accepted));
        QVERIFY(started != nullptr);
        QVERIFY(started->parentWidget() == nullptr);
        QCOMPARE(started->windowModality(), Qt::NonModal);
        BatchOutputDlg::CancelAll();
    }

    // A -b or -l run with a display whose script or link is not there: the
    // refusal box, then the unattended run's status 2 without an event loop.
    void displayRunOfAMissingScriptOrLinkEndsWithTwo_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("message");
        QTest::newRow("no such script") << QStringLiteral("missing.cmd") << QString() << 33050;
        QTest::newRow("not a script") << QStringLiteral("notes.txt") << QString() << 33050;
        QTest::newRow("no such link") << QString() << QStringLiteral("nowhere") << 33051;
    }
    void displayRunOfAMissingScriptOrLinkEndsWithTwo() {
        QFETCH(QString, script);
        QFETCH(QString, link);
        QFETCH(int, message);
        ScriptedPrompter prompt;
        prompt.messageAnswers = {MessageAnswer::Ok};
        env_->WriteFile("notes.txt", "x");
        CommandLine line;
        line.commandLineJob = true;
        if (!script.isEmpty()) line.scriptPath = env_->Path(script.toStdString());
        line.linkName = link.toStdString();
        CMainFrame frame(false);
        QCOMPARE(RunJobWithDisplay(line, frame), 2);
        QCOMPARE(prompt.AskedIds(), std::vector<int>{message});
        QVERIFY(!frame.isVisible());
    }

    void emailPrompt() {
        ScriptedPrompter prompt;
        WriteProfileString("CONFIG", "Email", "@example.org");  // "@" first: not accepted
        env_->WriteFile("base/Profiles/anon.ini", "[Settings]\nHost=h\nUser=Anonymous\nPassword=old\n");
        env_->WriteFile("base/Profiles/me.ini", "[Settings]\nHost=h\nUser=me\nPassword=secret\n");
        CMainFrame frame(false);
        prompt.inputAnswers = {QString(), QStringLiteral("nobody"), QStringLiteral("@x")};
        QVERIFY(frame.EnsureEmail());
        QCOMPARE(prompt.AskedIds(), (std::vector<int>{327, 327}));
        QCOMPARE(Key("CONFIG", "Email"), QStringLiteral("@x"));  // typed: an "@" anywhere will do
        QCOMPARE(ReadSiteProfile(env_->Path("base/Profiles/anon.ini")).password, std::string("@x"));
        QCOMPARE(ReadSiteProfile(env_->Path("base/Profiles/me.ini")).password, std::string("secret"));
        WriteProfileString("CONFIG", "Email", "me@");
        prompt.Reset();
        QVERIFY(!frame.EnsureEmail());  // cancelled: the program ends
    }

    void desktopDropsAndLinksFillTheMultiplePutLists() {
        ScriptedPrompter prompt;
        env_->WriteFile("drop/a.txt", "abc");
        env_->WriteFile("drop/sub/b.txt", "");
        env_->WriteFile("base/Profiles/one.ini", "[Settings]\nHost=one.example\nUser=u\nPassword=pw\nPort=2121\n");
        env_->WriteFile("base/Files/list/flist.ini",
                        "[LIST]\nNumItems=1\n[FILE1]\nLocalName=c.txt\nFolder=/tmp/\nRemoteName=c.txt\nSize=3\n");
        std::string saved;
        QVERIFY(AddLink("lnk", {env_->Path("base/Profiles/one.ini")}, 1, env_->Path("base/Files/list"), &saved).ok());
        CMainFrame frame(false);
        QCOMPARE(frame.AddDroppedPaths({QString::fromStdString(env_->Path("drop"))}), 2);
        QCOMPARE(frame.AddDroppedPaths({QString::fromStdString(env_->Path("drop"))}), 0);
        QComboBox* links = frame.Bar().ComboOf(ProfileBar::Links);
        QCOMPARE(links->count(), 1);
        QCOMPARE(frame.Bar().ComboOf(ProfileBar::Left)->itemText(0), QStringLiteral("one"));
        QCOMPARE(frame.Bar().ComboOf(ProfileBar::Right)->itemText(0), QStringLiteral("list"));
        // The site list is empty (not asked); the file list asks: Append.
        prompt.threeButtonAnswers = {1};
        emit links->activated(0);
        auto* sites = qobject_cast<CFtpView*>(frame.Screen().RightFirst());
        auto* files = qobject_cast<CFilesView*>(frame.FileListView());
        QCOMPARE(sites->Sites().size(), std::size_t{1});
        QCOMPARE(sites->Sites()[0].port, 2121);
        QCOMPARE(sites->Model()->data(sites->Model()->index(0, 2)).toString(), QStringLiteral("****"));
        QCOMPARE(files->Items().size(), std::size_t{3});
        // Again, appending both: the site and the file are there already.
        prompt.threeButtonAnswers = {1, 1};
        emit links->activated(0);
        QCOMPARE(sites->Sites().size(), std::size_t{1});
        QCOMPARE(files->Items().size(), std::size_t{3});
        QCOMPARE(prompt.unexpected(), 0);
    }

    // The profile window's changes reach the profile bar; the sends belong to
    // the Multiple FTP Put screen.
    void profileWindowRefillsTheBarAndSendsNeedTheirScreen() {
        ScriptedPrompter prompt;
        CMainFrame frame(false);
        QVERIFY(frame.Commands().StateOf(1141).enabled);
        frame.Commands().Dispatch(1141);
        QPointer<CProfile> window = CProfile::Instance();
        QVERIFY(window != nullptr);
        env_->WriteFile("base/Profiles/fresh.ini", "[Settings]\nHost=fresh.example\nUser=u\nPassword=p\n");
        emit window->siteProfileCreated(QStringLiteral("fresh"), QString::fromStdString(env_->Path("base/Profiles/fresh.ini")));
        QCOMPARE(frame.Bar().ComboOf(ProfileBar::Left)->findText(QStringLiteral("fresh")), 0);
        window->close();
        QTRY_VERIFY(window.isNull());
        DialogRunStarter starter;
        frame.StartBackground(&starter);
        QVERIFY(frame.Commands().StateOf(1133).enabled);
        frame.Commands().Dispatch(1172);
        QVERIFY(!frame.Commands().StateOf(1133).enabled && !frame.Commands().StateOf(1134).enabled);
        QCOMPARE(prompt.unexpected(), 0);
    }

    // A worker waits for a message box; its control is cancelled while the
    // box is open: the wait ends, the box goes away, and the GUI thread can
    // join the worker.
    void cancelledWorkerLeavesItsMessageBox() {
        CMainFrame frame(false);
        WorkerControl control;
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            WorkerScope scope(&control);
            answer = static_cast<int>(frame.ShowMessage("Proceed?", MessageKind::Question, MessageButtons::YesNo));
        });
        // The box runs its own event loop: the cancel comes from a timer that
        // fires inside it once the box is there.
        bool sawBox = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (frame.findChild<QMessageBox*>() != nullptr) {
                sawBox = true;
                control.Cancel();
            }
        });
        poll.start(10);
        QTRY_COMPARE(answer.load(), static_cast<int>(MessageAnswer::Cancel));
        worker.join();
        QVERIFY(sawBox);
        QTRY_VERIFY(frame.findChild<QMessageBox*>() == nullptr);
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
