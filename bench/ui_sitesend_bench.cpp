// A parallel send of 2,000 small files to 10 pyftpdlib servers on loopback,
// once through the GUI path and once through the headless link run of the
// same link, alternating within each iteration so that drift of the machine
// hits both alike.
//
// Set-up: an isolated XDG settings folder ($XDG_CONFIG_HOME/Quorvane/Zyfar.ini,
// log not written to a file, passive, no retries) whose CONFIG ProfilePath
// holds ten site profiles, one file list of the 2,000 local files and the
// link "bench" tying them together.
//
//  - GUI: the link is read the way the Multiple FTP Put screen reads it into
//    its panes (sites from the profiles, items from the file list), then
//    SendParallel with the GUI's DialogRunStarter: one CTransferDlg per site,
//    opened 200 ms apart by timers, in an offscreen QApplication. The send
//    ends when every window has closed.
//  - Headless: the built program, `zyfar --headless -l bench`, started as a
//    process with the same environment; it ends when every run has ended.
//
// After each send every file is compared byte for byte on every server; a
// missing or different file fails the benchmark. Counters:
//   gui_files_per_s, headless_files_per_s (files delivered per second of wall
//   time, all sites together), ratio (GUI / headless; the goal is >= 0.8),
//   gui_threads_max / headless_threads_max (the most threads the process had
//   at one time, sampled every 10 ms), gui_peak_rss_mib / headless_peak_rss_mib,
//   gui_max_stall_ms (the longest the GUI thread went without serving a 10 ms
//   timer), gui_cpu_s / headless_cpu_s (CPU seconds of the sending process
//   per send: what each path costs whatever else the machine runs),
//   gui_thread_cpu_s (the GUI thread's own share of gui_cpu_s),
//   load_before / load_after (the 1-minute load average).
//
// The program is found at ../src/ui/zyfar from this benchmark's folder, or
// at $ZYFAR_PROGRAM.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "automation/MultiPut.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "log/TransferLog.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;

constexpr int kSites = 10;
constexpr int kFiles = 2000;
constexpr const char* kLink = "bench";

