#pragma once
// A private home for one profile test (support/TestEnv.h) whose CONFIG
// ProfilePath points at <tmp>/base, with the three profile folders made.
#include "platform/Paths.h"
#include "profiles/ProfileNames.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"

#include <filesystem>
#include <string>

namespace zyfar::testing {

class ProfileFixture : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        IsolatedHomeTest::SetUp();
        root_ = Root();
        WriteProfileString("CONFIG", "ProfilePath", Path("base"));
        ASSERT_TRUE(EnsureProfileFolders());
    }

    static std::string ReadText(const std::string& path) { return test::ReadText(path); }
    static void WriteText(const std::string& path, const std::string& text) { ASSERT_TRUE(test::WriteText(path, text)); }
    static bool Exists(const std::string& path) { return test::Exists(path); }

    // Makes a folder below the profile tree and returns its path.
    static std::string ProfileFolder(const std::string& relative = "") {
        const std::string path = relative.empty() ? ProfilesFolder() : JoinPath(ProfilesFolder(), relative);
        std::filesystem::create_directories(path);
        return path;
    }

    std::string root_;
};

}  // namespace zyfar::testing
