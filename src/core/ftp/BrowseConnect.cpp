#include "ftp/BrowseConnect.h"

#include <thread>

#include "ftp/SessionSettings.h"
#include "log/EventSound.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/MessageTable.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr const char* kNone = "-";
constexpr int kMsgRetrievingRemoteFiles = 351;

// Tray state 1 while the connect runs, 0 on every way out.
class TrayBusy {
public:
    TrayBusy() { Ui().SetTrayState(static_cast<int>(TrayState::Receiving)); }
    ~TrayBusy() { Ui().SetTrayState(static_cast<int>(TrayState::Idle)); }
    TrayBusy(const TrayBusy&) = delete;
    TrayBusy& operator=(const TrayBusy&) = delete;
};

void Status(const BrowseConnectOptions& options, const std::string& text) {
    if (options.status) options.status(text);
}

// Waits so the last status can be read; a cancel ends the wait at once.
void PauseAfter(const BrowseConnectOptions& options, WorkerControl* control) {
    if (options.pauseAfter.count() <= 0) return;
    if (control != nullptr) {
        (void)control->SleepFor(options.pauseAfter);
    } else {
        std::this_thread::sleep_for(options.pauseAfter);
    }
}

// The text of a failure: the client's own text, else the code's message.
std::string FailureText(const FtpResult& r) {
    if (!r.text.empty()) return r.text;
    std::string text = InternetErrorMessage(r.code);
    if (text.empty()) text = "Error " + std::to_string(r.code);
    return text;
}

}  // namespace

std::string BrowseMessageText(const FtpResult& r) {
    std::string text = InternetErrorMessage(r.code);
    if (text.empty()) return FailureText(r);
    if (!r.text.empty() && r.text != text) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        text += "\n\n" + r.text;
    }
    return text;
}

namespace {

void StopMessage(const BrowseConnectOptions& options, const std::string& text) {
    if (!options.quiet) (void)Ui().ShowMessage(text, MessageKind::Stop, MessageButtons::Ok);
}

BrowseConnectResult Failure(const FtpResult& r) {
    BrowseConnectResult out;
    out.code = r.code == ftpcode::kOk ? ftpcode::kInternalError : r.code;
    out.text = FailureText(r);
    return out;
}

bool Cancelled(WorkerControl* control) { return control != nullptr && control->IsCancelled(); }

// The browsing window shows the message table's full text for a cancel.
FtpResult CancelledWithMessage() { return FtpFail(ftpcode::kCancelled, MessageText(ftpcode::kCancelled)); }

void Sound(const BrowseConnectOptions& options, SoundEvent event) {
    if (!options.quiet) PlayEventSound(event);
}


// The site's folder: 32867 when it could be entered, else a message box and
// 32868; the connect goes on in the server's current folder either way.
bool EnterSiteFolder(FtpClient& client, const BrowseSite& site, const BrowseConnectOptions& options) {
    const FtpOutcome<std::string> before = client.GetCurrentDirectory();
    const std::string current = before.ok() ? before.value : std::string(kNone);
    const FtpResult cd = client.SetCurrentDirectory(site.remotePath);
    if (cd.ok()) {
        WriteLogEntry(logcode::ChangeDirectoryOk, current, site.host, site.remotePath, kNone);
        return true;
    }
    StopMessage(options, BrowseMessageText(cd));
    WriteLogEntry(logcode::ChangeDirectoryFailed, current, site.host, site.remotePath, FailureText(cd));
    return false;
}

}  // namespace

std::string ConnectedStatusText(const std::string& host) { return "Connected to " + host; }

std::string ConnectionFailedStatusText(const std::string& host) { return "Connection to " + host + " failed!"; }

void RememberQuickSite(const BrowseSite& site) {
    Write(keys::QuickServer, site.host);
    Write(keys::QuickLogin, site.login);
    Write(keys::QuickPasswd, site.password);
    Write(keys::QuickDirec, site.remotePath);
    Write(keys::QuickPort, std::to_string(site.port));
    Write(keys::QuickEncryption, EncryptionText(site.encryption));
}

