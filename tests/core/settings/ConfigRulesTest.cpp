// The storing rules of the configuration sheet: the log file name's ".log",
// the profile directory, and the text-extension list.
#include "platform/Paths.h"
#include "settings/ConfigRules.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

TEST(ConfigRules, LogFileNameGetsTheLogExtension) {
    const std::pair<const char*, const char*> table[] = {
        {"mylog.txt", "mylog.log"}, {"mylog", "mylog.log"}, {".x", ".x.log"},  {"a.b.c", "a.log"},
        {"mylog.", "mylog.log"},    {".x.y", ".x.log"},     {"x", "x.log"},    {".", "..log"},
        {"my log.LOG", "my log.log"},
    };
    for (const auto& [name, want] : table) EXPECT_EQ(LogFileNameWithExtension(name), want) << name;
}

TEST(ConfigRules, ProfileFieldNamingAProfilesFolderStoresItsParent) {
    struct Row {
        const char* field;
        const char* base;
        bool make;
    };
    const Row table[] = {
        {"/srv/zy/Profiles", "/srv/zy", false},
        {"/srv/zy/Profiles/", "/srv/zy", false},
        {"/srv/zy/Profiles/ftp/Profiles", "/srv/zy", false},  // the first occurrence
        {"/Profiles", "/", false},
        {"/srv/zy/ProfilesOld", "/srv/zy/ProfilesOld", true},  // a whole folder name only
        {"/srv/profiles", "/srv/profiles", true},
        {"/srv/zy/", "/srv/zy", true},
        {"/", "/", true},
        {"", "", true},
    };
    for (const Row& r : table) {
        const ProfileBaseChoice c = ProfileBaseFromField(r.field);
        EXPECT_EQ(c.base, r.base) << r.field;
        EXPECT_EQ(c.makeFolders, r.make) << r.field;
    }
}

class ProfileFoldersTest : public test::IsolatedHomeTest {};

TEST_F(ProfileFoldersTest, MakesTheThreeFoldersAndNamesTheOneThatFailed) {
    EXPECT_EQ(MakeProfileFolders(Path("base")), "");
    EXPECT_EQ(test::ListFolder(Path("base")), (std::vector<std::string>{"Files", "Links", "Profiles"}));
    EXPECT_EQ(MakeProfileFolders(""), "");  // the default base
    EXPECT_EQ(test::ListFolder(DefaultProfileBase()), (std::vector<std::string>{"Files", "Links", "Profiles"}));
    ASSERT_TRUE(test::WriteText(Path("file"), "x"));
    EXPECT_EQ(MakeProfileFolders(Path("file")), Path("file/Profiles"));
}

TEST(ConfigRules, TextExtensionsSplitAndJoin) {
    EXPECT_EQ(SplitTextExtensions("txt,,htm,"), (std::vector<std::string>{"txt", "htm"}));
    EXPECT_EQ(SplitTextExtensions(",htm"), (std::vector<std::string>{"htm"}));
    EXPECT_TRUE(SplitTextExtensions("").empty());
    EXPECT_EQ(JoinTextExtensions({"a", "b"}), "a,b,");
    EXPECT_EQ(JoinTextExtensions({}), "");
}

TEST(ConfigRules, AddedExtensionsAreSortedAndKeptOnceByExactText) {
    struct Row {
        std::vector<const char*> typed;
        const char* stored;
        int lastIndex;
    };
    const Row table[] = {
        {{"txt", "txt"}, "txt,", 0},
        {{"txt", "TXT"}, "TXT,txt,", 0},
        {{"txt", "htm", "Doc"}, "Doc,htm,txt,", 0},
        {{".txt", " htm "}, "htm,txt,", 0},
        {{"txt,htm"}, "htm,txt,", 0},  // the last piece typed, "htm", lies at 0
        {{"tar.gz", "tar"}, "tar,tar.gz,", 0},
        {{"txt", " , . "}, "txt,", -1},
    };
    for (const Row& r : table) {
        std::vector<std::string> list;
        int last = -2;
        for (const char* t : r.typed) last = AddTextExtension(list, t);
        EXPECT_EQ(JoinTextExtensions(list), r.stored) << r.typed.back();
        EXPECT_EQ(last, r.lastIndex) << r.typed.back();
    }
}

}  // namespace
}  // namespace zyfar
