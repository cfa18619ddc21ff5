#include "ftp/ReplyFramer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace zyfar {
namespace {

std::vector<FtpReply> FeedAll(ReplyFramer& f, const std::vector<std::string>& chunks) {
    std::vector<FtpReply> out;
    for (const std::string& c : chunks) {
        EXPECT_TRUE(f.Feed(c)) << f.Error();
        while (f.HasReply()) {
            out.push_back(f.TakeReply());
        }
    }
    return out;
}

TEST(ReplyFramer, SingleLineSplitIntoTinyChunks) {
    ReplyFramer f;
    std::vector<FtpReply> r = FeedAll(f, {"20", "0 Status", "\r", "\n"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].code, 200);
    EXPECT_EQ(r[0].lines, std::vector<std::string>{"200 Status"});
    EXPECT_EQ(r[0].LastLineText(), "Status");
    EXPECT_FALSE(f.InMiddle());
}

TEST(ReplyFramer, NoReplyUntilTheLineEnds) {
    ReplyFramer f;
    ASSERT_TRUE(f.Feed("220 Ready"));
    EXPECT_FALSE(f.HasReply());
    EXPECT_TRUE(f.InMiddle());
    ASSERT_TRUE(f.Feed("\r\n"));
    EXPECT_TRUE(f.HasReply());
}

TEST(ReplyFramer, ByteByByteMultiLine) {
    const std::string text = "230-Welcome\r\n230-second\r\n230 Logged in\r\n";
    ReplyFramer f;
    std::vector<FtpReply> got;
    for (char c : text) {
        ASSERT_TRUE(f.Feed(std::string(1, c)));
        while (f.HasReply()) {
            got.push_back(f.TakeReply());
        }
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, 230);
    EXPECT_EQ(got[0].lines.size(), 3u);
    EXPECT_EQ(got[0].Text(), "230-Welcome\n230-second\n230 Logged in");
}

TEST(ReplyFramer, OddContinuationsStayInsideTheReply) {
    // "230-" and " 230" do not end a 230 reply, nor does another code.
    ReplyFramer f;
    std::vector<FtpReply> r = FeedAll(f, {"230-first\r\n230-\r\n 230 indented\r\n220 another code\r\n"
                                          "230x no blank\r\n\r\n230 done\r\n"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].code, 230);
    EXPECT_EQ(r[0].lines.size(), 7u);
    EXPECT_EQ(r[0].lines[2], " 230 indented");
    EXPECT_EQ(r[0].LastLineText(), "done");
}

TEST(ReplyFramer, BareCodeEndsAMultiLineReply) {
    ReplyFramer f;
    std::vector<FtpReply> r = FeedAll(f, {"211-Features:\r\n MLST\r\n211\r\n"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].lines.size(), 3u);
}

TEST(ReplyFramer, SeveralRepliesInOneChunkComeOutInOrder) {
    ReplyFramer f;
    std::vector<FtpReply> r = FeedAll(f, {"150 Opening\r\n226-Done\r\n226 Bye\r\n200 ok\n"});
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].code, 150);
    EXPECT_EQ(r[1].code, 226);
    EXPECT_EQ(r[1].lines.size(), 2u);
    EXPECT_EQ(r[2].code, 200);  // a bare LF line end is accepted
    EXPECT_EQ(r[2].lines[0], "200 ok");
}

TEST(ReplyFramer, CodeWithoutTextIsAReply) {
    ReplyFramer f;
    std::vector<FtpReply> r = FeedAll(f, {"200\r\n"});
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].code, 200);
    EXPECT_EQ(r[0].LastLineText(), "");
}

struct BadStart {
    const char* input;
    const char* why;
};

void PrintTo(const BadStart& b, std::ostream* os) { *os << b.why; }

class ReplyFramerRejects : public ::testing::TestWithParam<BadStart> {};

