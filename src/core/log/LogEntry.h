#pragma once
// The transfer log's entry record, event codes and view filters.
#include <string>
#include <string_view>

#include "settings/Keys.h"  // LogFilter and its texts "ALL", "SUCCESS", "UNSUCCESS"

namespace zyfar {

// Event codes are string-table numbers; the entry shows the text of its code.
namespace logcode {
inline constexpr int FtpConnectionOk = 32861;
inline constexpr int FtpConnectionFailed = 32862;
inline constexpr int FtpTransferComplete = 32863;
inline constexpr int FtpTransferFailed = 32864;
inline constexpr int InternetConnectionOk = 32865;
inline constexpr int InternetConnectionFailed = 32866;
inline constexpr int ChangeDirectoryOk = 32867;
inline constexpr int ChangeDirectoryFailed = 32868;
inline constexpr int DeletionOk = 32869;
inline constexpr int DeletionFailed = 32870;
inline constexpr int RenamingOk = 32871;
inline constexpr int RenamingFailed = 32872;
inline constexpr int MakeDirectoryOk = 32873;
inline constexpr int MakeDirectoryFailed = 32874;
inline constexpr int FtpConnectionClosed = 32875;
inline constexpr int InternetConnectionClosed = 32876;
// Written by the session close; stored and shown as InternetConnectionClosed.
inline constexpr int SessionClosed = 32877;

inline constexpr int First = FtpConnectionOk;
inline constexpr int Last = SessionClosed;
}  // namespace logcode

// The source or destination an entry names for this computer's side.
inline constexpr const char* kLocalMachine = "Local Machine";

// True for the codes WriteLogEntry accepts (32861 to 32877).
[[nodiscard]] constexpr bool IsLogEventCode(int code) { return code >= logcode::First && code <= logcode::Last; }

// The code an entry keeps: 32877 becomes 32876, others stay.
[[nodiscard]] constexpr int StoredLogCode(int code) {
    return code == logcode::SessionClosed ? logcode::InternetConnectionClosed : code;
}

// The event text of a code ("FTP Transfer Complete" ...), from the string table.
[[nodiscard]] std::string_view LogEventText(int code);

// The log view's View commands: 1183 View All, 1184 View Successful,
// 1185 View Unsuccessful.
inline constexpr int kCmdViewAll = 1183;
inline constexpr int kCmdViewSuccessful = 1184;
inline constexpr int kCmdViewUnsuccessful = 1185;
[[nodiscard]] int LogFilterCommand(LogFilter filter);
// The filter of a View command; All for any other number.
[[nodiscard]] LogFilter LogFilterOfCommand(int command);

struct LogEntry {
    int number = 0;   // running number of this run, from 1
    int offset = 0;   // code - 32861; selects the row icon
    int code = 0;     // event code (32877 stored as 32876)
    std::string source;
    std::string destination;
    std::string file;
    std::string time;
    std::string date;
    std::string detail;

    // Even offsets are successful events, odd ones unsuccessful (so
    // "Internet Connection Closed" counts as unsuccessful).
    [[nodiscard]] bool Successful() const { return offset % 2 == 0; }

    friend bool operator==(const LogEntry&, const LogEntry&) = default;
};

// Whether the filter shows the entry.
[[nodiscard]] bool FilterAdmits(LogFilter filter, const LogEntry& entry);

}  // namespace zyfar
