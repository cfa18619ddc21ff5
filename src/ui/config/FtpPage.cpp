#include "config/FtpPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "dialogs/SiteDialog.h"
#include "dialogs/TrustedCertificatesDialog.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr int kMsgNeedEmail = 352;

// The combos' entries: the stored value and what the user reads.
struct Choice {
    const char* value;
    const char* text;
};
constexpr Choice kVerifyChoices[] = {
    {"AUTO", "When the server offers it"},
    {"NO", "Never"},
    {"REQUIRE", "Always (fail if the server cannot)"},
};

template <std::size_t N>
void Fill(QComboBox* combo, const Choice (&choices)[N]) {
    for (const Choice& c : choices) combo->addItem(QString::fromLatin1(c.text), QString::fromLatin1(c.value));
}

// Selects the entry of `value` (the text as the program reads it).
void Select(QComboBox* combo, const char* value) {
    const int at = combo->findData(QString::fromLatin1(value));
    combo->setCurrentIndex(at >= 0 ? at : 0);
}

std::string ValueOf(const QComboBox* combo) { return combo->currentData().toString().toStdString(); }

// A number field followed by its unit.
QWidget* WithUnit(QWidget* parent, QLineEdit* edit, const QString& unit) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    layout->addWidget(new QLabel(unit, row));
    layout->addStretch(1);
    return row;
}

}  // namespace

