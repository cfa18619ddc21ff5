#include "views/RemoteTree.h"

#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QStandardItem>
#include <QStyle>

#include "dialogs/ProgressWindow.h"
#include "dialogs/Prompter.h"
#include "engine/TransferPaths.h"
#include "ftp/SessionSettings.h"
#include "profiles/SiteProfile.h"
#include "settings/Keys.h"
#include "views/RemFilesView.h"

namespace zyfar {
namespace {

QString Text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

// The server's image; a protected connection's carries a small padlock in
// its lower right corner.
QIcon ServerIcon(bool protectedConnection) {
    const QIcon server = ThemeIcon("network-server", QStyle::SP_DriveNetIcon);
    if (!protectedConnection) return server;
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48}) {
        QPixmap pixmap = server.pixmap(size, size);
        const qreal ratio = pixmap.devicePixelRatio();
        const qreal s = pixmap.width() / ratio;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF body(s * 0.52, s * 0.62, s * 0.44, s * 0.34);
        QPainterPath shackle;
        shackle.moveTo(body.left() + body.width() * 0.22, body.top());
        shackle.arcTo(QRectF(body.left() + body.width() * 0.22, body.top() - body.height() * 0.6,
                             body.width() * 0.56, body.height() * 1.2), 180, -180);
        painter.setPen(QPen(QColor(0x4a, 0x4a, 0x4a), qMax(1.0, s / 14)));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shackle);
        painter.setBrush(QColor(0xe8, 0xb0, 0x10));
        painter.drawRoundedRect(body, s * 0.05, s * 0.05);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// Shows on the server's item how its connection is protected.
void ShowProtection(QStandardItem* server, const std::string& security) {
    if (server == nullptr) return;
    server->setIcon(ServerIcon(!security.empty()));
    const QString text = security.empty() ? QStringLiteral("Not encrypted")
                                          : QStringLiteral("Encrypted: ") + Text(security);
    server->setToolTip(text);
    server->setData(server->text() + QStringLiteral(", ") + text, Qt::AccessibleTextRole);
}

// Images 3/4 (folder, open when selected) and 8/11 (a folder reached through a link).
QIcon FolderIcon(bool link) {
    const QIcon normal = link ? ThemeIcon("folder-remote", QStyle::SP_DirLinkIcon)
                              : ThemeIcon("folder", QStyle::SP_DirClosedIcon);
    const QIcon open = link ? ThemeIcon("folder-remote", QStyle::SP_DirLinkOpenIcon)
                            : ThemeIcon("folder-open", QStyle::SP_DirOpenIcon);
    QIcon icon;
    for (const int size : {16, 32}) {
        icon.addPixmap(normal.pixmap(size), QIcon::Normal);
        icon.addPixmap(open.pixmap(size), QIcon::Selected);
    }
    return icon;
}

// The name part of `path` below `parent`.
std::string NameBelow(const std::string& parent, const std::string& path, char sep) {
    if (path.size() <= parent.size()) return path;
    std::size_t skip = parent.size();
    if (!parent.empty() && parent.back() != sep && path[skip] == sep) ++skip;
    return path.substr(skip);
}

}  // namespace

CRemoteTree::CRemoteTree(QWidget* parent) : CBrowseTree(parent) {
    SetAccessibleName(QStringLiteral("Remote folders"));
    Tree()->setRootIsDecorated(true);
    Tree()->setEditTriggers(QAbstractItemView::NoEditTriggers);
    session_ = std::make_unique<BrowseSession>([this](BrowseResult result) {
        // On the session's worker: hand the result to the GUI thread. The
        // session is deleted first in the destructor, so `this` lives here.
        auto shared = std::make_shared<BrowseResult>(std::move(result));
        QMetaObject::invokeMethod(
            this, [this, shared] { OnResult(std::move(*shared)); }, Qt::QueuedConnection);
    });
    progress_ = new ProgressWindow(this);
    connect(progress_, &ProgressWindow::Cancelled, this, &CRemoteTree::CancelOperation);
    progressTimer_.setSingleShot(true);
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (Busy() && !progress_->isVisible()) {
            progress_->SetCancelVisible(true);
            progress_->Open(waitText_);
        }
    });
    connect(Model(), &QStandardItemModel::itemChanged, this, &CRemoteTree::OnLabelEdited);
    connect(Tree(), &QTreeView::expanded, this, &CRemoteTree::OnExpanded);
}

