#include "profiles/ProfileFolders.h"

#include "platform/Paths.h"
#include "profiles/FileList.h"
#include "profiles/LinkFile.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zyfar {
namespace {

struct Entry {
    std::string path;
    bool folder = false;  // a real folder (a symbolic link to one is not)
};

// The entries of a folder (without "." and ".."); false when it cannot be read.
bool ReadEntries(const std::string& folder, std::vector<Entry>& out, int& err) {
    out.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        err = errno;
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        Entry entry{JoinPath(folder, name), false};
        struct stat st {};
        if (::lstat(entry.path.c_str(), &st) == 0) entry.folder = S_ISDIR(st.st_mode);
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
}

// Keeps the first failure.
struct Failures {
    int err = 0;
    std::string path;
    void Note(const std::string& p, int e) {
        if (err != 0) return;
        err = e != 0 ? e : EIO;
        path = p;
    }
};

void RemoveTree(const std::string& folder, Failures& failed, int depth) {
    std::vector<Entry> entries;
    int err = 0;
    if (depth > 512) {
        failed.Note(folder, ELOOP);
        return;
    }
    if (!ReadEntries(folder, entries, err)) {
        failed.Note(folder, err);
        return;
    }
    for (const Entry& e : entries) {
        if (e.folder) {
            RemoveTree(e.path, failed, depth + 1);
        } else if (::unlink(e.path.c_str()) != 0 && errno != ENOENT) {
            failed.Note(e.path, errno);
        }
    }
    if (::rmdir(folder.c_str()) != 0 && errno != ENOENT) failed.Note(folder, errno);
}

// True when `folder` lies strictly below `root`.
bool StrictlyBelow(const std::string& folder, const std::string& root) {
    return folder != WithoutTrailingSlash(root) && IsSameOrBelow(folder, WithoutTrailingSlash(root), false);
}

}  // namespace

std::string NumberedName(std::string_view base, int n) { return std::string(base) + " (" + std::to_string(n) + ")"; }

std::string FreeNameIn(const std::string& parent, std::string_view base) {
    if (!IsSafeName(base)) return {};
    if (!PathExists(JoinPath(parent, std::string(base)))) return std::string(base);
    for (int n = 1; n <= kMaxNameNumber; ++n) {
        std::string name = NumberedName(base, n);
        if (!PathExists(JoinPath(parent, name))) return name;
    }
    return {};
}

ProfileResult CreateFolderUnderFreeName(const std::string& parent, std::string_view base, std::string* newFolder) {
    if (!IsSafeName(base)) return Fail(ProfileStatus::InvalidName, std::string(base));
    if (!IsFolder(parent)) return Fail(ProfileStatus::NoSuchPath, parent);
    for (int n = 0; n <= kMaxNameNumber; ++n) {
        const std::string name = n == 0 ? std::string(base) : NumberedName(base, n);
        const std::string path = JoinPath(parent, name);
        if (::mkdir(path.c_str(), 0700) == 0) {
            if (newFolder) *newFolder = path;
            return {};
        }
        if (errno != EEXIST) return FailErrno("Cannot create", path, errno);
    }
    return Fail(ProfileStatus::FolderExists, std::string(base));
}

ProfileResult RemoveFolder(const std::string& folder, FolderRemoval how) {
    if (how == FolderRemoval::Cancel) return {};
    const std::string path = WithoutTrailingSlash(folder);
    if (path.empty() || path == "/") return Fail(ProfileStatus::InvalidName, path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(ProfileStatus::NoSuchPath, path);

    Failures failed;
    if (how == FolderRemoval::All) {
        RemoveTree(path, failed, 0);
    } else {
        std::vector<Entry> entries;
        int err = 0;
        if (!ReadEntries(path, entries, err)) return FailErrno("Cannot read", path, err);
        // A sub-folder stops the folder-only delete before anything is gone.
        for (const Entry& e : entries)
            if (e.folder) return Fail(ProfileStatus::HasSubFolders);
        for (const Entry& e : entries)
            if (::unlink(e.path.c_str()) != 0 && errno != ENOENT) failed.Note(e.path, errno);
        if (::rmdir(path.c_str()) != 0 && errno != ENOENT) failed.Note(path, errno);
    }
    if (failed.err == 0) return {};
    if (failed.path == path && (failed.err == ENOTEMPTY || failed.err == EEXIST || failed.err == EACCES ||
                                failed.err == EPERM || failed.err == EROFS))
        return Fail(ProfileStatus::HasSubFolders);
    return FailErrno("Cannot delete", failed.path, failed.err);
}

ProfileResult DeleteProfileFolder(const std::string& folder, FolderRemoval how,
                                  std::vector<std::string>* removedLinks) {
    const std::string path = WithoutTrailingSlash(folder);
    if (!StrictlyBelow(path, ProfilesFolder())) return Fail(ProfileStatus::InvalidName, path);
    if (how == FolderRemoval::Cancel) return {};
    const std::vector<NamedPath> before = ListIniFilesBelow(path);
    ProfileResult result = RemoveFolder(path, how);
    std::vector<std::string> removed;
    if (result.ok()) {
        removed = DeleteLinksNaming(path);
    } else {
        // Part of the folder may be gone: exactly the links naming a profile
        // that no longer exists go with it.
        for (const NamedPath& p : before) {
            if (PathExists(p.path)) continue;
            for (std::string& name : DeleteLinksNaming(p.path)) removed.push_back(std::move(name));
        }
    }
    if (removedLinks) *removedLinks = std::move(removed);
    return result;
}

ProfileResult DeleteFileListFolder(const std::string& folder, FolderRemoval how,
                                   std::vector<std::string>* droppedLinks) {
    const std::string path = WithoutTrailingSlash(folder);
    if (!StrictlyBelow(path, FilesFolder())) return Fail(ProfileStatus::InvalidName, path);
    if (how == FolderRemoval::Cancel) return {};
    // The links that use a list in the folder are found before the delete;
    // those whose list is gone afterwards are dropped (a partial delete may
    // leave some lists in place).
    std::vector<NamedPath> using_;
    for (const NamedPath& link : ListLinks()) {
        const LinkDefinition def = ReadLinkFile(link.path);
        if (def.files && IsSameOrBelow(*def.files, path, true)) using_.push_back({link.name, *def.files});
    }
    ProfileResult result = RemoveFolder(path, how);
    std::vector<std::string> dropped;
    for (const NamedPath& link : using_)
        if (!PathExists(link.path)) dropped.push_back(link.name);
    if (droppedLinks) *droppedLinks = std::move(dropped);
    return result;
}

ProfileResult MoveFileListFolder(const std::string& folder, const std::string& targetParent, std::string* newFolder) {
    const std::string from = WithoutTrailingSlash(folder);
    const std::string parent = WithoutTrailingSlash(targetParent);
    if (!IsFolder(from)) return Fail(ProfileStatus::NoSuchPath, from);
    if (!IsFolder(parent)) return Fail(ProfileStatus::NoSuchPath, parent);
    if (IsSameOrBelow(parent, from, false)) return Fail(ProfileStatus::InvalidName, parent);
    return MoveFolderNoReplace(from, JoinPath(parent, FileNameOf(from)), OnFileListRenamed, newFolder);
}

}  // namespace zyfar
