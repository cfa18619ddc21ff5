#pragma once
// The site form of the profile window: one site profile's name, description,
// server, login, password (hidden), remote directory and port, the
// "Encryption" combo (FTP over TLS), the "Anonymous Login" box (anonymous
// login, the CONFIG Email address as the password) and OK / Cancel. It is
// idle (mode 0, disabled), or edits a new profile (mode 1) or an existing one
// (mode 2); the window decides what OK and Cancel do. A profile without an
// Encryption key shows "None" and, unless the combo is changed, is saved
// without one; a new profile starts with explicit TLS.
#include <QWidget>

#include "profiles/SiteProfile.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zyfar {

enum class SiteFormMode { Idle = 0, New = 1, Update = 2 };

class ProfileSiteForm : public QWidget {
    Q_OBJECT
public:
    explicit ProfileSiteForm(QWidget* parent = nullptr);

    [[nodiscard]] SiteFormMode Mode() const { return mode_; }
    // Fills the fields and enables the form in that mode (Idle clears and
    // disables it). The changed flag is cleared.
    void Start(SiteFormMode mode, const QString& name, const SiteProfile& profile);
    void Stop() { Start(SiteFormMode::Idle, QString(), SiteProfile{}); }

    [[nodiscard]] QString Name() const;
    [[nodiscard]] SiteProfile Profile() const;
    // True when a field was edited since Start.
    [[nodiscard]] bool Changed() const { return changed_; }

    // The fields (tests, accessibility).
    [[nodiscard]] QLineEdit* NameField() const { return name_; }
    [[nodiscard]] QLineEdit* HostField() const { return host_; }
    [[nodiscard]] QLineEdit* LoginField() const { return login_; }
    [[nodiscard]] QLineEdit* PasswordField() const { return password_; }
    [[nodiscard]] QLineEdit* FolderField() const { return folder_; }
    [[nodiscard]] QLineEdit* PortField() const { return port_; }
    [[nodiscard]] QPlainTextEdit* DescriptionField() const { return description_; }
    [[nodiscard]] QCheckBox* AnonymousBox() const { return anonymous_; }
    [[nodiscard]] QComboBox* EncryptionBox() const { return encryption_; }

signals:
    void okClicked();
    void cancelClicked();

private:
    void OnAnonymousToggled(bool on);
    void OnEncryptionChosen();

    QLineEdit* name_;
    QPlainTextEdit* description_;
    QLineEdit* host_;
    QLineEdit* login_;
    QLineEdit* password_;
    QLineEdit* folder_;
    QLineEdit* port_;
    QCheckBox* anonymous_;
    QComboBox* encryption_;
    // The Encryption text the profile was started with (empty: absent), kept
    // as it is while the combo still shows what it means.
    std::string storedEncryption_;
    Encryption shownEncryption_ = Encryption::None;
    QPushButton* ok_;
    QPushButton* cancel_;
    SiteFormMode mode_ = SiteFormMode::Idle;
    bool changed_ = false;
    bool filling_ = false;
};

}  // namespace zyfar
