// EPLF listings: "+" then comma-separated facts, a TAB, and the name:
//   "+i8388621.29609,m824255902,/,\tdev"
//   "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF"
// Facts: "/" directory, "r" retrievable file, "s" size in bytes, "m" last
// change in seconds since 1970 (UTC), "i" identifier, "up" permissions in
// octal. Unknown facts are skipped.
#include "ftp/ListingCommon.h"

namespace zyfar {

using namespace listing;

LineResult ParseEplfLine(std::string_view line, const ListingContext& /*ctx*/) {
    if (TrimBlanks(line).empty()) return Ignored();
    if (line.front() != '+') return NoMatch();
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return NoMatch();

    RemoteEntry e;
    std::string_view facts = line.substr(1, tab - 1);
    while (!facts.empty()) {
        const std::size_t comma = facts.find(',');
        const std::string_view fact = facts.substr(0, comma);
        facts = comma == std::string_view::npos ? std::string_view() : facts.substr(comma + 1);
        if (fact.empty()) continue;
        switch (fact.front()) {
            case '/':
                e.isDirectory = true;
                break;
            case 's': {
                std::int64_t size = 0;
                if (ParseDecimal(fact.substr(1), size)) e.size = size;
                break;
            }
            case 'm': {
                std::int64_t seconds = 0;
                if (ParseDecimal(fact.substr(1), seconds)) e.modified = TimeFromUnixSeconds(seconds);
                break;
            }
            default:
                break;
        }
    }
    if (e.isDirectory) e.size = -1;  // a directory's size says nothing useful
    e.name.assign(line.substr(tab + 1));
    return MakeEntry(std::move(e));
}

}  // namespace zyfar
