// The dispatcher and the streaming parser: format detection, fall-back per
// line, line splitting, over-long lines, damaged input and big listings.
#include <gtest/gtest.h>

#include <random>

#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

std::vector<std::string> Names(const std::vector<RemoteEntry>& entries) {
    std::vector<std::string> names;
    for (const RemoteEntry& e : entries) names.push_back(e.name);
    return names;
}

TEST(ListingParser, DetectsAndReportsTheFormat) {
    struct Case {
        std::string_view body;
        ListingFormat format;
    };
    const Case cases[] = {
        {"total 1\r\n-rw-r--r-- 1 u g 1 Jan 15 10:30 a\r\n", ListingFormat::Unix},
        {"01-15-26  10:30AM       <DIR>          a\r\n", ListingFormat::Dos},
        {"+r,s1,\ta\r\n", ListingFormat::Eplf},
        {"Directory X:[Y]\r\n\r\nA.TXT;1  1/3  1-JAN-2026 12:00:00\r\n", ListingFormat::Vms},
        {"total 0\r\n", ListingFormat::Unknown},
    };
    for (const Case& c : cases) {
        ListingParser parser(TestContext(), false);
        std::vector<RemoteEntry> out;
        parser.Feed(c.body, out);
        EXPECT_EQ(parser.Format(), c.format) << c.body;
        parser.Finish(out);
        EXPECT_EQ(parser.Format(), ListingFormat::Unknown) << "Finish starts afresh";
    }
}

// A Unix listing from a server that shows one foreign-style line (a share
// mounted from a Windows host): the line still parses by its own format.
TEST(ListingParser, FallsBackPerLine) {
    const std::string body =
        "total 12\r\n"
        "drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 pub\r\n"
        "01-15-26  10:30AM                  77 from-dos.txt\r\n"
        "this line is no entry at all\r\n"
        "-rw-r--r--    1 ftp      ftp            12 Jan 15 10:30 readme\r\n";
    ListingParser parser(TestContext(), false);
    std::vector<RemoteEntry> out;
    parser.Feed(body, out);
    EXPECT_EQ(parser.Format(), ListingFormat::Unix);
    parser.Finish(out);
    ASSERT_EQ(Names(out), (std::vector<std::string>{"pub", "from-dos.txt", "readme"}));
    EXPECT_EQ(out[1].size, 77);
}

TEST(ListingParser, LineEnds) {
    const ListingContext ctx = TestContext();
    const std::string a = "-rw-r--r-- 1 u g 1 Jan 15 10:30 a";
    const std::string b = "-rw-r--r-- 1 u g 2 Jan 15 10:30 b";
    // LF, CRLF, blank lines between, no final line end.
    EXPECT_EQ(Names(ParseList(a + "\n" + b + "\n", ctx)), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Names(ParseList(a + "\r\n\r\n" + b, ctx)), (std::vector<std::string>{"a", "b"}));
    // Only one CR before the LF is a line end; another one is part of the name, which is then dropped.
    EXPECT_EQ(Names(ParseList(a + "\r\r\n" + b + "\r\n", ctx)), (std::vector<std::string>{"b"}));
    // A CR alone is no line end: it stays inside the line, and the name is dropped.
    EXPECT_EQ(Names(ParseList(a + "\r" + b + "\r\n", ctx)), (std::vector<std::string>{}));
    EXPECT_TRUE(ParseList("", ctx).empty());
    EXPECT_TRUE(ParseList("\r\n\n\r\n", ctx).empty());
}

TEST(ListingParser, EntriesArriveAsTheirLinesComplete) {
    ListingParser parser(TestContext(), false);
    std::vector<RemoteEntry> out;
    parser.Feed("-rw-r--r-- 1 u g 1 Jan 15 10:30 a\r\n-rw-r--r-- 1 u g 1 Jan 15", out);
    EXPECT_EQ(out.size(), 1u);
    parser.Feed(" 10:30 b\r", out);
    EXPECT_EQ(out.size(), 1u);
    parser.Feed("\n", out);
    EXPECT_EQ(out.size(), 2u);
    parser.Finish(out);
    EXPECT_EQ(Names(out), (std::vector<std::string>{"a", "b"}));
}

