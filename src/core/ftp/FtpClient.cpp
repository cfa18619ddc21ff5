#include "ftp/FtpClient.h"

#include <ctime>
#include <utility>

#include "ftp/ListingParser.h"
#include "ftp/NameMask.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

constexpr std::size_t kListingChunk = 64 * 1024;

FtpResult Unsafe() {
    return FtpFail(ftpcode::kInvalidOperation,
                   "The requested operation is invalid: a name holds a line break or NUL.");
}

ListingContext NowContext() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    ListingContext ctx;
    ctx.now.year = tm.tm_year + 1900;
    ctx.now.month = tm.tm_mon + 1;
    ctx.now.day = tm.tm_mday;
    ctx.now.hour = tm.tm_hour;
    ctx.now.minute = tm.tm_min;
    ctx.now.second = std::min(tm.tm_sec, 59);
    ctx.now.valid = true;
    return ctx;
}

std::size_t ListingHeldBytes(const std::vector<RemoteEntry>& entries) {
    std::size_t n = 0;
    for (const RemoteEntry& e : entries) n += HeldBytes(e);
    return n;
}

bool Cancelled(const WorkerControl* control) { return control != nullptr && control->IsCancelled(); }

}  // namespace

RemotePathParts SplitRemotePath(const std::string& path) {
    const char sep = path.find('/') != std::string::npos ? '/' : '\\';
    const std::size_t cut = path.rfind(sep);
    if (cut == std::string::npos) {
        return {"", path};
    }
    if (cut == 0) {
        return {std::string(1, sep), path.substr(1)};
    }
    return {path.substr(0, cut), path.substr(cut + 1)};
}

std::string JoinRemotePath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const char sep = folder.find('/') == std::string::npos && folder.find('\\') != std::string::npos ? '\\' : '/';
    if (folder.back() == sep) {
        return folder + name;
    }
    return folder + sep + name;
}

FtpClient::FtpClient(WorkerControl* control) : control_(control) {}

FtpClient::~FtpClient() { Close(); }

bool FtpClient::IsConnected() const { return ctrl_ != nullptr && ctrl_->usable(); }

const FtpFeatures& FtpClient::features() const {
    static const FtpFeatures kNone{};
    return ctrl_ ? ctrl_->features() : kNone;
}

FtpResult FtpClient::Ready() const {
    if (fileOpen_) {
        return FtpFail(ftpcode::kTransferInProgress,
                       "The requested operation cannot be made while a file transfer is in progress.");
    }
    if (Cancelled(control_)) {
        return CancelledResult();
    }
    if (!ctrl_) {
        return FtpFail(ftpcode::kIncorrectHandleState, "Not connected to an FTP server.");
    }
    if (!ctrl_->usable()) {
        return ctrl_->broken();
    }
    return FtpOk();
}

// ---- connecting ------------------------------------------------------------------------

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::ConnectOnce(const std::vector<SocketAddress>& addrs) {
    FtpResult last = FtpFail(ftpcode::kCannotConnect, "The attempt to connect to the server failed.");
    if (proxy_) {
        FtpOutcome<Socket> s = ConnectThroughHttpProxy(*proxy_, options_.host, options_.port,
                                                       options_.connectTimeout, options_.controlReceiveTimeout,
                                                       control_);
        if (!s.ok()) {
            return s.result;
        }
        controlLocal_ = s.value.LocalAddress();
        controlPeer_ = s.value.PeerAddress();
        return std::unique_ptr<ByteStream>(std::make_unique<TcpStream>(std::move(s.value), control_));
    }
    for (const SocketAddress& a : addrs) {
        FtpOutcome<Socket> s = ConnectTcp(a, options_.connectTimeout, control_);
        if (s.ok()) {
            controlLocal_ = s.value.LocalAddress();
            controlPeer_ = s.value.PeerAddress();
            return std::unique_ptr<ByteStream>(std::make_unique<TcpStream>(std::move(s.value), control_));
        }
        last = s.result;
        if (last.code == ftpcode::kCancelled) {
            break;
        }
    }
    return last;
}

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::ConnectControl() {
    std::vector<SocketAddress> addrs;
    if (!proxy_) {
        FtpOutcome<std::vector<SocketAddress>> r = ResolveHost(options_.host, options_.port, control_);
        if (!r.ok()) {
            return r.result;
        }
        addrs = std::move(r.value);
    }
    FtpResult last;
    const int attempts = 1 + std::max(0, options_.retries);
    for (int i = 0; i < attempts; ++i) {
        if (Cancelled(control_)) {
            return CancelledResult();
        }
        FtpOutcome<std::unique_ptr<ByteStream>> s = ConnectOnce(addrs);
        if (s.ok()) {
            return s;
        }
        last = s.result;
        if (last.code == ftpcode::kCancelled || last.code == ftpcode::kNameNotResolved) {
            break;
        }
    }
    return last;
}

