#pragma once
// The views of one screen in their splitters. The left/right splitter
// "Main\split2" fills the outer splitter's top pane; the left half
// "Main\split4" and the right half "Main\split3" each hold a first pane (a
// tree, or the site list) and a list. With ScreenSplit "HORIZ" a half shows
// its first pane above its list, otherwise to its left.
#include <QPointer>
#include <QWidget>

#include "app/PaneSplitter.h"
#include "app/ProfileBar.h"

namespace zyfar {

class CommandTable;

// What a pane of a screen shows.
enum class PaneKind { DriveTree, LocalList, RemoteTree, RemoteList, SiteList, FileList };

struct ScreenPanes {
    PaneKind leftFirst, leftList, rightFirst, rightList;
};
[[nodiscard]] ScreenPanes PanesOf(ScreenKind screen);


class MainScreen {
public:
    // Builds the screen's splitters and views into `outer`'s first pane.
    MainScreen(ScreenKind kind, bool horizontalSplit, QSplitter* outer, CommandTable& commands);
    // Saves and destroys the three inner splitters (and the views in them).
    ~MainScreen();
    MainScreen(const MainScreen&) = delete;
    MainScreen& operator=(const MainScreen&) = delete;

    [[nodiscard]] ScreenKind Kind() const { return kind_; }
    [[nodiscard]] QWidget* LeftFirst() const { return leftFirst_; }
    [[nodiscard]] QWidget* LeftList() const { return leftList_; }
    [[nodiscard]] QWidget* RightFirst() const { return rightFirst_; }
    [[nodiscard]] QWidget* RightList() const { return rightList_; }
    [[nodiscard]] PaneSplitter* LeftRight() const { return split2_; }
    [[nodiscard]] PaneSplitter* LeftHalf() const { return split4_; }
    [[nodiscard]] PaneSplitter* RightHalf() const { return split3_; }

    // Restores "Main\split2", then "Main\split4", then "Main\split3".
    void RestoreSplitters();
    void SaveSplitters() const;

private:
    ScreenKind kind_;
    QPointer<PaneSplitter> split2_, split3_, split4_;
    QPointer<QWidget> leftFirst_, leftList_, rightFirst_, rightList_;
};

}  // namespace zyfar
