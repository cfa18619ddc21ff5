#include "views/DiskFolderTree.h"

#include <QDir>
#include <QStandardItem>
#include <QStyle>
#include <QTreeView>

#include "views/ZyfarView.h"

#include "dialogs/Prompter.h"
#include "platform/Paths.h"
#include "profiles/FileList.h"
#include "profiles/SiteProfile.h"

namespace zyfar {
namespace {

constexpr QDir::Filters kFolderFilter = QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks;

QStringList SubFolderNames(const QString& path) {
    return QDir(path).entryList(kFolderFilter, QDir::Name | QDir::IgnoreCase);
}

bool HasSubFolder(const QString& path) {
    return !QDir(path).entryList(kFolderFilter, QDir::Unsorted).isEmpty();
}

QString FolderName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

std::vector<std::string> NoLinkUpkeep(const std::string&, const std::string&) { return {}; }

QStringList ToQStrings(const std::vector<std::string>& names) {
    QStringList out;
    for (const std::string& n : names) out << QString::fromStdString(n);
    return out;
}

}  // namespace

CDiskFolderTree::CDiskFolderTree(DiskFolderKind kind, QWidget* parent) : CZyfarTree(parent), kind_(kind) {
    closedIcon_ = QIcon::fromTheme(QStringLiteral("folder"), style()->standardIcon(QStyle::SP_DirClosedIcon));
    openIcon_ = QIcon::fromTheme(QStringLiteral("folder-open"), style()->standardIcon(QStyle::SP_DirOpenIcon));
    Tree()->setEditTriggers(QAbstractItemView::EditKeyPressed);
    connect(Tree(), &QTreeView::expanded, this, [this](const QModelIndex& index) { OnExpanded(index); });
    connect(Tree(), &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        if (QStandardItem* item = Model()->itemFromIndex(index)) item->setIcon(closedIcon_);
    });
    connect(Model(), &QStandardItemModel::itemChanged, this, [this](QStandardItem* item) { OnItemChanged(item); });
    if (kind == DiskFolderKind::FileLists) {
        deleteQuestion_ = {QStringLiteral("Delete Profile"),
                           QStringLiteral("Delete profile?"),
                           {QStringLiteral("Yes"), QString(), QStringLiteral("Cancel")},
                           {FolderRemoval::All, FolderRemoval::Cancel, FolderRemoval::Cancel}};
    } else {
        deleteQuestion_ = {QStringLiteral("Delete Profile"),
                           QStringLiteral("Delete Profile and Sub-Profiles?"),
                           {QStringLiteral("Profile only"), QStringLiteral("Yes To All"), QStringLiteral("Cancel")},
                           {FolderRemoval::FolderOnly, FolderRemoval::All, FolderRemoval::Cancel}};
    }
}

void CDiskFolderTree::SetRoot(const QString& folder, const QString& rootLabel) {
    Model()->clear();
    root_ = QString::fromStdString(WithoutTrailingSlash(folder.toStdString()));
    QStandardItem* item = Model()->AddItem(nullptr, rootLabel, root_, closedIcon_);
    item->setEditable(false);
    item->setDragEnabled(false);
    ReadSubFolders(item);
    Tree()->expand(item->index());
    SetCurrentItem(item->index());
}

QStandardItem* CDiskFolderTree::RootItem() const { return Model()->item(0); }

bool CDiskFolderTree::IsRoot(const QModelIndex& index) const {
    return index.isValid() && !index.parent().isValid();
}

QStandardItem* CDiskFolderTree::AddFolderItem(QStandardItem* parent, const QString& path, bool sorted) {
    QStandardItem* item = Model()->AddItem(parent, FolderName(path), path, closedIcon_, sorted);
    item->setEditable(true);
    if (HasSubFolder(path)) AddPlaceholder(item);
    return item;
}

void CDiskFolderTree::AddPlaceholder(QStandardItem* item) {
    auto* placeholder = new QStandardItem();
    placeholder->setData(true, PlaceholderRole);
    placeholder->setEditable(false);
    placeholder->setDragEnabled(false);
    item->appendRow(placeholder);
}

void CDiskFolderTree::ReadSubFolders(QStandardItem* item) {
    if (item == nullptr) return;
    const QString path = ZyfarTreeModel::PathOf(item->index());
    DeleteChildren(item);
    for (const QString& name : SubFolderNames(path)) AddFolderItem(item, path + QLatin1Char('/') + name, false);
    item->setData(true, ReadRole);
}

void CDiskFolderTree::OnExpanded(const QModelIndex& index) {
    QStandardItem* item = Model()->itemFromIndex(index);
    if (item == nullptr) return;
    item->setIcon(openIcon_);
    if (!item->data(ReadRole).toBool()) ReadSubFolders(item);
}

