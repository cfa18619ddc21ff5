// The put and get drivers against pyftpdlib: folder modes, overwrite, names kept inside the target folder, deletion, folder changes, log and sounds.
#include <sys/resource.h>

#include <csignal>

#include "support/EngineFixture.h"
#include "ftp/FtpError.h"
#include "platform/SoundPlayer.h"

namespace zyfar::enginetest {
namespace {

class TransferDriverTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(SharedPyFtpd().started()) << SharedPyFtpd().error();
        FastSettings(true);
        SetSoundPlayer(player_);
        for (const char* key : {"ConnectOk", "ConnectFail", "TransferOk", "TransferFail"}) {
            Set("SOUNDS", key, std::string(key) + ".wav");
        }
        test::MakeDir(Remote(""));
    }
    void TearDown() override {
        SetSoundPlayer(nullptr);
        EngineTest::TearDown();
    }

    static std::string Remote(const std::string& path) { return SharedPyFtpd().root() + "/t" + path; }
    static TransferServer Site(const std::string& remoteDir = "") {
        return Server(SharedPyFtpd().port(), "user", "pass", remoteDir);
    }
    // <home>/data/web/index.html
    std::string MakeIndex() {
        (void)MakeLocalDir("data");
        const std::string web = MakeLocalDir("data/web");
        EXPECT_TRUE(test::WriteFile(web + "/index.html", "<html>hello</html>"));
        return web;
    }
    auto Put(std::vector<CTransferJob> jobs, TransferMode mode = TransferMode::Put) {
        return RunSingle(Site(), std::move(jobs), mode);
    }
    auto Get(std::vector<CTransferJob> jobs, const std::string& base) {
        return RunSingle(Site(), std::move(jobs), TransferMode::Get, base);
    }
    void MakeRemoteIndex() {
        test::MakeDir(Remote("/data"));
        test::MakeDir(Remote("/data/web"));
        ASSERT_TRUE(test::WriteFile(Remote("/data/web/index.html"), "page"));
        ASSERT_TRUE(test::WriteFile(Remote("/b.txt"), "b"));
    }

    std::shared_ptr<test::RecordingPlayer> player_ = std::make_shared<test::RecordingPlayer>();
};

TEST_F(TransferDriverTest, PutFolderModes) {
    struct Case {
        const char* mode;
        bool forceLastDir;
        const char* folder;  // "*": the whole local path
        std::size_t made;    // folders made
    };
    const Case cases[] = {{"NO_PATH", false, "", 0},
                          {"LAST_DIR", false, "/web", 1},
                          {"NO_PATH", true, "/web", 1},  // forceLastDir turns NO_PATH into LAST_DIR
                          {"FULL_PATH", false, "*", 0}};
    const std::string web = MakeIndex();
    ASSERT_TRUE(test::WriteFile(web + "/style.css", "body{}"));
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.forceLastDir ? " forced" : ""));
        TheTransferLog().Clear();
        Set("CONFIG", "FTPDirTree", c.mode);
        const std::string remote = "/t/m" + std::to_string(++n);
        test::MakeDir(SharedPyFtpd().root() + remote);
        auto run = RunToEnd(Single(Site(), {Job(web, "index.html", "index.html", remote, 18),
                                            Job(web, "style.css", "style.css", remote, 6)},
                                   TransferMode::Put, "", 2, c.forceLastDir));
        for (const CTransferJob& job : run->run().jobs) EXPECT_EQ(job.status, 0) << job.reason;
        const bool full = *c.folder == '*';
        const std::string folder = remote + (full ? web : c.folder);
        EXPECT_EQ(test::ReadFile(SharedPyFtpd().root() + folder + "/index.html"), "<html>hello</html>");
        EXPECT_EQ(test::ReadFile(SharedPyFtpd().root() + folder + "/style.css"), "body{}");
        // Each folder is made once (the second file reuses them): one per "/" in FULL_PATH.
        const std::vector<LogEntry> made = LogEntries(logcode::MakeDirectoryOk);
        EXPECT_EQ(made.size(), full ? static_cast<std::size_t>(std::count(web.begin(), web.end(), '/')) : c.made);
        EXPECT_TRUE(made.empty() || Text(made.back()) == "- > 127.0.0.1 | " + folder + " | -")
            << Text(made.back());
        EXPECT_EQ(Logged(logcode::FtpTransferComplete),
                  (std::vector<std::string>{"Local Machine > 127.0.0.1 | " + folder + "/index.html | -",
                                            "Local Machine > 127.0.0.1 | " + folder + "/style.css | -"}));
    }
}

