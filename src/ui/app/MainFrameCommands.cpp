// The main window's bars, menus, commands and screens.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/MainFrame.h"
#include "app/PaneSplitter.h"
#include "app/QtTimerService.h"
#include "app/ScreenPanes.h"
#include "automation/LinkRun.h"
#include "automation/QueueSend.h"
#include "automation/ResendTimer.h"
#include "automation/Scheduler.h"
#include "config/ConfigSheet.h"
#include "config/HelpWindow.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/BatchOutputDlg.h"
#include "dialogs/BusyAnimation.h"
#include "dialogs/CStatisticsDlg.h"
#include "dialogs/FileListWindow.h"
#include "dialogs/LinksDialog.h"
#include "dialogs/ProfileWindow.h"
#include "dialogs/QueueDialog.h"
#include "dialogs/SchedulerDialog.h"
#include "dialogs/Prompter.h"
#include "log/LogEntry.h"
#include "views/FileView.h"
#include "views/FilesView.h"
#include "views/LogPrinting.h"
#include "views/RemoteTree.h"
#include "log/TransferLog.h"
#include "platform/Clock.h"
#include "profiles/FileList.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"

#ifdef ZYFAR_HAVE_X11
#include <QGuiApplication>
#include <X11/XKBlib.h>
#endif

