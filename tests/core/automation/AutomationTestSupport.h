#pragma once
// Shared fixtures of the automation tests: profiles, file lists and links, queue entries, scripts, captured
// output (on the engine tests' fixture).
#include <utime.h>

#include <cstdio>
#include <functional>

#include "support/EngineFixture.h"
#include "automation/MultiPut.h"
#include "automation/QueueFile.h"
#include "automation/ScriptInterpreter.h"
#include "automation/ScriptOutput.h"
#include "platform/Paths.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "settings/IniFile.h"
#include "support/ProgramRun.h"

namespace zyfar::autotest {

using test::PatternBytes;
using test::ReadFile;
using test::SplitLines;
using test::WriteFile;

// Compares file contents without printing megabytes of bytes on failure.
inline ::testing::AssertionResult SameBytes(const std::optional<std::string>& got, const std::string& want) {
    if (got && *got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (got ? std::to_string(got->size()) + " bytes differ" : "missing");
}

// "host login/password remoteDir :port" of any server or site.
template <class Server>
std::string ServerText(const Server& s) {
    return s.host + " " + s.login + "/" + s.password + " " + s.remoteDir + " :" + std::to_string(s.port);
}

inline bool SetFileTime(const std::string& path, std::int64_t when) {
    const struct utimbuf times{static_cast<std::time_t>(when), static_cast<std::time_t>(when)};
    return ::utime(path.c_str(), &times) == 0;
}

// Keeps the runs and writes down "start <host>" and "pause <ms>" in order; nothing runs.
class RecordingStarter final : public TransferRunStarter {
public:
    void StartRun(std::unique_ptr<TransferRun> run, bool nextToPrevious) override {
        if (onStart) onStart(*run);
        events.push_back("start " + run->source.host);
        placements.push_back(nextToPrevious);
        runs.push_back(std::move(run));
    }
    void PauseBetweenStarts(std::chrono::milliseconds pause) override {
        events.push_back("pause " + std::to_string(pause.count()));
    }
    std::function<void(const TransferRun&)> onStart;
    std::vector<std::unique_ptr<TransferRun>> runs;
    std::vector<std::string> events;
    std::vector<bool> placements;
};

// Runs without waiting between starts.
class QuickStarter final : public ControllerRunStarter {
public:
    using ControllerRunStarter::ControllerRunStarter;
    void PauseBetweenStarts(std::chrono::milliseconds) override {}
};

// Private home, log in memory, recording UI host (the engine tests' fixture), profile base, local folder (the
// scripts' DataDir), direct passive connections.
class AutomationTest : public enginetest::EngineTest {
protected:
    void SetUp() override {
        enginetest::EngineTest::SetUp();
        base_ = Path("base");
        local_ = Path("local");
        ASSERT_TRUE(test::MakeDir(local_));
        Set("CONFIG", "ProfilePath", base_);
        Set("CONFIG", "DataDir", local_);
        FastSettings(true);
        ASSERT_TRUE(EnsureProfileFolders());
        MakeFolders(SettingsFolder());
        queuePath_ = ResolvePrivateFile(kQueueFileName);
    }
    void TearDown() override {
        SetPendingLinkTransfers(-1);
        enginetest::EngineTest::TearDown();
    }

    // A local file with `size` pattern bytes; returns its content.
    std::string MakeLocalFile(const std::string& name, std::size_t size, std::uint32_t seed = 1) const {
        const std::string bytes = PatternBytes(size, seed);
        EXPECT_TRUE(WriteFile(local_ + "/" + name, bytes));
        return bytes;
    }
    std::string LocalFile(const std::string& name) const { return local_ + "/" + name; }
    // A site profile below Profiles; returns its path.
    static std::string MakeProfile(const std::string& name, const std::string& host, std::uint16_t port,
                                   const std::string& password = "pass", const std::string& remotePath = "",
                                   const std::string& user = "user") {
        SiteProfile profile;
        std::tie(profile.host, profile.user, profile.password, profile.remotePath) =
            std::tie(host, user, password, remotePath);
        profile.port = std::to_string(port);
        std::string path;
        const ProfileResult r = SaveSiteProfile(ProfilesFolder(), name, profile, SaveMode::New, &path);
        EXPECT_TRUE(r.ok()) << r.text();
        return path;
    }
    // A file list of local names (in the local folder); returns its folder.
    std::string MakeFileList(const std::string& name, const std::vector<std::string>& localNames) const {
        std::vector<FileListItem> items;
        for (const std::string& n : localNames) items.push_back(FileListItem{local_, n, n, 0, 0});
        std::string folder;
        EXPECT_TRUE(CreateFileListFolder(name, &folder).ok());
        const ProfileResult r = SaveFileList(folder, items);
        EXPECT_TRUE(r.ok()) << r.text();
        return folder;
    }
    static void MakeLink(const std::string& name, const std::vector<std::string>& profiles,
                         const std::optional<std::string>& listFolder) {
        const ProfileResult r = AddLink(name, profiles, 1, listFolder);
        EXPECT_TRUE(r.ok()) << r.text();
    }
    // A put job the way the file-list pane hands an item over.
    static CTransferJob Item(const std::string& folder, const std::string& name, std::int64_t size,
                             const std::string& target = "") {
        CTransferJob job;
        std::tie(job.localDir, job.sourceName, job.targetName, job.size) =
            std::tuple(folder, name, target.empty() ? name : target, size);
        return job;
    }
    // A key of queue entry `number`, "<absent>" when it is not there.
    std::string Q(int number, const char* key) const {
        return GetPrivateProfileString(QueueSectionName(number), key, "<absent>", queuePath_);
    }
    int QueueCount() const { return QueueFile(queuePath_).Count(); }

    std::string base_;
    std::string local_;
    std::string queuePath_;
};

// ---- scripts ----

class RecordingScriptHost : public ScriptHost {
public:
    void ShowMessage(const std::string& text) override { shown_.Add(text); }
    void Beep() override { ++beeps_; }
    int beeps() const { return beeps_.load(); }
    std::vector<std::string> messages() const { return shown_.Get(); }

private:
    std::atomic<int> beeps_{0};
    test::Recorded<std::string> shown_;
};

// The five lines of an error block around a message.
inline std::vector<std::string> ErrorBlock(const std::string& message) {
    return {"========", "ERROR!", message, "========", ""};
}

// Output lines, where a line "!message" stands for the error block around it.
inline std::vector<std::string> Expand(std::initializer_list<std::string> lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        const std::vector<std::string> add = line.rfind("!", 0) == 0 ? ErrorBlock(line.substr(1)) : std::vector{line};
        out.insert(out.end(), add.begin(), add.end());
    }
    return out;
}

// Scripts run with active data connections and their own transfer log.
class ScriptTest : public AutomationTest {
protected:
    void SetUp() override {
        AutomationTest::SetUp();
        Set("FTP", "Passive", "NO");
        LogSettings settings;
        settings.toFile = false;
        log_.ApplySettings(settings);
    }
    // Writes the script text to a ".cmd" file and runs it.
    ScriptRunResult Run(const std::string& text) {
        script_ = Path("test.cmd");
        WriteFile(script_, text);
        ScriptInterpreter interpreter(output_, host_, &log_);
        if (now_ != 0) {
            const std::int64_t fixed = now_;
            interpreter.SetClockForTesting([fixed] { return fixed; });
        }
        return interpreter.Run(script_);
    }
    std::vector<std::string> Lines() const { return output_.Lines(); }
    std::string Output() const {
        std::string all;
        for (const std::string& line : Lines()) all += line + "\n";
        return all;
    }
    // The lines after the first one (the script path).
    std::vector<std::string> Body() const {
        std::vector<std::string> lines = output_.Lines();
        if (!lines.empty()) lines.erase(lines.begin());
        return lines;
    }
    bool HasLine(const std::string& line) const { return HasLines({line}); }
    bool HasErrorBlock(const std::string& message) const { return HasLines(ErrorBlock(message)); }
    bool HasLines(const std::vector<std::string>& want) const {
        const std::vector<std::string> lines = output_.Lines();
        return std::search(lines.begin(), lines.end(), want.begin(), want.end()) != lines.end();
    }
    using AutomationTest::LogEntries;
    std::vector<LogEntry> LogEntries() const { return log_.Entries(); }
    std::vector<int> LogCodes() const {
        std::vector<int> codes;
        for (const LogEntry& e : log_.Entries()) codes.push_back(e.code);
        return codes;
    }
    int CountCode(int code) const {
        const std::vector<int> codes = LogCodes();
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }
    template <class Server>
    static std::string OpenLine(const std::string& session, const Server& server, const std::string& dir = "") {
        return "open " + session + " 127.0.0.1 user pass " + std::to_string(server.port()) +
               (dir.empty() ? "" : " " + dir) + "\n";
    }

    std::string script_;
    std::int64_t now_ = 0;  // 0: the real clock
    TransferLog log_;
    ScriptOutputCollector output_;
    RecordingScriptHost host_;
};

// ---- headless runs ----

// A temporary stream whose text can be read back.
class CapturedStream {
public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream() { std::fclose(file_); }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;
    std::FILE* get() { return file_; }
    std::string Text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buf[4096];
        std::size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
        return text;
    }

private:
    std::FILE* file_;
};

}  // namespace zyfar::autotest
