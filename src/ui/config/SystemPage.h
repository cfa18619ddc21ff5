#pragma once
// The "System" page: the data, log and profile folders (chosen with the
// folder browser), drive and overwrite switches, the date style of file
// lists, the copy buffer sizes and the case of transferred file names.
#include "config/ConfigPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zyfar {

class SystemPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit SystemPage(QWidget* parent = nullptr);
    // Makes the profile folders below a new profile directory; when one
    // cannot be made the page says which and is not stored.
    [[nodiscard]] bool Validate() override;

protected:
    void Load() override;
    void StoreKeys() override;

private:
    // A read-only folder field filled by the folder browser its button opens.
    QLineEdit* FolderField(QPushButton* button, const QString& accessibleName);

    QPushButton* dataButton_;
    QPushButton* logButton_;
    QPushButton* profileButton_;
    QLineEdit* dataDir_;
    QLineEdit* logDir_;
    QLineEdit* profileDir_;
    QCheckBox* connectNet_;
    QCheckBox* overwrite_;
    QCheckBox* dragDropSubDirs_;
    ChoiceGroup timeType_;
    QLineEdit* readBuffer_;
    QLineEdit* writeBuffer_;
    ChoiceGroup casingPut_;
    ChoiceGroup casingGet_;
};

using sysConf = SystemPage;

}  // namespace zyfar
