// FTP over TLS where it is chosen: the FTP section's Encryption for script
// "open" lines (output and log name the protection), a profile's Encryption
// (absent "NONE", IMPLICIT defaulting to port 990) for link runs.
#include "support/FtpClientHelpers.h"
#include "AutomationTestSupport.h"
#include "automation/EngineQueue.h"
#include "automation/LinkRun.h"
#include "automation/QueueSend.h"
#include "ftp/CertificateTrust.h"
#include "support/TestCertificates.h"

namespace zyfar::autotest {
namespace {

using namespace zyfar::test;

class TlsScriptTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        const TestCertificateSet& set = TestCertificateSet::Get();
        const CertificateFiles files = WriteCertificate(Root(), "server", set.selfSigned);
        PyFtpdOptions options;
        options.tlsCert = files.cert;
        options.tlsKey = files.key;
        server_ = std::make_unique<PyFtpdServer>(options);
        ASSERT_TRUE(server_->started()) << server_->error();
        Set("FTP", "Encryption", "EXPLICIT");
    }
    // The server's certificate stored as trusted, as "zyfar --trust" does.
    void TrustServer() const {
        FtpClient probe;
        FtpConnectOptions options = test::LoopbackOptions(server_->port());
        options.encryption = Encryption::Explicit;
        const FtpOutcome<CertificateCheck> check = probe.CheckCertificate(options);
        ASSERT_TRUE(check.ok()) << check.result.text;
        ASSERT_TRUE(CertificateTrust().Store("127.0.0.1", server_->port(), check.value.certificate.fingerprint));
    }
    std::unique_ptr<PyFtpdServer> server_;
};

// Trusted before: the session is protected, the script says so, the files
// move both ways. Not trusted: the open fails and the run ends, naming the
// fingerprint and how to trust it.
TEST_F(TlsScriptTest, OpenFollowsTheFtpEncryption) {
    const std::string up = MakeLocalFile("up.bin", 150 * 1024, 3);
    const std::string down = PatternBytes(120 * 1024, 4);
    ASSERT_TRUE(WriteFile(server_->root() + "/down.bin", down));

    ScriptRunResult r = Run(OpenLine("S", *server_) + "put S up.bin\n");
    EXPECT_EQ(r.end, ScriptEnd::ConnectionLost);
    const std::string refused = Output();
    EXPECT_NE(refused.find("Certificate not trusted, SHA256:"), std::string::npos) << refused;
    EXPECT_NE(refused.find("zyfar --trust ftpes://127.0.0.1:" + std::to_string(server_->port())), std::string::npos);
    EXPECT_FALSE(ReadFile(server_->root() + "/up.bin"));

    ASSERT_NO_FATAL_FAILURE(TrustServer());
    const std::size_t before = Lines().size();
    log_.Clear();
    r = Run(OpenLine("S", *server_) + "put S up.bin\nget S down.bin\n");
    EXPECT_EQ(r.errorBlocks, 0) << Output();
    const std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), before + 3);
    // The script path, "S: Internet Connection OK", then the connection with its protection.
    EXPECT_EQ(lines[before + 2].rfind("S: FTP Connection OK TLS 1.3, TLS_", 0), 0U) << Output();
    const std::vector<LogEntry> entries = LogEntries();
    const auto connected = std::find_if(entries.begin(), entries.end(), [](const LogEntry& e) { return e.code == 32861; });
    ASSERT_NE(connected, entries.end());
    EXPECT_EQ(connected->detail.rfind("TLS 1.3, TLS_", 0), 0U) << connected->detail;
    EXPECT_TRUE(SameBytes(ReadFile(server_->root() + "/up.bin"), up));
    EXPECT_TRUE(SameBytes(ReadFile(LocalFile("down.bin")), down));
}

