#pragma once
// Link files: ProfileBase()/Links/<name>.ini ties site profiles to one file
// list.
//
//   [LinkItems]
//   Sites=<n>
//   Files=<file-list folder>/flist.ini     (only when a file list was chosen)
//   [SITE1] .. [SITEn]
//   SITE=<full path of a site profile file>
//
// This file also keeps the links in step when profiles, profile folders and
// file lists are renamed, moved or deleted ("link upkeep").
#include "profiles/ProfileNames.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

inline constexpr const char* kLinkItemsSection = "LinkItems";
inline constexpr const char* kLinkSitesKey = "Sites";
inline constexpr const char* kLinkFilesKey = "Files";
inline constexpr const char* kLinkSiteKey = "SITE";

struct LinkDefinition {
    std::vector<std::string> sites;    // site profile paths, SITE1 first
    std::optional<std::string> files;  // path of the file list's "flist.ini"
};

// LinksFolder()/<name>.ini, or "" when the name is not a safe file name.
[[nodiscard]] std::string LinkFilePath(std::string_view name);

// "SITE%d" for a site number (from 1).
[[nodiscard]] std::string LinkSiteSection(int number);

// A missing file or missing keys read as an empty link. A negative or
// garbage "Sites" reads as 0; a count above the SITE sections present is cut
// to the highest one present; a SITE section that is missing reads as "".
[[nodiscard]] LinkDefinition ReadLinkFile(const std::string& linkFile);
[[nodiscard]] LinkDefinition ReadLink(std::string_view name);

// Every link file in the Links folder and below, named without ".ini".
[[nodiscard]] std::vector<NamedPath> ListLinks();

// "Add" of the links dialog. The name is cut before its first "." (empty:
// NoLinkName, 311); no sites: NoSites (312); fileEntries 0: NoFiles (313).
// Writes Sites, SITE1..SITEn and, when a file list folder is given,
// Files = <folder>/flist.ini, as one update. Adding over an existing link
// overwrites those keys and leaves the others. `savedName` gets the name.
[[nodiscard]] ProfileResult AddLink(std::string_view typedName, const std::vector<std::string>& sitePaths,
                                    std::size_t fileEntries, const std::optional<std::string>& fileListFolder,
                                    std::string* savedName = nullptr);

// "Rename": the new name is cut like AddLink's. Equal names: SameName (314);
// an existing link of the new name is never replaced (AlreadyExists).
[[nodiscard]] ProfileResult RenameLink(std::string_view oldName, std::string_view newTypedName,
                                       std::string* newName = nullptr);

// "Delete": an empty name is NoLinkSelected (315).
[[nodiscard]] ProfileResult DeleteLink(std::string_view name);

// The same two by the link file's path, for links in folders below Links
// (the rename keeps the file in its folder).
[[nodiscard]] ProfileResult RenameLinkFile(const std::string& linkFile, std::string_view newTypedName,
                                           std::string* newName = nullptr);
[[nodiscard]] ProfileResult DeleteLinkFile(const std::string& linkFile);

// ---- Link upkeep ----
// Each walks every link file below LinksFolder() and updates a link file in
// one locked write. The functions return the names of the links they changed
// or deleted, for the links combo.

// A site profile or a profile folder was deleted: every link with a SITE
// that is that path or lies below it (compared without regard to case) is
// deleted.
std::vector<std::string> DeleteLinksNaming(const std::string& deletedPath);

// A site profile was renamed or moved: SITE values equal to the old path
// get the new path.
std::vector<std::string> OnSiteProfileRenamed(const std::string& oldPath, const std::string& newPath);

// A profile folder was renamed or moved: SITE values below the old folder
// get the new folder followed by the rest of their old value.
std::vector<std::string> OnProfileFolderRenamed(const std::string& oldFolder, const std::string& newFolder);

// A file-list folder was renamed or moved: a Files value equal to
// <old>/flist.ini (without regard to case), or lying below the old folder,
// gets the new folder in place of the old one.
std::vector<std::string> OnFileListRenamed(const std::string& oldFolder, const std::string& newFolder);

// A file-list folder was deleted: the links whose Files names a list in it
// (without regard to case). Their files stay; the caller drops them from the
// links combo.
[[nodiscard]] std::vector<std::string> LinksUsingFileList(const std::string& deletedFolder);

}  // namespace zyfar
