#pragma once
// File-list profiles: one folder per list below FilesFolder(), each holding
// "flist.ini":
//   [LIST]   NumItems=<n>
//   [FILE1] .. [FILEn]   LocalName, Folder, RemoteName, Size
#include "profiles/ProfileNames.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

inline constexpr const char* kListSection = "LIST";
inline constexpr const char* kListNumItemsKey = "NumItems";
inline constexpr const char* kListLocalNameKey = "LocalName";
inline constexpr const char* kListFolderKey = "Folder";
inline constexpr const char* kListRemoteNameKey = "RemoteName";
inline constexpr const char* kListSizeKey = "Size";

struct FileListItem {
    std::string folder;      // local folder of the file
    std::string localName;   // file name on the local disk
    std::string remoteName;  // name on the servers (the local name unless set)
    std::int64_t size = 0;   // bytes
    std::int64_t lastWrite = 0;  // seconds since the epoch; not stored in the list file

    bool operator==(const FileListItem&) const = default;
};

// "FILE%d" for an item number (from 1).
[[nodiscard]] std::string FileListSection(int number);

// <folder>/flist.ini
[[nodiscard]] std::string FileListIniPath(const std::string& listFolder);

// Folder + "/" (unless the folder ends with one) + local name.
[[nodiscard]] std::string FileListLocalPath(const FileListItem& item);

// Reads a "flist.ini". A missing file reads as an empty list. A negative or
// garbage NumItems reads as 0 and a count above the FILE sections present is
// cut to the highest one present; a FILE section that is missing or has no
// LocalName is skipped. An empty RemoteName reads as the local name; Size is
// read as a 64-bit number (absent or garbage 0, negative 0).
[[nodiscard]] std::vector<FileListItem> LoadFileListFile(const std::string& flistIni);
[[nodiscard]] std::vector<FileListItem> LoadFileList(const std::string& listFolder);

// True when the list already holds an item with this folder and local name.
[[nodiscard]] bool HasFileListItem(const std::vector<FileListItem>& items, std::string_view folder,
                                   std::string_view localName);

// Adds every item of `more` that `items` does not yet hold (same folder and
// local name); returns how many were added.
std::size_t MergeFileListItems(std::vector<FileListItem>& items, const std::vector<FileListItem>& more);

// Files dropped from the desktop onto the main window. Each path of at most
// kDroppedPathLimit characters that exists is taken: a regular file becomes
// one item (its folder ending in "/", its name, size and last-write time, an
// empty remote name); a folder adds every regular file of its whole subtree
// (symbolic links are not followed). A file already in `existing`, or
// collected before, with the same folder and name compared without regard to
// case, is skipped. At most `limit` items are collected; `truncated` tells
// when more were there.
inline constexpr std::size_t kDroppedPathLimit = 180;
struct DroppedFiles {
    std::vector<FileListItem> items;
    bool truncated = false;
};
[[nodiscard]] DroppedFiles CollectDroppedFiles(const std::vector<std::string>& paths,
                                               const std::vector<FileListItem>& existing,
                                               std::size_t limit = 100000);

// Writes "flist.ini" in the list folder as one update: NumItems first, then
// FILE1..FILEn with LocalName, Folder, RemoteName, Size (each FILE section is
// replaced whole). Sections above n left by an earlier, longer list stay.
// An empty list writes nothing. An item whose texts cannot be stored as
// they are (line break, NUL, blanks at either end, an empty local name)
// fails the whole save with InvalidValue and writes nothing.
[[nodiscard]] ProfileResult SaveFileList(const std::string& listFolder, const std::vector<FileListItem>& items);

// The folder for a new list of that name below FilesFolder(), created when
// missing. A plain file in the way gives NotAFolder and nothing is created.
[[nodiscard]] ProfileResult CreateFileListFolder(std::string_view name, std::string* folder = nullptr);

// Every list folder below FilesFolder() at any depth.
[[nodiscard]] std::vector<NamedPath> ListFileLists();

// Renames a list folder to parent + "/" + newLabel (NoSuchPath 33036,
// FolderExists 33048 as for profile folders); the links follow.
[[nodiscard]] ProfileResult RenameFileListFolder(const std::string& folder, std::string_view newLabel,
                                                 std::string* newFolder = nullptr);

}  // namespace zyfar
