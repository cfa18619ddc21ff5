// Transfer throughput of the engine against one vsftpd on loopback, next to
// curl and lftp moving the same files to the same server in the same run:
//   - 1 GiB put and get with the default 4096-byte buffers and with 65536;
//   - 2,000 files of 4 KiB in one batch, put and get (files per second),
//     next to lftp's mput / mget over one connection;
//   - peak memory of a 1 GiB and a 4 GiB put (ZYFAR_BENCH_BIG=1 adds 5 GiB),
//     each in a process of its own so that one size's peak cannot hide
//     another's, with the progress text and the stored size checked.
//
// One transfer of 1 GiB takes about a second here, and two processes share
// two cores, so single runs swing widely. Every case therefore runs in
// several rounds (ZYFAR_BENCH_ROUNDS, default 5), the cases of a round in a
// rotating order, and the summary compares medians. The server's folder
// and the local files live on tmpfs (/dev/shm, or ZYFAR_BENCH_DIR) so that
// disk writeback does not decide the figures; the 1 GiB sources are sparse.
//
// Usage: bench_transfer_bench [--rounds N] [--only put|get|small|memory]
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/TransferController.h"
#include "engine/TransferProgress.h"
#include "engine/TransferRun.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;
constexpr int kSmallFiles = 2000;
constexpr int kSmallSize = 4096;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool MakeSparse(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

// The first read of a sparse file's holes makes the kernel set up its page
// cache; done once before timing, so that it lands on no case.
bool ReadWhole(const std::string& path) {
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

bool HasCommand(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs argv, waits, and returns its exit status (-1 when it could not run)
// and its peak resident size in KiB.
int RunChild(const std::vector<std::string>& args, long* peakKiB) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) {
        return -1;
    }
    *peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void SetBuffers(int size) {
    WriteProfileString("FTP", "ReadBuffer", std::to_string(size));
    WriteProfileString("FTP", "WriteBuffer", std::to_string(size));
}

TransferServer Site(std::uint16_t port) { return TransferServer{"127.0.0.1", "anonymous", "", "", port}; }

CTransferJob Job(const std::string& localDir, const std::string& source, const std::string& target,
                 const std::string& remoteDir, std::int64_t size) {
    CTransferJob job;
    job.localDir = localDir;
    job.sourceName = source;
    job.targetName = target;
    job.remoteDir = remoteDir;
    job.size = size;
    return job;
}

// Runs one put or get batch to its end; the number of failed jobs.
int RunBatch(std::uint16_t port, const std::vector<CTransferJob>& jobs, const std::string& localDir,
             TransferMode mode, ProgressSnapshot* progress = nullptr) {
    std::int64_t total = 0;
    for (const CTransferJob& j : jobs) {
        total += j.size;
    }
    TransferController c(MakeSingleServerRun(Site(port), jobs, localDir, total, mode, 2, nullptr, nullptr, false));
    c.RunToEnd();
    if (progress != nullptr) {
        *progress = c.run().progress.Snapshot();
    }
    int failed = 0;
    for (const CTransferJob& j : c.run().jobs) {
        failed += j.status != 0;
    }
    return failed;
}

// ---- peak memory: one put in a process of its own ------------------------------------------

constexpr const char* kPeakFlag = "--peak-put";

// Child side: argv = self --peak-put settings port remoteDir localDir name size
int PeakPutChild(char** argv) {
    SetSettingsFileForTesting(argv[2]);
    TheTransferLog().ReloadSettings();
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[3]));
    const std::int64_t size = std::atoll(argv[7]);
    ProgressSnapshot progress;
    if (RunBatch(port, {Job(argv[5], argv[6], "peak.bin", argv[4], size)}, "", TransferMode::PutKeep, &progress) !=
        0) {
        std::fprintf(stderr, "the put failed\n");
        return 1;
    }
    // Sizes past 4 GiB must show whole in the progress texts.
    const std::string expected =
        "Sent " + std::to_string(size) + " bytes out of " + std::to_string(size) + " (100.00%)";
    if (progress.batchBytes != expected || progress.fileBytes != expected || progress.batchBar != 100) {
        std::fprintf(stderr, "wrong progress: %s\n", progress.batchBytes.c_str());
        return 1;
    }
    return 0;
}

