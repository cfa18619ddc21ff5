#pragma once
// Shared pieces of the transfer log tests: a temporary folder that also holds
// the settings file and the XDG folders, and a UI host that records message
// boxes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/UiHost.h"
#include "settings/SettingsStore.h"

namespace zyfar::logtest {

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

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

class RecordingHost final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override {}
    MessageAnswer ShowMessage(const std::string& text, MessageKind, MessageButtons) override {
        std::lock_guard guard(mutex);
        messages.push_back(text);
        return MessageAnswer::Ok;
    }
    std::vector<std::string> Messages() {
        std::lock_guard guard(mutex);
        return messages;
    }

private:
    std::mutex mutex;
    std::vector<std::string> messages;
};

// A private folder per test with the settings file, XDG_CONFIG_HOME and
// XDG_STATE_HOME pointing into it, and a recording UI host.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "zyfar-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
        SetSettingsFileForTesting(root + "/Zyfar.ini");
        SetUiHost(&host);
    }
    void TearDown() override {
        SetUiHost(nullptr);
        SetSettingsFileForTesting("");
        std::error_code ignored;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root, ignored);
    }

    std::string root;
    RecordingHost host;
};

}  // namespace zyfar::logtest