CRemoteTree::~CRemoteTree() {
    // The worker goes first: no result handler runs once this returns.
    session_.reset();
}

void CRemoteTree::SetList(CZyfarView* list) {
    CBrowseTree::SetList(list);
    files_ = qobject_cast<CRemFilesView*>(list);
    if (files_) files_->SetTree(this);
}

CRemFilesView* CRemoteTree::Files() const { return files_.data(); }

// ---- connecting -----------------------------------------------------------------------

bool CRemoteTree::Connected() const { return session_->Connected(); }

char CRemoteTree::Separator() const { return session_->Separator(); }

std::optional<TransferServer> CRemoteTree::ConnectedServer() const {
    if (!Connected() || currentPath_.empty()) return std::nullopt;
    const BrowseSite site = session_->Site();
    return TransferServer{site.host,   site.login, site.password, currentPath_, static_cast<std::uint16_t>(site.port),
                          site.encryption};
}

std::optional<TransferServer> CRemoteTree::ServerForFolder(const QString& itemPath) const {
    std::optional<TransferServer> server = ConnectedServer();
    if (server && !itemPath.isEmpty()) server->remoteDir = PathBytesOf(itemPath);
    return server;
}

std::string CRemoteTree::PathBytesOf(const QString& itemPath) const {
    const QModelIndexList hits = Model()->match(Model()->index(0, 0), ZyfarTreeModel::PathRole, itemPath, 1,
                                                Qt::MatchExactly | Qt::MatchRecursive);
    if (!hits.isEmpty()) return hits.front().data(kBytesRole).toByteArray().toStdString();
    return itemPath.toStdString();
}

bool CRemoteTree::ConnectWithProfile(const QString& profileFile) {
    const SiteProfile profile = ReadSiteProfile(QFile::encodeName(profileFile).toStdString());
    if (Connected() || Busy()) {
        if (AskMessage(this, 247, MessageKind::Question, MessageButtons::YesNo) != MessageAnswer::Yes) return false;
        Disconnect();
    }
    BrowseSite site{profile.host,       profile.user,           profile.password,
                    profile.remotePath, SiteProfilePort(profile), SiteProfileEncryption(profile)};
    return ConnectTo(site);
}

void CRemoteTree::QuickConnect() {
    if (Connected() || Busy()) {
        if (AskMessage(this, 247, MessageKind::Question, MessageButtons::YesNo) != MessageAnswer::Yes) return;
        Disconnect();
    }
    SiteFields fields;
    fields.host = Text(Read(keys::QuickServer));
    fields.login = Text(Read(keys::QuickLogin));
    fields.password = Text(Read(keys::QuickPasswd));
    fields.folder = Text(Read(keys::QuickDirec));
    fields.port = Text(Read(keys::QuickPort));
    fields.encryption = QuickSiteEncryption();
    const std::optional<SiteFields> edited = Prompt().EditSite(this, fields);
    if (!edited) return;
    BrowseSite site{edited->host.toStdString(),   edited->login.toStdString(), edited->password.toStdString(),
                    edited->folder.toStdString(), edited->port.toInt(),        edited->encryption};
    // What was typed is offered again by the next Last Connection, even when
    // this connect fails; the connect keeps it again once it works.
    RememberQuickSite(site);
    ConnectTo(site);
}

