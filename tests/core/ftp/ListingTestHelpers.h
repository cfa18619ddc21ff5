#pragma once
// Shared pieces of the listing tests: the expected-entry table row, the
// checks, and the three ways every table is run (line by line, as one
// listing with LF and with CRLF, and streamed one byte at a time).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
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

struct Expected {
    std::string_view line;  // as the server sent it
    std::string_view why;   // the quirk it shows and where it comes from
    std::string_view name;
    bool dir = false;
    bool link = false;
    std::string_view target = {};
    std::int64_t size = -1;
    RemoteTime time = {};
    std::optional<std::string_view> perms = {};  // checked when given
};

inline RemoteTime T(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return RemoteTime{y, mo, d, h, mi, s, true};
}

inline void ExpectEntry(const RemoteEntry& got, const Expected& want) {
    SCOPED_TRACE(std::string(want.why) + " | " + std::string(want.line));
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.isDirectory, want.dir);
    EXPECT_EQ(got.isLink, want.link);
    EXPECT_EQ(got.linkTarget, want.target);
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.modified, want.time) << "got " << got.modified.year << "-" << got.modified.month
                                       << "-" << got.modified.day << " " << got.modified.hour << ":"
                                       << got.modified.minute << ":" << got.modified.second;
    if (want.perms) {
        EXPECT_EQ(got.permissions, *want.perms);
    }
}

using LineParser = std::function<LineResult(std::string_view)>;

// Each row through its own line parser.
inline void RunLineByLine(const std::vector<Expected>& table, const LineParser& parse) {
    SCOPED_TRACE("line by line");
    for (const Expected& row : table) {
        const LineResult r = parse(row.line);
        ASSERT_EQ(r.kind, LineResult::Entry) << row.why << " | " << row.line;
        ExpectEntry(r.entry, row);
    }
}

inline std::string JoinLines(const std::vector<Expected>& table, std::string_view eol,
                             std::string_view header = {}) {
    std::string body(header);
    for (const Expected& row : table) {
        body.append(row.line);
        body.append(eol);
    }
    return body;
}

inline void ExpectAll(const std::vector<RemoteEntry>& got, const std::vector<Expected>& table) {
    ASSERT_EQ(got.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) ExpectEntry(got[i], table[i]);
}

inline std::vector<RemoteEntry> StreamByteByByte(std::string_view body, bool mlsd,
                                                 const ListingContext& ctx = TestContext()) {
    ListingParser parser(ctx, mlsd);
    std::vector<RemoteEntry> out;
    for (char c : body) parser.Feed(std::string_view(&c, 1), out);
    parser.Finish(out);
    return out;
}

// The table as one LIST body (LF, CRLF, header first, no final line end)
// and streamed one byte at a time.
inline void RunAsListing(const std::vector<Expected>& table, std::string_view header = {}) {
    const ListingContext ctx = TestContext();
    {
        SCOPED_TRACE("LF");
        ExpectAll(ParseList(JoinLines(table, "\n", header), ctx), table);
    }
    {
        SCOPED_TRACE("CRLF");
        ExpectAll(ParseList(JoinLines(table, "\r\n", header), ctx), table);
    }
    {
        SCOPED_TRACE("no line end after the last line");
        std::string body = JoinLines(table, "\r\n", header);
        body.resize(body.size() - 2);
        ExpectAll(ParseList(body, ctx), table);
    }
    {
        SCOPED_TRACE("streamed one byte at a time");
        ExpectAll(StreamByteByByte(JoinLines(table, "\r\n", header), false), table);
    }
}

inline void RunAsMlsd(const std::vector<Expected>& table) {
    ExpectAll(ParseMlsd(JoinLines(table, "\r\n")), table);
    ExpectAll(StreamByteByByte(JoinLines(table, "\r\n"), true), table);
}

}  // namespace zyfar::test
