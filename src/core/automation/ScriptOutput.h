#pragma once
// What a script run reports and asks for: the lines of the batch output
// (an observer the GUI dialog and the headless run both implement), and the
// message box and beep of the "message" and "beep" lines.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zyfar {

// How a script run ended.
enum class ScriptEnd {
    EndOfFile,       // every line was run
    ParameterError,  // a "get", "send" or "put" line with a wrong number of fields
    ConnectionLost,  // a connection failed or broke; the run ended at that line
    Cancelled,       // the run was cancelled from outside
    CouldNotOpen,    // the script file could not be opened: nothing was run
    ReadError,       // the script file could not be read to its end
};

struct ScriptRunResult {
    ScriptEnd end = ScriptEnd::EndOfFile;
    int errorBlocks = 0;         // error blocks and parameter error blocks listed
    std::int64_t linesRead = 0;  // script lines taken from the file
};

// Receives the batch output lines, in order, from the thread that runs the
// script. An error block arrives as its five lines.
class ScriptOutput {
public:
    virtual ~ScriptOutput() = default;
    virtual void AddLine(const std::string& line) = 0;
};

// The interactive parts of a run.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // A "message" line: shows the text; the run waits until this returns.
    virtual void ShowMessage(const std::string& text) = 0;
    // A "beep" line.
    virtual void Beep() = 0;
};

// Shows messages through the UI host (an information box with OK) and beeps
// with BEL on standard error when that is a terminal.
[[nodiscard]] ScriptHost& DefaultScriptHost();

// Keeps every line (tests, and a dialog that is opened after the run began).
// Any thread may add and read.
class ScriptOutputCollector : public ScriptOutput {
public:
    void AddLine(const std::string& line) override;
    [[nodiscard]] std::vector<std::string> Lines() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace zyfar
