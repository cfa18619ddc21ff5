// VMS lines: versions stripped, ".DIR" marks a directory, sizes in 512-byte blocks.
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const std::vector<Expected>& VmsTable() {
    static const std::vector<Expected> table = {
        {"FILE.TXT;1   5/9   1-JAN-2026 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)",
         "file: 5 blocks used of 9", "FILE.TXT", false, false, {}, 5 * 512, T(2026, 1, 1, 12, 0)},
        {"SUBDIR.DIR;1   1/3   15-MAR-2025 08:05:10 [GROUP,OWNER] (RWE,RWE,RE,E)",
         "directory: \".DIR;1\" is dropped", "SUBDIR", true, false, {}, -1, T(2025, 3, 15, 8, 5, 10)},
        {"LOGIN.COM;12   2   1-FEB-2026 09:30 [USER] (RWED,RWED,RE,)",
         "higher version, used blocks only, time without seconds", "LOGIN.COM", false, false, {}, 1024,
         T(2026, 2, 1, 9, 30)},
        {"BACKUP.SAV;3  10485761/10485762  20-DEC-2024 23:59:59.99 [SYSTEM] (RWED,RWED,,)",
         "over 4 GiB; hundredths of a second", "BACKUP.SAV", false, false, {}, 10485761LL * 512,
         T(2024, 12, 20, 23, 59, 59)},
        {"Notes.Txt;2   1/2   3-jun-2026 07:00:00 [GROUP, OWNER] (RWED,RWED,RE,)",
         "lower-case month, blank inside the owner", "Notes.Txt", false, false, {}, 512,
         T(2026, 6, 3, 7, 0)},
        {"EMPTY.DAT;1   0/0   3-JUN-2026 07:00:00", "no owner and protection columns", "EMPTY.DAT", false,
         false, {}, 0, T(2026, 6, 3, 7, 0)},
    };
    return table;
}

TEST(ListingVms, TableLineByLine) {
    RunLineByLine(VmsTable(), [](std::string_view l) { return ParseVmsLine(l, TestContext()); });
}

TEST(ListingVms, TableAsListingWithHeaders) {
    // The directory header and the totals line around the entries.
    RunAsListing(VmsTable(), "\r\nDirectory DISK$USER:[USER]\r\n\r\n");
    std::string body = "Directory DISK$USER:[USER]\r\n\r\n" + JoinLines(VmsTable(), "\r\n") +
                       "\r\nTotal of 6 files, 10485770/10485780 blocks.\r\n";
    ExpectAll(ParseList(body, TestContext()), VmsTable());
}

TEST(ListingVms, KeepsTheProtectionMask) {
    const LineResult r = ParseVmsLine(VmsTable()[0].line, TestContext());
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.permissions, "(RWED,RWED,RE,)");
}

// A long name stands alone on its line; its details follow on the next.
TEST(ListingVms, NameAloneOnItsLineJoinsTheNext) {
    const std::string body =
        "Directory DISK$USER:[USER]\r\n"
        "\r\n"
        "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT;1\r\n"
        "                    7/9   2-JAN-2026 10:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "SHORT.TXT;1   1/3   3-JAN-2026 11:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "ANOTHER_LONG_DIRECTORY_NAME.DIR;1\r\n"
        "                    1/3   4-JAN-2026 12:00:00 [GROUP,OWNER] (RWE,RWE,RE,E)\r\n"
        "\r\n"
        "Total of 3 files, 9/15 blocks.\r\n";
    for (const auto& got : {ParseList(body, TestContext()), StreamByteByByte(body, false)}) {
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].name, "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT");
        EXPECT_EQ(got[0].size, 7 * 512);
        EXPECT_EQ(got[0].modified, T(2026, 1, 2, 10, 0));
        EXPECT_EQ(got[1].name, "SHORT.TXT");
        EXPECT_EQ(got[2].name, "ANOTHER_LONG_DIRECTORY_NAME");
        EXPECT_TRUE(got[2].isDirectory);
        EXPECT_EQ(got[2].modified, T(2026, 1, 4, 12, 0));
    }
}

TEST(ListingVms, NameWithoutDetailsStillListed) {
    // The details never came (end of listing, or a line of another shape).
    const std::string body =
        "FIRST.TXT;1   1/3   3-JAN-2026 11:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "ORPHAN.TXT;4\r\n"
        "SECOND.TXT;1   1/3   3-JAN-2026 11:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "LAST.TXT;2\r\n";
    for (const auto& got : {ParseList(body, TestContext()), StreamByteByByte(body, false)}) {
        ASSERT_EQ(got.size(), 4u);
        EXPECT_EQ(got[0].name, "FIRST.TXT");
        EXPECT_EQ(got[1].name, "ORPHAN.TXT");
        EXPECT_EQ(got[1].size, -1);
        EXPECT_FALSE(got[1].modified.valid);
        EXPECT_EQ(got[2].name, "SECOND.TXT");
        EXPECT_EQ(got[3].name, "LAST.TXT");
    }
}

TEST(ListingVms, HeadersIgnoredAndOtherShapesDoNotMatch) {
    const ListingContext ctx = TestContext();
    for (std::string_view line : {"Directory DISK$USER:[USER]", "Total of 3 files, 15/18 blocks.",
                                  "Grand total of 2 directories, 7 files, 30/45 blocks.", ""}) {
        EXPECT_EQ(ParseVmsLine(line, ctx).kind, LineResult::Ignore) << line;
    }
    for (std::string_view line : {
             "FILE.TXT   5/9   1-JAN-2026 12:00:00",     // no version
             "FILE.TXT;A   5/9   1-JAN-2026 12:00:00",   // version not a number
             "FILE.TXT;1   x/9   1-JAN-2026 12:00:00",   // blocks not a number
             "FILE.TXT;1   5/9   31-FEB-2026 12:00:00",  // no such day
             "FILE.TXT;1   5/9   1-JAN-2026 25:00:00",   // no such hour
             "FILE.TXT;1   5/9   1-XYZ-2026 12:00:00",   // no such month
             "FILE.TXT;1   5/9",                         // details cut short
             "-rw-r--r-- 1 u g 1 Jan 15 10:30 f;1",
         }) {
        EXPECT_EQ(ParseVmsLine(line, ctx).kind, LineResult::NoMatch) << line;
    }
    EXPECT_EQ(ParseVmsLine(".DIR;1   1/3   4-JAN-2026 12:00:00", ctx).kind, LineResult::Ignore);
}

}  // namespace
}  // namespace zyfar::test
