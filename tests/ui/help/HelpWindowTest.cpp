// The help window over the bundled pages, the links between them, the About
// box, and the Help buttons and F1 of the dialogs.
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "config/HelpWindow.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/CStatisticsDlg.h"
#include "dialogs/LinksDialog.h"
#include "dialogs/Prompter.h"
#include "dialogs/QueueDialog.h"
#include "dialogs/SiteDialog.h"
#include "support/UiTestEnv.h"

using namespace zyfar;

// Catches what would go to the desktop's browser or mail program.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class HelpWindowTest : public QObject {
    Q_OBJECT
    uitest::UiTestEnv env_;
    UrlCatcher catcher_;

    static HelpWindow* Help() { return HelpWindow::Instance(); }

    // The relative and external links of one page, as the window's document holds them.
    static QStringList LinksOf(const QTextDocument& doc) {
        QStringList links;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (const QString href = it.fragment().charFormat().anchorHref(); !href.isEmpty()) links << href;
        return links;
    }

    static QStringList AnchorsOf(const QTextDocument& doc) {
        QStringList names;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it) names << it.fragment().charFormat().anchorNames();
        return names;
    }

private slots:
    void initTestCase() {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher_, "open");
    }
    void cleanupTestCase() {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    void cleanup() {
        CloseHelpWindow();
        QTRY_VERIFY(Help() == nullptr);
        catcher_.opened.clear();
    }

    // Every topic the windows and the configuration sheet ask for has its page.
    void topics_data() {
        QTest::addColumn<QString>("topic");
        for (const char* t : {"index", "main-window", "browsing", "site-dialog", "profiles", "file-lists",
                              "multiple-put", "links", "transfer", "queue", "scheduler", "scripts", "command-line",
                              "log", "statistics", "files-and-folders", "config-ftp", "config-proxies",
                              "config-system", "config-log", "config-ascii", "config-sounds", "config-queue",
                              "config-misc", "about-tls"})
            QTest::newRow(t) << QString::fromLatin1(t);
    }
    void topics() {
        QFETCH(QString, topic);
        QVERIFY(IsHelpTopic(topic));
        ShowHelp(topic);
        QVERIFY(Help() != nullptr);
        QCOMPARE(Help()->Topic(), topic);
        const QString title = Help()->Browser()->documentTitle();
        QVERIFY(!title.trimmed().isEmpty());
        QCOMPARE(Help()->windowTitle(), QStringLiteral("Zyfar Help - ") + title);
        QVERIFY(Help()->Browser()->toPlainText().size() > 200);
    }

    // Every link of every bundled page leads to a bundled page (and to a place
    // on it that exists), or out to the web or a mail address.
    void links_data() {
        QTest::addColumn<QString>("page");
        const QStringList pages = HelpTopics();
        QCOMPARE(pages.size(), 25);
        for (const QString& p : pages) QTest::newRow(qPrintable(p)) << p;
    }
    void links() {
        QFETCH(QString, page);
        QTextBrowser browser;
        const QUrl base = HelpPageUrl(page);
        browser.setSource(base);
        // The shared style sheet is found: the title is drawn in its heading colour.
        QTextBlock title = browser.document()->begin();
        while (title.isValid() && title.blockFormat().headingLevel() != 1) title = title.next();
        QVERIFY2(title.isValid(), qPrintable(page));
        QCOMPARE(title.begin().fragment().charFormat().foreground().color(), QColor(0x1d, 0x4f, 0x7a));
        for (const QString& href : LinksOf(*browser.document())) {
            const QUrl url = base.resolved(QUrl(href));
            if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("mailto")) continue;
            QCOMPARE(url.scheme(), QStringLiteral("qrc"));
            const QString target = QFileInfo(url.path()).completeBaseName();
            QVERIFY2(IsHelpTopic(target), qPrintable(page + QStringLiteral(": ") + href));
            if (url.hasFragment()) {
                QTextBrowser other;
                other.setSource(url.adjusted(QUrl::RemoveFragment));
                QVERIFY2(AnchorsOf(*other.document()).contains(url.fragment()), qPrintable(page + QStringLiteral(": ") + href));
            }
        }
    }

    void unknownTopicShowsIndex_data() {
        QTest::addColumn<QString>("topic");
        QTest::newRow("unknown") << "no-such-topic";
        QTest::newRow("empty") << "";
        QTest::newRow("capitals") << "QUEUE";
        QTest::newRow("a path") << "../help/queue";
        QTest::newRow("not bundled") << "about-sftp";
    }
    void unknownTopicShowsIndex() {
        QFETCH(QString, topic);
        ShowHelp(topic);
        QCOMPARE(Help()->Topic(), QStringLiteral("index"));
    }

    void oneWindowThenClosed() {
        ShowHelp(QStringLiteral("queue"));
        HelpWindow* first = Help();
        ShowHelp(QStringLiteral("scripts"));
        QCOMPARE(Help(), first);
        QCOMPARE(Help()->Topic(), QStringLiteral("scripts"));
        int windows = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) windows += qobject_cast<HelpWindow*>(w) != nullptr ? 1 : 0;
        QCOMPARE(windows, 1);
        CloseHelpWindow();
        QTRY_VERIFY(Help() == nullptr);
    }

    // Pages of the help open in the window (Back returns); web and mail
    // addresses go to the desktop; nothing else is followed.
    void followLink_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("topicAfter");
        QTest::addColumn<QString>("openedOnDesktop");
        QTest::newRow("another page") << "queue.html" << "queue" << "";
        QTest::newRow("a place on a page") << "browsing.html#properties" << "browsing" << "";
        QTest::newRow("web") << "https://zyfar.quorvane.org" << "index" << "https://zyfar.quorvane.org";
        QTest::newRow("mail") << "mailto:support@quorvane.org" << "index" << "mailto:support@quorvane.org";
        QTest::newRow("local file") << "file:///etc/passwd" << "index" << "";
        QTest::newRow("missing page") << "nothing.html" << "index" << "";
    }
    void followLink() {
        QFETCH(QString, link);
        QFETCH(QString, topicAfter);
        QFETCH(QString, openedOnDesktop);
        ShowHelp(QStringLiteral("index"));
        Help()->FollowLink(QUrl(link));
        QCOMPARE(Help()->Topic(), topicAfter);
        QCOMPARE(catcher_.opened, openedOnDesktop.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(openedOnDesktop)});
        if (topicAfter != QLatin1String("index")) {
            Help()->Browser()->backward();
            QCOMPARE(Help()->Topic(), QStringLiteral("index"));
        }
    }

    // Help asked for while a modal dialog is open belongs to that dialog (so it
    // can be used) and stays open on its own when the dialog goes.
    void helpNextToModalDialog() {
        QDialog modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        QCOMPARE(QApplication::activeModalWidget(), &modal);
        ShowHelp(QStringLiteral("queue"));
        QCOMPARE(Help()->parentWidget(), &modal);
        QVERIFY(Help()->isWindow() && Help()->isVisible());
        modal.hide();
        QTRY_VERIFY(Help() != nullptr && Help()->parentWidget() == nullptr);
        QVERIFY(Help()->isVisible());
        QCOMPARE(Help()->Topic(), QStringLiteral("queue"));
    }

    void aboutBox() {
        AboutDialog box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Zyfar"));
        QCOMPARE(box.VersionLabel()->text(), QStringLiteral("Zyfar v. 2.06"));
        QVERIFY(box.WebLink()->text().contains(QStringLiteral("href=\"https://zyfar.quorvane.org\"")));
        QVERIFY(box.MailLink()->text().contains(QStringLiteral("href=\"mailto:support@quorvane.org\"")));
        QVERIFY(!box.WebLink()->accessibleName().isEmpty() && !box.MailLink()->accessibleName().isEmpty());
        // Activating a link hands it to the desktop.
        emit box.WebLink()->linkActivated(QStringLiteral("https://zyfar.quorvane.org"));
        emit box.MailLink()->linkActivated(QStringLiteral("mailto:support@quorvane.org"));
        QCOMPARE(catcher_.opened, (QList<QUrl>{QUrl(QStringLiteral("https://zyfar.quorvane.org")),
                                               QUrl(QStringLiteral("mailto:support@quorvane.org"))}));
        // ShowAboutBox is modal and returns once the box is closed with OK.
        bool closed = false;
        QTimer::singleShot(0, [&closed] {
            if (auto* shown = qobject_cast<AboutDialog*>(QApplication::activeModalWidget())) {
                shown->findChild<QPushButton*>()->click();
                closed = true;
            }
        });
        ShowAboutBox(nullptr);
        QVERIFY(closed);
    }

    // F1 or the Help button of a dialog: its topic in the help window, or its
    // helpRequested() signal for the dialogs whose owner shows the topic.
    void dialogHelp_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("topic");  // empty: helpRequested() is emitted instead
        QTest::newRow("statistics, F1") << "statistics" << true << "statistics";
        QTest::newRow("site, Help button") << "site" << false << "site-dialog";
        QTest::newRow("queue, F1") << "queue" << true << "";
        QTest::newRow("links, F1") << "links" << true << "";
    }
    void dialogHelp() {
        QFETCH(QString, dialog);
        QFETCH(bool, byKey);
        QFETCH(QString, topic);
        std::unique_ptr<QDialog> owned;
        QDialog* shown = nullptr;
        if (dialog == QLatin1String("statistics")) shown = CStatisticsDlg::Show(nullptr);
        if (dialog == QLatin1String("site")) owned = std::make_unique<SiteDialog>(SiteFields{});
        if (dialog == QLatin1String("queue"))
            owned = std::make_unique<QueueDialog>(nullptr, nullptr, env_.Path("zyfarQue.ini"));
        if (dialog == QLatin1String("links")) owned = std::make_unique<LinksDialog>();
        if (owned) shown = owned.get();
        QVERIFY(shown != nullptr);
        const QPointer<QDialog> guard(shown);
        std::unique_ptr<QSignalSpy> asked;
        if (topic.isEmpty()) asked = std::make_unique<QSignalSpy>(shown, SIGNAL(helpRequested()));
        shown->show();
        shown->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(shown));
        if (byKey) {
            QTest::keyClick(shown, Qt::Key_F1);
        } else {
            QPushButton* help = nullptr;
            for (QPushButton* b : shown->findChildren<QPushButton*>())
                if (b->accessibleName() == QLatin1String("Help")) help = b;
            QVERIFY(help != nullptr);
            help->click();
        }
        if (topic.isEmpty()) {
            QCOMPARE(asked->count(), 1);
            QVERIFY(Help() == nullptr);
        } else {
            QVERIFY(Help() != nullptr);
            QCOMPARE(Help()->Topic(), topic);
        }
        if (!owned && guard) guard->close();
    }
};

QTEST_MAIN(HelpWindowTest)
#include "HelpWindowTest.moc"
