#include "ftp/UrlSite.h"

#include "ftp/ListCommand.h"
#include "platform/TextUtil.h"

namespace zyfar {
namespace {

constexpr std::string_view kAnonymous = "anonymous";

UrlSiteParse Refuse(std::string error) { return UrlSiteParse{std::nullopt, std::move(error)}; }

}  // namespace

UrlSiteParse UrlSiteFromUrl(std::string_view text, const std::string& email) {
    if (text.size() > kMaxUrlLength) return Refuse("The URL is too long.");
    FtpUrlParse parsed = ParseFtpUrl(text);
    if (!parsed.url) return Refuse(std::move(parsed.error));
    FtpUrl& url = *parsed.url;
    if (url.host.size() > kMaxHostLength) return Refuse("The host name is too long.");

    UrlSite out;
    out.site.host = std::move(url.host);
    out.site.port = url.port;
    out.site.encryption = url.encryption;  // ftpes:// and ftps:// connect protected
    out.site.remotePath = std::move(url.path);
    out.passwordInUrl = url.password.has_value();
    const bool anonymous = url.user.empty() || EqualsNoCase(url.user, kAnonymous);
    if (anonymous && !url.password) {
        out.site.login = std::string(kAnonymous);
        out.site.password = email;
    } else {
        out.site.login = std::move(url.user);
        out.askPassword = !url.password;
        out.site.password = url.password.value_or(std::string());
    }
    return UrlSiteParse{std::move(out), {}};
}

}  // namespace zyfar
