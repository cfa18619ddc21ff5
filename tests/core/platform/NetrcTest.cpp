// ~/.netrc: the entries, and a file that is not private is refused.
#include "platform/Netrc.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/TestEnv.h"

namespace zyfar {
namespace {

TEST(Netrc, FindsTheEntryOfTheHostAndLogin) {
    const std::string text =
        "# a comment is just words\n"
        "machine ftp.example.org login anna password one\n"
        "machine FTP.example.org\n\tlogin bob\n\tpassword \"two words\"\n"
        "macdef init\nmachine ftp.example.org login mallory password macro\n\n"
        "machine nopass.example.org login carl\n"
        "machine esc.example.org login dora password a\\\"b account ignored\n"
        "default login anonymous password me@example.org\n";
    const struct {
        const char *host, *login, *want;  // want: "login/password", or nullptr for none
    } cases[] = {
        {"ftp.example.org", "", "anna/one"},
        {"ftp.example.org", "bob", "bob/two words"},  // host names without regard to case
        {"ftp.example.org", "mallory", nullptr},  // inside a macro: no entry
        {"ftp.example.org", "eve", nullptr},  // the default's login differs
        {"nopass.example.org", "carl", nullptr},
        {"nopass.example.org", "", "anonymous/me@example.org"},
        {"esc.example.org", "dora", "dora/a\"b"},
        {"other.example.org", "", "anonymous/me@example.org"},
    };
    for (const auto& c : cases) {
        const std::optional<NetrcLogin> found = FindNetrcLogin(text, c.host, c.login);
        EXPECT_EQ(found ? found->login + "/" + found->password : "none", c.want ? c.want : "none")
            << c.host << " " << c.login;
    }
    EXPECT_FALSE(FindNetrcLogin("login x password y\nmachine h", "h", ""));
}

TEST(Netrc, OnlyAPrivateFileIsUsed) {
    test::TempDir dir("zyfar-netrc");
    const std::string path = dir.path() + "/.netrc";
    EXPECT_EQ(LookupNetrc(path, "h", "").refusal, "");  // no file: nothing to say
    ASSERT_TRUE(test::WriteFile(path, "machine h login u password p\n"));
    for (const mode_t mode : {0600, 0400, 0640, 0604, 0620, 0602}) {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        const NetrcLookup r = LookupNetrc(path, "h", "u");
        const bool isPrivate = mode == 0600 || mode == 0400;
        EXPECT_TRUE(r.found.has_value() == isPrivate && r.refusal.empty() == isPrivate) << std::oct << mode << " " << r.refusal;
    }
    EXPECT_NE(LookupNetrc(dir.path(), "h", "").refusal.find("not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace zyfar