TEST_P(ReplyFramerRejects, ProtocolError) {
    ReplyFramer f;
    EXPECT_FALSE(f.Feed(GetParam().input)) << GetParam().why;
    EXPECT_TRUE(f.Failed());
    EXPECT_FALSE(f.HasReply());
    // A broken stream stays broken: later good data does not revive it.
    EXPECT_FALSE(f.Feed("200 OK\r\n"));
    EXPECT_FALSE(f.HasReply());
}

INSTANTIATE_TEST_SUITE_P(
    Garbage, ReplyFramerRejects,
    ::testing::Values(BadStart{"hello world\r\n", "not numeric"}, BadStart{"2x0 nope\r\n", "letter inside the code"},
                      BadStart{"099 too small\r\n", "below 100"}, BadStart{"600 too big\r\n", "above 599"},
                      BadStart{"000 zero\r\n", "zero"}, BadStart{"20 short\r\n", "two digits"},
                      BadStart{"2000 four digits\r\n", "four digits"}, BadStart{"\r\n", "empty line"},
                      BadStart{" 200 leading blank\r\n", "leading blank"}));

TEST(ReplyFramer, GarbageAfterAGoodReplyKeepsTheGoodOne) {
    ReplyFramer f;
    EXPECT_FALSE(f.Feed("200 fine\r\nGARBAGE\r\n"));
    ASSERT_TRUE(f.HasReply());
    EXPECT_EQ(f.TakeReply().code, 200);
    EXPECT_TRUE(f.Failed());
}

TEST(ReplyFramer, LineAtTheCapIsAcceptedOneMoreByteIsNot) {
    {
        ReplyFramer f;
        std::string line = "200 " + std::string(ReplyFramer::kMaxLineBytes - 4, 'a');
        ASSERT_EQ(line.size(), ReplyFramer::kMaxLineBytes);
        EXPECT_TRUE(f.Feed(line));
        EXPECT_TRUE(f.Feed("\n"));
        ASSERT_TRUE(f.HasReply());
        EXPECT_EQ(f.TakeReply().lines[0].size(), ReplyFramer::kMaxLineBytes);
    }
    {
        ReplyFramer f;
        std::string half(ReplyFramer::kMaxLineBytes / 2, 'b');
        EXPECT_TRUE(f.Feed("200 " + half));
        EXPECT_FALSE(f.Feed(half));  // the cap is enforced across chunks
        EXPECT_TRUE(f.Failed());
    }
}

TEST(ReplyFramer, ReplyOfTenThousandLinesIsAcceptedOneMoreIsNot) {
    auto build = [](std::size_t lines) {
        std::string s = "250-start\r\n";
        for (std::size_t i = 0; i + 2 < lines; ++i) {
            s += " line\r\n";
        }
        return s + "250 end\r\n";
    };
    {
        ReplyFramer f;
        EXPECT_TRUE(f.Feed(build(ReplyFramer::kMaxReplyLines)));
        ASSERT_TRUE(f.HasReply());
        EXPECT_EQ(f.TakeReply().lines.size(), ReplyFramer::kMaxReplyLines);
    }
    {
        ReplyFramer f;
        EXPECT_FALSE(f.Feed(build(ReplyFramer::kMaxReplyLines + 1)));
        EXPECT_TRUE(f.Failed());
        EXPECT_FALSE(f.HasReply());
    }
}

TEST(ReplyFramer, UnendingMultiLineReplyIsCutOffNotHeld) {
    ReplyFramer f;
    ASSERT_TRUE(f.Feed("220-hello\r\n"));
    bool failed = false;
    for (int i = 0; i < 20000 && !failed; ++i) {
        failed = !f.Feed("220-more of the same\r\n");
    }
    EXPECT_TRUE(failed);
}

TEST(ReplyFramer, ResetStartsAfresh) {
    ReplyFramer f;
    EXPECT_FALSE(f.Feed("junk\r\n"));
    f.Reset();
    EXPECT_TRUE(f.Feed("220 ok\r\n"));
    EXPECT_TRUE(f.HasReply());
}

}  // namespace
}  // namespace zyfar
