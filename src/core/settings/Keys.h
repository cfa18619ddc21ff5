#pragma once
// The one table of every settings key with the default each reader passes.
// Code reads and writes settings through these entries, so no default text
// is repeated at a call site. Where readers of one key pass different
// defaults there is one entry per reader (for example AccessTypeSession and
// AccessTypePage); every entry of one key has the same section and key name.
//
// Keys whose name holds "%d" ("Timer%d", "Ext%d", "Row%d", "Col%d") are
// patterns; use the overloads that take an index.
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zyfar {

enum class KeyType { Text, Int };

struct KeyDef {
    const char* section;
    const char* key;
    KeyType type;
    const char* textDefault;  // text keys: the value a reader uses when absent
    int intDefault;           // integer keys: the value a reader uses when absent
    const char* id;           // the entry's own name, for tests and pages
};

namespace sections {
inline constexpr const char* Config = "CONFIG";
inline constexpr const char* Ftp = "FTP";
inline constexpr const char* Schedule = "SCHEDULE";
inline constexpr const char* Log = "LOG";
inline constexpr const char* Sounds = "SOUNDS";
inline constexpr const char* Ext = "EXT";
inline constexpr const char* MainWindow = "Dimensions\\Main\\Mainframe";
inline constexpr const char* ProfileWindow = "Dimensions\\Profile\\Mainframe";
inline constexpr const char* FilesWindow = "Dimensions\\Files\\Mainframe";
inline constexpr const char* DimensionsPrefix = "Dimensions\\";
}  // namespace sections

namespace keys {
#define ZYFAR_TEXT_KEY(id, section, key, def) \
    inline constexpr KeyDef id{section, key, KeyType::Text, def, 0, #id}
#define ZYFAR_INT_KEY(id, section, key, def) \
    inline constexpr KeyDef id{section, key, KeyType::Int, "", def, #id}

// ---- CONFIG ----
ZYFAR_TEXT_KEY(Email, "CONFIG", "Email", "");
ZYFAR_TEXT_KEY(DataDir, "CONFIG", "DataDir", "");             // pages, profiles, log
ZYFAR_TEXT_KEY(DataDirScript, "CONFIG", "DataDir", ".");      // script interpreter
ZYFAR_TEXT_KEY(DefaultDir, "CONFIG", "DefaultDir", "");
ZYFAR_TEXT_KEY(ProfilePath, "CONFIG", "ProfilePath", "");
ZYFAR_TEXT_KEY(ConnectNet, "CONFIG", "ConnectNet", "NO");
ZYFAR_TEXT_KEY(Overwrite, "CONFIG", "Overwrite", "NO");
ZYFAR_TEXT_KEY(DragDropSubDirs, "CONFIG", "DragDropSubDirs", "NO");
ZYFAR_TEXT_KEY(FileCasingPut, "CONFIG", "FileCasingPut", "PRESERVE");
ZYFAR_TEXT_KEY(FileCasingGet, "CONFIG", "FileCasingGet", "PRESERVE");
ZYFAR_TEXT_KEY(TimeTypeMain, "CONFIG", "TimeType", "DD/MM");  // main window's cached read
ZYFAR_TEXT_KEY(TimeTypePage, "CONFIG", "TimeType", "MM/DD");  // System page
ZYFAR_TEXT_KEY(TimeTypeList, "CONFIG", "TimeType", "MM/DD");  // file lists
ZYFAR_TEXT_KEY(TextExtensions, "CONFIG", "TextExtensions", "");
ZYFAR_TEXT_KEY(DragDrop, "CONFIG", "DragDrop", "MOVE");
ZYFAR_TEXT_KEY(DragDropDirsPage, "CONFIG", "DragDropDirs", "YES");  // Misc page
ZYFAR_TEXT_KEY(DragDropDirsView, "CONFIG", "DragDropDirs", "NO");   // local and remote views
ZYFAR_TEXT_KEY(FTPDirTree, "CONFIG", "FTPDirTree", "NO_PATH");
ZYFAR_TEXT_KEY(LocalDblClick, "CONFIG", "LocalDblClick", "NO_ACTION");
ZYFAR_TEXT_KEY(RemoteDblClick, "CONFIG", "RemoteDblClick", "NO_ACTION");
ZYFAR_TEXT_KEY(DeletePut, "CONFIG", "DeletePut", "NO");
ZYFAR_TEXT_KEY(DeleteGet, "CONFIG", "DeleteGet", "NO");
ZYFAR_TEXT_KEY(RenameLongFileNames, "CONFIG", "RenameLongFileNames", "NO");
ZYFAR_TEXT_KEY(ScreenSplit, "CONFIG", "ScreenSplit", "HORIZ");
ZYFAR_TEXT_KEY(StartScreen, "CONFIG", "StartScreen", "MULTIPLE_PUT");  // absent = multiple put
ZYFAR_TEXT_KEY(WinState, "CONFIG", "WinState", "RESTORED");
ZYFAR_INT_KEY(ToolBar, "CONFIG", "ToolBar", 0);
ZYFAR_INT_KEY(StatusBar, "CONFIG", "StatusBar", 0);
ZYFAR_INT_KEY(ProfileBar, "CONFIG", "ProfileBar", 0);
ZYFAR_TEXT_KEY(Scheduler, "CONFIG", "Scheduler", "NO");
ZYFAR_INT_KEY(SysInfoX, "CONFIG", "SysInfo_X", 0);
ZYFAR_INT_KEY(SysInfoY, "CONFIG", "SysInfo_Y", 0);

// ---- FTP ----
ZYFAR_TEXT_KEY(AccessTypeSession, "FTP", "AccessType", "");            // sessions, scripts, browsing
ZYFAR_TEXT_KEY(AccessTypePage, "FTP", "AccessType", "DirectAccess");   // Proxies page
ZYFAR_TEXT_KEY(ProxyName, "FTP", "ProxyName", "");
ZYFAR_INT_KEY(ProxyPort, "FTP", "ProxyPort", 2021);
ZYFAR_INT_KEY(Port, "FTP", "Port", 21);
ZYFAR_TEXT_KEY(CacheSession, "FTP", "Cache", "NO");   // sessions, scripts, browsing
ZYFAR_TEXT_KEY(CachePage, "FTP", "Cache", "YES");     // FTP page display
ZYFAR_TEXT_KEY(Reload, "FTP", "Reload", "YES");
ZYFAR_INT_KEY(ConnectTo, "FTP", "ConnectTo", 20);
ZYFAR_INT_KEY(RecTo, "FTP", "RecTo", 20);
ZYFAR_INT_KEY(SendTo, "FTP", "SendTo", 20);
ZYFAR_INT_KEY(RecToCtrl, "FTP", "RecToCtrl", 20);
ZYFAR_INT_KEY(SendToCtrl, "FTP", "SendToCtrl", 20);
ZYFAR_INT_KEY(Retry, "FTP", "Retry", 2);
ZYFAR_INT_KEY(ReadBuffer, "FTP", "ReadBuffer", 4096);
ZYFAR_INT_KEY(WriteBuffer, "FTP", "WriteBuffer", 4096);
ZYFAR_TEXT_KEY(TransferTypeSession, "FTP", "TransferType", "NotFound");  // sessions (ChooseTransferType)
ZYFAR_TEXT_KEY(TransferTypeMain, "FTP", "TransferType", "AUTOMATIC");    // main window's mode commands
ZYFAR_TEXT_KEY(Passive, "FTP", "Passive", "NO");                         // passive data connections
ZYFAR_TEXT_KEY(QuickServer, "FTP", "QuickServer", "");
ZYFAR_TEXT_KEY(QuickLogin, "FTP", "QuickLogin", "");
ZYFAR_TEXT_KEY(QuickPasswd, "FTP", "QuickPasswd", "");
ZYFAR_TEXT_KEY(QuickDirec, "FTP", "QuickDirec", "");
ZYFAR_TEXT_KEY(QuickPort, "FTP", "QuickPort", "21");
// Resumed and verified transfers (ResumeEnabled, ParseVerifyHash).
ZYFAR_TEXT_KEY(Resume, "FTP", "Resume", "YES");
ZYFAR_TEXT_KEY(VerifyHash, "FTP", "VerifyHash", "AUTO");
// FTP over TLS for quick connects and script "open" lines (profiles carry their own).
ZYFAR_TEXT_KEY(Encryption, "FTP", "Encryption", "NONE");
// The last connection's encryption (absent: Encryption, as before it was kept).
ZYFAR_TEXT_KEY(QuickEncryption, "FTP", "QuickEncryption", "");

// ---- SCHEDULE ----
ZYFAR_INT_KEY(ResendFail, "SCHEDULE", "ResendFail", 0);
ZYFAR_TEXT_KEY(ResendFreq, "SCHEDULE", "ResendFreq", "");
ZYFAR_INT_KEY(ResendFreqNum, "SCHEDULE", "ResendFreqNum", 0);
ZYFAR_TEXT_KEY(ResendTimeTimer, "SCHEDULE", "ResendTime", "10");  // resend timer
ZYFAR_TEXT_KEY(ResendTimePage, "SCHEDULE", "ResendTime", "0");    // Queue page display
ZYFAR_INT_KEY(StartQueueProg, "SCHEDULE", "StartQueueProg", 0);
ZYFAR_INT_KEY(NumTimers, "SCHEDULE", "NumTimers", 0);
ZYFAR_TEXT_KEY(TimerN, "SCHEDULE", "Timer%d", "");  // numbered from 0

// ---- LOG ----
ZYFAR_TEXT_KEY(ToScreenView, "LOG", "ToScreen", "YES");  // log view
ZYFAR_TEXT_KEY(ToScreenPage, "LOG", "ToScreen", "NO");   // Log page display
ZYFAR_TEXT_KEY(ToFileView, "LOG", "ToFile", "YES");      // log view and log writer
ZYFAR_TEXT_KEY(ToFilePage, "LOG", "ToFile", "NO");       // Log page display
ZYFAR_TEXT_KEY(AppendLog, "LOG", "AppendLog", "NO");
ZYFAR_TEXT_KEY(FileNameView, "LOG", "FileName", "log1.log");  // log view and log writer
ZYFAR_TEXT_KEY(FileNamePage, "LOG", "FileName", "");          // Log page display
ZYFAR_INT_KEY(TimeFormat, "LOG", "TimeFormat", 0);
ZYFAR_INT_KEY(DateFormat, "LOG", "DateFormat", 0);
ZYFAR_TEXT_KEY(View, "LOG", "View", "ALL");

// ---- SOUNDS ----
// The player reads with "NotFound" (absent = no sound); the Sounds page with
// "NOT_FOUND" (absent = empty field).
ZYFAR_TEXT_KEY(SoundConnectOk, "SOUNDS", "ConnectOk", "NotFound");
ZYFAR_TEXT_KEY(SoundTransferOk, "SOUNDS", "TransferOk", "NotFound");
ZYFAR_TEXT_KEY(SoundConnectFail, "SOUNDS", "ConnectFail", "NotFound");
ZYFAR_TEXT_KEY(SoundTransferFail, "SOUNDS", "TransferFail", "NotFound");
ZYFAR_TEXT_KEY(SoundConnectOkPage, "SOUNDS", "ConnectOk", "NOT_FOUND");
ZYFAR_TEXT_KEY(SoundTransferOkPage, "SOUNDS", "TransferOk", "NOT_FOUND");
ZYFAR_TEXT_KEY(SoundConnectFailPage, "SOUNDS", "ConnectFail", "NOT_FOUND");
ZYFAR_TEXT_KEY(SoundTransferFailPage, "SOUNDS", "TransferFail", "NOT_FOUND");
ZYFAR_TEXT_KEY(SoundTransferType, "SOUNDS", "TransferType", "BATCH");

// ---- EXT ----
ZYFAR_TEXT_KEY(ExtN, "EXT", "Ext%d", "");  // numbered from 0, read until absent

// ---- Window geometry ----
// Section: one of sections::MainWindow, ProfileWindow, FilesWindow.
ZYFAR_INT_KEY(MainWidth, "Dimensions\\Main\\Mainframe", "Width", 400);
ZYFAR_INT_KEY(MainHeight, "Dimensions\\Main\\Mainframe", "Height", 400);
ZYFAR_INT_KEY(MainX, "Dimensions\\Main\\Mainframe", "x", 20);
ZYFAR_INT_KEY(MainY, "Dimensions\\Main\\Mainframe", "y", 20);
ZYFAR_INT_KEY(ProfileWidth, "Dimensions\\Profile\\Mainframe", "Width", 400);
ZYFAR_INT_KEY(ProfileHeight, "Dimensions\\Profile\\Mainframe", "Height", 400);
ZYFAR_INT_KEY(ProfileX, "Dimensions\\Profile\\Mainframe", "x", 20);
ZYFAR_INT_KEY(ProfileY, "Dimensions\\Profile\\Mainframe", "y", 20);
ZYFAR_INT_KEY(FilesWidth, "Dimensions\\Files\\Mainframe", "Width", 400);
ZYFAR_INT_KEY(FilesHeight, "Dimensions\\Files\\Mainframe", "Height", 400);
ZYFAR_INT_KEY(FilesX, "Dimensions\\Files\\Mainframe", "x", 20);
ZYFAR_INT_KEY(FilesY, "Dimensions\\Files\\Mainframe", "y", 20);
// Splitter keys; the section is "Dimensions\" + the splitter's name.
ZYFAR_INT_KEY(SplitterNumRows, "Dimensions\\", "NumRows", 0);
ZYFAR_INT_KEY(SplitterNumCols, "Dimensions\\", "NumCols", 0);
ZYFAR_INT_KEY(SplitterRowN, "Dimensions\\", "Row%d", 50);
ZYFAR_INT_KEY(SplitterColN, "Dimensions\\", "Col%d", 50);

#undef ZYFAR_TEXT_KEY
#undef ZYFAR_INT_KEY
}  // namespace keys

// Every entry above, for tests and the configuration pages.
[[nodiscard]] std::span<const KeyDef> AllKeys();

// Reading and writing through an entry (the settings store).
[[nodiscard]] std::string Read(const KeyDef& def);       // text default for text keys
[[nodiscard]] int ReadInt(const KeyDef& def);            // int default for int keys
[[nodiscard]] std::optional<std::string> ReadIfPresent(const KeyDef& def);
void Write(const KeyDef& def, const std::string& value);
void WriteInt(const KeyDef& def, int value);
// Yes/no switches: "equal to YES" and "different from NO" (for the two
// values the system writes both agree).
[[nodiscard]] bool ReadYes(const KeyDef& def);
[[nodiscard]] bool ReadNotNo(const KeyDef& def);

// Numbered keys ("Timer%d", "Ext%d"): the key name for one index.
[[nodiscard]] std::string NumberedKey(const KeyDef& pattern, int index);
[[nodiscard]] std::string Read(const KeyDef& pattern, int index);
[[nodiscard]] std::optional<std::string> ReadIfPresent(const KeyDef& pattern, int index);
void Write(const KeyDef& pattern, int index, const std::string& value);

// ---- Enumerations: each helper maps an unknown text to the (other) entry ----

enum class AccessMode { Direct, Preconfig, Proxy };
// Sessions: "DirectAccess" direct, "ProxyAccess" proxy, anything else
// (absent included) pre-configured.
[[nodiscard]] AccessMode SessionAccessMode(const std::string& value);
// Proxies page: absent shows direct, "PreconfigAccess" pre-configured,
// any unknown text shows the proxy button.
[[nodiscard]] AccessMode PageAccessMode(const std::string& value);
[[nodiscard]] const char* AccessModeText(AccessMode mode);

enum class TransferType { Text, Binary, Automatic };
// "TEXT", "BINARY"; anything else ("AUTOMATIC", "NotFound") automatic.
[[nodiscard]] TransferType ParseTransferType(const std::string& value);
[[nodiscard]] const char* TransferTypeText(TransferType mode);

enum class FileCasing { Preserve, Upper, Lower };
// "UPPER_CASE", "LOWER_CASE"; anything else preserves.
[[nodiscard]] FileCasing ParseFileCasing(const std::string& value);
// A name in the casing; ASCII letters only, so the bytes of other
// characters are never changed.
[[nodiscard]] std::string ApplyFileCasing(std::string_view name, FileCasing casing);
[[nodiscard]] const char* FileCasingText(FileCasing casing);

enum class DateStyle { MonthDay, DayMonth, MonNameDay, DayMonName };
// "MM/DD", "DD/MM", "MON/DD", "DD/MON"; nothing for an unknown text.
[[nodiscard]] std::optional<DateStyle> ParseDateStyle(const std::string& value);
[[nodiscard]] const char* DateStyleText(DateStyle style);

enum class DragDropMode { Move, Copy };
// "COPY" copies; anything else ("copy" included) moves.
[[nodiscard]] DragDropMode ParseDragDrop(const std::string& value);

enum class DirTreeMode { NoPath, LastDir, FullPath };
// "LAST_DIR", "FULL_PATH"; anything else "NO_PATH".
[[nodiscard]] DirTreeMode ParseDirTree(const std::string& value);
[[nodiscard]] const char* DirTreeText(DirTreeMode mode);

enum class DblClickAction { Transfer, Execute, Open, NoAction };
// Local: "TRANSFER", "EXECUTE", "OPEN"; anything else "NO_ACTION".
[[nodiscard]] DblClickAction ParseLocalDblClick(const std::string& value);
// Remote: "TRANSFER"; anything else "NO_ACTION".
[[nodiscard]] DblClickAction ParseRemoteDblClick(const std::string& value);

// FTP over TLS: "NONE" (absent, empty), "EXPLICIT" (AUTH TLS on the usual
// port), "IMPLICIT" (TLS from the first byte, port 990 by default), in any
// case. Any other text means "EXPLICIT": a value that cannot be read never
// sends a password in clear text (a server without TLS then refuses with a
// clear error).
enum class Encryption { None, Explicit, Implicit };
[[nodiscard]] Encryption ParseEncryption(std::string_view value);
[[nodiscard]] const char* EncryptionText(Encryption mode);
// The port a connection uses when none was given: 990 implicit, else 21.
[[nodiscard]] int DefaultPortFor(Encryption mode);
[[nodiscard]] const char* DblClickText(DblClickAction action);

// Each kind is the id of the command that shows the screen.
enum class ScreenKind { Standard = 1172, RemoteRemote = 1173, MultiplePut = 1174 };
// "REMOTE_LOCAL" standard, "MULTIPLE_PUT" (and absent) multiple put,
// anything else remote-to-remote.
[[nodiscard]] ScreenKind ParseStartScreen(const std::string& value);
[[nodiscard]] const char* ScreenKindText(ScreenKind kind);

// "HORIZ" horizontal; anything else vertical.
[[nodiscard]] bool IsHorizontalSplit(const std::string& value);

// "ICONIC" starts minimised; anything else restored.
[[nodiscard]] bool IsIconicWinState(const std::string& value);

enum class LogFilter { All, Success, Unsuccess };
// Log view and main window: "ALL", "SUCCESS"; anything else "UNSUCCESS".
[[nodiscard]] LogFilter ParseLogFilterView(const std::string& value);
// Log page: "SUCCESS", "UNSUCCESS"; anything else "ALL".
[[nodiscard]] LogFilter ParseLogFilterPage(const std::string& value);
[[nodiscard]] const char* LogFilterText(LogFilter filter);

// "UNTIL_END" resends until complete; anything else ("FREQ_NUM") at most
// ResendFreqNum times.
[[nodiscard]] bool IsResendUntilEnd(const std::string& value);

// SOUNDS TransferType: "FILE" plays per file; anything else per batch.
[[nodiscard]] bool IsSoundPerFile(const std::string& value);

enum class StartQueueAction { Empty = 0, Send = 1, Nothing = 2 };
// 1 sends, 2 does nothing; 0 and any other number empty the queue.
[[nodiscard]] StartQueueAction ParseStartQueueProg(int value);

// FTP Resume: "YES" (absent included) continues a failed transfer where it
// stopped; anything else ("NO") starts it over.
[[nodiscard]] bool ResumeEnabled();

enum class VerifyHashMode { Auto, No, Require };
// FTP VerifyHash: "NO" never asks the server for a hash, "REQUIRE" fails a
// transfer that cannot be verified; anything else (absent included) "AUTO":
// verify where the server offers a hash command.
[[nodiscard]] VerifyHashMode ParseVerifyHash(const std::string& value);
[[nodiscard]] const char* VerifyHashText(VerifyHashMode mode);

// ---- Window geometry ----

struct WindowGeometry {
    int width = 400;
    int height = 400;
    int x = 20;
    int y = 20;
};
// section: sections::MainWindow, ProfileWindow or FilesWindow.
[[nodiscard]] WindowGeometry ReadWindowGeometry(const std::string& section);
void WriteWindowGeometry(const std::string& section, const WindowGeometry& geometry);

inline constexpr int kSplitterDefaultSize = 50;
inline constexpr int kSplitterMinimumSize = 10;

// Saved sizes of one splitter (section "Dimensions\" + name, for example
// "Main\split1"). Reading gives `rows` row heights and `cols` column widths
// of the splitter as it is built: "Row%d"/"Col%d", default 50, at least 10.
struct SplitterSizes {
    std::vector<int> rows;
    std::vector<int> cols;
};
[[nodiscard]] std::string SplitterSection(const std::string& splitterName);
[[nodiscard]] SplitterSizes ReadSplitterSizes(const std::string& splitterName, int rows, int cols);
// Writes "Row%d" for each row, then "NumRows", then "Col%d", then "NumCols"
// (one file update).
void WriteSplitterSizes(const std::string& splitterName, const SplitterSizes& sizes);

}  // namespace zyfar
