#include "ftp/ReplyFramer.h"

#include <gtest/gtest.h>

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

TEST(ReplyFramer, FramesRepliesFromAnyChunking) {
    struct Case {
        const char* what;
        std::vector<std::string> chunks;
        std::vector<std::vector<std::string>> replies;  // the lines of each reply
    };
    const Case cases[] = {
        {"tiny chunks", {"20", "0 Status", "\r", "\n"}, {{"200 Status"}}},
        {"multi-line", {"230-Welcome\r\n230-second\r\n230 Logged in\r\n"},
         {{"230-Welcome", "230-second", "230 Logged in"}}},
        // "230-", " 230" and another code do not end a 230 reply.
        {"odd continuations", {"230-first\r\n230-\r\n 230 indented\r\n220 another code\r\n230x no blank\r\n\r\n230 done\r\n"},
         {{"230-first", "230-", " 230 indented", "220 another code", "230x no blank", "", "230 done"}}},
        {"a bare code ends a multi-line reply", {"211-Features:\r\n MLST\r\n211\r\n"}, {{"211-Features:", " MLST", "211"}}},
        {"several replies in one chunk, bare LF", {"150 Opening\r\n226-Done\r\n226 Bye\r\n200 ok\n"},
         {{"150 Opening"}, {"226-Done", "226 Bye"}, {"200 ok"}}},
        {"a code without text", {"200\r\n"}, {{"200"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool byteByByte : {false, true}) {
            std::vector<std::string> chunks = c.chunks;
            if (byteByByte) {
                chunks.clear();
                for (const std::string& chunk : c.chunks)
                    for (char ch : chunk) chunks.emplace_back(1, ch);
            }
            ReplyFramer f;
            const std::vector<FtpReply> got = FeedAll(f, chunks);
            ASSERT_EQ(got.size(), c.replies.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].lines, c.replies[i]);
                EXPECT_EQ(got[i].code, std::stoi(c.replies[i].back().substr(0, 3)));
            }
            EXPECT_FALSE(f.InMiddle());
        }
    }
    ReplyFramer f;
    ASSERT_TRUE(f.Feed("220 Ready"));
    EXPECT_TRUE(f.InMiddle() && !f.HasReply());  // nothing until the line ends
    ASSERT_TRUE(f.Feed("\r\n"));
    const FtpReply r = f.TakeReply();
    EXPECT_EQ(r.LastLineText(), "Ready");
    EXPECT_EQ((FtpReply{230, {"230-a", "230 b"}}.Text()), "230-a\n230 b");
}

TEST(ReplyFramer, RejectsWhatIsNoReplyAndStaysBroken) {
    const std::pair<const char*, const char*> bad[] = {
        {"hello world\r\n", "not numeric"}, {"2x0 nope\r\n", "letter inside the code"},
        {"099 too small\r\n", "below 100"}, {"600 too big\r\n", "above 599"},
        {"000 zero\r\n", "zero"},           {"20 short\r\n", "two digits"},
        {"2000 four digits\r\n", "four digits"}, {"\r\n", "empty line"},
        {" 200 leading blank\r\n", "leading blank"},
    };
    for (const auto& [input, why] : bad) {
        ReplyFramer f;
        EXPECT_FALSE(f.Feed(input)) << why;
        EXPECT_TRUE(f.Failed()) << why;
        EXPECT_FALSE(f.Feed("200 OK\r\n")) << why;  // later good data does not revive it
        EXPECT_FALSE(f.HasReply()) << why;
        f.Reset();
        EXPECT_TRUE(f.Feed("220 ok\r\n") && f.HasReply()) << why;
    }
}

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

}  // namespace
}  // namespace zyfar