FtpResult FtpClient::Connect(const FtpConnectOptions& options) {
    if (fileOpen_) {
        return FtpFail(ftpcode::kTransferInProgress,
                       "The requested operation cannot be made while a file transfer is in progress.");
    }
    Close();
    if (!IsSafeArgument(options.host) || !IsSafeArgument(options.user) || !IsSafeArgument(options.password) ||
        !IsSafeArgument(options.proxyName)) {
        return Unsafe();
    }
    options_ = options;
    listingCache_.clear();
    proxy_.reset();
    if (options_.access == FtpAccess::kProxy) {
        if (options_.proxyName.empty()) {
            return FtpFail(ftpcode::kInvalidProxyRequest, "The request to the proxy was invalid: no proxy name.");
        }
        proxy_ = ProxyEndpoint{options_.proxyName, options_.proxyPort};
    } else if (options_.access == FtpAccess::kPreconfig) {
        proxy_ = ProxyFromEnvironment(options_.host, options_.env ? options_.env : EnvLookup(ProcessEnv));
    }
    if (proxy_) {
        options_.passive = true;  // data connections go through the proxy too
    }

    tls_.reset();
    certificate_.reset();
    dataProtected_ = false;
    FtpOutcome<std::unique_ptr<ByteStream>> stream = ConnectControl();
    if (stream.ok() && options_.encryption == Encryption::Implicit) {
        stream = SecureStream(std::move(stream.value), true);  // TLS from the first byte
    }
    if (!stream.ok()) {
        return stream.result;
    }
    ctrl_ = std::make_unique<FtpControl>(
        std::move(stream.value), ControlTimeouts{options_.controlSendTimeout, options_.controlReceiveTimeout},
        options_.trace);
    FtpResult r = ctrl_->ReadGreeting();
    if (r.ok() && options_.encryption == Encryption::Explicit) {
        r = StartExplicitTls();
        if (!r.ok()) {
            ctrl_->Break(r);  // no QUIT: nothing more goes out in clear
            return r;
        }
    }
    if (r.ok()) {
        r = ctrl_->Login(options_.user, options_.password);
    }
    if (r.ok() && tls_) {
        r = ProtectDataConnections();
    }
    if (r.ok()) {
        r = ctrl_->Feat();
    }
    if (!r.ok()) {
        ctrl_->Quit();
        return r;
    }
    if (tls_) {
        ctrl_->MarkProtected(tlsProtocol_, tlsCipher_);
    }
    return FtpOk();
}

void FtpClient::Close() {
    if (ctrl_ && ctrl_->usable()) {
        ctrl_->Quit();
    }
    if (!fileOpen_) {
        ctrl_.reset();  // an open stream still refers to it until it is closed
    }
    listingCache_.clear();
}

// ---- simple commands ---------------------------------------------------------------------

FtpOutcome<std::string> FtpClient::GetCurrentDirectory() {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    return ctrl_->Pwd();
}

FtpResult FtpClient::SetCurrentDirectory(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    if (path.empty()) {
        return FtpFail(ftpcode::kInvalidOperation, "The requested operation is invalid: no folder name.");
    }
    r = ctrl_->Cwd(path);
    if (r.ok()) {
        ForgetListings();  // relative listings now mean another folder
    }
    return r;
}

FtpResult FtpClient::CreateDirectory(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    ForgetListings();
    return path.empty() ? FtpFail(ftpcode::kInvalidOperation, "No folder name.") : ctrl_->Mkd(path);
}

FtpResult FtpClient::RemoveDirectory(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    ForgetListings();
    return path.empty() ? FtpFail(ftpcode::kInvalidOperation, "No folder name.") : ctrl_->Rmd(path);
}