TEST(ListingParser, MlsdStreamAndWhole) {
    const std::string body =
        "type=cdir;modify=20260101120000; .\r\n"
        "type=pdir;modify=20260101120000; ..\r\n"
        "type=file;size=12;modify=20260101120000; one\r\n"
        "type=dir;modify=20260101120000; two\r\n"
        "garbage line\r\n"
        "type=file;size=3; three";
    const std::vector<RemoteEntry> whole = ParseMlsd(body);
    EXPECT_EQ(Names(whole), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(StreamByteByByte(body, true), whole);
    // The same body sent as a LIST reply is no known LIST format.
    EXPECT_TRUE(ParseList(body, TestContext()).empty());
}

TEST(ListingParser, OverlongLineIsDroppedAndTheRestParses) {
    const std::string good1 = "-rw-r--r-- 1 u g 1 Jan 15 10:30 before\r\n";
    const std::string good2 = "-rw-r--r-- 1 u g 1 Jan 15 10:30 after\r\n";
    // An over-long line whose last part looks like an entry of its own, and
    // starts exactly at a chunk boundary: it must go with the rest of its line.
    constexpr std::size_t kChunk = 4096;
    std::string padding(2 * ListingParser::MaxLineLength, 'x');
    padding.append(kChunk - (good1.size() + padding.size()) % kChunk, 'x');
    const std::string body = good1 + padding + "-rw-r--r-- 1 u g 1 Jan 15 10:30 tail\r\n" + good2;
    ASSERT_EQ((good1.size() + padding.size()) % kChunk, 0u);
    EXPECT_EQ(Names(ParseList(body, TestContext())), (std::vector<std::string>{"before", "after"}));
    ListingParser parser(TestContext(), false);
    std::vector<RemoteEntry> out;
    for (std::size_t i = 0; i < body.size(); i += kChunk) {
        parser.Feed(std::string_view(body).substr(i, kChunk), out);
    }
    parser.Finish(out);
    EXPECT_EQ(Names(out), (std::vector<std::string>{"before", "after"}));
    // An over-long last line without a line end is dropped as well.
    ListingParser last(TestContext(), false);
    std::vector<RemoteEntry> lastOut;
    last.Feed(good1, lastOut);
    for (std::size_t i = 0; i < padding.size(); i += kChunk) {
        last.Feed(std::string_view(padding).substr(i, kChunk), lastOut);
    }
    last.Feed(" -rw-r--r-- 1 u g 1 Jan 15 10:30 tail", lastOut);
    last.Finish(lastOut);
    EXPECT_EQ(Names(lastOut), (std::vector<std::string>{"before"}));
}

TEST(ListingParser, LineOfOneMegabyteIsParsed) {
    // Just under the line limit: a long name is still a name.
    const std::string prefix = "-rw-r--r-- 1 u g 1 Jan 15 10:30 ";
    const std::string name(1000000 - prefix.size(), 'n');
    const std::vector<RemoteEntry> got = ParseList(prefix + name + "\r\n", TestContext());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name.size(), name.size());
    // A megabyte of blanks, digits or month names in one line is no entry and no crash.
    EXPECT_TRUE(ParseList(std::string(1000000, ' '), TestContext()).empty());
    std::string months;
    while (months.size() < 1000000) months += "Jan 1 10:00 ";
    EXPECT_TRUE(ParseList(months, TestContext()).empty());
    std::string digits(1000000, '7');
    EXPECT_TRUE(ParseList(digits, TestContext()).empty());
    EXPECT_TRUE(ParseMlsd(std::string(1000000, ';')).empty());
    EXPECT_TRUE(ParseMlsd(std::string(1000000, '=')).empty());
}

TEST(ListingParser, HundredThousandEntries) {
    std::string body = "total 100000\r\n";
    body.reserve(7000000);
    for (int i = 0; i < 100000; ++i) {
        body += "-rw-r--r--    1 ftp      ftp      ";
        body += std::to_string(4294967296LL + i);
        body += " Jan 15 10:30 file";
        body += std::to_string(i);
        body += ".dat\r\n";
    }
    const std::vector<RemoteEntry> got = ParseList(body, TestContext());
    ASSERT_EQ(got.size(), 100000u);
    EXPECT_EQ(got[0].name, "file0.dat");
    EXPECT_EQ(got[99999].name, "file99999.dat");
    EXPECT_EQ(got[99999].size, 4294967296LL + 99999);
    EXPECT_EQ(got[12345].modified, T(2026, 1, 15, 10, 30));
}

