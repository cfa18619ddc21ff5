#pragma once
// The unattended link run without a display ("zyfar -l nightly" from cron or
// over ssh): the link's file list goes to every site of the link at once (one
// run per site, started 200 ms apart), every transfer log entry the run
// writes is printed to standard output as it comes, in the log file's line
// format (code, time, date, source, destination, file and detail separated
// by TAB), and failed files go to the transfer queue as the SCHEDULE options
// say. What is wrong with the link itself (a missing file list, profile or
// file) is said on standard error.
#include <atomic>
#include <cstdio>
#include <string>

#include "engine/TransferQueueSink.h"

namespace zyfar {

inline constexpr int kHeadlessLinkOk = 0;        // every file reached every site of the link
inline constexpr int kHeadlessLinkFailed = 1;    // anything less, a link with problems, or a queue file not written
inline constexpr int kHeadlessLinkNotFound = 2;  // no such link: message 33051 on `err`

// The exit status of a link run that found its link, with or without a
// display: kHeadlessLinkOk when no file failed, the link had no problems and
// every queue file write succeeded; else kHeadlessLinkFailed.
[[nodiscard]] int LinkExitStatus(int failedFiles, bool linkHasProblems, bool queueWritten);

// Counts the files that failed as the ends of a link's runs report them (a
// reported file whose result is not 0) and hands every report on to `next`
// (null: the process's sink at the time of the report). The link run with a
// display gives it to its transfer windows. Any thread.
class LinkRunTally final : public TransferQueueSink {
public:
    explicit LinkRunTally(TransferQueueSink* next = nullptr) : next_(next) {}
    void ApplyRun(const QueueReport& report) override;
    [[nodiscard]] int Failed() const { return failed_.load(); }
    [[nodiscard]] int Runs() const { return runs_.load(); }

private:
    TransferQueueSink* next_;
    std::atomic<int> failed_{0};
    std::atomic<int> runs_{0};
};

// Runs the link on the calling thread until every run has ended. A null
// sink means the user's queue file.
[[nodiscard]] int RunHeadlessLink(const std::string& linkName, std::FILE* out = stdout, std::FILE* err = stderr,
                                  TransferQueueSink* sink = nullptr);

}  // namespace zyfar
