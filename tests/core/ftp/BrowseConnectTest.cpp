// The browsing connect against real servers on the loopback address: what it
// logs, plays, shows and stores, in order, for success and each failure.
#include "ftp/BrowseConnect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/TransferLog.h"
#include "platform/SoundPlayer.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"
#include "settings/SettingsStore.h"
#include "support/FtpTestServer.h"

namespace zyfar {
namespace {

// One line per thing the connect did, in the order it did it.
class Timeline {
public:
    void Add(const std::string& line) {
        std::lock_guard guard(mutex_);
        lines_.push_back(line);
        changed_.notify_all();
    }
    std::vector<std::string> Lines() const {
        std::lock_guard guard(mutex_);
        return lines_;
    }
    // Waits (bounded) until a line has been added.
    bool WaitFor(const std::string& line) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
        });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
};

class RecordingSounds final : public SoundPlayer {
public:
    explicit RecordingSounds(Timeline& t) : timeline_(t) {}
    void Play(const std::string& path) override { timeline_.Add("sound " + path); }

private:
    Timeline& timeline_;
};

class RecordingHost final : public UiHost {
public:
    explicit RecordingHost(Timeline& t) : timeline_(t) {}
    void SetTrayState(int state) override { timeline_.Add("tray " + std::to_string(state)); }
    void RequestQuit() override {}
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons) override {
        timeline_.Add(std::string(kind == MessageKind::Stop ? "stop " : "message ") + text);
        return MessageAnswer::Ok;
    }

private:
    Timeline& timeline_;
};

class LogRecorder final : public LogSubscriber {
public:
    explicit LogRecorder(Timeline& t) : timeline_(t) {}
    void OnLogEntry(const LogEntry& entry, bool) override { timeline_.Add("log " + std::to_string(entry.code)); }

private:
    Timeline& timeline_;
};

class BrowseConnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        SetSettingsFileForTesting(dir_ / "Zyfar.ini");
        WriteProfileString("SOUNDS", "ConnectOk", "ok.wav");
        WriteProfileString("SOUNDS", "ConnectFail", "fail.wav");
        // Keep a lost test short without timing anything.
        WriteProfileString("FTP", "ConnectTo", "10");
        WriteProfileString("FTP", "RecToCtrl", "10");
        WriteProfileString("FTP", "Retry", "0");

        LogSettings log;
        log.filePath = dir_ / "log1.log";
        TheTransferLog().ApplySettings(log);
        TheTransferLog().Clear();
        subscription_ = TheTransferLog().Subscribe(std::make_shared<LogRecorder>(timeline_));
        SetSoundPlayer(std::make_shared<RecordingSounds>(timeline_));
        SetUiHost(&host_);
    }
    void TearDown() override {
        SetUiHost(nullptr);
        SetSoundPlayer(nullptr);
        TheTransferLog().Unsubscribe(subscription_);
        LogSettings off;
        off.toFile = false;
        TheTransferLog().ApplySettings(off);
        SetSettingsFileForTesting("");
    }

    BrowseConnectOptions Options() {
        BrowseConnectOptions o;
        o.status = [this](const std::string& text) { timeline_.Add("status " + text); };
        return o;
    }

    // The log entry of a code (the first one).
    static std::optional<LogEntry> Entry(int code) {
        for (const LogEntry& e : TheTransferLog().Entries())
            if (e.code == code) return e;
        return std::nullopt;
    }

    std::string LogFileText() const { return test::ReadFile(dir_ / "log1.log").value_or(""); }

    test::TempDir dir_{"zyfar-browse"};
    Timeline timeline_;
    RecordingHost host_{timeline_};
    int subscription_ = 0;
};

constexpr const char* kSecret = "s3cr3t-Pa55";

std::unique_ptr<test::PyFtpdServer> StartPyFtpd() {
    test::PyFtpdOptions options;
    options.users = {{"user", kSecret}};
    auto server = std::make_unique<test::PyFtpdServer>(options);
    return server;
}

