#include "automation/EngineQueue.h"

namespace zyfar {

QueueRun QueueRunOf(const QueueReport& report) {
    QueueRun run;
    run.method = report.method;
    run.first = report.first;
    if (run.method == QueueMethod::Xfer) {
        run.second = report.second;
    }
    return run;
}

QueueItem QueueItemOf(const QueueReportItem& item) { return item; }

void QueueFileSink::ApplyRun(const QueueReport& report) {
    QueueOptions options;
    options.resendFail = report.resendFail;
    options.resendFreq = report.resendFreq;
    options.resendFreqNum = report.resendFreqNum;
    (void)file_.ApplyRun(QueueRunOf(report), report.items, options, report.purge, report.perFile);
}

void InstallQueueFileSink() {
    static QueueFileSink sink;
    SetTransferQueueSink(&sink);
}

}  // namespace zyfar
