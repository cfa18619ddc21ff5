#pragma once
// The FTP session of a transfer: one connection to one server, the buffer
// sizes and progress target of its copies, the files a running copy has
// open, and the abort flag that ends a put at its next pass.
//
// Opening follows the fixed sequence of log events, sounds and tray states:
// "Internet Connection OK" (32865), the connection, `ConnectOk`, "FTP
// Connection OK" (32861), then the change to the remote folder ("Change
// Directory OK" 32867 / "Change Directory Failed" 32868).
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/BufferedLocalFile.h"
#include "ftp/FtpClient.h"

namespace zyfar {

class TransferProgress;
class TransferRun;
class WorkerControl;

class CTransferSession {
public:
    // The session's client is bound to the worker's control (may be null).
    explicit CTransferSession(std::string host, WorkerControl* control);
    // A session on a connection its caller owns and keeps open (a script's
    // session): copies run in it; connecting and closing stay with the owner.
    CTransferSession(std::string host, FtpClient& connection, WorkerControl* control);
    // Closes any file still open in it and sets the tray state to 0.
    ~CTransferSession();
    CTransferSession(const CTransferSession&) = delete;
    CTransferSession& operator=(const CTransferSession&) = delete;

    [[nodiscard]] FtpClient& connection() { return *client_; }
    [[nodiscard]] const std::string& host() const { return host_; }
    [[nodiscard]] WorkerControl* control() const { return control_; }

    // Connects with the options; on success the session has a connection.
    [[nodiscard]] FtpResult Connect(const FtpConnectOptions& options);
    // True from a successful Connect until CloseConnection, even when the
    // server dropped the line meanwhile.
    [[nodiscard]] bool HasConnection() const { return hasConnection_.load(); }
    // The control connection is usable now.
    [[nodiscard]] bool ConnectionAlive() const { return hasConnection_.load() && client_->IsConnected(); }
    // Sends QUIT and closes; false when there was no connection.
    bool CloseConnection();

    // Closes whatever files a copy left open (aborting a remote one).
    void ReleaseFiles();

    std::int32_t readBufferSize = 4096;   // FTP ReadBuffer, set by each copy
    std::int32_t writeBufferSize = 4096;  // FTP WriteBuffer, set by each copy
    TransferProgress* progress = nullptr; // the run's progress, or none
    std::atomic<bool> abortFlag{false};   // set by "Only this one"; a put ends with 237

    // Files of the running copy. A server-to-server copy keeps its
    // destination file in the destination session's remoteFile, so a file
    // never outlives the connection it belongs to.
    std::unique_ptr<FtpFileStream> remoteFile;
    std::unique_ptr<BufferedLocalFile> localFile;

private:
    std::string host_;
    WorkerControl* control_;
    std::unique_ptr<FtpClient> owned_;
    FtpClient* client_;
    std::atomic<bool> hasConnection_{false};
};

// Opens the run's source session (source host, login, password, port and
// remote folder). 0 when connected and, if a remote folder was given,
// positioned there; otherwise the failure's code.
[[nodiscard]] std::int32_t OpenTransferSession(TransferRun& run);
// The same for the destination server of a server-to-server run; it shows
// only the destination host and sets no progress totals.
[[nodiscard]] std::int32_t OpenDestinationSession(TransferRun& run);
// Closes both sessions of a run, whichever exist ("FTP Connection Closed"
// 32875 for an open connection, then 32877 for each session).
void CloseTransferSessions(TransferRun& run);
// One of the two (a reconnect between jobs).
void CloseSourceSession(TransferRun& run);
void CloseDestinationSession(TransferRun& run);

}  // namespace zyfar
