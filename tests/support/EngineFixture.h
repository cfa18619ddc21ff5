#pragma once
// The fixture of the engine tests, which the automation tests build on: a private home, the log in memory, the
// recording UI host and queue sink, log inspection, one shared pyftpdlib and vsftpd, jobs and runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/BufferedLocalFile.h"
#include "engine/TransferController.h"
#include "engine/TransferJob.h"
#include "engine/TransferQueueSink.h"
#include "engine/TransferRun.h"
#include "engine/TransferStats.h"
#include "ftp/FtpDataStream.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/UiHost.h"
#include "support/Recorders.h"
#include "support/TestEnv.h"

namespace zyfar::enginetest {

using test::Exists;

// The smallest copy buffer that moves bytes past the stream's and file's own buffers.
inline constexpr int kDirectBuffer =
    static_cast<int>(std::max(FtpFileStream::kDirectRead, BufferedLocalFile::kDirectIo));

using test::Recorded;
using RecordingHost = test::RecordingUiHost;

class RecordingSink final : public TransferQueueSink {
public:
    void ApplyRun(const QueueReport& report) override { reports_.Add(report); }
    std::vector<QueueReport> Reports() const { return reports_.Get(); }

private:
    Recorded<QueueReport> reports_;
};

// One line per log entry or report part: one comparison checks every field.
inline std::string Text(const LogEntry& e) { return e.source + " > " + e.destination + " | " + e.file + " | " + e.detail; }
inline std::string Text(const QueueReportServer& s) {
    return s.host + " " + s.login + "/" + s.password + " " + s.remoteDir + " :" + std::to_string(s.port);
}
inline std::string Text(const QueueReportItem& i) {
    return std::to_string(i.result) + " " + i.localDir + "|" + i.localName + " " + i.remoteDir + "|" + i.remoteName +
           " " + std::to_string(i.size) + " #" + std::to_string(i.queueEntry) + " " + i.errorText;
}
template <typename T>
std::vector<std::string> Texts(const std::vector<T>& values) {
    std::vector<std::string> out;
    for (const T& v : values) out.push_back(Text(v));
    return out;
}

class FakeView final : public TransferViewLink {
public:
    explicit FakeView(std::string text) : text_(std::move(text)) {}
    std::string ShownDirectoryText() const override { std::lock_guard guard(mutex_); return text_; }
    void Refresh() override { ++refreshes; }
    void Show(std::string text) { std::lock_guard guard(mutex_); text_ = std::move(text); }
    std::atomic<int> refreshes{0};

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// One pyftpdlib server (user "user", password "pass") and one vsftpd per test program.
inline test::PyFtpdServer& SharedPyFtpd() { static test::PyFtpdServer server; return server; }
inline test::VsftpdServer& SharedVsftpd() { static test::VsftpdServer server; return server; }

inline CTransferJob Job(const std::string& localDir, const std::string& source, const std::string& target,
                        const std::string& remoteDir, std::int64_t size) {
    CTransferJob job;
    std::tie(job.localDir, job.sourceName, job.targetName, job.remoteDir, job.size) =
        std::tie(localDir, source, target, remoteDir, size);
    return job;
}

inline TransferServer Server(std::uint16_t port, const std::string& login = "user",
                             const std::string& password = "pass", const std::string& remoteDir = "",
                             const std::string& host = "127.0.0.1") {
    return TransferServer{host, login, password, remoteDir, port};
}

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return pred();
}

// The private home, a log in memory, statistics at zero, the recording host.
class EngineTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        test::IsolatedHomeTest::SetUp();
        Set("LOG", "ToFile", "NO");
        TheTransferLog().ReloadSettings();
        TheTransferLog().Clear();
        SetUiHost(&host);
        ResetStatisticsForTesting();
        SetPendingLinkTransfers(-1);
    }
    void TearDown() override {
        SetUiHost(nullptr);
        test::IsolatedHomeTest::TearDown();
    }

    static void Set(const char* section, const char* key, const std::string& value) { WriteProfileString(section, key, value); }
    // Direct connections, short time-outs, no retries: tests fail fast.
    static void FastSettings(bool passive) {
        Set("FTP", "Passive", passive ? "YES" : "NO");
        Set("FTP", "AccessType", "DirectAccess");
        Set("FTP", "ConnectTo", "10");
        Set("FTP", "Retry", "0");
    }
    [[nodiscard]] std::string MakeLocalDir(const std::string& name) const { test::MakeDir(Path(name)); return Path(name); }
    static std::vector<std::string> Logged(int code) { return Texts(LogEntries(code)); }
    static std::vector<LogEntry> LogEntries(int code) {
        std::vector<LogEntry> out;
        for (LogEntry& e : TheTransferLog().Entries()) if (e.code == StoredLogCode(code)) out.push_back(std::move(e));
        return out;
    }
    std::unique_ptr<TransferController> Controller(std::unique_ptr<TransferRun> run) {
        return std::make_unique<TransferController>(std::move(run), &sink);
    }
    std::unique_ptr<TransferController> RunToEnd(std::unique_ptr<TransferRun> run) {
        auto controller = Controller(std::move(run));
        controller->RunToEnd();
        return controller;
    }
    std::unique_ptr<TransferRun> Single(const TransferServer& site, std::vector<CTransferJob> jobs, TransferMode mode,
                                        const std::string& target = "", int typeFlag = 2, bool forceLastDir = false) {
        const std::int64_t total = BatchSizeOf(jobs);
        return MakeSingleServerRun(site, std::move(jobs), target, total, mode, typeFlag, nullptr, nullptr, forceLastDir);
    }
    std::unique_ptr<TransferController> RunSingle(const TransferServer& site, std::vector<CTransferJob> jobs,
                                                  TransferMode mode, const std::string& target = "") {
        return RunToEnd(Single(site, std::move(jobs), mode, target));
    }

    RecordingHost host;
    RecordingSink sink;
};

}  // namespace zyfar::enginetest
