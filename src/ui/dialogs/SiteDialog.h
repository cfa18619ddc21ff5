#pragma once
// The FTP Site dialog (145): server, login, password (hidden), remote folder
// and port of one server without a profile file, with the "Anonymous FTP"
// box that fills in the anonymous login and the CONFIG Email address as the
// password. OK closes only when server, login, password and port are given
// and the port is 1..65535; otherwise it says 245 and stays open.
#include <QDialog>

#include "dialogs/Prompter.h"

class QCheckBox;
class QLineEdit;

namespace zyfar {

// The "Anonymous" box of a site form: on, the login becomes "anonymous" and
// the password the CONFIG Email address; off, both are emptied.
void FillAnonymousLogin(QLineEdit* login, QLineEdit* password, bool on);

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

    QLineEdit* host_;
    QLineEdit* login_;
    QLineEdit* password_;
    QLineEdit* folder_;
    QLineEdit* port_;
    QCheckBox* anonymous_;
    bool hostEditable_;
};

}  // namespace zyfar
