#pragma once
// Where the end of a transfer run reports its files for the transfer queue.
// The engine says what happened; the automation side keeps the queue file
// (it installs its sink at start-up with SetTransferQueueSink).
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ResumePoint.h"
#include "settings/Keys.h"

namespace zyfar {

enum class QueueReportMethod { Put, Get, Xfer };

struct QueueReportServer {
    std::string host;
    std::string login;
    std::string password;
    std::string remoteDir;  // start folder
    int port = 21;
    Encryption encryption = Encryption::None;  // a resend logs in the same way
};

struct QueueReportItem {
    std::string localDir;
    std::string localName;
    std::string remoteName;
    std::string remoteDir;
    std::string errorText;
    std::int64_t size = 0;
    std::int32_t result = -1;    // 0 success, -1 never completed, else the failure's code
    std::int32_t queueEntry = 0; // the queue entry the file was sent from, 0 if none
    ResumePoint resume{};        // a failed file: where a later attempt may continue (offset 0: nowhere)

    friend bool operator==(const QueueReportItem&, const QueueReportItem&) = default;
};

// One run's report: its files and what to do with them.
struct QueueReport {
    QueueReportMethod method = QueueReportMethod::Put;
    QueueReportServer first;
    QueueReportServer second;  // Xfer only
    std::vector<QueueReportItem> items;
    bool perFile = true;  // count/append failures and remove succeeded queue entries
    bool purge = false;   // the single-run form: the FREQ_NUM purge follows
    // SCHEDULE ResendFail, ResendFreq, ResendFreqNum as read at the end of the run.
    int resendFail = 0;
    std::string resendFreq;
    int resendFreqNum = 0;
};

class TransferQueueSink {
public:
    virtual ~TransferQueueSink() = default;
    // Called on whichever thread ends the run; several runs may report at once.
    virtual void ApplyRun(const QueueReport& report) = 0;
};

// The process's sink (none: reports are dropped). The sink must outlive its use.
void SetTransferQueueSink(TransferQueueSink* sink);
[[nodiscard]] TransferQueueSink* GetTransferQueueSink();

}  // namespace zyfar