TEST_F(TransferDriverTest, GetStoresWhereTheModeSays) {
    MakeRemoteIndex();
    // Without a target folder ("") each job's own local folder is used.
    for (const auto& [mode, stored] : {std::pair{"NO_PATH", "index.html"}, std::pair{"LAST_DIR", "web/index.html"},
                                       std::pair{"FULL_PATH", "t/data/web/index.html"}, std::pair{"", "index.html"}}) {
        SCOPED_TRACE(mode);
        TheTransferLog().Clear();
        Set("CONFIG", "FTPDirTree", *mode != '\0' ? mode : "NO_PATH");
        const std::string base = MakeLocalDir(std::string("get") + mode);
        auto c = Get({Job(*mode != '\0' ? "" : base, "index.html", "index.html", "/t/data/web", 4)},
                     *mode != '\0' ? base : "");
        ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
        const std::string expected = base + "/" + stored;
        EXPECT_EQ(test::ReadFile(expected), "page") << expected;
        EXPECT_EQ(Logged(logcode::FtpTransferComplete),
                  std::vector<std::string>{"127.0.0.1 > Local Machine | " + expected + " | -"});
    }
}

// A "LAST_DIR" folder that cannot be made leaves the job loop: all jobs stay unattempted.
TEST_F(TransferDriverTest, LastDirFailureLeavesTheLoopInEveryMode) {
    Set("CONFIG", "FTPDirTree", "LAST_DIR");
    const std::string web = MakeIndex();
    ASSERT_TRUE(test::WriteFile(web + "/b.txt", "b"));
    MakeRemoteIndex();
    // The remote folder (put, server to server) or the local target folder (get) is missing.
    auto put = Put({Job(web, "index.html", "index.html", "/t/missing/deeper", 18), Job(web, "b.txt", "b.txt", "/t", 1)});
    auto get = Get({Job("", "index.html", "index.html", "/t/data/web", 4), Job("", "b.txt", "b.txt", "/t", 1)},
                   Path("gone"));
    auto xfer = RunToEnd(MakeServerToServerRun(Site(), Site(),
                                               {Job("/t/data/web", "index.html", "index.html", "/t/missing/deeper", 4),
                                                Job("/t", "b.txt", "b.txt", "/t/x", 1)},
                                               5, 2, nullptr, nullptr, false));
    for (TransferController* c : {put.get(), get.get(), xfer.get()}) {
        SCOPED_TRACE(static_cast<int>(c->run().mode));
        EXPECT_EQ(c->DriverResult(), 1);
        EXPECT_EQ(c->run().jobs[0].status, kJobNotAttempted);
        EXPECT_EQ(c->run().jobs[1].status, kJobNotAttempted);
    }
    EXPECT_FALSE(Exists(Remote("/web/b.txt")));
    EXPECT_FALSE(Exists(Path("gone")));
    EXPECT_FALSE(Exists(Remote("/x/b.txt")));
    const std::vector<std::string> failed = Logged(logcode::FtpTransferFailed);
    ASSERT_EQ(failed.size(), 6u);
    EXPECT_EQ(failed[0], "Local Machine > 127.0.0.1 | index.html | FTP Put Canceled");
    EXPECT_EQ(failed[2], "127.0.0.1 > Local Machine | index.html | FTP Get Canceled");
    ASSERT_EQ(sink.Reports().size(), 3u);
    EXPECT_EQ(sink.Reports()[0].items.size(), 2u);
}

