// Byte-identical content through put and get runs: sizes around the buffer
// sizes, a large file and an ASCII text, four buffer pairs, active and
// passive, against pyftpdlib and vsftpd; the folder modes of the put and the
// get on both servers; server to server between the two servers with its
// folder modes and the overwrite rule; the statistics counters and the tray
// states.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/TransferPaths.h"

namespace zyfar::enginetest {
namespace {

// Compares file contents without printing megabytes on a failure.
::testing::AssertionResult SameFile(const std::string& got, const std::string& want) {
    const std::optional<std::string> a = test::ReadFile(got);
    const std::optional<std::string> b = test::ReadFile(want);
    if (!a || !b) return ::testing::AssertionFailure() << (a ? want : got) << " is missing";
    if (*a != *b) return ::testing::AssertionFailure() << got << " (" << a->size() << " bytes) differs from " << want;
    return ::testing::AssertionSuccess();
}

// Text lines of varying length with Unix line ends, no CR anywhere.
std::string TextLines(std::size_t n) {
    std::string text;
    const std::string pattern = test::PatternBytes(n, 21);
    for (std::size_t i = 0; text.size() < n; ++i) {
        const auto c = static_cast<unsigned char>(pattern[i % pattern.size()]);
        text += c % 9 == 0 ? '\n' : static_cast<char>('a' + c % 26);
    }
    return text;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// One of the two servers, reached in active or passive mode.
struct ServerCase {
    std::string name;
    bool vsftpd;
    bool passive;
};

void PrintTo(const ServerCase& c, std::ostream* out) { *out << c.name; }

// A server of a case, with the folder this test may write to on it and the
// same folder on this machine.
struct ServerFolder {
    TransferServer site;
    std::string remote;  // as the client names it
    std::string local;   // where the server keeps it
    bool vsftpd = false;
};

class ServerCaseTest : public EngineTest {
protected:
    // Skips the test when vsftpd cannot run here; `sub` is made fresh below
    // the writable folder of the server.
    std::optional<ServerFolder> Open(const ServerCase& c, const std::string& sub) {
        FastSettings(c.passive);
        ServerFolder f;
        f.vsftpd = c.vsftpd;
        if (c.vsftpd) {
            test::VsftpdServer& v = SharedVsftpd();
            if (v.unavailable()) {
                skipReason_ = "vsftpd cannot run here: " + v.error();
                return std::nullopt;
            }
            EXPECT_TRUE(v.started()) << v.error();
            if (!v.started()) return std::nullopt;
            f.site = Server(v.port(), "anonymous", "");
            f.remote = JoinRemote(v.uploadFolder(), sub);
            f.local = v.uploadPath() + "/" + sub;
        } else {
            test::PyFtpdServer& p = SharedPyFtpd();
            EXPECT_TRUE(p.started()) << p.error();
            if (!p.started()) return std::nullopt;
            f.site = Server(p.port());
            f.remote = "/" + sub;
            f.local = p.root() + "/" + sub;
        }
        test::RemoveTree(f.local);
        test::MakeDir(f.local);
        if (::geteuid() == 0) ::chmod(f.local.c_str(), 0777);  // vsftpd writes as its session user
        return f;
    }
    std::string skipReason_;
};

std::string CaseName(const ::testing::TestParamInfo<ServerCase>& tested) { return tested.param.name; }

// ---- byte-identical content over both servers, both modes, four buffer pairs ----

struct ContentCase {
    ServerCase server;
    int readBuffer;
    int writeBuffer;
};

void PrintTo(const ContentCase& c, std::ostream* out) { *out << c.server.name; }

std::vector<ContentCase> ContentCases() {
    std::vector<ContentCase> cases;
    for (const bool vsftpd : {false, true}) {
        for (const bool passive : {false, true}) {
            // The last pair moves binary data past the stream's and the
            // local file's own buffers.
            for (const auto& [r, w] : {std::pair{4096, 1024}, std::pair{1024, 4096}, std::pair{65536, 65536},
                                       std::pair{kDirectBuffer, kDirectBuffer}}) {
                std::string name = vsftpd ? "Vs" : "Py";
                name += passive ? "Passive" : "Active";
                name += std::to_string(r) + "to" + std::to_string(w);
                cases.push_back(ContentCase{ServerCase{name, vsftpd, passive}, r, w});
            }
        }
    }
    return cases;
}

class TransferContentTest : public ServerCaseTest, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(TransferContentTest, PutThenGetKeepsEveryByte) {
    const ContentCase& c = GetParam();
    Set("FTP", "ReadBuffer", std::to_string(c.readBuffer));
    Set("FTP", "WriteBuffer", std::to_string(c.writeBuffer));
    Set("CONFIG", "Overwrite", "YES");
    Set("CONFIG", "TextExtensions", "txt");
    const std::optional<ServerFolder> server = Open(c.server, "up-" + c.server.name);
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    ASSERT_TRUE(server);
    const std::string src = MakeLocalDir("src");
    const std::string back = MakeLocalDir("back");
    std::vector<CTransferJob> puts;
    std::vector<CTransferJob> gets;
    std::uint32_t seed = 1;
    const auto add = [&](const std::string& name, const std::string& content) {
        ASSERT_TRUE(test::WriteFile(src + "/" + name, content));
        const auto size = static_cast<std::int64_t>(content.size());
        puts.push_back(Job(src, name, name, server->remote, size));
        gets.push_back(Job("", name, name, server->remote, size));
    };
    for (std::size_t size : {0, 1, 4095, 4096, 4097, 10'000'000}) {
        add("s" + std::to_string(size) + ".bin", test::PatternBytes(size, seed++));
    }
    // ASCII: Unix line ends locally, CR LF on the wire.
    const std::string text = TextLines(300'000);
    add("lines.txt", text);
    auto put = RunSingle(server->site, puts, TransferMode::PutKeep);
    EXPECT_EQ(put->DriverResult(), 1);
    EXPECT_EQ(put->run().progress.Snapshot().batchBar, 100);
    auto get = RunSingle(server->site, gets, TransferMode::Get, back);
    EXPECT_EQ(get->DriverResult(), 1);
    for (std::size_t i = 0; i < puts.size(); ++i) {
        const std::string& name = puts[i].sourceName;
        EXPECT_EQ(put->run().jobs[i].status, 0) << name << ": " << put->run().jobs[i].reason;
        EXPECT_EQ(get->run().jobs[i].status, 0) << name << ": " << get->run().jobs[i].reason;
        EXPECT_TRUE(SameFile(back + "/" + name, src + "/" + name));
        if (name != "lines.txt") {
            EXPECT_TRUE(SameFile(server->local + "/" + name, src + "/" + name));
        }
    }
    // pyftpdlib turns CR LF back into LF as it stores; vsftpd stores what came.
    const std::optional<std::string> stored = test::ReadFile(server->local + "/lines.txt");
    ASSERT_TRUE(stored);
    EXPECT_TRUE(*stored == (server->vsftpd ? WithCrLf(text) : text)) << stored->size() << " bytes stored";
}

INSTANTIATE_TEST_SUITE_P(Matrix, TransferContentTest, ::testing::ValuesIn(ContentCases()),
                         [](const ::testing::TestParamInfo<ContentCase>& tested) { return tested.param.server.name; });

// ---- folder modes of the put and the get on both servers, both modes ----

class TransferFolderModeTest : public ServerCaseTest, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(TransferFolderModeTest, PutAndGetPlaceFilesWhereTheModeSays) {
    const std::optional<ServerFolder> server = Open(GetParam(), "fm-" + GetParam().name);
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    ASSERT_TRUE(server);
    (void)MakeLocalDir("data");
    const std::string web = MakeLocalDir("data/web");
    ASSERT_TRUE(test::WriteFile(web + "/index.html", "<p>put</p>"));
    // The get's source: <folder>/data/web/page.html on the server.
    test::MakeDir(server->local + "/data");
    test::MakeDir(server->local + "/data/web");
    ASSERT_TRUE(test::WriteFile(server->local + "/data/web/page.html", "<p>get</p>"));
    const std::string getDir = JoinRemote(server->remote, "data/web");

    for (const char* mode : {"NO_PATH", "LAST_DIR", "FULL_PATH"}) {
        SCOPED_TRACE(mode);
        Set("CONFIG", "FTPDirTree", mode);
        const std::string m = mode;
        const std::string remote = JoinRemote(server->remote, m);
        test::MakeDir(server->local + "/" + m);
        if (::geteuid() == 0) ::chmod((server->local + "/" + m).c_str(), 0777);
        auto put = RunSingle(server->site, {Job(web, "index.html", "index.html", remote, 10)}, TransferMode::PutKeep);
        ASSERT_EQ(put->run().jobs[0].status, 0) << put->run().jobs[0].reason;
        std::string putFolder = server->local + "/" + m;
        if (m == "LAST_DIR") putFolder += "/web";
        if (m == "FULL_PATH") putFolder += web;  // every piece of the local folder
        EXPECT_EQ(test::ReadFile(putFolder + "/index.html"), "<p>put</p>") << putFolder;

        const std::string base = MakeLocalDir("get-" + m);
        auto get = RunSingle(server->site, {Job("", "page.html", "page.html", getDir, 10)}, TransferMode::Get, base);
        ASSERT_EQ(get->run().jobs[0].status, 0) << get->run().jobs[0].reason;
        std::string getFolder = base;
        if (m == "LAST_DIR") getFolder += "/web";
        if (m == "FULL_PATH") getFolder += (getDir.front() == '/' ? "" : "/") + getDir;
        EXPECT_EQ(test::ReadFile(getFolder + "/page.html"), "<p>get</p>") << getFolder;
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferFolderModeTest,
                         ::testing::Values(ServerCase{"PyActive", false, false}, ServerCase{"PyPassive", false, true},
                                           ServerCase{"VsActive", true, false}, ServerCase{"VsPassive", true, true}),
                         CaseName);

using TransferCountersTest = EngineTest;

TEST_F(TransferCountersTest, CountersAndTrayFollowTheBytes) {
    test::PyFtpdServer& server = SharedPyFtpd();
    ASSERT_TRUE(server.started()) << server.error();
    FastSettings(true);
    ASSERT_TRUE(test::WriteFile(Path("count.bin"), test::PatternBytes(300'000, 9)));
    test::MakeDir(server.root() + "/count");
    auto put = RunSingle(Server(server.port()), {Job(Root(), "count.bin", "count.bin", "/count", 300'000)},
                         TransferMode::PutKeep);
    ASSERT_EQ(put->run().jobs[0].status, 0) << put->run().jobs[0].reason;
    StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.localBytesRead, 300'000);
    EXPECT_EQ(s.bytesSent, 300'000);
    EXPECT_EQ(s.filesTransferred, 1);
    EXPECT_GT(s.transferSeconds, 0.0);

    auto get = RunSingle(Server(server.port()), {Job("", "count.bin", "count.bin", "/count", 300'000)},
                         TransferMode::Get, MakeLocalDir("back"));
    ASSERT_EQ(get->run().jobs[0].status, 0) << get->run().jobs[0].reason;
    s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 300'000);
    EXPECT_EQ(s.localBytesWritten, 300'000);
    EXPECT_EQ(s.bytesGot, 300'000);
    EXPECT_EQ(s.filesTransferred, 2);
    EXPECT_EQ(s.serverToServerSeconds, 0.0);
    // "Sending" (2) during the put, "receiving" (1) during the get, idle at the end.
    const std::vector<int> tray = host.trayStates.Get();
    EXPECT_NE(std::find(tray.begin(), tray.end(), 2), tray.end());
    EXPECT_NE(std::find(tray.begin(), tray.end(), 1), tray.end());
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray.back(), 0);
}

// ---- server to server between pyftpdlib and vsftpd ----

class TransferServerToServerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (vsftpd().unavailable()) GTEST_SKIP() << "vsftpd cannot run here: " << vsftpd().error();
        ASSERT_TRUE(vsftpd().started()) << vsftpd().error();
        ASSERT_TRUE(pyftpd().started()) << pyftpd().error();
        Set("CONFIG", "Overwrite", "YES");
    }
    static test::VsftpdServer& vsftpd() { return SharedVsftpd(); }
    static test::PyFtpdServer& pyftpd() { return SharedPyFtpd(); }
    static TransferServer Vsftpd() { return Server(vsftpd().port(), "anonymous", ""); }
    std::unique_ptr<TransferController> Copy(const TransferServer& to, const TransferServer& from,
                                             std::vector<CTransferJob> jobs) {
        const std::int64_t total = BatchSizeOf(jobs);
        return RunToEnd(MakeServerToServerRun(to, from, std::move(jobs), total, 2, nullptr, nullptr, false));
    }
};

TEST_F(TransferServerToServerTest, BothWaysKeepEveryByteAndCountAsServerToServer) {
    FastSettings(true);
    const std::string data = test::PatternBytes(3'000'000, 77);
    test::MakeDir(pyftpd().root() + "/out");
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/out/big.bin", data));
    auto there = Copy(Vsftpd(), Server(pyftpd().port()),
                      {Job("/out", "big.bin", "big.bin", vsftpd().uploadFolder(), 3'000'000)});
    ASSERT_EQ(there->run().jobs[0].status, 0) << there->run().jobs[0].reason;
    EXPECT_TRUE(test::ReadFile(vsftpd().uploadPath() + "/big.bin") == data);
    const std::vector<LogEntry> done = LogEntries(logcode::FtpTransferComplete);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].source, "127.0.0.1");
    EXPECT_EQ(done[0].file, JoinRemote(vsftpd().uploadFolder(), "big.bin"));
    const StatisticsSnapshot s = ReadStatistics();
    EXPECT_EQ(s.bytesReceived, 3'000'000);
    EXPECT_EQ(s.bytesSent, 3'000'000);
    EXPECT_GT(s.serverToServerSeconds, 0.0);
    EXPECT_EQ(s.transferSeconds, 0.0);

    // Back again, with the default buffers and with buffers that take the direct path.
    test::MakeDir(pyftpd().root() + "/in");
    for (const int buffer : {4096, kDirectBuffer}) {
        SCOPED_TRACE(buffer);
        Set("FTP", "ReadBuffer", std::to_string(buffer));
        Set("FTP", "WriteBuffer", std::to_string(buffer));
        const std::string name = "copy" + std::to_string(buffer) + ".bin";
        auto home = Copy(Server(pyftpd().port()), Vsftpd(),
                         {Job(vsftpd().uploadFolder(), "big.bin", name, "/in", 3'000'000)});
        ASSERT_EQ(home->run().jobs[0].status, 0) << home->run().jobs[0].reason;
        EXPECT_TRUE(test::ReadFile(pyftpd().root() + "/in/" + name) == data);
    }
}

TEST_F(TransferServerToServerTest, FolderModesRebuildTheSourcePathBothWaysInBothModes) {
    // <pyftpd>/data/web/index.html and <vsftpd upload>/data/web/index.html
    for (const std::string& root : {pyftpd().root(), vsftpd().uploadPath()}) {
        test::MakeDir(root + "/data");
        test::MakeDir(root + "/data/web");
        ASSERT_TRUE(test::WriteFile(root + "/data/web/index.html", "s2s"));
    }
    for (const bool toVsftpd : {true, false}) {
        for (const bool passive : {false, true}) {
            FastSettings(passive);
            const std::string tag = std::string(toVsftpd ? "to-vs-" : "to-py-") + (passive ? "passive" : "active");
            const std::string sourceDir = toVsftpd ? "/data/web" : JoinRemote(vsftpd().uploadFolder(), "data/web");
            const TransferServer from = toVsftpd ? Server(pyftpd().port()) : Vsftpd();
            const TransferServer to = toVsftpd ? Vsftpd() : Server(pyftpd().port());
            const std::string targetRoot = toVsftpd ? vsftpd().uploadPath() : pyftpd().root();
            const std::string targetRemote = toVsftpd ? JoinRemote(vsftpd().uploadFolder(), tag) : "/" + tag;
            test::MakeDir(targetRoot + "/" + tag);
            const std::pair<const char*, std::string> modes[] = {
                {"NO_PATH", "index.html"},
                {"LAST_DIR", "web/index.html"},
                {"FULL_PATH", sourceDir.substr(1) + "/index.html"}};  // the whole source path
            for (const auto& [mode, expected] : modes) {
                SCOPED_TRACE(tag + " " + mode);
                Set("CONFIG", "FTPDirTree", mode);
                const std::string folder = targetRoot + "/" + tag + "/" + mode;
                test::MakeDir(folder);
                if (::geteuid() == 0) ::chmod(folder.c_str(), 0777);  // vsftpd writes as its session user
                auto c = Copy(to, from,
                              {Job(sourceDir, "index.html", "index.html", JoinRemote(targetRemote, mode), 3)});
                ASSERT_EQ(c->run().jobs[0].status, 0) << c->run().jobs[0].reason;
                EXPECT_EQ(test::ReadFile(folder + "/" + expected), "s2s");
            }
        }
    }
}

TEST_F(TransferServerToServerTest, OverwriteOffSkipsAnExistingTargetAndTheBatchBarReachesTheEnd) {
    Set("CONFIG", "Overwrite", "NO");
    FastSettings(true);
    test::MakeDir(pyftpd().root() + "/ow");
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/ow/a.bin", std::string(1000, 'a')));
    ASSERT_TRUE(test::WriteFile(pyftpd().root() + "/ow/b.bin", std::string(3000, 'b')));
    const std::string folder = vsftpd().uploadPath() + "/ow";
    test::MakeDir(folder);
    if (::geteuid() == 0) ::chmod(folder.c_str(), 0777);
    ASSERT_TRUE(test::WriteFile(folder + "/a.bin", "old"));
    const std::string remote = JoinRemote(vsftpd().uploadFolder(), "ow");
    auto c = Copy(Vsftpd(), Server(pyftpd().port()),
                  {Job("/ow", "a.bin", "a.bin", remote, 1000), Job("/ow", "b.bin", "b.bin", remote, 3000)});
    EXPECT_EQ(c->run().jobs[0].status, kJobTargetExists);
    EXPECT_EQ(c->run().jobs[0].reason, "Can't overwrite existing file!");
    EXPECT_EQ(test::ReadFile(folder + "/a.bin"), "old");
    EXPECT_EQ(c->run().jobs[1].status, 0) << c->run().jobs[1].reason;
    EXPECT_EQ(test::ReadFile(folder + "/b.bin"), std::string(3000, 'b'));
    const ProgressSnapshot p = c->run().progress.Snapshot();
    EXPECT_EQ(p.batchBar, 100);
    EXPECT_EQ(p.batchBytes, "Sent 4000 bytes out of 4000 (100.00%)");
}

}  // namespace
}  // namespace zyfar::enginetest
