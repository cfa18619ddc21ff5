#pragma once
// Shared by the fuzz harnesses: a check that stops the run with a message
// (a crash the fuzzer records), and the chunk sizes used to feed streaming
// parsers the same bytes in pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace zyfar::fuzz {

// The input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Calls fn(piece) for consecutive pieces of text whose lengths cycle through
// 1..seed+1, so one seed byte gives many different cut points.
template <typename Fn>
void ForEachPiece(std::string_view text, std::uint8_t seed, Fn&& fn) {
    std::size_t len = 1;
    while (!text.empty()) {
        const std::size_t n = len < text.size() ? len : text.size();
        fn(text.substr(0, n));
        text.remove_prefix(n);
        len = len % (static_cast<std::size_t>(seed) + 1) + 1;
    }
}

// Writes text to this process's scratch file (in $TMPDIR or /tmp) and
// returns its path, for the readers that take a file.
inline const std::string& ScratchFile(std::string_view text) {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/zyfar-fuzz-" +
               std::to_string(::getpid());
    }();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    FUZZ_CHECK(out.good());
    return path;
}

}  // namespace zyfar::fuzz
