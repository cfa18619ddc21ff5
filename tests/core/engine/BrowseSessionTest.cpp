// The browsing session against loopback servers: listing with masks and link
// probes, cancel and busy refusal, make/rename/delete with their checks and
// log events, selections into jobs, names kept as bytes.
#include "engine/BrowseSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "engine/TransferPaths.h"
#include "log/TransferLog.h"
#include "platform/MessageTable.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"

namespace zyfar {
namespace {

using test::Exists;

// The names, sorted (servers list in no particular order).
std::vector<std::string> Names(const std::vector<BrowseEntry>& entries) {
    std::vector<std::string> out;
    for (const BrowseEntry& e : entries) out.push_back(e.entry.name);
    std::sort(out.begin(), out.end());
    return out;
}

const BrowseEntry* Named(const std::vector<BrowseEntry>& entries, const std::string& name) {
    for (const BrowseEntry& e : entries) {
        if (e.entry.name == name) return &e;
    }
    return nullptr;
}

// "folder|source|target" of each job.
std::vector<std::string> JobLines(const std::vector<CTransferJob>& jobs, TransferMode mode) {
    std::vector<std::string> out;
    for (const CTransferJob& j : jobs) {
        out.push_back((mode == TransferMode::Get ? j.remoteDir : j.localDir) + "|" + j.sourceName + "|" + j.targetName);
    }
    return out;
}

TEST(BrowseTreePieces, CutAtTheSeparatorWithDrivePieces) {
    using Pieces = std::vector<std::pair<std::string, std::string>>;
    const struct {
        std::string path;
        Pieces pieces;
    } cases[] = {
        {"/", {{"/", "/"}}},
        {"//", {{"//", "//"}}},
        {"pub", {{"pub", "pub"}}},
        {"/pub/incoming", {{"pub", "/pub"}, {"incoming", "/pub/incoming"}}},
        {"C:\\data\\web", {{"C:", "C:"}, {"data", "C:\\data"}, {"web", "C:\\data\\web"}}},
        {"/C:/x", {{"C:", "/C:"}, {"x", "/C:/x"}}},
        {"/a/b:c", {{"a", "/a"}, {"b:c", "/a/b:c"}}},  // a ":" later in the path is part of a name
    };
    for (const auto& c : cases) {
        Pieces got;
        for (const BrowseTreePiece& p : BuildTreePieces(c.path, RemoteSeparatorFor(c.path))) got.emplace_back(p.label, p.path);
        EXPECT_EQ(got, c.pieces) << c.path;
    }
}

TEST(RemoteSelection, SortedOnceEachAndTargetCollisionsLeftOut) {
    const auto job = [](const char* folder, const char* name, FileCasing casing) {
        RemoteEntry e;
        e.name = name;
        e.size = 5;
        return MakeRemoteJob({TransferMode::Get, "/local"}, folder, e, casing);
    };
    const struct {
        DirTreeMode dirMode;
        FileCasing casing;
        std::vector<std::string> kept;
        std::size_t leftOut;
    } cases[] = {
        {DirTreeMode::FullPath, FileCasing::Preserve, {"/a|X|X", "/a|x|x", "/b/a|x|x"}, 0},
        {DirTreeMode::FullPath, FileCasing::Lower, {"/a|X|x", "/b/a|x|x"}, 1},  // X and x meet as x
        {DirTreeMode::LastDir, FileCasing::Preserve, {"/a|X|X", "/a|x|x"}, 1},  // /a and /b/a both end in a
        {DirTreeMode::NoPath, FileCasing::Upper, {"/a|X|X"}, 2},
    };
    for (const auto& c : cases) {
        std::vector<CTransferJob> jobs{job("/b/a", "x", c.casing), job("/a", "x", c.casing), job("/a", "X", c.casing),
                                       job("/a", "x", c.casing)};
        const std::vector<std::string> left = SortAndDropDuplicates(jobs, TransferMode::Get, c.dirMode);
        EXPECT_EQ(JobLines(jobs, TransferMode::Get), c.kept);
        EXPECT_EQ(left.size(), c.leftOut);
        for (const CTransferJob& j : jobs) EXPECT_TRUE(j.localDir == "/local" && j.size == 5 && j.status == -1);
    }
}

class BrowseSessionTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        IsolatedHomeTest::SetUp();
        for (const char* key : {"ConnectTo", "RecTo", "SendTo", "RecToCtrl", "SendToCtrl"}) {
            WriteProfileString("FTP", key, "10");
        }
        WriteProfileString("FTP", "Retry", "0");
        LogSettings log;
        log.toFile = false;
        TheTransferLog().ApplySettings(log);
        TheTransferLog().Clear();
        session_ = std::make_unique<BrowseSession>([this](BrowseResult r) {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(r));
            arrived_.notify_all();
        });
    }
    void TearDown() override {
        session_.reset();
        IsolatedHomeTest::TearDown();
    }

    BrowseResult Wait(const BrowseSubmitted& s) {
        BrowseResult out;
        EXPECT_TRUE(s.accepted()) << s.result.code << " " << s.result.text;
        if (!s.accepted()) return out;
        std::unique_lock lock(mutex_);
        const bool got = arrived_.wait_for(lock, std::chrono::seconds(30), [&] {
            for (auto it = results_.begin(); it != results_.end(); ++it) {
                if (it->id == s.id) {
                    out = std::move(*it);
                    results_.erase(it);
                    return true;
                }
            }
            return false;
        });
        EXPECT_TRUE(got) << "no result for request " << s.id;
        return out;
    }
    BrowseResult Connect(std::uint16_t port, const std::string& path, const std::string& mask = "",
                         const std::string& user = "user", const std::string& password = "pass") {
        return Wait(session_->Connect({"127.0.0.1", user, password, path, port}, {}, mask));
    }
    BrowseResult Do(BrowseRequest request, std::optional<BrowseListRequest> thenList = std::nullopt) {
        return Wait(session_->Submit({std::move(request), std::move(thenList)}));
    }
    static std::vector<int> LogCodes() {
        std::vector<int> out;
        for (const LogEntry& e : TheTransferLog().Entries()) out.push_back(e.code);
        TheTransferLog().Clear();
        return out;
    }

    std::unique_ptr<BrowseSession> session_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<BrowseResult> results_;
};

