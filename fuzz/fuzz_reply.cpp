// The control connection's reply framer: any byte stream, fed whole and in
// pieces, gives the same replies; every reply it hands out has a code from 100
// to 599 and its first line starts with that code. The features and hash
// answers read from those replies: a hash read is always hex of its
// algorithm's length.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ftp/FtpHash.h"
#include "ftp/ReplyFramer.h"

namespace {

struct Framed {
    std::vector<zyfar::FtpReply> replies;
    std::string error;
};

void Drain(zyfar::ReplyFramer& framer, Framed& out) {
    while (framer.HasReply()) out.replies.push_back(framer.TakeReply());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t seed = data[0];
    const std::string_view text = zyfar::fuzz::AsText(data + 1, size - 1);

    zyfar::ReplyFramer whole;
    Framed a;
    whole.Feed(text);
    Drain(whole, a);
    a.error = whole.Error();

    zyfar::ReplyFramer pieces;
    Framed b;
    zyfar::fuzz::ForEachPiece(text, seed, [&](std::string_view piece) {
        pieces.Feed(piece);
        Drain(pieces, b);
    });
    b.error = pieces.Error();

    FUZZ_CHECK(a.error == b.error);
    FUZZ_CHECK(a.replies.size() == b.replies.size());
    for (std::size_t i = 0; i < a.replies.size(); ++i) {
        const zyfar::FtpReply& r = a.replies[i];
        FUZZ_CHECK(r.code == b.replies[i].code && r.lines == b.replies[i].lines);
        FUZZ_CHECK(r.code >= 100 && r.code <= 599);
        FUZZ_CHECK(!r.lines.empty() && r.lines.front().compare(0, 3, std::to_string(r.code)) == 0);
        FUZZ_CHECK(r.lines.size() <= zyfar::ReplyFramer::kMaxReplyLines);
        for (const std::string& line : r.lines) {
            FUZZ_CHECK(line.size() <= zyfar::ReplyFramer::kMaxLineBytes);
            FUZZ_CHECK(line.find('\n') == std::string::npos);
        }
        (void)r.Text();
        (void)r.LastLineText();
        zyfar::FtpFeatures features;
        zyfar::ReadTransferFeatures(r, features);
        (void)zyfar::ChooseHashCommand(features);
        const std::string_view first = r.lines.front().size() > 4 ? std::string_view(r.lines.front()).substr(4) : "";
        for (const auto algorithm : {zyfar::HashAlgorithm::kSha256, zyfar::HashAlgorithm::kSha1, zyfar::HashAlgorithm::kMd5}) {
            for (const auto& hex : {zyfar::ParseHashReply(first, algorithm), zyfar::ParseXHashReply(first, algorithm)}) {
                FUZZ_CHECK(!hex || (hex->size() == zyfar::HashHexLength(algorithm) &&
                                    hex->find_first_not_of("0123456789abcdef") == std::string::npos));
            }
        }
    }
    return 0;
}
