#pragma once
// Where Zyfar keeps its files on this system (XDG base directories).
#include <string>

namespace zyfar {

// $XDG_CONFIG_HOME/Quorvane (default ~/.config/Quorvane): the settings file
// and bare private file names such as the queue file live here.
[[nodiscard]] std::string SettingsFolder();

// SettingsFolder() + "/Zyfar.ini".
[[nodiscard]] std::string SettingsFilePath();

// $XDG_STATE_HOME/Quorvane (default ~/.local/state/Quorvane): the log folder
// used when CONFIG DefaultDir is empty.
[[nodiscard]] std::string DefaultLogFolder();

// $XDG_DATA_HOME/Quorvane/Zyfar (default ~/.local/share/Quorvane/Zyfar): the
// profile base used when CONFIG ProfilePath is absent.
[[nodiscard]] std::string DefaultProfileBase();

// A private file name without a folder lies in SettingsFolder(); a name with a
// "/" is used as it stands.
[[nodiscard]] std::string ResolvePrivateFile(const std::string& name);

// Creates a folder and its parents (mode 0700 for new ones). True when the
// folder exists afterwards.
bool MakeFolders(const std::string& path);

// Joins two path parts with one "/" between them.
[[nodiscard]] std::string JoinPath(const std::string& left, const std::string& right);

}  // namespace zyfar
