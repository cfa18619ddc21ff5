// The private-profile file functions on real files: semantics, unusable and
// hostile files, atomic writes, locking across threads and processes, and
// the read cache.
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "support/TestEnv.h"

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace zyfar {
namespace {

using namespace std::string_literals;
using test::Cat;
using test::ModeOf;
using test::ReadText;
using test::WriteText;

class PrivateProfileTest : public test::IsolatedHomeTest {};

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(PrivateProfileTest, ReadsWritesAndRemovals) {
    const std::string missing = Path("none.ini");
    EXPECT_EQ(GetPrivateProfileString("S", "k", "def", missing) + Cat("", GetPrivateProfileInt("S", "k", 7, missing)), "def7");
    EXPECT_TRUE(GetPrivateProfileSection("S", missing).empty() && !test::Exists(missing));  // reading creates nothing

    const std::string file = Path("a.ini");
    ASSERT_TRUE(WritePrivateProfileString("Settings", "Host", "ftp.local", file));
    ASSERT_TRUE(WritePrivateProfileString("SETTINGS", "port", "2121", file));
    EXPECT_EQ(GetPrivateProfileString("settings", "HOST", "", file), "ftp.local");
    EXPECT_EQ(ReadText(file), "[Settings]\nHost=ftp.local\nport=2121\n");
    WriteText(file, "[S]\na= 12 minutes\nb=abc\nd=\n");
    for (const auto& [key, want] : {std::pair{"a", 12}, {"b", 0}, {"d", 0}, {"absent", 5}})  // present: no default
        EXPECT_EQ(GetPrivateProfileInt("S", key, 5, file), want) << key;

    ASSERT_TRUE(WritePrivateProfileSection("FILE1", {{"LocalName", "a.txt"}, {"Size", "10"}}, file) &&
                WritePrivateProfileSection("FILE2", {{"LocalName", "b.txt"}}, file));
    EXPECT_EQ(GetPrivateProfileSection("file1", file), (IniDocument::Entries{{"LocalName", "a.txt"}, {"Size", "10"}}));
    ASSERT_TRUE(WritePrivateProfileSection("FILE1", {{"LocalName", "c.txt"}}, file));
    EXPECT_TRUE(RemovePrivateProfileKey("FILE2", "localname", file) && RemovePrivateProfileSection("S", file));
    EXPECT_FALSE(RemovePrivateProfileKey("FILE2", "localname", file) || RemovePrivateProfileSection("s", file));
    EXPECT_EQ(ReadText(file), "[FILE1]\nLocalName=c.txt\n[FILE2]\n");
    // A bare name lies in the settings folder.
    ASSERT_TRUE(WritePrivateProfileString("QUEUE", "Count", "1", "zyfarQue.ini"));
    EXPECT_EQ(ReadText(Path("config/Quorvane/zyfarQue.ini")), "[QUEUE]\nCount=1\n");
}

TEST_F(PrivateProfileTest, FileModesLinksAndUnchangedValues) {
    const std::string file = Path("deep/er/x.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "Password", "secret", file));
    EXPECT_EQ(ModeOf(file), 0600);
    const ino_t before = InodeOf(file);
    ASSERT_TRUE(WritePrivateProfileString("S", "password", "secret", file));
    EXPECT_EQ(InodeOf(file), before);  // same value: no rewrite (a rewrite renames a new inode in)
    ASSERT_TRUE(WritePrivateProfileString("S", "Password", "other", file));
    EXPECT_NE(InodeOf(file), before);

    // A wider mode chosen by the user and a hand-written layout survive.
    const std::string kept = Path("keep.ini");
    WriteText(kept, "; hand written\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    ASSERT_TRUE(WritePrivateProfileString("B", "y", "3", kept));
    EXPECT_EQ(ReadText(kept), "; hand written\n[A]\nx=1\n\n[B]\ny=3\n");
    EXPECT_EQ(ModeOf(kept), 0640);

    // A link is written through, not replaced.
    ASSERT_EQ(::symlink(kept.c_str(), Path("link.ini").c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("B", "y", "4", Path("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.ini")));
    EXPECT_EQ(GetPrivateProfileString("B", "y", "", kept), "4");
}

TEST_F(PrivateProfileTest, LineBreaksAndNulAreRefusedAndNothingIsWritten) {
    const std::string file = Path("inj.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", file));
    for (const auto& [section, key, value] : {std::tuple{"S"s, "k"s, "v\n[Evil]\nk=1"s}, {"S"s, "k"s, "v\r"s},
                                              {"S"s, "k\n"s, "v"s}, {"S\nT"s, "k"s, "v"s}, {"S"s, "k"s, "a\0b"s}})
        EXPECT_FALSE(WritePrivateProfileString(section, key, value, file)) << section << "/" << key << "=" << value;
    EXPECT_FALSE(WritePrivateProfileSection("S", {{"ok", "1"}, {"bad", "x\ny"}}, file));
    EXPECT_EQ(ReadText(file), "[S]\nk=v\n");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "a\nb", Path("new/never.ini")));
    EXPECT_FALSE(test::Exists(Path("new")));
}

TEST_F(PrivateProfileTest, UnusableFilesReadEmptyRefuseWritesAndNeverBlock) {
    ASSERT_EQ(::mkdir(Path("dir.ini").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0600), 0);
    WriteText(Path("plain"), "x");
    for (const char* name : {"dir.ini", "fifo.ini", "plain/sub.ini"}) {
        SCOPED_TRACE(name);
        const std::string file = Path(name);
        EXPECT_EQ(GetPrivateProfileString("S", "k", "def", file), "def");
        EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", file));
        EXPECT_FALSE(UpdatePrivateProfile(file, [](IniDocument& d) { d.Set("S", "k", "v"); }));
    }
    EXPECT_EQ(ReadText(Path("plain")), "x");
    if (::geteuid() != 0) {  // permissions do not apply to root
        WriteText(Path("locked.ini"), "[S]\nk=precious\n");
        ASSERT_EQ(::chmod(Path("locked.ini").c_str(), 0200), 0);
        EXPECT_EQ(GetPrivateProfileString("S", "k", "def", Path("locked.ini")), "def");
        EXPECT_FALSE(WritePrivateProfileString("S", "other", "v", Path("locked.ini")));
        ASSERT_EQ(::chmod(Path("locked.ini").c_str(), 0600), 0);
        EXPECT_EQ(ReadText(Path("locked.ini")), "[S]\nk=precious\n");
    }
}

TEST_F(PrivateProfileTest, BadContentIsPreservedThroughWrites) {
    const std::string file = Path("bad.ini");
    const std::string big(1 << 20, 'q');
    WriteText(file, "\xEF\xBB\xBFno equals here\n[A]\nnul=a\0b\n"s + "long=" + big + "\n[A]\nk=second\n");
    EXPECT_TRUE(GetPrivateProfileString("A", "long", "", file) == big);
    EXPECT_EQ(GetPrivateProfileString("A", "k", "def", file), "def");  // only in the repeated section
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "first", file));
    EXPECT_TRUE(ReadText(file) == "no equals here\n[A]\nnul=a\0b\n"s + "long=" + big + "\nk=first\n[A]\nk=second\n");
}

