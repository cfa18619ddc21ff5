// The transfer window's cost, measured against the same work without it.
//
// BM_Put1GiB_DialogVsHeadless: a 1 GiB put to a local pyftpdlib server, once
// through a transfer window shown offscreen (progress refreshed ten times a
// second, the end run by the window) and once headless (TransferController::
// RunToEnd), alternating within each iteration so that drift of the machine
// hits both alike. Counters: headless_s and dialog_s (mean seconds per put),
// ratio (dialog / headless; the goal is at most 1.03), best_ratio (the
// fastest put of each form, the least disturbed by other load), and
// cpu_headless_s / cpu_dialog_s (this process's CPU seconds per put: what the
// window itself costs, whatever else the machine runs).
//
// BM_Parallel100Sites: a parallel put of 5 files of 64 KiB to 100 sites (one
// local server, one folder per site) through the GUI's run starter: 100
// windows opened 200 ms apart by timers. Counters: max_stall_ms (the longest
// the GUI thread went without serving a 10 ms timer: a sleeping or blocked
// GUI thread shows here), peak_rss_mib, windows (windows opened).
//
// Run with --with-statistics to also show the Transfer Statistics window
// during the 1 GiB puts (for screenshots).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <sys/resource.h>
#include <sys/stat.h>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "automation/MultiPut.h"
#include "dialogs/CStatisticsDlg.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "engine/TransferController.h"
#include "engine/TransferRun.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;

constexpr std::int64_t kBigSize = std::int64_t{1} << 30;
bool gWithStatistics = false;

struct Env {
    test::TempDir dir{"zyfar-transferdlg-bench"};
    std::unique_ptr<test::PyFtpdServer> server;
    std::string local;
    bool ok = false;

    static Env& Get() {
        static Env env;
        return env;
    }

    Env() {
        bench::UsePrivateSettings(dir);
        WriteProfileString("CONFIG", "Overwrite", "YES");
        (void)TheTransferLog().ReloadSettings();
        local = dir / "local";
        test::MakeDir(local);
        // The big file is sparse: reading it costs no disk, so the measurement is the transfer path.
        test::WriteFile(local + "/big.bin", "");
        ok = ::truncate((local + "/big.bin").c_str(), kBigSize) == 0;
        for (int i = 0; i < 5; ++i) {
            ok = ok && test::WriteFile(local + "/small" + std::to_string(i) + ".bin",
                                       test::PatternBytes(64 * 1024, static_cast<std::uint32_t>(i + 1)));
        }
        server = std::make_unique<test::PyFtpdServer>(test::PyFtpdOptions{.lifetimeSeconds = 3600});
        if (!server->started()) {
            std::fprintf(stderr, "pyftpdlib: %s\n", server->error().c_str());
            ok = false;
        }
    }

    CTransferJob Job(const std::string& name, std::int64_t size, const std::string& remoteDir = "") const {
        CTransferJob job;
        job.localDir = local;
        job.sourceName = job.targetName = name;
        job.size = size;
        job.remoteDir = remoteDir;
        return job;
    }
    std::unique_ptr<TransferRun> BigRun() const {
        return MakeSingleServerRun(TransferServer{"127.0.0.1", "user", "pass", "", server->port()},
                                   {Job("big.bin", kBigSize)}, "", kBigSize, TransferMode::PutKeep, 2, nullptr, nullptr,
                                   false);
    }
    void RemoveUpload() const { ::unlink((server->root() + "/big.bin").c_str()); }
};