namespace zyfar {
namespace {

// Greyed unless the active view takes them: the views' own commands (FTP
// Put and Get act on a file list), and those whose windows come with later
// parts of the program.
// Commands the lists handle; the main window has nothing to do with them.
constexpr int kListOnlyCommands[] = {cmd::FtpPut, cmd::FtpGet};

bool IsListOnly(int id) {
    for (int c : kListOnlyCommands)
        if (c == id) return true;
    return false;
}

std::string Std(const QString& s) { return s.toStdString(); }

}  // namespace

// ---- bars ----

void CMainFrame::CreateBars() {
    toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("ToolBar"));
    toolBar_->setAccessibleName(QStringLiteral("Tool bar"));
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(22, 22));
    for (int id : {cmd::ScreenStandard, cmd::ScreenRemote, cmd::ScreenMultiple, 0, cmd::FtpGet, cmd::FtpPut, 0,
                   cmd::SendParallel, cmd::SendSerial, 0, cmd::Profiles, cmd::Queue, cmd::RunScript, 0,
                   cmd::PrintLog, cmd::Help}) {
        if (id == 0) toolBar_->addSeparator();
        else toolBar_->addAction(commands_->Action(id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
    for (QAction* a : toolBar_->actions())
        if (QWidget* button = toolBar_->widgetForAction(a)) button->setAccessibleName(a->text().remove(QLatin1Char('&')));
    if (auto* more = toolBar_->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("More tools"));
    // The scheduler animation sits at the end of the tool bar's line.
    animation_ = new BusyAnimation(BusyAnimation::Kind::Statistics, this);
    animation_->setFixedSize(24, 24);
    animation_->setAccessibleName(tr("Scheduler animation"));
    auto* spacer = new QWidget(toolBar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar_->addWidget(spacer);
    toolBar_->addWidget(animation_);
    animation_->Stop();

    addToolBarBreak(Qt::TopToolBarArea);
    profileBarHolder_ = new QToolBar(QStringLiteral("Profile Bar"), this);
    profileBarHolder_->setObjectName(QStringLiteral("ProfileBarHolder"));
    profileBarHolder_->setMovable(false);
    profileBar_ = new ProfileBar(profileBarHolder_);
    profileBarHolder_->addWidget(profileBar_);
    addToolBar(Qt::TopToolBarArea, profileBarHolder_);
    connect(profileBar_, &ProfileBar::Picked, this, &CMainFrame::OnProfilePicked);
    // The bars' own show/hide entries of the tool bar context menu would
    // bypass the stored state: the View menu is the one way.
    setContextMenuPolicy(Qt::NoContextMenu);
}

void CMainFrame::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setAccessibleName(QStringLiteral("Main menu"));
    bar->addMenu(commands_->BuildMenu(tr("&File"),
                                      {cmd::Profiles, cmd::FileListProfiles, cmd::Links, 0, cmd::RunScript, cmd::Queue,
                                       0, cmd::PrintLog, cmd::PrintPreview, cmd::PrintSetup, 0, cmd::Exit},
                                      this));
    bar->addMenu(commands_->BuildMenu(tr("&View"), {cmd::ToolBar, cmd::ProfileBar, cmd::StatusBar}, this));
    bar->addMenu(commands_->BuildMenu(tr("F&TP"),
                                      {cmd::ScreenStandard, cmd::ScreenRemote, cmd::ScreenMultiple, 0,
                                       cmd::SendParallel, cmd::SendSerial, 0, cmd::FtpPut, cmd::FtpGet, 0,
                                       cmd::RunScript},
                                      this));
    bar->addMenu(commands_->BuildMenu(tr("&Logs"),
                                      {cmd::LogOpen, cmd::LogSave, cmd::LogClear, 0, cmd::LogViewAll,
                                       cmd::LogViewSuccess, cmd::LogViewUnsuccess},
                                      this));
    QMenu* options = commands_->BuildMenu(tr("&Options"), {cmd::Configuration}, this);
    options->addMenu(commands_->BuildMenu(tr("&Scheduler"), {cmd::SchedulerConfig, cmd::Scheduler}, options));
    options->addMenu(
        commands_->BuildMenu(tr("Transfer &Mode"), {cmd::ModeBinary, cmd::ModeAscii, cmd::ModeAutomatic}, options));
    bar->addMenu(options);
    bar->addMenu(commands_->BuildMenu(tr("&Help"), {cmd::Help, 0, cmd::About}, this));
    // The list-style commands have no menu; their shortcuts-free actions
    // still exist for the tool bar of a later window and for tests.
    for (int id : {cmd::ListSmallIcons, cmd::ListLargeIcons, cmd::ListList, cmd::ListDetails, cmd::ListLineUp})
        (void)commands_->Action(id);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* status = statusBar();
    status->setAccessibleName(QStringLiteral("Status bar"));
    status->showMessage(tr("Ready"));
#ifdef ZYFAR_HAVE_X11
    // Caps and Num Lock come from the X server's keyboard indicators; under
    // Wayland or without X11 they are left out.
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        capsLock_ = new QLabel(QStringLiteral("CAP"), status);
        numLock_ = new QLabel(QStringLiteral("NUM"), status);
        for (QLabel* l : {capsLock_, numLock_}) {
            l->setAccessibleName(l->text() == QStringLiteral("CAP") ? tr("Caps Lock") : tr("Num Lock"));
            status->addPermanentWidget(l);
        }
        lockTimer_ = new QTimer(this);
        lockTimer_->setInterval(400);
        connect(lockTimer_, &QTimer::timeout, this, &CMainFrame::UpdateLockIndicators);
        lockTimer_->start();
        UpdateLockIndicators();
    }
#endif
}

void CMainFrame::UpdateLockIndicators() {
#ifdef ZYFAR_HAVE_X11
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr || capsLock_ == nullptr) return;
    unsigned int state = 0;
    if (XkbGetIndicatorState(x11->display(), XkbUseCoreKbd, &state) != Success) return;
    capsLock_->setEnabled((state & 1u) != 0);
    numLock_->setEnabled((state & 2u) != 0);
#endif
}

bool CMainFrame::BarShown(int command) const {
    // An absent key shows the bar; a stored 0 hides it.
    switch (command) {
    case cmd::ToolBar: return !ReadIfPresent(keys::ToolBar) || ReadInt(keys::ToolBar) != 0;
    case cmd::ProfileBar: return !ReadIfPresent(keys::ProfileBar) || ReadInt(keys::ProfileBar) != 0;
    case cmd::StatusBar: return !ReadIfPresent(keys::StatusBar) || ReadInt(keys::StatusBar) != 0;
    default: return false;
    }
}

void CMainFrame::SetBarShown(int command, bool shown, bool store) {
    switch (command) {
    case cmd::ToolBar:
        toolBar_->setVisible(shown);
        if (store) WriteInt(keys::ToolBar, shown ? 1 : 0);
        break;
    case cmd::ProfileBar:
        profileBarHolder_->setVisible(shown);
        if (store) WriteInt(keys::ProfileBar, shown ? 1 : 0);
        break;
    case cmd::StatusBar:
        statusBar()->setVisible(shown);
        if (store) WriteInt(keys::StatusBar, shown ? 1 : 0);
        break;
    default: break;
    }
}

