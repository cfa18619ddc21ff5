#pragma once
// Shared pieces of the engine tests: a private settings file and XDG folders,
// a UI host and a queue sink that record what the engine asks of them, log
// inspection, and jobs and runs built the way the views build them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/TransferController.h"
#include "engine/TransferJob.h"
#include "engine/TransferQueueSink.h"
#include "engine/TransferRun.h"
#include "engine/TransferStats.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/UiHost.h"
#include "settings/SettingsStore.h"
#include "support/FtpTestServer.h"

namespace zyfar::enginetest {

class RecordingHost final : public UiHost {
public:
    void SetTrayState(int state) override {
        std::lock_guard guard(mutex_);
        trayStates_.push_back(state);
    }
    void RequestQuit() override { ++quits; }
    MessageAnswer ShowMessage(const std::string& text, MessageKind, MessageButtons) override {
        std::lock_guard guard(mutex_);
        messages_.push_back(text);
        return MessageAnswer::Ok;
    }
    std::vector<std::string> Messages() {
        std::lock_guard guard(mutex_);
        return messages_;
    }
    std::vector<int> TrayStates() {
        std::lock_guard guard(mutex_);
        return trayStates_;
    }
    std::atomic<int> quits{0};

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<int> trayStates_;
};

class RecordingSink final : public TransferQueueSink {
public:
    void ApplyRun(const QueueReport& report) override {
        std::lock_guard guard(mutex_);
        reports_.push_back(report);
    }
    std::vector<QueueReport> Reports() {
        std::lock_guard guard(mutex_);
        return reports_;
    }

private:
    std::mutex mutex_;
    std::vector<QueueReport> reports_;
};

// A browsing view whose folder text a test can change.
class FakeView final : public TransferViewLink {
public:
    explicit FakeView(std::string text) : text_(std::move(text)) {}
    std::string ShownDirectoryText() const override {
        std::lock_guard guard(mutex_);
        return text_;
    }
    void Refresh() override { ++refreshes; }
    void Show(std::string text) {
        std::lock_guard guard(mutex_);
        text_ = std::move(text);
    }
    std::atomic<int> refreshes{0};

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// A fresh folder with the settings file and the XDG folders for each test;
// the log keeps entries in memory only; statistics start at zero.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        SetSettingsFileForTesting(dir_ / "Zyfar.ini");
        WriteProfileString("LOG", "ToFile", "NO");
        TheTransferLog().ReloadSettings();
        TheTransferLog().Clear();
        SetUiHost(&host);
        ResetStatisticsForTesting();
        SetPendingLinkTransfers(-1);
    }
    void TearDown() override {
        SetUiHost(nullptr);
        SetSettingsFileForTesting("");
    }

    static void Set(const char* section, const char* key, const std::string& value) {
        WriteProfileString(section, key, value);
    }
    // Passive data connections, short time-outs, no retries: tests fail fast.
    static void FastSettings(bool passive) {
        Set("FTP", "Passive", passive ? "YES" : "NO");
        Set("FTP", "AccessType", "DirectAccess");
        Set("FTP", "ConnectTo", "10");
        Set("FTP", "Retry", "0");
    }

    [[nodiscard]] std::string Local(const std::string& name) const { return dir_ / name; }
    [[nodiscard]] std::string MakeLocalDir(const std::string& name) const {
        const std::string path = dir_ / name;
        test::MakeDir(path);
        return path;
    }

    static std::vector<LogEntry> LogEntries(int code) {
        std::vector<LogEntry> out;
        for (LogEntry& e : TheTransferLog().Entries()) {
            if (e.code == StoredLogCode(code)) {
                out.push_back(std::move(e));
            }
        }
        return out;
    }

    test::TempDir dir_{"zyfar-engine"};
    RecordingHost host;
    RecordingSink sink;
};

inline CTransferJob Job(const std::string& localDir, const std::string& source, const std::string& target,
                        const std::string& remoteDir, std::int64_t size) {
    CTransferJob job;
    job.localDir = localDir;
    job.sourceName = source;
    job.targetName = target;
    job.remoteDir = remoteDir;
    job.size = size;
    return job;
}

inline TransferServer Server(const std::string& host, std::uint16_t port, const std::string& login = "user",
                             const std::string& password = "pass", const std::string& remoteDir = "") {
    return TransferServer{host, login, password, remoteDir, port};
}

// Runs a run to its end on a worker thread, as a headless runner would.
inline std::unique_ptr<TransferController> RunToEnd(std::unique_ptr<TransferRun> run, TransferQueueSink* sink) {
    auto controller = std::make_unique<TransferController>(std::move(run), sink);
    controller->RunToEnd();
    return controller;
}

inline std::int64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

inline bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace zyfar::enginetest
