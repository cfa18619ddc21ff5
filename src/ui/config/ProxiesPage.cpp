#include "config/ProxiesPage.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/Prompter.h"
#include "settings/Keys.h"

namespace zyfar {
namespace {

constexpr int kMsgCernProxyNeedsNameAndPort = 33049;

const char* const kDirect = "DirectAccess";
const char* const kPreconfig = "PreconfigAccess";
const char* const kProxy = "ProxyAccess";

}  // namespace

ProxiesPage::ProxiesPage(QWidget* parent)
    : ConfigPage(QStringLiteral("Pro&xies"), QStringLiteral("config-proxies"), parent), access_(this) {
    auto* direct = NewRadio(QStringLiteral("&Direct Access"));
    auto* preconfig = NewRadio(QStringLiteral("Pr&e-configured Access"));
    preconfig->setToolTip(QStringLiteral("Use the proxy named by ftp_proxy or all_proxy in the environment"));
    auto* cern = NewRadio(QStringLiteral("&CERN Proxy Access"));
    access_.Add(direct, kDirect);
    access_.Add(preconfig, kPreconfig);
    access_.Add(cern, kProxy);
    proxyName_ = NewLineEdit(QStringLiteral("Proxy Server Name"));
    proxyPort_ = NewNumberEdit(QStringLiteral("Proxy Port Number"));
    port_ = NewNumberEdit(QStringLiteral("FTP Default Port"));

    auto* accessGroup = NewGroup(QStringLiteral("Internet Access"));
    auto* accessLayout = new QVBoxLayout(accessGroup);
    accessLayout->addWidget(direct);
    accessLayout->addWidget(preconfig);
    accessLayout->addWidget(cern);
    auto* proxyForm = new QFormLayout;
    proxyForm->setContentsMargins(24, 0, 0, 0);  // under the CERN button
    proxyForm->addRow(NewLabel(QStringLiteral("Proxy Server &Name"), proxyName_), proxyName_);
    proxyForm->addRow(NewLabel(QStringLiteral("Proxy &Port Number"), proxyPort_), proxyPort_);
    accessLayout->addLayout(proxyForm);

    auto* ftpGroup = NewGroup(QStringLiteral("FTP"));
    auto* ftpForm = new QFormLayout(ftpGroup);
    ftpForm->addRow(NewLabel(QStringLiteral("FTP Default P&ort"), port_), port_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(accessGroup);
    layout->addWidget(ftpGroup);
    layout->addStretch(1);

    connect(cern, &QRadioButton::toggled, this, [this] { UpdateProxyFields(); });
    UpdateProxyFields();
}

void ProxiesPage::UpdateProxyFields() {
    const bool cern = access_.Chosen() == std::string(kProxy);
    proxyName_->setEnabled(cern);
    proxyPort_->setEnabled(cern);
}

void ProxiesPage::Load() {
    // Absent shows direct access, an unknown text the CERN proxy.
    access_.Select(AccessModeText(PageAccessMode(Read(keys::AccessTypePage))));
    ShowText(proxyName_, Read(keys::ProxyName));
    ShowInt(proxyPort_, ReadInt(keys::ProxyPort));
    ShowInt(port_, ReadInt(keys::Port));
    UpdateProxyFields();
}

bool ProxiesPage::Validate() {
    if (access_.Chosen() != std::string(kProxy)) return true;
    if (!proxyName_->text().trimmed().isEmpty() && !proxyPort_->text().trimmed().isEmpty()) return true;
    AskMessage(this, kMsgCernProxyNeedsNameAndPort, MessageKind::Information, MessageButtons::Ok);
    (proxyName_->text().trimmed().isEmpty() ? proxyName_ : proxyPort_)->setFocus();
    return false;
}

void ProxiesPage::StoreKeys() {
    if (const auto chosen = access_.Chosen()) Write(keys::AccessTypePage, *chosen);
    Write(keys::ProxyName, proxyName_->text().trimmed().toStdString());
    WriteInt(keys::ProxyPort, IntOf(proxyPort_));
    WriteInt(keys::Port, IntOf(port_));
}

}  // namespace zyfar
