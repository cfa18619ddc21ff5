#include "views/DriveTree.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardItem>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

#include "dialogs/Prompter.h"
#include "engine/LocalBrowse.h"
#include "engine/TransferPaths.h"
#include "settings/Keys.h"
#include "views/DirView.h"

namespace zyfar {

namespace {

constexpr int kMsgNoFilesToFtp = 203;
constexpr int kDriveTypeRole = Qt::UserRole + 4;

// A path with no trailing "/" (except the root itself).
QString Trimmed(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    return path;
}

// Whether `path` is `base` or below it.
bool IsAtOrBelow(const QString& path, const QString& base) {
    if (base == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
    return path == base || path.startsWith(base + QLatin1Char('/'));
}

}  // namespace

CDriveTree::CDriveTree(QWidget* parent) : CBrowseTree(parent) {
    SetAccessibleName(QStringLiteral("Local folders"));
    connect(Tree(), &QTreeView::expanded, this, [this](const QModelIndex& index) { OnExpanded(index); });
}

void CDriveTree::SetDirView(CDirView* list) {
    list_ = list;
    SetList(list);
    if (list != nullptr) list->SetTree(this);
}

CDirView* CDriveTree::DirView() const { return qobject_cast<CDirView*>(list_.data()); }

QIcon CDriveTree::DriveIcon(DriveType type) const {
    switch (type) {
    case DriveType::Removable:
        return QIcon::fromTheme(QStringLiteral("drive-removable-media"), style()->standardIcon(QStyle::SP_DriveFDIcon));
    case DriveType::CdRom:
        return QIcon::fromTheme(QStringLiteral("media-optical"), style()->standardIcon(QStyle::SP_DriveCDIcon));
    case DriveType::Network:
        return QIcon::fromTheme(QStringLiteral("folder-remote"), style()->standardIcon(QStyle::SP_DriveNetIcon));
    case DriveType::Fixed:
    case DriveType::RamDisk:
    case DriveType::Hidden:
    default:
        return QIcon::fromTheme(QStringLiteral("drive-harddisk"), style()->standardIcon(QStyle::SP_DriveHDIcon));
    }
}

QIcon CDriveTree::FolderIcon() const {
    return QIcon::fromTheme(QStringLiteral("folder"), style()->standardIcon(QStyle::SP_DirIcon));
}

void CDriveTree::AddPlaceholder(QStandardItem* item) {
    auto* placeholder = new QStandardItem();
    placeholder->setData(true, PlaceholderRole);
    placeholder->setFlags(Qt::NoItemFlags);
    item->appendRow(placeholder);
}

void CDriveTree::LoadDrives(const std::vector<LocalDrive>& drives) {
    Model()->clear();
    const bool connectNet = ReadNotNo(keys::ConnectNet);
    for (const LocalDrive& drive : drives) {
        if (!DriveShown(drive.type, connectNet)) continue;
        const QString path = LocalPathText(drive.path);
        QStandardItem* item = Model()->AddItem(nullptr, path, path, DriveIcon(drive.type));
        item->setData(static_cast<int>(drive.type), kDriveTypeRole);
        item->setAccessibleText(path);
        if (DriveReadsAtOnce(drive.type)) {
            ReadSubFolders(item);
        } else {
            AddPlaceholder(item);  // read when expanded
        }
    }
}

void CDriveTree::ReadSubFolders(QStandardItem* item) {
    if (item == nullptr) return;
    const QString path = ZyfarTreeModel::PathOf(item->index());
    DeleteChildren(item);
    item->setData(true, ReadRole);
    const LocalListing listing = ::zyfar::ListFolder(LocalPathBytes(path));
    if (!listing.ok()) {
        // The list shows why when the folder is selected; opening it tells in the status bar.
        emit StatusMessage(QString::fromStdString(listing.error));
        return;
    }
    std::vector<std::pair<QString, const LocalEntry*>> folders;
    for (const LocalEntry& e : listing.entries) {
        if (e.isFolder) folders.emplace_back(DisplayName(e.name), &e);
    }
    std::stable_sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    const QIcon icon = FolderIcon();
    const std::string base = LocalPathBytes(path);
    for (const auto& [label, entry] : folders) {
        QStandardItem* child =
            Model()->AddItem(item, label, LocalPathText(JoinLocal(base, entry->name)), icon);
        AddPlaceholder(child);
    }
}

void CDriveTree::OnExpanded(const QModelIndex& index) {
    QStandardItem* item = Model()->itemFromIndex(index);
    if (item == nullptr || item->data(ReadRole).toBool()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ReadSubFolders(item);
    QApplication::restoreOverrideCursor();
}

// The top item of the drive that holds `path` most closely, and the pieces
// of the path below it.
QStandardItem* CDriveTree::DriveItemFor(const QString& path, QStringList& pieces) const {
    QStandardItem* item = nullptr;
    QString best;
    for (int i = 0; i < Model()->rowCount(); ++i) {
        QStandardItem* top = Model()->item(i);
        const QString drive = Trimmed(ZyfarTreeModel::PathOf(top->index()));
        if (IsAtOrBelow(path, drive) && (item == nullptr || drive.size() > best.size())) {
            item = top;
            best = drive;
        }
    }
    if (item != nullptr) pieces = path.mid(best.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return item;
}

QStandardItem* CDriveTree::ChildNamed(QStandardItem* item, const QString& name) {
    for (int r = 0; r < item->rowCount(); ++r) {
        QStandardItem* child = item->child(r);
        if (QFileInfo(ZyfarTreeModel::PathOf(child->index())).fileName() == name) return child;
    }
    return nullptr;
}

QStandardItem* CDriveTree::ItemOfPath(const QString& path) const {
    QStringList pieces;
    QStandardItem* item = DriveItemFor(Trimmed(path), pieces);
    for (const QString& piece : pieces) {
        if (item == nullptr) break;
        item = ChildNamed(item, piece);
    }
    return item;
}

bool CDriveTree::ShowFolder(const QString& path) {
    QStringList pieces;
    QStandardItem* item = DriveItemFor(Trimmed(path), pieces);
    if (item == nullptr) return false;
    bool reached = true;
    for (const QString& piece : pieces) {
        if (!item->data(ReadRole).toBool()) ReadSubFolders(item);
        Tree()->expand(item->index());
        QStandardItem* next = ChildNamed(item, piece);
        if (next == nullptr) {
            reached = false;
            break;
        }
        item = next;
    }
    SetCurrentItem(item->index());
    // Centred once the tree has its size (at the start it has none yet).
    QTimer::singleShot(0, this, [this, shown = QPersistentModelIndex(item->index())] {
        if (shown.isValid()) Tree()->scrollTo(shown, QAbstractItemView::PositionAtCenter);
    });
    return reached;
}

void CDriveTree::Start(const QString& folder) {
    for (int i = 0; i < Model()->rowCount(); ++i) {
        QStandardItem* top = Model()->item(i);
        if (static_cast<DriveType>(top->data(kDriveTypeRole).toInt()) != DriveType::Fixed) continue;
        Tree()->expand(top->index());
        SetCurrentItem(top->index());
        break;
    }
    const QString start = folder.isEmpty() ? QDir::homePath() : folder;
    if (!start.isEmpty()) ShowFolder(start);
}

void CDriveTree::OnCurrentItemChanged(const QModelIndex& index) {
    if (!index.isValid()) return;
    const QString path = ItemPath(index);
    SetCurrentFolder(path);
    ListFolder(path, nullptr, false);
}

void CDriveTree::ListFolder(const QString& path, QStandardItem* parent, bool addTreeItems) {
    if (addTreeItems && parent != nullptr) ReadSubFolders(parent);
    if (CDirView* list = DirView()) list->ListFolder(LocalPathBytes(path));
}

void CDriveTree::Refresh() {
    QStandardItem* item = Model()->itemFromIndex(CurrentItem());
    const bool read = item != nullptr && item->data(ReadRole).toBool();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ListFolder(CurrentFolder(), read ? item : nullptr, read);
    QApplication::restoreOverrideCursor();
}

// ---- drag and drop ----

std::unique_ptr<TransferRun> CDriveTree::MakeFolderPutRun(const QString& folder, const TransferServer& server,
                                                          const std::shared_ptr<TransferViewLink>& targetLink,
                                                          std::vector<std::string>* unreadable) {
    LocalFolderJobs built = BuildLocalFolderPutJobs(LocalPathBytes(folder), ReadYes(keys::DragDropDirsView),
                                                    ParseFileCasing(Read(keys::FileCasingPut)));
    if (unreadable != nullptr) *unreadable = std::move(built.unreadable);
    if (built.jobs.empty()) return nullptr;
    const std::int64_t batch = BatchSizeOf(built.jobs);
    CDirView* list = DirView();
    // FTPDirTree is the put driver's: with "LAST_DIR" it makes the folder on
    // the server before the folder's first file goes.
    return MakeSingleServerRun(server, std::move(built.jobs), std::string(), batch, TransferMode::Put, 1, targetLink,
                               list != nullptr ? list->RefreshLink() : nullptr, false);
}

void CDriveTree::PutFolder(const QString& folder, CFileView* remoteList, const TransferServer& server) {
    std::vector<std::string> unreadable;
    std::unique_ptr<TransferRun> run =
        MakeFolderPutRun(folder, server, remoteList != nullptr ? remoteList->RefreshLink() : nullptr, &unreadable);
    if (!unreadable.empty()) {
        QStringList texts;
        for (const std::string& text : unreadable) texts << QString::fromStdString(text);
        AskText(this, texts.join(QLatin1Char('\n')), MessageKind::Stop, MessageButtons::Ok);
    }
    if (!run) {
        AskMessage(this, kMsgNoFilesToFtp, MessageKind::Information, MessageButtons::Ok);
        return;
    }
    CFileView::StartTransfer(std::move(run));
}

void CDriveTree::DropOperation(const DropInfo& info) {
    if (info.itemPath.isEmpty()) return;
    // A folder dragged onto a local folder is not moved: only files travel
    // between local folders.
    if (auto* list = qobject_cast<CFileView*>(info.targetList.data())) {
        if (list->Kind() != FileListKind::Remote) return;
        if (const std::optional<TransferServer> server = list->ConnectedServer()) PutFolder(info.itemPath, list, *server);
        return;
    }
    if (auto* tree = qobject_cast<CBrowseTree*>(info.targetTree.data())) {
        if (tree->Kind() != FileListKind::Remote) return;
        if (const std::optional<TransferServer> server = tree->ServerForFolder(info.targetFolder)) {
            PutFolder(info.itemPath, qobject_cast<CFileView*>(tree->List()), *server);
        }
    }
}

void CDriveTree::DropUrls(const QStringList& paths, DropAction action, const QString& targetFolder) {
    const std::string target = LocalPathBytes(targetFolder);
    if (target.empty()) return;
    std::vector<LocalFileRef> refs;
    bool touchesList = false;
    CDirView* list = DirView();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        refs.push_back({LocalPathBytes(info.absolutePath()), LocalPathBytes(info.fileName())});
        if (list != nullptr && refs.back().folder == list->ShownFolder()) touchesList = true;
    }
    (void)MoveOrCopyLocalFiles(this, refs, target, DropCopies(action));
    if (list != nullptr && (touchesList || list->ShownFolder() == target)) list->Refresh();
}

}  // namespace zyfar