// A profile's Encryption: absent reads as none (and stays absent when the
// profile is saved again), an implicit profile without a Port goes to 990,
// an unreadable value means explicit; a link run takes it over.
TEST_F(TlsScriptTest, ProfilesCarryTheirEncryption) {
    struct Row {
        const char* stored;  // the Encryption line, or null for none
        const char* port;    // the Port line, or null for none
        Encryption encryption;
        int connectPort;
    };
    const Row rows[] = {
        {nullptr, nullptr, Encryption::None, 21},       {"NONE", "2121", Encryption::None, 2121},
        {"EXPLICIT", nullptr, Encryption::Explicit, 21}, {"implicit", nullptr, Encryption::Implicit, 990},
        {"IMPLICIT", "2990", Encryption::Implicit, 2990}, {"TLS please", nullptr, Encryption::Explicit, 21},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored ? row.stored : "(absent)");
        const std::string name = "site" + std::to_string(++n);
        std::string text = "[Settings]\nHost=127.0.0.1\nUser=user\nPassword=pass\n";
        if (row.port) text += std::string("Port=") + row.port + "\n";
        if (row.stored) text += std::string("Encryption=") + row.stored + "\n";
        const std::string path = ProfilesFolder() + "/" + name + ".ini";
        ASSERT_TRUE(WriteFile(path, text));
        const SiteProfile profile = ReadSiteProfile(path);
        EXPECT_EQ(SiteProfileEncryption(profile), row.encryption);
        EXPECT_EQ(SiteProfilePort(profile), row.connectPort);
        ASSERT_TRUE(SaveSiteProfile(ProfilesFolder(), name, profile, SaveMode::Update).ok());
        EXPECT_EQ(FindPrivateProfileString(kSiteSection, kSiteEncryptionKey, path).has_value(), row.stored != nullptr);

        const std::string list = MakeFileList("list" + std::to_string(n), {});
        MakeLink("link" + std::to_string(n), {path}, list);
        const LinkRunPlan plan = PlanLinkRun("link" + std::to_string(n));
        ASSERT_EQ(plan.servers.size(), 1U);
        EXPECT_EQ(plan.servers.front().encryption, row.encryption);
        EXPECT_EQ(plan.servers.front().port, row.connectPort);
    }
    // Written in its stored form.
    SiteProfile fresh;
    std::tie(fresh.host, fresh.user, fresh.password, fresh.encryption) = std::tuple("h", "u", "p", "explicit");
    std::string saved;
    ASSERT_TRUE(SaveSiteProfile(ProfilesFolder(), "fresh", fresh, SaveMode::New, &saved).ok());
    EXPECT_EQ(FindPrivateProfileString(kSiteSection, kSiteEncryptionKey, saved).value_or(""), "EXPLICIT");
}

// A failed put to a TLS site is queued with its protection and resent the
// same way; an entry whose Encryption cannot be read goes over TLS too. Only
// an entry without the key (a clear-text site, or an older queue file) logs
// in in clear, which this server (TLS required) refuses: it stays queued.
TEST_F(TlsScriptTest, QueuedTransfersAreResentWithTheirProtection) {
    ASSERT_NO_FATAL_FAILURE(TrustServer());
    struct Row {
        const char* name;
        Encryption site;
        const char* storedAs;  // the entry's Encryption as written, then what the test puts there
        const char* overwrite;
        bool sent;
    };
    const Row rows[] = {
        {"explicit.bin", Encryption::Explicit, "EXPLICIT", nullptr, true},
        {"garbled.bin", Encryption::Explicit, "EXPLICIT", "TLS?", true},
        {"clear.bin", Encryption::None, "<absent>", nullptr, false},
    };
    QueueFile file(queuePath_);
    std::vector<std::string> bytes;
    int number = 0;
    for (const Row& row : rows) {
        bytes.push_back(MakeLocalFile(row.name, 40 * 1024, static_cast<std::uint32_t>(++number)));
        const QueueRun run{QueueMethod::Put, {"127.0.0.1", "user", "pass", "/", server_->port(), row.site}, {}};
        const QueueItem item{local_, row.name, row.name, "/", "dropped", 40 * 1024, ftpcode::kConnectionAborted, 0};
        ASSERT_EQ(file.ApplyRun(run, {item}, {1, "", 0}, true).appended, 1);
        EXPECT_EQ(Q(number, "Encryption"), row.storedAs) << row.name;
        if (row.overwrite != nullptr) {
            ASSERT_TRUE(WritePrivateProfileString(QueueSectionName(number), "Encryption", row.overwrite, queuePath_));
        }
    }
    QueueFileSink queue(queuePath_);
    QuickStarter starter(&queue);
    const QueueSendPlan plan = TakeQueueRoutes(queuePath_, false);
    ASSERT_EQ(plan.routes.size(), 2U);  // the protected files and the clear one: two logins
    EXPECT_EQ(plan.routes[0].server.encryption, Encryption::Explicit);
    EXPECT_EQ(plan.routes[1].server.encryption, Encryption::None);
    for (const QueueSendRoute& route : plan.routes) starter.StartRun(MakeRouteRun(route), false);
    starter.WaitAll();
    std::vector<std::string> left;
    for (const QueueEntry& e : file.LoadRows()) left.push_back(e.localName);
    EXPECT_EQ(left, std::vector<std::string>{"clear.bin"});
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const std::optional<std::string> there = ReadFile(server_->root() + "/" + rows[i].name);
        EXPECT_EQ(there.has_value(), rows[i].sent) << rows[i].name;
        if (there) {
            EXPECT_TRUE(SameBytes(there, bytes[i])) << rows[i].name;
        }
    }
}

}  // namespace
}  // namespace zyfar::autotest
