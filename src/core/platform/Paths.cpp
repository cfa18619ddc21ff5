#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>

namespace zyfar {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

// An XDG variable counts only when it holds an absolute path.
std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
    if (const char* v = std::getenv(variable); v && v[0] == '/') return v;
    return JoinPath(HomeFolder(), fallbackBelowHome);
}

}  // namespace

std::string JoinPath(const std::string& left, const std::string& right) {
    if (left.empty()) return right;
    if (right.empty()) return left;
    const bool leftSlash = left.back() == '/';
    const bool rightSlash = right.front() == '/';
    if (leftSlash && rightSlash) return left + right.substr(1);
    if (leftSlash || rightSlash) return left + right;
    return left + "/" + right;
}

std::string SettingsFolder() { return JoinPath(XdgFolder("XDG_CONFIG_HOME", ".config"), "Quorvane"); }

std::string SettingsFilePath() { return JoinPath(SettingsFolder(), "Zyfar.ini"); }

std::string DefaultLogFolder() { return JoinPath(XdgFolder("XDG_STATE_HOME", ".local/state"), "Quorvane"); }

std::string DefaultProfileBase() {
    return JoinPath(XdgFolder("XDG_DATA_HOME", ".local/share"), "Quorvane/Zyfar");
}

std::string ResolvePrivateFile(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    return JoinPath(SettingsFolder(), name);
}

bool MakeFolders(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zyfar
