#pragma once
// Shared pieces of the script interpreter tests: a private settings file and
// local folder per test, a transfer log that stays in memory, an output
// collector and a host that records messages and beeps.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "automation/ScriptInterpreter.h"
#include "automation/ScriptOutput.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"
#include "support/FtpTestServer.h"

namespace zyfar::test {

class RecordingHost : public ScriptHost {
public:
    void ShowMessage(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(text);
    }
    void Beep() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++beeps_;
    }
    std::vector<std::string> messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    int beeps() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return beeps_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    int beeps_ = 0;
};

// The five lines of an error block around a message.
inline std::vector<std::string> ErrorBlock(const std::string& message) {
    return {"========", "ERROR!", message, "========", ""};
}

// Sets a file's modification time (seconds since 1970).
inline bool SetFileTime(const std::string& path, std::int64_t when) {
    struct utimbuf times {};
    times.actime = static_cast<std::time_t>(when);
    times.modtime = static_cast<std::time_t>(when);
    return ::utime(path.c_str(), &times) == 0;
}

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        SetSettingsFileForTesting(dir_ / "Zyfar.ini");
        local_ = dir_ / "local";
        ASSERT_TRUE(MakeDir(local_));
        WriteProfileString("CONFIG", "DataDir", local_);
        // Never a proxy from the environment of the machine running the tests.
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        WriteProfileString("FTP", "Retry", "0");
        LogSettings settings;
        settings.toFile = false;
        log_.ApplySettings(settings);
    }
    void TearDown() override { SetSettingsFileForTesting(""); }

    // Writes the script text to a ".cmd" file and runs it.
    ScriptRunResult Run(const std::string& text) {
        script_ = dir_ / "test.cmd";
        WriteFile(script_, text);
        ScriptInterpreter interpreter(output_, host_, &log_);
        if (now_ != 0) {
            const std::int64_t fixed = now_;
            interpreter.SetClockForTesting([fixed] { return fixed; });
        }
        return interpreter.Run(script_);
    }

    std::vector<std::string> Lines() const { return output_.Lines(); }
    // The lines after the first one (the script path).
    std::vector<std::string> Body() const {
        std::vector<std::string> lines = output_.Lines();
        if (!lines.empty()) lines.erase(lines.begin());
        return lines;
    }
    bool HasLine(const std::string& line) const {
        const std::vector<std::string> lines = output_.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    // True when the five lines of an error block with this message are listed.
    bool HasErrorBlock(const std::string& message) const {
        const std::vector<std::string> lines = output_.Lines();
        const std::vector<std::string> block = ErrorBlock(message);
        return std::search(lines.begin(), lines.end(), block.begin(), block.end()) != lines.end();
    }
    std::vector<LogEntry> LogEntries() const { return log_.Entries(); }
    std::vector<int> LogCodes() const {
        std::vector<int> codes;
        for (const LogEntry& e : log_.Entries()) codes.push_back(e.code);
        return codes;
    }
    std::string LocalFile(const std::string& name) const { return local_ + "/" + name; }
    static std::string OpenLine(const std::string& session, const PyFtpdServer& server,
                                const std::string& directory = "") {
        std::string line = "open " + session + " 127.0.0.1 user pass " + std::to_string(server.port());
        if (!directory.empty()) line += " " + directory;
        return line + "\n";
    }

    TempDir dir_{"zyfar-script"};
    std::string local_;
    std::string script_;
    std::int64_t now_ = 0;  // 0: the real clock
    TransferLog log_;
    ScriptOutputCollector output_;
    RecordingHost host_;
};

}  // namespace zyfar::test
