// The log view: entries from workers arrive in batches and in order, refills
// (filter, clear, loaded file) show exactly the log's visible entries, Clear
// asks 345, Save and Open go through the prompter, printing pages.
#include <QFile>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#include "dialogs/ScriptedPrompter.h"
#include "log/LogFile.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"
#include "views/LogPrinting.h"
#include "views/LogView.h"

using namespace zyfar;

namespace {

LogSettings ScreenOnly() {
    LogSettings s;
    s.toFile = false;
    return s;
}

// Writes `perThread` entries from each of `threads` threads; the file field
// names the thread and the entry's place in that thread.
void WriteFromThreads(TransferLog& log, int threads, int perThread, bool alternate = false) {
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&log, t, perThread, alternate] {
            for (int i = 0; i < perThread; ++i) {
                const int code = alternate && i % 2 == 1 ? logcode::FtpTransferFailed : logcode::FtpTransferComplete;
                log.WriteLogEntry(code, "Local Machine", "ftp.example", QString("t%1-%2").arg(t).arg(i).toStdString(),
                                  "");
            }
        });
    for (std::thread& w : workers) w.join();
}

std::vector<int> Numbers(const CLogView& view) {
    std::vector<int> numbers;
    for (const LogEntry& e : view.LogModel()->Entries()) numbers.push_back(e.number);
    return numbers;
}

std::vector<int> Numbers(const std::vector<LogEntry>& entries) {
    std::vector<int> numbers;
    for (const LogEntry& e : entries) numbers.push_back(e.number);
    return numbers;
}

}  // namespace

class LogViewTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void init() { SetSettingsFileForTesting((dir_.path() + "/Zyfar.ini").toStdString()); }
    void cleanup() { SetSettingsFileForTesting(""); }

    void entriesFromFourThreadsArriveInOneBatchInOrder() {
        TransferLog log;
        log.ApplySettings(ScreenOnly());
        CLogView view(log);
        constexpr int kThreads = 4;
        constexpr int kEach = 2000;
        WriteFromThreads(log, kThreads, kEach);
        // The GUI thread was busy meanwhile: the whole burst is one posted flush.
        QCOMPARE(view.RowCount(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(view.RowCount(), kThreads * kEach);
        QCOMPARE(view.LogModel()->InsertBatches(), 1);
        std::vector<int> expected(kThreads * kEach);
        std::iota(expected.begin(), expected.end(), 1);
        QCOMPARE(Numbers(view), expected);
        // Each thread's entries keep their order.
        std::vector<int> next(kThreads, 0);
        for (const LogEntry& e : view.LogModel()->Entries()) {
            const QStringList parts = QString::fromStdString(e.file).mid(1).split('-');
            const int t = parts[0].toInt();
            QCOMPARE(parts[1].toInt(), next[t]++);
        }
        // A second burst: one more insert.
        WriteFromThreads(log, kThreads, 10);
        QCoreApplication::processEvents();
        QCOMPARE(view.LogModel()->InsertBatches(), 2);
        QCOMPARE(view.RowCount(), kThreads * (kEach + 10));
    }

    // Filter switches and clears while workers write: at the end the rows are
    // exactly the log's visible entries (none twice, none lost).
    void refillsRaceWithWriters() {
        TransferLog log;
        log.ApplySettings(ScreenOnly());
        CLogView view(log);
        std::atomic<bool> done{false};
        std::thread writers([&] {
            WriteFromThreads(log, 4, 3000, true);
            done = true;
        });
        const LogFilter filters[] = {LogFilter::Success, LogFilter::All, LogFilter::Unsuccess, LogFilter::All};
        int switches = 0;
        for (int round = 0; round < 10000 && !done; ++round) {
            QCoreApplication::processEvents();
            if (round % 5 == 0) log.SetFilter(filters[switches++ % 4]);
            if (round == 40) log.Clear();
        }
        writers.join();
        QTRY_COMPARE(Numbers(view), Numbers(log.VisibleEntries()));
        QVERIFY(switches > 1);
        log.SetFilter(LogFilter::Success);
        QTRY_COMPARE(Numbers(view), Numbers(log.VisibleEntries()));
        for (const LogEntry& e : view.LogModel()->Entries()) QVERIFY(e.Successful());
        log.SetFilter(LogFilter::All);
        QTRY_COMPARE(Numbers(view), Numbers(log.VisibleEntries()));
        QCOMPARE(view.RowCount(), int(log.Size()));
    }

    void clearAsks345WhenRowsAreShown_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("answer");  // -1: not asked
        QTest::addColumn<int>("entriesAfter");
        QTest::newRow("OK clears the log") << int(LogFilter::All) << int(MessageAnswer::Ok) << 0;
        QTest::newRow("Cancel keeps it") << int(LogFilter::All) << int(MessageAnswer::Cancel) << 3;
        QTest::newRow("nothing shown: cleared unasked") << int(LogFilter::Unsuccess) << -1 << 0;
    }
    void clearAsks345WhenRowsAreShown() {
        QFETCH(int, filter);
        QFETCH(int, answer);
        QFETCH(int, entriesAfter);
        ScriptedPrompter prompter;
        if (answer >= 0) prompter.messageAnswers.push_back(MessageAnswer(answer));
        TransferLog log;
        log.ApplySettings(ScreenOnly());
        CLogView view(log);
        log.SetFilter(LogFilter(filter));
        for (int i = 0; i < 3; ++i) log.WriteLogEntry(logcode::ChangeDirectoryOk, "a", "b", "c", "d");
        view.FlushPending();
        QVERIFY(view.HandleCommand(cmd::LogClear));
        QCOMPARE(prompter.AskedIds(), answer >= 0 ? std::vector<int>{345} : std::vector<int>{});
        QCOMPARE(int(log.Size()), entriesAfter);
        QCOMPARE(view.RowCount(), entriesAfter);
        log.WriteLogEntry(logcode::ChangeDirectoryFailed, "a", "b", "c", "d");
        QCOMPARE(log.Entries().back().number, entriesAfter + 1);  // numbering starts again after a clear
    }

    void saveOpenAndDoubleClick() {
        ScriptedPrompter prompter;
        TransferLog log;
        log.ApplySettings(ScreenOnly());
        CLogView view(log);
        const QString path = dir_.path() + "/saved.log";
        // Nothing to save.
        QVERIFY(view.HandleCommand(cmd::LogSave));
        QCOMPARE(prompter.AskedIds(), std::vector<int>{33043});
        log.WriteLogEntry(logcode::FtpConnectionOk, "b-site", "", "", "");
        log.WriteLogEntry(logcode::FtpTransferFailed, "a-site", "x", "f.txt", "550 no");
        view.FlushPending();
        view.ClickColumn(4);  // by source: a-site first
        prompter.Reset();
        prompter.fileAnswers.push_back(path);
        QVERIFY(view.HandleCommand(cmd::LogSave));
        std::vector<int> codes;
        QVERIFY(ReadLogFile(path.toStdString(), {}, [&](LogLineFields&& f) { codes.push_back(f.code); }).Ok());
        QCOMPARE(codes, (std::vector<int>{logcode::FtpTransferFailed, logcode::FtpConnectionOk}));
        // Saving over it asks 147; Cancel leaves the file.
        view.OnDoubleClick(0);  // removes the row only
        QCOMPARE(view.RowCount(), 1);
        QCOMPARE(int(log.Size()), 2);
        prompter.fileAnswers.push_back(path);
        prompter.messageAnswers.push_back(MessageAnswer::Cancel);
        QVERIFY(view.HandleCommand(cmd::LogSave));
        QCOMPARE(prompter.AskedIds(), std::vector<int>{147});
        codes.clear();
        QVERIFY(ReadLogFile(path.toStdString(), {}, [&](LogLineFields&& f) { codes.push_back(f.code); }).Ok());
        QCOMPARE(codes.size(), std::size_t(2));
        // Open loads the file after the current entries: a refill shows all four.
        prompter.Reset();
        prompter.fileAnswers.push_back(path);
        QVERIFY(view.HandleCommand(cmd::LogOpen));
        QCOMPARE(view.RowCount(), 4);
        QCOMPARE(Numbers(view), (std::vector<int>{1, 2, 3, 4}));
        QVERIFY(prompter.asked().size() == 1);  // the file choice, no message
        // A file that is not a log file is reported.
        QFile other(dir_.path() + "/other.log");
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("hello\n");
        other.close();
        prompter.Reset();
        prompter.fileAnswers.push_back(other.fileName());
        prompter.messageAnswers.push_back(MessageAnswer::Ok);
        QVERIFY(view.HandleCommand(cmd::LogOpen));
        QCOMPARE(prompter.asked().size(), std::size_t(2));
        QCOMPARE(prompter.asked().back().icon, MessageKind::Stop);
        QCOMPARE(view.RowCount(), 4);
    }

    // The byte keys of a big sort give the order the row comparison gives,
    // for every column and both directions (stable: ties keep their order).
    void sortKeysAgreeWithComparison() {
        TransferLog log;
        log.ApplySettings(ScreenOnly());
        CLogView view(log);
        const char* names[] = {"/srv/data/a", "/srv/data/B", "/srv/data/ab", "/srv/data/a", "/srv/data/abcdefghij-1",
                               "/srv/data/abcdefghij-2", "/srv/data/", "/SRV/data/b"};
        for (int i = 0; i < 40; ++i)
            log.WriteLogEntry(logcode::First + (i * 7) % 16, names[i % 8], names[(i * 3) % 8], names[(i * 5) % 8],
                              i % 4 == 0 ? "" : names[i % 3]);
        view.FlushPending();
        LogListModel* model = view.LogModel();
        for (int column = 0; column < LogListModel::kColumns; ++column) {
            std::vector<std::string> keys;
            QVERIFY(model->SortKeys(column, keys));
            for (int a = 0; a < model->RowCount(); ++a)
                for (int b = 0; b < model->RowCount(); ++b) {
                    const int byKey = keys[a] < keys[b] ? -1 : (keys[b] < keys[a] ? 1 : 0);
                    const int byRows = model->CompareRows(a, b, column);
                    QCOMPARE(byKey, byRows < 0 ? -1 : (byRows > 0 ? 1 : 0));
                }
        }
        // And through the view: descending by file, ties in number order.
        view.ClickColumn(6);
        view.ClickColumn(6);
        for (int row = 1; row < model->RowCount(); ++row) {
            const int c = model->CompareRows(row - 1, row, 6);
            QVERIFY(c > 0 || (c == 0 && model->Entry(row - 1).number < model->Entry(row).number));
        }
    }

    void printsPagesToPdf_data() {
        QTest::addColumn<int>("fullPages");  // rows: this many full pages ...
        QTest::addColumn<int>("extra");      // ... and this many rows more
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("longRows");  // rows over the ruler's width take two lines
        QTest::newRow("no rows prints nothing") << 0 << 0 << 0 << false;
        QTest::newRow("one row") << 0 << 1 << 1 << false;
        QTest::newRow("exactly two pages") << 2 << 0 << 2 << false;
        QTest::newRow("two pages and one row") << 2 << 1 << 3 << false;
        QTest::newRow("long rows go on in a second line") << 2 << 0 << 4 << true;
    }
    void printsPagesToPdf() {
        QFETCH(int, fullPages);
        QFETCH(int, extra);
        QFETCH(int, pages);
        QFETCH(bool, longRows);
        const QString pdf = dir_.path() + "/log.pdf";
        QPdfWriter probe(dir_.path() + "/probe.pdf");
        probe.setResolution(300);
        probe.setPageSize(QPageSize(QPageSize::A4));
        const LogPrintLayout layout = ComputeLogPrintLayout(probe, 1);
        // The rules: line height from the font, 7 lines kept free per page.
        QVERIFY(layout.lineHeight > 0);
        QCOMPARE(layout.linesPerPage, (probe.height() - 7 * layout.lineHeight) / layout.lineHeight);
        QVERIFY(layout.leftMargin >= 0 && layout.leftMargin <= 200);

        TransferLog log;
        log.ApplySettings(ScreenOnly());
        CLogView view(log);
        for (int i = 0; i < fullPages * layout.linesPerPage + extra; ++i)
            log.WriteLogEntry(logcode::FtpTransferComplete, "Local Machine", "site", QString("f%1").arg(i).toStdString(),
                              longRows ? std::string(70, 'x') : "");
        view.FlushPending();
        const QFontMetrics fm(LogPrintFont(), &probe);
        const int ruler = fm.horizontalAdvance(kLogPrintRuler);
        for (const QString& line : view.PrintLines()) {
            const QStringList printed = WrapLogLine(line, fm, ruler);
            QCOMPARE(printed.size(), longRows ? 2 : 1);
            QCOMPARE(QString(printed.join("").remove(' ')), QString(line).remove(' '));  // nothing lost
            for (const QString& p : printed) QVERIFY(fm.horizontalAdvance(p) <= ruler);
        }
        QCOMPARE(view.PrintLines().value(0).startsWith("FTP Transfer Complete "), view.RowCount() > 0);
        {
            QPdfWriter writer(pdf);
            writer.setResolution(300);
            writer.setPageSize(QPageSize(QPageSize::A4));
            QCOMPARE(view.PrintTo(writer), pages);
        }
        if (pages == 0) return;
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(int(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page ") +
                     bytes.count("/Type /Page/") + bytes.count("/Type /Page>")),
                 pages);
    }
};

QTEST_MAIN(LogViewTest)
#include "LogViewTest.moc"
