// Script transfer lines end to end: wildcards, age filters, overwrite rule, put, send, vsftpd.
#include <ctime>

#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kNow = 1760000000;  // a fixed "now" for the age filters

class TransferTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        ASSERT_TRUE(server_.started()) << server_.error();
    }
    std::string Root(const std::string& name) const { return server_.root() + "/" + name; }
    static std::vector<std::string> Names(const std::string& folder) { return test::ListFolder(folder); }

    PyFtpdServer server_;
};

TEST_F(TransferTest, GetTakesEveryFileThatMatchesAndStoresItUnderItsBareName) {
    WriteFile(Root("a.txt"), "alpha");
    WriteFile(Root("c.dat"), "gamma");
    MakeDir(Root("d.txt"));
    MakeDir(Root("pub"));
    WriteFile(Root("pub/x.txt"), "xx");
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S *.txt\nget S /pub/x.txt\nget S pub/../pub/x.txt\n");
    EXPECT_EQ(Names(local_), (std::vector<std::string>{"a.txt", "x.txt"}));
    EXPECT_EQ(ReadFile(LocalFile("a.txt")).value_or(""), "alpha");
    EXPECT_EQ(ReadFile(LocalFile("x.txt")).value_or(""), "xx");
    EXPECT_TRUE(HasLine("S: FTP Transfer Complete a.txt"));
    EXPECT_TRUE(HasErrorBlock("S: Can't overwrite existing file! x.txt"));  // the second get finds it there
    EXPECT_EQ(r.errorBlocks, 1);
    const std::vector<LogEntry> entries = LogEntries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const LogEntry& e) {
        return e.code == 32863 && e.file + e.source + e.destination + e.detail == LocalFile("a.txt") + "127.0.0.1Local Machine-";
    }));
}

TEST_F(TransferTest, AgeFilterOperatorsOnTheServerSide) {
    now_ = kNow;
    for (int days = 0; days <= 4; ++days) {
        const std::string name = "f" + std::to_string(days) + ".txt";
        WriteFile(Root(name), name);
        ASSERT_TRUE(SetFileTime(Root(name), kNow - days * kDay - 60));  // a minute past whole days
    }
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"< 2", {"f0.txt", "f1.txt"}},  // a file just over two days old is not younger than two days
        {"> 2", {"f2.txt", "f3.txt", "f4.txt"}}, {"= 3", {"f2.txt"}}, {"=> 1", {}}};
    for (const auto& [filter, expected] : rows) {
        TempDir target("zyfar-age");
        WriteProfileString("CONFIG", "DataDir", target.path());
        const ScriptRunResult r = Run(OpenLine("S", server_) + "get S *.txt age " + filter + "\n");
        EXPECT_EQ(r.errorBlocks, 0) << filter;
        EXPECT_EQ(Names(target.path()), expected) << filter;
    }
}

TEST_F(TransferTest, PutTakesLocalFilesRelativeToTheLocalFolderWithAgeFilterAndMissingOnesAreErrors) {
    now_ = kNow;
    MakeDir(local_ + "/out");
    WriteFile(local_ + "/out/r1.csv", "1");
    WriteFile(local_ + "/out/r2.csv", "2");
    WriteFile(local_ + "/out/skip.txt", "s");
    MakeDir(local_ + "/out/dir.csv");
    ASSERT_TRUE(SetFileTime(local_ + "/out/r1.csv", kNow - 10 * kDay));
    ASSERT_TRUE(SetFileTime(local_ + "/out/r2.csv", kNow - 60));
    // Missing sources are errors and the run goes on (a pattern in a missing folder too).
    const ScriptRunResult r = Run(OpenLine("S", server_) + "put S out/*.csv recent < 1\nlcd out\nput S skip.txt\n" +
                                  "get S *.none\nput S nothing.here\nput S nofolder/*.x\nmessage on\n");
    EXPECT_EQ(r.errorBlocks, 3);
    EXPECT_TRUE(HasErrorBlock("S: No such file! *.none"));
    EXPECT_TRUE(HasErrorBlock("S: No such file! nothing.here"));
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    EXPECT_EQ(Names(server_.root()), (std::vector<std::string>{"r2.csv", "skip.txt"}));
    EXPECT_EQ(ReadFile(Root("r2.csv")).value_or(""), "2");
    EXPECT_TRUE(HasLine("S: FTP Transfer Complete skip.txt"));
    EXPECT_TRUE(Exists(local_ + "/out/skip.txt"));  // a script never deletes what it sent
}

