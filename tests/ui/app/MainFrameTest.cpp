// The main window opens with its title and the stored rectangle, keeps the
// rectangle in the settings store, and drives the tray icon state.
#include <QMenu>
#include <QSignalSpy>
#include <thread>
#include <QTemporaryDir>
#include <QtTest>

#include "app/MainFrame.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

using namespace zyfar;

class MainFrameTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        SetSettingsFileForTesting((dir_.path() + "/Zyfar.ini").toStdString());
        std::remove((dir_.path() + "/Zyfar.ini").toStdString().c_str());
    }
    void cleanup() { SetSettingsFileForTesting(""); }

    void opensWithTitleAndDefaultRectangle() {
        CMainFrame frame(false);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.windowTitle(), QStringLiteral("Zyfar v. 2.06"));
        QCOMPARE(frame.size(), QSize(400, 400));
        QCOMPARE(frame.pos(), QPoint(20, 20));
        QCOMPARE(MainFrame(), &frame);
        QVERIFY(!frame.HasTrayIcon());
    }

    void opensAtTheStoredRectangle() {
        WriteWindowGeometry(sections::MainWindow, WindowGeometry{640, 480, 33, 44});
        CMainFrame frame(false);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.size(), QSize(640, 480));
        QCOMPARE(frame.pos(), QPoint(33, 44));
    }

    void savesTheRectangleWhenResizedAndAtClose() {
        {
            CMainFrame frame(false);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.resize(512, 300);
            QTRY_COMPARE(ReadWindowGeometry(sections::MainWindow).width, 512);
            frame.resize(530, 310);
            frame.close();
            // Closing writes at once, without waiting for the delayed save.
            const WindowGeometry g = ReadWindowGeometry(sections::MainWindow);
            QCOMPARE(g.width, 530);
            QCOMPARE(g.height, 310);
        }
        CMainFrame again(false);
        QCOMPARE(again.size(), QSize(530, 310));
    }

    void trayStateChangesOnlyForKnownStates() {
        CMainFrame frame(true);
        QVERIFY(frame.HasTrayIcon());
        QCOMPARE(frame.TrayState(), 0);
        frame.SetTrayState(2);
        QCOMPARE(frame.TrayState(), 2);
        frame.SetTrayState(7);
        QCOMPARE(frame.TrayState(), 2);
        frame.SetTrayState(-1);
        QCOMPARE(frame.TrayState(), 2);
        frame.SetTrayState(1);
        QCOMPARE(frame.TrayState(), 1);
        // From a worker thread the change arrives through the event loop.
        std::thread worker([&frame] { frame.SetTrayState(0); });
        worker.join();
        QTRY_COMPARE(frame.TrayState(), 0);
        // A burst of changes from a worker ends at the last state asked for.
        std::thread burst([&frame] {
            for (int i = 0; i < 10000; ++i) frame.SetTrayState(1 + i % 2);
            frame.SetTrayState(2);
        });
        burst.join();
        QTRY_COMPARE(frame.TrayState(), 2);
    }

    void trayMenuOffersToggleAndClose() {
        CMainFrame frame(true);
        QStringList texts;
        for (QAction* a : frame.TrayMenu()->actions())
            if (!a->isSeparator()) texts << a->text();
        QVERIFY(texts.contains("Toggle &Window"));
        QVERIFY(texts.contains("Close &Zyfar"));
        QVERIFY(texts.contains("&Scheduler"));
    }

    void toggleWindowWritesWinState() {
        CMainFrame frame(true);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.ToggleWindow();
        QVERIFY(!frame.isVisible());
        QCOMPARE(QString::fromStdString(Read(keys::WinState)), QStringLiteral("ICONIC"));
        frame.ToggleWindow();
        QVERIFY(frame.isVisible());
        QCOMPARE(QString::fromStdString(Read(keys::WinState)), QStringLiteral("RESTORED"));
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
