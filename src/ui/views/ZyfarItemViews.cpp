#include "views/ZyfarItemViews.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QPainter>

#include "views/ZyfarTree.h"
#include "views/ZyfarView.h"

namespace zyfar {

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (!grid_) return;
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    const QRect r = option.rect;
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->restore();
}

template <class Base>
ListItemView<Base>::ListItemView(CZyfarView* owner) : Base(owner), owner_(owner) {}

template <class Base>
void ListItemView<Base>::contextMenuEvent(QContextMenuEvent* event) {
    owner_->ShowContextMenuAt(event->globalPos());
    event->accept();
}

template <class Base>
void ListItemView<Base>::keyPressEvent(QKeyEvent* event) {
    if (owner_->HandleKey(event->key())) {
        event->accept();
        return;
    }
    Base::keyPressEvent(event);
}

template <class Base>
void ListItemView<Base>::startDrag(Qt::DropActions) {
    owner_->StartDrag(this);
}

template <class Base>
void ListItemView<Base>::dragEnterEvent(QDragEnterEvent* event) {
    owner_->DragEnter(event);
}

template <class Base>
void ListItemView<Base>::dragMoveEvent(QDragMoveEvent* event) {
    Base::dragMoveEvent(event);  // auto-scroll near the edges
    owner_->DragMove(event);
}

template <class Base>
void ListItemView<Base>::dropEvent(QDropEvent* event) {
    owner_->Drop(event);
}

template class ListItemView<QTreeView>;
template class ListItemView<QListView>;

TreeItemView::TreeItemView(CZyfarTree* owner) : QTreeView(owner), owner_(owner) {}

void TreeItemView::contextMenuEvent(QContextMenuEvent* event) {
    owner_->RightClickAt(viewport()->mapFromGlobal(event->globalPos()));
    event->accept();
}

void TreeItemView::keyPressEvent(QKeyEvent* event) {
    if (owner_->HandleKey(event->key())) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TreeItemView::startDrag(Qt::DropActions) { owner_->StartDrag(); }

void TreeItemView::dragEnterEvent(QDragEnterEvent* event) { owner_->DragEnter(event); }

void TreeItemView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event);
    owner_->DragMove(event);
}

void TreeItemView::dragLeaveEvent(QDragLeaveEvent* event) {
    QTreeView::dragLeaveEvent(event);
    owner_->DragLeave();
}

void TreeItemView::dropEvent(QDropEvent* event) { owner_->Drop(event); }

}  // namespace zyfar
