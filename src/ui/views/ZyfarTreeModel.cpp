#include "views/ZyfarTreeModel.h"

namespace zyfar {

ZyfarTreeModel::ZyfarTreeModel(QObject* parent) : QStandardItemModel(parent) {}

QStandardItem* ZyfarTreeModel::AddItem(QStandardItem* parent, const QString& label, const QString& path,
                                       const QIcon& icon, bool sorted) {
    QStandardItem* under = parent != nullptr ? parent : invisibleRootItem();
    auto* item = new QStandardItem(icon, label);
    item->setData(path, PathRole);
    item->setEditable(false);
    item->setDragEnabled(true);
    item->setDropEnabled(true);
    int at = under->rowCount();
    if (sorted) {
        for (int row = 0; row < under->rowCount(); ++row) {
            if (label.compare(under->child(row)->text(), Qt::CaseInsensitive) < 0) {
                at = row;
                break;
            }
        }
    }
    under->insertRow(at, item);
    return item;
}

QStandardItem* ZyfarTreeModel::ChildByLabel(QStandardItem* parent, const QString& label) const {
    QStandardItem* under = parent != nullptr ? parent : invisibleRootItem();
    for (int row = 0; row < under->rowCount(); ++row)
        if (under->child(row)->text() == label) return under->child(row);
    return nullptr;
}

void ZyfarTreeModel::DeleteFirstChild(QStandardItem* item) {
    QStandardItem* under = item != nullptr ? item : invisibleRootItem();
    if (under->rowCount() > 0) under->removeRow(0);
}

void ZyfarTreeModel::DeleteChildren(QStandardItem* item) {
    QStandardItem* under = item != nullptr ? item : invisibleRootItem();
    if (under->rowCount() > 0) under->removeRows(0, under->rowCount());
}

QString ZyfarTreeModel::PathOf(const QModelIndex& index) { return index.data(PathRole).toString(); }

}  // namespace zyfar
