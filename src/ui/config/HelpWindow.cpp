#include "config/HelpWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

// The help pages live in the GUI library's resource file; a static library
// only links it in when something refers to it.
static void InitHelpResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(help);
        return true;
    }();
    (void)done;
}

namespace zyfar {
namespace {

QPointer<HelpWindow> g_window;

const QString kIndexTopic = QStringLiteral("index");

QString PagePath(const QString& topic) { return QStringLiteral(":/help/") + topic + QStringLiteral(".html"); }

QToolButton* NavButton(const QString& text, const QString& name, const char* theme, QStyle::StandardPixmap fallback,
                       const QString& tip, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setAccessibleName(name);
    b->setToolTip(tip);
    b->setIcon(QIcon::fromTheme(QLatin1String(theme), parent->style()->standardIcon(fallback)));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
}

void AddKey(QWidget* window, const QKeySequence& key, const std::function<void()>& what) {
    auto* shortcut = new QShortcut(key, window);
    QObject::connect(shortcut, &QShortcut::activated, window, what);
}

}  // namespace

bool IsHelpTopic(const QString& topic) {
    InitHelpResources();
    static const QRegularExpression kName(QStringLiteral("^[a-z0-9-]+$"));
    return kName.match(topic).hasMatch() && QFile::exists(PagePath(topic));
}

QUrl HelpPageUrl(const QString& topic) {
    return QUrl(QStringLiteral("qrc") + PagePath(IsHelpTopic(topic) ? topic : kIndexTopic));
}

QStringList HelpTopics() {
    InitHelpResources();
    QStringList topics;
    for (const QString& file : QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files))
        topics << QFileInfo(file).completeBaseName();
    topics.sort();
    return topics;
}

void ShowHelp(const QString& topic) {
    InitHelpResources();
    if (!g_window) g_window = new HelpWindow;
    HelpWindow* window = g_window.data();
    window->FollowModalDialog();
    window->ShowTopic(topic);
    window->show();
    window->raise();
    window->activateWindow();
}

void CloseHelpWindow() {
    if (g_window) g_window->close();
}

void InstallHelpKey(QWidget* window, const QString& topic) {
    AddKey(window, QKeySequence::HelpContents, [topic] { ShowHelp(topic); });
}

void InstallHelpKey(QWidget* window, QAbstractButton* helpButton) {
    QPointer<QAbstractButton> button(helpButton);
    AddKey(window, QKeySequence::HelpContents, [button] {
        if (button) button->click();
    });
}

QPushButton* MakeHelpButton(QWidget* parent, const QString& topic) {
    auto* button = new QPushButton(QStringLiteral("&Help"), parent);
    button->setAccessibleName(QStringLiteral("Help"));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button, [topic] { ShowHelp(topic); });
    InstallHelpKey(parent, topic);
    return button;
}

// ---- the window ----

HelpWindow* HelpWindow::Instance() { return g_window.data(); }

HelpWindow::HelpWindow() : QWidget(nullptr, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("HelpWindow"));
    setAccessibleName(QStringLiteral("Zyfar Help"));
    setWindowTitle(QStringLiteral("Zyfar Help"));

    browser_ = new QTextBrowser(this);
    browser_->setAccessibleName(QStringLiteral("Help page"));
    browser_->document()->setDocumentMargin(10);
    // Every link is decided here: pages of the help in the window, web and
    // mail addresses on the desktop, nothing else.
    browser_->setOpenLinks(false);
    browser_->setOpenExternalLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::FollowLink);
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpWindow::OnSourceChanged);

    back_ = NavButton(QStringLiteral("&Back"), QStringLiteral("Back"), "go-previous", QStyle::SP_ArrowBack,
                      QStringLiteral("The page shown before (Alt+Left)"), this);
    forward_ = NavButton(QStringLiteral("&Forward"), QStringLiteral("Forward"), "go-next", QStyle::SP_ArrowForward,
                         QStringLiteral("The next page again (Alt+Right)"), this);
    auto* home = NavButton(QStringLiteral("&Home"), QStringLiteral("Home"), "go-home", QStyle::SP_DirHomeIcon,
                           QStringLiteral("The first page shown in this window (Alt+Home)"), this);
    auto* contents = NavButton(QStringLiteral("&Contents"), QStringLiteral("Contents"), "help-contents",
                               QStyle::SP_FileDialogContentsView, QStringLiteral("The list of all help topics"), this);
    back_->setEnabled(false);
    forward_->setEnabled(false);
    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(home, &QToolButton::clicked, browser_, &QTextBrowser::home);
    connect(contents, &QToolButton::clicked, this, [this] { ShowTopic(kIndexTopic); });
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);

    AddKey(this, QKeySequence::Back, [this] { browser_->backward(); });
    AddKey(this, QKeySequence::Forward, [this] { browser_->forward(); });
    AddKey(this, QKeySequence(Qt::ALT | Qt::Key_Home), [this] { browser_->home(); });
    AddKey(this, QKeySequence::ZoomIn, [this] { browser_->zoomIn(); });
    AddKey(this, QKeySequence::ZoomOut, [this] { browser_->zoomOut(); });
    AddKey(this, QKeySequence(Qt::Key_Escape), [this] { close(); });
    AddKey(this, QKeySequence::Close, [this] { close(); });

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 4, 4, 0);
    for (QToolButton* b : {back_, forward_, home, contents}) bar->addWidget(b);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);
    resize(760, 640);
}

void HelpWindow::ShowTopic(const QString& topic) { browser_->setSource(HelpPageUrl(topic)); }

QString HelpWindow::Topic() const { return QFileInfo(browser_->source().path()).completeBaseName(); }

void HelpWindow::FollowLink(const QUrl& link) {
    const QUrl url = browser_->source().resolved(link);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")) {
        QDesktopServices::openUrl(url);
        return;
    }
    // Another page of the help (or a place on this one).
    if (scheme == QLatin1String("qrc") && url.path().startsWith(QLatin1String("/help/")) &&
        QFile::exists(QLatin1Char(':') + url.path()))
        browser_->setSource(url);
}

void HelpWindow::OnSourceChanged() {
    const QString title = browser_->documentTitle().trimmed();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Zyfar Help") : QStringLiteral("Zyfar Help - ") + title);
}

void HelpWindow::FollowModalDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == this) modal = nullptr;
    if (modal != owner_.data()) SetOwner(modal);
}

void HelpWindow::SetOwner(QWidget* owner) {
    if (owner_) owner_->removeEventFilter(this);
    owner_ = owner;
    const QRect frame = geometry();
    const bool shown = isVisible();
    setParent(owner, windowFlags() | Qt::Window);  // setParent hides the window
    setGeometry(frame);
    if (owner) owner->installEventFilter(this);
    if (shown) show();
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_.data() && event->type() == QEvent::Hide) {
        // The dialog goes away; the help stays open, with the modal dialog
        // that may still be open below it.
        SetOwner(nullptr);
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) FollowModalDialog();
        });
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zyfar
