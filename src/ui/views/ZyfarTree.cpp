#include "views/ZyfarTree.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QStandardItem>
#include <QVBoxLayout>

#include "views/ZyfarItemViews.h"
#include "views/ZyfarView.h"

namespace zyfar {

CZyfarTree::CZyfarTree(QWidget* parent) : QWidget(parent) {
    model_ = new ZyfarTreeModel(this);
    view_ = new TreeItemView(this);
    view_->setModel(model_);
    view_->setHeaderHidden(true);
    view_->setUniformRowHeights(true);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setDragEnabled(true);
    view_->setAcceptDrops(true);
    view_->setDropIndicatorShown(false);
    view_->setDragDropMode(QAbstractItemView::DragDrop);
    view_->setContextMenuPolicy(Qt::DefaultContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    setFocusProxy(view_);
    // A click (or the keyboard) makes an item current, except the hover
    // selection of a drag, which only shows where a drop would land.
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now, const QModelIndex&) {
                if (dragOver_ || !now.isValid()) return;
                current_ = now;
                OnCurrentItemChanged(now);
            });
    dragNumber_ = RegisterDragSource(this);
    SetAccessibleName(QStringLiteral("Folders"));
}

CZyfarTree::~CZyfarTree() = default;

QTreeView* CZyfarTree::Tree() const { return view_; }

void CZyfarTree::SetContextMenu(QMenu* menu) { menu_ = menu; }

void CZyfarTree::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    view_->setAccessibleName(name);
}

void CZyfarTree::SetCurrentItem(const QModelIndex& index) {
    if (!index.isValid()) return;
    view_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (current_ != index) {  // the selection signal did not announce it (drag in progress)
        current_ = index;
        OnCurrentItemChanged(index);
    }
}

bool CZyfarTree::HandleCommand(int id) {
    switch (id) {
    case cmd::NewItem: NewItem(); return true;
    case cmd::DeleteItem: DeleteItem(); return true;
    case cmd::RenameItem: RenameItem(); return true;
    case cmd::Refresh: Refresh(); return true;
    default: return false;
    }
}

std::optional<CommandState> CZyfarTree::CommandStateOf(int id) const {
    switch (id) {
    case cmd::NewItem:
    case cmd::Refresh: return CommandState{};
    case cmd::DeleteItem:
    case cmd::RenameItem: return CommandState{current_.isValid(), std::nullopt};
    default: return std::nullopt;
    }
}

void CZyfarTree::RightClickAt(const QPoint& viewportPos) {
    const QModelIndex hit = view_->indexAt(viewportPos);
    if (hit.isValid()) SetCurrentItem(hit);
    if (menu_ != nullptr) menu_->popup(view_->viewport()->mapToGlobal(viewportPos));
}

void CZyfarTree::ListFolder(const QString& path, QStandardItem* parent, bool addTreeItems) {
    (void)path;
    (void)parent;
    (void)addTreeItems;
}

QString CZyfarTree::ItemPath(const QModelIndex& index) const {
    if (!index.isValid()) return {};
    const QString stored = ZyfarTreeModel::PathOf(index);
    if (!stored.isEmpty()) return stored;
    QStringList labels;
    for (QModelIndex i = index; i.isValid(); i = i.parent()) labels.prepend(i.data().toString());
    return labels.join(QLatin1Char('/'));
}

void CZyfarTree::Refresh() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ListFolder(currentFolder_, nullptr, false);
    QApplication::restoreOverrideCursor();
}

bool CZyfarTree::HandleKey(int key) {
    switch (key) {
    case Qt::Key_Insert: NewItem(); return true;
    case Qt::Key_Delete: DeleteItem(); return true;
    default: return false;
    }
}

void CZyfarTree::StartDrag() {
    const QModelIndex index = view_->currentIndex();
    if (!index.isValid()) return;
    DragPayload payload;
    payload.process = QCoreApplication::applicationPid();
    payload.source = dragNumber_;
    payload.kind = DragSourceKind::Tree;
    payload.itemPath = ItemPath(index);
    auto* drag = new QDrag(this);
    drag->setMimeData(MakeDragData(payload));
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull()) drag->setPixmap(icon.pixmap(QSize(16, 16)));
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
}

// Copy or move of this tree's own kind of drag, else of files from the desktop.
DropAction CZyfarTree::DropActionOf(QDropEvent* event, std::optional<DragPayload>& payload, DropDecision& decision) {
    payload = DragPayloadOf(event->mimeData());
    decision = payload ? DecideDrop(*payload, DropTargetKind::Tree, event->modifiers(), this) : DropDecision{};
    if (decision.action != DropAction::None) return decision.action;
    payload.reset();
    return AcceptsUrlDrop() ? DesktopDropAction(event) : DropAction::None;
}

void CZyfarTree::DragEnter(QDropEvent* event) {
    std::optional<DragPayload> payload;
    DropDecision decision;
    if (DropActionOf(event, payload, decision) == DropAction::None) {
        event->ignore();
        return;
    }
    if (!dragOver_) {
        beforeDrag_ = view_->selectionModel()->currentIndex();
        dragOver_ = true;
    }
    DragMove(event);
}

void CZyfarTree::DragMove(QDropEvent* event) {
    std::optional<DragPayload> payload;
    DropDecision decision;
    const DropAction action = DropActionOf(event, payload, decision);
    const QModelIndex under = view_->indexAt(event->position().toPoint());
    if (action == DropAction::None || !under.isValid()) {
        event->ignore();
        return;
    }
    if (!dragOver_) {
        beforeDrag_ = view_->selectionModel()->currentIndex();
        dragOver_ = true;
    }
    if (view_->selectionModel()->currentIndex() != under)
        view_->selectionModel()->setCurrentIndex(under, QItemSelectionModel::ClearAndSelect);
    event->setDropAction(ToQtAction(action));
    event->accept();
}

void CZyfarTree::DragLeave() { RestoreBeforeDrag(); }

void CZyfarTree::RestoreBeforeDrag() {
    if (!dragOver_) return;
    if (beforeDrag_.isValid())
        view_->selectionModel()->setCurrentIndex(beforeDrag_, QItemSelectionModel::ClearAndSelect);
    else
        view_->selectionModel()->clear();  // nothing was selected: no selection, no current index
    beforeDrag_ = QPersistentModelIndex();
    dragOver_ = false;
}

void CZyfarTree::Drop(QDropEvent* event) {
    std::optional<DragPayload> payload;
    DropDecision decision;
    const DropAction action = DropActionOf(event, payload, decision);
    const QModelIndex under = view_->indexAt(event->position().toPoint());
    const QString folder = under.isValid() ? ItemPath(under) : QString();
    RestoreBeforeDrag();
    if (action == DropAction::None || !under.isValid()) {
        event->ignore();
        return;
    }
    event->setDropAction(ToQtAction(action));
    event->accept();
    if (!payload) {
        DropUrls(LocalPathsOf(event->mimeData()), action, folder);
        return;
    }
    DropInfo info;
    info.targetTree = this;
    info.targetFolder = folder;
    DeliverDrop(decision, *payload, info);
}

}  // namespace zyfar
