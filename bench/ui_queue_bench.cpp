// The queue dialog over a queue of 10,000 entries (offscreen): the time from
// opening the dialog until the last row is in the list and painted, and the
// longest gap the GUI thread left a 5 ms timer waiting meanwhile (its longest
// stall); then the same for sorting by a text column, deleting every other
// row and clearing the list (each a rewrite of the file by content, on the
// dialog's writer). For comparison, the peer reads the same file on the GUI
// thread and fills the list in one go.
//
// Goals: under 1 s until the rows are shown, no stall over 50 ms.
//
// Run with --show to show the dialog over a small queue of puts, gets and
// server-to-server transfers until it is closed (for screenshots).
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "automation/MultiPut.h"
#include "automation/QueueFile.h"
#include "engine/TransferRun.h"
#include "dialogs/QueueDialog.h"
#include "dialogs/ScriptedPrompter.h"
#include "settings/SettingsStore.h"
#include "UiStallMeter.h"

using namespace zyfar;

namespace {

using bench::StallMeter;

constexpr int kEntries = 10000;

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// A queue file of kEntries put entries to a few servers, as failed runs leave them.
void WriteQueue(const std::string& path) {
    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(kEntries) + "\n";
    for (int i = 1; i <= kEntries; ++i) {
        const std::string name = "report_" + std::to_string((i * 7919) % kEntries) + ".txt";
        text += "[QUEUE" + std::to_string(i) + "]\nNumTimes=" + std::to_string(1 + i % 5) + "\nLocalName=" + name +
                "\nRemoteName=" + name + "\nRemDirFile=/incoming\nLocDirFile=/home/user/outgoing\n"
                "Reason=The request has timed out.\nPassword=secret\nLogin=user\nRemDir=/incoming\nSource=Local\n"
                "Destination=ftp" + std::to_string(i % 4) + ".example.org\nFtpMethod=ZYFAR_PUT\nFileSize=" +
                std::to_string(1000 + i) + "\nPort=21\nStatus=" + std::to_string(i % 9 == 0 ? 1 : 0) + "\n";
    }
    std::ofstream(path, std::ios::binary) << text;
}

// Runs the event loop for a moment so that the last change is painted.
void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Runs `op` from the event loop (so that a stall inside it is seen by the
// meter), then the loop until `done`; prints one line.
template <class Op, class Done>
void Measure(const char* what, StallMeter& stalls, Op op, Done done) {
    QElapsedTimer clock;
    bool ran = false;
    stalls.Start();
    QTimer::singleShot(20, [&] {
        clock.start();
        op();
        ran = true;
    });
    while (!ran || !done()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Settle();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QTimer::singleShot(20, [] {});  // one more tick after the last paint
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    stalls.Stop();
    std::printf("  %-48s %7.0f ms; longest GUI stall %5.1f ms wall, %5.1f ms CPU\n", what, ms, stalls.WorstMs(),
                stalls.WorstCpuMs());
}

// A few entries of every kind, sorted by nothing.
void WriteSampleQueue(const std::string& path) {
    struct Sample {
        const char *local, *remote, *source, *destination, *reason, *method;
        int times, status;
    };
    const Sample samples[] = {
        {"invoice-2041.pdf", "invoice-2041.pdf", "Local", "ftp.example.org", "The request has timed out.", "ZYFAR_PUT", 3, 0},
        {"backup.tar.gz", "backup.tar.gz", "Local", "ftp.example.org", "FTP Put Canceled", "ZYFAR_PUT", 1, 1},
        {"site.css", "site.css", "Local", "web.example.net", "553 Could not create file.", "ZYFAR_PUT", 12, 0},
        {"logo.png", "logo.png", "Local", "web.example.net", "421 Too many connections", "ZYFAR_PUT", 2, 0},
        {"stats.csv", "stats.csv", "mirror.example.com", "Local", "550 No such file or directory", "ZYFAR_GET", 5, 0},
        {"README", "README", "mirror.example.com", "Local", "FTP Get Canceled", "ZYFAR_GET", 1, 1},
        {"release-1.4.zip", "release-1.4.zip", "build.example.com", "ftp.example.org", "Connection reset by peer",
         "ZYFAR_XFER", 4, 0},
        {"Notes.txt", "notes.txt", "Local", "files.example.org", "530 Login incorrect.", "ZYFAR_PUT", 9, 0},
    };
    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(std::size(samples)) + "\n";
    int n = 0;
    for (const Sample& e : samples)
        text += "[QUEUE" + std::to_string(++n) + "]\nNumTimes=" + std::to_string(e.times) + "\nLocalName=" + e.local +
                "\nRemoteName=" + e.remote + "\nSource=" + e.source + "\nDestination=" + e.destination +
                "\nReason=" + e.reason + "\nFtpMethod=" + e.method + "\nStatus=" + std::to_string(e.status) + "\n";
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetSettingsFileForTesting((dir.path() + "/Zyfar.ini").toStdString());
    WriteProfileString("LOG", "ToFile", "NO");
    ScriptedPrompter prompter;
    SetPrompter(&prompter);
    const std::string path = (dir.path() + "/zyfarQue.ini").toStdString();
    if (argc > 1 && std::string(argv[1]) == "--show") {
        WriteSampleQueue(path);
        // Sends go nowhere: the runs are dropped unstarted.
        struct DroppingStarter final : TransferRunStarter {
            void StartRun(std::unique_ptr<TransferRun>, bool) override {}
            void PauseBetweenStarts(std::chrono::milliseconds) override {}
        } starter;
        QueueDialog dialog(&starter, nullptr, path);
        dialog.List()->SetGridLines(true);
        QObject::connect(&dialog, &QueueDialog::loaded, [&] { dialog.List()->ClickColumn(QueueListModel::Retries); });
        dialog.show();
        return QApplication::exec();
    }
    WriteQueue(path);

    StallMeter stalls;
    std::printf("queue dialog, %d entries (offscreen), load average %.2f\n", kEntries, LoadAverage());
    {
        QueueDialog* dialog = nullptr;
        Measure("open until every row is shown (goal < 1 s)", stalls, [&] {
            dialog = new QueueDialog(nullptr, nullptr, path);
            dialog->show();
        }, [&] { return dialog->Loaded(); });
        if (dialog->Model()->RowCount() != kEntries) {
            std::printf("  wrong row count %d\n", dialog->Model()->RowCount());
            return 1;
        }
        Measure("sort by File", stalls, [&] { dialog->List()->ClickColumn(QueueListModel::File); },
                [] { return true; });
        Measure("sort by Retries", stalls, [&] { dialog->List()->ClickColumn(QueueListModel::Retries); },
                [] { return true; });
        Measure("delete every other row (5,000), file written", stalls, [&] {
            QItemSelection selection;
            for (int r = 0; r < kEntries; r += 2)
                selection.select(dialog->Model()->index(r, 0), dialog->Model()->index(r, QueueListModel::kColumns - 1));
            dialog->List()->SelectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
            dialog->DeleteSelected();
        }, [&] { return !dialog->Writing(); });
        const int left = QueueFile(path).Count();
        prompter.messageAnswers.push_back(MessageAnswer::Yes);
        Measure("clear the list (5,000), file written", stalls, [&] { dialog->ClearList(); },
                [&] { return !dialog->Writing(); });
        std::printf("  entries in the file after delete: %d, after clear: %d\n", left, QueueFile(path).Count());
        delete dialog;
    }

    // Peer: the same file read on the GUI thread and shown in one go.
    WriteQueue(path);
    {
        auto* model = new QueueListModel;
        CZyfarView view;
        view.SetModel(model);  // the view owns it
        view.resize(760, 360);
        view.show();
        Settle();
        Measure("peer: read on the GUI thread and shown", stalls,
                [&] { model->SetEntries(QueueFile(path).LoadRows()); }, [] { return true; });
    }
    SetPrompter(nullptr);
    SetSettingsFileForTesting("");
    return 0;
}
