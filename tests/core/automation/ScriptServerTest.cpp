// Script lines against pyftpdlib: sessions, folder and file operations, transfers with wildcards, age filters,
// the overwrite rule, put and send.
#include "support/FtpClientHelpers.h"
#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

class SessionTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        ASSERT_TRUE(server_.started()) << server_.error();
    }
    std::string Root(const std::string& name = "") const { return name.empty() ? server_.root() : server_.root() + "/" + name; }
    static std::vector<std::string> Names(const std::string& folder) { return test::ListFolder(folder); }

    PyFtpdServer server_;
};
using TransferTest = SessionTest;

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kNow = 1760000000;  // a fixed "now" for the age filters

// Open variants (port 0 or a word: the configured port; a repeated name: ignored); the end closes all.
TEST_F(SessionTest, OpenVariantsAndTheEndClosesAndLogsEverySession) {
    MakeDir(Root("sub"));
    WriteProfileString("FTP", "Port", std::to_string(server_.port()));
    const ScriptRunResult r = Run("OPENSESAME A 127.0.0.1 user pass 0 /sub\nopen A 127.0.0.1 other secret 1\n"
                                  "open B 127.0.0.1 user pass none\n");
    EXPECT_EQ(Body(), (std::vector<std::string>{"A: Internet Connection OK", "A: FTP Connection OK",
                                                "A: Change Directory OK /sub", "B: Internet Connection OK",
                                                "B: FTP Connection OK"}));
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(LogCodes(), (std::vector<int>{32865, 32861, 32867, 32865, 32861, 32875, 32876, 32875, 32876}));
    const std::vector<LogEntry> entries = LogEntries();
    EXPECT_EQ(entries[0].source, "Local Machine");
    EXPECT_EQ(entries[0].destination, "127.0.0.1");
}

