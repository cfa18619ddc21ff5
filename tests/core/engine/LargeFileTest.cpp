// A sparse 5 GiB file with marker bytes around 4 GiB, put and get: sizes, progress texts and statistics carry 64-bit values. Skips without room.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace zyfar::enginetest {
namespace {

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
