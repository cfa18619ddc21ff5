#pragma once
// The "Sounds" page: the sound file of each connection and transfer event
// (browsed for, tried with "Test"), and whether transfer sounds play per file
// or once per batch.
#include "config/ConfigPage.h"

class QLineEdit;

namespace zyfar {

class SoundsPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit SoundsPage(QWidget* parent = nullptr);

    // Where "Browse" starts.
    static constexpr const char* kSoundFolder = "/usr/share/sounds";

protected:
    void Load() override;
    void StoreKeys() override;

private:
    void Browse(QLineEdit* field);

    QLineEdit* fields_[4];
    ChoiceGroup per_;
};

using sounds = SoundsPage;

}  // namespace zyfar
