// The pass structure of the copy loops and the buffered local files, without
// a server: fake sources and targets record every read and write.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/BufferedLocalFile.h"
#include "engine/CopyLoop.h"
#include "engine/TransferPaths.h"
#include "platform/WorkerControl.h"
#include "support/FtpTestServer.h"

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

TEST(CopyPassLoop, SmallerWriteBufferWritesPiecesOfOneRead) {
    FakeSource src{test::PatternBytes(4096 * 2 + 100)};
    FakeTarget dst;
    std::vector<std::int64_t> passes;
    PassResult r = CopyPassLoop(4096, 1024, nullptr, nullptr, src.Fn(), dst.Fn(),
                                [&](std::int64_t n) { passes.push_back(n); });
    EXPECT_EQ(r.end, PassEnd::EndOfSource);
    EXPECT_EQ(dst.data, src.data);
    // Each pass reads 4096 and writes four 1024-byte pieces; the last pass the rest.
    EXPECT_EQ(passes, (std::vector<std::int64_t>{4096, 4096, 100}));
    EXPECT_EQ(dst.writes, (std::vector<std::size_t>{1024, 1024, 1024, 1024, 1024, 1024, 1024, 1024, 100}));
    for (std::size_t n : src.asked) {
        EXPECT_EQ(n, 4096u);
    }
}

TEST(CopyPassLoop, LargerWriteBufferGathersReadsIntoOneWrite) {
    FakeSource src{test::PatternBytes(1024 * 9)};
    FakeTarget dst;
    PassResult r = CopyPassLoop(1024, 4096, nullptr, nullptr, src.Fn(), dst.Fn(), nullptr);
    EXPECT_EQ(r.end, PassEnd::EndOfSource);
    EXPECT_EQ(dst.data, src.data);
    EXPECT_EQ(dst.writes, (std::vector<std::size_t>{4096, 4096, 1024}));
    EXPECT_EQ(r.passes, 3);
}

TEST(CopyPassLoop, ShortReadsFromANetworkSourceAreGathered) {
    FakeSource src{test::PatternBytes(10000), 700};  // a socket gives what has arrived
    FakeTarget dst;
    PassResult r = CopyPassLoop(1024, 4096, nullptr, nullptr, src.Fn(), dst.Fn(), nullptr);
    EXPECT_EQ(r.end, PassEnd::EndOfSource);
    EXPECT_EQ(dst.data, src.data);
    for (std::size_t w : dst.writes) {
        EXPECT_LE(w, 4096u);
    }
}

TEST(CopyPassLoop, EqualBuffersAndAnEmptySource) {
    FakeSource src{""};
    FakeTarget dst;
    PassResult r = CopyPassLoop(65536, 65536, nullptr, nullptr, src.Fn(), dst.Fn(), nullptr);
    EXPECT_EQ(r.end, PassEnd::EndOfSource);
    EXPECT_TRUE(dst.writes.empty());
    EXPECT_EQ(r.moved, 0);
    EXPECT_EQ(src.asked.size(), 1u);  // one read finds the end
}

TEST(CopyPassLoop, EndsAtTheEndOfTheSourceWhateverTheJobSaid) {
    // A file that shrank: the loop stops at its end instead of waiting for
    // bytes that will never come.
    FakeSource src{test::PatternBytes(3000)};
    FakeTarget dst;
    PassResult r = CopyPassLoop(4096, 4096, nullptr, nullptr, src.Fn(), dst.Fn(), nullptr);
    EXPECT_EQ(r.end, PassEnd::EndOfSource);
    EXPECT_EQ(r.moved, 3000);
    EXPECT_LE(src.asked.size(), 3u);
}

TEST(CopyPassLoop, AReadFailureEndsTheCopyWithItsCode) {
    FakeSource src{test::PatternBytes(100000)};
    src.failAtRead = 3;
    FakeTarget dst;
    PassResult r = CopyPassLoop(4096, 4096, nullptr, nullptr, src.Fn(), dst.Fn(), nullptr);
    EXPECT_EQ(r.end, PassEnd::Failed);
    EXPECT_EQ(r.failure.code, 12031);
    EXPECT_EQ(r.moved, 3 * 4096);
}

TEST(CopyPassLoop, AbortFlagEndsAfterThePass) {
    FakeSource src{test::PatternBytes(100000)};
    FakeTarget dst;
    std::atomic<bool> abort{false};
    int seen = 0;
    PassResult r = CopyPassLoop(4096, 4096, nullptr, &abort, src.Fn(), dst.Fn(), [&](std::int64_t) {
        if (++seen == 2) {
            abort.store(true);
        }
    });
    EXPECT_EQ(r.end, PassEnd::Aborted);
    EXPECT_EQ(r.moved, 2 * 4096);
}

TEST(CopyPassLoop, CancelledControlStopsBeforeTheNextPass) {
    FakeSource src{test::PatternBytes(100000)};
    FakeTarget dst;
    WorkerControl control;
    int seen = 0;
    PassResult r = CopyPassLoop(4096, 4096, &control, nullptr, src.Fn(), dst.Fn(), [&](std::int64_t) {
        if (++seen == 3) {
            control.Cancel();
        }
    });
    EXPECT_EQ(r.end, PassEnd::Cancelled);
    EXPECT_EQ(r.moved, 3 * 4096);
}

// ---- buffered local files ----

class BufferedLocalFileTest : public ::testing::Test {
protected:
    test::TempDir dir_{"zyfar-localfile"};
};

