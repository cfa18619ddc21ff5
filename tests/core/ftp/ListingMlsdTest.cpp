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
        {"type=dir;modify=20251231235959;UNIX.mode=0755; sub dir", "directory; UNIX.mode as permission text",
         "sub dir", true, false, {}, -1, T(2025, 12, 31, 23, 59, 59), "drwxr-xr-x"},
        {"type=file;unix.MODE=640; f", "mode fact name in any case, no leading 0", "f", false, false, {}, -1, {},
         "-rw-r-----"},
        {"type=file;UNIX.mode=9x; g", "a mode that is no octal number gives no permission text", "g", false,
         false, {}, -1, {}, ""},
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
         "pyftpdlib: a name with leading blanks, mode 0o644", "  lead", false, false, {}, 0,
         T(2026, 12, 7, 0, 59, 36), "-rw-r--r--"},
        {"modify=20261207005936;perm=eldfmMTcp;size=4096;type=dir;unique=fe00ga7222a;unix.mode=0o755; sub dir",
         "pyftpdlib: a directory with its size", "sub dir", true, false, {}, 4096, T(2026, 12, 7, 0, 59, 36)},
        {" nofacts", "an entry without facts", "nofacts", false, false, {}, -1, {}},
        {" type=file;size=12; notes.txt", "indented by one blank as in an MLST reply", "notes.txt", false, false, {},
         12, {}},
        {"type=file;size=3;modify=20240229235960; leapsecond", "a leap second reads as :59", "leapsecond",
         false, false, {}, 3, T(2024, 2, 29, 23, 59, 59)},
    };
    return table;
}

TEST(ListingMlsd, Table) {
    RunLineByLine(MlsdTable(), [](std::string_view l) { return ParseMlsxLine(l); });
    RunAsMlsd(MlsdTable());
}

TEST(ListingMlsd, CurrentAndParentAndUnsafeAreDropped) {
    for (const std::string& line :
         {std::string("type=cdir;modify=20260101120000; /pub"), std::string("type=pdir;modify=20260101120000; /"),
          std::string("type=CDIR; ."), std::string("type=Pdir; .."), std::string("type=dir; ."),
          std::string("type=dir; .."), std::string("type=file;size=1; a/b"), std::string("type=file;size=1; "),
          std::string(), std::string("   "), std::string("type=file;size=1; a") + '\0' + "b",
          std::string("type=file;size=1; a\rb"), std::string(" type=file;size=12; /pub/notes.txt")}) {
        EXPECT_EQ(ParseMlsxLine(line).kind, LineResult::Ignore) << "[" << line << "]";
    }
}

TEST(ListingMlsd, LinesOfOtherShapesDoNotMatch) {
    for (std::string_view line : {"garbage", "type=file;size=1;", "type=file;nofact; name", "=x; name"}) {
        EXPECT_EQ(ParseMlsxLine(line).kind, LineResult::NoMatch) << line;
    }
}

// The MLST reply line: " facts; path"; the entry is named by the path's last part.
TEST(ListingMlsd, MlstFactLineWithPath) {
    RunLineByLine(
        {{" type=file;size=12;modify=20260101120000; /pub/notes.txt", "absolute path", "notes.txt", false, false,
          {}, 12, T(2026, 1, 1, 12, 0)},
         {" type=cdir;modify=20260101120000; /pub/", "folder, final slash", "pub", true, false, {}, -1,
          T(2026, 1, 1, 12, 0)},
         {"type=file;size=3; relative name.txt", "relative, not indented", "relative name.txt", false, false, {}, 3,
          {}}},
        ParseMlstPathLine);
    EXPECT_EQ(ParseMlstPathLine(" type=dir; /").kind, LineResult::Ignore);
    EXPECT_EQ(ParseMlstPathLine(" type=dir; /pub/..").kind, LineResult::Ignore);
}

}  // namespace
}  // namespace zyfar::test
