#pragma once
// The per-user settings store: one section/key file, by default
// SettingsFilePath() ($XDG_CONFIG_HOME/Quorvane/Zyfar.ini). Section names keep
// their backslashes literally ("Dimensions\Main\Mainframe"); integers are
// stored as decimal text.
//
// There is no settings cache visible to callers: every read sees the latest
// write of this process or of another one (the file cache underneath is
// validated by size, nanosecond modification time, inode and an in-process
// write generation).
#include <optional>
#include <string>
#include <vector>

namespace zyfar {

// The stored text, or def when the key is absent.
std::string GetProfileString(const std::string& section, const std::string& key, const std::string& def);

// The stored integer (leading decimal integer of the text), or def when the
// key is absent. A present text without digits gives 0.
int GetProfileInt(const std::string& section, const std::string& key, int def);

// The stored text, or nothing when the key is absent (for readers that must
// tell an absent key from an empty one, such as "Ext%d" enumeration).
std::optional<std::string> FindProfileString(const std::string& section, const std::string& key);

// Stores a value, creating section and key as needed. Never fails visibly:
// a value holding CR, LF or NUL, or a file that cannot be written, leaves the
// store unchanged.
void WriteProfileString(const std::string& section, const std::string& key, const std::string& value);
void WriteProfileInt(const std::string& section, const std::string& key, int value);  // decimal text

// Points the store at another file ("" = back to the default path).
void SetSettingsFileForTesting(const std::string& path);
std::string CurrentSettingsFile();

// The recent-file list: section "Recent File List", keys "File1".."File4",
// most recent first. Adding a path moves it to the front (paths compare
// exactly), the fifth one drops off.
inline constexpr int kRecentFileCount = 4;
void AddRecentFile(const std::string& path);
std::vector<std::string> RecentFiles();

// Linux defaults of the folder settings:
//  - LogFolder(): CONFIG DefaultDir, or DefaultLogFolder()
//    ($XDG_STATE_HOME/Quorvane) when it is empty or absent. (The Windows
//    build used the root of the current drive.)
//  - ProfileBase(): CONFIG ProfilePath, or DefaultProfileBase()
//    ($XDG_DATA_HOME/Quorvane/Zyfar) when absent or empty. (The Windows build
//    used the current folder.) Site profiles lie in ProfileBase()/Profiles,
//    file lists in ProfileBase()/Files, links in ProfileBase()/Links.
//  - EnsureProfileFolders() creates those three folders (mode 0700 for new
//    ones) and returns false when one of them cannot be created.
std::string LogFolder();
std::string ProfileBase();
bool EnsureProfileFolders();

}  // namespace zyfar
