#include "platform/CommandLine.h"

#include <cctype>

#include "platform/TextUtil.h"

namespace zyfar {
namespace {

enum class Pending { None, Script, Link };

bool IsLongOption(const std::string& word) { return word.size() > 2 && word.compare(0, 2, "--") == 0; }

constexpr const char* kLsOption = "--ls";

// The long options with a value ("--name value" or "--name=value").
struct ValueOption {
    const char* name;
    std::string CommandLine::*value;
    bool CommandLine::*flag;  // set when the option is given, or null
    const char* missing;      // the error for an empty value
};
constexpr ValueOption kValueOptions[] = {
    {kLsOption, &CommandLine::lsUrl, &CommandLine::ls, "option --ls needs a URL"},
    {"--trust", &CommandLine::trustUrl, &CommandLine::trust, "option --trust needs a URL"},
    {"--fingerprint", &CommandLine::fingerprint, nullptr, "option --fingerprint needs a SHA256: fingerprint"},
};

// Returns where the next word goes when the option takes it as its value.
std::string* TakeLongOption(const std::string& word, CommandLine& line) {
    for (const ValueOption& o : kValueOptions) {
        const std::string name = o.name;
        if (word != name && word.rfind(name + "=", 0) != 0) continue;
        if (o.flag != nullptr) line.*o.flag = true;
        if (word == name) return &(line.*o.value);
        line.*o.value = word.substr(name.size() + 1);
        if ((line.*o.value).empty()) line.optionError = o.missing;
        return nullptr;
    }
    if (word == "--passive") line.passive = true;
    else if (word == "--headless") line.headless = true;
    else if (word == "--help") line.help = true;
    else if (word == "--version") line.version = true;
    else line.unknownOptions.push_back(word);
    return nullptr;
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
    // ftpes:// asks for FTP over TLS with AUTH TLS, ftps:// for implicit TLS.
    for (const std::string_view scheme : {"ftp://", "ftpes://", "ftps://"})
        if (StartsWithNoCase(word, scheme)) return true;
    return false;
}

bool IsFrameworkFlag(const std::string& word) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
    return word.find('/', 1) == std::string::npos;
}

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
    CommandLine line;
    Pending pending = Pending::None;
    bool taken = false;  // once a value was taken every later framework word is ignored
    std::string* value = nullptr;  // the next word is this option's value, whatever it looks like
    for (const std::string& word : words) {
        if (value != nullptr) {
            *value = word;
            value = nullptr;
            continue;
        }
        if (IsLongOption(word)) {
            value = TakeLongOption(word, line);
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
            line.optionError = "only ftp://, ftpes:// and ftps:// URLs can be opened";
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
    for (const ValueOption& o : kValueOptions) {
        const bool given = o.flag != nullptr ? line.*o.flag : value == &(line.*o.value);
        if (given && line.optionError.empty() && (line.*o.value).empty()) line.optionError = o.missing;
    }
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
           "                         in the process list). ftpes:// opens it with FTP over TLS,\n"
           "                         ftps:// with implicit TLS (port 990 by default)\n"
           "\n"
           "Unattended runs (the first flag and its value count, later ones are ignored):\n"
           "  /b SCRIPT, -b SCRIPT   run the FTP command script SCRIPT (a \".cmd\" file), then quit\n"
           "  /l LINK, -l LINK       send the file list of the link LINK to all its sites, then quit\n"
           "                         (flag letters may be upper or lower case)\n"
           "\n"
           "Listing a remote folder (no window is opened):\n"
           "  --ls URL               list ftp://[user@]host[:port]/path on standard output\n"
           "                         (ftpes:// for FTP over TLS, ftps:// for implicit TLS on port 990),\n"
           "                         one line per entry: type (d, f, l), size, time, name, separated\n"
           "                         by tabs. The password comes from ZYFAR_PASSWORD or from\n"
           "                         ~/.netrc (used only when no one else may read it: chmod 600);\n"
           "                         a password written in the URL (user:password@) works but stays\n"
           "                         visible in the process list and the shell history. Without a\n"
           "                         user (in the URL or ~/.netrc) the login is anonymous\n"
           "  --passive              use passive data connections for --ls\n"
           "\n"
           "Server certificates (FTP over TLS):\n"
           "  --trust URL            connect to ftpes://host[:port] or ftps://host[:port], show the\n"
           "                         server's certificate and trust it from now on (check its\n"
           "                         SHA-256 fingerprint first); with --fingerprint only that one\n"
           "  --fingerprint SHA256:HEX  accept exactly this certificate for this run (--ls)\n"
           "\n"
           "Options:\n"
           "  --headless             run a script or link without a window, printing to standard\n"
           "                         output (the default when no display is available)\n"
           "  --help                 show this help and exit\n"
           "  --version              show the version and exit\n";
}

}  // namespace zyfar
