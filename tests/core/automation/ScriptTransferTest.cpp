// Transfer lines of scripts end to end: wildcards, age filters (server file
// times set through the server's root, "now" fixed), the overwrite rule, put
// from the LOCAL folder, send between two servers, downloads that stay inside
// the local folder, and the same lines against vsftpd (LIST listings only).
#include <sys/stat.h>

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

TEST_F(TransferTest, GetTakesEveryFileThatMatchesTheWildcardAndNothingElse) {
    const std::string big = PatternBytes(3 * 1024 * 1024 + 17, 3);  // several copy passes
    WriteFile(Root("a.txt"), "alpha");
    WriteFile(Root("b.txt"), big);
    WriteFile(Root("c.dat"), "gamma");
    MakeDir(Root("d.txt"));
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S *.txt\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(Names(local_), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ReadFile(LocalFile("a.txt")).value_or(""), "alpha");
    EXPECT_TRUE(ReadFile(LocalFile("b.txt")).value_or("") == big);
    EXPECT_TRUE(HasLine("S: FTP Transfer Complete a.txt"));
    EXPECT_TRUE(HasLine("S: FTP Transfer Complete b.txt"));
    const std::vector<LogEntry> entries = LogEntries();
    const std::string aPath = LocalFile("a.txt");
    const auto complete = std::find_if(entries.begin(), entries.end(),
                                       [&](const LogEntry& e) { return e.code == 32863 && e.file == aPath; });
    ASSERT_NE(complete, entries.end());
    EXPECT_EQ(complete->source, "127.0.0.1");
    EXPECT_EQ(complete->destination, "Local Machine");
    EXPECT_EQ(complete->detail, "-");
}

TEST_F(TransferTest, GetWithAFolderInTheSpecStoresUnderTheBareNameInTheLocalFolder) {
    MakeDir(Root("pub"));
    WriteFile(Root("pub/x.bin"), "xx");
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S /pub/x.bin\nget S pub/../pub/x.bin\n");
    EXPECT_EQ(Names(local_), std::vector<std::string>{"x.bin"});
    EXPECT_EQ(ReadFile(LocalFile("x.bin")).value_or(""), "xx");
    // The second get finds the file there already.
    EXPECT_TRUE(HasErrorBlock("S: Can't overwrite existing file! x.bin"));
    EXPECT_EQ(r.errorBlocks, 1);
}

TEST_F(TransferTest, AgeFilterOperatorsOnTheServerSide) {
    now_ = kNow;
    for (int days = 0; days <= 4; ++days) {
        const std::string name = "f" + std::to_string(days) + ".txt";
        WriteFile(Root(name), name);
        ASSERT_TRUE(SetFileTime(Root(name), kNow - days * kDay - 60));  // a minute past whole days
    }
    struct Row {
        const char* op;
        int days;
        std::vector<std::string> expected;
    };
    const std::vector<Row> rows{
        {"<", 2, {"f0.txt", "f1.txt"}},  // a file just over two days old is not younger than two days
        {">", 2, {"f2.txt", "f3.txt", "f4.txt"}},
        {">=", 3, {"f3.txt", "f4.txt"}},
        {"<=", 1, {"f0.txt"}},
        {"=", 3, {"f2.txt"}},
        {"=", 1, {"f0.txt"}},
        {"=>", 1, {}},
    };
    for (const Row& row : rows) {
        TempDir target("zyfar-age");
        WriteProfileString("CONFIG", "DataDir", target.path());
        const ScriptRunResult r =
            Run(OpenLine("S", server_) + "get S *.txt age " + row.op + " " + std::to_string(row.days) + "\n");
        EXPECT_EQ(r.errorBlocks, 0) << row.op;
        EXPECT_EQ(Names(target.path()), row.expected) << row.op << " " << row.days;
    }
}

