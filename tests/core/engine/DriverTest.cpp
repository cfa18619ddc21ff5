// The put, get and server-to-server drivers against pyftpdlib (and vsftpd for
// server to server): folder modes, the overwrite rule, the "LAST_DIR"
// failure, empty job lists, failed connections, long names, deletion after
// transfer, log entries and sounds.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/TransferPaths.h"
#include "ftp/FtpError.h"
#include "platform/SoundPlayer.h"

namespace zyfar::enginetest {
namespace {

class RecordingPlayer final : public SoundPlayer {
public:
    void Play(const std::string& path) override {
        std::lock_guard guard(mutex_);
        played_.push_back(path);
    }
    std::vector<std::string> Played() {
        std::lock_guard guard(mutex_);
        return played_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> played_;
};

class TransferDriverTest : public EngineTest {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<test::PyFtpdServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(server_->started()) << server_->error();
        FastSettings(true);
        player_ = std::make_shared<RecordingPlayer>();
        SetSoundPlayer(player_);
        Set("SOUNDS", "ConnectOk", "connect-ok.wav");
        Set("SOUNDS", "ConnectFail", "connect-fail.wav");
        Set("SOUNDS", "TransferOk", "transfer-ok.wav");
        Set("SOUNDS", "TransferFail", "transfer-fail.wav");
        // A fresh remote area per test.
        remote_ = "/t" + std::to_string(++counter_);
        test::MakeDir(server_->root() + remote_);
    }
    void TearDown() override {
        SetSoundPlayer(nullptr);
        EngineTest::TearDown();
    }

    std::string Root(const std::string& path) const { return server_->root() + path; }
    TransferServer Site(const std::string& remoteDir = "") const {
        return Server("127.0.0.1", server_->port(), "user", "pass", remoteDir);
    }

    // /<tmp>/data/web/index.html
    std::string MakeIndex() {
        (void)MakeLocalDir("data");
        const std::string web = MakeLocalDir("data/web");
        EXPECT_TRUE(test::WriteFile(web + "/index.html", "<html>hello</html>"));
        return web;
    }

    std::unique_ptr<TransferController> Put(std::vector<CTransferJob> jobs, TransferMode mode = TransferMode::Put) {
        const std::int64_t total = BatchSizeOf(jobs);
        return RunToEnd(MakeSingleServerRun(Site(), std::move(jobs), "", total, mode, 2, nullptr, nullptr, false),
                        &sink);
    }

    std::shared_ptr<RecordingPlayer> player_;
    std::string remote_;
    static inline int counter_ = 0;
    static std::unique_ptr<test::PyFtpdServer> server_;
};

std::unique_ptr<test::PyFtpdServer> TransferDriverTest::server_;

// ---- put folder modes ----

TEST_F(TransferDriverTest, PutNoPathStoresInTheRemoteFolder) {
    const std::string web = MakeIndex();
    auto c = Put({Job(web, "index.html", "index.html", remote_, 18)});
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/index.html")), "<html>hello</html>");
    const std::vector<LogEntry> done = LogEntries(logcode::FtpTransferComplete);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].source, "Local Machine");
    EXPECT_EQ(done[0].destination, "127.0.0.1");
    EXPECT_EQ(done[0].file, remote_ + "/index.html");
    EXPECT_EQ(done[0].detail, "-");
}

TEST_F(TransferDriverTest, PutLastDirCreatesTheLastLocalFolder) {
    Set("CONFIG", "FTPDirTree", "LAST_DIR");
    const std::string web = MakeIndex();
    auto c = Put({Job(web, "index.html", "index.html", remote_, 18)});
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/web/index.html")), "<html>hello</html>");
    const std::vector<LogEntry> made = LogEntries(logcode::MakeDirectoryOk);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].file, remote_ + "/web");
    EXPECT_EQ(made[0].destination, "127.0.0.1");
}

