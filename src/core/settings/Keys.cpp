#include "settings/Keys.h"

#include "platform/TextUtil.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <array>

namespace zyfar {
namespace {

constexpr std::array kAllKeys{
    // CONFIG
    keys::Email, keys::DataDir, keys::DataDirScript, keys::DefaultDir, keys::ProfilePath, keys::ConnectNet,
    keys::Overwrite, keys::DragDropSubDirs, keys::FileCasingPut, keys::FileCasingGet, keys::TimeTypeMain,
    keys::TimeTypePage, keys::TimeTypeList, keys::TextExtensions, keys::DragDrop, keys::DragDropDirsPage,
    keys::DragDropDirsView, keys::FTPDirTree, keys::LocalDblClick, keys::RemoteDblClick, keys::DeletePut,
    keys::DeleteGet, keys::RenameLongFileNames, keys::ScreenSplit, keys::StartScreen, keys::WinState,
    keys::ToolBar, keys::StatusBar, keys::ProfileBar, keys::Scheduler, keys::SysInfoX, keys::SysInfoY,
    // FTP
    keys::AccessTypeSession, keys::AccessTypePage, keys::ProxyName, keys::ProxyPort, keys::Port,
    keys::CacheSession, keys::CachePage, keys::Reload, keys::ConnectTo, keys::RecTo, keys::SendTo,
    keys::RecToCtrl, keys::SendToCtrl, keys::Retry, keys::ReadBuffer, keys::WriteBuffer,
    keys::TransferTypeSession, keys::TransferTypeMain, keys::Passive, keys::QuickServer, keys::QuickLogin,
    keys::QuickPasswd, keys::QuickDirec, keys::QuickPort, keys::Encryption, keys::QuickEncryption,
    keys::Resume, keys::VerifyHash,
    // SCHEDULE
    keys::ResendFail, keys::ResendFreq, keys::ResendFreqNum, keys::ResendTimeTimer, keys::ResendTimePage,
    keys::StartQueueProg, keys::NumTimers, keys::TimerN,
    // LOG
    keys::ToScreenView, keys::ToScreenPage, keys::ToFileView, keys::ToFilePage, keys::AppendLog,
    keys::FileNameView, keys::FileNamePage, keys::TimeFormat, keys::DateFormat, keys::View,
    // SOUNDS
    keys::SoundConnectOk, keys::SoundTransferOk, keys::SoundConnectFail, keys::SoundTransferFail,
    keys::SoundConnectOkPage, keys::SoundTransferOkPage, keys::SoundConnectFailPage,
    keys::SoundTransferFailPage, keys::SoundTransferType,
    // EXT
    keys::ExtN,
    // Dimensions
    keys::MainWidth, keys::MainHeight, keys::MainX, keys::MainY, keys::ProfileWidth, keys::ProfileHeight,
    keys::ProfileX, keys::ProfileY, keys::FilesWidth, keys::FilesHeight, keys::FilesX, keys::FilesY,
    keys::SplitterNumRows, keys::SplitterNumCols, keys::SplitterRowN, keys::SplitterColN,
};

std::string WithIndex(const char* pattern, int index) {
    std::string key(pattern);
    if (const auto at = key.find("%d"); at != std::string::npos) key.replace(at, 2, std::to_string(index));
    return key;
}

}  // namespace

std::span<const KeyDef> AllKeys() { return kAllKeys; }

std::string Read(const KeyDef& def) { return GetProfileString(def.section, def.key, def.textDefault); }

int ReadInt(const KeyDef& def) { return GetProfileInt(def.section, def.key, def.intDefault); }

std::optional<std::string> ReadIfPresent(const KeyDef& def) { return FindProfileString(def.section, def.key); }

void Write(const KeyDef& def, const std::string& value) { WriteProfileString(def.section, def.key, value); }

void WriteInt(const KeyDef& def, int value) { WriteProfileInt(def.section, def.key, value); }

bool ReadYes(const KeyDef& def) { return Read(def) == "YES"; }

bool ReadNotNo(const KeyDef& def) { return Read(def) != "NO"; }

std::string NumberedKey(const KeyDef& pattern, int index) { return WithIndex(pattern.key, index); }

std::string Read(const KeyDef& pattern, int index) {
    return GetProfileString(pattern.section, NumberedKey(pattern, index), pattern.textDefault);
}

std::optional<std::string> ReadIfPresent(const KeyDef& pattern, int index) {
    return FindProfileString(pattern.section, NumberedKey(pattern, index));
}

void Write(const KeyDef& pattern, int index, const std::string& value) {
    WriteProfileString(pattern.section, NumberedKey(pattern, index), value);
}

// ---- Enumerations ----

AccessMode SessionAccessMode(const std::string& value) {
    if (value == "DirectAccess") return AccessMode::Direct;
    if (value == "ProxyAccess") return AccessMode::Proxy;
    return AccessMode::Preconfig;
}

AccessMode PageAccessMode(const std::string& value) {
    if (value == "DirectAccess") return AccessMode::Direct;
    if (value == "PreconfigAccess") return AccessMode::Preconfig;
    return AccessMode::Proxy;
}

const char* AccessModeText(AccessMode mode) {
    switch (mode) {
        case AccessMode::Direct: return "DirectAccess";
        case AccessMode::Preconfig: return "PreconfigAccess";
        case AccessMode::Proxy: return "ProxyAccess";
    }
    return "PreconfigAccess";
}

TransferType ParseTransferType(const std::string& value) {
    if (value == "TEXT") return TransferType::Text;
    if (value == "BINARY") return TransferType::Binary;
    return TransferType::Automatic;
}

const char* TransferTypeText(TransferType mode) {
    switch (mode) {
        case TransferType::Text: return "TEXT";
        case TransferType::Binary: return "BINARY";
        case TransferType::Automatic: return "AUTOMATIC";
    }
    return "AUTOMATIC";
}

FileCasing ParseFileCasing(const std::string& value) {
    if (value == "UPPER_CASE") return FileCasing::Upper;
    if (value == "LOWER_CASE") return FileCasing::Lower;
    return FileCasing::Preserve;
}

std::string ApplyFileCasing(std::string_view name, FileCasing casing) {
    if (casing == FileCasing::Upper) return ToUpperAscii(name);
    if (casing == FileCasing::Lower) return ToLowerAscii(name);
    return std::string(name);
}

const char* FileCasingText(FileCasing casing) {
    switch (casing) {
        case FileCasing::Upper: return "UPPER_CASE";
        case FileCasing::Lower: return "LOWER_CASE";
        case FileCasing::Preserve: return "PRESERVE";
    }
    return "PRESERVE";
}

std::optional<DateStyle> ParseDateStyle(const std::string& value) {
    if (value == "MM/DD") return DateStyle::MonthDay;
    if (value == "DD/MM") return DateStyle::DayMonth;
    if (value == "MON/DD") return DateStyle::MonNameDay;
    if (value == "DD/MON") return DateStyle::DayMonName;
    return std::nullopt;
}

const char* DateStyleText(DateStyle style) {
    switch (style) {
        case DateStyle::MonthDay: return "MM/DD";
        case DateStyle::DayMonth: return "DD/MM";
        case DateStyle::MonNameDay: return "MON/DD";
        case DateStyle::DayMonName: return "DD/MON";
    }
    return "MM/DD";
}

DragDropMode ParseDragDrop(const std::string& value) {
    return value == "COPY" ? DragDropMode::Copy : DragDropMode::Move;
}

DirTreeMode ParseDirTree(const std::string& value) {
    if (value == "LAST_DIR") return DirTreeMode::LastDir;
    if (value == "FULL_PATH") return DirTreeMode::FullPath;
    return DirTreeMode::NoPath;
}

const char* DirTreeText(DirTreeMode mode) {
    switch (mode) {
        case DirTreeMode::LastDir: return "LAST_DIR";
        case DirTreeMode::FullPath: return "FULL_PATH";
        case DirTreeMode::NoPath: return "NO_PATH";
    }
    return "NO_PATH";
}

DblClickAction ParseLocalDblClick(const std::string& value) {
    if (value == "TRANSFER") return DblClickAction::Transfer;
    if (value == "EXECUTE") return DblClickAction::Execute;
    if (value == "OPEN") return DblClickAction::Open;
    return DblClickAction::NoAction;
}

DblClickAction ParseRemoteDblClick(const std::string& value) {
    return value == "TRANSFER" ? DblClickAction::Transfer : DblClickAction::NoAction;
}

const char* DblClickText(DblClickAction action) {
    switch (action) {
        case DblClickAction::Transfer: return "TRANSFER";
        case DblClickAction::Execute: return "EXECUTE";
        case DblClickAction::Open: return "OPEN";
        case DblClickAction::NoAction: return "NO_ACTION";
    }
    return "NO_ACTION";
}

ScreenKind ParseStartScreen(const std::string& value) {
    if (value == "REMOTE_LOCAL") return ScreenKind::Standard;
    if (value == "MULTIPLE_PUT") return ScreenKind::MultiplePut;
    return ScreenKind::RemoteRemote;
}

const char* ScreenKindText(ScreenKind kind) {
    switch (kind) {
        case ScreenKind::Standard: return "REMOTE_LOCAL";
        case ScreenKind::RemoteRemote: return "REMOTE_REMOTE";
        case ScreenKind::MultiplePut: return "MULTIPLE_PUT";
    }
    return "MULTIPLE_PUT";
}

bool IsHorizontalSplit(const std::string& value) { return value == "HORIZ"; }

bool IsIconicWinState(const std::string& value) { return value == "ICONIC"; }

LogFilter ParseLogFilterView(const std::string& value) {
    if (value == "ALL") return LogFilter::All;
    if (value == "SUCCESS") return LogFilter::Success;
    return LogFilter::Unsuccess;
}

LogFilter ParseLogFilterPage(const std::string& value) {
    if (value == "SUCCESS") return LogFilter::Success;
    if (value == "UNSUCCESS") return LogFilter::Unsuccess;
    return LogFilter::All;
}

const char* LogFilterText(LogFilter filter) {
    switch (filter) {
        case LogFilter::All: return "ALL";
        case LogFilter::Success: return "SUCCESS";
        case LogFilter::Unsuccess: return "UNSUCCESS";
    }
    return "ALL";
}

bool IsResendUntilEnd(const std::string& value) { return value == "UNTIL_END"; }

bool IsSoundPerFile(const std::string& value) { return value == "FILE"; }

bool ResumeEnabled() { return ReadYes(keys::Resume); }

VerifyHashMode ParseVerifyHash(const std::string& value) {
    if (value == "NO") return VerifyHashMode::No;
    if (value == "REQUIRE") return VerifyHashMode::Require;
    return VerifyHashMode::Auto;
}

const char* VerifyHashText(VerifyHashMode mode) {
    switch (mode) {
        case VerifyHashMode::No: return "NO";
        case VerifyHashMode::Require: return "REQUIRE";
        case VerifyHashMode::Auto: break;
    }
    return "AUTO";
}

StartQueueAction ParseStartQueueProg(int value) {
    if (value == 1) return StartQueueAction::Send;
    if (value == 2) return StartQueueAction::Nothing;
    return StartQueueAction::Empty;
}

// ---- Window geometry ----

namespace {
int GeometryInt(const std::string& section, const KeyDef& def) {
    return GetProfileInt(section, def.key, def.intDefault);
}
}  // namespace

WindowGeometry ReadWindowGeometry(const std::string& section) {
    WindowGeometry g;
    g.width = GeometryInt(section, keys::MainWidth);
    g.height = GeometryInt(section, keys::MainHeight);
    g.x = GeometryInt(section, keys::MainX);
    g.y = GeometryInt(section, keys::MainY);
    return g;
}

void WriteWindowGeometry(const std::string& section, const WindowGeometry& geometry) {
    (void)UpdatePrivateProfile(CurrentSettingsFile(), [&](IniDocument& doc) {
        doc.Set(section, keys::MainWidth.key, std::to_string(geometry.width));
        doc.Set(section, keys::MainHeight.key, std::to_string(geometry.height));
        doc.Set(section, keys::MainX.key, std::to_string(geometry.x));
        doc.Set(section, keys::MainY.key, std::to_string(geometry.y));
    });
}

std::string SplitterSection(const std::string& splitterName) { return sections::DimensionsPrefix + splitterName; }

SplitterSizes ReadSplitterSizes(const std::string& splitterName, int rows, int cols) {
    const IniDocument doc = ReadPrivateProfile(CurrentSettingsFile());
    const std::string section = SplitterSection(splitterName);
    auto size = [&](const KeyDef& pattern, int i) {
        const auto v = doc.Get(section, NumberedKey(pattern, i));
        const int stored = v ? ParseLeadingInt(*v) : pattern.intDefault;
        return std::max(stored, kSplitterMinimumSize);
    };
    SplitterSizes out;
    for (int i = 0; i < rows; ++i) out.rows.push_back(size(keys::SplitterRowN, i));
    for (int i = 0; i < cols; ++i) out.cols.push_back(size(keys::SplitterColN, i));
    return out;
}

void WriteSplitterSizes(const std::string& splitterName, const SplitterSizes& sizes) {
    const std::string section = SplitterSection(splitterName);
    (void)UpdatePrivateProfile(CurrentSettingsFile(), [&](IniDocument& doc) {
        for (std::size_t i = 0; i < sizes.rows.size(); ++i)
            doc.Set(section, NumberedKey(keys::SplitterRowN, static_cast<int>(i)), std::to_string(sizes.rows[i]));
        doc.Set(section, keys::SplitterNumRows.key, std::to_string(sizes.rows.size()));
        for (std::size_t i = 0; i < sizes.cols.size(); ++i)
            doc.Set(section, NumberedKey(keys::SplitterColN, static_cast<int>(i)), std::to_string(sizes.cols[i]));
        doc.Set(section, keys::SplitterNumCols.key, std::to_string(sizes.cols.size()));
    });
}

Encryption ParseEncryption(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty() || EqualsNoCase(value, "NONE")) return Encryption::None;
    if (EqualsNoCase(value, "IMPLICIT")) return Encryption::Implicit;
    return Encryption::Explicit;
}

const char* EncryptionText(Encryption mode) {
    switch (mode) {
        case Encryption::Explicit: return "EXPLICIT";
        case Encryption::Implicit: return "IMPLICIT";
        case Encryption::None: break;
    }
    return "NONE";
}

int DefaultPortFor(Encryption mode) { return mode == Encryption::Implicit ? 990 : 21; }

}  // namespace zyfar
