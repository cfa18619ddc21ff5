// The Multiple FTP Put screen: the send commands refuse with their messages
// when a list is empty (and no wait window shows), a site profile added twice
// gives one row, and a parallel and a serial send to three loopback servers,
// prepared through the views as a user would, deliver every file byte for byte.
#include <QApplication>
#include <QPointer>
#include <QtTest>
#include <memory>

#include "app/ScreenPanes.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/DialogRunStarter.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/ScriptedPrompter.h"
#include "profiles/SiteProfile.h"
#include "support/FtpTestServer.h"
#include "support/UiTestEnv.h"
#include "views/FilesView.h"
#include "views/FtpView.h"
#include "views/ViewMenu.h"

using namespace zyfar;
using namespace zyfar::uitest;

namespace {

bool WaitWindowShown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<ProgressWindow*>(w) != nullptr && w->isVisible()) return true;
    return false;
}

}  // namespace

class MultiPutScreenTest : public QObject {
    Q_OBJECT
    std::unique_ptr<UiTestEnv> env_;
    std::vector<std::unique_ptr<test::PyFtpdServer>> servers_;
    TestHost host_;
    RecordingSink sink_;

private slots:
    void initTestCase() {
        for (int i = 0; i < 3; ++i) {
            servers_.push_back(std::make_unique<test::PyFtpdServer>());
            QVERIFY2(servers_.back()->started(), servers_.back()->error().c_str());
        }
        SetUiHost(&host_);
    }
    void cleanupTestCase() { SetUiHost(nullptr); }
    void init() {
        env_ = std::make_unique<UiTestEnv>();
        WriteProfileString("LOG", "ToFile", "NO");
        (void)TheTransferLog().ReloadSettings();
        WriteProfileString("FTP", "Passive", "YES");
        WriteProfileString("FTP", "AccessType", "DirectAccess");
        WriteProfileString("FTP", "Retry", "0");
        WriteProfileString("CONFIG", "Overwrite", "YES");
    }
    void cleanup() {
        CTransferDlg::CancelAll();
        QTRY_COMPARE(CTransferDlg::OpenCount(), 0);
        env_.reset();
    }

    void emptyListsRefuse_data() {
        QTest::addColumn<int>("sites");
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("parallel");
        QTest::addColumn<int>("id");  // 0: the no-sites text
        QTest::newRow("no sites, parallel") << 0 << 2 << true << 0;
        QTest::newRow("no sites, serial") << 0 << 2 << false << 0;
        QTest::newRow("neither") << 0 << 0 << true << 0;
        QTest::newRow("no files, parallel") << 2 << 0 << true << 203;
        QTest::newRow("no files, serial") << 2 << 0 << false << 203;
    }
    void emptyListsRefuse() {
        QFETCH(int, sites);
        QFETCH(int, files);
        QFETCH(bool, parallel);
        QFETCH(int, id);
        ScriptedPrompter prompter;
        bool waitShownDuringMessage = true;
        prompter.duringMessage = [&](const ScriptedPrompter::Asked&) { waitShownDuringMessage = WaitWindowShown(); };
        prompter.messageAnswers = {MessageAnswer::Ok};
        CFtpView siteList;
        CFilesView fileList;
        for (int i = 0; i < sites; ++i) siteList.AppendSite(CTransferSite{"host" + std::to_string(i), "u", "p", "/"});
        for (int i = 0; i < files; ++i) (void)fileList.AddItems({FileListItem{"/tmp", "f" + std::to_string(i), "", 5}});
        ControllerRunStarter starter(&sink_);
        const MultiPutResult r = SendFromScreen(&siteList, &fileList, parallel, starter);
        QCOMPARE(starter.Count(), std::size_t{0});
        QCOMPARE(r.runsStarted, 0);
        QCOMPARE(prompter.asked().size(), std::size_t{1});
        const ScriptedPrompter::Asked& asked = prompter.asked().front();
        QCOMPARE(asked.icon, MessageKind::Stop);
        if (id == 0) QCOMPARE(asked.text, QStringLiteral("No target FTP sites have been selected"));
        else QCOMPARE(asked.id, id);
        QVERIFY(!waitShownDuringMessage);
        QCOMPARE(prompter.unexpected(), 0);
    }

