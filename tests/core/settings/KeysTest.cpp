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

namespace zyfar {
namespace {

using test::ReadText;
using test::WriteText;

class KeysTest : public test::TempDirTest {};

TEST_F(KeysTest, FreshStoreGivesTheDocumentedDefaults) {
    // Sessions use pre-configured access while the page shows direct access.
    EXPECT_EQ(SessionAccessMode(Read(keys::AccessTypeSession)), AccessMode::Preconfig);
    EXPECT_EQ(PageAccessMode(Read(keys::AccessTypePage)), AccessMode::Direct);
    EXPECT_EQ(ReadInt(keys::Port), 21);
    for (const KeyDef* k : {&keys::ConnectTo, &keys::RecTo, &keys::SendTo, &keys::RecToCtrl, &keys::SendToCtrl})
        EXPECT_EQ(ReadInt(*k), 20) << k->key;
    EXPECT_EQ(ReadInt(keys::Retry), 2);
    EXPECT_EQ(ReadInt(keys::ReadBuffer), 4096);
    EXPECT_EQ(ReadInt(keys::WriteBuffer), 4096);
    EXPECT_EQ(ParseFileCasing(Read(keys::FileCasingPut)), FileCasing::Preserve);
    EXPECT_EQ(ParseFileCasing(Read(keys::FileCasingGet)), FileCasing::Preserve);
    EXPECT_FALSE(ReadYes(keys::Overwrite));
    EXPECT_FALSE(ReadYes(keys::DeletePut));
    EXPECT_FALSE(ReadYes(keys::DeleteGet));
    EXPECT_TRUE(ReadYes(keys::ToScreenView));
    EXPECT_TRUE(ReadYes(keys::ToFileView));
    EXPECT_EQ(Read(keys::FileNameView), "log1.log");
    EXPECT_EQ(ParseLogFilterView(Read(keys::View)), LogFilter::All);
    EXPECT_EQ(ParseStartScreen(Read(keys::StartScreen)), ScreenKind::MultiplePut);
    EXPECT_TRUE(IsHorizontalSplit(Read(keys::ScreenSplit)));
    EXPECT_EQ(ParseStartQueueProg(ReadInt(keys::StartQueueProg)), StartQueueAction::Empty);
    EXPECT_EQ(ReadInt(keys::StartQueueProg), 0);
    // Pages that show a different state for a fresh store.
    EXPECT_TRUE(ReadYes(keys::CachePage));
    EXPECT_FALSE(ReadNotNo(keys::CacheSession));
    EXPECT_TRUE(ReadYes(keys::DragDropDirsPage));
    EXPECT_FALSE(ReadYes(keys::DragDropDirsView));
    EXPECT_FALSE(ReadNotNo(keys::ToScreenPage));
    EXPECT_EQ(Read(keys::FileNamePage), "");
    EXPECT_EQ(Read(keys::ResendTimeTimer), "10");
    EXPECT_EQ(Read(keys::ResendTimePage), "0");
    EXPECT_EQ(ParseDateStyle(Read(keys::TimeTypeMain)), DateStyle::DayMonth);
    EXPECT_EQ(ParseDateStyle(Read(keys::TimeTypePage)), DateStyle::MonthDay);
    EXPECT_EQ(ParseTransferType(Read(keys::TransferTypeSession)), TransferType::Automatic);
    EXPECT_EQ(Read(keys::TransferTypeSession), "NotFound");
    EXPECT_FALSE(IsSoundPerFile(Read(keys::SoundTransferType)));
    EXPECT_EQ(Read(keys::SoundConnectOk), "NotFound");
    EXPECT_EQ(ReadInt(keys::ProxyPort), 2021);
    EXPECT_EQ(Read(keys::Passive), "NO");
    EXPECT_EQ(Read(keys::QuickPort), "21");
    EXPECT_EQ(Read(keys::DataDirScript), ".");
    EXPECT_EQ(Read(keys::DataDir), "");
    // Reading wrote nothing.
    EXPECT_NE(::access(CurrentSettingsFile().c_str(), F_OK), 0);
}

TEST_F(KeysTest, TableIsConsistent) {
    const auto all = AllKeys();
    ASSERT_GT(all.size(), 90u);
    std::set<std::string> ids;
    std::map<std::string, KeyType> typeOf;  // section + key -> type
    for (const KeyDef& k : all) {
        ASSERT_NE(k.section, nullptr);
        ASSERT_NE(k.key, nullptr);
        ASSERT_NE(k.textDefault, nullptr);
        EXPECT_TRUE(ids.insert(k.id).second) << "duplicate entry " << k.id;
        // Readers of one key agree on its type.
        const auto [it, fresh] = typeOf.emplace(std::string(k.section) + "|" + k.key, k.type);
        if (!fresh) {
            EXPECT_EQ(it->second, k.type) << k.id;
        }
        if (k.type == KeyType::Int) {
            EXPECT_STREQ(k.textDefault, "") << k.id;
        }
    }
    // Every section of the store is covered.
    std::set<std::string> sectionsSeen;
    for (const KeyDef& k : all) sectionsSeen.insert(k.section);
    for (const char* s : {"CONFIG", "FTP", "SCHEDULE", "LOG", "SOUNDS", "EXT", "Dimensions\\Main\\Mainframe",
                          "Dimensions\\Profile\\Mainframe", "Dimensions\\Files\\Mainframe"})
        EXPECT_TRUE(sectionsSeen.count(s)) << s;
    // Every key name the system stores appears.
    std::set<std::string> names;
    for (const KeyDef& k : all) names.insert(std::string(k.section) + "/" + k.key);
    for (const char* n :
         {"CONFIG/Email", "CONFIG/DataDir", "CONFIG/DefaultDir", "CONFIG/ProfilePath", "CONFIG/ConnectNet",
          "CONFIG/Overwrite", "CONFIG/DragDropSubDirs", "CONFIG/FileCasingPut", "CONFIG/FileCasingGet",
          "CONFIG/TimeType", "CONFIG/TextExtensions", "CONFIG/DragDrop", "CONFIG/DragDropDirs", "CONFIG/FTPDirTree",
          "CONFIG/LocalDblClick", "CONFIG/RemoteDblClick", "CONFIG/DeletePut", "CONFIG/DeleteGet",
          "CONFIG/RenameLongFileNames", "CONFIG/ScreenSplit", "CONFIG/StartScreen", "CONFIG/WinState",
          "CONFIG/ToolBar", "CONFIG/StatusBar", "CONFIG/ProfileBar", "CONFIG/Scheduler", "CONFIG/SysInfo_X",
          "CONFIG/SysInfo_Y", "FTP/AccessType", "FTP/ProxyName", "FTP/ProxyPort", "FTP/Port", "FTP/Cache",
          "FTP/Reload", "FTP/ConnectTo", "FTP/RecTo", "FTP/SendTo", "FTP/RecToCtrl", "FTP/SendToCtrl", "FTP/Retry",
          "FTP/ReadBuffer", "FTP/WriteBuffer", "FTP/TransferType", "FTP/QuickServer", "FTP/QuickLogin",
          "FTP/QuickPasswd", "FTP/QuickDirec", "FTP/QuickPort", "FTP/Passive", "SCHEDULE/ResendFail",
          "SCHEDULE/ResendFreq", "SCHEDULE/ResendFreqNum", "SCHEDULE/ResendTime", "SCHEDULE/StartQueueProg",
          "SCHEDULE/NumTimers", "SCHEDULE/Timer%d", "LOG/ToScreen", "LOG/ToFile", "LOG/AppendLog", "LOG/FileName",
          "LOG/TimeFormat", "LOG/DateFormat", "LOG/View", "SOUNDS/ConnectOk", "SOUNDS/TransferOk",
          "SOUNDS/ConnectFail", "SOUNDS/TransferFail", "SOUNDS/TransferType", "EXT/Ext%d",
          "Dimensions\\Main\\Mainframe/Width", "Dimensions\\Main\\Mainframe/Height", "Dimensions\\Main\\Mainframe/x",
          "Dimensions\\Main\\Mainframe/y", "Dimensions\\/NumRows", "Dimensions\\/NumCols", "Dimensions\\/Row%d",
          "Dimensions\\/Col%d"})
        EXPECT_TRUE(names.count(n)) << n;
}

TEST_F(KeysTest, ReadersOfOneKeyDifferOnlyWhereDocumented) {
    EXPECT_STREQ(keys::CacheSession.key, keys::CachePage.key);
    EXPECT_STRNE(keys::CacheSession.textDefault, keys::CachePage.textDefault);
    // The same stored value is seen by both readers.
    Write(keys::CachePage, "NO");
    EXPECT_EQ(Read(keys::CacheSession), "NO");
    EXPECT_FALSE(ReadYes(keys::CachePage));
    Write(keys::AccessTypePage, "DirectAccess");
    EXPECT_EQ(SessionAccessMode(Read(keys::AccessTypeSession)), AccessMode::Direct);
}

TEST_F(KeysTest, WritesUseTheTableNames) {
    Write(keys::Email, "me@example.org");
    WriteInt(keys::ReadBuffer, 8192);
    Write(keys::TimerN, 0, "entry0");
    Write(keys::ExtN, 2, "txt gedit");
    const auto doc = IniDocument::Parse(ReadText(CurrentSettingsFile()));
    EXPECT_EQ(doc.Get("CONFIG", "Email"), "me@example.org");
    EXPECT_EQ(doc.Get("FTP", "ReadBuffer"), "8192");
    EXPECT_EQ(doc.Get("SCHEDULE", "Timer0"), "entry0");
    EXPECT_EQ(doc.Get("EXT", "Ext2"), "txt gedit");
    EXPECT_EQ(ReadInt(keys::ReadBuffer), 8192);
    EXPECT_EQ(Read(keys::TimerN, 0), "entry0");
    EXPECT_EQ(ReadIfPresent(keys::ExtN, 2), "txt gedit");
    EXPECT_FALSE(ReadIfPresent(keys::ExtN, 0).has_value());
    EXPECT_EQ(NumberedKey(keys::SplitterRowN, 12), "Row12");
}

TEST(KeyEnumerations, UnknownValuesFallToTheOtherEntry) {
    // Values compare exactly: lower case is unknown.
    EXPECT_EQ(ParseDragDrop("COPY"), DragDropMode::Copy);
    EXPECT_EQ(ParseDragDrop("copy"), DragDropMode::Move);
    EXPECT_EQ(ParseDragDrop(""), DragDropMode::Move);
    EXPECT_EQ(ParseDirTree("LAST_DIR"), DirTreeMode::LastDir);
    EXPECT_EQ(ParseDirTree("FULL_PATH"), DirTreeMode::FullPath);
    EXPECT_EQ(ParseDirTree("full_path"), DirTreeMode::NoPath);
    EXPECT_EQ(ParseLocalDblClick("EXECUTE"), DblClickAction::Execute);
    EXPECT_EQ(ParseLocalDblClick("OPEN"), DblClickAction::Open);
    EXPECT_EQ(ParseLocalDblClick("TRANSFER"), DblClickAction::Transfer);
    EXPECT_EQ(ParseLocalDblClick("RUN"), DblClickAction::NoAction);
    EXPECT_EQ(ParseRemoteDblClick("TRANSFER"), DblClickAction::Transfer);
    EXPECT_EQ(ParseRemoteDblClick("EXECUTE"), DblClickAction::NoAction);
    EXPECT_EQ(ParseFileCasing("UPPER_CASE"), FileCasing::Upper);
    EXPECT_EQ(ParseFileCasing("LOWER_CASE"), FileCasing::Lower);
    EXPECT_EQ(ParseFileCasing("Upper"), FileCasing::Preserve);
    EXPECT_EQ(ParseTransferType("TEXT"), TransferType::Text);
    EXPECT_EQ(ParseTransferType("BINARY"), TransferType::Binary);
    EXPECT_EQ(ParseTransferType("AUTOMATIC"), TransferType::Automatic);
    EXPECT_EQ(ParseTransferType("binary"), TransferType::Automatic);
    EXPECT_EQ(SessionAccessMode("PreconfigAccess"), AccessMode::Preconfig);
    EXPECT_EQ(SessionAccessMode("ProxyAccess"), AccessMode::Proxy);
    EXPECT_EQ(SessionAccessMode("directaccess"), AccessMode::Preconfig);
    EXPECT_EQ(PageAccessMode("PreconfigAccess"), AccessMode::Preconfig);
    EXPECT_EQ(PageAccessMode("Bogus"), AccessMode::Proxy);
    EXPECT_EQ(ParseStartScreen("REMOTE_LOCAL"), ScreenKind::Standard);
    EXPECT_EQ(ParseStartScreen("REMOTE_REMOTE"), ScreenKind::RemoteRemote);
    EXPECT_EQ(ParseStartScreen("MULTIPLE_PUT"), ScreenKind::MultiplePut);
    EXPECT_EQ(ParseStartScreen("whatever"), ScreenKind::RemoteRemote);
    EXPECT_EQ(ParseStartScreen(""), ScreenKind::RemoteRemote);
    EXPECT_FALSE(IsHorizontalSplit("VERT"));
    EXPECT_FALSE(IsHorizontalSplit("horiz"));
    EXPECT_TRUE(IsIconicWinState("ICONIC"));
    EXPECT_FALSE(IsIconicWinState("MINIMIZED"));
    EXPECT_EQ(ParseLogFilterView("SUCCESS"), LogFilter::Success);
    EXPECT_EQ(ParseLogFilterView("other"), LogFilter::Unsuccess);
    EXPECT_EQ(ParseLogFilterPage("UNSUCCESS"), LogFilter::Unsuccess);
    EXPECT_EQ(ParseLogFilterPage("other"), LogFilter::All);
    EXPECT_TRUE(IsResendUntilEnd("UNTIL_END"));
    EXPECT_FALSE(IsResendUntilEnd("FREQ_NUM"));
    EXPECT_FALSE(IsResendUntilEnd("until_end"));
    EXPECT_TRUE(IsSoundPerFile("FILE"));
    EXPECT_FALSE(IsSoundPerFile("BATCH"));
    EXPECT_EQ(ParseStartQueueProg(1), StartQueueAction::Send);
    EXPECT_EQ(ParseStartQueueProg(2), StartQueueAction::Nothing);
    EXPECT_EQ(ParseStartQueueProg(7), StartQueueAction::Empty);
    EXPECT_FALSE(ParseDateStyle("YYYY").has_value());
    EXPECT_EQ(ParseDateStyle("MON/DD"), DateStyle::MonNameDay);
    EXPECT_EQ(ParseDateStyle("DD/MON"), DateStyle::DayMonName);
}

TEST(KeyEnumerations, TextsRoundTrip) {
    for (auto m : {AccessMode::Direct, AccessMode::Preconfig, AccessMode::Proxy})
        EXPECT_EQ(PageAccessMode(AccessModeText(m)), m);
    for (auto m : {TransferType::Text, TransferType::Binary, TransferType::Automatic})
        EXPECT_EQ(ParseTransferType(TransferTypeText(m)), m);
    for (auto c : {FileCasing::Preserve, FileCasing::Upper, FileCasing::Lower})
        EXPECT_EQ(ParseFileCasing(FileCasingText(c)), c);
    for (auto s : {DateStyle::MonthDay, DateStyle::DayMonth, DateStyle::MonNameDay, DateStyle::DayMonName})
        EXPECT_EQ(ParseDateStyle(DateStyleText(s)), s);
    for (auto d : {DirTreeMode::NoPath, DirTreeMode::LastDir, DirTreeMode::FullPath})
        EXPECT_EQ(ParseDirTree(DirTreeText(d)), d);
    for (auto a : {DblClickAction::Transfer, DblClickAction::Execute, DblClickAction::Open, DblClickAction::NoAction})
        EXPECT_EQ(ParseLocalDblClick(DblClickText(a)), a);
    for (auto k : {ScreenKind::Standard, ScreenKind::RemoteRemote, ScreenKind::MultiplePut})
        EXPECT_EQ(ParseStartScreen(ScreenKindText(k)), k);
    for (auto f : {LogFilter::All, LogFilter::Success, LogFilter::Unsuccess}) {
        EXPECT_EQ(ParseLogFilterView(LogFilterText(f)), f);
        EXPECT_EQ(ParseLogFilterPage(LogFilterText(f)), f);
    }
}

TEST_F(KeysTest, WindowGeometryDefaultsAndRoundTrip) {
    const WindowGeometry fresh = ReadWindowGeometry(sections::MainWindow);
    EXPECT_EQ(fresh.width, 400);
    EXPECT_EQ(fresh.height, 400);
    EXPECT_EQ(fresh.x, 20);
    EXPECT_EQ(fresh.y, 20);
    WriteWindowGeometry(sections::ProfileWindow, {800, 600, -5, 30});
    const WindowGeometry g = ReadWindowGeometry(sections::ProfileWindow);
    EXPECT_EQ(g.width, 800);
    EXPECT_EQ(g.height, 600);
    EXPECT_EQ(g.x, -5);
    EXPECT_EQ(g.y, 30);
    EXPECT_EQ(ReadText(CurrentSettingsFile()), "[Dimensions\\Profile\\Mainframe]\nWidth=800\nHeight=600\nx=-5\ny=30\n");
    EXPECT_EQ(ReadWindowGeometry(sections::FilesWindow).width, 400);
}

TEST_F(KeysTest, SplitterSizesDefaultMinimumAndOrder) {
    auto fresh = ReadSplitterSizes("Main\\split1", 2, 1);
    EXPECT_EQ(fresh.rows, (std::vector<int>{50, 50}));
    EXPECT_EQ(fresh.cols, (std::vector<int>{50}));
    WriteSplitterSizes("Main\\split1", {{300, 3}, {640}});
    EXPECT_EQ(ReadText(CurrentSettingsFile()),
              "[Dimensions\\Main\\split1]\nRow0=300\nRow1=3\nNumRows=2\nCol0=640\nNumCols=1\n");
    const auto back = ReadSplitterSizes("Main\\split1", 2, 1);
    EXPECT_EQ(back.rows, (std::vector<int>{300, 10}));  // restored with a minimum of 10
    EXPECT_EQ(back.cols, (std::vector<int>{640}));
    // A splitter built with more panes than were saved gets the default.
    EXPECT_EQ(ReadSplitterSizes("Main\\split1", 3, 0).rows, (std::vector<int>{300, 10, 50}));
    WriteText(CurrentSettingsFile(), "[Dimensions\\Main\\split2]\nRow0=-40\nCol0=junk\n");
    const auto odd = ReadSplitterSizes("Main\\split2", 1, 1);
    EXPECT_EQ(odd.rows, (std::vector<int>{10}));
    EXPECT_EQ(odd.cols, (std::vector<int>{10}));
}

}  // namespace
}  // namespace zyfar
