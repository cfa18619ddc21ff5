// Keyboard and screen-reader use of every window: each control that takes
// the keyboard focus has a name a screen reader reads (its accessible name,
// or its buddy label's or its own text), each label with a mnemonic has a
// buddy to send the focus to, and no two mnemonics of one window, or of one
// menu, share a letter.
#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSet>
#include <QTabBar>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>

#include "app/MainFrame.h"
#include "config/ConfigSheet.h"
#include "config/HelpWindow.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/BatchOutputDlg.h"
#include "dialogs/CStatisticsDlg.h"
#include "dialogs/CertificateDialog.h"
#include "dialogs/TrustedCertificatesDialog.h"
#include "dialogs/CTransferDlg.h"
#include "dialogs/FileListWindow.h"
#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/LinksDialog.h"
#include "dialogs/ProfileWindow.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/QueueDialog.h"
#include "dialogs/SchedulerDialog.h"
#include "dialogs/ScriptedPrompter.h"
#include "dialogs/SiteDialog.h"
#include "engine/TransferRun.h"
#include "log/TransferLog.h"
#include "settings/SettingsStore.h"
#include "support/UiTestEnv.h"

using namespace zyfar;

namespace {

// The letter after a single "&", lower case; none when there is none.
std::optional<QChar> Mnemonic(const QString& text) {
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return std::nullopt;
}

QString Describe(const QWidget* w) {
    QString name = w->objectName();
    if (name.isEmpty()) name = w->accessibleName();
    if (name.isEmpty()) {
        if (const auto* b = qobject_cast<const QAbstractButton*>(w)) name = b->text();
    }
    const char* parent = w->parentWidget() ? w->parentWidget()->metaObject()->className() : "-";
    return QStringLiteral("%1 \"%2\" in %3")
        .arg(QString::fromLatin1(w->metaObject()->className()), name, QString::fromLatin1(parent));
}

bool Shown(const QWidget* w, const QWidget* window) { return w == window || w->isVisibleTo(window); }

// Mnemonics of the widgets of one window: buttons, buddy labels, group boxes, tabs, menu bar titles.
void CheckWindowMnemonics(QWidget* window, QStringList& problems) {
    std::map<QChar, QStringList> owners;
    auto note = [&owners](const QString& text) {
        if (const std::optional<QChar> m = Mnemonic(text)) owners[*m] << text;
    };
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (Shown(b, window) && b->window() == window && b->isEnabled()) note(b->text());
    }
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (!Shown(l, window) || l->window() != window || !Mnemonic(l->text())) continue;
        if (l->textFormat() == Qt::RichText) continue;
        if (l->buddy() == nullptr)
            problems << QStringLiteral("label \"%1\" has a mnemonic but no buddy").arg(l->text());
        else
            note(l->text());
    }
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) {
        if (Shown(g, window) && g->window() == window) note(g->title());
    }
    for (QTabBar* t : window->findChildren<QTabBar*>()) {
        if (!Shown(t, window) || t->window() != window) continue;
        for (int i = 0; i < t->count(); ++i) note(t->tabText(i));
    }
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        for (QAction* a : bar->actions())
            if (a->isVisible()) note(a->text());
    }
    for (const auto& [letter, texts] : owners) {
        if (texts.size() > 1) problems << QStringLiteral("mnemonic '%1' used by: %2").arg(letter).arg(texts.join(", "));
    }
}

// Every menu of the window (the menu bar's, the context menus of its views)
// on its own: the letters of its visible items.
void CheckMenus(QWidget* window, QStringList& problems) {
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        std::map<QChar, QStringList> owners;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || !a->isVisible()) continue;
            if (const std::optional<QChar> m = Mnemonic(a->text())) owners[*m] << a->text();
        }
        const QString title = menu->title().isEmpty() ? menu->accessibleName() : menu->title();
        for (const auto& [letter, texts] : owners) {
            if (texts.size() < 2) continue;
            problems << QStringLiteral("menu \"%1\": mnemonic '%2' used by: %3").arg(title, letter, texts.join(", "));
        }
    }
}

// Controls that take the focus with Tab and have no name for a screen reader.
void CheckNames(QWidget* window, QStringList& problems) {
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w->window() != window || !Shown(w, window)) continue;
        if ((w->focusPolicy() & Qt::TabFocus) == 0 || w->focusProxy() != nullptr) continue;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        if (iface == nullptr) {
            problems << QStringLiteral("no accessible interface: %1").arg(Describe(w));
            continue;
        }
        if (iface->text(QAccessible::Name).trimmed().isEmpty())
            problems << QStringLiteral("no accessible name: %1").arg(Describe(w));
    }
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
    std::unique_ptr<uitest::UiTestEnv> env_;

