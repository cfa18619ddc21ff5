// Transfer throughput of the engine against one vsftpd on loopback, next to
// curl moving the same file in the same run:
//   - 1 GiB put and get with the default 4096-byte buffers and with 65536;
//   - peak memory of a 1 GiB and (ZYFAR_BENCH_BIG=1) a 4 GiB and a 5 GiB
//     put, whose progress texts and stored size are checked;
//   - 2,000 files of 4 KiB in one batch, put and get (files per second).
// The source files are sparse, so reading them costs no disk time. The
// summary at the end gives the ratios to curl.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/TransferController.h"
#include "engine/TransferProgress.h"
#include "engine/TransferRun.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

namespace {
std::string BenchSupportDir() {
    std::string file = __FILE__;
    const std::size_t cut = file.rfind("/bench/");
    return cut == std::string::npos ? std::string("tests/support") : file.substr(0, cut) + "/tests/support";
}
}  // namespace
#define ZYFAR_TEST_SUPPORT_DIR (BenchSupportDir())
#include "../tests/support/FtpTestServer.h"

namespace {

using namespace zyfar;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;

struct Env {
    test::TempDir dir{"zyfar-bench"};
    std::unique_ptr<test::VsftpdServer> server;
    std::string bigFile;
    std::map<std::string, double> mbps;  // by case
    std::map<std::string, double> filesPerSecond;
};

Env* gEnv = nullptr;

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool MakeSparse(const std::string& path, std::int64_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = ::ftruncate(::fileno(f), size) == 0;
    std::fclose(f);
    return ok;
}

bool WarmPageCache(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

TransferServer Site() { return TransferServer{"127.0.0.1", "anonymous", "", "", gEnv->server->port()}; }

void SetBuffers(int size) {
    WriteProfileString("FTP", "ReadBuffer", std::to_string(size));
    WriteProfileString("FTP", "WriteBuffer", std::to_string(size));
}

std::string UploadUrl(const std::string& name) {
    return "ftp://127.0.0.1:" + std::to_string(gEnv->server->port()) + gEnv->server->uploadFolder() + "/" + name;
}

bool EnginePut(const std::string& localDir, const std::string& name, const std::string& target, std::int64_t size,
               ProgressSnapshot* progress = nullptr) {
    CTransferJob job;
    job.localDir = localDir;
    job.sourceName = name;
    job.targetName = target;
    job.remoteDir = gEnv->server->uploadFolder();
    job.size = size;
    TransferController c(MakeSingleServerRun(Site(), {job}, "", size, TransferMode::PutKeep, 2, nullptr, nullptr,
                                             false));
    c.RunToEnd();
    if (progress != nullptr) {
        *progress = c.run().progress.Snapshot();
    }
    return c.run().jobs[0].status == 0;
}

bool EngineGet(const std::string& name, const std::string& localDir, std::int64_t size) {
    CTransferJob job;
    job.sourceName = name;
    job.targetName = name;
    job.remoteDir = gEnv->server->uploadFolder();
    job.size = size;
    TransferController c(MakeSingleServerRun(Site(), {job}, localDir, size, TransferMode::Get, 2, nullptr, nullptr,
                                             false));
    c.RunToEnd();
    return c.run().jobs[0].status == 0;
}

void Record(benchmark::State& state, const std::string& key, std::int64_t bytes, double seconds) {
    const double rate = static_cast<double>(bytes) / seconds / 1e6;
    gEnv->mbps[key] = rate;
    state.counters["MB_per_s"] = rate;
    state.SetIterationTime(seconds);
}

void BM_EnginePut(benchmark::State& state) {
    const int buffer = static_cast<int>(state.range(0));
    SetBuffers(buffer);
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!EnginePut(gEnv->dir.path(), "big.bin", "engine.bin", kGiB)) {
            state.SkipWithError("engine put failed");
            return;
        }
        Record(state, "put-" + std::to_string(buffer), kGiB, Seconds(start));
    }
}

void BM_CurlPut(benchmark::State& state) {
    for (auto _ : state) {
        const std::string cmd = "curl -s -S --user anonymous: -T " + gEnv->bigFile + " " + UploadUrl("curl.bin");
        const auto start = Clock::now();
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("curl put failed");
            return;
        }
        Record(state, "put-curl", kGiB, Seconds(start));
    }
}

