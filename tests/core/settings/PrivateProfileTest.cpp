// The private-profile file functions on real files: semantics, bad files,
// atomic writes, locking across threads and processes, the read cache.
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zyfar {
namespace {

using test::ListFolder;
using test::ReadText;
using test::WriteText;

class PrivateProfileTest : public test::TempDirTest {};

TEST_F(PrivateProfileTest, MissingFileReadsAsEmpty) {
    const std::string file = Path("none.ini");
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "def");
    EXPECT_EQ(GetPrivateProfileInt("S", "k", 7, file), 7);
    EXPECT_TRUE(GetPrivateProfileSection("S", file).empty());
    EXPECT_TRUE(ReadPrivateProfile(file).SectionNames().empty());
    EXPECT_NE(::access(file.c_str(), F_OK), 0);  // reading creates nothing
}

TEST_F(PrivateProfileTest, WriteThenReadWithWindowsSemantics) {
    const std::string file = Path("a.ini");
    ASSERT_TRUE(WritePrivateProfileString("Settings", "Host", "ftp.local", file));
    ASSERT_TRUE(WritePrivateProfileString("SETTINGS", "port", "2121", file));
    EXPECT_EQ(GetPrivateProfileString("settings", "HOST", "", file), "ftp.local");
    EXPECT_EQ(GetPrivateProfileInt("Settings", "Port", 21, file), 2121);
    EXPECT_EQ(ReadText(file), "[Settings]\nHost=ftp.local\nport=2121\n");
}

TEST_F(PrivateProfileTest, IntegerReadsTheLeadingNumberAndNonNumericGivesZero) {
    const std::string file = Path("n.ini");
    WriteText(file, "[S]\na= 12 minutes\nb=abc\nc=-3\nd=\n");
    EXPECT_EQ(GetPrivateProfileInt("S", "a", 5, file), 12);
    EXPECT_EQ(GetPrivateProfileInt("S", "b", 5, file), 0);
    EXPECT_EQ(GetPrivateProfileInt("S", "c", 5, file), -3);
    EXPECT_EQ(GetPrivateProfileInt("S", "d", 5, file), 0);
    EXPECT_EQ(GetPrivateProfileInt("S", "absent", 5, file), 5);
}

TEST_F(PrivateProfileTest, BareNameLiesInTheSettingsFolder) {
    ASSERT_TRUE(WritePrivateProfileString("QUEUE", "Count", "1", "zyfarQue.ini"));
    const std::string expected = dir_ + "/config/Quorvane/zyfarQue.ini";
    EXPECT_EQ(ResolvePrivateFile("zyfarQue.ini"), expected);
    EXPECT_EQ(ReadText(expected), "[QUEUE]\nCount=1\n");
    EXPECT_EQ(GetPrivateProfileInt("queue", "count", 0, "zyfarQue.ini"), 1);
}

TEST_F(PrivateProfileTest, WriteCreatesMissingFoldersAndMode0600) {
    const std::string file = Path("deep/er/x.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "Password", "secret", file));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Later rewrites keep the mode.
    ASSERT_TRUE(WritePrivateProfileString("S", "Password", "other", file));
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PrivateProfileTest, RewriteKeepsUnrelatedLinesAndAWiderExistingMode) {
    const std::string file = Path("keep.ini");
    WriteText(file, "; hand written\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(WritePrivateProfileString("B", "y", "3", file));
    EXPECT_EQ(ReadText(file), "; hand written\n[A]\nx=1\n\n[B]\ny=3\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PrivateProfileTest, UnchangedValueDoesNotRewriteTheFile) {
    const std::string file = Path("same.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", file));
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", file));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // a rewrite renames a new inode in
}

TEST_F(PrivateProfileTest, SymlinkedFileIsWrittenThroughTheLink) {
    const std::string target = Path("real.ini");
    const std::string link = Path("link.ini");
    WriteText(target, "[S]\nk=1\n");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", link));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadText(target), "[S]\nk=2\n");
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", target), "2");
}

TEST_F(PrivateProfileTest, SectionReadWriteAndRemoval) {
    const std::string file = Path("sec.ini");
    ASSERT_TRUE(WritePrivateProfileSection("FILE1", {{"LocalName", "a.txt"}, {"Size", "10"}}, file));
    ASSERT_TRUE(WritePrivateProfileSection("FILE2", {{"LocalName", "b.txt"}}, file));
    EXPECT_EQ(GetPrivateProfileSection("file1", file),
              (IniDocument::Entries{{"LocalName", "a.txt"}, {"Size", "10"}}));
    ASSERT_TRUE(WritePrivateProfileSection("FILE1", {{"LocalName", "c.txt"}}, file));
    EXPECT_EQ(ReadText(file), "[FILE1]\nLocalName=c.txt\n[FILE2]\nLocalName=b.txt\n");
    EXPECT_TRUE(RemovePrivateProfileKey("FILE2", "localname", file));
    EXPECT_FALSE(RemovePrivateProfileKey("FILE2", "localname", file));
    EXPECT_TRUE(RemovePrivateProfileSection("file1", file));
    EXPECT_FALSE(RemovePrivateProfileSection("file1", file));
    EXPECT_EQ(ReadText(file), "[FILE2]\n");
}

TEST_F(PrivateProfileTest, LineBreaksInNamesOrValuesAreRefusedAndNothingIsWritten) {
    const std::string file = Path("inj.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", file));
    const std::string before = ReadText(file);
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v\n[Evil]\nk=1", file));
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v\r", file));
    EXPECT_FALSE(WritePrivateProfileString("S", "k\n", "v", file));
    EXPECT_FALSE(WritePrivateProfileString("S\nT", "k", "v", file));
    EXPECT_FALSE(WritePrivateProfileString("S", "k", std::string("a\0b", 3), file));
    EXPECT_FALSE(WritePrivateProfileSection("S", {{"ok", "1"}, {"bad", "x\ny"}}, file));
    EXPECT_EQ(ReadText(file), before);
    EXPECT_FALSE(ReadPrivateProfile(file).HasSection("Evil"));
    // Refused writes to a new file create nothing either.
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "a\nb", Path("new/never.ini")));
    EXPECT_NE(::access(Path("new").c_str(), F_OK), 0);
}

