#include "app/Application.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/CanberraSoundPlayer.h"
#include "app/MainFrame.h"
#include "app/TrayIcons.h"
#include "dialogs/BatchOutputDlg.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "dialogs/Prompter.h"
#include "automation/EngineQueue.h"
#include "automation/HeadlessLink.h"
#include "automation/HeadlessScript.h"
#include "automation/LinkRun.h"
#include "automation/QueueFile.h"
#include "ftp/ListCommand.h"
#include "ftp/UrlSite.h"
#include "platform/CommandLine.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "views/RemoteTree.h"

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

// Qt platforms that draw without an X or Wayland display.
bool DisplaylessPlatform() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr) return false;
    const std::string name(platform);
    for (const char* p : {"offscreen", "minimal", "vnc", "linuxfb", "eglfs"}) {
        if (name.rfind(p, 0) == 0) return true;
    }
    return false;
}

// The unattended runs without a display, on the core alone: a script prints
// its batch output, a link prints the log entries of its transfers.
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

// A command-line script or link run with a display: the main window is
// minimised and hidden, there is no tray icon, the script's batch output
// window or one transfer window per site of the link shows the run, and the
// program ends when the run has ended. The exit status is the unattended
// run's: 0 all went well, 1 errors, 2 no such script or link.
class CommandLineRun {
public:
    CommandLineRun(const CommandLine& line, CMainFrame& frame) : line_(line), frame_(frame) {}

    // Starts the run; false when there is nothing to wait for (the status
    // is then final).
    bool Start(DialogRunStarter& starter) {
        return line_.scriptPath.empty() ? StartLink(starter) : StartScript();
    }

    // After the event loop: ends what still runs (a quit by signal), runs the
    // end of every transfer window, and answers the exit status.
    int Finish() {
        BatchOutputDlg::CancelAll();
        CTransferDlg::CancelAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!line_.scriptPath.empty()) {
            const bool queueWritten = QueueWriteFailures() == queueFailuresBefore_;
            return scriptResult_ ? ScriptExitStatus(*scriptResult_, queueWritten) : status_;
        }
        return status_;
    }

    // The link's status once its windows have all ended.
    int LinkStatus() const {
        const bool queueWritten = QueueWriteFailures() == queueFailuresBefore_;
        return LinkExitStatus(tally_.Failed(), !plan_.problems.empty(), queueWritten);
    }

    [[nodiscard]] TransferQueueSink* Sink() { return &tally_; }
    [[nodiscard]] bool IsLink() const { return line_.scriptPath.empty(); }

private:
    // Said on standard error (for whoever started it) and in a message box.
    void Refuse(int id) {
        PrintMessage(stderr, id);
        (void)AskMessage(nullptr, id, MessageKind::Stop, MessageButtons::Ok);
    }

    bool StartScript() {
        if (!IsScriptFilePath(line_.scriptPath)) {
            Refuse(33050);
            status_ = kHeadlessBadScript;
            return false;
        }
        BatchOutputDlg::RunScript(QString::fromStdString(line_.scriptPath), [this](const ScriptRunResult& r) {
            scriptResult_ = r;
            frame_.RequestQuit();
        });
        return true;
    }

    bool StartLink(DialogRunStarter& starter) {
        plan_ = PlanLinkRun(line_.linkName);
        if (!plan_.found) {
            Refuse(kMsgLinkNotFound);
            status_ = kHeadlessLinkNotFound;
            return false;
        }
        for (const std::string& problem : plan_.problems) std::fprintf(stderr, "zyfar: %s\n", problem.c_str());
        const LinkRunResult result = StartCommandLineLink(plan_, starter);
        if (result.runsStarted == 0) {
            std::fprintf(stderr, "zyfar: link \"%s\" has nothing to send.\n", line_.linkName.c_str());
            status_ = kHeadlessLinkFailed;
            return false;
        }
        linkStarted_ = true;
        return true;
    }

    const CommandLine& line_;
    CMainFrame& frame_;
    const int queueFailuresBefore_ = QueueWriteFailures();
    LinkRunTally tally_;
    LinkRunPlan plan_;
    std::optional<ScriptRunResult> scriptResult_;
    bool linkStarted_ = false;
    int status_ = kHeadlessErrors;

public:
    [[nodiscard]] bool LinkStarted() const { return linkStarted_; }
};

}  // namespace

int RunJobWithDisplay(const CommandLine& line, CMainFrame& frame) {
    frame.showMinimized();
    frame.hide();
    CommandLineRun run(line, frame);
    int status = 0;
    {
        // The tally counts the failed files of the link's windows and hands
        // their reports on to the queue file.
        DialogRunStarter starter(run.Sink());
        if (run.Start(starter)) {
            CloseOnTerminationSignals(frame);  // a signal cancels the run, which still ends cleanly
            (void)QApplication::exec();
        }
        status = run.Finish();
    }  // runs still waiting for their start end here (FinishTransfer)
    return run.IsLink() && run.LinkStarted() ? run.LinkStatus() : status;
}