TEST_F(TransferDriverTest, ForceLastDirTurnsNoPathIntoLastDir) {
    const std::string web = MakeIndex();
    auto c = RunToEnd(MakeSingleServerRun(Site(), {Job(web, "index.html", "index.html", remote_, 18)}, "", 18,
                                          TransferMode::Put, 2, nullptr, nullptr, true),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_TRUE(Exists(Root(remote_ + "/web/index.html")));
}

TEST_F(TransferDriverTest, PutFullPathRebuildsEveryLocalFolder) {
    Set("CONFIG", "FTPDirTree", "FULL_PATH");
    const std::string web = MakeIndex();
    // A second file in the same folder reuses the folders made for the first.
    ASSERT_TRUE(test::WriteFile(web + "/style.css", "body{}"));
    auto c = Put({Job(web, "index.html", "index.html", remote_, 18), Job(web, "style.css", "style.css", remote_, 6)});
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    ASSERT_EQ(c->run().jobs[1].status, 0) << c->run().jobs[1].reason;
    std::string expected = remote_;
    for (const std::string& piece : SplitPieces(web, '/')) {
        expected += "/" + piece;
    }
    EXPECT_EQ(test::ReadFile(Root(expected + "/index.html")), "<html>hello</html>");
    EXPECT_EQ(test::ReadFile(Root(expected + "/style.css")), "body{}");
    // Every folder was made once.
    EXPECT_EQ(LogEntries(logcode::MakeDirectoryOk).size(), SplitPieces(web, '/').size());
}

TEST_F(TransferDriverTest, PutLastDirFailureLeavesTheLoop) {
    Set("CONFIG", "FTPDirTree", "LAST_DIR");
    const std::string web = MakeIndex();
    ASSERT_TRUE(test::WriteFile(web + "/b.txt", "b"));
    // The remote folder does not exist, so its sub-folder cannot be made.
    auto c = Put({Job(web, "index.html", "index.html", remote_ + "/missing/deeper", 18),
                  Job(web, "b.txt", "b.txt", remote_, 1)});
    EXPECT_EQ(c->DriverResult(), 1);
    EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
    EXPECT_EQ(c->run().jobs[1].status, kJobNotAttempted);  // never attempted, though it could have worked
    EXPECT_FALSE(Exists(Root(remote_ + "/web/b.txt")));
    const std::vector<LogEntry> failed = LogEntries(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0].detail, "FTP Put Canceled");
    EXPECT_EQ(failed[0].file, "index.html");
    ASSERT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(sink.Reports()[0].items.size(), 2u);
    EXPECT_EQ(sink.Reports()[0].items[0].result, -1);
}

TEST_F(TransferDriverTest, PutFullPathFolderFailureFailsOnlyThatJob) {
    Set("CONFIG", "FTPDirTree", "FULL_PATH");
    const std::string web = MakeIndex();
    const std::string other = MakeLocalDir("other");
    ASSERT_TRUE(test::WriteFile(other + "/o.txt", "o"));
    // A file stands where the first job's "data" folder would go; the
    // second job's folders are not in its way.
    std::string folder = Root(remote_);
    const std::vector<std::string> pieces = SplitPieces(web, '/');
    ASSERT_GE(pieces.size(), 3u);
    for (std::size_t i = 0; i + 2 < pieces.size(); ++i) {
        folder += "/" + pieces[i];
        test::MakeDir(folder);
    }
    ASSERT_EQ(pieces[pieces.size() - 2], "data");
    ASSERT_TRUE(test::WriteFile(folder + "/data", "in the way"));
    auto c = Put({Job(web, "index.html", "index.html", remote_, 18), Job(other, "o.txt", "o.txt", remote_, 1)});
    EXPECT_EQ(c->run().jobs[0].status, kJobFolderFailed);
    EXPECT_EQ(c->run().jobs[0].reason, "Can't create file folder! FTP Put Canceled!");
    const std::vector<LogEntry> failed = LogEntries(logcode::MakeDirectoryFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].file, "index.html");
    EXPECT_EQ(c->run().jobs[1].status, 0) << c->run().jobs[1].reason;
    EXPECT_EQ(test::ReadFile(folder + "/other/o.txt"), "o");
}

