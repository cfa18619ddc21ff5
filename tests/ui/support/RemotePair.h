#pragma once
// A remote tree with its file list, connecting without the pause between
// attempts: the pane the FTP screens show, without a main window.
#include <chrono>

#include "views/RemFilesView.h"
#include "views/RemoteTree.h"

namespace zyfar::uitest {

struct RemotePair {
    CRemoteTree tree;
    CRemFilesView list;
    RemotePair() {
        tree.SetList(&list);
        tree.SetConnectPause(std::chrono::milliseconds(0));
    }
};

}  // namespace zyfar::uitest
