#pragma once
// Helpers of the FTP client tests, shared with the automation tests: loopback connect options, a refused port,
// a trace log, whole-file put and get.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpClient.h"
#include "support/FtpTestServer.h"

namespace zyfar::test {

// Options for a loopback server with short time-outs and no retries.
inline FtpConnectOptions LoopbackOptions(std::uint16_t port, const std::string& host = "127.0.0.1") {
    FtpConnectOptions o;
    o.host = host;
    o.port = port;
    o.user = "user";
    o.password = "pass";
    o.retries = 0;
    o.connectTimeout = std::chrono::seconds(5);
    o.dataReceiveTimeout = std::chrono::seconds(10);
    o.dataSendTimeout = std::chrono::seconds(10);
    o.controlReceiveTimeout = std::chrono::seconds(10);
    o.controlSendTimeout = std::chrono::seconds(10);
    return o;
}

// A bound loopback socket that does not listen: connects to its port are refused.
inline Socket RefusingSocket() {
    Socket s(::socket(AF_INET, SOCK_STREAM, 0));
    const SocketAddress any = SocketAddress::Loopback4(0);
    EXPECT_EQ(::bind(s.fd(), any.raw(), any.length()), 0);
    return s;
}

// Collects trace lines.
struct TraceLog {
    std::vector<std::string> lines;
    FtpTraceFn Fn() {
        return [this](std::string_view l) { lines.emplace_back(l); };
    }
    [[nodiscard]] std::size_t Count(const std::string& line) const {
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }
    [[nodiscard]] std::size_t CountPrefix(const std::string& prefix) const {
        return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.rfind(prefix, 0) == 0;
        }));
    }
};

// Uploads bytes in 4096-byte writes.
inline FtpResult PutBytes(FtpClient& client, const std::string& path, const std::string& bytes,
                          FtpTransferType type = FtpTransferType::kBinary) {
    FtpOutcome<std::unique_ptr<FtpFileStream>> f = client.OpenFile(path, FtpOpenMode::kWrite, type);
    if (!f.ok()) return f.result;
    for (std::size_t off = 0; off < bytes.size(); off += 4096) {
        FtpResult w = f.value->Write(bytes.data() + off, std::min<std::size_t>(4096, bytes.size() - off));
        if (!w.ok()) return w;
    }
    return f.value->Close();
}

// Downloads a whole file in 4096-byte reads.
inline FtpOutcome<std::string> GetBytes(FtpClient& client, const std::string& path,
                                        FtpTransferType type = FtpTransferType::kBinary) {
    FtpOutcome<std::unique_ptr<FtpFileStream>> f = client.OpenFile(path, FtpOpenMode::kRead, type);
    if (!f.ok()) return f.result;
    std::string out;
    char buf[4096];
    for (int guard = 0; guard < 10'000'000; ++guard) {
        FtpOutcome<std::size_t> n = f.value->Read(buf, sizeof(buf));
        if (!n.ok()) return n.result;
        if (n.value == 0) {
            FtpResult c = f.value->Close();
            if (!c.ok()) return c;
            return out;
        }
        out.append(buf, n.value);
    }
    return FtpFail(ftpcode::kInternalError, "read loop did not end");
}

inline std::vector<std::string> Names(const std::vector<FtpFoundFile>& found) {
    std::vector<std::string> out;
    for (const FtpFoundFile& f : found) out.push_back(f.FileName());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace zyfar::test
