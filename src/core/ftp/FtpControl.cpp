#include "ftp/FtpControl.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

#include "platform/TextUtil.h"

namespace zyfar {

namespace {

constexpr std::size_t kReceiveChunk = 16 * 1024;
// QUIT is a courtesy: its reply is waited for at most this long.
constexpr Millis kQuitReplyWait{2000};

// Text of the first line after "ddd" and its separator.
std::string_view FirstLineText(const FtpReply& reply) {
    if (reply.lines.empty()) {
        return {};
    }
    std::string_view first = reply.lines.front();
    return first.size() > 4 ? first.substr(4) : std::string_view{};
}

FtpResult NotConnected() {
    return FtpFail(ftpcode::kIncorrectHandleState, "Not connected to an FTP server.");
}

}  // namespace

// ---- classification --------------------------------------------------------------

ReplyKind ClassifyReply(int code) {
    switch (code) {
    case 421: return ReplyKind::kServiceClosing;
    case 426: return ReplyKind::kTransferAborted;
    case 450: return ReplyKind::kFileBusy;
    default: break;
    }
    if (code >= 500 && code <= 504) {
        return ReplyKind::kNotUnderstood;
    }
    switch (code / 100) {
    case 1: return ReplyKind::kPreliminary;
    case 2: return ReplyKind::kCompletion;
    case 3: return ReplyKind::kIntermediate;
    case 4: return ReplyKind::kTransient;
    default: return ReplyKind::kPermanent;
    }
}

FtpResult ReplyFailure(const FtpReply& reply, std::int32_t code) {
    switch (ClassifyReply(reply.code)) {
    case ReplyKind::kServiceClosing: code = ftpcode::kDropped; break;
    case ReplyKind::kTransferAborted: code = ftpcode::kConnectionAborted; break;
    default: break;
    }
    if (code == ftpcode::kOk) {
        code = ftpcode::kExtendedError;
    }
    return FtpFail(code, reply.Text());
}

// ---- reply parsers ---------------------------------------------------------------

std::optional<std::string> ParsePwdReply(std::string_view text) {
    const std::size_t open = text.find('"');
    if (open == std::string_view::npos) {
        const std::size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t end = text.find(' ', start);
        return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
    }
    std::string out;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
                out += '"';
                ++i;
                continue;
            }
            return out.empty() ? std::nullopt : std::optional<std::string>(std::move(out));
        }
        out += text[i];
    }
    return std::nullopt;  // no closing quote
}

