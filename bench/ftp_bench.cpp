// FTP put/get throughput of a 256 MiB file against pyftpdlib on loopback,
// next to a raw loopback socket copy measured in the same run (the peer the
// FTP numbers are compared with: "vs_raw" is FTP bytes/s over raw bytes/s).
// Reads and writes are 4096 bytes, as in the copy loop.
#include <benchmark/benchmark.h>

#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "ftp/FtpClient.h"

#include "BenchSupport.h"

namespace {

using namespace zyfar;

constexpr std::size_t kFileSize = 256u * 1024 * 1024;
constexpr std::size_t kChunk = 4096;
double g_rawRate = 0;  // bytes per second of the raw copy

struct Env {
    std::unique_ptr<test::PyFtpdServer> server;
    std::string payload;

    static Env& Get() {
        static Env env;
        if (!env.server) {
            env.server = std::make_unique<test::PyFtpdServer>();
            env.payload = test::PatternBytes(kFileSize, 17);
            test::WriteFile(env.server->root() + "/get.bin", env.payload);
        }
        return env;
    }
};

FtpConnectOptions Options(std::uint16_t port, bool passive) {
    FtpConnectOptions o;
    o.host = "127.0.0.1";
    o.port = port;
    o.user = "user";
    o.password = "pass";
    o.passive = passive;
    o.retries = 0;
    return o;
}

void BM_RawLoopbackCopy(benchmark::State& state) {
    const std::string& payload = Env::Get().payload;
    for (auto _ : state) {
        FtpOutcome<Socket> l = ListenTcp(SocketAddress::Loopback4(0), 1);
        FtpOutcome<Socket> c = ConnectTcp(l.value.LocalAddress(), std::chrono::seconds(5), nullptr);
        FtpOutcome<Socket> s = AcceptFrom(l.value, SocketAddress::Loopback4(0), std::chrono::seconds(5), nullptr);
        if (!l.ok() || !c.ok() || !s.ok()) {
            state.SkipWithError("loopback pair failed");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        std::thread writer([&] {
            TcpStream out(std::move(c.value), nullptr);
            for (std::size_t off = 0; off < payload.size(); off += kChunk) {
                if (!out.SendAll(std::string_view(payload).substr(off, kChunk), std::chrono::seconds(20)).ok()) {
                    break;
                }
            }
        });
        TcpStream in(std::move(s.value), nullptr);
        char buf[kChunk];
        std::size_t total = 0;
        for (;;) {
            FtpOutcome<std::size_t> n = in.ReceiveSome(buf, sizeof(buf), std::chrono::seconds(20));
            if (!n.ok() || n.value == 0) {
                break;
            }
            total += n.value;
        }
        writer.join();
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_rawRate = static_cast<double>(total) / secs;
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void Report(benchmark::State& state, double secs) {
    const double rate = static_cast<double>(kFileSize) / secs;
    state.counters["MiB_per_s"] = rate / (1024.0 * 1024.0);
    if (g_rawRate > 0) {
        state.counters["vs_raw"] = rate / g_rawRate;
    }
}

void BM_FtpGet(benchmark::State& state) {
    Env& env = Env::Get();
    FtpClient client;
    if (!env.server->started()) {
        state.SkipWithError(("no pyftpdlib server: " + env.server->error()).c_str());
        return;
    }
    if (FtpResult c = client.Connect(Options(env.server->port(), state.range(0) != 0)); !c.ok()) {
        state.SkipWithError(c.text.c_str());
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        FtpOutcome<std::unique_ptr<FtpFileStream>> f =
            client.OpenFile("/get.bin", FtpOpenMode::kRead, FtpTransferType::kBinary);
        if (!f.ok()) {
            state.SkipWithError(f.result.text.c_str());
            return;
        }
        char buf[kChunk];
        std::size_t total = 0;
        for (;;) {
            FtpOutcome<std::size_t> n = f.value->Read(buf, sizeof(buf));
            if (!n.ok() || n.value == 0) {
                break;
            }
            total += n.value;
        }
        if (total != kFileSize || !f.value->Close().ok()) {
            state.SkipWithError("download incomplete");
            return;
        }
        Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_FtpPut(benchmark::State& state) {
    Env& env = Env::Get();
    FtpClient client;
    if (!env.server->started()) {
        state.SkipWithError(("no pyftpdlib server: " + env.server->error()).c_str());
        return;
    }
    if (FtpResult c = client.Connect(Options(env.server->port(), state.range(0) != 0)); !c.ok()) {
        state.SkipWithError(c.text.c_str());
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        FtpOutcome<std::unique_ptr<FtpFileStream>> f =
            client.OpenFile("/put.bin", FtpOpenMode::kWrite, FtpTransferType::kBinary);
        if (!f.ok()) {
            state.SkipWithError(f.result.text.c_str());
            return;
        }
        bool ok = true;
        for (std::size_t off = 0; off < kFileSize && ok; off += kChunk) {
            ok = f.value->Write(env.payload.data() + off, kChunk).ok();
        }
        if (!ok || !f.value->Close().ok()) {
            state.SkipWithError("upload failed");
            return;
        }
        Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

}  // namespace

BENCHMARK(BM_RawLoopbackCopy)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FtpGet)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FtpPut)->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