bool CRemoteTree::ConnectTo(const BrowseSite& site) {
    if (Busy()) {
        Refused(FtpFail(ftpcode::kTransferInProgress, ""));
        return false;
    }
    ClearViews();
    BrowseConnectOptions options;
    options.status = [this](const std::string& text) { PostStatus(text); };
    options.pauseAfter = connectPause_;
    const BrowseSubmitted submitted = session_->Connect(site, options, mask_);
    if (!submitted.accepted()) {
        Refused(submitted.result);
        return false;
    }
    connectId_ = submitted.id;
    pending_[submitted.id] = [this](const BrowseResult& result) { OnConnected(result); };
    SetBusyLook(true);
    progress_->SetCancelVisible(true);
    progress_->Open(QStringLiteral("Connecting ..."));
    return true;
}

void CRemoteTree::Disconnect() {
    if (!Connected() && !Busy() && Model()->rowCount() == 0) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pending_.clear();  // results still under way are dropped
    (void)session_->Close();
    progressTimer_.stop();
    progress_->Finish();
    SetBusyLook(false);
    ClearViews();
    QApplication::restoreOverrideCursor();
    emit ConnectionChanged(false);
}

void CRemoteTree::PostStatus(const std::string& text) {
    std::lock_guard lock(statusMutex_);
    statusText_ = text;
    if (statusPosted_) return;
    statusPosted_ = true;
    QMetaObject::invokeMethod(this, &CRemoteTree::FlushStatus, Qt::QueuedConnection);
}

void CRemoteTree::FlushStatus() {
    std::string text;
    {
        std::lock_guard lock(statusMutex_);
        text = statusText_;
        statusPosted_ = false;
    }
    progress_->SetStatus(Text(text));
}

void CRemoteTree::OnConnected(const BrowseResult& result) {
    FlushStatus();
    if (result.result.ok()) {
        progress_->Finish();
        BuildTree(result);
        emit ConnectionChanged(true);
        return;
    }
    ClearViews();
    if (result.result.code == ftpcode::kCancelled) {
        progress_->Finish();
        return;
    }
    // The window stays with the failure until the user closes it.
    progress_->ShowEnded(progress_->Status() + QLatin1Char('\n') + Text(BrowseMessageText(result.result)));
}

void CRemoteTree::ClearViews() {
    quiet_ = true;
    Model()->clear();
    quiet_ = false;
    shownItem_ = QPersistentModelIndex();
    editing_ = QPersistentModelIndex();
    currentPath_.clear();
    SetCurrentFolder(QString());
    if (files_) files_->Files()->SetRows(std::string(), {});
}

void CRemoteTree::BuildTree(const BrowseResult& result) {
    ClearViews();
    const BrowseSite site = session_->Site();
    quiet_ = true;
    QStandardItem* host =
        Model()->AddItem(nullptr, DisplayName(site.host), QString(), ServerIcon(false));
    host->setData(HostItem, kItemKindRole);
    ShowProtection(host, result.security);
    host->setEditable(false);
    QStandardItem* parent = host;
    for (const BrowseTreePiece& piece : result.tree) {
        QStandardItem* item = Model()->AddItem(parent, DisplayName(piece.label), DisplayName(piece.path), FolderIcon(false));
        item->setData(QByteArray::fromStdString(piece.path), kBytesRole);
        item->setData(FolderItem, kItemKindRole);
        Tree()->expand(parent->index());
        parent = item;
    }
    quiet_ = false;
    if (parent == host) return;  // no folder: nothing to list
    currentPath_ = result.listing ? result.listing->folder : parent->data(kBytesRole).toByteArray().toStdString();
    if (result.listing) ShowListing(*result.listing, parent);
    SelectQuietly(parent->index());
    shownItem_ = parent->index();
    SetCurrentFolder(parent->data(ZyfarTreeModel::PathRole).toString());
}

