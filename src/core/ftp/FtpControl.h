#pragma once
// The FTP control connection: one small function per command and its reply,
// and one place (ClassifyReply / ReplyFailure) that turns replies into results.
// It talks to a ByteStream only, so a scripted peer can stand in for a server.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpError.h"
#include "ftp/RemoteEntry.h"
#include "ftp/ReplyFramer.h"
#include "ftp/Socket.h"
#include "platform/TextUtil.h"

namespace zyfar {

// Called with each command sent ("> ...", the password masked) and each reply
// received ("< ..."). Never sees a password.
using FtpTraceFn = std::function<void(std::string_view line)>;

struct FtpFeatures {
    bool mlst = false;  // MLST offered (MLSD comes with it)
    bool mlsd = false;
    bool size = false;
    bool mdtm = false;
    bool epsv = false;
    bool utf8 = false;
    // Resumed transfers and content hashes (ReadTransferFeatures).
    bool restStream = false;                  // "REST STREAM": REST before RETR and STOR
    std::vector<std::string> hashAlgorithms;  // "HASH SHA-1;SHA-256*": the names, upper-case, without "*"
    std::string hashSelected;                 // the one marked "*" (then the one OPTS HASH selected)
    bool xsha256 = false;
    bool xsha1 = false;
    bool xmd5 = false;
    // FTP over TLS: the control and data connections are protected.
    bool tls = false;
    std::string tlsProtocol;  // "TLS 1.3"
    std::string tlsCipher;    // "TLS_AES_256_GCM_SHA384"
};

// "TLS 1.3, TLS_AES_256_GCM_SHA384" for a protected session, "" otherwise:
// the detail of the connection's log events and script lines.
[[nodiscard]] std::string SecurityDetail(const FtpFeatures& features);

// Reads, from a FEAT reply, the features of resumed transfers and content
// hashes: "REST STREAM", "HASH <list>" and "XSHA256", "XSHA1", "XMD5".
void ReadTransferFeatures(const FtpReply& reply, FtpFeatures& features);

struct ControlTimeouts {
    Millis send{20000};
    Millis receive{20000};
};

// What a reply means to the caller. The special cases come first.
enum class ReplyKind {
    kPreliminary,     // 1xx
    kCompletion,      // 2xx
    kIntermediate,    // 3xx
    kServiceClosing,  // 421: the server is closing the control connection
    kTransferAborted, // 426: the data connection was closed, transfer aborted
    kFileBusy,        // 450: file unavailable (busy), try again later
    kTransient,       // other 4xx
    kNotUnderstood,   // 500-504: unknown or unsupported command or argument
    kPermanent,       // other 5xx
};

[[nodiscard]] ReplyKind ClassifyReply(int code);

// The failure a reply stands for: 421 gives 12111, 426 gives 12030, anything
// else the given code. The text quotes the server's reply.
[[nodiscard]] FtpResult ReplyFailure(const FtpReply& reply, std::int32_t code = ftpcode::kExtendedError);

// The folder inside a 257 reply: `257 "/a ""b"""` gives `/a "b"`. Without
// quotes the first word is taken. Empty when nothing can be read.
[[nodiscard]] std::optional<std::string> ParsePwdReply(std::string_view text);
// The port of a 229 reply "(|||port|)".
[[nodiscard]] std::optional<std::uint16_t> ParseEpsvReply(std::string_view text);
// The port of a 227 reply "(h1,h2,h3,h4,p1,p2)"; the address is ignored.
[[nodiscard]] std::optional<std::uint16_t> ParsePasvReply(std::string_view text);
// A 213 time "YYYYMMDDHHMMSS[.fff]" (UTC).
[[nodiscard]] std::optional<RemoteTime> ParseMdtmTime(std::string_view text);
// A 213 size: decimal, 64-bit, no sign.
[[nodiscard]] std::optional<std::int64_t> ParseSizeReply(std::string_view text);
// "PORT h1,h2,h3,h4,p1,p2" / "EPRT |2|addr|port|" argument for an address.
[[nodiscard]] std::string FormatPortArgument(const SocketAddress& address);
[[nodiscard]] std::string FormatEprtArgument(const SocketAddress& address);

// True when an argument may go on the control connection (no CR, LF or NUL).
[[nodiscard]] inline bool IsSafeArgument(std::string_view arg) { return !HasLineBreakOrNul(arg); }

class FtpControl {
public:
    FtpControl(std::unique_ptr<ByteStream> stream, ControlTimeouts timeouts, FtpTraceFn trace);
    ~FtpControl();
    FtpControl(const FtpControl&) = delete;
    FtpControl& operator=(const FtpControl&) = delete;