TEST_F(PrivateProfileTest, DirectoryInPlaceOfTheFileReadsEmptyAndRefusesWrites) {
    const std::string file = Path("dir.ini");
    ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "def");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", file));
    EXPECT_FALSE(UpdatePrivateProfile(file, [](IniDocument& d) { d.Set("S", "k", "v"); }));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(PrivateProfileTest, FifoInPlaceOfTheFileNeverBlocks) {
    const std::string file = Path("fifo.ini");
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "def");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", file));
}

TEST_F(PrivateProfileTest, UnreadableFileReadsEmptyAndIsNotOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
    const std::string file = Path("locked.ini");
    WriteText(file, "[S]\nk=precious\n");
    ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "def");
    EXPECT_FALSE(WritePrivateProfileString("S", "other", "v", file));
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    EXPECT_EQ(ReadText(file), "[S]\nk=precious\n");
}

TEST_F(PrivateProfileTest, ParentThatIsAFileMakesWritesFail) {
    WriteText(Path("plain"), "x");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", Path("plain/sub.ini")));
    EXPECT_EQ(ReadText(Path("plain")), "x");
}

TEST_F(PrivateProfileTest, BadContentIsPreservedThroughWrites) {
    const std::string file = Path("bad.ini");
    const std::string big(1 << 20, 'q');
    const std::string text = std::string("\xEF\xBB\xBFno equals here\n[A]\nnul=a\0b\n", 30) + "long=" + big +
                             "\n[A]\nk=second\n";
    WriteText(file, text);
    EXPECT_TRUE(GetPrivateProfileString("A", "long", "", file) == big);
    EXPECT_EQ(GetPrivateProfileString("A", "k", "def", file), "def");  // only in the duplicate section
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "first", file));
    const std::string out = ReadText(file);
    EXPECT_NE(out.find("no equals here\n"), std::string::npos);
    EXPECT_NE(out.find(std::string("nul=a\0b\n", 8)), std::string::npos);
    EXPECT_NE(out.find("long=" + big + "\nk=first\n"), std::string::npos);
    EXPECT_NE(out.find("[A]\nk=second\n"), std::string::npos);
    EXPECT_EQ(GetPrivateProfileString("A", "k", "", file), "first");
}

