#pragma once
// Path rules of the transfer drivers.
//
// Remote paths use "/" unless the remote folder already holds "\". A
// separator goes between a folder and a name only when the folder does not
// end with it. Local paths always use "/".
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

// '\\' when the folder holds a backslash, else '/'.
[[nodiscard]] char RemoteSeparatorFor(std::string_view folder);

// folder + sep + name, without doubling sep; an empty folder gives the name.
[[nodiscard]] std::string JoinWithSeparator(std::string_view folder, char sep, std::string_view name);
[[nodiscard]] std::string JoinRemote(std::string_view folder, std::string_view name);
[[nodiscard]] std::string JoinLocal(std::string_view folder, std::string_view name);

// The non-empty pieces of a path split at sep.
[[nodiscard]] std::vector<std::string> SplitPieces(std::string_view path, char sep);

// The last piece of a local path ("/a/b.txt" -> "b.txt").
[[nodiscard]] std::string LocalBaseName(std::string_view path);

// RenameLongFileNames: a name longer than 12 characters becomes its first six
// characters that are not blanks, "~1" and the name from its first "."
// onward, cut to 12 characters in all ("Quarterly Report.txt" ->
// "Quarte~1.txt", "my.long.file.name" -> "my.lon~1.lon"). Shorter names stay.
[[nodiscard]] std::string ShortenLongName(std::string_view name);

// A name that may be created inside a local folder: not empty, not "." or
// "..", without "/" and NUL.
[[nodiscard]] bool IsPlainLocalName(std::string_view name);

// The folder part a failed put stores in its job: the target path without
// the target name at its end; empty when the path does not end with the name
// after a folder part.
[[nodiscard]] std::string FolderBeforeName(std::string_view targetPath, std::string_view name);

}  // namespace zyfar
