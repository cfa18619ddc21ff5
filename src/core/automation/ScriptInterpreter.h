#pragma once
// The FTP command script interpreter: runs a ".cmd" file line by line on the
// calling thread, lists every line's outcome through a ScriptOutput, writes
// connections, directory changes, transfers and remote file operations to
// the transfer log, and closes every session it opened when the run ends.
//
// Output lines: the script path first; then per line a result line
// ("<session>: <result text>[ <arguments>]") when the result is a success,
// else an error block: "========", "ERROR!", the message, "========", "".
// A wrong number of fields gives the error block with the message
// "Bad number of parameters on line: <line>"; a line that starts with no
// keyword gives "Could not parse this line in file:  <line>".
//
// Passwords never reach the output or the log: the password field of an
// "open" line echoed in an error block reads "********".
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/ScriptLexer.h"
#include "automation/ScriptOutput.h"
#include "automation/ScriptTransfer.h"
#include "ftp/FtpClient.h"

namespace zyfar {

class TransferLog;
class WorkerControl;

// The name of the local side's session.
inline constexpr const char* kLocalSessionName = "LOCAL";

// One session of a run.
struct ScriptSession {
    std::string name;       // exact, case-sensitive
    std::string host;
    std::string login;
    std::string password;
    std::string directory;  // the current directory (remote, or local for LOCAL)
    FtpTransferType transferType = FtpTransferType::kBinary;
    std::uint16_t port = 21;
    std::unique_ptr<FtpClient> connection;  // null for LOCAL
    bool connected = false;  // the connection was opened and has not been closed by the run
};

class ScriptInterpreter {
public:
    // The log defaults to the process's transfer log; the control (optional)
    // pauses and cancels the run at every line and copy pass.
    ScriptInterpreter(ScriptOutput& output, ScriptHost& host, TransferLog* log = nullptr,
                      WorkerControl* control = nullptr);
    ~ScriptInterpreter();
    ScriptInterpreter(const ScriptInterpreter&) = delete;
    ScriptInterpreter& operator=(const ScriptInterpreter&) = delete;

    // Runs a script file. Can be called once per interpreter.
    ScriptRunResult Run(const std::string& scriptPath);

    // "Now" for the age filter, in seconds since 1970 (tests fix it).
    void SetClockForTesting(std::function<std::int64_t()> now) { now_ = std::move(now); }

private:
    enum class Step { Next, EndParameter, EndConnection, EndCancelled };

    Step RunLine(const ScriptLine& line);
    Step DoOpen(const std::vector<std::string>& f, std::string_view echo);
    Step DoTransfer(ScriptKeyword keyword, const std::vector<std::string>& f);
    Step DoGet(ScriptSession& s, const std::string& spec, const ScriptAgeFilter* filter);
    Step DoPut(ScriptSession& s, const std::string& spec, const ScriptAgeFilter* filter);
    Step DoSend(ScriptSession& from, ScriptSession& to, const std::string& spec, const ScriptAgeFilter* filter);
    Step DoClose(ScriptSession& s);
    Step DoCd(ScriptSession& s, const std::string& directory);
    Step DoLcd(const std::string& directory);
    Step DoMkdir(ScriptSession& s, const std::string& directory);
    Step DoRemove(ScriptSession& s, const std::string& spec);
    Step DoRmdir(ScriptSession& s, const std::string& directory);
    Step DoRename(ScriptSession& s, const std::string& from, const std::string& to);
    Step DoMessage(std::string_view line);

    // The remote files of a spec on a session, directories left out; lists
    // and logs (with failCode) the failure or "No such file!" itself and
    // answers false then, with the step to take in `step`.
    bool FindRemoteFiles(ScriptSession& s, const std::string& spec, std::vector<FtpFoundFile>& files, Step& step,
                         int failCode);
    bool PassesFilter(ScriptSession& s, const FtpFoundFile& file, const ScriptAgeFilter* filter);
    // One file's outcome: logged, listed, and whether the run goes on.
    Step TransferOutcome(ScriptSession& s, const FtpResult& r, const std::string& name, const std::string& source,
                         const std::string& destination, const std::string& file, bool lost);
    void EndTransferLine(int attempted, int failed);

    ScriptSession* FindSession(const std::string& name);
    // The "LOCAL" session, created with CONFIG DataDir on first use.
    ScriptSession& LocalSession();
    // The session's connection; a never-connected client for the local side.
    FtpClient& Client(ScriptSession& s);
    void CloseAllSessions();

    // Output.
    void AddLine(const std::string& line);
    void AddErrorBlock(const std::string& message);
    void AddParameterError(std::string_view echo);
    void AddResult(const ScriptSession& s, bool ok, std::string_view text, std::string_view args = {});

    // The step after a failed operation: the run ends when the operation
    // lost its connection, or when the run was cancelled.
    [[nodiscard]] Step AfterFailure(const FtpResult& r, bool connectionLost) const;
    void Log(int code, const std::string& source, const std::string& destination, const std::string& file,
             const std::string& detail);

    ScriptOutput& output_;
    ScriptHost& host_;
    TransferLog& log_;
    WorkerControl* control_;
    std::function<std::int64_t()> now_;
    int defaultPort_ = 21;
    int errorBlocks_ = 0;
    std::vector<std::unique_ptr<ScriptSession>> sessions_;
    FtpClient offline_;
};

// The text a failed operation shows: the result's own text, else the text of
// its code; on one line.
[[nodiscard]] std::string ScriptFailureText(const FtpResult& result);

}  // namespace zyfar
