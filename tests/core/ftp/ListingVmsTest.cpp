// VMS lines: versions stripped, ".DIR" marks a directory, sizes in 512-byte blocks.
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const std::vector<Expected>& VmsTable() {
    static const std::vector<Expected> table = {
        {"FILE.TXT;1   5/9   1-JAN-2026 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)",
         "file: 5 blocks used of 9; the protection mask is kept", "FILE.TXT", false, false, {}, 5 * 512,
         T(2026, 1, 1, 12, 0), "(RWED,RWED,RE,)"},
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

TEST(ListingVms, TableWithHeaders) {
    RunLineByLine(VmsTable(), [](std::string_view l) { return ParseVmsLine(l, TestContext()); });
    RunAsListing(VmsTable(), "\r\nDirectory DISK$USER:[USER]\r\n\r\n");
    std::string body = "Directory DISK$USER:[USER]\r\n\r\n" + JoinLines(VmsTable(), "\r\n") +
                       "\r\nTotal of 6 files, 10485770/10485780 blocks.\r\n";
    ExpectAll(ParseList(body, TestContext()), VmsTable());
}

// A long name stands alone on its line and its details follow on the next;
// a name whose details never come (another entry or the end follows) is
// still listed.
TEST(ListingVms, NameAloneOnItsLine) {
    const std::string body =
        "Directory DISK$USER:[USER]\r\n"
        "\r\n"
        "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT;1\r\n"
        "                    7/9   2-JAN-2026 10:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "ORPHAN.TXT;4\r\n"
        "SHORT.TXT;1   1/3   3-JAN-2026 11:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "ANOTHER_LONG_DIRECTORY_NAME.DIR;1\r\n"
        "                    1/3   4-JAN-2026 12:00:00 [GROUP,OWNER] (RWE,RWE,RE,E)\r\n"
        "LAST.TXT;2\r\n"
        "\r\n"
        "Total of 3 files, 9/15 blocks.\r\n";
    const std::vector<Expected> want = {
        {"", "wrapped", "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT", false, false, {}, 7 * 512, T(2026, 1, 2, 10, 0)},
        {"", "no details", "ORPHAN.TXT", false, false, {}, -1, {}},
        {"", "one line", "SHORT.TXT", false, false, {}, 512, T(2026, 1, 3, 11, 0)},
        {"", "wrapped folder", "ANOTHER_LONG_DIRECTORY_NAME", true, false, {}, -1, T(2026, 1, 4, 12, 0)},
        {"", "no details at the end", "LAST.TXT", false, false, {}, -1, {}},
    };
    ExpectAll(ParseList(body, TestContext()), want);
    ExpectAll(StreamByteByByte(body, false), want);
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
