#pragma once
// `zyfar ftp://[user[:password]@]host[:port]/path`: the site the browsing
// window connects to when the program is started with a URL.
#include <optional>
#include <string>
#include <string_view>

#include "ftp/BrowseConnect.h"

namespace zyfar {

// Longest URL and host name taken (a host name has at most 253 characters).
inline constexpr std::size_t kMaxUrlLength = 4096;
inline constexpr std::size_t kMaxHostLength = 253;

struct UrlSite {
    BrowseSite site;
    // The URL names a user but no password: ask for it before connecting.
    bool askPassword = false;
    // The URL carries a password (works, but others can read it in the
    // process list).
    bool passwordInUrl = false;
};

struct UrlSiteParse {
    std::optional<UrlSite> target;
    std::string error;  // why the URL was refused
};

// The site of an ftp:// URL. Without a user, or with "anonymous" and no
// password, the login is anonymous with `email` as its password. The path is
// the folder to open (relative to the login folder, absolute with a leading
// "/"). Refused: anything ParseFtpUrl refuses (line breaks, NUL, bad escapes,
// no host, a port outside 1..65535), a URL longer than kMaxUrlLength and a
// host name longer than kMaxHostLength.
[[nodiscard]] UrlSiteParse UrlSiteFromUrl(std::string_view url, const std::string& email);

}  // namespace zyfar
