#pragma once
// An FTP client connection: what the engine, scripts and remote browsing use
// for every server operation (connect, folders, files, listings). It belongs
// to the worker thread that uses it; another thread may only cancel that
// worker through its WorkerControl, which ends any blocking wait at once.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ftp/CertificateTrust.h"
#include "ftp/FtpControl.h"
#include "ftp/FtpDataStream.h"
#include "ftp/FtpError.h"
#include "ftp/FtpHash.h"
#include "ftp/FtpProxy.h"
#include "ftp/ListingParser.h"
#include "ftp/RemoteEntry.h"
#include "ftp/Socket.h"
#include "settings/Keys.h"

namespace zyfar {

class TlsContext;
class WorkerControl;

enum class FtpAccess {
    kDirect,     // connect to the server
    kPreconfig,  // the proxy named by ftp_proxy / all_proxy when it is http://, else direct
    kProxy,      // HTTP CONNECT through proxyName:proxyPort (data then always passive)
};

enum class FtpTransferType { kAscii = 1, kBinary = 2 };
enum class FtpOpenMode { kRead, kWrite };

// How OpenFileAt started a transfer.
enum class FtpStartMethod {
    kFromStart,  // RETR / STOR of the whole file (the offset could not be used)
    kRestart,    // REST <offset>, then RETR / STOR
    kAppend,     // APPE: the server's file had exactly <offset> bytes
};

// A server's answer to a hash command.
struct RemoteHashResult {
    enum class Status {
        kHash,        // hex holds the hash (lower case)
        kRefused,     // the server answered 4xx/5xx and the connection is fine
        kUnreadable,  // a 2xx answer that is not a hash of the asked kind
        kFailed,      // the connection failed, or the worker was cancelled
    };
    Status status = Status::kFailed;
    std::string hex;
    FtpResult failure;  // why, unless kHash (quotes the server's reply)
};

// What OpenFileAt does when the offset cannot be used.
enum class FtpOffsetRule {
    kOrFromStart,   // the whole file instead
    kOnlyAtOffset,  // nothing: the open fails (a file that must not be replaced)
};

// A file OpenFileAt opened, and from where its bytes go.
struct FtpOpenedFile {
    std::unique_ptr<FtpFileStream> stream;
    std::int64_t offset = 0;  // the first byte the stream carries (0 unless resumed)
    FtpStartMethod method = FtpStartMethod::kFromStart;
};

struct FtpConnectOptions {
    std::string host;
    std::uint16_t port = 21;
    std::string user;      // empty: "anonymous"
    std::string password;  // never logged, never in an error text
    bool passive = false;  // active mode (PORT/EPRT) unless set

    FtpAccess access = FtpAccess::kDirect;
    std::string proxyName;
    std::uint16_t proxyPort = 2021;

    Millis connectTimeout{20000};
    int retries = 2;  // further connect attempts after the first
    Millis dataReceiveTimeout{20000};
    Millis dataSendTimeout{20000};
    Millis controlReceiveTimeout{20000};
    Millis controlSendTimeout{20000};

    bool reload = true;  // every Find lists afresh
    bool cache = false;  // with !reload, a listing may be reused within this client
    // Bounds of one listing; maxTotalBytes also bounds all listings the client keeps.
    ListingLimits listingLimits;

    FtpTraceFn trace;    // commands and replies, password masked
    EnvLookup env;       // environment for kPreconfig (default: the process's)

    // FTP over TLS. Explicit: AUTH TLS after the greeting (the server must
    // answer 234), then after the login PBSZ 0 and PROT P; implicit: TLS
    // from the first byte (the caller picks the port, usually 990). A server
    // that refuses any of it fails the connect (12113) and nothing more is
    // sent in clear; data connections are always protected.
    Encryption encryption = Encryption::None;
    // Asked about a certificate that neither verifies nor is trusted already
    // (see CertificateTrust.h); without one such a certificate is refused.
    TrustCallback trust{};
    // A fingerprint ("SHA256:...") accepted for this connection without asking.
    std::string acceptFingerprint{};
    // The trusted-certificates file; empty: TrustedCertificatesPath().
    std::string trustFile{};
    // A certificate authority file trusted besides the system's (tests, a
    // private authority).
    std::string extraCaFile{};
};

// One entry a Find returned.
struct FtpFoundFile {
    RemoteEntry entry;
    std::string path;  // the full remote path: the searched folder + "/" + name

