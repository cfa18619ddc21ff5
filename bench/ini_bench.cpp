// The INI engine on a queue-shaped file: 10,000 sections "QUEUE1".."QUEUE10000"
// of 19 keys each. Every operation goes through the file functions, so each
// timing includes the locked re-read, the parse and the atomic write (temporary
// file, fsync, rename). The peer "PlainAtomicWrite" writes the same bytes the
// same way without any INI work: the floor the engine is compared with.
#include "settings/IniFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int kSections = 10000;

std::string Num(const char* prefix, int n) {
    std::string s(prefix);
    s.append(std::to_string(n));
    return s;
}

std::vector<std::pair<std::string, std::string>> QueueEntry(int i) {
    return {
        {"Type", "0"},
        {"LocalFile", Num("/home/user/outgoing/report_", i) + ".txt"},
        {"RemoteFile", Num("report_", i) + ".txt"},
        {"Host", "ftp.example.org"},
        {"Login", "user"},
        {"Password", "secret"},
        {"RemDir", "/incoming"},
        {"Port", "21"},
        {"Status", "0"},
        {"Reason", "Connection timed out"},
        {"Tries", "1"},
        {"RemLogin", ""},
        {"RemPassword", ""},
        {"RemRemDir", ""},
        {"RemotePort", "21"},
        {"Date", "2024-05-01"},
        {"Time", "12:30:00"},
        {"Size", Num("", 1000 + i)},
        {"Mode", "0"},
    };
}

std::string QueueText() {
    std::string text;
    for (int i = 1; i <= kSections; ++i) {
        text.append("[").append(Num("QUEUE", i)).append("]\n");
        for (const auto& [k, v] : QueueEntry(i)) text.append(k).append("=").append(v).append("\n");
    }
    return text;
}

// One temporary folder per benchmark with a fresh queue file in it.
class QueueFile {
public:
    QueueFile() {
        char pattern[] = "/tmp/zyfar-ini-bench-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        dir_ = pattern;
        path_ = dir_ + "/zyfarQue.ini";
        text_ = QueueText();
        if (FILE* f = std::fopen(path_.c_str(), "wb")) {
            std::fwrite(text_.data(), 1, text_.size(), f);
            std::fclose(f);
        }
    }
    QueueFile(const QueueFile&) = delete;
    QueueFile& operator=(const QueueFile&) = delete;
    ~QueueFile() {
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") ::unlink((dir_ + "/" + name).c_str());
            }
            ::closedir(d);
        }
        ::rmdir(dir_.c_str());
    }
    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] const std::string& dir() const { return dir_; }
    [[nodiscard]] const std::string& text() const { return text_; }

private:
    std::string dir_, path_, text_;
};

void BM_UpdateOneKey(benchmark::State& state) {
    QueueFile q;
    int round = 0;
    for (auto _ : state) {
        if (!zyfar::WritePrivateProfileString("QUEUE5000", "Tries", Num("", ++round), q.path()))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(q.text().size()));
}
BENCHMARK(BM_UpdateOneKey)->Unit(benchmark::kMillisecond);

void BM_AppendSection(benchmark::State& state) {
    QueueFile q;
    const auto entry = QueueEntry(kSections + 1);
    for (auto _ : state) {
        if (!zyfar::WritePrivateProfileSection(Num("QUEUE", kSections + 1), entry, q.path()))
            state.SkipWithError("append failed");
        state.PauseTiming();
        zyfar::RemovePrivateProfileSection(Num("QUEUE", kSections + 1), q.path());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AppendSection)->Unit(benchmark::kMillisecond);

void BM_RemoveSection(benchmark::State& state) {
    QueueFile q;
    const auto entry = QueueEntry(5000);
    for (auto _ : state) {
        if (!zyfar::RemovePrivateProfileSection("QUEUE5000", q.path())) state.SkipWithError("remove failed");
        state.PauseTiming();
        zyfar::WritePrivateProfileSection("QUEUE5000", entry, q.path());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RemoveSection)->Unit(benchmark::kMillisecond);

// Every section changes (as when the queue is renumbered after a purge).
void BM_FullRewrite(benchmark::State& state) {
    QueueFile q;
    int round = 0;
    for (auto _ : state) {
        ++round;
        const bool ok = zyfar::UpdatePrivateProfile(q.path(), [&](zyfar::IniDocument& doc) {
            for (int i = 1; i <= kSections; ++i) doc.Set(Num("QUEUE", i), "Tries", Num("", round));
        });
        if (!ok) state.SkipWithError("rewrite failed");
    }
}
BENCHMARK(BM_FullRewrite)->Unit(benchmark::kMillisecond);

// Reads: a key from the cached parse, and the first read after the file changed.
void BM_ReadKeyCached(benchmark::State& state) {
    QueueFile q;
    for (auto _ : state)
        benchmark::DoNotOptimize(zyfar::GetPrivateProfileString("QUEUE7777", "RemoteFile", "", q.path()));
}
BENCHMARK(BM_ReadKeyCached)->Unit(benchmark::kMicrosecond);

void BM_ParseWholeFile(benchmark::State& state) {
    const std::string text = QueueText();
    for (auto _ : state) benchmark::DoNotOptimize(zyfar::IniDocument::Parse(text));
}
BENCHMARK(BM_ParseWholeFile)->Unit(benchmark::kMillisecond);

// Peer: the same bytes written the same way (temporary file, fsync, rename),
// no INI work at all.
void BM_PlainAtomicWrite(benchmark::State& state) {
    QueueFile q;
    const std::string tmp = q.dir() + "/plain.tmp";
    for (auto _ : state) {
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::write(fd, q.text().data(), q.text().size()) != static_cast<ssize_t>(q.text().size()) ||
            ::fsync(fd) != 0) {
            state.SkipWithError("plain write failed");
        }
        if (fd >= 0) ::close(fd);
        ::rename(tmp.c_str(), q.path().c_str());
    }
}
BENCHMARK(BM_PlainAtomicWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
