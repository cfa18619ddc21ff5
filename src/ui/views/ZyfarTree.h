#pragma once
// The tree-view base of the folder trees (local drive tree, remote trees,
// profile and file-list trees).
//
// It keeps the current item (the one the last click or right-click hit; a
// right-click on an item that is not selected makes it current before the
// context menu shows), its context menu, its list, the current folder, and
// the drag-over state: while rows or items are dragged over the tree the item
// under the cursor is selected to show where they would land, and leaving
// (or dropping) restores the item that was selected before. Insert runs the
// new-item operation, Delete the delete-item operation.
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QMenu>
#include <QTreeView>
#include <QPointer>
#include <QWidget>

#include "app/Commands.h"
#include "views/ZyfarDrag.h"
#include "views/ZyfarTreeModel.h"


class QStandardItem;


namespace zyfar {

class CZyfarView;
class TreeItemView;

class CZyfarTree : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    explicit CZyfarTree(QWidget* parent = nullptr);
    ~CZyfarTree() override;

    [[nodiscard]] ZyfarTreeModel* Model() const { return model_; }
    [[nodiscard]] QTreeView* Tree() const;
    [[nodiscard]] quint64 DragSourceNumber() const { return dragNumber_; }

    void SetContextMenu(QMenu* menu);  // not owned; null shows nothing
    [[nodiscard]] QMenu* ContextMenu() const { return menu_; }
    void SetAccessibleName(const QString& name);

    // The item the tree's commands act on.
    [[nodiscard]] QModelIndex CurrentItem() const { return current_; }
    void SetCurrentItem(const QModelIndex& index);  // also selects it
    [[nodiscard]] QString CurrentFolder() const { return currentFolder_; }
    void SetCurrentFolder(const QString& path) { currentFolder_ = path; }

    // The list beside the tree (tell list / get list).
    virtual void SetList(CZyfarView* list) { list_ = list; }
    [[nodiscard]] virtual CZyfarView* List() const { return list_; }

    // True while a drag is over the tree (selection changes then only show
    // where a drop would land; derived trees do not list folders for them).
    [[nodiscard]] bool DragOver() const { return dragOver_; }

    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

    // The right-click at a point of the tree's viewport: makes the item there
    // current, then shows the context menu at the cursor (tests call it).
    void RightClickAt(const QPoint& viewportPos);

    // --- operations derived trees override ---
    // Lists `path` into the list; with addTreeItems, its sub-folders become
    // children of `parent`. Default: nothing.
    virtual void ListFolder(const QString& path, QStandardItem* parent, bool addTreeItems);
    // The full path of an item; default its PathRole, else the labels from
    // the top joined with "/".
    [[nodiscard]] virtual QString ItemPath(const QModelIndex& index) const;
    virtual void NewItem() {}     // 1154, Insert key
    virtual void DeleteItem() {}  // 1156, Delete key
    virtual void RenameItem() {}  // 1155
    // Lists the current folder again into the list, with the wait cursor.
    virtual void Refresh();
    // The dragged item of this tree was dropped somewhere. Default: nothing.
    virtual void DropOperation(const DropInfo& info) { (void)info; }
    // A new current item (click, keyboard, right-click). Default: nothing.
    virtual void OnCurrentItemChanged(const QModelIndex& index) { (void)index; }
    // Files dragged in from the desktop onto the folder `targetFolder` (its ItemPath).
    [[nodiscard]] virtual bool AcceptsUrlDrop() const { return false; }
    virtual void DropUrls(const QStringList& paths, DropAction action, const QString& targetFolder) {
        (void)paths;
        (void)action;
        (void)targetFolder;
    }

    // Deletes an item's first child / all of its children.
    void DeleteFirstChild(QStandardItem* item) { model_->DeleteFirstChild(item); }
    void DeleteChildren(QStandardItem* item) { model_->DeleteChildren(item); }

protected:
    friend class TreeItemView;
    bool HandleKey(int key);
    void StartDrag();
    void DragEnter(QDropEvent* event);
    void DragMove(QDropEvent* event);
    void DragLeave();
    void Drop(QDropEvent* event);

private:
    void RestoreBeforeDrag();
    DropAction DropActionOf(QDropEvent* event, std::optional<DragPayload>& payload, DropDecision& decision);

    ZyfarTreeModel* model_ = nullptr;
    TreeItemView* view_ = nullptr;
    QPointer<QMenu> menu_;
    QPointer<CZyfarView> list_;
    QPersistentModelIndex current_;
    QPersistentModelIndex beforeDrag_;
    QString currentFolder_;
    bool dragOver_ = false;
    quint64 dragNumber_ = 0;
};

}  // namespace zyfar
