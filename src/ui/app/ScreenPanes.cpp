#include "app/ScreenPanes.h"

#include <QMenu>
#include <unordered_set>

#include "app/Commands.h"
#include "profiles/LinkFile.h"
#include "profiles/SiteProfile.h"
#include "views/DirView.h"
#include "views/DriveTree.h"
#include "views/LogView.h"
#include "views/RemFilesView.h"
#include "views/RemoteTree.h"

namespace zyfar {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void AttachListMenu(CZyfarView* view, CommandTable& commands) {
    view->SetContextMenu(commands.BuildContextMenu(
        view, {cmd::SelectAll, cmd::UnselectAll, 0, cmd::Grid, cmd::AdjustColumns, 0, cmd::StyleReport,
               cmd::StyleSmall, cmd::StyleLarge, cmd::StyleList, 0, cmd::ClearList, cmd::Delete}));
}

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

CTransferSite SiteOfProfile(const SiteProfile& p) {
    CTransferSite site;
    site.host = p.host;
    site.login = p.user;
    site.password = p.password;
    site.remoteDir = p.remotePath;
    site.port = static_cast<std::uint16_t>(SiteProfilePort(p));
    return site;
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
        auto* v = new SiteListPane(parent);
        AttachListMenu(v, commands);
        return v;
    }
    case PaneKind::FileList: {
        auto* v = new FileListPane(parent);
        AttachListMenu(v, commands);
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

// ---- the site list ----

SiteListPane::SiteListPane(QWidget* parent) : CZyfarView(parent) {
    rows_ = new TextRowsModel(
        {QObject::tr("Distant Site"), QObject::tr("Login"), QObject::tr("Password"), QObject::tr("File Folder")});
    SetModel(rows_);
    SetAccessibleName(QObject::tr("Sites"));
    for (int c = 0; c < 4; ++c) SetColumnWidth(c, 100);
}

bool SiteListPane::AddSite(const CTransferSite& site) {
    for (const CTransferSite& s : Sites())
        if (s.host == site.host && s.login == site.login && s.remoteDir == site.remoteDir && s.port == site.port)
            return false;
    // Hidden texts after the four columns keep the password and the port.
    rows_->AppendRow({Q(site.host), Q(site.login), QStringLiteral("****"), Q(site.remoteDir), Q(site.password),
                      QString::number(site.port)});
    return true;
}

std::vector<CTransferSite> SiteListPane::Sites() const {
    std::vector<CTransferSite> out;
    for (int r = 0; r < rows_->RowCount(); ++r) {
        const QStringList row = rows_->Row(r);
        CTransferSite s;
        s.host = row.value(0).toStdString();
        s.login = row.value(1).toStdString();
        s.remoteDir = row.value(3).toStdString();
        s.password = row.value(4).toStdString();
        s.port = static_cast<std::uint16_t>(row.value(5).toUInt());
        out.push_back(std::move(s));
    }
    return out;
}

// ---- the file list ----

FileListPane::FileListPane(QWidget* parent) : CZyfarView(parent) {
    rows_ = new TextRowsModel(
        {QObject::tr("File"), QObject::tr("Folder"), QObject::tr("Size"), QObject::tr("Remote Name")});
    SetModel(rows_);
    SetAccessibleName(QObject::tr("Files to send"));
}

int FileListPane::AddItems(const std::vector<FileListItem>& items) {
    std::unordered_set<std::string> have;
    for (const FileListItem& i : Items()) have.insert(i.folder + '\n' + i.localName);
    QList<QStringList> rows;
    for (const FileListItem& item : items) {
        if (!have.insert(item.folder + '\n' + item.localName).second) continue;
        rows.push_back({Q(item.localName), Q(item.folder), QString::number(item.size), Q(item.remoteName)});
    }
    rows_->AppendRows(rows);
    return static_cast<int>(rows.size());
}

std::vector<FileListItem> FileListPane::Items() const {
    std::vector<FileListItem> out;
    for (int r = 0; r < rows_->RowCount(); ++r) {
        const QStringList row = rows_->Row(r);
        FileListItem item;
        item.localName = row.value(0).toStdString();
        item.folder = row.value(1).toStdString();
        item.size = row.value(2).toLongLong();
        item.remoteName = row.value(3).toStdString();
        out.push_back(std::move(item));
    }
    return out;
}

// ---- what the profile bar and the desktop hand in ----

void AddSiteProfileToPane(const QString& profilePath, QWidget* siteList) {
    auto* sites = qobject_cast<SiteListPane*>(siteList);
    if (sites == nullptr) return;
    const SiteProfile profile = ReadSiteProfile(profilePath.toStdString());
    if (profile.host.empty()) return;
    (void)sites->AddSite(SiteOfProfile(profile));
}

void LoadFileListIntoPane(const QString& listFolder, QWidget* fileList, QWidget*) {
    auto* files = qobject_cast<FileListPane*>(fileList);
    if (files == nullptr || files->AskAppendOrReplace() == AppendOrReplace::Cancel) return;
    (void)files->AddItems(LoadFileList(listFolder.toStdString()));
}

void LoadLinkIntoPanes(const QString& linkFile, QWidget* siteList, QWidget* fileList, QWidget*) {
    auto* sites = qobject_cast<SiteListPane*>(siteList);
    auto* files = qobject_cast<FileListPane*>(fileList);
    if (sites == nullptr || files == nullptr) return;
    const LinkDefinition link = ReadLinkFile(linkFile.toStdString());
    if (sites->AskAppendOrReplace() != AppendOrReplace::Cancel) {
        for (const std::string& path : link.sites) {
            const SiteProfile profile = ReadSiteProfile(path);
            if (!profile.host.empty()) (void)sites->AddSite(SiteOfProfile(profile));
        }
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
        if (auto* files = qobject_cast<FileListPane*>(rightList)) {
            QObject::connect(local, &CDirView::sendToRight, files,
                             [files](const std::vector<FileListItem>& items) { files->AddItems(items); });
            QObject::connect(local, &CDirView::droppedOnList, files,
                             [files](CZyfarView* target, const std::vector<FileListItem>& items) {
                                 if (target == files) files->AddItems(items);
                             });
        }
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
}

int AddDroppedFilesToPane(const std::vector<std::string>& paths, QWidget* list) {
    auto* files = qobject_cast<FileListPane*>(list);
    if (files == nullptr) return 0;
    const DroppedFiles dropped = CollectDroppedFiles(paths, files->Items());
    return files->AddItems(dropped.items);
}

}  // namespace zyfar
