#pragma once
// The list-view base of every list in the main window (local and remote file
// lists, the multiple-put site and file lists, the log view).
//
// One model is shown either in a QTreeView (report style: columns, header,
// uniform row heights, no root decoration) or in a QListView (small icons,
// large icons, list); both views share the model and one selection model, so
// switching styles keeps the selection. The view answers the list commands
// (select all, un-select all, grid, adjust column width, clear list, the
// styles, delete), sorts by a clicked column heading with arrows, shows its
// context menu on a right click, asks the append-or-replace question, and
// starts and accepts drags of rows (ZyfarDrag.h). Derived views override the
// virtual operations below.
#include <QListView>
#include <QMenu>
#include <QTreeView>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "app/Commands.h"
#include "views/ZyfarDrag.h"
#include "views/ZyfarListModel.h"

class QAbstractItemView;
class QHeaderView;
class QItemSelectionModel;
class QMimeData;


class QStackedLayout;


namespace zyfar {

template <class>
class ListItemView;
class ReportItemView;
class IconItemView;
class GridDelegate;

enum class ViewStyle { Report, SmallIcons, LargeIcons, List };

enum class AppendOrReplace { Append, Replace, Cancel };

// Heading images: 0 arrow up (direction 1), 1 arrow down (direction 2), 2 none.
inline constexpr int kHeadingArrowUp = 0;
inline constexpr int kHeadingArrowDown = 1;
inline constexpr int kHeadingNoArrow = 2;

// Pixels added to every column by Adjust Column Width in report style.
inline constexpr int kReportColumnExtra = 20;

class CZyfarView : public QWidget, public CommandTarget {
    Q_OBJECT
public:
    explicit CZyfarView(QWidget* parent = nullptr);
    ~CZyfarView() override;

    // The model shown; the view takes ownership (it becomes the model's
    // parent). Replacing a model deletes the previous one. The sort table is
    // reset (every column 2, no arrows).
    void SetModel(ZyfarListModel* model);
    [[nodiscard]] ZyfarListModel* Model() const { return model_; }
    [[nodiscard]] int RowCount() const;

    // The context menu shown on a right click at the cursor; not owned (it is
    // the screen's). Null: a right click shows nothing.
    void SetContextMenu(QMenu* menu);
    [[nodiscard]] QMenu* ContextMenu() const { return menu_; }

    // The accessible name of the view and its inner item views.
    void SetAccessibleName(const QString& name);

    // --- commands (CommandTarget) ---
    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

    // --- style, grid, columns ---
    void SetStyle(ViewStyle style);
    [[nodiscard]] ViewStyle Style() const { return style_; }
    void SetGridLines(bool on);
    [[nodiscard]] bool GridLines() const { return grid_; }
    // Adjust Column Width (1191); nothing on an empty list.
    void AdjustColumnWidths();
    void SetColumnWidth(int column, int width);
    [[nodiscard]] int ColumnWidth(int column) const;

    // --- sorting ---
    // A click on a column heading: flips that column's direction (1 <-> 2,
    // anything else -> 1), sorts, and moves the arrow. Nothing on an empty list.
    virtual void ClickColumn(int column);
    [[nodiscard]] int SortDirection(int column) const;   // 1 or 2
    [[nodiscard]] int HeadingImage(int column) const;    // kHeadingArrowUp/Down/NoArrow
    // Every direction 2, every heading without an arrow.
    void ResetSortState();

    // --- selection and rows ---
    void SelectAllRows();
    void UnselectAllRows();
    [[nodiscard]] std::vector<int> SelectedRows() const;  // ascending
    [[nodiscard]] int CurrentRow() const;                 // -1 when none
    void SelectRow(int row, bool makeCurrent = true);
    // Selects (only) the first row whose first-column text equals `text`
    // exactly and scrolls to it; false when there is none.
    bool SelectFirstRowByText(const QString& text);
    // The next row after `after` whose first-column text equals `text`; -1 when none.
    [[nodiscard]] int FindNextRowByText(int after, const QString& text) const;
    // Deletes every selected row (freeing its record).
    void DeleteSelectedRows();
    // Deletes every row (freeing the records); no question.
    void DeleteAllRows();
    // Scrolls so that `row` is visible.
    void ShowRow(int row);