FtpResult FtpClient::Remove(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    ForgetListings();
    return path.empty() ? FtpFail(ftpcode::kInvalidOperation, "No file name.") : ctrl_->Dele(path);
}

FtpResult FtpClient::Rename(const std::string& from, const std::string& to) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    ForgetListings();
    if (from.empty() || to.empty()) {
        return FtpFail(ftpcode::kInvalidOperation, "No file name.");
    }
    return ctrl_->Rename(from, to);
}

FtpOutcome<std::int64_t> FtpClient::Size(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    if (!IsSafeArgument(path)) {
        return Unsafe();
    }
    r = ctrl_->Type(false);  // sizes are byte counts of the binary image
    if (!r.ok()) {
        return r;
    }
    return ctrl_->Size(path);
}

FtpOutcome<RemoteTime> FtpClient::ModificationTime(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    return ctrl_->Mdtm(path);
}

// ---- data connections --------------------------------------------------------------------

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::OpenData(std::string_view verb, std::string_view arg) {
    if (!IsSafeArgument(arg)) {
        return Unsafe();
    }
    return options_.passive ? OpenPassiveData(verb, arg) : OpenActiveData(verb, arg);
}

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::OpenPassiveData(std::string_view verb, std::string_view arg) {
    FtpOutcome<std::uint16_t> port = FtpFail(ftpcode::kExtendedError, "EPSV not used");
    if (ctrl_->epsvWorks()) {
        port = ctrl_->Epsv();
        if (!port.ok() && (ctrl_->epsvWorks() || !ctrl_->usable())) {
            return port.result;  // refused for a reason other than "unknown command"
        }
    }
    if (!port.ok()) {
        port = ctrl_->Pasv();
        if (!port.ok()) {
            return port.result;
        }
    }
    // Whatever address the reply named: the data connection goes to the
    // server the control connection reaches, never to a third host.
    FtpOutcome<Socket> sock;
    if (proxy_) {
        sock = ConnectThroughHttpProxy(*proxy_, options_.host, port.value, options_.connectTimeout,
                                       options_.dataReceiveTimeout, control_);
    } else {
        SocketAddress target = controlPeer_;
        target.set_port(port.value);
        sock = ConnectTcp(target, options_.connectTimeout, control_);
    }
    if (!sock.ok()) {
        return sock.result;
    }
    auto data = std::make_unique<TcpStream>(std::move(sock.value), control_);
    FtpOutcome<FtpReply> reply = TransferCommand(verb, arg);
    if (!reply.ok()) {
        return reply.result;
    }
    if (ClassifyReply(reply.value.code) != ReplyKind::kPreliminary) {
        return ReplyFailure(reply.value);
    }
    if (dataProtected_) {
        return ProtectData(std::move(data));
    }
    return std::unique_ptr<ByteStream>(std::move(data));
}

FtpOutcome<std::unique_ptr<ByteStream>> FtpClient::OpenActiveData(std::string_view verb, std::string_view arg) {
    SocketAddress local = controlLocal_;
    local.set_port(0);
    FtpOutcome<Socket> listener = ListenTcp(local, 1);
    if (!listener.ok()) {
        return listener.result;
    }
    FtpResult r = ctrl_->Port(listener.value.LocalAddress());
    if (!r.ok()) {
        return r;
    }
    FtpOutcome<FtpReply> reply = TransferCommand(verb, arg);
    if (!reply.ok()) {
        return reply.result;
    }
    if (ClassifyReply(reply.value.code) != ReplyKind::kPreliminary) {
        return ReplyFailure(reply.value);
    }
    // Only the server may connect: other peers are turned away.
    FtpOutcome<Socket> conn = AcceptFrom(listener.value, controlPeer_, options_.connectTimeout, control_);
    if (!conn.ok()) {
        // The server is inside a transfer command: abort it so the control
        // connection stays in step.
        FtpFileStream pending(*ctrl_, nullptr, FtpFileStream::Direction::kRead, false, {}, nullptr);
        (void)pending.Abort();
        return conn.result;
    }
    auto data = std::make_unique<TcpStream>(std::move(conn.value), control_);
    if (dataProtected_) {
        return ProtectData(std::move(data));
    }
    return std::unique_ptr<ByteStream>(std::move(data));
}

