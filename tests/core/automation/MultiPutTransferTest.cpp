// Send Parallel and Send Serial against pyftpdlib: every file arrives on
// every site byte for byte, target names follow FileCasingPut, and a site
// that refuses the login fails only its own run (parallel) or its own turn
// (serial), with its files queued for that site alone.
#include "MultiPutTestSupport.h"
#include "automation/EngineQueue.h"

namespace zyfar::multiput_test {
namespace {

class MultiPutTransferTest : public MultiPutTest {
protected:
    // The three servers as sites putting into "/up"; the site at `refusing`
    // has a wrong password.
    std::vector<CTransferSite> Sites(int refusing = -1) {
        std::vector<CTransferSite> sites;
        int i = 0;
        for (test::PyFtpdServer* s : servers_.all()) {
            EXPECT_TRUE(test::MakeDir(s->root() + "/up"));
            sites.push_back(
                CTransferSite{"127.0.0.1", "user", i == refusing ? "wrong" : "pass", "/up", 0, s->port()});
            ++i;
        }
        return sites;
    }
    // Photo.JPG, Notes.TXT, index.html, each with its own bytes.
    void MakeFiles() {
        files_ = {{"Photo.JPG", MakeLocalFile("Photo.JPG", 90000, 7)},
                  {"Notes.TXT", MakeLocalFile("Notes.TXT", 1500, 8)},
                  {"index.html", MakeLocalFile("index.html", 4096, 9)}};
    }
    std::vector<CTransferJob> Items() const {
        // Overlapping patterns, and the page both by pattern and by name.
        return {Item(local_, "*o*", 0), Item(local_, "*.JPG", 0), Item(local_, "*.TXT", 0),
                Item(local_, "*.html", 0), Item(local_, "index.html", 4096)};
    }

    ThreeServers servers_;
    std::vector<std::pair<std::string, std::string>> files_;
};

std::string Lower(std::string s) { return ApplyFileCasing(s, FileCasing::Lower); }

TEST_F(MultiPutTransferTest, ParallelSendsEveryFileToEverySiteWithCasing) {
    ASSERT_TRUE(servers_.started());
    WriteProfileString("CONFIG", "FileCasingPut", "LOWER_CASE");
    WriteProfileString("CONFIG", "DeletePut", "YES");
    MakeFiles();
    QueueFileSink sink(queuePath_);
    QuickStarter starter(&sink);
    const MultiPutResult r = SendParallel(Sites(), Items(), starter);
    ASSERT_EQ(r.runsStarted, 3);
    EXPECT_EQ(r.jobs, 3u);
    starter.WaitAll();

    for (test::PyFtpdServer* s : servers_.all()) {
        for (const auto& [name, bytes] : files_) {
            EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/up/" + Lower(name)), bytes)) << name;
            if (name != Lower(name)) {
                EXPECT_FALSE(test::ReadFile(s->root() + "/up/" + name).has_value()) << name;
            }
        }
    }
    // The local names are untouched, and mode 3 keeps the files.
    for (const auto& [name, bytes] : files_) EXPECT_TRUE(SameBytes(test::ReadFile(local_ + "/" + name), bytes));
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 9u);
    EXPECT_EQ(QueueCount(), 0);
}

TEST_F(MultiPutTransferTest, ParallelSiteThatRefusesTheLoginFailsAlone) {
    ASSERT_TRUE(servers_.started());
    WriteProfileString("SCHEDULE", "ResendFail", "1");
    MakeFiles();
    QueueFileSink sink(queuePath_);
    QuickStarter starter(&sink);
    ASSERT_EQ(SendParallel(Sites(0), Items(), starter).runsStarted, 3);
    starter.WaitAll();

    EXPECT_FALSE(test::ReadFile(servers_.a.root() + "/up/index.html").has_value());
    for (test::PyFtpdServer* s : {&servers_.b, &servers_.c}) {
        for (const auto& [name, bytes] : files_) {
            EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/up/" + name), bytes)) << name;
        }
    }
    for (std::size_t i = 0; i < starter.Count(); ++i) {
        for (const CTransferJob& job : starter.Controller(i).run().jobs) {
            EXPECT_EQ(job.status, i == 0 ? kJobNotAttempted : 0) << i << " " << job.sourceName;
        }
    }
    ASSERT_EQ(QueueCount(), 3);
    for (int e = 1; e <= 3; ++e) {
        EXPECT_EQ(Q(e, "Port"), std::to_string(servers_.a.port()));
        EXPECT_EQ(Q(e, "Password"), "wrong");
        EXPECT_EQ(Q(e, "RemDir"), "/up");
    }
}

TEST_F(MultiPutTransferTest, SerialServesEverySiteInTurnAndQueuesPerSite) {
    ASSERT_TRUE(servers_.started());
    WriteProfileString("SCHEDULE", "ResendFail", "1");
    MakeFiles();
    QueueFileSink sink(queuePath_);
    QuickStarter starter(&sink);
    const MultiPutResult r = SendSerial(Sites(1), Items(), starter);
    ASSERT_EQ(r.runsStarted, 1);
    starter.WaitAll();

    // The refusing site in the middle does not keep the third one from its files.
    for (test::PyFtpdServer* s : {&servers_.a, &servers_.c}) {
        for (const auto& [name, bytes] : files_) {
            EXPECT_TRUE(SameBytes(test::ReadFile(s->root() + "/up/" + name), bytes)) << name;
        }
    }
    EXPECT_FALSE(test::ReadFile(servers_.b.root() + "/up/Photo.JPG").has_value());
    const TransferRun& run = starter.Controller(0).run();
    ASSERT_EQ(run.sites.size(), 3u);
    EXPECT_EQ(run.sites[0].status, 0);
    EXPECT_NE(run.sites[1].status, 0);
    EXPECT_EQ(run.sites[2].status, 0);
    // Only the refusing site's files were queued, with its own port.
    ASSERT_EQ(QueueCount(), 3);
    for (int e = 1; e <= 3; ++e) EXPECT_EQ(Q(e, "Port"), std::to_string(servers_.b.port()));
    EXPECT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 3u);
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 6u);
}

}  // namespace
}  // namespace zyfar::multiput_test
