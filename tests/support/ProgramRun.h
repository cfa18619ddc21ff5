#pragma once
// Runs the built program (which the core tests do not build themselves) with
// the test's XDG folders, HOME at a given folder, no display and no input;
// standard output and error go to out.txt and err.txt there. Header-only.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/FtpTestServer.h"

extern char** environ;

namespace zyfar::test {

struct ProgramOutcome {
    int status = -1;  // the exit status, -1 when killed or not started
    std::string out;
    std::string err;
};

inline std::string ProgramPath() { return std::string(ZYFAR_BINARY_DIR) + "/src/ui/zyfar"; }

// `extraEnv` adds NAME=value words (QT_QPA_PLATFORM=offscreen for a run with a display).
inline pid_t StartProgram(const std::vector<std::string>& args, const std::string& folder,
                          const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> env{"HOME=" + folder, "PATH=/usr/bin:/bin"};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv{ProgramPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (folder + "/out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (folder + "/err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits at most two minutes; a program still running is killed and fails the test.
inline ProgramOutcome FinishProgram(pid_t pid, const std::string& folder) {
    ProgramOutcome o;
    if (pid <= 0) {
        ADD_FAILURE() << "cannot start " << ProgramPath();
        return o;
    }
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 12000 && !ended; ++i) {
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        ADD_FAILURE() << "the program did not end";
        return o;
    }
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadFile(folder + "/out.txt").value_or("");
    o.err = ReadFile(folder + "/err.txt").value_or("");
    return o;
}

inline ProgramOutcome RunProgram(const std::vector<std::string>& args, const std::string& folder,
                                 const std::vector<std::string>& extraEnv = {}) {
    return FinishProgram(StartProgram(args, folder, extraEnv), folder);
}

}  // namespace zyfar::test