TEST_F(BrowseSessionTest, ConnectBuildsTreeAndListsWithMaskAndLinkProbe) {
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    const std::string pub = server.root() + "/pub";
    ASSERT_TRUE(test::MakeDir(pub) && test::MakeDir(pub + "/sub") && test::MakeDir(pub + "/docs.lnk"));
    ASSERT_TRUE(test::WriteFile(pub + "/a.txt", "abc") && test::WriteFile(pub + "/b.log", "") &&
                test::WriteFile(pub + "/readme.LNK", "x"));

    BrowseResult c = Connect(server.port(), "/pub");
    ASSERT_TRUE(c.result.ok()) << c.result.text;
    EXPECT_EQ(c.currentDirectory, "/pub");
    ASSERT_EQ(c.tree.size(), 1u);
    EXPECT_EQ(c.tree[0].path, "/pub");
    ASSERT_TRUE(c.listing);
    EXPECT_EQ(Names(c.listing->files), (std::vector<std::string>{"a.txt", "b.log", "readme.LNK"}));
    const BrowseEntry* a = Named(c.listing->files, "a.txt");
    ASSERT_TRUE(a != nullptr);
    EXPECT_TRUE(a->entry.size == 3 && a->path == "/pub/a.txt" && a->kind == BrowseEntryKind::File);
    EXPECT_EQ(Named(c.listing->files, "readme.LNK")->kind, BrowseEntryKind::LinkFile);  // probed: cannot be entered
    EXPECT_EQ(Names(c.listing->folders), (std::vector<std::string>{"docs.lnk", "sub"}));
    EXPECT_EQ(c.listing->folders[0].kind, BrowseEntryKind::LinkFolder);  // folders come sorted
    EXPECT_EQ(c.listing->folders[1].kind, BrowseEntryKind::Folder);
    EXPECT_TRUE(session_->Connected());
    LogCodes();

    BrowseResult txt = Do(BrowseListRequest{"/pub", "*.txt", "/"});
    ASSERT_TRUE(txt.result.ok() && txt.listing);
    EXPECT_EQ(Names(txt.listing->files), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(txt.listing->folders.empty());
    EXPECT_EQ(txt.listing->pattern, "/pub/*.txt");

    BrowseResult missing = Do(BrowseListRequest{"/pub/none", "", "/pub"});
    EXPECT_EQ(missing.result.code, ftpcode::kExtendedError);
    EXPECT_EQ(missing.messages.size(), 1u);
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::ChangeDirectoryOk, logcode::ChangeDirectoryFailed}));

    // The probes left the server where it was.
    BrowseResult tree = Do(BrowseTreeRequest{});
    EXPECT_EQ(tree.currentDirectory, "/pub");
    EXPECT_FALSE(tree.reconnected);
}