void CMainFrame::ToggleBar(int command) {
    const bool shown = command == cmd::ToolBar      ? !toolBar_->isHidden()
                       : command == cmd::ProfileBar ? !profileBarHolder_->isHidden()
                                                    : !statusBar()->isHidden();
    SetBarShown(command, !shown, true);
}

// ---- commands ----

std::optional<CommandState> CMainFrame::CommandStateOf(int id) const {
    if (!screen_) return std::nullopt;  // still being built
    if (IsListOnly(id)) return CommandState{false, std::nullopt};
    switch (id) {
    case cmd::ToolBar: return CommandState{true, !toolBar_->isHidden()};
    case cmd::ProfileBar: return CommandState{true, !profileBarHolder_->isHidden()};
    case cmd::StatusBar: return CommandState{true, !statusBar()->isHidden()};
    case cmd::ScreenStandard:
    case cmd::ScreenRemote:
    case cmd::ScreenMultiple: return CommandState{true, static_cast<int>(screen_->Kind()) == id};
    case cmd::Profiles:
    case cmd::FileListProfiles:
    case cmd::Links: return CommandState{true, std::nullopt};
    case cmd::Queue:
    case cmd::SchedulerConfig:
    case cmd::TraySchedulerConfig: return CommandState{true, std::nullopt};
    case cmd::SendParallel:
    case cmd::SendSerial:
        return CommandState{screen_->Kind() == ScreenKind::MultiplePut && starter_ != nullptr, std::nullopt};
    case cmd::ModeBinary:
    case cmd::ModeAscii:
    case cmd::ModeAutomatic: return CommandState{true, transferMode_ == id};
    case cmd::LogViewAll:
    case cmd::LogViewSuccess:
    case cmd::LogViewUnsuccess: return CommandState{true, logFilter_ == id};
    case cmd::Scheduler:
    case cmd::TrayScheduler: return CommandState{true, SchedulerRunning()};
    case cmd::LogOpen:
    case cmd::LogSave:
    case cmd::LogClear:
    case cmd::PrintLog:
    case cmd::PrintPreview: {
        const auto* log = dynamic_cast<const CommandTarget*>(logView_);
        if (log != nullptr) return log->CommandStateOf(id).value_or(CommandState{});
        return CommandState{};
    }
    case cmd::ListSmallIcons:
    case cmd::ListLargeIcons:
    case cmd::ListList:
    case cmd::ListDetails:
    case cmd::ListLineUp: return CommandState{CommandTargetOf(screen_->LeftList()) != nullptr, std::nullopt};
    case cmd::RunScript:
    case cmd::PrintSetup:
    case cmd::Help:
    case cmd::About:
    case cmd::Configuration:
    case cmd::SystemParameters:
    case cmd::Exit:
    case cmd::ToggleWindow:
    case cmd::Statistics:
    case cmd::CloseZyfar: return CommandState{};
    default: return std::nullopt;
    }
}

