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
    for (const std::string& c : chunks) {
        d.Decode(c.data(), c.size(), out);
    }
    d.Finish(out);
    return out;
}

std::string Encode(const std::vector<std::string>& chunks) {
    AsciiEncoder e;
    std::string out;
    for (const std::string& c : chunks) {
        e.Encode(c.data(), c.size(), out);
    }
    return out;
}

TEST(FtpAsciiDecode, CrLfBecomesLf) {
    EXPECT_EQ(Decode({"a\r\nb\r\n"}), "a\nb\n");
    EXPECT_EQ(Decode({"a\r", "\nb"}), "a\nb");             // pair split between chunks
    EXPECT_EQ(Decode({"a\r", "", "\n"}), "a\n");           // with an empty chunk between
    EXPECT_EQ(Decode({"lone\rcr\r\n"}), "lone\rcr\n");     // a lone CR stays
    EXPECT_EQ(Decode({"x\r", "\r\n"}), "x\r\n");           // CR CR LF: first CR stays
    EXPECT_EQ(Decode({"end\r"}), "end\r");                 // a CR at the very end is kept
    EXPECT_EQ(Decode({"plain\nlf"}), "plain\nlf");         // bare LF passes
    EXPECT_EQ(Decode({std::string("nul\0\r\n", 6)}), std::string("nul\0\n", 5));
}

TEST(FtpAsciiDecode, EveryChunkingGivesTheSameResult) {
    const std::string wire = "one\r\ntwo\r\rthree\r\n\r\nfour\r";
    const std::string expected = Decode({wire});
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        EXPECT_EQ(Decode({wire.substr(0, cut), wire.substr(cut)}), expected) << "cut at " << cut;
    }
    std::vector<std::string> bytes;
    for (char c : wire) {
        bytes.emplace_back(1, c);
    }
    EXPECT_EQ(Decode(bytes), expected);
}

TEST(FtpAsciiEncode, LfBecomesCrLfButCrLfStays) {
    EXPECT_EQ(Encode({"a\nb\n"}), "a\r\nb\r\n");
    EXPECT_EQ(Encode({"a\r\nb"}), "a\r\nb");
    EXPECT_EQ(Encode({"a\r", "\nb"}), "a\r\nb");  // no second CR across chunks
    EXPECT_EQ(Encode({"a", "\n"}), "a\r\n");
    EXPECT_EQ(Encode({"\n\n"}), "\r\n\r\n");
    EXPECT_EQ(Encode({"lone\r"}), "lone\r");
}

TEST(FtpAsciiRoundTrip, LfTextSurvives) {
    const std::string text = "first\n\nthird line\nno end";
    EXPECT_EQ(Decode({Encode({text})}), text);
}

}  // namespace
}  // namespace zyfar
