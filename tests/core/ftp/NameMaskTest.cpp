#include <gtest/gtest.h>

#include <string>

#include "ftp/NameMask.h"

namespace zyfar {
namespace {

struct MaskCase {
    const char* name;
    const char* mask;
    bool match;
};

TEST(NameMask, Table) {
    const MaskCase cases[] = {
        {"anything.bin", "*", true},
        {"", "*", true},
        {"", "**", true},
        {"notes.txt", "*.txt", true},
        {".txt", "*.txt", true},
        {"notes.txt.bak", "*.txt", false},
        {"notes.TXT", "*.txt", false},  // case sensitive
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abbc", "a?c", false},
        {"xaybz", "*a*b*", true},
        {"ab", "*a*b*", true},
        {"ba", "*a*b*", false},
        {"aXbXa", "*a*b*a", true},
        {"abcabd", "*ab?", true},
        {"abcab", "*ab?", false},
        {"", "", true},
        {"a", "", false},
        {"", "?", false},
        {"", "a*", false},
        {"readme", "readme", true},
        {"readme", "README", false},
        {"readme", "readm", false},
        {"readme", "readmee", false},
        {"a*b", "a*b", true},  // "*" in the name is matched by "*" in the mask like anything else
        {"report-2026.csv", "report-????.csv", true},
        {"report-26.csv", "report-????.csv", false},
        {"aaa", "a*a", true},
        {"aa", "a*a*a", false},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*iss*iss*ppi", true},
        {"mississippi", "m*iss*iss*iss*ppi", false},
        {"abcd", "*?", true},
        {"x", "*?*", true},
        {"", "*?*", false},
        {"ab", "a**b", true},
    };
    for (const MaskCase& c : cases) {
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << "name [" << c.name << "] mask [" << c.mask << "]";
    }
}

// Patterns that make a backtracking matcher take exponential time.
TEST(NameMask, PathologicalPatternsFinish) {
    const std::string name(5000, 'a');
    EXPECT_FALSE(MatchesMask(name, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchesMask(name, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a"));
    std::string mask;
    for (int i = 0; i < 200; ++i) mask += "*a";
    mask += "*b";
    EXPECT_FALSE(MatchesMask(name, mask));
    EXPECT_TRUE(MatchesMask(name + "b", mask));
    std::string manyQuestions(4999, '?');
    EXPECT_TRUE(MatchesMask(name, "*" + manyQuestions));
    EXPECT_FALSE(MatchesMask(name, "*" + manyQuestions + "??"));
}

TEST(NameMask, HasWildcard) {
    EXPECT_TRUE(HasWildcard("*.txt"));
    EXPECT_TRUE(HasWildcard("a?c"));
    EXPECT_TRUE(HasWildcard("*"));
    EXPECT_FALSE(HasWildcard("plain.txt"));
    EXPECT_FALSE(HasWildcard(""));
    EXPECT_FALSE(HasWildcard("[a-z]"));  // brackets are no wildcard here
}

}  // namespace
}  // namespace zyfar