FtpOutcome<std::unique_ptr<FtpFileStream>> FtpClient::OpenFile(const std::string& path, FtpOpenMode mode,
                                                               FtpTransferType type) {
    FtpOutcome<FtpOpenedFile> opened = OpenFileAt(path, mode, type, 0);
    if (!opened.ok()) {
        return opened.result;
    }
    return std::move(opened.value.stream);
}

// ---- resumed transfers and content hashes --------------------------------------------------

FtpOutcome<FtpReply> FtpClient::TransferCommand(std::string_view verb, std::string_view arg) {
    restAccepted_ = false;
    if (const std::int64_t offset = std::exchange(restOffset_, 0); offset > 0) {
        FtpResult r = ctrl_->Rest(offset);
        if (!r.ok() && (!ctrl_->usable() || restRequired_)) {
            return r;
        }
        restAccepted_ = r.ok();  // refused: the transfer starts from the beginning
    }
    return ctrl_->Exchange(verb, arg);
}

FtpOutcome<FtpOpenedFile> FtpClient::OpenFileAt(const std::string& path, FtpOpenMode mode, FtpTransferType type,
                                                 std::int64_t offset, FtpOffsetRule rule) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    if (path.empty()) {
        return FtpFail(ftpcode::kInvalidOperation, "No file name.");
    }
    if (!IsSafeArgument(path)) {
        return Unsafe();
    }
    const bool ascii = type == FtpTransferType::kAscii;
    r = ctrl_->Type(ascii);
    if (!r.ok()) {
        return r;
    }
    std::string verb = mode == FtpOpenMode::kRead ? "RETR" : "STOR";
    FtpStartMethod method = FtpStartMethod::kFromStart;
    if (offset > 0 && !ascii) {
        if (ctrl_->features().restStream) {
            method = FtpStartMethod::kRestart;
        } else if (mode == FtpOpenMode::kWrite) {
            // Appending is right only when the server holds exactly the bytes before the offset.
            FtpOutcome<std::int64_t> size = ctrl_->Size(path);
            if (size.ok() && size.value == offset) {
                method = FtpStartMethod::kAppend;
                verb = "APPE";
            } else if (!ctrl_->usable()) {
                return size.result;
            }
        }
    }
    const bool onlyAtOffset = rule == FtpOffsetRule::kOnlyAtOffset && offset > 0;
    if (onlyAtOffset && method == FtpStartMethod::kFromStart) {
        return FtpFail(ftpcode::kExtendedError, "The server cannot continue the file at byte " +
                                                    std::to_string(offset) + " (no REST STREAM, no APPE).");
    }
    if (mode == FtpOpenMode::kWrite) {
        ForgetListings();
    }
    restOffset_ = method == FtpStartMethod::kRestart ? offset : 0;
    restRequired_ = onlyAtOffset;
    FtpOutcome<std::unique_ptr<ByteStream>> data = OpenData(verb, path);
    restOffset_ = 0;
    restRequired_ = false;
    if (!data.ok() && method == FtpStartMethod::kAppend && !onlyAtOffset && ctrl_->usable() &&
        ClassifyReply(ctrl_->lastReplyCode()) == ReplyKind::kNotUnderstood) {
        method = FtpStartMethod::kFromStart;  // APPE unknown: the whole file after all
        data = OpenData("STOR", path);
    }
    if (!data.ok()) {
        return data.result;
    }
    if (method == FtpStartMethod::kRestart && !restAccepted_) {
        method = FtpStartMethod::kFromStart;
    }
    fileOpen_ = true;
    FtpOpenedFile opened;
    opened.stream = std::make_unique<FtpFileStream>(
        *ctrl_, std::move(data.value),
        mode == FtpOpenMode::kRead ? FtpFileStream::Direction::kRead : FtpFileStream::Direction::kWrite, ascii,
        DataTimeouts{options_.dataSendTimeout, options_.dataReceiveTimeout}, [this] { fileOpen_ = false; });
    opened.method = method;
    opened.offset = method == FtpStartMethod::kFromStart ? 0 : offset;
    return opened;
}

std::optional<HashChoice> FtpClient::OfferedHash() const { return ChooseHashCommand(features()); }

