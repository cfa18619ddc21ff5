// Byte-identical content through put and get runs against pyftpdlib and vsftpd, active and passive, with buffer
// pairs that take each copy branch; server to server between the two with its folder modes and overwrite rule; a
// sparse 5 GiB file with marker bytes around 4 GiB, put and get: sizes, progress texts and statistics carry 64-bit
// values (skips without room).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "support/EngineFixture.h"
#include "engine/TransferPaths.h"

namespace zyfar::enginetest {
namespace {

struct ContentCase {
    std::string name;
    bool vsftpd;
    bool passive;
    int readBuffer;
    int writeBuffer;
};

void PrintTo(const ContentCase& c, std::ostream* out) { *out << c.name; }

// Reads split into smaller writes, reads gathered into a larger write, and buffers large enough to move bytes past the stream's and the file's own.
const ContentCase kContentCases[] = {
    {"PyActive4096to1024", false, false, 4096, 1024}, {"PyPassive1024to4096", false, true, 1024, 4096},
    {"PyPassiveDirect", false, true, kDirectBuffer, kDirectBuffer}, {"VsActiveDirect", true, false, kDirectBuffer, kDirectBuffer},
    {"VsPassive4096to1024", true, true, 4096, 1024},  {"VsActive1024to4096", true, false, 1024, 4096},
};

// A server of the case, with a fresh folder this test may write to on it (`remote` as the client names it, `local` where the server keeps it).
class TransferContentTest : public EngineTest, public ::testing::WithParamInterface<ContentCase> {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        const ContentCase& c = GetParam();
        FastSettings(c.passive);
        const std::string sub = "up-" + c.name;
        if (c.vsftpd) {
            test::VsftpdServer& v = SharedVsftpd();
            if (v.unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << v.error();
            ASSERT_TRUE(v.started()) << v.error();
            site_ = Server(v.port(), "anonymous", "");
            remote_ = JoinRemote(v.uploadFolder(), sub);
            local_ = v.uploadPath() + "/" + sub;
        } else {
            ASSERT_TRUE(SharedPyFtpd().started()) << SharedPyFtpd().error();
            site_ = Server(SharedPyFtpd().port());
            remote_ = "/" + sub;
            local_ = SharedPyFtpd().root() + "/" + sub;
        }
        test::RemoveTree(local_);
        test::MakeDir(local_);
        if (::geteuid() == 0) ::chmod(local_.c_str(), 0777);  // vsftpd writes as its session user
    }
    TransferServer site_;
    std::string remote_;
    std::string local_;
};

TEST_P(TransferContentTest, PutThenGetKeepsEveryByte) {
    const ContentCase& c = GetParam();
    Set("FTP", "ReadBuffer", std::to_string(c.readBuffer));
    Set("FTP", "WriteBuffer", std::to_string(c.writeBuffer));
    Set("CONFIG", "Overwrite", "YES");
    Set("CONFIG", "TextExtensions", "txt");
    const std::string src = MakeLocalDir("src");
    const std::string back = MakeLocalDir("back");
    std::vector<CTransferJob> puts;
    std::vector<CTransferJob> gets;
    std::uint32_t seed = 1;
    const auto add = [&](const std::string& name, const std::string& content) {
        ASSERT_TRUE(test::WriteFile(src + "/" + name, content));
        const auto size = static_cast<std::int64_t>(content.size());
        puts.push_back(Job(src, name, name, remote_, size));
        gets.push_back(Job("", name, name, remote_, size));
    };
    for (std::size_t size : {0, 1, 4095, 4096, 4097, 10'000'000}) {
        add("s" + std::to_string(size) + ".bin", test::PatternBytes(size, seed++));
    }
    // ASCII: Unix line ends locally, CR LF on the wire.
    std::string text = test::PatternBytes(300'000, 21);
    for (char& ch : text) ch = static_cast<unsigned char>(ch) % 9 == 0 ? '\n' : static_cast<char>('a' + static_cast<unsigned char>(ch) % 26);
    add("lines.txt", text);
    auto put = RunSingle(site_, puts, TransferMode::PutKeep);
    EXPECT_EQ(put->DriverResult(), 1);
    EXPECT_EQ(put->run().progress.Snapshot().batchBar, 100);
    auto get = RunSingle(site_, gets, TransferMode::Get, back);
    EXPECT_EQ(get->DriverResult(), 1);
    for (std::size_t i = 0; i < puts.size(); ++i) {
        const std::string& name = puts[i].sourceName;
        EXPECT_EQ(put->run().jobs[i].status, 0) << name << ": " << put->run().jobs[i].reason;
        EXPECT_EQ(get->run().jobs[i].status, 0) << name << ": " << get->run().jobs[i].reason;
        const std::optional<std::string> sent = test::ReadFile(src + "/" + name);
        EXPECT_TRUE(test::ReadFile(back + "/" + name) == sent) << name;
        EXPECT_TRUE(name == "lines.txt" || test::ReadFile(local_ + "/" + name) == sent) << name;
    }
    // pyftpdlib turns CR LF back into LF as it stores; vsftpd stores what came.
    const std::optional<std::string> stored = test::ReadFile(local_ + "/lines.txt");
    ASSERT_TRUE(stored);
    std::string crlf;
    for (const char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    EXPECT_TRUE(*stored == (c.vsftpd ? crlf : text)) << stored->size() << " bytes stored";
}

INSTANTIATE_TEST_SUITE_P(Matrix, TransferContentTest, ::testing::ValuesIn(kContentCases),
                         [](const ::testing::TestParamInfo<ContentCase>& tested) { return tested.param.name; });

// ---- server to server between pyftpdlib and vsftpd ----

class TransferServerToServerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (vsftpd().unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << vsftpd().error();
        ASSERT_TRUE(vsftpd().started()) << vsftpd().error();
        ASSERT_TRUE(pyftpd().started()) << pyftpd().error();
        FastSettings(true);
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

TEST_F(TransferServerToServerTest, BothWaysFolderModesAndTheOverwriteRule) {
    Set("CONFIG", "Overwrite", "YES");
    const std::string data = test::PatternBytes(3'000'000, 77);
    test::MakeDir(pyftpd().root() + "/out");
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/out/big.bin", data));
    auto there = Copy(Vsftpd(), Server(pyftpd().port()),
                      {Job("/out", "big.bin", "big.bin", vsftpd().uploadFolder(), 3'000'000)});
    ASSERT_EQ(there->run().jobs[0].status, 0) << there->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(vsftpd().uploadPath() + "/big.bin") == data);
    EXPECT_EQ(Logged(logcode::FtpTransferComplete),
              std::vector<std::string>{"127.0.0.1 > 127.0.0.1 | " + JoinRemote(vsftpd().uploadFolder(), "big.bin") +
                                       " | -"});
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 3'000'000);
    EXPECT_EQ(s.bytesSent, 3'000'000);
    EXPECT_GT(s.serverToServerSeconds, 0.0);
    EXPECT_EQ(s.transferSeconds, 0.0);
    // The rebuilt folders are those of the whole source path; with Overwrite "NO" an existing target is skipped and the batch bar still reaches its end.
    Set("CONFIG", "Overwrite", "NO");
    test::MakeDir(pyftpd().root() + "/data");
    test::MakeDir(pyftpd().root() + "/data/web");
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/data/web/index.html", "s2s"));
    for (const auto& [mode, expected] : {std::pair{"NO_PATH", "index.html"}, std::pair{"LAST_DIR", "web/index.html"},
                                         std::pair{"FULL_PATH", "data/web/index.html"}}) {
        SCOPED_TRACE(mode);
        Set("CONFIG", "FTPDirTree", mode);
        const std::string folder = vsftpd().uploadPath() + "/" + mode;
        test::MakeDir(folder);
        if (::geteuid() == 0) ::chmod(folder.c_str(), 0777);  // vsftpd writes as its session user
        ASSERT_TRUE(test::WriteFile(folder + "/old.bin", "old"));
        const std::string target = JoinRemote(vsftpd().uploadFolder(), mode);
        auto c = Copy(Vsftpd(), Server(pyftpd().port()),
                      {Job("/data/web", "index.html", "index.html", target, 3), Job("/data/web", "index.html", "old.bin", target, 4)});
        ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
        EXPECT_EQ(test::ReadFile(folder + "/" + expected), "s2s");
        if (std::string(mode) == "NO_PATH") {
            EXPECT_EQ(c->run().jobs[1].status, kJobTargetExists);
            EXPECT_EQ(test::ReadFile(folder + "/old.bin"), "old");
            EXPECT_EQ(c->run().progress.Snapshot().batchBytes, "Sent 7 bytes out of 7 (100.00%)");
        }
    }
}

// ---- files over 4 GiB ----

constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;
constexpr std::int64_t kSize = 5 * (std::int64_t{1} << 30);

struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() { ::unlink(path.c_str()); }
};

class LargeFileTest : public EngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LargeFileTest, SparseFiveGibFileKeepsItsMarkersAroundFourGib) {
    const bool put = GetParam();
    FastSettings(true);
    Set("FTP", "ReadBuffer", "65536");
    Set("FTP", "WriteBuffer", "65536");
    Set("CONFIG", "Overwrite", "YES");
    // vsftpd is much faster; pyftpdlib serves only where vsftpd cannot run.
    test::VsftpdServer& v = SharedVsftpd();
    const bool vs = v.started();
    ASSERT_TRUE(vs || v.unavailable()) << v.error();
    ASSERT_TRUE(vs || SharedPyFtpd().started()) << SharedPyFtpd().error();
    const TransferServer site = vs ? Server(v.port(), "anonymous", "") : Server(SharedPyFtpd().port());
    const std::string remote = vs ? v.uploadFolder() : "/";
    const std::string local = vs ? v.uploadPath() : SharedPyFtpd().root();

