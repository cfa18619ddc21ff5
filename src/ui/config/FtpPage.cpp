#include "config/FtpPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr int kMsgNeedEmail = 352;

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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(anonymous);
    layout->addWidget(connection);
    layout->addWidget(cacheGroup);
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
}

}  // namespace zyfar
