// The key table: defaults of a fresh store, per-reader defaults, enumeration
// helpers with their (other) values, numbered keys and window geometry.
#include "settings/IniFile.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace zyfar {
namespace {

using test::ReadText;
using test::WriteText;

class KeysTest : public test::IsolatedHomeTest {};

TEST_F(KeysTest, FreshStoreGivesTheDocumentedDefaults) {
    // Readers of one key that show a different state for a fresh store have their own entries.
    const std::pair<const KeyDef*, const char*> texts[] = {
        {&keys::FileCasingPut, "PRESERVE"}, {&keys::FileCasingGet, "PRESERVE"}, {&keys::Overwrite, "NO"},
        {&keys::DeletePut, "NO"},           {&keys::DeleteGet, "NO"},           {&keys::ToScreenView, "YES"},
        {&keys::ToFileView, "YES"},         {&keys::FileNameView, "log1.log"},  {&keys::View, "ALL"},
        {&keys::StartScreen, "MULTIPLE_PUT"}, {&keys::ScreenSplit, "HORIZ"}, {&keys::CachePage, "YES"},
        {&keys::CacheSession, "NO"},        {&keys::DragDropDirsPage, "YES"}, {&keys::DragDropDirsView, "NO"},
        {&keys::ToScreenPage, "NO"},        {&keys::FileNamePage, ""},          {&keys::ResendTimeTimer, "10"},
        {&keys::ResendTimePage, "0"},       {&keys::TimeTypeMain, "DD/MM"},     {&keys::TimeTypePage, "MM/DD"},
        {&keys::TransferTypeSession, "NotFound"}, {&keys::SoundTransferType, "BATCH"},
        {&keys::SoundConnectOk, "NotFound"}, {&keys::Passive, "NO"},           {&keys::QuickPort, "21"},
        {&keys::DataDirScript, "."},        {&keys::DataDir, ""},
    };
    for (const auto& [k, want] : texts) EXPECT_EQ(Read(*k), want) << k->id;
    const std::pair<const KeyDef*, int> ints[] = {
        {&keys::Port, 21},        {&keys::ConnectTo, 20},  {&keys::RecTo, 20},        {&keys::SendTo, 20},
        {&keys::RecToCtrl, 20},   {&keys::SendToCtrl, 20}, {&keys::Retry, 2},         {&keys::ReadBuffer, 4096},
        {&keys::WriteBuffer, 4096}, {&keys::ProxyPort, 2021}, {&keys::StartQueueProg, 0},
    };
    for (const auto& [k, want] : ints) EXPECT_EQ(ReadInt(*k), want) << k->id;
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
    // Every key name the system stores appears, spelled exactly.
    std::set<std::string> names;
    for (const KeyDef& k : all) names.insert(std::string(k.section) + "/" + k.key);
    const std::pair<const char*, const char*> stored[] = {
        {"CONFIG", "Email DataDir DefaultDir ProfilePath ConnectNet Overwrite DragDropSubDirs FileCasingPut "
                   "FileCasingGet TimeType TextExtensions DragDrop DragDropDirs FTPDirTree LocalDblClick "
                   "RemoteDblClick DeletePut DeleteGet RenameLongFileNames ScreenSplit StartScreen WinState "
                   "ToolBar StatusBar ProfileBar Scheduler SysInfo_X SysInfo_Y"},
        {"FTP", "AccessType ProxyName ProxyPort Port Cache Reload ConnectTo RecTo SendTo RecToCtrl SendToCtrl "
                "Retry ReadBuffer WriteBuffer TransferType QuickServer QuickLogin QuickPasswd QuickDirec "
                "QuickPort Passive"},
        {"SCHEDULE", "ResendFail ResendFreq ResendFreqNum ResendTime StartQueueProg NumTimers Timer%d"},
        {"LOG", "ToScreen ToFile AppendLog FileName TimeFormat DateFormat View"},
        {"SOUNDS", "ConnectOk TransferOk ConnectFail TransferFail TransferType"},
        {"EXT", "Ext%d"},
        {"Dimensions\\Main\\Mainframe", "Width Height x y"},
        {"Dimensions\\Profile\\Mainframe", "Width Height x y"},
        {"Dimensions\\Files\\Mainframe", "Width Height x y"},
        {"Dimensions\\", "NumRows NumCols Row%d Col%d"},
    };
    for (const auto& [section, keyList] : stored) {
        std::istringstream words(keyList);
        for (std::string key; words >> key;) EXPECT_TRUE(names.count(std::string(section) + "/" + key)) << section << "/" << key;
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

}  // namespace
}  // namespace zyfar