std::string ProgramPath() {
    if (const char* p = std::getenv("ZYFAR_PROGRAM"); p != nullptr && *p != '\0') return p;
    char exe[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string dir(exe, n > 0 ? static_cast<std::size_t>(n) : 0);
    dir.resize(dir.rfind('/') + 1);
    return dir + "../src/ui/zyfar";
}

// A number line of /proc/<pid>/status ("Threads:", "VmHWM:"; pid 0: this process).
double StatusValue(pid_t pid, const std::string& key) {
    std::ifstream status(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::strtod(line.c_str() + key.size(), nullptr);
    }
    return 0;
}
int ThreadsOf(pid_t pid) { return static_cast<int>(StatusValue(pid, "Threads:")); }

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// CPU seconds of the calling thread so far.
double ThreadCpuSeconds() {
    timespec t {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU seconds (user + system) of this process so far, every thread.
double ProcessCpuSeconds() {
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double LoadAverage() {
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

struct Env {
    test::TempDir dir{"zyfar-sitesend-bench"};
    std::vector<std::unique_ptr<test::PyFtpdServer>> servers;
    std::vector<std::string> names;     // local file names
    std::vector<std::string> contents;  // their bytes
    std::string error;                  // why the set-up failed

    static Env& Get() {
        static Env env;
        return env;
    }

    Env() {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"}) {
            const std::string path = dir / name;
            test::MakeDir(path);
            ::setenv(name, path.c_str(), 1);
        }
        test::MakeDir(dir / "XDG_CONFIG_HOME/Quorvane");
        // The file the child program finds through XDG_CONFIG_HOME.
        SetSettingsFileForTesting(dir / "XDG_CONFIG_HOME/Quorvane/Zyfar.ini");
        WriteProfileString("LOG", "ToFile", "NO");
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        WriteProfileString("FTP", "Passive", "YES");
        WriteProfileString("FTP", "Retry", "0");
        WriteProfileString("CONFIG", "Email", "bench@example.org");
        WriteProfileString("CONFIG", "ProfilePath", dir / "profiles");
        (void)TheTransferLog().ReloadSettings();
        if (!EnsureProfileFolders()) {
            error = "cannot make the profile folders";
            return;
        }

        const std::string local = dir / "local";
        test::MakeDir(local);
        std::vector<FileListItem> items;
        char name[64];
        for (int i = 0; i < kFiles; ++i) {
            std::snprintf(name, sizeof name, "file_%04d.dat", i);
            names.emplace_back(name);
            // 256 bytes to about 4 KiB, each file different.
            contents.push_back(test::PatternBytes(256 + static_cast<std::size_t>(i * 37 % 3900),
                                                  static_cast<std::uint32_t>(i + 1)));
            if (!test::WriteFile(local + "/" + name, contents.back())) {
                error = "cannot write the local files";
                return;
            }
            items.push_back({.folder = local, .localName = name, .remoteName = name,
                             .size = static_cast<std::int64_t>(contents.back().size())});
        }
        std::string listFolder;
        if (!CreateFileListFolder("bench files", &listFolder).ok() || !SaveFileList(listFolder, items).ok()) {
            error = "cannot write the file list";
            return;
        }

        std::vector<std::string> profiles;
        for (int i = 0; i < kSites; ++i) {
            servers.push_back(std::make_unique<test::PyFtpdServer>(test::PyFtpdOptions{.lifetimeSeconds = 3600}));
            if (!servers.back()->started()) {
                error = "pyftpdlib did not start: " + servers.back()->error();
                return;
            }
            SiteProfile p;
            p.host = "127.0.0.1";
            p.user = "user";
            p.password = "pass";
            p.port = std::to_string(servers.back()->port());
            std::string path;
            if (!SaveSiteProfile(ProfilesFolder(), "site" + std::to_string(i), p, SaveMode::New, &path).ok()) {
                error = "cannot write a site profile";
                return;
            }
            profiles.push_back(path);
        }
        if (!AddLink(kLink, profiles, items.size(), listFolder).ok()) error = "cannot write the link";
        if (::access(ProgramPath().c_str(), X_OK) != 0) error = "the program is not built: " + ProgramPath();
    }

    void ClearServers() const {
        for (const auto& s : servers) {
            test::RemoveTree(s->root());
            test::MakeDir(s->root());
        }
        TheTransferLog().Clear();
    }

    // Every file on every server, byte for byte: the count that arrived intact.
    [[nodiscard]] std::int64_t Verified() const {
        std::int64_t good = 0;
        for (const auto& s : servers) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                const auto got = test::ReadFile(s->root() + "/" + names[i]);
                good += got && *got == contents[i] ? 1 : 0;
            }
        }
        return good;
    }
};

struct Sample {
    double seconds = 0;
    int threadsMax = 0;
    double peakRssMiB = 0;
    double maxStallMs = 0;
    double cpuSeconds = 0;  // of the sending process
    double guiThreadCpuSeconds = 0;  // of the GUI thread alone (GUI form)
    bool ok = false;
};

// The link read as the Multiple FTP Put screen's panes read it, then sent
// in parallel through transfer windows.
Sample SendThroughWindows() {
    Sample s;
    bench::ResetPeakRss();
    const double cpuBefore = ProcessCpuSeconds();
    const double threadCpuBefore = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const LinkDefinition link = ReadLink(kLink);
    std::vector<CTransferSite> sites;
    for (const std::string& path : link.sites) {
        const SiteProfile p = ReadSiteProfile(path);
        sites.push_back(CTransferSite{p.host, p.user, p.password, p.remotePath, 0,
                                      static_cast<std::uint16_t>(SiteProfilePort(p))});
    }
    std::vector<CTransferJob> items;
    for (const FileListItem& f : LoadFileListFile(link.files.value_or(""))) {
        CTransferJob job;
        job.localDir = f.folder;
        job.sourceName = f.localName;
        job.targetName = f.remoteName;
        job.size = f.size;
        items.push_back(std::move(job));
    }

    DialogRunStarter starter;
    QEventLoop loop;
    QElapsedTimer sinceTick;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    int openBefore = 0;
    int startedBefore = 0;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const double stall = static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 10.0;
        s.maxStallMs = std::max(s.maxStallMs, stall);
        sinceTick.restart();
        // A long stall is told with what happened meanwhile: windows opened
        // (a start) or closed (a run's end processing on this thread).
        const int open = CTransferDlg::OpenCount();
        if (stall > 100)
            std::fprintf(stderr, "  GUI stall %.0f ms at %.2f s: %d window(s) opened, %d closed meanwhile\n", stall,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                         starter.Started() - startedBefore, std::max(0, openBefore + starter.Started() - startedBefore - open));
        openBefore = open;
        startedBefore = starter.Started();
        s.threadsMax = std::max(s.threadsMax, ThreadsOf(0));
        if (starter.Waiting() == 0 && starter.Started() == kSites && CTransferDlg::OpenCount() == 0) loop.quit();
    });
    tick.start(10);
    sinceTick.start();
    const MultiPutResult result = SendParallel(sites, items, starter);
    if (result.runsStarted == kSites) loop.exec();
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.peakRssMiB = bench::PeakRssMiB();
    s.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    s.guiThreadCpuSeconds = ThreadCpuSeconds() - threadCpuBefore;
    s.ok = result.runsStarted == kSites;
    return s;
}

