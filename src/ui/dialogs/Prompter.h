#pragma once
// Every modal question the windows ask goes through one Prompter: a message
// box by message number (or with a composed text), the three-button question,
// the one-line input, and the file and folder choices. QtPrompter shows real
// dialogs; tests install a ScriptedPrompter that answers from a script and
// records what was asked. No window opens a message box of its own.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/UiHost.h"
#include "settings/Keys.h"

class QWidget;
class QDialog;

namespace zyfar {

// What a message box shows.
struct MessageRequest {
    int id = 0;  // the message number, 0 for a composed text
    QString text;
    MessageKind kind = MessageKind::Information;
    MessageButtons buttons = MessageButtons::Ok;
    QString title = {};  // the caption; empty: the program's name
};

// The three-button question (delete with "Yes To All", append or replace, a
// serial transfer's "All" / "Only this one"). Answers the button pressed:
// 0, 1 or 2; closing the dialog counts as the third button.
struct ThreeButtonRequest {
    QString title;
    QString question;
    QString buttons[3];  // an empty caption leaves that button out
};

struct InputRequest {
    QString title;
    QString prompt;
    QString initial;
    bool masked = false;  // a password: the typed characters are not shown
};

struct FileRequest {
    enum class Kind { Open, Save, Folder } kind = Kind::Open;
    QString title;
    QString folder;    // where the dialog starts
    QString filter;    // "Zyfar Scripts (*.cmd)"; empty for folders
    QString defaultSuffix;
};

// The fields of the FTP Site dialog (145): one server without a profile file.
struct SiteFields {
    QString host;
    QString login;
    QString password;
    QString folder;  // may be empty
    QString port = QStringLiteral("21");
    bool hostEditable = true;  // false: an existing server is updated, its host stays
    // FTP over TLS: what the caller fills in is preselected (a quick connect's
    // DefaultEncryption, a listed site's own), the dialog answers the choice.
    Encryption encryption = Encryption::None;

    friend bool operator==(const SiteFields&, const SiteFields&) = default;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // `shown`, when given, points at the open box while it is shown, so that
    // its owner can close it (a worker that stopped waiting); the box then
    // answers Cancel.
    virtual MessageAnswer Message(QWidget* parent, const MessageRequest& request,
                                  QPointer<QDialog>* shown = nullptr) = 0;
    virtual int ThreeButtons(QWidget* parent, const ThreeButtonRequest& request) = 0;
    // Nothing when cancelled.
    virtual std::optional<QString> InputLine(QWidget* parent, const InputRequest& request) = 0;
    // The chosen path, nothing when cancelled.
    virtual std::optional<QString> ChooseFile(QWidget* parent, const FileRequest& request) = 0;
    // The FTP Site dialog filled with `fields`; the edited fields on OK
    // (server, login, password and port all given, the port 1..65535),
    // nothing on Cancel.
    virtual std::optional<SiteFields> EditSite(QWidget* parent, const SiteFields& fields) = 0;
    // "Unknown Certificate": a server certificate that neither verifies nor
    // is trusted yet, with "Trust always", "Trust this time" and "Cancel"
    // (the default; closing the dialog cancels too). `shown` as for Message.
    virtual TrustAnswer TrustCertificate(QWidget* parent, const CertificateInfo& info,
                                         QPointer<QDialog>* shown = nullptr) = 0;
};

// The prompter in use; never null (QtPrompter unless one was installed).
[[nodiscard]] Prompter& Prompt();
// Installs a prompter (nullptr restores the Qt one). It must outlive its use.
void SetPrompter(Prompter* prompter);

// A message table text as a QString.
[[nodiscard]] QString MessageString(int id);
// String `id` with its "%s" filled by `args` in order (a "%s" inside an
// argument stays as it is).
[[nodiscard]] QString MessageString(int id, const QStringList& args);

// Shorthands over Prompt(): a message by number with its text from the
// message table, and a composed text.
MessageAnswer AskMessage(QWidget* parent, int id, MessageKind kind, MessageButtons buttons);
MessageAnswer AskText(QWidget* parent, const QString& text, MessageKind kind, MessageButtons buttons);

// The real dialogs.
class QtPrompter final : public Prompter {
public:
    MessageAnswer Message(QWidget* parent, const MessageRequest& request, QPointer<QDialog>* shown) override;
    int ThreeButtons(QWidget* parent, const ThreeButtonRequest& request) override;
    std::optional<QString> InputLine(QWidget* parent, const InputRequest& request) override;
    std::optional<QString> ChooseFile(QWidget* parent, const FileRequest& request) override;
    std::optional<SiteFields> EditSite(QWidget* parent, const SiteFields& fields) override;
    TrustAnswer TrustCertificate(QWidget* parent, const CertificateInfo& info, QPointer<QDialog>* shown) override;
};

}  // namespace zyfar
