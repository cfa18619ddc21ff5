// Listing speed.
//
// Parse rate: 100,000-line Unix `ls -l` and MLSD listings through the whole
// listing dispatcher (ParseList / ParseMlsd) and through the streaming parser
// fed 64 KiB chunks, as the client reads a data connection. Target: at least
// 1,000,000 lines per second ("lines_per_second" counter).
//
// End to end: a folder of 10,000 files served by vsftpd on the loopback
// address, listed through FtpClient (connect, log in, list, quit; active and
// passive data connections) and, as the peer in the same run, by
// `curl -s ftp://127.0.0.1:PORT/dir/` started as a process (its own connect,
// log in, list and quit, plus the process start). Target: under 150 ms and
// not slower than curl.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpClient.h"
#include "ftp/ListingParser.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;

constexpr int kParseLines = 100000;
constexpr int kServedFiles = 10000;
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string UnixListing(int lines) {
    std::string body = "total " + std::to_string(lines * 8) + "\r\n";
    char buf[256];
    for (int i = 0; i < lines; ++i) {
        const bool dir = i % 10 == 0;
        const bool recent = i % 2 == 0;
        if (recent) {
            std::snprintf(buf, sizeof buf, "%s 1 user%d group %10lld %s %2d %02d:%02d %s_%06d.%s\r\n",
                          dir ? "drwxr-xr-x" : "-rw-r--r--", i % 7, static_cast<long long>(i) * 977 % 100000000,
                          kMonths[i % 12], i % 28 + 1, i % 24, i % 60, dir ? "folder" : "report", i,
                          dir ? "d" : "txt");
        } else {
            std::snprintf(buf, sizeof buf, "%s 1 user%d group %10lld %s %2d  %d %s_%06d.%s\r\n",
                          dir ? "drwxr-xr-x" : "-rw-r--r--", i % 7, static_cast<long long>(i) * 977 % 100000000,
                          kMonths[i % 12], i % 28 + 1, 2000 + i % 25, dir ? "folder" : "archive", i,
                          dir ? "d" : "tar.gz");
        }
        body += buf;
    }
    return body;
}

std::string MlsdListing(int lines) {
    std::string body;
    char buf[256];
    for (int i = 0; i < lines; ++i) {
        const bool dir = i % 10 == 0;
        std::snprintf(buf, sizeof buf, "type=%s;size=%lld;modify=2025%02d%02d%02d%02d%02d;unix.mode=0%s; %s_%06d\r\n",
                      dir ? "dir" : "file", static_cast<long long>(i) * 977 % 100000000, i % 12 + 1, i % 28 + 1,
                      i % 24, i % 60, i % 60, dir ? "755" : "644", dir ? "folder" : "file", i);
        body += buf;
    }
    return body;
}

ListingContext Context() {
    ListingContext ctx;
    ctx.now = RemoteTime{2026, 6, 15, 12, 0, 0, true};
    return ctx;
}

void SetRate(benchmark::State& state, std::size_t bytes) {
    state.counters["lines_per_second"] =
        benchmark::Counter(static_cast<double>(kParseLines), benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_ParseUnix100k(benchmark::State& state) {
    const std::string body = UnixListing(kParseLines);
    const ListingContext ctx = Context();
    std::size_t entries = 0;
    for (auto _ : state) {
        std::vector<RemoteEntry> out = ParseList(body, ctx);
        entries = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    if (entries != static_cast<std::size_t>(kParseLines)) state.SkipWithError("wrong entry count");
    SetRate(state, body.size());
}
BENCHMARK(BM_ParseUnix100k)->Unit(benchmark::kMillisecond);

void BM_ParseMlsd100k(benchmark::State& state) {
    const std::string body = MlsdListing(kParseLines);
    std::size_t entries = 0;
    for (auto _ : state) {
        std::vector<RemoteEntry> out = ParseMlsd(body);
        entries = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    if (entries != static_cast<std::size_t>(kParseLines)) state.SkipWithError("wrong entry count");
    SetRate(state, body.size());
}
BENCHMARK(BM_ParseMlsd100k)->Unit(benchmark::kMillisecond);

// The streaming parser as the client uses it: 64 KiB chunks.
void StreamParse(benchmark::State& state, const std::string& body, bool mlsd) {
    const ListingContext ctx = Context();
    constexpr std::size_t kChunk = 64 * 1024;
    std::size_t entries = 0;
    for (auto _ : state) {
        ListingParser parser(ctx, mlsd);
        std::vector<RemoteEntry> out;
        for (std::size_t at = 0; at < body.size(); at += kChunk)
            parser.Feed(std::string_view(body).substr(at, kChunk), out);
        parser.Finish(out);
        entries = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    if (entries != static_cast<std::size_t>(kParseLines)) state.SkipWithError("wrong entry count");
    SetRate(state, body.size());
}

void BM_StreamUnix100k(benchmark::State& state) { StreamParse(state, UnixListing(kParseLines), false); }
BENCHMARK(BM_StreamUnix100k)->Unit(benchmark::kMillisecond);

void BM_StreamMlsd100k(benchmark::State& state) { StreamParse(state, MlsdListing(kParseLines), true); }
BENCHMARK(BM_StreamMlsd100k)->Unit(benchmark::kMillisecond);

// ---- end to end against vsftpd ------------------------------------------------------------

// One vsftpd for the whole run, serving /dir with 10,000 files.
using Served = bench::ServedFolder<test::VsftpdServer>;

Served& TheServer() {
    static Served served = bench::ServeFolder<test::VsftpdServer>("vsftpd", kServedFiles);
    return served;
}

void ZyfarList(benchmark::State& state, bool passive) {
    Served& served = TheServer();
    if (!bench::Ready(state, served)) return;
    FtpConnectOptions options;
    options.host = "127.0.0.1";
    options.port = served.server->port();
    options.user = "anonymous";
    options.password = "bench@example.org";
    options.access = FtpAccess::kDirect;
    options.passive = passive;
    std::size_t entries = 0;
    for (auto _ : state) {
        FtpClient client;
        if (FtpResult r = client.Connect(options); !r.ok()) {
            state.SkipWithError(("connect: " + r.text).c_str());
            return;
        }
        FtpOutcome<std::vector<FtpFoundFile>> found = client.Find("/dir/");
        if (!found.ok()) {
            state.SkipWithError(("list: " + found.result.text).c_str());
            return;
        }
        entries = found.value.size();
        client.Close();
    }
    if (entries != static_cast<std::size_t>(kServedFiles)) state.SkipWithError("wrong entry count");
    state.counters["entries"] = static_cast<double>(entries);
}

void BM_ZyfarListVsftpd10k_Active(benchmark::State& state) { ZyfarList(state, false); }
BENCHMARK(BM_ZyfarListVsftpd10k_Active)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ZyfarListVsftpd10k_Passive(benchmark::State& state) { ZyfarList(state, true); }
BENCHMARK(BM_ZyfarListVsftpd10k_Passive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurlListVsftpd10k(benchmark::State& state) {
    Served& served = TheServer();
    if (!bench::Ready(state, served)) return;
    const std::string url = "ftp://127.0.0.1:" + std::to_string(served.server->port()) + "/dir/";
    (void)bench::TimeCurlListings(state, url, kServedFiles, "curl is not installed (scripts/install-deps.sh)");
}
BENCHMARK(BM_CurlListVsftpd10k)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
