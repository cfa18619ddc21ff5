#pragma once
// The unattended link run without a display ("zyfar -l nightly" from cron or
// over ssh): the link's file list goes to every site of the link at once (one
// run per site, started 200 ms apart), every transfer log entry the run
// writes is printed to standard output as it comes, in the log file's line
// format (code, time, date, source, destination, file and detail separated
// by TAB), and failed files go to the transfer queue as the SCHEDULE options
// say. What is wrong with the link itself (a missing file list, profile or
// file) is said on standard error.
#include <cstdio>
#include <string>

namespace zyfar {

class TransferQueueSink;

inline constexpr int kHeadlessLinkOk = 0;        // every file reached every site of the link
inline constexpr int kHeadlessLinkFailed = 1;    // anything less, a link with problems, or a queue file not written
inline constexpr int kHeadlessLinkNotFound = 2;  // no such link: message 33051 on `err`

// Runs the link on the calling thread until every run has ended. A null
// sink means the user's queue file.
[[nodiscard]] int RunHeadlessLink(const std::string& linkName, std::FILE* out = stdout, std::FILE* err = stderr,
                                  TransferQueueSink* sink = nullptr);

}  // namespace zyfar
