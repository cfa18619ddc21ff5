#pragma once
// Content hashes a server computes for a file it holds: the HASH command
// (draft-bryan-ftpext-hash: FEAT "HASH SHA-1;SHA-256*;MD5", the selected
// algorithm marked "*", OPTS HASH to select another, "213 SHA-256 0-49 <hex>
// name" for an answer) and the older single-algorithm commands XSHA256,
// XSHA1 and XMD5 ("213 <hex>" or "250 <hex>").
//
// Which commands a server knows is read from its FEAT answer only, which the
// client asks once per connection anyway: no probing. A probe would cost a
// round trip and tells little (servers answer an unknown command and a known
// one without a usable argument with the same 500-504 codes); servers that
// offer these commands list them.
//
// Answers are read strictly: the algorithm named must be the one asked for,
// the hash must be hexadecimal of exactly that algorithm's length, and an
// answer that is anything else is unreadable (never taken for a match).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/FtpControl.h"

namespace zyfar {

enum class HashAlgorithm { kSha256, kSha1, kMd5 };

// "SHA-256", "SHA-1", "MD5": the names HASH uses.
[[nodiscard]] const char* HashAlgorithmName(HashAlgorithm algorithm);
// Hex digits of a hash: 64, 40, 32.
[[nodiscard]] std::size_t HashHexLength(HashAlgorithm algorithm);

enum class HashCommand { kHash, kXsha256, kXsha1, kXmd5 };
// "HASH", "XSHA256", "XSHA1", "XMD5".
[[nodiscard]] const char* HashCommandVerb(HashCommand command);

struct HashChoice {
    HashCommand command = HashCommand::kHash;
    HashAlgorithm algorithm = HashAlgorithm::kSha256;

    friend bool operator==(const HashChoice&, const HashChoice&) = default;
};

// The best hash a server offers: the strongest algorithm first (SHA-256,
// then SHA-1, then MD5), and for one algorithm HASH before its X command.
// Nothing when the server offers none.
[[nodiscard]] std::optional<HashChoice> ChooseHashCommand(const FtpFeatures& features);

// The hash of a 213 HASH answer's text ("SHA-256 0-49 <hex> name", the code
// left out), lower-case; nothing unless the algorithm is `algorithm`, the
// range starts at 0 and the hash has the right length and only hex digits.
[[nodiscard]] std::optional<std::string> ParseHashReply(std::string_view text, HashAlgorithm algorithm);
// The hash of an XSHA256 / XSHA1 / XMD5 answer's text: its first word, which
// must be hex of the right length; lower-case.
[[nodiscard]] std::optional<std::string> ParseXHashReply(std::string_view text, HashAlgorithm algorithm);

// What a log entry says of a verified file: "SHA-256 <hex>".
[[nodiscard]] std::string HashLabel(HashAlgorithm algorithm, const std::string& hex);

}  // namespace zyfar
