// The transfer queue at 10,000 entries: appending one failed transfer and
// removing the first entry (the 9,999 behind it move up). Each operation is
// one locked read-modify-write of the whole file with an atomic replace.
#include "automation/QueueFile.h"
#include "settings/IniFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace zyfar;

constexpr int kEntries = 10000;

QueueRun Run() {
    QueueRun run;
    run.method = QueueMethod::Put;
    run.first = {"ftp.example.org", "user", "secret", "/incoming", 21};
    return run;
}

QueueItem Item(int i) {
    QueueItem item;
    item.localDir = "/home/user/outgoing";
    item.localName = "report_" + std::to_string(i) + ".txt";
    item.remoteName = item.localName;
    item.remoteDir = "/incoming";
    item.errorText = "The request has timed out.";
    item.size = 1000 + i;
    item.result = 12002;
    return item;
}

// A failed run of one file, queued the way the engine's run end queues it.
bool RecordFailure(QueueFile& queue, const QueueItem& item) {
    QueueOptions options;
    options.resendFail = 1;
    return queue.ApplyRun(Run(), {item}, options, false).appended == 1;
}

// The same file sent from queue entry 1: its entry leaves the queue.
bool RemoveTransfer(QueueFile& queue, QueueItem item) {
    item.result = 0;
    item.queueEntry = 1;
    return queue.ApplyRun(Run(), {item}, QueueOptions{}, false).removed == 1;
}

// A queue file of kEntries entries written the way the queue writes one:
// the first entry is made by the queue itself, the others copy its layout.
std::string MakeQueue(const std::string& folder) {
    const std::string seedPath = folder + "/seed.ini";
    QueueFile seed(seedPath);
    (void)RecordFailure(seed, Item(1));
    const auto keys = GetPrivateProfileSection(QueueSectionName(1), seedPath);

    std::string text = "[QUEUE]\nNumQueues=" + std::to_string(kEntries) + "\n";
    const std::string one = Item(1).localName;
    for (int i = 1; i <= kEntries; ++i) {
        text.append("[").append(QueueSectionName(i)).append("]\n");
        const std::string name = Item(i).localName;
        for (const auto& [key, value] : keys) {
            std::string v = value;
            for (std::size_t at = v.find(one); at != std::string::npos; at = v.find(one, at + name.size()))
                v.replace(at, one.size(), name);
            text.append(key).append("=").append(v).append("\n");
        }
    }
    const std::string path = folder + "/zyfarQue.ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct Folder {
    std::string path;
    Folder() {
        char tmpl[] = "/tmp/zyfar-queue-bench-XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~Folder() { std::system(("rm -rf '" + path + "'").c_str()); }
};

void BM_QueueAppendAt10000(benchmark::State& state) {
    Folder folder;
    const std::string path = MakeQueue(folder.path);
    QueueFile queue(path);
    int next = kEntries + 1;
    for (auto _ : state) {
        if (!RecordFailure(queue, Item(next++))) state.SkipWithError("append failed");
        state.PauseTiming();
        // Back to 10,000 entries for the next pass.
        WritePrivateProfileString(kQueueSection, kQueueCountKey, std::to_string(kEntries), path);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_QueueAppendAt10000)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_QueueRemoveFirstAt10000(benchmark::State& state) {
    Folder folder;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = MakeQueue(folder.path);
        QueueFile queue(path);
        state.ResumeTiming();
        if (!RemoveTransfer(queue, Item(1))) state.SkipWithError("the first entry did not match");
        state.PauseTiming();
        if (queue.Count() != kEntries - 1) state.SkipWithError("wrong count after removal");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_QueueRemoveFirstAt10000)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
