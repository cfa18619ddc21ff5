// Unix `ls -l` style lines. "Now" is 2026-06-15 12:00 (TestContext).
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const std::vector<Expected>& UnixTable() {
    static const std::vector<Expected> table = {
        {"drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 pub",
         "vsftpd: numeric owner names shown as text, time instead of year", "pub", true, false, {}, 4096,
         T(2026, 1, 15, 10, 30)},
        {"-rw-r--r--   1 root     root            0 Jun 07 00:59   lead",
         "pyftpdlib: zero-padded day; a name with two leading blanks", "  lead", false, false, {}, 0,
         T(2026, 6, 7, 0, 59)},
        {"-rw-r--r--   1 root     root            0 Jan 01  2025 old.txt", "pyftpdlib: year instead of time",
         "old.txt", false, false, {}, 0, T(2025, 1, 1)},
        {"-rw-r--r--    1 ftp      ftp      5368709120 Mar  1  2024 big.iso",
         "size over 4 GiB, year instead of time (right-aligned)", "big.iso", false, false, {},
         5368709120LL, T(2024, 3, 1)},
        {"-rw-r--r--   1 owner     1234 Jun  1 09:00 nogroup.txt",
         "ls -lG / pyftpdlib-like servers without a group column", "nogroup.txt", false, false, {}, 1234,
         T(2026, 6, 1, 9, 0)},
        {"-rw-r--r--   1 1000     1000          120 May 31 23:59 numeric.txt",
         "numeric owner and group (no passwd entries in a chroot)", "numeric.txt", false, false, {}, 120,
         T(2026, 5, 31, 23, 59)},
        {"lrwxrwxrwx    1 0        0              11 Feb  2  2025 latest -> releases/v2",
         "symbolic link: name and target split at \" -> \"", "latest", false, true, "releases/v2", 11,
         T(2025, 2, 2)},
        {"lrwxrwxrwx    1 user     group           9 Jun  3 08:00 my link -> my target",
         "link whose name and target hold blanks", "my link", false, true, "my target", 9,
         T(2026, 6, 3, 8, 0)},
        {"lrwxrwxrwx    1 user     group           0 Jun  3 08:00 dangling",
         "link without an arrow (server did not resolve it)", "dangling", false, true, {}, 0,
         T(2026, 6, 3, 8, 0)},
        {"crw-rw-rw-    1 root     root       1,   3 Jan  1  2020 null",
         "character device: \"major, minor\" is no size", "null", false, false, {}, -1, T(2020, 1, 1)},
        {"brw-rw----    1 root     disk       8,0 Feb  3  2021 sda",
         "block device with \"major,minor\" in one field", "sda", false, false, {}, -1, T(2021, 2, 3)},
        {"-rw-r--r--    1 user     group          10 Jun 10 08:00 my file name.txt",
         "inner blanks belong to the name", "my file name.txt", false, false, {}, 10, T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--    1 user     group          10 Jun 10 08:00   two leading",
         "leading blanks: the name starts after the single blank after the time", "  two leading", false,
         false, {}, 10, T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--    1 user     group          10 Jun 10 08:00 trailing  ",
         "trailing blanks are kept", "trailing  ", false, false, {}, 10, T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--+   1 user     group          10 Jun 10 08:00 acl.txt",
         "GNU ls: \"+\" marks an access control list; the permission text is kept without it", "acl.txt",
         false, false, {}, 10, T(2026, 6, 10, 8, 0), "-rw-r--r--"},
        {"-rw-r--r--.   1 user     group          10 Jun 10 08:00 selinux.txt",
         "GNU ls: \".\" marks an SELinux context", "selinux.txt", false, false, {}, 10,
         T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--@   1 user     staff          10 Jun 10 08:00 xattr.txt",
         "macOS ls: \"@\" marks extended attributes", "xattr.txt", false, false, {}, 10,
         T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--    1 user     group          10 Dec 24 18:00 lastyear.txt",
         "no year: Dec 24 is more than half a year ahead of June 15, so last year", "lastyear.txt", false,
         false, {}, 10, T(2025, 12, 24, 18, 0)},
        {"-rw-r--r--    1 user     group          10 Jul  1 10:00 soon.txt",
         "no year: two weeks ahead (server clock or future stamp) stays this year", "soon.txt", false,
         false, {}, 10, T(2026, 7, 1, 10, 0)},
        {"-rw-r--r--    1 user     group          10 JAN 15 10:30 upper.txt",
         "month names in any case", "upper.txt", false, false, {}, 10, T(2026, 1, 15, 10, 30)},
        {"-rw-r--r--    1 user     group          10 feb 15 10:30 lower.txt", "month names in any case",
         "lower.txt", false, false, {}, 10, T(2026, 2, 15, 10, 30)},
        {"-r--r--r-- 1 owner group          1803128 Jul 10 10:18 ls-lR.Z",
         "IIS in Unix style: fixed \"owner group\" columns", "ls-lR.Z", false, false, {}, 1803128,
         T(2026, 7, 10, 10, 18)},
        {"drwxrwxrwx   1 owner    group               0 Jan 15  2026 folder",
         "IIS in Unix style: folder with year", "folder", true, false, {}, 0, T(2026, 1, 15)},
        {"-rw-r--r--   ftp      ftp          2048 Apr  4 12:00 nolinks.bin",
         "embedded servers (NAS, routers) without a link count", "nolinks.bin", false, false, {}, 2048,
         T(2026, 4, 4, 12, 0)},
        {"-rw-r--r--   1234 Apr  4 12:00 bare.bin", "only permissions, size and date", "bare.bin", false,
         false, {}, 1234, T(2026, 4, 4, 12, 0)},
        {"-rw-r--r--    1 user     group          10 2026-01-15 10:30 iso.txt",
         "ls --time-style=long-iso", "iso.txt", false, false, {}, 10, T(2026, 1, 15, 10, 30)},
        {"-rw-r--r--    1 user     group          10 2026-01-15 10:30:45.123456789 +0100 full.txt",
         "ls --full-time: seconds, fraction and zone offset", "full.txt", false, false, {}, 10,
         T(2026, 1, 15, 10, 30, 45)},
        {"-rw-r--r--    1 user  staff  10 Jan 15 10:30:45 2026 bsd.txt",
         "BSD ls -T: full time and year", "bsd.txt", false, false, {}, 10, T(2026, 1, 15, 10, 30, 45)},
        {"-rw-r--r--    1 user     group          10 15 Jan 10:30 dayfirst.txt",
         "day before month (servers with a European date order)", "dayfirst.txt", false, false, {}, 10,
         T(2026, 1, 15, 10, 30)},
        {"d [RWCEAFMS] admin                 512 Jan 15 10:30 netware",
         "NetWare: type letter and rights in brackets", "netware", true, false, {}, 512,
         T(2026, 1, 15, 10, 30)},
        {"-rw-r--r--    1 john     domain users  1234 Jan 15 10:30 samba.txt",
         "Samba / Windows group with a blank in it", "samba.txt", false, false, {}, 1234,
         T(2026, 1, 15, 10, 30)},
        {"-rw-r--r--    1 user     group          10 Jan 15 10:30 Mar 3 2020",
         "a name that looks like a date: the first date wins", "Mar 3 2020", false, false, {}, 10,
         T(2026, 1, 15, 10, 30)},
        {"-rw-r--r--    1 may      users          10 Jan 15 10:30 owner-may.txt",
         "owner named like a month", "owner-may.txt", false, false, {}, 10, T(2026, 1, 15, 10, 30)},
        {"drwxrwxrwt   10 root     root         4096 Jun  1 12:00 tmp", "sticky bit", "tmp", true, false,
         {}, 4096, T(2026, 6, 1, 12, 0)},
        {"-rwsr-xr-x    1 root     root        63960 Feb  7  2024 su", "setuid bit", "su", false, false, {},
         63960, T(2024, 2, 7)},
        {"prw-r--r--    1 user     group           0 Jun  1 12:00 fifo", "named pipe", "fifo", false,
         false, {}, 0, T(2026, 6, 1, 12, 0)},
        {"srwxrwxrwx    1 user     group           0 Jun  1 12:00 sock", "socket", "sock", false, false, {},
         0, T(2026, 6, 1, 12, 0)},
        {"-rw-r--r--    1 user     group 9223372036854775807 Jun  1 12:00 huge",
         "largest 64-bit size", "huge", false, false, {}, 9223372036854775807LL, T(2026, 6, 1, 12, 0)},
        {"-rw-r--r--\t1 user\tgroup\t10 Jun 10 08:00\ttabbed",
         "tab-separated columns (some embedded servers)", "tabbed", false, false, {}, 10,
         T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--    1 user     group          10 Jun 10 08:00 semi;colon=and;more",
         "\";\" and \"=\" are ordinary name characters", "semi;colon=and;more", false, false, {}, 10,
         T(2026, 6, 10, 8, 0)},
        {"-rw-r--r--    1 0        0               0 Dec 07 00:59   lead",
         "vsftpd 3.0.3: numeric owners, leading blanks; Dec 7 is under half a year ahead", "  lead", false,
         false, {}, 0, T(2026, 12, 7, 0, 59)},
        {"lrwxrwxrwx    1 0        0               7 Dec 07 00:59 lnk -> a b.txt",
         "vsftpd 3.0.3: link to a name with a blank", "lnk", false, true, "a b.txt", 7, T(2026, 12, 7, 0, 59)},
    };
    return table;
}

