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

ReportItemView::ReportItemView(CZyfarView* owner) : QTreeView(owner), owner_(owner) {}

void ReportItemView::contextMenuEvent(QContextMenuEvent* event) {
    owner_->ShowContextMenuAt(event->globalPos());
    event->accept();
}

void ReportItemView::keyPressEvent(QKeyEvent* event) {
    if (owner_->HandleKey(event->key())) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ReportItemView::startDrag(Qt::DropActions) { owner_->StartDrag(this); }

void ReportItemView::dragEnterEvent(QDragEnterEvent* event) { owner_->DragEnter(event); }

void ReportItemView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event);  // auto-scroll near the edges
    owner_->DragMove(event);
}

void ReportItemView::dropEvent(QDropEvent* event) { owner_->Drop(event); }

IconItemView::IconItemView(CZyfarView* owner) : QListView(owner), owner_(owner) {}

void IconItemView::contextMenuEvent(QContextMenuEvent* event) {
    owner_->ShowContextMenuAt(event->globalPos());
    event->accept();
}

void IconItemView::keyPressEvent(QKeyEvent* event) {
    if (owner_->HandleKey(event->key())) {
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void IconItemView::startDrag(Qt::DropActions) { owner_->StartDrag(this); }

void IconItemView::dragEnterEvent(QDragEnterEvent* event) { owner_->DragEnter(event); }

void IconItemView::dragMoveEvent(QDragMoveEvent* event) {
    QListView::dragMoveEvent(event);
    owner_->DragMove(event);
}

void IconItemView::dropEvent(QDropEvent* event) { owner_->Drop(event); }

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
