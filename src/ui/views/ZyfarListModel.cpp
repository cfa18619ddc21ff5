#include "views/ZyfarListModel.h"

#include <algorithm>
#include <numeric>

namespace zyfar {

ZyfarListModel::ZyfarListModel(QObject* parent) : QAbstractTableModel(parent) {}

QIcon ZyfarListModel::RowIcon(int row) const {
    (void)row;
    return {};
}

int ZyfarListModel::CompareRows(int a, int b, int column) const {
    return CellText(a, column).compare(CellText(b, column), Qt::CaseInsensitive);
}

void ZyfarListModel::SortRows(int column, int direction) {
    const int n = RowCount();
    if (n < 2 || column < 0 || column >= ColumnCount()) return;
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    if (direction == kSortDescending)
        std::stable_sort(order.begin(), order.end(),
                         [this, column](int a, int b) { return CompareRows(b, a, column) < 0; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [this, column](int a, int b) { return CompareRows(a, b, column) < 0; });
    if (std::is_sorted(order.begin(), order.end())) return;  // already in that order

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Where each old row goes, for the persistent indexes (selection, current row).
    std::vector<int> newRowOf(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to.append(index.isValid() && index.row() < n
                      ? createIndex(newRowOf[static_cast<std::size_t>(index.row())], index.column())
                      : QModelIndex());
    PermuteRecords(order);
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ZyfarListModel::RemoveRowsAt(std::vector<int> rows) {
    const int n = RowCount();
    std::erase_if(rows, [n](int r) { return r < 0 || r >= n; });
    if (rows.empty()) return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (static_cast<int>(rows.size()) == n) {
        RemoveAllRows();
        return;
    }
    // Descending ranges, so earlier row numbers stay valid.
    std::size_t end = rows.size();
    while (end > 0) {
        std::size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1) --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows({}, first, last);
        EraseRecords(first, last - first + 1);
        endRemoveRows();
        end = begin;
    }
}

void ZyfarListModel::RemoveAllRows() {
    const int n = RowCount();
    if (n == 0) return;
    beginResetModel();
    EraseRecords(0, n);
    endResetModel();
}

int ZyfarListModel::FindRowByText(const QString& text, int after, int column) const {
    const int n = RowCount();
    for (int row = std::max(after + 1, 0); row < n; ++row)
        if (CellText(row, column) == text) return row;
    return -1;
}

int ZyfarListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RowCount(); }

int ZyfarListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount(); }

QVariant ZyfarListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount() || index.column() >= ColumnCount()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return CellText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() == 0) {
            QIcon icon = RowIcon(index.row());
            if (!icon.isNull()) return icon;
        }
        return {};
    default:
        return {};
    }
}

QVariant ZyfarListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return HeaderText(section);
    return {};
}

Qt::ItemFlags ZyfarListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

void ZyfarListModel::BeginAppendRows(int count) {
    const int n = RowCount();
    beginInsertRows({}, n, n + count - 1);
}

void ZyfarListModel::EndAppendRows() { endInsertRows(); }

}  // namespace zyfar