RemoteHashResult FtpClient::RemoteHash(const std::string& path, const HashChoice& choice) {
    RemoteHashResult out;
    const auto failed = [&out, this](FtpResult why) {
        out.status = ctrl_ != nullptr && ctrl_->usable() && why.code == ftpcode::kExtendedError && !Cancelled(control_)
                         ? RemoteHashResult::Status::kRefused
                         : RemoteHashResult::Status::kFailed;
        out.failure = std::move(why);
        return out;
    };
    FtpResult r = Ready();
    if (!r.ok()) {
        return failed(r);
    }
    if (path.empty() || !IsSafeArgument(path)) {
        out.failure = Unsafe();
        return out;
    }
    const std::string name = HashAlgorithmName(choice.algorithm);
    if (choice.command == HashCommand::kHash && !EqualsNoCase(ctrl_->features().hashSelected, name)) {
        FtpOutcome<FtpReply> selected = ctrl_->Exchange("OPTS", "HASH " + name);
        if (!selected.ok()) {
            return failed(selected.result);
        }
        if (ClassifyReply(selected.value.code) != ReplyKind::kCompletion) {
            return failed(ReplyFailure(selected.value));
        }
        ctrl_->NoteHashSelected(name);
    }
    FtpOutcome<FtpReply> reply = ctrl_->Exchange(HashCommandVerb(choice.command), path);
    if (!reply.ok()) {
        return failed(reply.result);
    }
    if (ClassifyReply(reply.value.code) != ReplyKind::kCompletion) {
        return failed(ReplyFailure(reply.value));
    }
    const std::string_view first = reply.value.lines.empty() ? std::string_view{} : reply.value.lines.front();
    const std::string_view text = first.size() > 4 ? first.substr(4) : std::string_view{};
    std::optional<std::string> hex = choice.command == HashCommand::kHash ? ParseHashReply(text, choice.algorithm)
                                                                           : ParseXHashReply(text, choice.algorithm);
    if (!hex || (choice.command == HashCommand::kHash && reply.value.code != 213)) {
        out.status = RemoteHashResult::Status::kUnreadable;
        out.failure = FtpFail(ftpcode::kExtendedError,
                              "The server's " + name + " answer could not be read: " + reply.value.Text());
        return out;
    }
    out.status = RemoteHashResult::Status::kHash;
    out.hex = std::move(*hex);
    return out;
}

// ---- listings ------------------------------------------------------------------------------

FtpOutcome<std::vector<RemoteEntry>> FtpClient::ListFolder(const std::string& folder, bool refusalIsEmpty) {
    const bool reuse = options_.cache && !options_.reload;
    if (reuse) {
        auto it = listingCache_.find(folder);
        if (it != listingCache_.end()) {
            return it->second;
        }
    }
    bool mlsd = ctrl_->features().mlsd;
    FtpOutcome<std::unique_ptr<ByteStream>> data = OpenData(mlsd ? "MLSD" : "LIST", folder);
    if (!data.ok() && mlsd && ctrl_->usable() && (ctrl_->lastReplyCode() == 500 || ctrl_->lastReplyCode() == 502)) {
        mlsd = false;  // offered but unknown after all: fall back to LIST
        data = OpenData("LIST", folder);
    }
    if (!data.ok()) {
        // No such folder: nothing found. (Servers say 550, some 450 for an
        // empty match, and MLSD of a missing folder may draw 501.)
        const int code = ctrl_->lastReplyCode();
        if (refusalIsEmpty && ctrl_->usable() && data.result.code == ftpcode::kExtendedError &&
            (code == 550 || code == 450 || (mlsd && code == 501))) {
            return std::vector<RemoteEntry>{};
        }
        return data.result;
    }
    fileOpen_ = true;
    FtpFileStream stream(*ctrl_, std::move(data.value), FtpFileStream::Direction::kRead, false,
                         DataTimeouts{options_.dataSendTimeout, options_.dataReceiveTimeout},
                         [this] { fileOpen_ = false; });
    ListingParser parser(NowContext(), mlsd, options_.listingLimits);
    std::vector<RemoteEntry> entries;
    std::vector<char> chunk(kListingChunk);
    for (;;) {
        if (control_ != nullptr && !control_->Checkpoint()) {
            (void)stream.Abort();
            return CancelledResult();
        }
        FtpOutcome<std::size_t> got = stream.Read(chunk.data(), chunk.size());
        if (!got.ok()) {
            return got.result;
        }
        if (got.value == 0) {
            break;
        }
        if (!parser.Feed(std::string_view(chunk.data(), got.value), entries)) {
            (void)stream.Abort();
            return FtpFail(ftpcode::kExtendedError, parser.Error());
        }
    }
    const std::size_t held = parser.Held();
    if (!parser.Finish(entries)) {
        return FtpFail(ftpcode::kExtendedError, parser.Error());
    }
    if (options_.cache) {
        // The kept listings share one budget: past it, the older ones go.
        if (listingCacheBytes_ + held > options_.listingLimits.maxTotalBytes) ForgetListings();
        auto [it, added] = listingCache_.try_emplace(folder);
        if (!added) listingCacheBytes_ -= ListingHeldBytes(it->second);
        it->second = entries;
        listingCacheBytes_ += held;
    }
    return entries;
}

