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

class SettingsStoreTest : public test::IsolatedHomeTest {};

TEST_F(SettingsStoreTest, StoreFileLiesUnderXdgConfigHome) {
    EXPECT_EQ(CurrentSettingsFile(), Path("store/Zyfar.ini"));
    SetSettingsFileForTesting("");
    const std::string file = Path("config/Quorvane/Zyfar.ini");
    EXPECT_EQ(CurrentSettingsFile(), file);
    WriteProfileString("CONFIG", "Email", "me@example.org");
    EXPECT_EQ(ReadText(file), "[CONFIG]\nEmail=me@example.org\n");
    EXPECT_EQ(test::ModeOf(file), 0600);
}

TEST_F(SettingsStoreTest, ReadsSeeEveryWriteAtOnceAndIntegersAreDecimalText) {
    for (int i = 0; i < 40; ++i) {
        WriteProfileInt("SCHEDULE", "NumTimers", i);
        ASSERT_EQ(GetProfileInt("SCHEDULE", "NumTimers", -1), i);
        WriteProfileString("CONFIG", "TimeType", i % 2 ? "DD/MM" : "MM/DD");
        ASSERT_EQ(GetProfileString("CONFIG", "TimeType", ""), i % 2 ? "DD/MM" : "MM/DD");
    }
    WriteProfileInt("Dimensions\\Main\\Mainframe", "x", -20);
    EXPECT_EQ(GetProfileString("Dimensions\\Main\\Mainframe", "x", ""), "-20");
    WriteProfileString("FTP", "Retry", "many");
    EXPECT_EQ(GetProfileInt("FTP", "Retry", 2), 0);
    WriteProfileString("EXT", "Ext0", "");
    EXPECT_EQ(FindProfileString("ext", "ext0"), "");  // absent and empty differ
    EXPECT_FALSE(FindProfileString("EXT", "Ext1").has_value());
    EXPECT_EQ(ReadText(CurrentSettingsFile()),
              "[SCHEDULE]\nNumTimers=39\n[CONFIG]\nTimeType=DD/MM\n[Dimensions\\Main\\Mainframe]\nx=-20\n"
              "[FTP]\nRetry=many\n[EXT]\nExt0=\n");
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
    EXPECT_TRUE(doc.Get("Recent File List", "File1") == "/c.cmd" && doc.Get("Recent File List", "File4") == "/b.cmd");
    EXPECT_FALSE(doc.Get("Recent File List", "File5").has_value());
    for (const char* bad : {"/bad\nname", ""}) AddRecentFile(bad);
    EXPECT_EQ(RecentFiles().front(), "/c.cmd");
    // Empty entries of a hand-edited list are skipped.
    WriteText(CurrentSettingsFile(), "[Recent File List]\nFile1=\nFile2=/x\n");
    EXPECT_EQ(RecentFiles(), (std::vector<std::string>{"/x"}));
    AddRecentFile("/y");
    EXPECT_EQ(RecentFiles(), (std::vector<std::string>{"/y", "/x"}));
}

TEST_F(SettingsStoreTest, LogFolderAndProfileBaseDefaultToXdgFolders) {
    WriteProfileString("CONFIG", "DefaultDir", "");
    EXPECT_EQ(LogFolder(), Path("state/Quorvane"));  // empty counts as absent
    WriteProfileString("CONFIG", "DefaultDir", "/var/tmp/logs");
    EXPECT_EQ(LogFolder(), "/var/tmp/logs");
    EXPECT_EQ(ProfileBase(), Path("data/Quorvane/Zyfar"));
    WriteProfileString("CONFIG", "ProfilePath", Path("profiles"));
    EXPECT_EQ(ProfileBase(), Path("profiles"));
    ASSERT_TRUE(EnsureProfileFolders());
    EXPECT_EQ(test::ListFolder(Path("profiles")), (std::vector<std::string>{"Files", "Links", "Profiles"}));
    EXPECT_TRUE(EnsureProfileFolders());  // existing folders are fine
    WriteText(Path("notadir"), "x");
    WriteProfileString("CONFIG", "ProfilePath", Path("notadir"));
    EXPECT_FALSE(EnsureProfileFolders());
}

}  // namespace
}  // namespace zyfar
