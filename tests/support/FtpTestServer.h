#pragma once
// Starts and stops the test FTP servers of tests/support from GoogleTest (or
// any C++ test): pyftpdlib, vsftpd, the scripted fault server and a small
// HTTP CONNECT proxy. Each server runs as a child process in its own process
// group, binds the loopback address only, reports its port on stdout (read
// with a bounded wait), and is killed and reaped when its object goes away.
// Header-only; POSIX.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace zyfar::test {

#ifdef ZYFAR_TEST_SUPPORT_DIR
inline std::string SupportDir() { return ZYFAR_TEST_SUPPORT_DIR; }
#else
inline std::string SupportDir() { return "tests/support"; }
#endif

inline const char* kPython = "/usr/bin/python3";

// ---- files and folders -------------------------------------------------------------

inline void RemoveTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        if (DIR* d = ::opendir(path.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") {
                    RemoveTree(path + "/" + name);
                }
            }
            ::closedir(d);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

// A fresh folder under $TMPDIR (or /tmp), removed with its contents on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "zyfar-test") {
        const char* base = std::getenv("TMPDIR");
        // Built piece by piece: "literal" + std::string trips a false -Wrestrict in g++ 12.
        std::string templ(base != nullptr && *base != '\0' ? base : "/tmp");
        templ += '/';
        templ += prefix;
        templ += "-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) != nullptr) {
            path_ = buf.data();
        }
    }
    ~TempDir() {
        if (!path_.empty()) {
            RemoveTree(path_);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] bool valid() const { return !path_.empty(); }
    [[nodiscard]] std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

inline std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline bool MakeDir(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST; }

// Deterministic bytes for transfer tests (not a repeating short pattern).
inline std::string PatternBytes(std::size_t n, std::uint32_t seed = 1) {
    std::string out(n, '\0');
    std::uint32_t x = seed * 2654435761U + 1;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x & 0xFF);
    }
    return out;
}

// ---- a child process that reports its port ------------------------------------------

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Runs argv (argv[0] a full path) with stderr in errorFile, and waits up
    // to `wait` for a line "PORT <n>" on its stdout. On failure the child is
    // gone again, and error() says why (with its exit status and stderr).
    bool Start(const std::vector<std::string>& argv, const std::string& errorFile,
               std::chrono::milliseconds wait = std::chrono::seconds(15)) {
        Stop();
        errorFile_ = errorFile;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error_ = "pipe failed";
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
        posix_spawnattr_setpgroup(&attr, 0);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            error_ = "spawn failed: ";
            error_ += std::strerror(rc);
            return false;
        }
        pid_ = pid;
        const bool ok = ReadPort(fds[0], wait);
        ::close(fds[0]);
        if (!ok) {
            Stop();
            error_ += ' ';
            error_ += Describe();
            return false;
        }
        return true;
    }

    // Kills the whole process group, then reaps the child (bounded).
    void Stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(-pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {  // up to about 2 s
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || r < 0) {
                exitStatus_ = status;
                ::kill(-pid_, SIGKILL);  // helpers it started
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(-pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exitStatus_ = status;
        pid_ = -1;
    }

    [[nodiscard]] std::uint16_t port() const { return port_; }
    [[nodiscard]] bool running() const { return pid_ > 0; }
    [[nodiscard]] const std::string& error() const { return error_; }
    // True when the child exited with 77: "this environment cannot run it".
    [[nodiscard]] bool skipped() const { return WIFEXITED(exitStatus_) && WEXITSTATUS(exitStatus_) == 77; }

private:
    bool ReadPort(int fd, std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        std::string got;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                error_ = "no port reported in time";
                return false;
            }
            pollfd readable{fd, POLLIN, 0};
            const int rc = ::poll(&readable, 1, static_cast<int>(left.count()));
            if (rc < 0 && errno == EINTR) {
                continue;
            }
            if (rc <= 0) {
                error_ = "no port reported in time";
                return false;
            }
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof(buf));
            if (n <= 0) {
                error_ = "server ended before reporting its port";
                return false;
            }
            got.append(buf, static_cast<std::size_t>(n));
            const std::size_t nl = got.find('\n');
            if (nl != std::string::npos) {
                const std::string line = got.substr(0, nl);
                if (line.rfind("PORT ", 0) == 0) {
                    const long value = std::strtol(line.c_str() + 5, nullptr, 10);
                    if (value > 0 && value < 65536) {
                        port_ = static_cast<std::uint16_t>(value);
                        return true;
                    }
                }
                error_ = "unexpected output: " + line;
                return false;
            }
        }
    }

    std::string Describe() const {
        std::ostringstream out;
        if (WIFEXITED(exitStatus_)) {
            out << "(exit " << WEXITSTATUS(exitStatus_) << ")";
        }
        if (std::optional<std::string> err = ReadFile(errorFile_)) {
            err->resize(std::min<std::size_t>(err->size(), 2000));
            out << ' ' << *err;
        }
        return out.str();
    }

    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    int exitStatus_ = 0;
    std::string error_;
    std::string errorFile_;
};