    void profileAddedOncePerHost() {
        std::string path;
        QVERIFY(SaveSiteProfile(ProfilesFolder(), "office", SiteProfile{"ftp.example.org", "me", "secret", "/www", "", "2121"},
                                SaveMode::New, &path)
                    .ok());
        CFtpView siteList;
        AddSiteProfileToPane(QString::fromStdString(path), &siteList);
        AddSiteProfileToPane(QString::fromStdString(path), &siteList);
        QCOMPARE(siteList.RowCount(), 1);
        QCOMPARE(siteList.Sites().front(), (CTransferSite{"ftp.example.org", "me", "secret", "/www", 0, 2121}));
        QCOMPARE(siteList.Model()->CellText(0, 2), QStringLiteral("****"));
    }

    // Three sites entered with Add an FTP site, a folder of files dropped
    // from the desktop, one remote name set; then the send.
    void sendsToThreeServers_data() {
        QTest::addColumn<bool>("parallel");
        QTest::addColumn<int>("windows");
        QTest::newRow("parallel") << true << 3;
        QTest::newRow("serial") << false << 1;
    }
    void sendsToThreeServers() {
        QFETCH(bool, parallel);
        QFETCH(int, windows);
        const std::string remoteDir = parallel ? "/par" : "/ser";
        ScriptedPrompter prompter;
        CFtpView siteList;
        for (const auto& server : servers_) {
            test::MakeDir(server->root() + remoteDir);
            prompter.siteAnswers.push_back(SiteFields{"127.0.0.1", "user", "pass", QString::fromStdString(remoteDir),
                                                      QString::number(server->port())});
            QVERIFY(siteList.HandleCommand(cmd::AddSite));
        }
        QCOMPARE(siteList.RowCount(), 3);

        std::map<std::string, std::string> sent;  // remote name -> bytes
        env_->WriteFile("out/a.txt", test::PatternBytes(70'000, 1));
        env_->WriteFile("out/b.bin", test::PatternBytes(1, 2));
        env_->WriteFile("out/sub/c.dat", test::PatternBytes(300'000, 3));
        CFilesView fileList;
        QCOMPARE(fileList.AddPaths({env_->Path("out")}), 3);
        QCOMPARE(fileList.AddPaths({env_->Path("out")}), 0);  // dropped again: nothing new
        QVERIFY(fileList.SelectFirstRowByText("a.txt"));
        prompter.inputAnswers = {QStringLiteral("renamed.txt")};
        prompter.messageAnswers = {MessageAnswer::Ok};
        QVERIFY(fileList.HandleCommand(cmd::Rename));
        sent["renamed.txt"] = test::PatternBytes(70'000, 1);
        sent["b.bin"] = test::PatternBytes(1, 2);
        sent["c.dat"] = test::PatternBytes(300'000, 3);

        DialogRunStarter starter(&sink_);
        const MultiPutResult r = SendFromScreen(&siteList, &fileList, parallel, starter);
        QCOMPARE(r.outcome, MultiPutOutcome::Started);
        QCOMPARE(r.jobs, std::size_t{3});
        QVERIFY(!WaitWindowShown());
        QTRY_COMPARE_WITH_TIMEOUT(starter.Started(), windows, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(CTransferDlg::OpenCount(), 0, 60000);
        for (const auto& server : servers_)
            for (const auto& [name, bytes] : sent)
                QVERIFY2(test::ReadFile(server->root() + remoteDir + "/" + name) == bytes, name.c_str());
        QCOMPARE(prompter.unexpected(), 0);
    }
};

QTEST_MAIN(MultiPutScreenTest)
#include "MultiPutScreenTest.moc"
