#include "ftp/FtpHash.h"

#include <algorithm>

#include "platform/TextUtil.h"

namespace zyfar {

namespace {

// The next blank-separated word of `text` from `pos` (pos moves past it).
std::string_view NextWord(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsBlank(text[pos])) ++pos;
    return text.substr(start, pos - start);
}

std::optional<std::string> HexOfLength(std::string_view word, HashAlgorithm algorithm) {
    if (word.size() != HashHexLength(algorithm)) return std::nullopt;
    for (const char c : word) {
        if (HexDigitValue(c) < 0) return std::nullopt;
    }
    return ToLowerAscii(word);
}

bool Offers(const FtpFeatures& features, HashAlgorithm algorithm) {
    const std::string name = HashAlgorithmName(algorithm);
    return std::any_of(features.hashAlgorithms.begin(), features.hashAlgorithms.end(),
                       [&](const std::string& offered) { return EqualsNoCase(offered, name); });
}

}  // namespace

const char* HashAlgorithmName(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::kSha1: return "SHA-1";
        case HashAlgorithm::kMd5: return "MD5";
        case HashAlgorithm::kSha256: break;
    }
    return "SHA-256";
}

std::size_t HashHexLength(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::kSha1: return 40;
        case HashAlgorithm::kMd5: return 32;
        case HashAlgorithm::kSha256: break;
    }
    return 64;
}

const char* HashCommandVerb(HashCommand command) {
    switch (command) {
        case HashCommand::kXsha256: return "XSHA256";
        case HashCommand::kXsha1: return "XSHA1";
        case HashCommand::kXmd5: return "XMD5";
        case HashCommand::kHash: break;
    }
    return "HASH";
}

std::optional<HashChoice> ChooseHashCommand(const FtpFeatures& features) {
    struct Option {
        HashAlgorithm algorithm;
        HashCommand xCommand;
        bool xOffered;
    };
    for (const Option& o : {Option{HashAlgorithm::kSha256, HashCommand::kXsha256, features.xsha256},
                            Option{HashAlgorithm::kSha1, HashCommand::kXsha1, features.xsha1},
                            Option{HashAlgorithm::kMd5, HashCommand::kXmd5, features.xmd5}}) {
        if (Offers(features, o.algorithm)) return HashChoice{HashCommand::kHash, o.algorithm};
        if (o.xOffered) return HashChoice{o.xCommand, o.algorithm};
    }
    return std::nullopt;
}

std::optional<std::string> ParseHashReply(std::string_view text, HashAlgorithm algorithm) {
    std::size_t pos = 0;
    if (!EqualsNoCase(NextWord(text, pos), HashAlgorithmName(algorithm))) return std::nullopt;
    const std::string_view range = NextWord(text, pos);
    const std::size_t dash = range.find('-');
    if (dash == std::string_view::npos || range.substr(0, dash) != "0" || !AllDigits(range.substr(dash + 1)) ||
        dash + 1 == range.size()) {
        return std::nullopt;  // the hash of a part of the file, or no range at all
    }
    return HexOfLength(NextWord(text, pos), algorithm);
}

std::optional<std::string> ParseXHashReply(std::string_view text, HashAlgorithm algorithm) {
    std::size_t pos = 0;
    return HexOfLength(NextWord(text, pos), algorithm);
}

std::string HashLabel(HashAlgorithm algorithm, const std::string& hex) {
    return std::string(HashAlgorithmName(algorithm)) + " " + hex;
}

}  // namespace zyfar
