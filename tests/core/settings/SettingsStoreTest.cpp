// The per-user store: profile functions, the recent-file list and the Linux
// folder defaults.
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace zyfar {
namespace {

using test::ReadText;
using test::WriteText;

class SettingsStoreTest : public test::TempDirTest {};

TEST_F(SettingsStoreTest, DefaultFileIsUnderXdgConfigHome) {
    SetSettingsFileForTesting("");
    EXPECT_EQ(CurrentSettingsFile(), dir_ + "/config/Quorvane/Zyfar.ini");
    WriteProfileString("CONFIG", "Email", "me@example.org");
    EXPECT_EQ(ReadText(dir_ + "/config/Quorvane/Zyfar.ini"), "[CONFIG]\nEmail=me@example.org\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir_ + "/config/Quorvane/Zyfar.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsStoreTest, OverrideAndBack) {
    EXPECT_EQ(CurrentSettingsFile(), dir_ + "/store/Zyfar.ini");
    WriteProfileInt("FTP", "Port", 2121);
    EXPECT_EQ(ReadText(dir_ + "/store/Zyfar.ini"), "[FTP]\nPort=2121\n");
    SetSettingsFileForTesting("");
    EXPECT_EQ(GetProfileInt("FTP", "Port", 21), 21);
}

TEST_F(SettingsStoreTest, ReadsSeeEveryWriteAtOnce) {
    for (int i = 0; i < 40; ++i) {
        WriteProfileInt("SCHEDULE", "NumTimers", i);
        ASSERT_EQ(GetProfileInt("SCHEDULE", "NumTimers", -1), i);
        WriteProfileString("CONFIG", "TimeType", i % 2 ? "DD/MM" : "MM/DD");
        ASSERT_EQ(GetProfileString("CONFIG", "TimeType", ""), i % 2 ? "DD/MM" : "MM/DD");
    }
}

TEST_F(SettingsStoreTest, IntegersAreDecimalTextAndTextReadsAsInteger) {
    WriteProfileInt("Dimensions\\Main\\Mainframe", "x", -20);
    EXPECT_EQ(GetProfileString("Dimensions\\Main\\Mainframe", "x", ""), "-20");
    WriteProfileString("FTP", "QuickPort", "2121");
    EXPECT_EQ(GetProfileInt("FTP", "QuickPort", 21), 2121);
    WriteProfileString("FTP", "Retry", "many");
    EXPECT_EQ(GetProfileInt("FTP", "Retry", 2), 0);
    EXPECT_EQ(ReadText(CurrentSettingsFile()),
              "[Dimensions\\Main\\Mainframe]\nx=-20\n[FTP]\nQuickPort=2121\nRetry=many\n");
}

TEST_F(SettingsStoreTest, FindTellsAbsentFromEmpty) {
    WriteProfileString("EXT", "Ext0", "");
    EXPECT_EQ(FindProfileString("ext", "ext0"), "");
    EXPECT_FALSE(FindProfileString("EXT", "Ext1").has_value());
}

TEST_F(SettingsStoreTest, WritesNeverFailVisiblyAndRefuseLineBreaks) {
    WriteProfileString("CONFIG", "Email", "a@b");
    WriteProfileString("CONFIG", "Email", "x\n[FTP]\nAccessType=ProxyAccess");
    EXPECT_EQ(GetProfileString("CONFIG", "Email", ""), "a@b");
    EXPECT_EQ(GetProfileString("FTP", "AccessType", "none"), "none");
    // A store that cannot be written (its folder is a file) stays silent.
    WriteText(Path("blocker"), "x");
    SetSettingsFileForTesting(Path("blocker/Zyfar.ini"));
    WriteProfileString("CONFIG", "Email", "a@b");
    EXPECT_EQ(GetProfileString("CONFIG", "Email", "def"), "def");
}

TEST_F(SettingsStoreTest, RecentFilesKeepFourMostRecentFirst) {
    EXPECT_TRUE(RecentFiles().empty());
    for (const char* p : {"/a.cmd", "/b.cmd", "/c.cmd", "/d.cmd", "/e.cmd"}) AddRecentFile(p);
    EXPECT_EQ(RecentFiles(), (std::vector<std::string>{"/e.cmd", "/d.cmd", "/c.cmd", "/b.cmd"}));
    AddRecentFile("/c.cmd");  // moves to the front, no duplicate
    EXPECT_EQ(RecentFiles(), (std::vector<std::string>{"/c.cmd", "/e.cmd", "/d.cmd", "/b.cmd"}));
    const auto doc = IniDocument::Parse(ReadText(CurrentSettingsFile()));
    EXPECT_EQ(doc.Get("Recent File List", "File1"), "/c.cmd");
    EXPECT_EQ(doc.Get("Recent File List", "File4"), "/b.cmd");
    EXPECT_FALSE(doc.Get("Recent File List", "File5").has_value());
    AddRecentFile("/bad\nname");
    AddRecentFile("");
    EXPECT_EQ(RecentFiles().front(), "/c.cmd");
}

TEST_F(SettingsStoreTest, RecentFilesSkipEmptyEntries) {
    WriteText(Path("r.ini"), "[Recent File List]\nFile1=\nFile2=/x\n");
    SetSettingsFileForTesting(Path("r.ini"));
    EXPECT_EQ(RecentFiles(), (std::vector<std::string>{"/x"}));
    AddRecentFile("/y");
    EXPECT_EQ(RecentFiles(), (std::vector<std::string>{"/y", "/x"}));
}

TEST_F(SettingsStoreTest, LogFolderDefaultsToXdgStateWhenEmpty) {
    EXPECT_EQ(LogFolder(), dir_ + "/state/Quorvane");
    WriteProfileString("CONFIG", "DefaultDir", "");
    EXPECT_EQ(LogFolder(), dir_ + "/state/Quorvane");
    WriteProfileString("CONFIG", "DefaultDir", "/var/tmp/logs");
    EXPECT_EQ(LogFolder(), "/var/tmp/logs");
}

TEST_F(SettingsStoreTest, ProfileBaseAndItsFolders) {
    EXPECT_EQ(ProfileBase(), dir_ + "/data/Quorvane/Zyfar");
    WriteProfileString("CONFIG", "ProfilePath", Path("profiles"));
    EXPECT_EQ(ProfileBase(), Path("profiles"));
    ASSERT_TRUE(EnsureProfileFolders());
    for (const char* sub : {"Profiles", "Files", "Links"}) {
        struct stat st {};
        ASSERT_EQ(::stat(Path(std::string("profiles/") + sub).c_str(), &st), 0) << sub;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
    EXPECT_TRUE(EnsureProfileFolders());  // existing folders are fine
    WriteText(Path("notadir"), "x");
    WriteProfileString("CONFIG", "ProfilePath", Path("notadir"));
    EXPECT_FALSE(EnsureProfileFolders());
}

}  // namespace
}  // namespace zyfar
