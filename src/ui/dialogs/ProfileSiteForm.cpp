#include "dialogs/ProfileSiteForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "dialogs/SiteDialog.h"
#include "settings/Keys.h"

namespace zyfar {

ProfileSiteForm::ProfileSiteForm(QWidget* parent) : QWidget(parent) {
    name_ = new QLineEdit(this);
    description_ = new QPlainTextEdit(this);
    description_->setTabChangesFocus(true);
    description_->setFixedHeight(fontMetrics().lineSpacing() * 3 + 12);
    host_ = new QLineEdit(this);
    login_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    folder_ = new QLineEdit(this);
    port_ = new QLineEdit(this);
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), port_));
    encryption_ = MakeEncryptionCombo(this);
    anonymous_ = new QCheckBox(QStringLiteral("Anonymous Login"), this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Profile Name:"), name_);
    form->addRow(QStringLiteral("Description:"), description_);
    form->addRow(QStringLiteral("FTP Server:"), host_);
    form->addRow(QStringLiteral("Login:"), login_);
    form->addRow(QStringLiteral("Password:"), password_);
    form->addRow(QStringLiteral("Remote Directory:"), folder_);
    form->addRow(QStringLiteral("Port:"), port_);
    form->addRow(QStringLiteral("Encryption:"), encryption_);
    form->addRow(QString(), anonymous_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addStretch();

    const std::pair<QWidget*, const char*> names[] = {
        {name_, "Profile Name"}, {description_, "Description"}, {host_, "FTP Server"},
        {login_, "Login"},       {password_, "Password"},       {folder_, "Remote Directory"},
        {port_, "Port"},         {encryption_, "Encryption"}, {anonymous_, "Anonymous Login"}, {ok_, "OK"},
        {cancel_, "Cancel"}};
    for (const auto& [w, n] : names) w->setAccessibleName(QString::fromLatin1(n));
    setAccessibleName(QStringLiteral("Site form"));

    for (QLineEdit* e : {name_, host_, login_, password_, folder_, port_})
        connect(e, &QLineEdit::textChanged, this, [this] { changed_ = changed_ || !filling_; });
    connect(description_, &QPlainTextEdit::textChanged, this, [this] { changed_ = changed_ || !filling_; });
    connect(encryption_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) OnEncryptionChosen();
    });
    connect(anonymous_, &QCheckBox::toggled, this, [this](bool on) {
        if (!filling_) OnAnonymousToggled(on);
    });
    connect(ok_, &QPushButton::clicked, this, &ProfileSiteForm::okClicked);
    connect(cancel_, &QPushButton::clicked, this, &ProfileSiteForm::cancelClicked);
    Stop();
}

void ProfileSiteForm::Start(SiteFormMode mode, const QString& name, const SiteProfile& profile) {
    filling_ = true;
    mode_ = mode;
    name_->setText(name);
    description_->setPlainText(QString::fromStdString(profile.description));
    host_->setText(QString::fromStdString(profile.host));
    login_->setText(QString::fromStdString(profile.user));
    password_->setText(QString::fromStdString(profile.password));
    folder_->setText(QString::fromStdString(profile.remotePath));
    port_->setText(QString::fromStdString(profile.port));
    anonymous_->setChecked(mode != SiteFormMode::Idle && IsAnonymousUser(profile.user));
    // A profile made here is protected unless the user chooses otherwise.
    const bool fresh = mode == SiteFormMode::New && profile.encryption.empty();
    storedEncryption_ = fresh ? std::string(EncryptionText(Encryption::Explicit)) : profile.encryption;
    shownEncryption_ = ParseEncryption(storedEncryption_);
    SelectEncryption(encryption_, shownEncryption_);
    // An existing profile keeps its name: a rename is its own command.
    name_->setReadOnly(mode == SiteFormMode::Update);
    setEnabled(mode != SiteFormMode::Idle);
    changed_ = false;
    filling_ = false;
}

QString ProfileSiteForm::Name() const { return name_->text(); }

SiteProfile ProfileSiteForm::Profile() const {
    SiteProfile p;
    p.host = host_->text().trimmed().toStdString();
    p.user = login_->text().toStdString();
    p.password = password_->text().toStdString();
    p.remotePath = folder_->text().toStdString();
    p.description = description_->toPlainText().toStdString();
    p.port = port_->text().trimmed().toStdString();
    // Unchanged, the stored text stays (an absent key stays absent).
    const Encryption chosen = EncryptionOf(encryption_);
    p.encryption =
        chosen == ParseEncryption(storedEncryption_) ? storedEncryption_ : std::string(EncryptionText(chosen));
    return p;
}

void ProfileSiteForm::OnAnonymousToggled(bool on) { FillAnonymousLogin(login_, password_, on); }

void ProfileSiteForm::OnEncryptionChosen() {
    const Encryption chosen = EncryptionOf(encryption_);
    FollowEncryptionPort(port_, shownEncryption_, chosen);
    shownEncryption_ = chosen;
    changed_ = true;
}

}  // namespace zyfar
