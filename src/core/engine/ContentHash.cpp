#include "engine/ContentHash.h"

#include <openssl/evp.h>

namespace zyfar {

struct ContentHasher::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool failed = false;  // the library could not hash: FinalHex gives nothing
    ~Context() { EVP_MD_CTX_free(ctx); }
};

namespace {

const EVP_MD* DigestOf(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::kSha1: return EVP_sha1();
        case HashAlgorithm::kMd5: return EVP_md5();
        case HashAlgorithm::kSha256: break;
    }
    return EVP_sha256();
}

}  // namespace

ContentHasher::ContentHasher(HashAlgorithm algorithm)
    : algorithm_(algorithm), context_(std::make_unique<Context>()) {
    context_->failed =
        context_->ctx == nullptr || EVP_DigestInit_ex(context_->ctx, DigestOf(algorithm), nullptr) != 1;
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::Update(const char* bytes, std::size_t n) {
    if (n > 0 && !context_->failed) {
        context_->failed = EVP_DigestUpdate(context_->ctx, bytes, n) != 1;
    }
}

std::string ContentHasher::FinalHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (context_->failed || EVP_DigestFinal_ex(context_->ctx, digest, &length) != 1) {
        context_->failed = true;
        return {};  // never a value that could equal a server's hash
    }
    context_->failed = true;  // finished: a second call gives nothing
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

std::string HashHex(HashAlgorithm algorithm, std::string_view bytes) {
    ContentHasher hasher(algorithm);
    hasher.Update(bytes.data(), bytes.size());
    return hasher.FinalHex();
}

}  // namespace zyfar
