#include "app/ScreenPanes.h"

#include <QCoreApplication>
#include <QMenu>

#include "app/Commands.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/Prompter.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "views/DirView.h"
#include "views/DriveTree.h"
#include "views/FilesView.h"
#include "views/FtpView.h"
#include "views/LogView.h"
#include "views/RemFilesView.h"
#include "views/RemoteTree.h"
#include "views/ViewMenu.h"

namespace zyfar {
namespace {

// The items every list's context menu ends with.
#define ZYFAR_LIST_COMMON                                                                                   \
    cmd::SelectAll, cmd::UnselectAll, 0, cmd::Grid, cmd::AdjustColumns, 0, cmd::StyleReport, cmd::StyleSmall, \
        cmd::StyleLarge, cmd::StyleList, 0, cmd::ClearList

QWidget* MakeRemoteTree(const QString& name, QWidget* parent, CommandTable& commands) {
    auto* tree = new CRemoteTree(parent);
    tree->SetAccessibleName(name);
    tree->SetContextMenu(commands.BuildContextMenu(
        tree, {cmd::Profiles, cmd::LastConnection, cmd::Disconnect, 0, cmd::NewFolder, cmd::Rename, cmd::Delete, 0,
               cmd::Refresh}));
    return tree;
}

// The remote list's menu: FTP Get on the right half (and on Standard FTP),
// FTP Put towards the other server on the left half of Remote FTP.
QWidget* MakeRemoteList(Side side, const QString& name, QWidget* parent, CommandTable& commands) {
    auto* list = new CRemFilesView(parent);
    list->SetAccessibleName(name);
    if (side == Side::Right)
        list->SetContextMenu(commands.BuildContextMenu(
            list, {cmd::FtpGet, cmd::FtpGetWildcard, 0, cmd::Rename, cmd::Delete, cmd::Properties, 0, cmd::Filter,
                   cmd::Refresh, cmd::HighlightRight, 0, ZYFAR_LIST_COMMON}));
    else
        list->SetContextMenu(commands.BuildContextMenu(
            list, {cmd::FtpPut, cmd::FtpPutWildcard, 0, cmd::Rename, cmd::Delete, cmd::Properties, 0, cmd::Filter,
                   cmd::Refresh, cmd::HighlightLeft, 0, ZYFAR_LIST_COMMON}));
    return list;
}

QWidget* MakeDriveTree(QWidget* parent, CommandTable& commands) {
    auto* tree = new CDriveTree(parent);
    tree->SetAccessibleName(QObject::tr("Local folders"));
    tree->SetContextMenu(commands.BuildContextMenu(tree, {cmd::Refresh}));
    return tree;
}

QWidget* MakeLocalList(QWidget* parent, CommandTable& commands) {
    auto* list = new CDirView(parent);
    list->SetContextMenu(commands.BuildContextMenu(
        list, {cmd::FtpPut, cmd::FtpPutWildcard, cmd::SendToRight, cmd::SendWildcardToRight, 0, cmd::Execute,
               cmd::OpenFile, cmd::Rename, cmd::Delete, cmd::Properties, 0, cmd::Filter, cmd::Refresh, 0,
               ZYFAR_LIST_COMMON}));
    return list;
}

}  // namespace

QWidget* MakePane(PaneKind kind, Side side, QWidget* parent, CommandTable& commands) {
    const QString half = side == Side::Left ? QObject::tr("Left") : QObject::tr("Right");
    switch (kind) {
    case PaneKind::DriveTree: return MakeDriveTree(parent, commands);
    case PaneKind::RemoteTree: return MakeRemoteTree(half + QObject::tr(" remote folders"), parent, commands);
    case PaneKind::LocalList: return MakeLocalList(parent, commands);
    case PaneKind::RemoteList: return MakeRemoteList(side, half + QObject::tr(" remote files"), parent, commands);
    case PaneKind::SiteList: {
        auto* v = new CFtpView(parent);
        v->SetContextMenu(BuildViewMenu(v, &commands,
                                        {cmd::AddSite, cmd::UpdateSite, cmd::Delete, 0, cmd::Profiles, 0,
                                         cmd::SendParallel, cmd::SendSerial, 0, ZYFAR_LIST_COMMON}));
        return v;
    }
    case PaneKind::FileList: {
        auto* v = new CFilesView(parent);
        v->SetContextMenu(BuildViewMenu(v, &commands,
                                        {cmd::SaveList, 0, cmd::ShowFullPath, cmd::ShowFileName, 0, cmd::Rename,
                                         cmd::Delete, 0, cmd::FileListProfiles, 0, ZYFAR_LIST_COMMON}));
        return v;
    }
    }
    return nullptr;
}

QWidget* MakeLogPane(QWidget* parent, CommandTable& commands) {
    auto* log = new CLogView(parent);
    log->SetContextMenu(commands.BuildContextMenu(
        log, {cmd::LogOpen, cmd::LogSave, cmd::LogClear, 0, cmd::LogViewAll, cmd::LogViewSuccess,
              cmd::LogViewUnsuccess, 0, cmd::Grid, cmd::AdjustColumns, 0, cmd::PrintLog, cmd::PrintPreview}));
    return log;
}

// ---- what the profile bar and the desktop hand in ----

void AddSiteProfileToPane(const QString& profilePath, QWidget* siteList) {
    if (auto* sites = qobject_cast<CFtpView*>(siteList)) (void)sites->AddProfile(profilePath);
}

void LoadFileListIntoPane(const QString& listFolder, QWidget* fileList, QWidget*) {
    if (auto* files = qobject_cast<CFilesView*>(fileList)) (void)files->LoadList(listFolder);
}

void LoadLinkIntoPanes(const QString& linkFile, QWidget* siteList, QWidget* fileList, QWidget*) {
    auto* sites = qobject_cast<CFtpView*>(siteList);
    auto* files = qobject_cast<CFilesView*>(fileList);
    if (sites == nullptr || files == nullptr) return;
    const LinkDefinition link = ReadLinkFile(linkFile.toStdString());
    if (sites->AskAppendOrReplace() != AppendOrReplace::Cancel) {
        for (const std::string& path : link.sites) (void)sites->AddProfile(QString::fromStdString(path));
    }
    if (files->AskAppendOrReplace() != AppendOrReplace::Cancel && link.files)
        (void)files->AddItems(LoadFileListFile(*link.files));
}

void ConnectPaneWithProfile(QWidget* remoteTree, const QString& profilePath) {
    if (auto* tree = qobject_cast<CRemoteTree*>(remoteTree)) (void)tree->ConnectWithProfile(profilePath);
}

void WirePanes(QWidget* leftFirst, QWidget* leftList, QWidget* rightFirst, QWidget* rightList) {
    auto pair = [](QWidget* first, QWidget* list) {
        auto* drives = qobject_cast<CDriveTree*>(first);
        auto* local = qobject_cast<CDirView*>(list);
        if (drives != nullptr && local != nullptr) {
            drives->SetDirView(local);
            return;
        }
        auto* tree = qobject_cast<CZyfarTree*>(first);
        auto* view = qobject_cast<CZyfarView*>(list);
        if (tree != nullptr && view != nullptr) tree->SetList(view);
    };
    pair(leftFirst, leftList);
    pair(rightFirst, rightList);
    auto* left = qobject_cast<CFileView*>(leftList);
    auto* right = qobject_cast<CFileView*>(rightList);
    if (left != nullptr && right != nullptr) {
        left->SetOpposite(right);
        right->SetOpposite(left);
    }
    // The local list sends to the Multiple FTP Put screen's file list, by
    // command and by dragging rows onto it.
    if (auto* local = qobject_cast<CDirView*>(leftList)) {
        if (auto* files = qobject_cast<CFilesView*>(rightList)) ConnectLocalToFiles(local, files);
    }
    // The drives are read and the home folder listed once the pair is tied.
    if (auto* drives = qobject_cast<CDriveTree*>(leftFirst)) {
        drives->LoadSystemDrives();
        drives->Start();
    }
}

void ForwardStatusMessages(QWidget* pane, QObject* receiver, const std::function<void(const QString&)>& show) {
    if (auto* tree = qobject_cast<CRemoteTree*>(pane))
        QObject::connect(tree, &CRemoteTree::StatusMessage, receiver, show);
    if (auto* drives = qobject_cast<CDriveTree*>(pane))
        QObject::connect(drives, &CDriveTree::StatusMessage, receiver, show);
    if (auto* files = qobject_cast<CFilesView*>(pane))
        QObject::connect(files, &CFilesView::StatusMessage, receiver, show);
}

int AddDroppedFilesToPane(const std::vector<std::string>& paths, QWidget* list) {
    auto* files = qobject_cast<CFilesView*>(list);
    return files != nullptr ? files->AddPaths(paths) : 0;
}

MultiPutResult SendFromScreen(QWidget* siteList, QWidget* fileList, bool parallel, TransferRunStarter& starter) {
    auto* sites = qobject_cast<CFtpView*>(siteList);
    auto* files = qobject_cast<CFilesView*>(fileList);
    MultiPutResult result;
    QWidget* parent = siteList != nullptr ? siteList->window() : nullptr;
    if (sites == nullptr || files == nullptr || sites->Sites().empty()) {
        result.outcome = MultiPutOutcome::NoSites;
        if (sites != nullptr)
            (void)AskText(parent, QString::fromUtf8(kNoTargetSitesText), MessageKind::Stop, MessageButtons::Ok);
        return result;
    }
    if (files->Items().empty()) {
        result.outcome = MultiPutOutcome::NoFiles;
        (void)AskMessage(parent, kMsgNoFilesToFtp, MessageKind::Stop, MessageButtons::Ok);
        return result;
    }
    // The wait window shows while the core sorts the files and removes the
    // duplicates, and goes when the first run has been handed to the starter.
    ProgressWindow wait(parent);
    wait.setWindowTitle(QStringLiteral("Zyfar"));
    wait.setAccessibleName(QStringLiteral("Sorting files"));
    wait.SetCancelVisible(false);
    wait.Open(QString::fromUtf8(kSortingFilesText));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const std::vector<CTransferJob> items = files->SendItems();
    result = parallel ? SendParallel(sites->Sites(), items, starter) : SendSerial(sites->Sites(), items, starter);
    wait.Finish();
    return result;
}

void AskToSaveFileList(QWidget* fileList) {
    if (auto* files = qobject_cast<CFilesView*>(fileList)) files->AskToSaveChanges();
}

}  // namespace zyfar