TEST(ListingUnix, Table) {
    RunLineByLine(UnixTable(), [](std::string_view l) { return ParseUnixLine(l, TestContext()); });
    RunAsListing(UnixTable(), "total 123\r\n");
}

TEST(ListingUnix, HeaderAndEmptyLinesAreIgnored) {
    const ListingContext ctx = TestContext();
    for (std::string_view line : {"total 123", "total 0", "Total 8", "total 1.5M", "", "   ", "\t"}) {
        EXPECT_EQ(ParseUnixLine(line, ctx).kind, LineResult::Ignore) << "[" << line << "]";
    }
}

TEST(ListingUnix, LinesOfOtherShapesDoNotMatch) {
    const ListingContext ctx = TestContext();
    for (std::string_view line : {
             "hello world this is no listing",
             "drwxr-xr-x    2 ftp      ftp          4096 pub",            // no date
             "drwxr-xr-x    2 ftp      ftp          big Jan 15 10:30 pub",  // no size before the date
             "xrwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 pub",  // unknown type letter
             "-rw-r--r--    1 user     group   99999999999999999999 Jan 15 10:30 overflow",
             "-rw-r--r--    1 user     group          10 Jan 32 10:30 badday",
             "-rw-r--r--    1 user     group          10 Feb 30  2024 feb30",
             "-rw-r--r--    1 user     group          10 Jan 15 24:00 badhour",
             "-rw-r--r--    1 user     group          10 Jan 15 10:60 badminute",
             "-rw-r--r--    1 user     group          -1 Jan 15 10:30 negative",
             "01-15-26  10:30AM       <DIR>          folder",
             "total",
         }) {
        EXPECT_EQ(ParseUnixLine(line, ctx).kind, LineResult::NoMatch) << line;
    }
}