BrowseConnectResult BrowseConnect(const BrowseSite& site, WorkerControl* control,
                                  const BrowseConnectOptions& options) {
    // A message box shown for this connect ends its wait on a cancel.
    const WorkerScope worker(control != nullptr ? control : CurrentWorkerControl());
    TrayBusy tray;

    FtpConnectOptions connect = SessionOptionsFromSettings();
    connect.host = site.host;
    connect.user = site.login;
    connect.password = site.password;
    connect.encryption = site.encryption;

    // The session itself (access type and proxy) must be usable first.
    if (const FtpResult session = CheckSessionOptions(connect); !session.ok()) {
        WriteLogEntry(logcode::InternetConnectionFailed, kLocalMachine, site.host, kNone, kNone);
        Sound(options, SoundEvent::ConnectFail);
        Status(options, ConnectionFailedStatusText(site.host));
        PauseAfter(options, control);
        return Failure(session);
    }
    WriteLogEntry(logcode::InternetConnectionOk, kLocalMachine, site.host, kNone, kNone);

    auto client = std::make_unique<FtpClient>(control);
    FtpResult r;
    if (site.port < 1 || site.port > 65535) {
        r = FtpFail(ftpcode::kInvalidOperation, "Invalid port number " + std::to_string(site.port) + ".");
    } else {
        connect.port = static_cast<std::uint16_t>(site.port);
        r = client->Connect(connect);
    }
    if (!r.ok()) {
        const std::string text = FailureText(r);
        // A cancelled connect ends quietly: the window that asked is gone.
        if (!Cancelled(control)) {
            Sound(options, SoundEvent::ConnectFail);
            Status(options, ConnectionFailedStatusText(site.host));
        }
        client.reset();
        WriteLogEntry(logcode::FtpConnectionFailed, kLocalMachine, site.host, kNone, text);
        WriteLogEntry(logcode::SessionClosed, kLocalMachine, site.host, kNone, kNone);
        PauseAfter(options, control);
        return Failure(r);
    }
    Status(options, ConnectedStatusText(site.host));
    Sound(options, SoundEvent::ConnectOk);
    WriteLogEntry(logcode::FtpConnectionOk, kLocalMachine, site.host, kNone, ConnectionLogDetail(*client));

    BrowseConnectResult out;
    if (!site.remotePath.empty() && !Cancelled(control)) {
        out.changeDirectoryFailed = !EnterSiteFolder(*client, site, options);
    }

    FtpOutcome<std::string> pwd = Cancelled(control) ? FtpOutcome<std::string>(CancelledWithMessage())
                                                     : client->GetCurrentDirectory();
    if (!pwd.ok()) {
        // A cancel is the user's own doing: no message box for it.
        if (pwd.result.code != ftpcode::kCancelled && !Cancelled(control)) {
            StopMessage(options, BrowseMessageText(pwd.result));
        }
        BrowseDisconnect(client, site.host);
        PauseAfter(options, control);
        BrowseConnectResult failed = Failure(pwd.result);
        failed.changeDirectoryFailed = out.changeDirectoryFailed;
        return failed;
    }
    if (!options.quiet) RememberQuickSite(site);
    Status(options, std::string(MessageText(kMsgRetrievingRemoteFiles)));
    out.currentDirectory = std::move(pwd.value);
    out.client = std::move(client);
    PauseAfter(options, control);
    return out;
}

void BrowseDisconnect(std::unique_ptr<FtpClient>& client, const std::string& host) {
    if (!client) return;
    client->Close();
    client.reset();
    WriteLogEntry(logcode::FtpConnectionClosed, kLocalMachine, host, kNone, kNone);
    WriteLogEntry(logcode::SessionClosed, kLocalMachine, host, kNone, kNone);
}

}  // namespace zyfar
