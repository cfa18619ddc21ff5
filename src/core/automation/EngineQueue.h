#pragma once
// The transfer engine's queue reports, kept in the queue file: each run's
// report becomes one locked read-modify-write of "zyfarQue.ini". A report
// that cannot be written is said (ReportQueueWriteFailure): no file of it is
// taken for queued.
#include <string>
#include <utility>

#include "automation/QueueFile.h"
#include "engine/TransferQueueSink.h"

namespace zyfar {

class QueueFileSink final : public TransferQueueSink {
public:
    // The user's queue file.
    QueueFileSink() = default;
    // Another queue file (tests, tools).
    explicit QueueFileSink(std::string path) : file_(std::move(path)) {}

    void ApplyRun(const QueueReport& report) override;

    [[nodiscard]] const QueueFile& file() const { return file_; }

private:
    QueueFile file_;
};

// The queue run of a report.
[[nodiscard]] QueueRun QueueRunOf(const QueueReport& report);

// Installs a QueueFileSink over the user's queue file as the engine's sink
// (start-up; the sink lives for the rest of the process).
void InstallQueueFileSink();

}  // namespace zyfar
