// Real server lines of every format, one table per format family: Unix `ls -l` style ("now" is 2026-06-15
// 12:00), DOS/IIS, EPLF, VMS, MLSD and the rarer servers.
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
    // Month names of other languages, a sample of the parser's table: abbreviated and long, with and without a
    // dot, day first, in UTF-8.
    {"-rw-r--r--   1 user group      1 Mär 15 10:30 de", "de", 'f', 1, T(2026, 3, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 15. Dez 2024 de-dayfirst", "de-dayfirst", 'f', 1, T(2024, 12, 15)},
    {"-rw-r--r--   1 user group      1 Oktober 3 2020 de-long", "de-long", 'f', 1, T(2020, 10, 3)},
    {"-rw-r--r--   1 user group      1 févr. 15 10:30 fr", "fr", 'f', 1, T(2026, 2, 15, 10, 30)},
    {"-rw-r--r--   1 user group      1 août 4 2019 fr-aout", "fr-aout", 'f', 1, T(2019, 8, 4)},
    {"-rw-r--r--   1 user group      1 szept 1 2018 hu", "hu", 'f', 1, T(2018, 9, 1)},
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

// ---- the other formats ----

const Table kDos = {
    {"01-15-26  10:30AM       <DIR>          folder name", "folder name", 'd', -1, T(2026, 1, 15, 10, 30)},
    {"01-15-2026  10:30PM            123456 file.txt", "file.txt", 'f', 123456, T(2026, 1, 15, 22, 30)},
    {"01-15-2026  22:30            123456 file24.txt", "file24.txt", 'f', 123456, T(2026, 1, 15, 22, 30)},
    {"12-31-99  12:00AM                 0 y2k.txt", "y2k.txt", 'f', 0, T(1999, 12, 31, 0, 0)},
    {"01-01-69  12:15PM                 5 sixtynine", "sixtynine", 'f', 5, T(2069, 1, 1, 12, 15)},
    {"01/15/2026  10:30 PM         1,234,567 grouped.bin", "grouped.bin", 'f', 1234567, T(2026, 1, 15, 22, 30)},
    {"2026-01-15  10:30    <DIR>          isodir", "isodir", 'd', -1, T(2026, 1, 15, 10, 30)},
    {"15.01.2026  10:30               123 german.txt", "german.txt", 'f', 123, T(2026, 1, 15, 10, 30)},
    {"01-15-2026  10:30PM            123456  lead", " lead", 'f', 123456, T(2026, 1, 15, 22, 30)},
    {"02-29-24  08:00AM               100 leap.txt", "leap.txt", 'f', 100, T(2024, 2, 29, 8, 0)},
};

const Table kEplf = {
    {"+i8388621.29609,m824255902,/,\tdev", "dev", 'd', -1, T(1996, 2, 13, 23, 58, 22)},
    {"+i8388621.44468,m839956783,r,s10376,\tRFCEPLF", "RFCEPLF", 'f', 10376, T(1996, 8, 13, 17, 19, 43)},
    {"+m1767225600,s5368709120,r,up644,\tbig file", "big file", 'f', 5368709120LL, T(2026, 1, 1)},
    {"+r,s0,\tnotime", "notime", 'f', 0},
    {"+sXYZ,m99999999999999999999999,r,\tdamaged", "damaged", 'f', -1},
    {"+m9000000000000,r,\ttoolate", "toolate", 'f', -1},
};

const Table kVms = {
    {"FILE.TXT;1   5/9   1-JAN-2026 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)", "FILE.TXT", 'f', 5 * 512, T(2026, 1, 1, 12, 0)},
    {"SUBDIR.DIR;1   1/3   15-MAR-2025 08:05:10 [GROUP,OWNER] (RWE,RWE,RE,E)", "SUBDIR", 'd', -1, T(2025, 3, 15, 8, 5, 10)},
    {"LOGIN.COM;12   2   1-FEB-2026 09:30 [USER] (RWED,RWED,RE,)", "LOGIN.COM", 'f', 1024, T(2026, 2, 1, 9, 30)},
    {"BACKUP.SAV;3  10485761/10485762  20-DEC-2024 23:59:59.99 [SYSTEM] (RWED,RWED,,)", "BACKUP.SAV", 'f', 10485761LL * 512, T(2024, 12, 20, 23, 59, 59)},
    {"Notes.Txt;2   1/2   3-jun-2026 07:00:00 [GROUP, OWNER] (RWED,RWED,RE,)", "Notes.Txt", 'f', 512, T(2026, 6, 3, 7, 0)},
    {"KB.TXT;1   2KB   1-JAN-2026 12:00:00 [GROUP,OWNER]", "KB.TXT", 'f', 2048, T(2026, 1, 1, 12, 0)},
    {"HUGE.DAT;1  ******  1-JAN-2026 12:00:00", "HUGE.DAT", 'f', -1, T(2026, 1, 1, 12, 0)},
    {"NOTIME.TXT;1   5/9   1-JAN-2026 [GROUP,OWNER] (RWED,RWED,RE,)", "NOTIME.TXT", 'f', 2560, T(2026, 1, 1)},
    {"ORDER.TXT;1   1-JAN-2026 12:00:00   5/9", "ORDER.TXT", 'f', 2560, T(2026, 1, 1, 12, 0)},
    {"ODD.TXT;1   5/9   1-XYZ-2026 12:00:00", "ODD.TXT", 'f', 2560},
};

const Table kMlsd = {
    {"type=file;size=12;modify=20260101120000; name", "name", 'f', 12, T(2026, 1, 1, 12, 0)},
    {"Type=File;Size=5368709120;Modify=20260101120000.123; big file;v2.txt", "big file;v2.txt", 'f', 5368709120LL, T(2026, 1, 1, 12, 0)},
    {"TYPE=DIR;MODIFY=20251231235959;SIZD=4096; sub dir", "sub dir", 'd', 4096, T(2025, 12, 31, 23, 59, 59)},
    {"type=file;size=3;modify=20260101120000;\ttabbed name", "tabbed name", 'f', 3, T(2026, 1, 1, 12, 0)},
    {"type=OS.unix=symlink;size=9;modify=20260101120000; link", "link", 'l', 9, T(2026, 1, 1, 12, 0)},
    {"type=OS.unix=slink:/etc/target;size=9; slink", "slink", 'l', 9, {}, "/etc/target"},
    {"modify=20260101120000;perm=r;size=7;type=file;unique=801U1;UNIX.mode=0644; ordered.txt", "ordered.txt", 'f', 7, T(2026, 1, 1, 12, 0)},
    {"type=file;size=1;modify=20261301120000;   lead", "  lead", 'f', 1},
    {"type=file;size=1;modify=2026; shorttime", "shorttime", 'f', 1},
    {"type=file;size=1 nosemicolon", "nosemicolon", 'f', 1},
    {"type=file;size=5;UNIX.ownername=Domain Users; a; b", "a; b", 'f', 5},
    {" nofacts", "nofacts", 'f', -1},
    {" type=file;size=12; notes.txt", "notes.txt", 'f', 12},
    {"type=file;size=3;modify=20240229235960; leapsecond", "leapsecond", 'f', 3, T(2024, 2, 29, 23, 59, 59)},
};

// The rarer systems, each with its own parser.
const Table kOs2 = {
    {"  36611      A    04-23-103  10:57  OS2KRNL", "OS2KRNL", 'f', 36611, T(2003, 4, 23, 10, 57)},
    {"      0           DIR   05-12-97   16:44  PSFONTS", "PSFONTS", 'd', -1, T(1997, 5, 12, 16, 44)},
    {"   1123      A  R  07-14-99   12:37  READ ME.TXT", "READ ME.TXT", 'f', 1123, T(1999, 7, 14, 12, 37)},
};
const Table kAs400 = {
    {"QSYS            77824 02/23/00 15:09:55 *DIR       QSYS.LIB/", "QSYS.LIB", 'd', -1, T(2000, 2, 23, 15, 9, 55)},
    {"BAILEYSE     5263360 06/11/97 12:27:39 *FILE     BPTFSAVF", "BPTFSAVF", 'f', 5263360, T(1997, 6, 11, 12, 27, 39)},
    {"QPGMR                                  *MEM       XML.SAVF/XML.MBR", "XML.MBR", 'f', -1},
    {"QSYS           1099776 18.09.06 14.21.26 *STMF      dot date.txt", "dot date.txt", 'f', 1099776, T(2006, 9, 18, 14, 21, 26)},
    {"              5263360 06/11/97 12:27:39 *STMF     anon.txt", "anon.txt", 'f', 5263360, T(1997, 6, 11, 12, 27, 39)},
};
const Table kMvs = {
    {"SAVE00 3390   2004/06/23  1    1  FB      80  3120  PS  PROJ.TEXT", "PROJ.TEXT", 'f', -1, T(2004, 6, 23)},
    {"PSMLB1 3390   2003/11/22  1    9  FB      80 27920  PO  PROJ.CNTL", "PROJ.CNTL", 'd', -1, T(2003, 11, 22)},
    {"APCSPL 3380D 07/16/97 1 1 FB 80 8800 PS ETC.RPC", "ETC.RPC", 'f', -1, T(1997, 7, 16)},
    {"SMS004 3390   **NONE**    1   15  VB    8192 27998  PO-E  SYS.PROCLIB", "SYS.PROCLIB", 'd', -1},
    {"Migrated                                                 OLD.DATA", "OLD.DATA", 'f', -1},
    {"Pseudo Directory                                         TCPIP", "TCPIP", 'd', -1},
    {"  MEMBER1   01.01 2002/09/12 2002/09/13 13:36    18    18     0 USERID", "MEMBER1", 'f', -1, T(2002, 9, 13, 13, 36)},
    {"  IEFBR14   000008   00000F           00  FO             RN RU            31    ANY", "IEFBR14", 'f', -1},
};
const Table kZvm = {
    {"PROFILE  EXEC     V         65         13          1 2005-08-12 10:27:02 -", "PROFILE.EXEC", 'f', -1, T(2005, 8, 12, 10, 27, 2)},
    {"README   TXT      F         80          5          1  8/12/05 10:27:02 VMUSR", "README.TXT", 'f', -1, T(2005, 8, 12, 10, 27, 2)},
    {"SUBDIR   DIR      -          -          -  2005-08-12 10:27:02 -", "SUBDIR", 'd', -1, T(2005, 8, 12, 10, 27, 2)},
};
const Table kVxWorks = {
    {"   1224       JAN-10-1970 00:04:51   foo.txt", "foo.txt", 'f', 1224, T(1970, 1, 10, 0, 4, 51)},
    {"    512       JAN-10-1970 00:04:51   subdir           <DIR>", "subdir", 'd', -1, T(1970, 1, 10, 0, 4, 51)},
};
const Table kOs9 = {
    {"  0.0     97/01/15 1507  d-ewrewr      8C       480 CMDS", "CMDS", 'd', -1, T(1997, 1, 15, 15, 7)},
    {"  0.0     97/04/21 1254  ------wr      7F       206 startup", "startup", 'f', 206, T(1997, 4, 21, 12, 54)},
};
const Table kNonStop = {
    {"ALTERED       101              130 18-Jul-02 12:11:40 255, 10 NUNU", "ALTERED", 'f', 130, T(2002, 7, 18, 12, 11, 40)},
    {"EMSACSTM       0            32428 26-Sep-00 16:52:34 255,112 \"OOOO\"", "EMSACSTM", 'f', 32428, T(2000, 9, 26, 16, 52, 34)},
};

TEST(ListingFormats, Tables) {
    const struct {
        const Table& table;
        LineFn parse;
        ListingFormat format;
        std::string_view header;
    } families[] = {
        {kDos, ParseDosLine, ListingFormat::Dos, ""},
        {kEplf, ParseEplfLine, ListingFormat::Eplf, ""},
        {kVms, ParseVmsLine, ListingFormat::Vms, "\r\nDirectory DISK$USER:[USER]\r\n\r\n"},
        {kOs2, ParseOs2Line, ListingFormat::Os2, ""},
        {kAs400, ParseAs400Line, ListingFormat::As400, ""},
        {kMvs, ParseMvsLine, ListingFormat::Mvs, "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname\r\n"},
        {kZvm, ParseZvmLine, ListingFormat::Zvm, ""},
        {kVxWorks, ParseVxWorksLine, ListingFormat::VxWorks, "  size          date       time       name\r\n--------       ------     ------    --------\r\n"},
        {kOs9, ParseOs9Line, ListingFormat::Os9, "Owner    Last modified    Attributes Sector Bytecount Name\r\n"},
        {kNonStop, ParseNonStopLine, ListingFormat::NonStop, "File         Code             EOF  Last Modification    Owner  RWEP\r\n"},
    };
    for (const auto& f : families) {
        SCOPED_TRACE(static_cast<int>(f.format));
        RunTable(f.table, f.parse, f.format, f.header);
    }
}

TEST(ListingFormats, MlsdTableAndMlstPaths) {
    for (const Row& row : kMlsd) {
        const LineResult r = ParseMlsxLine(row.line);
        ASSERT_EQ(r.kind, LineResult::Entry) << row.line;
        ExpectEntry(r.entry, row);
    }
    const std::string body = "type=cdir; /pub\r\ntype=pdir; ..\r\n" + JoinLines(kMlsd);
    ExpectAll(ParseMlsd(body), kMlsd);
    ExpectAll(StreamByteByByte(body, true), kMlsd);
    // The MLST reply names the entry by its path's last part.
    const LineResult r = ParseMlstPathLine(" type=cdir;modify=20260101120000; /pub/dir/");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.name, "dir");
    EXPECT_TRUE(r.entry.isDirectory);
    EXPECT_EQ(ParseMlstPathLine(" type=dir; /").kind, LineResult::Ignore);
    EXPECT_EQ(ParseMlsxLine("type=dir;UNIX.mode=0o755; d").entry.permissions, "drwxr-xr-x");
}

// A long VMS name alone on its line takes the next line's details; one without details is still listed.
TEST(ListingFormats, VmsNameAloneOnItsLine) {
    const std::string body =
        "Directory DISK$USER:[USER]\r\n\r\n"
        "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT;1\r\n"
        "                    7/9   2-JAN-2026 10:00:00 [GROUP,OWNER] (RWED,RWED,RE,)\r\n"
        "ORPHAN.TXT;4\r\n"
        "ANOTHER_LONG_DIRECTORY_NAME.DIR;1\r\n"
        "                    1/3   4-JAN-2026 12:00:00 [GROUP,OWNER] (RWE,RWE,RE,E)\r\n"
        "LAST.TXT;2\r\n\r\n"
        "Total of 3 files, 9/15 blocks.\r\n";
    const Table want = {
        {"", "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT", 'f', 7 * 512, T(2026, 1, 2, 10, 0)},
        {"", "ORPHAN.TXT", 'f', -1},
        {"", "ANOTHER_LONG_DIRECTORY_NAME", 'd', -1, T(2026, 1, 4, 12, 0)},
        {"", "LAST.TXT", 'f', -1},
    };
    ExpectAll(ParseList(body, TestContext()), want);
    ExpectAll(StreamByteByByte(body, false), want);
}

}  // namespace
}  // namespace zyfar::test
