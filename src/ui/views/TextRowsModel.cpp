#include "views/TextRowsModel.h"

namespace zyfar {

TextRowsModel::TextRowsModel(QObject* parent) : ZyfarListModel(parent) {}

TextRowsModel::TextRowsModel(const QStringList& headers, QObject* parent) : ZyfarListModel(parent), headers_(headers) {}

void TextRowsModel::SetHeaders(const QStringList& headers) {
    if (headers.size() == headers_.size()) {
        headers_ = headers;
        if (!headers_.isEmpty()) emit headerDataChanged(Qt::Horizontal, 0, static_cast<int>(headers_.size()) - 1);
        return;
    }
    beginResetModel();
    headers_ = headers;
    endResetModel();
}

void TextRowsModel::AppendRows(const QList<QStringList>& rows) {
    if (rows.isEmpty()) return;
    BeginAppendRows(static_cast<int>(rows.size()));
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    EndAppendRows();
}

QStringList TextRowsModel::Row(int row) const {
    if (row < 0 || row >= RowCount()) return {};
    return rows_[static_cast<std::size_t>(row)];
}

QString TextRowsModel::HeaderText(int column) const { return headers_.value(column); }

QString TextRowsModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    return rows_[static_cast<std::size_t>(row)].value(column);
}

QIcon TextRowsModel::RowIcon(int row) const {
    (void)row;
    return icon_;
}

int TextRowsModel::CompareRows(int a, int b, int column) const {
    const QString& x = rows_[static_cast<std::size_t>(a)].value(column);
    const QString& y = rows_[static_cast<std::size_t>(b)].value(column);
    bool xNumber = false;
    bool yNumber = false;
    const double xv = x.toDouble(&xNumber);
    const double yv = y.toDouble(&yNumber);
    if (xNumber && yNumber) return xv < yv ? -1 : (yv < xv ? 1 : 0);
    if (xNumber != yNumber) return xNumber ? -1 : 1;  // numbers before texts
    return x.compare(y, Qt::CaseInsensitive);
}

void TextRowsModel::PermuteRecords(const std::vector<int>& newOrder) {
    std::vector<QStringList> sorted;
    sorted.reserve(rows_.size());
    for (int old : newOrder) sorted.push_back(std::move(rows_[static_cast<std::size_t>(old)]));
    rows_ = std::move(sorted);
}

void TextRowsModel::EraseRecords(int first, int count) {
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
}

}  // namespace zyfar