// Real lines of every format, damaged at random: blanks, CR, LF, NUL, TAB,
// digits and high bytes put in, bytes dropped. Whatever comes out must be a
// safe entry; nothing may crash or throw.
TEST(ListingParser, RandomDamageNeverCrashesOrLetsUnsafeNamesOut) {
    const std::vector<std::string> seeds = {
        "drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 pub",
        "lrwxrwxrwx    1 0        0              11 Feb  2  2025 latest -> releases/v2",
        "crw-rw-rw-    1 root     root       1,   3 Jan  1  2020 null",
        "-rw-r--r--    1 user     group          10 2026-01-15 10:30:45.123456789 +0100 full.txt",
        "01-15-26  10:30AM       <DIR>          folder name",
        "01/15/2026  10:30 PM         1,234,567 grouped.bin",
        "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF",
        "FILE.TXT;1   5/9   1-JAN-2026 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)",
        "A_VERY_LONG_FILE_NAME.TXT;1",
        "type=file;size=12;modify=20260101120000; name",
        "type=OS.unix=slink:/etc/target;size=9; slink",
        "total 123",
    };
    const char inserts[] = {' ', '\r', '\n', '\0', '\t', '/', '.', '-', ':', ';', '=', ',', '0', '9',
                            static_cast<char>(0xff), static_cast<char>(0x80)};
    std::mt19937 rng(20260615);
    const ListingContext ctx = TestContext();
    auto checkSafe = [](const std::vector<RemoteEntry>& entries) {
        for (const RemoteEntry& e : entries) {
            ASSERT_TRUE(IsSafeRemoteName(e.name)) << "[" << e.name << "]";
            ASSERT_GE(e.size, -1);
        }
    };
    for (int round = 0; round < 4000; ++round) {
        std::string line = seeds[rng() % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < edits; ++k) {
            const std::size_t pos = line.empty() ? 0 : rng() % (line.size() + 1);
            if (rng() % 3 == 0 && !line.empty() && pos < line.size()) {
                line.erase(pos, 1 + rng() % 4);
            } else {
                line.insert(pos, 1, inserts[rng() % sizeof inserts]);
            }
        }
        for (const auto& f : {ParseUnixLine, ParseDosLine, ParseEplfLine, ParseVmsLine}) {
            const LineResult r = f(line, ctx);
            if (r.kind == LineResult::Entry) {
                ASSERT_TRUE(IsSafeRemoteName(r.entry.name)) << line;
            }
        }
        const LineResult m = ParseMlsxLine(line);
        if (m.kind == LineResult::Entry) {
            ASSERT_TRUE(IsSafeRemoteName(m.entry.name)) << line;
        }
        checkSafe(ParseList(line + "\r\n" + line, ctx));
        checkSafe(ParseMlsd(line));
    }
    // Pure random bytes, in random chunk sizes through the streaming parser.
    for (int round = 0; round < 300; ++round) {
        std::string junk(1 + rng() % 2000, '\0');
        for (char& c : junk) c = static_cast<char>(rng() & 0xff);
        for (bool mlsd : {false, true}) {
            ListingParser parser(ctx, mlsd);
            std::vector<RemoteEntry> out;
            std::size_t i = 0;
            while (i < junk.size()) {
                const std::size_t n = 1 + rng() % 64;
                parser.Feed(std::string_view(junk).substr(i, n), out);
                i += n;
            }
            parser.Finish(out);
            checkSafe(out);
        }
    }
}

TEST(ListingParser, SafeNameRule) {
    for (std::string_view name : {"a", "...", ".hidden", " ", "a\\b"})  // a backslash is ordinary on the server
        EXPECT_TRUE(IsSafeRemoteName(name)) << name;
    const std::string_view unsafe[] = {"", ".", "..", "a/b", std::string_view("a\0b", 3), "a\rb", "a\nb"};
    for (std::string_view name : unsafe) EXPECT_FALSE(IsSafeRemoteName(name)) << name;
}

}  // namespace
}  // namespace zyfar::test
