// Byte-identical content through put and get runs against pyftpdlib and
// vsftpd, active and passive, with the three buffer pairs; ASCII line ends;
// server-to-server between the two servers; the statistics counters.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/TransferPaths.h"

namespace zyfar::enginetest {
namespace {

struct Sample {
    std::string name;
    std::size_t size;
};

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples{{"s0.bin", 0},       {"s1.bin", 1},       {"s4095.bin", 4095},
                                             {"s4096.bin", 4096}, {"s4097.bin", 4097}, {"s10m.bin", 10'000'000}};
    return samples;
}

class TransferContentTest : public EngineTest {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<test::PyFtpdServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(server_->started()) << server_->error();
        Set("CONFIG", "Overwrite", "YES");
    }

    // Writes the samples into a fresh local folder and returns put jobs for them.
    std::vector<CTransferJob> WriteSamples(const std::string& folder, const std::string& remoteDir) {
        const std::string dir = MakeLocalDir(folder);
        std::vector<CTransferJob> jobs;
        std::uint32_t seed = 1;
        for (const Sample& s : Samples()) {
            EXPECT_TRUE(test::WriteFile(dir + "/" + s.name, test::PatternBytes(s.size, seed++)));
            jobs.push_back(Job(dir, s.name, s.name, remoteDir, static_cast<std::int64_t>(s.size)));
        }
        return jobs;
    }

    void ExpectSame(const std::string& a, const std::string& b) {
        std::optional<std::string> x = test::ReadFile(a);
        std::optional<std::string> y = test::ReadFile(b);
        ASSERT_TRUE(x.has_value()) << a;
        ASSERT_TRUE(y.has_value()) << b;
        EXPECT_EQ(x->size(), y->size()) << a << " vs " << b;
        EXPECT_TRUE(*x == *y) << a << " differs from " << b;
    }

    // Put all samples to `remote` on pyftpdlib, get them back, compare.
    void RoundTrip(const std::string& tag, bool passive, int readBuffer, int writeBuffer) {
        FastSettings(passive);
        Set("FTP", "ReadBuffer", std::to_string(readBuffer));
        Set("FTP", "WriteBuffer", std::to_string(writeBuffer));
        const std::string remote = "/" + tag;
        test::MakeDir(server_->root() + remote);
        std::vector<CTransferJob> jobs = WriteSamples("src-" + tag, remote);
        const std::int64_t total = BatchSizeOf(jobs);
        auto put = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server_->port()), jobs, "", total,
                                                TransferMode::PutKeep, 2, nullptr, nullptr, false),
                            &sink);
        EXPECT_EQ(put->DriverResult(), 1);
        for (const CTransferJob& job : put->run().jobs) {
            EXPECT_EQ(job.status, 0) << job.sourceName << ": " << job.reason;
            ExpectSame(job.localDir + "/" + job.sourceName, server_->root() + remote + "/" + job.targetName);
        }
        EXPECT_EQ(put->run().progress.Snapshot().batchBar, 100);

        const std::string back = MakeLocalDir("back-" + tag);
        std::vector<CTransferJob> gets;
        for (const Sample& s : Samples()) {
            gets.push_back(Job("", s.name, s.name, remote, static_cast<std::int64_t>(s.size)));
        }
        auto get = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server_->port()), gets, back, total,
                                                TransferMode::Get, 2, nullptr, nullptr, false),
                            &sink);
        EXPECT_EQ(get->DriverResult(), 1);
        for (const CTransferJob& job : get->run().jobs) {
            EXPECT_EQ(job.status, 0) << job.sourceName << ": " << job.reason;
            ExpectSame(back + "/" + job.targetName, dir_ / ("src-" + tag) + "/" + job.sourceName);
        }
    }

    static std::unique_ptr<test::PyFtpdServer> server_;
};

std::unique_ptr<test::PyFtpdServer> TransferContentTest::server_;

