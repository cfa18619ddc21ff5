#pragma once
// "Highlight Differences": the rows of two file lists that have no
// counterpart on the other side. A counterpart has exactly the same name
// (case counts) and the same size; dates and times are not compared.
//
// The result equals two passes of "for each row of one list, look through
// the other list for the same name and size" (first left against right,
// then right against left), but one hash set per side answers each look-up:
// O(a + b) expected time and O(a + b) extra memory for lists of a and b
// rows, instead of O(a * b) name comparisons.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zyfar {

struct CompareRow {
    std::string_view name;  // refers to the caller's row; must outlive the call
    std::int64_t size = 0;
};

struct CompareResult {
    // Both lists are empty: message 203 ("No files to FTP!") and nothing selected.
    bool bothEmpty = false;
    // One flag per row, in row order: true selects the row, false un-selects
    // it. An empty side leaves every row of the other side selected.
    std::vector<bool> selectLeft;
    std::vector<bool> selectRight;
};

[[nodiscard]] CompareResult CompareFileLists(std::span<const CompareRow> left, std::span<const CompareRow> right);

}  // namespace zyfar
