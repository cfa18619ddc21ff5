// Verified content: the hash computed while copying (known vectors, any chunking), and gets and puts against the
// fault server, which hashes the real bytes it serves or stored: a match names the hash in the log, a wrong hash
// fails the job and never places the file, "REQUIRE" fails what cannot be verified, "NO" asks nothing.
#include <string>
#include <vector>

#include "engine/ContentHash.h"
#include "platform/MessageTable.h"
#include "support/EngineFixture.h"

namespace zyfar::enginetest {
namespace {

TEST(ContentHasher, KnownVectorsAndAnyChunking) {
    struct Case {
        HashAlgorithm algorithm;
        std::string bytes;
        std::string hex;
    };
    const Case cases[] = {
        {HashAlgorithm::kSha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {HashAlgorithm::kSha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {HashAlgorithm::kSha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {HashAlgorithm::kSha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {HashAlgorithm::kMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {HashAlgorithm::kMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HashHex(c.algorithm, c.bytes), c.hex) << HashAlgorithmName(c.algorithm) << " of " << c.bytes;
    }
    const std::string data = test::PatternBytes(1'000'003, 4);
    ContentHasher chunked(HashAlgorithm::kSha256);
    for (std::size_t off = 0, step = 1; off < data.size(); off += step, step = step * 7 % 65521 + 1) {
        chunked.Update(data.data() + off, std::min(step, data.size() - off));
    }
    EXPECT_EQ(chunked.FinalHex(), HashHex(HashAlgorithm::kSha256, data));
    EXPECT_EQ(chunked.FinalHex(), "");  // a second call gives nothing that could match
}

// A job's status is either a message number whose text explains it, or a
// number of its own that no message, internet error or file error cause uses
// (the not-verified status once shared its number with a configuration
// message).
TEST(JobStatusNumbers, EachMeansOneThing) {
    struct Row {
        const char* name;
        std::int32_t status;
        const char* message;  // the text it names, or null: no message has its number
    };
    const Row rows[] = {
        {"cancelled", kJobCancelled, kPutCanceledText},
        {"target exists", kJobTargetExists, kCantOverwriteText},
        {"folder failed", kJobFolderFailed, kCantCreateFolderText},
        {"not verified", kJobNotVerified, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(MessageText(row.status), row.message != nullptr ? row.message : "");
        EXPECT_FALSE(row.status >= 12000 && row.status <= 12999);  // the internet error range
        EXPECT_GT(row.status, filecause::kDiskFull);               // past every file error cause
        for (const Row& other : rows) {
            if (&other != &row) {
                EXPECT_NE(row.status, other.status) << other.name;
            }
        }
    }
}

class HashTransferTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        FastSettings(true);
        Set("CONFIG", "Overwrite", "YES");
    }
};

// One 200,000-byte file got or put (the server keeps what it stores) under each hash offer and VerifyHash value.
TEST_F(HashTransferTest, MatchesAreLoggedAndAnythingElseFailsTheJob) {
    const std::string data = test::PatternBytes(200'000, 21);
    const std::string sha256 = HashHex(HashAlgorithm::kSha256, data);
    const std::string md5 = HashHex(HashAlgorithm::kMd5, data);
    const char* kHash = R"("hash": {"algorithms": ["SHA-1", "SHA-256", "MD5"], "selected": "SHA-1"})";
    struct Case {
        const char* what;
        bool put;
        std::string script;  // besides "store": true
        const char* verify;  // FTP VerifyHash ("" absent)
        std::int32_t status;
        std::string detail;  // the "FTP Transfer Complete" detail, or a part of the failure's reason
        const char* hashCommand = nullptr;  // the hash command the server must have seen once
    };
    const std::string wrong = "differs from the server's: " + sha256 + " here";
    const Case cases[] = {
        // VerifyHash absent first (the settings file only gains the key).
        {"get, HASH (SHA-256 selected first)", false, kHash, "", 0, "SHA-256 " + sha256, "HASH /f.bin"},
        {"put, XMD5 only", true, R"("x_hash": ["XMD5"])", "", 0, "MD5 " + md5, "XMD5 /f.bin"},
        {"get, XSHA256 and XMD5", false, R"("x_hash": ["XMD5", "XSHA256"])", "", 0, "SHA-256 " + sha256,
         "XSHA256 /f.bin"},
        {"get, a wrong hash", false, std::string(kHash) + R"(, "wrong_hash": true)", "", kJobNotVerified, wrong},
        {"put, a wrong hash", true, R"("x_hash": ["XSHA256"], "wrong_hash": true)", "", kJobNotVerified, wrong},
        {"get, an unreadable answer", false, std::string(kHash) + R"(, "replies": {"HASH": "213 SHA-256 0-9 zz f"})",
         "", kJobNotVerified, "could not be read"},
        {"put, HASH", true, kHash, "REQUIRE", 0, "SHA-256 " + sha256, "HASH /f.bin"},
        {"get, no hash offered", false, R"("feat": ["SIZE", "EPSV"])", "AUTO", 0, "-"},
        {"get, no hash offered, REQUIRE", false, R"("feat": ["SIZE", "EPSV"])", "REQUIRE", kJobNotVerified,
         "offers no hash command"},
        {"put, no hash offered, REQUIRE", true, R"("feat": ["SIZE", "EPSV"])", "REQUIRE", kJobNotVerified,
         "offers no hash command"},
        {"get, VerifyHash NO", false, std::string(kHash) + R"(, "wrong_hash": true)", "NO", 0, "-"},
        {"get, HASH refused", false, std::string(kHash) + R"(, "replies": {"HASH": "550 Busy."})", "AUTO", 0, "-",
         "HASH /f.bin"},
        {"get, HASH refused, REQUIRE", false, std::string(kHash) + R"(, "replies": {"HASH": "550 Busy."})",
         "REQUIRE", kJobNotVerified, "550 Busy."},
    };
    int n = 0;
    bool verifySet = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TheTransferLog().Clear();
        ASSERT_FALSE(verifySet && *c.verify == '\0');
        if (*c.verify != '\0') {
            Set("FTP", "VerifyHash", c.verify);
            verifySet = true;
        }
        test::FaultServer server("{\"store\": true, " + c.script + "}");
        ASSERT_TRUE(server.started()) << server.error();
        const std::string base = MakeLocalDir("case" + std::to_string(++n));
        std::unique_ptr<TransferController> run;
        if (c.put) {
            ASSERT_TRUE(test::WriteFile(base + "/f.bin", data));
            run = RunSingle(Server(server.port()), {Job(base, "f.bin", "f.bin", "/", 200'000)}, TransferMode::PutKeep);
        } else {
            ASSERT_TRUE(test::WriteFile(server.root() + "/f.bin", data));
            ASSERT_TRUE(test::WriteFile(base + "/f.bin", "old"));
            run = RunSingle(Server(server.port()), {Job("", "f.bin", "f.bin", "/", 200'000)}, TransferMode::Get, base);
        }
        const CTransferJob& job = run->run().jobs[0];
        EXPECT_EQ(job.status, c.status) << job.reason;
        if (c.status == 0) {
            ASSERT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 1u);
            EXPECT_EQ(LogEntries(logcode::FtpTransferComplete)[0].detail, c.detail);
        } else {
            EXPECT_NE(job.reason.find(c.detail), std::string::npos) << job.reason;
            ASSERT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 1u);
            EXPECT_EQ(LogEntries(logcode::FtpTransferFailed)[0].detail, job.reason);
        }
        if (!c.put) {  // a file that is not verified never replaces the old one
            EXPECT_EQ(test::ReadFile(base + "/f.bin") == data, c.status == 0);
            EXPECT_EQ(test::ListFolder(base), std::vector<std::string>{"f.bin"});
        }
        // "REQUIRE" without a hash command refuses before anything moves.
        const bool refusedEarly = std::string(c.detail) == "offers no hash command";
        EXPECT_EQ(server.Count(c.put ? "STOR /f.bin" : "RETR /f.bin"), refusedEarly ? 0u : 1u);
        if (c.hashCommand != nullptr) {
            EXPECT_EQ(server.Count(c.hashCommand), 1u);
        }
        if (std::string(c.verify) == "NO") {
            EXPECT_EQ(server.Count("HASH /f.bin"), 0u);
        }
    }
}

// A text transfer changes line ends: it is not verified, and "REQUIRE" refuses it.
TEST_F(HashTransferTest, ATextTransferIsNeverComparedAndRequireRefusesIt) {
    Set("CONFIG", "TextExtensions", "txt");
    test::FaultServer server(R"({"store": true, "x_hash": ["XSHA256"]})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(Path("t.txt"), "one\ntwo\n"));
    for (const char* verify : {"AUTO", "REQUIRE"}) {
        SCOPED_TRACE(verify);
        Set("FTP", "VerifyHash", verify);
        auto run = RunToEnd(Single(Server(server.port()), {Job(Root(), "t.txt", "t.txt", "/", 8)}, TransferMode::PutKeep,
                                   "", 1));
        const bool require = std::string(verify) == "REQUIRE";
        EXPECT_EQ(run->run().jobs[0].status, require ? kJobNotVerified : 0) << run->run().jobs[0].reason;
        EXPECT_EQ(server.Count("XSHA256 /t.txt"), 0u);
    }
    EXPECT_EQ(server.Count("STOR /t.txt"), 1u);
}

}  // namespace
}  // namespace zyfar::enginetest
