// A file list of 20,000 local files loaded into the Multiple FTP Put
// screen's files view, shown offscreen: the list file read, the rows made
// (each file once), and the view painted. Goal: under 1 s.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <chrono>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "profiles/FileList.h"
#include "views/FilesView.h"

namespace {

using namespace zyfar;

constexpr int kItems = 20000;

void BM_LoadFileList20k(benchmark::State& state) {
    test::TempDir dir("zyfar-fileslist-bench");
    const std::string list = dir.path() + "/list";
    (void)::mkdir(list.c_str(), 0700);
    std::vector<FileListItem> items;
    items.reserve(kItems);
    for (int i = 0; i < kItems; ++i) {
        // Forty folders of five hundred files, as a dragged tree gives them.
        const std::string folder = "/home/user/project/part" + std::to_string(i % 40) + "/";
        const std::string name = "file-" + std::to_string(i) + ".dat";
        items.push_back({folder, name, name, 1000 + i, 0});
    }
    if (!SaveFileList(list, items).ok()) {
        state.SkipWithError("the list file could not be written");
        return;
    }
    for (auto _ : state) {
        CFilesView view;
        view.resize(900, 600);
        view.show();
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        const bool loaded = view.LoadList(QString::fromStdString(list));
        view.ReportView()->viewport()->repaint();
        QApplication::processEvents();
        const auto end = std::chrono::steady_clock::now();
        if (!loaded || view.RowCount() != kItems) {
            state.SkipWithError("the list did not load every item");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.counters["rows"] = kItems;
}
BENCHMARK(BM_LoadFileList20k)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    zyfar::test::TempDir home("zyfar-fileslist-bench-home");
    zyfar::bench::UsePrivateSettings(home);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
