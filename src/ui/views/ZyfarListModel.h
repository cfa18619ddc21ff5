#pragma once
// The model base of every list of the main window: plain row records kept by
// the derived model, shown by CZyfarView in report or icon styles.
//
// A derived model keeps its records in display order (row i is record i) and
// supplies the columns, the cell texts and icons, a comparison for sorting and
// the two edits the base asks for: reorder the records by a permutation, and
// erase a range of records. Sorting computes a stable index vector and hands
// it over as one permutation, so 100,000 rows sort in one layout change
// (derived models with many rows supply byte keys, SortKeys);
// removals go as descending ranges, one remove notification per range.
#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <string>
#include <vector>

namespace zyfar {

// Sort directions of the column table: 1 ascending, 2 descending. A fresh or
// cleared list holds 2 for every column, so the first click sorts ascending.
inline constexpr int kSortAscending = 1;
inline constexpr int kSortDescending = 2;

class ZyfarListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ZyfarListModel(QObject* parent = nullptr);

    // --- supplied by the derived model ---
    [[nodiscard]] virtual int ColumnCount() const = 0;
    [[nodiscard]] virtual QString HeaderText(int column) const = 0;
    [[nodiscard]] virtual int RowCount() const = 0;
    [[nodiscard]] virtual QString CellText(int row, int column) const = 0;
    // The row's icon (shown in column 0 and in the icon styles); none by default.
    [[nodiscard]] virtual QIcon RowIcon(int row) const;
    // Negative, 0 or positive as row a sorts before, with, or after row b in
    // ascending order of `column`. Default: the cell texts without regard to case.
    [[nodiscard]] virtual int CompareRows(int a, int b, int column) const;
    // Optional, for big lists: one key per row whose byte order is the
    // ascending order of `column` (texts folded to lower case, numbers as
    // big-endian bytes ...). Keys are made once per sort, so a sort costs
    // byte comparisons instead of a text comparison per step. False (the
    // default) sorts with CompareRows.
    virtual bool SortKeys(int column, std::vector<std::string>& keys) const;
    // Reorders the records: newOrder[i] is the old row that becomes row i.
    // Called between the layout-change notifications.
    virtual void PermuteRecords(const std::vector<int>& newOrder) = 0;
    // Frees records [first, first + count). Called between the remove notifications.
    virtual void EraseRecords(int first, int count) = 0;

    // --- operations of the base ---
    // Sorts the rows stably by `column`: kSortAscending or kSortDescending.
    // Selections and the current row follow their rows.
    void SortRows(int column, int direction);
    // Removes the given rows (any order, duplicates allowed), freeing their records.
    void RemoveRowsAt(std::vector<int> rows);
    // Removes every row, freeing every record (one model reset).
    void RemoveAllRows();
    // The first row after `after` whose text in `column` equals `text` exactly; -1 when none.
    [[nodiscard]] int FindRowByText(const QString& text, int after = -1, int column = 0) const;

    // QAbstractItemModel
    [[nodiscard]] QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;

protected:
    // For derived models that append: wrap the append of `count` records at the end.
    void BeginAppendRows(int count);
    void EndAppendRows();
    // For derived models that replace everything at once.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
};

}  // namespace zyfar
