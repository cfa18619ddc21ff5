#include "log/LogEntry.h"

#include "platform/MessageTable.h"

namespace zyfar {

std::string_view LogEventText(int code) { return MessageText(StoredLogCode(code)); }

int LogFilterCommand(LogFilter filter) {
    switch (filter) {
        case LogFilter::All: return kCmdViewAll;
        case LogFilter::Success: return kCmdViewSuccessful;
        case LogFilter::Unsuccess: break;
    }
    return kCmdViewUnsuccessful;
}

LogFilter LogFilterOfCommand(int command) {
    if (command == kCmdViewSuccessful) return LogFilter::Success;
    if (command == kCmdViewUnsuccessful) return LogFilter::Unsuccess;
    return LogFilter::All;
}

bool FilterAdmits(LogFilter filter, const LogEntry& entry) {
    switch (filter) {
        case LogFilter::All: return true;
        case LogFilter::Success: return entry.Successful();
        case LogFilter::Unsuccess: break;
    }
    return !entry.Successful();
}

}  // namespace zyfar
