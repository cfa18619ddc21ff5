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
#include <spawn.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/TransferProgress.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include "TransferBenchSupport.h"

namespace {

using namespace zyfar;
using namespace zyfar::bench;

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

// ---- peak memory: one put in a process of its own ------------------------------------------

constexpr const char* kPeakFlag = "--peak-put";

// Child side: argv = self --peak-put settings port remoteDir localDir name size
int PeakPutChild(char** argv) {
    SetSettingsFileForTesting(argv[2]);
    TheTransferLog().ReloadSettings();
    const auto port = static_cast<std::uint16_t>(std::atoi(argv[3]));
    const std::int64_t size = std::atoll(argv[7]);
    ProgressSnapshot progress;
    if (RunBatch(Site(port, Encryption::None), {Job(argv[5], argv[6], "peak.bin", argv[4], size)}, "",
                 TransferMode::PutKeep, &progress) != 0) {
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

TransferBenchKind PlainKind() {
    TransferBenchKind kind;
    kind.folder = "zyfar-bench";
    kind.engineCases = {{"-4096", 4096, 0.7}, {"-65536", 65536, 0.9}};
    kind.lftpBigFile = true;
    return kind;
}

// The plain-FTP run, with the peak memory of big puts as its last part.
class Bench : public TransferBench {
public:
    Bench(std::string base, int rounds, std::string only, std::string self)
        : TransferBench(PlainKind(), std::move(base), rounds, std::move(only)), self_(std::move(self)) {}

private:
    bool RunMoreParts() override { return !Wanted("memory") || RunPeakMemory(); }

    bool RunPeakMemory() {
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
            const auto start = SteadyClock::now();
            const int rc = RunChild({self_, kPeakFlag, settings_, std::to_string(port_), remote_, dir_->path(), name,
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

    void MoreTargets() const override {
        auto one = peakKiB_.find(1);
        auto four = peakKiB_.find(4);
        if (one != peakKiB_.end() && four != peakKiB_.end()) {
            const double diffMB = static_cast<double>(four->second - one->second) / 1024.0;
            std::printf("  peak memory 4 GiB - 1 GiB: %+.1f MB, within 5 MB: %s\n", diffMB,
                        diffMB <= 5.0 && diffMB >= -5.0 ? "met" : "NOT met");
        }
    }

    std::string self_;  // this program, started again for each peak-memory put
    std::map<int, long> peakKiB_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::string(argv[1]) == kPeakFlag) {
        return PeakPutChild(argv);
    }
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::fprintf(stderr, "cannot find this program's path\n");
        return 1;
    }
    self[n] = '\0';
    const std::optional<BenchArgs> args = ParseBenchArgs(argc, argv, 5, {"put", "get", "small", "memory"});
    if (!args) {
        return 2;
    }
    Bench bench(BenchBase(8 * kGiB), args->rounds, args->only, self);
    return bench.Run();
}