void BM_EngineGet(benchmark::State& state) {
    const int buffer = static_cast<int>(state.range(0));
    SetBuffers(buffer);
    const std::string into = gEnv->dir / ("get" + std::to_string(buffer));
    test::MakeDir(into);
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!EngineGet("source.bin", into, kGiB)) {
            state.SkipWithError("engine get failed");
            return;
        }
        Record(state, "get-" + std::to_string(buffer), kGiB, Seconds(start));
        ::unlink((into + "/source.bin").c_str());
    }
}

void BM_CurlGet(benchmark::State& state) {
    const std::string out = gEnv->dir / "curl-get.bin";
    for (auto _ : state) {
        const std::string cmd = "curl -s -S --user anonymous: -o " + out + " " + UploadUrl("source.bin");
        const auto start = Clock::now();
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("curl get failed");
            return;
        }
        Record(state, "get-curl", kGiB, Seconds(start));
        ::unlink(out.c_str());
    }
}

void BM_ManySmallFiles(benchmark::State& state) {
    SetBuffers(4096);
    const std::string src = gEnv->dir / "small";
    test::MakeDir(src);
    std::vector<CTransferJob> jobs;
    for (int i = 0; i < 2000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%d.bin", i);
        test::WriteFile(src + "/" + std::string(name), test::PatternBytes(4096, static_cast<std::uint32_t>(i)));
        CTransferJob job;
        job.localDir = src;
        job.sourceName = name;
        job.targetName = name;
        job.remoteDir = gEnv->server->uploadFolder();
        job.size = 4096;
        jobs.push_back(job);
    }
    const std::string back = gEnv->dir / "small-back";
    test::MakeDir(back);
    WriteProfileString("CONFIG", "Overwrite", "YES");
    for (auto _ : state) {
        auto start = Clock::now();
        TransferController put(MakeSingleServerRun(Site(), jobs, "", 2000 * 4096, TransferMode::PutKeep, 2, nullptr,
                                                   nullptr, false));
        put.RunToEnd();
        const double putSeconds = Seconds(start);
        std::vector<CTransferJob> gets = jobs;
        for (CTransferJob& j : gets) {
            j.localDir.clear();
        }
        start = Clock::now();
        TransferController get(MakeSingleServerRun(Site(), gets, back, 2000 * 4096, TransferMode::Get, 2, nullptr,
                                                   nullptr, false));
        get.RunToEnd();
        const double getSeconds = Seconds(start);
        int failures = 0;
        for (const CTransferJob& j : put.run().jobs) {
            failures += j.status != 0;
        }
        for (const CTransferJob& j : get.run().jobs) {
            failures += j.status != 0;
        }
        if (failures != 0) {
            state.SkipWithError("some small files failed");
            return;
        }
        gEnv->filesPerSecond["put"] = 2000 / putSeconds;
        gEnv->filesPerSecond["get"] = 2000 / getSeconds;
        state.counters["put_files_per_s"] = 2000 / putSeconds;
        state.counters["get_files_per_s"] = 2000 / getSeconds;
        state.SetIterationTime(putSeconds + getSeconds);
        // The peer: lftp's mput / mget over one connection, when installed.
        if (std::system("command -v lftp >/dev/null 2>&1") == 0) {
            const std::string url = "ftp://127.0.0.1:" + std::to_string(gEnv->server->port());
            const std::string folder = gEnv->server->uploadFolder();
            const std::string lftpBack = gEnv->dir / "small-lftp";
            test::MakeDir(lftpBack);
            const std::string common = "lftp -u anonymous, -e \"set ftp:passive-mode on; set xfer:clobber on; ";
            const std::string mput = common + "mput -O " + folder + " " + src + "/*; bye\" " + url + " >/dev/null";
            const std::string mget = common + "lcd " + lftpBack + "; cd " + folder + "; mget f*.bin; bye\" " + url +
                                     " >/dev/null";
            start = Clock::now();
            const int putRc = std::system(mput.c_str());
            const double lftpPut = Seconds(start);
            start = Clock::now();
            const int getRc = std::system(mget.c_str());
            const double lftpGet = Seconds(start);
            if (putRc == 0 && getRc == 0) {
                gEnv->filesPerSecond["put-lftp"] = 2000 / lftpPut;
                gEnv->filesPerSecond["get-lftp"] = 2000 / lftpGet;
                state.counters["lftp_put_files_per_s"] = 2000 / lftpPut;
                state.counters["lftp_get_files_per_s"] = 2000 / lftpGet;
            }
        }
    }
}

