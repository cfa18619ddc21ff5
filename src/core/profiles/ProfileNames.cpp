#include "profiles/ProfileNames.h"

#include "platform/MessageTable.h"
#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zyfar {
namespace {

bool CharsEqual(char a, char b, bool ignoreCase) {
    return ignoreCase ? LowerAscii(a) == LowerAscii(b) : a == b;
}

struct DirEntryInfo {
    std::string name;
    bool folder = false;
    bool regular = false;
};

// The entries of one folder except "." and ".."; symbolic links are reported
// as what they are (neither folder nor regular file) so walks never follow
// them.
std::vector<DirEntryInfo> ReadFolder(const std::string& folder) {
    std::vector<DirEntryInfo> out;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return out;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        if (::lstat(JoinPath(folder, name).c_str(), &st) != 0) continue;
        out.push_back({name, S_ISDIR(st.st_mode), S_ISREG(st.st_mode)});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const DirEntryInfo& a, const DirEntryInfo& b) { return a.name < b.name; });
    return out;
}

// Depth guard for the recursive walks: a tree deeper than this is not a
// profile tree anyone made by hand.
constexpr int kMaxWalkDepth = 64;

void WalkIniFiles(const std::string& folder, int depth, std::vector<NamedPath>& out) {
    if (depth > kMaxWalkDepth) return;
    for (const DirEntryInfo& e : ReadFolder(folder)) {
        const std::string path = JoinPath(folder, e.name);
        if (e.folder) {
            WalkIniFiles(path, depth + 1, out);
        } else if (e.regular && HasIniExtension(e.name)) {
            out.push_back({NameOfEntryFile(e.name), path});
        }
    }
}

void WalkFolders(const std::string& folder, int depth, std::vector<NamedPath>& out) {
    if (depth > kMaxWalkDepth) return;
    for (const DirEntryInfo& e : ReadFolder(folder)) {
        if (!e.folder) continue;
        const std::string path = JoinPath(folder, e.name);
        out.push_back({e.name, path});
        WalkFolders(path, depth + 1, out);
    }
}

}  // namespace

// ---- Results ----

int ProfileResult::messageId() const {
    switch (status) {
        case ProfileStatus::MissingFields: return 226;
        case ProfileStatus::AlreadyExists: return 227;
        case ProfileStatus::DoesNotExist: return 228;
        case ProfileStatus::NotServerFile: return 146;
        case ProfileStatus::NoSuchPath: return 33036;
        case ProfileStatus::FolderExists: return 33048;
        case ProfileStatus::HasSubFolders: return 33047;
        case ProfileStatus::NoLinkName: return 311;
        case ProfileStatus::NoSites: return 312;
        case ProfileStatus::NoFiles: return 313;
        case ProfileStatus::SameName: return 314;
        case ProfileStatus::NoLinkSelected: return 315;
        default: return 0;
    }
}

std::string ProfileResult::text() const {
    std::string out;
    if (const int id = messageId(); id != 0) {
        out = std::string(MessageText(id));
    } else {
        switch (status) {
            case ProfileStatus::Ok: break;
            case ProfileStatus::InvalidName: out = "Invalid name"; break;
            case ProfileStatus::InvalidValue: out = "A value cannot be stored (it holds a line break or NUL)"; break;
            case ProfileStatus::NotAFolder: out = "A file with this name is in the way"; break;
            default: out = "Could not read or write the file"; break;
        }
    }
    if (!detail.empty()) {
        if (!out.empty()) out += '\n';
        out += detail;
    }
    return out;
}

ProfileResult Fail(ProfileStatus status, std::string detail) { return ProfileResult{status, std::move(detail)}; }

ProfileResult FailErrno(const std::string& what, const std::string& path, int err) {
    if (err == 0) return Fail(ProfileStatus::IoError, what + " " + path);
    return Fail(ProfileStatus::IoError, what + " " + path + ": " + std::strerror(err));
}

// ---- Folders ----

std::string ProfilesFolder() { return JoinPath(ProfileBase(), kProfilesFolderName); }
std::string FilesFolder() { return JoinPath(ProfileBase(), kFilesFolderName); }
std::string LinksFolder() { return JoinPath(ProfileBase(), kLinksFolderName); }

// ---- Name rules ----

bool IsSafeName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find("..") != std::string_view::npos) return false;
    return name.find('/') == std::string_view::npos && !HasLineBreakOrNul(name);
}

