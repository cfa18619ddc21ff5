// A 5 GiB file, put and get, without holding 10 GiB: the source is sparse
// with marker bytes around the 4 GiB boundary, the copy is compared with it
// by streaming both files, and the copy is deleted at once. The sizes, the
// progress texts and the statistics counters must all carry 64-bit values.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/TransferPaths.h"

namespace zyfar::enginetest {
namespace {

constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;
constexpr std::int64_t kSize = 5 * (std::int64_t{1} << 30);
constexpr std::int64_t kNeededFree = 6 * (std::int64_t{1} << 30);

// A sparse file of kSize bytes, zero but for one marker byte at each of
// these offsets. False when it cannot be made.
bool MakeSparseSource(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::ftruncate(fd, kSize) == 0;
    const std::int64_t offsets[] = {0, kFourGiB - 1, kFourGiB, kFourGiB + 1, kSize - 1};
    char marker = 'A';
    for (const std::int64_t offset : offsets) {
        ok = ok && ::pwrite(fd, &marker, 1, static_cast<off_t>(offset)) == 1;
        ++marker;
    }
    ok = ::close(fd) == 0 && ok;
    ::chmod(path.c_str(), 0644);  // the servers give anonymous users readable files only
    return ok;
}

// Blocks the file really takes on disk.
std::int64_t AllocatedBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

std::int64_t FreeBytes(const std::string& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return -1;
    return static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
}

// Compares two files 1 MiB at a time.
::testing::AssertionResult SameStream(const std::string& got, const std::string& want) {
    std::ifstream a(got, std::ios::binary);
    std::ifstream b(want, std::ios::binary);
    if (!a || !b) return ::testing::AssertionFailure() << (a ? want : got) << " cannot be opened";
    std::vector<char> x(1 << 20);
    std::vector<char> y(1 << 20);
    for (std::int64_t offset = 0;; offset += a.gcount()) {
        a.read(x.data(), static_cast<std::streamsize>(x.size()));
        b.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (a.gcount() != b.gcount()) return ::testing::AssertionFailure() << "the sizes differ near " << offset;
        if (a.gcount() == 0) return ::testing::AssertionSuccess();
        if (std::memcmp(x.data(), y.data(), static_cast<std::size_t>(a.gcount())) != 0) {
            return ::testing::AssertionFailure() << got << " differs from " << want << " in the MiB at " << offset;
        }
    }
}

// Removes a file when the test leaves, whatever happened.
struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() { ::unlink(path.c_str()); }
};

class LargeFileTest : public EngineTest, public ::testing::WithParamInterface<bool> {
protected:
    // vsftpd moves the bytes much faster than pyftpdlib; pyftpdlib serves
    // only where vsftpd cannot run.
    void SetUp() override {
        EngineTest::SetUp();
        FastSettings(true);
        Set("FTP", "ReadBuffer", "65536");
        Set("FTP", "WriteBuffer", "65536");
        test::VsftpdServer& v = SharedVsftpd();
        if (v.started()) {
            site_ = Server(v.port(), "anonymous", "");
            remote_ = v.uploadFolder();
            local_ = v.uploadPath();
            return;
        }
        ASSERT_TRUE(v.unavailable()) << v.error();
        test::PyFtpdServer& p = SharedPyFtpd();
        ASSERT_TRUE(p.started()) << p.error();
        site_ = Server(p.port());
        remote_ = "/";
        local_ = p.root();
    }

    TransferServer site_;
    std::string remote_;  // the server's folder, as the client names it
    std::string local_;   // the same folder on this machine
};

TEST_P(LargeFileTest, SparseFiveGibFileKeepsItsMarkersAroundFourGib) {
    const bool put = GetParam();
    // The put's copy lands in the server's folder, the get's in the home.
    const std::string copyFolder = put ? local_ : Root();
    const std::int64_t free = FreeBytes(copyFolder);
    if (free < kNeededFree) {
        GTEST_SKIP() << "a full 5 GiB copy needs 6 GiB free in " << copyFolder << ", only " << free << " bytes are";
    }
    // The put reads its source from the home, the get from the server's folder.
    const std::string source = put ? Path("sparse.bin") : local_ + "/sparse.bin";
    const std::string copy = put ? local_ + "/copy.bin" : MakeLocalDir("back") + "/copy.bin";
    const RemovedAtEnd dropSource{source};
    const RemovedAtEnd dropCopy{copy};
    ASSERT_TRUE(MakeSparseSource(source)) << std::strerror(errno);
    if (AllocatedBytes(source) > (std::int64_t{1} << 30)) {
        GTEST_SKIP() << "the file system of " << source << " keeps no sparse files";
    }
    Set("CONFIG", "Overwrite", "YES");

    auto c = put ? RunSingle(site_, {Job(Root(), "sparse.bin", "copy.bin", remote_, kSize)}, TransferMode::PutKeep)
                 : RunSingle(site_, {Job("", "sparse.bin", "copy.bin", remote_, kSize)}, TransferMode::Get,
                             Path("back"));
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    const ProgressSnapshot p = c->run().progress.Snapshot();
    EXPECT_EQ(p.batchBytes, "Sent 5368709120 bytes out of 5368709120 (100.00%)");
    EXPECT_EQ(p.fileBytes, "Sent 5368709120 bytes out of 5368709120 (100.00%)");
    EXPECT_EQ(p.batchBar, 100);
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(put ? s.bytesSent : s.bytesReceived, kSize);
    EXPECT_EQ(put ? s.localBytesRead : s.localBytesWritten, kSize);
    EXPECT_EQ(s.filesTransferred, 1);

    struct stat st {};
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_EQ(static_cast<std::int64_t>(st.st_size), kSize);
    EXPECT_TRUE(SameStream(copy, source));
}

INSTANTIATE_TEST_SUITE_P(Directions, LargeFileTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& tested) {
                             return std::string(tested.param ? "Put" : "Get");
                         });

}  // namespace
}  // namespace zyfar::enginetest
