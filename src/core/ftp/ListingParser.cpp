// The listing dispatcher: splits a reply body into lines, finds the LIST
// format from the first line that gives an entry, keeps it, and falls back
// to the other formats for single lines that do not fit (servers that mix
// formats, e.g. a Unix listing with one DOS-style line from a mounted share).
#include <utility>

#include "ftp/ListingCommon.h"

namespace zyfar {

using namespace listing;

namespace {

// The common formats first; the rarer ones only see lines those refused.
constexpr ListingFormat kTryOrder[] = {ListingFormat::Eplf,  ListingFormat::Unix,  ListingFormat::Dos,
                                       ListingFormat::Vms,   ListingFormat::Os2,   ListingFormat::As400,
                                       ListingFormat::Mvs,   ListingFormat::Zvm,   ListingFormat::VxWorks,
                                       ListingFormat::Os9,   ListingFormat::NonStop};

using LineFn = LineResult (*)(std::string_view, const ListingContext&);
LineFn ParserOf(ListingFormat f) {
    switch (f) {
        case ListingFormat::Unix: return ParseUnixLine;
        case ListingFormat::Dos: return ParseDosLine;
        case ListingFormat::Eplf: return ParseEplfLine;
        case ListingFormat::Vms: return ParseVmsLine;
        case ListingFormat::Os2: return ParseOs2Line;
        case ListingFormat::As400: return ParseAs400Line;
        case ListingFormat::Mvs: return ParseMvsLine;
        case ListingFormat::Zvm: return ParseZvmLine;
        case ListingFormat::VxWorks: return ParseVxWorksLine;
        case ListingFormat::Os9: return ParseOs9Line;
        case ListingFormat::NonStop: return ParseNonStopLine;
        case ListingFormat::Unknown: break;
    }
    return nullptr;
}

std::string_view StripCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

}  // namespace

std::size_t HeldBytes(const RemoteEntry& e) {
    return sizeof(RemoteEntry) + e.name.size() + e.linkTarget.size() + e.permissions.size();
}

void ListingParser::Fail(std::string error) {
    if (error_.empty()) error_ = std::move(error);
    std::string().swap(partial_);
    pendingVmsName_.clear();
}

void ListingParser::Emit(LineResult& r, std::vector<RemoteEntry>& out) {
    // Every parser already drops unsafe names; this is the last gate.
    if (r.kind != LineResult::Entry || !IsSafeRemoteName(r.entry.name) || Failed()) return;
    if (r.entry.name.size() > limits_.maxNameBytes) {
        Fail("The listing holds a name longer than " + std::to_string(limits_.maxNameBytes) + " bytes.");
        return;
    }
    held_ += HeldBytes(r.entry);
    if (held_ > limits_.maxTotalBytes) {
        Fail("The listing is larger than " + std::to_string(limits_.maxTotalBytes) + " bytes.");
        return;
    }
    if (++entries_ > limits_.maxEntries) {
        Fail("The listing has more than " + std::to_string(limits_.maxEntries) + " entries.");
        return;
    }
    out.push_back(std::move(r.entry));
}

ListingParser::ListingParser(const ListingContext& ctx, bool mlsd, const ListingLimits& limits)
    : ctx_(ctx), mlsd_(mlsd), limits_(limits) {}

bool ListingParser::Feed(std::string_view chunk, std::vector<RemoteEntry>& out) {
    if (Failed()) return false;
    total_ += chunk.size();
    if (total_ > limits_.maxTotalBytes) {
        Fail("The listing is larger than " + std::to_string(limits_.maxTotalBytes) + " bytes.");
        return false;
    }
    while (!chunk.empty() && !Failed()) {
        const std::size_t lf = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, lf);
        // The line's length without its line end (the CR of a CRLF
        // included); a line still open may yet end in that CR.
        std::size_t length = partial_.size() + piece.size();
        const bool cr = piece.empty() ? !partial_.empty() && partial_.back() == '\r' : piece.back() == '\r';
        if (lf == std::string_view::npos || cr) --length;
        if (length != SIZE_MAX && length > limits_.maxLineBytes) {
            Fail("The listing holds a line longer than " + std::to_string(limits_.maxLineBytes) + " bytes.");
            break;
        }
        if (lf == std::string_view::npos) {
            partial_.append(chunk);  // no line end yet: keep the bytes
            return true;
        }
        chunk.remove_prefix(lf + 1);
        if (partial_.empty()) {
            OnLine(StripCr(piece), out);
        } else {
            partial_.append(piece);
            OnLine(StripCr(partial_), out);
            partial_.clear();
        }
    }
    return !Failed();
}

