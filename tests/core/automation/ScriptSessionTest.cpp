// Script sessions and remote folder and file operations against pyftpdlib.
#include "../ftp/FtpTestHelpers.h"
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
    std::string Output() const {
        std::string all;
        for (const std::string& line : Lines()) all += line + "\n";
        return all;
    }

    PyFtpdServer server_;
};

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

TEST_F(SessionTest, AFailedLoginEndsTheRunWithoutShowingThePassword) {
    const ScriptRunResult r =
        Run("open A 127.0.0.1 user Wr0ngSecret " + std::to_string(server_.port()) + "\nmessage not reached\n");
    EXPECT_EQ(r.end, ScriptEnd::ConnectionLost);
    EXPECT_EQ(r.errorBlocks, 1);
    EXPECT_TRUE(host_.messages().empty());
    ASSERT_EQ(Body().size(), 6u);
    EXPECT_EQ(Body()[0], "A: Internet Connection OK");
    EXPECT_EQ(Body()[3].rfind("A: ", 0), 0u);
    EXPECT_EQ(Output().find("Wr0ngSecret"), std::string::npos);
    for (const LogEntry& e : LogEntries()) {
        EXPECT_EQ((e.source + e.destination + e.file + e.detail).find("Wr0ngSecret"), std::string::npos);
    }
    EXPECT_EQ(LogCodes(), (std::vector<int>{32865, 32862, 32876}));
}

TEST_F(SessionTest, ANonListeningServerEndsTheRun) {
    const Socket closed = RefusingSocket();  // bound, not listening
    const std::uint16_t port = closed.LocalAddress().port();
    const ScriptRunResult r = Run(OpenLine("A", server_) + "open B 127.0.0.1 user pass " + std::to_string(port) +
                                  "\nmessage not reached\n");
    EXPECT_EQ(r.end, ScriptEnd::ConnectionLost);
    const std::vector<std::string> body = Body();
    ASSERT_EQ(body.size(), 8u) << Output();
    EXPECT_EQ(body[2], "B: Internet Connection OK");
    EXPECT_EQ(std::vector<std::string>(body.begin() + 3, body.end()), ErrorBlock(body[5]));
    EXPECT_EQ(body[5].rfind("B: ", 0), 0u);
    EXPECT_NE(body[5].find("refused"), std::string::npos) << body[5];
    EXPECT_TRUE(host_.messages().empty());
    // A, which was open, is still closed and logged at the end.
    EXPECT_EQ(CountCode(32875), 1);
    EXPECT_EQ(CountCode(32876), 2);
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

}  // namespace
}  // namespace zyfar::autotest