    const std::string copyFolder = put ? local : Root();
    struct statvfs fs {};
    const std::int64_t free = ::statvfs(copyFolder.c_str(), &fs) == 0
                                  ? static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize)
                                  : -1;
    if (free < kSize + (std::int64_t{1} << 30)) GTEST_SKIP() << "6 GiB free needed in " << copyFolder;
    const std::string source = put ? Path("sparse.bin") : local + "/sparse.bin";
    const std::string copy = put ? local + "/copy.bin" : MakeLocalDir("back") + "/copy.bin";
    const RemovedAtEnd dropSource{source};
    const RemovedAtEnd dropCopy{copy};
    const std::int64_t offsets[] = {0, kFourGiB - 1, kFourGiB, kFourGiB + 1, kSize - 1};
    {
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        ASSERT_EQ(::ftruncate(fd, kSize), 0);
        for (std::size_t i = 0; i < std::size(offsets); ++i) {
            const char marker = static_cast<char>('A' + i);
            ASSERT_EQ(::pwrite(fd, &marker, 1, static_cast<off_t>(offsets[i])), 1);
        }
        ASSERT_EQ(::close(fd), 0);
        ::chmod(source.c_str(), 0644);  // the servers give anonymous users readable files only
    }
    struct stat st {};
    ASSERT_EQ(::stat(source.c_str(), &st), 0);
    if (st.st_blocks * 512 > (1 << 30)) GTEST_SKIP() << "the file system of " << source << " keeps no sparse files";

