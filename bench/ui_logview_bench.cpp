// The log view under a burst of log entries: 100,000 entries written by 4
// threads while the view is shown (offscreen). Reports the time until the
// last row is in the view, the longest gap the GUI thread left a 5 ms timer
// waiting (its longest stall), the heap the view's rows take per row beyond
// the entry data itself, and the time to sort the 100,000 rows by a column.
// For comparison, the same view fed one queued call per entry (10,000 entries).
//
// Goals: under 1 s to the last row, no stall over 50 ms, under 300 bytes per
// row beyond the entry.
#include <malloc.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "log/TransferLog.h"
#include "settings/SettingsStore.h"
#include "views/LogView.h"
#include "UiStallMeter.h"

using namespace zyfar;

namespace {

using bench::StallMeter;

constexpr int kThreads = 4;
constexpr int kEntries = 100000;

// Bytes handed out by malloc, the big blocks it maps separately included.
long HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>(info.uordblks + info.hblkhd);
}

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return 0;
}

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

std::size_t HeapOf(const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; }

std::size_t EntryBytes(const LogEntry& e) {
    return sizeof(LogEntry) + HeapOf(e.source) + HeapOf(e.destination) + HeapOf(e.file) + HeapOf(e.time) +
           HeapOf(e.date) + HeapOf(e.detail);
}

void WriteBurst(TransferLog& log, int thread, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string file = "/home/user/outgoing/batch-" + std::to_string(thread) + "/file_" + std::to_string(i) + ".bin";
        log.WriteLogEntry(i % 7 == 0 ? logcode::FtpTransferFailed : logcode::FtpTransferComplete, kLocalMachine,
                          "ftp.example.org", file, i % 7 == 0 ? "550 Permission denied" : "");
    }
}

// Runs the event loop until the view holds `rows` rows; answers the seconds taken.
double WaitForRows(CLogView& view, int rows, const QElapsedTimer& since) {
    QEventLoop loop;
    QObject::connect(view.Model(), &QAbstractItemModel::rowsInserted, &loop, [&] {
        if (view.RowCount() >= rows) loop.quit();
    });
    if (view.RowCount() < rows) loop.exec();
    QApplication::processEvents();  // the paint of the last rows
    return static_cast<double>(since.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetSettingsFileForTesting((dir.path() + "/Zyfar.ini").toStdString());

    TransferLog log;
    LogSettings settings;
    settings.toFile = false;
    log.ApplySettings(settings);
    CLogView view(log);
    view.resize(1100, 400);
    view.show();
    QApplication::processEvents();

    StallMeter stalls;
    const long heap0 = HeapInUse();
    const long rss0 = StatusKb("VmRSS:");
    QElapsedTimer clock;
    stalls.Start();
    clock.start();
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) writers.emplace_back(WriteBurst, std::ref(log), t, kEntries / kThreads);
    const double seconds = WaitForRows(view, kEntries, clock);
    stalls.Stop();
    for (std::thread& w : writers) w.join();
    const long heap1 = HeapInUse();
    const long rss1 = StatusKb("VmRSS:");

    // The log keeps its own copy of every entry; the view's rows hold another.
    std::size_t entryBytes = 0;
    for (const LogEntry& e : view.LogModel()->Entries()) entryBytes += EntryBytes(e);
    const double perEntry = static_cast<double>(entryBytes) / kEntries;
    const double heapPerRow = static_cast<double>(heap1 - heap0) / kEntries;
    const double beyond = heapPerRow - 2 * perEntry;

    std::printf("log view, %d entries from %d threads (offscreen)\n", kEntries, kThreads);
    std::printf("  time until the last row is shown: %.3f s (goal < 1 s)\n", seconds);
    std::printf("  longest GUI stall (5 ms timer gap): %.1f ms wall, %.1f ms of GUI-thread CPU (goal <= 50 ms)\n",
                stalls.WorstMs(), stalls.WorstCpuMs());
    std::printf("  machine load average at the end: %.2f\n", LoadAverage());
    std::printf("  insert notifications: %d, flushes: %d\n", view.LogModel()->InsertBatches(), view.Flushes());
    std::printf("  entry data: %.0f bytes per entry (log copy + row copy = %.0f)\n", perEntry, 2 * perEntry);
    std::printf("  heap growth: %.0f bytes per row; beyond the two entry copies: %.0f bytes per row (goal < 300)\n",
                heapPerRow, beyond);
    std::printf("  RSS growth: %.1f MiB (%.0f bytes per row), peak RSS %ld KiB\n", (rss1 - rss0) / 1024.0,
                (rss1 - rss0) * 1024.0 / kEntries, StatusKb("VmHWM:"));

    // Sorting 100,000 rows by a text column and back, and a refill.
    stalls.Start();
    clock.restart();
    view.ClickColumn(6);
    QApplication::processEvents();
    const double sortFile = clock.nsecsElapsed() / 1e6;
    clock.restart();
    view.ClickColumn(6);
    QApplication::processEvents();
    const double sortBack = clock.nsecsElapsed() / 1e6;
    clock.restart();
    log.SetFilter(LogFilter::Unsuccess);
    QApplication::processEvents();
    const double refill = clock.nsecsElapsed() / 1e6;
    stalls.Stop();
    const double sortCpu = stalls.WorstCpuMs();
    std::printf("  sort by file: %.0f ms, reversed: %.0f ms, refill (unsuccessful only, %d rows): %.0f ms (wall);"
                " longest of them in GUI-thread CPU: %.0f ms\n",
                sortFile, sortBack, view.RowCount(), refill, sortCpu);

    // Peer: one queued call per entry, each inserting one row.
    log.SetFilter(LogFilter::All);
    log.Clear();
    QApplication::processEvents();
    constexpr int kPeerEntries = 10000;
    LogListModel* model = view.LogModel();
    std::vector<LogEntry> samples(kPeerEntries);
    for (int i = 0; i < kPeerEntries; ++i) {
        samples[static_cast<std::size_t>(i)].number = i + 1;
        samples[static_cast<std::size_t>(i)].code = logcode::FtpTransferComplete;
        samples[static_cast<std::size_t>(i)].file = "/home/user/outgoing/file_" + std::to_string(i) + ".bin";
    }
    stalls.Start();
    clock.restart();
    std::thread peer([&] {
        for (const LogEntry& e : samples)
            QMetaObject::invokeMethod(&view, [&view, model, e] {
                model->Append({e});
                view.ActiveItemView()->scrollToBottom();
            }, Qt::QueuedConnection);
    });
    const double peerSeconds = WaitForRows(view, kPeerEntries, clock);
    stalls.Stop();
    peer.join();
    std::printf("peer: one queued call per entry, %d entries: %.3f s, longest stall %.1f ms wall, %.1f ms CPU\n",
                kPeerEntries, peerSeconds, stalls.WorstMs(), stalls.WorstCpuMs());
    std::printf("  per entry: batched %.2f us vs per-entry %.2f us (ratio %.1fx)\n", seconds * 1e6 / kEntries,
                peerSeconds * 1e6 / kPeerEntries, (peerSeconds / kPeerEntries) / (seconds / kEntries));
    SetSettingsFileForTesting("");
    return 0;
}
