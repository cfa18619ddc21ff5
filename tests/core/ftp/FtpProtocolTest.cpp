// The protocol pieces without a connection: reply framing (any chunking, caps, masking), reply classes and the
// parsers of reply arguments, and ASCII line-end conversion across chunk boundaries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftp/FtpControl.h"
#include "ftp/FtpDataStream.h"
#include "ftp/ReplyFramer.h"

namespace zyfar {
namespace {

// ---- reply framing ----

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

// ---- reply classes and arguments ----

TEST(FtpReplyClass, FailureTextIsCutTo255BytesOnACharacterBoundary) {
    std::string text = "550 ";
    for (int i = 0; i < 200; ++i) text += "\xC3\xA9";  // é, two bytes
    FtpResult r = ReplyFailure(FtpReply{550, {text}, ""});
    EXPECT_LE(r.text.size(), kFtpErrorTextMax);
    EXPECT_GE(r.text.size(), kFtpErrorTextMax - 1);
    // No split sequence: the text ends with a complete "é".
    EXPECT_EQ(static_cast<unsigned char>(r.text.back()), 0xA9);
}

TEST(FtpReplyParse, PwdReplies) {
    const std::pair<const char*, const char*> cases[] = {  // nullptr: unreadable
        {"\"/\" is the current directory", "/"},
        {"\"/home/joe\"", "/home/joe"},
        {"\"/a \"\"quoted\"\" name\" is current", "/a \"quoted\" name"},
        {"\"\"\"\"\"\"", "\"\""},
        {"/no/quotes is current", "/no/quotes"},
        {"\"/unterminated", nullptr},
        {"\"\" empty", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, want] : cases) {
        const std::optional<std::string> got = ParsePwdReply(text);
        EXPECT_EQ(got.has_value(), want != nullptr) << text;
        if (got && want) { EXPECT_EQ(*got, want); }
    }
}

TEST(FtpReplyParse, PassiveSizeAndPortArguments) {
    EXPECT_EQ(ParseEpsvReply("Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseEpsvReply("(!!!21!)"), 21);
    EXPECT_EQ(ParsePasvReply("Entering Passive Mode (127,0,0,1,4,1)."), 1025);
    EXPECT_EQ(ParsePasvReply("=10,1,2,3,255,255"), 65535);
    for (const char* bad : {"(|||0|)", "(|||70000|)", "(||6446|)", "no parens"}) EXPECT_FALSE(ParseEpsvReply(bad)) << bad;
    for (const char* bad : {"(127,0,0,1,4)", "(127,0,0,1,256,1)", "(127,0,0,1,0,0)"}) EXPECT_FALSE(ParsePasvReply(bad)) << bad;
    EXPECT_EQ(ParseSizeReply("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"9223372036854775808", "-1", "12 bytes", ""}) EXPECT_FALSE(ParseSizeReply(bad)) << bad;
    EXPECT_EQ(FormatPortArgument(SocketAddress::Loopback4(1025)), "127,0,0,1,4,1");
    EXPECT_EQ(FormatEprtArgument(SocketAddress::Loopback4(1025)), "|1|127.0.0.1|1025|");
    EXPECT_EQ(FormatEprtArgument(SocketAddress::Loopback6(2121)), "|2|::1|2121|");
}

// ---- ASCII line ends ----

std::string Decode(const std::vector<std::string>& chunks) {
    AsciiDecoder d;
    std::string out;
    for (const std::string& c : chunks) d.Decode(c.data(), c.size(), out);
    d.Finish(out);
    return out;
}

std::string Encode(const std::vector<std::string>& chunks) {
    AsciiEncoder e;
    std::string out;
    for (const std::string& c : chunks) e.Encode(c.data(), c.size(), out);
    return out;
}

TEST(FtpAscii, ConversionTables) {
    const struct {
        std::vector<std::string> chunks;
        std::string decoded;
    } decode[] = {
        {{"a\r\nb\r\n"}, "a\nb\n"},
        {{"a\r", "\nb"}, "a\nb"},              // pair split between chunks
        {{"a\r", "", "\n"}, "a\n"},            // with an empty chunk between
        {{"lone\rcr\r\n"}, "lone\rcr\n"},      // a lone CR stays
        {{"x\r", "\r\n"}, "x\r\n"},            // CR CR LF: the first CR stays
        {{"end\r"}, "end\r"},                  // a CR at the very end is kept
        {{"plain\nlf"}, "plain\nlf"},          // a bare LF passes
        {{std::string("nul\0\r\n", 6)}, std::string("nul\0\n", 5)},
    };
    for (const auto& c : decode) EXPECT_EQ(Decode(c.chunks), c.decoded) << c.chunks[0];
    const struct {
        std::vector<std::string> chunks;
        std::string encoded;
    } encode[] = {
        {{"a\nb\n"}, "a\r\nb\r\n"}, {{"a\r\nb"}, "a\r\nb"}, {{"a\r", "\nb"}, "a\r\nb"},  // no second CR
        {{"a", "\n"}, "a\r\n"},     {{"\n\n"}, "\r\n\r\n"}, {{"lone\r"}, "lone\r"},
    };
    for (const auto& c : encode) EXPECT_EQ(Encode(c.chunks), c.encoded) << c.chunks[0];
    const std::string text = "first\n\nthird line\nno end";
    EXPECT_EQ(Decode({Encode({text})}), text);
}

}  // namespace
}  // namespace zyfar
