// The INI document in memory: lookups, edits that keep unrelated text,
// refusal of text that would corrupt the file, and hostile input (random bytes: the INI fuzz harness,
// fuzz/fuzz_ini.cpp, whose corpus replays as a test).
#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace zyfar {
namespace {

using namespace std::string_literals;
using Entries = IniDocument::Entries;

// The document's own view of every section agrees with a fresh parse of what
// it serialises to (catches an index that went stale after an edit).
void ExpectConsistent(const IniDocument& doc) {
    const IniDocument again = IniDocument::Parse(doc.Serialize());
    ASSERT_EQ(again.SectionNames(), doc.SectionNames());
    for (const std::string& name : doc.SectionNames()) EXPECT_EQ(again.GetSection(name), doc.GetSection(name)) << name;
}

TEST(IniDocument, LookupsFollowTheWindowsRules) {
    struct Case {
        std::string text;
        std::string section, key;
        std::optional<std::string> want;
    };
    const std::string dup = "[A]\nk=one\nK=two\n[B]\nk=b\n[a]\nk=three\nextra=x\n";
    const std::string raw = "[S]\nq=\"quoted\"\nb=a\\nb\nsemi=x ; not a comment\neq=a=b=c\nempty=\n";
    const std::string junk = "garbage line\n[A]\njust text\nk=v\n]]]\n[unterminated\nu=1\n";
    const std::string nul = "[A]\nk=a\0b\nafter=1\n[B]\nx=\0\n"s;
    const Case cases[] = {
        {"[Settings]\nHost=ftp.example\n", "settings", "HOST", "ftp.example"},
        {"[Settings]\nHost=ftp.example\n", "Other", "Host", std::nullopt},
        {dup, "A", "k", "one"},            // first key of the first section wins
        {dup, "A", "extra", std::nullopt},  // a repeated section is invisible to reads
        {"  [  My Section ]  \n\t Local File \t=  C:/a b  c.txt \t\n", "  my section ", " local file", "C:/a b  c.txt"},
        {"[My Section]\nk=v\n", "MySection", "k", std::nullopt},
        {raw, "S", "q", "\"quoted\""},  // no quoting or escaping
        {raw, "S", "semi", "x ; not a comment"}, {raw, "S", "eq", "a=b=c"}, {raw, "S", "empty", ""},
        {"loose=1\n[S]\nk=v\n", "", "loose", std::nullopt},
        {"[Dimensions\\Main\\Mainframe]\nWidth=640\n", "dimensions\\main\\MAINFRAME", "width", "640"},
        {"\xEF\xBB\xBF[A]\r\nk=v\r\n[B]\r\nx=1\r\n", "A", "k", "v"}, {"\xEF\xBB\xBF[A]\r\nk=v\r\n[B]\r\nx=1\r\n", "b", "x", "1"},
        {"[A]\r\nlone=a\rb\r\n", "a", "lone", "a\rb"},  // a lone CR is data
        {junk, "A", "k", "v"}, {junk, "unterminated", "u", "1"},
        {nul, "A", "k", "a\0b"s}, {nul, "A", "after", "1"}, {nul, "B", "x", "\0"s},  // NUL bytes do not cut the file
        {"[]\n=\n[ ]\n", "", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " | " + c.section + "/" + c.key);
        const IniDocument parsed = IniDocument::Parse(c.text);
        EXPECT_EQ(parsed.Get(c.section, c.key), c.want);
        EXPECT_EQ(IniDocument::Parse(parsed.Serialize()).Get(c.section, c.key), c.want);
    }
    // Untouched text comes back byte for byte (only CR of CR LF dropped).
    for (const std::string& text : {junk, nul, ""s}) EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
    const IniDocument d = IniDocument::Parse(dup);
    EXPECT_EQ(d.GetSection("a"), (Entries{{"k", "one"}}));
    EXPECT_EQ(d.SectionNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(IniDocument::Parse("[S]\nb=2\na=1\nB=dup\nnoequals\n;c=3\n=x\n").GetSection("s"),
              (Entries{{"b", "2"}, {"a", "1"}}));
}

// Writes to the first of duplicates and past junk lines, on files: PrivateProfileTest.BadContentIsPreserved...
TEST(IniDocument, EditsChangeOnlyWhatTheyMust) {
    struct Case {
        const char* what;
        std::string text;
        std::function<void(IniDocument&)> edit;
        std::string want;
    };
    const Case cases[] = {
        {"set in place", "; queue file\n[A]\nx=1\ny = 2 \n\n[B]\nz=3\n",
         [](IniDocument& d) { EXPECT_TRUE(d.Set("a", "Y", "20")); }, "; queue file\n[A]\nx=1\ny=20\n\n[B]\nz=3\n"},
        {"new key after the section's last entry", "[A]\nx=1\n\n; about B\n[B]\nz=3\n",
         [](IniDocument& d) { EXPECT_TRUE(d.Set("A", "new", "v")); }, "[A]\nx=1\nnew=v\n\n; about B\n[B]\nz=3\n"},
        {"new section at the end, no final line end", "[A]\nx=1",
         [](IniDocument& d) { EXPECT_TRUE(d.Set("B", "k", "v") && d.Set("B", "k2", "v2")); },
         "[A]\nx=1\n[B]\nk=v\nk2=v2\n"},
        {"BOM and CR LF", "\xEF\xBB\xBF[A]\r\nk=v\r\n[B]\r\nx=1\r\n",
         [](IniDocument& d) { EXPECT_TRUE(d.Set("B", "x", "2")); }, "[A]\nk=v\n[B]\nx=2\n"},
        {"remove key: every occurrence in the first section", "[A]\nk=1\nother=x\nK=2\n[B]\nk=3\n",
         [](IniDocument& d) {
             EXPECT_TRUE(d.RemoveKey("a", "k"));
             EXPECT_FALSE(d.RemoveKey("A", "k"));
             EXPECT_FALSE(d.RemoveKey("Missing", "k"));
         },
         "[A]\nother=x\n[B]\nk=3\n"},
        {"remove section: all of that name, then create it again", "[A]\nk=1\n[B]\nk=2\n[a]\nk=3\n[C]\nk=4\n",
         [](IniDocument& d) {
             EXPECT_TRUE(d.RemoveSection("A"));
             EXPECT_FALSE(d.RemoveSection("A") || d.HasSection("a"));
             EXPECT_TRUE(d.Set("A", "k", "new"));
             EXPECT_EQ(d.Get("A", "k"), "new");
         },
         "[B]\nk=2\n[C]\nk=4\n[A]\nk=new\n"},
        {"replace section keeps header and trailing comment, drops duplicates",
         "[Files]\nFile1=a\nFile2=b\n\n; next\n[Other]\nx=1\n[files]\nFile9=z\n",
         [](IniDocument& d) { EXPECT_TRUE(d.ReplaceSection("FILES", {{"File1", "c"}, {"Count", "1"}})); },
         "[Files]\nFile1=c\nCount=1\n\n; next\n[Other]\nx=1\n"},
        {"replace section creates, refuses bad entries whole, empties", "",
         [](IniDocument& d) {
             EXPECT_TRUE(d.ReplaceSection("New", {{"a", "1"}}));
             EXPECT_FALSE(d.ReplaceSection("New", {{"a", "2"}, {"b", "x\ny"}}));
             EXPECT_EQ(d.Get("New", "a"), "1");
             EXPECT_TRUE(d.ReplaceSection("New", {}));
         },
         "[New]\n"},
        {"same value is no change", "[A]\nk = v\n", [](IniDocument& d) { EXPECT_TRUE(d.Set("A", "K", "v")); },
         "[A]\nk = v\n"},
        {"rename keeps the lines in place and later writes find the section", "[A]\nx=1\n; note\n[B]\ny=2\n[C]\nz=3\n",
         [](IniDocument& d) {
             EXPECT_TRUE(d.RenameSection("b", "Q7") && !d.HasSection("B"));
             EXPECT_EQ(d.Get("q7", "Y"), "2");
             EXPECT_TRUE(d.Set("Q7", "w", "4"));
         },
         "[A]\nx=1\n; note\n[Q7]\ny=2\nw=4\n[C]\nz=3\n"},
        {"rename refuses to merge, a missing source and bad names", "[A]\nx=1\n[B]\ny=2\n",
         [](IniDocument& d) {
             EXPECT_FALSE(d.RenameSection("A", "b"));  // target exists (names ignore case)
             EXPECT_FALSE(d.RenameSection("Missing", "Z") || d.RenameSection("A", "bad]name") || d.RenameSection("A", ""));
         },
         "[A]\nx=1\n[B]\ny=2\n"},
        {"rename makes a later duplicate the first of its name", "[D]\na=first\n[E]\n[D]\na=second\n",
         [](IniDocument& d) {
             EXPECT_TRUE(d.RenameSection("D", "F"));
             EXPECT_EQ(d.Get("D", "a"), "second");
             EXPECT_TRUE(d.RenameSection("D", "G") && !d.HasSection("D"));
         },
         "[F]\na=first\n[E]\n[G]\na=second\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IniDocument doc = IniDocument::Parse(c.text);
        c.edit(doc);
        EXPECT_EQ(doc.Serialize(), c.want);
        ExpectConsistent(doc);
    }
}

TEST(IniDocument, RefusesNamesAndValuesThatWouldCorruptTheFile) {
    IniDocument doc = IniDocument::Parse("[A]\nk=v\n");
    const std::string bad[][3] = {
        {"A", "k", "line1\nline2"}, {"A", "k", "cr\rhere"}, {"A", "k", "nul\0x"s}, {"A", "a\nb", "v"},
        {"A\r\n[B]", "k", "v"},     {"A]", "k", "v"},       {"", "k", "v"},         {"A", "", "v"},
        {"A", "a=b", "v"},          {"A", "[B]", "v"},      {"A", ";k", "v"},
    };
    for (const auto& b : bad) EXPECT_FALSE(doc.Set(b[0], b[1], b[2])) << b[0] << "/" << b[1] << "=" << b[2];
    ASSERT_TRUE(doc.Set("A", "K", "v"));  // the same value: still no change
    EXPECT_EQ(doc.Serialize(), "[A]\nk=v\n");
    EXPECT_EQ(doc.ChangeCount(), 0u);
    ASSERT_TRUE(doc.Set("A", "k", "w"));
    EXPECT_GT(doc.ChangeCount(), 0u);
}

TEST(IniDocument, CopiesShareTheTextButNotTheirEdits) {
    const std::string big(1 << 16, 'x');
    IniDocument doc = IniDocument::Parse("[A]\nbig=" + big + "\nk=v\n");
    IniDocument copy = doc;
    ASSERT_TRUE(copy.Set("A", "k", "2"));
    ASSERT_TRUE(doc.RemoveSection("A"));
    EXPECT_TRUE(copy.Get("A", "k") == "2" && copy.Get("A", "big") == big && !doc.HasSection("A"));
}

TEST(IniDocument, ParseLeadingIntReadsLikeWindows) {
    const std::pair<const char*, int> cases[] = {
        {"42", 42}, {"  -17 ", -17}, {"+8", 8}, {"12abc", 12}, {"abc", 0}, {"", 0}, {"-", 0}, {"1 2", 1},
        {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
    for (const auto& [text, want] : cases) EXPECT_EQ(ParseLeadingInt(text), want) << '"' << text << '"';
}

}  // namespace
}  // namespace zyfar
