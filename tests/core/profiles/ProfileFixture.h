#pragma once
// A private home for one test: a temporary folder with its own settings file
// whose CONFIG ProfilePath points at <tmp>/base, and XDG folders inside it,
// so no test ever touches the real home.
#include "platform/Paths.h"
#include "profiles/ProfileNames.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zyfar::testing {

class ProfileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zyfar-profiles-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char* name : kXdgVariables) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
        SetSettingsFileForTesting(root_ + "/settings.ini");
        base_ = root_ + "/base";
        WriteProfileString("CONFIG", "ProfilePath", base_);
        ASSERT_TRUE(EnsureProfileFolders());
    }

    void TearDown() override {
        SetSettingsFileForTesting("");
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name, value->c_str(), 1);
            else ::unsetenv(name);
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static void WriteText(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }

    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }

    // Makes a folder below the profile tree and returns its path.
    std::string ProfileFolder(const std::string& relative = "") const {
        const std::string path = relative.empty() ? ProfilesFolder() : JoinPath(ProfilesFolder(), relative);
        std::filesystem::create_directories(path);
        return path;
    }

    static constexpr const char* kXdgVariables[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"};

    std::string root_;
    std::string base_;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

}  // namespace zyfar::testing