std::optional<std::uint16_t> ParseEpsvReply(std::string_view text) {
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos || open + 4 >= text.size()) {
        return std::nullopt;
    }
    const char d = text[open + 1];
    if (text[open + 2] != d || text[open + 3] != d) {
        return std::nullopt;
    }
    const std::size_t start = open + 4;
    const std::size_t end = text.find(d, start);
    if (end == std::string_view::npos || end + 1 >= text.size() || text[end + 1] != ')') {
        return std::nullopt;
    }
    const std::string_view digits = text.substr(start, end - start);
    if (!AllDigits(digits) || digits.size() > 5) {
        return std::nullopt;
    }
    const unsigned long port = std::stoul(std::string(digits));
    if (port == 0 || port > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

std::optional<std::uint16_t> ParsePasvReply(std::string_view text) {
    // Six comma-separated numbers, with or without parentheses.
    std::size_t i = 0;
    while (i < text.size() && !IsDigit(text[i])) {
        ++i;
    }
    unsigned long n[6] = {};
    for (int k = 0; k < 6; ++k) {
        std::size_t j = i;
        while (j < text.size() && IsDigit(text[j]) && j - i < 4) {
            ++j;
        }
        if (j == i || j - i > 3) {
            return std::nullopt;
        }
        n[k] = std::stoul(std::string(text.substr(i, j - i)));
        if (n[k] > 255) {
            return std::nullopt;
        }
        if (k < 5) {
            if (j >= text.size() || text[j] != ',') {
                return std::nullopt;
            }
            ++j;
        }
        i = j;
    }
    const unsigned long port = n[4] * 256 + n[5];
    if (port == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(port);
}

std::optional<RemoteTime> ParseMdtmTime(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    if (text.size() < 14 || !AllDigits(text.substr(0, 14))) {
        return std::nullopt;
    }
    auto num = [&](std::size_t pos, std::size_t len) {
        return std::stoi(std::string(text.substr(pos, len)));
    };
    RemoteTime t;
    t.year = num(0, 4);
    t.month = num(4, 2);
    t.day = num(6, 2);
    t.hour = num(8, 2);
    t.minute = num(10, 2);
    t.second = num(12, 2);
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
        t.second > 60) {
        return std::nullopt;
    }
    t.second = std::min(t.second, 59);
    t.valid = true;
    return t;
}

std::optional<std::int64_t> ParseSizeReply(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (!AllDigits(text)) {
        return std::nullopt;
    }
    std::int64_t v = 0;
    for (char c : text) {
        const int d = c - '0';
        if (v > (std::numeric_limits<std::int64_t>::max() - d) / 10) {
            return std::nullopt;
        }
        v = v * 10 + d;
    }
    return v;
}

std::string FormatPortArgument(const SocketAddress& address) {
    std::string host = address.HostText();
    std::replace(host.begin(), host.end(), '.', ',');
    const unsigned p = address.port();
    return host + "," + std::to_string(p / 256) + "," + std::to_string(p % 256);
}

std::string FormatEprtArgument(const SocketAddress& address) {
    const std::string host = address.HostText();
    const bool v6 = host.find(':') != std::string::npos;
    return std::string("|") + (v6 ? "2" : "1") + "|" + host + "|" + std::to_string(address.port()) + "|";
}

// ---- FtpControl --------------------------------------------------------------------

FtpControl::FtpControl(std::unique_ptr<ByteStream> stream, ControlTimeouts timeouts, FtpTraceFn trace)
    : stream_(std::move(stream)), timeouts_(timeouts), trace_(std::move(trace)) {}

FtpControl::~FtpControl() = default;

void FtpControl::TraceLine(char direction, std::string_view line) const {
    if (!trace_) {
        return;
    }
    std::string out;
    out += direction;
    out += ' ';
    out += line;
    ScrubSecret(out);
    trace_(out);
}

void FtpControl::Break(const FtpResult& why) {
    if (broken_.ok()) {
        broken_ = why.ok() ? FtpFail(ftpcode::kDropped, "The connection was closed.") : why;
    }
    if (stream_) {
        stream_->CloseNow();
    }
}

FtpResult FtpControl::Send(std::string_view verb, std::string_view arg, bool cancellable) {
    if (!IsSafeArgument(arg) || !IsSafeArgument(verb)) {
        return FtpFail(ftpcode::kInvalidOperation,
                       "The requested operation is invalid: a name holds a line break or NUL.");
    }
    if (!usable()) {
        return stream_ ? broken_ : NotConnected();
    }
    std::string line(verb);
    if (!arg.empty()) {
        line += ' ';
        line += arg;
    }
    TraceLine('>', ToUpperAscii(verb) == "PASS" ? std::string("PASS ****") : line);
    line += "\r\n";
    stream_->SetCancellable(cancellable);
    FtpResult r = stream_->SendAll(line, timeouts_.send);
    stream_->SetCancellable(false);
    if (!r.ok()) {
        Break(r);
    }
    return r;
}

FtpOutcome<FtpReply> FtpControl::ReadReply(bool cancellable) {
    if (!usable()) {
        return stream_ ? broken_ : NotConnected();
    }
    char buf[kReceiveChunk];
    while (!framer_.HasReply()) {
        stream_->SetCancellable(cancellable);
        FtpOutcome<std::size_t> got = stream_->ReceiveSome(buf, sizeof(buf), timeouts_.receive);
        stream_->SetCancellable(false);
        if (!got.ok()) {
            Break(got.result);
            return got.result;
        }
        if (got.value == 0) {
            FtpResult r = FtpFail(ftpcode::kConnectionAborted,
                                  "The connection with the server has been terminated.");
            Break(r);
            return r;
        }
        if (!framer_.Feed(std::string_view(buf, got.value))) {
            FtpResult r = FtpFail(ftpcode::kExtendedError, "Invalid reply from the server: " + framer_.Error());
            Break(r);
            return r;
        }
    }
    FtpReply reply = framer_.TakeReply();
    reply.secret = secret_;
    lastReplyCode_ = reply.code;
    for (const std::string& l : reply.lines) {
        TraceLine('<', l);
    }
    if (ClassifyReply(reply.code) == ReplyKind::kServiceClosing) {
        Break(ReplyFailure(reply));
    }
    return reply;
}

FtpOutcome<FtpReply> FtpControl::Exchange(std::string_view verb, std::string_view arg) {
    FtpResult sent = Send(verb, arg);
    if (!sent.ok()) {
        return sent;
    }
    return ReadReply();
}

FtpResult FtpControl::SimpleCommand(std::string_view verb, std::string_view arg) {
    FtpOutcome<FtpReply> r = Exchange(verb, arg);
    if (!r.ok()) {
        return r.result;
    }
    if (ClassifyReply(r.value.code) != ReplyKind::kCompletion) {
        return ReplyFailure(r.value);
    }
    return FtpOk();
}

// ---- commands ------------------------------------------------------------------------

FtpResult FtpControl::ReadGreeting() {
    for (;;) {
        FtpOutcome<FtpReply> r = ReadReply();
        if (!r.ok()) {
            return r.result;
        }
        switch (ClassifyReply(r.value.code)) {
        case ReplyKind::kPreliminary: continue;  // "120 ready in n minutes": wait on
        case ReplyKind::kCompletion: return FtpOk();
        default: {
            FtpResult f = ReplyFailure(r.value, ftpcode::kCannotConnect);
            Break(f);
            return f;
        }
        }
    }
}

FtpResult FtpControl::Login(const std::string& user, const std::string& password) {
    const std::string name = user.empty() ? std::string("anonymous") : user;
    if (!IsSafeArgument(password)) {
        return FtpFail(ftpcode::kInvalidOperation,
                       "The requested operation is invalid: the password holds a line break or NUL.");
    }
    secret_ = password;
    FtpOutcome<FtpReply> r = Exchange("USER", name);
    if (!r.ok()) {
        return r.result;
    }
    FtpResult result = OnLoginUserReply(r.value, password);
    ScrubSecret(result.text);
    return result;
}

FtpResult FtpControl::OnLoginUserReply(const FtpReply& reply, const std::string& password) {
    switch (ClassifyReply(reply.code)) {
    case ReplyKind::kCompletion: return FtpOk();  // logged in without a password
    case ReplyKind::kIntermediate: break;
    case ReplyKind::kNotUnderstood:
    case ReplyKind::kPermanent: return ReplyFailure(reply, ftpcode::kIncorrectUserName);
    default: return ReplyFailure(reply, ftpcode::kLoginFailure);
    }
    if (reply.code == 332) {
        return FtpFail(ftpcode::kLoginFailure, "The server asks for an account (ACCT), which is not supported: " +
                                                   reply.Text());
    }
    FtpOutcome<FtpReply> p = Exchange("PASS", password);
    if (!p.ok()) {
        return p.result;
    }
    return OnLoginPassReply(p.value);
}

FtpResult FtpControl::OnLoginPassReply(const FtpReply& reply) {
    if (ClassifyReply(reply.code) == ReplyKind::kCompletion) {
        return FtpOk();
    }
    if (reply.code == 332) {
        return FtpFail(ftpcode::kLoginFailure, "The server asks for an account (ACCT), which is not supported: " +
                                                   reply.Text());
    }
    return ReplyFailure(reply, ftpcode::kLoginFailure);
}

FtpResult FtpControl::Feat() {
    FtpOutcome<FtpReply> r = Exchange("FEAT");
    if (!r.ok()) {
        return r.result;
    }
    OnFeatReply(r.value);
    return FtpOk();  // a server without FEAT simply offers no extensions
}

namespace {

// Each feature line of a FEAT reply (between its first and last line): the
// upper-cased first word and the text after the blank that ends it.
template <typename Fn>
void ForEachFeature(const FtpReply& reply, Fn&& fn) {
    for (std::size_t i = 1; i + 1 < reply.lines.size(); ++i) {
        std::string_view line = reply.lines[i];
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            continue;
        }
        line.remove_prefix(start);
        const std::size_t blank = line.find(' ');
        fn(ToUpperAscii(line.substr(0, blank)),
           blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1));
    }
}

}  // namespace

