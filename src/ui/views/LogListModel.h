#pragma once
// The rows of the log view: one copy of a log entry per row. Columns: 0 the
// event text (with the entry's icon), 1 the number, 2 time, 3 date, 4 source,
// 5 destination, 6 file, 7 detail.
#include <deque>
#include <vector>

#include "log/LogEntry.h"
#include "views/ZyfarListModel.h"

namespace zyfar {

class LogListModel : public ZyfarListModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 8;

    explicit LogListModel(QObject* parent = nullptr);

    // Appends entries at the end with one insert notification.
    void Append(std::vector<LogEntry> entries);
    // Replaces every row with one reset.
    void Reset(std::vector<LogEntry> entries);
    [[nodiscard]] const LogEntry& Entry(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // A deque: appending never moves the rows already there, so a long log
    // grows without the pauses of a vector's regrowth.
    [[nodiscard]] const std::deque<LogEntry>& Entries() const { return rows_; }
    // How many insert notifications Append has sent (the view's batching).
    [[nodiscard]] int InsertBatches() const { return insertBatches_; }

    [[nodiscard]] int ColumnCount() const override { return kColumns; }
    [[nodiscard]] QString HeaderText(int column) const override;
    [[nodiscard]] int RowCount() const override { return static_cast<int>(rows_.size()); }
    [[nodiscard]] QString CellText(int row, int column) const override;
    [[nodiscard]] QIcon RowIcon(int row) const override;
    [[nodiscard]] int CompareRows(int a, int b, int column) const override;
    bool SortKeys(int column, std::vector<std::string>& keys) const override;
    void PermuteRecords(const std::vector<int>& newOrder) override;
    void EraseRecords(int first, int count) override;

    // The icon of an entry's offset (successful / unsuccessful event).
    [[nodiscard]] static QIcon IconOfOffset(int offset);

private:
    std::deque<LogEntry> rows_;
    int insertBatches_ = 0;
};

}  // namespace zyfar
