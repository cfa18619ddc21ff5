// The script interpreter's line handling: the input is a script run by the
// interpreter without any server. Lines that would open a connection (an
// "open" with six fields or more: later words are ignored) are turned into comments first, so every
// other line meets the keyword match, the field-count rules, the unknown
// session, the LOCAL side and the offline connection. Whatever the script,
// the run reads it to its end or stops at a fatal transfer line, never claims
// a lost connection, and its output is the script path followed by whole
// lines and well-formed five-line error blocks, as many as it reports.
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "automation/ScriptInterpreter.h"
#include "automation/ScriptLexer.h"
#include "log/TransferLog.h"

namespace {

class QuietHost : public zyfar::ScriptHost {
public:
    void ShowMessage(const std::string&) override {}
    void Beep() override {}
};

// Settings, log and data folders in a private scratch folder, never the
// user's own.
void UsePrivateFolders() {
    static const bool done = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zyfar-fuzz-home-XXXXXX";
        FUZZ_CHECK(::mkdtemp(dir.data()) != nullptr);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"})
            ::setenv(name, dir.c_str(), 1);
        return true;
    }();
    (void)done;
}

bool ContainsOpen(std::string_view line) {
    for (std::size_t i = 0; i + 4 <= line.size(); ++i) {
        std::string word(line.substr(i, 4));
        for (char& c : word) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (word == "open") return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UsePrivateFolders();
    std::string script;
    std::string_view rest = zyfar::fuzz::AsText(data, size);
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        const std::string_view line = rest.substr(0, lf);
        const std::size_t fields = zyfar::SplitScriptFields(line).size();
        script.append(ContainsOpen(line) && fields >= 6 ? std::string_view("/") : line);
        if (lf == std::string_view::npos) break;
        script.push_back('\n');
        rest.remove_prefix(lf + 1);
    }
    const std::string& path = zyfar::fuzz::ScratchFile(script);

    zyfar::TransferLog log;
    zyfar::LogSettings settings;
    settings.toFile = false;
    log.ApplySettings(settings);
    zyfar::ScriptOutputCollector output;
    QuietHost host;
    zyfar::ScriptRunResult result;
    {
        zyfar::ScriptInterpreter interpreter(output, host, &log);
        interpreter.SetClockForTesting([] { return std::int64_t{1'780'000'000}; });
        result = interpreter.Run(path);
    }
    FUZZ_CHECK(result.end == zyfar::ScriptEnd::EndOfFile || result.end == zyfar::ScriptEnd::ParameterError);

    const std::vector<std::string> lines = output.Lines();
    FUZZ_CHECK(!lines.empty() && lines.front() == path);
    int blocks = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos);
        if (lines[i] != "========") continue;
        FUZZ_CHECK(i + 4 < lines.size() && lines[i + 1] == "ERROR!" && lines[i + 3] == "========" &&
                   lines[i + 4].empty());
        ++blocks;
        i += 4;
    }
    FUZZ_CHECK(blocks == result.errorBlocks);
    return 0;
}
