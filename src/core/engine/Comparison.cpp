#include "engine/Comparison.h"

#include <bit>
#include <functional>

namespace zyfar {
namespace {

std::uint64_t HashOf(const CompareRow& row) {
    const std::uint64_t h = std::hash<std::string_view>{}(row.name);
    return h ^ (static_cast<std::uint64_t>(row.size) * 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
}

// An open-addressing set of one side's rows (linear probing, at most half
// full), keyed by name and size, with each row's hash kept beside its index
// so that most probes never touch the names.
class RowSet {
public:
    RowSet(std::span<const CompareRow> rows, const std::vector<std::uint64_t>& hashes)
        : rows_(rows), slots_(std::bit_ceil(rows.size() * 2 + 2)), mask_(slots_.size() - 1) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::size_t s = hashes[i] & mask_;
            while (slots_[s].index != 0 && !Same(slots_[s], hashes[i], rows[i])) s = (s + 1) & mask_;
            slots_[s] = Slot{hashes[i], i + 1};
        }
    }

    [[nodiscard]] bool Contains(const CompareRow& row, std::uint64_t hash) const {
        for (std::size_t s = hash & mask_; slots_[s].index != 0; s = (s + 1) & mask_)
            if (Same(slots_[s], hash, row)) return true;
        return false;
    }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::size_t index = 0;  // row index + 1; 0 marks an empty slot
    };
    [[nodiscard]] bool Same(const Slot& slot, std::uint64_t hash, const CompareRow& row) const {
        const CompareRow& other = rows_[slot.index - 1];
        return slot.hash == hash && other.size == row.size && other.name == row.name;
    }

    std::span<const CompareRow> rows_;
    std::vector<Slot> slots_;
    std::size_t mask_;
};

std::vector<std::uint64_t> HashesOf(std::span<const CompareRow> rows) {
    std::vector<std::uint64_t> out(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) out[i] = HashOf(rows[i]);
    return out;
}

// For each row of `rows`: true when `other` has no row of the same name and size.
std::vector<bool> WithoutCounterpart(std::span<const CompareRow> rows, const std::vector<std::uint64_t>& hashes,
                                     const RowSet& other) {
    std::vector<bool> out(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) out[i] = !other.Contains(rows[i], hashes[i]);
    return out;
}

}  // namespace

CompareResult CompareFileLists(std::span<const CompareRow> left, std::span<const CompareRow> right) {
    CompareResult result;
    result.bothEmpty = left.empty() && right.empty();
    const std::vector<std::uint64_t> leftHashes = HashesOf(left);
    const std::vector<std::uint64_t> rightHashes = HashesOf(right);
    result.selectLeft = WithoutCounterpart(left, leftHashes, RowSet(right, rightHashes));
    result.selectRight = WithoutCounterpart(right, rightHashes, RowSet(left, leftHashes));
    return result;
}

}  // namespace zyfar