// ---- overwrite, names, deletion ----

TEST_F(TransferDriverTest, OverwriteOffSkipsExistingTargetsAndTheBatchBarReachesTheEnd) {
    const std::string src = MakeLocalDir("ow");
    ASSERT_TRUE(test::WriteFile(src + "/a.bin", std::string(1000, 'a')));
    ASSERT_TRUE(test::WriteFile(src + "/b.bin", std::string(3000, 'b')));
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/a.bin"), "old"));
    auto c = Put({Job(src, "a.bin", "a.bin", remote_, 1000), Job(src, "b.bin", "b.bin", remote_, 3000)});
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    EXPECT_EQ(c->run().jobs[0].reason, "Can't overwrite existing file!");
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/a.bin")), "old");
    EXPECT_EQ(c->run().jobs[1].status, 0);
    const ProgressSnapshot p = c->run().progress.Snapshot();
    EXPECT_EQ(p.batchDone, 4000);
    EXPECT_EQ(p.batchBar, 100);
    EXPECT_EQ(p.batchBytes, "Sent 4000 bytes out of 4000 (100.00%)");
    // One batch sound: not every file succeeded.
    EXPECT_EQ(player_->Played(), (std::vector<std::string>{"connect-ok.wav", "transfer-fail.wav"}));
}

TEST_F(TransferDriverTest, OverwriteOffSkipsAnExistingFolderSilently) {
    const std::string src = MakeLocalDir("dirskip");
    ASSERT_TRUE(test::WriteFile(src + "/d", "x"));
    test::MakeDir(Root(remote_ + "/d"));
    auto c = Put({Job(src, "d", "d", remote_, 1)});
    EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
    EXPECT_EQ(c->run().jobs[0].reason, "");
}

TEST_F(TransferDriverTest, OverwriteOnReplacesTheTarget) {
    Set("CONFIG", "Overwrite", "YES");
    const std::string src = MakeLocalDir("ow2");
    ASSERT_TRUE(test::WriteFile(src + "/a.bin", "new content"));
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/a.bin"), "old"));
    auto c = Put({Job(src, "a.bin", "a.bin", remote_, 11)});
    EXPECT_EQ(c->run().jobs[0].status, 0);
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/a.bin")), "new content");
}

TEST_F(TransferDriverTest, GetOverwriteOffKeepsTheLocalFile) {
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/g.txt"), "remote"));
    const std::string base = MakeLocalDir("getow");
    ASSERT_TRUE(test::WriteFile(base + "/g.txt", "local"));
    CTransferJob job = Job("/elsewhere", "g.txt", "g.txt", remote_, 6);
    auto c = RunToEnd(
        MakeSingleServerRun(Site(), {job}, base, 6, TransferMode::Get, 2, nullptr, nullptr, false), &sink);
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    EXPECT_EQ(c->run().jobs[0].localDir, base);
    EXPECT_EQ(test::ReadFile(base + "/g.txt"), "local");
    EXPECT_EQ(c->run().progress.Snapshot().batchBar, 100);
}

TEST_F(TransferDriverTest, LongNamesAreShortenedWhenAsked) {
    Set("CONFIG", "RenameLongFileNames", "YES");
    const std::string src = MakeLocalDir("long");
    ASSERT_TRUE(test::WriteFile(src + "/Quarterly Report.txt", "q"));
    ASSERT_TRUE(test::WriteFile(src + "/short.txt", "s"));
    auto c = Put({Job(src, "Quarterly Report.txt", "Quarterly Report.txt", remote_, 1),
                  Job(src, "short.txt", "short.txt", remote_, 1)});
    EXPECT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/Quarte~1.txt")), "q");
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/short.txt")), "s");
}

