#pragma once
// Shared pieces of the multiple-site put, queue send and link tests: a
// private home per test (settings file, XDG folders, profile base), a UI
// host that records messages and quit requests, a starter that records what
// it is given without running anything, and helpers that make site
// profiles, file lists and links.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "automation/MultiPut.h"
#include "automation/QueueFile.h"
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
#include "support/FtpTestServer.h"

namespace zyfar::multiput_test {

class RecordingUi final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override { ++quits; }
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons) override {
        std::lock_guard guard(mutex_);
        messages_.push_back(text);
        kinds_.push_back(kind);
        return MessageAnswer::Ok;
    }
    std::vector<std::string> Messages() {
        std::lock_guard guard(mutex_);
        return messages_;
    }
    std::vector<MessageKind> Kinds() {
        std::lock_guard guard(mutex_);
        return kinds_;
    }
    std::atomic<int> quits{0};

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<MessageKind> kinds_;
};

// Keeps the runs it is given and writes down starts and pauses in order
// ("start <host>", "pause <ms>"); nothing runs and nothing sleeps.
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

// A ControllerRunStarter that does not wait between starts (the stagger is
// tested with RecordingStarter).
class QuickStarter final : public ControllerRunStarter {
public:
    using ControllerRunStarter::ControllerRunStarter;
    void PauseBetweenStarts(std::chrono::milliseconds) override {}
};

// Compares file contents without printing megabytes of bytes on failure.
inline ::testing::AssertionResult SameBytes(const std::optional<std::string>& got, const std::string& want) {
    if (!got) return ::testing::AssertionFailure() << "the file is missing";
    if (*got != want) {
        return ::testing::AssertionFailure() << "the file has " << got->size() << " bytes, " << want.size()
                                             << " expected, and differs";
    }
    return ::testing::AssertionSuccess();
}

class MultiPutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        SetSettingsFileForTesting(dir_ / "Zyfar.ini");
        base_ = dir_ / "base";
        WriteProfileString("CONFIG", "ProfilePath", base_);
        ASSERT_TRUE(EnsureProfileFolders());
        MakeFolders(SettingsFolder());
        queuePath_ = ResolvePrivateFile(kQueueFileName);
        WriteProfileString("LOG", "ToFile", "NO");
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        WriteProfileString("FTP", "Passive", "YES");
        WriteProfileString("FTP", "ConnectTo", "10");
        WriteProfileString("FTP", "Retry", "0");
        TheTransferLog().ReloadSettings();
        TheTransferLog().Clear();
        ResetStatisticsForTesting();
        SetUiHost(&ui_);
        SetPendingLinkTransfers(-1);
        local_ = dir_ / "local";
        ASSERT_TRUE(test::MakeDir(local_));
    }
    void TearDown() override {
        SetPendingLinkTransfers(-1);
        SetUiHost(nullptr);
        SetSettingsFileForTesting("");
    }

    // A local file with `size` pattern bytes; returns its content.
    std::string MakeLocalFile(const std::string& name, std::size_t size, std::uint32_t seed = 1) const {
        const std::string bytes = test::PatternBytes(size, seed);
        EXPECT_TRUE(test::WriteFile(local_ + "/" + name, bytes));
        return bytes;
    }

    // A site profile below Profiles; returns its path.
    static std::string MakeProfile(const std::string& name, const std::string& host, std::uint16_t port,
                                   const std::string& user = "user", const std::string& password = "pass",
                                   const std::string& remotePath = "") {
        SiteProfile profile;
        profile.host = host;
        profile.user = user;
        profile.password = password;
        profile.remotePath = remotePath;
        profile.port = std::to_string(port);
        std::string path;
        const ProfileResult r = SaveSiteProfile(ProfilesFolder(), name, profile, SaveMode::New, &path);
        EXPECT_TRUE(r.ok()) << r.text();
        return path;
    }

    // A file list of the given local names (in the local folder); returns
    // the list's folder.
    std::string MakeFileList(const std::string& name, const std::vector<std::string>& localNames) const {
        std::vector<FileListItem> items;
        for (const std::string& n : localNames) {
            FileListItem item;
            item.folder = local_;
            item.localName = n;
            item.remoteName = n;
            items.push_back(item);
        }
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
    CTransferJob Item(const std::string& folder, const std::string& name, std::int64_t size,
                      const std::string& target = "") const {
        CTransferJob job;
        job.localDir = folder;
        job.sourceName = name;
        job.targetName = target.empty() ? name : target;
        job.size = size;
        return job;
    }

    std::string Q(int number, const char* key) const {
        return GetPrivateProfileString(QueueSectionName(number), key, "<absent>", queuePath_);
    }
    int QueueCount() const { return QueueFile(queuePath_).Count(); }

    test::TempDir dir_{"zyfar-multiput"};
    std::string base_;
    std::string local_;
    std::string queuePath_;
    RecordingUi ui_;
};

// Three pyftpdlib servers with user "user" / "pass".
struct ThreeServers {
    test::PyFtpdServer a, b, c;
    [[nodiscard]] bool started() const { return a.started() && b.started() && c.started(); }
    std::vector<test::PyFtpdServer*> all() { return {&a, &b, &c}; }
};

}  // namespace zyfar::multiput_test
