#include "app/MainScreen.h"

#include "app/Commands.h"
#include "app/ScreenPanes.h"

namespace zyfar {

ScreenPanes PanesOf(ScreenKind screen) {
    switch (screen) {
    case ScreenKind::Standard:
        return {PaneKind::DriveTree, PaneKind::LocalList, PaneKind::RemoteTree, PaneKind::RemoteList};
    case ScreenKind::RemoteRemote:
        return {PaneKind::RemoteTree, PaneKind::RemoteList, PaneKind::RemoteTree, PaneKind::RemoteList};
    case ScreenKind::MultiplePut: break;
    }
    return {PaneKind::DriveTree, PaneKind::LocalList, PaneKind::SiteList, PaneKind::FileList};
}

MainScreen::MainScreen(ScreenKind kind, bool horizontalSplit, QSplitter* outer, CommandTable& commands)
    : kind_(kind) {
    const Qt::Orientation halves = horizontalSplit ? Qt::Vertical : Qt::Horizontal;
    split2_ = new PaneSplitter("Main\\split2", Qt::Horizontal);
    split4_ = new PaneSplitter("Main\\split4", halves, split2_);
    split3_ = new PaneSplitter("Main\\split3", halves, split2_);
    split2_->addWidget(split4_);
    split2_->addWidget(split3_);
    const ScreenPanes panes = PanesOf(kind);
    leftFirst_ = MakePane(panes.leftFirst, Side::Left, split4_, commands);
    leftList_ = MakePane(panes.leftList, Side::Left, split4_, commands);
    rightFirst_ = MakePane(panes.rightFirst, Side::Right, split3_, commands);
    rightList_ = MakePane(panes.rightList, Side::Right, split3_, commands);
    split4_->addWidget(leftFirst_);
    split4_->addWidget(leftList_);
    split3_->addWidget(rightFirst_);
    split3_->addWidget(rightList_);
    WirePanes(leftFirst_, leftList_, rightFirst_, rightList_);
    outer->insertWidget(0, split2_);
}

MainScreen::~MainScreen() {
    SaveSplitters();
    delete split2_.data();  // the halves and the views go with it
}

void MainScreen::RestoreSplitters() {
    for (PaneSplitter* s : {split2_.data(), split4_.data(), split3_.data()})
        if (s != nullptr) s->Restore();
}

void MainScreen::SaveSplitters() const {
    for (PaneSplitter* s : {split2_.data(), split3_.data(), split4_.data()})
        if (s != nullptr) s->Save();
}

}  // namespace zyfar
