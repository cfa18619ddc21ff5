// The small platform pieces: the command line, ~/.netrc, and the byte-level text helpers every module uses
// (ASCII only, whatever the locale, and exact about which bytes count).
#include <sys/stat.h>

#include <clocale>

#include "platform/CommandLine.h"
#include "platform/Netrc.h"
#include "platform/TextUtil.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

using namespace std::string_literals;

// ---- the command line ----

// Every field of a parsed line that differs from its default, in one text.
std::string Describe(const CommandLine& c) {
    std::string s;
    auto add = [&s](bool on, const std::string& text) { s += on ? (s.empty() ? "" : " ") + text : ""; };
    add(c.commandLineJob, "job");
    add(!c.scriptPath.empty(), "script=" + c.scriptPath);
    add(!c.linkName.empty(), "link=" + c.linkName);
    add(c.headless, "headless");
    add(c.help, "help");
    add(c.version, "version");
    add(c.ls, "ls=" + c.lsUrl);
    add(c.passive, "passive");
    add(!c.url.empty(), "url=" + c.url);
    for (const std::string& u : c.unknownOptions) add(true, "unknown=" + u);
    add(!c.optionError.empty(), "error");
    return s;
}

TEST(CommandLine, FlagsTakeTheNextWordOnlyTheFirstPairCountsAndLongOptionsAreSeparate) {
    const struct {
        std::vector<std::string> words;
        const char* want;
    } cases[] = {
        {{"/b", "/home/me/nightly.cmd"}, "job script=/home/me/nightly.cmd"},
        {{"-B", "/x.cmd"}, "job script=/x.cmd"},  // the word after a flag is its value, whatever it starts with
        {{"/L", "Nightly"}, "job link=Nightly"}, {{"-l", "-weird"}, "job link=-weird"},
        {{"/tmp/x.cmd"}, ""},  // a path is no flag, and a value without a flag is ignored
        {{"-l", "Sites", "-b", "/tmp/run.cmd"}, "job link=Sites"},
        {{"-b", "/a.cmd", "-b", "/b.cmd"}, "job script=/a.cmd"},
        {{"-q", "/tmp/run.cmd"}, ""},  // an unknown flag takes no value
        {{"-q", "x", "-l", "L2"}, "job link=L2"}, {{"stray", "/l", "L1"}, "job link=L1"}, {{"-l"}, ""}, {{}, ""},
        {{"--headless", "-b", "/tmp/r.cmd", "--version", "--bogus"},
         "job script=/tmp/r.cmd headless version unknown=--bogus"},
        {{"--help"}, "help"}, {{"--passive"}, "passive"},
        {{"--ls", "ftp://me@host/pub/"}, "ls=ftp://me@host/pub/"},
        {{"--passive", "--ls=ftp://host/"}, "ls=ftp://host/ passive"},
        // The --ls value is taken whatever it looks like, and never becomes a flag's value.
        {{"--ls", "--help", "-b", "/x.cmd"}, "job script=/x.cmd ls=--help"},
        {{"-b", "--ls", "ftp://h/"}, "ls=ftp://h/"},
        {{"--ls"}, "ls= error"},
        {{"--ls="}, "ls= error"},
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(ParseCommandLine(c.words)), c.want) << testing::PrintToString(c.words);
    for (const char* word : {"/tmp/x.cmd", "/", "-", "plain"}) EXPECT_FALSE(IsFrameworkFlag(word)) << word;
    for (const char* word : {"/b", "-xyz"}) EXPECT_TRUE(IsFrameworkFlag(word)) << word;
}

// An ftp:// URL among the plain words opens the window connected to it (the
// desktop's "%U"); the first counts, a flag's value is never one, and a URL of
// another kind is refused rather than silently ignored.
TEST(CommandLine, AnFtpUrlWordIsTakenOnce) {
    const struct {
        std::vector<std::string> words;
        const char* want;
    } cases[] = {
        {{"ftp://me@host/pub/"}, "url=ftp://me@host/pub/"},
        {{"FTP://Host"}, "url=FTP://Host"},
        {{"ftp://a/", "ftp://b/"}, "url=ftp://a/"},
        {{"-b", "ftp://h/x.cmd"}, "job script=ftp://h/x.cmd"},  // a flag's value, whatever it looks like
        {{"ftp://h/", "-l", "Sites"}, "job link=Sites url=ftp://h/"},  // start-up runs the link, not the URL
        {{"-l", "Sites", "ftp://h/"}, "job link=Sites"},                // words after the taken pair are ignored
        {{"--ls", "ftp://h/"}, "ls=ftp://h/"},
        {{"ftpes://me@h:2121/"}, "url=ftpes://me@h:2121/"},  // FTP over TLS
        {{"FTPS://h/"}, "url=FTPS://h/"},                    // implicit TLS
        {{"sftp://h/"}, "error"}, {{"ftpx://h/"}, "error"}, {{"http://h/"}, "error"},
        {{"ftp:/h"}, ""}, {{"ftp:"}, ""}, {{"://h"}, ""}, {{"a b://h"}, ""},  // no URL: plain words, ignored
        {{std::string("ftp://h/a\r\nDELE x")}, "url=ftp://h/a\r\nDELE x"},  // taken as it is; opening it refuses it
    };
    for (const auto& c : cases) EXPECT_EQ(Describe(ParseCommandLine(c.words)), c.want) << testing::PrintToString(c.words);
    EXPECT_NE(UsageText("zyfar").find("ftp://[user@]host[:port]/path"), std::string::npos);
}

// ---- ~/.netrc: the entries, and a file that is not private is refused ----

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

// ---- text helpers ----

TEST(TextUtil, ClassesOfBytes) {
    std::string digits, blanks, white, hex;
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        if (IsDigit(c)) digits += c;
        if (IsBlank(c)) blanks += c;
        if (IsWhiteSpace(c)) white += c;
        if (HexDigitValue(c) >= 0) hex += std::to_string(HexDigitValue(c)) + c;
    }
    EXPECT_EQ(digits, "0123456789");
    EXPECT_EQ(blanks, "\t ");
    EXPECT_EQ(white, "\t\n\v\f\r ");
    EXPECT_EQ(hex, "0011223344556677889910A11B12C13D14E15F10a11b12c13d14e15f");
    EXPECT_TRUE(AllDigits("0123456789"));
    for (const char* no : {"", "12a", " 1", "-1", "+1"}) EXPECT_FALSE(AllDigits(no)) << no;
}

TEST(TextUtil, CaseIsFoldedForAsciiLettersOnly) {
    std::setlocale(LC_ALL, "C.UTF-8");  // what a GUI run sets; the helpers must not care
    EXPECT_EQ(ToLowerAscii("AbZ@[`{\xC3\x89"), "abz@[`{\xC3\x89");
    EXPECT_EQ(ToUpperAscii("aBz@[`{\xC3\xA9"), "ABZ@[`{\xC3\xA9");
    EXPECT_TRUE(EqualsNoCase("Overwrite YES", "oVERWRITE yes"));
    EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9"));
    EXPECT_FALSE(EqualsNoCase("@", "`"));  // one apart from a letter pair, not a letter
    EXPECT_FALSE(EqualsNoCase("abc", "ab"));
    EXPECT_TRUE(StartsWithNoCase("FTP://host", "ftp://") && !StartsWithNoCase("ftp:", "ftp://"));
    EXPECT_TRUE(EndsWithNoCase("run.CMD", ".cmd") && !EndsWithNoCase("md", ".cmd"));
    std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace zyfar
