#include "engine/TransferStats.h"

#include <atomic>

#include "engine/ProgressText.h"

namespace zyfar {

namespace {

struct Counters {
    std::atomic<std::int64_t> bytesSent{0};
    std::atomic<std::int64_t> bytesReceived{0};
    std::atomic<std::int64_t> localBytesRead{0};
    std::atomic<std::int64_t> localBytesWritten{0};
    std::atomic<std::int64_t> bytesGot{0};
    std::atomic<std::int64_t> filesTransferred{0};
    std::atomic<std::int64_t> transferNanos{0};
    std::atomic<std::int64_t> serverToServerNanos{0};
};

Counters& TheCounters() {
    static Counters counters;
    return counters;
}

void Add(std::atomic<std::int64_t>& counter, std::int64_t n) { counter.fetch_add(n, std::memory_order_relaxed); }

}  // namespace

namespace stats {
void AddBytesSent(std::int64_t n) { Add(TheCounters().bytesSent, n); }
void AddBytesReceived(std::int64_t n) { Add(TheCounters().bytesReceived, n); }
void AddLocalBytesRead(std::int64_t n) { Add(TheCounters().localBytesRead, n); }
void AddLocalBytesWritten(std::int64_t n) { Add(TheCounters().localBytesWritten, n); }
void AddBytesGot(std::int64_t n) { Add(TheCounters().bytesGot, n); }
void AddFileTransferred() { Add(TheCounters().filesTransferred, 1); }
void AddTransferTime(std::int64_t nanoseconds) { Add(TheCounters().transferNanos, nanoseconds); }
void AddServerToServerTime(std::int64_t nanoseconds) { Add(TheCounters().serverToServerNanos, nanoseconds); }
}  // namespace stats

StatisticsSnapshot ReadStatistics() {
    const Counters& c = TheCounters();
    StatisticsSnapshot s;
    s.bytesSent = c.bytesSent.load(std::memory_order_relaxed);
    s.bytesReceived = c.bytesReceived.load(std::memory_order_relaxed);
    s.localBytesRead = c.localBytesRead.load(std::memory_order_relaxed);
    s.localBytesWritten = c.localBytesWritten.load(std::memory_order_relaxed);
    s.bytesGot = c.bytesGot.load(std::memory_order_relaxed);
    s.filesTransferred = c.filesTransferred.load(std::memory_order_relaxed);
    s.transferSeconds = static_cast<double>(c.transferNanos.load(std::memory_order_relaxed)) / 1e9;
    s.serverToServerSeconds = static_cast<double>(c.serverToServerNanos.load(std::memory_order_relaxed)) / 1e9;
    return s;
}

void ResetStatisticsForTesting() {
    Counters& c = TheCounters();
    for (std::atomic<std::int64_t>* counter :
         {&c.bytesSent, &c.bytesReceived, &c.localBytesRead, &c.localBytesWritten, &c.bytesGot,
          &c.filesTransferred, &c.transferNanos, &c.serverToServerNanos}) {
        counter->store(0, std::memory_order_relaxed);
    }
}

StatisticsTexts FormatStatistics(const StatisticsSnapshot& s) {
    StatisticsTexts t;
    t.localBytesRead = GroupDigits(s.localBytesRead);
    t.localBytesWritten = GroupDigits(s.localBytesWritten);
    t.remoteBytesRead = GroupDigits(s.bytesReceived);
    t.remoteBytesWritten = GroupDigits(s.bytesSent);
    t.filesTransferred = std::to_string(s.filesTransferred);
    if (s.transferSeconds > 0) {
        t.localRate = FormatStatisticsRate(s.localBytesRead + s.localBytesWritten, s.transferSeconds);
        t.localTime = FormatStatisticsTime(s.transferSeconds);
    }
    if (s.serverToServerSeconds > 0) {
        t.remoteRate = FormatStatisticsRate(s.bytesGot, s.serverToServerSeconds);
        t.remoteTime = FormatStatisticsTime(s.serverToServerSeconds);
    }
    return t;
}

}  // namespace zyfar