FtpPage::FtpPage(QWidget* parent) : ConfigPage(QStringLiteral("&FTP"), QStringLiteral("config-ftp"), parent) {
    email_ = NewLineEdit(QStringLiteral("User's E-mail address"));
    email_->setPlaceholderText(QStringLiteral("name@example.org"));
    retries_ = NewNumberEdit(QStringLiteral("Connection Retries"));
    connectTo_ = NewNumberEdit(QStringLiteral("Connection Time-Out"));
    recTo_ = NewNumberEdit(QStringLiteral("Receive Time-Out (Data)"));
    sendTo_ = NewNumberEdit(QStringLiteral("Send Time-Out (Data)"));
    recToCtrl_ = NewNumberEdit(QStringLiteral("Receive Time-Out (Control)"));
    sendToCtrl_ = NewNumberEdit(QStringLiteral("Send Time-Out (Control)"));
    passive_ = NewCheckBox(QStringLiteral("&Passive mode"));
    passive_->setToolTip(QStringLiteral("Open data connections to the server (PASV/EPSV) instead of letting it connect back"));
    cache_ = NewCheckBox(QStringLiteral("Cache &Data"));
    reload_ = NewCheckBox(QStringLiteral("Reload From &Wire"));
    resume_ = NewCheckBox(QStringLiteral("Resume interrupted transfers"));
    resume_->setToolTip(QStringLiteral("A transfer that failed after moving bytes continues where it stopped "
                                       "when it is sent again, if the source has not changed"));
    verifyHash_ = NewCombo(QStringLiteral("Verify content"));
    Fill(verifyHash_, kVerifyChoices);
    verifyHash_->setToolTip(QStringLiteral("Compare each file with the server's hash of it"));
    encryption_ = NewCombo(QStringLiteral("Encryption for quick connects"));
    AddEncryptionChoices(encryption_);
    encryption_->setToolTip(QStringLiteral("Quick connects and script open lines; a site profile has its own"));

    auto* anonymous = NewGroup(QStringLiteral("Anonymous Login"));
    auto* anonymousForm = new QFormLayout(anonymous);
    anonymousForm->addRow(NewLabel(QStringLiteral("User's &E-mail address"), email_), email_);

    auto* connection = NewGroup(QStringLiteral("Connection"));
    auto* form = new QFormLayout(connection);
    const QString secs = QStringLiteral("secs");
    form->addRow(NewLabel(QStringLiteral("Connection Retr&ies"), retries_), WithUnit(connection, retries_, {}));
    form->addRow(NewLabel(QStringLiteral("&Connection Time-Out"), connectTo_), WithUnit(connection, connectTo_, secs));
    form->addRow(NewLabel(QStringLiteral("&Receive Time-Out (Data)"), recTo_), WithUnit(connection, recTo_, secs));
    form->addRow(NewLabel(QStringLiteral("Send Time-&Out (Data)"), sendTo_), WithUnit(connection, sendTo_, secs));
    form->addRow(NewLabel(QStringLiteral("Recei&ve Time-Out (Control)"), recToCtrl_),
                 WithUnit(connection, recToCtrl_, secs));
    form->addRow(NewLabel(QStringLiteral("Send Time-Out (Co&ntrol)"), sendToCtrl_),
                 WithUnit(connection, sendToCtrl_, secs));
    form->addRow(passive_);

    auto* cacheGroup = NewGroup(QStringLiteral("Cache"));
    auto* cacheRow = new QHBoxLayout(cacheGroup);
    cacheRow->addWidget(cache_);
    cacheRow->addWidget(reload_);
    cacheRow->addStretch(1);

    auto* transfers = NewGroup(QStringLiteral("Transfers"));
    auto* transfersForm = new QFormLayout(transfers);
    transfersForm->addRow(resume_);
    transfersForm->addRow(NewLabel(QStringLiteral("Verif&y content"), verifyHash_), verifyHash_);
    transfersForm->addRow(NewLabel(QStringLiteral("Encryption for quic&k connects"), encryption_), encryption_);
    auto* trusted = new QPushButton(QStringLiteral("Mana&ge Trusted Certificates..."), transfers);
    trusted->setAccessibleName(QStringLiteral("Manage Trusted Certificates"));
    trusted->setToolTip(QStringLiteral("The servers whose own certificate you chose to trust"));
    connect(trusted, &QPushButton::clicked, this, [this] {
        auto* dialog = new TrustedCertificatesDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    auto* trustedRow = new QHBoxLayout;
    trustedRow->addWidget(trusted);
    trustedRow->addStretch(1);
    transfersForm->addRow(trustedRow);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(anonymous);
    layout->addWidget(connection);
    layout->addWidget(cacheGroup);
    layout->addWidget(transfers);
    layout->addStretch(1);
}

void FtpPage::Load() {
    ShowText(email_, Read(keys::Email));
    ShowInt(retries_, ReadInt(keys::Retry));
    ShowInt(connectTo_, ReadInt(keys::ConnectTo));
    ShowInt(recTo_, ReadInt(keys::RecTo));
    ShowInt(sendTo_, ReadInt(keys::SendTo));
    ShowInt(recToCtrl_, ReadInt(keys::RecToCtrl));
    ShowInt(sendToCtrl_, ReadInt(keys::SendToCtrl));
    cache_->setChecked(ReadYes(keys::CachePage));
    reload_->setChecked(ReadYes(keys::Reload));
    passive_->setChecked(ReadYes(keys::Passive));
    resume_->setChecked(ResumeEnabled());
    Select(verifyHash_, VerifyHashText(ParseVerifyHash(Read(keys::VerifyHash))));
    SelectEncryption(encryption_, ParseEncryption(Read(keys::Encryption)));
}

bool FtpPage::Validate() {
    if (!email_->text().trimmed().isEmpty()) return true;
    AskMessage(this, kMsgNeedEmail, MessageKind::Information, MessageButtons::Ok);
    email_->setFocus();
    return false;
}

void FtpPage::StoreKeys() {
    Write(keys::Email, email_->text().trimmed().toStdString());
    WriteInt(keys::Retry, IntOf(retries_));
    WriteInt(keys::ConnectTo, IntOf(connectTo_));
    WriteInt(keys::RecTo, IntOf(recTo_));
    WriteInt(keys::SendTo, IntOf(sendTo_));
    WriteInt(keys::RecToCtrl, IntOf(recToCtrl_));
    WriteInt(keys::SendToCtrl, IntOf(sendToCtrl_));
    StoreYesNo(keys::CachePage, cache_);
    StoreYesNo(keys::Reload, reload_);
    StoreYesNo(keys::Passive, passive_);
    StoreYesNo(keys::Resume, resume_);
    Write(keys::VerifyHash, ValueOf(verifyHash_));
    Write(keys::Encryption, EncryptionText(EncryptionOf(encryption_)));
}

}  // namespace zyfar