QStandardItem* CDiskFolderTree::ItemOfPath(const QString& path) {
    QStandardItem* item = RootItem();
    if (item == nullptr) return nullptr;
    const QString wanted = QString::fromStdString(WithoutTrailingSlash(path.toStdString()));
    if (wanted == root_) return item;
    if (!wanted.startsWith(root_ + QLatin1Char('/'))) return nullptr;
    const QStringList parts = wanted.mid(root_.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!item->data(ReadRole).toBool()) ReadSubFolders(item);
        Tree()->expand(item->index());
        item = Model()->ChildByLabel(item, part);
        if (item == nullptr) return nullptr;
    }
    return item;
}

bool CDiskFolderTree::SelectFolder(const QString& path) {
    QStandardItem* item = ItemOfPath(path);
    if (item == nullptr) return false;
    SetCurrentItem(item->index());
    Tree()->scrollTo(item->index());
    return true;
}

void CDiskFolderTree::OnCurrentItemChanged(const QModelIndex& index) {
    if (index.data(PlaceholderRole).toBool()) return;
    const QString path = ItemPath(index);
    SetCurrentFolder(path);
    emit folderSelected(path);
}

std::optional<CommandState> CDiskFolderTree::CommandStateOf(int id) const {
    switch (id) {
    case cmd::NewItem: return CommandState{!root_.isEmpty(), std::nullopt};
    case cmd::RenameItem:
    case cmd::DeleteItem: return CommandState{CurrentItem().isValid() && !IsRoot(CurrentItem()), std::nullopt};
    default: return CZyfarTree::CommandStateOf(id);
    }
}

void CDiskFolderTree::ShowFailure(const ProfileResult& result, int fallbackId) {
    const int id = result.messageId() != 0 ? result.messageId() : fallbackId;
    if (id != 0) {
        (void)AskMessage(this, id, MessageKind::Stop, MessageButtons::Ok);
    } else {
        (void)AskText(this, QString::fromStdString(result.text()), MessageKind::Stop, MessageButtons::Ok);
    }
}

// ---- New item ----

void CDiskFolderTree::NewItem() {
    if (root_.isEmpty()) return;
    QModelIndex at = CurrentItem();
    if (!at.isValid()) at = RootItem()->index();
    QStandardItem* parent = Model()->itemFromIndex(at);
    const QString parentPath = ItemPath(at);
    std::string made;
    const ProfileResult r = CreateFolderUnderFreeName(parentPath.toStdString(), newName_.toStdString(), &made);
    if (!r.ok()) {
        ShowFailure(r, 0);
        return;
    }
    const QString path = QString::fromStdString(made);
    if (!parent->data(ReadRole).toBool()) ReadSubFolders(parent);
    QStandardItem* item = Model()->ChildByLabel(parent, FolderName(path));
    if (item == nullptr) item = AddFolderItem(parent, path, true);
    Tree()->expand(parent->index());
    SetCurrentItem(item->index());
    emit folderCreated(path);
    Tree()->edit(item->index());
}

// ---- Rename item ----

void CDiskFolderTree::RenameItem() {
    const QModelIndex at = CurrentItem();
    if (!at.isValid() || IsRoot(at)) return;
    Tree()->edit(at);
}

ProfileResult CDiskFolderTree::RenameOnDisk(const QString& folder, const QString& label,
                                            std::string* newFolder) const {
    const std::string from = folder.toStdString();
    switch (kind_) {
    case DiskFolderKind::SiteProfiles: return RenameProfileFolder(from, label.toStdString(), newFolder);
    case DiskFolderKind::FileLists: return RenameFileListFolder(from, label.toStdString(), newFolder);
    case DiskFolderKind::Plain: break;
    }
    if (!IsSafeName(label.toStdString())) return Fail(ProfileStatus::InvalidName, label.toStdString());
    return MoveFolderNoReplace(from, JoinPath(ParentFolderOf(from), label.toStdString()), NoLinkUpkeep, newFolder);
}

void CDiskFolderTree::OnItemChanged(QStandardItem* item) {
    if (reverting_ || item == nullptr || item->data(PlaceholderRole).toBool()) return;
    const QString path = ZyfarTreeModel::PathOf(item->index());
    if (path.isEmpty() || item->text() == FolderName(path) || IsRoot(item->index())) return;
    (void)CommitRename(item->index(), item->text());
}

bool CDiskFolderTree::CommitRename(const QModelIndex& index, const QString& label) {
    QStandardItem* item = Model()->itemFromIndex(index);
    if (item == nullptr || IsRoot(index)) return false;
    const QString oldPath = ZyfarTreeModel::PathOf(index);
    auto restoreLabel = [&] {
        reverting_ = true;
        item->setText(FolderName(oldPath));
        reverting_ = false;
    };
    if (label.isEmpty() || label == FolderName(oldPath)) {
        restoreLabel();
        return true;
    }
    std::string made;
    const ProfileResult r = RenameOnDisk(oldPath, label, &made);
    if (!r.ok()) {
        restoreLabel();
        (void)AskMessage(this, r.status == ProfileStatus::FolderExists ? 33048 : 33036, MessageKind::Stop,
                         MessageButtons::Ok);
        return false;
    }
    const QString newPath = QString::fromStdString(made);
    reverting_ = true;
    item->setText(label);
    RetargetPaths(item, oldPath, newPath);
    reverting_ = false;
    if (CurrentFolder() == oldPath || CurrentFolder().startsWith(oldPath + QLatin1Char('/')))
        SetCurrentFolder(newPath + CurrentFolder().mid(oldPath.size()));
    emit folderRenamed(oldPath, newPath);
    return true;
}