void CRemoteTree::ShowListing(const BrowseListing& listing, QStandardItem* item) {
    std::vector<FileRow> rows;
    rows.reserve(listing.files.size());
    for (const BrowseEntry& e : listing.files) {
        FileRow row;
        row.name = e.entry.name;
        row.size = e.entry.size;
        row.modified = RemoteTimeToEpoch(e.entry.modified).value_or(kNoTime);
        row.kind = e.kind == BrowseEntryKind::LinkFile ? FileRowKind::LinkFile : FileRowKind::File;
        row.hidden = !row.name.empty() && row.name.front() == '.';
        row.sizeApproximate = e.entry.sizeApproximate;
        rows.push_back(std::move(row));
    }
    if (files_) files_->Files()->SetRows(listing.folder, std::move(rows));
    if (item == nullptr) return;
    quiet_ = true;
    DeleteChildren(item);
    AddFolderItems(item, listing);
    if (item->rowCount() > 0) Tree()->expand(item->index());
    quiet_ = false;
}

void CRemoteTree::AddFolderItems(QStandardItem* parent, const BrowseListing& listing) {
    const QIcon folder = FolderIcon(false);
    const QIcon link = FolderIcon(true);
    for (const BrowseEntry& e : listing.folders) {
        const bool isLink = e.kind == BrowseEntryKind::LinkFolder;
        QStandardItem* item =
            Model()->AddItem(parent, DisplayName(e.entry.name), DisplayName(e.path), isLink ? link : folder);
        item->setData(QByteArray::fromStdString(e.path), kBytesRole);
        item->setData(isLink ? LinkFolderItem : FolderItem, kItemKindRole);
    }
}

void CRemoteTree::SelectQuietly(const QModelIndex& index) {
    if (!index.isValid()) return;
    quiet_ = true;
    SetCurrentItem(index);
    quiet_ = false;
}

QStandardItem* CRemoteTree::ItemOf(const QModelIndex& index) const {
    return index.isValid() ? Model()->itemFromIndex(index) : nullptr;
}

// ---- requests and results -------------------------------------------------------------

bool CRemoteTree::Run(BrowseOperation operation, Done done, const QString& waitText) {
    if (!Connected()) return false;
    const BrowseSubmitted submitted = session_->Submit(std::move(operation));
    if (!submitted.accepted()) {
        Refused(submitted.result);
        return false;
    }
    pending_[submitted.id] = std::move(done);
    waitText_ = waitText.isEmpty() ? MessageString(351) : waitText;
    SetBusyLook(true);
    progressTimer_.start(progressDelay_);
    return true;
}

void CRemoteTree::CancelOperation() {
    if (Busy()) session_->Cancel();
}

void CRemoteTree::Refused(const FtpResult& result) {
    emit StatusMessage(Text(BrowseMessageText(result)));
}

void CRemoteTree::SetBusyLook(bool busy) {
    auto apply = [busy](QWidget* w) {
        if (w == nullptr) return;
        if (busy) w->setCursor(Qt::WaitCursor);
        else w->unsetCursor();
        w->setAccessibleDescription(busy ? QStringLiteral("Busy") : QString());
    };
    apply(Tree()->viewport());
    apply(this);
    if (files_) {
        apply(files_);
        apply(files_->ActiveItemView()->viewport());
    }
    emit BusyChanged(busy);
}

void CRemoteTree::OnResult(BrowseResult result) {
    Done done;
    if (auto it = pending_.find(result.id); it != pending_.end()) {
        done = std::move(it->second);
        pending_.erase(it);
    } else {
        return;  // a close, or a request dropped by a disconnect
    }
    if (pending_.empty()) {
        progressTimer_.stop();
        if (result.id != connectId_) progress_->Finish();
        SetBusyLook(false);
    }
    if (result.reconnected) {
        ShowProtection(Model()->item(0), result.security);
        emit StatusMessage(Text(ConnectedStatusText(session_->Site().host)));
    }
    QPointer<CRemoteTree> self(this);
    if (done) done(result);
    if (!self) return;
    ShowMessages(result);
    if (!self) return;
    emit ResultHandled(result.id, result.result.ok());
}

