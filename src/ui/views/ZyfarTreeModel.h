#pragma once
// The item model of the folder trees: a standard item model whose items keep
// their full path (PathRole) beside their label, with the small edits the
// trees need (add a child in name order, delete an item's first child or all
// of its children, find the child with a label).
#include <QStandardItemModel>

namespace zyfar {

class ZyfarTreeModel : public QStandardItemModel {
    Q_OBJECT
public:
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit ZyfarTreeModel(QObject* parent = nullptr);

    // A new child of `parent` (null: a top-level item) with a label, a path
    // and an icon. sorted: placed in label order among its siblings (without
    // regard to case), else appended.
    QStandardItem* AddItem(QStandardItem* parent, const QString& label, const QString& path,
                           const QIcon& icon = QIcon(), bool sorted = false);
    // The child of `parent` (null: top level) whose label equals `label`, or null.
    [[nodiscard]] QStandardItem* ChildByLabel(QStandardItem* parent, const QString& label) const;
    // Deletes the item's first child / every child.
    void DeleteFirstChild(QStandardItem* item);
    void DeleteChildren(QStandardItem* item);
    [[nodiscard]] static QString PathOf(const QModelIndex& index);
};

}  // namespace zyfar