TEST_F(BrowseSessionTest, CancelStalledListingBusyRefusalAndListAgain) {
    test::FaultServer server(R"({"mlsd": "type=file;size=3; a.txt\r\n", "transfer": {"MLSD": {"outcome": "stall"}},
        "replies": {"MLST": "250-Listing\n type=file;size=3; /f.txt\n250 End"}})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(Connect(server.port(), "", "f.txt").result.ok());

    const BrowseSubmitted stalled = session_->Submit({BrowseListRequest{"/", "*", std::nullopt}, std::nullopt});
    ASSERT_TRUE(stalled.accepted());
    ASSERT_TRUE(server.WaitForLine("MLSD /"));
    const BrowseSubmitted second = session_->Submit({BrowseTreeRequest{}, std::nullopt});
    EXPECT_FALSE(second.accepted());
    EXPECT_EQ(second.result.code, ftpcode::kTransferInProgress);
    EXPECT_EQ(session_->Connect({"127.0.0.1", "u", "p", "", server.port()}).result.code, ftpcode::kTransferInProgress);
    EXPECT_TRUE(session_->Busy());
    session_->Cancel();
    EXPECT_EQ(Wait(stalled).result.code, ftpcode::kCancelled);
    EXPECT_FALSE(session_->Busy());

    BrowseResult again = Do(BrowseListRequest{"/", "f.txt", std::nullopt});
    ASSERT_TRUE(again.result.ok()) << again.result.text;
    EXPECT_TRUE(again.reconnected);
    ASSERT_TRUE(again.listing);
    EXPECT_EQ(Names(again.listing->files), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(server.Count("#CONNECT"), 2u);
    LogCodes();

    const std::uint64_t close = session_->Close();
    EXPECT_EQ(Wait({close, FtpOk()}).kind, BrowseOpKind::Close);
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::FtpConnectionClosed, logcode::InternetConnectionClosed}));
    EXPECT_EQ(session_->Submit({BrowseTreeRequest{}, std::nullopt}).result.code, ftpcode::kIncorrectHandleState);
}

TEST_F(BrowseSessionTest, ListingOnDroppedConnectionRunsOnceMoreOnAFreshOne) {
    test::FaultServer server(R"({"mlsd": "type=file;size=3; a.txt\r\n", "transfer": {"MLSD": {"outcome": "drop"}},
        "replies": {"MLST": "250-Listing\n type=file;size=3; /f.txt\n250 End"}})");
    ASSERT_TRUE(server.started()) << server.error();
    ASSERT_TRUE(Connect(server.port(), "", "f.txt").result.ok());
    BrowseResult dropped = Do(BrowseListRequest{"/", "*", std::nullopt});
    EXPECT_FALSE(dropped.result.ok());
    EXPECT_TRUE(dropped.reconnected);
    EXPECT_EQ(server.Count("MLSD /"), 2u);
    EXPECT_TRUE(Do(BrowseListRequest{"/", "f.txt", std::nullopt}).result.ok());
    EXPECT_EQ(server.Count("#CONNECT"), 3u);
}

