#include "views/ZyfarView.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QStackedLayout>
#include <algorithm>

#include "dialogs/Prompter.h"
#include "platform/MessageTable.h"
#include "views/ZyfarItemViews.h"

namespace zyfar {
namespace {

constexpr int kDefaultColumnWidth = 100;
constexpr int kListColumnWidth = 180;  // list and small-icon styles until adjusted
constexpr int kMsgClearList = 345;
constexpr int kMsgAppendOrReplaceTitle = 196;
constexpr int kMsgAppendOrReplace = 199;
constexpr int kMsgReplace = 194;
constexpr int kMsgAppend = 192;
constexpr int kMsgCancel = 188;

QString Text(int id) {
    const std::string_view t = MessageText(id);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

void SetUpItemView(QAbstractItemView* view) {
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(false);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::DefaultContextMenu);
}

}  // namespace

CZyfarView::CZyfarView(QWidget* parent) : QWidget(parent) {
    report_ = new ReportItemView(this);
    icons_ = new IconItemView(this);
    delegate_ = new GridDelegate(report_);
    SetUpItemView(report_);
    SetUpItemView(icons_);
    report_->setItemDelegate(delegate_);
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setItemsExpandable(false);
    report_->setAllColumnsShowFocus(true);
    report_->setSortingEnabled(false);
    QHeaderView* header = report_->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setStretchLastSection(false);
    header->setDefaultSectionSize(kDefaultColumnWidth);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionClicked, this, &CZyfarView::OnHeaderClicked);

    icons_->setUniformItemSizes(true);
    icons_->setLayoutMode(QListView::Batched);
    icons_->setBatchSize(2000);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setWrapping(true);

    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)})
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            if (index.isValid()) OnDoubleClick(index.row());
        });

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(report_);
    stack_->addWidget(icons_);
    setFocusProxy(report_);
    dragNumber_ = RegisterDragSource(this);
    SetAccessibleName(QStringLiteral("List"));
}

CZyfarView::~CZyfarView() = default;

void CZyfarView::SetModel(ZyfarListModel* model) {
    if (model == model_) return;
    ZyfarListModel* old = model_;
    QItemSelectionModel* oldSelection = report_->selectionModel();
    model_ = model;
    if (model_ != nullptr) model_->setParent(this);
    report_->setModel(model_);
    icons_->setModel(model_);
    QItemSelectionModel* iconSelection = icons_->selectionModel();
    if (iconSelection != report_->selectionModel()) {
        icons_->setSelectionModel(report_->selectionModel());
        delete iconSelection;
    }
    delete oldSelection;
    if (old != nullptr && old->parent() == this) delete old;
    if (model_ != nullptr) {
        auto columnsChanged = [this] {
            if (static_cast<int>(directions_.size()) != model_->columnCount()) ResetSortState();
        };
        connect(model_, &QAbstractItemModel::modelReset, this, columnsChanged);
        connect(model_, &QAbstractItemModel::columnsInserted, this, columnsChanged);
        connect(model_, &QAbstractItemModel::columnsRemoved, this, columnsChanged);
    }
    ResetSortState();
}

int CZyfarView::RowCount() const { return model_ != nullptr ? model_->RowCount() : 0; }

void CZyfarView::SetContextMenu(QMenu* menu) { menu_ = menu; }

void CZyfarView::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    report_->setAccessibleName(name);
    icons_->setAccessibleName(name);
    report_->header()->setAccessibleName(name + QStringLiteral(" columns"));
}

bool CZyfarView::HandleCommand(int id) {
    switch (id) {
    case cmd::SelectAll: SelectAllRows(); return true;
    case cmd::UnselectAll: UnselectAllRows(); return true;
    case cmd::Grid: SetGridLines(!grid_); return true;
    case cmd::AdjustColumns: AdjustColumnWidths(); return true;
    case cmd::ClearList: ClearList(); return true;
    case cmd::StyleReport:
    case cmd::ListDetails: SetStyle(ViewStyle::Report); return true;
    case cmd::StyleSmall:
    case cmd::ListSmallIcons: SetStyle(ViewStyle::SmallIcons); return true;
    case cmd::StyleLarge:
    case cmd::ListLargeIcons: SetStyle(ViewStyle::LargeIcons); return true;
    case cmd::StyleList:
    case cmd::ListList: SetStyle(ViewStyle::List); return true;
    case cmd::ListLineUp:
        if (style_ == ViewStyle::SmallIcons || style_ == ViewStyle::LargeIcons) icons_->doItemsLayout();
        return true;
    case cmd::Delete: DeleteSelection(); return true;
    default: return false;
    }
}