void FtpControl::OnFeatReply(const FtpReply& reply) {
    features_ = FtpFeatures{};
    if (reply.code != 211 || reply.lines.size() < 2) {
        return;
    }
    ForEachFeature(reply, [this](const std::string& word, std::string_view) {
        if (word == "MLST") {
            features_.mlst = true;
            features_.mlsd = true;  // MLSD comes with MLST
        } else if (word == "MLSD") {
            features_.mlsd = true;
        } else if (word == "SIZE") {
            features_.size = true;
        } else if (word == "MDTM") {
            features_.mdtm = true;
        } else if (word == "EPSV") {
            features_.epsv = true;
        } else if (word == "UTF8") {
            features_.utf8 = true;
        }
    });
    ReadTransferFeatures(reply, features_);
}

void ReadTransferFeatures(const FtpReply& reply, FtpFeatures& features) {
    ForEachFeature(reply, [&features](const std::string& word, std::string_view rest) {
        if (word == "REST") {
            features.restStream = features.restStream || ToUpperAscii(rest).find("STREAM") != std::string::npos;
        } else if (word == "XSHA256") {
            features.xsha256 = true;
        } else if (word == "XSHA1") {
            features.xsha1 = true;
        } else if (word == "XMD5") {
            features.xmd5 = true;
        } else if (word == "HASH") {
            features.hashAlgorithms.clear();
            features.hashSelected.clear();
            std::size_t pos = 0;
            while (pos <= rest.size()) {
                const std::size_t semi = std::min(rest.find(';', pos), rest.size());
                std::string name = ToUpperAscii(rest.substr(pos, semi - pos));
                while (!name.empty() && IsWhiteSpace(name.back())) name.pop_back();
                while (!name.empty() && IsWhiteSpace(name.front())) name.erase(0, 1);
                const bool selected = !name.empty() && name.back() == '*';
                if (selected) {
                    name.pop_back();
                }
                if (!name.empty()) {
                    if (selected) {
                        features.hashSelected = name;
                    }
                    features.hashAlgorithms.push_back(std::move(name));
                }
                pos = semi + 1;
            }
        }
    });
}

