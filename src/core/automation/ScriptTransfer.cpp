#include "automation/ScriptTransfer.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "engine/BufferedLocalFile.h"
#include "engine/TransferPaths.h"
#include "ftp/NameMask.h"
#include "platform/Paths.h"

namespace zyfar {
namespace {

constexpr std::int64_t kDay = 86400;

}  // namespace

bool ScriptAgeFilter::Passes(std::int64_t age) const {
    const std::int64_t limit = std::int64_t{days} * kDay;
    if (op == ">") return age > limit;
    if (op == ">=") return age >= limit;
    if (op == "<") return age < limit;
    if (op == "<=") return age <= limit;
    if (op == "=") return limit - kDay < age && age <= limit;
    return false;
}



FtpResult LocalFileError(int err, std::string_view what, const std::string& path) {
    return LocalFileFailure(what, path, err);
}

LocalFind FindLocalFiles(const std::string& spec) {
    LocalFind found;
    const std::size_t slash = spec.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : spec.substr(0, slash));
    const std::string mask = slash == std::string::npos ? spec : spec.substr(slash + 1);
    auto add = [&](const std::string& name) {
        const std::string path = slash == std::string::npos ? name : JoinPath(folder, name);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        found.files.push_back(LocalFile{path, name, static_cast<std::int64_t>(st.st_size),
                                        static_cast<std::int64_t>(st.st_mtime)});
    };
    if (mask.empty()) return found;
    if (!HasWildcard(mask)) {
        add(mask);
        return found;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        found.error = errno;
        return found;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (MatchesMask(name, mask)) add(name);
    }
    ::closedir(dir);
    std::sort(found.files.begin(), found.files.end(),
              [](const LocalFile& a, const LocalFile& b) { return a.name < b.name; });
    return found;
}

}  // namespace zyfar
