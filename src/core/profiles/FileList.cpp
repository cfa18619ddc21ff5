#include "profiles/FileList.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "profiles/LinkFile.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <dirent.h>
#include <sys/stat.h>
#include <unordered_set>

namespace zyfar {
namespace {

// The leading decimal digits of a size text as a 64-bit number; a sign,
// garbage or an absent value gives 0, overflow the largest value.
std::int64_t ParseSize(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    std::int64_t n = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        const int d = text[i] - '0';
        if (n > (kMax - d) / 10) return kMax;
        n = n * 10 + d;
    }
    return n;
}

// A text survives a round trip through the file only without line breaks,
// NUL and blanks at either end (the reader trims those).
bool RoundTrips(std::string_view v) {
    if (HasLineBreakOrNul(v)) return false;
    if (v.empty()) return true;
    return !IsWhiteSpace(v.front()) && !IsWhiteSpace(v.back());
}

}  // namespace

std::string FileListSection(int number) { return "FILE" + std::to_string(number); }

std::string FileListIniPath(const std::string& listFolder) { return JoinPath(listFolder, kFileListFileName); }

std::string FileListLocalPath(const FileListItem& item) {
    if (item.folder.empty()) return item.localName;
    if (item.folder.back() == '/') return item.folder + item.localName;
    return item.folder + "/" + item.localName;
}

std::vector<FileListItem> LoadFileListFile(const std::string& flistIni) {
    std::vector<FileListItem> items;
    if (flistIni.empty()) return items;
    const IniDocument doc = ReadPrivateProfile(flistIni);
    const int count = NumberedSectionCount(doc, kListSection, kListNumItemsKey, "FILE");
    for (int i = 1; i <= count; ++i) {
        const std::string section = FileListSection(i);
        FileListItem item;
        item.localName = doc.Get(section, kListLocalNameKey).value_or("");
        if (item.localName.empty()) continue;
        item.folder = doc.Get(section, kListFolderKey).value_or("");
        item.remoteName = doc.Get(section, kListRemoteNameKey).value_or("");
        if (item.remoteName.empty()) item.remoteName = item.localName;
        item.size = ParseSize(doc.Get(section, kListSizeKey).value_or("0"));
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<FileListItem> LoadFileList(const std::string& listFolder) {
    return LoadFileListFile(FileListIniPath(listFolder));
}

bool HasFileListItem(const std::vector<FileListItem>& items, std::string_view folder, std::string_view localName) {
    return std::any_of(items.begin(), items.end(), [&](const FileListItem& i) {
        return i.folder == folder && i.localName == localName;
    });
}

std::size_t MergeFileListItems(std::vector<FileListItem>& items, const std::vector<FileListItem>& more) {
    std::size_t added = 0;
    for (const FileListItem& item : more) {
        if (HasFileListItem(items, item.folder, item.localName)) continue;
        items.push_back(item);
        ++added;
    }
    return added;
}

namespace {

struct DropWalk {
    std::unordered_set<std::string> seen;  // lower-cased "folder/name" of every item so far
    DroppedFiles out;
    std::size_t limit = 0;

    void AddFile(const std::string& folder, const std::string& name, const struct stat& st) {
        std::string key = ToLowerAscii(folder + name);
        if (seen.contains(key)) return;
        if (out.items.size() >= limit) {
            out.truncated = true;
            return;
        }
        seen.insert(std::move(key));
        out.items.push_back(FileListItem{folder, name, "", st.st_size, st.st_mtime});
    }

    void AddFolder(const std::string& folder, int depth) {
        if (depth > 64 || out.truncated) return;
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return;
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view n = e->d_name;
            if (n != "." && n != "..") names.emplace_back(n);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
        for (const std::string& n : names) {
            struct stat st {};
            if (::lstat((prefix + n).c_str(), &st) != 0) continue;
            if (S_ISREG(st.st_mode)) AddFile(prefix, n, st);
            else if (S_ISDIR(st.st_mode)) AddFolder(prefix + n, depth + 1);
        }
    }
};

}  // namespace

DroppedFiles CollectDroppedFiles(const std::vector<std::string>& paths, const std::vector<FileListItem>& existing,
                                 std::size_t limit) {
    DropWalk walk;
    walk.limit = limit;
    for (const FileListItem& item : existing) {
        const std::string folder =
            item.folder.ends_with('/') || item.folder.empty() ? item.folder : item.folder + "/";
        walk.seen.insert(ToLowerAscii(folder + item.localName));
    }
    for (const std::string& path : paths) {
        if (path.empty() || path.size() > kDroppedPathLimit) continue;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            walk.AddFolder(path, 0);
        } else if (S_ISREG(st.st_mode)) {
            const std::size_t slash = path.rfind('/');
            const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
            walk.AddFile(folder, path.substr(slash == std::string::npos ? 0 : slash + 1), st);
        }
    }
    return std::move(walk.out);
}

ProfileResult SaveFileList(const std::string& listFolder, const std::vector<FileListItem>& items) {
    if (items.empty()) return {};
    for (const FileListItem& item : items) {
        if (item.localName.empty() || !RoundTrips(item.localName) || !RoundTrips(item.folder) ||
            !RoundTrips(item.remoteName))
            return Fail(ProfileStatus::InvalidValue, FileListLocalPath(item));
    }
    if (!IsFolder(listFolder)) return Fail(ProfileStatus::NoSuchPath, listFolder);
    const std::string path = FileListIniPath(listFolder);
    bool stored = true;
    const bool written = UpdatePrivateProfile(path, [&](IniDocument& doc) {
        stored = doc.Set(kListSection, kListNumItemsKey, std::to_string(items.size()));
        for (std::size_t i = 0; stored && i < items.size(); ++i) {
            const FileListItem& item = items[i];
            stored = doc.ReplaceSection(FileListSection(static_cast<int>(i + 1)),
                                        {{kListLocalNameKey, item.localName},
                                         {kListFolderKey, item.folder},
                                         {kListRemoteNameKey, item.remoteName.empty() ? item.localName : item.remoteName},
                                         {kListSizeKey, std::to_string(std::max<std::int64_t>(0, item.size))}});
        }
    });
    if (!written) return FailErrno("Cannot write", path, errno);
    if (!stored) return Fail(ProfileStatus::InvalidValue, path);
    return {};
}

ProfileResult CreateFileListFolder(std::string_view name, std::string* folder) {
    if (!IsSafeName(name)) return Fail(ProfileStatus::InvalidName, std::string(name));
    const std::string path = JoinPath(FilesFolder(), std::string(name));
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return Fail(ProfileStatus::NotAFolder, path);
    } else if (!MakeFolders(path)) {
        return FailErrno("Cannot create", path, errno);
    }
    if (folder) *folder = path;
    return {};
}

std::vector<NamedPath> ListFileLists() { return ListFoldersBelow(FilesFolder()); }

ProfileResult RenameFileListFolder(const std::string& folder, std::string_view newLabel, std::string* newFolder) {
    const std::string label(newLabel);
    if (!IsSafeName(label)) return Fail(ProfileStatus::InvalidName, label);
    const std::string from = WithoutTrailingSlash(folder);
    if (!IsFolder(from)) return Fail(ProfileStatus::NoSuchPath, from);
    return MoveFolderNoReplace(from, JoinPath(ParentFolderOf(from), label), OnFileListRenamed, newFolder);
}

}  // namespace zyfar