TEST_F(TransferTest, OverwriteNoKeepsExistingTargetsAndOtherValuesReplaceThem) {
    WriteFile(Root("same.txt"), "server");
    WriteFile(LocalFile("same.txt"), "local");
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S same.txt\nput S same.txt\n");
    EXPECT_EQ(ReadFile(LocalFile("same.txt")).value_or(""), "local");
    EXPECT_EQ(ReadFile(Root("same.txt")).value_or(""), "server");
    EXPECT_EQ(r.errorBlocks, 2);
    EXPECT_TRUE(HasErrorBlock("S: Can't overwrite existing file! same.txt"));
    const std::vector<LogEntry> entries = LogEntries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const LogEntry& e) { return e.code == 32864 && e.detail == "Can't overwrite existing file!"; }),
              2);

    WriteProfileString("CONFIG", "Overwrite", "YES");
    WriteFile(Root("down.txt"), "new down");
    WriteFile(LocalFile("down.txt"), "old");
    WriteFile(LocalFile("same.txt"), "new up");
    EXPECT_EQ(Run(OpenLine("S", server_) + "get S down.txt\nput S same.txt\n").errorBlocks, 0);
    EXPECT_EQ(ReadFile(LocalFile("down.txt")).value_or(""), "new down");
    EXPECT_EQ(ReadFile(Root("same.txt")).value_or(""), "new up");
    EXPECT_EQ(Names(local_), (std::vector<std::string>{"down.txt", "same.txt"}));  // no temporary file
}

class SendTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        ASSERT_TRUE(second_.started()) << second_.error();
    }
    PyFtpdServer second_;
};

TEST_F(SendTest, SendCopiesMatchingFilesKeepsExistingTargetsAndHonoursTheAgeFilter) {
    now_ = kNow;
    const std::string big = PatternBytes(2 * 1024 * 1024 + 5, 11);
    WriteFile(Root("s1.dat"), big);
    WriteFile(Root("keep.dat"), "from A");
    WriteFile(Root("old.dat"), "old");
    WriteFile(Root("s3.txt"), "not sent");
    for (const char* name : {"s1.dat", "keep.dat", "s3.txt"}) ASSERT_TRUE(SetFileTime(Root(name), kNow - 60));
    ASSERT_TRUE(SetFileTime(Root("old.dat"), kNow - 30 * kDay));
    MakeDir(second_.root() + "/in");
    WriteFile(second_.root() + "/in/keep.dat", "on B");
    const ScriptRunResult r =
        Run(OpenLine("A", server_) + OpenLine("B", second_, "/in") + "send A B *.dat new < 7\nsend A A s3.txt\n");
    EXPECT_TRUE(ReadFile(second_.root() + "/in/s1.dat").value_or("") == big);
    EXPECT_EQ(ReadFile(second_.root() + "/in/keep.dat").value_or(""), "on B");
    EXPECT_EQ(Names(second_.root() + "/in"), (std::vector<std::string>{"keep.dat", "s1.dat"}));
    EXPECT_TRUE(HasErrorBlock("A: Can't overwrite existing file! keep.dat"));
    EXPECT_TRUE(HasErrorBlock("A: The source and the destination are the same session. s3.txt"));
    EXPECT_EQ(r.errorBlocks, 2);
    const std::vector<LogEntry> entries = LogEntries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const LogEntry& e) {
        return e.code == 32863 && e.file == "/in/s1.dat" && e.destination == "127.0.0.1";
    }));
}

// ---- against vsftpd ----

TEST_F(ScriptTest, VsftpdGetWithAnAgeFilterPutAndSendIntoTheUploadFolder) {
    VsftpdServer vsftpd;
    if (vsftpd.unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << vsftpd.error();
    ASSERT_TRUE(vsftpd.started()) << vsftpd.error();
    PyFtpdServer source;
    ASSERT_TRUE(source.started()) << source.error();
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    WriteFile(vsftpd.root() + "/young.log", "young");
    WriteFile(vsftpd.root() + "/old.log", "old");
    ASSERT_TRUE(SetFileTime(vsftpd.root() + "/young.log", now - 3600));
    ASSERT_TRUE(SetFileTime(vsftpd.root() + "/old.log", now - 10 * kDay));
    const std::string put = PatternBytes(300000, 5), sent = PatternBytes(700000, 13);
    WriteFile(LocalFile("up.bin"), put);
    WriteFile(source.root() + "/s.bin", sent);
    const std::string open = "open V 127.0.0.1 anonymous guest " + std::to_string(vsftpd.port()) + "\n";
    const ScriptRunResult r = Run(OpenLine("P", source) + open + "get V *.log fresh < 2\ncd V " +
                                  vsftpd.uploadFolder() + "\nput V up.bin\nput V up.bin\nbinary P\nsend P V s.bin\n");
    EXPECT_EQ(ReadFile(LocalFile("young.log")).value_or(""), "young");
    EXPECT_FALSE(ReadFile(LocalFile("old.log")));
    EXPECT_TRUE(SameBytes(ReadFile(vsftpd.uploadPath() + "/up.bin"), put));
    EXPECT_TRUE(HasErrorBlock("V: Can't overwrite existing file! up.bin"));
    EXPECT_TRUE(SameBytes(ReadFile(vsftpd.uploadPath() + "/s.bin"), sent));
    EXPECT_EQ(r.errorBlocks, 1);
}

}  // namespace
}  // namespace zyfar::autotest
