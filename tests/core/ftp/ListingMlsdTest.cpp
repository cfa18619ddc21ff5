// MLSD lines and MLST fact lines.
#include <gtest/gtest.h>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

const std::vector<Expected>& MlsdTable() {
    static const std::vector<Expected> table = {
        {"type=file;size=12;modify=20260101120000; name", "plain file", "name", false, false, {}, 12,
         T(2026, 1, 1, 12, 0)},
        {"Type=File;Size=5368709120;Modify=20260101120000.123; big file;v2.txt",
         "fact names and values in any case; fraction of a second; \";\" and blanks in the name",
         "big file;v2.txt", false, false, {}, 5368709120LL, T(2026, 1, 1, 12, 0)},
        {"type=dir;modify=20251231235959;UNIX.mode=0755; sub dir", "directory", "sub dir", true, false, {},
         -1, T(2025, 12, 31, 23, 59, 59)},
        {"type=dir;sizd=4096;modify=20251231235959; withsizd", "directory size in \"sizd\"", "withsizd", true,
         false, {}, 4096, T(2025, 12, 31, 23, 59, 59)},
        {"type=OS.unix=symlink;size=9;modify=20260101120000; link", "ProFTPD-style link without target",
         "link", false, true, {}, 9, T(2026, 1, 1, 12, 0)},
        {"type=OS.unix=slink:/etc/target;size=9;modify=20260101120000; slink",
         "link with its target after the colon", "slink", false, true, "/etc/target", 9,
         T(2026, 1, 1, 12, 0)},
        {"modify=20260101120000;perm=r;size=7;type=file;unique=801U1;UNIX.group=0;UNIX.mode=0644;"
         "UNIX.owner=0; ordered.txt",
         "facts in any order, unknown facts skipped", "ordered.txt", false, false, {}, 7,
         T(2026, 1, 1, 12, 0)},
        {"type=file;size=1;  leading", "the name is all after the first blank, blanks included",
         " leading", false, false, {}, 1, {}},
        {"type=file;size=1;modify=20261301120000; badtime", "a month 13 gives no time", "badtime", false,
         false, {}, 1, {}},
        {"type=file;size=1;modify=2026; shorttime", "a short time gives no time", "shorttime", false, false,
         {}, 1, {}},
        {"type=OS.unix=chr-1/3;modify=20200101000000; null", "other OS types are plain entries", "null",
         false, false, {}, -1, T(2020, 1, 1)},
        {"type=file;size=1 nosemicolon", "no \";\" after the last fact (lenient)", "nosemicolon", false,
         false, {}, 1, {}},
        {"type=file;size=5;UNIX.ownername=Domain Users;UNIX.groupname=staff; report.txt",
         "a fact value with a blank (Windows owner names)", "report.txt", false, false, {}, 5, {}},
        {"type=file;size=5; a; b", "\"; \" inside the name", "a; b", false, false, {}, 5, {}},
        {"modify=20261207005936;perm=radfwMT;size=0;type=file;unique=fe00ga7200a;unix.mode=0o644;   lead",
         "pyftpdlib: a name with leading blanks", "  lead", false, false, {}, 0, T(2026, 12, 7, 0, 59, 36)},
        {"modify=20261207005936;perm=eldfmMTcp;size=4096;type=dir;unique=fe00ga7222a;unix.mode=0o755; sub dir",
         "pyftpdlib: a directory with its size", "sub dir", true, false, {}, 4096, T(2026, 12, 7, 0, 59, 36)},
        {" nofacts", "an entry without facts", "nofacts", false, false, {}, -1, {}},
        {"type=file;size=3;modify=20240229235960; leapsecond", "a leap second reads as :59", "leapsecond",
         false, false, {}, 3, T(2024, 2, 29, 23, 59, 59)},
    };
    return table;
}

TEST(ListingMlsd, TableLineByLine) { RunLineByLine(MlsdTable(), [](std::string_view l) { return ParseMlsxLine(l); }); }

TEST(ListingMlsd, TableAsListing) { RunAsMlsd(MlsdTable()); }

TEST(ListingMlsd, UnixModeBecomesThePermissionText) {
    LineResult r = ParseMlsxLine("type=dir;UNIX.mode=0755; d");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.permissions, "drwxr-xr-x");
    r = ParseMlsxLine("type=file;unix.MODE=640; f");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.permissions, "-rw-r-----");
    // pyftpdlib 1.5.7 on Python 3 (real line).
    r = ParseMlsxLine("modify=20261207005936;perm=radfwMT;size=5;type=file;unique=fe00ga7222b;unix.mode=0o644; a b.txt");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.name, "a b.txt");
    EXPECT_EQ(r.entry.permissions, "-rw-r--r--");
    r = ParseMlsxLine("type=file;UNIX.mode=9x; f");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.permissions, "");
}

TEST(ListingMlsd, CurrentAndParentAndUnsafeAreDropped) {
    for (std::string_view line : {"type=cdir;modify=20260101120000; /pub", "type=pdir;modify=20260101120000; /",
                                  "type=CDIR; .", "type=Pdir; ..", "type=dir; .", "type=dir; ..",
                                  "type=file;size=1; a/b", "type=file;size=1; ", "", "   "}) {
        EXPECT_EQ(ParseMlsxLine(line).kind, LineResult::Ignore) << "[" << line << "]";
    }
    const std::string nul = std::string("type=file;size=1; a") + '\0' + "b";
    EXPECT_EQ(ParseMlsxLine(nul).kind, LineResult::Ignore);
    EXPECT_EQ(ParseMlsxLine("type=file;size=1; a\rb").kind, LineResult::Ignore);
}

TEST(ListingMlsd, LinesOfOtherShapesDoNotMatch) {
    for (std::string_view line : {"garbage", "type=file;size=1;", "type=file;nofact; name", "=x; name"}) {
        EXPECT_EQ(ParseMlsxLine(line).kind, LineResult::NoMatch) << line;
    }
}

TEST(ListingMlsd, MlstFactLineWithPath) {
    // The MLST reply: " facts; path", indented by one blank.
    LineResult r = ParseMlstPathLine(" type=file;size=12;modify=20260101120000; /pub/notes.txt");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.name, "notes.txt");
    EXPECT_EQ(r.entry.size, 12);
    EXPECT_EQ(r.entry.modified, T(2026, 1, 1, 12, 0));

    r = ParseMlstPathLine(" type=cdir;modify=20260101120000; /pub/");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.name, "pub");
    EXPECT_TRUE(r.entry.isDirectory);

    r = ParseMlstPathLine("type=file;size=3; relative name.txt");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.name, "relative name.txt");

    EXPECT_EQ(ParseMlstPathLine(" type=dir; /").kind, LineResult::Ignore);
    EXPECT_EQ(ParseMlstPathLine(" type=dir; /pub/..").kind, LineResult::Ignore);
    // The MLSD line parser never lets a path through.
    EXPECT_EQ(ParseMlsxLine(" type=file;size=12; /pub/notes.txt").kind, LineResult::Ignore);
    // Yet the indented fact line itself is understood.
    r = ParseMlsxLine(" type=file;size=12; notes.txt");
    ASSERT_EQ(r.kind, LineResult::Entry);
    EXPECT_EQ(r.entry.size, 12);
    EXPECT_EQ(r.entry.name, "notes.txt");
}

}  // namespace
}  // namespace zyfar::test
