#include "engine/TransferSession.h"

#include "engine/TransferRun.h"
#include "ftp/SessionSettings.h"
#include "log/EventSound.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"

namespace zyfar {

CTransferSession::CTransferSession(std::string host, WorkerControl* control)
    : host_(std::move(host)), control_(control), owned_(std::make_unique<FtpClient>(control)), client_(owned_.get()) {}

CTransferSession::CTransferSession(std::string host, FtpClient& connection, WorkerControl* control)
    : host_(std::move(host)), control_(control), client_(&connection) {
    hasConnection_.store(connection.IsConnected());
}

CTransferSession::~CTransferSession() {
    ReleaseFiles();
    owned_.reset();
    Ui().SetTrayState(0);
}

FtpResult CTransferSession::Connect(const FtpConnectOptions& options) {
    FtpResult r = client_->Connect(options);
    hasConnection_.store(r.ok());
    return r;
}

bool CTransferSession::CloseConnection() {
    ReleaseFiles();
    const bool had = hasConnection_.exchange(false);
    client_->Close();
    return had;
}

void CTransferSession::ReleaseFiles() {
    if (remoteFile) {
        if (remoteFile->IsOpen()) {
            (void)remoteFile->Abort();
        }
        remoteFile.reset();
    }
    if (localFile) {
        (void)localFile->Close();
        localFile.reset();
    }
}

namespace {

enum class SessionSide { Source, Destination };

std::int32_t OpenSession(TransferRun& run, SessionSide side) {
    const TransferServer& server = side == SessionSide::Source ? run.source : run.destination;
    TransferProgress& progress = run.progress;
    if (side == SessionSide::Source) {
        progress.ResetForConnect(server.host);
        progress.SetLocalFile("Connecting ...");
    } else {
        progress.ResetForDestination(server.host);
    }
    Ui().SetTrayState(1);

    FtpConnectOptions options = SessionOptionsFromSettings();
    options.host = server.host;
    options.port = server.port;
    options.user = server.login;
    options.password = server.password;
    options.encryption = server.encryption;

    auto session = std::make_unique<CTransferSession>(server.host, run.control);
    CTransferSession* s = session.get();
    if (side == SessionSide::Source) {
        run.SetSourceSession(std::move(session));
    } else {
        run.SetDestinationSession(std::move(session));
    }

    // A proxy session without a proxy name cannot be set up at all.
    if (options.access == FtpAccess::kProxy && options.proxyName.empty()) {
        WriteLogEntry(logcode::InternetConnectionFailed, kLocalMachine, server.host, "-", "-");
        PlayEventSound(SoundEvent::ConnectFail);
        Ui().SetTrayState(0);
        run.connectErrorCode = ftpcode::kInvalidProxyRequest;
        run.connectErrorText = InternetErrorMessage(ftpcode::kInvalidProxyRequest);
        return ftpcode::kInvalidProxyRequest;
    }
    WriteLogEntry(logcode::InternetConnectionOk, kLocalMachine, server.host, "-", "-");

    FtpResult r = s->Connect(options);
    if (!r.ok()) {
        PlayEventSound(SoundEvent::ConnectFail);
        Ui().SetTrayState(0);
        run.connectErrorCode = r.code;
        run.connectErrorText = r.text;
        return r.code;
    }
    PlayEventSound(SoundEvent::ConnectOk);
    if (side == SessionSide::Source) {
        s->progress = &progress;
        progress.SetBatch(run.batchSize, 0, 1);
    }
    WriteLogEntry(logcode::FtpConnectionOk, kLocalMachine, server.host, "-", ConnectionLogDetail(s->connection()));
    if (side == SessionSide::Source) {
        progress.SetLocalFile("Connected!");
    }

    if (!server.remoteDir.empty()) {
        FtpOutcome<std::string> current = s->connection().GetCurrentDirectory();
        const std::string currentDir = current.ok() ? current.value : std::string();
        FtpResult cd = s->connection().SetCurrentDirectory(server.remoteDir);
        if (!cd.ok()) {
            if (s->control() != nullptr && s->control()->IsCancelled()) {
                Ui().SetTrayState(0);
                return cd.code;
            }
            std::string text = InternetErrorMessage(cd.code);
            if (text.empty()) {
                text = cd.text;
            }
            Ui().ShowMessage(text, MessageKind::Stop, MessageButtons::Ok);
            WriteLogEntry(logcode::ChangeDirectoryFailed, currentDir, server.host, server.remoteDir,
                          cd.text.empty() ? "-" : cd.text);
            Ui().SetTrayState(0);
            run.connectErrorCode = cd.code;
            run.connectErrorText = cd.text;
            return cd.code;
        }
        WriteLogEntry(logcode::ChangeDirectoryOk, currentDir, server.host, server.remoteDir, "-");
    }
    Ui().SetTrayState(0);
    return 0;
}

void CloseOne(std::unique_ptr<CTransferSession> session) {
    if (!session) {
        return;
    }
    if (session->CloseConnection()) {
        WriteLogEntry(logcode::FtpConnectionClosed, kLocalMachine, session->host(), "-", "-");
    }
    WriteLogEntry(logcode::SessionClosed, kLocalMachine, session->host(), "-", "-");
    session.reset();  // sets the tray state to 0
}

}  // namespace

std::int32_t OpenTransferSession(TransferRun& run) { return OpenSession(run, SessionSide::Source); }

std::int32_t OpenDestinationSession(TransferRun& run) { return OpenSession(run, SessionSide::Destination); }

void CloseTransferSessions(TransferRun& run) {
    CloseSourceSession(run);
    CloseDestinationSession(run);
}

void CloseSourceSession(TransferRun& run) { CloseOne(run.TakeSourceSession()); }

void CloseDestinationSession(TransferRun& run) { CloseOne(run.TakeDestinationSession()); }

}  // namespace zyfar
