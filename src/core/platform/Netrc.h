#pragma once
// The user's ~/.netrc: logins and passwords kept out of command lines.
//
// The file is a list of blank-separated words: "machine NAME" starts the
// entry of one host, "default" the entry for every other host (it ends the
// machine entries), and "login X", "password X" and "account X" fill the
// current entry. "macdef NAME" starts a macro, whose lines up to the first
// empty line are skipped. A word may be quoted ("two words"), a backslash
// keeps the next character as it is. Unknown words are skipped.
#include <optional>
#include <string>
#include <string_view>

namespace zyfar {

struct NetrcLogin {
    std::string login;
    std::string password;
};

// The first entry for `host` (its name compared without regard to case)
// that has a password and, when `login` is not empty, that login; else the
// default entry on the same terms.
[[nodiscard]] std::optional<NetrcLogin> FindNetrcLogin(std::string_view text, std::string_view host,
                                                       std::string_view login);

struct NetrcLookup {
    std::optional<NetrcLogin> found;
    // Why the file was not used ("" when it was read or does not exist).
    std::string refusal;
};

// Reads the file at `path` and looks the host up. The file is used only when
// it is private to the user: a regular file owned by the user, neither
// readable nor writable by the group or others (a password file anybody else
// may read or change is refused with the reason).
[[nodiscard]] NetrcLookup LookupNetrc(const std::string& path, std::string_view host, std::string_view login);

}  // namespace zyfar
