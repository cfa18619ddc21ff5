// The Transfer Statistics window: the core's texts for the counters, the
// one-second refresh, one window at a time, and its stored position.
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QtTest>

#include "DialogTestSupport.h"
#include "dialogs/CStatisticsDlg.h"
#include "engine/TransferStats.h"
#include "settings/Keys.h"

using namespace zyfar;
using namespace zyfar::uitest;

class StatisticsDlgTest : public QObject {
    Q_OBJECT
    PrivateHome home_;
    int settingsFile_ = 0;

    static void CloseWindow() {
        QPointer<CStatisticsDlg> open = CStatisticsDlg::Instance();
        if (open) open->close();
        QTRY_VERIFY(open.isNull());
    }

private slots:
    void init() {
        ResetStatisticsForTesting();
        // No stored position unless a test writes one.
        SetSettingsFileForTesting(home_.path().toStdString() + "/settings" + std::to_string(++settingsFile_) + ".ini");
    }
    void cleanup() { CloseWindow(); }

    void texts_data() {
        QTest::addColumn<QList<qint64>>("counters");  // local read, local written, received, sent, got, files
        QTest::addColumn<double>("localSeconds");
        QTest::addColumn<double>("remoteSeconds");
        QTest::addColumn<QStringList>("expected");  // the nine fields in window order
        QTest::newRow("no transfer yet") << QList<qint64>{0, 0, 0, 0, 0, 0} << 0.0 << 0.0
                                         << QStringList{"", "", "", "", "0", "", "", "", ""};
        // Every counter distinct, so a field showing the wrong counter shows.
        QTest::newRow("every counter") << QList<qint64>{1'234'567, 999, 50'000, 1'000'000'000, 122'000, 3} << 3725.4
                                       << 61.0
                                       << QStringList{"1,234,567", "999",   "50,000",       "1,000,000,000", "3",
                                                      "0.33",      "1 hr 2 min 5 secs", "2.00", "1 min 1 secs"};
    }
    void texts() {
        QFETCH(QList<qint64>, counters);
        QFETCH(double, localSeconds);
        QFETCH(double, remoteSeconds);
        QFETCH(QStringList, expected);
        stats::AddLocalBytesRead(counters[0]);
        stats::AddLocalBytesWritten(counters[1]);
        stats::AddBytesReceived(counters[2]);
        stats::AddBytesSent(counters[3]);
        stats::AddBytesGot(counters[4]);
        for (qint64 i = 0; i < counters[5]; ++i) stats::AddFileTransferred();
        stats::AddTransferTime(static_cast<std::int64_t>(localSeconds * 1e9));
        stats::AddServerToServerTime(static_cast<std::int64_t>(remoteSeconds * 1e9));
        CStatisticsDlg* dlg = CStatisticsDlg::Show();
        const QStringList labels{"Local Bytes Read:",       "Local Bytes Written:",   "Remote Bytes Read:",
                                 "Remote Bytes Written:",   "Total Files Transferred:", "Transfer Rate (local):",
                                 "Total Transfer Time:",    "Transfer Rate (remote):", "Total Transfer Time: (remote)"};
        QStringList shown;
        for (const QString& l : labels) shown << dlg->FieldText(l);
        QCOMPARE(shown, expected);
    }

    void refreshesEverySecondAndStaysSingle() {
        CStatisticsDlg* dlg = CStatisticsDlg::Show();
        QCOMPARE(dlg->FieldText("Total Files Transferred:"), QStringLiteral("0"));
        stats::AddFileTransferred();
        stats::AddLocalBytesRead(2048);
        QTRY_COMPARE(dlg->FieldText("Local Bytes Read:"), QStringLiteral("2,048"));
        QCOMPARE(dlg->FieldText("Total Files Transferred:"), QStringLiteral("1"));
        QCOMPARE(CStatisticsDlg::Show(), dlg);  // the open window comes forward
    }

    void position_data() {
        QTest::addColumn<QString>("storedX");  // "" absent
        QTest::addColumn<QString>("storedY");
        QTest::addColumn<bool>("centred");
        QTest::newRow("stored") << "150" << "160" << false;
        QTest::newRow("absent") << "" << "" << true;
        QTest::newRow("zero") << "0" << "0" << true;
        QTest::newRow("one of them zero") << "150" << "0" << true;
    }
    void position() {
        QFETCH(QString, storedX);
        QFETCH(QString, storedY);
        QFETCH(bool, centred);
        if (!storedX.isEmpty()) WriteProfileString("CONFIG", "SysInfo_X", storedX.toStdString());
        if (!storedY.isEmpty()) WriteProfileString("CONFIG", "SysInfo_Y", storedY.toStdString());
        CStatisticsDlg* dlg = CStatisticsDlg::Show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint expected = centred ? QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, dlg->size(), available).topLeft()
                                        : QPoint(150, 160);
        QCOMPARE(dlg->pos(), expected);
        // Opening and placing the window stores nothing; a move by the user does.
        QTest::qWait(400);
        QCOMPARE(QString::fromStdString(ReadIfPresent(keys::SysInfoX).value_or("")), storedX);
        dlg->move(expected + QPoint(33, 44));
        QTRY_COMPARE(ReadInt(keys::SysInfoX), expected.x() + 33);
        QCOMPARE(ReadInt(keys::SysInfoY), expected.y() + 44);
    }
};

QTEST_MAIN(StatisticsDlgTest)
#include "StatisticsDlgTest.moc"