void CRemoteTree::ShowMessages(const BrowseResult& result) {
    if (result.kind == BrowseOpKind::Connect && !result.result.ok()) return;  // the connecting window said it
    std::vector<std::string> texts = result.messages;
    if (texts.empty() && !result.result.ok() && result.result.code != ftpcode::kCancelled)
        texts.push_back(BrowseMessageText(result.result));
    QPointer<CRemoteTree> self(this);
    for (const std::string& text : texts) {
        Prompt().Message(this, MessageRequest{0, Text(text), MessageKind::Stop, MessageButtons::Ok});
        if (!self) return;
    }
}

// ---- listing --------------------------------------------------------------------------

void CRemoteTree::Refresh() { (void)RefreshThen({}); }

bool CRemoteTree::RefreshThen(std::function<void(bool ok)> done) {
    if (!Connected() || currentPath_.empty()) return false;
    BrowseOperation op{BrowseListRequest{currentPath_, mask_, std::nullopt}, std::nullopt};
    return Run(std::move(op), [this, done = std::move(done)](const BrowseResult& r) {
        const bool ok = r.result.ok() && r.listing.has_value();
        if (ok) ShowListing(*r.listing, nullptr);
        if (done) done(ok);
    });
}

void CRemoteTree::OnCurrentItemChanged(const QModelIndex& index) {
    if (quiet_ || !Connected() || index == shownItem_) return;
    const int kind = index.data(kItemKindRole).toInt();
    if (kind != FolderItem && kind != LinkFolderItem) {
        // The host item and a placeholder: the list keeps its folder.
        return;
    }
    if (Busy()) {
        Refused(FtpFail(ftpcode::kTransferInProgress, ""));
        SelectQuietly(shownItem_);
        return;
    }
    ListItem(ItemOf(index), !Tree()->isExpanded(index));
}

void CRemoteTree::ListItem(QStandardItem* item, bool intoTree) {
    if (item == nullptr) return;
    const std::string path = item->data(kBytesRole).toByteArray().toStdString();
    const QPersistentModelIndex index(item->index());
    if (!intoTree) {
        // An open folder closes: its branch goes, a placeholder keeps its button.
        quiet_ = true;
        Tree()->collapse(index);
        DeleteChildren(item);
        auto* placeholder = new QStandardItem;
        placeholder->setData(PlaceholderItem, kItemKindRole);
        placeholder->setEditable(false);
        placeholder->setSelectable(false);
        item->appendRow(placeholder);
        quiet_ = false;
    }
    BrowseOperation op{BrowseListRequest{path, mask_, currentPath_}, std::nullopt};
    const bool started = Run(std::move(op), [this, index, intoTree](const BrowseResult& r) {
        if (!r.result.ok() || !r.listing || !index.isValid()) {
            SelectQuietly(shownItem_);  // the list keeps its folder
            return;
        }
        ShowListing(*r.listing, intoTree ? ItemOf(index) : nullptr);
        currentPath_ = r.listing->folder;
        shownItem_ = index;
        SelectQuietly(index);
        SetCurrentFolder(index.data(ZyfarTreeModel::PathRole).toString());
    });
    if (!started) SelectQuietly(shownItem_);
}

// A folder opened by its arrow whose branch was not read (it holds the
// placeholder): its sub-folders are read into the tree; the list keeps the
// folder it shows. Refused while another operation runs (the branch closes again).
void CRemoteTree::OnExpanded(const QModelIndex& index) {
    QStandardItem* item = ItemOf(index);
    if (quiet_ || item == nullptr || item->rowCount() != 1 ||
        item->child(0)->data(kItemKindRole).toInt() != PlaceholderItem || !Connected())
        return;
    const QPersistentModelIndex at(index);
    const std::string path = item->data(kBytesRole).toByteArray().toStdString();
    const bool started = Run(BrowseOperation{BrowseListRequest{path, mask_, std::nullopt}, std::nullopt},
                             [this, at](const BrowseResult& r) {
                                 QStandardItem* folder = ItemOf(at);
                                 if (folder == nullptr || !r.result.ok() || !r.listing) return;
                                 quiet_ = true;
                                 DeleteChildren(folder);
                                 AddFolderItems(folder, *r.listing);
                                 quiet_ = false;
                             });
    if (!started) {
        quiet_ = true;
        Tree()->collapse(index);
        quiet_ = false;
    }
}

