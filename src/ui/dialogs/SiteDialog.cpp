#include "dialogs/SiteDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QVBoxLayout>

#include "profiles/SiteProfile.h"
#include "config/HelpWindow.h"
#include "settings/Keys.h"
#include "settings/SettingsStore.h"

namespace zyfar {
namespace {

QLineEdit* Field(const QString& text, const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setAccessibleName(name);
    return edit;
}

}  // namespace

SiteDialog::SiteDialog(const SiteFields& fields, QWidget* parent)
    : QDialog(parent), shownEncryption_(fields.encryption), hostEditable_(fields.hostEditable) {
    setWindowTitle(QStringLiteral("FTP Site"));
    setAccessibleName(QStringLiteral("FTP Site"));
    auto* form = new QFormLayout;
    host_ = Field(fields.host, QStringLiteral("Site"), this);
    host_->setEnabled(fields.hostEditable);
    login_ = Field(fields.login, QStringLiteral("Login"), this);
    password_ = Field(fields.password, QStringLiteral("Password"), this);
    password_->setEchoMode(QLineEdit::Password);
    folder_ = Field(fields.folder, QStringLiteral("Directory"), this);
    port_ = Field(fields.port, QStringLiteral("Port"), this);
    port_->setValidator(new QIntValidator(1, 65535, port_));
    port_->setMaxLength(5);
    anonymous_ = new QCheckBox(QStringLiteral("&Anonymous FTP"), this);
    anonymous_->setAccessibleName(QStringLiteral("Anonymous FTP"));
    anonymous_->setChecked(fields.login == QLatin1String(kAnonymousUser));
    encryption_ = MakeEncryptionCombo(this);
    SelectEncryption(encryption_, fields.encryption);
    form->addRow(QStringLiteral("&Site:"), host_);
    form->addRow(QStringLiteral("&Login:"), login_);
    form->addRow(QStringLiteral("&Password:"), password_);
    form->addRow(QStringLiteral("&Directory:"), folder_);
    form->addRow(QStringLiteral("P&ort:"), port_);
    form->addRow(QStringLiteral("&Encryption:"), encryption_);
    form->addRow(QString(), anonymous_);
    connect(encryption_, &QComboBox::currentIndexChanged, this, &SiteDialog::OnEncryptionChosen);
    // Connected after the initial check: opening with an anonymous login
    // keeps the password as it was given.
    connect(anonymous_, &QCheckBox::toggled, this, &SiteDialog::OnAnonymousToggled);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SiteDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SiteDialog::reject);
    buttons->addButton(MakeHelpButton(this, QStringLiteral("site-dialog")), QDialogButtonBox::HelpRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void FillAnonymousLogin(QLineEdit* login, QLineEdit* password, bool on) {
    if (on) {
        login->setText(QString::fromLatin1(kAnonymousUser));
        password->setText(QString::fromStdString(Read(keys::Email)));
    } else {
        login->clear();
        password->clear();
    }
}

void SiteDialog::OnAnonymousToggled(bool on) { FillAnonymousLogin(login_, password_, on); }

void AddEncryptionChoices(QComboBox* combo) {
    combo->addItem(QStringLiteral("None"), static_cast<int>(Encryption::None));
    combo->addItem(QStringLiteral("Explicit TLS (AUTH TLS)"), static_cast<int>(Encryption::Explicit));
    combo->addItem(QStringLiteral("Implicit TLS"), static_cast<int>(Encryption::Implicit));
}

QComboBox* MakeEncryptionCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setAccessibleName(QStringLiteral("Encryption"));
    AddEncryptionChoices(combo);
    return combo;
}

Encryption EncryptionOf(const QComboBox* combo) {
    switch (combo->currentData().toInt()) {
        case static_cast<int>(Encryption::None): return Encryption::None;
        case static_cast<int>(Encryption::Implicit): return Encryption::Implicit;
        default: return Encryption::Explicit;  // never clear text by accident
    }
}

void SelectEncryption(QComboBox* combo, Encryption mode) {
    const int index = combo->findData(static_cast<int>(mode));
    combo->setCurrentIndex(index >= 0 ? index : 0);
}

QString EncryptionShortText(Encryption mode) {
    switch (mode) {
        case Encryption::Explicit: return QStringLiteral("Explicit TLS");
        case Encryption::Implicit: return QStringLiteral("Implicit TLS");
        case Encryption::None: break;
    }
    return QStringLiteral("None");
}

void FollowEncryptionPort(QLineEdit* port, Encryption from, Encryption to) {
    if (from == to || port->text().trimmed() != QString::number(DefaultPortFor(from))) return;
    port->setText(QString::number(DefaultPortFor(to)));
}

void SiteDialog::OnEncryptionChosen() {
    const Encryption chosen = EncryptionOf(encryption_);
    FollowEncryptionPort(port_, shownEncryption_, chosen);
    shownEncryption_ = chosen;
}

SiteFields SiteDialog::Fields() const {
    SiteFields f;
    f.host = host_->text().trimmed();
    f.login = login_->text();
    f.password = password_->text();
    f.folder = folder_->text().trimmed();
    f.port = port_->text().trimmed();
    f.hostEditable = hostEditable_;
    f.encryption = EncryptionOf(encryption_);
    return f;
}

bool SiteDialog::Validate() {
    const SiteFields f = Fields();
    bool portOk = false;
    const int port = f.port.toInt(&portOk);
    if (f.host.isEmpty() || f.login.isEmpty() || f.password.isEmpty() || !portOk || port < 1 || port > 65535) {
        AskMessage(this, 245, MessageKind::Stop, MessageButtons::Ok);
        return false;
    }
    return true;
}

void SiteDialog::accept() {
    if (Validate()) QDialog::accept();
}

}  // namespace zyfar
