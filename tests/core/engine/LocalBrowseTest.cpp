// The local list's rules: "Modified" texts, the EXT program look-up, masks
// and the put jobs made from selected rows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include <string>
#include <tuple>
#include <vector>

#include "engine/LocalBrowse.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

TEST(LocalBrowse, ModifiedTextForEachTimeType) {
    const LocalDateTime march{2026, 3, 7, 9, 5, 59};
    const LocalDateTime y2k{2000, 1, 1, 0, 0, 0};
    const LocalDateTime late{2075, 12, 31, 23, 59, 0};  // two-digit year 75: still 2075
    const struct { const char* timeType; const char* march; const char* y2k; const char* late; } cases[] = {
        {"MM/DD", "03/07/2026  09:05", "01/01/2000  00:00", "12/31/2075  23:59"},
        {"DD/MM", "07/03/2026  09:05", "01/01/2000  00:00", "31/12/2075  23:59"},
        {"MON/DD", "Mar/07/2026  09:05", "Jan/01/2000  00:00", "Dec/31/2075  23:59"},
        {"DD/MON", "07/Mar/2026  09:05", "01/Jan/2000  00:00", "31/Dec/2075  23:59"},
        {"", "03/07/2026  09:05", "01/01/2000  00:00", "12/31/2075  23:59"},       // absent
        {"dd/mm", "03/07/2026  09:05", "01/01/2000  00:00", "12/31/2075  23:59"},  // unknown
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ModifiedText(march, c.timeType), c.march) << c.timeType;
        EXPECT_EQ(ModifiedText(y2k, c.timeType), c.y2k) << c.timeType;
        EXPECT_EQ(ModifiedText(late, c.timeType), c.late) << c.timeType;
    }
    EXPECT_EQ(ModifiedText(LocalDateTime{1969, 7, 20, 20, 17, 0}, "DD/MM"), "20/07/1969  20:17");
}

TEST(LocalBrowse, ExtProgramByTheFirstThreeCharactersOfTheExtension) {
    const std::vector<std::string> entries = {"single", "txt notepad.exe", "htm  firefox", "c gcc", "txt second"};
    const struct { const char* path; const char* program; } cases[] = {
        {"/home/me/readme.txt", "notepad.exe"},
        {"/home/me/readme.txtx", "notepad.exe"},  // three characters compared
        {"/srv/www/index.html", "firefox"},
        {"/src/main.c", "gcc"},
        {"/src/main.cpp", ""},                    // "cpp" against "c"
        {"/home/me/NOTES.TXT", ""},               // case counts
        {"/home/me/Makefile", ""},                // no "."
        {"/home/me.d/readme.txt", ""},            // the first "." of the path: "d/readme.txt"
        {"/opt/my.txtdir/tool", "notepad.exe"},   // ... which can also match from the folder
        {"/home/me/file.", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtProgramFor(c.path, entries).value_or(""), c.program) << c.path;
    EXPECT_EQ(ExtensionOfPath("/a.b/c.d").value_or("?"), "b/c.d");
    EXPECT_FALSE(ExtensionOfPath("/a/b").has_value());
}

class LocalBrowseSettings : public test::IsolatedHomeTest {};

TEST_F(LocalBrowseSettings, ExtEntriesAreReadUpToTheFirstAbsentKey) {
    Write(keys::ExtN, 0, "txt gedit");
    Write(keys::ExtN, 1, "pdf evince");
    Write(keys::ExtN, 3, "png eog");  // after the gap: never read
    EXPECT_EQ(ReadExtEntries(), (std::vector<std::string>{"txt gedit", "pdf evince"}));
    EXPECT_EQ(ExtProgramFor("/tmp/report.pdf", ReadExtEntries()).value_or(""), "evince");
}

std::vector<LocalEntry> Rows() {
    std::vector<LocalEntry> rows(6);
    const char* names[] = {"README", "a.txt", "b.TXT", "sub.txt", "pipe.txt", "Mixed.Txt"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].name = names[i];
        rows[i].isFile = true;
        rows[i].size = static_cast<std::int64_t>(i) * 100;
        rows[i].modified = 1700000000 + static_cast<std::int64_t>(i);
    }
    rows[3].isFile = false;
    rows[3].isFolder = true;
    rows[4].isFile = false;                   // a pipe: neither file nor folder
    rows[5].modified = (std::int64_t{1} << 32) + 5;  // beyond 2106
    return rows;
}

