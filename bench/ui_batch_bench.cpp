// The batch output window under a script that writes many lines: scripts of
// 2,000 and 20,000 unknown lines (10,000 and 100,000 output lines, each an
// error block of five) run while the window is shown (offscreen). Reports
// the time until the last line is in the window, the number of flushes the
// lines took, and the longest gap the GUI thread left a 5 ms timer waiting
// (its longest stall), as wall time and as GUI-thread CPU time.
//
// Goals: no stall over 50 ms; the 10,000 lines shown well under a second.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "dialogs/BatchOutputDlg.h"
#include "settings/SettingsStore.h"
#include "UiStallMeter.h"

using namespace zyfar;

namespace {

using bench::StallMeter;

struct Outcome {
    double seconds = 0;
    int lines = 0;
    int flushes = 0;
    double stallMs = 0;
    double stallCpuMs = 0;
};

Outcome RunOnce(const QString& folder, int badLines) {
    const QString path = folder + "/bench.cmd";
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        for (int i = 0; i < badLines; ++i) f.write("no such command " + QByteArray::number(i) + "\n");
    }
    f.close();
    Outcome o;
    StallMeter stalls;
    QElapsedTimer since;
    QEventLoop loop;
    stalls.Start();
    since.start();
    BatchOutputDlg* dialog = BatchOutputDlg::RunScript(path);
    QObject::connect(dialog, &BatchOutputDlg::runFinished, &loop, &QEventLoop::quit);
    loop.exec();
    QApplication::processEvents();  // the paint of the last rows
    o.seconds = static_cast<double>(since.nsecsElapsed()) / 1e9;
    stalls.Stop();
    o.lines = dialog->LineCount();
    o.flushes = dialog->Flushes();
    o.stallMs = stalls.WorstMs();
    o.stallCpuMs = stalls.WorstCpuMs();
    delete dialog;
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetSettingsFileForTesting((dir.path() + "/Zyfar.ini").toStdString());
    WriteProfileString("LOG", "ToFile", "NO");
    std::printf("batch output window (offscreen)\n");
    for (const int bad : {2000, 20000}) {
        const Outcome o = RunOnce(dir.path(), bad);
        std::printf("  %d output lines: %.3f s to the last line, %d flushes\n", o.lines - 1, o.seconds, o.flushes);
        std::printf("    longest GUI stall (5 ms timer gap): %.1f ms wall, %.1f ms of GUI-thread CPU (goal <= 50 ms)\n",
                    o.stallMs, o.stallCpuMs);
    }
    SetSettingsFileForTesting("");
    return 0;
}
