#include "settings/SettingsStore.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"
#include "settings/Keys.h"

#include <algorithm>
#include <mutex>
#include <string_view>

namespace zyfar {
namespace {

constexpr const char* kRecentSection = "Recent File List";

std::mutex& FileMutex() {
    static std::mutex m;
    return m;
}

std::string& OverridePath() {
    static std::string path;
    return path;
}

std::string RecentKey(int n) { return "File" + std::to_string(n); }

}  // namespace

void SetSettingsFileForTesting(const std::string& path) {
    std::lock_guard guard(FileMutex());
    OverridePath() = path;
}

std::string CurrentSettingsFile() {
    {
        std::lock_guard guard(FileMutex());
        if (!OverridePath().empty()) return OverridePath();
    }
    return SettingsFilePath();
}

std::string GetProfileString(const std::string& section, const std::string& key, const std::string& def) {
    return GetPrivateProfileString(section, key, def, CurrentSettingsFile());
}

int GetProfileInt(const std::string& section, const std::string& key, int def) {
    return GetPrivateProfileInt(section, key, def, CurrentSettingsFile());
}

std::optional<std::string> FindProfileString(const std::string& section, const std::string& key) {
    return FindPrivateProfileString(section, key, CurrentSettingsFile());
}

void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) {
    (void)WritePrivateProfileString(section, key, value, CurrentSettingsFile());
}

void WriteProfileInt(const std::string& section, const std::string& key, int value) {
    WriteProfileString(section, key, std::to_string(value));
}

void AddRecentFile(const std::string& path) {
    if (path.empty() || HasLineBreakOrNul(path)) return;
    (void)UpdatePrivateProfile(CurrentSettingsFile(), [&](IniDocument& doc) {
        std::vector<std::string> list{path};
        for (int n = 1; n <= kRecentFileCount; ++n) {
            auto v = doc.Get(kRecentSection, RecentKey(n));
            if (v && !v->empty() && *v != path) list.push_back(*v);
        }
        list.resize(std::min<std::size_t>(list.size(), kRecentFileCount));
        for (int n = 1; n <= kRecentFileCount; ++n) {
            const std::size_t i = static_cast<std::size_t>(n - 1);
            if (i < list.size()) {
                if (!doc.Set(kRecentSection, RecentKey(n), list[i])) return;
            } else {
                doc.RemoveKey(kRecentSection, RecentKey(n));
            }
        }
    });
}

std::vector<std::string> RecentFiles() {
    const IniDocument doc = ReadPrivateProfile(CurrentSettingsFile());
    std::vector<std::string> out;
    for (int n = 1; n <= kRecentFileCount; ++n) {
        auto v = doc.Get(kRecentSection, RecentKey(n));
        if (v && !v->empty()) out.push_back(*v);
    }
    return out;
}

std::string LogFolder() {
    std::string dir = Read(keys::DefaultDir);
    return dir.empty() ? DefaultLogFolder() : dir;
}

std::string ProfileBase() {
    std::string base = Read(keys::ProfilePath);
    return base.empty() ? DefaultProfileBase() : base;
}

bool EnsureProfileFolders() {
    const std::string base = ProfileBase();
    bool ok = true;
    for (const char* sub : {"Profiles", "Files", "Links"}) ok = MakeFolders(JoinPath(base, sub)) && ok;
    return ok;
}

}  // namespace zyfar
