#pragma once
// Parsers for directory listings: the LIST reply of Unix `ls`-style, DOS/IIS,
// EPLF and VMS servers, of OS/2, AS/400, MVS, z/VM, VxWorks, OS-9 and HP
// NonStop servers, and the machine-readable MLSD / MLST facts.
//
// Every parser works on one line (without its line end) and never throws,
// never reads outside the line and never lets an unsafe name out: the names
// "." and "..", an empty name, or a name holding '/', NUL, CR or LF are
// dropped (the line counts as Ignore).
#include <string>
#include <string_view>
#include <vector>

#include "ftp/RemoteEntry.h"

namespace zyfar {

struct ListingContext {
    // "Now" in the server's time, for Unix dates without a year (the year
    // that puts the date nearest to now). When not valid, the system clock
    // (UTC) stands in.
    RemoteTime now;
};

enum class ListingFormat { Unknown, Unix, Dos, Eplf, Vms, Os2, As400, Mvs, Zvm, VxWorks, Os9, NonStop };

// A line's verdict: an entry, "ignore" (headers, "total N", blank lines,
// unsafe names, "." and ".."), or "not this format".
struct LineResult {
    enum Kind { Entry, Ignore, NoMatch } kind = NoMatch;
    RemoteEntry entry;
};

[[nodiscard]] LineResult ParseUnixLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseDosLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseEplfLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseVmsLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseOs2Line(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseAs400Line(std::string_view line, const ListingContext& ctx);
// MVS data sets and the members of a partitioned data set.
[[nodiscard]] LineResult ParseMvsLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseZvmLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseVxWorksLine(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseOs9Line(std::string_view line, const ListingContext& ctx);
[[nodiscard]] LineResult ParseNonStopLine(std::string_view line, const ListingContext& ctx);

// One MLSD line, or the fact line of an MLST reply
// ("type=file;size=12;modify=20260101120000; name"; a leading blank, as the
// MLST reply puts it, is accepted).
[[nodiscard]] LineResult ParseMlsxLine(std::string_view line);
// The fact line of an MLST reply, whose name part is a path
// (" type=file;size=12; /pub/notes.txt"): the entry's name is the path's
// last part ("notes.txt"). A path "/" gives no entry.
[[nodiscard]] LineResult ParseMlstPathLine(std::string_view line);

// True when the name may leave a parser: not empty, not "." or "..", and no
// '/', NUL, CR or LF in it.
[[nodiscard]] bool IsSafeRemoteName(std::string_view name);

// A whole LIST reply body: splits at LF (a CR before it is dropped), detects
// the format from the first lines that match one and keeps it, falling back
// per line to the other formats when a line does not fit. VMS entries whose
// details continue on the next line are joined. A body past the default
// ListingLimits gives the entries up to that point; ListingParser tells a
// caller that the listing failed and why.
[[nodiscard]] std::vector<RemoteEntry> ParseList(std::string_view body, const ListingContext& ctx);
// A whole MLSD reply body.
[[nodiscard]] std::vector<RemoteEntry> ParseMlsd(std::string_view body);

// What one listing may take: a server that sends without end, or lines or
// names beyond any real file system's, fails the listing instead of filling
// the memory. The same budget bounds the listings a session keeps.
struct ListingLimits {
    std::size_t maxLineBytes = 64u << 10;      // one line, its line end not counted
    std::size_t maxNameBytes = 4096;           // one entry's name
    std::size_t maxTotalBytes = 256u << 20;    // the listing's bytes, and the memory its entries hold
    std::size_t maxEntries = 5'000'000;
};

// The memory one entry holds, as counted against ListingLimits::maxTotalBytes.
[[nodiscard]] std::size_t HeldBytes(const RemoteEntry& e);

// Streaming form for large listings: feed chunks of any size, get entries
// as their lines complete. Past a limit the parser stops: Feed and Finish
// return false from then on and Error() says which limit was passed.
class ListingParser {
public:
    static constexpr std::size_t MaxLineLength = ListingLimits{}.maxLineBytes;

    explicit ListingParser(const ListingContext& ctx, bool mlsd, const ListingLimits& limits = {});

    bool Feed(std::string_view chunk, std::vector<RemoteEntry>& out);
    // Parses a last line that had no line end and any pending VMS name line.
    bool Finish(std::vector<RemoteEntry>& out);

    [[nodiscard]] bool Failed() const { return !error_.empty(); }
    [[nodiscard]] const std::string& Error() const { return error_; }
    // The memory the entries given out so far hold (see HeldBytes).
    [[nodiscard]] std::size_t Held() const { return held_; }

    // The LIST format detected so far (Unknown before the first match, and
    // always Unknown for MLSD).
    [[nodiscard]] ListingFormat Format() const { return format_; }

private:
    void OnLine(std::string_view line, std::vector<RemoteEntry>& out);
    void OnListLine(std::string_view line, std::vector<RemoteEntry>& out);
    bool TryFormat(ListingFormat f, std::string_view line, LineResult& result) const;
    void Emit(LineResult& r, std::vector<RemoteEntry>& out);
    void Fail(std::string error);

    ListingContext ctx_;
    bool mlsd_;
    ListingLimits limits_;
    ListingFormat format_ = ListingFormat::Unknown;
    std::string partial_;         // bytes of the line not yet ended
    std::string pendingVmsName_;  // a VMS name alone on its line, waiting for its details
    std::size_t total_ = 0;       // bytes fed
    std::size_t held_ = 0;        // memory the entries hold
    std::size_t entries_ = 0;
    std::string error_;
};

}  // namespace zyfar