TEST_F(TransferDriverTest, DeletePutRemovesTheLocalFileOnlyInModeZero) {
    Set("CONFIG", "DeletePut", "yes");
    Set("CONFIG", "Overwrite", "YES");
    const std::string src = MakeLocalDir("del");
    ASSERT_TRUE(test::WriteFile(src + "/m0.txt", "zero"));
    ASSERT_TRUE(test::WriteFile(src + "/m3.txt", "three"));
    auto zero = Put({Job(src, "m0.txt", "m0.txt", remote_, 4)}, TransferMode::Put);
    auto three = Put({Job(src, "m3.txt", "m3.txt", remote_, 5)}, TransferMode::PutKeep);
    EXPECT_EQ(zero->run().jobs[0].status, 0);
    EXPECT_EQ(three->run().jobs[0].status, 0);
    EXPECT_FALSE(Exists(src + "/m0.txt"));
    EXPECT_TRUE(Exists(src + "/m3.txt"));
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/m0.txt")), "zero");
}

TEST_F(TransferDriverTest, DeleteGetRemovesTheServerFileAndLogsIt) {
    Set("CONFIG", "DeleteGet", "Yes");
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/dg.txt"), "bye"));
    const std::string base = MakeLocalDir("dg");
    auto c = RunToEnd(MakeSingleServerRun(Site(), {Job("", "dg.txt", "dg.txt", remote_, 3)}, base, 3,
                                          TransferMode::Get, 2, nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(base + "/dg.txt"), "bye");
    EXPECT_FALSE(Exists(Root(remote_ + "/dg.txt")));
    const std::vector<LogEntry> deleted = LogEntries(logcode::DeletionOk);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0].file, remote_ + "/dg.txt");
}

// ---- get folder modes ----

