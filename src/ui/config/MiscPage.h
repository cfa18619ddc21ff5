#pragma once
// The "Misc" page: split orientation, local drag and drop, folders recreated
// by transfers, double-click actions, deletes after transfers and the
// renaming of long file names.
#include "config/ConfigPage.h"

class QCheckBox;

namespace zyfar {

class MiscPage final : public ConfigPage {
    Q_OBJECT
public:
    explicit MiscPage(QWidget* parent = nullptr);

protected:
    void Load() override;
    void StoreKeys() override;

private:
    ChoiceGroup split_;
    ChoiceGroup dragDrop_;
    QCheckBox* dragDropDirs_;
    ChoiceGroup dirTree_;
    ChoiceGroup localDblClick_;
    ChoiceGroup remoteDblClick_;
    QCheckBox* deletePut_;
    QCheckBox* deleteGet_;
    QCheckBox* renameLong_;
};

using viewConfig = MiscPage;

}  // namespace zyfar
