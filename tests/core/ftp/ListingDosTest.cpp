// DOS / IIS style lines.
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const std::vector<Expected>& DosTable() {
    static const std::vector<Expected> table = {
        {"01-15-26  10:30AM       <DIR>          folder name", "IIS: directory, two-digit year, 12-hour time",
         "folder name", true, false, {}, -1, T(2026, 1, 15, 10, 30)},
        {"01-15-2026  10:30PM            123456 file.txt", "IIS with four-digit years: PM time", "file.txt",
         false, false, {}, 123456, T(2026, 1, 15, 22, 30)},
        {"01-15-2026  22:30            123456 file24.txt", "IIS with a 24-hour clock", "file24.txt", false,
         false, {}, 123456, T(2026, 1, 15, 22, 30)},
        {"12-31-99  12:00AM                 0 y2k.txt", "12:00AM is midnight; 99 is 1999", "y2k.txt", false,
         false, {}, 0, T(1999, 12, 31, 0, 0)},
        {"01-01-69  12:15PM                 5 sixtynine", "12:15PM is just after noon; 69 is 2069",
         "sixtynine", false, false, {}, 5, T(2069, 1, 1, 12, 15)},
        {"01-01-70  01:00AM                 5 seventy", "70 is 1970", "seventy", false, false, {}, 5,
         T(1970, 1, 1, 1, 0)},
        {"01/15/2026  10:30 AM    <DIR>          winDir", "Windows `dir` style: slashes, mark as own field",
         "winDir", true, false, {}, -1, T(2026, 1, 15, 10, 30)},
        {"01/15/2026  10:30 PM         1,234,567 grouped.bin", "Windows `dir` style: thousands separators",
         "grouped.bin", false, false, {}, 1234567, T(2026, 1, 15, 22, 30)},
        {"2026-01-15  10:30    <DIR>          isodir", "IIS with an ISO regional date setting", "isodir",
         true, false, {}, -1, T(2026, 1, 15, 10, 30)},
        {"04-27-00  09:09PM       5368709120 big.iso", "size over 4 GiB", "big.iso", false, false, {},
         5368709120LL, T(2000, 4, 27, 21, 9)},
        {"15.01.2026  10:30               123 german.txt", "dots and the day first (day above 12)",
         "german.txt", false, false, {}, 123, T(2026, 1, 15, 10, 30)},
        {"01-15-2026  10:30PM            123456  lead", "a leading blank after the single separator",
         " lead", false, false, {}, 123456, T(2026, 1, 15, 22, 30)},
        {"01-15-2026  10:30PM            123456 semi;colon [1].txt", "ordinary punctuation in a name",
         "semi;colon [1].txt", false, false, {}, 123456, T(2026, 1, 15, 22, 30)},
        {"02-29-24  08:00AM               100 leap.txt", "leap day", "leap.txt", false, false, {}, 100,
         T(2024, 2, 29, 8, 0)},
    };
    return table;
}

TEST(ListingDos, Table) {
    RunLineByLine(DosTable(), [](std::string_view l) { return ParseDosLine(l, TestContext()); });
    RunAsListing(DosTable());
}

TEST(ListingDos, LinesOfOtherShapesDoNotMatch) {
    const ListingContext ctx = TestContext();
    for (std::string_view line : {
             "13-45-26  10:30AM       <DIR>          badmonth",
             "02-30-26  10:30AM       <DIR>          feb30",
             "01-15-26  25:00       <DIR>          badhour",
             "01-15-26  13:00PM       <DIR>          bad12hour",
             "01-15-26  00:30AM       <DIR>          zeroAM",
             "01-15-26  10:30AM       <FOLDER>       unknownmark",
             "01-15-26  10:30AM       12a4           badsize",
             "01-15-26  10:30AM       1,23,456       badgroups",
             "01-15-26  10:30AM",
             "1-15-260  10:30AM       <DIR>          threeDigitYear",
             "drwxr-xr-x 2 ftp ftp 4096 Jan 15 10:30 pub",
         }) {
        EXPECT_EQ(ParseDosLine(line, ctx).kind, LineResult::NoMatch) << line;
    }
}

TEST(ListingDos, UnsafeNamesNeverLeave) {
    const ListingContext ctx = TestContext();
    for (std::string_view line : {"01-15-26  10:30AM       <DIR>          .",
                                  "01-15-26  10:30AM       <DIR>          ..",
                                  "01-15-26  10:30AM       <DIR>          ",
                                  "01-15-26  10:30AM               12 a/b",
                                  "01-15-26  10:30AM               12 "}) {
        EXPECT_EQ(ParseDosLine(line, ctx).kind, LineResult::Ignore) << line;
    }
}

}  // namespace
}  // namespace zyfar::test