class TransferGetModes : public TransferDriverTest, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(TransferGetModes, StoresWhereTheModeSays) {
    Set("CONFIG", "FTPDirTree", GetParam().first);
    test::MakeDir(Root(remote_ + "/data"));
    test::MakeDir(Root(remote_ + "/data/web"));
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/data/web/index.html"), "page"));
    const std::string base = MakeLocalDir("getbase");
    auto c = RunToEnd(MakeSingleServerRun(Site(), {Job("", "index.html", "index.html", remote_ + "/data/web", 4)},
                                          base, 4, TransferMode::Get, 2, nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    std::string expected = std::string(GetParam().second);
    if (expected.find("$R") != std::string::npos) {
        expected.replace(expected.find("$R"), 2, remote_.substr(1));
    }
    EXPECT_EQ(test::ReadFile(base + "/" + expected), "page") << expected;
    const std::vector<LogEntry> done = LogEntries(logcode::FtpTransferComplete);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].source, "127.0.0.1");
    EXPECT_EQ(done[0].destination, "Local Machine");
    EXPECT_EQ(done[0].file, base + "/" + expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferGetModes,
                         ::testing::Values(std::make_pair("NO_PATH", "index.html"),
                                           std::make_pair("LAST_DIR", "web/index.html"),
                                           std::make_pair("FULL_PATH", "$R/data/web/index.html")));

TEST_F(TransferDriverTest, GetUsesEachJobsOwnFolderWithoutATargetFolder) {
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/own.txt"), "own"));
    const std::string own = MakeLocalDir("own");
    auto c = RunToEnd(MakeSingleServerRun(Site(), {Job(own, "own.txt", "own.txt", remote_, 3)}, "", 3,
                                          TransferMode::Get, 2, nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(own + "/own.txt"), "own");
}

TEST_F(TransferDriverTest, GetRefusesNamesThatLeaveTheTargetFolder) {
    (void)MakeLocalDir("jail");
    const std::string base = MakeLocalDir("jail/inner");
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/ok.txt"), "fine"));
    std::vector<CTransferJob> jobs{Job("", "ok.txt", "../escaped.txt", remote_, 4),
                                   Job("", "ok.txt", "..", remote_, 4), Job("", "ok.txt", "ok.txt", remote_, 4)};
    auto c = RunToEnd(MakeSingleServerRun(Site(), jobs, base, 12, TransferMode::Get, 2, nullptr, nullptr, false),
                      &sink);
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kInvalidOperation);
    EXPECT_NE(c->run().jobs[0].reason.find("cannot be used"), std::string::npos) << c->run().jobs[0].reason;
    EXPECT_EQ(c->run().jobs[1].status, ftpcode::kInvalidOperation);
    EXPECT_EQ(c->run().jobs[2].status, 0);
    EXPECT_FALSE(Exists(dir_ / "jail/escaped.txt"));
    EXPECT_EQ(test::ReadFile(base + "/ok.txt"), "fine");
}

TEST_F(TransferDriverTest, GetFullPathRefusesDotDotFolders) {
    Set("CONFIG", "FTPDirTree", "FULL_PATH");
    ASSERT_TRUE(test::WriteFile(Root(remote_ + "/f.txt"), "f"));
    (void)MakeLocalDir("jail2");
    const std::string base = MakeLocalDir("jail2/inner");
    auto c = RunToEnd(MakeSingleServerRun(Site(), {Job("", "f.txt", "f.txt", remote_ + "/sub/../..", 1)}, base, 1,
                                          TransferMode::Get, 2, nullptr, nullptr, false),
                      &sink);
    EXPECT_EQ(c->run().jobs[0].status, ftpcode::kInvalidOperation);
    EXPECT_FALSE(Exists(dir_ / "jail2/f.txt"));
}

// ---- whole-run cases ----

TEST_F(TransferDriverTest, EmptyJobListConnectsAndPlaysTheBatchSound) {
    auto c = Put({});
    EXPECT_EQ(c->DriverResult(), 1);
    EXPECT_EQ(LogEntries(logcode::FtpConnectionOk).size(), 1u);
    EXPECT_EQ(LogEntries(logcode::InternetConnectionOk).size(), 1u);
    EXPECT_EQ(player_->Played(), (std::vector<std::string>{"connect-ok.wav", "transfer-ok.wav"}));
    // The end closes the connection and the session.
    EXPECT_EQ(LogEntries(logcode::FtpConnectionClosed).size(), 1u);
    EXPECT_EQ(LogEntries(logcode::SessionClosed).size(), 1u);
}

TEST_F(TransferDriverTest, PerFileSoundsWhenAsked) {
    Set("SOUNDS", "TransferType", "FILE");
    const std::string src = MakeLocalDir("snd");
    ASSERT_TRUE(test::WriteFile(src + "/a", "a"));
    auto c = Put({Job(src, "a", "a", remote_, 1), Job(src, "missing", "missing", remote_, 1)});
    EXPECT_EQ(c->run().jobs[0].status, 0);
    EXPECT_EQ(c->run().jobs[1].status, 2);  // file not found
    EXPECT_EQ(player_->Played(),
              (std::vector<std::string>{"connect-ok.wav", "transfer-ok.wav", "transfer-fail.wav"}));
}

TEST_F(TransferDriverTest, ChangesToTheSitesFolderAndLogsIt) {
    test::MakeDir(Root(remote_ + "/start"));
    const std::string src = MakeLocalDir("cwd");
    ASSERT_TRUE(test::WriteFile(src + "/rel.txt", "rel"));
    // An empty remote folder in the job means where the session stands.
    auto c = RunToEnd(MakeSingleServerRun(Site(remote_ + "/start"), {Job(src, "rel.txt", "rel.txt", "", 3)}, "", 3,
                                          TransferMode::Put, 2, nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(Root(remote_ + "/start/rel.txt")), "rel");
    const std::vector<LogEntry> cd = LogEntries(logcode::ChangeDirectoryOk);
    ASSERT_EQ(cd.size(), 1u);
    EXPECT_EQ(cd[0].source, "/");
    EXPECT_EQ(cd[0].file, remote_ + "/start");
}

TEST_F(TransferDriverTest, AFailedFolderChangeEndsTheRunWithAMessage) {
    auto c = RunToEnd(MakeSingleServerRun(Site(remote_ + "/nowhere"), {Job(dir_.path(), "x", "x", "", 1)}, "", 1,
                                          TransferMode::Put, 2, nullptr, nullptr, false),
                      &sink);
    EXPECT_NE(c->DriverResult(), 0);
    EXPECT_NE(c->DriverResult(), 1);
    EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
    EXPECT_EQ(LogEntries(logcode::ChangeDirectoryFailed).size(), 1u);
    EXPECT_EQ(host.Messages().size(), 1u);
}

TEST_F(TransferDriverTest, AFailedPutRemembersTheTargetFolder) {
    Set("CONFIG", "FTPDirTree", "LAST_DIR");
    const std::string web = MakeIndex();
    auto c = Put({Job(web, "missing.html", "missing.html", remote_, 5)});
    EXPECT_EQ(c->run().jobs[0].status, 2);
    EXPECT_EQ(c->run().jobs[0].remoteDir, remote_ + "/web/");
    EXPECT_NE(c->run().jobs[0].reason.find("missing.html"), std::string::npos);
}

// ---- server to server folder modes ----

class TransferServerToServerModes : public EngineTest,
                            public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
protected:
    static void SetUpTestSuite() {
        vsftpd_ = std::make_unique<test::VsftpdServer>();
        pyftpd_ = std::make_unique<test::PyFtpdServer>();
    }
    static void TearDownTestSuite() {
        vsftpd_.reset();
        pyftpd_.reset();
    }
    static std::unique_ptr<test::VsftpdServer> vsftpd_;
    static std::unique_ptr<test::PyFtpdServer> pyftpd_;
};

std::unique_ptr<test::VsftpdServer> TransferServerToServerModes::vsftpd_;
std::unique_ptr<test::PyFtpdServer> TransferServerToServerModes::pyftpd_;

TEST_P(TransferServerToServerModes, RebuildsTheSourcePath) {
    if (vsftpd_->unavailable()) {
        GTEST_SKIP() << vsftpd_->error();
    }
    ASSERT_TRUE(vsftpd_->started()) << vsftpd_->error();
    ASSERT_TRUE(pyftpd_->started()) << pyftpd_->error();
    FastSettings(false);
    Set("CONFIG", "FTPDirTree", GetParam().first);
    test::MakeDir(pyftpd_->root() + "/data");
    test::MakeDir(pyftpd_->root() + "/data/web");
    ASSERT_TRUE(test::WriteFile(pyftpd_->root() + "/data/web/index.html", "s2s"));
    const std::string target = vsftpd_->uploadFolder() + "/" + GetParam().first;
    test::MakeDir(vsftpd_->uploadPath() + "/" + GetParam().first);
    if (::geteuid() == 0) {
        // vsftpd writes as its session user; let it create folders there.
        ::chmod((vsftpd_->uploadPath() + "/" + GetParam().first).c_str(), 0777);
    }
    auto c = RunToEnd(MakeServerToServerRun(Server("127.0.0.1", vsftpd_->port(), "anonymous", ""),
                                            Server("127.0.0.1", pyftpd_->port()),
                                            {Job("/data/web", "index.html", "index.html", target, 3)}, 3, 2,
                                            nullptr, nullptr, false),
                      &sink);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(vsftpd_->uploadPath() + "/" + GetParam().first + "/" + GetParam().second), "s2s");
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferServerToServerModes,
                         ::testing::Values(std::make_pair("NO_PATH", "index.html"),
                                           std::make_pair("LAST_DIR", "web/index.html"),
                                           std::make_pair("FULL_PATH", "data/web/index.html")));

}  // namespace
}  // namespace zyfar::enginetest