// ---- tree commands --------------------------------------------------------------------

bool CRemoteTree::HandleCommand(int id) {
    switch (id) {
    case cmd::LastConnection: QuickConnect(); return true;
    case cmd::Disconnect: Disconnect(); return true;
    case cmd::NewFolder:
    case cmd::NewItem: NewFolder(); return true;
    case cmd::Rename:
    case cmd::RenameItem: StartRename(); return true;
    case cmd::Delete:
    case cmd::DeleteItem: DeleteFolder(); return true;
    case cmd::Refresh: Refresh(); return true;
    default: return CBrowseTree::HandleCommand(id);
    }
}

std::optional<CommandState> CRemoteTree::CommandStateOf(int id) const {
    const int kind = CurrentItem().data(kItemKindRole).toInt();
    const bool folder = kind == FolderItem || kind == LinkFolderItem;
    const bool topPiece = folder && CurrentItem().parent().data(kItemKindRole).toInt() == HostItem;
    const bool ready = Connected() && !Busy();
    switch (id) {
    case cmd::LastConnection: return CommandState{};
    case cmd::Disconnect: return CommandState{Connected() || Busy(), std::nullopt};
    case cmd::NewFolder:
    case cmd::NewItem: return CommandState{ready && folder, std::nullopt};
    case cmd::Rename:
    case cmd::RenameItem: return CommandState{ready && folder && !topPiece, std::nullopt};
    case cmd::Delete:
    case cmd::DeleteItem: return CommandState{ready && folder && !topPiece, std::nullopt};
    case cmd::Refresh: return CommandState{ready, std::nullopt};
    default: return CBrowseTree::CommandStateOf(id);
    }
}

