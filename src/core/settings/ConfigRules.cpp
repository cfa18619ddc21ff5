#include "settings/ConfigRules.h"

#include <algorithm>

#include "platform/Paths.h"
#include "platform/TextUtil.h"

namespace zyfar {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsWhiteSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsWhiteSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool ExtensionLess(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = LowerAscii(a[i]);
        const char y = LowerAscii(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

std::string LogFileNameWithExtension(std::string_view name) {
    const std::size_t dot = name.size() > 1 ? name.find('.', 1) : std::string_view::npos;
    if (dot == std::string_view::npos) return std::string(name) + ".log";
    return std::string(name.substr(0, dot + 1)) + "log";
}

ProfileBaseChoice ProfileBaseFromField(std::string_view field) {
    constexpr std::string_view kProfiles = "/Profiles";
    for (std::size_t at = field.find(kProfiles); at != std::string_view::npos; at = field.find(kProfiles, at + 1)) {
        const std::size_t end = at + kProfiles.size();
        if (end == field.size() || field[end] == '/') {
            return {at == 0 ? std::string("/") : std::string(field.substr(0, at)), false};
        }
    }
    std::string base(field);
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return {base, true};
}

std::string MakeProfileFolders(const std::string& base) {
    const std::string root = base.empty() ? DefaultProfileBase() : base;
    for (const char* sub : {"Profiles", "Links", "Files"}) {
        const std::string folder = JoinPath(root, sub);
        if (!MakeFolders(folder)) return folder;
    }
    return {};
}

std::vector<std::string> SplitTextExtensions(std::string_view stored) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from <= stored.size()) {
        std::size_t comma = stored.find(',', from);
        if (comma == std::string_view::npos) comma = stored.size();
        if (comma > from) out.emplace_back(stored.substr(from, comma - from));
        from = comma + 1;
    }
    return out;
}

std::string JoinTextExtensions(const std::vector<std::string>& list) {
    std::string out;
    for (const std::string& e : list) out += e + ",";
    return out;
}

int AddTextExtension(std::vector<std::string>& list, std::string_view typed) {
    int last = -1;
    for (const std::string& raw : SplitTextExtensions(typed)) {
        std::string_view piece = TrimBlanks(raw);
        while (!piece.empty() && piece.front() == '.') piece.remove_prefix(1);
        piece = TrimBlanks(piece);
        if (piece.empty()) continue;
        const std::string entry(piece);
        const auto found = std::find(list.begin(), list.end(), entry);
        if (found != list.end()) {
            last = static_cast<int>(found - list.begin());
            continue;
        }
        const auto at = std::upper_bound(list.begin(), list.end(), entry, ExtensionLess);
        const auto inserted = list.insert(at, entry);
        last = static_cast<int>(inserted - list.begin());
    }
    return last;
}

}  // namespace zyfar
