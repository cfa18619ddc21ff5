// The dispatcher and the streaming parser: detection, per-line fall-back, splitting, limits, unsafe names.
// Random damage: the listing fuzz harness (fuzz/fuzz_listing.cpp; its corpus replays as a test).
#include "ListingTestHelpers.h"

namespace zyfar::test {
namespace {

std::vector<std::string> Names(const std::vector<RemoteEntry>& entries) {
    std::vector<std::string> names;
    for (const RemoteEntry& e : entries) names.push_back(e.name);
    return names;
}

// A Unix listing with one DOS-style line (a mounted Windows share): that line parses by its own format.
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

// Past a limit the listing fails with the reason; nothing is kept beyond it.
TEST(ListingParser, LimitsFailTheListing) {
    ListingLimits small;
    small.maxLineBytes = 100;
    small.maxNameBytes = 20;
    small.maxTotalBytes = 4000;
    small.maxEntries = 5;
    const std::string entry = "-rw-r--r-- 1 u g 1 Jan 15 10:30 ";
    const struct {
        std::string body;
        bool mlsd;
        std::size_t entries;  // given out before the failure
        const char* error;    // nullptr: no failure
    } cases[] = {
        {entry + std::string(20, 'n') + "\r\n" + entry + "b\r\n", false, 2, nullptr},  // at the caps
        // Lines of exactly the cap, with a line end and without one (no entries).
        {std::string(100, 'x') + "\r\n" + entry + "b\r\n" + std::string(100, 'x'), false, 1, nullptr},
        {entry + std::string(60, 'n') + "\r\n" + entry + "b\r\n", false, 0, "name longer than 20 bytes"},
        {entry + "a\r\n" + std::string(101, 'x') + "\r\n" + entry + "b\r\n", false, 1, "line longer than 100 bytes"},
        {entry + "a\r\n" + std::string(101, 'x'), false, 1, "line longer than 100 bytes"},  // no line end
        {std::string(101, ' ') + "\n", true, 0, "line longer than 100 bytes"},
        {[&] { std::string b; for (int i = 0; i < 6; ++i) b += entry + "e" + std::to_string(i) + "\r\n"; return b; }(),
         false, 5, "more than 5 entries"},
        {[&] { std::string b; for (int i = 0; i < 100; ++i) b += "x" + std::string(60, ' ') + "\r\n"; return b; }(),
         false, 0, "larger than 4000 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 60));
        for (std::size_t chunk : {c.body.size(), std::size_t{7}}) {
            ListingParser parser(TestContext(), c.mlsd, small);
            std::vector<RemoteEntry> out;
            bool ok = true;
            for (std::size_t i = 0; i < c.body.size(); i += chunk) {
                ok = parser.Feed(std::string_view(c.body).substr(i, chunk), out) && ok;
            }
            ok = parser.Finish(out) && ok;
            EXPECT_EQ(ok, c.error == nullptr);
            EXPECT_EQ(out.size(), c.entries);
            if (c.error != nullptr) {
                EXPECT_NE(parser.Error().find(c.error), std::string::npos) << parser.Error();
            }
            EXPECT_FALSE(parser.Feed(entry + "late\r\n", out) && c.error != nullptr) << "a failed parser stays failed";
        }
    }
    // The default caps: names of 4096 bytes, lines of 64 KiB.
    for (const auto& [body, error] : {std::pair{entry + std::string(4096, 'n') + "\r\n", ""},
                                      {entry + std::string(4097, 'n') + "\r\n", "name longer than 4096 bytes"},
                                      {std::string(65537, ' ') + "\r\n", "line longer than 65536 bytes"}}) {
        ListingParser parser(TestContext(), false);
        std::vector<RemoteEntry> out;
        EXPECT_EQ(parser.Feed(body, out) && parser.Finish(out), *error == '\0') << error;
        EXPECT_EQ(out.size(), *error == '\0' ? 1u : 0u);
        EXPECT_NE(parser.Error().find(error), std::string::npos) << parser.Error();
    }
}

// Unsafe names in every format and lines that fit no format: nothing comes out.
TEST(ListingParser, UnsafeNamesAndStrangersNeverComeOut) {
    const ListingContext ctx = TestContext();
    auto nothingFrom = [&](const std::string& line) {
        for (LineFn parse : kLineParsers) EXPECT_NE(parse(line, ctx).kind, LineResult::Entry) << line;
        EXPECT_TRUE(ParseList(line + "\r\n", ctx).empty()) << line;
    };
    const std::string unsafe[] = {".", "..", "a/b", "../../etc/passwd", std::string("nul\0x", 5), "cr\rx", ""};
    for (const std::string& bad : unsafe) {
        nothingFrom("drwxr-xr-x    2 ftp      ftp          4096 Jan 15 10:30 " + bad);
        nothingFrom("01-15-26  10:30AM       <DIR>          " + bad);
        nothingFrom("+i8388621.29609,m824255902,/,\t" + bad);
        nothingFrom("  36611      A    04-23-103  10:57  " + bad);
        nothingFrom("QSYS            77824 02/23/00 15:09:55 *STMF      " + bad);
        nothingFrom("   1224       JAN-10-1970 00:04:51   " + bad);
        nothingFrom("  0.0     97/01/15 1507  d-ewrewr      8C       480 " + bad);
        EXPECT_NE(ParseMlsxLine("type=file;size=1; " + bad).kind, LineResult::Entry) << bad;
        EXPECT_TRUE(ParseMlsd("type=dir; " + bad + "\r\n").empty()) << bad;
    }
    EXPECT_EQ(ParseUnixLine("lrwxrwxrwx 1 u g 3 Jan 15 10:30 ok -> /abs/target", ctx).kind, LineResult::Entry);
    nothingFrom(std::string("lrwxrwxrwx 1 u g 3 Jan 15 10:30 bad -> x") + '\0' + "y");
    for (const char* line : {
             "hello world this is no listing", "total 123", "total", "226 Transfer complete.",
             "drwxr-xr-x    2 ftp      ftp          big Jan 15 10:30 pub",        // no size before the date
             "-rw-r--r--    1 ftp      www2 Jan 15 10:30 nosize",                 // a group's digits are no size
             "-rw-r--r--    1 user     group   99999999999999999999 Jan 15 10:30 overflow",
             "-rw-r--r--    1 user     group          10 Jan 32 10:30 badday",
             "-rw-r--r--    1 user     group          10 Feb 30  2024 feb30",
             "-rw-r--r--    1 user     group          10 Jan 15 10:60 badminute",
             "-rw-r--r--    1 user     group          10 Jan 15 25:00 badhour",
             "-rw-r--r--    1 user     group          10 15Jan2020 unknown date",  // no date: only one-word names
             "-rw-r--r--    1 user     group          10 Foo 15 10:30 nomonth",
             "13-45-26  10:30AM       <DIR>          badmonth", "01-15-26  13:00PM       <DIR>          bad12hour",
             "01-15-26  10:30AM       <FOLDER>       unknownmark", "01-15-26  10:30AM       1,23,456       badgroups",
             "+i8388621.29609,m824255902,/, dev",  // EPLF without its TAB
             "FILE.TXT   5/9   1-JAN-2026 12:00:00", "FILE.TXT;1   x/9   1-JAN-2026 12:00:00",
             "FILE.TXT;1   5/9   31-FEB-2026 12:00:00", "FILE.TXT;1   5/9", "FILE.TXT;1 5/9 1-JAN-2026 ODD",
             "  36611      Q    04-23-103  10:57  OS2KRNL", "QSYS 77824 02/23/00 15:09:55 *dir lower",
             "SAVE00 3390   2004/06/23  1    1  FB      80  3120  XX  PROJ.TEXT",
             "  0.0     97/01/15 1507  d-ewrewq      8C       480 CMDS",
             "ALTERED       101              130 18-Xyz-02 12:11:40 255, 10 NUNU",
         }) {
        nothingFrom(line);
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