    // Append or replace before a list is loaded: an empty list is not asked
    // (Append). Otherwise the three-button question (title 196, text 199,
    // buttons 194 "Replace", 192 "Append", 188 "Cancel"); Replace deletes all
    // rows before it returns.
    AppendOrReplace AskAppendOrReplace();

    // The inner item views (tests, derived views).
    [[nodiscard]] QTreeView* ReportView() const;
    [[nodiscard]] QListView* IconView() const;
    [[nodiscard]] QAbstractItemView* ActiveItemView() const;
    [[nodiscard]] QItemSelectionModel* SelectionModel() const;
    [[nodiscard]] quint64 DragSourceNumber() const { return dragNumber_; }

    // --- operations derived views override ---
    // Refresh (list the folder again ...). Default: nothing.
    virtual void Refresh() {}
    // Whether the selection may be dragged; default: when rows are selected.
    [[nodiscard]] virtual bool CanBeginDrag() const;
    // Clear List (1127): asks 345 "Clear the list?" when there are rows;
    // Cancel changes nothing. Then deletes every row and resets the sort
    // table. True when the list was cleared.
    virtual bool ClearList();
    // Delete (1123, Delete key). Default: delete the selected rows.
    virtual void DeleteSelection();
    // The row to sort by a column and a direction. Default: the model's sort.
    virtual void SortByColumn(int column, int direction);
    // The row for a folder and a name; default -1 (lists without folders).
    [[nodiscard]] virtual int FindRowByFolderAndName(const QString& folder, const QString& name) const;
    virtual void Rename() {}
    virtual void Properties() {}
    virtual void Filter() {}
    // Double-click or Enter on a row. Default: nothing.
    virtual void OnDoubleClick(int row) { (void)row; }
    // Rows of this view were dropped somewhere (this view is the source).
    // Default: nothing.
    virtual void DropOperation(const DropInfo& info) { (void)info; }
    // Whether this list accepts a drop (as a target). Default: true.
    [[nodiscard]] virtual bool AcceptsDrops() const { return true; }
    // Files dragged in from the desktop's file manager (or from another
    // Zyfar): whether this list takes them, and taking them (local paths).
    [[nodiscard]] virtual bool AcceptsUrlDrop() const { return false; }
    virtual void DropUrls(const QStringList& paths, DropAction action) {
        (void)paths;
        (void)action;
    }
    // Adds what the desktop understands (file URLs) to a drag of these rows.
    virtual void AddDragUrls(const std::vector<int>& rows, QMimeData* mime) const {
        (void)rows;
        (void)mime;
    }

signals:
    void StyleChanged(ViewStyle style);

protected:
    // Called by the inner views.
    template <class>
    friend class ListItemView;
    void ShowContextMenuAt(const QPoint& globalPos);
    void StartDrag(QAbstractItemView* from);
    bool HandleKey(int key);
    void DragEnter(QDropEvent* event);
    void DragMove(QDropEvent* event);
    void Drop(QDropEvent* event);

private:
    void OnHeaderClicked(int section);
    void ApplyHeadingArrows();
    void ApplyStyle();

    ZyfarListModel* model_ = nullptr;
    ReportItemView* report_ = nullptr;
    IconItemView* icons_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    GridDelegate* delegate_ = nullptr;
    QPointer<QMenu> menu_;
    std::vector<int> directions_;
    int arrowColumn_ = -1;
    ViewStyle style_ = ViewStyle::Report;
    bool grid_ = false;
    quint64 dragNumber_ = 0;
};

}  // namespace zyfar