// ---- the measured cases ----------------------------------------------------------------------

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

class Bench {
public:
    Bench(std::string base, int rounds, std::string only)
        : base_(std::move(base)), rounds_(rounds), only_(std::move(only)) {}

    int Run(const char* self) {
        if (!Setup()) {
            return 1;
        }
        std::printf("server folder and local files under %s, %d rounds, load at start: %s\n", base_.c_str(),
                    rounds_, LoadAverage().c_str());
        bool ok = true;
        if (Wanted("put")) {
            ok = RunRounds("1 GiB put", "MB/s", PutCases(), kGiB, mbps_) && ok;
        }
        if (Wanted("get")) {
            ok = RunRounds("1 GiB get", "MB/s", GetCases(), kGiB, mbps_) && ok;
        }
        if (Wanted("small")) {
            ok = RunSmallFiles() && ok;
        }
        if (Wanted("memory")) {
            ok = RunPeakMemory(self) && ok;
        }
        Summary();
        return ok ? 0 : 1;
    }

private:
    bool Setup() {
        ::setenv("TMPDIR", base_.c_str(), 1);  // the servers' folders go there too
        dir_ = std::make_unique<test::TempDir>("zyfar-bench");
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
        WriteProfileString("CONFIG", "Overwrite", "YES");
        TheTransferLog().ReloadSettings();
        // With two or more cores the server runs on the first and this
        // program (with the curl and lftp it starts) on the second, so that
        // where the scheduler happens to put the two sides does not decide
        // a round; ZYFAR_BENCH_PIN=0 leaves the placement to the scheduler.
        const bool pin = PinWanted();
        if (pin) {
            PinTo(0);
        }
        server_ = std::make_unique<test::VsftpdServer>(3600);
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
        return true;
    }

    std::string Url(const std::string& name) const {
        return "ftp://127.0.0.1:" + std::to_string(port_) + remote_ + (remote_ == "/" ? "" : "/") + name;
    }

    static bool PinWanted() {
        const char* pin = std::getenv("ZYFAR_BENCH_PIN");
        cpu_set_t set;
        CPU_ZERO(&set);
        return (pin == nullptr || std::string(pin) != "0") && ::sched_getaffinity(0, sizeof set, &set) == 0 &&
               CPU_ISSET(0, &set) && CPU_ISSET(1, &set);
    }

