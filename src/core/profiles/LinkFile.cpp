#include "profiles/LinkFile.h"

#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unistd.h>

namespace zyfar {
namespace {

// The sites a link really has (see NumberedSectionCount).
int SiteCount(const IniDocument& doc) { return NumberedSectionCount(doc, kLinkItemsSection, kLinkSitesKey, "SITE"); }

LinkDefinition DefinitionOf(const IniDocument& doc) {
    LinkDefinition def;
    const int n = SiteCount(doc);
    def.sites.reserve(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) def.sites.push_back(doc.Get(LinkSiteSection(i), kLinkSiteKey).value_or(""));
    def.files = doc.Get(kLinkItemsSection, kLinkFilesKey);
    return def;
}

// Runs fn over every link file under one lock each; returns the names of the
// links for which fn changed something.
template <typename Fn>
std::vector<std::string> UpdateEveryLink(Fn&& fn) {
    std::vector<std::string> changed;
    for (const NamedPath& link : ListIniFilesBelow(LinksFolder())) {
        bool touched = false;
        const bool ok = UpdatePrivateProfile(link.path, [&](IniDocument& doc) { touched = fn(doc); });
        if (ok && touched) changed.push_back(link.name);
    }
    return changed;
}

ProfileResult RenameLinkAt(const std::string& oldPath, const std::string& oldName, std::string_view newTypedName,
                           std::string* newName) {
    const std::string name = CutLinkName(newTypedName);
    if (name.empty()) return Fail(ProfileStatus::NoLinkName);
    if (!IsSafeName(name)) return Fail(ProfileStatus::InvalidName, name);
    if (name == oldName) return Fail(ProfileStatus::SameName);
    const std::string newPath = JoinPath(ParentFolderOf(oldPath), name + kProfileExtension);
    int err = 0;
    switch (RenameNoReplace(oldPath, newPath, &err)) {
        case RenameOutcome::Ok: break;
        case RenameOutcome::SourceMissing: return Fail(ProfileStatus::DoesNotExist, oldName);
        case RenameOutcome::TargetExists: return Fail(ProfileStatus::AlreadyExists, name);
        case RenameOutcome::Failed: return FailErrno("Cannot rename", oldPath, err);
    }
    RemoveLockSidecar(oldPath);
    if (newName) *newName = name;
    return {};
}

}  // namespace

std::string LinkFilePath(std::string_view name) {
    if (!IsSafeName(name)) return {};
    return JoinPath(LinksFolder(), std::string(name) + kProfileExtension);
}

std::string LinkSiteSection(int number) { return "SITE" + std::to_string(number); }

LinkDefinition ReadLinkFile(const std::string& linkFile) {
    if (linkFile.empty()) return {};
    return DefinitionOf(ReadPrivateProfile(linkFile));
}

LinkDefinition ReadLink(std::string_view name) { return ReadLinkFile(LinkFilePath(name)); }

std::vector<NamedPath> ListLinks() { return ListIniFilesBelow(LinksFolder()); }

ProfileResult AddLink(std::string_view typedName, const std::vector<std::string>& sitePaths, std::size_t fileEntries,
                      const std::optional<std::string>& fileListFolder, std::string* savedName) {
    const std::string name = CutLinkName(typedName);
    if (name.empty()) return Fail(ProfileStatus::NoLinkName);
    if (sitePaths.empty()) return Fail(ProfileStatus::NoSites);
    if (fileEntries == 0) return Fail(ProfileStatus::NoFiles);
    const std::string path = LinkFilePath(name);
    if (path.empty()) return Fail(ProfileStatus::InvalidName, name);

    std::optional<std::string> files;
    if (fileListFolder) files = JoinPath(WithoutTrailingSlash(*fileListFolder), kFileListFileName);
    for (const std::string& site : sitePaths)
        if (HasLineBreakOrNul(site)) return Fail(ProfileStatus::InvalidValue, site);
    if (files && HasLineBreakOrNul(*files)) return Fail(ProfileStatus::InvalidValue, *files);
    if (IsFolder(path)) return Fail(ProfileStatus::NotAFolder, path);

    bool stored = true;
    const bool written = UpdatePrivateProfile(path, [&](IniDocument& doc) {
        stored = doc.Set(kLinkItemsSection, kLinkSitesKey, std::to_string(sitePaths.size()));
        for (std::size_t i = 0; stored && i < sitePaths.size(); ++i)
            stored = doc.Set(LinkSiteSection(static_cast<int>(i + 1)), kLinkSiteKey, sitePaths[i]);
        if (stored && files) stored = doc.Set(kLinkItemsSection, kLinkFilesKey, *files);
    });
    // Values were checked above, so a refused Set can only come from the
    // engine; the whole update is then still one write of what was set.
    if (!written) return FailErrno("Cannot write", path, errno);
    if (!stored) return Fail(ProfileStatus::InvalidValue, path);
    if (savedName) *savedName = name;
    return {};
}

ProfileResult RenameLink(std::string_view oldName, std::string_view newTypedName, std::string* newName) {
    if (oldName.empty()) return Fail(ProfileStatus::NoLinkSelected);
    const std::string oldPath = LinkFilePath(oldName);
    if (oldPath.empty()) return Fail(ProfileStatus::InvalidName, std::string(oldName));
    return RenameLinkAt(oldPath, std::string(oldName), newTypedName, newName);
}

ProfileResult DeleteLink(std::string_view name) {
    if (name.empty()) return Fail(ProfileStatus::NoLinkSelected);
    const std::string path = LinkFilePath(name);
    if (path.empty()) return Fail(ProfileStatus::InvalidName, std::string(name));
    return DeleteLinkFile(path);
}

ProfileResult RenameLinkFile(const std::string& linkFile, std::string_view newTypedName, std::string* newName) {
    if (linkFile.empty()) return Fail(ProfileStatus::NoLinkSelected);
    return RenameLinkAt(linkFile, NameOfEntryFile(FileNameOf(linkFile)), newTypedName, newName);
}

ProfileResult DeleteLinkFile(const std::string& linkFile) {
    if (linkFile.empty()) return Fail(ProfileStatus::NoLinkSelected);
    if (!IsRegularFile(linkFile)) return Fail(ProfileStatus::DoesNotExist, NameOfEntryFile(FileNameOf(linkFile)));
    if (::unlink(linkFile.c_str()) != 0) return FailErrno("Cannot delete", linkFile, errno);
    RemoveLockSidecar(linkFile);
    return {};
}

// ---- Link upkeep ----

std::vector<std::string> DeleteLinksNaming(const std::string& deletedPath) {
    std::vector<std::string> removed;
    if (deletedPath.empty()) return removed;
    for (const NamedPath& link : ListIniFilesBelow(LinksFolder())) {
        const LinkDefinition def = ReadLinkFile(link.path);
        const bool names = std::any_of(def.sites.begin(), def.sites.end(), [&](const std::string& site) {
            return IsSameOrBelow(site, deletedPath, true);
        });
        if (names && ::unlink(link.path.c_str()) == 0) {
            RemoveLockSidecar(link.path);
            removed.push_back(link.name);
        }
    }
    return removed;
}

namespace {

// Gives every site entry of a link the new path `retarget` names for it (none:
// the entry stays); true when any entry changed.
template <class RetargetFn>
bool RetargetSites(IniDocument& doc, const RetargetFn& retarget) {
    bool touched = false;
    const int n = SiteCount(doc);
    for (int i = 1; i <= n; ++i) {
        const std::string section = LinkSiteSection(i);
        const std::optional<std::string> site = doc.Get(section, kLinkSiteKey);
        if (!site) continue;
        if (const std::optional<std::string> moved = retarget(*site)) {
            touched = doc.Set(section, kLinkSiteKey, *moved) || touched;
        }
    }
    return touched;
}

}  // namespace

std::vector<std::string> OnSiteProfileRenamed(const std::string& oldPath, const std::string& newPath) {
    if (oldPath.empty() || oldPath == newPath || HasLineBreakOrNul(newPath)) return {};
    return UpdateEveryLink([&](IniDocument& doc) {
        return RetargetSites(doc, [&](const std::string& site) -> std::optional<std::string> {
            if (site != oldPath) return std::nullopt;
            return newPath;
        });
    });
}

std::vector<std::string> OnProfileFolderRenamed(const std::string& oldFolder, const std::string& newFolder) {
    const std::string from = WithoutTrailingSlash(oldFolder);
    const std::string to = WithoutTrailingSlash(newFolder);
    if (from.empty() || from == to || HasLineBreakOrNul(to)) return {};
    return UpdateEveryLink([&](IniDocument& doc) {
        return RetargetSites(doc, [&](const std::string& site) -> std::optional<std::string> {
            if (!IsSameOrBelow(site, from, false)) return std::nullopt;
            return to + site.substr(from.size());
        });
    });
}

std::vector<std::string> OnFileListRenamed(const std::string& oldFolder, const std::string& newFolder) {
    const std::string from = WithoutTrailingSlash(oldFolder);
    const std::string to = WithoutTrailingSlash(newFolder);
    if (from.empty() || from == to || HasLineBreakOrNul(to)) return {};
    return UpdateEveryLink([&](IniDocument& doc) {
        const auto files = doc.Get(kLinkItemsSection, kLinkFilesKey);
        if (!files || !IsSameOrBelow(*files, from, true)) return false;
        return doc.Set(kLinkItemsSection, kLinkFilesKey, to + files->substr(from.size()));
    });
}

std::vector<std::string> LinksUsingFileList(const std::string& deletedFolder) {
    std::vector<std::string> out;
    if (deletedFolder.empty()) return out;
    for (const NamedPath& link : ListIniFilesBelow(LinksFolder())) {
        const LinkDefinition def = ReadLinkFile(link.path);
        if (def.files && IsSameOrBelow(*def.files, deletedFolder, true)) out.push_back(link.name);
    }
    return out;
}

}  // namespace zyfar
