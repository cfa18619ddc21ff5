#include "app/PaneSplitter.h"

#include "settings/Keys.h"

namespace zyfar {

PaneSplitter::PaneSplitter(std::string name, Qt::Orientation orientation, QWidget* parent)
    : QSplitter(orientation, parent), name_(std::move(name)) {
    setObjectName(QString::fromStdString(name_));
    setAccessibleName(QString::fromStdString(name_));
    setChildrenCollapsible(false);
}

void PaneSplitter::Save() const {
    std::vector<int> panes;
    for (int s : QSplitter::sizes()) panes.push_back(std::max(s, 1));
    SplitterSizes sizes;
    if (orientation() == Qt::Vertical) {
        sizes.rows = std::move(panes);
        sizes.cols = {std::max(width(), 1)};
    } else {
        sizes.cols = std::move(panes);
        sizes.rows = {std::max(height(), 1)};
    }
    WriteSplitterSizes(name_, sizes);
}

void PaneSplitter::Restore() {
    const int panes = count();
    const bool rows = orientation() == Qt::Vertical;
    const SplitterSizes stored = ReadSplitterSizes(name_, rows ? panes : 1, rows ? 1 : panes);
    const std::vector<int>& wanted = rows ? stored.rows : stored.cols;
    QList<int> sizes;
    for (int i = 0; i < panes && i < static_cast<int>(wanted.size()); ++i) sizes.push_back(wanted[i]);
    if (sizes.size() == panes) setSizes(sizes);
}

}  // namespace zyfar
