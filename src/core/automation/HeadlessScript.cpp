#include "automation/HeadlessScript.h"

#include <sys/stat.h>
#include <unistd.h>

#include "automation/ScriptInterpreter.h"
#include "automation/ScriptOutput.h"
#include "platform/MessageTable.h"

namespace zyfar {
namespace {

constexpr int kMsgCannotOpenScript = 33050;  // "Could not open Zyfar Script file, exiting ...."

void PrintLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

class StreamOutput final : public ScriptOutput {
public:
    explicit StreamOutput(std::FILE* out) : out_(out) {}
    void AddLine(const std::string& line) override { PrintLine(out_, line); }

private:
    std::FILE* out_;
};

// Nobody is there to close a message box: the text is printed and the run
// goes on. A beep rings the terminal when standard error is one.
class StreamHost final : public ScriptHost {
public:
    explicit StreamHost(std::FILE* out) : out_(out) {}
    void ShowMessage(const std::string& text) override {
        std::string shown = text;
        for (char& c : shown) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F) c = '?';
        }
        PrintLine(out_, shown);
    }
    void Beep() override { DefaultScriptHost().Beep(); }

private:
    std::FILE* out_;
};

bool EndsWithCmd(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return tail == ".cmd";
}

void PrintMessage(std::FILE* stream, int id) { PrintLine(stream, std::string(MessageText(id))); }

}  // namespace

bool IsScriptFilePath(const std::string& path) {
    struct stat st {};
    return EndsWithCmd(path) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int RunHeadlessScript(const std::string& path, std::FILE* out, std::FILE* err) {
    if (!IsScriptFilePath(path)) {
        PrintMessage(err, kMsgCannotOpenScript);
        return kHeadlessBadScript;
    }
    StreamOutput output(out);
    StreamHost host(out);
    ScriptInterpreter interpreter(output, host);
    const ScriptRunResult result = interpreter.Run(path);
    if (result.end == ScriptEnd::CouldNotOpen) {
        PrintMessage(err, kMsgCannotOpenScript);
        return kHeadlessBadScript;
    }
    return result.errorBlocks == 0 && result.end == ScriptEnd::EndOfFile ? kHeadlessOk : kHeadlessErrors;
}

}  // namespace zyfar
