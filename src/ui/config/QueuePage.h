#pragma once
// The "Queue" page: whether failed transfers go to the queue and how often
// they are sent again, the resend period, and what happens to the queue when
// Zyfar starts.
#include "config/ConfigPage.h"

class QCheckBox;
class QLineEdit;

namespace zyfar {

class QueuePage final : public ConfigPage {
    Q_OBJECT
public:
    explicit QueuePage(QWidget* parent = nullptr);

protected:
    void Load() override;
    // With "Number of  Resends:" chosen and no number given, message 241
    // warns and ResendFreqNum keeps its value; the other keys are stored.
    void StoreKeys() override;

private:
    void UpdateEnabled();

    QCheckBox* resendFail_;
    ChoiceGroup freq_;
    QLineEdit* freqNum_;
    QLineEdit* resendTime_;
    ChoiceGroup start_;
};

using confSched = QueuePage;

}  // namespace zyfar
