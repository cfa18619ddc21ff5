#include "engine/TransferFinish.h"

#include <algorithm>
#include <cctype>

#include "engine/TransferPaths.h"
#include "engine/TransferQueueSink.h"
#include "engine/TransferRun.h"
#include "engine/TransferSession.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/TextUtil.h"
#include "settings/Keys.h"

namespace zyfar {

namespace {

QueueReportServer ServerOf(const TransferServer& s) {
    return QueueReportServer{s.host, s.login, s.password, s.remoteDir, s.port, s.encryption};
}

QueueReportMethod MethodOf(TransferMode mode) {
    switch (mode) {
        case TransferMode::Get:
            return QueueReportMethod::Get;
        case TransferMode::ServerToServer:
            return QueueReportMethod::Xfer;
        default:
            return QueueReportMethod::Put;
    }
}

// The job as the run was built (its start folders), when known.
const CTransferJob& BuiltJob(const TransferRun& run, const std::vector<CTransferJob>* built, std::size_t index) {
    return built != nullptr && index < built->size() ? (*built)[index] : run.jobs[index];
}

QueueReportItem ItemOf(const TransferRun& run, const CTransferJob& job, const CTransferJob& asBuilt,
                       std::int32_t status) {
    const TransferMode mode = run.mode;
    QueueReportItem item;
    item.localDir = job.localDir;
    item.remoteDir = job.remoteDir;
    if (IsPutMode(mode)) {
        item.remoteDir = asBuilt.remoteDir;
    } else if (mode == TransferMode::Get) {
        // The folder the get stores into: the run's local target folder, else the job's own.
        item.localDir = run.localTargetDir.empty() ? asBuilt.localDir : run.localTargetDir;
    }
    if (mode == TransferMode::Get) {
        item.localName = job.targetName;
        item.remoteName = job.sourceName;
    } else {
        item.localName = job.sourceName;
        item.remoteName = job.targetName;
    }
    item.errorText = job.reason;
    item.size = job.size;
    item.result = status;
    item.queueEntry = job.queueEntry;
    if (status != 0) {
        item.resume = job.resume;
    }
    return item;
}

// The reason a failed job is logged and queued with.
std::string FailureReason(TransferMode mode, const CTransferJob& job) {
    if (job.status == kJobNotAttempted && mode != TransferMode::ServerToServer) {
        return mode == TransferMode::Get ? kGetCanceledText : kPutCanceledText;
    }
    return job.reason;
}

void ReadQueueOptions(QueueReport& report) {
    report.resendFail = ReadInt(keys::ResendFail);
    report.resendFreq = Read(keys::ResendFreq);
    report.resendFreqNum = ReadInt(keys::ResendFreqNum);
}

void RefreshIfShowing(const std::weak_ptr<TransferViewLink>& link, const std::string& textAtBuild) {
    if (std::shared_ptr<TransferViewLink> view = link.lock()) {
        if (view->ShownDirectoryText() == textAtBuild) {
            view->Refresh();
        }
    }
}

}  // namespace

void FinishTransfer(TransferRun& run, TransferQueueSink* sink, const std::vector<CTransferJob>* built) {
    CloseTransferSessions(run);
    if (sink == nullptr) {
        sink = GetTransferQueueSink();
    }
    QueueReport report;
    report.method = MethodOf(run.mode);
    report.first = ServerOf(run.source);
    if (run.mode == TransferMode::ServerToServer) {
        report.second = ServerOf(run.destination);
    }
    ReadQueueOptions(report);
    report.perFile = !run.serial;  // the serial worker reported per site
    report.purge = true;
    if (!run.serial) {
        for (std::size_t j = 0; j < run.jobs.size(); ++j) {
            const CTransferJob& job = run.jobs[j];
            if (job.status == 0) {
                if (job.queueEntry != 0) {
                    report.items.push_back(ItemOf(run, job, BuiltJob(run, built, j), 0));
                }
                continue;
            }
            const std::string reason = FailureReason(run.mode, job);
            if (IsPutMode(run.mode)) {
                WriteLogEntry(logcode::FtpTransferFailed, kLocalMachine, run.source.host, job.sourceName, reason);
            } else if (run.mode == TransferMode::Get) {
                WriteLogEntry(logcode::FtpTransferFailed, run.source.host, kLocalMachine, job.sourceName, reason);
            } else {
                WriteLogEntry(logcode::FtpTransferFailed, run.source.host, run.destination.host, job.sourceName,
                              reason);
            }
            QueueReportItem item = ItemOf(run, job, BuiltJob(run, built, j), job.status);
            item.errorText = reason;
            report.items.push_back(std::move(item));
        }
    }
    if (sink != nullptr) {
        sink->ApplyRun(report);
    }

    RefreshIfShowing(run.destinationView, run.destinationViewText);
    std::string deleteSetting;
    if (run.mode == TransferMode::Put) {
        deleteSetting = Read(keys::DeletePut);
    } else if (run.mode == TransferMode::Get) {
        deleteSetting = Read(keys::DeleteGet);
    }
    if (EqualsNoCase(deleteSetting, "YES")) {
        RefreshIfShowing(run.sourceView, run.sourceViewText);
    }
    ReleasePendingLinkTransfer();
}

void PerSiteQueueStep(TransferRun& run, const CTransferSite& site, TransferQueueSink* sink,
                      const std::vector<CTransferJob>* built) {
    if (sink == nullptr) {
        sink = GetTransferQueueSink();
    }
    QueueReport report;
    report.method = QueueReportMethod::Put;
    report.first = QueueReportServer{site.host, site.login, site.password, site.remoteDir, site.port,
                                     site.encryption};
    ReadQueueOptions(report);
    report.perFile = true;
    report.purge = false;
    for (std::size_t j = 0; j < run.jobs.size(); ++j) {
        CTransferJob& job = run.jobs[j];
        if (job.status == 0) {
            if (job.queueEntry != 0) {
                report.items.push_back(ItemOf(run, job, BuiltJob(run, built, j), 0));
            }
            continue;
        }
        const std::int32_t status = job.status;
        const std::string reason =
            status == kJobNotAttempted && IsPutMode(run.mode) ? std::string(kPutCanceledText) : job.reason;
        job.status = kJobNotAttempted;
        const std::string& folder = job.remoteDir.empty() ? site.remoteDir : job.remoteDir;
        const std::string target = JoinWithSeparator(folder, RemoteSeparatorFor(folder), job.sourceName);
        if (IsPutMode(run.mode)) {
            WriteLogEntry(logcode::FtpTransferFailed, kLocalMachine, site.host, target, reason);
        }
        QueueReportItem item = ItemOf(run, job, BuiltJob(run, built, j), status);
        item.errorText = reason;
        report.items.push_back(std::move(item));
        // Where this site stopped says nothing of the next site's file.
        job.resume = built != nullptr && j < built->size() ? (*built)[j].resume : ResumePoint{};
    }
    if (sink != nullptr) {
        sink->ApplyRun(report);
    }
}

}  // namespace zyfar