bool OpenFtpUrl(CMainFrame& frame, const std::string& url) {
    UrlSiteParse parsed = UrlSiteFromUrl(url, Read(keys::Email));
    if (!parsed.target) {
        // The URL itself is not repeated: it may hold a password.
        std::fprintf(stderr, "zyfar: the FTP address cannot be opened: %s\n", parsed.error.c_str());
        const QString text = QStringLiteral("The FTP address cannot be opened.\n\n%1");
        (void)AskText(&frame, text.arg(QString::fromStdString(parsed.error)), MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    UrlSite& target = *parsed.target;
    if (target.passwordInUrl)
        std::fputs("zyfar: the password in the URL can be read by other users in the process list; "
                   "leave it out to be asked for it\n",
                   stderr);
    frame.SwitchScreen(ScreenKind::Standard);
    if (frame.isHidden() || frame.isMinimized()) frame.showNormal();
    frame.raise();
    frame.activateWindow();
    auto* tree = qobject_cast<CRemoteTree*>(frame.RightFirstPane());
    if (tree == nullptr) return false;
    if (target.askPassword) {
        InputRequest request;
        request.title = QStringLiteral("Zyfar");
        request.prompt = QStringLiteral("Password for %1 on %2:")
                             .arg(QString::fromStdString(target.site.login), QString::fromStdString(target.site.host));
        request.masked = true;
        const std::optional<QString> password = Prompt().InputLine(&frame, request);
        if (!password) return false;
        target.site.password = password->toStdString();
    }
    return tree->ConnectTo(target.site);
}

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
    if (line.trust) return RunTrustCommand(line.trustUrl, line.fingerprint, std::cout, std::cerr);
    if (line.ls) return RunListCommand(line.lsUrl, line.passive, std::cout, std::cerr, ProcessEnv, line.fingerprint);

    // The settings store: $XDG_CONFIG_HOME/Quorvane/Zyfar.ini.
    MakeFolders(SettingsFolder());
    EnsureProfileFolders();

    // A command-line job without a display (or asked --headless) runs on the
    // core alone; with a display it shows its windows.
    const bool display = HasDisplay() || DisplaylessPlatform();
    if (line.commandLineJob && (line.headless || !display)) return RunUnattended(line);
    if (!HasDisplay() && !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "zyfar: no display (DISPLAY or WAYLAND_DISPLAY) to open the window on; "
                             "see zyfar --help for runs without a window\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zyfar"));
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    // The desktop entry zyfar.desktop: on Wayland the window's app id, under
    // X11 the window class is "Zyfar" (its StartupWMClass).
    QGuiApplication::setDesktopFileName(QStringLiteral("zyfar"));
    // Outside a desktop session (a bare X server, a window manager without a
    // theme setting) icons still come from an installed freedesktop theme.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    // "zyfar" from the theme (installed in hicolor), else the bundled picture.
    QApplication::setWindowIcon(AppIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    if (!line.commandLineJob) EmptyQueueIfAsked();
    InstallQueueFileSink();  // transfer runs report failed and sent files to the queue file
    SetSoundPlayer(MakeDesktopSoundPlayer());
    CMainFrame frame(!line.commandLineJob);  // an unattended run shows no tray icon
    // A command-line job takes the signals once it runs: before that (the
    // e-mail prompt, a refused script or link) a signal ends the program.
    if (!line.commandLineJob) CloseOnTerminationSignals(frame);
    // No address for anonymous logins and the user cancelled the prompt: the
    // program ends (a command-line job that did not run is no success).
    if (!frame.EnsureEmail()) {
        SetSoundPlayer(nullptr);
        return line.commandLineJob ? 1 : 0;
    }
    if (line.commandLineJob) {
        const int status = RunJobWithDisplay(line, frame);
        SetSoundPlayer(nullptr);
        return status;
    }
    // Transfers the GUI starts (the queue resend timer, scheduled links) each
    // get a transfer window.
    DialogRunStarter starter;
    frame.StartBackground(&starter);
    frame.ShowAsStored();
    // An ftp:// URL on the command line: once the window is up, connect to it.
    if (!line.url.empty()) QTimer::singleShot(0, &frame, [&frame, &line] { (void)OpenFtpUrl(frame, line.url); });
    const int status = QApplication::exec();
    // Script runs still going end as cancelled (their sessions closed and
    // logged) before the program ends.
    BatchOutputDlg::CancelAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetSoundPlayer(nullptr);
    return status;
}

}  // namespace zyfar
