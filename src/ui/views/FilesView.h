#pragma once
// The files view: the list of files to send of the Multiple FTP Put screen
// and of the file-list window. One row per file: its folder, local name,
// remote name (the name on the servers; the local name unless set), size and
// last-write time. The first column shows the file name, or the full path
// (Show the full path 1139 / Show only the file name 1140).
//
// Rows come from the local list (Send to the right side, rows dragged onto
// the view), from files dropped from the desktop (a folder adds every file of
// its subtree), from a saved file list, a link or a ".fls" import; a file is
// never listed twice (same folder and name). Set a remote name (1124) changes
// the name on the servers only; Delete (1123) removes rows, never files.
//
// The view remembers the list folder its rows came from and whether they
// changed since: Save (1178) writes that folder's "flist.ini" (or asks for a
// new list's name), and leaving a changed list asks 33053 first.
#include <QString>
#include <QStringList>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/TransferJob.h"
#include "profiles/FileList.h"
#include "settings/Keys.h"
#include "views/ZyfarView.h"

namespace zyfar {

class CDirView;

class FilesRowsModel : public ZyfarListModel {
    Q_OBJECT
public:
    enum Column { ColFile = 0, ColRemote = 1, ColSize = 2, ColModified = 3 };
    explicit FilesRowsModel(QObject* parent = nullptr);

    // Appends the items not yet listed (same folder and name); answers how many.
    int AddItems(const std::vector<FileListItem>& items);
    void SetItems(std::vector<FileListItem> items);
    void SetItem(int row, const FileListItem& item);
    [[nodiscard]] const std::vector<FileListItem>& Items() const { return items_; }
    [[nodiscard]] int FindItem(const std::string& folder, const std::string& name) const;
    void SetFullPath(bool on);
    [[nodiscard]] bool FullPath() const { return fullPath_; }

    [[nodiscard]] int ColumnCount() const override { return 4; }
    [[nodiscard]] QString HeaderText(int column) const override;
    [[nodiscard]] int RowCount() const override { return static_cast<int>(items_.size()); }
    [[nodiscard]] QString CellText(int row, int column) const override;
    [[nodiscard]] QIcon RowIcon(int row) const override;
    [[nodiscard]] int CompareRows(int a, int b, int column) const override;
    void PermuteRecords(const std::vector<int>& newOrder) override;
    void EraseRecords(int first, int count) override;

private:
    void RebuildKeys();

    std::vector<FileListItem> items_;
    std::unordered_set<std::string> keys_;  // folder (without trailing "/") + "\n" + name
    bool fullPath_ = false;
    DateStyle dateStyle_;
    QIcon icon_;
};

class CFilesView : public CZyfarView {
    Q_OBJECT
public:
    explicit CFilesView(QWidget* parent = nullptr);

    [[nodiscard]] const std::vector<FileListItem>& Items() const { return rows_->Items(); }
    // Adds the items not yet listed; a change when any was added. Answers how many.
    int AddItems(const std::vector<FileListItem>& items);
    // Replaces every row with a list read from `listFolder` ("" for none):
    // the view then holds that list unchanged.
    void SetList(std::vector<FileListItem> items, const QString& listFolder);
    // The list folder the rows came from ("" when none) and the changed flag.
    [[nodiscard]] const QString& ListFolder() const { return listFolder_; }
    [[nodiscard]] bool Changed() const { return changed_; }
    void MarkChanged() { changed_ = true; }
    // The list's folder was renamed or moved.
    void SetListFolder(const QString& folder) { listFolder_ = folder; }

    // Loads a saved list (its folder): first 33053 for a changed list, then
    // the append-or-replace question (none for an empty view); false when
    // cancelled. A missing "flist.ini" loads nothing, without a message.
    bool LoadList(const QString& listFolder);
    // Save (1178). Nothing for an empty view. A list without a folder asks
    // for a name (310) and makes the folder (listCreated). False when
    // nothing was written (cancelled, refused: the reason was shown).
    bool SaveList();
    // Leaving the list (another list, a screen switch, closing): a changed
    // list that came from a list folder asks 33053; Yes saves.
    void AskToSaveChanges();

    // Show the full path (true) or only the file name, and fit the columns.
    void SetFullPath(bool on);
    [[nodiscard]] bool FullPath() const { return rows_->FullPath(); }
    // Set a remote name (1124): 170 / 171, the name question (175), the
    // "About to rename" confirmation.
    void Rename() override;
    // Delete (1123): 179 with nothing selected; else "About to remove file
    // %s!" per row (Yes, Yes To All, Cancel). Rows only, never files.
    void DeleteSelection() override;
    bool ClearList() override;

    // A file of the local list was renamed on the disk: its row follows (a
    // remote name that was the old local name becomes the new one).
    void FileRenamed(const QString& folder, const QString& oldName, const QString& newName);

    // The rows as items of a multiple-site put (a size 0 row is a pattern).
    [[nodiscard]] std::vector<CTransferJob> SendItems() const;

    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

    [[nodiscard]] bool AcceptsUrlDrop() const override { return true; }
    void DropUrls(const QStringList& paths, DropAction action) override;
    // Desktop paths: the files (folders: their subtrees) not listed yet.
    int AddPaths(const std::vector<std::string>& paths);

signals:
    // A save made a new list folder (the file-list tree and the profile bar learn it).
    void listCreated(const QString& name, const QString& folder);
    // A short note for the status bar (a drop cut at its limit).
    void StatusMessage(const QString& text);

private:
    FilesRowsModel* rows_;
    QString listFolder_;
    bool changed_ = false;
};

// The local list feeds the files view: Send to the right side, rows dropped
// on the view, and renames of listed files.
void ConnectLocalToFiles(CDirView* local, CFilesView* files);

}  // namespace zyfar
