#pragma once
// The "Log" page: where transfer log entries go (the log view, a file), the
// view's filter, the file's name and whether it is kept between sessions,
// and the time and date formats of the entries.
#include "config/ConfigPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zyfar {

class LogPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit LogPage(QWidget* parent = nullptr);
    // Logging to a file without a file name shows message 33042.
    [[nodiscard]] bool Validate() override;

protected:
    void Load() override;
    void StoreKeys() override;

private:
    void UpdateFileFields();

    QCheckBox* toScreen_;
    ChoiceGroup view_;
    QCheckBox* toFile_;
    QCheckBox* append_;
    QLineEdit* fileName_;
    QComboBox* timeFormat_;
    QComboBox* dateFormat_;
};

using logConfig = LogPage;

}  // namespace zyfar
