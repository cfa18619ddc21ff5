#include "app/Application.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/CanberraSoundPlayer.h"
#include "app/MainFrame.h"
#include "app/TrayIcons.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "automation/EngineQueue.h"
#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"
#include "automation/QueueFile.h"
#include "ftp/ListCommand.h"
#include "platform/CommandLine.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

void PrintMessage(FILE* stream, int id) {
    const std::string_view text = MessageText(id);
    std::fprintf(stream, "%.*s\n", static_cast<int>(text.size()), text.data());
}

// The unattended runs, on the core alone: a script prints its batch output,
// a link prints the log entries of its transfers (until the transfer and
// batch windows exist, a start with a display takes this path too).
int RunUnattended(const CommandLine& line) {
    if (!line.scriptPath.empty()) return RunHeadlessScript(line.scriptPath);
    return RunHeadlessLink(line.linkName);
}

// At an interactive start SCHEDULE StartQueueProg 0 empties the persistent
// transfer queue.
void EmptyQueueIfAsked() {
    if (ParseStartQueueProg(ReadInt(keys::StartQueueProg)) == StartQueueAction::Empty) (void)QueueFile().Clear();
}

// SIGINT, SIGTERM and SIGHUP close the window the normal way (the rectangle
// is saved, the tray icon removed): the handler only writes a byte to a pipe
// that the event loop watches.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    (void)!::write(g_signalPipe[1], &byte, 1);
}

void CloseOnTerminationSignals(CMainFrame& frame) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &frame);
    QObject::connect(notifier, &QSocketNotifier::activated, &frame, [&frame] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        frame.close();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

}  // namespace

int RunZyfar(int argc, char* argv[]) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    const CommandLine line = ParseCommandLine(words);

    if (!line.unknownOptions.empty()) {
        std::fprintf(stderr, "zyfar: unknown option %s\n\n%s", line.unknownOptions.front().c_str(),
                     UsageText("zyfar").c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(UsageText("zyfar").c_str(), stdout);
        return 0;
    }
    if (line.version) {
        PrintMessage(stdout, 33055);
        return 0;
    }
    if (!line.optionError.empty()) {
        std::fprintf(stderr, "zyfar: %s\n\n%s", line.optionError.c_str(), UsageText("zyfar").c_str());
        return 2;
    }
    // A listing runs on the core alone, before any window or application object.
    if (line.ls) return RunListCommand(line.lsUrl, line.passive, std::cout, std::cerr);

    // The settings store: $XDG_CONFIG_HOME/Quorvane/Zyfar.ini.
    MakeFolders(SettingsFolder());
    EnsureProfileFolders();

    // Until the transfer and batch windows exist, an unattended run takes the
    // headless path with or without a display (no window is needed for it).
    if (line.commandLineJob) return RunUnattended(line);
    if (!HasDisplay() && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "zyfar: no display (DISPLAY or WAYLAND_DISPLAY) to open the window on; "
                             "see zyfar --help for runs without a window\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zyfar"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setWindowIcon(AppIcon());
    // Outside a desktop session (a bare X server, a window manager without a
    // theme setting) icons still come from an installed freedesktop theme.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QApplication::setQuitOnLastWindowClosed(false);

    EmptyQueueIfAsked();
    InstallQueueFileSink();  // transfer runs report failed and sent files to the queue file
    SetSoundPlayer(MakeDesktopSoundPlayer());
    CMainFrame frame(true);
    CloseOnTerminationSignals(frame);
    // No address for anonymous logins and the user cancelled the prompt: the
    // program ends.
    if (!frame.EnsureEmail()) return 0;
    // Transfers the GUI starts (the queue resend timer, scheduled links) each
    // get a transfer window.
    DialogRunStarter starter;
    frame.StartBackground(&starter);
    frame.ShowAsStored();
    const int status = QApplication::exec();
    SetSoundPlayer(nullptr);
    return status;
}

}  // namespace zyfar