std::optional<CommandState> CZyfarView::CommandStateOf(int id) const {
    auto checkedIf = [](bool on) { return CommandState{true, on}; };
    switch (id) {
    case cmd::SelectAll:
    case cmd::UnselectAll:
    case cmd::ClearList:
    case cmd::Delete: return CommandState{};
    case cmd::AdjustColumns: return CommandState{RowCount() > 0, std::nullopt};
    case cmd::Grid: return checkedIf(grid_);
    case cmd::StyleReport:
    case cmd::ListDetails: return checkedIf(style_ == ViewStyle::Report);
    case cmd::StyleSmall:
    case cmd::ListSmallIcons: return checkedIf(style_ == ViewStyle::SmallIcons);
    case cmd::StyleLarge:
    case cmd::ListLargeIcons: return checkedIf(style_ == ViewStyle::LargeIcons);
    case cmd::StyleList:
    case cmd::ListList: return checkedIf(style_ == ViewStyle::List);
    case cmd::ListLineUp:
        return CommandState{style_ == ViewStyle::SmallIcons || style_ == ViewStyle::LargeIcons, std::nullopt};
    default: return std::nullopt;
    }
}

void CZyfarView::SetStyle(ViewStyle style) {
    if (style == style_) return;
    const bool hadFocus = ActiveItemView()->hasFocus();
    style_ = style;
    ApplyStyle();
    if (hadFocus) ActiveItemView()->setFocus();
    emit StyleChanged(style_);
}

