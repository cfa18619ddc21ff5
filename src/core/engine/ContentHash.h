#pragma once
// The hash of a file's bytes, computed while a copy moves them (OpenSSL's
// EVP digests), and the comparison with the hash a server gives for its copy.
#include <memory>
#include <string>
#include <string_view>

#include "ftp/FtpHash.h"

namespace zyfar {

class ContentHasher {
public:
    explicit ContentHasher(HashAlgorithm algorithm);
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    void Update(const char* bytes, std::size_t n);
    // The hash of every byte given so far, lower-case hex; empty when the
    // library failed (or on a second call).
    [[nodiscard]] std::string FinalHex();
    [[nodiscard]] HashAlgorithm algorithm() const { return algorithm_; }

private:
    struct Context;
    HashAlgorithm algorithm_;
    std::unique_ptr<Context> context_;
};

// The hash of `bytes` in one call (tests and small buffers).
[[nodiscard]] std::string HashHex(HashAlgorithm algorithm, std::string_view bytes);

}  // namespace zyfar
