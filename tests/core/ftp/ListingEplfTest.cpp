// EPLF lines: facts, a TAB, the name. "m" is seconds since 1970 in UTC.
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const std::vector<Expected>& EplfTable() {
    static const std::vector<Expected> table = {
        {"+i8388621.29609,m824255902,/,\tdev", "directory (the format's own example)", "dev", true, false,
         {}, -1, T(1996, 2, 13, 23, 58, 22)},
        {"+i8388621.44468,m839956783,r,s10376,\tRFCEPLF", "retrievable file with size", "RFCEPLF", false,
         false, {}, 10376, T(1996, 8, 13, 17, 19, 43)},
        {"+i8388621.50690,m824255907,r,s1,up644,\tfile with blanks", "permissions fact, blanks in the name",
         "file with blanks", false, false, {}, 1, T(1996, 2, 13, 23, 58, 27)},
        {"+m1767225600,s5368709120,r,\tbig", "size over 4 GiB; 2026-01-01 00:00 UTC", "big", false, false,
         {}, 5368709120LL, T(2026, 1, 1)},
        {"+r,s0,\tnotime", "no time fact", "notime", false, false, {}, 0, {}},
        {"+m0,r,\tepoch", "time 0 is 1970-01-01", "epoch", false, false, {}, -1, T(1970, 1, 1)},
        {"+r,\t lead", "the name is everything after the TAB", " lead", false, false, {}, -1, {}},
        {"+m951782400,r,\tleap", "2000-02-29 (a leap day in a century year)", "leap", false, false, {}, -1,
         T(2000, 2, 29)},
        {"+m4102444799,r,\tfar", "2099-12-31 23:59:59", "far", false, false, {}, -1,
         T(2099, 12, 31, 23, 59, 59)},
        {"+sXYZ,m99999999999999999999999,r,\tdamaged", "a size or time that is no number or overflows is left out",
         "damaged", false, false, {}, -1, {}},
        {"+m9000000000000,r,\ttoolate", "a time past the year 9999 has no calendar form", "toolate", false, false,
         {}, -1, {}},
    };
    return table;
}

TEST(ListingEplf, Table) {
    RunLineByLine(EplfTable(), [](std::string_view l) { return ParseEplfLine(l, TestContext()); });
    RunAsListing(EplfTable());
}

TEST(ListingEplf, LinesOfOtherShapes) {
    const ListingContext ctx = TestContext();
    EXPECT_EQ(ParseEplfLine("+i8388621.29609,m824255902,/, dev", ctx).kind, LineResult::NoMatch);  // no TAB
    EXPECT_EQ(ParseEplfLine("-i1,r,\tminus", ctx).kind, LineResult::NoMatch);
    EXPECT_EQ(ParseEplfLine("", ctx).kind, LineResult::Ignore);
    EXPECT_EQ(ParseEplfLine("+/,\t..", ctx).kind, LineResult::Ignore);
    EXPECT_EQ(ParseEplfLine("+r,\ta/b", ctx).kind, LineResult::Ignore);
    EXPECT_EQ(ParseEplfLine("+r,\t", ctx).kind, LineResult::Ignore);
}

}  // namespace
}  // namespace zyfar::test