void CDiskFolderTree::RetargetPaths(QStandardItem* item, const QString& oldPath, const QString& newPath) {
    const QString path = ZyfarTreeModel::PathOf(item->index());
    if (path == oldPath || path.startsWith(oldPath + QLatin1Char('/')))
        item->setData(newPath + path.mid(oldPath.size()), ZyfarTreeModel::PathRole);
    for (int row = 0; row < item->rowCount(); ++row) RetargetPaths(item->child(row), oldPath, newPath);
}

// ---- Delete item ----

void CDiskFolderTree::DeleteItem() {
    const QModelIndex at = CurrentItem();
    if (!at.isValid() || IsRoot(at)) return;
    ThreeButtonRequest request;
    request.title = deleteQuestion_.title;
    request.question = deleteQuestion_.question;
    for (int i = 0; i < 3; ++i) request.buttons[i] = deleteQuestion_.buttons[i];
    const int answer = Prompt().ThreeButtons(this, request);
    const FolderRemoval how = (answer >= 0 && answer < 3) ? deleteQuestion_.actions[answer] : FolderRemoval::Cancel;
    if (how == FolderRemoval::Cancel) return;

    const QString path = ItemPath(at);
    const std::string folder = path.toStdString();
    std::vector<std::string> links;
    ProfileResult r;
    switch (kind_) {
    case DiskFolderKind::SiteProfiles: r = DeleteProfileFolder(folder, how, &links); break;
    case DiskFolderKind::FileLists: r = DeleteFileListFolder(folder, how, &links); break;
    case DiskFolderKind::Plain: r = RemoveFolder(folder, how); break;
    }
    if (!links.empty()) emit linksDropped(ToQStrings(links));

    const QPersistentModelIndex parentIndex = at.parent();
    if (!PathExists(folder)) {
        Model()->removeRow(at.row(), parentIndex);
        SetCurrentItem(parentIndex);
        emit folderDeleted(path);
    } else if (QStandardItem* item = Model()->itemFromIndex(at)) {
        ReadSubFolders(item);  // a part may be gone
    }
    if (!r.ok()) ShowFailure(r, 0);
}

// ---- Moves ----

bool CDiskFolderTree::MoveFolder(const QString& folder, const QString& targetParent) {
    const std::string from = folder.toStdString();
    const std::string to = targetParent.toStdString();
    if (folder == root_ || ParentFolderOf(from) == WithoutTrailingSlash(to)) return false;
    std::string made;
    ProfileResult r;
    switch (kind_) {
    case DiskFolderKind::SiteProfiles: r = MoveProfileFolder(from, to, &made); break;
    case DiskFolderKind::FileLists: r = MoveFileListFolder(from, to, &made); break;
    case DiskFolderKind::Plain:
        r = IsSameOrBelow(to, from, false) ? Fail(ProfileStatus::InvalidName, to)
                                            : MoveFolderNoReplace(from, JoinPath(to, FileNameOf(from)),
                                                                  NoLinkUpkeep, &made);
        break;
    }
    if (!r.ok()) {
        ShowFailure(r, 0);
        return false;
    }
    const QString newPath = QString::fromStdString(made);
    if (QStandardItem* oldParent = ItemOfPath(QString::fromStdString(ParentFolderOf(from)))) ReadSubFolders(oldParent);
    if (QStandardItem* newParent = ItemOfPath(targetParent)) ReadSubFolders(newParent);
    emit folderRenamed(folder, newPath);
    SelectFolder(newPath);
    return true;
}

void CDiskFolderTree::DropOperation(const DropInfo& info) {
    if (info.targetTree != this || info.targetFolder.isEmpty() || info.itemPath.isEmpty()) return;
    if (info.itemPath == info.targetFolder) return;
    (void)MoveFolder(info.itemPath, info.targetFolder);
}

void CDiskFolderTree::Refresh() {
    QModelIndex at = CurrentItem();
    if (!at.isValid() && RootItem() != nullptr) at = RootItem()->index();
    if (!at.isValid()) return;
    const QString path = ItemPath(at);
    if (QStandardItem* item = Model()->itemFromIndex(at)) {
        ReadSubFolders(item);
        Tree()->expand(item->index());
    }
    emit folderSelected(path);
}

}  // namespace zyfar