TEST_F(PrivateProfileTest, WritesLeaveNoTemporaryFilesAndCompleteContent) {
    const std::string file = Path("atomic/q.ini");
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(WritePrivateProfileString(test::Cat("QUEUE", i % 5), "Tries", std::to_string(i), file));
    const auto names = ListFolder(Path("atomic"));
    for (const auto& name : names) EXPECT_TRUE(name == "q.ini" || name == "q.ini.lock") << name;
    const auto doc = ReadPrivateProfile(file);
    for (int s = 0; s < 5; ++s) EXPECT_EQ(doc.Get(test::Cat("QUEUE", s), "Tries"), std::to_string(45 + s));
}

TEST_F(PrivateProfileTest, ReadersNeverSeeAPartialFile) {
    // One thread rewrites a large file again and again while another reads
    // it: every read sees one complete version (all keys of one round).
    const std::string file = Path("big.ini");
    constexpr int kSections = 300;
    auto fill = [&](int round) {
        return UpdatePrivateProfile(file, [&](IniDocument& doc) {
            for (int s = 0; s < kSections; ++s) doc.Set(test::Cat("S", s), "Round", std::to_string(round));
        });
    };
    ASSERT_TRUE(fill(0));
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        while (!done.load()) {
            const std::string text = ReadText(file);
            const auto doc = IniDocument::Parse(text);
            const auto first = doc.Get("S0", "Round");
            const auto last = doc.Get(test::Cat("S", kSections - 1), "Round");
            if (!first || !last || *first != *last) ++badReads;
        }
    });
    for (int round = 1; round <= 30; ++round) ASSERT_TRUE(fill(round));
    done = true;
    reader.join();
    EXPECT_EQ(badReads.load(), 0);
}

TEST_F(PrivateProfileTest, EightThreadsWritingDifferentKeysLoseNoUpdate) {
    const std::string file = Path("threads.ini");
    constexpr int kThreads = 8;
    constexpr int kWrites = 20;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kWrites; ++i)
                if (!WritePrivateProfileString(test::Cat("S", t % 3), test::Cat("T", t) + test::Cat("_", i),
                                               std::to_string(i), file))
                    ++failures;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    const auto doc = IniDocument::Parse(ReadText(file));
    int found = 0;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kWrites; ++i)
            found += doc.Get(test::Cat("S", t % 3), test::Cat("T", t) + test::Cat("_", i)) ==
                     std::to_string(i);
    EXPECT_EQ(found, kThreads * kWrites);
}

TEST_F(PrivateProfileTest, ThreadsIncrementingOneCounterThroughTheBatchFormLoseNothing) {
    const std::string file = Path("counter.ini");
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 15; ++i)
                UpdatePrivateProfile(file, [](IniDocument& doc) {
                    const int n = ParseLeadingInt(doc.Get("C", "n").value_or("0"));
                    doc.Set("C", "n", std::to_string(n + 1));
                });
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(GetPrivateProfileInt("C", "n", -1, file), 8 * 15);
}

TEST_F(PrivateProfileTest, TwoProcessesWritingLoseNoUpdate) {
    const std::string file = Path("procs.ini");
    constexpr int kWrites = 30;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = true;
        for (int i = 0; i < kWrites; ++i) {
            ok = WritePrivateProfileString("Child", test::Cat("K", i), std::to_string(i), file) && ok;
            ok = UpdatePrivateProfile(file, [](IniDocument& doc) {
                     doc.Set("Shared", "n", std::to_string(ParseLeadingInt(doc.Get("Shared", "n").value_or("0")) + 1));
                 }) && ok;
        }
        ::_exit(ok ? 0 : 1);
    }
    bool ok = true;
    for (int i = 0; i < kWrites; ++i) {
        ok = WritePrivateProfileString("Parent", test::Cat("K", i), std::to_string(i), file) && ok;
        ok = UpdatePrivateProfile(file, [](IniDocument& doc) {
                 doc.Set("Shared", "n", std::to_string(ParseLeadingInt(doc.Get("Shared", "n").value_or("0")) + 1));
             }) && ok;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(ok);
    const auto doc = IniDocument::Parse(ReadText(file));
    EXPECT_EQ(doc.GetSection("Child").size(), static_cast<std::size_t>(kWrites));
    EXPECT_EQ(doc.GetSection("Parent").size(), static_cast<std::size_t>(kWrites));
    EXPECT_EQ(doc.Get("Shared", "n"), std::to_string(2 * kWrites));
}