    [[nodiscard]] const std::string& FileName() const { return entry.name; }
    [[nodiscard]] const std::string& FilePath() const { return path; }
    [[nodiscard]] std::int64_t Length() const { return entry.size < 0 ? 0 : entry.size; }
    [[nodiscard]] const RemoteTime& LastWriteTime() const { return entry.modified; }
    [[nodiscard]] bool IsDirectory() const { return entry.isDirectory; }
};

// A server's certificate as CheckCertificate found it.
struct CertificateCheck {
    CertificateInfo certificate;
    bool verified = false;  // trusted authority, names the host
};

class FtpClient {
public:
    explicit FtpClient(WorkerControl* control = nullptr);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Resolves, connects (retrying), reads the greeting, logs in and asks
    // FEAT. Failures: 12007 name, 12029 cannot connect, 12002 time-out,
    // 12013 / 12015 login, 12017 cancelled, 12003 other server replies.
    [[nodiscard]] FtpResult Connect(const FtpConnectOptions& options);
    [[nodiscard]] bool IsConnected() const;

    [[nodiscard]] FtpOutcome<std::string> GetCurrentDirectory();
    [[nodiscard]] FtpResult SetCurrentDirectory(const std::string& path);
    [[nodiscard]] FtpResult CreateDirectory(const std::string& path);
    [[nodiscard]] FtpResult RemoveDirectory(const std::string& path);
    [[nodiscard]] FtpResult Remove(const std::string& path);
    [[nodiscard]] FtpResult Rename(const std::string& from, const std::string& to);
    [[nodiscard]] FtpOutcome<std::int64_t> Size(const std::string& path);
    [[nodiscard]] FtpOutcome<RemoteTime> ModificationTime(const std::string& path);

    // Opens a remote file. Only one file may be open at a time; the client
    // refuses other operations (12110) until it is closed or aborted. The
    // stream must not outlive the client.
    [[nodiscard]] FtpOutcome<std::unique_ptr<FtpFileStream>> OpenFile(const std::string& path, FtpOpenMode mode,
                                                                      FtpTransferType type);

    // ---- resumed transfers and content hashes ----

    // OpenFile from byte `offset` (binary only; an ASCII file or an offset of
    // 0 starts from the beginning). Reading: REST before RETR when the server
    // offers REST STREAM. Writing: REST before STOR when it offers REST
    // STREAM, else APPE when SIZE says the server's file has exactly
    // `offset` bytes. A server that refuses REST, lacks it, or holds another
    // size gets the whole file (offset 0): the result says which happened,
    // and the caller must start its own side from that offset. With
    // kOnlyAtOffset the open fails instead (no transfer command is sent).
    [[nodiscard]] FtpOutcome<FtpOpenedFile> OpenFileAt(const std::string& path, FtpOpenMode mode,
                                                       FtpTransferType type, std::int64_t offset,
                                                       FtpOffsetRule rule = FtpOffsetRule::kOrFromStart);

    // The hash command the server offers (FEAT), best first; none without one.
    [[nodiscard]] std::optional<HashChoice> OfferedHash() const;
    // The server's hash of a whole file. HASH selects the algorithm with
    // OPTS HASH first when the server has another one selected.
    [[nodiscard]] RemoteHashResult RemoteHash(const std::string& path, const HashChoice& choice);

    // The entries that match a path: a full path gives the entry of that name
    // (a folder included); a last part with "*" or "?" gives every entry of
    // the folder that matches it (case-sensitive); a path ending in "/" gives
    // the whole folder. Nothing found is a success with no entries.
    [[nodiscard]] FtpOutcome<std::vector<FtpFoundFile>> Find(const std::string& path);

    // For existence checks, where a refusal must not read as "nothing there":
    // the MLST entry of one path (any 4xx/5xx reply is a failure), and the
    // entries of one folder (a refused listing, 550, 450 and 501 included, is
    // a failure).
    [[nodiscard]] FtpOutcome<RemoteEntry> MlstEntry(const std::string& path);
    [[nodiscard]] FtpOutcome<std::vector<RemoteEntry>> ListEntries(const std::string& folder);

    // Sends QUIT and closes. Safe to call at any time, also when not connected.
    void Close();

