#pragma once
// The program's commands: one table maps each command id to its QAction
// (text with mnemonic, shortcut, icon, check and enabled state). Menus, the
// tool bar, context menus and the tray menu are all built from these actions.
//
// Routing: a triggered command goes to the active view first (the view that
// has the keyboard focus, or last had it, inside the main window); the main
// window handles it only when the view does not. Before a menu opens, every
// action's enabled and check state is asked of the same chain.
#include <QHash>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <optional>

class QAction;
class QWidget;

namespace zyfar {

namespace cmd {
// File
inline constexpr int Profiles = 1141;
inline constexpr int FileListProfiles = 1159;
inline constexpr int Links = 1222;
inline constexpr int RunScript = 1177;
inline constexpr int Queue = 1187;
inline constexpr int PrintLog = 57607;
inline constexpr int PrintPreview = 57609;
inline constexpr int PrintSetup = 57606;
inline constexpr int Exit = 57665;
// View
inline constexpr int ToolBar = 59392;
inline constexpr int ProfileBar = 1232;
inline constexpr int StatusBar = 59393;
// FTP
inline constexpr int ScreenStandard = 1172;
inline constexpr int ScreenRemote = 1173;
inline constexpr int ScreenMultiple = 1174;
inline constexpr int SendParallel = 1133;
inline constexpr int SendSerial = 1134;
inline constexpr int FtpPut = 1170;
inline constexpr int FtpGet = 1168;
// Logs
inline constexpr int LogOpen = 1126;
inline constexpr int LogSave = 1178;
inline constexpr int LogClear = 1231;
inline constexpr int LogViewAll = 1183;
inline constexpr int LogViewSuccess = 1184;
inline constexpr int LogViewUnsuccess = 1185;
// Options
inline constexpr int Configuration = 1158;
inline constexpr int SchedulerConfig = 1164;
inline constexpr int Scheduler = 1200;
inline constexpr int ModeBinary = 1165;
inline constexpr int ModeAscii = 1166;
inline constexpr int ModeAutomatic = 1167;
// Help
inline constexpr int Help = 1192;
inline constexpr int About = 57664;
// Tray
inline constexpr int ToggleWindow = 1264;
inline constexpr int Statistics = 1239;
inline constexpr int SystemParameters = 1268;
inline constexpr int TraySchedulerConfig = 1266;
inline constexpr int TrayScheduler = 1265;
inline constexpr int CloseZyfar = 1267;
// Lists and trees (context menus)
inline constexpr int SelectAll = 1182;
inline constexpr int UnselectAll = 1181;
inline constexpr int Grid = 1157;
inline constexpr int AdjustColumns = 1191;
inline constexpr int ClearList = 1127;
inline constexpr int StyleReport = 1128;
inline constexpr int StyleSmall = 1129;
inline constexpr int StyleLarge = 1130;
inline constexpr int StyleList = 1131;
inline constexpr int Delete = 1123;
inline constexpr int Refresh = 1138;
inline constexpr int NewItem = 1154;
inline constexpr int RenameItem = 1155;
inline constexpr int DeleteItem = 1156;
// Browsing lists and trees
inline constexpr int Rename = 1124;
inline constexpr int Execute = 1125;
// The local list's "Open file in view mode" has an id of its own: sharing the
// log's Open (1126) would make Logs > Open open the selected local file
// whenever the local list was the active view.
inline constexpr int OpenFile = 41126;
inline constexpr int SendToRight = 1132;
inline constexpr int SendWildcardToRight = 1135;
inline constexpr int Filter = 1136;
inline constexpr int Properties = 1137;
inline constexpr int NewFolder = 1152;
inline constexpr int FtpGetWildcard = 1169;
inline constexpr int FtpPutWildcard = 1171;
inline constexpr int LastConnection = 1175;
inline constexpr int Disconnect = 1176;
inline constexpr int HighlightLeft = 1241;
inline constexpr int HighlightRight = 1242;
// The framework's list-style commands (no menu carries them): they act on
// the left half's list.
inline constexpr int ListSmallIcons = 59408;
inline constexpr int ListLargeIcons = 59409;
inline constexpr int ListList = 59410;
inline constexpr int ListDetails = 59411;
inline constexpr int ListLineUp = 59412;
}  // namespace cmd

// What a handler says about a command before a menu shows it.
struct CommandState {
    bool enabled = true;
    std::optional<bool> checked;  // nothing: not a check item here
};

// A view or window that handles commands. Views derive from it next to their
// QWidget base; the dispatcher finds them with dynamic_cast.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // True when handled; false passes the command on.
    virtual bool HandleCommand(int id) = 0;
    // The command's state here, or nothing when this target does not handle it.
    [[nodiscard]] virtual std::optional<CommandState> CommandStateOf(int id) const {
        (void)id;
        return std::nullopt;
    }
};

class CommandTable : public QObject {
    Q_OBJECT
public:
    // The actions are children of `owner` (the main window): their shortcuts
    // work wherever the window has focus.
    explicit CommandTable(QWidget* owner);

    // The action of a known id (made on first use), never null for an id of
    // the table; null for an unknown id.
    [[nodiscard]] QAction* Action(int id);
    // Whether an id is in the table.
    [[nodiscard]] static bool Known(int id);
    // A menu whose entries are the given ids (0 is a separator).
    QMenu* BuildMenu(const QString& title, std::initializer_list<int> ids, QWidget* parent);

    // A context menu of one view: before it shows, the view becomes the
    // active view (so its commands and check marks are the view's).
    QMenu* BuildContextMenu(QWidget* view, std::initializer_list<int> ids);

    // The routing chain: the active view, then the frame (the fallback).
    void SetFrameTarget(CommandTarget* frame) { frame_ = frame; }
    // The view that had the focus last; set by the dispatcher's focus
    // tracking, and by tests.
    void SetActiveView(QWidget* view);
    [[nodiscard]] QWidget* ActiveView() const { return activeView_; }

    // Routes a command; true when someone handled it.
    bool Dispatch(int id);
    // Asks the chain for every action's state and applies it.
    void UpdateStates();
    // The state the chain gives for one command (tests; menus use UpdateStates).
    [[nodiscard]] CommandState StateOf(int id) const;

private:
    // Adds the ids' actions (0 a separator); the states are asked before it shows.
    void FillMenu(QMenu* menu, std::initializer_list<int> ids);
    void OnFocusChanged(QWidget* old, QWidget* now);
    [[nodiscard]] CommandTarget* ViewTarget() const;

    QWidget* owner_;
    QHash<int, QAction*> actions_;
    CommandTarget* frame_ = nullptr;
    QPointer<QWidget> activeView_;
};

// The nearest CommandTarget among a widget and its parents, or null.
[[nodiscard]] CommandTarget* CommandTargetOf(QWidget* widget);

}  // namespace zyfar
