#pragma once
// A tree over a folder of the local disk whose items are its sub-folders, for
// the profile windows (site-profile folders, file-list folders).
//
// The root item stands for the folder itself (labelled as the caller says);
// every folder reads its sub-folders when it is first expanded (an empty
// placeholder child keeps the expand button of a folder not read yet).
// Symbolic links are not shown. Commands:
// - New item (1154, Insert): a sub-folder of the current item's folder under
//   the caller's default name, or "<name> (1)", "<name> (2)" ... while that
//   is taken; it is inserted in name order, its parent expanded, the new
//   item selected and its label opened for editing.
// - Rename item (1155, F2): the label is edited; when the edit ends with a
//   changed text the folder is renamed on disk. Failure shows 33048 when the
//   name is taken (or access is denied), otherwise 33036; the label keeps
//   its old text.
// - Delete item (1156, Delete): the three-button question the caller set
//   (caption, question, buttons and what each button removes); a folder-only
//   delete of a folder that still has sub-folders shows 33047.
// - A folder dragged onto another folder of the tree moves there.
// The root can be neither renamed, deleted nor moved. What a change means for
// the link files is done by the core in the same step (by the tree's kind);
// the signals tell the window and the profile bar.
#include <QIcon>
#include <QString>
#include <QStringList>

#include "profiles/ProfileFolders.h"
#include "views/ZyfarTree.h"

class QStandardItem;

namespace zyfar {

// Which link upkeep the tree's changes need.
enum class DiskFolderKind {
    Plain,         // none
    SiteProfiles,  // folders of site profiles: links name the profile files
    FileLists,     // file-list folders: links name their "flist.ini"
};

// The delete question: caption, question and up to three buttons (an empty
// caption leaves the button out; closing the dialog counts as the third),
// with what each button removes.
struct FolderDeleteQuestion {
    QString title;
    QString question;
    QString buttons[3];
    FolderRemoval actions[3] = {FolderRemoval::FolderOnly, FolderRemoval::All, FolderRemoval::Cancel};
};

class CDiskFolderTree : public CZyfarTree {
    Q_OBJECT
public:
    // True on an item once its sub-folders were read.
    static constexpr int ReadRole = Qt::UserRole + 2;
    // True on the empty child that stands in for folders not read yet.
    static constexpr int PlaceholderRole = Qt::UserRole + 3;

    explicit CDiskFolderTree(DiskFolderKind kind = DiskFolderKind::Plain, QWidget* parent = nullptr);

    [[nodiscard]] DiskFolderKind Kind() const { return kind_; }

    // Shows `folder` as the root item with `rootLabel`, its sub-folders read
    // and the root expanded and selected.
    void SetRoot(const QString& folder, const QString& rootLabel);
    [[nodiscard]] QString RootFolder() const { return root_; }
    [[nodiscard]] QStandardItem* RootItem() const;

    // The default name of New item ("New Profile").
    void SetNewItemName(const QString& name) { newName_ = name; }
    void SetDeleteQuestion(const FolderDeleteQuestion& question) { deleteQuestion_ = question; }

    // The item of a folder, reading and expanding the folders on the way;
    // null when the path is not in the tree.
    [[nodiscard]] QStandardItem* ItemOfPath(const QString& path);
    // Selects (makes current) the item of a folder; false when not found.
    bool SelectFolder(const QString& path);
    // Reads an item's sub-folders again (replacing its children).
    void ReadSubFolders(QStandardItem* item);

    // The label edit of an item ended with `label`: renames the folder.
    // Nothing happens for an unchanged or empty label. False after a failure
    // (the message was shown, the label is back to the folder's name).
    bool CommitRename(const QModelIndex& index, const QString& label);
    // Moves a folder of the tree into another folder of it; false (after a
    // message) when it could not be moved.
    bool MoveFolder(const QString& folder, const QString& targetParent);

    void NewItem() override;
    void RenameItem() override;
    void DeleteItem() override;
    // Reads the current folder's sub-folders again and lists it again.
    void Refresh() override;
    void DropOperation(const DropInfo& info) override;
    void OnCurrentItemChanged(const QModelIndex& index) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

signals:
    // A folder became current (the list beside the tree shows it).
    void folderSelected(const QString& path);
    void folderCreated(const QString& path);
    // A folder was renamed or moved (the link files already follow it).
    void folderRenamed(const QString& oldPath, const QString& newPath);
    void folderDeleted(const QString& path);
    // Links that no longer apply after a delete: for site-profile folders the
    // deleted link files, for file-list folders the links whose list went
    // (their files stay). For the links combo.
    void linksDropped(const QStringList& names);

private:
    QStandardItem* AddFolderItem(QStandardItem* parent, const QString& path, bool sorted);
    void AddPlaceholder(QStandardItem* item);
    void OnExpanded(const QModelIndex& index);
    void OnItemChanged(QStandardItem* item);
    void RetargetPaths(QStandardItem* item, const QString& oldPath, const QString& newPath);
    void ShowFailure(const ProfileResult& result, int fallbackId);
    [[nodiscard]] bool IsRoot(const QModelIndex& index) const;
    [[nodiscard]] ProfileResult RenameOnDisk(const QString& folder, const QString& label, std::string* newFolder) const;

    DiskFolderKind kind_;
    QString root_;
    QString newName_ = QString::fromLatin1(kNewProfileFolderLabel);
    FolderDeleteQuestion deleteQuestion_;
    QIcon closedIcon_;
    QIcon openIcon_;
    bool reverting_ = false;
};

}  // namespace zyfar
