// A multiple-site put of 200 files of 64 KiB to 10 pyftpdlib servers on
// loopback: parallel (one run per site, started 200 ms apart, as the program
// does), parallel without the start stagger (what the stagger costs), and
// serial (one run serving the sites in turn), measured in the same run.
// Counters: files_per_s (files delivered per second of wall time, all sites
// together) and peak_rss_mib (the process's peak resident memory during the
// iteration; the peak is reset before each one through /proc/self/clear_refs).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "automation/MultiPut.h"
#include "engine/TransferStats.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;

constexpr int kSites = 10;
constexpr int kFiles = 200;
constexpr std::size_t kFileSize = 64 * 1024;

struct Env {
    test::TempDir dir{"zyfar-multiput-bench"};
    std::vector<std::unique_ptr<test::PyFtpdServer>> servers;
    std::vector<CTransferSite> sites;
    std::vector<CTransferJob> items;
    bool ok = false;

    static Env& Get() {
        static Env env;
        return env;
    }

    Env() {
        bench::UsePrivateSettings(dir);
        TheTransferLog().ReloadSettings();
        const std::string local = dir / "local";
        test::MakeDir(local);
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "file" + std::to_string(i) + ".bin";
            test::WriteFile(local + "/" + name, test::PatternBytes(kFileSize, static_cast<std::uint32_t>(i + 1)));
            CTransferJob item;
            item.localDir = local;
            item.sourceName = name;
            item.targetName = name;
            item.size = static_cast<std::int64_t>(kFileSize);
            items.push_back(item);
        }
        ok = true;
        for (int i = 0; i < kSites; ++i) {
            servers.push_back(std::make_unique<test::PyFtpdServer>());
            if (!servers.back()->started()) {
                ok = false;
                std::fprintf(stderr, "server %d: %s\n", i, servers.back()->error().c_str());
            }
            sites.push_back(CTransferSite{"127.0.0.1", "user", "pass", "", 0, servers.back()->port()});
        }
    }

    void ClearServers() {
        for (const auto& s : servers) {
            test::RemoveTree(s->root());
            test::MakeDir(s->root());
        }
        TheTransferLog().Clear();
    }
};

class NoStagger final : public ControllerRunStarter {
public:
    void PauseBetweenStarts(std::chrono::milliseconds) override {}
};

enum class Form { Parallel, ParallelNoStagger, Serial };

void RunForm(benchmark::State& state, Form form) {
    Env& env = Env::Get();
    if (!env.ok) {
        state.SkipWithError("the test servers did not start");
        return;
    }
    double seconds = 0;
    double peak = 0;
    std::int64_t delivered = 0;
    for (auto _ : state) {
        state.PauseTiming();
        env.ClearServers();
        bench::ResetPeakRss();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<ControllerRunStarter> starter;
        if (form == Form::ParallelNoStagger) {
            starter = std::make_unique<NoStagger>();
        } else {
            starter = std::make_unique<ControllerRunStarter>();
        }
        if (form == Form::Serial) {
            SendSerial(env.sites, env.items, *starter);
        } else {
            SendParallel(env.sites, env.items, *starter);
        }
        starter->WaitAll();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        peak = std::max(peak, bench::PeakRssMiB());
        for (std::size_t i = 0; i < starter->Count(); ++i) {
            const TransferRun& run = starter->Controller(i).run();
            if (run.serial) {
                // The serial worker resets each job for the next site; count
                // what reached the servers instead.
                for (const auto& s : env.servers) {
                    for (const CTransferJob& job : env.items) {
                        delivered += test::ReadFile(s->root() + "/" + job.targetName).has_value() ? 1 : 0;
                    }
                }
            } else {
                for (const CTransferJob& job : run.jobs) delivered += job.status == 0 ? 1 : 0;
            }
        }
    }
    state.counters["files_per_s"] = static_cast<double>(delivered) / seconds;
    state.counters["delivered"] = static_cast<double>(delivered) / static_cast<double>(state.iterations());
    state.counters["peak_rss_mib"] = peak;
}

void BM_MultiPut_Parallel(benchmark::State& state) { RunForm(state, Form::Parallel); }
void BM_MultiPut_ParallelNoStagger(benchmark::State& state) { RunForm(state, Form::ParallelNoStagger); }
void BM_MultiPut_Serial(benchmark::State& state) { RunForm(state, Form::Serial); }

BENCHMARK(BM_MultiPut_Parallel)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MultiPut_ParallelNoStagger)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MultiPut_Serial)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