TEST(LocalBrowse, MasksSelectFileRows) {
    const std::vector<LocalEntry> rows = Rows();
    const struct { const char* mask; std::vector<std::size_t> rows; } cases[] = {
        {"*.*", {0, 1, 2, 4, 5}}, {"*", {0, 1, 2, 4, 5}}, {"*.txt", {1, 4}},
        {"?.TXT", {2}},           {"*.Txt", {5}},         {"nothing*", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(RowsMatchingMask(rows, c.mask), c.rows) << c.mask;
    EXPECT_TRUE(MatchesLocalMask("no-dot", "*.*"));
    EXPECT_FALSE(MatchesLocalMask("no-dot", "*.?*"));
}

TEST(LocalBrowse, PutJobsFromSelectedRows) {
    const std::vector<LocalEntry> rows = Rows();
    const struct { FileCasing casing; std::vector<std::string> targets; } cases[] = {
        {FileCasing::Preserve, {"README", "a.txt", "b.TXT", "Mixed.Txt"}},
        {FileCasing::Upper, {"README", "A.TXT", "B.TXT", "MIXED.TXT"}},
        {FileCasing::Lower, {"readme", "a.txt", "b.txt", "mixed.txt"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> targets;
        for (const CTransferJob& job : BuildLocalPutJobs("/out", rows, c.casing)) targets.push_back(job.targetName);
        EXPECT_EQ(targets, c.targets);
    }
    // Not attempted, from no queue entry, into the server's current folder.
    CTransferJob expected;
    std::tie(expected.localDir, expected.sourceName, expected.targetName) =
        std::tuple("/out", "Mixed.Txt", "MIXED.TXT");
    std::tie(expected.size, expected.timeLow, expected.timeHigh) = std::tuple(500, 5u, 1u);
    EXPECT_EQ(BuildLocalPutJobs("/out", rows, FileCasing::Upper).back(), expected);
}

TEST(LocalBrowse, FolderPutJobsWalkSubFoldersOnlyWhenRecursive) {
    test::TempDir temp{"zyfar-folderjobs"};
    const std::string root = temp / "web";
    for (const char* file : {"web/b.html", "web/A.css", "web/img/x.png", "web/img/deep/y.gif", "web/z/readme"}) {
        ASSERT_TRUE(test::WriteText(temp / file, "data"));
    }
    // A link back up must not be walked into.
    ASSERT_EQ(::symlink(root.c_str(), (temp / "web/img/loop").c_str()), 0);
    const struct {
        bool recursive;
        FileCasing casing;
        std::vector<std::pair<std::string, std::string>> jobs;  // folder below web, target name
    } cases[] = {
        {false, FileCasing::Preserve, {{"", "A.css"}, {"", "b.html"}}},
        {true, FileCasing::Lower,
         {{"", "a.css"}, {"", "b.html"}, {"/img", "x.png"}, {"/img/deep", "y.gif"}, {"/z", "readme"}}},
    };
    for (const auto& c : cases) {
        const LocalFolderJobs built = BuildLocalFolderPutJobs(root, c.recursive, c.casing);
        std::vector<std::pair<std::string, std::string>> got;
        for (const CTransferJob& job : built.jobs) got.emplace_back(job.localDir.substr(root.size()), job.targetName);
        EXPECT_EQ(got, c.jobs) << c.recursive;
        EXPECT_TRUE(built.unreadable.empty());
    }
    const LocalFolderJobs missing = BuildLocalFolderPutJobs(temp / "gone", true, FileCasing::Preserve);
    EXPECT_TRUE(missing.jobs.empty());
    ASSERT_EQ(missing.unreadable.size(), 1u);
}

}  // namespace
}  // namespace zyfar
