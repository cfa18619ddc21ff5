// The copy loop's passes (fake sources and targets record every read and write), buffered local files and path rules, without a server.
#include <sys/stat.h>

#include <atomic>

#include "engine/BufferedLocalFile.h"
#include "engine/CopyLoop.h"
#include "engine/TransferJob.h"
#include "engine/TransferPaths.h"
#include "platform/WorkerControl.h"
#include "support/FtpTestServer.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

// A source that hands out `data` in reads of at most `chunk` bytes.
struct FakeSource {
    explicit FakeSource(std::string d, std::size_t c = SIZE_MAX) : data(std::move(d)), chunk(c) {}
    std::string data;
    std::size_t chunk = SIZE_MAX;
    std::size_t pos = 0;
    std::vector<std::size_t> asked;
    int failAtRead = -1;

    CopyReadFn Fn() {
        return [this](char* buffer, std::size_t n) -> FtpOutcome<std::size_t> {
            asked.push_back(n);
            if (failAtRead >= 0 && static_cast<int>(asked.size()) > failAtRead) {
                return FtpFail(12031, "reset");
            }
            const std::size_t take = std::min({n, chunk, data.size() - pos});
            std::memcpy(buffer, data.data() + pos, take);
            pos += take;
            return take;
        };
    }
};

struct FakeTarget {
    std::string data;
    std::vector<std::size_t> writes;
    CopyWriteFn Fn() {
        return [this](const char* buffer, std::size_t n) -> FtpResult {
            writes.push_back(n);
            data.append(buffer, n);
            return FtpOk();
        };
    }
};

TEST(CopyPassLoop, ReadsAndWritesFollowTheBufferPair) {
    struct Case {
        std::size_t size, chunk, read, write;
        std::vector<std::size_t> writes;  // empty: every write at most `write` bytes
        int passes;                       // -1: not checked
    };
    const std::vector<Case> cases{
        // ReadBuffer bytes written in WriteBuffer pieces, or reads gathered into WriteBuffer bytes.
        {4096 * 2 + 100, SIZE_MAX, 4096, 1024, {1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 100}, 3},
        {1024 * 9, SIZE_MAX, 1024, 4096, {4096, 4096, 1024}, 3},
        // A socket gives what has arrived: short reads are gathered too.
        {10000, 700, 1024, 4096, {}, -1},
        // An empty source: one read finds the end, nothing is written.
        {0, SIZE_MAX, 65536, 65536, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.size << " bytes, " << c.read << "/" << c.write);
        FakeSource src{test::PatternBytes(c.size), c.chunk};
        FakeTarget dst;
        std::int64_t reported = 0;
        const PassResult r = CopyPassLoop(c.read, c.write, nullptr, nullptr, src.Fn(), dst.Fn(),
                                          [&](std::int64_t n) { reported += n; });
        EXPECT_EQ(r.end, PassEnd::EndOfSource);
        EXPECT_EQ(r.moved, static_cast<std::int64_t>(c.size));
        EXPECT_EQ(reported, static_cast<std::int64_t>(c.size));
        EXPECT_TRUE(dst.data == src.data);
        if (!c.writes.empty() || c.size == 0) {
            EXPECT_EQ(dst.writes, c.writes);
        }
        for (std::size_t w : dst.writes) EXPECT_LE(w, c.write);
        for (std::size_t n : src.asked) {
            // A pass asks for a whole ReadBuffer unless it fills a larger WriteBuffer.
            EXPECT_TRUE(n == c.read || (c.read < c.write && n < c.read)) << n;
        }
        EXPECT_TRUE(c.passes < 0 || r.passes == c.passes) << r.passes;
    }
}

