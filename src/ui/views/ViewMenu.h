#pragma once
// Context menus of views whose own commands the main window's command table
// does not list (Add/Update an FTP site, the file list's display modes, the
// file-list tree's Select and Import). Ids the table knows use its shared
// actions (so shortcuts, texts and routing stay the table's); the others get
// an action of the menu that goes straight to the view's HandleCommand, with
// its enabled and check state asked of the view before the menu shows.
#include <QString>
#include <initializer_list>

class QMenu;
class QWidget;

namespace zyfar {

class CommandTable;

namespace cmd {
inline constexpr int AddSite = 1121;
inline constexpr int UpdateSite = 1122;
inline constexpr int ShowFullPath = 1139;
inline constexpr int ShowFileName = 1140;
inline constexpr int SelectTreeItem = 1153;
inline constexpr int ImportPrevious = 1142;
inline constexpr int SaveList = 1178;  // the same id as the log's Save: the active view takes it first
}  // namespace cmd

// The text (with its mnemonic) of a view command the table does not list;
// empty for other ids.
[[nodiscard]] QString ViewCommandText(int id);

// The view's context menu (0 is a separator). `table` may be null: every
// entry is then the menu's own.
[[nodiscard]] QMenu* BuildViewMenu(QWidget* view, CommandTable* table, std::initializer_list<int> ids);

}  // namespace zyfar