private slots:
    void init() {
        env_ = std::make_unique<uitest::UiTestEnv>();
        (void)TheTransferLog().ReloadSettings();
    }
    void cleanup() {
        CTransferDlg::CancelAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        env_.reset();
    }

    void everyWindow_data();
    void everyWindow();
    // After every window was looked at.
};

using WindowFactory = std::function<QWidget*()>;
Q_DECLARE_METATYPE(WindowFactory)

void AccessibilityTest::everyWindow_data() {
    QTest::addColumn<WindowFactory>("make");
    for (ScreenKind screen : {ScreenKind::Standard, ScreenKind::RemoteRemote, ScreenKind::MultiplePut}) {
        QTest::addRow("main window, %s", ScreenKindText(screen)) << WindowFactory([screen] {
            auto* frame = new CMainFrame(false);
            frame->SwitchScreen(screen);
            for (int bar : {cmd::ToolBar, cmd::ProfileBar, cmd::StatusBar})
                if (!frame->Commands().StateOf(bar).checked.value_or(false)) (void)frame->HandleCommand(bar);
            return frame;
        });
    }
    QTest::newRow("FTP site") << WindowFactory([] { return new SiteDialog(SiteFields{}); });
    QTest::newRow("links") << WindowFactory([] { return new LinksDialog(); });
    QTest::newRow("scheduler") << WindowFactory([] { return new SchedulerDialog(); });
    QTest::newRow("queue") << WindowFactory([] { return new QueueDialog(nullptr); });
    QTest::newRow("statistics") << WindowFactory([] { return CStatisticsDlg::Show(); });
    QTest::newRow("file properties") << WindowFactory([] {
        FileProperties p;
        p.name = QStringLiteral("a.txt");
        p.location = QStringLiteral("/tmp");
        p.size = 10;
        return new FilePropertiesDlg(p);
    });
    QTest::newRow("script output")
        << WindowFactory([] { return new BatchOutputDlg(QStringLiteral("/nonexistent.cmd")); });
    QTest::newRow("transfer") << WindowFactory([] {
        CTransferJob job;
        job.localDir = "/nonexistent";
        job.sourceName = job.targetName = "a.bin";
        job.remoteDir = "/in";
        job.size = 1;
        // Port 1 of the loopback address: the run fails at once, the window stays for the look.
        return new CTransferDlg(MakeSingleServerRun(TransferServer{"127.0.0.1", "u", "p", "/in", 1}, {job}, "", 1,
                                                    TransferMode::PutKeep, 2, nullptr, nullptr, false));
    });
    QTest::newRow("file lists") << WindowFactory([] { return new CSite({}); });
    for (int page = 0; page < ConfigSheet::PageCount; ++page)
        QTest::addRow("configuration page %d", page) << WindowFactory([page] {
            auto* sheet = new ConfigSheet();
            sheet->SetCurrentPage(page);
            return sheet;
        });
    QTest::newRow("about") << WindowFactory([] { return new AboutDialog(); });
    QTest::newRow("unknown certificate") << WindowFactory([] {
        CertificateInfo info;
        info.host = "ftp.example.org";
        info.port = 21;
        info.subject = info.issuer = "CN=ftp.example.org";
        info.fingerprint = "SHA256:" + std::string(64, 'A');
        info.selfSigned = true;
        return new CertificateDialog(info);
    });
    QTest::newRow("trusted certificates") << WindowFactory([] { return new TrustedCertificatesDialog(); });
    QTest::newRow("help") << WindowFactory([]() -> QWidget* {
        ShowHelp(QStringLiteral("index"));
        return HelpWindow::Instance();
    });
    QTest::newRow("profiles") << WindowFactory([] { return new CProfile(); });
    QTest::newRow("progress") << WindowFactory([] {
        auto* w = new ProgressWindow();
        w->SetCancelVisible(true);
        return w;
    });
}

void AccessibilityTest::everyWindow() {
    QFETCH(WindowFactory, make);
    ScriptedPrompter prompter;
    QPointer<QWidget> window = make();
    QVERIFY(window);
    window->show();
    QStringList problems;
    CheckNames(window, problems);
    CheckWindowMnemonics(window, problems);
    CheckMenus(window, problems);
    const QString found = problems.join(QLatin1Char('\n'));
    if (window) {
        window->close();
        if (!qobject_cast<CTransferDlg*>(window.data())) delete window.data();
    }
    QVERIFY2(problems.isEmpty(), qPrintable(QLatin1Char('\n') + found));
}

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
