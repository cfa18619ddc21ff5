#include "app/Commands.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QStyle>
#include <QWidget>

namespace zyfar {
namespace {

struct CommandInfo {
    int id;
    const char* text;      // with its mnemonic
    const char* shortcut;  // QKeySequence text, or empty
    bool checkable;
    const char* icon;      // theme icon name, or empty
    const char* tip;       // status and tool tip text, or empty
};

// Texts as the menus show them; the list commands as the context menus do.
constexpr CommandInfo kCommands[] = {
    {cmd::Profiles, "Zyfar &Profiles", "", false, "address-book-new", "Open the site profiles"},
    {cmd::FileListProfiles, "&List of Files Profiles", "", false, "document-open", "Open the file-list profiles"},
    {cmd::Links, "&Zyfar Profile / File List Links", "", false, "insert-link", "Edit the links of sites and file lists"},
    {cmd::RunScript, "&Execute Zyfar Batch Files", "", false, "system-run", "Run an FTP command script"},
    {cmd::Queue, "Zyfar &Queue", "", false, "view-list-details", "Show the transfer queue"},
    {cmd::PrintLog, "P&rint Log", "Ctrl+P", false, "document-print", "Print the transfer log"},
    {cmd::PrintPreview, "Lo&g Print Preview", "", false, "document-print-preview", "Preview the printed log"},
    {cmd::PrintSetup, "Print &Setup...", "", false, "", "Choose the printer"},
    {cmd::Exit, "E&xit", "Ctrl+Q", false, "application-exit", "Close Zyfar"},
    {cmd::ToolBar, "&Toolbar", "", true, "", "Show or hide the tool bar"},
    {cmd::ProfileBar, "&Profile Bar", "", true, "", "Show or hide the profile bar"},
    {cmd::StatusBar, "&Status Bar", "", true, "", "Show or hide the status bar"},
    {cmd::ScreenStandard, "S&tandard FTP", "Ctrl+1", true, "network-server", "Local disk and one server"},
    {cmd::ScreenRemote, "&Remote FTP", "Ctrl+2", true, "network-workgroup", "Two servers side by side"},
    {cmd::ScreenMultiple, "&Multiple FTP Put", "Ctrl+3", true, "folder-remote", "One list of files to many servers"},
    {cmd::SendParallel, "Send Para&llel", "", false, "mail-send", "Send the file list to every site at once"},
    {cmd::SendSerial, "Send &Serial", "", false, "mail-send-receive", "Send the file list to one site after another"},
    {cmd::FtpPut, "FTP P&ut", "", false, "go-up", "Send the selected files"},
    {cmd::FtpGet, "FTP &Get", "", false, "go-down", "Receive the selected files"},
    {cmd::LogOpen, "&Open", "", false, "document-open", "Open a log file"},
    {cmd::LogSave, "Sa&ve", "", false, "document-save", "Save the log"},
    {cmd::LogClear, "&Clear", "", false, "edit-clear", "Clear the log"},
    {cmd::LogViewAll, "View &All", "", true, "", "Show every log entry"},
    {cmd::LogViewSuccess, "View &Successful", "", true, "", "Show the successful entries"},
    {cmd::LogViewUnsuccess, "View &Unsuccessful", "", true, "", "Show the failed entries"},
    {cmd::Configuration, "&Configuration", "", false, "preferences-system", "Edit the settings"},
    {cmd::SchedulerConfig, "&Configuration", "", false, "x-office-calendar", "Edit the schedule"},
    {cmd::Scheduler, "&Scheduler", "", true, "appointment-new", "Start or stop the scheduler"},
    {cmd::ModeBinary, "&Binary", "", true, "", "Transfer files unchanged"},
    {cmd::ModeAscii, "&Ascii", "", true, "", "Transfer files as text"},
    {cmd::ModeAutomatic, "Au&tomatic", "", true, "", "Choose by file extension"},
    {cmd::Help, "Zyfar &Help", "F1", false, "help-contents", "Open the help"},
    {cmd::About, "&About Zyfar...", "", false, "help-about", "Program version"},
    {cmd::ToggleWindow, "Toggle &Window", "", false, "", ""},
    {cmd::Statistics, "&Transfer Statistics", "", false, "", "Show the transfer statistics"},
    {cmd::SystemParameters, "System &Parameters", "", false, "", ""},
    {cmd::TraySchedulerConfig, "&Configure Scheduler", "", false, "", ""},
    {cmd::TrayScheduler, "&Scheduler", "", true, "", ""},
    {cmd::CloseZyfar, "Close &Zyfar", "", false, "", ""},
    {cmd::SelectAll, "Select &All", "", false, "", ""},
    {cmd::UnselectAll, "Un-Selec&t All", "", false, "", ""},
    {cmd::Grid, "Gr&id", "", true, "", ""},
    {cmd::AdjustColumns, "Ad&just Column Width", "", false, "", ""},
    {cmd::ClearList, "&Clear List", "", false, "", ""},
    {cmd::StyleReport, "Report", "", true, "", ""},
    {cmd::StyleSmall, "S&mall", "", true, "", ""},
    {cmd::StyleLarge, "Large", "", true, "", ""},
    {cmd::StyleList, "List", "", true, "", ""},
    {cmd::Delete, "&Delete", "", false, "edit-delete", ""},
    {cmd::Refresh, "Refresh", "F5", false, "view-refresh", ""},
    {cmd::NewItem, "&New", "", false, "folder-new", ""},
    {cmd::RenameItem, "Re&name", "", false, "", ""},
    {cmd::DeleteItem, "&Delete", "", false, "edit-delete", ""},
    {cmd::Rename, "&Rename", "F2", false, "edit-rename", "Rename the selected file"},
    {cmd::Execute, "E&xecute", "", false, "system-run", "Execute the file with an associated executable"},
    {cmd::OpenFile, "&Open", "", false, "document-open", "Open file in view mode"},
    {cmd::SendToRight, "Send to Rig&ht Side", "", false, "go-next", "Send to queue or to right side of the screen"},
    {cmd::SendWildcardToRight, "Send Wildcard to Ri&ght Side", "", false, "", "Send a wildcard to the queue or to the right side of the screen"},
    {cmd::Filter, "&Filter", "", false, "view-filter", "Set a filter on current list of files"},
    {cmd::Properties, "&Properties", "Alt+Return", false, "document-properties", "Show File Properties"},
    {cmd::NewFolder, "&New Folder", "", false, "folder-new", "Create a folder"},
    {cmd::FtpGetWildcard, "FTP G&et Wildcard", "", false, "", "Receive the files matching a mask"},
    {cmd::FtpPutWildcard, "FTP Put Wi&ldcard", "", false, "", "Send a wildcard of local files to a remote site"},
    {cmd::LastConnection, "&Last Connection", "", false, "network-connect", "Connect to a server"},
    {cmd::Disconnect, "Dis&connect", "", false, "network-disconnect", "Close the connection"},
    {cmd::HighlightLeft, "&Highlight Differences", "", false, "", "Select the files that have no counterpart opposite"},
    {cmd::HighlightRight, "&Highlight Differences", "", false, "", "Select the files that have no counterpart opposite"},
    {cmd::ListSmallIcons, "Small Icons", "", false, "", ""},
    {cmd::ListLargeIcons, "Large Icons", "", false, "", ""},
    {cmd::ListList, "List", "", false, "", ""},
    {cmd::ListDetails, "Details", "", false, "", ""},
    {cmd::ListLineUp, "Line Up Icons", "", false, "", ""},
};

// Where the desktop has no icon theme (a bare X server, some window
// managers), the style's own pixmaps stand in for the theme icons.
QIcon CommandIcon(const char* themeName) {
    static const struct {
        const char* name;
        QStyle::StandardPixmap pixmap;
    } kFallbacks[] = {
        {"network-server", QStyle::SP_ComputerIcon},        {"network-workgroup", QStyle::SP_DriveNetIcon},
        {"folder-remote", QStyle::SP_DirLinkIcon},          {"mail-send", QStyle::SP_MediaSeekForward},
        {"mail-send-receive", QStyle::SP_MediaSkipForward}, {"go-up", QStyle::SP_ArrowUp},
        {"go-down", QStyle::SP_ArrowDown},                  {"document-open", QStyle::SP_DialogOpenButton},
        {"document-save", QStyle::SP_DialogSaveButton},     {"edit-clear", QStyle::SP_DialogResetButton},
        {"address-book-new", QStyle::SP_FileDialogContentsView},
        {"view-list-details", QStyle::SP_FileDialogDetailedView},
        {"system-run", QStyle::SP_MediaPlay},               {"document-print", QStyle::SP_FileIcon},
        {"help-contents", QStyle::SP_DialogHelpButton},     {"help-about", QStyle::SP_MessageBoxInformation},
        {"edit-delete", QStyle::SP_TrashIcon},              {"view-refresh", QStyle::SP_BrowserReload},
        {"folder-new", QStyle::SP_FileDialogNewFolder},     {"application-exit", QStyle::SP_DialogCloseButton},
        {"insert-link", QStyle::SP_FileLinkIcon},           {"appointment-new", QStyle::SP_MediaPlay},
    };
    const QString name = QString::fromUtf8(themeName);
    if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    for (const auto& f : kFallbacks)
        if (name == QLatin1String(f.name)) return QApplication::style()->standardIcon(f.pixmap);
    return {};
}

const CommandInfo* Find(int id) {
    for (const CommandInfo& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}

// The accessible name: the text without its mnemonic marker.
QString PlainText(const char* text) {
    QString s = QString::fromUtf8(text);
    s.remove(QLatin1Char('&'));
    if (s.endsWith(QStringLiteral("..."))) s.chop(3);
    return s;
}

}  // namespace

CommandTarget* CommandTargetOf(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (auto* t = dynamic_cast<CommandTarget*>(w)) return t;
        if (w->isWindow()) break;
    }
    return nullptr;
}

CommandTable::CommandTable(QWidget* owner) : QObject(owner), owner_(owner) {
    connect(qApp, &QApplication::focusChanged, this, &CommandTable::OnFocusChanged);
}

bool CommandTable::Known(int id) { return Find(id) != nullptr; }

QAction* CommandTable::Action(int id) {
    if (auto it = actions_.find(id); it != actions_.end()) return it.value();
    const CommandInfo* info = Find(id);
    if (info == nullptr) return nullptr;
    auto* action = new QAction(QString::fromUtf8(info->text), owner_);
    action->setObjectName(QStringLiteral("command%1").arg(id));
    action->setData(id);
    action->setCheckable(info->checkable);
    if (*info->shortcut) {
        action->setShortcut(QKeySequence(QString::fromUtf8(info->shortcut)));
        action->setShortcutContext(Qt::WindowShortcut);
    }
    if (*info->icon) action->setIcon(CommandIcon(info->icon));
    if (*info->tip) {
        action->setStatusTip(QString::fromUtf8(info->tip));
        action->setToolTip(PlainText(info->text) + QStringLiteral(" - ") + QString::fromUtf8(info->tip));
    }
    action->setWhatsThis(PlainText(info->text));
    // The check mark follows the handler's state, never the click itself.
    connect(action, &QAction::triggered, this, [this, action, id] {
        Dispatch(id);
        const CommandState state = StateOf(id);
        if (action->isCheckable()) action->setChecked(state.checked.value_or(false));
    });
    owner_->addAction(action);
    actions_.insert(id, action);
    return action;
}

void CommandTable::FillMenu(QMenu* menu, std::initializer_list<int> ids) {
    for (int id : ids) {
        if (id == 0) {
            menu->addSeparator();
        } else if (QAction* a = Action(id)) {
            menu->addAction(a);
        }
    }
    connect(menu, &QMenu::aboutToShow, this, &CommandTable::UpdateStates);
}

QMenu* CommandTable::BuildMenu(const QString& title, std::initializer_list<int> ids, QWidget* parent) {
    auto* menu = new QMenu(title, parent);
    menu->setAccessibleName(QString(title).remove(QLatin1Char('&')));
    FillMenu(menu, ids);
    return menu;
}

QMenu* CommandTable::BuildContextMenu(QWidget* view, std::initializer_list<int> ids) {
    auto* menu = new QMenu(view);
    menu->setAccessibleName(view->accessibleName() + QStringLiteral(" menu"));
    QPointer<QWidget> guarded(view);
    // Connected before the state update of BuildMenu's menus would be.
    connect(menu, &QMenu::aboutToShow, this, [this, guarded] { activeView_ = guarded; });
    FillMenu(menu, ids);
    return menu;
}

void CommandTable::SetActiveView(QWidget* view) { activeView_ = view; }

void CommandTable::OnFocusChanged(QWidget*, QWidget* now) {
    if (now == nullptr || now->window() != owner_->window()) return;
    for (QWidget* w = now; w != nullptr && w != owner_; w = w->parentWidget()) {
        if (dynamic_cast<CommandTarget*>(w) != nullptr) {
            activeView_ = w;
            return;
        }
    }
}

CommandTarget* CommandTable::ViewTarget() const {
    QWidget* view = activeView_.data();
    if (view == nullptr || !view->isVisible()) return nullptr;
    return dynamic_cast<CommandTarget*>(view);
}

bool CommandTable::Dispatch(int id) {
    if (CommandTarget* view = ViewTarget(); view != nullptr && view->HandleCommand(id)) return true;
    return frame_ != nullptr && frame_->HandleCommand(id);
}

CommandState CommandTable::StateOf(int id) const {
    if (CommandTarget* view = ViewTarget()) {
        if (auto s = view->CommandStateOf(id)) return *s;
    }
    if (frame_ != nullptr) {
        if (auto s = frame_->CommandStateOf(id)) return *s;
    }
    // Nobody handles it here: greyed out.
    return CommandState{false, std::nullopt};
}

void CommandTable::UpdateStates() {
    for (auto it = actions_.begin(); it != actions_.end(); ++it) {
        const CommandState s = StateOf(it.key());
        it.value()->setEnabled(s.enabled);
        if (it.value()->isCheckable()) it.value()->setChecked(s.checked.value_or(false));
    }
}

}  // namespace zyfar