TEST_F(TransferContentTest, PassiveReadLargerThanWrite) { RoundTrip("p4096-1024", true, 4096, 1024); }
TEST_F(TransferContentTest, PassiveWriteLargerThanRead) { RoundTrip("p1024-4096", true, 1024, 4096); }
TEST_F(TransferContentTest, PassiveLargeBuffers) { RoundTrip("p65536", true, 65536, 65536); }
TEST_F(TransferContentTest, ActiveDefaultBuffers) { RoundTrip("a4096", false, 4096, 4096); }

TEST_F(TransferContentTest, CountersFollowTheBytes) {
    FastSettings(true);
    const std::string data = test::PatternBytes(300'000, 9);
    ASSERT_TRUE(test::WriteFile(Local("count.bin"), data));
    test::MakeDir(server_->root() + "/count");
    ResetStatisticsForTesting();
    auto put = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server_->port()),
                                            {Job(dir_.path(), "count.bin", "count.bin", "/count", 300'000)}, "",
                                            300'000, TransferMode::PutKeep, 2, nullptr, nullptr, false),
                        &sink);
    ASSERT_EQ(put->run().jobs[0].status, 0) << put->run().jobs[0].reason;
    StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.localBytesRead, 300'000);
    EXPECT_EQ(s.bytesSent, 300'000);
    EXPECT_EQ(s.filesTransferred, 1);
    EXPECT_GT(s.transferSeconds, 0.0);

    const std::string back = MakeLocalDir("count-back");
    auto get = RunToEnd(MakeSingleServerRun(Server("127.0.0.1", server_->port()),
                                            {Job("", "count.bin", "count.bin", "/count", 300'000)}, back, 300'000,
                                            TransferMode::Get, 2, nullptr, nullptr, false),
                        &sink);
    ASSERT_EQ(get->run().jobs[0].status, 0) << get->run().jobs[0].reason;
    s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 300'000);
    EXPECT_EQ(s.localBytesWritten, 300'000);
    EXPECT_EQ(s.bytesGot, 300'000);
    EXPECT_EQ(s.filesTransferred, 2);
    EXPECT_EQ(s.serverToServerSeconds, 0.0);

    // The tray went to "sending" during the put and to "receiving" during the get, and back to idle.
    const std::vector<int> tray = host.TrayStates();
    EXPECT_NE(std::find(tray.begin(), tray.end(), 2), tray.end());
    EXPECT_NE(std::find(tray.begin(), tray.end(), 1), tray.end());
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray.back(), 0);
}

// ---- vsftpd and server to server ----

class TransferVsftpdTest : public EngineTest {
protected:
    static void SetUpTestSuite() {
        vsftpd_ = std::make_unique<test::VsftpdServer>();
        pyftpd_ = std::make_unique<test::PyFtpdServer>();
    }
    static void TearDownTestSuite() {
        vsftpd_.reset();
        pyftpd_.reset();
    }
    void SetUp() override {
        EngineTest::SetUp();
        if (vsftpd_->unavailable()) {
            GTEST_SKIP() << "vsftpd cannot run here: " << vsftpd_->error();
        }
        ASSERT_TRUE(vsftpd_->started()) << vsftpd_->error();
        ASSERT_TRUE(pyftpd_->started()) << pyftpd_->error();
        Set("CONFIG", "Overwrite", "YES");
    }
    static TransferServer Vsftpd(const std::string& remoteDir = "") {
        return Server("127.0.0.1", vsftpd_->port(), "anonymous", "", remoteDir);
    }

    static std::unique_ptr<test::VsftpdServer> vsftpd_;
    static std::unique_ptr<test::PyFtpdServer> pyftpd_;
};

std::unique_ptr<test::VsftpdServer> TransferVsftpdTest::vsftpd_;
std::unique_ptr<test::PyFtpdServer> TransferVsftpdTest::pyftpd_;

TEST_F(TransferVsftpdTest, PutAndGetActiveAndPassive) {
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        FastSettings(passive);
        const std::string tag = passive ? "vp" : "va";
        const std::string src = MakeLocalDir("src-" + tag);
        std::vector<CTransferJob> jobs;
        std::uint32_t seed = 20;
        for (const Sample& s : Samples()) {
            ASSERT_TRUE(test::WriteFile(src + "/" + tag + s.name, test::PatternBytes(s.size, seed++)));
            jobs.push_back(Job(src, tag + s.name, tag + s.name, vsftpd_->uploadFolder(),
                               static_cast<std::int64_t>(s.size)));
        }
        auto put = RunToEnd(MakeSingleServerRun(Vsftpd(), jobs, "", BatchSizeOf(jobs), TransferMode::PutKeep, 2,
                                                nullptr, nullptr, false),
                            &sink);
        for (const CTransferJob& job : put->run().jobs) {
            ASSERT_EQ(job.status, 0) << job.sourceName << ": " << job.reason;
            EXPECT_EQ(test::ReadFile(vsftpd_->uploadPath() + "/" + job.targetName),
                      test::ReadFile(src + "/" + job.sourceName));
        }
        const std::string back = MakeLocalDir("back-" + tag);
        std::vector<CTransferJob> gets;
        for (const CTransferJob& job : jobs) {
            gets.push_back(Job("", job.targetName, job.targetName, vsftpd_->uploadFolder(), job.size));
        }
        auto get = RunToEnd(MakeSingleServerRun(Vsftpd(), gets, back, BatchSizeOf(gets), TransferMode::Get, 2,
                                                nullptr, nullptr, false),
                            &sink);
        for (const CTransferJob& job : get->run().jobs) {
            ASSERT_EQ(job.status, 0) << job.sourceName << ": " << job.reason;
            EXPECT_EQ(test::ReadFile(back + "/" + job.targetName), test::ReadFile(src + "/" + job.sourceName));
        }
    }
}

TEST_F(TransferVsftpdTest, ServerToServerBothWays) {
    FastSettings(true);
    const std::string data = test::PatternBytes(3'000'000, 77);
    test::MakeDir(pyftpd_->root() + "/out");
    ASSERT_TRUE(test::WriteFile(pyftpd_->root() + "/out/big.bin", data));
    ResetStatisticsForTesting();
    // pyftpdlib -> vsftpd
    std::vector<CTransferJob> jobs{Job("/out", "big.bin", "big.bin", vsftpd_->uploadFolder(), 3'000'000)};
    auto there = RunToEnd(MakeServerToServerRun(Vsftpd(), Server("127.0.0.1", pyftpd_->port()), jobs, 3'000'000, 2,
                                                nullptr, nullptr, false),
                          &sink);
    ASSERT_EQ(there->run().jobs[0].status, 0) << there->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(vsftpd_->uploadPath() + "/big.bin") == data);
    const std::vector<LogEntry> done = LogEntries(logcode::FtpTransferComplete);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].source, "127.0.0.1");
    EXPECT_EQ(done[0].file, JoinRemote(vsftpd_->uploadFolder(), "big.bin"));
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 3'000'000);
    EXPECT_EQ(s.bytesSent, 3'000'000);
    EXPECT_GT(s.serverToServerSeconds, 0.0);
    EXPECT_EQ(s.transferSeconds, 0.0);

    // vsftpd -> pyftpdlib, into another folder
    test::MakeDir(pyftpd_->root() + "/in");
    std::vector<CTransferJob> back{Job(vsftpd_->uploadFolder(), "big.bin", "copy.bin", "/in", 3'000'000)};
    auto home = RunToEnd(MakeServerToServerRun(Server("127.0.0.1", pyftpd_->port()), Vsftpd(), back, 3'000'000, 2,
                                               nullptr, nullptr, false),
                         &sink);
    ASSERT_EQ(home->run().jobs[0].status, 0) << home->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(pyftpd_->root() + "/in/copy.bin") == data);
}

}  // namespace
}  // namespace zyfar::enginetest
