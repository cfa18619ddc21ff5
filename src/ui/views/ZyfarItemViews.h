#pragma once
// The item views inside CZyfarView and CZyfarTree. They hand right clicks,
// drags, drops and the view's keys to their owner, and otherwise behave as
// Qt's views do. GridDelegate draws the grid lines of the report style.
#include <QListView>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace zyfar {

class CZyfarView;
class CZyfarTree;

class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void SetGrid(bool on) { grid_ = on; }
    [[nodiscard]] bool Grid() const { return grid_; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    bool grid_ = false;
};

// The item view of a list, over Qt's tree view (the report style) or its
// list view (the icon and list styles): both hand the same events to their
// CZyfarView.
template <class Base>
class ListItemView : public Base {
public:
    explicit ListItemView(CZyfarView* owner);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supported) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    CZyfarView* owner_;
};

// The report style of a list.
class ReportItemView final : public ListItemView<QTreeView> {
public:
    using ListItemView::ListItemView;
};

// The icon and list styles of a list.
class IconItemView final : public ListItemView<QListView> {
public:
    using ListItemView::ListItemView;
};

// The tree of CZyfarTree.
class TreeItemView : public QTreeView {
public:
    explicit TreeItemView(CZyfarTree* owner);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supported) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    CZyfarTree* owner_;
};

}  // namespace zyfar