TEST_F(TransferTest, PutTakesLocalFilesRelativeToTheLocalFolderWithAgeFilter) {
    now_ = kNow;
    MakeDir(local_ + "/out");
    WriteFile(local_ + "/out/r1.csv", "1");
    WriteFile(local_ + "/out/r2.csv", "2");
    const std::string big = PatternBytes(5 * 1024 * 1024 + 3, 9);  // several copy passes
    WriteFile(local_ + "/out/skip.txt", big);
    MakeDir(local_ + "/out/dir.csv");
    ASSERT_TRUE(SetFileTime(local_ + "/out/r1.csv", kNow - 10 * kDay));
    ASSERT_TRUE(SetFileTime(local_ + "/out/r2.csv", kNow - 60));
    const ScriptRunResult r = Run(OpenLine("S", server_) + "put S out/*.csv recent < 1\nlcd out\nput S skip.txt\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(Names(server_.root()), (std::vector<std::string>{"r2.csv", "skip.txt"}));
    EXPECT_EQ(ReadFile(Root("r2.csv")).value_or(""), "2");
    EXPECT_TRUE(SameBytes(ReadFile(Root("skip.txt")), big));
    EXPECT_TRUE(HasLine("S: FTP Transfer Complete r2.csv"));
    EXPECT_TRUE(HasLine("S: FTP Transfer Complete skip.txt"));
}

TEST_F(TransferTest, MissingSourcesAreErrorsAndTheRunGoesOn) {
    const ScriptRunResult r =
        Run(OpenLine("S", server_) + "get S *.none\nput S nothing.here\nput S nofolder/*.x\nmessage on\n");
    const std::vector<std::string> body = Body();
    EXPECT_EQ(std::vector<std::string>(body.begin(), body.begin() + std::min<std::ptrdiff_t>(12, std::ssize(body))),
              Expand({"S: Internet Connection OK", "S: FTP Connection OK", "!S: No such file! *.none",
                      "!S: No such file! nothing.here"}));
    EXPECT_EQ(r.errorBlocks, 3);  // the pattern in a missing folder too
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
}

TEST_F(TransferTest, OverwriteNoKeepsExistingTargetsAndLogsAFailure) {
    WriteFile(Root("same.txt"), "server");
    WriteFile(LocalFile("same.txt"), "local");
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S same.txt\nput S same.txt\n");
    EXPECT_EQ(ReadFile(LocalFile("same.txt")).value_or(""), "local");
    EXPECT_EQ(ReadFile(Root("same.txt")).value_or(""), "server");
    EXPECT_EQ(r.errorBlocks, 2);
    EXPECT_TRUE(HasErrorBlock("S: Can't overwrite existing file! same.txt"));
    const std::vector<LogEntry> entries = LogEntries();
    const auto failures = std::count_if(entries.begin(), entries.end(), [](const LogEntry& e) {
        return e.code == 32864 && e.detail == "Can't overwrite existing file!";
    });
    EXPECT_EQ(failures, 2);
    // No temporary file is left behind.
    EXPECT_EQ(Names(local_), std::vector<std::string>{"same.txt"});
}

TEST_F(TransferTest, OverwriteOtherThanNoReplacesTargets) {
    WriteProfileString("CONFIG", "Overwrite", "YES");
    WriteFile(Root("down.txt"), "new down");
    WriteFile(LocalFile("down.txt"), "old");
    WriteFile(Root("up.txt"), "old");
    WriteFile(LocalFile("up.txt"), "new up");
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S down.txt\nput S up.txt\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(ReadFile(LocalFile("down.txt")).value_or(""), "new down");
    EXPECT_EQ(ReadFile(Root("up.txt")).value_or(""), "new up");
}

TEST_F(TransferTest, ADownloadNeverWritesThroughALinkOutOfTheLocalFolder) {
    WriteProfileString("CONFIG", "Overwrite", "YES");
    TempDir outside("zyfar-outside");
    const std::string victim = outside / "victim.txt";
    WriteFile(victim, "precious");
    ASSERT_EQ(::symlink(victim.c_str(), LocalFile("evil.txt").c_str()), 0);
    WriteFile(Root("evil.txt"), "payload");
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S evil.txt\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(ReadFile(victim).value_or(""), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat(LocalFile("evil.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ReadFile(LocalFile("evil.txt")).value_or(""), "payload");
}

TEST_F(TransferTest, CopiesCountInTheTransferStatistics) {
    ResetStatisticsForTesting();
    WriteFile(Root("down.bin"), PatternBytes(100000, 2));
    WriteFile(LocalFile("up.bin"), PatternBytes(70000, 4));
    const ScriptRunResult r = Run(OpenLine("S", server_) + "get S down.bin\nput S up.bin\nget S none.bin\n");
    EXPECT_EQ(r.errorBlocks, 1);
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 100000);
    EXPECT_EQ(s.localBytesWritten, 100000);
    EXPECT_EQ(s.localBytesRead, 70000);
    EXPECT_EQ(s.bytesSent, 70000);
    EXPECT_EQ(s.filesTransferred, 2);
    ResetStatisticsForTesting();
}

class SendTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        ASSERT_TRUE(second_.started()) << second_.error();
    }
    PyFtpdServer second_;
};

TEST_F(SendTest, SendCopiesMatchingFilesServerToServer) {
    const std::string big = PatternBytes(2 * 1024 * 1024 + 5, 11);
    WriteFile(Root("s1.dat"), big);
    WriteFile(Root("s2.dat"), "two");
    WriteFile(Root("s3.txt"), "not sent");
    MakeDir(second_.root() + "/in");
    const ScriptRunResult r =
        Run(OpenLine("A", server_) + OpenLine("B", second_, "/in") + "send A B *.dat\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_TRUE(ReadFile(second_.root() + "/in/s1.dat").value_or("") == big);
    EXPECT_EQ(ReadFile(second_.root() + "/in/s2.dat").value_or(""), "two");
    EXPECT_FALSE(Exists(second_.root() + "/in/s3.txt"));
    EXPECT_TRUE(HasLine("A: FTP Transfer Complete s1.dat"));
    const std::vector<LogEntry> entries = LogEntries();
    const auto complete = std::find_if(entries.begin(), entries.end(),
                                       [](const LogEntry& e) { return e.code == 32863 && e.file == "/in/s1.dat"; });
    ASSERT_NE(complete, entries.end());
    EXPECT_EQ(complete->source, "127.0.0.1");
    EXPECT_EQ(complete->destination, "127.0.0.1");
}

TEST_F(SendTest, SendKeepsAnExistingTargetAndHonoursTheAgeFilter) {
    now_ = kNow;
    WriteFile(Root("keep.txt"), "from A");
    WriteFile(Root("old.txt"), "old");
    WriteFile(Root("fresh.txt"), "fresh");
    ASSERT_TRUE(SetFileTime(Root("keep.txt"), kNow - 60));
    ASSERT_TRUE(SetFileTime(Root("old.txt"), kNow - 30 * kDay));
    ASSERT_TRUE(SetFileTime(Root("fresh.txt"), kNow - 60));
    WriteFile(second_.root() + "/keep.txt", "on B");
    const ScriptRunResult r = Run(OpenLine("A", server_) + OpenLine("B", second_) + "send A B *.txt new < 7\n");
    EXPECT_EQ(ReadFile(second_.root() + "/keep.txt").value_or(""), "on B");
    EXPECT_EQ(ReadFile(second_.root() + "/fresh.txt").value_or(""), "fresh");
    EXPECT_FALSE(Exists(second_.root() + "/old.txt"));
    EXPECT_TRUE(HasErrorBlock("A: Can't overwrite existing file! keep.txt"));
    EXPECT_EQ(r.errorBlocks, 1);
}

TEST_F(SendTest, SendToTheSameSessionIsRefused) {
    WriteFile(Root("x.txt"), "x");
    const ScriptRunResult r = Run(OpenLine("A", server_) + "send A A x.txt\nmessage on\n");
    EXPECT_TRUE(HasErrorBlock("A: The source and the destination are the same session. x.txt"));
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
}

// ---- against vsftpd ----

class VsftpdScriptTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        if (vsftpd_.unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << vsftpd_.error();
        ASSERT_TRUE(vsftpd_.started()) << vsftpd_.error();
    }
    std::string OpenVsftpd(const std::string& directory = "") const {
        std::string line = "open V 127.0.0.1 anonymous guest " + std::to_string(vsftpd_.port());
        if (!directory.empty()) line += " " + directory;
        return line + "\n";
    }
    VsftpdServer vsftpd_;
};

TEST_F(VsftpdScriptTest, GetWithAnAgeFilterFromAListListing) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    WriteFile(vsftpd_.root() + "/young.log", "young");
    WriteFile(vsftpd_.root() + "/old.log", "old");
    ASSERT_TRUE(SetFileTime(vsftpd_.root() + "/young.log", now - 3600));
    ASSERT_TRUE(SetFileTime(vsftpd_.root() + "/old.log", now - 10 * kDay));
    const ScriptRunResult r = Run(OpenVsftpd() + "get V *.log fresh < 2\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(ReadFile(LocalFile("young.log")).value_or(""), "young");
    EXPECT_FALSE(ReadFile(LocalFile("old.log")));
    const ScriptRunResult r2 = Run(OpenVsftpd() + "get V *.log stale > 5\n");
    EXPECT_EQ(r2.errorBlocks, 0);
    EXPECT_EQ(ReadFile(LocalFile("old.log")).value_or(""), "old");
}

TEST_F(VsftpdScriptTest, PutAndSendFromPyftpdlibIntoTheUploadFolder) {
    PyFtpdServer source;
    ASSERT_TRUE(source.started()) << source.error();
    const std::string put = PatternBytes(300000, 5), sent = PatternBytes(700000, 13);
    WriteFile(LocalFile("up.bin"), put);
    WriteFile(source.root() + "/s.bin", sent);
    const ScriptRunResult r = Run(OpenLine("P", source) + OpenVsftpd(vsftpd_.uploadFolder()) +
                                  "put V up.bin\nput V up.bin\nbinary P\nsend P V s.bin\n");
    EXPECT_TRUE(SameBytes(ReadFile(vsftpd_.uploadPath() + "/up.bin"), put));
    EXPECT_TRUE(HasLine("V: FTP Transfer Complete up.bin"));
    EXPECT_TRUE(HasErrorBlock("V: Can't overwrite existing file! up.bin"));
    EXPECT_TRUE(SameBytes(ReadFile(vsftpd_.uploadPath() + "/s.bin"), sent));
    EXPECT_TRUE(HasLine("P: FTP Transfer Complete s.bin"));
    EXPECT_EQ(r.errorBlocks, 1);
}

}  // namespace
}  // namespace zyfar::autotest
