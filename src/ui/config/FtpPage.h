#pragma once
// The "FTP" page: the e-mail address sent for anonymous logins, the
// connection retries and time-outs, passive mode, the cache switches, and
// the transfer switches: resuming interrupted transfers, verifying content
// by the server's hash, and the encryption of quick connects.
#include "config/ConfigPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zyfar {

class FtpPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit FtpPage(QWidget* parent = nullptr);
    // An empty e-mail address shows message 352.
    [[nodiscard]] bool Validate() override;

protected:
    void Load() override;
    void StoreKeys() override;

private:
    QLineEdit* email_;
    QLineEdit* retries_;
    QLineEdit* connectTo_;
    QLineEdit* recTo_;
    QLineEdit* sendTo_;
    QLineEdit* recToCtrl_;
    QLineEdit* sendToCtrl_;
    QCheckBox* passive_;
    QCheckBox* cache_;
    QCheckBox* reload_;
    QCheckBox* resume_;
    QComboBox* verifyHash_;
    QComboBox* encryption_;
};

using ftpConf = FtpPage;

}  // namespace zyfar
