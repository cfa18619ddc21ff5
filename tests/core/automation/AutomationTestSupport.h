#pragma once
// Shared fixtures of the automation tests: private home, recording hosts, scripts, the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "automation/MultiPut.h"
#include "automation/QueueFile.h"
#include "automation/ScriptInterpreter.h"
#include "automation/ScriptOutput.h"
#include "engine/TransferRun.h"
#include "engine/TransferStats.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/Paths.h"
#include "platform/UiHost.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"

extern char** environ;

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

class RecordingUi final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override { ++quits; }
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons) override {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(text, kind);
        return MessageAnswer::Ok;
    }
    std::vector<std::pair<std::string, MessageKind>> Messages() { std::lock_guard lock(mutex_); return messages_; }
    std::atomic<int> quits{0};

private:
    std::mutex mutex_;
    std::vector<std::pair<std::string, MessageKind>> messages_;
};

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

// Private home, profile base, local folder (the scripts' DataDir), direct passive connections, log in memory.
class AutomationTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        test::IsolatedHomeTest::SetUp();
        base_ = Path("base");
        local_ = Path("local");
        ASSERT_TRUE(test::MakeDir(local_));
        Set("CONFIG", "ProfilePath", base_);
        Set("CONFIG", "DataDir", local_);
        Set("LOG", "ToFile", "NO");
        Set("FTP", "AccessType", "DirectAccess");  // never a proxy from the machine's environment
        Set("FTP", "Passive", "YES");
        Set("FTP", "ConnectTo", "10");
        Set("FTP", "Retry", "0");
        ASSERT_TRUE(EnsureProfileFolders());
        MakeFolders(SettingsFolder());
        queuePath_ = ResolvePrivateFile(kQueueFileName);
        TheTransferLog().ReloadSettings();
        TheTransferLog().Clear();
        ResetStatisticsForTesting();
        SetUiHost(&ui_);
        SetPendingLinkTransfers(-1);
    }
    void TearDown() override {
        SetPendingLinkTransfers(-1);
        SetUiHost(nullptr);
        test::IsolatedHomeTest::TearDown();
    }

    static void Set(const char* section, const char* key, const std::string& value) {
        WriteProfileString(section, key, value);
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
    static std::vector<LogEntry> LogEntries(int code) {
        std::vector<LogEntry> out;
        for (LogEntry& e : TheTransferLog().Entries()) {
            if (e.code == StoredLogCode(code)) out.push_back(std::move(e));
        }
        return out;
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
    RecordingUi ui_;
};

// ---- scripts ----

class RecordingScriptHost : public ScriptHost {
public:
    void ShowMessage(const std::string& text) override { std::lock_guard lock(mutex_); messages_.push_back(text); }
    void Beep() override { ++beeps_; }
    int beeps() const { return beeps_.load(); }
    std::vector<std::string> messages() const { std::lock_guard lock(mutex_); return messages_; }

private:
    std::atomic<int> beeps_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
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
    static std::string OpenLine(const std::string& session, const test::PyFtpdServer& server,
                                const std::string& directory = "") {
        return OpenLine(session, server.port(), directory);
    }
    static std::string OpenLine(const std::string& session, std::uint16_t port, const std::string& directory = "") {
        return "open " + session + " 127.0.0.1 user pass " + std::to_string(port) +
               (directory.empty() ? "" : " " + directory) + "\n";
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

struct ProgramOutcome {
    int status = -1;  // the exit status, -1 when killed or not started
    std::string out;
    std::string err;
};

// The built program with this test's XDG folders and HOME, no display; output to files in `folder`.
inline std::string ProgramPath() { return std::string(ZYFAR_BINARY_DIR) + "/src/ui/zyfar"; }

inline pid_t StartProgram(const std::vector<std::string>& args, const std::string& folder) {
    std::vector<std::string> env{"HOME=" + folder, "PATH=/usr/bin:/bin"};
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv{ProgramPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (folder + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (folder + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits at most two minutes; a program still running is killed and fails the test.
inline ProgramOutcome FinishProgram(pid_t pid, const std::string& folder) {
    ProgramOutcome o;
    if (pid <= 0) {
        ADD_FAILURE() << "cannot start " << ProgramPath();
        return o;
    }
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 12000 && !ended; ++i) {
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "the program did not end";
        return o;
    }
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadFile(folder + "/out.txt").value_or("");
    o.err = ReadFile(folder + "/err.txt").value_or("");
    return o;
}

inline ProgramOutcome RunProgram(const std::vector<std::string>& args, const std::string& folder) {
    return FinishProgram(StartProgram(args, folder), folder);
}

}  // namespace zyfar::autotest