TEST_F(BrowseConnectTest, SuccessWritesEventsInOrderAndRemembersTheSite) {
    auto server = StartPyFtpd();
    ASSERT_TRUE(server->started()) << server->error();
    ASSERT_TRUE(test::MakeDir(server->root() + "/pub"));

    const BrowseSite site{"127.0.0.1", "user", kSecret, "pub", server->port()};
    BrowseConnectResult r = BrowseConnect(site, nullptr, Options());
    ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
    ASSERT_NE(r.client, nullptr);
    EXPECT_TRUE(r.client->IsConnected());
    EXPECT_EQ(r.currentDirectory, "/pub");
    EXPECT_FALSE(r.changeDirectoryFailed);

    const std::vector<std::string> expected{
        "tray 1",
        "log 32865",
        "status Connected to 127.0.0.1",
        "sound ok.wav",
        "log 32861",
        "log 32867",
        "status Retrieving remote files ... Please wait.",
        "tray 0",
    };
    EXPECT_EQ(timeline_.Lines(), expected);

    const std::optional<LogEntry> internetOk = Entry(32865);
    ASSERT_TRUE(internetOk);
    EXPECT_EQ(internetOk->source, "Local Machine");
    EXPECT_EQ(internetOk->destination, "127.0.0.1");
    EXPECT_EQ(internetOk->file, "-");
    EXPECT_EQ(internetOk->detail, "-");
    const std::optional<LogEntry> cd = Entry(32867);
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd->source, "/");  // the server's folder before the change
    EXPECT_EQ(cd->destination, "127.0.0.1");
    EXPECT_EQ(cd->file, "pub");

    EXPECT_EQ(GetProfileString("FTP", "QuickServer", "?"), "127.0.0.1");
    EXPECT_EQ(GetProfileString("FTP", "QuickLogin", "?"), "user");
    EXPECT_EQ(GetProfileString("FTP", "QuickPasswd", "?"), kSecret);
    EXPECT_EQ(GetProfileString("FTP", "QuickDirec", "?"), "pub");
    EXPECT_EQ(GetProfileString("FTP", "QuickPort", "?"), std::to_string(server->port()));

    // The connection works: the folder listing is there.
    ASSERT_TRUE(test::WriteFile(server->root() + "/pub/a.txt", "abc"));
    FtpOutcome<std::vector<FtpFoundFile>> found = r.client->Find("/pub/");
    ASSERT_TRUE(found.ok()) << found.result.text;
    ASSERT_EQ(found.value.size(), 1u);
    EXPECT_EQ(found.value[0].FileName(), "a.txt");

    BrowseDisconnect(r.client, site.host);
    EXPECT_EQ(r.client, nullptr);
    const std::vector<std::string> lines = timeline_.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "log 32875");
    EXPECT_EQ(lines.back(), "log 32876");  // 32877 is kept as 32876

    const std::string file = LogFileText();
    EXPECT_NE(file.find("32861\t"), std::string::npos);
    EXPECT_EQ(file.find(kSecret), std::string::npos);
}

TEST_F(BrowseConnectTest, EmptyRemotePathSkipsTheDirectoryStep) {
    auto server = StartPyFtpd();
    ASSERT_TRUE(server->started()) << server->error();
    BrowseConnectResult r = BrowseConnect({"127.0.0.1", "user", kSecret, "", server->port()}, nullptr, Options());
    ASSERT_TRUE(r.ok()) << r.text;
    EXPECT_EQ(r.currentDirectory, "/");
    EXPECT_FALSE(Entry(32867));
    EXPECT_FALSE(Entry(32868));
    EXPECT_EQ(GetProfileString("FTP", "QuickDirec", "?"), "");
}

TEST_F(BrowseConnectTest, MissingFolderIsReportedButTheConnectGoesOn) {
    auto server = StartPyFtpd();
    ASSERT_TRUE(server->started()) << server->error();
    BrowseConnectResult r =
        BrowseConnect({"127.0.0.1", "user", kSecret, "/no/such", server->port()}, nullptr, Options());
    ASSERT_TRUE(r.ok()) << r.text;
    EXPECT_TRUE(r.changeDirectoryFailed);
    EXPECT_EQ(r.currentDirectory, "/");

    const std::vector<std::string> lines = timeline_.Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[4], "log 32861");
    // A stop message box with the code's text and the server's reply.
    EXPECT_EQ(lines[5].rfind("stop An extended error was returned from the server.", 0), 0u) << lines[5];
    EXPECT_NE(lines[5].find("550"), std::string::npos) << lines[5];
    EXPECT_EQ(lines[6], "log 32868");
    EXPECT_EQ(lines[7], "status Retrieving remote files ... Please wait.");
    const std::optional<LogEntry> failed = Entry(32868);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->source, "/");
    EXPECT_EQ(failed->destination, "127.0.0.1");
    EXPECT_EQ(failed->file, "/no/such");
    EXPECT_EQ(GetProfileString("FTP", "QuickDirec", "?"), "/no/such");
}

TEST_F(BrowseConnectTest, LoginFailureLogsAndNeverLeaksThePassword) {
    auto server = StartPyFtpd();
    ASSERT_TRUE(server->started()) << server->error();
    const std::string wrong = "Wr0ng-Pa55word";
    BrowseConnectResult r = BrowseConnect({"127.0.0.1", "user", wrong, "pub", server->port()}, nullptr, Options());
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.code, ftpcode::kLoginFailure);
    EXPECT_EQ(r.client, nullptr);
    const std::vector<std::string> expected{
        "tray 1", "log 32865", "sound fail.wav", "status Connection to 127.0.0.1 failed!", "log 32862", "log 32876",
        "tray 0",
    };
    EXPECT_EQ(timeline_.Lines(), expected);
    const std::optional<LogEntry> failed = Entry(32862);
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->detail.empty());
    EXPECT_NE(failed->detail, "-");
    EXPECT_EQ(failed->detail.find(wrong), std::string::npos);
    EXPECT_EQ(LogFileText().find(wrong), std::string::npos);
    EXPECT_EQ(r.text.find(wrong), std::string::npos);
    // Nothing remembered.
    EXPECT_EQ(GetProfileString("FTP", "QuickServer", "absent"), "absent");
    EXPECT_EQ(GetProfileString("FTP", "QuickPasswd", "absent"), "absent");
}

