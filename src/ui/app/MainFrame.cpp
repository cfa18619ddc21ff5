#include "app/MainFrame.h"
#include "config/HelpWindow.h"
#include "dialogs/BatchOutputDlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <memory>

#include "app/PaneSplitter.h"
#include "app/ScreenPanes.h"
#include "app/QtTimerService.h"
#include "app/TrayIcons.h"
#include "automation/ResendTimer.h"
#include "automation/Scheduler.h"
#include "log/LogEntry.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/Prompter.h"
#include "platform/WorkerControl.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

QPointer<CMainFrame> g_mainFrame;

// Moves and resizes come in bursts while the user drags; the rectangle is
// written once the burst settles (and always at close).
constexpr int kRectangleSaveDelayMs = 250;

}  // namespace

int TransferModeCommandOf(TransferType type) {
    switch (type) {
    case TransferType::Binary: return cmd::ModeBinary;
    case TransferType::Text: return cmd::ModeAscii;
    case TransferType::Automatic: break;
    }
    return cmd::ModeAutomatic;
}

CMainFrame* MainFrame() { return g_mainFrame.data(); }

CMainFrame::CMainFrame(bool withTray, QWidget* parent) : QMainWindow(parent) {
    g_mainFrame = this;
    setObjectName("MainFrame");
    setAccessibleName(QStringLiteral("Zyfar main window"));
    setWindowTitle(MessageString(33055));
    setWindowIcon(AppIcon());
    setAcceptDrops(true);

    saveTimer_ = new QTimer(this);
    saveTimer_->setSingleShot(true);
    saveTimer_->setInterval(kRectangleSaveDelayMs);
    connect(saveTimer_, &QTimer::timeout, this, &CMainFrame::SaveRectangle);

    commands_ = new CommandTable(this);
    commands_->SetFrameTarget(this);
    transferMode_ = TransferModeCommandOf(ParseTransferType(Read(keys::TransferTypeMain)));
    logFilter_ = ::zyfar::LogFilterCommand(ParseLogFilterView(Read(keys::View)));
    timeType_ = Read(keys::TimeTypeMain);
    horizontalSplit_ = Read(keys::ScreenSplit) == "HORIZ";

    CreateBars();
    CreateMenus();
    CreateStatusBar();
    if (withTray) CreateTray();

    // The outer splitter and the log view live as long as the window; the
    // screens above them come and go.
    outer_ = new PaneSplitter("Main\\split1", Qt::Vertical, this);
    logView_ = MakeLogPane(outer_, *commands_);
    outer_->addWidget(logView_);
    setCentralWidget(outer_);
    BuildScreen(ParseStartScreen(Read(keys::StartScreen)));
    RestoreRectangle();

    // Bars whose setting is 0 are hidden (absent keys show them).
    for (int bar : {cmd::ProfileBar, cmd::ToolBar, cmd::StatusBar}) SetBarShown(bar, BarShown(bar), false);

    timerService_ = new QtTimerService(this);
    SetUiHost(this);
}

CMainFrame::~CMainFrame() {
    background_.reset();
    scheduler_.reset();
    SetUiHost(nullptr);
    if (tray_) tray_->hide();
}

void CMainFrame::CreateTray() {
    trayMenu_ = commands_->BuildMenu(QStringLiteral("Zyfar"),
                                     {cmd::ToggleWindow, cmd::Statistics, cmd::SystemParameters, 0,
                                      cmd::TraySchedulerConfig, cmd::TrayScheduler, 0, cmd::CloseZyfar},
                                     this);
    tray_ = new QSystemTrayIcon(TrayIcon(0), this);
    tray_->setToolTip(QStringLiteral("Zyfar"));
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) ToggleWindow();
        else if (reason == QSystemTrayIcon::Trigger) trayMenu_->popup(QCursor::pos());
    });
    tray_->show();
}

void CMainFrame::SetTrayState(int state) {
    if (state < 0 || state > 2) return;
    if (QThread::currentThread() != thread()) {
        // The copy loops change the state on every change of direction, up to
        // twice per pass: keep only the latest request and post at most one
        // event until the GUI thread has applied it.
        requestedTrayState_.store(state);
        if (!trayUpdatePosted_.exchange(true)) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    trayUpdatePosted_.store(false);
                    ApplyTrayState(requestedTrayState_.load());
                },
                Qt::QueuedConnection);
        }
        return;
    }
    ApplyTrayState(state);
}

void CMainFrame::ApplyTrayState(int state) {
    if (state == trayState_) return;
    trayState_ = state;
    if (tray_) tray_->setIcon(TrayIcon(state));
}

