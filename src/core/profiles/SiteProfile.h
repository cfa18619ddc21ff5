#pragma once
// Site profiles: one "<name>.ini" file per FTP server in a folder tree below
// ProfilesFolder(), with one section "Settings":
//   Host, User, Password, Remote Path, Description, Port, and Encryption
//   ("NONE" when absent: profiles written before FTP over TLS keep working)
#include "profiles/ProfileNames.h"
#include "settings/Keys.h"

#include <string>
#include <string_view>
#include <vector>

namespace zyfar {

inline constexpr const char* kSiteSection = "Settings";
inline constexpr const char* kSiteHostKey = "Host";
inline constexpr const char* kSiteUserKey = "User";
inline constexpr const char* kSitePasswordKey = "Password";
inline constexpr const char* kSiteRemotePathKey = "Remote Path";
inline constexpr const char* kSiteDescriptionKey = "Description";
inline constexpr const char* kSitePortKey = "Port";
inline constexpr const char* kDefaultPortText = "21";
inline constexpr const char* kSiteEncryptionKey = "Encryption";
// A profile with "IMPLICIT" encryption and no Port connects to this one.
inline constexpr const char* kImplicitTlsPortText = "990";
inline constexpr const char* kAnonymousUser = "anonymous";

struct SiteProfile {
    std::string host;
    std::string user;
    std::string password;
    std::string remotePath;
    std::string description;  // may hold line breaks
    std::string port = kDefaultPortText;
    // "NONE", "EXPLICIT" or "IMPLICIT" as stored; empty: the key is absent
    // (read as "NONE", and not written back).
    std::string encryption{};

    bool operator==(const SiteProfile&) const = default;
};

// "anonymous" in any case.
[[nodiscard]] bool IsAnonymousUser(std::string_view user);

// The Description key holds one line: line breaks are stored as "%0A"
// (CR as "%0D") and "%" as "%25". Decoding turns exactly those three
// sequences back; any other "%" stays as it is.
[[nodiscard]] std::string EncodeDescription(std::string_view text);
[[nodiscard]] std::string DecodeDescription(std::string_view stored);

// <folder>/<name cut at its first dot>.ini, or "" when the cut name is not
// a safe file name.
[[nodiscard]] std::string SiteProfilePath(const std::string& folder, std::string_view typedName);

// The keys of a profile file; a missing file reads as empty fields, an
// absent Port as "21" ("990" with "IMPLICIT" encryption), an absent
// Encryption as empty (none).
[[nodiscard]] SiteProfile ReadSiteProfile(const std::string& path);

// The port as a number: the leading decimal integer of Port, 21 when absent
// or outside 1..65535.
[[nodiscard]] int SiteProfilePort(const SiteProfile& profile);

// The profile's FTP over TLS choice (ParseEncryption: absent "NONE").
[[nodiscard]] Encryption SiteProfileEncryption(const SiteProfile& profile);

enum class SaveMode { New = 1, Update = 2 };

// Saving the site form. Name, host, login, password and port must be
// non-empty (MissingFields, 226). New: an existing file gives AlreadyExists
// (227); Update: a missing file gives DoesNotExist (228). The six keys are
// written in the order Host, User, Password, Remote Path, Description, Port
// in one update, followed by Encryption when the profile has one. `savedPath` gets the file's path.
[[nodiscard]] ProfileResult SaveSiteProfile(const std::string& folder, std::string_view typedName,
                                            const SiteProfile& profile, SaveMode mode,
                                            std::string* savedPath = nullptr);

// Renames a profile file within its folder (the new name cut like a typed
// one) and points the links at the new path. Never replaces another profile.
[[nodiscard]] ProfileResult RenameSiteProfile(const std::string& path, std::string_view newTypedName,
                                              std::string* newPath = nullptr);

// Moves a profile file into another folder (same file name) and points the
// links at the new path.
[[nodiscard]] ProfileResult MoveSiteProfile(const std::string& path, const std::string& targetFolder,
                                            std::string* newPath = nullptr);

// Deletes a profile file and every link that names it. `removedLinks` gets
// the names of the deleted links.
[[nodiscard]] ProfileResult DeleteSiteProfile(const std::string& path,
                                              std::vector<std::string>* removedLinks = nullptr);

// Creates a folder named `label` below `parent` (NoSuchPath when the parent
// is missing, FolderExists when the name is taken).
[[nodiscard]] ProfileResult CreateProfileFolder(const std::string& parent, std::string_view label,
                                                std::string* newFolder = nullptr);

// Renames a profile folder to parent + "/" + newLabel. A missing folder
// gives NoSuchPath (33036); an existing target or a denied access gives
// FolderExists (33048). On success the links follow the new folder.
[[nodiscard]] ProfileResult RenameProfileFolder(const std::string& folder, std::string_view newLabel,
                                                std::string* newFolder = nullptr);

// Moves a profile folder below another folder; the links follow. Moving a
// folder into itself or below itself is refused (InvalidName).
[[nodiscard]] ProfileResult MoveProfileFolder(const std::string& folder, const std::string& targetParent,
                                              std::string* newFolder = nullptr);

// Every site profile below ProfilesFolder(), for the profile combos.
[[nodiscard]] std::vector<NamedPath> ListSiteProfiles();

// The anonymous e-mail address: a stored CONFIG Email counts only with an "@"
// after its first character and before its last; a typed one needs to be
// non-empty and hold an "@" anywhere (what the start-up prompt accepts).
[[nodiscard]] bool IsStoredEmailValid(std::string_view email);
[[nodiscard]] bool IsTypedEmailValid(std::string_view email);

// Walks the whole profile tree and writes `email` as the Password of every
// profile whose User is "anonymous" in any case. Returns the number of
// profiles changed, or -1 when the address cannot be stored.
int FillAnonymousPasswords(const std::string& email);

}  // namespace zyfar
