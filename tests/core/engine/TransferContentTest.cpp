// Byte-identical content through put and get runs: sizes around the buffer
// sizes and a large file, the three buffer pairs, active and passive, against
// pyftpdlib and vsftpd; server to server between the two servers with its
// folder modes; the statistics counters and the tray states.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/TransferPaths.h"

namespace zyfar::enginetest {
namespace {

// Compares file contents without printing megabytes on a failure.
::testing::AssertionResult SameFile(const std::string& got, const std::string& want) {
    const std::optional<std::string> a = test::ReadFile(got);
    const std::optional<std::string> b = test::ReadFile(want);
    if (!a || !b) return ::testing::AssertionFailure() << (a ? want : got) << " is missing";
    if (*a != *b) return ::testing::AssertionFailure() << got << " (" << a->size() << " bytes) differs from " << want;
    return ::testing::AssertionSuccess();
}

struct ContentCase {
    const char* name;
    bool vsftpd;
    bool passive;
    int readBuffer;
    int writeBuffer;
};

void PrintTo(const ContentCase& c, std::ostream* out) { *out << c.name; }

class TransferContentTest : public EngineTest, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(TransferContentTest, PutThenGetKeepsEveryByte) {
    const ContentCase& c = GetParam();
    FastSettings(c.passive);
    Set("FTP", "ReadBuffer", std::to_string(c.readBuffer));
    Set("FTP", "WriteBuffer", std::to_string(c.writeBuffer));
    Set("CONFIG", "Overwrite", "YES");
    TransferServer site;
    std::string remote;
    std::string remotePath;
    if (c.vsftpd) {
        test::VsftpdServer& v = SharedVsftpd();
        if (v.unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << v.error();
        ASSERT_TRUE(v.started()) << v.error();
        site = Server(v.port(), "anonymous", "");
        remote = v.uploadFolder();
        remotePath = v.uploadPath();
    } else {
        test::PyFtpdServer& p = SharedPyFtpd();
        ASSERT_TRUE(p.started()) << p.error();
        site = Server(p.port());
        remote = "/up";
        remotePath = p.root() + remote;
        test::MakeDir(remotePath);
    }
    const std::string src = MakeLocalDir("src");
    const std::string back = MakeLocalDir("back");
    std::vector<CTransferJob> puts;
    std::vector<CTransferJob> gets;
    std::uint32_t seed = 1;
    for (std::size_t size : {0, 1, 4095, 4096, 4097, 10'000'000}) {
        const std::string name = "s" + std::to_string(size) + ".bin";
        ASSERT_TRUE(test::WriteFile(src + "/" + name, test::PatternBytes(size, seed++)));
        puts.push_back(Job(src, name, name, remote, static_cast<std::int64_t>(size)));
        gets.push_back(Job("", name, name, remote, static_cast<std::int64_t>(size)));
    }
    auto put = RunSingle(site, puts, TransferMode::PutKeep);
    EXPECT_EQ(put->DriverResult(), 1);
    EXPECT_EQ(put->run().progress.Snapshot().batchBar, 100);
    auto get = RunSingle(site, gets, TransferMode::Get, back);
    EXPECT_EQ(get->DriverResult(), 1);
    for (std::size_t i = 0; i < puts.size(); ++i) {
        const std::string& name = puts[i].sourceName;
        EXPECT_EQ(put->run().jobs[i].status, 0) << name << ": " << put->run().jobs[i].reason;
        EXPECT_EQ(get->run().jobs[i].status, 0) << name << ": " << get->run().jobs[i].reason;
        EXPECT_TRUE(SameFile(remotePath + "/" + name, src + "/" + name));
        EXPECT_TRUE(SameFile(back + "/" + name, src + "/" + name));
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, TransferContentTest,
                         ::testing::Values(ContentCase{"PyPassive4096to1024", false, true, 4096, 1024},
                                           ContentCase{"PyPassive1024to4096", false, true, 1024, 4096},
                                           ContentCase{"PyPassive65536", false, true, 65536, 65536},
                                           ContentCase{"PyActive4096", false, false, 4096, 4096},
                                           ContentCase{"VsActive4096", true, false, 4096, 4096},
                                           ContentCase{"VsPassive1024to4096", true, true, 1024, 4096}),
                         [](const ::testing::TestParamInfo<ContentCase>& tested) { return tested.param.name; });

using TransferCountersTest = EngineTest;

TEST_F(TransferCountersTest, CountersAndTrayFollowTheBytes) {
    test::PyFtpdServer& server = SharedPyFtpd();
    ASSERT_TRUE(server.started()) << server.error();
    FastSettings(true);
    ASSERT_TRUE(test::WriteFile(Path("count.bin"), test::PatternBytes(300'000, 9)));
    test::MakeDir(server.root() + "/count");
    auto put = RunSingle(Server(server.port()), {Job(Root(), "count.bin", "count.bin", "/count", 300'000)},
                         TransferMode::PutKeep);
    ASSERT_EQ(put->run().jobs[0].status, 0) << put->run().jobs[0].reason;
    StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.localBytesRead, 300'000);
    EXPECT_EQ(s.bytesSent, 300'000);
    EXPECT_EQ(s.filesTransferred, 1);
    EXPECT_GT(s.transferSeconds, 0.0);

    auto get = RunSingle(Server(server.port()), {Job("", "count.bin", "count.bin", "/count", 300'000)},
                         TransferMode::Get, MakeLocalDir("back"));
    ASSERT_EQ(get->run().jobs[0].status, 0) << get->run().jobs[0].reason;
    s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 300'000);
    EXPECT_EQ(s.localBytesWritten, 300'000);
    EXPECT_EQ(s.bytesGot, 300'000);
    EXPECT_EQ(s.filesTransferred, 2);
    EXPECT_EQ(s.serverToServerSeconds, 0.0);
    // "Sending" (2) during the put, "receiving" (1) during the get, idle at the end.
    const std::vector<int> tray = host.trayStates.Get();
    EXPECT_NE(std::find(tray.begin(), tray.end(), 2), tray.end());
    EXPECT_NE(std::find(tray.begin(), tray.end(), 1), tray.end());
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray.back(), 0);
}

// ---- server to server between pyftpdlib and vsftpd ----

class TransferServerToServerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (vsftpd().unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << vsftpd().error();
        ASSERT_TRUE(vsftpd().started()) << vsftpd().error();
        ASSERT_TRUE(pyftpd().started()) << pyftpd().error();
        Set("CONFIG", "Overwrite", "YES");
    }
    static test::VsftpdServer& vsftpd() { return SharedVsftpd(); }
    static test::PyFtpdServer& pyftpd() { return SharedPyFtpd(); }
    static TransferServer Vsftpd() { return Server(vsftpd().port(), "anonymous", ""); }
    std::unique_ptr<TransferController> Copy(const TransferServer& to, const TransferServer& from,
                                             std::vector<CTransferJob> jobs) {
        const std::int64_t total = BatchSizeOf(jobs);
        return RunToEnd(MakeServerToServerRun(to, from, std::move(jobs), total, 2, nullptr, nullptr, false));
    }
};

TEST_F(TransferServerToServerTest, BothWaysKeepEveryByteAndCountAsServerToServer) {
    FastSettings(true);
    const std::string data = test::PatternBytes(3'000'000, 77);
    test::MakeDir(pyftpd().root() + "/out");
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/out/big.bin", data));
    auto there = Copy(Vsftpd(), Server(pyftpd().port()),
                      {Job("/out", "big.bin", "big.bin", vsftpd().uploadFolder(), 3'000'000)});
    ASSERT_EQ(there->run().jobs[0].status, 0) << there->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(vsftpd().uploadPath() + "/big.bin") == data);
    const std::vector<LogEntry> done = LogEntries(logcode::FtpTransferComplete);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].source, "127.0.0.1");
    EXPECT_EQ(done[0].file, JoinRemote(vsftpd().uploadFolder(), "big.bin"));
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 3'000'000);
    EXPECT_EQ(s.bytesSent, 3'000'000);
    EXPECT_GT(s.serverToServerSeconds, 0.0);
    EXPECT_EQ(s.transferSeconds, 0.0);

    test::MakeDir(pyftpd().root() + "/in");
    auto home = Copy(Server(pyftpd().port()), Vsftpd(),
                     {Job(vsftpd().uploadFolder(), "big.bin", "copy.bin", "/in", 3'000'000)});
    ASSERT_EQ(home->run().jobs[0].status, 0) << home->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(pyftpd().root() + "/in/copy.bin") == data);
}

TEST_F(TransferServerToServerTest, FolderModesRebuildTheSourcePath) {
    FastSettings(false);
    test::MakeDir(pyftpd().root() + "/data");
    test::MakeDir(pyftpd().root() + "/data/web");
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/data/web/index.html", "s2s"));
    const std::pair<const char*, const char*> modes[] = {
        {"NO_PATH", "index.html"}, {"LAST_DIR", "web/index.html"}, {"FULL_PATH", "data/web/index.html"}};
    for (const auto& [mode, expected] : modes) {
        SCOPED_TRACE(mode);
        Set("CONFIG", "FTPDirTree", mode);
        const std::string folder = vsftpd().uploadPath() + "/" + mode;
        test::MakeDir(folder);
        if (::geteuid() == 0) ::chmod(folder.c_str(), 0777);  // vsftpd writes as its session user
        auto c = Copy(Vsftpd(), Server(pyftpd().port()),
                      {Job("/data/web", "index.html", "index.html", vsftpd().uploadFolder() + "/" + mode, 3)});
        ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
        EXPECT_EQ(test::ReadFile(folder + "/" + expected), "s2s");
    }
}

}  // namespace
}  // namespace zyfar::enginetest