bool CMainFrame::HandleCommand(int id) {
    if (IsListOnly(id)) return false;
    switch (id) {
    case cmd::ToolBar:
    case cmd::ProfileBar:
    case cmd::StatusBar: ToggleBar(id); return true;
    case cmd::ScreenStandard:
    case cmd::ScreenRemote:
    case cmd::ScreenMultiple: SwitchScreen(static_cast<ScreenKind>(id)); return true;
    case cmd::Profiles: OpenProfiles(); return true;
    case cmd::FileListProfiles: OpenFileLists(); return true;
    case cmd::Links: OpenLinks(); return true;
    case cmd::SchedulerConfig:
    case cmd::TraySchedulerConfig:
        (void)SchedulerDialog::Open(this, [] { ShowHelp(QStringLiteral("scheduler")); });
        return true;
    case cmd::Queue: {
        // Without a run starter (before the background starts) the dialog
        // shows the queue with Send and Send All greyed.
        QueueDialog dialog(starter_, this);
        connect(&dialog, &QueueDialog::helpRequested, this, [] { ShowHelp(QStringLiteral("queue")); });
        dialog.exec();
        return true;
    }
    case cmd::SendParallel:
    case cmd::SendSerial:
        if (screen_->Kind() == ScreenKind::MultiplePut && starter_ != nullptr)
            (void)SendFromScreen(screen_->RightFirst(), screen_->RightList(), id == cmd::SendParallel, *starter_);
        return true;
    case cmd::ModeBinary:
    case cmd::ModeAscii:
    case cmd::ModeAutomatic: SetTransferMode(id); return true;
    case cmd::LogViewAll:
    case cmd::LogViewSuccess:
    case cmd::LogViewUnsuccess: SetLogFilter(id); return true;
    case cmd::Scheduler:
    case cmd::TrayScheduler: ToggleScheduler(); return true;
    case cmd::LogOpen:
    case cmd::LogSave:
    case cmd::LogClear:
    case cmd::PrintLog:
    case cmd::PrintPreview: {
        auto* log = dynamic_cast<CommandTarget*>(logView_);
        return log != nullptr && log->HandleCommand(id);
    }
    case cmd::ListSmallIcons:
    case cmd::ListLargeIcons:
    case cmd::ListList:
    case cmd::ListDetails:
    case cmd::ListLineUp: {
        // The framework's styles act on the left half's list.
        static constexpr int kStyleOf[] = {cmd::StyleSmall, cmd::StyleLarge, cmd::StyleList, cmd::StyleReport,
                                           cmd::StyleLarge};
        CommandTarget* list = CommandTargetOf(screen_->LeftList());
        return list != nullptr && list->HandleCommand(kStyleOf[id - cmd::ListSmallIcons]);
    }
    case cmd::RunScript: RunScriptCommand(); return true;
    case cmd::Help: ShowHelp(QStringLiteral("index")); return true;
    case cmd::Configuration:
    case cmd::SystemParameters: OpenConfiguration(); return true;
    case cmd::About: ShowAboutBox(this); return true;
    case cmd::PrintSetup: {
        QPageSetupDialog dialog(&ProgramPrinter(), this);
        dialog.setAccessibleName(QStringLiteral("Print setup"));
        dialog.exec();
        return true;
    }
    case cmd::Exit:
    case cmd::CloseZyfar: close(); return true;
    case cmd::ToggleWindow: ToggleWindow(); return true;
    case cmd::Statistics: (void)CStatisticsDlg::Show(this); return true;
    default: return false;
    }
}

void CMainFrame::SetTransferMode(int command) {
    transferMode_ = command;
    Write(keys::TransferTypeMain, command == cmd::ModeBinary ? "BINARY" : command == cmd::ModeAscii ? "TEXT"
                                                                                                    : "AUTOMATIC");
}

void CMainFrame::SetLogFilter(int command) {
    if (command == logFilter_) return;
    logFilter_ = command;
    // The log stores LOG View and asks its view for a refill.
    TheTransferLog().SetFilter(LogFilterOfCommand(command));
}

// ---- scheduler ----

bool CMainFrame::SchedulerRunning() const { return background_ != nullptr && background_->SchedulerRunning(); }

void CMainFrame::ShowSchedulerState(bool running) {
    if (running) animation_->Start();
    else animation_->Stop();
    commands_->UpdateStates();
}

void CMainFrame::ToggleScheduler() {
    if (background_ == nullptr) return;
    if (const std::optional<bool> now = ToggleSchedulerCommand(*background_)) ShowSchedulerState(*now);
}

void CMainFrame::StartBackground(TransferRunStarter* starter) {
    starter_ = starter;
    ScheduleActions actions;
    actions.runLink = [this](const std::string& name) { (void)RunLink(QString::fromStdString(name)); };
    // A scheduled script runs in a batch output window of its own (no owner,
    // so a modal dialog open meanwhile does not block it).
    actions.runScript = [](const std::string& path) { (void)BatchOutputDlg::RunScript(QString::fromStdString(path)); };
    scheduler_ = std::make_unique<Scheduler>(SystemClockInstance(), std::move(actions));
    BackgroundTimers::Callbacks callbacks;
    callbacks.sendPass = [this] { return starter_ != nullptr ? RunQueueSendPass(*starter_) : 0; };
    callbacks.schedulerTick = [this] { (void)scheduler_->Tick(); };
    background_ = std::make_unique<BackgroundTimers>(*timerService_, std::move(callbacks));
    ShowSchedulerState(StartSchedulerFromSettings(*background_));
}

