// The browsing connect against loopback servers: what it logs, plays, shows and stores, in order.
#include "ftp/BrowseConnect.h"

#include <future>

#include "support/FtpClientHelpers.h"
#include "log/TransferLog.h"
#include "platform/SoundPlayer.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"
#include "settings/SettingsStore.h"
#include "support/Recorders.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

// One line per thing the connect did, in order.
class Timeline : public test::Recorded<std::string> {
public:
    std::vector<std::string> Lines() const { return Get(); }
    // Waits (bounded) for a line that starts with `start`.
    bool WaitFor(const std::string& start) const {
        for (int i = 0; i < 2000; ++i) {
            for (const std::string& line : Get())
                if (line.rfind(start, 0) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

// The sounds, the UI host and the log report into the timeline.
struct RecordingSounds final : SoundPlayer {
    explicit RecordingSounds(Timeline& t) : timeline(t) {}
    void Play(const std::string& path) override { timeline.Add("sound " + path); }
    Timeline& timeline;
};

struct RecordingHost final : UiHost {
    explicit RecordingHost(Timeline& t) : timeline(t) {}
    void SetTrayState(int state) override { timeline.Add("tray " + std::to_string(state)); }
    void RequestQuit() override {}
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons) override {
        timeline.Add(std::string(kind == MessageKind::Stop ? "stop " : "message ") + text);
        // Blocks as a GUI host does until answered: only the cancel (or the test) ends the wait.
        if (block && !release.Wait(CurrentWorkerControl())) return MessageAnswer::Cancel;
        return MessageAnswer::Ok;
    }
    Timeline& timeline;
    bool block = false;
    CancellableEvent release;
};

struct LogRecorder final : LogSubscriber {
    explicit LogRecorder(Timeline& t) : timeline(t) {}
    void OnLogEntry(const LogEntry& entry, bool) override { timeline.Add("log " + std::to_string(entry.code)); }
    Timeline& timeline;
};

constexpr const char* kSecret = "s3cr3t-Pa55";

class BrowseConnectTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        IsolatedHomeTest::SetUp();
        WriteProfileString("SOUNDS", "ConnectOk", "ok.wav");
        WriteProfileString("SOUNDS", "ConnectFail", "fail.wav");
        WriteProfileString("FTP", "ConnectTo", "10");
        WriteProfileString("FTP", "RecToCtrl", "10");
        WriteProfileString("FTP", "Retry", "0");
        LogSettings log;
        log.filePath = Path("log1.log");
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
        IsolatedHomeTest::TearDown();
    }

    BrowseConnectResult Connect(const std::string& password, const std::string& path, int port,
                                WorkerControl* control = nullptr) {
        BrowseConnectOptions o;
        o.status = [this](const std::string& text) { timeline_.Add("status " + text); };
        return BrowseConnect({"127.0.0.1", "user", password, path, port}, control, o);
    }
    static std::unique_ptr<test::PyFtpdServer> StartPyFtpd() {
        return std::make_unique<test::PyFtpdServer>(test::PyFtpdOptions{{{"user", kSecret}}});
    }
    static std::optional<LogEntry> Entry(int code) {
        for (const LogEntry& e : TheTransferLog().Entries())
            if (e.code == code) return e;
        return std::nullopt;
    }
    static std::string Fields(const std::optional<LogEntry>& e) {
        return e ? e->source + "|" + e->destination + "|" + e->file + "|" + e->detail : "(none)";
    }
    static std::string Stored(const char* key) { return GetProfileString("FTP", key, "absent"); }

    Timeline timeline_;
    RecordingHost host_{timeline_};
    int subscription_ = 0;
};

TEST_F(BrowseConnectTest, LoginFailureSuccessAndMissingFolderInOrder) {
    auto server = StartPyFtpd();
    ASSERT_TRUE(server->started()) << server->error();
    const std::string wrong = "Wr0ng-Pa55word";
    BrowseConnectResult r = Connect(wrong, "pub", server->port());
    EXPECT_EQ(r.code, ftpcode::kLoginFailure);
    EXPECT_EQ(r.client, nullptr);
    EXPECT_EQ(timeline_.Lines(), (std::vector<std::string>{"tray 1", "log 32865", "sound fail.wav",
                                                           "status Connection to 127.0.0.1 failed!", "log 32862",
                                                           "log 32876", "tray 0"}));
    const std::optional<LogEntry> failed = Entry(32862);
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->detail.find("530"), std::string::npos) << failed->detail;
    EXPECT_EQ(test::ReadText(Path("log1.log")).find(wrong), std::string::npos);  // nor in the result: FtpFault
    EXPECT_EQ(Stored("QuickServer") + Stored("QuickPasswd"), "absentabsent");  // nothing remembered