std::string CutProfileName(std::string_view typed) {
    const std::size_t dot = typed.find('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(typed);
    return std::string(typed.substr(0, dot));
}

std::string CutLinkName(std::string_view typed) {
    return std::string(typed.substr(0, std::min(typed.find('.'), typed.size())));
}

std::string NameOfEntryFile(std::string_view fileName) {
    return std::string(fileName.substr(0, fileName.size() >= 4 ? fileName.size() - 4 : 0));
}

bool HasIniExtension(std::string_view fileName) {
    return EndsWithNoCase(fileName, ".ini");
}

// ---- Paths ----

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string ParentFolderOf(const std::string& path) {
    const std::string p = WithoutTrailingSlash(path);
    const std::size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
    const std::string p = WithoutTrailingSlash(path);
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

bool IsSameOrBelow(std::string_view candidate, std::string_view path, bool ignoreCase) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path.empty() || candidate.size() < path.size()) return false;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (!CharsEqual(candidate[i], path[i], ignoreCase)) return false;
    if (candidate.size() == path.size()) return true;
    return path == "/" || candidate[path.size()] == '/';
}

std::vector<NamedPath> ListIniFilesBelow(const std::string& folder) {
    std::vector<NamedPath> out;
    WalkIniFiles(folder, 0, out);
    return out;
}

std::vector<NamedPath> ListIniFilesIn(const std::string& folder) {
    std::vector<NamedPath> out;
    for (const DirEntryInfo& e : ReadFolder(folder))
        if (e.regular && HasIniExtension(e.name)) out.push_back({NameOfEntryFile(e.name), JoinPath(folder, e.name)});
    return out;
}

std::vector<NamedPath> ListFoldersBelow(const std::string& folder) {
    std::vector<NamedPath> out;
    WalkFolders(folder, 0, out);
    return out;
}

RenameOutcome RenameNoReplace(const std::string& from, const std::string& to, int* err) {
    auto fail = [&](RenameOutcome outcome, int e) {
        if (err) *err = e;
        return outcome;
    };
    if (!PathExists(from)) return fail(RenameOutcome::SourceMissing, ENOENT);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return RenameOutcome::Ok;
    int e = errno;
    if (e == EINVAL || e == ENOSYS) {
        // File systems without RENAME_NOREPLACE: check, then rename. Only a
        // racing creator of the very same name can slip in between.
        if (PathExists(to)) return fail(RenameOutcome::TargetExists, EEXIST);
        if (::rename(from.c_str(), to.c_str()) == 0) return RenameOutcome::Ok;
        e = errno;
    }
    if (e == EEXIST || e == ENOTEMPTY) return fail(RenameOutcome::TargetExists, e);
    if (e == ENOENT) return fail(RenameOutcome::SourceMissing, e);
    return fail(RenameOutcome::Failed, e);
}

int NumberedSectionNumber(std::string_view name, std::string_view upperPrefix) {
    const std::size_t p = upperPrefix.size();
    if (name.size() <= p || !StartsWithNoCase(name, upperPrefix)) return 0;
    long long n = 0;
    for (std::size_t i = p; i < name.size(); ++i) {
        if (!IsDigit(name[i])) return 0;
        n = n * 10 + (name[i] - '0');
        if (n > 1000000000) return 0;
    }
    return static_cast<int>(n);
}

int NumberedSectionCount(const IniDocument& doc, std::string_view countSection, std::string_view countKey,
                         std::string_view upperPrefix) {
    const auto stored = doc.Get(countSection, countKey);
    const int count = stored ? std::max(0, ParseLeadingInt(*stored)) : 0;
    if (count == 0) return 0;
    int highest = 0;
    for (const std::string& name : doc.SectionNames())
        highest = std::max(highest, NumberedSectionNumber(name, upperPrefix));
    return std::min(count, highest);
}

ProfileResult MoveFolderNoReplace(const std::string& from, const std::string& target, FolderMovedFn moved,
                                  std::string* newFolder) {
    if (target != from) {
        int err = 0;
        switch (RenameNoReplace(from, target, &err)) {
            case RenameOutcome::Ok: break;
            case RenameOutcome::SourceMissing: return Fail(ProfileStatus::NoSuchPath, from);
            case RenameOutcome::TargetExists: return Fail(ProfileStatus::FolderExists);
            case RenameOutcome::Failed:
                if (err == EACCES || err == EPERM) return Fail(ProfileStatus::FolderExists);
                if (err == ENOTDIR) return Fail(ProfileStatus::NoSuchPath, from);
                return FailErrno("Cannot rename", from, err);
        }
        (void)moved(from, target);
    }
    if (newFolder) *newFolder = target;
    return {};
}

void RemoveLockSidecar(const std::string& file) { ::unlink((file + ".lock").c_str()); }

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace zyfar
