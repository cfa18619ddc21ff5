#pragma once
// Imports of site lists (".sts") and file lists (".fls"). Both are text
// files that begin with the marker "FTP_SERVER_FILE"; the first line is
// skipped and every following line ended by "\n" is one record (a last line
// without "\n" is not a record).
#include "profiles/FileList.h"
#include "profiles/ProfileNames.h"

#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

inline constexpr std::string_view kServerFileMarker = "FTP_SERVER_FILE";
inline constexpr const char* kNoRemotePathWord = "NONE";

// The records of a marked file: the lines after the first, each ended by
// "\n" (a CR before the "\n" is dropped). NotServerFile (146) when the file
// does not begin with the marker; IoError when it cannot be read or is
// larger than 64 MiB.
[[nodiscard]] ProfileResult ReadServerFileRecords(const std::string& path, std::vector<std::string>& records);

// One ".sts" record: host, login, password and remote directory separated by
// blanks ("NONE" = empty remote directory; missing words are empty).
struct ImportedSite {
    std::string host;
    std::string user;
    std::string password;
    std::string remotePath;
};
[[nodiscard]] ImportedSite ParseSiteRecord(std::string_view record);

struct SiteImportResult {
    ProfileResult result;
    std::vector<NamedPath> created;  // new profiles, in record order
    std::vector<NamedPath> updated;  // existing profiles whose keys were written, in record order
};

// Imports a ".sts" file into a profile folder: record n (from 0) becomes
// "<import file name without extension><n>.ini" with Host, User, Password,
// Remote Path and Port "21". Blank records make no profile. A profile of that
// name that exists gets those five keys written (its other keys, the
// Description among them, stay); it goes to `updated`. Every name is checked
// before anything is written, and on a write error the new profiles are
// removed and the updated ones get their former contents back.
[[nodiscard]] SiteImportResult ImportSiteList(const std::string& stsPath, const std::string& targetFolder);

enum class ImportMode { Append, Replace };

struct FileImportResult {
    ProfileResult result;
    std::vector<FileListItem> items;  // the list after the import
    std::size_t added = 0;
    std::size_t updated = 0;
};

// Imports a ".fls" file into a list of files: every record is a full local
// path; paths that name no existing regular file, and names holding "*",
// are skipped. An existing file becomes an item with its folder, name,
// last-write time and size; an item already in the list (same folder and
// name) is updated instead of added. Replace starts from an empty list.
// The caller saves the list when `added` is not 0.
[[nodiscard]] FileImportResult ImportFileList(const std::string& flsPath, std::vector<FileListItem> current,
                                              ImportMode mode);

}  // namespace zyfar
