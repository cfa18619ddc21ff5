#pragma once
// A splitter of the main window that keeps its sizes in the settings store
// under "Dimensions\" + its name: "Row%d"/"NumRows" for a splitter of rows
// (panes above each other), "Col%d"/"NumCols" for one of columns.
#include <QSplitter>
#include <string>

namespace zyfar {

class PaneSplitter : public QSplitter {
    Q_OBJECT
public:
    // Orientation Vertical: panes in rows; Horizontal: panes in columns.
    PaneSplitter(std::string name, Qt::Orientation orientation, QWidget* parent = nullptr);

    [[nodiscard]] const std::string& Name() const { return name_; }
    // Writes the current pane sizes (a pane is at least 1 pixel).
    void Save() const;
    // Sets the pane sizes from the store (default 50, at least 10 each).
    // Call it after the window is shown, so the layout does not rescale them.
    void Restore();

private:
    std::string name_;
};

}  // namespace zyfar
