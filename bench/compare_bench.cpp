// "Highlight Differences" on two lists of 100,000 rows each (names like a
// remote folder's, about one row in ten differing by name or size). Target:
// under 200 ms for the hashed comparison (CompareFileLists, O(a + b)).
//
// Peer in the same run: the two passes of row-by-row look-ups (O(a * b)) on
// smaller lists, next to the hashed comparison on the same lists; the ratio
// of their times is what hashing saves (it grows with the list length).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/Comparison.h"

namespace {

using namespace zyfar;

struct Lists {
    std::vector<std::string> leftNames, rightNames;
    std::vector<CompareRow> left, right;
};

// n rows per side; every tenth right row is renamed or resized.
const Lists& MakeLists(int n) {
    static std::vector<std::unique_ptr<Lists>> cache;
    for (const auto& l : cache)
        if (static_cast<int>(l->left.size()) == n) return *l;
    auto lists = std::make_unique<Lists>();
    std::mt19937_64 random(7);
    char name[64];
    for (int i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "backup/%04d/report-%06d.%s", i % 500, i, i % 3 ? "csv" : "tar.gz");
        lists->leftNames.emplace_back(name);
        lists->rightNames.emplace_back(i % 20 == 0 ? std::string(name) + ".old" : std::string(name));
    }
    for (int i = 0; i < n; ++i) {
        const auto size = static_cast<std::int64_t>(random() % 100'000'000);
        lists->left.push_back({lists->leftNames[static_cast<std::size_t>(i)], size});
        lists->right.push_back({lists->rightNames[static_cast<std::size_t>(i)], i % 20 == 10 ? size + 1 : size});
    }
    cache.push_back(std::move(lists));
    return *cache.back();
}

std::vector<bool> NaivePass(const std::vector<CompareRow>& x, const std::vector<CompareRow>& y) {
    std::vector<bool> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        bool found = false;
        for (const CompareRow& r : y) {
            if (r.name == x[i].name && r.size == x[i].size) {
                found = true;
                break;
            }
        }
        out[i] = !found;
    }
    return out;
}

void BM_Hashed(benchmark::State& state) {
    const Lists& lists = MakeLists(static_cast<int>(state.range(0)));
    std::size_t selected = 0;
    for (auto _ : state) {
        const CompareResult r = CompareFileLists(lists.left, lists.right);
        selected = static_cast<std::size_t>(std::count(r.selectLeft.begin(), r.selectLeft.end(), true));
        benchmark::DoNotOptimize(r);
    }
    state.counters["rows_per_side"] = static_cast<double>(lists.left.size());
    state.counters["left_selected"] = static_cast<double>(selected);
}
BENCHMARK(BM_Hashed)->Arg(5'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_TwoPassPeer(benchmark::State& state) {
    const Lists& lists = MakeLists(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(NaivePass(lists.left, lists.right));
        benchmark::DoNotOptimize(NaivePass(lists.right, lists.left));
    }
    state.counters["rows_per_side"] = static_cast<double>(lists.left.size());
}
BENCHMARK(BM_TwoPassPeer)->Arg(5'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
