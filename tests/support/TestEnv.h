#pragma once
// Shared fixture pieces of the core tests: a private home per test (a fresh
// temporary folder holding the XDG folders and the settings file, all put
// back afterwards) and small file helpers. Header-only.
#include "settings/SettingsStore.h"
#include "support/FtpTestServer.h"  // TempDir, ReadFile, WriteFile, RemoveTree, MakeDir

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zyfar::test {

// The whole file, or "" when it cannot be read.
inline std::string ReadText(const std::string& path) { return ReadFile(path).value_or(std::string()); }

// Writes a file, creating its parent folders first.
inline bool WriteText(const std::string& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return WriteFile(path, text);
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Permission bits of a file (its target for a link), or -1 when it is missing.
inline int ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// Names in a folder, sorted, without "." and "..".
inline std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The lines of a text split at "\n" (no empty entry after a final "\n").
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// prefix followed by the decimal number (avoids a false -Wrestrict of g++ 12
// on "literal" + std::string).
inline std::string Cat(const char* prefix, long long n) {
    std::string s(prefix);
    s.append(std::to_string(n));
    return s;
}

// Sets an environment variable (nullptr unsets it) until destruction, then
// puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
        else ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// A private home for one test: XDG_CONFIG_HOME, XDG_DATA_HOME and
// XDG_STATE_HOME point at config/, data/ and state/ of a fresh temporary
// folder, and the settings store is <folder>/store/Zyfar.ini. No test that
// uses it touches the real home.
class IsolatedHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.valid()) << "no temporary folder";
        const std::pair<const char*, const char*> folders[] = {
            {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"}, {"XDG_STATE_HOME", "state"}};
        for (const auto& [name, folder] : folders) env_.emplace_back(name, Path(folder).c_str());
        SetSettingsFileForTesting(Path("store/Zyfar.ini"));
    }
    void TearDown() override {
        SetSettingsFileForTesting("");
        env_.clear();
    }

    [[nodiscard]] std::string Path(const std::string& name) const { return temp_ / name; }
    [[nodiscard]] const std::string& Root() const { return temp_.path(); }

private:
    TempDir temp_{"zyfar-home"};
    std::deque<ScopedEnv> env_;
};

}  // namespace zyfar::test