bool CMainFrame::RunQueueNow() { return starter_ != nullptr && RunQueueSendPass(*starter_) == 1; }

int CMainFrame::RunLink(const QString& name) {
    if (starter_ == nullptr) return 0;
    const LinkRunResult result = ::zyfar::RunLink(Std(name), *starter_);
    return result.runsStarted;
}

void CMainFrame::RunScriptCommand() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = tr("Execute Zyfar Batch File");
    request.filter = tr("Zyfar Scripts (*.cmd)");
    request.defaultSuffix = QStringLiteral("cmd");
    const std::optional<QString> path = Prompt().ChooseFile(this, request);
    if (!path) return;
    (void)BatchOutputDlg::RunScript(*path);
}

// ---- screens ----

void CMainFrame::BuildScreen(ScreenKind screen) {
    if (screen_) AskToSaveFileList(screen_->RightList());  // 33053 for a changed file list
    screen_.reset();  // saves and destroys split2, split3, split4
    screen_ = std::make_unique<MainScreen>(screen, horizontalSplit_, outer_, *commands_);
    for (QWidget* pane : {screen_->LeftFirst(), screen_->LeftList(), screen_->RightFirst(), screen_->RightList()})
        ForwardStatusMessages(pane, this, [this](const QString& text) { statusBar()->showMessage(text, 5000); });
    if (auto* files = qobject_cast<CFilesView*>(screen_->RightList()))
        connect(files, &CFilesView::listCreated, this, [this] { profileBar_->RefillAll(); });
    profileBar_->Prepare(screen);
    if (isVisible()) RestoreLayout();
    commands_->UpdateStates();
    emit ScreenBuilt();
}

void CMainFrame::SwitchScreen(ScreenKind screen) {
    if (screen_ && screen_->Kind() == screen) return;
    Write(keys::StartScreen, ScreenKindText(screen));
    BuildScreen(screen);
    setWindowTitle(MessageString(33055));
}

void CMainFrame::RebuildScreen() { BuildScreen(screen_->Kind()); }

void CMainFrame::OpenConfiguration() {
    ConfigSheet sheet(this);
    connect(&sheet, &ConfigSheet::helpRequested, this, [](const QString& topic) { ShowHelp(topic); });
    const bool confirmed = sheet.exec() == QDialog::Accepted;
    // Apply may have stored a page before a Cancel.
    if (confirmed || sheet.AnythingStored()) ApplyConfiguration();
}

void CMainFrame::ApplyConfiguration() {
    const bool horizontal = Read(keys::ScreenSplit) == "HORIZ";
    const std::string timeType = Read(keys::TimeTypeMain);
    if (timeType != timeType_) {
        // The two lists show their dates the new way at once.
        for (QWidget* list : {screen_->LeftList(), screen_->RightList()})
            if (auto* files = qobject_cast<CFileView*>(list)) files->Files()->SetTimeType(Read(keys::TimeTypeList));
        timeType_ = timeType;
    }
    (void)TheTransferLog().ReloadSettings();
    if (background_) background_->ReloadResendPeriod();
    if (horizontal != horizontalSplit_) {
        horizontalSplit_ = horizontal;
        // After the caller (the configuration sheet) has closed.
        QTimer::singleShot(0, this, [this] { RebuildScreen(); });
    }
}

QWidget* CMainFrame::FileListView() const {
    return screen_->Kind() == ScreenKind::MultiplePut ? screen_->RightList() : nullptr;
}

bool CMainFrame::IsScreenList(const QWidget* view) const {
    return view != nullptr && (view == screen_->LeftList() || view == screen_->RightList());
}

// ---- the profile bar ----

