#pragma once
// Rules of the configuration sheet that decide what is stored: the log file
// name's ".log" extension, the profile directory, and the list of text
// extensions of automatic transfers.
#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

// The log file name as stored: when it holds a "." after its first
// character, everything after that "." becomes "log"; otherwise ".log" is
// appended ("mylog.txt" -> "mylog.log", "mylog" -> "mylog.log",
// ".x" -> ".x.log").
[[nodiscard]] std::string LogFileNameWithExtension(std::string_view name);

// What the System page stores for the "Profile Directory" field.
struct ProfileBaseChoice {
    std::string base;          // the ProfilePath text
    bool makeFolders = false;  // whether base/Profiles, /Links and /Files are made
};
// A field that names a "Profiles" folder (a whole path component) stores
// the folder above it and makes nothing ("/srv/zy/Profiles/ftp" -> "/srv/zy";
// "/Profiles" -> "/"). Any other text is stored as it is (trailing "/"
// dropped) and the three folders are made below it.
[[nodiscard]] ProfileBaseChoice ProfileBaseFromField(std::string_view field);

// Makes base/Profiles, base/Links and base/Files (existing ones are left as
// they are); an empty base means the default profile base. Returns the
// first folder that could not be made, or an empty text.
[[nodiscard]] std::string MakeProfileFolders(const std::string& base);

// CONFIG TextExtensions: the pieces between commas (empty pieces skipped),
// and a list stored as every entry followed by ",".
[[nodiscard]] std::vector<std::string> SplitTextExtensions(std::string_view stored);
[[nodiscard]] std::string JoinTextExtensions(const std::vector<std::string>& list);

// Adds what the user typed into the sorted extension list: the text is split
// at commas (a comma inside an entry would split it when read back), each
// piece loses surrounding blanks and leading dots (".txt" means "txt"), and
// goes to its sorted place (case-insensitive, then byte order) unless the
// list holds exactly that text already ("TXT" next to "txt" is kept).
// Returns the index of the last piece added or found, -1 when nothing was
// left to add.
int AddTextExtension(std::vector<std::string>& list, std::string_view typed);

}  // namespace zyfar
