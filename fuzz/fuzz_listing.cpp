// The directory listing parsers: every per-format line parser on every line
// of the input, and the whole-reply parsers on the input fed at once and in
// pieces. Whatever the bytes, an entry that comes out has a safe name, a size
// of -1 or more and, when its time is valid, a time inside the calendar; the
// streaming parser gives the same entries however the reply is cut.
//
// A new format is one more row in kLineParsers.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ftp/ListingParser.h"

namespace {

using zyfar::LineResult;
using zyfar::ListingContext;
using zyfar::RemoteEntry;

using LineParser = LineResult (*)(std::string_view, const ListingContext&);

const LineParser kLineParsers[] = {
    &zyfar::ParseUnixLine,
    &zyfar::ParseDosLine,
    &zyfar::ParseEplfLine,
    &zyfar::ParseVmsLine,
    &zyfar::ParseOs2Line,
    &zyfar::ParseAs400Line,
    &zyfar::ParseMvsLine,
    &zyfar::ParseZvmLine,
    &zyfar::ParseVxWorksLine,
    &zyfar::ParseOs9Line,
    &zyfar::ParseNonStopLine,
    [](std::string_view line, const ListingContext&) { return zyfar::ParseMlsxLine(line); },
    [](std::string_view line, const ListingContext&) { return zyfar::ParseMlstPathLine(line); },
};

void CheckEntry(const RemoteEntry& e) {
    FUZZ_CHECK(!e.name.empty() && e.name != "." && e.name != "..");
    FUZZ_CHECK(e.name.find_first_of(std::string_view("/\0\r\n", 4)) == std::string::npos);
    FUZZ_CHECK(e.size >= -1);
    const zyfar::RemoteTime& t = e.modified;
    if (t.valid) {
        FUZZ_CHECK(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
        FUZZ_CHECK(t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59);
        FUZZ_CHECK(t.second >= 0 && t.second <= 59);
    }
}

std::vector<RemoteEntry> Streamed(std::string_view body, bool mlsd, const ListingContext& ctx,
                                  std::uint8_t seed) {
    std::vector<RemoteEntry> out;
    zyfar::ListingParser parser(ctx, mlsd);
    zyfar::fuzz::ForEachPiece(body, seed, [&](std::string_view piece) { parser.Feed(piece, out); });
    parser.Finish(out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text = zyfar::fuzz::AsText(data, size);
    ListingContext ctx;
    ctx.now = zyfar::RemoteTime{2026, 6, 15, 12, 30, 0, true};

    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        const std::string_view line = rest.substr(0, lf);
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
        for (LineParser parse : kLineParsers) {
            const LineResult r = parse(line, ctx);
            if (r.kind == LineResult::Entry) CheckEntry(r.entry);
        }
    }

    const std::vector<RemoteEntry> list = zyfar::ParseList(text, ctx);
    const std::vector<RemoteEntry> mlsd = zyfar::ParseMlsd(text);
    for (const RemoteEntry& e : list) CheckEntry(e);
    for (const RemoteEntry& e : mlsd) CheckEntry(e);
    FUZZ_CHECK(Streamed(text, false, ctx, data[0]) == list);
    FUZZ_CHECK(Streamed(text, true, ctx, data[0]) == mlsd);
    return 0;
}