TEST_F(PrivateProfileTest, BatchFormWritesOnceAndOnlyWhenChanged) {
    const std::string file = Path("batch.ini");
    EXPECT_TRUE(UpdatePrivateProfile(file, [](IniDocument&) {}));
    EXPECT_NE(::access(file.c_str(), F_OK), 0);  // nothing changed, nothing written
    ASSERT_TRUE(UpdatePrivateProfile(file, [](IniDocument& doc) {
        doc.Set("QUEUE", "Count", "2");
        doc.ReplaceSection("QUEUE1", {{"Type", "0"}});
        doc.ReplaceSection("QUEUE2", {{"Type", "1"}});
    }));
    EXPECT_EQ(ReadText(file), "[QUEUE]\nCount=2\n[QUEUE1]\nType=0\n[QUEUE2]\nType=1\n");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    ASSERT_TRUE(UpdatePrivateProfile(file, [](IniDocument& doc) { doc.Set("QUEUE", "count", "2"); }));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // The callback sees the file as it is on disk, not a stale cache.
    WriteText(file, "[QUEUE]\nCount=5\n");
    std::string seen;
    ASSERT_TRUE(UpdatePrivateProfile(file, [&](IniDocument& doc) { seen = doc.Get("QUEUE", "Count").value_or(""); }));
    EXPECT_EQ(seen, "5");
}

TEST_F(PrivateProfileTest, CacheSeesExternalRewriteOfTheSameSize) {
    const std::string file = Path("ext.ini");
    WriteText(file, "[S]\nk=aaaa\n");
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", file), "aaaa");
    // Rewrite in place (same inode, same size) and put the old mtime back:
    // the change time still tells the cache that the file changed.
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    {
        const int fd = ::open(file.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "bbbb", 4, 6), 4);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ASSERT_EQ(::futimens(fd, times), 0);
        ::close(fd);
    }
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", file), "bbbb");
    // Replacement by another program through rename, same size.
    WriteText(Path("other.tmp"), "[S]\nk=cccc\n");
    ASSERT_EQ(::rename(Path("other.tmp").c_str(), file.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", file), "cccc");
    EXPECT_EQ(ReadPrivateProfile(file).Get("s", "K"), "cccc");
}

TEST_F(PrivateProfileTest, WriteThroughOneSpellingIsSeenThroughAnother) {
    ASSERT_EQ(::mkdir(Path("sub").c_str(), 0700), 0);
    const std::string a = Path("sub/f.ini");
    const std::string b = Path("sub/../sub/./f.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "1", a));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", b), "1");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", b));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", a), "2");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "3", a));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", b), "3");
}

TEST_F(PrivateProfileTest, SnapshotIsUnaffectedByLaterWrites) {
    const std::string file = Path("snap.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "1", file));
    const IniDocument snapshot = ReadPrivateProfile(file);
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "2", file));
    EXPECT_EQ(snapshot.Get("S", "k"), "1");
    EXPECT_EQ(ReadPrivateProfile(file).Get("S", "k"), "2");
}

TEST_F(PrivateProfileTest, DeletedFileReadsEmptyAgain) {
    const std::string file = Path("gone.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "1", file));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "1");
    EXPECT_EQ(FindPrivateProfileString("s", "K", file), "1");
    ASSERT_EQ(::unlink(file.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "def");
    EXPECT_FALSE(FindPrivateProfileString("S", "k", file).has_value());
}

}  // namespace
}  // namespace zyfar