TEST_F(PrivateProfileTest, ReadersNeverSeeAPartialFileAndNoTemporaryFileStays) {
    // Every read during 30 rewrites sees one complete version (all sections of one round).
    const std::string file = Path("atomic/big.ini");
    constexpr int kSections = 300;
    auto fill = [&](int round) {
        return UpdatePrivateProfile(file, [&](IniDocument& doc) {
            for (int s = 0; s < kSections; ++s) doc.Set(Cat("S", s), "Round", std::to_string(round));
        });
    };
    ASSERT_TRUE(fill(0));
    std::atomic<bool> done{false};
    std::atomic<int> badReads{0};
    std::thread reader([&] {
        while (!done.load()) {
            const auto doc = IniDocument::Parse(ReadText(file));
            const auto first = doc.Get("S0", "Round");
            const auto last = doc.Get(Cat("S", kSections - 1), "Round");
            if (!first || !last || *first != *last) ++badReads;
        }
    });
    for (int round = 1; round <= 30; ++round) ASSERT_TRUE(fill(round));
    done = true;
    reader.join();
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_EQ(test::ListFolder(Path("atomic")), (std::vector<std::string>{"big.ini", "big.ini.lock"}));
    EXPECT_EQ(GetPrivateProfileString(Cat("S", kSections - 1), "Round", "", file), "30");
}