void CMainFrame::OnProfilePicked(int combo, const QString& name, const QString& path) {
    (void)name;
    const ScreenKind screen = screen_->Kind();
    if (combo == ProfileBar::Links) {
        LoadLinkIntoPanes(path, screen_->RightFirst(), screen_->RightList(), this);
        return;
    }
    if (screen == ScreenKind::MultiplePut) {
        if (combo == ProfileBar::Left) AddSiteProfileToPane(path, screen_->RightFirst());
        else LoadFileListIntoPane(path, screen_->RightList(), this);
        return;
    }
    // Standard and Remote FTP: the remote trees connect with the profile.
    QWidget* tree = combo == ProfileBar::Left ? screen_->LeftFirst() : screen_->RightFirst();
    ConnectPaneWithProfile(tree, path);
}

// ---- the profile windows ----

void CMainFrame::OpenProfiles() {
    // Tied to the remote tree the command came from, else to the right half.
    QWidget* target = qobject_cast<CRemoteTree*>(commands_->ActiveView());
    if (target == nullptr) target = screen_->RightFirst();
    bool created = false;
    CProfile* window = CProfile::Open(target, &created);
    if (!created) return;
    // The windows keep the link files in step themselves; the bar reads the disk again.
    auto refill = [this] { profileBar_->RefillAll(); };
    connect(window, &CProfile::siteProfileCreated, this, refill);
    connect(window, &CProfile::siteProfileRenamed, this, refill);
    connect(window, &CProfile::siteProfileDeleted, this, refill);
    connect(window, &CProfile::profileFolderCreated, this, refill);
    connect(window, &CProfile::profileFolderRenamed, this, refill);
    connect(window, &CProfile::profileFolderDeleted, this, refill);
    connect(window, &CProfile::linksDropped, this, refill);
}

void CMainFrame::OpenFileLists() {
    const bool created = CSite::Instance() == nullptr;
    CSite* window = CSite::Open([this] { return FileListView(); });
    if (!created || window == nullptr) return;
    auto refill = [this] { profileBar_->RefillAll(); };
    connect(window, &CSite::fileListCreated, this, refill);
    connect(window, &CSite::fileListRenamed, this, refill);
    connect(window, &CSite::fileListDeleted, this, refill);
    connect(window, &CSite::linksDropped, this, refill);
}

void CMainFrame::OpenLinks() {
    LinksDialog dialog(this);
    auto refill = [this] { profileBar_->RefillAll(); };
    connect(&dialog, &LinksDialog::linkAdded, this, refill);
    connect(&dialog, &LinksDialog::linkRenamed, this, refill);
    connect(&dialog, &LinksDialog::linkDeleted, this, refill);
    connect(&dialog, &LinksDialog::helpRequested, this, [] { ShowHelp(QStringLiteral("links")); });
    dialog.exec();
}

// ---- the e-mail address ----

bool CMainFrame::EnsureEmail() {
    if (IsStoredEmailValid(Read(keys::Email))) return true;
    std::string email;
    for (;;) {
        const std::optional<QString> typed =
            Prompt().InputLine(this, InputRequest{MessageString(324), MessageString(326), QString()});
        if (!typed) return false;
        email = Std(typed->trimmed());
        if (!email.empty() && IsTypedEmailValid(email)) break;
        (void)AskMessage(this, 327, MessageKind::Stop, MessageButtons::Ok);
    }
    Write(keys::Email, email);
    // The preconfigured anonymous profiles take the new address.
    QProgressDialog progress(MessageString(354), QString(), 0, 0, this);
    progress.setWindowTitle(QStringLiteral("Zyfar"));
    progress.setMinimumDuration(0);
    progress.show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    (void)FillAnonymousPasswords(email);
    QApplication::restoreOverrideCursor();
    return true;
}

// ---- files dropped from the desktop ----

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    (void)AddDroppedPaths(paths);
}

int CMainFrame::AddDroppedPaths(const QStringList& paths) {
    std::vector<std::string> list;
    for (const QString& p : paths) list.push_back(Std(p));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int added = AddDroppedFilesToPane(list, screen_->RightList());
    QApplication::restoreOverrideCursor();
    return added;
}

}  // namespace zyfar