// `zyfar --headless -l bench`, its output thrown away.
Sample SendHeadless(const Env& env) {
    Sample s;
    std::string program = ProgramPath();
    std::vector<std::string> args{program, "--headless", "-l", kLink};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string errFile = env.dir / "headless-stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return s;
    int status = 0;
    rusage usage {};
    for (;;) {
        const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) break;
        if (done < 0) return s;
        s.threadsMax = std::max(s.threadsMax, ThreadsOf(pid));
        // The peak of the program's own memory: wait4's ru_maxrss would
        // start from this process's size, which the spawned child shared
        // until it ran the program.
        s.peakRssMiB = std::max(s.peakRssMiB, StatusValue(pid, "VmHWM:") / 1024.0);
        ::usleep(10000);
    }
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!s.ok) std::fprintf(stderr, "headless run: status %d, see %s\n", status, errFile.c_str());
    return s;
}

void BM_SiteSend_GuiVsHeadless(benchmark::State& state) {
    Env& env = Env::Get();
    if (!env.error.empty()) {
        state.SkipWithError(env.error.c_str());
        return;
    }
    const double loadBefore = LoadAverage();
    Sample total[2];  // [0] headless, [1] GUI
    int round = 0;
    for (auto _ : state) {
        for (int half = 0; half < 2; ++half) {
            const int form = (half == 0) == (round % 2 == 0) ? 1 : 0;
            env.ClearServers();
            const Sample s = form == 1 ? SendThroughWindows() : SendHeadless(env);
            const std::int64_t verified = env.Verified();
            std::fprintf(stderr,
                         "%s: %.2f s, %.2f CPU s (GUI thread %.2f), %lld of %d files verified, %d threads at most, peak %.1f MiB, "
                         "load %.2f\n",
                         form == 1 ? "GUI" : "headless", s.seconds, s.cpuSeconds, s.guiThreadCpuSeconds, static_cast<long long>(verified),
                         kSites * kFiles, s.threadsMax, s.peakRssMiB, LoadAverage());
            if (!s.ok || verified != std::int64_t{kSites} * kFiles) {
                state.SkipWithError(form == 1 ? "the GUI send did not deliver every file intact"
                                              : "the headless send did not deliver every file intact");
                return;
            }
            total[form].seconds += s.seconds;
            total[form].threadsMax = std::max(total[form].threadsMax, s.threadsMax);
            total[form].peakRssMiB = std::max(total[form].peakRssMiB, s.peakRssMiB);
            total[form].maxStallMs = std::max(total[form].maxStallMs, s.maxStallMs);
            total[form].cpuSeconds += s.cpuSeconds;
            total[form].guiThreadCpuSeconds += s.guiThreadCpuSeconds;
        }
        ++round;
    }
    const double files = static_cast<double>(kSites) * kFiles * static_cast<double>(state.iterations());
    const double gui = files / total[1].seconds;
    const double headless = files / total[0].seconds;
    state.counters["gui_files_per_s"] = gui;
    state.counters["headless_files_per_s"] = headless;
    state.counters["ratio"] = gui / headless;
    state.counters["gui_threads_max"] = total[1].threadsMax;
    state.counters["headless_threads_max"] = total[0].threadsMax;
    state.counters["gui_peak_rss_mib"] = total[1].peakRssMiB;
    state.counters["headless_peak_rss_mib"] = total[0].peakRssMiB;
    state.counters["gui_max_stall_ms"] = total[1].maxStallMs;
    state.counters["gui_cpu_s"] = total[1].cpuSeconds / static_cast<double>(state.iterations());
    state.counters["gui_thread_cpu_s"] = total[1].guiThreadCpuSeconds / static_cast<double>(state.iterations());
    state.counters["headless_cpu_s"] = total[0].cpuSeconds / static_cast<double>(state.iterations());
    state.counters["load_before"] = loadBefore;
    state.counters["load_after"] = LoadAverage();
    env.ClearServers();
}

BENCHMARK(BM_SiteSend_GuiVsHeadless)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