TEST_F(PrivateProfileTest, ThreadsAndProcessesLoseNoUpdate) {
    // A child process and eight threads of this one each write their own
    // keys and bump one shared counter under the locks.
    const std::string file = Path("shared.ini");
    constexpr int kThreads = 8;
    constexpr int kWrites = 15;
    auto work = [&](const std::string& section) {
        bool ok = true;
        for (int i = 0; i < kWrites; ++i) {
            ok = WritePrivateProfileString(section, Cat("K", i), std::to_string(i), file) && ok;
            ok = UpdatePrivateProfile(file, [](IniDocument& doc) {
                doc.Set("C", "n", std::to_string(ParseLeadingInt(doc.Get("C", "n").value_or("0")) + 1));
            }) && ok;
        }
        return ok;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(work("Child") ? 0 : 1);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back([&, t] { failures += work(Cat("T", t)) ? 0 : 1; });
    for (auto& th : threads) th.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && failures.load() == 0);
    const auto doc = IniDocument::Parse(ReadText(file));
    for (int t = -1; t < kThreads; ++t) {
        const std::string section = t < 0 ? "Child" : Cat("T", t);
        for (int i = 0; i < kWrites; ++i) EXPECT_EQ(doc.Get(section, Cat("K", i)), std::to_string(i)) << section;
    }
    EXPECT_EQ(doc.Get("C", "n"), std::to_string((kThreads + 1) * kWrites));
}

TEST_F(PrivateProfileTest, BatchFormWritesOnceAndOnlyWhenChanged) {
    const std::string file = Path("batch.ini");
    EXPECT_TRUE(UpdatePrivateProfile(file, [](IniDocument&) {}));
    EXPECT_FALSE(test::Exists(file));  // nothing changed, nothing written
    ASSERT_TRUE(UpdatePrivateProfile(file, [](IniDocument& doc) {
        doc.Set("QUEUE", "Count", "2");
        doc.ReplaceSection("QUEUE1", {{"Type", "0"}});
        doc.ReplaceSection("QUEUE2", {{"Type", "1"}});
    }));
    EXPECT_EQ(ReadText(file), "[QUEUE]\nCount=2\n[QUEUE1]\nType=0\n[QUEUE2]\nType=1\n");
    // The callback sees the file as it is on disk, not a stale cache.
    WriteText(file, "[QUEUE]\nCount=5\n");
    std::string seen;
    ASSERT_TRUE(UpdatePrivateProfile(file, [&](IniDocument& doc) { seen = doc.Get("QUEUE", "Count").value_or(""); }));
    EXPECT_EQ(seen, "5");
}

TEST_F(PrivateProfileTest, CacheFollowsEveryChangeOfTheFile) {
    const std::string file = Path("ext.ini");
    WriteText(file, "[S]\nk=aaaa\n");
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", file), "aaaa");
    const IniDocument snapshot = ReadPrivateProfile(file);
    // Rewrite in place (same inode, same size) and put the old mtime back:
    // the change time still tells the cache that the file changed.
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    const int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "bbbb", 4, 6), 4);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", file), "bbbb");
    EXPECT_EQ(snapshot.Get("S", "k"), "aaaa");  // a snapshot keeps its version
    // Replaced by another program through rename, same size.
    WriteText(Path("other.tmp"), "[S]\nk=cccc\n");
    ASSERT_EQ(::rename(Path("other.tmp").c_str(), file.c_str()), 0);
    EXPECT_EQ(ReadPrivateProfile(file).Get("s", "K"), "cccc");
    // Written through one spelling of the path, read through another.
    const std::string other = Path("sub/.././ext.ini");
    ASSERT_TRUE(test::MakeDir(Path("sub")));
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "dddd", other));
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", file), "dddd");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "eeee", file));
    EXPECT_EQ(FindPrivateProfileString("s", "K", other), "eeee");
    ASSERT_EQ(::unlink(file.c_str()), 0);
    EXPECT_FALSE(FindPrivateProfileString("S", "k", file).has_value());
}

}  // namespace
}  // namespace zyfar
