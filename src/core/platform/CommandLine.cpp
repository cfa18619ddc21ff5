#include "platform/CommandLine.h"

#include <cctype>

namespace zyfar {
namespace {

enum class Pending { None, Script, Link };

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsLongOption(const std::string& word) { return word.size() > 2 && word.compare(0, 2, "--") == 0; }

void TakeLongOption(const std::string& word, CommandLine& line) {
    if (word == "--headless") line.headless = true;
    else if (word == "--help") line.help = true;
    else if (word == "--version") line.version = true;
    else line.unknownOptions.push_back(word);
}

}  // namespace

bool IsFrameworkFlag(const std::string& word) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
    return word.find('/', 1) == std::string::npos;
}

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    Pending pending = Pending::None;
    bool taken = false;  // once a value was taken every later framework word is ignored
    for (const std::string& word : words) {
        if (IsLongOption(word)) {
            TakeLongOption(word, line);
            continue;
        }
        if (taken) continue;
        if (pending != Pending::None) {
            // The word after a flag is its value whatever it starts with.
            (pending == Pending::Script ? line.scriptPath : line.linkName) = word;
            line.commandLineJob = true;
            taken = true;
            pending = Pending::None;
            continue;
        }
        if (IsFrameworkFlag(word)) {
            const std::string name = Lower(word.substr(1));
            if (name == "b") pending = Pending::Script;
            else if (name == "l") pending = Pending::Link;
            else pending = Pending::None;  // an unknown flag discards the pending one
        }
        // A plain word that follows no flag is ignored.
    }
    return line;
}

std::string UsageText(const std::string& programName) {
    return "Usage: " + programName + " [options]\n"
           "\n"
           "Zyfar, an FTP client. Without options it opens its window.\n"
           "\n"
           "Unattended runs (the first flag and its value count, later ones are ignored):\n"
           "  /b SCRIPT, -b SCRIPT   run the FTP command script SCRIPT (a \".cmd\" file), then quit\n"
           "  /l LINK, -l LINK       send the file list of the link LINK to all its sites, then quit\n"
           "                         (flag letters may be upper or lower case)\n"
           "\n"
           "Options:\n"
           "  --headless             run a script or link without a window, printing to standard\n"
           "                         output (the default when no display is available)\n"
           "  --help                 show this help and exit\n"
           "  --version              show the version and exit\n";
}

}  // namespace zyfar
