#pragma once
// Folders of the profile trees (site-profile folders below ProfilesFolder(),
// file-list folders below FilesFolder()): making a new folder under a free
// name, and deleting a folder together with the link upkeep it needs.
//
// Deleting comes in two strengths, chosen by the user in the delete question:
// - All ("Yes To All"): every file and folder below the folder, then the folder.
// - FolderOnly ("Profile only", "This folder only"): the folder's own files
//   (its profiles, its "flist.ini") and then the folder, but only when it has
//   no sub-folder; otherwise nothing is deleted and the answer is
//   HasSubFolders (33047).
// Symbolic links are removed as links; what they point at is never touched.
#include "profiles/ProfileNames.h"

#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

// Upper bound of the numbers tried for a free name.
inline constexpr int kMaxNameNumber = 9999;

// "<base> (<n>)": the n-th alternative for a taken name.
[[nodiscard]] std::string NumberedName(std::string_view base, int n);

// The first name not present in `parent`: `base`, then "<base> (1)",
// "<base> (2)" ... Empty when the base is not a safe name or no number up
// to kMaxNameNumber is free.
[[nodiscard]] std::string FreeNameIn(const std::string& parent, std::string_view base);

// Creates a folder in `parent` under the first free name (a name taken by a
// file counts as taken; a name taken meanwhile by someone else is skipped).
// NoSuchPath (33036) when the parent is missing. `newFolder` gets its path.
[[nodiscard]] ProfileResult CreateFolderUnderFreeName(const std::string& parent, std::string_view base,
                                                      std::string* newFolder = nullptr);

enum class FolderRemoval { Cancel, FolderOnly, All };

// Removes a folder as described above. Cancel removes nothing and is Ok. A
// missing folder is NoSuchPath; "/" and "" are refused (InvalidName). When
// something cannot be removed the walk goes on with the rest and the answer
// is an IoError naming the first failure (or HasSubFolders when only the
// folder itself stayed because it was not empty).
[[nodiscard]] ProfileResult RemoveFolder(const std::string& folder, FolderRemoval how);

// Deletes a profile folder (strictly below ProfilesFolder(); the root itself
// is refused) and then every link that names a deleted profile. When only a
// part could be deleted, exactly the links naming the profiles that are gone
// are deleted. `removedLinks` gets the names of the deleted links.
[[nodiscard]] ProfileResult DeleteProfileFolder(const std::string& folder, FolderRemoval how,
                                                std::vector<std::string>* removedLinks = nullptr);

// Deletes a file-list folder (strictly below FilesFolder()). Links that used
// a list that is gone keep their files; `droppedLinks` gets their names, for
// the links combo.
[[nodiscard]] ProfileResult DeleteFileListFolder(const std::string& folder, FolderRemoval how,
                                                 std::vector<std::string>* droppedLinks = nullptr);

// Moves a file-list folder below another folder of the Files tree; the links
// follow. Into itself or below itself is refused (InvalidName).
[[nodiscard]] ProfileResult MoveFileListFolder(const std::string& folder, const std::string& targetParent,
                                               std::string* newFolder = nullptr);

}  // namespace zyfar
