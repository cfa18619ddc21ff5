#pragma once
// The process-wide transfer statistics the copy loops keep and the Transfer
// Statistics window shows. Every counter is 64-bit and safe to update from
// several workers at once; a reader sees each counter whole.
#include <cstdint>
#include <string>

namespace zyfar {

struct StatisticsSnapshot {
    std::int64_t bytesSent = 0;         // written to servers
    std::int64_t bytesReceived = 0;     // read from servers
    std::int64_t localBytesRead = 0;    // read from local files
    std::int64_t localBytesWritten = 0; // written to local files
    std::int64_t bytesGot = 0;          // moved by the get loop's passes
    std::int64_t filesTransferred = 0;  // copies that ended with result 0
    double transferSeconds = 0;         // time of the put and get loops
    double serverToServerSeconds = 0;   // time of the server-to-server loop
};

namespace stats {
void AddBytesSent(std::int64_t n);
void AddBytesReceived(std::int64_t n);
void AddLocalBytesRead(std::int64_t n);
void AddLocalBytesWritten(std::int64_t n);
void AddBytesGot(std::int64_t n);
void AddFileTransferred();
void AddTransferTime(std::int64_t nanoseconds);
void AddServerToServerTime(std::int64_t nanoseconds);
}  // namespace stats

[[nodiscard]] StatisticsSnapshot ReadStatistics();
// Back to zero (tests).
void ResetStatisticsForTesting();

// The fields of the statistics window for one snapshot.
struct StatisticsTexts {
    std::string localBytesRead;     // "Local Bytes Read:" (grouped digits, "" for 0)
    std::string localBytesWritten;  // "Local Bytes Written:"
    std::string remoteBytesRead;    // "Remote Bytes Read:"
    std::string remoteBytesWritten; // "Remote Bytes Written:"
    std::string filesTransferred;   // "Total Files Transferred:" ("%d")
    std::string localRate;          // "Transfer Rate (local):", "" while the local time is 0
    std::string localTime;          // first "Total Transfer Time:"
    std::string remoteRate;         // "Transfer Rate (remote):", "" while the remote time is 0
    std::string remoteTime;         // second "Total Transfer Time:"
};

[[nodiscard]] StatisticsTexts FormatStatistics(const StatisticsSnapshot& s);

}  // namespace zyfar
