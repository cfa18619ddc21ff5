#include "automation/EngineQueue.h"

namespace zyfar {

namespace {

QueueServer ServerOf(const QueueReportServer& s) {
    return QueueServer{s.host, s.login, s.password, s.remoteDir, s.port};
}

QueueMethod MethodOf(QueueReportMethod method) {
    switch (method) {
        case QueueReportMethod::Get:
            return QueueMethod::Get;
        case QueueReportMethod::Xfer:
            return QueueMethod::Xfer;
        case QueueReportMethod::Put:
        default:
            return QueueMethod::Put;
    }
}

}  // namespace

QueueRun QueueRunOf(const QueueReport& report) {
    QueueRun run;
    run.method = MethodOf(report.method);
    run.first = ServerOf(report.first);
    if (run.method == QueueMethod::Xfer) {
        run.second = ServerOf(report.second);
    }
    return run;
}

QueueItem QueueItemOf(const QueueReportItem& item) {
    QueueItem out;
    out.localDir = item.localDir;
    out.localName = item.localName;
    out.remoteName = item.remoteName;
    out.remoteDir = item.remoteDir;
    out.errorText = item.errorText;
    out.size = item.size;
    out.result = item.result;
    out.queueEntry = item.queueEntry;
    return out;
}

void QueueFileSink::ApplyRun(const QueueReport& report) {
    std::vector<QueueItem> items;
    items.reserve(report.items.size());
    for (const QueueReportItem& item : report.items) {
        items.push_back(QueueItemOf(item));
    }
    QueueOptions options;
    options.resendFail = report.resendFail;
    options.resendFreq = report.resendFreq;
    options.resendFreqNum = report.resendFreqNum;
    (void)file_.ApplyRun(QueueRunOf(report), items, options, report.purge, report.perFile);
}

void InstallQueueFileSink() {
    static QueueFileSink sink;
    SetTransferQueueSink(&sink);
}

}  // namespace zyfar
