// The multiple-site put: job lists, empty lists, run shapes, and sends to three servers with one refusing.
#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"

namespace zyfar::autotest {
namespace {

std::vector<std::string> Names(const std::vector<CTransferJob>& jobs, bool targets = false) {
    std::vector<std::string> out;
    for (const CTransferJob& j : jobs) out.push_back(targets ? j.targetName : j.sourceName);
    return out;
}

using MultiPutJobsTest = AutomationTest;

TEST(MultiPutNames, PatternFoldersAndCasing) {
    const std::pair<const char*, const char*> folders[] = {
        {"/web/site/*.html", "/web/site"}, {"/*.html", "/"}, {"*.html", ""}, {"/web/", "/web"}};
    for (const auto& [path, folder] : folders) EXPECT_EQ(PatternFolder(path), folder) << path;
    EXPECT_EQ(ApplyFileCasing("Report-2024.TXT", FileCasing::Lower), "report-2024.txt");
    EXPECT_EQ(ApplyFileCasing("\xC3\x84rger.TXT", FileCasing::Lower), "\xC3\x84rger.txt");  // UTF-8 stays
}

TEST_F(MultiPutJobsTest, JobListsFromPatternsAndNames) {
    for (const auto& [name, size] : std::vector<std::pair<const char*, std::size_t>>{
             {"b.html", 20}, {"a.html", 10}, {"c.txt", 5}, {"info.html", 1}, {"empty.dat", 0}, {"Photo.JPG", 4}}) {
        MakeLocalFile(name, size);
    }
    ASSERT_TRUE(test::MakeDir(local_ + "/dir.html"));  // a folder is no file to send
    struct Case {
        const char* what;
        std::vector<CTransferJob> items;
        FileCasing casing;
        std::vector<std::string> sources, targets;
        std::int64_t batch;
        int withoutMatch;
    };
    const std::vector<Case> cases{
        {"pattern", {Item(local_, "*.html", 0)}, FileCasing::Preserve,
         {"a.html", "b.html", "info.html"}, {"a.html", "b.html", "info.html"}, 31, 0},
        // The same folder with a trailing slash is the same folder.
        {"overlapping patterns", {Item(local_, "i*.html", 0), Item(local_ + "/", "*.html", 0), Item(local_, "*.htm?", 0)},
         FileCasing::Preserve, {"info.html", "a.html", "b.html"}, {"info.html", "a.html", "b.html"}, 31, 0},
        {"explicit before its pattern", {Item(local_, "a.html", 10, "Start.html"), Item(local_, "*.html", 0)},
         FileCasing::Preserve, {"a.html", "b.html", "info.html"}, {"Start.html", "b.html", "info.html"}, 31, 0},
        {"an empty file without wildcard", {Item(local_, "empty.dat", 0)}, FileCasing::Preserve,
         {"empty.dat"}, {"empty.dat"}, 0, 0},
        {"no match, no folder", {Item(local_, "*.none", 0), Item(local_ + "/missing", "*", 0)}, FileCasing::Preserve,
         {}, {}, 0, 2},
        {"casing changes targets only", {Item(local_, "*.JPG", 0), Item(local_, "c.txt", 5)}, FileCasing::Upper,
         {"Photo.JPG", "c.txt"}, {"PHOTO.JPG", "C.TXT"}, 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MultiPutJobs built = BuildMultiPutJobs(c.items, c.casing);
        std::vector<std::string> sources = Names(built.jobs);
        std::vector<std::string> targets = Names(built.jobs, true);
        std::vector<std::string> expectedSources = c.sources;
        std::vector<std::string> expectedTargets = c.targets;
        // Where an explicit item wins over its pattern, only the set of jobs is fixed.
        if (std::string(c.what).rfind("explicit", 0) == 0) {
            for (auto* names : {&sources, &targets, &expectedSources, &expectedTargets}) {
                std::sort(names->begin(), names->end());
            }
        }
        EXPECT_EQ(sources, expectedSources);
        EXPECT_EQ(targets, expectedTargets);
        EXPECT_EQ(built.batchSize, c.batch);
        EXPECT_EQ(built.patternsWithoutMatch, c.withoutMatch);
        for (const CTransferJob& j : built.jobs) {
            EXPECT_EQ(j.localDir + "|" + std::to_string(j.status) + "|" + std::to_string(j.queueEntry),
                      local_ + "|" + std::to_string(kJobNotAttempted) + "|0");
            // A pattern's match carries the file's time from the folder listing.
            EXPECT_TRUE(std::string(c.what) != "pattern" || (j.timeLow | j.timeHigh) != 0u) << j.sourceName;
        }
    }
}

TEST_F(MultiPutJobsTest, EmptySiteListOrFileListStartsNothing) {
    MakeLocalFile("a.txt", 1);
    RecordingStarter starter;
    const std::vector<CTransferSite> sites{CTransferSite{"127.0.0.1", "user", "pass", "", 0, 21}};
    EXPECT_EQ(SendParallel({}, {Item(local_, "a.txt", 1)}, starter).outcome, MultiPutOutcome::NoSites);
    EXPECT_EQ(SendSerial(sites, {}, starter).outcome, MultiPutOutcome::NoFiles);
    // Only a pattern that matches nothing: nothing to send either.
    EXPECT_EQ(SendParallel(sites, {Item(local_, "*.none", 0)}, starter).outcome, MultiPutOutcome::NoFiles);
    EXPECT_TRUE(starter.runs.empty());
    EXPECT_EQ(host.Texts(), (std::vector<std::string>{"No target FTP sites have been selected", "No files to FTP!",
                                                     "No files to FTP!"}));
    for (const test::ShownMessage& m : host.shown.Get()) EXPECT_EQ(m.kind, MessageKind::Stop);
}

// What each run carries: MultiPutRefusingSiteTest against three servers.
TEST_F(MultiPutJobsTest, ParallelStartsOneRunPerSiteTwoHundredMsApart) {
    MakeLocalFile("a.txt", 11);
    const CTransferSite site{"one", "u1", "p1", "/in", 5, 2121};
    RecordingStarter starter;
    const MultiPutResult r = SendParallel({site, site, site}, {Item(local_, "*.txt", 0)}, starter);
    EXPECT_EQ(r.outcome, MultiPutOutcome::Started);
    EXPECT_EQ(r.runsStarted, 3);
    EXPECT_EQ(starter.events,
              (std::vector<std::string>{"start one", "pause 200", "start one", "pause 200", "start one"}));
    EXPECT_EQ(starter.placements, (std::vector<bool>{false, true, true}));
}

// ---- against three servers ----

class MultiPutTransferTest : public AutomationTest {
protected:
    // The three servers as sites putting into "/up"; the site at `refusing` has a wrong password.
    std::vector<CTransferSite> Sites(int refusing = -1) {
        std::vector<CTransferSite> sites;
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(test::MakeDir(servers_[i].root() + "/up"));
            sites.push_back(
                CTransferSite{"127.0.0.1", "user", i == refusing ? "wrong" : "pass", "/up", 0, servers_[i].port()});
        }
        return sites;
    }
    // Three files by overlapping patterns, the page also by name.
    std::vector<CTransferJob> MakeItems() {
        files_ = {{"Photo.JPG", MakeLocalFile("Photo.JPG", 90000, 7)},
                  {"Notes.TXT", MakeLocalFile("Notes.TXT", 1500, 8)},
                  {"index.html", MakeLocalFile("index.html", 4096, 9)}};
        return {Item(local_, "*o*", 0), Item(local_, "*.JPG", 0), Item(local_, "*.TXT", 0), Item(local_, "*.html", 0),
                Item(local_, "index.html", 4096)};
    }
    // The files on a server, under their lower-cased names.
    void ExpectFiles(int server, bool present) {
        for (const auto& [name, bytes] : files_) {
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const std::string path = servers_[server].root() + "/up/" + lower;
            EXPECT_TRUE(present ? SameBytes(ReadFile(path), bytes) : ::testing::AssertionResult(!ReadFile(path))) << path;
        }
    }

    test::PyFtpdServer servers_[3];
    std::vector<std::pair<std::string, std::string>> files_;
};

class MultiPutRefusingSiteTest : public MultiPutTransferTest, public ::testing::WithParamInterface<bool> {};

// Every file reaches every other site under its cased name; the local files stay despite DeletePut.
TEST_P(MultiPutRefusingSiteTest, ASiteThatRefusesTheLoginFailsAloneAndQueuesItsFiles) {
    const bool serial = GetParam();
    const int refusing = serial ? 1 : 0;  // serial: the middle site must not keep the third from its files
    for (const auto& s : servers_) ASSERT_TRUE(s.started()) << s.error();
    Set("SCHEDULE", "ResendFail", "1");
    Set("CONFIG", "FileCasingPut", "LOWER_CASE");
    Set("CONFIG", "DeletePut", "YES");
    QueueFileSink queue(queuePath_);
    QuickStarter starter(&queue);
    const std::vector<CTransferJob> items = MakeItems();
    const MultiPutResult r = serial ? SendSerial(Sites(refusing), items, starter) : SendParallel(Sites(refusing), items, starter);
    ASSERT_EQ(r.runsStarted, serial ? 1 : 3);
    EXPECT_EQ(r.jobs, 3u);
    starter.WaitAll();
    for (int i = 0; i < 3; ++i) {
        ExpectFiles(i, i != refusing);
        EXPECT_FALSE(ReadFile(servers_[i].root() + "/up/Photo.JPG").has_value());
    }
    for (const auto& [name, bytes] : files_) EXPECT_TRUE(SameBytes(ReadFile(LocalFile(name)), bytes));
    if (serial) {
        const TransferRun& run = starter.Controller(0).run();
        ASSERT_EQ(run.sites.size(), 3u);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(run.sites[i].status != 0, i == refusing) << i;
    } else {
        for (std::size_t i = 0; i < starter.Count(); ++i) {
            for (const CTransferJob& job : starter.Controller(i).run().jobs) {
                EXPECT_EQ(job.status, i == 0 ? kJobNotAttempted : 0) << i << " " << job.sourceName;
            }
        }
    }
    ASSERT_EQ(QueueCount(), 3);
    for (int e = 1; e <= 3; ++e) {
        EXPECT_EQ(Q(e, "Port"), std::to_string(servers_[refusing].port()));
        EXPECT_EQ(Q(e, "Password"), "wrong");
        EXPECT_EQ(Q(e, "RemDir"), "/up");
    }
    EXPECT_EQ(LogEntries(logcode::FtpTransferFailed).size(), 3u);
    EXPECT_EQ(LogEntries(logcode::FtpTransferComplete).size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(ParallelAndSerial, MultiPutRefusingSiteTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& tested) { return tested.param ? "Serial" : "Parallel"; });

}  // namespace
}  // namespace zyfar::autotest
