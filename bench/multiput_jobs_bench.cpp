// Getting a multiple-site send of 20,000 files to 20 sites ready, without
// sending: the goal is under 1 s for building the jobs.
//
// BM_BuildJobs_Explicit: Send Parallel from the Multiple FTP Put screen with
//   20,000 explicit file items and 20 sites: the job list is built once
//   (casing, duplicate rules, batch size) and every site's run gets its own
//   copy (20 runs, 400,000 jobs in all). The runs are only collected, and
//   the 200 ms start stagger is left out: it is waiting, not work.
// BM_BuildJobs_Patterns: the same from 20 patterns ("<folder>/*.dat", 1,000
//   files each on disk) plus 2,000 explicit items naming files the patterns
//   match as well (each must come once): listing, matching and dropping.
// BM_LinkPlan: the link run's preparation: PlanLinkRun reads the link, its
//   20,000-item file list (a stat of every file) and 20 site profiles, then
//   the 20 runs are built and collected.
// BM_LoadFileList: reading a 20,000-item "flist.ini" (the core's part of
//   loading a file list; the files view's part is measured with the view).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/LinkRun.h"
#include "automation/MultiPut.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;

constexpr int kFiles = 20000;
constexpr int kSites = 20;
constexpr int kFolders = 20;  // kFiles / kFolders files in each

// Keeps the runs it is handed without starting them.
class CollectingStarter final : public TransferRunStarter {
public:
    void StartRun(std::unique_ptr<TransferRun> run, bool) override { runs.push_back(std::move(run)); }
    void PauseBetweenStarts(std::chrono::milliseconds) override {}
    [[nodiscard]] std::size_t Jobs() const {
        std::size_t n = 0;
        for (const auto& r : runs) n += r->jobs.size();
        return n;
    }
    std::vector<std::unique_ptr<TransferRun>> runs;
};

struct Env {
    test::TempDir dir{"zyfar-jobs-bench"};
    std::vector<CTransferSite> sites;
    std::vector<CTransferJob> explicitItems;
    std::vector<CTransferJob> patternItems;
    std::string listFolder;
    std::string error;

    static Env& Get() {
        static Env env;
        return env;
    }

    Env() {
        bench::UsePrivateSettings(dir);
        WriteProfileString("CONFIG", "ProfilePath", dir / "profiles");
        WriteProfileString("CONFIG", "FileCasingPut", "LOWER_CASE");
        (void)EnsureProfileFolders();
        std::vector<FileListItem> listItems;
        char name[64];
        for (int f = 0; f < kFolders; ++f) {
            const std::string folder = dir / ("local" + std::to_string(f));
            test::MakeDir(folder);
            CTransferJob pattern;
            pattern.localDir = folder;
            pattern.sourceName = "*.dat";
            pattern.size = 0;
            patternItems.push_back(pattern);
            for (int i = 0; i < kFiles / kFolders; ++i) {
                std::snprintf(name, sizeof name, "File_%05d.dat", i);
                if (!test::WriteFile(folder + "/" + name, "x")) error = "cannot write the local files";
                CTransferJob item;
                item.localDir = folder;
                item.sourceName = item.targetName = name;
                item.size = 1;
                explicitItems.push_back(item);
                // Every tenth file is also named on its own: it must be sent once.
                if (i % 10 == 0) patternItems.push_back(item);
                listItems.push_back({.folder = folder, .localName = name, .remoteName = name, .size = 1});
            }
        }
        std::vector<std::string> profiles;
        for (int i = 0; i < kSites; ++i) {
            sites.push_back(CTransferSite{"127.0.0.1", "user", "pass", "/in", 0, static_cast<std::uint16_t>(2100 + i)});
            SiteProfile p;
            p.host = "127.0.0.1";
            p.user = "user";
            p.password = "pass";
            p.port = std::to_string(2100 + i);
            std::string path;
            if (!SaveSiteProfile(ProfilesFolder(), "site" + std::to_string(i), p, SaveMode::New, &path).ok())
                error = "cannot write a site profile";
            profiles.push_back(path);
        }
        if (!CreateFileListFolder("big", &listFolder).ok() || !SaveFileList(listFolder, listItems).ok())
            error = "cannot write the file list";
        if (!AddLink("big", profiles, listItems.size(), listFolder).ok()) error = "cannot write the link";
    }
};

bool Ready(benchmark::State& state, const Env& env) {
    if (env.error.empty()) return true;
    state.SkipWithError(env.error.c_str());
    return false;
}

void Check(benchmark::State& state, const CollectingStarter& starter) {
    state.counters["runs"] = static_cast<double>(starter.runs.size());
    state.counters["jobs"] = static_cast<double>(starter.Jobs());
    if (starter.runs.size() != kSites || starter.Jobs() != std::size_t{kSites} * kFiles)
        state.SkipWithError("the runs do not hold every file once for every site");
}

void SendParallelOf(benchmark::State& state, const std::vector<CTransferJob>& items) {
    Env& env = Env::Get();
    if (!Ready(state, env)) return;
    std::unique_ptr<CollectingStarter> last;
    for (auto _ : state) {
        state.PauseTiming();
        last.reset();  // freeing the previous runs is not part of building
        auto starter = std::make_unique<CollectingStarter>();
        state.ResumeTiming();
        (void)SendParallel(env.sites, items, *starter);
        last = std::move(starter);
    }
    Check(state, *last);
}

void BM_BuildJobs_Explicit(benchmark::State& state) { SendParallelOf(state, Env::Get().explicitItems); }
void BM_BuildJobs_Patterns(benchmark::State& state) { SendParallelOf(state, Env::Get().patternItems); }

void BM_LinkPlan(benchmark::State& state) {
    Env& env = Env::Get();
    if (!Ready(state, env)) return;
    std::unique_ptr<CollectingStarter> last;
    for (auto _ : state) {
        state.PauseTiming();
        last.reset();
        auto starter = std::make_unique<CollectingStarter>();
        state.ResumeTiming();
        const LinkRunPlan plan = PlanLinkRun("big");
        (void)StartLinkRuns(plan, *starter);
        last = std::move(starter);
    }
    Check(state, *last);
}

void BM_LoadFileList(benchmark::State& state) {
    Env& env = Env::Get();
    if (!Ready(state, env)) return;
    std::size_t items = 0;
    for (auto _ : state) {
        const std::vector<FileListItem> list = LoadFileList(env.listFolder);
        items = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["items"] = static_cast<double>(items);
    if (items != kFiles) state.SkipWithError("the list did not load whole");
}

BENCHMARK(BM_BuildJobs_Explicit)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_BuildJobs_Patterns)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LinkPlan)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LoadFileList)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
