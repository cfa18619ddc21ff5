// The client against vsftpd (LIST only, no MLSD); skips where vsftpd cannot run.
#include <gtest/gtest.h>

#include "FtpTestHelpers.h"

namespace zyfar {
namespace {

using test::GetBytes;
using test::LoopbackOptions;
using test::Names;
using test::PutBytes;
using test::TraceLog;
using test::VsftpdServer;

class FtpVsftpd : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        server_ = std::make_unique<VsftpdServer>();
        if (server_->unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << server_->error();
        ASSERT_TRUE(server_->started()) << server_->error();
        options_ = LoopbackOptions(server_->port());
        options_.user = "anonymous";
        options_.password = "tester@example.com";
        options_.passive = GetParam();
        options_.trace = trace_.Fn();
    }

    std::unique_ptr<VsftpdServer> server_;
    FtpConnectOptions options_;
    TraceLog trace_;
    FtpClient client_;
};

TEST_P(FtpVsftpd, LoginListPutGetAndRefusals) {
    ASSERT_TRUE(test::WriteFile(server_->root() + "/readme.txt", "read me\n"));
    ASSERT_TRUE(test::MakeDir(server_->root() + "/docs"));
    FtpResult r = client_.Connect(options_);
    ASSERT_TRUE(r.ok()) << r.code << " " << r.text;
    EXPECT_FALSE(client_.features().mlsd);
    EXPECT_EQ(client_.GetCurrentDirectory().value, "/");

    FtpOutcome<std::vector<FtpFoundFile>> all = client_.Find("/*");
    ASSERT_TRUE(all.ok()) << all.result.text;
    std::vector<std::string> names = Names(all.value);
    EXPECT_TRUE(std::find(names.begin(), names.end(), "readme.txt") != names.end());
    EXPECT_TRUE(std::find(names.begin(), names.end(), "docs") != names.end());
    const std::vector<FtpFoundFile> one = client_.Find("/readme.txt").value, docs = client_.Find("/docs").value;
    ASSERT_TRUE(one.size() == 1 && docs.size() == 1);
    EXPECT_TRUE(one[0].Length() == 8 && !one[0].IsDirectory() && docs[0].IsDirectory());

    const std::string data = test::PatternBytes(3 * 1024 * 1024 + 17, 21);
    const std::string target = server_->uploadFolder() == "/" ? "/up.bin" : server_->uploadFolder() + "/up.bin";
    ASSERT_TRUE(PutBytes(client_, target, data).ok());
    EXPECT_TRUE(test::ReadFile(server_->uploadPath() + "/up.bin").value_or("") == data);
    FtpOutcome<std::string> got = GetBytes(client_, target);
    ASSERT_TRUE(got.ok()) << got.result.text;
    EXPECT_TRUE(got.value == data);
    EXPECT_EQ(client_.Size(target).value, static_cast<std::int64_t>(data.size()));

    FtpOutcome<std::string> text = GetBytes(client_, "/readme.txt", FtpTransferType::kAscii);
    ASSERT_TRUE(text.ok()) << text.result.text;
    EXPECT_EQ(text.value, "read me\n");
    // One data connection each: three listings (no cache, no MLST), put, two gets.
    EXPECT_EQ(trace_.CountPrefix(GetParam() ? "> EPSV" : "> PORT"), 6u);
    EXPECT_EQ(trace_.CountPrefix("> LIST"), 3u);

    // Refusals quote the server and keep the session.
    FtpResult cd = client_.SetCurrentDirectory("/does/not/exist");
    EXPECT_EQ(cd.code, ftpcode::kExtendedError);
    EXPECT_EQ(cd.text.rfind("550", 0), 0u) << cd.text;
    FtpOutcome<std::string> missing = GetBytes(client_, "/nothing.bin");
    EXPECT_EQ(missing.result.code, ftpcode::kExtendedError);
    EXPECT_TRUE(client_.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpVsftpd, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Passive" : "Active"; });

}  // namespace
}  // namespace zyfar