// FULL_PATH: a file "data" stands where the first job's folder would go (remote for the put, local for the get); the second job goes on.
TEST_F(TransferDriverTest, FullPathFolderFailureFailsOnlyThatJob) {
    Set("CONFIG", "FTPDirTree", "FULL_PATH");
    const std::string web = MakeIndex();
    const std::string other = MakeLocalDir("other");
    ASSERT_TRUE(test::WriteFile(other + "/o.txt", "o"));
    std::filesystem::create_directories(Remote(Root()));
    ASSERT_TRUE(test::WriteFile(Remote(Path("data")), "in the way"));
    auto put = Put({Job(web, "index.html", "index.html", "/t", 18), Job(other, "o.txt", "o.txt", "/t", 1)});
    EXPECT_EQ(put->run().jobs[0].status, kJobFolderFailed);
    EXPECT_EQ(put->run().jobs[0].reason, "Can't create file folder! FTP Put Canceled!");
    const std::vector<LogEntry> failed = LogEntries(logcode::MakeDirectoryFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].file, "index.html");
    EXPECT_EQ(put->run().jobs[1].status, 0) << put->run().jobs[1].reason;
    EXPECT_EQ(test::ReadFile(Remote(other + "/o.txt")), "o");

    MakeRemoteIndex();
    const std::string full = MakeLocalDir("full");
    test::MakeDir(full + "/t");
    ASSERT_TRUE(test::WriteFile(full + "/t/data", "in the way"));
    // A folder that climbs out of the target folder is refused.
    auto get = Get({Job("", "index.html", "index.html", "/t/data/web", 4), Job("", "b.txt", "b.txt", "/t", 1),
                    Job("", "b.txt", "b2.txt", "/t/sub/../../..", 1)}, full);
    EXPECT_EQ(get->run().jobs[0].status, kJobFolderFailed);
    EXPECT_EQ(get->run().jobs[2].status, ftpcode::kInvalidOperation);
    EXPECT_NE(get->run().jobs[2].reason.find("cannot be used"), std::string::npos) << get->run().jobs[2].reason;
    EXPECT_FALSE(Exists(Path("b2.txt")));
    EXPECT_EQ(get->run().jobs[1].status, 0) << get->run().jobs[1].reason;
    EXPECT_EQ(test::ReadFile(full + "/t/data"), "in the way");
    EXPECT_EQ(test::ReadFile(full + "/t/b.txt"), "b");
}

// The file size limit makes the local write fail as a full disk does (EFBIG).
TEST_F(TransferDriverTest, AGetOntoAFullDiskFailsThatJobWithTheReasonAndTheBatchGoesOn) {
    ASSERT_TRUE(test::WriteFile(Remote("/big.bin"), test::PatternBytes(3 * 1024 * 1024, 7)));
    ASSERT_TRUE(test::WriteFile(Remote("/small.txt"), "small"));
    const std::string base = MakeLocalDir("full");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 1024 * 1024;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead of killing the process
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto c = Get({Job("", "big.bin", "big.bin", "/t", 3 * 1024 * 1024), Job("", "small.txt", "small.txt", "/t", 5)},
                 base);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(c->run().jobs[0].status, filecause::kDiskFull);
    EXPECT_NE(c->run().jobs[0].reason.find(base + "/big.bin"), std::string::npos) << c->run().jobs[0].reason;
    EXPECT_EQ(c->run().jobs[1].status, 0) << c->run().jobs[1].reason;
    EXPECT_EQ(test::ListFolder(base), std::vector<std::string>{"small.txt"});  // no partial or temporary file
    EXPECT_EQ(test::ReadFile(base + "/small.txt"), "small");
    ASSERT_EQ(sink.Reports().size(), 1u);
    ASSERT_EQ(sink.Reports()[0].items.size(), 1u);
    EXPECT_EQ(sink.Reports()[0].items[0].errorText, c->run().jobs[0].reason);
}