// ---- pyftpdlib -----------------------------------------------------------------------------

struct PyFtpdOptions {
    std::vector<std::pair<std::string, std::string>> users{{"user", "pass"}};
    // Users who may store but not list, read or ask sizes.
    std::vector<std::pair<std::string, std::string>> uploadUsers{};
    bool anonymous = false;
    bool noMlsd = false;  // neither MLSD nor MLST: clients must use LIST
    bool ipv6 = false;    // bind ::1
    std::uint16_t passiveLow = 0;
    std::uint16_t passiveHigh = 0;
    int lifetimeSeconds = 300;
    // FTP over TLS (AUTH TLS required for the login and the data) with this
    // certificate and key (PEM files).
    std::string tlsCert{};
    std::string tlsKey{};
};

// pyftpdlib serving a fresh temporary root (root()).
class PyFtpdServer {
public:
    explicit PyFtpdServer(PyFtpdOptions options = {}) : options_(std::move(options)), dir_("zyfar-pyftpd") {
        root_ = dir_ / "root";
        MakeDir(root_);
        std::vector<std::string> argv{kPython, SupportDir() + "/ftp_pyftpd.py", "--root", root_, "--lifetime",
                                      std::to_string(options_.lifetimeSeconds)};
        for (const auto& [name, password] : options_.users) {
            argv.push_back("--user");
            argv.push_back(name + ":" + password);
        }
        for (const auto& [name, password] : options_.uploadUsers) {
            argv.push_back("--upload-user");
            argv.push_back(name + ":" + password);
        }
        if (options_.anonymous) {
            argv.push_back("--anonymous");
        }
        if (options_.noMlsd) {
            argv.push_back("--no-mlsd");
        }
        if (options_.ipv6) {
            argv.push_back("--ipv6");
        }
        if (options_.passiveLow != 0) {
            argv.push_back("--passive-ports");
            argv.push_back(std::to_string(options_.passiveLow) + "-" + std::to_string(options_.passiveHigh));
        }
        if (!options_.tlsCert.empty()) {
            argv.insert(argv.end(), {"--tls-cert", options_.tlsCert, "--tls-key", options_.tlsKey});
        }
        started_ = process_.Start(argv, dir_ / "stderr.txt");
    }

    [[nodiscard]] bool started() const { return started_; }
    [[nodiscard]] const std::string& error() const { return process_.error(); }
    [[nodiscard]] std::uint16_t port() const { return process_.port(); }
    [[nodiscard]] const std::string& root() const { return root_; }
    [[nodiscard]] std::string host() const { return options_.ipv6 ? "::1" : "127.0.0.1"; }

private:
    PyFtpdOptions options_;
    TempDir dir_;
    std::string root_;
    ServerProcess process_;
    bool started_ = false;
};

// ---- vsftpd ------------------------------------------------------------------------------

struct VsftpdOptions {
    int lifetimeSeconds = 300;
    bool askPassword = false;  // anonymous logins send PASS too
    std::uint16_t passiveLow = 0;
    std::uint16_t passiveHigh = 0;
    // FTP over TLS with this certificate and key (PEM files): login and data
    // protected, session reuse and close_notify required (ftp_vsftpd.py).
    std::string tlsCert{};
    std::string tlsKey{};
    bool implicitTls = false;
    bool lenientTlsClose = false;  // data connections may end without close_notify
};

