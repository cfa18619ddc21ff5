#pragma once
// The browsing connect: what the remote tree's connect thread runs to open its
// own FTP connection (from a site profile, the quick-connect dialog or the
// profiles window). It opens the client with the session settings, writes the
// log events and plays the sounds of a connection, changes to the site's
// folder, reads the server's current folder and remembers the site as the
// last connection. No window is touched: status texts go to a callback, the
// tray state and message boxes through the UI host.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "ftp/FtpClient.h"

namespace zyfar {

class WorkerControl;

// The site a remote tree connects to.
struct BrowseSite {
    std::string host;
    std::string login;       // passed as it stands (the screens fill in anonymous logins)
    std::string password;    // never logged
    std::string remotePath;  // empty: stay in the login folder
    int port = 21;
    // FTP over TLS: a profile's SiteProfileEncryption, the FTP section's
    // DefaultEncryption for a quick connect.
    Encryption encryption = Encryption::None;
};

// A status line for the connecting window ("Connected to ftp.example.org").
using BrowseStatusFn = std::function<void(const std::string& text)>;

struct BrowseConnectOptions {
    BrowseStatusFn status;
    // How long the last status stays up before the tray goes back to idle
    // (the connecting window uses 750 ms; a cancel ends the wait at once).
    std::chrono::milliseconds pauseAfter{0};
    // A browsing session connecting again on its own (after a cancelled
    // operation or a dropped connection): the log events are written as for
    // any connect, but no message box is shown, no sound is played and the
    // last connection is not stored again.
    bool quiet = false;
};

struct BrowseConnectResult {
    std::int32_t code = ftpcode::kOk;     // 0 connected; else the failure's code
    std::string text;                     // the failure's text (at most 255 bytes)
    std::unique_ptr<FtpClient> client;    // the open connection when code is 0
    std::string currentDirectory;         // the server's current folder after the connect
    bool changeDirectoryFailed = false;   // the site's folder could not be entered

    [[nodiscard]] bool ok() const { return code == ftpcode::kOk; }
};

// The text a message box shows for a failed browsing operation: the code's
// message, followed by the server's reply when that says more.
[[nodiscard]] std::string BrowseMessageText(const FtpResult& r);

// The status texts of the connecting window.
[[nodiscard]] std::string ConnectedStatusText(const std::string& host);         // "Connected to %s"
[[nodiscard]] std::string ConnectionFailedStatusText(const std::string& host);  // "Connection to %s failed!"

// Runs the browsing connect on the calling (worker) thread. The control, when
// given, lets another thread cancel it: blocking waits end at once and the
// result is 12017. The returned client is bound to that control.
//
// Order of what it does:
//   tray state 1; log 32865 "Internet Connection OK"; connect and log in;
//   on failure: sound ConnectFail, status "Connection to %s failed!", log 32862
//     with the failure text and 32877, tray 0, return the error (after a
//     cancel only the two log events: no sound, no status);
//   status "Connected to %s", sound ConnectOk, log 32861;
//   with a remote path: read the current folder, change to the path: log 32867,
//     or on failure a stop message box and 32868 (the connect goes on);
//   read the current folder (failure: a stop message box, the connection is
//     closed with 32875/32877, return the error);
//   store the site for Last Connection (RememberQuickSite);
//   status "Retrieving remote files ... Please wait."; pause; tray state 0.
// Keeps a site for the next Last Connection: QuickServer, QuickLogin,
// QuickPasswd, QuickDirec, QuickPort and QuickEncryption.
void RememberQuickSite(const BrowseSite& site);

[[nodiscard]] BrowseConnectResult BrowseConnect(const BrowseSite& site, WorkerControl* control,
                                                const BrowseConnectOptions& options = {});

// Closes a browsing connection: QUIT, then log 32875 "FTP Connection Closed"
// and 32877 for the host. Nothing is logged for a null client.
void BrowseDisconnect(std::unique_ptr<FtpClient>& client, const std::string& host);

}  // namespace zyfar
