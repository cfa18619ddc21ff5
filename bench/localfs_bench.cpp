// Listing a local folder of 100,000 files (generated once in a temporary
// folder, removed at exit) with ListFolder: names, sizes, times with the
// birth time, kinds and read-only flags, ordered by name. Counters:
// entries_per_s, and bytes_per_entry_beyond_name (the entry record without
// its name string, plus the vector's spare capacity per entry; names of up to
// 15 bytes live inside the string itself).
//
// Peers in the same run: a bare readdir + fstatat loop that keeps only names
// and sizes, and std::filesystem::directory_iterator with a status per entry.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/LocalFs.h"

namespace {

using namespace zyfar;

constexpr int kFiles = 100'000;

struct Folder {
    std::string path;
    Folder() {
        std::string templ = "/tmp/zyfar-localfs-bench-XXXXXX";
        if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0')
            templ = std::string(tmp) + "/zyfar-localfs-bench-XXXXXX";
        if (::mkdtemp(templ.data()) == nullptr) return;
        path = templ;
        char name[64];
        for (int i = 0; i < kFiles; ++i) {
            std::snprintf(name, sizeof name, "/file%06d.txt", i);
            const int fd = ::open((path + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) {
                if (i % 7 == 0) static_cast<void>(::write(fd, name, 16));
                ::close(fd);
            }
        }
    }
    ~Folder() {
        if (!path.empty()) std::filesystem::remove_all(path);
    }
    static Folder& Get() {
        static Folder folder;
        return folder;
    }
};

void BM_ListFolder(benchmark::State& state) {
    const Folder& folder = Folder::Get();
    std::size_t count = 0;
    double beyondName = 0;
    for (auto _ : state) {
        const LocalListing listing = ListFolder(folder.path);
        count = listing.entries.size();
        const double spare = static_cast<double>(listing.entries.capacity() - count) * sizeof(LocalEntry);
        beyondName = static_cast<double>(sizeof(LocalEntry) - sizeof(std::string)) + spare / static_cast<double>(count);
        benchmark::DoNotOptimize(listing);
    }
    if (count != static_cast<std::size_t>(kFiles)) state.SkipWithError("the folder does not hold every file");
    state.counters["entries"] = static_cast<double>(count);
    state.counters["entries_per_s"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes_per_entry_beyond_name"] = beyondName;
}
BENCHMARK(BM_ListFolder)->Unit(benchmark::kMillisecond);

void BM_ReaddirStatPeer(benchmark::State& state) {
    const Folder& folder = Folder::Get();
    for (auto _ : state) {
        std::vector<std::pair<std::string, std::int64_t>> out;
        DIR* dir = ::opendir(folder.path.c_str());
        while (const dirent* e = dir != nullptr ? ::readdir(dir) : nullptr) {
            struct stat st {};
            if (e->d_name[0] != '.' && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                out.emplace_back(e->d_name, st.st_size);
        }
        if (dir != nullptr) ::closedir(dir);
        benchmark::DoNotOptimize(out);
    }
    state.counters["entries_per_s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReaddirStatPeer)->Unit(benchmark::kMillisecond);

void BM_FilesystemIteratorPeer(benchmark::State& state) {
    const Folder& folder = Folder::Get();
    for (auto _ : state) {
        std::vector<std::pair<std::string, bool>> out;
        for (const auto& e : std::filesystem::directory_iterator(folder.path))
            out.emplace_back(e.path().filename().string(), e.is_regular_file());
        benchmark::DoNotOptimize(out);
    }
    state.counters["entries_per_s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FilesystemIteratorPeer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
