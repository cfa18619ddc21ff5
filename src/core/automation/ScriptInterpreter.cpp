#include "automation/ScriptInterpreter.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "engine/CopyLoop.h"
#include "engine/RemoteLookup.h"
#include "engine/TransferSession.h"
#include "engine/TransferPaths.h"
#include "ftp/NameMask.h"
#include "ftp/SessionSettings.h"
#include "log/EventSound.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "platform/UiHost.h"
#include "platform/WorkerControl.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

// String-table numbers the interpreter lists.
constexpr int kMsgParseError = 33027;     // "Could not parse this line in file: "
constexpr int kMsgError = 33028;          // "ERROR!"
constexpr int kMsgNotRenamedMissing = 33033;
constexpr int kMsgNoPathToCreate = 33036;
constexpr int kMsgDirExists = 33037;
constexpr int kMsgNoPathToRemove = 33038;
constexpr int kMsgAsciiMode = 33039;
constexpr int kMsgBinaryMode = 33040;
constexpr int kMsgBadParameters = 33052;  // "Bad number of parameters on line:"
constexpr int kMsgNoSuchFile = 180;
constexpr int kMsgOneFileOnly = 170;
constexpr int kMsgNameTaken = 174;

constexpr const char* kBlockRule = "========";
constexpr const char* kNotConnectedText = "Not connected to an FTP server.";

std::string Text(int id) { return std::string(MessageText(id)); }

std::string Sanitize(std::string_view line) {
    std::string out(line);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '?';
    }
    return out;
}

// The folder above a remote folder; ".." when it cannot be worked out.
std::string ParentDirectory(std::string path) {
    const char sep = RemoteSeparatorFor(path);
    while (path.size() > 1 && path.back() == sep) path.pop_back();
    const std::size_t cut = path.rfind(sep);
    if (cut == std::string::npos) return "..";
    if (cut == 0) return std::string(1, sep);
    std::string parent = path.substr(0, cut);
    if (parent.back() == ':') parent += sep;  // "C:\a" -> "C:\"
    return parent;
}

std::string WithoutTrailingSeparators(std::string path) {
    const char sep = RemoteSeparatorFor(path);
    while (path.size() > 1 && path.back() == sep) path.pop_back();
    return path;
}

bool IsLocalFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Lost(bool wasUp, const FtpClient& client) { return wasUp && !client.IsConnected(); }

// A copy of a script line: the session's transfer type and the file's size as
// the listing (or the local folder) gave it, which a get checks the copy by
// when the server does not answer SIZE.
CopyRequest ScriptCopy(std::string source, std::string target, FtpTransferType type,
                       std::optional<std::int64_t> size) {
    CopyRequest request;
    request.sourcePath = std::move(source);
    request.targetPath = std::move(target);
    request.type = type;
    request.size = size.value_or(0);
    request.listedSize = size;
    return request;
}

std::optional<std::int64_t> ListedSize(const FtpFoundFile& file) {
    // Block counts and "33.5k" sizes only approximate the byte count.
    if (file.entry.size < 0 || file.entry.sizeApproximate) return std::nullopt;
    return file.entry.size;
}

// A copy's outcome as a script lists it; a success carries the hash the
// content was verified with ("SHA-256 <hex>") as its text, if any.
FtpResult CopyResult(const CopyOutcome& copy) {
    if (copy.ok()) {
        FtpResult ok = FtpOk();
        ok.text = copy.verified;
        return ok;
    }
    if (copy.cancelled) return CancelledResult();
    return FtpFail(copy.result, copy.errorText);
}

