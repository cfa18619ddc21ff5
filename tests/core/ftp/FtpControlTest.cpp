// Reply classes and the parsers of reply arguments.
#include "ftp/FtpControl.h"

#include <gtest/gtest.h>

#include <string>

namespace zyfar {
namespace {

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

}  // namespace
}  // namespace zyfar
