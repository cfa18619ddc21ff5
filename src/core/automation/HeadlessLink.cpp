#include "automation/HeadlessLink.h"

#include <memory>
#include <mutex>

#include "automation/EngineQueue.h"
#include "automation/LinkRun.h"
#include "log/LogFormats.h"
#include "log/TransferLog.h"
#include "ftp/FtpError.h"
#include "ftp/SessionSettings.h"
#include "platform/MessageTable.h"

namespace zyfar {
namespace {

void PrintLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    if (line.empty() || line.back() != '\n') std::fputc('\n', stream);
    std::fflush(stream);
}

// Prints each new log entry as its log file line. Entries come from the
// worker threads of all runs at once; one line is printed whole.
class LogLinePrinter final : public LogSubscriber {
public:
    explicit LogLinePrinter(std::FILE* out) : out_(out) {}
    void OnLogEntry(const LogEntry& entry, bool /*shown*/) override {
        const std::string line = FormatLogLine(entry);
        std::lock_guard guard(mutex_);
        PrintLine(out_, line);
    }

private:
    std::mutex mutex_;
    std::FILE* out_;
};

// Subscribed for the life of the run.
class ScopedSubscription {
public:
    explicit ScopedSubscription(std::shared_ptr<LogSubscriber> subscriber)
        : id_(TheTransferLog().Subscribe(std::move(subscriber))) {}
    ~ScopedSubscription() { TheTransferLog().Unsubscribe(id_); }
    ScopedSubscription(const ScopedSubscription&) = delete;
    ScopedSubscription& operator=(const ScopedSubscription&) = delete;

private:
    int id_;
};

// One line: a multi-line server reply is joined with blanks.
std::string OneLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

// Why a site did not get its files, so that whoever reads a cron mail can
// act: the connection's own error ("530 Login incorrect.", "Connection
// refused") when the run could not connect, else each failed file's reason.
void ReportSite(std::FILE* err, const TransferRun& run) {
    std::string site = run.source.host;
    if (run.source.port != 21) {
        site += ':';
        site += std::to_string(run.source.port);
    }
    if (run.connectErrorCode != ftpcode::kOk) {
        const std::string text =
            run.connectErrorText.empty() ? InternetErrorMessage(run.connectErrorCode) : run.connectErrorText;
        PrintLine(err, "zyfar: " + site + ": " + OneLine(text));
        return;
    }
    for (const CTransferJob& job : run.jobs) {
        if (job.status == 0) continue;
        PrintLine(err, "zyfar: " + site + ": " + job.targetName + ": " +
                           OneLine(job.reason.empty() ? std::string("not sent") : job.reason));
    }
}

}  // namespace

int RunHeadlessLink(const std::string& linkName, std::FILE* out, std::FILE* err, TransferQueueSink* sink) {
    const LinkRunPlan plan = PlanLinkRun(linkName);
    if (!plan.found) {
        PrintLine(err, std::string(MessageText(kMsgLinkNotFound)));
        return kHeadlessLinkNotFound;
    }
    for (const std::string& problem : plan.problems) PrintLine(err, "zyfar: " + problem);

    std::unique_ptr<QueueFileSink> ownSink;
    if (sink == nullptr) {
        ownSink = std::make_unique<QueueFileSink>();
        sink = ownSink.get();
    }

    const int queueFailuresBefore = QueueWriteFailures();
    int failed = 0;
    int sent = 0;
    {
        ScopedSubscription subscription(std::make_shared<LogLinePrinter>(out));
        ControllerRunStarter starter(sink);
        const LinkRunResult result = StartCommandLineLink(plan, starter);
        if (result.runsStarted == 0) {
            PrintLine(err, "zyfar: link \"" + linkName + "\" has nothing to send.");
            return kHeadlessLinkFailed;
        }
        starter.WaitAll();
        for (std::size_t i = 0; i < starter.Count(); ++i) {
            const TransferRun& run = starter.Controller(i).run();
            int failedHere = 0;
            for (const CTransferJob& job : run.jobs) {
                (job.status == 0 ? sent : failedHere) += 1;
            }
            if (failedHere > 0) ReportSite(err, run);
            failed += failedHere;
        }
    }
    if (failed > 0) {
        PrintLine(err, "zyfar: link \"" + linkName + "\": " + std::to_string(failed) + " of " +
                           std::to_string(failed + sent) + " file transfers failed.");
    }
    const bool queueWritten = QueueWriteFailures() == queueFailuresBefore;
    if (!queueWritten) PrintLine(err, "zyfar: the transfer queue file could not be written.");
    return LinkExitStatus(failed, !plan.problems.empty(), queueWritten);
}

int LinkExitStatus(int failedFiles, bool linkHasProblems, bool queueWritten) {
    return failedFiles == 0 && !linkHasProblems && queueWritten ? kHeadlessLinkOk : kHeadlessLinkFailed;
}

void LinkRunTally::ApplyRun(const QueueReport& report) {
    int failed = 0;
    for (const QueueReportItem& item : report.items) {
        if (item.result != 0) ++failed;
    }
    failed_ += failed;
    ++runs_;
    TransferQueueSink* next = next_ != nullptr ? next_ : GetTransferQueueSink();
    if (next != nullptr && next != this) next->ApplyRun(report);
}

}  // namespace zyfar
