// Resumed transfers: a get or put that fails after moving bytes keeps them (a get in "<name>.zyfar-part", never
// under the file's own name; a put on the server) and says where it stopped; a second attempt given that point
// continues with REST (or APPE) when the server takes it, the source is unchanged and Resume is "YES", and starts
// over otherwise. Either way the final bytes are the source's. The queue that carries the point between the two
// attempts: tests/core/automation/QueueResumeTest.cpp.
#include <sys/stat.h>
#include <utime.h>

#include <future>

#include "engine/BufferedLocalFile.h"
#include "engine/ContentHash.h"
#include "support/EngineFixture.h"

namespace zyfar::enginetest {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kSize = 300'000;

bool SetTimes(const std::string& path, std::time_t when) {
    const struct utimbuf times{when, when};
    return ::utime(path.c_str(), &times) == 0;
}

// A resumed file starts its bar and byte count at the offset; its rate and time left count only what it moves.
TEST(ResumedProgress, TheOffsetCountsAsDoneButNotAsSpeed) {
    TransferProgress p;
    p.SetBatch(2'000, 0, 1);
    p.BeginFile(1'000);
    p.ResumeFile(600);
    p.OnPass(100, std::int64_t{1}, std::int64_t{1});
    const ProgressSnapshot s = p.Snapshot();
    EXPECT_EQ(s.fileResumedFrom, 600);
    EXPECT_EQ(std::pair(s.fileSent, s.batchDone), std::pair(std::int64_t{700}, std::int64_t{700}));
    EXPECT_EQ(std::vector<std::string>({s.fileBytes, s.fileRate, s.fileLeft, s.batchRate, s.batchLeft}),
              std::vector<std::string>({"Sent 700 bytes out of 1000 (70.00%)", "0.10 kbs", "Left: 3.00 secs",
                                        "0.10 kbs", "Left: 13.00 secs"}));
    p.BeginFile(500);  // the next file starts from its beginning
    EXPECT_EQ(p.Snapshot().fileResumedFrom, 0);
}

class ResumeTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        FastSettings(true);
        Set("CONFIG", "Overwrite", "YES");
        Set("SCHEDULE", "ResendFail", "1");  // failures are queued: a get keeps its partial file
        base_ = MakeLocalDir("base");
    }
    // One attempt at /f.bin, continuing from `from`.
    std::unique_ptr<TransferController> Attempt(test::FaultServer& server, bool put, const ResumePoint& from) {
        CTransferJob job = put ? Job(base_, "f.bin", "f.bin", "/", kSize) : Job("", "f.bin", "f.bin", "/", kSize);
        job.resume = from;
        return RunSingle(Server(server.port()), {job}, put ? TransferMode::PutKeep : TransferMode::Get, base_);
    }
    // The source of the transfer: the server's file for a get, the local one for a put.
    std::string SourcePath(const test::FaultServer& server, bool put) const {
        return put ? base_ + "/f.bin" : server.root() + "/f.bin";
    }
    std::string TargetPath(const test::FaultServer& server, bool put) const {
        return put ? server.root() + "/f.bin" : base_ + "/f.bin";
    }
    std::string base_;
};

TEST_F(ResumeTest, ADroppedTransferContinuesOnlyWhereThatIsSafe) {
    const std::string data = test::PatternBytes(kSize, 31);
    const std::string changed = test::PatternBytes(kSize, 32);
    const std::int64_t mid = kSize / 2;
    struct Case {
        const char* what;
        bool put;
        std::int64_t dropAt;          // bytes the server handles before it drops the connection
        std::string server = "\"rest\": true";
        bool changeSource = false;    // the source changes between the attempts
        const char* resume = "YES";   // FTP Resume
        std::string continued = "";   // the command that continues the file; "" when it starts over
    };
    const Case cases[] = {
        {"get, nothing arrived", false, 0},
        {"get, one byte", false, 1, "\"rest\": true", false, "YES", "REST 1"},
        {"get, half", false, mid, "\"rest\": true", false, "YES", "REST " + std::to_string(mid)},
        {"get, all but the last byte", false, kSize - 1, "\"rest\": true", false, "YES",
         "REST " + std::to_string(kSize - 1)},
        {"put, nothing stored", true, 0},
        {"put, one byte", true, 1, "\"rest\": true", false, "YES", "REST 1"},
        {"put, half", true, mid, "\"rest\": true", false, "YES", "REST " + std::to_string(mid)},
        {"put, all but the last byte", true, kSize - 1, "\"rest\": true", false, "YES",
         "REST " + std::to_string(kSize - 1)},
        {"get, the source changed", false, mid, "\"rest\": true", true},
        {"put, the source changed", true, mid, "\"rest\": true", true},
        {"get, a server without REST", false, mid, "\"rest\": false"},
        {"get, REST offered but refused", false, mid, R"("feat": ["SIZE", "MDTM", "EPSV", "REST STREAM"])"},
        {"put, no REST STREAM: APPE", true, mid, "\"rest\": false", false, "YES", "APPE /f.bin"},
        {"put, neither REST nor APPE", true, mid, R"("rest": false, "appe": false)"},  // APPE refused: STOR
        {"get, Resume NO", false, mid, "\"rest\": true", false, "NO"},
        {"put, Resume NO", true, mid, "\"rest\": true", false, "NO"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TheTransferLog().Clear();
        Set("FTP", "Resume", c.resume);
        base_ = MakeLocalDir("case" + std::to_string(++n));
        const char* verb = c.put ? "STOR" : "RETR";
        test::FaultServer server("{\"store\": true, " + c.server + R"(, "transfer": {")" + verb +
                                 R"(": {"times": 1, "send_bytes": )" + std::to_string(c.dropAt) +
                                 R"(, "outcome": "drop"}}})");
        ASSERT_TRUE(server.started()) << server.error();
        ASSERT_TRUE(test::WriteFile(SourcePath(server, c.put), data));
        ASSERT_TRUE(SetTimes(SourcePath(server, c.put), 1'700'000'000));
        const std::string partial = BufferedLocalFile::PartialPathFor(base_ + "/f.bin");

        auto first = Attempt(server, c.put, {});
        const CTransferJob& failed = first->run().jobs[0];
        ASSERT_NE(failed.status, 0);
        EXPECT_FALSE(test::Exists(base_ + "/f.bin") && !c.put);  // never a cut file under the real name
        const bool kept = std::string(c.resume) == "YES" && c.dropAt > 0;
        if (c.put) {
            EXPECT_TRUE(test::ReadFile(TargetPath(server, true)) == data.substr(0, c.dropAt));
            EXPECT_GE(failed.resume.offset, kept ? c.dropAt : 0);  // the bytes sent; the server may hold fewer
        } else {
            EXPECT_EQ(failed.resume.offset, kept ? c.dropAt : 0);
            EXPECT_EQ(test::Exists(partial), kept);
            if (kept) {
                EXPECT_TRUE(test::ReadFile(partial) == data.substr(0, c.dropAt));
            }
        }
        if (kept) {
            EXPECT_EQ(failed.resume.sourceSize, kSize);
            EXPECT_FALSE(failed.resume.sourceTime.empty());
        }
        ASSERT_EQ(sink.Reports().back().items.size(), 1u);
        EXPECT_EQ(sink.Reports().back().items[0].resume, failed.resume);  // what the queue remembers

        const std::string& want = c.changeSource ? changed : data;
        if (c.changeSource) {
            ASSERT_TRUE(test::WriteFile(SourcePath(server, c.put), changed));
            ASSERT_TRUE(SetTimes(SourcePath(server, c.put), 1'700'000'100));
        }
        TheTransferLog().Clear();
        auto second = Attempt(server, c.put, failed.resume);
        ASSERT_EQ(second->run().jobs[0].status, 0) << second->run().jobs[0].reason;
        EXPECT_TRUE(test::ReadFile(TargetPath(server, c.put)) == want);
        EXPECT_FALSE(test::Exists(partial));
        EXPECT_EQ(second->run().jobs[0].resume, ResumePoint{});
        const std::string detail = LogEntries(logcode::FtpTransferComplete).at(0).detail;
        if (c.continued.empty()) {
            EXPECT_EQ(server.Count(std::string(verb) + " /f.bin"), 2u);  // the whole file again
            const std::vector<std::string> lines = server.Commands();
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("REST ", 0) == 0; }),
                      c.server.find("REST STREAM") != std::string::npos ? 1 : 0);  // refused, where offered
            EXPECT_EQ(detail, "-");
        } else {
            EXPECT_EQ(server.Count(c.continued), 1u);
            const std::int64_t at = c.continued == "APPE /f.bin" ? mid : std::stoll(c.continued.substr(5));
            EXPECT_EQ(detail, "Resumed at byte " + std::to_string(at));
        }
    }
}

// Overwrite "NO": the file a put finds at its target is replaced never, continued only when it is this put's own
// earlier partial upload (no larger than what was sent, the source unchanged) and the server continues it exactly.
TEST_F(ResumeTest, WithOverwriteOffAPutOnlyContinuesItsOwnPartialUpload) {
    Set("CONFIG", "Overwrite", "NO");
    const std::string data = test::PatternBytes(kSize, 36);
    struct Case {
        const char* what;
        const char* server;
        const char* between;  // what stands on the server before the second attempt ("": the partial upload)
        bool continued;
    };
    for (const Case& c : {Case{"its partial upload", R"("rest": true)", "", true},
                          Case{"APPE", R"("rest": false)", "", true},
                          Case{"another, larger file", R"("rest": true)", "x", false},
                          Case{"REST offered but refused", R"("feat": ["SIZE", "EPSV", "REST STREAM"])", "", false},
                          Case{"neither REST nor APPE", R"("rest": false, "appe": false)", "", false}}) {
        SCOPED_TRACE(c.what);
        base_ = MakeLocalDir(std::string("off-") + c.what);
        test::FaultServer server(std::string(R"({"store": true, )") + c.server +
                                 R"(, "transfer": {"STOR": {"times": 1, "send_bytes": 100000, "outcome": "drop"}}})");
        ASSERT_TRUE(server.started()) << server.error();
        ASSERT_TRUE(test::WriteFile(base_ + "/f.bin", data));
        auto first = Attempt(server, true, {});
        ASSERT_TRUE(first->run().jobs[0].resume.Usable());
        const std::string other = std::string(c.between).empty() ? data.substr(0, 100000) : test::PatternBytes(kSize + 1, 9);
        ASSERT_TRUE(test::WriteFile(server.root() + "/f.bin", other));
        auto second = Attempt(server, true, first->run().jobs[0].resume);
        const CTransferJob& job = second->run().jobs[0];
        if (c.continued) {
            EXPECT_EQ(job.status, 0) << job.reason;
            EXPECT_TRUE(test::ReadFile(server.root() + "/f.bin") == data);
        } else {
            EXPECT_NE(job.status, 0);
            EXPECT_TRUE(test::ReadFile(server.root() + "/f.bin") == other);  // never replaced
            EXPECT_EQ(server.Count("STOR /f.bin"), 1u);  // the first attempt's only
            EXPECT_EQ(job.resume, first->run().jobs[0].resume);  // still worth a later try
        }
    }
}

// A resumed copy is verified over the whole file: the get hashes its partial file's bytes, the put its source's.
TEST_F(ResumeTest, AResumedCopyIsVerifiedOverTheWholeFile) {
    const std::string data = test::PatternBytes(kSize, 33);
    const std::string sha = HashHex(HashAlgorithm::kSha256, data);
    for (const bool put : {false, true}) {
        for (const bool wrong : {false, true}) {
            SCOPED_TRACE(::testing::Message() << (put ? "put" : "get") << (wrong ? ", wrong hash" : ""));
            TheTransferLog().Clear();
            base_ = MakeLocalDir(std::string(put ? "put" : "get") + (wrong ? "-wrong" : ""));
            test::FaultServer server(std::string(R"({"store": true, "rest": true, "x_hash": ["XSHA256"], )") +
                                     (wrong ? R"("wrong_hash": true, )" : "") + R"("transfer": {")" +
                                     (put ? "STOR" : "RETR") + R"(": {"times": 1, "send_bytes": 100000, "outcome": "drop"}}})");
            ASSERT_TRUE(server.started()) << server.error();
            ASSERT_TRUE(test::WriteFile(SourcePath(server, put), data));
            auto first = Attempt(server, put, {});
            ASSERT_TRUE(first->run().jobs[0].resume.Usable());
            auto second = Attempt(server, put, first->run().jobs[0].resume);
            const CTransferJob& job = second->run().jobs[0];
            EXPECT_EQ(server.Count("REST 100000"), 1u);
            if (wrong) {
                EXPECT_EQ(job.status, kJobNotVerified);
                // Bytes that differ are no start for a third attempt.
                EXPECT_EQ(job.resume, ResumePoint{});
                EXPECT_FALSE(test::Exists(base_ + "/f.bin") && !put);
                EXPECT_FALSE(test::Exists(BufferedLocalFile::PartialPathFor(base_ + "/f.bin")));
            } else {
                ASSERT_EQ(job.status, 0) << job.reason;
                EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).at(0).detail,
                          "Resumed at byte 100000; SHA-256 " + sha);
                EXPECT_TRUE(test::ReadFile(TargetPath(server, put)) == data);
            }
        }
    }
}