FtpOutcome<std::string> FtpControl::Pwd() {
    FtpOutcome<FtpReply> r = Exchange("PWD");
    if (!r.ok()) {
        return r.result;
    }
    if (r.value.code != 257) {
        return ReplyFailure(r.value);
    }
    std::optional<std::string> dir = ParsePwdReply(FirstLineText(r.value));
    if (!dir) {
        return FtpFail(ftpcode::kExtendedError, "Unreadable current directory: " + r.value.Text());
    }
    return std::move(*dir);
}

FtpResult FtpControl::Cwd(std::string_view path) { return SimpleCommand("CWD", path); }
FtpResult FtpControl::Mkd(std::string_view path) { return SimpleCommand("MKD", path); }
FtpResult FtpControl::Rmd(std::string_view path) { return SimpleCommand("RMD", path); }
FtpResult FtpControl::Dele(std::string_view path) { return SimpleCommand("DELE", path); }

FtpResult FtpControl::Rename(std::string_view from, std::string_view to) {
    if (!IsSafeArgument(to)) {  // refuse before RNFR goes out
        return FtpFail(ftpcode::kInvalidOperation,
                       "The requested operation is invalid: a name holds a line break or NUL.");
    }
    FtpOutcome<FtpReply> r = Exchange("RNFR", from);
    if (!r.ok()) {
        return r.result;
    }
    if (ClassifyReply(r.value.code) != ReplyKind::kIntermediate) {
        return ReplyFailure(r.value);
    }
    return SimpleCommand("RNTO", to);
}

FtpResult FtpControl::Type(bool ascii) {
    const char wanted = ascii ? 'A' : 'I';
    if (type_ == wanted) {
        return FtpOk();
    }
    FtpResult r = SimpleCommand("TYPE", ascii ? "A" : "I");
    type_ = r.ok() ? wanted : 0;
    return r;
}

FtpOutcome<std::int64_t> FtpControl::Size(std::string_view path) {
    FtpOutcome<FtpReply> r = Exchange("SIZE", path);
    if (!r.ok()) {
        return r.result;
    }
    if (r.value.code != 213) {
        return ReplyFailure(r.value);
    }
    std::optional<std::int64_t> size = ParseSizeReply(FirstLineText(r.value));
    if (!size) {
        return FtpFail(ftpcode::kExtendedError, "Unreadable size: " + r.value.Text());
    }
    return *size;
}

FtpOutcome<RemoteTime> FtpControl::Mdtm(std::string_view path) {
    FtpOutcome<FtpReply> r = Exchange("MDTM", path);
    if (!r.ok()) {
        return r.result;
    }
    if (r.value.code != 213) {
        return ReplyFailure(r.value);
    }
    std::optional<RemoteTime> t = ParseMdtmTime(FirstLineText(r.value));
    if (!t) {
        return FtpFail(ftpcode::kExtendedError, "Unreadable time: " + r.value.Text());
    }
    return *t;
}

