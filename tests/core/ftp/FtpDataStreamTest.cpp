// ASCII line-end conversion of the data streams, across chunk boundaries.
#include "ftp/FtpDataStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zyfar {
namespace {

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

TEST(FtpAsciiDecode, EveryChunkingGivesTheSameResult) {
    const std::string wire = "one\r\ntwo\r\rthree\r\n\r\nfour\r";
    const std::string expected = Decode({wire});
    for (std::size_t cut = 0; cut <= wire.size(); ++cut)
        EXPECT_EQ(Decode({wire.substr(0, cut), wire.substr(cut)}), expected) << "cut at " << cut;
}

}  // namespace
}  // namespace zyfar