// Overwrite "NO": FtpOk when nothing stands at `name` where the server
// stands; 239 when something does or the server would not say.
FtpResult TargetFree(RemoteLookup& lookup, FtpClient& client, const std::string& name) {
    const RemoteLookup::Found found = lookup.Find(client, "", name);
    switch (found.kind) {
        case RemoteLookup::Kind::Absent:
            return FtpOk();
        case RemoteLookup::Kind::Unknown:
            if (found.failure.code == ftpcode::kCancelled) return found.failure;
            return FtpFail(kMsgCantOverwrite, CannotTellText(found.failure));
        default:
            return FtpFail(kMsgCantOverwrite, MessageText(kMsgCantOverwrite));
    }
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

std::string ScriptFailureText(const FtpResult& result) {
    std::string text = result.text.empty() ? InternetErrorMessage(result.code) : result.text;
    if (text.empty()) text = "Error " + std::to_string(result.code) + ".";
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

ScriptInterpreter::ScriptInterpreter(ScriptOutput& output, ScriptHost& host, TransferLog* log,
                                     WorkerControl* control)
    : output_(output),
      host_(host),
      log_(log != nullptr ? *log : TheTransferLog()),
      control_(control),
      now_([] { return static_cast<std::int64_t>(std::time(nullptr)); }),
      offline_(control) {}

ScriptInterpreter::~ScriptInterpreter() { CloseAllSessions(); }

// ---- the run ---------------------------------------------------------------------------------

ScriptRunResult ScriptInterpreter::Run(const std::string& scriptPath) {
    ScriptRunResult result;
    // Without an FTP Port an implicit-TLS default (FTP Encryption) goes to 990.
    const int port = ReadIfPresent(keys::Port) ? ReadInt(keys::Port) : DefaultPortFor(DefaultEncryption());
    defaultPort_ = port > 0 && port <= 65535 ? port : 21;

    ScriptLineReader reader(scriptPath);
    if (!reader.IsOpen()) {
        result.end = ScriptEnd::CouldNotOpen;
        return result;
    }
    AddLine(scriptPath);

    Step step = Step::Next;
    ScriptLine line;
    while (step == Step::Next && reader.Next(line)) {
        ++result.linesRead;
        step = RunLine(line);
    }
    switch (step) {
        case Step::Next:
            result.end = ScriptEnd::EndOfFile;
            if (reader.Failed()) {
                AddErrorBlock("The script file could not be read to its end: " +
                              std::string(std::strerror(reader.ReadError())));
                result.end = ScriptEnd::ReadError;
            }
            break;
        case Step::EndParameter:
            result.end = ScriptEnd::ParameterError;
            break;
        case Step::EndConnection:
            result.end = ScriptEnd::ConnectionLost;
            break;
        case Step::EndCancelled:
            result.end = ScriptEnd::Cancelled;
            break;
    }
    CloseAllSessions();
    result.errorBlocks = errorBlocks_;
    return result;
}

ScriptInterpreter::Step ScriptInterpreter::RunLine(const ScriptLine& line) {
    if (control_ != nullptr && !control_->Checkpoint()) return Step::EndCancelled;
    const std::string_view stripped = StripLeadingBlanks(line.text);
    const ScriptKeyword keyword = MatchScriptKeyword(stripped);
    const std::string echo = ScriptEchoLine(stripped, keyword);
    if (keyword == ScriptKeyword::None || line.tooLong || line.hasNul) {
        // An over-long line or one with NUL bytes is never acted on.
        AddErrorBlock(Text(kMsgParseError) + " " + echo);
        return Step::Next;
    }
    const std::optional<std::vector<std::string>> fields = ReadScriptFields(keyword, stripped);
    if (!fields) {
        AddParameterError(echo);
        // A transfer line that cannot be read ends the run.
        return IsScriptTransfer(keyword) ? Step::EndParameter : Step::Next;
    }
    const std::vector<std::string>& f = *fields;
    auto session = [&](std::size_t i) { return FindSession(f[i]); };

    switch (keyword) {
        case ScriptKeyword::Comment:
            return Step::Next;
        case ScriptKeyword::Open:
            return DoOpen(f, echo);
        case ScriptKeyword::Get:
        case ScriptKeyword::Send:
        case ScriptKeyword::Put:
            return DoTransfer(keyword, f);
        case ScriptKeyword::Close:
            if (ScriptSession* s = session(1)) return DoClose(*s);
            return Step::Next;
        case ScriptKeyword::Cd:
            if (ScriptSession* s = session(1)) return DoCd(*s, f[2]);
            return Step::Next;
        case ScriptKeyword::Lcd:
            return DoLcd(f[1]);
        case ScriptKeyword::Mkdir:
            if (ScriptSession* s = session(1)) return DoMkdir(*s, f[2]);
            return Step::Next;
        case ScriptKeyword::Remove:
            if (ScriptSession* s = session(1)) return DoRemove(*s, f[2]);
            return Step::Next;
        case ScriptKeyword::Rmdir:
            if (ScriptSession* s = session(1)) return DoRmdir(*s, f[2]);
            return Step::Next;
        case ScriptKeyword::Rename:
            if (ScriptSession* s = session(1)) return DoRename(*s, f[2], f[3]);
            return Step::Next;
        case ScriptKeyword::Binary:
        case ScriptKeyword::Ascii:
            if (ScriptSession* s = session(1)) {
                const bool binary = keyword == ScriptKeyword::Binary;
                s->transferType = binary ? FtpTransferType::kBinary : FtpTransferType::kAscii;
                AddResult(*s, true, Text(binary ? kMsgBinaryMode : kMsgAsciiMode));
            }
            return Step::Next;
        case ScriptKeyword::Message:
            if (stripped.size() <= ScriptKeywordText(ScriptKeyword::Message).size() + 1) {
                AddParameterError(echo);
                return Step::Next;
            }
            return DoMessage(stripped);
        case ScriptKeyword::Beep:
            host_.Beep();
            return Step::Next;
        case ScriptKeyword::None:
            break;
    }
    return Step::Next;
}

// ---- sessions --------------------------------------------------------------------------------

ScriptSession* ScriptInterpreter::FindSession(const std::string& name) {
    for (const auto& s : sessions_) {
        if (s->name == name) return s.get();
    }
    return nullptr;
}

ScriptSession& ScriptInterpreter::LocalSession() {
    if (ScriptSession* local = FindSession(kLocalSessionName)) return *local;
    auto local = std::make_unique<ScriptSession>();
    local->name = kLocalSessionName;
    local->directory = Read(keys::DataDirScript);
    if (local->directory.empty()) local->directory.assign(1, '.');  // the process's folder
    sessions_.push_back(std::move(local));
    return *sessions_.back();
}

FtpClient& ScriptInterpreter::Client(ScriptSession& s) { return s.connection ? *s.connection : offline_; }

void ScriptInterpreter::CloseAllSessions() {
    for (const auto& s : sessions_) {
        if (!s->connection) continue;  // the local side
        if (s->connected) {
            s->connection->Close();
            s->connected = false;
            Log(logcode::FtpConnectionClosed, kLocalMachine, s->host, "-", "-");
        }
        Log(logcode::SessionClosed, kLocalMachine, s->host, "-", "-");
    }
    sessions_.clear();
}

ScriptInterpreter::Step ScriptInterpreter::DoOpen(const std::vector<std::string>& f, std::string_view echo) {
    LocalSession();
    if (FindSession(f[1]) != nullptr) return Step::Next;
    std::int64_t port = LeadingInteger(f[5]);
    if (port == 0) port = defaultPort_;
    if (port < 1 || port > 65535) {
        AddParameterError(echo);
        return Step::Next;
    }

    auto created = std::make_unique<ScriptSession>();
    ScriptSession& s = *created;
    s.name = f[1];
    s.host = f[2];
    s.login = f[3];
    s.password = f[4];
    s.port = static_cast<std::uint16_t>(port);
    s.connection = std::make_unique<FtpClient>(control_);
    sessions_.push_back(std::move(created));

    FtpConnectOptions options = SessionOptionsFromSettings();
    options.host = s.host;
    options.port = s.port;
    options.user = s.login;
    options.password = s.password;
    Log(logcode::InternetConnectionOk, kLocalMachine, s.host, "-", "-");
    AddResult(s, true, LogEventText(logcode::InternetConnectionOk));

    const FtpResult r = s.connection->Connect(options);
    if (!r.ok()) {
        PlayEventSound(SoundEvent::ConnectFail);
        Log(logcode::FtpConnectionFailed, kLocalMachine, s.host, "-", ScriptFailureText(r));
        AddResult(s, false, ScriptFailureText(r));
        // A connection that cannot be opened ends the run.
        return AfterFailure(r, true) == Step::EndCancelled ? Step::EndCancelled : Step::EndConnection;
    }
    s.connected = true;
    PlayEventSound(SoundEvent::ConnectOk);
    Log(logcode::FtpConnectionOk, kLocalMachine, s.host, "-", ConnectionLogDetail(*s.connection));
    AddResult(s, true, LogEventText(logcode::FtpConnectionOk), SecurityDetail(s.connection->features()));
    FtpOutcome<std::string> pwd = s.connection->GetCurrentDirectory();
    if (pwd.ok()) s.directory = pwd.value;
    else if (!s.connection->IsConnected()) return AfterFailure(pwd.result, true);
    if (f.size() == 7) return DoCd(s, f[6]);
    return Step::Next;
}

ScriptInterpreter::Step ScriptInterpreter::DoClose(ScriptSession& s) {
    if (s.connection && s.connected) {
        s.connection->Close();
        s.connected = false;
        Log(logcode::FtpConnectionClosed, kLocalMachine, s.host, "-", "-");
    }
    AddResult(s, true, LogEventText(logcode::FtpConnectionClosed));
    return Step::Next;
}

// ---- directories -----------------------------------------------------------------------------

ScriptInterpreter::Step ScriptInterpreter::DoCd(ScriptSession& s, const std::string& directory) {
    FtpClient& c = Client(s);
    const bool wasUp = c.IsConnected();
    const std::string before = s.directory;
    std::string target = directory;
    if (directory == ".") target = before.empty() ? "." : before;
    if (directory == "..") target = before.empty() ? ".." : ParentDirectory(before);

    const FtpResult r = c.SetCurrentDirectory(target);
    if (r.ok()) {
        FtpOutcome<std::string> pwd = c.GetCurrentDirectory();
        if (pwd.ok()) s.directory = pwd.value;
        else if (!target.empty() && (target.front() == '/' || target.front() == '\\')) s.directory = target;
        Log(logcode::ChangeDirectoryOk, OrDash(before), s.host, directory, "-");
        AddResult(s, true, LogEventText(logcode::ChangeDirectoryOk), directory);
        return pwd.ok() ? Step::Next : AfterFailure(pwd.result, Lost(wasUp, c));
    }
    Log(logcode::ChangeDirectoryFailed, OrDash(before), s.host, directory, ScriptFailureText(r));
    AddResult(s, false, LogEventText(logcode::ChangeDirectoryFailed), directory);
    return AfterFailure(r, Lost(wasUp, c));
}

ScriptInterpreter::Step ScriptInterpreter::DoLcd(const std::string& directory) {
    ScriptSession& local = LocalSession();
    const std::string target = !directory.empty() && directory.front() == '/' ? directory
                                                                              : JoinPath(local.directory, directory);
    if (IsLocalFolder(target)) {
        Log(logcode::ChangeDirectoryOk, local.directory, kLocalMachine, target, "-");
        local.directory = target;
        AddResult(local, true, LogEventText(logcode::ChangeDirectoryOk), directory);
    } else {
        Log(logcode::ChangeDirectoryFailed, local.directory, kLocalMachine, target, "No such folder.");
        AddResult(local, false, LogEventText(logcode::ChangeDirectoryFailed), directory);
    }
    return Step::Next;
}

ScriptInterpreter::Step ScriptInterpreter::DoMkdir(ScriptSession& s, const std::string& directory) {
    FtpClient& c = Client(s);
    const bool wasUp = c.IsConnected();
    const FtpResult r = c.CreateDirectory(directory);
    if (r.ok()) {
        Log(logcode::MakeDirectoryOk, "-", s.host, directory, "-");
        AddResult(s, true, LogEventText(logcode::MakeDirectoryOk));
        return Step::Next;
    }
    std::string text = LogEventText(logcode::MakeDirectoryFailed).data();
    if (c.IsConnected() && r.code != ftpcode::kInvalidOperation) {
        // Why it failed: the folder is there already, or the path above it is not.
        const std::string plain = WithoutTrailingSeparators(directory);
        FtpOutcome<std::vector<FtpFoundFile>> there = c.Find(plain);
        const std::string parent = SplitRemotePath(plain).folder;
        if (there.ok() && !there.value.empty()) {
            text = Text(kMsgDirExists);
        } else if (there.ok() && !parent.empty() && parent != "/" && parent != "\\") {
            FtpOutcome<std::vector<FtpFoundFile>> above = c.Find(parent);
            if (above.ok() && (above.value.empty() || !above.value.front().IsDirectory()))
                text = Text(kMsgNoPathToCreate);
        }
    } else if (!c.IsConnected()) {
        text = ScriptFailureText(r);
    }
    Log(logcode::MakeDirectoryFailed, "-", s.host, directory, ScriptFailureText(r));
    AddResult(s, false, text);
    return AfterFailure(r, Lost(wasUp, c));
}

ScriptInterpreter::Step ScriptInterpreter::DoRmdir(ScriptSession& s, const std::string& directory) {
    FtpClient& c = Client(s);
    const bool wasUp = c.IsConnected();
    const FtpResult r = c.RemoveDirectory(directory);
    if (r.ok()) {
        Log(logcode::DeletionOk, "-", s.host, directory, "-");
        AddResult(s, true, LogEventText(logcode::DeletionOk));
        return Step::Next;
    }
    std::string text = LogEventText(logcode::DeletionFailed).data();
    if (c.IsConnected() && r.code != ftpcode::kInvalidOperation) {
        FtpOutcome<std::vector<FtpFoundFile>> there = c.Find(WithoutTrailingSeparators(directory));
        if (there.ok() && there.value.empty()) text = Text(kMsgNoPathToRemove);
    } else if (!c.IsConnected()) {
        text = ScriptFailureText(r);
    }
    Log(logcode::DeletionFailed, "-", s.host, directory, ScriptFailureText(r));
    AddResult(s, false, text);
    return AfterFailure(r, Lost(wasUp, c));
}

// ---- remote files ----------------------------------------------------------------------------

ScriptInterpreter::Step ScriptInterpreter::DoRemove(ScriptSession& s, const std::string& spec) {
    std::vector<FtpFoundFile> files;
    Step step = Step::Next;
    if (!FindRemoteFiles(s, spec, files, step, logcode::DeletionFailed)) return step;
    FtpClient& c = Client(s);
    for (const FtpFoundFile& file : files) {
        if (control_ != nullptr && !control_->Checkpoint()) return Step::EndCancelled;
        const bool wasUp = c.IsConnected();
        const FtpResult r = c.Remove(file.FilePath());
        if (r.ok()) {
            Log(logcode::DeletionOk, "-", s.host, file.FilePath(), "-");
            AddResult(s, true, LogEventText(logcode::DeletionOk), file.FilePath());
            continue;
        }
        Log(logcode::DeletionFailed, "-", s.host, file.FilePath(), ScriptFailureText(r));
        AddResult(s, false, ScriptFailureText(r), file.FilePath());
        step = AfterFailure(r, Lost(wasUp, c));
        if (step != Step::Next) return step;
    }
    return Step::Next;
}

ScriptInterpreter::Step ScriptInterpreter::DoRename(ScriptSession& s, const std::string& from,
                                                    const std::string& to) {
    const std::string args = from + " ===> " + to;
    auto refuse = [&](const std::string& text, const std::string& detail) {
        Log(logcode::RenamingFailed, "-", s.host, args, detail);
        AddResult(s, false, text, args);
    };
    if (HasWildcard(from)) {
        refuse(Text(kMsgOneFileOnly), Text(kMsgOneFileOnly));
        return Step::Next;
    }
    FtpClient& c = Client(s);
    const bool wasUp = c.IsConnected();
    FtpOutcome<std::vector<FtpFoundFile>> source = c.Find(from);
    if (!source.ok()) {
        refuse(ScriptFailureText(source.result), ScriptFailureText(source.result));
        return AfterFailure(source.result, Lost(wasUp, c));
    }
    if (source.value.empty()) {
        refuse(Text(kMsgNotRenamedMissing), Text(kMsgNotRenamedMissing));
        return Step::Next;
    }
    FtpOutcome<std::vector<FtpFoundFile>> target = c.Find(to);
    if (!target.ok()) {
        refuse(ScriptFailureText(target.result), ScriptFailureText(target.result));
        return AfterFailure(target.result, Lost(wasUp, c));
    }
    if (!target.value.empty()) {
        refuse(Text(kMsgNameTaken), Text(kMsgNameTaken));
        return Step::Next;
    }
    const FtpResult r = c.Rename(from, to);
    if (r.ok()) {
        Log(logcode::RenamingOk, "-", s.host, args, "-");
        AddResult(s, true, LogEventText(logcode::RenamingOk), args);
        return Step::Next;
    }
    refuse(std::string(LogEventText(logcode::RenamingFailed)), ScriptFailureText(r));
    return AfterFailure(r, Lost(wasUp, c));
}

ScriptInterpreter::Step ScriptInterpreter::DoMessage(std::string_view line) {
    host_.ShowMessage(std::string(line.substr(ScriptKeywordText(ScriptKeyword::Message).size() + 1)));
    return Step::Next;
}

// ---- transfers -------------------------------------------------------------------------------

ScriptInterpreter::Step ScriptInterpreter::DoTransfer(ScriptKeyword keyword, const std::vector<std::string>& f) {
    // Fields: keyword, session(s), spec, then optionally "word op days".
    const std::size_t plain = keyword == ScriptKeyword::Send ? 4 : 3;
    std::optional<std::int32_t> days;
    if (f.size() > plain) days = ParseScriptInteger(f.back());  // read whole by ReadScriptFields
    ScriptAgeFilter filter;
    if (days) {
        filter.op = f[f.size() - 2];
        filter.days = *days;
    }
    const ScriptAgeFilter* useFilter = days ? &filter : nullptr;
    const std::string& spec = f[plain - 1];
    ScriptSession* s = FindSession(f[1]);
    if (s == nullptr) return Step::Next;
    if (keyword == ScriptKeyword::Get) return DoGet(*s, spec, useFilter);
    if (keyword == ScriptKeyword::Put) return DoPut(*s, spec, useFilter);
    ScriptSession* to = FindSession(f[2]);
    if (to == nullptr) return Step::Next;
    return DoSend(*s, *to, spec, useFilter);
}

bool ScriptInterpreter::FindRemoteFiles(ScriptSession& s, const std::string& spec, std::vector<FtpFoundFile>& files,
                                        Step& step, int failCode) {
    FtpClient& c = Client(s);
    const bool wasUp = c.IsConnected();
    FtpOutcome<std::vector<FtpFoundFile>> found = c.Find(spec);
    if (!found.ok()) {
        Log(failCode, s.host, "-", spec, ScriptFailureText(found.result));
        AddResult(s, false, ScriptFailureText(found.result), spec);
        step = AfterFailure(found.result, Lost(wasUp, c));
        return false;
    }
    for (FtpFoundFile& file : found.value) {
        if (!file.IsDirectory()) files.push_back(std::move(file));
    }
    if (files.empty()) {
        Log(failCode, s.host, "-", spec, Text(kMsgNoSuchFile));
        AddResult(s, false, Text(kMsgNoSuchFile), spec);
        step = Step::Next;
        return false;
    }
    return true;
}

bool ScriptInterpreter::PassesFilter(ScriptSession& s, const FtpFoundFile& file, const ScriptAgeFilter* filter) {
    if (filter == nullptr) return true;
    std::optional<std::int64_t> modified = RemoteTimeToEpoch(file.LastWriteTime());
    if (!modified) {
        // The listing gave no usable time: ask the server for it.
        FtpOutcome<RemoteTime> asked = Client(s).ModificationTime(file.FilePath());
        if (asked.ok()) modified = RemoteTimeToEpoch(asked.value);
    }
    if (!modified) return false;  // an age that cannot be known never passes
    return filter->Passes(now_() - *modified);
}

ScriptInterpreter::Step ScriptInterpreter::TransferOutcome(ScriptSession& s, const FtpResult& r,
                                                           const std::string& name, const std::string& source,
                                                           const std::string& destination, const std::string& file,
                                                           bool lost) {
    if (r.ok()) {
        Log(logcode::FtpTransferComplete, source, destination, file, r.text.empty() ? "-" : r.text);
        AddResult(s, true, LogEventText(logcode::FtpTransferComplete), name);
        return Step::Next;
    }
    Log(logcode::FtpTransferFailed, source, destination, file, ScriptFailureText(r));
    AddResult(s, false, ScriptFailureText(r), name);
    return AfterFailure(r, lost);
}

void ScriptInterpreter::EndTransferLine(int attempted, int failed) {
    Ui().SetTrayState(static_cast<int>(TrayState::Idle));
    if (attempted > 0) PlayEventSound(failed == 0 ? SoundEvent::TransferOk : SoundEvent::TransferFail);
}

ScriptInterpreter::Step ScriptInterpreter::DoGet(ScriptSession& s, const std::string& spec,
                                                 const ScriptAgeFilter* filter) {
    std::vector<FtpFoundFile> files;
    Step step = Step::Next;
    if (!FindRemoteFiles(s, spec, files, step, logcode::FtpTransferFailed)) return step;
    const bool overwrite = Read(keys::Overwrite) != "NO";
    const std::string folder = LocalSession().directory;
    FtpClient& c = Client(s);
    CTransferSession copier(s.host, c, control_);
    int attempted = 0;
    int failed = 0;
    Ui().SetTrayState(static_cast<int>(TrayState::Receiving));
    for (const FtpFoundFile& file : files) {
        if (control_ != nullptr && !control_->Checkpoint()) {
            step = Step::EndCancelled;
            break;
        }
        if (!PassesFilter(s, file, filter)) continue;
        ++attempted;
        const bool wasUp = c.IsConnected();
        const std::string target = JoinLocal(folder, file.FileName());
        FtpResult r = FtpOk();
        if (!IsPlainLocalName(file.FileName())) {
            r = FtpFail(ftpcode::kInvalidOperation, "Unsafe local file name: " + file.FileName());
        } else {
            CopyRequest request = ScriptCopy(file.FilePath(), target, s.transferType, ListedSize(file));
            request.overwrite = overwrite;
            r = CopyResult(GetCopyLoop(copier, request));
        }
        failed += r.ok() ? 0 : 1;
        step = TransferOutcome(s, r, file.FileName(), s.host, kLocalMachine, target,
                               Lost(wasUp, c));
        if (step != Step::Next) break;
    }
    EndTransferLine(attempted, failed);
    return step;
}

ScriptInterpreter::Step ScriptInterpreter::DoPut(ScriptSession& s, const std::string& spec,
                                                 const ScriptAgeFilter* filter) {
    const std::string folder = LocalSession().directory;
    const std::string full = !spec.empty() && spec.front() == '/' ? spec : JoinPath(folder, spec);
    const LocalFind found = FindLocalFiles(full);
    if (found.error != 0 || found.files.empty()) {
        const std::string text =
            found.error != 0 ? ScriptFailureText(LocalFileError(found.error, "Cannot read", full)) : Text(kMsgNoSuchFile);
        Log(logcode::FtpTransferFailed, kLocalMachine, s.host, spec, text);
        AddResult(s, false, text, spec);
        return Step::Next;
    }
    const bool overwrite = Read(keys::Overwrite) != "NO";
    FtpClient& c = Client(s);
    CTransferSession copier(s.host, c, control_);
    RemoteLookup lookup;
    Step step = Step::Next;
    int attempted = 0;
    int failed = 0;
    Ui().SetTrayState(static_cast<int>(TrayState::Sending));
    for (const LocalFile& file : found.files) {
        if (control_ != nullptr && !control_->Checkpoint()) {
            step = Step::EndCancelled;
            break;
        }
        if (filter != nullptr && !filter->Passes(now_() - file.modified)) continue;
        ++attempted;
        const bool wasUp = c.IsConnected();
        FtpResult r = overwrite ? FtpOk() : TargetFree(lookup, c, file.name);
        if (r.ok()) {
            CopyRequest request = ScriptCopy(file.path, file.name, s.transferType, file.size);
            request.mode = TransferMode::PutKeep;  // a script never deletes the file it sent
            r = CopyResult(PutCopyLoop(copier, request));
        }
        failed += r.ok() ? 0 : 1;
        step = TransferOutcome(s, r, file.name, kLocalMachine, s.host, JoinRemote(s.directory, file.name),
                               Lost(wasUp, c));
        if (step != Step::Next) break;
    }
    EndTransferLine(attempted, failed);
    return step;
}

ScriptInterpreter::Step ScriptInterpreter::DoSend(ScriptSession& from, ScriptSession& to, const std::string& spec,
                                                  const ScriptAgeFilter* filter) {
    if (&from == &to || !from.connection || !to.connection) {
        const std::string text = &from == &to
                                     ? "The source and the destination are the same session."
                                     : std::string(kNotConnectedText);
        Log(logcode::FtpTransferFailed, from.host, to.host, spec, text);
        AddResult(from, false, text, spec);
        return Step::Next;
    }
    std::vector<FtpFoundFile> files;
    Step step = Step::Next;
    if (!FindRemoteFiles(from, spec, files, step, logcode::FtpTransferFailed)) return step;
    const bool overwrite = Read(keys::Overwrite) != "NO";
    FtpClient& source = *from.connection;
    FtpClient& target = *to.connection;
    CTransferSession sourceCopier(from.host, source, control_);
    CTransferSession targetCopier(to.host, target, control_);
    RemoteLookup lookup;
    int attempted = 0;
    int failed = 0;
    Ui().SetTrayState(static_cast<int>(TrayState::Sending));
    for (const FtpFoundFile& file : files) {
        if (control_ != nullptr && !control_->Checkpoint()) {
            step = Step::EndCancelled;
            break;
        }
        if (!PassesFilter(from, file, filter)) continue;
        ++attempted;
        const bool sourceUp = source.IsConnected();
        const bool targetUp = target.IsConnected();
        FtpResult r = overwrite ? FtpOk() : TargetFree(lookup, target, file.FileName());
        if (r.ok()) {
            r = CopyResult(ServerToServerCopyLoop(
                sourceCopier, targetCopier, ScriptCopy(file.FilePath(), file.FileName(), from.transferType, ListedSize(file))));
        }
        failed += r.ok() ? 0 : 1;
        step = TransferOutcome(from, r, file.FileName(), from.host, to.host,
                               JoinRemote(to.directory, file.FileName()),
                               Lost(sourceUp, source) || Lost(targetUp, target));
        if (step != Step::Next) break;
    }
    EndTransferLine(attempted, failed);
    return step;
}

// ---- output and log --------------------------------------------------------------------------

void ScriptInterpreter::AddLine(const std::string& line) { output_.AddLine(Sanitize(line)); }

void ScriptInterpreter::AddErrorBlock(const std::string& message) {
    ++errorBlocks_;
    AddLine(kBlockRule);
    AddLine(Text(kMsgError));
    AddLine(message);
    AddLine(kBlockRule);
    AddLine("");
}

void ScriptInterpreter::AddParameterError(std::string_view echo) {
    AddErrorBlock(Text(kMsgBadParameters) + " " + std::string(echo));
}

void ScriptInterpreter::AddResult(const ScriptSession& s, bool ok, std::string_view text, std::string_view args) {
    std::string line = s.name + ": " + std::string(text);
    if (!args.empty()) {
        line += ' ';
        line += args;
    }
    if (ok) AddLine(line);
    else AddErrorBlock(line);
}

ScriptInterpreter::Step ScriptInterpreter::AfterFailure(const FtpResult& r, bool connectionLost) const {
    if (r.code == ftpcode::kCancelled || (control_ != nullptr && control_->IsCancelled())) return Step::EndCancelled;
    return connectionLost ? Step::EndConnection : Step::Next;
}

void ScriptInterpreter::Log(int code, const std::string& source, const std::string& destination,
                            const std::string& file, const std::string& detail) {
    (void)log_.WriteLogEntry(code, source, destination, file, detail);
}

}  // namespace zyfar