// A refused login, or a port nobody listens on, ends the run without showing the password; a session opened
// before is still closed and logged at the end.
TEST_F(SessionTest, AFailedOpenEndsTheRunWithoutShowingThePassword) {
    const Socket closed = RefusingSocket();  // bound, not listening
    const std::string open = "open A 127.0.0.1 user Wr0ngSecret ";
    const struct {
        std::string script;
        const char* why;  // in the error line
        int opened;       // sessions open before
    } cases[] = {{open + std::to_string(server_.port()), "530", 0},
                 {OpenLine("S", server_) + open + std::to_string(closed.LocalAddress().port()), "refused", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        log_.Clear();
        const std::size_t before = Lines().size() + 1;  // and the script path
        const ScriptRunResult r = Run(c.script + "\nmessage not reached\n");
        const std::vector<std::string> lines = Lines();
        const std::vector<std::string> body(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end());
        ASSERT_EQ(body.size(), 6u + 2 * c.opened) << Output();
        EXPECT_EQ(body[body.size() - 6], "A: Internet Connection OK");
        const std::string& why = body[body.size() - 3];
        EXPECT_EQ(std::vector(body.end() - 5, body.end()), ErrorBlock(why));
        EXPECT_TRUE(why.rfind("A: ", 0) == 0 && why.find(c.why) != std::string::npos) << why;
        EXPECT_TRUE(r.end == ScriptEnd::ConnectionLost && r.errorBlocks == 1 && host_.messages().empty());
        EXPECT_EQ(Output().find("Wr0ngSecret"), std::string::npos);
        for (const LogEntry& e : LogEntries())
            EXPECT_EQ((e.source + e.destination + e.file + e.detail).find("Wr0ngSecret"), std::string::npos);
        EXPECT_EQ(LogCodes().at(2 * c.opened + 1), 32862);  // FTP Connection Failed
        EXPECT_EQ(CountCode(32875), c.opened);
        EXPECT_EQ(CountCode(32876), 1 + c.opened);
    }
}

TEST_F(SessionTest, FolderAndFileOperationsReportEveryOutcome) {
    for (const char* folder : {"there", "empty", "full", "dir.log"}) MakeDir(Root(folder));
    for (const char* file : {"full/f", "a.log", "keep.txt", "old.txt", "taken.txt"}) WriteFile(Root(file), file);
    const ScriptRunResult r =
        Run(OpenLine("S", server_) + "mkdir S /new\nmkdir S there\nmkdir S /no/such/x\n"
                                     "rmdir S empty\nrmdir S nothing\nrmdir S full\n"
                                     "remove S *.log\nremove S *.zzz\nremove S keep.txt\n"
                                     "rename S old.txt new.txt\nrename S gone.txt x.txt\nrename S new.txt taken.txt\n"
                                     "rename S *.txt all.txt\n");
    EXPECT_EQ(Body(), Expand({"S: Internet Connection OK", "S: FTP Connection OK", "S: Make Directory OK",
                              "!S: Directory was not created, it already exists!",
                              "!S: No such path to create directory", "S: Directory/File Deletion OK",
                              "!S: No such path to remove directory", "!S: Directory/File Deletion Failed",
                              "S: Directory/File Deletion OK a.log",
                              "!S: No such file! *.zzz", "S: Directory/File Deletion OK keep.txt",
                              "S: Directory/File Renaming OK old.txt ===> new.txt",
                              "!S: File does not exist! Could not be renamed! gone.txt ===> x.txt",
                              "!S: File was not renamed. A file by that name already exists! new.txt ===> taken.txt",
                              "!S: Only one file can be selected at a time for this operation *.txt ===> all.txt"}));
    EXPECT_EQ(r.errorBlocks, 8);
    EXPECT_TRUE(Exists(Root("new")));
    EXPECT_FALSE(Exists(Root("empty")));
    EXPECT_TRUE(Exists(Root("full/f")));  // a folder that is not empty stays
    EXPECT_TRUE(Exists(Root("dir.log")));  // remove skips folders
    for (const char* gone : {"a.log", "keep.txt", "old.txt"}) EXPECT_FALSE(Exists(Root(gone))) << gone;
    EXPECT_EQ(ReadFile(Root("new.txt")), "old.txt");
    EXPECT_EQ(ReadFile(Root("taken.txt")), "taken.txt");
    // Make directory OK/failed, deletion OK, renaming OK/failed.
    for (const auto& [code, count] : {std::pair{32873, 1}, {32874, 2}, {32871, 1}, {32872, 3}})
        EXPECT_EQ(CountCode(code), count) << code;
    EXPECT_EQ(CountCode(32869), 3);  // the folder and the two files deleted
}

// cd moves and stays on failure; ascii converts line ends, binary keeps bytes; LOCAL lines fail; lines after close fail.
TEST_F(SessionTest, CdTransferTypesTheLocalSessionAndClose) {
    MakeDir(Root("a"));
    MakeDir(Root("a/b"));
    WriteFile(Root("a/in-a.txt"), "A");
    WriteFile(Root("a/b/in-b.txt"), "B");
    for (const char* name : {"t1.txt", "t2.txt"}) WriteFile(Root(name), "one\r\ntwo\r\n");
    const ScriptRunResult r = Run(OpenLine("S", server_) +
                                  "cd S /a\ncd S b\nget S in-b.txt\ncd S ..\ncd S .\nget S in-a.txt\ncd S ..\n"
                                  "cd S ..\ncd S /missing\nget S in-a.txt\nascii S\nget S t1.txt\nbinary S\n"
                                  "get S t2.txt\ncd LOCAL /\nget LOCAL *\nclose S\ncd S /\nmessage on\n");
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_TRUE(HasLines({"S: Change Directory OK /a", "S: Change Directory OK b", "S: FTP Transfer Complete in-b.txt",
                          "S: Change Directory OK ..", "S: Change Directory OK ."}));
    EXPECT_EQ(ReadFile(LocalFile("in-b.txt")).value_or("") + ReadFile(LocalFile("in-a.txt")).value_or(""), "BA");
    // ".." at the root stays at the root; the failed cd leaves the folder as it was.
    EXPECT_TRUE(HasErrorBlock("S: Change Directory Failed /missing"));
    EXPECT_TRUE(HasErrorBlock("S: No such file! in-a.txt"));
    EXPECT_TRUE(HasLine("S: Ascii/Text mode") && HasLine("S: Binary mode"));
    EXPECT_EQ(ReadFile(LocalFile("t1.txt")).value_or(""), "one\ntwo\n");
    EXPECT_EQ(ReadFile(LocalFile("t2.txt")).value_or(""), "one\r\ntwo\r\n");
    EXPECT_TRUE(HasErrorBlock("LOCAL: Change Directory Failed /"));
    EXPECT_TRUE(HasLines({"S: FTP Connection Closed", "========", "ERROR!", "S: Change Directory Failed /"}));
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    // Closed once by the line; the end of the run adds only the session's close.
    EXPECT_EQ(CountCode(32875), 1);
    EXPECT_EQ(LogCodes().back(), 32876);
}

// ---- transfers ----

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
    EXPECT_EQ(CountCode(32864), 2);

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

}  // namespace
}  // namespace zyfar::autotest
