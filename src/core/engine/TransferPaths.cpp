#include "engine/TransferPaths.h"

namespace zyfar {

char RemoteSeparatorFor(std::string_view folder) {
    return folder.find('\\') != std::string_view::npos ? '\\' : '/';
}

std::string JoinWithSeparator(std::string_view folder, char sep, std::string_view name) {
    std::string out(folder);
    if (!out.empty() && out.back() != sep) {
        out.push_back(sep);
    }
    out.append(name);
    return out;
}

std::string JoinRemote(std::string_view folder, std::string_view name) {
    return JoinWithSeparator(folder, RemoteSeparatorFor(folder), name);
}

std::string JoinLocal(std::string_view folder, std::string_view name) { return JoinWithSeparator(folder, '/', name); }

std::vector<std::string> SplitPieces(std::string_view path, char sep) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(sep, start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            pieces.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

std::string LocalBaseName(std::string_view path) {
    const std::size_t cut = path.rfind('/');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string ShortenLongName(std::string_view name) {
    if (name.size() <= 12) {
        return std::string(name);
    }
    std::string out;
    for (char c : name) {
        if (out.size() == 6) {
            break;
        }
        if (c != ' ') {
            out.push_back(c);
        }
    }
    out += "~1";
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos) {
        out.append(name.substr(dot));
    }
    if (out.size() > 12) {
        out.resize(12);
    }
    return out;
}

bool IsPlainLocalName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string FolderBeforeName(std::string_view targetPath, std::string_view name) {
    if (name.empty() || targetPath.size() <= name.size() ||
        targetPath.substr(targetPath.size() - name.size()) != name) {
        return {};
    }
    return std::string(targetPath.substr(0, targetPath.size() - name.size()));
}

}  // namespace zyfar
