// Reading a link, its file list and profiles, and PendingLinkTransfers of the command-line run.
#include "automation/LinkRun.h"
#include "AutomationTestSupport.h"

#include <algorithm>

namespace zyfar::autotest {
namespace {

using LinkRunTest = AutomationTest;

bool HasProblem(const std::vector<std::string>& problems, const std::string& words) {
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(words) != std::string::npos; });
}

// Jobs take the size from the disk and the put casing; missing files and profiles are named and left out.
TEST_F(LinkRunTest, PlanReadsFilesAndSitesAndLeavesOutWhatIsMissing) {
    MakeLocalFile("Here.TXT", 5);
    WriteProfileString("CONFIG", "FileCasingPut", "LOWER_CASE");
    ASSERT_TRUE(test::MakeDir(local_ + "/folder"));
    const std::string list = MakeFileList("mixed", {"Here.TXT", "gone.txt", "folder"});
    const std::string good = MakeProfile("good", "good.example", 2121, "p1", "/pub", "u1");
    const std::string noHost = MakeProfile("nohost", "x", 21);
    ASSERT_TRUE(WritePrivateProfileString("Settings", "Host", "", noHost));
    const std::string junk = ProfilesFolder() + "/junk.ini";
    ASSERT_TRUE(test::WriteFile(junk, std::string("\x7f" "ELF\0\0binary junk", 17)));
    MakeLink("partial", {good, ProfilesFolder() + "/deleted.ini", noHost, junk}, list);

    const LinkRunPlan plan = PlanLinkRun("partial");
    EXPECT_TRUE(plan.found && plan.CanRun());
    ASSERT_EQ(plan.jobs.size(), 1u);
    const CTransferJob& j = plan.jobs[0];
    EXPECT_EQ(j.localDir + "/" + j.sourceName + " > " + j.targetName + " " + std::to_string(j.size) + " " +
                  std::to_string(j.status) + " " + std::to_string(plan.batchSize),
              local_ + "/Here.TXT > here.txt 5 -1 5");
    ASSERT_EQ(plan.servers.size(), 1u);
    EXPECT_EQ(ServerText(plan.servers[0]), "good.example u1/p1 /pub :2121");
    for (const std::string& words : {local_ + "/gone.txt does not exist", local_ + "/folder is not a file",
                                     std::string("deleted.ini does not exist"), std::string("nohost.ini names no host"),
                                     std::string("junk.ini names no host")})
        EXPECT_TRUE(HasProblem(plan.problems, words)) << words;
    EXPECT_EQ(plan.problems.size(), 5u);
}

TEST_F(LinkRunTest, MalformedLinkAndListFilesGiveClearErrors) {
    MakeLocalFile("a.txt", 1);
    const std::string site = MakeProfile("site", "h.example", 21);
    const std::string list = MakeFileList("list", {"a.txt"});
    const std::string five = MakeFileList("five", {"a.txt"});
    ASSERT_TRUE(WritePrivateProfileString("LIST", "NumItems", "5", five + "/flist.ini"));
    const std::string oneSite = "[SITE1]\nSITE=" + site + "\n";
    const std::pair<const char*, std::string> files[] = {
        {"garbage", std::string("\x01\x02not an ini\n\xff")},
        {"holes", "[LinkItems]\nSites=3\nFiles=" + list + "/flist.ini\n" + oneSite + "[SITE3]\nSITE=" + site + "\n"},
        {"lost", "[LinkItems]\nSites=1\nFiles=/nonexistent/flist.ini\n" + oneSite},
        {"junk", "[LinkItems]\nSites=1\nFiles=" + Path("junk.ini") + "\n" + oneSite},
    };
    for (const auto& [name, text] : files) ASSERT_TRUE(test::WriteFile(LinksFolder() + "/" + name + ".ini", text));
    ASSERT_TRUE(test::WriteFile(Path("junk.ini"), "this is not a file list\n"));
    MakeLink("nolist", {site}, std::nullopt);
    MakeLink("short", {site}, five);
    struct Case {
        const char* link;
        bool canRun;
        std::vector<std::string> problems;  // words each of some problem
    };
    const std::vector<Case> cases{
        {"nolist", false, {"names no file list"}},
        {"garbage", false, {"names no file list", "names no site profiles"}},
        {"holes", true, {"Section SITE2 of the link names no site profile"}},  // a count above the sections
        {"lost", false, {"The file list /nonexistent/flist.ini does not exist"}},
        {"junk", false, {"lists no files"}},
        {"short", true, {"says it lists 5 files, but only 1 of them can be read"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        const LinkRunPlan plan = PlanLinkRun(c.link);
        EXPECT_TRUE(plan.found);
        EXPECT_EQ(plan.CanRun(), c.canRun);
        for (const std::string& words : c.problems) EXPECT_TRUE(HasProblem(plan.problems, words)) << words;
    }
    EXPECT_EQ(PlanLinkRun("holes").servers.size(), 2u);
    // Unknown or unsafe names, and a folder named like a link, are not found.
    ASSERT_TRUE(test::MakeDir(LinksFolder() + "/dir.ini"));
    for (const char* name : {"nosuch", "", "../Profiles/site", "dir"}) EXPECT_FALSE(PlanLinkRun(name).found) << name;
}

TEST_F(LinkRunTest, CommandLineRunCountsItsRunsBeforeTheFirstStartsOrEndsAtOnce) {
    MakeLocalFile("a.txt", 1);
    const std::string list = MakeFileList("list", {"a.txt"});
    MakeLink("three", {MakeProfile("s1", "one", 21), MakeProfile("s2", "two", 21), MakeProfile("s3", "three", 21)},
             list);
    RecordingStarter starter;
    std::vector<int> pendingAtStart;
    starter.onStart = [&](const TransferRun&) { pendingAtStart.push_back(PendingLinkTransfers()); };
    const LinkRunResult r = RunCommandLineLink("three", starter);
    EXPECT_EQ(r.runsStarted, 3);
    EXPECT_EQ(pendingAtStart, (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(starter.runs[0]->mode, TransferMode::PutKeep);
    EXPECT_EQ(ui_.quits.load(), 0);
    // Nothing to send: the run ends at once.
    MakeLink("empty", {MakeProfile("s4", "four", 21)}, std::nullopt);
    const LinkRunResult empty = RunCommandLineLink("empty", starter);
    EXPECT_TRUE(empty.found && empty.runsStarted == 0 && starter.runs.size() == 3u);
    EXPECT_EQ(ui_.quits.load(), 1);
    EXPECT_EQ(PendingLinkTransfers(), 0);

    // An unknown link: nothing is touched, the caller says 33051.
    SetPendingLinkTransfers(-1);
    const LinkRunResult unknown = RunCommandLineLink("nosuch", starter);
    EXPECT_FALSE(unknown.found);
    EXPECT_EQ(PendingLinkTransfers(), -1);
    EXPECT_EQ(ui_.quits.load(), 1);
}

}  // namespace
}  // namespace zyfar::autotest