// Real servers continue at the offset: pyftpdlib and vsftpd take REST before RETR and before STOR. The earlier
// attempt is set up by hand: its partial file (a get) or the server's partial file (a put), and its resume point.
TEST_F(ResumeTest, PyftpdlibAndVsftpdContinueWithRest) {
    const std::string data = test::PatternBytes(kSize, 37);
    constexpr std::int64_t kKept = 123'457;
    for (const bool vsftpd : {false, true}) {
        std::string remote = "/resume";
        std::string folder;
        TransferServer site;
        if (vsftpd) {
            test::VsftpdServer& v = SharedVsftpd();
            if (v.unavailable()) {
                GTEST_SKIP() << "vsftpd cannot run here: " << v.error();
            }
            ASSERT_TRUE(v.started()) << v.error();
            site = Server(v.port(), "anonymous", "");
            remote = v.uploadFolder() + (v.uploadFolder() == "/" ? "" : "/") + "resume";
            folder = v.uploadPath() + "/resume";
        } else {
            ASSERT_TRUE(SharedPyFtpd().started()) << SharedPyFtpd().error();
            site = Server(SharedPyFtpd().port());
            folder = SharedPyFtpd().root() + "/resume";
        }
        for (const bool put : {false, true}) {
            SCOPED_TRACE(::testing::Message() << (vsftpd ? "vsftpd " : "pyftpdlib ") << (put ? "put" : "get"));
            TheTransferLog().Clear();
            test::RemoveTree(folder);
            ASSERT_TRUE(test::MakeDir(folder));
            ::chmod(folder.c_str(), 0777);  // vsftpd writes as its session user
            base_ = MakeLocalDir(std::string(vsftpd ? "vs-" : "py-") + (put ? "put" : "get"));
            CTransferJob job = Job(put ? base_ : "", "f.bin", "f.bin", remote, kSize);
            if (put) {
                ASSERT_TRUE(test::WriteFile(base_ + "/f.bin", data));
                ASSERT_TRUE(test::WriteFile(folder + "/f.bin", data.substr(0, kKept)));
                ::chmod((folder + "/f.bin").c_str(), 0666);
                struct stat st {};
                ASSERT_EQ(::stat((base_ + "/f.bin").c_str(), &st), 0);
                char stamp[64];
                std::snprintf(stamp, sizeof stamp, "%lld.%09ld", static_cast<long long>(st.st_mtim.tv_sec),
                              static_cast<long>(st.st_mtim.tv_nsec));
                job.resume = ResumePoint{kKept, kSize, stamp};
            } else {
                ASSERT_TRUE(test::WriteFile(folder + "/f.bin", data));
                ASSERT_TRUE(SetTimes(folder + "/f.bin", 1'700'000'000));  // MDTM 20231114221320
                ASSERT_TRUE(test::WriteFile(BufferedLocalFile::PartialPathFor(base_ + "/f.bin"), data.substr(0, kKept)));
                job.resume = ResumePoint{kKept, kSize, "20231114221320"};
            }
            auto run = RunSingle(site, {job}, put ? TransferMode::PutKeep : TransferMode::Get, base_);
            ASSERT_EQ(run->run().jobs[0].status, 0) << run->run().jobs[0].reason;
            EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).at(0).detail, "Resumed at byte 123457");
            EXPECT_TRUE(test::ReadFile(put ? folder + "/f.bin" : base_ + "/f.bin") == data);
            EXPECT_FALSE(test::Exists(BufferedLocalFile::PartialPathFor(base_ + "/f.bin")));
        }
    }
}

