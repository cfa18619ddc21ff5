#pragma once
// Names and folders of the profile tree: site profiles below
// ProfileBase()/Profiles, file lists below ProfileBase()/Files, links below
// ProfileBase()/Links, plus the result type that every profile operation
// returns.
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

class IniDocument;

inline constexpr const char* kProfilesFolderName = "Profiles";
inline constexpr const char* kFilesFolderName = "Files";
inline constexpr const char* kLinksFolderName = "Links";
inline constexpr const char* kFileListFileName = "flist.ini";
inline constexpr const char* kProfileExtension = ".ini";
inline constexpr const char* kNewProfileFolderLabel = "New Profile";

// ---- Results ----

enum class ProfileStatus {
    Ok,
    MissingFields,     // 226 "Please fill all fields"
    AlreadyExists,     // 227 "A profile with this name already exists!"
    DoesNotExist,      // 228 "A profile with this name does not exist!"
    NotServerFile,     // 146 "File was not a valid FTP server file!"
    NoSuchPath,        // 33036 "No such path to create directory"
    FolderExists,      // 33048 "Folder was not renamed. ..."
    NoLinkName,        // 311 "Please insert a link name"
    NoSites,           // 312 "There are no FTP Sites in the list box"
    NoFiles,           // 313 "There are no files in the list box"
    SameName,          // 314 "Old and new names are identical, cannot rename"
    NoLinkSelected,    // 315 "A link has not been selected for deletion"
    InvalidName,       // a name that would leave its folder or cannot be a file name
    InvalidValue,      // a value that cannot be stored in a profile file (line break, NUL)
    NotAFolder,        // a plain file stands where a folder is needed
    HasSubFolders,     // 33047 "Could not remove folder ..." (sub-folders left, or write protected)
    IoError,           // reading or writing failed; detail says what
};

struct ProfileResult {
    ProfileStatus status = ProfileStatus::Ok;
    std::string detail;  // extra words for the user: the offending name, the system error

    [[nodiscard]] bool ok() const { return status == ProfileStatus::Ok; }
    // The string-table number of the message to show, 0 when there is none.
    [[nodiscard]] int messageId() const;
    // The message text (the string-table text when there is one), followed by
    // the detail on its own line when there is a detail.
    [[nodiscard]] std::string text() const;
};

[[nodiscard]] ProfileResult Fail(ProfileStatus status, std::string detail = {});
// An IoError whose detail is "<what> <path>: <strerror(errno)>".
[[nodiscard]] ProfileResult FailErrno(const std::string& what, const std::string& path, int err);

// ---- Folders ----

[[nodiscard]] std::string ProfilesFolder();  // ProfileBase()/Profiles
[[nodiscard]] std::string FilesFolder();     // ProfileBase()/Files
[[nodiscard]] std::string LinksFolder();     // ProfileBase()/Links

// ---- Name rules ----

// A name that can be one path component inside its folder: not empty, not
// "." or "..", no "..", no "/", no NUL, CR or LF.
[[nodiscard]] bool IsSafeName(std::string_view name);

// A profile name typed in the form: cut at its first "." unless that dot is
// the first character ("site.old" -> "site", ".hidden" stays ".hidden").
[[nodiscard]] std::string CutProfileName(std::string_view typed);

// A link name typed in the links dialog: cut before its first "."
// ("daily.ini" -> "daily", ".x" -> "").
[[nodiscard]] std::string CutLinkName(std::string_view typed);

// The name shown for a profile or link file: the file name without its last
// four characters (".ini").
[[nodiscard]] std::string NameOfEntryFile(std::string_view fileName);

// True when the file name ends in ".ini" (any case).
[[nodiscard]] bool HasIniExtension(std::string_view fileName);

// ---- Numbered sections ----

// The number of a "<prefix><digits>" section name ("FILE3", "site12"; the
// prefix in its upper or lower case letters), or 0.
[[nodiscard]] int NumberedSectionNumber(std::string_view name, std::string_view upperPrefix);

// How many numbered entries a file really has: the count stored under
// `countKey` of `countSection` (absent, negative or garbage = 0), never more
// than the highest "<prefix><n>" section present, so that a damaged count
// cannot make a walk run for billions of empty entries.
[[nodiscard]] int NumberedSectionCount(const IniDocument& doc, std::string_view countSection,
                                       std::string_view countKey, std::string_view upperPrefix);

// ---- Paths ----

[[nodiscard]] std::string ParentFolderOf(const std::string& path);  // "/a/b" -> "/a", "/a" -> "/"
[[nodiscard]] std::string FileNameOf(const std::string& path);      // "/a/b.ini" -> "b.ini"

// The path without trailing "/" (the root "/" stays).
[[nodiscard]] std::string WithoutTrailingSlash(std::string path);

// True when `candidate` is `path` itself or lies below it ("path/..."),
// comparing whole path components, optionally without regard to ASCII case.
[[nodiscard]] bool IsSameOrBelow(std::string_view candidate, std::string_view path, bool ignoreCase);

struct NamedPath {
    std::string name;  // what the user sees
    std::string path;  // full path
};

// Every "*.ini" file in the folder and all folders below it (symbolic links
// are not followed into), named by NameOfEntryFile, ordered by path.
[[nodiscard]] std::vector<NamedPath> ListIniFilesBelow(const std::string& folder);

// Every "*.ini" file directly in the folder, ordered by name.
[[nodiscard]] std::vector<NamedPath> ListIniFilesIn(const std::string& folder);

// Every folder below `folder` at any depth, named by its own name, ordered
// by path.
[[nodiscard]] std::vector<NamedPath> ListFoldersBelow(const std::string& folder);

enum class RenameOutcome { Ok, SourceMissing, TargetExists, Failed };

// Renames a file or a folder, never replacing an existing target (plain
// rename() would silently overwrite one).
[[nodiscard]] RenameOutcome RenameNoReplace(const std::string& from, const std::string& to, int* err = nullptr);

// Moves the folder `from` to `target`, never over anything there; a target
// equal to `from` is no move. A missing path fails with NoSuchPath (33036),
// access denied or an existing name with FolderExists (33048). After a move
// `moved(from, target)` lets what names the folder follow it. `newFolder`
// gets the folder's place on success.
using FolderMovedFn = std::vector<std::string> (*)(const std::string& oldFolder, const std::string& newFolder);
[[nodiscard]] ProfileResult MoveFolderNoReplace(const std::string& from, const std::string& target,
                                                FolderMovedFn moved, std::string* newFolder);

// Removes the "<file>.lock" file the INI engine keeps beside a private
// file; called after the file itself is deleted or renamed away.
void RemoveLockSidecar(const std::string& file);

[[nodiscard]] bool IsFolder(const std::string& path);
[[nodiscard]] bool IsRegularFile(const std::string& path);
[[nodiscard]] bool PathExists(const std::string& path);  // without following a final symbolic link

}  // namespace zyfar