    auto c = put ? RunSingle(site, {Job(Root(), "sparse.bin", "copy.bin", remote, kSize)}, TransferMode::PutKeep)
                 : RunSingle(site, {Job("", "sparse.bin", "copy.bin", remote, kSize)}, TransferMode::Get, Path("back"));
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    const ProgressSnapshot p = c->run().progress.Snapshot();
    EXPECT_EQ(p.batchBytes, "Sent 5368709120 bytes out of 5368709120 (100.00%)");
    EXPECT_EQ(p.fileBytes, p.batchBytes);
    EXPECT_EQ(p.batchBar, 100);
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(put ? s.bytesSent : s.bytesReceived, kSize);
    EXPECT_EQ(put ? s.localBytesRead : s.localBytesWritten, kSize);
    EXPECT_EQ(s.filesTransferred, 1);
    // The copy is zero but for the markers: read it a MiB at a time.
    std::ifstream in(copy, std::ios::binary);
    ASSERT_TRUE(in);
    std::vector<char> chunk(1 << 20);
    std::int64_t offset = 0;
    std::size_t next = 0;
    for (; in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0; offset += in.gcount()) {
        for (std::int64_t i = 0; i < in.gcount(); ++i) {
            if (chunk[static_cast<std::size_t>(i)] == '\0') continue;
            ASSERT_LT(next, std::size(offsets)) << "a stray byte at " << offset + i;
            ASSERT_EQ(offset + i, offsets[next]);
            ASSERT_EQ(chunk[static_cast<std::size_t>(i)], static_cast<char>('A' + next));
            ++next;
        }
    }
    EXPECT_EQ(offset, kSize);
    EXPECT_EQ(next, std::size(offsets));
}

INSTANTIATE_TEST_SUITE_P(Directions, LargeFileTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& tested) { return tested.param ? "Put" : "Get"; });

}  // namespace
}  // namespace zyfar::enginetest
