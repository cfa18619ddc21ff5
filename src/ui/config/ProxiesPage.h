#pragma once
// The "Proxies" page: how Zyfar reaches the internet (direct, the
// environment's proxy, or a CERN (HTTP CONNECT) proxy) and the default FTP
// port.
#include "config/ConfigPage.h"

class QLineEdit;

namespace zyfar {

class ProxiesPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit ProxiesPage(QWidget* parent = nullptr);
    // CERN proxy access without a proxy name or port shows message 33049.
    [[nodiscard]] bool Validate() override;

protected:
    void Load() override;
    void StoreKeys() override;

private:
    void UpdateProxyFields();

    ChoiceGroup access_;
    QLineEdit* proxyName_;
    QLineEdit* proxyPort_;
    QLineEdit* port_;
};

using ftpFire = ProxiesPage;

}  // namespace zyfar
