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
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/TransferController.h"
#include "engine/TransferRun.h"
#include "ftp/CertificateTrust.h"
#include "ftp/FtpClient.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"

#include "BenchSupport.h"
#include "../tests/support/TestCertificates.h"

namespace {

using namespace zyfar;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;
constexpr int kSmallFiles = 2000;
constexpr int kSmallSize = 4096;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool MakeSparse(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

bool ReadWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    ssize_t got = 0;
    while ((got = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    ::close(fd);
    return got == 0;
}

bool HasCommand(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string LoadAverage() {
    std::string text = test::ReadFile("/proc/loadavg").value_or("");
    const std::size_t cut = text.find(' ', text.find(' ', text.find(' ') + 1) + 1);
    return cut == std::string::npos ? text : text.substr(0, cut);
}

void SetBuffers(int size) {
    WriteProfileString("FTP", "ReadBuffer", std::to_string(size));
    WriteProfileString("FTP", "WriteBuffer", std::to_string(size));
}

TransferServer Site(std::uint16_t port) {
    TransferServer s{"127.0.0.1", "anonymous", "", "", port};
    s.encryption = Encryption::Explicit;
    return s;
}

CTransferJob Job(const std::string& localDir, const std::string& source, const std::string& target,
                 const std::string& remoteDir, std::int64_t size) {
    CTransferJob job;
    job.localDir = localDir;
    job.sourceName = source;
    job.targetName = target;
    job.remoteDir = remoteDir;
    job.size = size;
    return job;
}

int RunBatch(std::uint16_t port, const std::vector<CTransferJob>& jobs, const std::string& localDir,
             TransferMode mode) {
    std::int64_t total = 0;
    for (const CTransferJob& j : jobs) {
        total += j.size;
    }
    TransferController c(MakeSingleServerRun(Site(port), jobs, localDir, total, mode, 2, nullptr, nullptr, false));
    c.RunToEnd();
    int failed = 0;
    for (const CTransferJob& j : c.run().jobs) {
        failed += j.status != 0;
    }
    if (failed != 0 && !c.run().connectErrorText.empty()) {
        std::fprintf(stderr, "\n  (%s)\n", c.run().connectErrorText.c_str());
    }
    return failed;
}

struct Samples {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    [[nodiscard]] double Median() const {
        if (values.empty()) {
            return 0;
        }
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    [[nodiscard]] double Min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    [[nodiscard]] double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

struct Case {
    std::string name;
    std::function<bool(double* seconds)> run;
};

bool Timed(const std::function<bool()>& work, double* seconds) {
    const auto start = Clock::now();
    const bool ok = work();
    *seconds = Seconds(start);
    return ok;
}

class Bench {
public:
    Bench(std::string base, int rounds, std::string only)
        : base_(std::move(base)), rounds_(rounds), only_(std::move(only)) {}

    int Run() {
        if (!Setup()) {
            return 1;
        }
        std::printf("explicit TLS (%s), server folder and local files under %s, %d rounds, load at start: %s\n",
                    protection_.c_str(), base_.c_str(), rounds_, LoadAverage().c_str());
        bool ok = true;
        if (Wanted("put")) {
            ok = RunRounds("1 GiB put over TLS", "MB/s", PutCases(), kGiB, mbps_) && ok;
        }
        if (Wanted("get")) {
            ok = RunRounds("1 GiB get over TLS", "MB/s", GetCases(), kGiB, mbps_) && ok;
        }
        if (Wanted("small")) {
            ok = RunSmallFiles() && ok;
        }
        Summary();
        std::printf("load at the end: %s\n", LoadAverage().c_str());
        return ok ? 0 : 1;
    }

private:
    bool Setup() {
        ::setenv("TMPDIR", base_.c_str(), 1);
        dir_ = std::make_unique<test::TempDir>("zyfar-tlsbench");
        if (!dir_->valid()) {
            std::fprintf(stderr, "cannot make a folder under %s\n", base_.c_str());
            return false;
        }
        ::setenv("XDG_CONFIG_HOME", (*dir_ / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (*dir_ / "state").c_str(), 1);
        SetSettingsFileForTesting(*dir_ / "Zyfar.ini");
        WriteProfileString("LOG", "ToFile", "NO");
        WriteProfileString("LOG", "ToScreen", "NO");
        WriteProfileString("FTP", "Passive", "YES");
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        WriteProfileString("FTP", "Retry", "0");
        WriteProfileString("CONFIG", "Overwrite", "YES");
        TheTransferLog().ReloadSettings();

        const test::TestCertificate cert = test::MakeCertificate(test::CertificateSpec{});
        const test::CertificateFiles files = test::WriteCertificate(dir_->path(), "server", cert);
        test::VsftpdOptions options;
        options.lifetimeSeconds = 3600;
        options.tlsCert = files.cert;
        options.tlsKey = files.key;
        // lftp never sends close_notify on an upload, which vsftpd's strict
        // mode refuses; session reuse stays required.
        options.lenientTlsClose = true;
        const bool pin = PinWanted();
        if (pin) {
            PinTo(0);
        }
        server_ = std::make_unique<test::VsftpdServer>(options);
        if (pin) {
            PinTo(1);
            std::printf("server pinned to cpu 0, client side to cpu 1\n");
        }
        if (!server_->started()) {
            std::fprintf(stderr, "vsftpd did not start: %s\n", server_->error().c_str());
            return false;
        }
        port_ = server_->port();
        remote_ = server_->uploadFolder();
        serverDir_ = server_->uploadPath();
        if (!TrustServer()) {
            return false;
        }
        bigLocal_ = *dir_ / "big.bin";
        if (!MakeSparse(serverDir_ + "/source.bin", kGiB) || !MakeSparse(bigLocal_, kGiB) ||
            !ReadWhole(serverDir_ + "/source.bin") || !ReadWhole(bigLocal_)) {
            std::fprintf(stderr, "cannot make the 1 GiB sources\n");
            return false;
        }
        getInto_ = *dir_ / "got";
        test::MakeDir(getInto_);
        haveCurl_ = HasCommand("curl");
        haveLftp_ = HasCommand("lftp");
        if (!haveCurl_) std::printf("curl is not installed: no curl figures\n");
        if (!haveLftp_) std::printf("lftp is not installed: no lftp figures\n");
        return true;
    }

    // The self-signed test certificate is trusted the way a user would
    // (--trust): its fingerprint goes into the trusted certificates.
    bool TrustServer() {
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

    static bool PinWanted() {
        const char* pin = std::getenv("ZYFAR_BENCH_PIN");
        cpu_set_t set;
        CPU_ZERO(&set);
        return (pin == nullptr || std::string(pin) != "0") && ::sched_getaffinity(0, sizeof set, &set) == 0 &&
               CPU_ISSET(0, &set) && CPU_ISSET(1, &set);
    }

    static void PinTo(int cpu) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        (void)::sched_setaffinity(0, sizeof set, &set);
    }

    std::string Url(const std::string& name) const {
        return "ftp://127.0.0.1:" + std::to_string(port_) + remote_ + (remote_ == "/" ? "" : "/") + name;
    }

    // curl with AUTH TLS required and the certificate not checked.
    static std::string Curl(const std::string& args) {
        return "curl -s -S --ssl-reqd -k --ftp-pasv --user anonymous: " + args + " >/dev/null 2>&1";
    }

    std::string Lftp(const std::string& script) const {
        return "lftp -u anonymous, -e \"set ftp:passive-mode on; set xfer:clobber on; set ftp:ssl-force true; "
               "set ftp:ssl-protect-data true; set ssl:verify-certificate no; " +
               script + "; bye\" ftp://127.0.0.1:" + std::to_string(port_) + " >/dev/null 2>&1";
    }

    bool Stored(const std::string& name, bool ok) const {
        const std::string path = serverDir_ + "/" + name;
        ok = ok && FileSizeOf(path) == kGiB;
        ::unlink(path.c_str());
        return ok;
    }

    static bool Fetched(const std::string& path, bool ok) {
        ok = ok && FileSizeOf(path) == kGiB;
        ::unlink(path.c_str());
        return ok;
    }

    std::vector<Case> PutCases() {
        std::vector<Case> cases;
        cases.push_back({"put", [this](double* s) {
                             SetBuffers(65536);
                             const bool ok = Timed(
                                 [&] {
                                     return RunBatch(port_, {Job(dir_->path(), "big.bin", "engine.bin", remote_, kGiB)},
                                                     "", TransferMode::PutKeep) == 0;
                                 },
                                 s);
                             return Stored("engine.bin", ok);
                         }});
        if (haveCurl_) {
            cases.push_back({"put-curl", [this](double* s) {
                                 const std::string cmd = Curl("-T " + bigLocal_ + " " + Url("curl.bin"));
                                 return Stored("curl.bin", Timed([&] { return std::system(cmd.c_str()) == 0; }, s));
                             }});
        }
        return cases;
    }

    std::vector<Case> GetCases() {
        std::vector<Case> cases;
        cases.push_back({"get", [this](double* s) {
                             SetBuffers(65536);
                             const bool ok = Timed(
                                 [&] {
                                     return RunBatch(port_, {Job("", "source.bin", "source.bin", remote_, kGiB)},
                                                     getInto_, TransferMode::Get) == 0;
                                 },
                                 s);
                             return Fetched(getInto_ + "/source.bin", ok);
                         }});
        if (haveCurl_) {
            cases.push_back({"get-curl", [this](double* s) {
                                 const std::string out = *dir_ / "curl-get.bin";
                                 const std::string cmd = Curl("-o " + out + " " + Url("source.bin"));
                                 return Fetched(out, Timed([&] { return std::system(cmd.c_str()) == 0; }, s));
                             }});
        }
        return cases;
    }

    bool RunRounds(const char* title, const char* unit, const std::vector<Case>& cases, double units,
                   std::map<std::string, Samples>& into) {
        std::printf("\n%s (%s per round)\n", title, unit);
        bool ok = true;
        for (int round = 0; round < rounds_; ++round) {
            std::printf("  round %d:", round + 1);
            for (std::size_t i = 0; i < cases.size(); ++i) {
                const Case& c = cases[(i + static_cast<std::size_t>(round)) % cases.size()];
                double seconds = 0;
                if (!c.run(&seconds) || seconds <= 0) {
                    std::printf(" %s FAILED", c.name.c_str());
                    ok = false;
                    continue;
                }
                const double rate = units / seconds / 1e6;
                into[c.name].Add(rate);
                std::printf(" %s %.0f", c.name.c_str(), rate);
                std::fflush(stdout);
            }
            std::printf("\n");
        }
        return ok;
    }

    bool RunSmallFiles() {
        SetBuffers(4096);
        const std::string src = *dir_ / "small";
        const std::string back = *dir_ / "small-back";
        const std::string lftpBack = *dir_ / "small-lftp";
        test::MakeDir(src);
        test::MakeDir(back);
        test::MakeDir(lftpBack);
        std::vector<CTransferJob> puts;
        std::vector<CTransferJob> gets;
        for (int i = 0; i < kSmallFiles; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%d.bin", i);
            test::WriteFile(src + "/" + name, test::PatternBytes(kSmallSize, static_cast<std::uint32_t>(i)));
            puts.push_back(Job(src, name, name, remote_, kSmallSize));
            gets.push_back(Job("", name, name, remote_, kSmallSize));
        }
        std::vector<Case> cases;
        cases.push_back({"put", [&](double* s) {
                             return Timed([&] { return RunBatch(port_, puts, "", TransferMode::PutKeep) == 0; }, s);
                         }});
        cases.push_back({"get", [&](double* s) {
                             return Timed([&] { return RunBatch(port_, gets, back, TransferMode::Get) == 0; }, s);
                         }});
        if (haveLftp_) {
            cases.push_back({"put-lftp", [&](double* s) {
                                 const std::string cmd = Lftp("mput -O " + remote_ + " " + src + "/*");
                                 return Timed([&] { return std::system(cmd.c_str()) == 0; }, s);
                             }});
            cases.push_back({"get-lftp", [&](double* s) {
                                 const std::string cmd = Lftp("lcd " + lftpBack + "; cd " + remote_ + "; mget f*.bin");
                                 return Timed([&] { return std::system(cmd.c_str()) == 0; }, s);
                             }});
        }
        double ignored = 0;
        if (!cases[0].run(&ignored)) {
            std::printf("\n2,000 x 4 KiB: the first put FAILED\n");
            return false;
        }
        return RunRounds("2000 x 4 KiB over TLS in one batch", "files/s", cases, kSmallFiles * 1e6, filesPerSecond_);
    }

    void Summary() const {
        std::printf("\nSummary: medians of %d rounds, same vsftpd, same run\n", rounds_);
        auto line = [&](const std::map<std::string, Samples>& all, const std::string& key, const char* unit) {
            auto it = all.find(key);
            if (it != all.end()) {
                std::printf("  %-10s %8.1f %s (min %.1f, max %.1f)\n", key.c_str(), it->second.Median(), unit,
                            it->second.Min(), it->second.Max());
            }
        };
        for (const char* k : {"put", "put-curl", "get", "get-curl"}) {
            line(mbps_, k, "MB/s");
        }
        for (const char* k : {"put", "put-lftp", "get", "get-lftp"}) {
            line(filesPerSecond_, k, "files/s");
        }
        std::printf("\nTargets\n");
        auto target = [&](const std::map<std::string, Samples>& all, const std::string& ours,
                          const std::string& peer, double atLeast) {
            auto a = all.find(ours);
            auto b = all.find(peer);
            if (a == all.end() || b == all.end() || b->second.Median() <= 0) {
                std::printf("  %-10s vs %-9s not measured\n", ours.c_str(), peer.c_str());
                return;
            }
            const double ratio = a->second.Median() / b->second.Median();
            std::printf("  %-10s vs %-9s ratio %.2f, at least %.2f: %s\n", ours.c_str(), peer.c_str(), ratio, atLeast,
                        ratio >= atLeast ? "met" : "NOT met");
        };
        target(mbps_, "put", "put-curl", 0.9);
        target(mbps_, "get", "get-curl", 0.9);
        target(filesPerSecond_, "put", "put-lftp", 1.0);
        target(filesPerSecond_, "get", "get-lftp", 1.0);
    }

    bool Wanted(const char* part) const { return only_.empty() || only_ == part; }

    std::string base_;
    int rounds_;
    std::string only_;
    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<test::VsftpdServer> server_;
    std::uint16_t port_ = 0;
    std::string remote_;
    std::string serverDir_;
    std::string bigLocal_;
    std::string getInto_;
    std::string protection_;
    bool haveCurl_ = false;
    bool haveLftp_ = false;
    std::map<std::string, Samples> mbps_;
    std::map<std::string, Samples> filesPerSecond_;
};

std::string BenchBase() {
    if (const char* dir = std::getenv("ZYFAR_BENCH_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    struct statvfs fs {};
    if (::access("/dev/shm", W_OK) == 0 && ::statvfs("/dev/shm", &fs) == 0 &&
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize) > 4 * kGiB) {
        return "/dev/shm";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    if (const char* r = std::getenv("ZYFAR_BENCH_ROUNDS"); r != nullptr) {
        rounds = std::atoi(r);
    }
    std::string only;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rounds") {
            rounds = std::atoi(argv[i + 1]);
        } else if (std::string(argv[i]) == "--only") {
            only = argv[i + 1];
        }
    }
    rounds = std::clamp(rounds, 1, 50);
    if (!only.empty() && only != "put" && only != "get" && only != "small") {
        std::fprintf(stderr, "--only takes put, get or small\n");
        return 2;
    }
    Bench bench(BenchBase(), rounds, only);
    return bench.Run();
}
