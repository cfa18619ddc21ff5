// Unix `ls -l` style lines as real servers send them. "Now" is 2026-06-15 12:00.
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const Table kUnix = {
    // vsftpd, pyftpdlib, ProFTPD, IIS in Unix style, embedded servers
    {"drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 pub", "pub", 'd', 4096, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--   1 root     root            0 Jun 07 00:59   lead", "  lead", 'f', 0, T(2026, 6, 7, 0, 59)},
    {"-rw-r--r--    1 ftp      ftp      5368709120 Mar  1  2024 big.iso", "big.iso", 'f', 5368709120LL, T(2024, 3, 1)},
    {"-rw-r--r--   1 owner     1234 Jun  1 09:00 nogroup.txt", "nogroup.txt", 'f', 1234, T(2026, 6, 1, 9, 0)},
    {"lrwxrwxrwx    1 0        0              11 Feb  2  2025 latest -> releases/v2", "latest", 'l', 11, T(2025, 2, 2), "releases/v2"},
    {"lrwxrwxrwx    1 user     group           9 Jun  3 08:00 my link -> my target", "my link", 'l', 9, T(2026, 6, 3, 8, 0), "my target"},
    {"lrwxrwxrwx    1 user     group           0 Jun  3 08:00 dangling", "dangling", 'l', 0, T(2026, 6, 3, 8, 0)},
    {"crw-rw-rw-    1 root     root       1,   3 Jan  1  2020 null", "null", 'f', -1, T(2020, 1, 1)},
    {"brw-rw----    1 root     disk       8,0 Feb  3  2021 sda", "sda", 'f', -1, T(2021, 2, 3)},
    {"-rw-r--r--    1 user     group          10 Jun 10 08:00 trailing  ", "trailing  ", 'f', 10, T(2026, 6, 10, 8, 0)},
    {"-rw-r--r--+   1 user     group          10 Jun 10 08:00 acl.txt", "acl.txt", 'f', 10, T(2026, 6, 10, 8, 0)},
    {"-rw-r--r--.   1 user     group          10 Jun 10 08:00 selinux.txt", "selinux.txt", 'f', 10, T(2026, 6, 10, 8, 0)},
    {"-rw-r--r--@   1 user     staff          10 Jun 10 08:00 xattr.txt", "xattr.txt", 'f', 10, T(2026, 6, 10, 8, 0)},
    {"-rw-r--r--    1 user     group          10 Dec 24 18:00 lastyear.txt", "lastyear.txt", 'f', 10, T(2025, 12, 24, 18, 0)},
    {"-rw-r--r--    1 user     group          10 Dec 07 00:59 ahead.txt", "ahead.txt", 'f', 10, T(2026, 12, 7, 0, 59)},
    {"-rw-r--r--    1 user     group          10 JAN 15 10:30 upper.txt", "upper.txt", 'f', 10, T(2026, 1, 15, 10, 30)},
    {"-r--r--r-- 1 owner group          1803128 Jul 10 10:18 ls-lR.Z", "ls-lR.Z", 'f', 1803128, T(2026, 7, 10, 10, 18)},
    {"-rw-r--r--   ftp      ftp          2048 Apr  4 12:00 nolinks.bin", "nolinks.bin", 'f', 2048, T(2026, 4, 4, 12, 0)},
    {"-rw-r--r--   1234 Apr  4 12:00 bare.bin", "bare.bin", 'f', 1234, T(2026, 4, 4, 12, 0)},
    {"-rw-r--r--    1 user     group          10 2026-01-15 10:30 iso.txt", "iso.txt", 'f', 10, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--    1 user     group          10 2026-01-15 10:30:45.123456789 +0100 full.txt", "full.txt", 'f', 10, T(2026, 1, 15, 10, 30, 45)},
    {"-rw-r--r--    1 user  staff  10 Jan 15 10:30:45 2026 bsd.txt", "bsd.txt", 'f', 10, T(2026, 1, 15, 10, 30, 45)},
    {"-rw-r--r--    1 user     group          10 15 Jan 10:30 dayfirst.txt", "dayfirst.txt", 'f', 10, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--    1 john     domain users  1234 Jan 15 10:30 samba.txt", "samba.txt", 'f', 1234, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--    1 user     group          10 Jan 15 10:30 Mar 3 2020", "Mar 3 2020", 'f', 10, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--    1 may      users          10 Jan 15 10:30 owner-may.txt", "owner-may.txt", 'f', 10, T(2026, 1, 15, 10, 30)},
    {"drwxrwxrwt   10 root     root         4096 Jun  1 12:00 tmp", "tmp", 'd', 4096, T(2026, 6, 1, 12, 0)},
    {"prw-r--r--    1 user     group           0 Jun  1 12:00 fifo", "fifo", 'f', 0, T(2026, 6, 1, 12, 0)},
    {"-rw-r--r--    1 user     group 9223372036854775807 Jun  1 12:00 huge", "huge", 'f', 9223372036854775807LL, T(2026, 6, 1, 12, 0)},
    {"-rw-r--r--\t1 user\tgroup\t10 Jun 10 08:00\ttabbed", "tabbed", 'f', 10, T(2026, 6, 10, 8, 0)},
    {"-rw-r--r--    1 user     group          10 Jun 10 08:00 semi;colon=and;more", "semi;colon=and;more", 'f', 10, T(2026, 6, 10, 8, 0)},
    // NetWare: rights in brackets; the name starts in its own column.
    {"d [RWCEAFMS] admin                 512 Jan 15 10:30    netware", "netware", 'd', 512, T(2026, 1, 15, 10, 30)},
    {"- [R----F--] supervisor          17306 Jan 15  2020   login.exe", "login.exe", 'f', 17306, T(2020, 1, 15)},
    // Columns run together when a field overflows.
    {"-rw-r--r--   1 ftp      ftpadmin125435904 Mar 19  2004 overflow.zip", "overflow.zip", 'f', 125435904, T(2004, 3, 19)},
    {"drwxr-xr-x1732 ftp      ftp          4096 Jan 15 10:30 manylinks", "manylinks", 'd', 4096, T(2026, 1, 15, 10, 30)},
    // Odd or cut permission strings.
    {"xrwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 oddtype", "oddtype", 'f', 4096, T(2026, 1, 15, 10, 30)},
    {"nrwxr-xr-x    1 root     sys            12 Jan 15 10:30 hpux-net", "hpux-net", 'f', 12, T(2026, 1, 15, 10, 30)},
    {"drwxr-x   3 ftp ftp 512 Jan 15 10:30 cut", "cut", 'd', 512, T(2026, 1, 15, 10, 30)},
    // Numeric and dashed dates.
    {"-rw-r--r--   1 user group   3027 09-26 2000 dash-year.txt", "dash-year.txt", 'f', 3027, T(2000, 9, 26)},
    {"-rw-r--r--   1 user group   3027 09-26 13:45 dash-time.txt", "dash-time.txt", 'f', 3027, T(2026, 9, 26, 13, 45)},
    {"-rw-r--r--   1 user group   3027 3 29 03:26 numeric.txt", "numeric.txt", 'f', 3027, T(2026, 3, 29, 3, 26)},
    {"-rw-r--r--   1 user group   3027 01-jun-99 vms-like.txt", "vms-like.txt", 'f', 3027, T(1999, 6, 1)},
    {"-rw-r--r--   1 user group   3027 Oct 08, 2002 09:47 comma.txt", "comma.txt", 'f', 3027, T(2002, 10, 8, 9, 47)},
    {"-rw-r--r--   1 user group   3027 1999/10/12 slashes.txt", "slashes.txt", 'f', 3027, T(1999, 10, 12)},
    {"-rw-r--r--   1 user group   3027 2004.07.15 10:00 dots.txt", "dots.txt", 'f', 3027, T(2004, 7, 15, 10, 0)},
    {"-rw-r--r--   1 user group   3027 24-04-2003 dayfirst-dash.txt", "dayfirst-dash.txt", 'f', 3027, T(2003, 4, 24)},
    {"-rw-r--r--   1 user group   3027 2003. márc. 12. 10:00 hungarian.txt", "hungarian.txt", 'f', 3027, T(2003, 3, 12, 10, 0)},
    // Times at the edges: the end of the day, a minute cut to one digit.
    {"-rw-r--r--   1 user group      1 Jan 15 24:00 midnight", "midnight", 'f', 1, T(2026, 1, 16, 0, 0)},
    {"-rw-r--r--   1 user group      1 Dec 31 24:00 newyear", "newyear", 'f', 1, T(2026, 1, 1, 0, 0)},
    {"-rw-r--r--   1 user group      1 Jan 15 00:0 cut-minute", "cut-minute", 'f', 1, T(2026, 1, 15, 0, 0)},
    // Sizes with a unit, negative sizes (a 32-bit overflow: unknown), no date at all.
    {"-rw-r--r--   1 user group  33.5k Jan 15 10:30 human.txt", "human.txt", 'f', 34304, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--   1 user group     2M Jan 15 10:30 mega.bin", "mega.bin", 'f', 2097152, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--   1 user group -1294967296 Jan 15 10:30 negative.iso", "negative.iso", 'f', -1, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--   1 user group   1234 nodate.txt", "nodate.txt", 'f', 1234},
    {"drwxr-xr-x   2 user        512 nodate-dir", "nodate-dir", 'd', 512},
    // A year where the time would be, padded after it: the name starts after both blanks.
    {"-rw-r--r--   1 user group   1024 Jan 29 1997  prog", "prog", 'f', 1024, T(1997, 1, 29)},
    {"-rw-r--r--   1 user group   1024 Jan 29  1997  blank", " blank", 'f', 1024, T(1997, 1, 29)},
    // Month names of other languages, abbreviated and long, with and without a dot.
    {"-rw-r--r--   1 user group      1 Mär 15 10:30 de", "de", 'f', 1, T(2026, 3, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 15. Dez 2024 de-dayfirst", "de-dayfirst", 'f', 1, T(2024, 12, 15)},
    {"-rw-r--r--   1 user group      1 Oktober 3 2020 de-long", "de-long", 'f', 1, T(2020, 10, 3)},
    {"-rw-r--r--   1 user group      1 févr. 15 10:30 fr", "fr", 'f', 1, T(2026, 2, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 juil. 4 2019 fr-juil", "fr-juil", 'f', 1, T(2019, 7, 4)},
    {"-rw-r--r--   1 user group      1 août 4 2019 fr-aout", "fr-aout", 'f', 1, T(2019, 8, 4)},
    {"-rw-r--r--   1 user group      1 ene 15 10:30 es", "es", 'f', 1, T(2026, 1, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 dic 1 2018 es-dic", "es-dic", 'f', 1, T(2018, 12, 1)},
    {"-rw-r--r--   1 user group      1 szept 1 2018 hu", "hu", 'f', 1, T(2018, 9, 1)},
    {"-rw-r--r--   1 user group      1 mrt 15 10:30 nl", "nl", 'f', 1, T(2026, 3, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 mei 15 10:30 nl-mei", "nl-mei", 'f', 1, T(2026, 5, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 maj 15 10:30 sv", "sv", 'f', 1, T(2026, 5, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 okt 15 2021 sv-okt", "sv-okt", 'f', 1, T(2021, 10, 15)},
    {"-rw-r--r--   1 user group      1 set 15 2021 it-pt", "it-pt", 'f', 1, T(2021, 9, 15)},
    {"-rw-r--r--   1 user group      1 paź 15 2021 pl", "pl", 'f', 1, T(2021, 10, 15)},
    {"-rw-r--r--   1 user group      1 1月 15 10:30 ja", "ja", 'f', 1, T(2026, 1, 15, 10, 30)},
    // Windows SSH/FTP servers (VShell) and WFTPD in Unix style.
    {"-rwxr-xr-x   1 Administrators Domain Users 9 Oct 08, 2002 09:47 vshell.txt", "vshell.txt", 'f', 9, T(2002, 10, 8, 9, 47)},
    {"-rwxrwxrwx   1 noone    nogroup      322 Aug 19  1996 message.ftp", "message.ftp", 'f', 322, T(1996, 8, 19)},
};

TEST(ListingUnix, Table) { RunTable(kUnix, ParseUnixLine, ListingFormat::Unix, "total 123\r\n"); }

// Year inference around the turn of the year, for a date without a year.
TEST(ListingUnix, YearInferredFromNow) {
    const struct {
        RemoteTime now;
        std::string_view date;
        int year;
    } cases[] = {
        {T(2026, 1, 10, 9, 0), "Dec 31 23:00", 2025},    // just before now, across the new year
        {T(2026, 1, 10, 9, 0), "Jul  9 12:00", 2026},    // just under half a year ahead
        {T(2026, 1, 10, 9, 0), "Aug  1 12:00", 2025},    // well over half a year ahead: last year
        {T(2025, 12, 31, 23, 0), "Jan  1 00:10", 2026},  // server clock a little ahead at new year
        {T(2026, 6, 15, 12, 0), "Feb 29 12:00", 2024},   // no leap year near: the last one
        {T(2028, 3, 1, 12, 0), "Feb 29 12:00", 2028},    // leap year
    };
    for (const auto& c : cases) {
        ListingContext ctx;
        ctx.now = c.now;
        const std::string line = "-rw-r--r-- 1 u g 1 " + std::string(c.date) + " f";
        const LineResult r = ParseUnixLine(line, ctx);
        ASSERT_EQ(r.kind, LineResult::Entry) << line;
        EXPECT_EQ(r.entry.modified.year, c.year) << line << " now " << c.now.year << "-" << c.now.month;
    }
    const LineResult r = ParseUnixLine("-rw-r--r-- 1 u g 1 Jan 15 10:30 f", ListingContext{});
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_GE(r.entry.modified.year, 2025) << "without a now the system clock decides";
}

// What the size and permission columns say beyond the table's fields.
TEST(ListingUnix, PermissionTextAndRoughSizes) {
    const ListingContext ctx = TestContext();
    const struct {
        std::string_view line, perms;
        bool approximate;
    } cases[] = {
        {"-rw-r--r--+ 1 u g 10 Jun 10 08:00 a", "-rw-r--r--", false},
        {"drwxr-xr-x1732 u g 10 Jun 10 08:00 a", "drwxr-xr-x", false},
        {"-rw-r--r-- 1 u g 33.5k Jun 10 08:00 a", "-rw-r--r--", true},
        {"d [RWCEAFMS] u 512 Jun 10 08:00 a", "[RWCEAFMS]", false},
    };
    for (const auto& c : cases) {
        const LineResult r = ParseUnixLine(c.line, ctx);
        ASSERT_EQ(r.kind, LineResult::Entry) << c.line;
        EXPECT_EQ(r.entry.permissions, c.perms) << c.line;
        EXPECT_EQ(r.entry.sizeApproximate, c.approximate) << c.line;
    }
}

}  // namespace
}  // namespace zyfar::test
