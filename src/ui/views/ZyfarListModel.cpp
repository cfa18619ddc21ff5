#include "views/ZyfarListModel.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string_view>

namespace zyfar {

ZyfarListModel::ZyfarListModel(QObject* parent) : QAbstractTableModel(parent) {}

QIcon ZyfarListModel::RowIcon(int row) const {
    (void)row;
    return {};
}

int ZyfarListModel::CompareRows(int a, int b, int column) const {
    return CellText(a, column).compare(CellText(b, column), Qt::CaseInsensitive);
}

namespace {

// One row's key for sorting: the first 8 bytes after the prefix that all
// keys share, as a number, so that most comparisons are one integer compare
// on data that moves with the item; equal heads compare the whole key.
struct SortItem {
    std::uint64_t head;
    int row;
};

std::uint64_t HeadOf(const std::string& key, std::size_t skip) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = skip + i;
        head = (head << 8) | (at < key.size() ? static_cast<unsigned char>(key[at]) : 0u);
    }
    return head;
}

// A stable sort of the rows by their byte keys.
void SortByKeys(const std::vector<std::string>& keys, bool descending, std::vector<int>& order) {
    std::size_t common = keys.front().size();
    for (const std::string& key : keys) {
        common = std::min(common, key.size());
        common = static_cast<std::size_t>(
            std::mismatch(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(common), keys.front().begin()).first -
            key.begin());
        if (common == 0) break;
    }
    std::vector<SortItem> items(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) items[i] = {HeadOf(keys[i], common), static_cast<int>(i)};
    auto less = [&keys, common](const SortItem& a, const SortItem& b) {
        if (a.head != b.head) return a.head < b.head;
        const std::string& x = keys[static_cast<std::size_t>(a.row)];
        const std::string& y = keys[static_cast<std::size_t>(b.row)];
        return std::string_view(x).substr(std::min(x.size(), common + 8)) <
               std::string_view(y).substr(std::min(y.size(), common + 8));
    };
    if (descending)
        std::stable_sort(items.begin(), items.end(), [&less](const SortItem& a, const SortItem& b) { return less(b, a); });
    else
        std::stable_sort(items.begin(), items.end(), less);
    for (std::size_t i = 0; i < items.size(); ++i) order[i] = items[i].row;
}

}  // namespace

bool ZyfarListModel::SortKeys(int column, std::vector<std::string>& keys) const {
    (void)column;
    (void)keys;
    return false;
}

void ZyfarListModel::SortRows(int column, int direction) {
    const int n = RowCount();
    if (n < 2 || column < 0 || column >= ColumnCount()) return;
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    const bool descending = direction == kSortDescending;
    std::vector<std::string> keys;
    if (SortKeys(column, keys) && keys.size() == order.size()) {
        SortByKeys(keys, descending, order);
    } else if (descending) {
        std::stable_sort(order.begin(), order.end(),
                         [this, column](int a, int b) { return CompareRows(b, a, column) < 0; });
    } else {
        std::stable_sort(order.begin(), order.end(),
                         [this, column](int a, int b) { return CompareRows(a, b, column) < 0; });
    }
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

QModelIndex ZyfarListModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= RowCount() || column >= ColumnCount()) return {};
    return createIndex(row, column);
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