TEST(ListingUnix, UnsafeNamesNeverLeave) {
    const ListingContext ctx = TestContext();
    const std::string prefix = "drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 ";
    for (const std::string& name : {std::string("."), std::string(".."), std::string("a/b"),
                                    std::string("../../etc/passwd"), std::string("/abs"),
                                    std::string("nul\0here", 8), std::string("cr\rhere"),
                                    std::string("lf\nhere"), std::string("")}) {
        const LineResult r = ParseUnixLine(prefix + name, ctx);
        EXPECT_EQ(r.kind, LineResult::Ignore) << "[" << name << "]";
        EXPECT_TRUE(r.entry.name.empty());
    }
    // A date at the very end of the line, without a name.
    EXPECT_EQ(ParseUnixLine("drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30", ctx).kind,
              LineResult::Ignore);
    // A link target may hold "/", but not NUL, CR or LF.
    EXPECT_EQ(ParseUnixLine("lrwxrwxrwx 1 u g 3 Jan 15 10:30 ok -> /abs/target", ctx).kind, LineResult::Entry);
    const std::string nulTarget = std::string("lrwxrwxrwx 1 u g 3 Jan 15 10:30 bad -> x") + '\0' + "y";
    EXPECT_EQ(ParseUnixLine(nulTarget, ctx).kind, LineResult::Ignore);
}

// Year inference around the turn of the year, for a date without a year.
TEST(ListingUnix, YearInferredFromNow) {
    struct Case {
        RemoteTime now;
        std::string_view date;
        int year;
    };
    const Case cases[] = {
        {T(2026, 1, 10, 9, 0), "Dec 31 23:00", 2025},  // just before now, across the new year
        {T(2026, 1, 10, 9, 0), "Jan 10 09:30", 2026},  // half an hour ahead: same day
        {T(2026, 1, 10, 9, 0), "Jul  9 12:00", 2026},  // just under half a year ahead
        {T(2026, 1, 10, 9, 0), "Aug  1 12:00", 2025},  // well over half a year ahead: last year
        {T(2025, 12, 31, 23, 0), "Jan  1 00:10", 2026},  // server clock a little ahead at new year
        {T(2026, 6, 15, 12, 0), "Feb 29 12:00", 2024},   // no leap year near: the last one
        {T(2028, 3, 1, 12, 0), "Feb 29 12:00", 2028},    // leap year
        {T(2026, 6, 15, 12, 0), "Jun 15 12:00", 2026},
    };
    for (const Case& c : cases) {
        ListingContext ctx;
        ctx.now = c.now;
        const std::string line = "-rw-r--r-- 1 u g 1 " + std::string(c.date) + " f";
        const LineResult r = ParseUnixLine(line, ctx);
        ASSERT_EQ(r.kind, LineResult::Entry) << line;
        EXPECT_EQ(r.entry.modified.year, c.year) << line << " now " << c.now.year << "-" << c.now.month;
    }
}

TEST(ListingUnix, WithoutNowTheSystemClockDecidesTheYear) {
    const LineResult r = ParseUnixLine("-rw-r--r-- 1 u g 1 Jan 15 10:30 f", ListingContext{});
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_TRUE(r.entry.modified.valid);
    EXPECT_GE(r.entry.modified.year, 2024);
}

}  // namespace
}  // namespace zyfar::test