TEST_F(BrowseSessionTest, MakeRenameDeleteWithChecksMessagesAndLog) {
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    const std::string& root = server.root();
    ASSERT_TRUE(test::WriteFile(root + "/x.txt", "x") && test::WriteFile(root + "/y.txt", "y") &&
                test::MakeDir(root + "/d") && test::MakeDir(root + "/t") && test::MakeDir(root + "/t/sub") &&
                test::WriteFile(root + "/t/f1", "1") && test::WriteFile(root + "/t/sub/f2", "2"));
    ASSERT_TRUE(Connect(server.port(), "").result.ok());
    LogCodes();

    EXPECT_TRUE(Do(BrowseMakeFolderRequest{"/", "new"}).result.ok());
    EXPECT_TRUE(Exists(root + "/new"));
    BrowseResult again = Do(BrowseMakeFolderRequest{"/", "new"});
    EXPECT_EQ(again.result.code, ftpcode::kExtendedError);
    EXPECT_EQ(again.messages.size(), 1u);
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::MakeDirectoryOk, logcode::MakeDirectoryFailed}));

    // Renames onto taken names are refused before anything is sent; a move goes into another folder.
    BrowseResult renames = Do(BrowseRenameRequest{{{"/", "x.txt", "/", "y.txt", false},
                                                   {"/", "new", "/", "d", true},
                                                   {"/", "x.txt", "/", "z.txt", false},
                                                   {"/", "z.txt", "/d", "z.txt", false}}});
    ASSERT_EQ(renames.items.size(), 4u);
    EXPECT_EQ(renames.items[0].result.code, 174);
    EXPECT_EQ(renames.items[1].result.code, 33048);
    EXPECT_EQ(renames.messages, (std::vector<std::string>{std::string(MessageText(174)), std::string(MessageText(33048))}));
    EXPECT_TRUE(renames.items[2].result.ok() && renames.items[3].result.ok());
    EXPECT_EQ(test::ReadFile(root + "/y.txt"), "y");
    EXPECT_EQ(test::ReadFile(root + "/d/z.txt"), "x");
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::RenamingFailed, logcode::RenamingFailed, logcode::RenamingOk,
                                            logcode::RenamingOk}));

    BrowseResult files = Do(BrowseDeleteFilesRequest{"/", {"gone.txt", "y.txt"}});
    ASSERT_EQ(files.items.size(), 2u);
    EXPECT_EQ(files.items[0].result.code, 248);
    EXPECT_TRUE(files.items[1].result.ok());
    EXPECT_FALSE(Exists(root + "/y.txt"));
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::DeletionFailed, logcode::DeletionOk}));

    // "This folder only": the files go, the folder with a sub-folder stays (33047).
    BrowseResult only = Do(BrowseDeleteFolderRequest{"/t", FolderDeleteAnswer::ThisFolderOnly});
    EXPECT_EQ(only.result.code, 33047);
    EXPECT_EQ(only.messages, std::vector<std::string>{std::string(MessageText(33047))});
    EXPECT_FALSE(Exists(root + "/t/f1"));
    EXPECT_TRUE(Exists(root + "/t/sub/f2"));
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::DeletionOk, logcode::DeletionFailed}));

    // "Yes To All": the whole subtree, deepest first; the listing after it comes along.
    BrowseResult all = Do(BrowseDeleteFolderRequest{"/t", FolderDeleteAnswer::YesToAll}, BrowseListRequest{"/", "", {}});
    EXPECT_TRUE(all.result.ok()) << all.result.text;
    EXPECT_FALSE(Exists(root + "/t"));
    EXPECT_EQ(LogCodes(), (std::vector<int>{logcode::DeletionOk, logcode::DeletionOk, logcode::DeletionOk}));
    ASSERT_TRUE(all.listing);
    EXPECT_EQ(Names(all.listing->folders), (std::vector<std::string>{"d", "new"}));
}

