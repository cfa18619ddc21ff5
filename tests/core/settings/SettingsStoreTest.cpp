// The per-user store (profile functions, the recent-file list, the Linux folder defaults) and the key table
// (per-reader defaults, enumeration helpers with their (other) values, numbered keys, window geometry).
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"

#include <map>
#include <set>

namespace zyfar {
namespace {

using test::ReadText;
using test::WriteText;

class KeysTest : public test::IsolatedHomeTest {};

TEST_F(KeysTest, FreshStoreGivesTheDocumentedDefaults) {
    // Readers of one key that show a different state for a fresh store have their own entries.
    const std::pair<const KeyDef*, const char*> texts[] = {
        {&keys::CachePage, "YES"},         {&keys::CacheSession, "NO"},      {&keys::DragDropDirsPage, "YES"},
        {&keys::DragDropDirsView, "NO"},   {&keys::ToScreenPage, "NO"},      {&keys::ToScreenView, "YES"},
        {&keys::FileNamePage, ""},         {&keys::FileNameView, "log1.log"}, {&keys::ResendTimePage, "0"},
        {&keys::ResendTimeTimer, "10"},    {&keys::TimeTypeMain, "DD/MM"},   {&keys::TimeTypePage, "MM/DD"},
    };
    for (const auto& [k, want] : texts) EXPECT_EQ(Read(*k), want) << k->id;
    // The session time-outs, retries and proxy port: SessionSettingsTest.
    EXPECT_EQ(std::vector({ReadInt(keys::Port), ReadInt(keys::ReadBuffer), ReadInt(keys::WriteBuffer)}),
              std::vector({21, 4096, 4096}));
    // Sessions use pre-configured access while the page shows direct access.
    EXPECT_EQ(SessionAccessMode(Read(keys::AccessTypeSession)), AccessMode::Preconfig);
    EXPECT_EQ(PageAccessMode(Read(keys::AccessTypePage)), AccessMode::Direct);
    EXPECT_EQ(ParseTransferType(Read(keys::TransferTypeSession)), TransferType::Automatic);
    EXPECT_EQ(ParseStartQueueProg(ReadInt(keys::StartQueueProg)), StartQueueAction::Empty);
    EXPECT_TRUE(IsHorizontalSplit(Read(keys::ScreenSplit)) && !IsSoundPerFile(Read(keys::SoundTransferType)));
    EXPECT_TRUE(ParseDateStyle(Read(keys::TimeTypeMain)) == DateStyle::DayMonth && ParseDateStyle(Read(keys::TimeTypePage)) == DateStyle::MonthDay);
    EXPECT_TRUE(ParseStartScreen(Read(keys::StartScreen)) == ScreenKind::MultiplePut && ParseLogFilterView(Read(keys::View)) == LogFilter::All);
    EXPECT_TRUE(ReadYes(keys::CachePage) && ReadNotNo(keys::ToFileView));
    EXPECT_FALSE(ReadNotNo(keys::CacheSession) || ReadYes(keys::Overwrite));
    EXPECT_TRUE(ResumeEnabled() && ParseVerifyHash(Read(keys::VerifyHash)) == VerifyHashMode::Auto);
    EXPECT_NE(::access(CurrentSettingsFile().c_str(), F_OK), 0);  // reading wrote nothing
}

TEST_F(KeysTest, TableIsConsistent) {
    const auto all = AllKeys();
    ASSERT_GT(all.size(), 90u);
    std::set<std::string> ids;
    std::map<std::string, KeyType> typeOf;  // section + key -> type
    for (const KeyDef& k : all) {
        ASSERT_TRUE(k.section && k.key && k.textDefault);
        EXPECT_TRUE(ids.insert(k.id).second) << "duplicate entry " << k.id;
        // Readers of one key agree on its type.
        const auto [it, fresh] = typeOf.emplace(std::string(k.section) + "|" + k.key, k.type);
        EXPECT_TRUE(fresh || it->second == k.type) << k.id;
        EXPECT_TRUE(k.type != KeyType::Int || *k.textDefault == '\0') << k.id;
    }
}

TEST_F(KeysTest, WritesUseTheTableNamesAndEveryReaderOfAKeySeesThem) {
    Write(keys::Email, "me@example.org");
    WriteInt(keys::ReadBuffer, 8192);
    Write(keys::TimerN, 0, "entry0");
    Write(keys::ExtN, 2, "txt gedit");
    EXPECT_EQ(ReadText(CurrentSettingsFile()),
              "[CONFIG]\nEmail=me@example.org\n[FTP]\nReadBuffer=8192\n[SCHEDULE]\nTimer0=entry0\n[EXT]\nExt2=txt gedit\n");
    EXPECT_EQ(ReadIfPresent(keys::ExtN, 2), "txt gedit");
    EXPECT_FALSE(ReadIfPresent(keys::ExtN, 0).has_value());
    EXPECT_EQ(NumberedKey(keys::SplitterRowN, 12), "Row12");
    // Two readers of one key differ only in their defaults.
    Write(keys::CachePage, "NO");
    EXPECT_EQ(Read(keys::CacheSession), "NO");
    Write(keys::AccessTypePage, "DirectAccess");
    EXPECT_EQ(SessionAccessMode(Read(keys::AccessTypeSession)), AccessMode::Direct);
}

TEST(KeyEnumerations, ValuesCompareExactlyAndUnknownOnesFallToTheOtherEntry) {
    // Every value written reads back as itself.
    auto same = [](auto parse, auto text, auto... v) { ([&] { EXPECT_EQ(parse(text(v)), v); }(), ...); };
    same(PageAccessMode, AccessModeText, AccessMode::Direct, AccessMode::Preconfig, AccessMode::Proxy);
    same(ParseTransferType, TransferTypeText, TransferType::Text, TransferType::Binary, TransferType::Automatic);
    same(ParseFileCasing, FileCasingText, FileCasing::Preserve, FileCasing::Upper, FileCasing::Lower);
    same(ParseDateStyle, DateStyleText, DateStyle::MonthDay, DateStyle::DayMonth, DateStyle::MonNameDay, DateStyle::DayMonName);
    same(ParseDirTree, DirTreeText, DirTreeMode::NoPath, DirTreeMode::LastDir, DirTreeMode::FullPath);
    same(ParseLocalDblClick, DblClickText, DblClickAction::Transfer, DblClickAction::Execute, DblClickAction::Open,
         DblClickAction::NoAction);
    same(ParseStartScreen, ScreenKindText, ScreenKind::Standard, ScreenKind::RemoteRemote, ScreenKind::MultiplePut);
    same(ParseLogFilterView, LogFilterText, LogFilter::All, LogFilter::Success, LogFilter::Unsuccess);
    same(ParseLogFilterPage, LogFilterText, LogFilter::All, LogFilter::Success, LogFilter::Unsuccess);
    same(ParseVerifyHash, VerifyHashText, VerifyHashMode::Auto, VerifyHashMode::No, VerifyHashMode::Require);
    EXPECT_EQ(ParseVerifyHash("require"), VerifyHashMode::Auto);
    // The stored spellings, and where an unknown (or lower-case) value goes.
    EXPECT_EQ(std::string(FileCasingText(FileCasing::Upper)) + TransferTypeText(TransferType::Text), "UPPER_CASETEXT");
    EXPECT_TRUE(ParseDragDrop("COPY") == DragDropMode::Copy && ParseDragDrop("copy") == DragDropMode::Move);
    EXPECT_EQ(ParseDirTree("full_path"), DirTreeMode::NoPath);
    EXPECT_EQ(ParseLocalDblClick("RUN"), DblClickAction::NoAction);
    EXPECT_EQ(ParseRemoteDblClick("EXECUTE"), DblClickAction::NoAction);
    EXPECT_EQ(ParseFileCasing("Upper"), FileCasing::Preserve);
    EXPECT_EQ(ParseTransferType("binary"), TransferType::Automatic);
    EXPECT_EQ(SessionAccessMode("directaccess"), AccessMode::Preconfig);
    EXPECT_EQ(PageAccessMode("Bogus"), AccessMode::Proxy);
    EXPECT_EQ(ParseStartScreen("whatever"), ScreenKind::RemoteRemote);
    EXPECT_TRUE(ParseLogFilterView("other") == LogFilter::Unsuccess && ParseLogFilterPage("other") == LogFilter::All);
    EXPECT_FALSE(ParseDateStyle("YYYY").has_value());
    EXPECT_TRUE(IsIconicWinState("ICONIC") && !IsIconicWinState("MINIMIZED"));
    EXPECT_TRUE(!IsHorizontalSplit("VERT") && !IsHorizontalSplit("horiz"));
    EXPECT_TRUE(IsResendUntilEnd("UNTIL_END") && !IsResendUntilEnd("until_end"));
    EXPECT_TRUE(IsSoundPerFile("FILE") && !IsSoundPerFile("BATCH"));
    EXPECT_EQ(std::vector({ParseStartQueueProg(1), ParseStartQueueProg(2), ParseStartQueueProg(7)}),
              std::vector({StartQueueAction::Send, StartQueueAction::Nothing, StartQueueAction::Empty}));
}

TEST_F(KeysTest, WindowGeometryAndSplitterSizes) {
    auto text = [](const WindowGeometry& g) { return test::Cat("", g.width) + test::Cat(" ", g.height) + test::Cat(" ", g.x) + test::Cat(" ", g.y); };
    EXPECT_EQ(text(ReadWindowGeometry(sections::MainWindow)), "400 400 20 20");
    WriteWindowGeometry(sections::ProfileWindow, {800, 600, -5, 30});
    EXPECT_EQ(text(ReadWindowGeometry(sections::ProfileWindow)), "800 600 -5 30");
    EXPECT_EQ(ReadText(CurrentSettingsFile()), "[Dimensions\\Profile\\Mainframe]\nWidth=800\nHeight=600\nx=-5\ny=30\n");
    EXPECT_EQ(text(ReadWindowGeometry(sections::FilesWindow)), "400 400 20 20");

    // Splitter sizes: defaults, a minimum of 10 and the stored order.
    WriteText(CurrentSettingsFile(), "");
    auto fresh = ReadSplitterSizes("Main\\split1", 2, 1);
    EXPECT_TRUE(fresh.rows == std::vector<int>({50, 50}) && fresh.cols == std::vector<int>{50});
    WriteSplitterSizes("Main\\split1", {{300, 3}, {640}});
    EXPECT_EQ(ReadText(CurrentSettingsFile()),
              "[Dimensions\\Main\\split1]\nRow0=300\nRow1=3\nNumRows=2\nCol0=640\nNumCols=1\n");
    const auto back = ReadSplitterSizes("Main\\split1", 2, 1);
    EXPECT_TRUE(back.rows == std::vector<int>({300, 10}) && back.cols == std::vector<int>{640});  // a minimum of 10
    // A splitter built with more panes than were saved gets the default.
    EXPECT_EQ(ReadSplitterSizes("Main\\split1", 3, 0).rows, (std::vector<int>{300, 10, 50}));
    WriteText(CurrentSettingsFile(), "[Dimensions\\Main\\split2]\nRow0=-40\nCol0=junk\n");
    const auto odd = ReadSplitterSizes("Main\\split2", 1, 1);
    EXPECT_TRUE(odd.rows == std::vector<int>{10} && odd.cols == std::vector<int>{10});
}

// ---- the store ----

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

// The log folder (DefaultDir): TransferLogTest.SettingsComeFromTheLogSection.
TEST_F(SettingsStoreTest, LogFolderAndProfileBaseDefaultToXdgFolders) {
    WriteProfileString("CONFIG", "DefaultDir", "");
    EXPECT_EQ(LogFolder(), Path("state/Quorvane"));  // empty counts as absent
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
