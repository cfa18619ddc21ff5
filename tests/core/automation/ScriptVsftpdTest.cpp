// Scripts against vsftpd (a second server implementation, LIST listings
// only): get with an age filter, put, and send from pyftpdlib to vsftpd.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "AutomationTestSupport.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

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
    ASSERT_TRUE(SetFileTime(vsftpd_.root() + "/old.log", now - 10 * 86400));
    const ScriptRunResult r = Run(OpenVsftpd() + "get V *.log fresh < 2\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_EQ(ReadFile(LocalFile("young.log")).value_or(""), "young");
    EXPECT_FALSE(ReadFile(LocalFile("old.log")));
    const ScriptRunResult r2 = Run(OpenVsftpd() + "get V *.log stale > 5\n");
    EXPECT_EQ(r2.errorBlocks, 0);
    EXPECT_EQ(ReadFile(LocalFile("old.log")).value_or(""), "old");
}

TEST_F(VsftpdScriptTest, PutIntoTheUploadFolderAndRefuseAnExistingTarget) {
    const std::string payload = PatternBytes(300000, 5);
    WriteFile(LocalFile("up.bin"), payload);
    const ScriptRunResult r = Run(OpenVsftpd(vsftpd_.uploadFolder()) + "put V up.bin\nput V up.bin\n");
    EXPECT_TRUE(ReadFile(vsftpd_.uploadPath() + "/up.bin").value_or("") == payload);
    EXPECT_TRUE(HasLine("V: FTP Transfer Complete up.bin"));
    EXPECT_TRUE(HasErrorBlock("V: Can't overwrite existing file! up.bin"));
    EXPECT_EQ(r.errorBlocks, 1);
}

TEST_F(VsftpdScriptTest, SendFromPyftpdlibToVsftpd) {
    PyFtpdServer source;
    ASSERT_TRUE(source.started()) << source.error();
    const std::string payload = PatternBytes(700000, 13);
    WriteFile(source.root() + "/s.bin", payload);
    const ScriptRunResult r =
        Run(OpenLine("P", source) + OpenVsftpd(vsftpd_.uploadFolder()) + "binary P\nsend P V s.bin\n");
    EXPECT_EQ(r.errorBlocks, 0);
    EXPECT_TRUE(ReadFile(vsftpd_.uploadPath() + "/s.bin").value_or("") == payload);
    EXPECT_TRUE(HasLine("P: FTP Transfer Complete s.bin"));
}

}  // namespace
}  // namespace zyfar::autotest
