#pragma once
// The drive tree: one top item per drive (mount point) of the machine, each
// with its sub-folders. Fixed, RAM and network drives read their folders at
// once; removable and CD drives only when expanded (an empty placeholder
// child keeps their expand button), so a drive without a medium is not
// touched until the user asks. Network drives are shown when CONFIG
// ConnectNet is not "NO". Any folder reads its own sub-folders when it is
// first expanded.
//
// Selecting a folder lists it into the CDirView beside the tree. A folder
// dragged out of the tree onto a connected remote list or tree is put there
// (its files; with CONFIG DragDropDirs "YES" those of every folder below it
// too). Local files dropped on a folder (rows of the local list, or files
// from the desktop) are moved or copied into it.
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/LocalFs.h"
#include "views/FileView.h"

class QStandardItem;

namespace zyfar {

class CDirView;

class CDriveTree : public CBrowseTree {
    Q_OBJECT
public:
    // True on an item once its sub-folders were read.
    static constexpr int ReadRole = Qt::UserRole + 2;
    // True on the empty child that stands in for folders not read yet.
    static constexpr int PlaceholderRole = Qt::UserRole + 3;

    explicit CDriveTree(QWidget* parent = nullptr);

    [[nodiscard]] FileListKind Kind() const override { return FileListKind::Local; }

    // Pairs the tree with its list (the list's BrowseTree() becomes this).
    void SetDirView(CDirView* list);
    [[nodiscard]] CDirView* DirView() const;

    // Puts one top item per shown drive (replacing any there were).
    void LoadDrives(const std::vector<LocalDrive>& drives);
    // The drives of this machine (the mount table).
    void LoadSystemDrives() { LoadDrives(ListDrives()); }
    // The start: the first fixed drive is expanded and selected, then the
    // path down to `folder` (the user's home when empty) is expanded and that
    // folder selected (listed into the list). Call after SetDirView.
    void Start(const QString& folder = QString());
    // Expands the items down to `path` and selects the deepest one reached;
    // false when the whole path could not be reached.
    bool ShowFolder(const QString& path);

    // The item of a path already in the tree, or null.
    [[nodiscard]] QStandardItem* ItemOfPath(const QString& path) const;

    // Lists `path` into the list; with addTreeItems, `parent`'s sub-folders
    // are read again.
    void ListFolder(const QString& path, QStandardItem* parent, bool addTreeItems) override;
    // Reads an item's sub-folders (replacing its children).
    void ReadSubFolders(QStandardItem* item);
    // Lists the current folder again, and its sub-folders when they were read.
    void Refresh() override;

    // A folder of this tree dropped on another view.
    void DropOperation(const DropInfo& info) override;
    [[nodiscard]] bool AcceptsUrlDrop() const override { return true; }
    void DropUrls(const QStringList& paths, DropAction action, const QString& targetFolder) override;

    // The put run of a dragged folder towards a server (null when it holds
    // no file); the texts of folders that could not be read go to `unreadable`.
    [[nodiscard]] std::unique_ptr<TransferRun> MakeFolderPutRun(const QString& folder, const TransferServer& server,
                                                                const std::shared_ptr<TransferViewLink>& targetLink,
                                                                std::vector<std::string>* unreadable = nullptr);

    // A new current folder: the list shows it.
    void OnCurrentItemChanged(const QModelIndex& index) override;

signals:
    // A short note for the status bar (a folder that could not be read).
    void StatusMessage(const QString& text);

private:
    [[nodiscard]] QIcon DriveIcon(DriveType type) const;
    [[nodiscard]] QIcon FolderIcon() const;
    void AddPlaceholder(QStandardItem* item);
    [[nodiscard]] QStandardItem* DriveItemFor(const QString& path, QStringList& pieces) const;
    [[nodiscard]] static QStandardItem* ChildNamed(QStandardItem* item, const QString& name);
    void OnExpanded(const QModelIndex& index);
    void PutFolder(const QString& folder, CFileView* remoteList, const TransferServer& server);

    QPointer<CFileView> list_;
};

}  // namespace zyfar