void CRemoteTree::NewFolder() {
    QStandardItem* item = ItemOf(CurrentItem());
    if (!Connected() || item == nullptr) return;
    const int kind = item->data(kItemKindRole).toInt();
    if (kind != FolderItem && kind != LinkFolderItem) return;
    if (Busy()) {
        Refused(FtpFail(ftpcode::kTransferInProgress, ""));
        return;
    }
    const std::optional<QString> name = Prompt().InputLine(this, InputRequest{MessageString(221), MessageString(246), {}});
    if (!name || name->isEmpty()) return;
    const std::string bytes = name->toStdString();
    if (!IsPlainRemoteName(bytes, Separator())) {
        AskMessage(this, 246, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    const std::string folder = item->data(kBytesRole).toByteArray().toStdString();
    const QPersistentModelIndex index(item->index());
    BrowseOperation op{BrowseMakeFolderRequest{folder, bytes}, BrowseListRequest{folder, mask_, std::nullopt}};
    Run(std::move(op), [this, index](const BrowseResult& r) {
        if (!r.listing || !index.isValid()) return;
        ShowListing(*r.listing, ItemOf(index));
        currentPath_ = r.listing->folder;
        shownItem_ = index;
        SelectQuietly(index);
    }, MessageString(221));
}

void CRemoteTree::StartRename() {
    const QModelIndex index = CurrentItem();
    const int kind = index.data(kItemKindRole).toInt();
    if (!Connected() || (kind != FolderItem && kind != LinkFolderItem)) return;
    if (index.parent().data(kItemKindRole).toInt() == HostItem) return;  // the server's top folder keeps its name
    if (Busy()) {
        Refused(FtpFail(ftpcode::kTransferInProgress, ""));
        return;
    }
    editing_ = index;
    editingOld_ = index.data(Qt::DisplayRole).toString();
    Tree()->edit(index);
}

void CRemoteTree::OnLabelEdited(QStandardItem* item) {
    if (quiet_ || !editing_.isValid() || item == nullptr || item->index() != QModelIndex(editing_)) return;
    const QString typed = item->text();
    editing_ = QPersistentModelIndex();
    // The label keeps its old text until the server has renamed the folder.
    quiet_ = true;
    item->setText(editingOld_);
    quiet_ = false;
    if (typed == editingOld_) return;
    const std::string newName = typed.toStdString();
    if (typed.isEmpty() || !IsPlainRemoteName(newName, Separator())) {
        AskMessage(this, 246, MessageKind::Stop, MessageButtons::Ok);
        return;
    }
    QStandardItem* parent = item->parent();
    if (parent == nullptr) return;
    const char sep = Separator();
    const std::string parentPath = parent->data(kBytesRole).toByteArray().toStdString();
    const std::string oldPath = item->data(kBytesRole).toByteArray().toStdString();
    const std::string oldName = NameBelow(parentPath, oldPath, sep);
    BrowseRenameRequest request;
    request.items.push_back({parentPath, oldName, parentPath, newName, true});
    const QPersistentModelIndex index(item->index());
    Run(BrowseOperation{std::move(request), std::nullopt}, [this, index, parentPath, oldPath, newName, sep](const BrowseResult& r) {
        QStandardItem* renamed = ItemOf(index);
        if (!r.result.ok() || renamed == nullptr) return;
        const std::string newPath = JoinWithSeparator(parentPath, sep, newName);
        quiet_ = true;
        renamed->setText(DisplayName(newName));
        renamed->setData(QByteArray::fromStdString(newPath), kBytesRole);
        renamed->setData(DisplayName(newPath), ZyfarTreeModel::PathRole);
        const bool hadChildren = renamed->rowCount() > 0;
        Tree()->collapse(index);
        DeleteChildren(renamed);  // their paths named the old folder
        if (hadChildren) {
            auto* placeholder = new QStandardItem;
            placeholder->setData(PlaceholderItem, kItemKindRole);
            placeholder->setEditable(false);
            placeholder->setSelectable(false);
            renamed->appendRow(placeholder);
        }
        quiet_ = false;
        // The list showed the folder or one below it: it now shows the folder under its new name.
        const bool inside = currentPath_ == oldPath ||
                            (currentPath_.size() > oldPath.size() && currentPath_.compare(0, oldPath.size(), oldPath) == 0 &&
                             currentPath_[oldPath.size()] == sep);
        if (inside || !shownItem_.isValid()) {
            currentPath_ = newPath;
            shownItem_ = index;
            SelectQuietly(index);
            SetCurrentFolder(index.data(ZyfarTreeModel::PathRole).toString());
            Refresh();
        }
    }, MessageString(221));
}

void CRemoteTree::DeleteFolder() {
    QStandardItem* item = ItemOf(CurrentItem());
    if (!Connected() || item == nullptr) return;
    const int kind = item->data(kItemKindRole).toInt();
    if (kind != FolderItem && kind != LinkFolderItem) return;
    QStandardItem* parent = item->parent();
    if (parent == nullptr || parent->data(kItemKindRole).toInt() == HostItem) return;
    if (Busy()) {
        Refused(FtpFail(ftpcode::kTransferInProgress, ""));
        return;
    }
    ThreeButtonRequest question;
    question.title = MessageString(225);
    question.question = MessageString(223);
    question.buttons[0] = MessageString(190);
    question.buttons[1] = MessageString(224);
    question.buttons[2] = MessageString(188);
    const int answer = Prompt().ThreeButtons(this, question);
    if (answer != 0 && answer != 1) return;
    const std::string path = item->data(kBytesRole).toByteArray().toStdString();
    const std::string parentPath = parent->data(kBytesRole).toByteArray().toStdString();
    const QPersistentModelIndex parentIndex(parent->index());
    BrowseOperation op{
        BrowseDeleteFolderRequest{path, answer == 0 ? FolderDeleteAnswer::YesToAll : FolderDeleteAnswer::ThisFolderOnly},
        BrowseListRequest{parentPath, mask_, std::nullopt}};
    Run(std::move(op), [this, parentIndex](const BrowseResult& r) {
        if (!r.listing || !parentIndex.isValid()) return;
        // The parent's branch again; the list shows the parent.
        ShowListing(*r.listing, ItemOf(parentIndex));
        currentPath_ = r.listing->folder;
        shownItem_ = parentIndex;
        SelectQuietly(parentIndex);
        SetCurrentFolder(parentIndex.data(ZyfarTreeModel::PathRole).toString());
    }, MessageString(225));
}

// ---- drag and drop --------------------------------------------------------------------

void CRemoteTree::DropOperation(const DropInfo& info) {
    auto* target = qobject_cast<CBrowseTree*>(info.targetTree.data());
    const std::optional<TransferServer> source = ConnectedServer();
    if (target == nullptr || target == this || !source || info.itemPath.isEmpty()) return;
    const std::string folder = PathBytesOf(info.itemPath);
    std::optional<TransferServer> toServer;
    std::string toLocal;
    if (target->Kind() == FileListKind::Local) {
        toLocal = QFile::encodeName(info.targetFolder).toStdString();
    } else {
        auto* remote = qobject_cast<CRemoteTree*>(target);
        if (remote == nullptr) return;
        toServer = remote->ServerForFolder(info.targetFolder);
        if (!toServer) return;
    }
    BrowseJobTarget jobTarget{toServer ? TransferMode::ServerToServer : TransferMode::Get,
                              toServer ? toServer->remoteDir : toLocal};
    QPointer<CBrowseTree> guard(target);
    Run(BrowseOperation{BrowseFolderJobsRequest{folder, jobTarget}, std::nullopt},
        [this, guard, toServer, toLocal, source](const BrowseResult& r) {
            if (!r.result.ok() || r.jobs.empty()) {
                if (r.result.ok()) AskMessage(this, 203, MessageKind::Stop, MessageButtons::Ok);
                return;
            }
            auto* list = guard ? qobject_cast<CFileView*>(guard->List()) : nullptr;
            std::shared_ptr<TransferViewLink> destination = list ? list->RefreshLink() : nullptr;
            std::shared_ptr<TransferViewLink> from = files_ ? files_->RefreshLink() : nullptr;
            if (toServer)
                CFileView::StartTransfer(MakeServerToServerRun(*toServer, *source, r.jobs, r.batchSize, 1, destination,
                                                               from, false));
            else
                CFileView::StartTransfer(MakeSingleServerRun(*source, r.jobs, toLocal, r.batchSize, TransferMode::Get,
                                                             1, destination, from, false));
        });
}

void CRemoteTree::DropUrls(const QStringList& paths, DropAction action, const QString& targetFolder) {
    const std::optional<TransferServer> server = ServerForFolder(targetFolder);
    if (!server) return;
    int foldersLeft = 0;
    std::int64_t batch = 0;
    std::vector<CTransferJob> jobs = LocalPutJobsOf(paths, &foldersLeft, &batch);
    if (foldersLeft > 0)
        emit StatusMessage(QStringLiteral("%1 folder(s) left out: only files are sent.").arg(foldersLeft));
    if (jobs.empty()) return;
    CFileView::StartTransfer(MakeSingleServerRun(*server, std::move(jobs), std::string(), batch,
                                                 action == DropAction::Copy ? TransferMode::PutKeep : TransferMode::Put,
                                                 1, files_ ? files_->RefreshLink() : nullptr, nullptr, false));
}

}  // namespace zyfar