    static void PinTo(int cpu) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        (void)::sched_setaffinity(0, sizeof set, &set);
    }

    static bool Timed(const std::function<bool()>& work, double* seconds) {
        const auto start = Clock::now();
        const bool ok = work();
        *seconds = Seconds(start);
        return ok;
    }

    std::string LftpCommand(const std::string& script) const {
        return "lftp -u anonymous, -e \"set ftp:passive-mode on; set xfer:clobber on; " + script + "; bye\" " +
               "ftp://127.0.0.1:" + std::to_string(port_) + " >/dev/null 2>&1";
    }

    std::vector<Case> PutCases() {
        std::vector<Case> cases;
        for (int buffer : {4096, 65536}) {
            cases.push_back({"put-" + std::to_string(buffer), [this, buffer](double* s) {
                                 SetBuffers(buffer);
                                 const bool ok = Timed(
                                     [&] {
                                         return RunBatch(port_, {Job(dir_->path(), "big.bin", "engine.bin", remote_,
                                                                     kGiB)},
                                                         "", TransferMode::PutKeep) == 0;
                                     },
                                     s);
                                 return Stored("engine.bin", ok);
                             }});
        }
        if (haveCurl_) {
            cases.push_back({"put-curl", [this](double* s) {
                                 const std::string cmd =
                                     "curl -s -S --user anonymous: -T " + bigLocal_ + " " + Url("curl.bin");
                                 return Stored("curl.bin", Timed([&] { return std::system(cmd.c_str()) == 0; }, s));
                             }});
        }
        if (haveLftp_) {
            cases.push_back({"put-lftp", [this](double* s) {
                                 const std::string cmd =
                                     LftpCommand("cd " + remote_ + "; put " + bigLocal_ + " -o lftp.bin");
                                 return Stored("lftp.bin", Timed([&] { return std::system(cmd.c_str()) == 0; }, s));
                             }});
        }
        return cases;
    }

    // A put counts only when the server holds the whole file; it is then
    // removed, so that the next round writes a new file as the first did.
    bool Stored(const std::string& name, bool ok) const {
        const std::string path = serverDir_ + "/" + name;
        ok = ok && FileSizeOf(path) == kGiB;
        ::unlink(path.c_str());
        return ok;
    }

    bool Fetched(const std::string& path, bool ok) const {
        ok = ok && FileSizeOf(path) == kGiB;
        ::unlink(path.c_str());
        return ok;
    }

    std::vector<Case> GetCases() {
        std::vector<Case> cases;
        for (int buffer : {4096, 65536}) {
            cases.push_back({"get-" + std::to_string(buffer), [this, buffer](double* s) {
                                 SetBuffers(buffer);
                                 const bool ok = Timed(
                                     [&] {
                                         return RunBatch(port_, {Job("", "source.bin", "source.bin", remote_, kGiB)},
                                                         getInto_, TransferMode::Get) == 0;
                                     },
                                     s);
                                 return Fetched(getInto_ + "/source.bin", ok);
                             }});
        }
        if (haveCurl_) {
            cases.push_back({"get-curl", [this](double* s) {
                                 const std::string out = *dir_ / "curl-get.bin";
                                 const std::string cmd =
                                     "curl -s -S --user anonymous: -o " + out + " " + Url("source.bin");
                                 return Fetched(out, Timed([&] { return std::system(cmd.c_str()) == 0; }, s));
                             }});
        }
        if (haveLftp_) {
            cases.push_back({"get-lftp", [this](double* s) {
                                 const std::string out = *dir_ / "lftp-get.bin";
                                 const std::string cmd =
                                     LftpCommand("cd " + remote_ + "; get source.bin -o " + out);
                                 return Fetched(out, Timed([&] { return std::system(cmd.c_str()) == 0; }, s));
                             }});
        }
        return cases;
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
                             return Timed([&] { return RunBatch(port_, puts, "", TransferMode::PutKeep) == 0; }, s);
                         }});
        cases.push_back({"get", [&](double* s) {
                             return Timed([&] { return RunBatch(port_, gets, back, TransferMode::Get) == 0; }, s);
                         }});
        if (haveLftp_) {
            cases.push_back({"put-lftp", [&](double* s) {
                                 const std::string cmd = LftpCommand("mput -O " + remote_ + " " + src + "/*");
                                 return Timed([&] { return std::system(cmd.c_str()) == 0; }, s);
                             }});
            cases.push_back({"get-lftp", [&](double* s) {
                                 const std::string cmd =
                                     LftpCommand("lcd " + lftpBack + "; cd " + remote_ + "; mget f*.bin");
                                 return Timed([&] { return std::system(cmd.c_str()) == 0; }, s);
                             }});
        }
        // A get needs the files on the server: the first put runs before the rounds.
        double ignored = 0;
        if (!cases[0].run(&ignored)) {
            std::printf("\n2,000 x 4 KiB: the first put FAILED\n");
            return false;
        }
        char title[64];
        std::snprintf(title, sizeof title, "%d x 4 KiB in one batch", kSmallFiles);
        return RunRounds(title, "files/s", cases, kSmallFiles * 1e6, filesPerSecond_);
    }

    bool RunPeakMemory(const char* self) {
        SetBuffers(65536);
        std::vector<int> sizes = {1, 4};
        if (const char* big = std::getenv("ZYFAR_BENCH_BIG"); big != nullptr && std::string(big) == "1") {
            sizes.push_back(5);
        }
        std::printf("\nPeak memory of one put, each in a process of its own (65536-byte buffers)\n");
        bool ok = true;
        for (int gib : sizes) {
            const std::int64_t size = gib * kGiB;
            struct statvfs fs {};
            if (::statvfs(serverDir_.c_str(), &fs) != 0 ||
                static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize) < size + kGiB) {
                std::printf("  %d GiB: skipped, not enough room under %s\n", gib, base_.c_str());
                continue;
            }
            const std::string name = "mem" + std::to_string(gib) + ".bin";
            if (!MakeSparse(*dir_ / name, size)) {
                std::printf("  %d GiB: cannot make the source\n", gib);
                ok = false;
                continue;
            }
            long peak = 0;
            const auto start = Clock::now();
            const int rc = RunChild({self, kPeakFlag, settings_, std::to_string(port_), remote_, dir_->path(), name,
                                     std::to_string(size)},
                                    &peak);
            const double seconds = Seconds(start);
            const bool stored = FileSizeOf(serverDir_ + "/peak.bin") == size;
            ::unlink((serverDir_ + "/peak.bin").c_str());
            ::unlink((*dir_ / name).c_str());
            if (rc != 0 || !stored) {
                std::printf("  %d GiB: FAILED (exit %d, stored whole: %s)\n", gib, rc, stored ? "yes" : "no");
                ok = false;
                continue;
            }
            peakKiB_[gib] = peak;
            std::printf("  %d GiB: peak RSS %.1f MB, %.0f MB/s\n", gib, static_cast<double>(peak) / 1024.0,
                        static_cast<double>(size) / seconds / 1e6);
        }
        return ok;
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
        for (const char* k : {"put-4096", "put-65536", "put-curl", "put-lftp", "get-4096", "get-65536", "get-curl",
                              "get-lftp"}) {
            line(mbps_, k, "MB/s");
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
        target(mbps_, "put-4096", "put-curl", 0.7);
        target(mbps_, "put-65536", "put-curl", 0.9);
        target(mbps_, "get-4096", "get-curl", 0.7);
        target(mbps_, "get-65536", "get-curl", 0.9);
        target(filesPerSecond_, "put", "put-lftp", 1.0);
        target(filesPerSecond_, "get", "get-lftp", 1.0);
        auto one = peakKiB_.find(1);
        auto four = peakKiB_.find(4);
        if (one != peakKiB_.end() && four != peakKiB_.end()) {
            const double diffMB = static_cast<double>(four->second - one->second) / 1024.0;
            std::printf("  peak memory 4 GiB - 1 GiB: %+.1f MB, within 5 MB: %s\n", diffMB,
                        diffMB <= 5.0 && diffMB >= -5.0 ? "met" : "NOT met");
        }
    }

    static std::string LoadAverage() {
        std::string text = test::ReadFile("/proc/loadavg").value_or("");
        const std::size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
        return cut == std::string::npos ? text : text.substr(0, cut);
    }

    bool Wanted(const char* part) const { return only_.empty() || only_ == part; }

    std::string base_;
    int rounds_;
    std::string only_;  // one part of the run, or all
    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<test::VsftpdServer> server_;
    std::string settings_;
    std::uint16_t port_ = 0;
    std::string remote_;
    std::string serverDir_;
    std::string bigLocal_;
    std::string getInto_;
    bool haveCurl_ = false;
    bool haveLftp_ = false;
    std::map<std::string, Samples> mbps_;
    std::map<std::string, Samples> filesPerSecond_;
    std::map<int, long> peakKiB_;
};

std::string BenchBase() {
    if (const char* dir = std::getenv("ZYFAR_BENCH_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    struct statvfs fs {};
    if (::access("/dev/shm", W_OK) == 0 && ::statvfs("/dev/shm", &fs) == 0 &&
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize) > 8 * kGiB) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::string(argv[1]) == kPeakFlag) {
        return PeakPutChild(argv);
    }
    int rounds = 5;
    if (const char* r = std::getenv("ZYFAR_BENCH_ROUNDS"); r != nullptr) {
        rounds = std::atoi(r);
    }
    std::string only;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rounds") {
            rounds = std::atoi(argv[i + 1]);
        } else if (std::string(argv[i]) == "--only") {
            only = argv[i + 1];
        }
    }
    rounds = std::clamp(rounds, 1, 50);
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::fprintf(stderr, "cannot find this program's path\n");
        return 1;
    }
    self[n] = '\0';
    if (!only.empty() && only != "put" && only != "get" && only != "small" && only != "memory") {
        std::fprintf(stderr, "--only takes put, get, small or memory\n");
        return 2;
    }
    Bench bench(BenchBase(), rounds, only);
    return bench.Run(self);
}
