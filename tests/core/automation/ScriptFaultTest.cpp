// Scripts against the scripted fault server: transfers cut short, a
// connection dropped in the middle of a run, hostile listings, and lines
// that must never reach the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

// Without MLST the client lists folders with LIST; the listing is the script's.
std::string FaultScript(const std::string& listing, const std::string& files, const std::string& transfer) {
    return R"({"feat": ["SIZE", "MDTM"], "listing": )" + listing + R"(, "files": )" + files +
           R"(, "transfer": )" + transfer + "}";
}

class FaultTest : public ScriptTest {
protected:
    std::string OpenFault(const FaultServer& server) const {
        return "open F 127.0.0.1 user pass " + std::to_string(server.port()) + "\n";
    }
    std::vector<std::string> Retrieved(const FaultServer& server) const {
        std::vector<std::string> out;
        for (const std::string& c : server.Commands()) {
            if (c.rfind("RETR ", 0) == 0) out.push_back(c);
        }
        return out;
    }
    std::vector<std::string> LocalNames() const { return test::ListFolder(local_); }
};

TEST_F(FaultTest, ATransferCutShortFailsLeavesNoFileAndTheRunGoesOn) {
    FaultServer server(FaultScript(R"("-rw-r--r-- 1 u g 1000 Jan 01  2024 f.txt\r\n")",
                                   R"({"f.txt": ")" + std::string(1000, 'x') + R"("})",
                                   R"({"RETR": {"send_bytes": 10, "outcome": "426"}})"));
    ASSERT_TRUE(server.started()) << server.error();
    const ScriptRunResult r = Run(OpenFault(server) + "get F f.txt\nmessage on\n");
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
    EXPECT_EQ(r.errorBlocks, 1);
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    EXPECT_TRUE(LocalNames().empty()) << "a partial or temporary file was left";
    const std::vector<std::string> body = Body();
    ASSERT_GE(body.size(), 5u);
    const std::string& message = body[body.size() - 3];
    EXPECT_EQ(message.rfind("F: ", 0), 0u);
    EXPECT_EQ(message.substr(message.size() - 6), " f.txt");
    const std::vector<int> codes = LogCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 32864), 1);
}

TEST_F(FaultTest, AConnectionDroppedDuringAGetEndsTheRunAndClosesTheSessions) {
    FaultServer server(FaultScript(R"("-rw-r--r-- 1 u g 9 Jan 01  2024 a.txt\r\n-rw-r--r-- 1 u g 9 Jan 01  2024 b.txt\r\n")",
                                   R"({"a.txt": "aaaaaaaaa", "b.txt": "bbbbbbbbb"})",
                                   R"({"RETR": {"send_bytes": 3, "outcome": "drop"}})"));
    ASSERT_TRUE(server.started()) << server.error();
    const ScriptRunResult r = Run(OpenFault(server) + "get F *.txt\nmessage not reached\n");
    EXPECT_EQ(r.end, ScriptEnd::ConnectionLost);
    EXPECT_TRUE(host_.messages().empty());
    EXPECT_EQ(Retrieved(server).size(), 1u) << "the second file must not be tried on a lost connection";
    EXPECT_TRUE(LocalNames().empty());
    const std::vector<int> codes = LogCodes();
    EXPECT_EQ(codes.back(), 32876);
}

TEST_F(FaultTest, HostileNamesInAListingAreNeverFetchedOrPrintedRaw) {
    const std::string listing =
        R"("-rw-r--r-- 1 u g 2 Jan 01  2024 ok.txt\r\n-rw-r--r-- 1 u g 2 Jan 01  2024 ../../evil.txt\r\n)"
        R"(-rw-r--r-- 1 u g 2 Jan 01  2024 ..\r\n-rw-r--r-- 1 u g 2 Jan 01  2024 sub/x.txt\r\n)"
        R"(-rw-r--r-- 1 u g 2 Jan 01  2024 esc\u001b[31m.txt\r\n")";
    FaultServer server(FaultScript(listing, R"({"ok.txt": "ok", "esc\u001b[31m.txt": "es"})", "{}"));
    ASSERT_TRUE(server.started()) << server.error();
    const ScriptRunResult r = Run(OpenFault(server) + "get F *\n");
    EXPECT_EQ(r.errorBlocks, 0);
    std::vector<std::string> fetched = Retrieved(server);
    std::sort(fetched.begin(), fetched.end());
    EXPECT_EQ(fetched, (std::vector<std::string>{"RETR esc\x1b[31m.txt", "RETR ok.txt"}));
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"esc\x1b[31m.txt", "ok.txt"}));
    EXPECT_TRUE(HasLine("F: FTP Transfer Complete esc?[31m.txt"));
    for (const std::string& line : Lines()) EXPECT_EQ(line.find('\x1b'), std::string::npos);
}

TEST_F(FaultTest, LinesWithNulBytesNeverReachTheServer) {
    FaultServer server(FaultScript(R"("")", "{}", "{}"));
    ASSERT_TRUE(server.started()) << server.error();
    const ScriptRunResult r = Run(OpenFault(server) + std::string("cd F a\0b\nmkdir F x\0y\n", 21) + "cd F /ok\n");
    EXPECT_EQ(r.errorBlocks, 2);
    for (const std::string& c : server.Commands()) {
        EXPECT_EQ(c.find('\0'), std::string::npos);
        EXPECT_NE(c.rfind("MKD", 0), 0u) << c;
    }
    EXPECT_EQ(server.Count("CWD /ok"), 1u);
    EXPECT_TRUE(HasLine("F: Change Directory OK /ok"));
}

TEST_F(FaultTest, ARefusedStoreIsAFailedTransferNotTheEndOfTheRun) {
    FaultServer server(FaultScript(R"("")", "{}", R"({"STOR": {"reply": "553 Not allowed."}})"));
    ASSERT_TRUE(server.started()) << server.error();
    WriteFile(LocalFile("up.txt"), "data");
    const ScriptRunResult r = Run(OpenFault(server) + "put F up.txt\nmessage on\n");
    EXPECT_TRUE(HasErrorBlock("F: 553 Not allowed. up.txt"));
    EXPECT_EQ(host_.messages(), std::vector<std::string>{"on"});
    EXPECT_EQ(r.end, ScriptEnd::EndOfFile);
}

}  // namespace
}  // namespace zyfar::autotest