bool ListingParser::Finish(std::vector<RemoteEntry>& out) {
    if (!Failed() && !partial_.empty()) {
        const std::string last = std::move(partial_);
        partial_.clear();
        if (StripCr(last).size() > limits_.maxLineBytes) {
            Fail("The listing holds a line longer than " + std::to_string(limits_.maxLineBytes) + " bytes.");
        } else {
            OnLine(StripCr(last), out);
        }
    }
    if (!Failed() && !pendingVmsName_.empty()) {
        LineResult r = ParseVmsLine(pendingVmsName_, ctx_);
        Emit(r, out);
    }
    const bool ok = !Failed();
    // Ready for the next listing (a failed parser stays failed).
    partial_.clear();
    pendingVmsName_.clear();
    format_ = ListingFormat::Unknown;
    total_ = held_ = entries_ = 0;
    return ok;
}

void ListingParser::OnLine(std::string_view line, std::vector<RemoteEntry>& out) {
    if (mlsd_) {
        LineResult r = ParseMlsxLine(line);
        Emit(r, out);
        return;
    }
    OnListLine(line, out);
}

bool ListingParser::TryFormat(ListingFormat f, std::string_view line, LineResult& result) const {
    const LineFn parse = ParserOf(f);
    if (parse == nullptr) return false;
    result = parse(line, ctx_);
    return result.kind != LineResult::NoMatch;
}

void ListingParser::OnListLine(std::string_view line, std::vector<RemoteEntry>& out) {
    // A VMS name alone on the previous line: this line should hold its details.
    if (!pendingVmsName_.empty()) {
        const std::string name = std::move(pendingVmsName_);
        pendingVmsName_.clear();
        std::string joined = name;
        joined.push_back(' ');
        joined.append(line);
        LineResult r = ParseVmsLine(joined, ctx_);
        if (r.kind == LineResult::Entry && r.entry.modified.valid) {
            format_ = ListingFormat::Vms;
            Emit(r, out);
            return;
        }
        // No details followed: the name stands on its own, and this line
        // is read for itself below.
        r = ParseVmsLine(name, ctx_);
        Emit(r, out);
    }
    if ((format_ == ListingFormat::Unknown || format_ == ListingFormat::Vms) && IsVmsNameOnlyLine(line)) {
        pendingVmsName_.assign(TrimBlanks(line));
        return;
    }

    LineResult r;
    if (format_ != ListingFormat::Unknown && TryFormat(format_, line, r)) {
        Emit(r, out);
        return;
    }
    for (ListingFormat f : kTryOrder) {
        if (f == format_) continue;
        if (!TryFormat(f, line, r)) continue;
        if (r.kind == LineResult::Entry && format_ == ListingFormat::Unknown) format_ = f;
        Emit(r, out);
        return;
    }
}

std::vector<RemoteEntry> ParseList(std::string_view body, const ListingContext& ctx) {
    std::vector<RemoteEntry> out;
    ListingParser parser(ctx, false);
    parser.Feed(body, out);
    parser.Finish(out);
    return out;
}

std::vector<RemoteEntry> ParseMlsd(std::string_view body) {
    std::vector<RemoteEntry> out;
    ListingParser parser(ListingContext{}, true);
    parser.Feed(body, out);
    parser.Finish(out);
    return out;
}

}  // namespace zyfar