FtpOutcome<std::vector<FtpFoundFile>> FtpClient::FindExact(const std::string& folder, const std::string& name) {
    const std::string full = JoinRemotePath(folder, name);
    const bool cached = options_.cache && !options_.reload && listingCache_.count(folder) != 0;
    if (ctrl_->features().mlst && !cached) {
        FtpOutcome<std::string> line = ctrl_->Mlst(full);
        if (line.ok()) {
            LineResult parsed = ParseMlstPathLine(line.value);
            std::vector<FtpFoundFile> found;
            if (parsed.kind == LineResult::Entry) {
                parsed.entry.name = name;
                found.push_back(FtpFoundFile{std::move(parsed.entry), full});
            }
            return found;
        }
        if (!ctrl_->usable()) {
            return line.result;
        }
        const ReplyKind kind = ClassifyReply(ctrl_->lastReplyCode());
        if (kind == ReplyKind::kPermanent || kind == ReplyKind::kFileBusy || kind == ReplyKind::kTransient) {
            return std::vector<FtpFoundFile>{};  // "550 No such file": nothing found
        }
        // 500-504: MLST offered but refused; look in the listing instead.
    }
    FtpOutcome<std::vector<RemoteEntry>> entries = ListFolder(folder);
    if (!entries.ok()) {
        return entries.result;
    }
    std::vector<FtpFoundFile> found;
    for (RemoteEntry& e : entries.value) {
        if (e.name == name) {
            found.push_back(FtpFoundFile{std::move(e), full});
            break;
        }
    }
    return found;
}

FtpOutcome<RemoteEntry> FtpClient::MlstEntry(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    if (!IsSafeArgument(path)) {
        return Unsafe();
    }
    FtpOutcome<std::string> line = ctrl_->Mlst(path);
    if (!line.ok()) {
        return line.result;
    }
    LineResult parsed = ParseMlstPathLine(line.value);
    if (parsed.kind != LineResult::Entry) {
        return FtpFail(ftpcode::kExtendedError, "The server's MLST answer could not be read.");
    }
    return std::move(parsed.entry);
}

FtpOutcome<std::vector<RemoteEntry>> FtpClient::ListEntries(const std::string& folder) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    if (!IsSafeArgument(folder)) {
        return Unsafe();
    }
    return ListFolder(folder, false);
}

FtpOutcome<std::vector<FtpFoundFile>> FtpClient::Find(const std::string& path) {
    FtpResult r = Ready();
    if (!r.ok()) {
        return r;
    }
    if (!IsSafeArgument(path)) {
        return Unsafe();
    }
    RemotePathParts parts = SplitRemotePath(path);
    if (!parts.name.empty() && !HasWildcard(parts.name)) {
        return FindExact(parts.folder, parts.name);
    }
    const std::string mask = parts.name.empty() ? std::string("*") : parts.name;
    FtpOutcome<std::vector<RemoteEntry>> entries = ListFolder(parts.folder);
    if (!entries.ok()) {
        return entries.result;
    }
    std::vector<FtpFoundFile> found;
    for (RemoteEntry& e : entries.value) {
        if (MatchesMask(e.name, mask)) {
            std::string full = JoinRemotePath(parts.folder, e.name);
            found.push_back(FtpFoundFile{std::move(e), std::move(full)});
        }
    }
    return found;
}

}  // namespace zyfar
