#pragma once
// The one main window: tool bar, scheduler animation and profile bar above
// one of the three screens, the log view below them, the status bar, the tray
// icon and its menu, the background timers, and the operations other windows
// call on it (through MainFrame()).
#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

#include "app/Commands.h"
#include "app/MainScreen.h"
#include "app/ProfileBar.h"
#include "platform/UiHost.h"
#include "settings/Keys.h"

class QDialog;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QToolBar;

namespace zyfar {

class BackgroundTimers;
class BusyAnimation;
class PaneSplitter;
class QtTimerService;
class Scheduler;
class TransferRunStarter;

class CMainFrame : public QMainWindow, public UiHost, public CommandTarget {
    Q_OBJECT
public:
    // withTray false: an unattended run shows no tray icon.
    explicit CMainFrame(bool withTray = true, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // ---- UiHost: callable from any thread ----
    void SetTrayState(int state) override;
    void RequestQuit() override;
    // From a worker: the box is shown on the GUI thread; the worker's wait
    // ends when the box is answered, when the window goes away (Cancel), or
    // when the worker's control is cancelled (the box is closed, Cancel).
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons buttons) override;
    // The certificate question ("Unknown Certificate") through the prompter,
    // marshalled like ShowMessage: only the asking worker waits, a cancel of
    // that worker closes the dialog (kCancel), and so does the window going
    // away first.
    [[nodiscard]] bool AsksCertificateTrust() const override { return true; }
    TrustAnswer AskCertificateTrust(const CertificateInfo& certificate) override;
    [[nodiscard]] bool OnUiThread() const override;
    // Runs the event loop (without user input) until done() holds.
    void ServeUntil(const std::function<bool()>& done) override;

    // ---- commands ----
    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;
    [[nodiscard]] CommandTable& Commands() { return *commands_; }

    // ---- start-up ----
    // Shows the window as stored: restored, or minimised and hidden when
    // CONFIG WinState is "ICONIC" and the tray can bring it back.
    void ShowAsStored();
    // The e-mail check after the first screen: asks (324/326, 327 on a bad
    // address) until a valid address is typed; a new address is stored and
    // the anonymous profiles get it (354). False when the user cancelled.
    bool EnsureEmail();
    // The background timers: the queue resend timer with `starter` showing
    // the runs it starts (null: no resend), and the scheduler when CONFIG
    // Scheduler says so.
    void StartBackground(TransferRunStarter* starter);

    // ---- window state ----
    // Tray command 1264: minimise and hide, or show and restore.
    void ToggleWindow();
    // Restores the rectangle from "Dimensions\Main\Mainframe".
    void RestoreRectangle();
    // Writes the current rectangle to "Dimensions\Main\Mainframe" now.
    void SaveRectangle();
    // The rectangle, then the four splitters in the order split1, split2,
    // split4, split3.
    void RestoreLayout();

    // ---- what other windows call ----
    [[nodiscard]] ScreenKind CurrentScreen() const { return screen_->Kind(); }
    [[nodiscard]] int TransferModeCommand() const { return transferMode_; }
    [[nodiscard]] int LogFilterCommand() const { return logFilter_; }
    [[nodiscard]] bool SchedulerRunning() const;
    [[nodiscard]] MainScreen& Screen() const { return *screen_; }
    [[nodiscard]] QWidget* LogView() const { return logView_; }
    [[nodiscard]] ProfileBar& Bar() const { return *profileBar_; }
    [[nodiscard]] PaneSplitter& OuterSplitter() const { return *outer_; }
    [[nodiscard]] int TrayState() const { return trayState_; }
    [[nodiscard]] bool HasTrayIcon() const { return tray_ != nullptr; }
    [[nodiscard]] QMenu* TrayMenu() const { return trayMenu_; }
    // Screen switch (1172-1174): nothing when it is the screen shown.
    void SwitchScreen(ScreenKind screen);
    // Builds the current screen again (after ScreenSplit changed).
    void RebuildScreen();
    // Re-reads ScreenSplit and TimeType, the log's settings and the resend
    // period; a changed split rebuilds the screen once the caller returned.
    void ApplyConfiguration();
    // The "System Config" sheet (commands 1158 and 1268), modal.
    void OpenConfiguration();
    // The right list when it is the Multiple FTP Put file list, else null.
    [[nodiscard]] QWidget* FileListView() const;
    // The path of the file list selected in combo 1194, or empty.
    [[nodiscard]] QString SelectedFileList() const { return profileBar_->SelectedFileList(); }
    [[nodiscard]] QWidget* RightFirstPane() const { return screen_->RightFirst(); }
    // True when `view` is one of the two lists of the screen (the folder
    // comparison belongs to the browsing views).
    [[nodiscard]] bool IsScreenList(const QWidget* view) const;
    // Files dropped from the desktop go to the right-hand list; answers the
    // number of files added.
    int AddDroppedPaths(const QStringList& paths);
    // File > Profiles (1141), File List Profiles (1159), Links (1222). The
    // windows keep the link files in step themselves (through the core); the
    // profile bar reads the disk again after each of their changes.
    void OpenProfiles();
    void OpenFileLists();
    void OpenLinks();
    // Runs a link's sends in transfer windows; answers the number opened.
    int RunLink(const QString& name);
    // Starts a queue send pass now; false when nothing could be sent.
    bool RunQueueNow();

signals:
    // After a screen was built (the first one and each switch or rebuild).
    void ScreenBuilt();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateBars();
    void CreateMenus();
    void CreateTray();
    void CreateStatusBar();
    void BuildScreen(ScreenKind screen);
    void ScheduleRectangleSave();
    void ToggleBar(int command);
    void SetBarShown(int command, bool shown, bool store);
    [[nodiscard]] bool BarShown(int command) const;
    void SetTransferMode(int command);
    void SetLogFilter(int command);
    void ToggleScheduler();
    void ShowSchedulerState(bool running);
    void OnProfilePicked(int combo, const QString& name, const QString& path);
    void ApplyTrayState(int state);
    void UpdateLockIndicators();
    void RunScriptCommand();
    MessageAnswer ShowMessageHere(const QString& text, MessageKind kind, MessageButtons buttons,
                                  QPointer<QDialog>* shown = nullptr);

    CommandTable* commands_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QToolBar* profileBarHolder_ = nullptr;
    ProfileBar* profileBar_ = nullptr;
    BusyAnimation* animation_ = nullptr;
    QLabel* capsLock_ = nullptr;
    QLabel* numLock_ = nullptr;
    QTimer* lockTimer_ = nullptr;
    PaneSplitter* outer_ = nullptr;
    QWidget* logView_ = nullptr;
    std::unique_ptr<MainScreen> screen_;
    bool horizontalSplit_ = true;
    std::string timeType_;
    int transferMode_ = 1167;
    int logFilter_ = 1183;

    QtTimerService* timerService_ = nullptr;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<BackgroundTimers> background_;
    TransferRunStarter* starter_ = nullptr;

    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QTimer* saveTimer_ = nullptr;
    int trayState_ = 0;
    std::atomic<int> requestedTrayState_{0};     // latest state asked for by a worker
    std::atomic<bool> trayUpdatePosted_{false};  // an event to apply it is on its way
    bool restoring_ = false;
    bool closing_ = false;
};

// The mode command of a TransferType setting: 1165 binary, 1166 ascii, 1167 automatic.
[[nodiscard]] int TransferModeCommandOf(TransferType type);

// The main window, or null before it exists and after it is gone.
[[nodiscard]] CMainFrame* MainFrame();

}  // namespace zyfar