TEST_F(TransferDriverTest, OverwriteOffSkipsExistingTargetsAndTheBatchBarReachesTheEnd) {
    const std::string src = MakeLocalDir("ow");
    ASSERT_TRUE(test::WriteFile(src + "/a.bin", std::string(1000, 'a')));
    ASSERT_TRUE(test::WriteFile(src + "/b.bin", std::string(3000, 'b')));
    ASSERT_TRUE(test::WriteFile(Remote("/a.bin"), "old"));
    auto c = Put({Job(src, "a.bin", "a.bin", "/t", 1000), Job(src, "b.bin", "b.bin", "/t", 3000)});
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    EXPECT_EQ(c->run().jobs[0].reason, "Can't overwrite existing file!");
    EXPECT_EQ(test::ReadFile(Remote("/a.bin")), "old");
    EXPECT_EQ(c->run().jobs[1].status, 0);
    const ProgressSnapshot p = c->run().progress.Snapshot();
    EXPECT_EQ(p.batchDone, 4000);
    EXPECT_EQ(p.batchBar, 100);
    EXPECT_EQ(p.batchBytes, "Sent 4000 bytes out of 4000 (100.00%)");
    // One batch sound: not every file succeeded.
    EXPECT_EQ(player_->played.Get(), (std::vector<std::string>{"ConnectOk.wav", "TransferFail.wav"}));

    // An existing folder of the target's name is skipped silently.
    ASSERT_TRUE(test::WriteFile(src + "/d", "x"));
    test::MakeDir(Remote("/d"));
    auto folder = Put({Job(src, "d", "d", "/t", 1)});
    EXPECT_EQ(folder->run().jobs[0].status, kJobNotAttempted);
    EXPECT_EQ(folder->run().jobs[0].reason, "");
    EXPECT_EQ(folder->run().progress.Snapshot().batchBar, 100);

    // A get keeps the local file.
    const std::string base = MakeLocalDir("getow");
    ASSERT_TRUE(test::WriteFile(base + "/a.bin", "local"));
    auto get = Get({Job("/elsewhere", "a.bin", "a.bin", "/t", 3)}, base);
    EXPECT_EQ(get->run().jobs[0].status, kJobTargetExists);
    EXPECT_EQ(get->run().jobs[0].localDir, base);
    EXPECT_EQ(test::ReadFile(base + "/a.bin"), "local");
    EXPECT_EQ(get->run().progress.Snapshot().batchBar, 100);

    Set("CONFIG", "Overwrite", "YES");
    auto again = Put({Job(src, "a.bin", "a.bin", "/t", 1000)});
    EXPECT_EQ(again->run().jobs[0].status, 0);
    EXPECT_EQ(test::ReadFile(Remote("/a.bin")), std::string(1000, 'a'));
    Set("CONFIG", "RenameLongFileNames", "YES");
    ASSERT_TRUE(test::WriteFile(src + "/Quarterly Report.txt", "q"));
    auto put = Put({Job(src, "Quarterly Report.txt", "Quarterly Report.txt", "/t", 1)});
    EXPECT_EQ(put->run().jobs[0].status, 0) << put->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(Remote("/Quarte~1.txt")), "q");
}

// An account that may store but not list, read or ask sizes: with Overwrite "NO" nothing is stored.
TEST_F(TransferDriverTest, AnUploadOnlyAccountNeverOverwritesWithOverwriteOff) {
    test::PyFtpdOptions options;
    options.uploadUsers = {{"drop", "box"}};
    test::PyFtpdServer server(options);
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(test::WriteFile(server.root() + "/report.txt", "the server's copy"));
    const std::string src = MakeLocalDir("drop");
    ASSERT_TRUE(test::WriteFile(src + "/report.txt", "mine"));
    const auto put = [&] {
        return RunSingle(Server(server.port(), "drop", "box"), {Job(src, "report.txt", "report.txt", "/", 4)},
                         TransferMode::PutKeep);
    };
    auto c = put();
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    EXPECT_NE(c->run().jobs[0].reason.find("does not say"), std::string::npos) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(server.root() + "/report.txt"), "the server's copy");
    Set("CONFIG", "Overwrite", "YES");
    EXPECT_EQ(put()->run().jobs[0].status, 0);
    EXPECT_EQ(test::ReadFile(server.root() + "/report.txt"), "mine");
}

TEST_F(TransferDriverTest, DeleteAfterTransfer) {
    Set("CONFIG", "DeletePut", "yes");
    Set("CONFIG", "DeleteGet", "Yes");
    Set("CONFIG", "Overwrite", "YES");
    const std::string src = MakeLocalDir("del");
    ASSERT_TRUE(test::WriteFile(src + "/m0.txt", "zero"));
    ASSERT_TRUE(test::WriteFile(src + "/m3.txt", "three"));
    // A put deletes its local file in mode 0 only; a get deletes the server's file.
    EXPECT_EQ(Put({Job(src, "m0.txt", "m0.txt", "/t", 4)}, TransferMode::Put)->run().jobs[0].status, 0);
    EXPECT_EQ(Put({Job(src, "m3.txt", "m3.txt", "/t", 5)}, TransferMode::PutKeep)->run().jobs[0].status, 0);
    EXPECT_FALSE(Exists(src + "/m0.txt"));
    EXPECT_TRUE(Exists(src + "/m3.txt"));
    EXPECT_EQ(test::ReadFile(Remote("/m0.txt")), "zero");
    const std::string base = MakeLocalDir("dg");
    auto get = Get({Job("", "m0.txt", "m0.txt", "/t", 4)}, base);
    ASSERT_EQ(get->run().jobs[0].status, 0) << get->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(base + "/m0.txt"), "zero");
    EXPECT_FALSE(Exists(Remote("/m0.txt")));
    EXPECT_EQ(Logged(logcode::DeletionOk), std::vector<std::string>{"- > 127.0.0.1 | /t/m0.txt | -"});
    // Every byte and file counts; "sending" (2) and "receiving" (1) show, idle at the end.
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(std::vector<std::int64_t>({s.localBytesRead, s.bytesSent, s.bytesReceived, s.localBytesWritten,
                                         s.bytesGot, s.filesTransferred}),
              std::vector<std::int64_t>({9, 9, 4, 4, 4, 3}));
    EXPECT_GT(s.transferSeconds, 0.0);
    EXPECT_EQ(s.serverToServerSeconds, 0.0);
    const std::vector<int> tray = host.trayStates.Get();
    EXPECT_NE(std::find(tray.begin(), tray.end(), 2), tray.end());
    EXPECT_NE(std::find(tray.begin(), tray.end(), 1), tray.end());
    EXPECT_EQ(tray.back(), 0);
}

