#include "ftp/FtpError.h"

namespace zyfar {

FtpResult FtpOk() { return FtpResult{}; }

std::string TruncateUtf8(std::string_view text, std::size_t max) {
    if (text.size() <= max) {
        return std::string(text);
    }
    std::size_t cut = max;
    // Step back over continuation bytes (10xxxxxx) so the cut lands before
    // the lead byte of the sequence that would be split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0U) == 0x80U) {
        --cut;
    }
    return std::string(text.substr(0, cut));
}

FtpResult CancelledResult() { return FtpFail(ftpcode::kCancelled, "The operation was canceled."); }

FtpResult FtpFail(std::int32_t code, std::string_view text) {
    FtpResult r;
    r.code = code;
    r.text = TruncateUtf8(text, kFtpErrorTextMax);
    for (char& c : r.text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n') || u == 0x7F) {
            c = ' ';
        }
    }
    return r;
}

}  // namespace zyfar
