// The listing dispatcher: splits a reply body into lines, finds the LIST
// format from the first line that gives an entry, keeps it, and falls back
// to the other formats for single lines that do not fit (servers that mix
// formats, e.g. a Unix listing with one DOS-style line from a mounted share).
#include <utility>

#include "ftp/ListingCommon.h"

namespace zyfar {

using namespace listing;

namespace {

constexpr ListingFormat kTryOrder[] = {ListingFormat::Eplf, ListingFormat::Unix, ListingFormat::Dos,
                                       ListingFormat::Vms};

std::string_view StripCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

void Emit(LineResult& r, std::vector<RemoteEntry>& out) {
    // Every parser already drops unsafe names; this is the last gate.
    if (r.kind == LineResult::Entry && IsSafeRemoteName(r.entry.name)) out.push_back(std::move(r.entry));
}

}  // namespace

ListingParser::ListingParser(const ListingContext& ctx, bool mlsd) : ctx_(ctx), mlsd_(mlsd) {}

void ListingParser::Feed(std::string_view chunk, std::vector<RemoteEntry>& out) {
    while (!chunk.empty()) {
        const std::size_t lf = chunk.find('\n');
        if (lf == std::string_view::npos) {
            // No line end yet: keep the bytes, unless the line is already too long.
            if (!overlong_) {
                if (partial_.size() + chunk.size() > MaxLineLength) {
                    overlong_ = true;
                    std::string().swap(partial_);
                } else {
                    partial_.append(chunk);
                }
            }
            return;
        }
        const std::string_view piece = chunk.substr(0, lf);
        chunk.remove_prefix(lf + 1);
        if (overlong_) {
            overlong_ = false;  // the end of the overlong line: drop it whole
            continue;
        }
        if (partial_.empty()) {
            if (piece.size() <= MaxLineLength) OnLine(StripCr(piece), out);
        } else {
            if (partial_.size() + piece.size() <= MaxLineLength) {
                partial_.append(piece);
                OnLine(StripCr(partial_), out);
            }
            partial_.clear();
        }
    }
}

void ListingParser::Finish(std::vector<RemoteEntry>& out) {
    if (!overlong_ && !partial_.empty()) {
        const std::string last = std::move(partial_);
        partial_.clear();
        OnLine(StripCr(last), out);
    }
    if (!pendingVmsName_.empty()) {
        LineResult r = ParseVmsLine(pendingVmsName_, ctx_);
        Emit(r, out);
    }
    // Ready for the next listing.
    partial_.clear();
    overlong_ = false;
    pendingVmsName_.clear();
    format_ = ListingFormat::Unknown;
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
    switch (f) {
        case ListingFormat::Unix:
            result = ParseUnixLine(line, ctx_);
            break;
        case ListingFormat::Dos:
            result = ParseDosLine(line, ctx_);
            break;
        case ListingFormat::Eplf:
            result = ParseEplfLine(line, ctx_);
            break;
        case ListingFormat::Vms:
            result = ParseVmsLine(line, ctx_);
            break;
        case ListingFormat::Unknown:
            return false;
    }
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