// "Yes" (cancel) during a get keeps what arrived; the next attempt continues from there.
TEST_F(ResumeTest, ACancelledGetKeepsItsPartialFile) {
    const std::string data = test::PatternBytes(kSize, 34);
    test::FaultServer server(
        R"({"rest": true, "transfer": {"RETR": {"times": 1, "send_bytes": 70000, "outcome": "stall"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(server.root() + "/f.bin", data));
    auto c = Controller(Single(Server(server.port()), {Job("", "f.bin", "f.bin", "/", kSize)}, TransferMode::Get,
                               base_));
    c->Start();
    ASSERT_TRUE(WaitUntil([&] { return c->run().progress.Snapshot().fileSent == 70000; }));
    c->Suspend();
    auto cancelled = std::async(std::launch::async, [&c] { c->Cancel(); });
    ASSERT_EQ(cancelled.wait_for(30s), std::future_status::ready);
    const CTransferJob& job = c->run().jobs[0];
    EXPECT_EQ(job.status, kJobNotAttempted);
    EXPECT_EQ(job.resume.offset, 70000);
    EXPECT_EQ(test::ListFolder(base_), std::vector<std::string>{"f.bin.zyfar-part"});
    EXPECT_EQ(sink.Reports().back().items.at(0).resume, job.resume);

    auto again = Attempt(server, false, job.resume);
    ASSERT_EQ(again->run().jobs[0].status, 0) << again->run().jobs[0].reason;
    EXPECT_EQ(server.Count("REST 70000"), 1u);
    EXPECT_EQ(again->run().progress.Snapshot().fileResumedFrom, 70000);
    EXPECT_TRUE(test::ReadFile(base_ + "/f.bin") == data);
    EXPECT_EQ(test::ListFolder(base_), std::vector<std::string>{"f.bin"});
}

// Without queueing (ResendFail 0) nothing would continue a get: it keeps no partial file, as before.
TEST_F(ResumeTest, WithoutTheQueueAFailedGetLeavesNothingBehind) {
    Set("SCHEDULE", "ResendFail", "0");
    test::FaultServer server(
        R"({"rest": true, "transfer": {"RETR": {"send_bytes": 100000, "outcome": "drop"}}})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(server.root() + "/f.bin", test::PatternBytes(kSize, 35)));
    auto run = Attempt(server, false, {});
    EXPECT_NE(run->run().jobs[0].status, 0);
    EXPECT_EQ(run->run().jobs[0].resume, ResumePoint{});
    EXPECT_TRUE(test::ListFolder(base_).empty());
}

}  // namespace
}  // namespace zyfar::enginetest