TEST_F(BrowseConnectTest, RefusedConnectionAndBadPortAreFtpConnectFailures) {
    // A port nothing listens on: take a free one from a server that is gone.
    std::uint16_t closedPort = 0;
    {
        auto server = StartPyFtpd();
        ASSERT_TRUE(server->started()) << server->error();
        closedPort = server->port();
    }
    BrowseConnectResult r = BrowseConnect({"127.0.0.1", "user", kSecret, "", closedPort}, nullptr, Options());
    EXPECT_EQ(r.code, ftpcode::kCannotConnect);
    EXPECT_TRUE(Entry(32862));

    TheTransferLog().Clear();
    r = BrowseConnect({"127.0.0.1", "user", kSecret, "", 0}, nullptr, Options());
    EXPECT_EQ(r.code, ftpcode::kInvalidOperation);
    const std::optional<LogEntry> failed = Entry(32862);
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->detail.find("port"), std::string::npos);
    r = BrowseConnect({"127.0.0.1", "user", kSecret, "", 70000}, nullptr, Options());
    EXPECT_EQ(r.code, ftpcode::kInvalidOperation);
}

TEST_F(BrowseConnectTest, ProxyWithoutNameFailsTheSession) {
    WriteProfileString("FTP", "AccessType", "ProxyAccess");
    BrowseConnectResult r = BrowseConnect({"127.0.0.1", "user", kSecret, "", 21}, nullptr, Options());
    EXPECT_EQ(r.code, ftpcode::kInvalidProxyRequest);
    const std::vector<std::string> expected{
        "tray 1", "log 32866", "sound fail.wav", "status Connection to 127.0.0.1 failed!", "tray 0",
    };
    EXPECT_EQ(timeline_.Lines(), expected);
}

TEST_F(BrowseConnectTest, UnreadableCurrentFolderEndsTheConnect) {
    test::FaultServer server(R"({"replies": {"PWD": "550 Cannot tell."}})");
    ASSERT_TRUE(server.started()) << server.error();
    BrowseConnectResult r = BrowseConnect({"127.0.0.1", "u", "p", "", server.port()}, nullptr, Options());
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.client, nullptr);
    const std::vector<std::string> lines = timeline_.Lines();
    ASSERT_EQ(lines.size(), 9u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[4], "log 32861");
    EXPECT_EQ(lines[5].rfind("stop ", 0), 0u);
    EXPECT_NE(lines[5].find("Cannot tell."), std::string::npos);
    EXPECT_EQ(lines[6], "log 32875");
    EXPECT_EQ(lines[7], "log 32876");
    EXPECT_EQ(lines[8], "tray 0");
    EXPECT_EQ(GetProfileString("FTP", "QuickServer", "absent"), "absent");
    EXPECT_TRUE(server.WaitForLine("QUIT"));
}

TEST_F(BrowseConnectTest, CancelEndsAConnectThatWouldWait) {
    // The server accepts but never greets: only the cancel ends the wait.
    test::FaultServer server(R"({"mode": "silent"})");
    ASSERT_TRUE(server.started()) << server.error();
    WriteProfileString("FTP", "RecToCtrl", "120");
    WriteProfileString("FTP", "ConnectTo", "120");

    WorkerControl control;
    BrowseConnectResult r;
    std::thread worker([&] { r = BrowseConnect({"127.0.0.1", "u", "p", "", server.port()}, &control, Options()); });
    ASSERT_TRUE(timeline_.WaitFor("log 32865"));
    control.Cancel();
    worker.join();
    EXPECT_EQ(r.code, ftpcode::kCancelled);
    EXPECT_EQ(r.client, nullptr);
    // The log stays complete; no failure sound or status for a cancel.
    const std::vector<std::string> expected{"tray 1", "log 32865", "log 32862", "log 32876", "tray 0"};
    EXPECT_EQ(timeline_.Lines(), expected);
    EXPECT_EQ(GetProfileString("FTP", "QuickServer", "absent"), "absent");
}

TEST_F(BrowseConnectTest, CancelledBeforeStartConnectsNothing) {
    auto server = StartPyFtpd();
    ASSERT_TRUE(server->started()) << server->error();
    WorkerControl control;
    control.Cancel();
    BrowseConnectResult r = BrowseConnect({"127.0.0.1", "user", kSecret, "pub", server->port()}, &control, Options());
    EXPECT_EQ(r.code, ftpcode::kCancelled);
    EXPECT_EQ(r.client, nullptr);
    EXPECT_EQ(GetProfileString("FTP", "QuickServer", "absent"), "absent");
}

}  // namespace
}  // namespace zyfar