// Seconds of one put through a transfer window, from opening it until it is gone.
double PutThroughWindow(Env& env) {
    QEventLoop loop;
    const auto start = std::chrono::steady_clock::now();
    QPointer<CTransferDlg> dialog = new CTransferDlg(env.BigRun());
    QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (dialog) loop.exec();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool UploadComplete(const Env& env) {
    struct stat st {};
    return ::stat((env.server->root() + "/big.bin").c_str(), &st) == 0 && st.st_size == kBigSize;
}

// CPU seconds (user + system) of this process so far, every thread.
double ProcessCpuSeconds() {
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_Put1GiB_DialogVsHeadless(benchmark::State& state) {
    Env& env = Env::Get();
    if (!env.ok) {
        state.SkipWithError("set-up failed (server or local file)");
        return;
    }
    if (gWithStatistics) {
        // Top left, beside the transfer windows.
        WriteProfileString("CONFIG", "SysInfo_X", "40");
        WriteProfileString("CONFIG", "SysInfo_Y", "40");
        CStatisticsDlg::Show();
    }
    double wall[2] = {0, 0};  // [0] headless, [1] window
    double best[2] = {1e9, 1e9};
    double cpu[2] = {0, 0};
    int round = 0;
    for (auto _ : state) {
        for (int half = 0; half < 2; ++half) {
            const bool windowFirst = round % 2 == 1;
            const int form = (half == 0) == windowFirst ? 1 : 0;
            env.RemoveUpload();
            const double cpuBefore = ProcessCpuSeconds();
            double seconds = 0;
            if (form == 1) {
                seconds = PutThroughWindow(env);
            } else {
                const auto start = std::chrono::steady_clock::now();
                TransferController controller(env.BigRun());
                controller.RunToEnd();
                seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            }
            cpu[form] += ProcessCpuSeconds() - cpuBefore;
            wall[form] += seconds;
            best[form] = std::min(best[form], seconds);
            if (!UploadComplete(env)) {
                state.SkipWithError(form == 1 ? "the put through the window did not complete"
                                              : "the headless put did not complete");
                return;
            }
        }
        ++round;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["headless_s"] = wall[0] / n;
    state.counters["dialog_s"] = wall[1] / n;
    state.counters["ratio"] = wall[1] / wall[0];
    state.counters["best_ratio"] = best[1] / best[0];
    state.counters["cpu_headless_s"] = cpu[0] / n;
    state.counters["cpu_dialog_s"] = cpu[1] / n;
    state.counters["MiB_per_s_headless"] = 1024.0 * n / wall[0];
    env.RemoveUpload();
}

void BM_Parallel100Sites(benchmark::State& state) {
    Env& env = Env::Get();
    if (!env.ok) {
        state.SkipWithError("set-up failed (server or local file)");
        return;
    }
    constexpr int kSites = 100;
    std::vector<CTransferJob> jobs;
    for (int i = 0; i < 5; ++i) jobs.push_back(env.Job("small" + std::to_string(i) + ".bin", 64 * 1024));
    std::vector<TransferServer> servers;
    for (int i = 0; i < kSites; ++i) {
        const std::string dir = "/site" + std::to_string(i);
        test::MakeDir(env.server->root() + dir);
        servers.push_back(TransferServer{"127.0.0.1", "user", "pass", dir, env.server->port()});
    }
    double maxStall = 0;
    double peak = 0;
    int windows = 0;
    for (auto _ : state) {
        bench::ResetPeakRss();
        TheTransferLog().Clear();
        DialogRunStarter starter;
        QEventLoop loop;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            maxStall = std::max(maxStall, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 10.0);
            sinceTick.restart();
            if (starter.Waiting() == 0 && starter.Started() == kSites && CTransferDlg::OpenCount() == 0) loop.quit();
        });
        tick.start(10);
        sinceTick.restart();
        (void)StartParallelRuns(servers, jobs, 5 * 64 * 1024, starter);
        loop.exec();
        windows = starter.Started();
        peak = std::max(peak, bench::PeakRssMiB());
    }
    state.counters["max_stall_ms"] = maxStall;
    state.counters["peak_rss_mib"] = peak;
    state.counters["windows"] = windows;
}

BENCHMARK(BM_Put1GiB_DialogVsHeadless)->Iterations(3)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Parallel100Sites)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-statistics") == 0) {
            gWithStatistics = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(count, args.data());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