TEST_F(TransferDriverTest, EmptyJobListConnectsAndPlaysTheBatchSound) {
    for (const TransferMode mode : {TransferMode::Put, TransferMode::Get, TransferMode::ServerToServer}) {
        SCOPED_TRACE(static_cast<int>(mode));
        TheTransferLog().Clear();
        player_->played.Clear();
        const bool s2s = mode == TransferMode::ServerToServer;
        auto c = s2s ? RunToEnd(MakeServerToServerRun(Site(), Site(), {}, 0, 2, nullptr, nullptr, false))
                     : RunSingle(Site(), {}, mode, MakeLocalDir("empty"));
        EXPECT_EQ(c->DriverResult(), 1);
        EXPECT_TRUE(sink.Reports().back().items.empty());
        std::vector<std::string> sounds(s2s ? 2 : 1, "ConnectOk.wav");
        sounds.push_back("TransferOk.wav");
        EXPECT_EQ(player_->played.Get(), sounds);
        EXPECT_EQ(LogEntries(logcode::FtpConnectionOk).size(), s2s ? 2u : 1u);
        EXPECT_EQ(LogEntries(logcode::SessionClosed).size(), s2s ? 2u : 1u);
    }
}

TEST_F(TransferDriverTest, PerFileSoundsAndAFailedPutRemembersItsFolder) {
    Set("SOUNDS", "TransferType", "FILE");
    Set("CONFIG", "FTPDirTree", "LAST_DIR");
    const std::string web = MakeIndex();
    auto c = Put({Job(web, "index.html", "index.html", "/t", 18), Job(web, "missing", "missing", "/t", 1)});
    EXPECT_EQ(c->run().jobs[0].status, 0);
    EXPECT_EQ(c->run().jobs[1].status, 2);  // file not found
    EXPECT_EQ(c->run().jobs[1].remoteDir, "/t/web/");
    // Its queue entry keeps the folder the attempt started from, so that a retry aims at the same place.
    ASSERT_EQ(sink.Reports().size(), 1u);
    EXPECT_EQ(sink.Reports()[0].items.at(0).remoteDir, "/t");
    EXPECT_NE(c->run().jobs[1].reason.find("missing"), std::string::npos);
    EXPECT_EQ(player_->played.Get(), (std::vector<std::string>{"ConnectOk.wav", "TransferOk.wav", "TransferFail.wav"}));
}

TEST_F(TransferDriverTest, ChangesToTheSitesFolderAndLogsIt) {
    test::MakeDir(Remote("/start"));
    const std::string src = MakeLocalDir("cwd");
    ASSERT_TRUE(test::WriteFile(src + "/rel.txt", "rel"));
    // An empty remote folder in the job: where the session stands.
    auto c = RunSingle(Site("/t/start"), {Job(src, "rel.txt", "rel.txt", "", 3)}, TransferMode::Put);
    ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
    EXPECT_EQ(test::ReadFile(Remote("/start/rel.txt")), "rel");
    EXPECT_EQ(Logged(logcode::ChangeDirectoryOk), std::vector<std::string>{"/ > 127.0.0.1 | /t/start | -"});

    auto lost = RunSingle(Site("/t/nowhere"), {Job(src, "rel.txt", "rel.txt", "", 3)}, TransferMode::Put);
    EXPECT_NE(lost->DriverResult(), 0);
    EXPECT_NE(lost->DriverResult(), 1);
    EXPECT_EQ(lost->run().jobs[0].status, kJobNotAttempted);
    EXPECT_EQ(LogEntries(logcode::ChangeDirectoryFailed).size(), 1u);
    EXPECT_EQ(host.shown.Get().size(), 1u);
}

}  // namespace
}  // namespace zyfar::enginetest
