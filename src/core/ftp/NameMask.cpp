// Mask matching without backtracking blow-up: the mask is cut at its "*"s
// into literal segments ("?" matching any one character). The first segment
// must match at the start of the name, the last at its end, and each middle
// segment is matched at its left-most place after the previous one; taking
// the left-most place never loses a match, so no backtracking is needed.
// Each name position is tried at most once per segment search, which keeps
// the cost at O(name length x segment length).
#include "ftp/NameMask.h"

namespace zyfar {
namespace {

bool SegmentMatchesAt(std::string_view name, std::size_t pos, std::string_view seg) {
    if (pos > name.size() || name.size() - pos < seg.size()) return false;
    for (std::size_t i = 0; i < seg.size(); ++i) {
        if (seg[i] != '?' && seg[i] != name[pos + i]) return false;
    }
    return true;
}

}  // namespace

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool MatchesMask(std::string_view name, std::string_view mask) {
    const std::size_t firstStar = mask.find('*');
    if (firstStar == std::string_view::npos) {
        return name.size() == mask.size() && SegmentMatchesAt(name, 0, mask);
    }
    const std::size_t lastStar = mask.rfind('*');
    const std::string_view head = mask.substr(0, firstStar);
    const std::string_view tail = mask.substr(lastStar + 1);
    if (name.size() < head.size() + tail.size()) return false;
    if (!SegmentMatchesAt(name, 0, head)) return false;
    if (!SegmentMatchesAt(name, name.size() - tail.size(), tail)) return false;

    // Middle segments must fit between the head and the tail.
    std::size_t pos = head.size();
    const std::size_t limit = name.size() - tail.size();
    std::string_view middle =
        lastStar > firstStar ? mask.substr(firstStar + 1, lastStar - firstStar - 1) : std::string_view();
    while (!middle.empty()) {
        const std::size_t star = middle.find('*');
        const std::string_view seg = middle.substr(0, star);
        middle = star == std::string_view::npos ? std::string_view() : middle.substr(star + 1);
        if (seg.empty()) continue;  // "**"
        bool found = false;
        while (pos + seg.size() <= limit) {
            if (SegmentMatchesAt(name, pos, seg)) {
                found = true;
                break;
            }
            ++pos;
        }
        if (!found) return false;
        pos += seg.size();
    }
    return true;
}

}  // namespace zyfar