    // ---- plumbing ----
    // Sends "VERB arg"; refuses an argument with CR, LF or NUL before sending.
    // With cancellable false the send ignores the worker's cancel flag.
    [[nodiscard]] FtpResult Send(std::string_view verb, std::string_view arg = {}, bool cancellable = true);
    // Waits for the next complete reply. With cancellable false the wait
    // ignores the worker's cancel flag (used while aborting a transfer).
    [[nodiscard]] FtpOutcome<FtpReply> ReadReply(bool cancellable = true);
    // Send, then ReadReply.
    [[nodiscard]] FtpOutcome<FtpReply> Exchange(std::string_view verb, std::string_view arg = {});

    // False once the connection is gone or out of step (a time-out, a drop,
    // 421, a broken reply). Every later call then fails at once.
    [[nodiscard]] bool usable() const { return stream_ != nullptr && broken_.ok(); }
    [[nodiscard]] const FtpResult& broken() const { return broken_; }
    // Marks the connection unusable and closes it.
    void Break(const FtpResult& why);

    // ---- commands ----
    [[nodiscard]] FtpResult ReadGreeting();
    [[nodiscard]] FtpResult Login(const std::string& user, const std::string& password);
    [[nodiscard]] FtpResult Feat();
    [[nodiscard]] FtpOutcome<std::string> Pwd();
    [[nodiscard]] FtpResult Cwd(std::string_view path);
    [[nodiscard]] FtpResult Mkd(std::string_view path);
    [[nodiscard]] FtpResult Rmd(std::string_view path);
    [[nodiscard]] FtpResult Dele(std::string_view path);
    [[nodiscard]] FtpResult Rename(std::string_view from, std::string_view to);
    // TYPE A or TYPE I, sent only when it differs from the last one that the
    // server accepted.
    [[nodiscard]] FtpResult Type(bool ascii);
    [[nodiscard]] FtpOutcome<std::int64_t> Size(std::string_view path);
    [[nodiscard]] FtpOutcome<RemoteTime> Mdtm(std::string_view path);
    // The fact line of an MLST reply (as the server sent it).
    [[nodiscard]] FtpOutcome<std::string> Mlst(std::string_view path);
    // REST n; only 350 is a success.
    [[nodiscard]] FtpResult Rest(std::int64_t offset);
    // OPTS HASH selected another algorithm: later HASH commands use it.
    void NoteHashSelected(std::string name) { features_.hashSelected = std::move(name); }
    [[nodiscard]] FtpOutcome<std::uint16_t> Epsv();
    [[nodiscard]] FtpOutcome<std::uint16_t> Pasv();
    [[nodiscard]] FtpResult Port(const SocketAddress& listening);
    // Sends QUIT, waits briefly for its reply and closes the connection.
    void Quit();

    [[nodiscard]] const FtpFeatures& features() const { return features_; }
    // Replaces the login password, where a server echoes it, by "****" (as
    // MaskSecret says). Every reply this control reads carries the password
    // as its secret, so the texts made from replies are masked too.
    void ScrubSecret(std::string& text) const { MaskSecret(text, secret_); }
    // The code of the last reply read (0 before any).
    [[nodiscard]] int lastReplyCode() const { return lastReplyCode_; }
    // False after the server refused EPSV with 500-504 (then PASV is used).
    [[nodiscard]] bool epsvWorks() const { return epsvWorks_; }
    void ForgetType() { type_ = 0; }

    // ---- FTP over TLS ----
    // Hands the connection's stream to `upgrade` and goes on over what it
    // returns (TLS on the same socket, after "234" to AUTH TLS). Refused,
    // and the connection broken, when the server sent anything after its
    // last reply: those bytes came in clear and must not pass for protected.
    using StreamUpgrade = std::function<FtpOutcome<std::unique_ptr<ByteStream>>(std::unique_ptr<ByteStream>)>;
    [[nodiscard]] FtpResult UpgradeStream(const StreamUpgrade& upgrade);
    // Records, after FEAT, how the session is protected (features().tls...).
    void MarkProtected(std::string protocol, std::string cipher);

private:
    [[nodiscard]] FtpResult OnLoginUserReply(const FtpReply& reply, const std::string& password);
    [[nodiscard]] FtpResult OnLoginPassReply(const FtpReply& reply);
    void OnFeatReply(const FtpReply& reply);
    // A command whose only success is a 2xx reply.
    [[nodiscard]] FtpResult SimpleCommand(std::string_view verb, std::string_view arg);
    void TraceLine(char direction, std::string_view line) const;

    std::unique_ptr<ByteStream> stream_;
    ControlTimeouts timeouts_;
    FtpTraceFn trace_;
    ReplyFramer framer_;
    FtpFeatures features_;
    FtpResult broken_;
    std::string secret_;  // the password, kept only to keep it out of texts
    char type_ = 0;  // 'A', 'I', or 0 when unknown
    int lastReplyCode_ = 0;
    bool epsvWorks_ = true;
};

}  // namespace zyfar
