#pragma once
// The program's command line: one unattended job ("b" script or "l" link) in
// the flag syntax, plus the long options of this build.
#include <string>
#include <vector>

namespace zyfar {

struct CommandLine {
    // The framework flags: only the first flag-and-value pair counts.
    bool commandLineJob = false;
    std::string scriptPath;  // value of "b"
    std::string linkName;    // value of "l"

    // An ftp:// (ftpes://, ftps://) URL among the plain words (what the
    // desktop passes when a link is opened with the program): the window
    // opens connected to it.
    // Only the first counts; a script or link run leaves it unused.
    std::string url;

    // Long options.
    bool headless = false;
    bool help = false;
    bool version = false;
    bool ls = false;           // --ls URL (or --ls=URL): list a remote folder and exit
    std::string lsUrl;
    bool passive = false;      // --passive: passive data connections for --ls
    std::vector<std::string> unknownOptions;  // long options we do not know
    std::string optionError;   // a long option given without its value
    // FTP over TLS certificates.
    bool trust = false;        // --trust URL (or --trust=URL): store the server's certificate and exit
    std::string trustUrl;
    std::string fingerprint;   // --fingerprint SHA256:... : the certificate accepted for this run
};

// True when `word` is a framework flag: "/" or "-" followed by a flag name
// that holds no further "/" (so "/tmp/x.cmd" is a path, "/b" and "-L" are flags).
[[nodiscard]] bool IsFrameworkFlag(const std::string& word);

// True when `word` is an ftp://, ftpes:// or ftps:// URL (the scheme without
// regard to case).
[[nodiscard]] bool IsFtpUrlWord(const std::string& word);

// Parses the words after the program name.
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& words);

// The usage text printed by --help.
[[nodiscard]] std::string UsageText(const std::string& programName);

}  // namespace zyfar
