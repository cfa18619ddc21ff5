#pragma once
// The "Ascii Transfer Settings" page: the file extensions that automatic
// transfers send as text, kept in a sorted list.
#include <string>
#include <vector>

#include "config/ConfigPage.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace zyfar {

class AsciiPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit AsciiPage(QWidget* parent = nullptr);

    // The list in order (for tests).
    [[nodiscard]] const std::vector<std::string>& Extensions() const { return extensions_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void Load() override;
    void StoreKeys() override;

private:
    void Add();
    void Remove();
    void ShowList(int current);
    void UpdateButtons();

    QLineEdit* edit_;
    QPushButton* add_;
    QPushButton* remove_;
    QListWidget* list_;
    std::vector<std::string> extensions_;
};

using asciiSet = AsciiPage;

}  // namespace zyfar