void BM_PeakMemory(benchmark::State& state) {
    SetBuffers(65536);
    const std::int64_t size = state.range(0) * kGiB;
    const std::string file = gEnv->dir / ("mem" + std::to_string(state.range(0)) + ".bin");
    MakeSparse(file, size);
    for (auto _ : state) {
        const auto start = Clock::now();
        ProgressSnapshot progress;
        const bool ok =
            EnginePut(gEnv->dir.path(), "mem" + std::to_string(state.range(0)) + ".bin", "mem.bin", size, &progress);
        state.SetIterationTime(Seconds(start));
        if (!ok) {
            state.SkipWithError("put failed");
            return;
        }
        // Sizes past 4 GiB must show whole in the progress texts.
        const std::string expected = "Sent " + std::to_string(size) + " bytes out of " + std::to_string(size) +
                                     " (100.00%)";
        if (progress.batchBytes != expected || progress.fileBytes != expected || progress.batchBar != 100) {
            state.SkipWithError(("wrong progress: " + progress.batchBytes).c_str());
            return;
        }
        if (FileSizeOf(gEnv->server->uploadPath() + "/mem.bin") != size) {
            state.SkipWithError("the server holds a different size");
            return;
        }
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    ::unlink(file.c_str());
}

}  // namespace

BENCHMARK(BM_EnginePut)->Arg(4096)->Arg(65536)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlPut)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineGet)->Arg(4096)->Arg(65536)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlGet)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ManySmallFiles)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    Env env;
    gEnv = &env;
    ::setenv("XDG_CONFIG_HOME", (env.dir / "config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (env.dir / "state").c_str(), 1);
    SetSettingsFileForTesting(env.dir / "Zyfar.ini");
    WriteProfileString("LOG", "ToFile", "NO");
    WriteProfileString("LOG", "ToScreen", "NO");
    WriteProfileString("FTP", "Passive", "YES");
    WriteProfileString("FTP", "AccessType", "DirectAccess");
    WriteProfileString("CONFIG", "Overwrite", "YES");
    TheTransferLog().ReloadSettings();
    env.server = std::make_unique<test::VsftpdServer>();
    if (!env.server->started()) {
        std::fprintf(stderr, "vsftpd did not start: %s\n", env.server->error().c_str());
        return 1;
    }
    // The gets read a sparse file on the server side, so no case depends on
    // another having run.
    if (!MakeSparse(env.server->uploadPath() + "/source.bin", kGiB)) {
        std::fprintf(stderr, "cannot make the 1 GiB file on the server\n");
        return 1;
    }
    env.bigFile = env.dir / "big.bin";
    if (!MakeSparse(env.bigFile, kGiB)) {
        std::fprintf(stderr, "cannot make the 1 GiB source file\n");
        return 1;
    }
    // Read both sources once before any case: the first read of a sparse
    // file's holes makes the kernel allocate and zero its page cache, which
    // would otherwise land on whichever case runs first (and it is neither
    // the engine's nor curl's work).
    for (const std::string& path : {env.server->uploadPath() + "/source.bin", env.bigFile}) {
        if (!WarmPageCache(path)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
    }
    // Peak memory: 1 GiB always; 4 GiB and 5 GiB (past 32-bit sizes) when
    // asked, as they take a while and need the disk space on the server side.
    auto* mem = benchmark::RegisterBenchmark("BM_PeakMemory", BM_PeakMemory);
    mem->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    if (const char* big = std::getenv("ZYFAR_BENCH_BIG"); big != nullptr && std::string(big) == "1") {
        mem->Arg(4)->Arg(5);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    auto ratio = [&](const char* engine, const char* peer) {
        auto e = env.mbps.find(engine);
        auto p = env.mbps.find(peer);
        if (e == env.mbps.end() || p == env.mbps.end() || p->second <= 0) {
            return;
        }
        std::printf("%-10s %9.1f MB/s  %-9s %9.1f MB/s  ratio %.2f\n", engine, e->second, peer, p->second,
                    e->second / p->second);
    };
    std::printf("\nSummary (engine vs curl, same vsftpd, same run)\n");
    ratio("put-4096", "put-curl");
    ratio("put-65536", "put-curl");
    ratio("get-4096", "get-curl");
    ratio("get-65536", "get-curl");
    for (const auto& [what, fps] : env.filesPerSecond) {
        std::printf("2000 x 4 KiB %-8s %7.0f files/s\n", what.c_str(), fps);
    }
    if (!env.filesPerSecond.empty() && env.filesPerSecond.count("put-lftp") == 0) {
        std::printf("lftp not installed: no peer figures for the small files\n");
    }
    return 0;
}
