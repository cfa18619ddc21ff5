#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ftp/NameMask.h"

namespace zyfar {
namespace {

// Masks are case sensitive (FtpPyftpd.FindExactWildcardFolderAndMissing); the rest is the reference comparison
// below.
TEST(NameMask, OnlyStarAndQuestionMarkAreWildcards) {
    for (const char* mask : {"*.txt", "a?c", "*"}) EXPECT_TRUE(HasWildcard(mask)) << mask;
    for (const char* mask : {"plain.txt", "", "[a-z]"}) EXPECT_FALSE(HasWildcard(mask)) << mask;  // no brackets here
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

// A plain table-filling matcher, slow but obviously right, to compare with.
bool ReferenceMatch(const std::string& name, const std::string& mask) {
    std::vector<std::vector<bool>> ok(mask.size() + 1, std::vector<bool>(name.size() + 1, false));
    ok[0][0] = true;
    for (std::size_t i = 1; i <= mask.size(); ++i) {
        for (std::size_t j = 0; j <= name.size(); ++j) {
            const char m = mask[i - 1];
            if (m == '*') ok[i][j] = ok[i - 1][j] || (j > 0 && ok[i][j - 1]);
            else if (j > 0) ok[i][j] = ok[i - 1][j - 1] && (m == '?' || m == name[j - 1]);
        }
    }
    return ok[mask.size()][name.size()];
}

TEST(NameMask, AgreesWithAReferenceMatcher) {
    std::mt19937 rng(7);
    const char nameChars[] = {'a', 'b', '.'};
    const char maskChars[] = {'a', 'b', '.', '*', '?'};
    int matches = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string name(rng() % 9, ' ');
        for (char& c : name) c = nameChars[rng() % sizeof nameChars];
        std::string mask(rng() % 7, ' ');
        for (char& c : mask) c = maskChars[rng() % sizeof maskChars];
        const bool want = ReferenceMatch(name, mask);
        matches += want ? 1 : 0;
        ASSERT_EQ(MatchesMask(name, mask), want) << "name [" << name << "] mask [" << mask << "]";
    }
    EXPECT_GT(matches, 1000);  // the random cases hold both answers in numbers
}

}  // namespace
}  // namespace zyfar
