#include "platform/CommandLine.h"

#include <cctype>

#include "platform/TextUtil.h"

namespace zyfar {
namespace {

enum class Pending { None, Script, Link };

bool IsLongOption(const std::string& word) { return word.size() > 2 && word.compare(0, 2, "--") == 0; }

constexpr const char* kLsOption = "--ls";

// Returns true when the option takes the next word as its value.
bool TakeLongOption(const std::string& word, CommandLine& line) {
    if (word == kLsOption) {
        line.ls = true;
        return true;
    }
    if (word.rfind("--ls=", 0) == 0) {
        line.ls = true;
        line.lsUrl = word.substr(5);
        if (line.lsUrl.empty()) line.optionError = "option --ls needs a URL";
        return false;
    }
    if (word == "--passive") line.passive = true;
    else if (word == "--headless") line.headless = true;
    else if (word == "--help") line.help = true;
    else if (word == "--version") line.version = true;
    else line.unknownOptions.push_back(word);
    return false;
}

// A word such as "sftp://host/": a URL of a kind the program does not open.
bool IsOtherUrlWord(const std::string& word) {
    const std::size_t colon = word.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = word[i];
        const bool schemeChar = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
        if (!schemeChar) return false;
    }
    return true;
}

}  // namespace

bool IsFtpUrlWord(const std::string& word) {
    return word.size() >= 6 && ToLowerAscii(word.substr(0, 6)) == "ftp://";
}

bool IsFrameworkFlag(const std::string& word) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
    return word.find('/', 1) == std::string::npos;
}

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    Pending pending = Pending::None;
    bool taken = false;  // once a value was taken every later framework word is ignored
    bool lsValue = false;  // the next word is the URL of --ls, whatever it looks like
    for (const std::string& word : words) {
        if (lsValue) {
            line.lsUrl = word;
            lsValue = false;
            continue;
        }
        if (IsLongOption(word)) {
            lsValue = TakeLongOption(word, line);
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
        if (IsFtpUrlWord(word)) {
            if (line.url.empty()) line.url = word;
            continue;
        }
        if (IsOtherUrlWord(word)) {
            line.optionError = "only ftp:// URLs can be opened";
            continue;
        }
        if (IsFrameworkFlag(word)) {
            const std::string name = ToLowerAscii(word.substr(1));
            if (name == "b") pending = Pending::Script;
            else if (name == "l") pending = Pending::Link;
            else pending = Pending::None;  // an unknown flag discards the pending one
        }
        // A plain word that follows no flag is ignored.
    }
    if (line.ls && line.optionError.empty() && line.lsUrl.empty()) line.optionError = "option --ls needs a URL";
    return line;
}

std::string UsageText(const std::string& programName) {
    return "Usage: " + programName + " [options] [ftp://[user@]host[:port]/path]\n"
           "\n"
           "Zyfar, an FTP client. Without options it opens its window.\n"
           "\n"
           "Opening a server:\n"
           "  ftp://[user@]host[:port]/path\n"
           "                         open the window on the Standard FTP screen connected to\n"
           "                         that folder. Without a user the login is anonymous with\n"
           "                         the stored e-mail address; with a user the password is\n"
           "                         asked for (one written in the URL works but stays visible\n"
           "                         in the process list)\n"
           "\n"
           "Unattended runs (the first flag and its value count, later ones are ignored):\n"
           "  /b SCRIPT, -b SCRIPT   run the FTP command script SCRIPT (a \".cmd\" file), then quit\n"
           "  /l LINK, -l LINK       send the file list of the link LINK to all its sites, then quit\n"
           "                         (flag letters may be upper or lower case)\n"
           "\n"
           "Listing a remote folder (no window is opened):\n"
           "  --ls URL               list ftp://[user@]host[:port]/path on standard output,\n"
           "                         one line per entry: type (d, f, l), size, time, name, separated\n"
           "                         by tabs. The password comes from ZYFAR_PASSWORD or from\n"
           "                         ~/.netrc (used only when no one else may read it: chmod 600);\n"
           "                         a password written in the URL (user:password@) works but stays\n"
           "                         visible in the process list and the shell history. Without a\n"
           "                         user (in the URL or ~/.netrc) the login is anonymous\n"
           "  --passive              use passive data connections for --ls\n"
           "\n"
           "Options:\n"
           "  --headless             run a script or link without a window, printing to standard\n"
           "                         output (the default when no display is available)\n"
           "  --help                 show this help and exit\n"
           "  --version              show the version and exit\n";
}

}  // namespace zyfar
