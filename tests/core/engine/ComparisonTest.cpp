// "Highlight Differences": the hashed comparison gives what the two passes
// of name-and-size look-ups give, on the documented cases and on random lists.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/Comparison.h"

namespace zyfar {
namespace {

using Rows = std::vector<CompareRow>;

// The two passes as the command describes them: each row against every row
// of the other list.
std::vector<bool> TwoPass(const Rows& x, const Rows& y) {
    std::vector<bool> out;
    for (const CompareRow& a : x) {
        bool found = false;
        for (const CompareRow& b : y) found = found || (a.name == b.name && a.size == b.size);
        out.push_back(!found);
    }
    return out;
}

TEST(Comparison, DocumentedCasesFromEitherSide) {
    const struct {
        Rows left, right;
        std::vector<bool> selectLeft, selectRight;
    } cases[] = {
        {{{"a", 10}, {"b", 20}}, {{"a", 10}, {"b", 21}, {"c", 5}}, {false, true}, {false, true, true}},
        {{}, {{"x", 1}, {"y", 2}}, {}, {true, true}},  // an empty side selects the whole other side
        {{{"x", 1}}, {}, {true}, {}},
        {{}, {}, {}, {}},                                          // message 203
        {{{"Read.me", 3}}, {{"read.me", 3}}, {true}, {true}},       // case counts
        {{{"same", 7}}, {{"same", 7}}, {false}, {false}},           // dates are never compared
        {{{"d", 1}, {"d", 1}}, {{"d", 1}}, {false, false}, {false}},  // duplicates share a counterpart
        {{{"", 0}}, {{"", 0}, {"e", 0}}, {false}, {false, true}},
    };
    for (const auto& c : cases) {
        const CompareResult forward = CompareFileLists(c.left, c.right);
        EXPECT_EQ(forward.bothEmpty, c.left.empty() && c.right.empty());
        EXPECT_EQ(forward.selectLeft, c.selectLeft);
        EXPECT_EQ(forward.selectRight, c.selectRight);
        // Run from the other list: the same selections, sides swapped.
        const CompareResult backward = CompareFileLists(c.right, c.left);
        EXPECT_EQ(backward.selectLeft, c.selectRight);
        EXPECT_EQ(backward.selectRight, c.selectLeft);
    }
}

TEST(Comparison, AgreesWithTheTwoPassesOnRandomLists) {
    const std::vector<std::string> names = {"a", "b", "c", "A", "a.txt", "b.txt"};  // few, so rows collide
    std::mt19937 random(20260307);
    for (int round = 0; round < 50; ++round) {
        Rows left, right;
        for (Rows* list : {&left, &right}) {
            for (unsigned i = random() % 60; i > 0; --i)
                list->push_back({names[random() % names.size()], static_cast<std::int64_t>(random() % 3)});
        }
        const CompareResult r = CompareFileLists(left, right);
        EXPECT_EQ(r.selectLeft, TwoPass(left, right)) << "round " << round;
        EXPECT_EQ(r.selectRight, TwoPass(right, left)) << "round " << round;
    }
}

}  // namespace
}  // namespace zyfar
