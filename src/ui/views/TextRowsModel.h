#pragma once
// A list model of plain text rows under header labels: for simple lists,
// placeholder lists and tests. Sorts by the column's text without regard to
// case; numbers sort by value, before texts.
#include <QList>
#include <QStringList>
#include <vector>

#include "views/ZyfarListModel.h"

namespace zyfar {

class TextRowsModel : public ZyfarListModel {
    Q_OBJECT
public:
    explicit TextRowsModel(QObject* parent = nullptr);
    TextRowsModel(const QStringList& headers, QObject* parent = nullptr);

    // The column headings; the column count follows them.
    void SetHeaders(const QStringList& headers);
    [[nodiscard]] QStringList Headers() const { return headers_; }
    // Appends rows at the end (one insert notification). Short rows show empty
    // cells; texts beyond the column count are kept but not shown.
    void AppendRows(const QList<QStringList>& rows);
    void AppendRow(const QStringList& row) { AppendRows({row}); }
    [[nodiscard]] QStringList Row(int row) const;
    // An icon for every row (none by default).
    void SetRowIcon(const QIcon& icon) { icon_ = icon; }

    [[nodiscard]] int ColumnCount() const override { return static_cast<int>(headers_.size()); }
    [[nodiscard]] QString HeaderText(int column) const override;
    [[nodiscard]] int RowCount() const override { return static_cast<int>(rows_.size()); }
    [[nodiscard]] QString CellText(int row, int column) const override;
    [[nodiscard]] QIcon RowIcon(int row) const override;
    [[nodiscard]] int CompareRows(int a, int b, int column) const override;
    void PermuteRecords(const std::vector<int>& newOrder) override;
    void EraseRecords(int first, int count) override;

private:
    QStringList headers_;
    std::vector<QStringList> rows_;
    QIcon icon_;
};

}  // namespace zyfar