    [[nodiscard]] const FtpFeatures& features() const;
    [[nodiscard]] WorkerControl* control() const { return control_; }
    // The server's certificate as the last Connect saw it (also when it was
    // refused); nothing for a connection without TLS.
    [[nodiscard]] const std::optional<CertificateInfo>& certificate() const { return certificate_; }
    // Connects like Connect, but only as far as the server's certificate
    // (explicit or implicit TLS; no login, no trust decision), and closes.
    [[nodiscard]] FtpOutcome<CertificateCheck> CheckCertificate(const FtpConnectOptions& options);

private:
    [[nodiscard]] FtpResult Ready() const;
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> ConnectControl();
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> ConnectOnce(const std::vector<SocketAddress>& addrs);
    // Opens a data connection and sends the command; the stream is returned
    // once the server's 1xx reply has arrived.
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> OpenData(std::string_view verb, std::string_view arg);
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> OpenPassiveData(std::string_view verb,
                                                                          std::string_view arg);
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> OpenActiveData(std::string_view verb,
                                                                         std::string_view arg);
    // refusalIsEmpty: a refused listing (550, 450, MLSD 501) is an empty folder.
    [[nodiscard]] FtpOutcome<std::vector<RemoteEntry>> ListFolder(const std::string& folder,
                                                                  bool refusalIsEmpty = true);
    [[nodiscard]] FtpOutcome<std::vector<FtpFoundFile>> FindExact(const std::string& folder,
                                                                  const std::string& name);
    // The transfer command of a data connection, preceded by REST when
    // OpenFileAt asked for one (restOffset_), so that REST comes right before it.
    [[nodiscard]] FtpOutcome<FtpReply> TransferCommand(std::string_view verb, std::string_view arg);
    void ForgetListings() {
        listingCache_.clear();
        listingCacheBytes_ = 0;
    }

    WorkerControl* control_;
    FtpConnectOptions options_;
    std::optional<ProxyEndpoint> proxy_;
    SocketAddress controlLocal_;
    SocketAddress controlPeer_;
    std::unique_ptr<FtpControl> ctrl_;
    bool fileOpen_ = false;
    std::map<std::string, std::vector<RemoteEntry>> listingCache_;
    std::size_t listingCacheBytes_ = 0;  // HeldBytes of every kept listing
    std::int64_t restOffset_ = 0;  // REST to send before the next transfer command
    bool restAccepted_ = false;    // the last transfer command followed an accepted REST
    bool restRequired_ = false;    // a refused REST sends no transfer command

    // ---- FTP over TLS (FtpClientTls.cpp) ----
    // AUTH TLS, then TLS on the control connection.
    [[nodiscard]] FtpResult StartExplicitTls();
    // PBSZ 0 and PROT P after the login.
    [[nodiscard]] FtpResult ProtectDataConnections();
    // TLS over a plain stream's socket: the control connection (the
    // certificate decided on) or a data connection (resuming the control
    // connection's session; the same certificate).
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> SecureStream(std::unique_ptr<ByteStream> plain,
                                                                       bool isControl);
    // A data connection whose transfer command was answered: protected, or
    // on failure the transfer aborted so the control connection stays in step.
    [[nodiscard]] FtpOutcome<std::unique_ptr<ByteStream>> ProtectData(std::unique_ptr<ByteStream> plain);
    [[nodiscard]] FtpResult DecideOnCertificate(const CertificateInfo& certificate, bool verified);
    std::shared_ptr<TlsContext> tls_;
    std::optional<CertificateInfo> certificate_;
    std::string tlsProtocol_;
    std::string tlsCipher_;
    bool dataProtected_ = false;  // PROT P accepted: every data connection is TLS
    bool checkingOnly_ = false;   // CheckCertificate: stop at the certificate
    bool checkedVerified_ = false;
};

// Splits a remote path at its last "/" (or "\" when the path has no "/"):
// ("/pub/a.txt") -> ("/pub", "a.txt"); ("a.txt") -> ("", "a.txt");
// ("/a.txt") -> ("/", "a.txt").
struct RemotePathParts {
    std::string folder;
    std::string name;
};
[[nodiscard]] RemotePathParts SplitRemotePath(const std::string& path);
// folder + separator + name, without doubling the separator.
[[nodiscard]] std::string JoinRemotePath(const std::string& folder, const std::string& name);

}  // namespace zyfar