TEST(CopyPassLoop, FailureAbortAndCancelEndTheCopyAtTheirPass) {
    struct Case {
        int failAtRead, abortAfter, cancelAfter;  // -1: never
        PassEnd end;
    };
    for (const Case& c : {Case{3, -1, -1, PassEnd::Failed}, Case{-1, 2, -1, PassEnd::Aborted},
                          Case{-1, -1, 3, PassEnd::Cancelled}}) {
        SCOPED_TRACE(static_cast<int>(c.end));
        FakeSource src{test::PatternBytes(100000)};
        src.failAtRead = c.failAtRead;
        FakeTarget dst;
        std::atomic<bool> abort{false};
        WorkerControl control;  // checked before every pass
        int seen = 0;
        const PassResult r = CopyPassLoop(4096, 4096, &control, &abort, src.Fn(), dst.Fn(), [&](std::int64_t) {
            ++seen;
            if (seen == c.abortAfter) abort.store(true);
            if (seen == c.cancelAfter) control.Cancel();
        });
        EXPECT_EQ(r.end, c.end);
        EXPECT_EQ(r.moved, 4096 * std::max({c.failAtRead, c.abortAfter, c.cancelAfter}));
        EXPECT_EQ(r.failure.code, c.failAtRead < 0 ? 0 : 12031);
        EXPECT_EQ(dst.data, src.data.substr(0, static_cast<std::size_t>(r.moved)));
    }
}

class BufferedLocalFileTest : public ::testing::Test {
protected:
    test::TempDir dir_{"zyfar-localfile"};
};

TEST_F(BufferedLocalFileTest, FailuresCarryCausesAndNameTheFile) {
    auto missing = BufferedLocalFile::OpenRead(dir_ / "nope");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.result.code, filecause::kFileNotFound);
    EXPECT_NE(missing.result.text.find(dir_ / "nope"), std::string::npos);
    EXPECT_EQ(BufferedLocalFile::OpenRead(dir_.path()).result.code, filecause::kAccessDenied);
    EXPECT_EQ(BufferedLocalFile::CreateFor(dir_ / "no/such/folder/file").result.code, filecause::kFileNotFound);
    // A FIFO is refused at once, never waited on.
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(BufferedLocalFile::OpenRead(dir_ / "pipe").ok());
}

// A download's file replaces the target only when placed with replace; else it leaves nothing.
TEST_F(BufferedLocalFileTest, ADownloadsFileTakesTheTargetsPlaceOnlyWhenPlaced) {
    ASSERT_TRUE(test::WriteFile(dir_ / "t", "old"));
    ASSERT_EQ(::chmod((dir_ / "t").c_str(), 0600), 0);
    for (const int step : {0, 1, 2}) {
        auto f = BufferedLocalFile::CreateFor(dir_ / "t");
        ASSERT_TRUE(f.ok()) << f.result.text;
        ASSERT_TRUE(f.value->Write("new", 3).ok());
        const FtpResult r = step == 0 ? f.value->Close() : f.value->Place(step == 2);
        EXPECT_EQ(r.code, step == 1 ? kJobTargetExists : 0) << r.text;
        f.value.reset();
        EXPECT_EQ(test::ReadFile(dir_ / "t").value_or(""), step == 2 ? "new" : "old") << step;
        EXPECT_EQ(test::ListFolder(dir_.path()), std::vector<std::string>{"t"}) << step;
        EXPECT_EQ(test::ModeOf(dir_ / "t"), 0600) << step;  // a private file stays private
    }
}

// The remote separator ("\" when the folder holds one) and joins: the existence check, the finish and the
// multiple-put tests fail when they break.
TEST(TransferPaths, NamesAndFolders) {
    const std::pair<const char*, const char*> shortened[] = {
        {"Quarterly Report.txt", "Quarte~1.txt"}, {"my.long.file.name", "my.lon~1.lon"},
        {"abcdefghijkl", "abcdefghijkl"},  // 12: kept
        {"abcdefghijklm", "abcdef~1"}, {"a b c d e f g h.doc", "abcdef~1.doc"}};
    for (const auto& [name, expected] : shortened) EXPECT_EQ(ShortenLongName(name), expected);
    EXPECT_TRUE(IsPlainLocalName("..hidden"));
    for (const std::string name : {"", ".", "..", "a/b"}) EXPECT_FALSE(IsPlainLocalName(name)) << name;
    EXPECT_FALSE(IsPlainLocalName(std::string("a\0b", 3)));
    EXPECT_EQ(FolderBeforeName("/pub/web/index.html", "index.html"), "/pub/web/");
    EXPECT_EQ(FolderBeforeName("index.html", "index.html"), "");
    EXPECT_EQ(FolderBeforeName("/pub/pub", "pub"), "/pub/");  // the name at the end, not its first occurrence
}

}  // namespace
}  // namespace zyfar