void CMainFrame::RequestQuit() {
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

namespace {

// A question (a message box, the certificate question) asked for by a
// worker. The worker and the GUI thread share it, so either side may give up
// first.
template <class Answer>
struct PendingAnswer {
    explicit PendingAnswer(Answer cancel) : answer(cancel) {}
    CancellableEvent answered;
    std::atomic<Answer> answer;
    std::atomic<bool> abandoned{false};  // the worker stopped waiting
    QPointer<QDialog> box;               // GUI thread only: the open box
};

// Asks on `window`'s thread with ask(&box) and waits for the answer on the
// calling worker. The wait ends with `cancel` when the worker is cancelled
// (the open box is then closed) or when the window goes away before asking.
template <class Answer, class Ask>
Answer AskForWorker(QObject* window, Answer cancel, Ask ask) {
    auto pending = std::make_shared<PendingAnswer<Answer>>(cancel);
    // Ends the wait also when the call is dropped without running (the
    // window was destroyed first): the last copy of the call releases it.
    std::shared_ptr<void> release(nullptr, [pending](void*) { pending->answered.Set(); });
    QMetaObject::invokeMethod(
        window,
        [pending, release, ask] {
            if (pending->abandoned.load()) return;
            pending->answer.store(ask(&pending->box));
            pending->answered.Set();
        },
        Qt::QueuedConnection);
    release.reset();  // from here only the queued call holds it
    if (!pending->answered.Wait(CurrentWorkerControl())) {
        // Cancelled: the worker goes on without an answer; the box goes away.
        pending->abandoned.store(true);
        QMetaObject::invokeMethod(
            window,
            [pending] {
                if (pending->box) pending->box->reject();
            },
            Qt::QueuedConnection);
        return cancel;
    }
    return pending->answer.load();
}

}  // namespace

bool CMainFrame::OnUiThread() const { return QThread::currentThread() == thread(); }

void CMainFrame::ServeUntil(const std::function<bool()>& done) {
    // The tick makes the loop look at done() even when no event comes.
    QTimer tick;
    tick.start(20);
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
}

MessageAnswer CMainFrame::ShowMessage(const std::string& text, MessageKind kind, MessageButtons buttons) {
    const QString qtext = QString::fromStdString(text);
    if (OnUiThread()) return ShowMessageHere(qtext, kind, buttons);
    return AskForWorker(this, MessageAnswer::Cancel, [this, qtext, kind, buttons](QPointer<QDialog>* box) {
        return ShowMessageHere(qtext, kind, buttons, box);
    });
}

TrustAnswer CMainFrame::AskCertificateTrust(const CertificateInfo& certificate) {
    if (OnUiThread()) return Prompt().TrustCertificate(this, certificate);
    return AskForWorker(this, TrustAnswer::kCancel, [this, certificate](QPointer<QDialog>* box) {
        return Prompt().TrustCertificate(this, certificate, box);
    });
}

MessageAnswer CMainFrame::ShowMessageHere(const QString& text, MessageKind kind, MessageButtons buttons,
                                          QPointer<QDialog>* shown) {
    return Prompt().Message(this, MessageRequest{0, text, kind, buttons}, shown);
}

void CMainFrame::ShowAsStored() {
    // Hiding the window is only safe when a tray icon can bring it back.
    const bool iconic = IsIconicWinState(Read(keys::WinState));
    if (iconic && tray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        hide();
    } else {
        show();
    }
    // The splitters are sized once the window has its final size.
    QTimer::singleShot(0, this, [this] { RestoreLayout(); });
}

void CMainFrame::ToggleWindow() {
    if (!isMinimized() && isVisible()) {
        showMinimized();
        hide();
        Write(keys::WinState, "ICONIC");
    } else {
        showNormal();
        raise();
        activateWindow();
        Write(keys::WinState, "RESTORED");
    }
}

void CMainFrame::RestoreRectangle() {
    const WindowGeometry g = ReadWindowGeometry(sections::MainWindow);
    restoring_ = true;
    move(g.x, g.y);
    resize(std::max(g.width, 1), std::max(g.height, 1));
    restoring_ = false;
}

void CMainFrame::RestoreLayout() {
    RestoreRectangle();
    outer_->Restore();
    screen_->RestoreSplitters();
}

void CMainFrame::SaveRectangle() {
    saveTimer_->stop();
    if (isMinimized() || !isVisible()) return;
    const QRect frame = frameGeometry();
    WindowGeometry g;
    g.x = frame.x();
    g.y = frame.y();
    g.width = width();
    g.height = height();
    WriteWindowGeometry(sections::MainWindow, g);
}

void CMainFrame::ScheduleRectangleSave() {
    if (!restoring_ && isVisible() && !isMinimized()) saveTimer_->start();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    ScheduleRectangleSave();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ScheduleRectangleSave();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    // Minimising while the tray icon is present hides the window; it comes
    // back through the tray only.
    if (isMinimized() && tray_ && isEnabled() && QSystemTrayIcon::isSystemTrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hide();
        });
        Write(keys::WinState, "ICONIC");
    }
}

// Shutdown: the profile bar's entries, the scheduler and its timers, the
// splitters (saved, then destroyed), the tray menu, the tray icon; then the
// program ends.
void CMainFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    if (saveTimer_->isActive()) SaveRectangle();
    for (auto c : {ProfileBar::Left, ProfileBar::Right, ProfileBar::Links}) profileBar_->ComboOf(c)->clear();
    background_.reset();
    scheduler_.reset();
    // Transfers still running end as cancelled: their files are logged and
    // queued as the end of every run does, before the program ends.
    CTransferDlg::CancelAll();
    BatchOutputDlg::CancelAll();
    AskToSaveFileList(screen_->RightList());  // 33053 for a changed file list
    screen_.reset();  // saves split2, split3, split4
    outer_->Save();
    if (trayMenu_) {
        delete trayMenu_;
        trayMenu_ = nullptr;
    }
    CloseHelpWindow();  // also without a tray icon: no help window outlives the program
    if (tray_) {
        tray_->hide();
        delete tray_;
        tray_ = nullptr;
    }
    event->accept();
    qApp->quit();
}

}  // namespace zyfar
