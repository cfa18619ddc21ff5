// MLSD lines and the fact line of an MLST reply (RFC 3659):
//   "type=file;size=12;modify=20260101120000; name"
// Facts are "name=value;" pairs, fact names and the type values in any case.
// The facts end at the first "; " (some servers put a TAB there instead of
// the blank); everything after that single blank is the name, which may
// hold ";" and further blanks.
#include "ftp/ListingCommon.h"

namespace zyfar {
namespace {

using namespace listing;

// "20260101120000" or "20260101120000.123" (UTC).
bool ParseMlsxTime(std::string_view s, RemoteTime& t) {
    if (s.size() < 14) return false;
    const std::string_view whole = s.substr(0, 14);
    const std::string_view fraction = s.substr(14);
    if (!AllDigits(whole)) return false;
    if (!fraction.empty() && (fraction.front() != '.' || fraction.size() < 2 ||
                              !AllDigits(fraction.substr(1)))) {
        return false;
    }
    RemoteTime r;
    if (!ParseSmallInt(whole.substr(0, 4), r.year, 4) || !ParseSmallInt(whole.substr(4, 2), r.month, 2) ||
        !ParseSmallInt(whole.substr(6, 2), r.day, 2) || !ParseSmallInt(whole.substr(8, 2), r.hour, 2) ||
        !ParseSmallInt(whole.substr(10, 2), r.minute, 2) ||
        !ParseSmallInt(whole.substr(12, 2), r.second, 2)) {
        return false;
    }
    if (!IsValidDate(r.year, r.month, r.day) || r.hour > 23 || r.minute > 59 || r.second > 60) return false;
    if (r.second == 60) r.second = 59;
    r.valid = true;
    t = r;
    return true;
}

// "UNIX.mode=0755" as "rwxr-xr-x" behind the type letter. pyftpdlib under
// Python 3 writes the mode with Python's octal prefix: "unix.mode=0o644".
std::string ModeText(char type, std::string_view octal) {
    if (octal.size() > 2 && octal[0] == '0' && (octal[1] == 'o' || octal[1] == 'O')) octal.remove_prefix(2);
    if (octal.empty() || octal.size() > 6) return {};
    int mode = 0;
    for (char c : octal) {
        if (c < '0' || c > '7') return {};
        mode = mode * 8 + (c - '0');
    }
    std::string text(10, '-');
    text[0] = type;
    static constexpr char kLetters[3] = {'r', 'w', 'x'};
    for (int i = 0; i < 9; ++i) {
        if (mode & (1 << (8 - i))) text[static_cast<std::size_t>(1 + i)] = kLetters[i % 3];
    }
    return text;
}

// `forPath`: the MLST answer for a path, where "cdir" is that directory itself.
LineResult ParseFacts(std::string_view facts, std::string_view name, bool forPath) {
    RemoteEntry e;
    std::int64_t dirSize = -1;
    std::string_view mode;
    while (!facts.empty()) {
        const std::size_t semi = facts.find(';');
        const std::string_view fact = facts.substr(0, semi);
        facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
        if (fact.empty()) continue;
        const std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos || eq == 0) return NoMatch();
        const std::string_view key = fact.substr(0, eq);
        const std::string_view value = fact.substr(eq + 1);
        if (EqualsNoCase(key, "type")) {
            const bool cdir = EqualsNoCase(value, "cdir");
            if (!forPath && (cdir || EqualsNoCase(value, "pdir"))) return Ignored();
            if (EqualsNoCase(value, "dir") || cdir) {
                e.isDirectory = true;
            } else if (EqualsNoCase(value, "file")) {
                // a plain file: nothing more to note
            } else if (StartsWithNoCase(value, "OS.unix=slink") || StartsWithNoCase(value, "OS.unix=symlink")) {
                // "OS.unix=symlink", "OS.unix=slink", "OS.unix=slink:/target"
                e.isLink = true;
                const std::size_t colon = value.find(':');
                if (colon != std::string_view::npos) e.linkTarget.assign(value.substr(colon + 1));
            }
            // Other OS-specific types (devices, sockets) are listed as plain entries.
        } else if (EqualsNoCase(key, "size")) {
            std::int64_t size = 0;
            if (ParseDecimal(value, size)) e.size = size;
        } else if (EqualsNoCase(key, "sizd")) {
            std::int64_t size = 0;
            if (ParseDecimal(value, size)) dirSize = size;
        } else if (EqualsNoCase(key, "modify")) {
            ParseMlsxTime(value, e.modified);
        } else if (EqualsNoCase(key, "UNIX.mode")) {
            mode = value;
        }
    }
    if (e.isDirectory && e.size < 0) e.size = dirSize;
    if (!mode.empty()) e.permissions = ModeText(e.isDirectory ? 'd' : e.isLink ? 'l' : '-', mode);
    e.name.assign(name);
    return MakeEntry(std::move(e));
}

// The end of the facts: the first ";" followed by a blank or a TAB.
std::size_t FactsEnd(std::string_view s) {
    for (std::size_t i = s.find(';'); i != std::string_view::npos && i + 1 < s.size(); i = s.find(';', i + 1)) {
        if (s[i + 1] == ' ' || s[i + 1] == '\t') return i;
    }
    return std::string_view::npos;
}

// Splits a fact line into its facts and its name. The facts end with the
// first "; " (a fact value may hold a blank, as in
// "UNIX.ownername=Domain Users;", but never a ";"). False for a line that
// is no fact line.
bool SplitFactLine(std::string_view line, std::string_view& facts, std::string_view& name) {
    // The MLST reply indents its fact line by one blank: " type=file;size=1; name".
    // An MLSD line that starts with a blank has no facts at all: " name".
    if (line.front() == ' ') {
        const std::string_view rest = line.substr(1);
        const std::size_t end = FactsEnd(rest);
        if (end != std::string_view::npos && rest.substr(0, end).find('=') != std::string_view::npos) {
            facts = rest.substr(0, end + 1);
            name = rest.substr(end + 2);
        } else {
            facts = {};
            name = rest;
        }
        return true;
    }
    const std::size_t end = FactsEnd(line);
    if (end != std::string_view::npos) {
        facts = line.substr(0, end + 1);
        name = line.substr(end + 2);
        return true;
    }
    // Servers that leave out the ";" after the last fact: "type=file;size=1 name".
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return false;
    facts = line.substr(0, blank);
    name = line.substr(blank + 1);
    return true;
}

}  // namespace

LineResult ParseMlsxLine(std::string_view line) {
    if (TrimBlanks(line).empty()) return Ignored();
    std::string_view facts, name;
    if (!SplitFactLine(line, facts, name)) return NoMatch();
    return ParseFacts(facts, name, false);
}

LineResult ParseMlstPathLine(std::string_view line) {
    if (TrimBlanks(line).empty()) return Ignored();
    std::string_view facts, path;
    if (!SplitFactLine(line, facts, path)) return NoMatch();
    // "/pub/dir/" names "dir"; "/" names nothing and is dropped.
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    return ParseFacts(facts, path, true);
}

}  // namespace zyfar
