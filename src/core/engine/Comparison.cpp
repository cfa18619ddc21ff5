#include "engine/Comparison.h"

#include <functional>
#include <unordered_set>

namespace zyfar {
namespace {

struct RowHash {
    std::size_t operator()(const CompareRow& row) const noexcept {
        const std::size_t h = std::hash<std::string_view>{}(row.name);
        return h ^ (static_cast<std::size_t>(row.size) * 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
    }
};

struct RowEqual {
    bool operator()(const CompareRow& a, const CompareRow& b) const noexcept {
        return a.size == b.size && a.name == b.name;
    }
};

// For each row of `rows`: true when `other` has no row of the same name and size.
std::vector<bool> WithoutCounterpart(std::span<const CompareRow> rows, std::span<const CompareRow> other) {
    std::unordered_set<CompareRow, RowHash, RowEqual> present(other.begin(), other.end(), other.size());
    std::vector<bool> out(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) out[i] = !present.contains(rows[i]);
    return out;
}

}  // namespace

CompareResult CompareFileLists(std::span<const CompareRow> left, std::span<const CompareRow> right) {
    CompareResult result;
    result.bothEmpty = left.empty() && right.empty();
    result.selectLeft = WithoutCounterpart(left, right);
    result.selectRight = WithoutCounterpart(right, left);
    return result;
}

}  // namespace zyfar