    TheTransferLog().Clear();
    timeline_.Clear();
    ASSERT_TRUE(test::MakeDir(server->root() + "/pub"));
    r = Connect(kSecret, "pub", server->port());
    ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
    ASSERT_NE(r.client, nullptr);
    EXPECT_EQ(r.currentDirectory, "/pub");
    EXPECT_FALSE(r.changeDirectoryFailed);
    EXPECT_EQ(timeline_.Lines(), (std::vector<std::string>{"tray 1", "log 32865", "status Connected to 127.0.0.1",
                                                           "sound ok.wav", "log 32861", "log 32867",
                                                           "status Retrieving remote files ... Please wait.",
                                                           "tray 0"}));
    EXPECT_EQ(Fields(Entry(32865)), "Local Machine|127.0.0.1|-|-");
    EXPECT_EQ(Fields(Entry(32867)), "/|127.0.0.1|pub|-");  // from the server's folder before the change
    EXPECT_EQ(Stored("QuickServer") + " " + Stored("QuickLogin") + " " + Stored("QuickPasswd") + " " +
                  Stored("QuickDirec") + " " + Stored("QuickPort") + " " + Stored("QuickEncryption"),
              "127.0.0.1 user " + std::string(kSecret) + " pub " + std::to_string(server->port()) + " NONE");
    BrowseDisconnect(r.client, "127.0.0.1");
    EXPECT_EQ(r.client, nullptr);
    std::vector<std::string> lines = timeline_.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "log 32875");
    EXPECT_EQ(lines.back(), "log 32876");  // 32877 is kept as 32876
    const std::string file = test::ReadText(Path("log1.log"));
    EXPECT_NE(file.find("32861\t"), std::string::npos);
    EXPECT_EQ(file.find(kSecret), std::string::npos);

    // A missing folder is reported with a stop box, and the connect goes on.
    TheTransferLog().Clear();
    timeline_.Clear();
    r = Connect(kSecret, "/no/such", server->port());
    ASSERT_TRUE(r.ok()) << r.text;
    EXPECT_TRUE(r.changeDirectoryFailed);
    EXPECT_EQ(r.currentDirectory, "/");
    lines = timeline_.Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[4], "log 32861");
    // A stop message box with the code's text and the server's reply.
    EXPECT_EQ(lines[5].rfind("stop An extended error was returned from the server.", 0), 0u) << lines[5];
    EXPECT_NE(lines[5].find("550"), std::string::npos) << lines[5];
    EXPECT_EQ(lines[6], "log 32868");
    EXPECT_EQ(lines[7], "status Retrieving remote files ... Please wait.");
    EXPECT_EQ(Fields(Entry(32868)).substr(0, 21), "/|127.0.0.1|/no/such|");
    EXPECT_EQ(Stored("QuickDirec"), "/no/such");
}

TEST_F(BrowseConnectTest, BadPortAndProxyWithoutNameFail) {
    EXPECT_EQ(Connect(kSecret, "", 0).code, ftpcode::kInvalidOperation);
    EXPECT_NE(Fields(Entry(32862)).find("port"), std::string::npos);

    TheTransferLog().Clear();
    timeline_.Clear();
    WriteProfileString("FTP", "AccessType", "ProxyAccess");
    EXPECT_EQ(Connect(kSecret, "", 21).code, ftpcode::kInvalidProxyRequest);
    EXPECT_EQ(timeline_.Lines(), (std::vector<std::string>{"tray 1", "log 32866", "sound fail.wav",
                                                           "status Connection to 127.0.0.1 failed!", "tray 0"}));
}

TEST_F(BrowseConnectTest, UnreadableCurrentFolderEndsTheConnect) {
    test::FaultServer server(R"({"replies": {"PWD": "550 Cannot tell."}})");
    ASSERT_TRUE(server.started()) << server.error();
    BrowseConnectResult r = Connect("p", "", server.port());
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.client, nullptr);
    const std::vector<std::string> lines = timeline_.Lines();
    ASSERT_EQ(lines.size(), 9u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[4], "log 32861");
    EXPECT_EQ(lines[5].rfind("stop ", 0), 0u);
    EXPECT_NE(lines[5].find("Cannot tell."), std::string::npos);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.end()),
              (std::vector<std::string>{"log 32875", "log 32876", "tray 0"}));
    EXPECT_EQ(Stored("QuickServer"), "absent");
    EXPECT_TRUE(server.WaitForLine("QUIT"));
}

TEST_F(BrowseConnectTest, CancelEndsAConnectThatWouldWaitOrStopsItBeforeItStarts) {
    // The server accepts but never greets: only the cancel ends the wait.
    test::FaultServer server(R"({"mode": "silent"})");
    ASSERT_TRUE(server.started()) << server.error();
    WriteProfileString("FTP", "RecToCtrl", "120");
    WriteProfileString("FTP", "ConnectTo", "120");
    WorkerControl control;
    BrowseConnectResult r;
    std::thread worker([&] { r = Connect("p", "", server.port(), &control); });
    ASSERT_TRUE(timeline_.WaitFor("log 32865"));
    control.Cancel();
    worker.join();
    EXPECT_EQ(r.code, ftpcode::kCancelled);
    EXPECT_EQ(r.client, nullptr);
    // The log stays complete; no failure sound or status for a cancel.
    EXPECT_EQ(timeline_.Lines(), (std::vector<std::string>{"tray 1", "log 32865", "log 32862", "log 32876", "tray 0"}));
    EXPECT_EQ(Stored("QuickServer"), "absent");

    // A message box that waits for the user ends with the cancel.
    auto py = StartPyFtpd();
    ASSERT_TRUE(py->started()) << py->error();
    WorkerControl second;
    host_.block = true;
    std::future<BrowseConnectResult> waiting =
        std::async(std::launch::async, [&] { return Connect(kSecret, "/no/such", py->port(), &second); });
    EXPECT_TRUE(timeline_.WaitFor("stop "));
    second.Cancel();
    const bool ended = waiting.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    host_.release.Set();  // frees a wait the cancel did not end
    EXPECT_TRUE(ended);
    EXPECT_EQ(waiting.get().code, ftpcode::kCancelled);
    host_.block = false;

    // Cancelled before the start: nothing is connected.
    r = Connect(kSecret, "pub", py->port(), &control);
    EXPECT_EQ(r.code, ftpcode::kCancelled);
    EXPECT_EQ(r.client, nullptr);
    EXPECT_EQ(Stored("QuickServer"), "absent");
}

}  // namespace
}  // namespace zyfar
