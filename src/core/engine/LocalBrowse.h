#pragma once
// The rules of the local file list above the disk itself (platform/LocalFs):
// the "Modified" column text, the program the "EXT" section names for a
// file, the list's masks, and the put jobs made from selected rows.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransferJob.h"
#include "platform/Clock.h"
#include "platform/LocalFs.h"
#include "settings/Keys.h"

namespace zyfar {

// ---- the "Modified" column ----

// Date, two blanks, 24-hour time, each number of two digits and the year of
// four: MonthDay "03/07/2026  09:05", DayMonth "07/03/2026  09:05",
// MonNameDay "Mar/07/2026  09:05", DayMonName "07/Mar/2026  09:05". The
// year is the real one (a file of 2075 shows 2075, not 1975).
[[nodiscard]] std::string ModifiedText(const LocalDateTime& time, DateStyle style);
// By the CONFIG TimeType text; absent (empty) and unknown texts as "MM/DD".
[[nodiscard]] std::string ModifiedText(const LocalDateTime& time, const std::string& timeType);

// ---- Execute: the "EXT" section ----

// The text after the first "." of the whole path (a dotted folder name
// counts: "/a.b/c" gives "b/c"); nothing when the path has no ".".
[[nodiscard]] std::optional<std::string> ExtensionOfPath(std::string_view path);

// The program of the first entry whose extension word agrees with the
// path's extension in its first three characters ("txt notepad" serves
// readme.txt and readme.txtx); each entry is "<extension> <program>" read as
// two blank-separated words (an entry without a program is passed over).
// Nothing when the path has no extension or no entry agrees: the file is
// then opened by the desktop.
[[nodiscard]] std::optional<std::string> ExtProgramFor(std::string_view fullPath,
                                                       const std::vector<std::string>& entries);

// The values of "EXT" "Ext0", "Ext1", ... up to the first absent key (at
// most kMaxExtEntries).
inline constexpr int kMaxExtEntries = 1000;
[[nodiscard]] std::vector<std::string> ReadExtEntries();

// ---- masks ----

// The list's filter and wildcard masks: "*" and "?" as for remote names,
// case sensitive; "*.*" (the list's first mask) matches every name, dotted
// or not.
[[nodiscard]] bool MatchesLocalMask(std::string_view name, std::string_view mask);

// The indexes of the file rows (not folders) whose names match the mask,
// in row order: the rows a wildcard command selects (none: message 281).
[[nodiscard]] std::vector<std::size_t> RowsMatchingMask(std::span<const LocalEntry> rows, std::string_view mask);

// ---- FTP Put from the local list ----

// One put job per selected row of `folder` that is a file (a regular file or
// a link to one; folders, devices, pipes and links that lead nowhere are
// passed over), in row order: the row's folder and name as the source, the
// name cased by `casing` as the target, its size and modification time.
// Every job starts not attempted, from no queue entry, into the server's
// current folder. A name holding "*" or "?" is a real file on this system
// and is sent as that file; wildcards come in through RowsMatchingMask.
[[nodiscard]] std::vector<CTransferJob> BuildLocalPutJobs(const std::string& folder,
                                                          std::span<const LocalEntry> rows, FileCasing casing);

// A folder dragged out of the drive tree onto a server: one put job per file
// of the folder (as BuildLocalPutJobs makes them, each with its own folder as
// localDir so that FTPDirTree can rebuild it), then, with `recursive`, the
// files of every folder below it, folder by folder in name order. Links to
// folders are not walked into (a loop of links cannot run away), nor is
// anything deeper than kMaxPutDepth folders below the first. A folder that
// cannot be read is named in `unreadable` and passed over.
inline constexpr int kMaxPutDepth = 64;
struct LocalFolderJobs {
    std::vector<CTransferJob> jobs;
    std::vector<std::string> unreadable;  // the listing's error texts
};
[[nodiscard]] LocalFolderJobs BuildLocalFolderPutJobs(const std::string& folder, bool recursive, FileCasing casing);

}  // namespace zyfar
