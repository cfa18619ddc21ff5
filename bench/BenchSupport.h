#pragma once
// What the benchmarks share: the test servers' launcher (found from this
// file's place), a private settings file with a quiet log, a served folder of
// many small files, curl started as a process (and timed listing a folder),
// and the process's peak resident memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

namespace zyfar::bench {

// tests/support beside this file's folder. A relative __FILE__ is relative
// to the folder the program was built in, which is the folder it sits in.
inline std::string SupportFolder() {
    std::string dir = __FILE__;
    dir.resize(dir.rfind('/') + 1);
    dir += "../tests/support";
    if (dir[0] != '/') {
        char exe[4096] = {};
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
        std::string base(exe, n > 0 ? static_cast<std::size_t>(n) : 0);
        base.resize(base.rfind('/') + 1);
        dir = base + dir;
    }
    return dir;
}

}  // namespace zyfar::bench

#define ZYFAR_TEST_SUPPORT_DIR ::zyfar::bench::SupportFolder()
// g++ 12 reports a false -Wrestrict for `"literal" + std::string` inlined
// from the launcher.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#pragma GCC diagnostic ignored "-Wshadow"
#include "../tests/support/FtpTestServer.h"
#pragma GCC diagnostic pop

extern char** environ;

namespace zyfar::bench {

// The program's settings and desktop folders inside `dir`; the log is not
// written to a file; direct, passive, no retries. The caller adds its own
// keys, then reloads the log settings.
inline void UsePrivateSettings(const test::TempDir& dir) {
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    SetSettingsFileForTesting(dir / "Zyfar.ini");
    WriteProfileString("LOG", "ToFile", "NO");
    WriteProfileString("FTP", "AccessType", "DirectAccess");
    WriteProfileString("FTP", "Passive", "YES");
    WriteProfileString("FTP", "Retry", "0");
}

// `count` files "file_00000.dat" ... in `dir` (made here), file i holding
// i % 97 bytes: the served folder of the listing benchmarks.
inline void FillServedFolder(const std::string& dir, int count) {
    test::MakeDir(dir);
    char name[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "/file_%05d.dat", i);
        test::WriteFile(dir + name, std::string(static_cast<std::size_t>(i % 97), 'x'));
    }
}

// A test server for the whole run, serving /dir filled by FillServedFolder.
template <class Server>
struct ServedFolder {
    std::unique_ptr<Server> server;
    std::string error;  // why the server did not start; empty when it did
};

template <class Server>
ServedFolder<Server> ServeFolder(const std::string& serverName, int files) {
    ServedFolder<Server> s;
    s.server = std::make_unique<Server>();
    if (!s.server->started()) {
        s.error = serverName + " did not start: " + s.server->error();
        return s;
    }
    FillServedFolder(s.server->root() + "/dir", files);
    return s;
}

// False, with the benchmark skipped for the reason, when the server did not start.
template <class Server>
bool Ready(benchmark::State& state, const ServedFolder<Server>& served) {
    if (served.error.empty()) return true;
    state.SkipWithError(served.error.c_str());
    return false;
}

inline bool CurlInstalled() { return ::access("/usr/bin/curl", X_OK) == 0; }

// Runs `curl -s -o outFile url` with no input; answers its exit status (-1
// when it could not start or did not exit).
inline int RunCurl(const std::string& url, const std::string& outFile) {
    std::vector<std::string> args{"/usr/bin/curl", "-s", "-o", outFile, url};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The lines of a file (what a listing curl saved holds); 0 when unreadable.
inline std::size_t LinesInFile(const std::string& path) {
    const std::string text = test::ReadFile(path).value_or("");
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n' ? 1 : 0;
    return lines;
}

// The peer of the listing benchmarks: curl lists `url` once an iteration
// (process start, connect, log in, list, quit), saving the listing in a
// temporary folder; the last listing must hold `expectedLines` lines.
// Answers the mean seconds of one listing (0 when curl could not run).
inline double TimeCurlListings(benchmark::State& state, const std::string& url, std::size_t expectedLines,
                               const char* notInstalled = "curl is not installed") {
    if (!CurlInstalled()) {
        state.SkipWithError(notInstalled);
        return 0;
    }
    test::TempDir tmp("zyfar-bench-curl");
    const std::string outFile = tmp / "listing.txt";
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (RunCurl(url, outFile) != 0) {
            state.SkipWithError("curl failed");
            return 0;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                           static_cast<double>(state.iterations());
    const std::size_t lines = LinesInFile(outFile);
    if (lines != expectedLines) state.SkipWithError("curl listed a different count");
    state.counters["entries"] = static_cast<double>(lines);
    return seconds;
}

// The peak resident memory starts again from the current one.
inline void ResetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

inline double PeakRssMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

}  // namespace zyfar::bench
