// Resumed transfers and content hashes at the client level: the FEAT lines that offer REST STREAM, HASH and the
// X commands, the strict reading of hash answers (hostile ones included), REST / APPE when opening a file at an
// offset, and the hash query against the fault server, which hashes the real bytes it serves.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "ftp/FtpHash.h"
#include "support/FtpClientHelpers.h"

namespace zyfar {
namespace {

using test::FaultServer;
using test::LoopbackOptions;

FtpReply Feat(const std::vector<std::string>& features) {
    FtpReply reply;
    reply.code = 211;
    reply.lines.push_back("211-Features:");
    for (const std::string& f : features) reply.lines.push_back(" " + f);
    reply.lines.push_back("211 End");
    return reply;
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr), 1);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

// ---- FEAT ----

TEST(FtpTransferFeatures, FeatLinesAndTheHashChosen) {
    struct Case {
        std::vector<std::string> feat;
        bool rest;
        std::vector<std::string> algorithms;
        std::string selected;
        std::optional<HashChoice> choice;
    };
    using A = HashAlgorithm;
    using C = HashCommand;
    const Case cases[] = {
        {{"SIZE", "MDTM"}, false, {}, "", std::nullopt},
        {{"REST STREAM", "rest stream"}, true, {}, "", std::nullopt},
        {{"REST"}, false, {}, "", std::nullopt},  // REST without STREAM: no restart in stream mode
        {{"HASH SHA-1;SHA-256*;MD5"}, false, {"SHA-1", "SHA-256", "MD5"}, "SHA-256", HashChoice{C::kHash, A::kSha256}},
        {{"HASH sha-1*; md5 "}, false, {"SHA-1", "MD5"}, "SHA-1", HashChoice{C::kHash, A::kSha1}},
        {{"HASH CRC32*;SHA-512"}, false, {"CRC32", "SHA-512"}, "CRC32", std::nullopt},  // nothing usable
        {{"XMD5", "XSHA1"}, false, {}, "", HashChoice{C::kXsha1, A::kSha1}},
        {{"XSHA256", "HASH SHA-1*"}, false, {"SHA-1"}, "SHA-1", HashChoice{C::kXsha256, A::kSha256}},
        {{"XSHA256", "HASH SHA-256;MD5*", "REST STREAM"}, true, {"SHA-256", "MD5"}, "MD5",
         HashChoice{C::kHash, A::kSha256}},
        {{"XMD5"}, false, {}, "", HashChoice{C::kXmd5, A::kMd5}},
        {{"HASH"}, false, {}, "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.feat.front());
        FtpFeatures f;
        ReadTransferFeatures(Feat(c.feat), f);
        EXPECT_EQ(f.restStream, c.rest);
        EXPECT_EQ(f.hashAlgorithms, c.algorithms);
        EXPECT_EQ(f.hashSelected, c.selected);
        EXPECT_EQ(ChooseHashCommand(f), c.choice);
    }
}

// ---- hash answers ----

TEST(FtpHashReplies, OnlyAWholeFileHashOfTheRightKindAndLengthIsRead) {
    const std::string h256(64, 'a');
    const std::string h1 = "A9993E364706816ABA3E25717850C26C9CD0D89D";
    struct Case {
        const char* what;
        std::string text;  // after the code
        bool x;            // an X command's answer
        HashAlgorithm algorithm;
        std::optional<std::string> hex;
    };
    using A = HashAlgorithm;
    const Case cases[] = {
        {"HASH", "SHA-256 0-49 " + h256 + " file name.txt", false, A::kSha256, h256},
        {"HASH, upper-case hex", "SHA-1 0-3 " + h1 + " abc", false, A::kSha1, ToLowerAscii(h1)},
        {"HASH without a name", "SHA-256 0-49 " + h256, false, A::kSha256, h256},
        {"another algorithm", "SHA-1 0-49 " + h256 + " f", false, A::kSha256, std::nullopt},
        {"a range not from 0", "SHA-256 10-49 " + h256 + " f", false, A::kSha256, std::nullopt},
        {"no range", "SHA-256 " + h256 + " f", false, A::kSha256, std::nullopt},
        {"a range without an end", "SHA-256 0- " + h256 + " f", false, A::kSha256, std::nullopt},
        {"one digit short", "SHA-256 0-49 " + h256.substr(1) + " f", false, A::kSha256, std::nullopt},
        {"one digit long", "SHA-256 0-49 " + h256 + "a f", false, A::kSha256, std::nullopt},
        {"not hex", "SHA-256 0-49 " + std::string(63, 'a') + "g f", false, A::kSha256, std::nullopt},
        {"no hash", "SHA-256 0-49", false, A::kSha256, std::nullopt},
        {"nothing", "", false, A::kSha256, std::nullopt},
        {"X", h256, true, A::kSha256, h256},
        {"X with a name after it", h1 + " /pub/abc", true, A::kSha1, ToLowerAscii(h1)},
        {"X, a name first", "/pub/abc " + h1, true, A::kSha1, std::nullopt},
        {"X, SHA-1 length for SHA-256", h1, true, A::kSha256, std::nullopt},
        {"X, hex with a sign", "-" + h1.substr(1), true, A::kSha1, std::nullopt},
        {"X, nothing", "", true, A::kMd5, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.x ? ParseXHashReply(c.text, c.algorithm) : ParseHashReply(c.text, c.algorithm), c.hex);
    }
}

// ---- against the fault server ----

class FtpResumeClient : public ::testing::Test {
protected:
    void Start(const std::string& script) {
        server_ = std::make_unique<FaultServer>(script);
        ASSERT_TRUE(server_->started()) << server_->error();
        FtpConnectOptions options = LoopbackOptions(server_->port());
        options.passive = true;
        FtpResult r = client_.Connect(options);
        ASSERT_TRUE(r.ok()) << r.text;
    }
    std::unique_ptr<FaultServer> server_;
    FtpClient client_;
};

// RETR at 1000 of 5000 bytes: REST where offered, else (or when REST is refused) the whole file.
TEST_F(FtpResumeClient, AReadAtAnOffsetUsesRestOnlyWhereItWorks) {
    const std::string data = test::PatternBytes(5000, 7);
    struct Case {
        const char* script;
        FtpStartMethod method;
        bool restSent;
    };
    for (const Case& c : {Case{R"({"rest": true})", FtpStartMethod::kRestart, true},
                          Case{R"({})", FtpStartMethod::kFromStart, false},
                          // offered, then refused with 502
                          Case{R"({"feat": ["SIZE", "REST STREAM"]})", FtpStartMethod::kFromStart, true}}) {
        SCOPED_TRACE(c.script);
        Start(c.script);
        ASSERT_TRUE(test::WriteFile(server_->root() + "/f.bin", data));
        FtpOutcome<FtpOpenedFile> f = client_.OpenFileAt("/f.bin", FtpOpenMode::kRead, FtpTransferType::kBinary, 1000);
        ASSERT_TRUE(f.ok()) << f.result.text;
        EXPECT_EQ(f.value.method, c.method);
        EXPECT_EQ(f.value.offset, c.method == FtpStartMethod::kRestart ? 1000 : 0);
        std::string got;
        char buf[4096];
        for (int guard = 0; guard < 100; ++guard) {
            FtpOutcome<std::size_t> n = f.value.stream->Read(buf, sizeof buf);
            ASSERT_TRUE(n.ok()) << n.result.text;
            if (n.value == 0) break;
            got.append(buf, n.value);
        }
        EXPECT_TRUE(got == data.substr(static_cast<std::size_t>(f.value.offset)));
        EXPECT_EQ(server_->Count("REST 1000"), c.restSent ? 1u : 0u);
        // An ASCII read never restarts.
        FtpOutcome<FtpOpenedFile> text = client_.OpenFileAt("/f.bin", FtpOpenMode::kRead, FtpTransferType::kAscii, 1000);
        ASSERT_TRUE(text.ok());
        EXPECT_EQ(text.value.method, FtpStartMethod::kFromStart);
        (void)text.value.stream->Abort();
    }
}

// STOR at 3 bytes into a server file of 3 bytes: REST + STOR with REST STREAM, else APPE when SIZE matches, else
// the whole file with STOR.
TEST_F(FtpResumeClient, AWriteAtAnOffsetRestartsAppendsOrStartsOver) {
    struct Case {
        const char* script;
        std::string held;  // the server's file before
        FtpStartMethod method;
        const char* command;
    };
    for (const Case& c : {Case{R"({"store": true, "rest": true})", "abc", FtpStartMethod::kRestart, "STOR /w.bin"},
                          Case{R"({"store": true})", "abc", FtpStartMethod::kAppend, "APPE /w.bin"},
                          Case{R"({"store": true})", "abcd", FtpStartMethod::kFromStart, "STOR /w.bin"},
                          Case{R"({"store": true, "feat": ["REST STREAM"]})", "abc", FtpStartMethod::kFromStart,
                               "STOR /w.bin"}}) {
        SCOPED_TRACE(c.script + std::string(" ") + c.held);
        Start(c.script);
        ASSERT_TRUE(test::WriteFile(server_->root() + "/w.bin", c.held));
        FtpOutcome<FtpOpenedFile> f = client_.OpenFileAt("/w.bin", FtpOpenMode::kWrite, FtpTransferType::kBinary, 3);
        ASSERT_TRUE(f.ok()) << f.result.text;
        EXPECT_EQ(f.value.method, c.method);
        const std::string whole = "abcdefgh";
        const std::string rest = whole.substr(static_cast<std::size_t>(f.value.offset));
        ASSERT_TRUE(f.value.stream->Write(rest.data(), rest.size()).ok());
        ASSERT_TRUE(f.value.stream->Close().ok());
        EXPECT_EQ(server_->Count(c.command), 1u);
        EXPECT_EQ(test::ReadFile(server_->root() + "/w.bin"), whole);
    }
}

TEST_F(FtpResumeClient, TheServersHashAndItsFailures) {
    const std::string data = test::PatternBytes(3000, 9);
    struct Case {
        const char* script;
        RemoteHashResult::Status status;
        const char* opts;  // the OPTS HASH line sent, if any
    };
    using S = RemoteHashResult::Status;
    for (const Case& c : {
             Case{R"({"hash": {"algorithms": ["SHA-1", "SHA-256"], "selected": "SHA-1"}})", S::kHash, "OPTS HASH SHA-256"},
             Case{R"({"hash": {"algorithms": ["SHA-256"]}})", S::kHash, nullptr},
             Case{R"({"x_hash": ["XSHA256"]})", S::kHash, nullptr},
             Case{R"({"hash": {"algorithms": ["SHA-256"]}, "wrong_hash": true})", S::kHash, nullptr},
             Case{R"({"hash": {"algorithms": ["SHA-256"]}, "replies": {"HASH": "550 Too big to hash."}})", S::kRefused,
                  nullptr},
             Case{R"({"hash": {"algorithms": ["SHA-256"]}, "replies": {"HASH": "213 SHA-256 0-3000 xyz f.bin"}})",
                  S::kUnreadable, nullptr},
             Case{R"({"hash": {"algorithms": ["SHA-256"]}, "replies": {"HASH": "250 SHA-256 0-3000"}})",
                  S::kUnreadable, nullptr},
             Case{R"({"x_hash": ["XSHA256"], "replies": {"XSHA256": "213 0123"}})", S::kUnreadable, nullptr},
             Case{R"({"hash": {"algorithms": ["SHA-256"]}, "replies": {"HASH": {"drop": true}}})", S::kFailed, nullptr},
         }) {
        SCOPED_TRACE(c.script);
        Start(c.script);
        ASSERT_TRUE(test::WriteFile(server_->root() + "/f.bin", data));
        const std::optional<HashChoice> choice = client_.OfferedHash();
        ASSERT_TRUE(choice && choice->algorithm == HashAlgorithm::kSha256);
        const RemoteHashResult got = client_.RemoteHash("/f.bin", *choice);
        EXPECT_EQ(got.status, c.status) << got.failure.text;
        if (got.status == S::kHash) {
            EXPECT_EQ(got.hex == Sha256Hex(data), std::string(c.script).find("wrong") == std::string::npos);
        } else {
            EXPECT_TRUE(got.hex.empty());
            EXPECT_FALSE(got.failure.text.empty());
        }
        EXPECT_EQ(server_->Count("OPTS HASH SHA-256"), c.opts != nullptr ? 1u : 0u);
        if (c.opts != nullptr) {  // selected once per connection
            (void)client_.RemoteHash("/f.bin", *choice);
            EXPECT_EQ(server_->Count("OPTS HASH SHA-256"), 1u);
        }
    }
}

}  // namespace
}  // namespace zyfar
