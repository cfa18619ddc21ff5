#include "profiles/LinkDraft.h"

#include "ProfileFixture.h"
#include "profiles/FileList.h"
#include "settings/IniFile.h"

namespace zyfar {
namespace {

class LinkDraftTest : public testing::ProfileFixture {
protected:
    // A site profile file holding only a host.
    std::string Profile(const std::string& relative, const std::string& host) {
        const std::string path = ProfilesFolder() + "/" + relative;
        WriteText(path, "[Settings]\nHost=" + host + "\nUser=u\nPassword=p\nPort=21\n");
        return path;
    }
    // A file-list folder below Files whose flist.ini lists `paths` ("/dir/name").
    std::string List(const std::string& relative, const std::vector<std::string>& paths) {
        const std::string folder = FilesFolder() + "/" + relative;
        std::string text = "[LIST]\nNumItems=" + std::to_string(paths.size()) + "\n";
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::size_t slash = paths[i].rfind('/');
            text += "[FILE" + std::to_string(i + 1) + "]\nLocalName=" + paths[i].substr(slash + 1) +
                    "\nFolder=" + paths[i].substr(0, slash) + "\n";
        }
        WriteText(folder + "/flist.ini", text);
        return folder;
    }
};

// Each row adds profiles (by host; "" for a profile file that is missing)
// one after another and expects the outcome of each and the hosts listed.
struct SiteRow {
    const char* name;
    std::vector<std::string> hosts;
    std::vector<SiteAddOutcome> outcomes;
    std::vector<std::string> listed;
};

TEST_F(LinkDraftTest, SitesAreAddedOncePerHost) {
    using enum SiteAddOutcome;
    const std::vector<SiteRow> rows = {
        {"distinct hosts", {"a.example", "b.example"}, {Added, Added}, {"a.example", "b.example"}},
        {"same host twice", {"a.example", "a.example"}, {Added, SameHost}, {"a.example"}},
        {"host case differs", {"ftp.Example.com", "FTP.EXAMPLE.COM"}, {Added, SameHost}, {"ftp.Example.com"}},
        {"shorter host is not a duplicate", {"server10", "server1"}, {Added, Added}, {"server10", "server1"}},
        {"longer host is not a duplicate", {"server1", "server10"}, {Added, Added}, {"server1", "server10"}},
        {"missing profile", {"", "a.example"}, {NoHost, Added}, {"a.example"}},
    };
    for (const SiteRow& row : rows) {
        SCOPED_TRACE(row.name);
        LinkDraft draft;
        for (std::size_t i = 0; i < row.hosts.size(); ++i) {
            const std::string path = row.hosts[i].empty()
                                         ? ProfilesFolder() + "/gone.ini"
                                         : Profile(std::to_string(i) + "p.ini", row.hosts[i]);
            EXPECT_EQ(draft.AddSiteProfile(path), row.outcomes[i]) << i;
        }
        std::vector<std::string> listed;
        for (const LinkDraftSite& s : draft.Sites()) listed.push_back(s.host);
        EXPECT_EQ(listed, row.listed);
    }
}

// Each row chooses file lists one after another; the files list shows the
// last one's paths, each once.
struct FilesRow {
    const char* name;
    std::vector<std::vector<std::string>> lists;
    std::vector<std::string> shown;
};

TEST_F(LinkDraftTest, ChoosingAFileListShowsItsPathsOnce) {
    const std::vector<FilesRow> rows = {
        {"one list", {{"/d/a.txt", "/d/b.txt"}}, {"/d/a.txt", "/d/b.txt"}},
        {"chosen twice", {{"/d/a.txt", "/d/b.txt"}, {"/d/a.txt", "/d/b.txt"}}, {"/d/a.txt", "/d/b.txt"}},
        {"another list replaces", {{"/d/a.txt"}, {"/e/c.txt"}}, {"/e/c.txt"}},
        {"duplicate inside a list", {{"/d/a.txt", "/d/a.txt", "/d/b.txt"}}, {"/d/a.txt", "/d/b.txt"}},
        {"prefix of another path is kept", {{"/d/a.txt.bak", "/d/a.txt"}}, {"/d/a.txt.bak", "/d/a.txt"}},
        {"case differs: two files", {{"/d/A.txt", "/d/a.txt"}}, {"/d/A.txt", "/d/a.txt"}},
        {"empty list", {{}}, {}},
    };
    int n = 0;
    for (const FilesRow& row : rows) {
        SCOPED_TRACE(row.name);
        LinkDraft draft;
        std::string last;
        for (const auto& paths : row.lists) {
            last = List(std::to_string(n++) + "l", paths);
            EXPECT_EQ(draft.ChooseFileList(last), row.shown.size());
        }
        EXPECT_EQ(draft.Files(), row.shown);
        EXPECT_EQ(draft.FileListFolder(), last);
    }
}

TEST_F(LinkDraftTest, FindFileListPrefersExactThenUniqueCaseBlindMatch) {
    const std::vector<NamedPath> lists = {{"Week", "/b/Files/Week"}, {"week", "/b/Files/week"},
                                          {"Days", "/b/Files/Days"}, {"n", "/b/Files/x/n"}};
    struct Row {
        const char* files;
        std::optional<std::size_t> found;
    };
    const Row rows[] = {
        {"/b/Files/week/flist.ini", 1}, {"/b/Files/Week/flist.ini", 0}, {"/b/Files/WEEK/flist.ini", std::nullopt},
        {"/b/Files/DAYS/FLIST.INI", 2}, {"/b/Files/x/n/flist.ini", 3},  {"/b/Files/Days", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(FindFileListOf(lists, row.files), row.found) << row.files;
}

TEST_F(LinkDraftTest, LoadShowsTheLinkAndSavingWritesItBack) {
    const std::string a = Profile("a.ini", "a.example");
    const std::string list = List("sub/week", {"/d/a.txt", "/d/b.txt"});
    ASSERT_TRUE(AddLink("daily", {a, ProfilesFolder() + "/gone.ini"}, 2, list).ok());

    LinkDraft draft;
    std::optional<std::size_t> chosen;
    const std::vector<NamedPath> lists = ListFileLists();
    draft.LoadLink(LinkFilePath("daily"), lists, &chosen);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(lists[*chosen].path, list);
    EXPECT_EQ(draft.Sites(), (std::vector<LinkDraftSite>{{"a.example", a}, {"", ProfilesFolder() + "/gone.ini"}}));
    EXPECT_EQ(draft.Files(), (std::vector<std::string>{"/d/a.txt", "/d/b.txt"}));

    // Saved under another name: the same sites and file list, the name cut.
    ASSERT_TRUE(draft.RemoveSite(1));
    EXPECT_FALSE(draft.RemoveSite(5));
    std::string saved;
    ASSERT_TRUE(draft.Save("copy.ini", &saved).ok());
    EXPECT_EQ(saved, "copy");
    EXPECT_EQ(ReadLink("copy").sites, std::vector<std::string>{a});
    EXPECT_EQ(ReadLink("copy").files, list + "/flist.ini");

    // A link naming a list the dialog does not offer keeps naming it.
    WriteText(Root() + "/elsewhere/flist.ini", "[LIST]\nNumItems=1\n[FILE1]\nLocalName=z\nFolder=/d\n");
    ASSERT_TRUE(AddLink("far", {a}, 1, Root() + "/elsewhere").ok());
    draft.LoadLink(LinkFilePath("far"), lists, &chosen);
    EXPECT_FALSE(chosen.has_value());
    EXPECT_EQ(draft.Files(), std::vector<std::string>{"/d/z"});
    ASSERT_TRUE(draft.Save("far2").ok());
    EXPECT_EQ(ReadLink("far2").files, Root() + "/elsewhere/flist.ini");

    // Nothing chosen: the messages come before anything is written.
    draft.Clear();
    EXPECT_EQ(draft.Save("x").messageId(), 312);
    ASSERT_EQ(draft.AddSiteProfile(a), SiteAddOutcome::Added);
    EXPECT_EQ(draft.Save("x").messageId(), 313);
    EXPECT_EQ(draft.Save("").messageId(), 311);
    EXPECT_FALSE(Exists(LinkFilePath("x")));
}

}  // namespace
}  // namespace zyfar