// vsftpd, anonymous login, serving a fresh temporary root. Uploads go to
// uploadFolder() ("/upload" when running as root, "/" otherwise).
class VsftpdServer {
public:
    // The server exits by itself after `lifetimeSeconds` (a left-over one
    // never outlives a crashed test for long).
    explicit VsftpdServer(int lifetimeSeconds = 300) : VsftpdServer(WithLifetime(lifetimeSeconds)) {}
    explicit VsftpdServer(const VsftpdOptions& options) : dir_("zyfar-vsftpd") {
        ::chmod(dir_.path().c_str(), 0755);
        root_ = dir_ / "root";
        MakeDir(root_);
        std::vector<std::string> argv{kPython, SupportDir() + "/ftp_vsftpd.py", "--root", root_, "--work",
                                      dir_.path(), "--lifetime", std::to_string(options.lifetimeSeconds)};
        if (options.askPassword) argv.push_back("--ask-password");
        if (options.passiveLow != 0) {
            argv.push_back("--pasv-ports");
            argv.push_back(std::to_string(options.passiveLow) + "-" + std::to_string(options.passiveHigh));
        }
        if (!options.tlsCert.empty()) {
            argv.insert(argv.end(), {"--tls-cert", options.tlsCert, "--tls-key", options.tlsKey});
            if (options.implicitTls) argv.push_back("--implicit");
            if (options.lenientTlsClose) argv.push_back("--tls-lenient");
        }
        started_ = process_.Start(argv, dir_ / "stderr.txt");
    }

    static VsftpdOptions WithLifetime(int seconds) {
        VsftpdOptions o;
        o.lifetimeSeconds = seconds;
        return o;
    }

    [[nodiscard]] bool started() const { return started_; }
    // vsftpd cannot run in this environment (not installed, refuses to start).
    [[nodiscard]] bool unavailable() const { return !started_ && process_.skipped(); }
    [[nodiscard]] const std::string& error() const { return process_.error(); }
    [[nodiscard]] std::uint16_t port() const { return process_.port(); }
    [[nodiscard]] const std::string& root() const { return root_; }
    [[nodiscard]] std::string uploadFolder() const { return ::geteuid() == 0 ? "/upload" : "/"; }
    [[nodiscard]] std::string uploadPath() const { return ::geteuid() == 0 ? root_ + "/upload" : root_; }

private:
    TempDir dir_;
    std::string root_;
    ServerProcess process_;
    bool started_ = false;
};

// ---- scripted fault server ------------------------------------------------------------------

// The fault server with a JSON script (see ftp_fault_server.py for its keys).
class FaultServer {
public:
    explicit FaultServer(const std::string& scriptJson, bool ipv6 = false) : dir_("zyfar-fault") {
        WriteFile(dir_ / "script.json", scriptJson);
        log_ = dir_ / "commands.log";
        WriteFile(log_, "");
        root_ = dir_ / "root";
        MakeDir(root_);
        std::vector<std::string> argv{kPython, SupportDir() + "/ftp_fault_server.py", "--script",
                                      dir_ / "script.json", "--log", log_, "--root", root_};
        if (ipv6) {
            argv.push_back("--ipv6");
        }
        started_ = process_.Start(argv, dir_ / "stderr.txt");
    }

    [[nodiscard]] bool started() const { return started_; }
    [[nodiscard]] const std::string& error() const { return process_.error(); }
    [[nodiscard]] std::uint16_t port() const { return process_.port(); }
    // The folder whose files the server serves (and stores into with "store": true).
    [[nodiscard]] const std::string& root() const { return root_; }

