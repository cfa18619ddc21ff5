// FTP over TLS throughput of the engine against one vsftpd on loopback
// (explicit TLS, data connections protected and resuming the control
// session; close_notify not required, as lftp never sends it on uploads),
// next to curl and lftp doing the same in the same run:
//   - 1 GiB put and get with 65536-byte buffers, next to `curl --ssl-reqd -k`;
//   - 2,000 files of 4 KiB in one batch, put and get (files per second: one
//     TLS data connection per file, each resuming the control session), next
//     to lftp's mput / mget with TLS forced.
//
// As in transfer_bench: every case runs in several rounds (ZYFAR_BENCH_ROUNDS,
// default 3) in a rotating order and the summary compares medians; the
// server's folder and the local files live on tmpfs (/dev/shm, or
// ZYFAR_BENCH_DIR); the 1 GiB sources are sparse; with two cores the server
// runs on the first and the clients on the second (ZYFAR_BENCH_PIN=0: not).
// The load average is printed at the start and at the end.
//
// Usage: bench_tls_bench [--rounds N] [--only put|get|small]
#include <string>

#include "ftp/CertificateTrust.h"
#include "ftp/FtpClient.h"

#include "TransferBenchSupport.h"
#include "../tests/support/TestCertificates.h"

namespace {

using namespace zyfar;
using namespace zyfar::bench;

TransferBenchKind TlsKind() {
    TransferBenchKind kind;
    kind.folder = "zyfar-tlsbench";
    kind.overWhat = " over TLS";
    kind.encryption = Encryption::Explicit;
    kind.noRetries = true;
    kind.talkative = true;
    kind.loadAtEnd = true;
    kind.engineCases = {{"", 65536, 0.9}};
    // curl with AUTH TLS required and the certificate not checked.
    kind.curlOptions = "--ssl-reqd -k --ftp-pasv ";
    kind.curlTail = " >/dev/null 2>&1";
    kind.lftpSettings = "set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; ";
    return kind;
}

// The FTP-over-TLS run: a server with a self-signed certificate that the
// engine trusts.
class Bench : public TransferBench {
public:
    Bench(std::string base, int rounds, std::string only)
        : TransferBench(TlsKind(), std::move(base), rounds, std::move(only)) {}

private:
    bool PrepareServer(test::VsftpdOptions& options) override {
        const test::TestCertificate cert = test::MakeCertificate(test::CertificateSpec{});
        const test::CertificateFiles files = test::WriteCertificate(dir_->path(), "server", cert);
        options.tlsCert = files.cert;
        options.tlsKey = files.key;
        // lftp never sends close_notify on an upload, which vsftpd's strict
        // mode refuses; session reuse stays required.
        options.lenientTlsClose = true;
        return true;
    }

    // The self-signed test certificate is trusted the way a user would
    // (--trust): its fingerprint goes into the trusted certificates.
    bool ServerStarted() override {
        FtpConnectOptions options;
        options.host = "127.0.0.1";
        options.port = port_;
        options.encryption = Encryption::Explicit;
        FtpClient probe;
        const FtpOutcome<CertificateCheck> check = probe.CheckCertificate(options);
        if (!check.ok() || !CertificateTrust().Store("127.0.0.1", port_, check.value.certificate.fingerprint)) {
            std::fprintf(stderr, "cannot trust the server's certificate: %s\n", check.result.text.c_str());
            return false;
        }
        FtpConnectOptions login = options;
        login.user = "anonymous";
        login.passive = true;
        FtpClient client;
        if (const FtpResult r = client.Connect(login); !r.ok()) {
            std::fprintf(stderr, "cannot log in over TLS: %s\n", r.text.c_str());
            return false;
        }
        protection_ = SecurityDetail(client.features());
        return true;
    }

    [[nodiscard]] std::string IntroPrefix() const override { return "explicit TLS (" + protection_ + "), "; }

    std::string protection_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::optional<BenchArgs> args = ParseBenchArgs(argc, argv, 3, {"put", "get", "small"});
    if (!args) {
        return 2;
    }
    Bench bench(BenchBase(4 * kGiB), args->rounds, args->only);
    return bench.Run();
}
