#pragma once
// Listing test tables (a line and the entry it must give) and how every table is run.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ListingParser.h"

namespace zyfar::test {

// "Now" for all table tests: 15 June 2026, 12:00 in the server's time.
inline ListingContext TestContext() {
    ListingContext ctx;
    ctx.now = RemoteTime{2026, 6, 15, 12, 0, 0, true};
    return ctx;
}

inline RemoteTime T(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return RemoteTime{y, mo, d, h, mi, s, true};
}

// A line and its entry: type 'f' file, 'd' folder, 'l' link (target given).
struct Row {
    std::string_view line;
    std::string_view name;
    char type = 'f';
    std::int64_t size = -1;
    RemoteTime time = {};
    std::string_view target = {};
};
using Table = std::vector<Row>;
using LineFn = LineResult (*)(std::string_view, const ListingContext&);

// Every line parser but MLSD's, which takes no context.
inline constexpr LineFn kLineParsers[] = {ParseUnixLine, ParseDosLine,   ParseEplfLine, ParseVmsLine,
                                          ParseOs2Line,  ParseAs400Line, ParseMvsLine,  ParseZvmLine,
                                          ParseVxWorksLine, ParseOs9Line, ParseNonStopLine};

inline void ExpectEntry(const RemoteEntry& got, const Row& want) {
    SCOPED_TRACE(std::string(want.line));
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.isDirectory, want.type == 'd');
    EXPECT_EQ(got.isLink, want.type == 'l');
    EXPECT_EQ(got.linkTarget, want.target);
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.modified, want.time) << "got " << got.modified.year << "-" << got.modified.month << "-"
                                       << got.modified.day << " " << got.modified.hour << ":"
                                       << got.modified.minute << ":" << got.modified.second;
}

inline void ExpectAll(const std::vector<RemoteEntry>& got, const Table& table) {
    ASSERT_EQ(got.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) ExpectEntry(got[i], table[i]);
}

inline std::string JoinLines(const Table& table, std::string_view header = {}) {
    std::string body(header);
    for (const Row& row : table) body.append(row.line).append("\r\n");
    return body;
}

inline std::vector<RemoteEntry> StreamByteByByte(std::string_view body, bool mlsd) {
    ListingParser parser(TestContext(), mlsd);
    std::vector<RemoteEntry> out;
    for (char c : body) parser.Feed(std::string_view(&c, 1), out);
    parser.Finish(out);
    return out;
}

// Each row through its line parser, then the table as one body (after `header`) through the dispatcher,
// whole and byte by byte, which must detect `format`.
inline void RunTable(const Table& table, LineFn parse, ListingFormat format, std::string_view header = {}) {
    for (const Row& row : table) {
        const LineResult r = parse(row.line, TestContext());
        ASSERT_EQ(r.kind, LineResult::Entry) << row.line;
        ExpectEntry(r.entry, row);
    }
    const std::string body = JoinLines(table, header);
    ListingParser parser(TestContext(), false);
    std::vector<RemoteEntry> out;
    parser.Feed(body, out);
    EXPECT_EQ(parser.Format(), format);
    parser.Finish(out);
    ExpectAll(out, table);
    ExpectAll(StreamByteByByte(body, false), table);
}

}  // namespace zyfar::test