    // Every line the server received, in order ("#CONNECT" marks a new
    // control connection, "#STORED n" a finished upload).
    [[nodiscard]] std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        std::istringstream in(ReadFile(log_).value_or(""));
        std::string line;
        while (std::getline(in, line)) {
            out.push_back(line);
        }
        return out;
    }
    // The command lines only (markers left out).
    [[nodiscard]] std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (std::string& l : Lines()) {
            if (l.empty() || l[0] != '#') {
                out.push_back(std::move(l));
            }
        }
        return out;
    }
    [[nodiscard]] std::size_t Count(const std::string& line) const {
        std::size_t n = 0;
        for (const std::string& l : Lines()) {
            n += l == line ? 1 : 0;
        }
        return n;
    }
    // Waits (bounded) until a line appears; the server logs before it replies,
    // but a command the client sent without waiting for the answer may lag.
    [[nodiscard]] bool WaitForLine(const std::string& line, std::chrono::milliseconds wait = std::chrono::seconds(5)) const {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Count(line) > 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return Count(line) > 0;
    }

private:
    TempDir dir_;
    std::string log_;
    std::string root_;
    ServerProcess process_;
    bool started_ = false;
};

// ---- HTTP CONNECT proxy -----------------------------------------------------------------------

// A CONNECT-only proxy on 127.0.0.1 that tunnels to loopback targets only.
class ConnectProxy {
public:
    ConnectProxy() : dir_("zyfar-proxy") {
        log_ = dir_ / "connects.log";
        WriteFile(log_, "");
        started_ = process_.Start({kPython, SupportDir() + "/ftp_connect_proxy.py", "--log", log_},
                                  dir_ / "stderr.txt");
    }
    [[nodiscard]] bool started() const { return started_; }
    [[nodiscard]] const std::string& error() const { return process_.error(); }
    [[nodiscard]] std::uint16_t port() const { return process_.port(); }
    // The "host:port" of each CONNECT request, in order.
    [[nodiscard]] std::vector<std::string> Targets() const {
        std::vector<std::string> out;
        std::istringstream in(ReadFile(log_).value_or(""));
        std::string line;
        while (std::getline(in, line)) {
            out.push_back(line);
        }
        return out;
    }

private:
    TempDir dir_;
    std::string log_;
    ServerProcess process_;
    bool started_ = false;
};

// ---- capture relay -----------------------------------------------------------------------------

// A raw relay on 127.0.0.2 in front of a server on 127.0.0.1 that records
// every byte both ways (ftp_capture_relay.py): the control connection on
// port(), passive data connections on the server's passive ports.
class CaptureRelay {
public:
    CaptureRelay(std::uint16_t targetPort, std::uint16_t dataLow, std::uint16_t dataHigh) : dir_("zyfar-relay") {
        capture_ = dir_ / "capture.bin";
        WriteFile(capture_, "");
        std::vector<std::string> argv{kPython, SupportDir() + "/ftp_capture_relay.py", "--target-port",
                                      std::to_string(targetPort), "--capture", capture_};
        if (dataLow != 0) {
            argv.push_back("--data-ports");
            argv.push_back(std::to_string(dataLow) + "-" + std::to_string(dataHigh));
        }
        started_ = process_.Start(argv, dir_ / "stderr.txt");
    }
    [[nodiscard]] bool started() const { return started_; }
    [[nodiscard]] const std::string& error() const { return process_.error(); }
    [[nodiscard]] std::uint16_t port() const { return process_.port(); }
    [[nodiscard]] std::string host() const { return "127.0.0.2"; }
    // Everything that passed so far, both directions.
    [[nodiscard]] std::string Captured() const { return ReadFile(capture_).value_or(""); }

private:
    TempDir dir_;
    std::string capture_;
    ServerProcess process_;
    bool started_ = false;
};

// `count` consecutive ports free on 127.0.0.1 and 127.0.0.2 (for a server's
// passive range that a relay mirrors); 0 when none was found.
inline std::uint16_t FreePortRange(int count) {
    const auto bindable = [](const char* address, int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0;
        ::close(fd);
        return ok;
    };
    std::uint32_t seed = static_cast<std::uint32_t>(::getpid()) * 2654435761U;
    for (int attempt = 0; attempt < 50; ++attempt) {
        seed = seed * 1103515245U + 12345U;
        const int base = 20000 + static_cast<int>((seed >> 8) % 30000);
        bool free = true;
        for (int p = base; p < base + count && free; ++p) free = bindable("127.0.0.1", p) && bindable("127.0.0.2", p);
        if (free) return static_cast<std::uint16_t>(base);
    }
    return 0;
}

}  // namespace zyfar::test
