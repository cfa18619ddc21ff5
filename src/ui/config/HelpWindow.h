#pragma once
// The help window: one window for the whole program, a QTextBrowser over the
// HTML pages bundled in the resource file (":/help/<topic>.html"), with Back,
// Forward, Home and Contents buttons. Links between pages open in the window;
// web and mail links (http, https, mailto) go to the desktop's browser or
// mail program and never load inside the window; any other link is not
// followed. The title reads "Zyfar Help - " and the page's title.
//
// Modal dialogs: a help window asked for while a modal dialog is open becomes
// a window of that dialog, so that it can be read and scrolled next to it
// (a separate window would be blocked by the dialog); when the dialog goes
// away the help window stays open on its own.
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QUrl>
#include <QWidget>

class QAbstractButton;
class QTextBrowser;
class QToolButton;

namespace zyfar {

// Shows the topic's page in the one help window (created on first use,
// raised afterwards; links between pages work). Unknown topic: "index".
void ShowHelp(const QString& topic);
// Closes the help window (the main window calls it at shutdown).
void CloseHelpWindow();

// True when `topic` names a bundled page (lower-case letters, digits and
// "-" only).
[[nodiscard]] bool IsHelpTopic(const QString& topic);
// "qrc:/help/<topic>.html", or the index page's address for an unknown topic.
[[nodiscard]] QUrl HelpPageUrl(const QString& topic);
// Every bundled topic, sorted (for tests and the contents page's checks).
[[nodiscard]] QStringList HelpTopics();

// F1 (the desktop's help key) anywhere inside `window` shows `topic`.
void InstallHelpKey(QWidget* window, const QString& topic);
// F1 anywhere inside `window` clicks `helpButton` (for dialogs that ask for
// help through a signal of their own).
void InstallHelpKey(QWidget* window, QAbstractButton* helpButton);
// A "&Help" button (accessible name "Help") that shows `topic`, with F1 in
// `parent`'s window doing the same.
[[nodiscard]] QPushButton* MakeHelpButton(QWidget* parent, const QString& topic);

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // The open help window, or null.
    [[nodiscard]] static HelpWindow* Instance();

    // Shows a topic's page (index for an unknown topic).
    void ShowTopic(const QString& topic);
    // The topic of the page shown ("queue" for qrc:/help/queue.html).
    [[nodiscard]] QString Topic() const;
    [[nodiscard]] QTextBrowser* Browser() const { return browser_; }
    // Follows a link as a click on it does.
    void FollowLink(const QUrl& link);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend void ShowHelp(const QString& topic);
    HelpWindow();
    void OnSourceChanged();
    // Becomes a window of the active modal dialog, or stands alone when
    // there is none.
    void FollowModalDialog();
    void SetOwner(QWidget* owner);

    QTextBrowser* browser_ = nullptr;
    QToolButton* back_ = nullptr;
    QToolButton* forward_ = nullptr;
    QPointer<QWidget> owner_;  // the modal dialog the window belongs to
};

}  // namespace zyfar
