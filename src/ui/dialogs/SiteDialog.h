#pragma once
// The FTP Site dialog (145): server, login, password (hidden), remote folder
// and port of one server without a profile file, with the "Anonymous FTP"
// box that fills in the anonymous login and the CONFIG Email address as the
// password, and the "Encryption" combo (none, explicit TLS with AUTH TLS,
// implicit TLS). OK closes only when server, login, password and port are
// given and the port is 1..65535; otherwise it says 245 and stays open.
#include <QDialog>

#include "dialogs/Prompter.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zyfar {

// The "Anonymous" box of a site form: on, the login becomes "anonymous" and
// the password the CONFIG Email address; off, both are emptied.
void FillAnonymousLogin(QLineEdit* login, QLineEdit* password, bool on);

// The encryption choices: "None", "Explicit TLS (AUTH TLS)", "Implicit TLS",
// in that order, each item's data the Encryption value.
void AddEncryptionChoices(QComboBox* combo);
// The "Encryption" combo of a site form, with those choices.
[[nodiscard]] QComboBox* MakeEncryptionCombo(QWidget* parent);
[[nodiscard]] Encryption EncryptionOf(const QComboBox* combo);
void SelectEncryption(QComboBox* combo, Encryption mode);
// A site's protection as a list shows it: "None", "Explicit TLS", "Implicit TLS".
[[nodiscard]] QString EncryptionShortText(Encryption mode);
// The port follows a change of encryption while it is the usual port of the
// mode left ("21" becomes "990" for implicit TLS, and back); a port the user
// typed otherwise stays.
void FollowEncryptionPort(QLineEdit* port, Encryption from, Encryption to);

class SiteDialog : public QDialog {
    Q_OBJECT
public:
    explicit SiteDialog(const SiteFields& fields, QWidget* parent = nullptr);

    [[nodiscard]] SiteFields Fields() const;
    // Checks the fields; false (after message 245) when one is missing.
    bool Validate();

    void accept() override;

private:
    void OnAnonymousToggled(bool on);
    void OnEncryptionChosen();

    QLineEdit* host_;
    QLineEdit* login_;
    QLineEdit* password_;
    QLineEdit* folder_;
    QLineEdit* port_;
    QCheckBox* anonymous_;
    QComboBox* encryption_;
    Encryption shownEncryption_;  // the combo's choice before the current change
    bool hostEditable_;
};

}  // namespace zyfar