TEST_F(BrowseSessionTest, SelectionsAndDraggedFoldersBecomeJobs) {
    test::PyFtpdServer server;
    ASSERT_TRUE(server.started()) << server.error();
    const std::string r = server.root() + "/r";
    ASSERT_TRUE(test::MakeDir(r) && test::MakeDir(r + "/sub") && test::MakeDir(r + "/sub/deep") &&
                test::WriteFile(r + "/a.txt", "1") && test::WriteFile(r + "/B.txt", "22") &&
                test::WriteFile(r + "/sub/c.txt", "333") && test::WriteFile(r + "/sub/deep/d.txt", "4444"));
    ASSERT_TRUE(Connect(server.port(), "").result.ok());
    const std::vector<BrowseRow> rows{{"a.txt", false, 1, {}, false}, {"sub", true, 0, {}, false},
                                      {"a.txt", false, 1, {}, false}};
    const struct {
        const char* casing;
        const char* dragDirs;
        bool dragged;
        TransferMode mode;
        std::vector<std::string> jobs;
        std::int64_t bytes;
    } cases[] = {
        {"UPPER_CASE", "NO", false, TransferMode::Get, {"/r|a.txt|A.TXT", "/r/sub|c.txt|C.TXT"}, 4},
        {"PRESERVE", "NO", false, TransferMode::ServerToServer, {"/r|a.txt|a.txt", "/r/sub|c.txt|c.txt"}, 4},
        {"LOWER_CASE", "NO", true, TransferMode::Get, {"/r|B.txt|b.txt", "/r|a.txt|a.txt"}, 3},
        {"PRESERVE", "YES", true, TransferMode::Get,
         {"/r|B.txt|B.txt", "/r|a.txt|a.txt", "/r/sub|c.txt|c.txt", "/r/sub/deep|d.txt|d.txt"}, 10},
    };
    for (const auto& c : cases) {
        WriteProfileString("CONFIG", "FileCasingGet", c.casing);
        WriteProfileString("CONFIG", "DragDropDirs", c.dragDirs);
        WriteProfileString("CONFIG", "FTPDirTree", "FULL_PATH");
        const BrowseJobTarget target{c.mode, "/target"};
        BrowseResult got = c.dragged ? Do(BrowseFolderJobsRequest{"/r", target})
                                     : Do(BrowseSelectionJobsRequest{"/r", rows, target});
        ASSERT_TRUE(got.result.ok()) << got.result.text;
        EXPECT_EQ(JobLines(got.jobs, c.mode), c.jobs) << c.casing << c.dragDirs;
        EXPECT_EQ(got.batchSize, c.bytes);
        for (const CTransferJob& j : got.jobs) {
            EXPECT_EQ(c.mode == TransferMode::Get ? j.localDir : j.remoteDir, "/target");
        }
    }
}

// vsftpd sends names as the bytes on disk; the session keeps them so.
TEST_F(BrowseSessionTest, ControlCharactersAndInvalidUtf8SurviveAsBytes) {
    test::VsftpdServer server;
    if (server.unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << server.error();
    ASSERT_TRUE(server.started()) << server.error();
    const std::string odd = "ctl\x01tab\tname", bad = "bad\xff\xfe.txt";
    const std::string dir = server.uploadPath();
    ASSERT_TRUE(test::WriteFile(dir + "/" + odd, "1") && test::WriteFile(dir + "/" + bad, "2") &&
                test::WriteFile(dir + "/keep.txt", "3"));
    ASSERT_TRUE(Connect(server.port(), server.uploadFolder(), "", "anonymous", "test@example.com").result.ok());
    BrowseResult listed = Do(BrowseListRequest{server.uploadFolder(), "*", std::nullopt});
    ASSERT_TRUE(listed.listing);
    EXPECT_EQ(Names(listed.listing->files), (std::vector<std::string>{bad, odd, "keep.txt"}));

    BrowseResult taken = Do(BrowseRenameRequest{{{server.uploadFolder(), bad, server.uploadFolder(), "keep.txt", false}}});
    EXPECT_EQ(taken.result.code, 174);
    EXPECT_EQ(test::ReadFile(dir + "/keep.txt"), "3");
    BrowseResult gone = Do(BrowseDeleteFilesRequest{server.uploadFolder(), {odd, bad}});
    EXPECT_TRUE(gone.result.ok()) << gone.result.text;
    EXPECT_FALSE(Exists(dir + "/" + odd) || Exists(dir + "/" + bad));
}

}  // namespace
}  // namespace zyfar
