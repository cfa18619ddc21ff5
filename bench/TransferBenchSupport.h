#pragma once
// What the throughput benchmarks against one vsftpd on loopback share: the
// engine, curl and lftp moving a 1 GiB file and 2,000 files of 4 KiB to the
// same server in the same run, every case in several rounds in a rotating
// order, and a summary that compares medians.
//
// The server's folder and the local files live on tmpfs (/dev/shm, or
// ZYFAR_BENCH_DIR) so that disk writeback does not decide the figures; the
// 1 GiB sources are sparse. With two or more cores the server runs on the
// first and the client side on the second (ZYFAR_BENCH_PIN=0: not).
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/TransferController.h"
#include "engine/TransferProgress.h"
#include "engine/TransferRun.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"

namespace zyfar::bench {

using SteadyClock = std::chrono::steady_clock;

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;
constexpr int kSmallFiles = 2000;
constexpr int kSmallSize = 4096;

inline double Seconds(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

inline std::int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

inline bool MakeSparse(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

// The first read of a sparse file's holes makes the kernel set up its page
// cache; done once before timing, so that it lands on no case.
inline bool ReadWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    ::close(fd);
    return got == 0;
}

inline bool HasCommand(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// The first three figures of /proc/loadavg.
inline std::string LoadAverage() {
    std::string text = test::ReadFile("/proc/loadavg").value_or("");
    const std::size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return cut == std::string::npos ? text : text.substr(0, cut);
}

inline void SetBuffers(int size) {
    WriteProfileString("FTP", "ReadBuffer", std::to_string(size));
    WriteProfileString("FTP", "WriteBuffer", std::to_string(size));
}

inline TransferServer Site(std::uint16_t port, Encryption encryption) {
    TransferServer s{"127.0.0.1", "anonymous", "", "", port};
    s.encryption = encryption;
    return s;
}

inline CTransferJob Job(const std::string& localDir, const std::string& source, const std::string& target,
                        const std::string& remoteDir, std::int64_t size) {
    CTransferJob job;
    job.localDir = localDir;
    job.sourceName = source;
    job.targetName = target;
    job.remoteDir = remoteDir;
    job.size = size;
    return job;
}

// Runs one put or get batch to its end; the number of failed jobs. With
// `tellConnectError`, why the connection failed goes to stderr.
inline int RunBatch(const TransferServer& site, const std::vector<CTransferJob>& jobs, const std::string& localDir,
                    TransferMode mode, ProgressSnapshot* progress = nullptr, bool tellConnectError = false) {
    std::int64_t total = 0;
    for (const CTransferJob& j : jobs) {
        total += j.size;
    }
    TransferController c(MakeSingleServerRun(site, jobs, localDir, total, mode, 2, nullptr, nullptr, false));
    c.RunToEnd();
    if (progress != nullptr) {
        *progress = c.run().progress.Snapshot();
    }
    int failed = 0;
    for (const CTransferJob& j : c.run().jobs) {
        failed += j.status != 0;
    }
    if (tellConnectError && failed != 0 && !c.run().connectErrorText.empty()) {
        std::fprintf(stderr, "\n  (%s)\n", c.run().connectErrorText.c_str());
    }
    return failed;
}

inline bool Timed(const std::function<bool()>& work, double* seconds) {
    const auto start = SteadyClock::now();
    const bool ok = work();
    *seconds = Seconds(start);
    return ok;
}

struct Samples {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    [[nodiscard]] double Median() const {
        if (values.empty()) {
            return 0;
        }
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    [[nodiscard]] double Min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    [[nodiscard]] double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

struct Case {
    std::string name;
    std::function<bool(double* seconds)> run;  // false: the case failed
};

// Pinning only when ZYFAR_BENCH_PIN is not 0 and this process may run on
// both of the first two cores.
inline bool PinWanted() {
    const char* pin = std::getenv("ZYFAR_BENCH_PIN");
    cpu_set_t set;
    CPU_ZERO(&set);
    return (pin == nullptr || std::string(pin) != "0") && ::sched_getaffinity(0, sizeof set, &set) == 0 &&
           CPU_ISSET(0, &set) && CPU_ISSET(1, &set);
}

inline void PinTo(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    (void)::sched_setaffinity(0, sizeof set, &set);
}

// ZYFAR_BENCH_DIR; else /dev/shm when it is writable and has more than
// `room` bytes free; else TMPDIR, else /tmp.
inline std::string BenchBase(std::int64_t room) {
    if (const char* dir = std::getenv("ZYFAR_BENCH_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    struct statvfs fs {};
    if (::access("/dev/shm", W_OK) == 0 && ::statvfs("/dev/shm", &fs) == 0 &&
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize) > room) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

struct BenchArgs {
    int rounds = 0;
    std::string only;  // one part of the run, or all
};

// ZYFAR_BENCH_ROUNDS (else `defaultRounds`), then --rounds N and --only PART,
// the rounds clamped to 1..50. Nothing, after saying which parts --only
// takes, when it names none of `parts`.
inline std::optional<BenchArgs> ParseBenchArgs(int argc, char** argv, int defaultRounds,
                                               const std::vector<std::string>& parts) {
    BenchArgs args;
    args.rounds = defaultRounds;
    if (const char* r = std::getenv("ZYFAR_BENCH_ROUNDS"); r != nullptr) {
        args.rounds = std::atoi(r);
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rounds") {
            args.rounds = std::atoi(argv[i + 1]);
        } else if (std::string(argv[i]) == "--only") {
            args.only = argv[i + 1];
        }
    }
    args.rounds = std::clamp(args.rounds, 1, 50);
    if (!args.only.empty() && std::find(parts.begin(), parts.end(), args.only) == parts.end()) {
        std::string list;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            list += (i == 0 ? "" : i + 1 == parts.size() ? " or " : ", ") + parts[i];
        }
        std::fprintf(stderr, "--only takes %s\n", list.c_str());
        return std::nullopt;
    }
    return args;
}

// What sets one throughput benchmark apart from another.
struct TransferBenchKind {
    // A 1 GiB case of the engine: its name is "put" or "get" with `suffix`,
    // its buffers `buffer` bytes, and its median must reach `ofCurl` of curl's.
    struct EngineCase {
        std::string suffix;
        int buffer;
        double ofCurl;
    };
    std::string folder;       // the temporary folder's name
    std::string overWhat;     // after "1 GiB put" and "2000 x 4 KiB" in the titles
    Encryption encryption = Encryption::None;
    bool noRetries = false;   // FTP Retry=0
    bool talkative = false;   // say when curl or lftp is missing, and why a connection failed
    bool loadAtEnd = false;   // print the load average after the summary
    std::vector<EngineCase> engineCases;
    bool lftpBigFile = false;  // lftp moves the 1 GiB file too
    std::string curlOptions;   // between "curl -s -S " and "--user anonymous: "
    std::string curlTail;      // after curl's arguments
    std::string lftpSettings;  // after lftp's passive mode and clobbering
};

// One run: the server, the sources, the cases and the summary. A benchmark
// adds its parts and lines through the hooks.
class TransferBench {
public:
    TransferBench(TransferBenchKind kind, std::string base, int rounds, std::string only)
        : kind_(std::move(kind)), base_(std::move(base)), rounds_(rounds), only_(std::move(only)) {}
    virtual ~TransferBench() = default;
    TransferBench(const TransferBench&) = delete;
    TransferBench& operator=(const TransferBench&) = delete;

    int Run() {
        if (!Setup()) {
            return 1;
        }
        std::printf("%sserver folder and local files under %s, %d rounds, load at start: %s\n", IntroPrefix().c_str(),
                    base_.c_str(), rounds_, LoadAverage().c_str());
        bool ok = true;
        if (Wanted("put")) {
            ok = RunRounds(("1 GiB put" + kind_.overWhat).c_str(), "MB/s", BigCases("put"), kGiB, mbps_) && ok;
        }
        if (Wanted("get")) {
            ok = RunRounds(("1 GiB get" + kind_.overWhat).c_str(), "MB/s", BigCases("get"), kGiB, mbps_) && ok;
        }
        if (Wanted("small")) {
            ok = RunSmallFiles() && ok;
        }
        ok = RunMoreParts() && ok;
        Summary();
        if (kind_.loadAtEnd) {
            std::printf("load at the end: %s\n", LoadAverage().c_str());
        }
        return ok ? 0 : 1;
    }

protected:
    // Sets up the server's options (before it starts).
    virtual bool PrepareServer(test::VsftpdOptions& /*options*/) { return true; }
    // After the server started, before the sources are made.
    virtual bool ServerStarted() { return true; }
    // Before "server folder and local files under ...".
    [[nodiscard]] virtual std::string IntroPrefix() const { return ""; }
    // The parts after the small files.
    virtual bool RunMoreParts() { return true; }
    // Lines after the targets of the summary.
    virtual void MoreTargets() const {}

    bool Wanted(const char* part) const { return only_.empty() || only_ == part; }

    int RunBatch(const std::vector<CTransferJob>& jobs, const std::string& localDir, TransferMode mode) const {
        return bench::RunBatch(Site(port_, kind_.encryption), jobs, localDir, mode, nullptr, kind_.talkative);
    }

    const TransferBenchKind kind_;
    const std::string base_;
    const int rounds_;
    const std::string only_;
    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<test::VsftpdServer> server_;
    std::string settings_;
    std::uint16_t port_ = 0;
    std::string remote_;
    std::string serverDir_;

private:
    bool Setup() {
        ::setenv("TMPDIR", base_.c_str(), 1);  // the servers' folders go there too
        dir_ = std::make_unique<test::TempDir>(kind_.folder);
        if (!dir_->valid()) {
            std::fprintf(stderr, "cannot make a folder under %s\n", base_.c_str());
            return false;
        }
        ::setenv("XDG_CONFIG_HOME", (*dir_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (*dir_ / "state").c_str(), 1);
        settings_ = *dir_ / "Zyfar.ini";
        SetSettingsFileForTesting(settings_);
        WriteProfileString("LOG", "ToFile", "NO");
        WriteProfileString("LOG", "ToScreen", "NO");
        WriteProfileString("FTP", "Passive", "YES");
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        if (kind_.noRetries) {
            WriteProfileString("FTP", "Retry", "0");
        }
        WriteProfileString("CONFIG", "Overwrite", "YES");
        TheTransferLog().ReloadSettings();

        test::VsftpdOptions options;
        options.lifetimeSeconds = 3600;
        if (!PrepareServer(options)) {
            return false;
        }
        // The server runs on the first core and this program (with the curl
        // and lftp it starts) on the second, so that where the scheduler
        // happens to put the two sides does not decide a round.
        const bool pin = PinWanted();
        if (pin) {
            PinTo(0);
        }
        server_ = std::make_unique<test::VsftpdServer>(options);
        if (pin) {
            PinTo(1);
            std::printf("server pinned to cpu 0, client side to cpu 1\n");
        }
        if (!server_->started()) {
            std::fprintf(stderr, "vsftpd did not start: %s\n", server_->error().c_str());
            return false;
        }
        port_ = server_->port();
        remote_ = server_->uploadFolder();
        serverDir_ = server_->uploadPath();
        if (!ServerStarted()) {
            return false;
        }
        // The gets read a sparse file on the server side, the puts a sparse
        // local file: no case depends on another having run.
        bigLocal_ = *dir_ / "big.bin";
        if (!MakeSparse(serverDir_ + "/source.bin", kGiB) || !MakeSparse(bigLocal_, kGiB) ||
            !ReadWhole(serverDir_ + "/source.bin") || !ReadWhole(bigLocal_)) {
            std::fprintf(stderr, "cannot make the 1 GiB sources\n");
            return false;
        }
        getInto_ = *dir_ / "got";
        test::MakeDir(getInto_);
        haveCurl_ = HasCommand("curl");
        haveLftp_ = HasCommand("lftp");
        if (kind_.talkative && !haveCurl_) std::printf("curl is not installed: no curl figures\n");
        if (kind_.talkative && !haveLftp_) std::printf("lftp is not installed: no lftp figures\n");
        return true;
    }

    std::string Url(const std::string& name) const {
        return "ftp://127.0.0.1:" + std::to_string(port_) + remote_ + (remote_ == "/" ? "" : "/") + name;
    }

    std::string CurlCommand(const std::string& args) const {
        return "curl -s -S " + kind_.curlOptions + "--user anonymous: " + args + kind_.curlTail;
    }

    std::string LftpCommand(const std::string& script) const {
        return "lftp -u anonymous, -e \"set ftp:passive-mode on; set xfer:clobber on; " + kind_.lftpSettings +
               script + "; bye\" " + "ftp://127.0.0.1:" + std::to_string(port_) + " >/dev/null 2>&1";
    }

    static bool Command(const std::string& cmd, double* seconds) {
        return Timed([&] { return std::system(cmd.c_str()) == 0; }, seconds);
    }

    // A put counts only when the server holds the whole file; it is then
    // removed, so that the next round writes a new file as the first did.
    bool Stored(const std::string& name, bool ok) const {
        const std::string path = serverDir_ + "/" + name;
        ok = ok && FileSizeOf(path) == kGiB;
        ::unlink(path.c_str());
        return ok;
    }

    static bool Fetched(const std::string& path, bool ok) {
        ok = ok && FileSizeOf(path) == kGiB;
        ::unlink(path.c_str());
        return ok;
    }

    // The 1 GiB cases of one direction ("put" or "get"): the engine with
    // each of its buffer sizes, then curl, then lftp.
    std::vector<Case> BigCases(const std::string& way) {
        const bool put = way == "put";
        std::vector<Case> cases;
        for (const TransferBenchKind::EngineCase& e : kind_.engineCases) {
            cases.push_back({way + e.suffix, [this, put, buffer = e.buffer](double* s) {
                                 SetBuffers(buffer);
                                 return put ? EnginePut(s) : EngineGet(s);
                             }});
        }
        if (haveCurl_) {
            cases.push_back({way + "-curl", [this, put](double* s) { return put ? CurlPut(s) : CurlGet(s); }});
        }
        if (haveLftp_ && kind_.lftpBigFile) {
            cases.push_back({way + "-lftp", [this, put](double* s) { return put ? LftpPut(s) : LftpGet(s); }});
        }
        return cases;
    }

    bool EnginePut(double* s) const {
        const std::vector<CTransferJob> jobs{Job(dir_->path(), "big.bin", "engine.bin", remote_, kGiB)};
        return Stored("engine.bin", Timed([&] { return RunBatch(jobs, "", TransferMode::PutKeep) == 0; }, s));
    }

    bool EngineGet(double* s) const {
        const std::vector<CTransferJob> jobs{Job("", "source.bin", "source.bin", remote_, kGiB)};
        return Fetched(getInto_ + "/source.bin",
                       Timed([&] { return RunBatch(jobs, getInto_, TransferMode::Get) == 0; }, s));
    }

    bool CurlPut(double* s) const {
        return Stored("curl.bin", Command(CurlCommand("-T " + bigLocal_ + " " + Url("curl.bin")), s));
    }

    bool CurlGet(double* s) const {
        const std::string out = *dir_ / "curl-get.bin";
        return Fetched(out, Command(CurlCommand("-o " + out + " " + Url("source.bin")), s));
    }

    bool LftpPut(double* s) const {
        return Stored("lftp.bin", Command(LftpCommand("cd " + remote_ + "; put " + bigLocal_ + " -o lftp.bin"), s));
    }

    bool LftpGet(double* s) const {
        const std::string out = *dir_ / "lftp-get.bin";
        return Fetched(out, Command(LftpCommand("cd " + remote_ + "; get source.bin -o " + out), s));
    }

    // Each round runs every case once, starting one case further on than the
    // round before, so that no case always runs first or after the same one.
    bool RunRounds(const char* title, const char* unit, const std::vector<Case>& cases, double units,
                   std::map<std::string, Samples>& into) {
        std::printf("\n%s (%s per round)\n", title, unit);
        bool ok = true;
        for (int round = 0; round < rounds_; ++round) {
            std::printf("  round %d:", round + 1);
            for (std::size_t i = 0; i < cases.size(); ++i) {
                const Case& c = cases[(i + static_cast<std::size_t>(round)) % cases.size()];
                double seconds = 0;
                if (!c.run(&seconds) || seconds <= 0) {
                    std::printf(" %s FAILED", c.name.c_str());
                    ok = false;
                    continue;
                }
                const double rate = units / seconds / 1e6;
                into[c.name].Add(rate);
                std::printf(" %s %.0f", c.name.c_str(), rate);
                std::fflush(stdout);
            }
            std::printf("\n");
        }
        return ok;
    }

    bool RunSmallFiles() {
        SetBuffers(4096);
        const std::string src = *dir_ / "small";
        const std::string back = *dir_ / "small-back";
        const std::string lftpBack = *dir_ / "small-lftp";
        test::MakeDir(src);
        test::MakeDir(back);
        test::MakeDir(lftpBack);
        std::vector<CTransferJob> puts;
        std::vector<CTransferJob> gets;
        for (int i = 0; i < kSmallFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%d.bin", i);
            test::WriteFile(src + "/" + name, test::PatternBytes(kSmallSize, static_cast<std::uint32_t>(i)));
            puts.push_back(Job(src, name, name, remote_, kSmallSize));
            gets.push_back(Job("", name, name, remote_, kSmallSize));
        }
        std::vector<Case> cases;
        cases.push_back({"put", [&](double* s) {
                             return Timed([&] { return RunBatch(puts, "", TransferMode::PutKeep) == 0; }, s);
                         }});
        cases.push_back({"get", [&](double* s) {
                             return Timed([&] { return RunBatch(gets, back, TransferMode::Get) == 0; }, s);
                         }});
        if (haveLftp_) {
            cases.push_back({"put-lftp", [&](double* s) {
                                 return Command(LftpCommand("mput -O " + remote_ + " " + src + "/*"), s);
                             }});
            cases.push_back({"get-lftp", [&](double* s) {
                                 return Command(LftpCommand("lcd " + lftpBack + "; cd " + remote_ + "; mget f*.bin"),
                                                s);
                             }});
        }
        // A get needs the files on the server: the first put runs before the rounds.
        double ignored = 0;
        if (!cases[0].run(&ignored)) {
            std::printf("\n2,000 x 4 KiB: the first put FAILED\n");
            return false;
        }
        const std::string title = std::to_string(kSmallFiles) + " x 4 KiB" + kind_.overWhat + " in one batch";
        return RunRounds(title.c_str(), "files/s", cases, kSmallFiles * 1e6, filesPerSecond_);
    }

    void Summary() const {
        std::printf("\nSummary: medians of %d rounds, same vsftpd, same run\n", rounds_);
        auto line = [&](const std::map<std::string, Samples>& all, const std::string& key, const char* unit) {
            auto it = all.find(key);
            if (it != all.end()) {
                std::printf("  %-10s %8.1f %s (min %.1f, max %.1f)\n", key.c_str(), it->second.Median(), unit,
                            it->second.Min(), it->second.Max());
            }
        };
        for (const std::string way : {"put", "get"}) {
            for (const TransferBenchKind::EngineCase& e : kind_.engineCases) {
                line(mbps_, way + e.suffix, "MB/s");
            }
            line(mbps_, way + "-curl", "MB/s");
            line(mbps_, way + "-lftp", "MB/s");
        }
        for (const char* k : {"put", "put-lftp", "get", "get-lftp"}) {
            line(filesPerSecond_, k, "files/s");
        }
        std::printf("\nTargets\n");
        auto target = [&](const std::map<std::string, Samples>& all, const std::string& ours,
                          const std::string& peer, double atLeast) {
            auto a = all.find(ours);
            auto b = all.find(peer);
            if (a == all.end() || b == all.end() || b->second.Median() <= 0) {
                std::printf("  %-10s vs %-9s not measured\n", ours.c_str(), peer.c_str());
                return;
            }
            const double ratio = a->second.Median() / b->second.Median();
            std::printf("  %-10s vs %-9s ratio %.2f, at least %.2f: %s\n", ours.c_str(), peer.c_str(), ratio, atLeast,
                        ratio >= atLeast ? "met" : "NOT met");
        };
        for (const std::string way : {"put", "get"}) {
            for (const TransferBenchKind::EngineCase& e : kind_.engineCases) {
                target(mbps_, way + e.suffix, way + "-curl", e.ofCurl);
            }
        }
        target(filesPerSecond_, "put", "put-lftp", 1.0);
        target(filesPerSecond_, "get", "get-lftp", 1.0);
        MoreTargets();
    }

    std::string bigLocal_;
    std::string getInto_;
    bool haveCurl_ = false;
    bool haveLftp_ = false;
    std::map<std::string, Samples> mbps_;
    std::map<std::string, Samples> filesPerSecond_;
};

}  // namespace zyfar::bench