void CZyfarView::ApplyStyle() {
    if (style_ == ViewStyle::Report) {
        stack_->setCurrentWidget(report_);
        setFocusProxy(report_);
        return;
    }
    if (style_ == ViewStyle::LargeIcons) {
        icons_->setViewMode(QListView::IconMode);
        icons_->setFlow(QListView::LeftToRight);
        icons_->setIconSize(QSize(32, 32));
        icons_->setGridSize(QSize(96, 64));
        icons_->setWordWrap(true);
    } else {
        icons_->setViewMode(QListView::ListMode);
        icons_->setFlow(style_ == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
        icons_->setIconSize(QSize(16, 16));
        icons_->setGridSize(QSize(kListColumnWidth, icons_->fontMetrics().height() + 6));
        icons_->setWordWrap(false);
    }
    icons_->setWrapping(true);
    icons_->setMovement(QListView::Static);  // setViewMode changes it
    icons_->setResizeMode(QListView::Adjust);
    stack_->setCurrentWidget(icons_);
    setFocusProxy(icons_);
}

void CZyfarView::SetGridLines(bool on) {
    grid_ = on;
    delegate_->SetGrid(on);
    report_->viewport()->update();
}

void CZyfarView::AdjustColumnWidths() {
    if (RowCount() == 0 || model_ == nullptr) return;
    if (style_ == ViewStyle::List) {
        // One width for every column of the list: the widest label, its icon and the heading.
        const QFontMetrics fm = icons_->fontMetrics();
        int widest = fm.horizontalAdvance(model_->HeaderText(0));
        const int n = RowCount();
        for (int row = 0; row < n; ++row) widest = std::max(widest, fm.horizontalAdvance(model_->CellText(row, 0)));
        const int width = widest + icons_->iconSize().width() + 4 * icons_->spacing() + 12;
        icons_->setGridSize(QSize(width, icons_->gridSize().height()));
        return;
    }
    const int extra = style_ == ViewStyle::Report ? kReportColumnExtra : 0;
    report_->doItemsLayout();
    for (int column = 0; column < model_->ColumnCount(); ++column) {
        report_->resizeColumnToContents(column);
        report_->header()->resizeSection(column, report_->header()->sectionSize(column) + extra);
    }
}

void CZyfarView::SetColumnWidth(int column, int width) { report_->header()->resizeSection(column, width); }

int CZyfarView::ColumnWidth(int column) const { return report_->header()->sectionSize(column); }

void CZyfarView::OnHeaderClicked(int section) { ClickColumn(section); }

void CZyfarView::ClickColumn(int column) {
    if (RowCount() == 0 || column < 0 || column >= static_cast<int>(directions_.size())) {
        ApplyHeadingArrows();  // the header flips its own indicator: put ours back
        return;
    }
    int& direction = directions_[static_cast<std::size_t>(column)];
    direction = direction == kSortAscending ? kSortDescending : kSortAscending;
    arrowColumn_ = column;
    SortByColumn(column, direction);
    ApplyHeadingArrows();
}

void CZyfarView::SortByColumn(int column, int direction) {
    if (model_ != nullptr) model_->SortRows(column, direction);
}

int CZyfarView::SortDirection(int column) const {
    if (column < 0 || column >= static_cast<int>(directions_.size())) return kSortDescending;
    return directions_[static_cast<std::size_t>(column)];
}

int CZyfarView::HeadingImage(int column) const {
    if (column != arrowColumn_ || column < 0) return kHeadingNoArrow;
    return SortDirection(column) == kSortAscending ? kHeadingArrowUp : kHeadingArrowDown;
}

void CZyfarView::ResetSortState() {
    directions_.assign(static_cast<std::size_t>(model_ != nullptr ? model_->columnCount() : 0), kSortDescending);
    arrowColumn_ = -1;
    ApplyHeadingArrows();
}

void CZyfarView::ApplyHeadingArrows() {
    QHeaderView* header = report_->header();
    if (arrowColumn_ < 0) {
        header->setSortIndicator(-1, Qt::AscendingOrder);
        return;
    }
    header->setSortIndicator(arrowColumn_,
                             SortDirection(arrowColumn_) == kSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CZyfarView::SelectAllRows() {
    if (RowCount() > 0) report_->selectAll();
}

void CZyfarView::UnselectAllRows() {
    if (SelectionModel() != nullptr) SelectionModel()->clearSelection();
}

std::vector<int> CZyfarView::SelectedRows() const {
    std::vector<int> rows;
    if (SelectionModel() == nullptr) return rows;
    for (const QItemSelectionRange& range : SelectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CZyfarView::CurrentRow() const {
    if (SelectionModel() == nullptr) return -1;
    const QModelIndex current = SelectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void CZyfarView::SelectRow(int row, bool makeCurrent) {
    if (model_ == nullptr || row < 0 || row >= RowCount()) return;
    const QModelIndex index = model_->index(row, 0);
    auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    if (makeCurrent)
        SelectionModel()->setCurrentIndex(index, flags);
    else
        SelectionModel()->select(index, flags);
}

bool CZyfarView::SelectFirstRowByText(const QString& text) {
    const int row = FindNextRowByText(-1, text);
    if (row < 0) return false;
    UnselectAllRows();
    SelectRow(row);
    ShowRow(row);
    return true;
}

int CZyfarView::FindNextRowByText(int after, const QString& text) const {
    return model_ != nullptr ? model_->FindRowByText(text, after, 0) : -1;
}

void CZyfarView::DeleteSelectedRows() {
    if (model_ != nullptr) model_->RemoveRowsAt(SelectedRows());
}

void CZyfarView::DeleteAllRows() {
    if (model_ != nullptr) model_->RemoveAllRows();
}

void CZyfarView::ShowRow(int row) {
    if (model_ == nullptr || row < 0 || row >= RowCount()) return;
    ActiveItemView()->scrollTo(model_->index(row, 0));
}

AppendOrReplace CZyfarView::AskAppendOrReplace() {
    if (RowCount() == 0) return AppendOrReplace::Append;
    ThreeButtonRequest request;
    request.title = Text(kMsgAppendOrReplaceTitle);
    request.question = Text(kMsgAppendOrReplace);
    request.buttons[0] = Text(kMsgReplace);
    request.buttons[1] = Text(kMsgAppend);
    request.buttons[2] = Text(kMsgCancel);
    switch (Prompt().ThreeButtons(this, request)) {
    case 0: DeleteAllRows(); return AppendOrReplace::Replace;
    case 1: return AppendOrReplace::Append;
    default: return AppendOrReplace::Cancel;
    }
}

QTreeView* CZyfarView::ReportView() const { return report_; }
QListView* CZyfarView::IconView() const { return icons_; }

QAbstractItemView* CZyfarView::ActiveItemView() const {
    return style_ == ViewStyle::Report ? static_cast<QAbstractItemView*>(report_) : icons_;
}

QItemSelectionModel* CZyfarView::SelectionModel() const { return report_->selectionModel(); }

bool CZyfarView::CanBeginDrag() const { return SelectionModel() != nullptr && SelectionModel()->hasSelection(); }

bool CZyfarView::ClearList() {
    if (RowCount() > 0 &&
        AskMessage(this, kMsgClearList, MessageKind::Question, MessageButtons::OkCancel) != MessageAnswer::Ok)
        return false;
    DeleteAllRows();
    ResetSortState();
    return true;
}

void CZyfarView::DeleteSelection() { DeleteSelectedRows(); }

int CZyfarView::FindRowByFolderAndName(const QString& folder, const QString& name) const {
    (void)folder;
    (void)name;
    return -1;
}

void CZyfarView::ShowContextMenuAt(const QPoint& globalPos) {
    if (menu_ != nullptr) menu_->popup(globalPos);
}

void CZyfarView::StartDrag(QAbstractItemView* from) {
    if (!CanBeginDrag()) return;
    DragPayload payload;
    payload.process = QCoreApplication::applicationPid();
    payload.source = dragNumber_;
    payload.kind = DragSourceKind::List;
    payload.rows = SelectedRows();
    auto* drag = new QDrag(this);
    QMimeData* mime = MakeDragData(payload);
    AddDragUrls(payload.rows, mime);
    drag->setMimeData(mime);
    const QIcon icon = model_->RowIcon(payload.rows.front());
    if (!icon.isNull()) drag->setPixmap(icon.pixmap(from->iconSize().isValid() ? from->iconSize() : QSize(16, 16)));
    // A screen rebuild may delete this view while the drag runs: nothing here
    // touches the view after exec returns.
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
}

bool CZyfarView::HandleKey(int key) {
    switch (key) {
    case Qt::Key_Delete: DeleteSelection(); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (CurrentRow() >= 0) OnDoubleClick(CurrentRow());
        return true;
    default: return false;
    }
}

void CZyfarView::DragEnter(QDropEvent* event) { DragMove(event); }

// The drop a drag over this list would make; a refused one ignores the event.
// Files from the desktop (or another Zyfar) come as a separate answer.
static std::optional<DragPayload> AcceptDrag(CZyfarView* view, QDropEvent* event, DropDecision& decision,
                                             DropAction& desktop) {
    std::optional<DragPayload> payload = DragPayloadOf(event->mimeData());
    decision = payload && view->AcceptsDrops()
                   ? DecideDrop(*payload, DropTargetKind::List, event->modifiers(), view)
                   : DropDecision{};
    desktop = view->AcceptsUrlDrop() ? DesktopDropAction(event) : DropAction::None;
    if (decision.action == DropAction::None && desktop == DropAction::None) {
        event->ignore();
        return std::nullopt;
    }
    event->setDropAction(ToQtAction(decision.action != DropAction::None ? decision.action : desktop));
    event->accept();
    return decision.action != DropAction::None ? payload : std::nullopt;
}

void CZyfarView::DragMove(QDropEvent* event) {
    DropDecision decision;
    DropAction desktop = DropAction::None;
    (void)AcceptDrag(this, event, decision, desktop);
}

void CZyfarView::Drop(QDropEvent* event) {
    DropDecision decision;
    DropAction desktop = DropAction::None;
    const std::optional<DragPayload> payload = AcceptDrag(this, event, decision, desktop);
    if (!payload) {
        if (desktop != DropAction::None) DropUrls(LocalPathsOf(event->mimeData()), desktop);
        return;
    }
    DropInfo info;
    info.targetList = this;
    DeliverDrop(decision, *payload, info);
}

}  // namespace zyfar