TEST_F(BufferedLocalFileTest, SmallReadsAndWritesKeepEveryByte) {
    const std::string content = test::PatternBytes(BufferedLocalFile::kBufferSize * 2 + 12345);
    ASSERT_TRUE(test::WriteFile(dir_ / "in", content));
    auto in = BufferedLocalFile::OpenRead(dir_ / "in");
    ASSERT_TRUE(in.ok()) << in.result.text;
    EXPECT_EQ(in.value->SizeAtOpen(), static_cast<std::int64_t>(content.size()));
    auto out = BufferedLocalFile::Create(dir_ / "out");
    ASSERT_TRUE(out.ok());
    std::vector<char> buffer(BufferedLocalFile::kBufferSize + 7);
    // Mixed sizes, including reads larger than the internal buffer.
    const std::size_t sizes[] = {1, 4096, 3, BufferedLocalFile::kBufferSize + 7, 4095, 65536};
    for (std::size_t i = 0;; ++i) {
        const std::size_t want = sizes[i % std::size(sizes)];
        auto got = in.value->Read(buffer.data(), want);
        ASSERT_TRUE(got.ok());
        if (got.value == 0) {
            break;
        }
        ASSERT_TRUE(out.value->Write(buffer.data(), got.value).ok());
    }
    ASSERT_TRUE(out.value->Close().ok());
    EXPECT_EQ(test::ReadFile(dir_ / "out").value_or(""), content);
}

TEST_F(BufferedLocalFileTest, FailuresCarryCausesAndNameTheFile) {
    auto missing = BufferedLocalFile::OpenRead(dir_ / "nope");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.result.code, filecause::kFileNotFound);
    EXPECT_NE(missing.result.text.find(dir_ / "nope"), std::string::npos);

    auto folder = BufferedLocalFile::OpenRead(dir_.path());
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.result.code, filecause::kAccessDenied);

    auto badPath = BufferedLocalFile::Create(dir_ / "no/such/folder/file");
    ASSERT_FALSE(badPath.ok());
    EXPECT_EQ(badPath.result.code, filecause::kFileNotFound);
}

TEST(FileCause, ErrnoMapping) {
    EXPECT_EQ(FileCauseOfErrno(ENOSPC), filecause::kDiskFull);
    EXPECT_EQ(FileCauseOfErrno(EACCES), filecause::kAccessDenied);
    EXPECT_EQ(FileCauseOfErrno(ENOTDIR), filecause::kBadPath);
    EXPECT_EQ(FileCauseOfErrno(EMFILE), filecause::kTooManyOpenFiles);
    EXPECT_EQ(FileCauseOfErrno(EXDEV), filecause::kGeneric);
}

// ---- path rules ----

TEST(TransferPaths, SeparatorsAndJoins) {
    EXPECT_EQ(RemoteSeparatorFor("/pub"), '/');
    EXPECT_EQ(RemoteSeparatorFor("C:\\ftp"), '\\');
    EXPECT_EQ(JoinRemote("/pub", "a"), "/pub/a");
    EXPECT_EQ(JoinRemote("/pub/", "a"), "/pub/a");
    EXPECT_EQ(JoinRemote("/", "a"), "/a");
    EXPECT_EQ(JoinRemote("C:\\ftp", "a"), "C:\\ftp\\a");
    EXPECT_EQ(JoinRemote("", "a"), "a");
    EXPECT_EQ(JoinLocal("/data/web", "index.html"), "/data/web/index.html");
    EXPECT_EQ(SplitPieces("/data//web/", '/'), (std::vector<std::string>{"data", "web"}));
    EXPECT_EQ(LocalBaseName("/data/web/index.html"), "index.html");
}

TEST(TransferPaths, LongNamesAreShortenedToTwelveCharacters) {
    EXPECT_EQ(ShortenLongName("Quarterly Report.txt"), "Quarte~1.txt");
    EXPECT_EQ(ShortenLongName("my.long.file.name"), "my.lon~1.lon");
    EXPECT_EQ(ShortenLongName("abcdefghijkl"), "abcdefghijkl");    // 12: kept
    EXPECT_EQ(ShortenLongName("abcdefghijklm"), "abcdef~1");       // 13, no dot
    EXPECT_EQ(ShortenLongName("a b c d e f g h.doc"), "abcdef~1.doc");
}

TEST(TransferPaths, PlainLocalNames) {
    EXPECT_TRUE(IsPlainLocalName("report.txt"));
    EXPECT_TRUE(IsPlainLocalName("..hidden"));
    EXPECT_FALSE(IsPlainLocalName(""));
    EXPECT_FALSE(IsPlainLocalName("."));
    EXPECT_FALSE(IsPlainLocalName(".."));
    EXPECT_FALSE(IsPlainLocalName("../x"));
    EXPECT_FALSE(IsPlainLocalName("a/b"));
    EXPECT_FALSE(IsPlainLocalName(std::string("a\0b", 3)));
}

TEST(TransferPaths, FolderOfAFailedPut) {
    EXPECT_EQ(FolderBeforeName("/pub/web/index.html", "index.html"), "/pub/web/");
    EXPECT_EQ(FolderBeforeName("index.html", "index.html"), "");
    EXPECT_EQ(FolderBeforeName("/pub/pub", "pub"), "/pub/");  // the name at the end, not its first occurrence
    EXPECT_EQ(FolderBeforeName("/pub/a.txt", "b.txt"), "");
}

}  // namespace
}  // namespace zyfar
