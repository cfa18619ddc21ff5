#include "app/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/CanberraSoundPlayer.h"
#include "app/MainFrame.h"
#include "app/TrayIcons.h"
#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"
#include "ftp/ListCommand.h"
#include "platform/CommandLine.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
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
    if (ParseStartQueueProg(ReadInt(keys::StartQueueProg)) == StartQueueAction::Empty)
        WritePrivateProfileString("QUEUE", "NumQueues", "0", "zyfarQue.ini");
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

    if (line.commandLineJob && (line.headless || !HasDisplay())) return RunUnattended(line);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zyfar"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setWindowIcon(AppIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    if (line.commandLineJob) return RunUnattended(line);

    EmptyQueueIfAsked();
    SetSoundPlayer(MakeDesktopSoundPlayer());
    CMainFrame frame(true);
    frame.ShowAsStored();
    const int status = QApplication::exec();
    SetSoundPlayer(nullptr);
    return status;
}

}  // namespace zyfar