FtpOutcome<std::string> FtpControl::Mlst(std::string_view path) {
    FtpOutcome<FtpReply> r = Exchange("MLST", path);
    if (!r.ok()) {
        return r.result;
    }
    if (ClassifyReply(r.value.code) != ReplyKind::kCompletion) {
        return ReplyFailure(r.value);
    }
    for (std::size_t i = 1; i + 1 < r.value.lines.size(); ++i) {
        if (!r.value.lines[i].empty() && r.value.lines[i][0] == ' ') {
            return r.value.lines[i];
        }
    }
    return FtpFail(ftpcode::kExtendedError, "MLST reply without facts: " + r.value.Text());
}

FtpResult FtpControl::Rest(std::int64_t offset) {
    FtpOutcome<FtpReply> r = Exchange("REST", std::to_string(offset));
    if (!r.ok()) {
        return r.result;
    }
    if (r.value.code != 350) {
        return ReplyFailure(r.value);
    }
    return FtpOk();
}

FtpOutcome<std::uint16_t> FtpControl::Epsv() {
    FtpOutcome<FtpReply> r = Exchange("EPSV");
    if (!r.ok()) {
        return r.result;
    }
    if (r.value.code != 229) {
        if (ClassifyReply(r.value.code) == ReplyKind::kNotUnderstood) {
            epsvWorks_ = false;
        }
        return ReplyFailure(r.value);
    }
    std::optional<std::uint16_t> port = ParseEpsvReply(FirstLineText(r.value));
    if (!port) {
        return FtpFail(ftpcode::kExtendedError, "Unreadable passive reply: " + r.value.Text());
    }
    return *port;
}

FtpOutcome<std::uint16_t> FtpControl::Pasv() {
    FtpOutcome<FtpReply> r = Exchange("PASV");
    if (!r.ok()) {
        return r.result;
    }
    if (r.value.code != 227) {
        return ReplyFailure(r.value);
    }
    std::optional<std::uint16_t> port = ParsePasvReply(FirstLineText(r.value));
    if (!port) {
        return FtpFail(ftpcode::kExtendedError, "Unreadable passive reply: " + r.value.Text());
    }
    return *port;
}

FtpResult FtpControl::Port(const SocketAddress& listening) {
    const bool v6 = listening.HostText().find(':') != std::string::npos;
    return v6 ? SimpleCommand("EPRT", FormatEprtArgument(listening))
              : SimpleCommand("PORT", FormatPortArgument(listening));
}

void FtpControl::Quit() {
    if (usable()) {
        TraceLine('>', "QUIT");
        if (stream_->SendAll("QUIT\r\n", std::min(timeouts_.send, kQuitReplyWait)).ok()) {
            char buf[512];
            const Millis wait = std::min(timeouts_.receive, kQuitReplyWait);
            while (!framer_.HasReply()) {
                FtpOutcome<std::size_t> got = stream_->ReceiveSome(buf, sizeof(buf), wait);
                if (!got.ok() || got.value == 0 || !framer_.Feed(std::string_view(buf, got.value))) {
                    break;
                }
            }
        }
    }
    Break(FtpFail(ftpcode::kIncorrectHandleState, "Not connected to an FTP server."));
}

// ---- FTP over TLS -------------------------------------------------------------------

std::string SecurityDetail(const FtpFeatures& features) {
    if (!features.tls) {
        return {};
    }
    return features.tlsCipher.empty() ? features.tlsProtocol : features.tlsProtocol + ", " + features.tlsCipher;
}

FtpResult FtpControl::UpgradeStream(const StreamUpgrade& upgrade) {
    if (!usable()) {
        return stream_ ? broken_ : NotConnected();
    }
    if (framer_.HasReply() || framer_.InMiddle()) {
        FtpResult r = FtpFail(ftpcode::kSecureChannelError,
                              "The server sent more than its reply before TLS started; the connection is closed.");
        Break(r);
        return r;
    }
    FtpOutcome<std::unique_ptr<ByteStream>> secured = upgrade(std::move(stream_));
    if (!secured.ok()) {
        broken_ = secured.result;  // the old stream is gone: nothing more is sent on it
        return secured.result;
    }
    stream_ = std::move(secured.value);
    return FtpOk();
}

void FtpControl::MarkProtected(std::string protocol, std::string cipher) {
    features_.tls = true;
    features_.tlsProtocol = std::move(protocol);
    features_.tlsCipher = std::move(cipher);
}

}  // namespace zyfar
