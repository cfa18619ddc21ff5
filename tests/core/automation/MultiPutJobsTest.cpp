// Building the job list of a multiple-site put and handing the runs to a
// starter: pattern expansion, the explicit-wins rule, casing, the empty-list
// messages, and the shape of the parallel and serial runs.
#include "MultiPutTestSupport.h"

#include <sys/stat.h>

namespace zyfar::multiput_test {
namespace {

std::vector<std::string> SourceNames(const std::vector<CTransferJob>& jobs) {
    std::vector<std::string> out;
    for (const CTransferJob& j : jobs) out.push_back(j.sourceName);
    return out;
}

std::vector<std::string> TargetNames(const std::vector<CTransferJob>& jobs) {
    std::vector<std::string> out;
    for (const CTransferJob& j : jobs) out.push_back(j.targetName);
    return out;
}

using MultiPutJobsTest = MultiPutTest;

TEST(MultiPutNames, PatternFolderIsThePathUpToItsLastSlash) {
    EXPECT_EQ(PatternFolder("/web/site/*.html"), "/web/site");
    EXPECT_EQ(PatternFolder("/*.html"), "/");
    EXPECT_EQ(PatternFolder("*.html"), "");
    EXPECT_EQ(PatternFolder("/web/"), "/web");
}

TEST(MultiPutNames, CasingChangesAsciiLettersOnly) {
    EXPECT_EQ(ParseFileCasing("UPPER_CASE"), FileCasing::Upper);
    EXPECT_EQ(ParseFileCasing("LOWER_CASE"), FileCasing::Lower);
    EXPECT_EQ(ParseFileCasing("PRESERVE"), FileCasing::Preserve);
    EXPECT_EQ(ParseFileCasing("lower_case"), FileCasing::Preserve);  // exact texts only
    EXPECT_EQ(ParseFileCasing(""), FileCasing::Preserve);
    EXPECT_EQ(ApplyFileCasing("Report-2024.TXT", FileCasing::Lower), "report-2024.txt");
    EXPECT_EQ(ApplyFileCasing("Report-2024.txt", FileCasing::Upper), "REPORT-2024.TXT");
    EXPECT_EQ(ApplyFileCasing("Mixed.Case", FileCasing::Preserve), "Mixed.Case");
    // "Ä" in UTF-8 stays byte for byte.
    EXPECT_EQ(ApplyFileCasing("\xC3\x84rger.TXT", FileCasing::Lower), "\xC3\x84rger.txt");
}

TEST_F(MultiPutJobsTest, PatternListsMatchingRegularFilesOfItsFolder) {
    MakeLocalFile("b.html", 20);
    MakeLocalFile("a.html", 10);
    MakeLocalFile("c.txt", 5);
    ASSERT_TRUE(test::MakeDir(local_ + "/dir.html"));  // a folder is no file to send
    const MultiPutJobs built = BuildMultiPutJobs({Item(local_, "*.html", 0)}, FileCasing::Preserve);
    EXPECT_EQ(SourceNames(built.jobs), (std::vector<std::string>{"a.html", "b.html"}));
    ASSERT_EQ(built.jobs.size(), 2u);
    EXPECT_EQ(built.jobs[0].localDir, local_);
    EXPECT_EQ(built.jobs[0].size, 10);
    EXPECT_EQ(built.jobs[1].size, 20);
    for (const CTransferJob& j : built.jobs) {
        EXPECT_EQ(j.status, kJobNotAttempted);
        EXPECT_EQ(j.queueEntry, 0);
        EXPECT_NE(j.timeLow | j.timeHigh, 0u);  // the file's time from the listing
    }
    EXPECT_EQ(built.batchSize, 30);
    EXPECT_EQ(built.patternsWithoutMatch, 0);
}

TEST_F(MultiPutJobsTest, ExplicitItemWinsOverPatternWhicheverComesFirst) {
    MakeLocalFile("index.html", 7);
    MakeLocalFile("about.html", 3);
    const CTransferJob explicitItem = Item(local_, "index.html", 7, "Start.html");
    for (const bool patternFirst : {true, false}) {
        SCOPED_TRACE(patternFirst ? "pattern first" : "explicit first");
        std::vector<CTransferJob> items;
        if (patternFirst) items.push_back(Item(local_, "*.html", 0));
        items.push_back(explicitItem);
        if (!patternFirst) items.push_back(Item(local_, "*.html", 0));
        const MultiPutJobs built = BuildMultiPutJobs(items, FileCasing::Preserve);
        const std::vector<std::string> sources = SourceNames(built.jobs);
        EXPECT_EQ(std::count(sources.begin(), sources.end(), "index.html"), 1);
        EXPECT_EQ(std::count(sources.begin(), sources.end(), "about.html"), 1);
        // The one index.html is the explicit item with its own target name.
        const std::vector<std::string> targets = TargetNames(built.jobs);
        EXPECT_EQ(std::count(targets.begin(), targets.end(), "Start.html"), 1);
        EXPECT_EQ(std::count(targets.begin(), targets.end(), "index.html"), 0);
        EXPECT_EQ(built.batchSize, 10);
    }
}

TEST_F(MultiPutJobsTest, OverlappingPatternsGiveEachFileOnce) {
    MakeLocalFile("index.html", 1);
    MakeLocalFile("info.html", 1);
    MakeLocalFile("x.html", 1);
    // The same folder written with a trailing slash is the same folder.
    const MultiPutJobs built = BuildMultiPutJobs(
        {Item(local_, "i*.html", 0), Item(local_ + "/", "*.html", 0), Item(local_, "*.htm?", 0)},
        FileCasing::Preserve);
    EXPECT_EQ(SourceNames(built.jobs), (std::vector<std::string>{"index.html", "info.html", "x.html"}));
}

TEST_F(MultiPutJobsTest, EmptyFileWithoutWildcardIsStillSent) {
    MakeLocalFile("empty.dat", 0);
    const MultiPutJobs built = BuildMultiPutJobs({Item(local_, "empty.dat", 0)}, FileCasing::Preserve);
    ASSERT_EQ(built.jobs.size(), 1u);
    EXPECT_EQ(built.jobs[0].sourceName, "empty.dat");
    EXPECT_EQ(built.jobs[0].size, 0);
}

TEST_F(MultiPutJobsTest, PatternWithoutMatchOrFolderGivesNoJob) {
    const MultiPutJobs built =
        BuildMultiPutJobs({Item(local_, "*.none", 0), Item(local_ + "/missing", "*", 0)}, FileCasing::Preserve);
    EXPECT_TRUE(built.jobs.empty());
    EXPECT_EQ(built.patternsWithoutMatch, 2);
}

TEST_F(MultiPutJobsTest, CasingChangesTargetNamesOnly) {
    MakeLocalFile("Photo.JPG", 4);
    MakeLocalFile("Notes.Txt", 4);
    const std::vector<CTransferJob> items{Item(local_, "*.JPG", 0), Item(local_, "Notes.Txt", 4)};
    const MultiPutJobs lower = BuildMultiPutJobs(items, FileCasing::Lower);
    EXPECT_EQ(SourceNames(lower.jobs), (std::vector<std::string>{"Photo.JPG", "Notes.Txt"}));
    EXPECT_EQ(TargetNames(lower.jobs), (std::vector<std::string>{"photo.jpg", "notes.txt"}));
    const MultiPutJobs upper = BuildMultiPutJobs(items, FileCasing::Upper);
    EXPECT_EQ(TargetNames(upper.jobs), (std::vector<std::string>{"PHOTO.JPG", "NOTES.TXT"}));
}

TEST_F(MultiPutJobsTest, EmptySiteListOrFileListStartsNothing) {
    MakeLocalFile("a.txt", 1);
    RecordingStarter starter;
    const std::vector<CTransferSite> sites{CTransferSite{"127.0.0.1", "user", "pass", "", 0, 21}};

    MultiPutResult r = SendParallel({}, {Item(local_, "a.txt", 1)}, starter);
    EXPECT_EQ(r.outcome, MultiPutOutcome::NoSites);
    r = SendSerial(sites, {}, starter);
    EXPECT_EQ(r.outcome, MultiPutOutcome::NoFiles);
    // Only a pattern that matches nothing: nothing to send either.
    r = SendParallel(sites, {Item(local_, "*.none", 0)}, starter);
    EXPECT_EQ(r.outcome, MultiPutOutcome::NoFiles);

    EXPECT_TRUE(starter.runs.empty());
    EXPECT_EQ(ui_.Messages(),
              (std::vector<std::string>{"No target FTP sites have been selected", "No files to FTP!",
                                        "No files to FTP!"}));
    for (MessageKind kind : ui_.Kinds()) EXPECT_EQ(kind, MessageKind::Stop);
}

TEST_F(MultiPutJobsTest, ParallelStartsOneKeepingPutPerSiteTwoHundredMsApart) {
    MakeLocalFile("a.txt", 11);
    MakeLocalFile("b.txt", 22);
    WriteProfileString("CONFIG", "FileCasingPut", "UPPER_CASE");
    const std::vector<CTransferSite> sites{CTransferSite{"one", "u1", "p1", "/in", 5, 2121},
                                           CTransferSite{"two", "u2", "p2", "", 0, 21},
                                           CTransferSite{"three", "u3", "p3", "/x", 0, 990}};
    RecordingStarter starter;
    const MultiPutResult r = SendParallel(sites, {Item(local_, "*.txt", 0)}, starter);
    EXPECT_EQ(r.outcome, MultiPutOutcome::Started);
    EXPECT_EQ(r.runsStarted, 3);
    EXPECT_EQ(starter.events,
              (std::vector<std::string>{"start one", "pause 200", "start two", "pause 200", "start three"}));
    EXPECT_EQ(starter.placements, (std::vector<bool>{false, true, true}));
    ASSERT_EQ(starter.runs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const TransferRun& run = *starter.runs[i];
        EXPECT_EQ(run.mode, TransferMode::PutKeep);
        EXPECT_FALSE(run.serial);
        EXPECT_EQ(run.typeFlag, 1);
        EXPECT_TRUE(run.localTargetDir.empty());
        EXPECT_FALSE(run.forceLastDir);
        EXPECT_EQ(run.batchSize, 33);
        EXPECT_EQ(run.source.host, sites[i].host);
        EXPECT_EQ(run.source.login, sites[i].login);
        EXPECT_EQ(run.source.password, sites[i].password);
        EXPECT_EQ(run.source.remoteDir, sites[i].remoteDir);
        EXPECT_EQ(run.source.port, sites[i].port);
        EXPECT_EQ(TargetNames(run.jobs), (std::vector<std::string>{"A.TXT", "B.TXT"}));
    }
    // Each run owns its jobs: a change to one run's jobs is not seen by another.
    starter.runs[0]->jobs[0].status = 0;
    EXPECT_EQ(starter.runs[1]->jobs[0].status, kJobNotAttempted);
}

TEST_F(MultiPutJobsTest, SerialStartsOneRunOverEverySite) {
    MakeLocalFile("a.txt", 11);
    const std::vector<CTransferSite> sites{CTransferSite{"one", "u1", "p1", "/in", 7, 2121},
                                           CTransferSite{"two", "u2", "p2", "", 0, 21}};
    RecordingStarter starter;
    const MultiPutResult r = SendSerial(sites, {Item(local_, "a.txt", 11)}, starter);
    EXPECT_EQ(r.runsStarted, 1);
    ASSERT_EQ(starter.runs.size(), 1u);
    const TransferRun& run = *starter.runs[0];
    EXPECT_TRUE(run.serial);
    EXPECT_EQ(run.mode, TransferMode::PutKeep);
    EXPECT_EQ(run.typeFlag, 1);
    ASSERT_EQ(run.sites.size(), 2u);
    EXPECT_EQ(run.sites[0].host, "one");
    EXPECT_EQ(run.sites[0].status, 0);  // a copy, fresh for this run
    EXPECT_EQ(run.sites[1].host, "two");
    EXPECT_EQ(starter.events, (std::vector<std::string>{"start one"}));
}

}  // namespace
}  // namespace zyfar::multiput_test
