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

void QueueFileSink::ApplyRun(const QueueReport& report) {
    QueueOptions options;
    options.resendFail = report.resendFail;
    options.resendFreq = report.resendFreq;
    options.resendFreqNum = report.resendFreqNum;
    const QueueRunSummary summary = file_.ApplyRun(QueueRunOf(report), report.items, options, report.purge,
                                                   report.perFile);
    if (summary.written) return;
    std::vector<std::string> files;
    int sent = 0;
    for (const QueueItem& item : report.items) {
        if (item.result != 0 && options.AddsFailures() && report.perFile) files.push_back(item.localName);
        if (item.result == 0 && item.queueEntry > 0) ++sent;
    }
    std::string consequence;
    if (!files.empty()) consequence = std::to_string(files.size()) + " failed file(s) were not added to the queue.";
    if (sent > 0) {
        if (!consequence.empty()) consequence.push_back(' ');
        consequence.append(std::to_string(sent)).append(" sent file(s) are still in the queue and will be sent again.");
    }
    if (consequence.empty()) consequence = "The queue was not updated.";
    ReportQueueWriteFailure(file_.path(), file_.lastError(), files, consequence);
}

void InstallQueueFileSink() {
    static QueueFileSink sink;
    SetTransferQueueSink(&sink);
}

}  // namespace zyfar
