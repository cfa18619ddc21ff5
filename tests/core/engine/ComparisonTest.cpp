// "Highlight Differences": the hashed comparison gives what the two passes
// of name-and-size look-ups give, on the documented cases and on random lists.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/Comparison.h"

namespace zyfar {
namespace {

struct Row {
    std::string name;
    std::int64_t size;
};

std::vector<CompareRow> View(const std::vector<Row>& rows) {
    std::vector<CompareRow> out;
    for (const Row& r : rows) out.push_back({r.name, r.size});
    return out;
}

// The two passes as the command describes them: each row against every row
// of the other list, in list order.
std::vector<bool> TwoPass(const std::vector<Row>& x, const std::vector<Row>& y) {
    std::vector<bool> out;
    for (const Row& a : x) {
        bool found = false;
        for (const Row& b : y) found = found || (a.name == b.name && a.size == b.size);
        out.push_back(!found);
    }
    return out;
}

TEST(Comparison, DocumentedCasesFromEitherSide) {
    const struct {
        std::vector<Row> left, right;
        std::vector<bool> selectLeft, selectRight;
        bool bothEmpty;
    } cases[] = {
        {{{"a", 10}, {"b", 20}}, {{"a", 10}, {"b", 21}, {"c", 5}}, {false, true}, {false, true, true}, false},
        {{}, {{"x", 1}, {"y", 2}}, {}, {true, true}, false},  // an empty side selects the whole other side
        {{{"x", 1}}, {}, {true}, {}, false},
        {{}, {}, {}, {}, true},                                           // message 203
        {{{"Read.me", 3}}, {{"read.me", 3}}, {true}, {true}, false},     // case counts
        {{{"same", 7}}, {{"same", 7}}, {false}, {false}, false},         // dates never compared
        {{{"d", 1}, {"d", 1}}, {{"d", 1}}, {false, false}, {false}, false},  // duplicates share a counterpart
        {{{"", 0}}, {{"", 0}, {"e", 0}}, {false}, {false, true}, false},
    };
    for (const auto& c : cases) {
        const CompareResult forward = CompareFileLists(View(c.left), View(c.right));
        EXPECT_EQ(forward.bothEmpty, c.bothEmpty);
        EXPECT_EQ(forward.selectLeft, c.selectLeft);
        EXPECT_EQ(forward.selectRight, c.selectRight);
        // Run from the other list: the same selections, sides swapped.
        const CompareResult backward = CompareFileLists(View(c.right), View(c.left));
        EXPECT_EQ(backward.selectLeft, c.selectRight);
        EXPECT_EQ(backward.selectRight, c.selectLeft);
    }
}

TEST(Comparison, AgreesWithTheTwoPassesOnRandomLists) {
    std::mt19937 random(20260307);
    for (int round = 0; round < 50; ++round) {
        std::vector<Row> left, right;
        for (auto* list : {&left, &right}) {
            const int n = static_cast<int>(random() % 60);
            for (int i = 0; i < n; ++i)  // few names and sizes, so that many rows collide
                list->push_back({std::string(1, static_cast<char>('a' + random() % 6)) + (random() % 2 ? "" : "X"),
                                 static_cast<std::int64_t>(random() % 3)});
        }
        const CompareResult r = CompareFileLists(View(left), View(right));
        EXPECT_EQ(r.selectLeft, TwoPass(left, right)) << "round " << round;
        EXPECT_EQ(r.selectRight, TwoPass(right, left)) << "round " << round;
    }
}

}  // namespace
}  // namespace zyfar
