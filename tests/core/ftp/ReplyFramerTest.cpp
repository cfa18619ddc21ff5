#include "ftp/ReplyFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyfar {
namespace {

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
            std::vector<FtpReply> got;
            for (const std::string& chunk : chunks) {
                EXPECT_TRUE(f.Feed(chunk)) << f.Error();
                while (f.HasReply()) got.push_back(f.TakeReply());
            }
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
    EXPECT_EQ(f.TakeReply().LastLineText(), "Ready");
}

TEST(ReplyFramer, RejectsWhatIsNoReplyAndStaysBroken) {
    const std::pair<const char*, const char*> bad[] = {
        {"hello world\r\n", "not numeric"}, {"2x0 nope\r\n", "letter inside the code"},
        {"099 too small\r\n", "below 100"}, {"600 too big\r\n", "above 599"},
        {"20 short\r\n", "two digits"},     {"2000 four digits\r\n", "four digits"},
        {"\r\n", "empty line"},             {" 200 leading blank\r\n", "leading blank"},
    };
    for (const auto& [input, why] : bad) {
        ReplyFramer f;
        EXPECT_FALSE(f.Feed(input)) << why;
        EXPECT_FALSE(f.Feed("200 OK\r\n")) << why;  // later good data does not revive it
        EXPECT_TRUE(f.Failed() && !f.HasReply()) << why;
        f.Reset();
        EXPECT_TRUE(f.Feed("220 ok\r\n") && f.HasReply()) << why;
    }
    ReplyFramer f;  // garbage after a good reply keeps the good one
    EXPECT_FALSE(f.Feed("200 fine\r\nGARBAGE\r\n"));
    ASSERT_TRUE(f.HasReply());
    EXPECT_EQ(f.TakeReply().code, 200);
}

TEST(ReplyFramer, LineAndReplyCapsHoldAcrossChunks) {
    const std::string full(ReplyFramer::kMaxLineBytes - 4, 'a');
    const std::string half(ReplyFramer::kMaxLineBytes / 2, 'b');
    std::string lines = "250-start\r\n";
    for (std::size_t i = 0; i + 2 < ReplyFramer::kMaxReplyLines; ++i) lines += " line\r\n";
    const struct {
        std::vector<std::string> chunks;
        bool ok;
    } cases[] = {
        {{"200 " + full, "\n"}, true},  // a line of exactly the cap
        {{"200 " + half, half}, false},
        {{lines + "250 end\r\n"}, true},  // exactly the most lines
        {{lines + " one more\r\n250 end\r\n"}, false},
    };
    for (const auto& c : cases) {
        ReplyFramer f;
        bool ok = true;
        for (const std::string& chunk : c.chunks) ok = f.Feed(chunk) && ok;
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(f.HasReply(), c.ok);
    }
}

TEST(ReplyFramer, TheSecretIsMaskedInShownTextsOnly) {
    const struct {
        const char* secret;
        const char* line;
        const char* shown;
    } cases[] = {
        {"very-secret-pw", "530 Password very-secret-pwvery-secret-pw is wrong", "530 Password ******** is wrong"},
        {"abcd", "530 xabcdx", "530 x****x"},  // four bytes or more: everywhere
        {"a", "530 Login incorrect for pass a", "530 Login incorrect for pass ****"},
        {"a", "530 a: bad; 'a' again", "530 ****: bad; '****' again"},
        {"a", "530 Password a is not valid", "530 Password **** is not valid"},
        {"530", "530 wrong", "**** wrong"},
        {"ab", "550 abab ab-x", "550 abab ****-x"},  // short: only as a word of its own
        {"", "530 nothing to mask", "530 nothing to mask"},
    };
    for (const auto& c : cases) {
        const FtpReply reply{530, {c.line}, c.secret};
        EXPECT_EQ(reply.Text(), c.shown) << c.secret;
        EXPECT_EQ(reply.lines.front(), c.line);  // parsers still see what was sent
    }
    EXPECT_EQ((FtpReply{230, {"230-a", "230 b"}, ""}.Text()), "230-a\n230 b");
}

}  // namespace
}  // namespace zyfar
