#pragma once
// The local file list: the files of the folder the drive tree selected,
// filtered by a mask ("*.*" to start with). Folders are the tree's; the
// list shows the folder's other entries (files and links to them, and the
// odd device or pipe, which no command sends anywhere).
//
// Its commands: Execute (an "EXT" program, else the desktop opens the file),
// Open (the desktop's application for the file), Rename, Delete, Refresh,
// Filter, Properties, FTP Put and the wildcard put, and Send to the right
// side (a signal the screen wires to its files view or queue). Rows dragged
// onto another local folder are moved or copied there; onto a connected
// remote list or tree they are put; dragged out to the desktop they carry
// file URLs. Files dropped from the desktop are moved or copied into the
// shown folder.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "engine/TransferRun.h"
#include "profiles/FileList.h"
#include "views/FileView.h"

class QMimeData;

namespace zyfar {

class CDriveTree;

// One local file by its folder and name (bytes as the disk gave them).
struct LocalFileRef {
    std::string folder;
    std::string name;
};

// A local path (bytes) as a QString and back, losslessly for any bytes.
[[nodiscard]] QString LocalPathText(const std::string& path);
[[nodiscard]] std::string LocalPathBytes(const QString& path);

// Moves or copies files into `targetFolder`, asking through the Prompter:
// a failure shows its message (173, 347, 180, 182, ...); a copy onto an
// existing file asks 349 (Yes/No) once for that file, and Yes copies again
// over it. Files already in the target folder are left alone. Answers, per
// file, whether it now is in the target folder by this call.
[[nodiscard]] std::vector<bool> MoveOrCopyLocalFiles(QWidget* parent, const std::vector<LocalFileRef>& files,
                                                     const std::string& targetFolder, bool copy);

// Copy for a drop with Ctrl held; otherwise what CONFIG DragDrop says.
[[nodiscard]] bool DropCopies(DropAction action);

class CDirView : public CFileView {
    Q_OBJECT
public:
    explicit CDirView(QWidget* parent = nullptr);

    [[nodiscard]] FileListKind Kind() const override { return FileListKind::Local; }
    [[nodiscard]] CBrowseTree* BrowseTree() const override;
    // The drive tree beside the list (CDriveTree::SetDirView sets both sides).
    void SetTree(CDriveTree* tree);

    // Lists `folder` with the mask. A folder that cannot be read empties the
    // list, keeps the folder as the shown one, and shows why (a message, and
    // ListError() until the next listing). True when it was read.
    bool ListFolder(const std::string& folder);
    [[nodiscard]] const QString& ListError() const { return listError_; }
    // Lists the shown folder again, keeping the selected names selected.
    void Refresh() override;

    // --- commands ---
    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;
    void Rename() override;
    void DeleteSelection() override;
    void Filter() override;
    void Properties() override;
    void OnDoubleClick(int row) override;
    void Execute();
    void OpenFiles();
    void FtpPut();
    void FtpPutWildcard();
    void SendToRight();
    void SendWildcardToRight();

    // The put run FTP Put starts for `rows` towards `target` (a remote list
    // or tree side whose server is `server`): one job per row that still is
    // a file, cased by CONFIG FileCasingPut. Null when no row is a file.
    [[nodiscard]] std::unique_ptr<TransferRun> MakePutRun(const std::vector<int>& rows, const TransferServer& server,
                                                          const std::shared_ptr<TransferViewLink>& targetLink);
    // The rows as file-list items (folder, name, remote name, size, time).
    [[nodiscard]] std::vector<FileListItem> ItemsOf(const std::vector<int>& rows) const;

    // --- drag and drop ---
    void DropOperation(const DropInfo& info) override;
    [[nodiscard]] bool AcceptsUrlDrop() const override { return true; }
    void DropUrls(const QStringList& paths, DropAction action) override;
    void AddDragUrls(const std::vector<int>& rows, QMimeData* mime) const override;

signals:
    // Send to the right side (1132, 1135, or FTP Put when the opposite list
    // is not a remote list): the screen gives the files to its files view or
    // its queue.
    void sendToRight(const std::vector<zyfar::FileListItem>& items);
    // Rows dropped on a list that is not a file list (the files view of the
    // multiple-site put or file-list window): that list takes the items.
    void droppedOnList(zyfar::CZyfarView* target, const std::vector<zyfar::FileListItem>& items);
    // A file of the list was renamed on the disk (the multiple-site put
    // files view renames its row for the same file).
    void fileRenamed(const QString& folder, const QString& oldName, const QString& newName);

private:
    // Selects the rows of the shown folder matching a mask asked with the
    // given title and prompt; false (after 281, or when cancelled) when none.
    bool SelectByAskedMask(int title, int prompt);
    void PutRows(const std::vector<int>& rows, CFileView* remoteList, const TransferServer& server);
    [[nodiscard]] std::vector<LocalFileRef> RefsOf(const std::vector<int>& rows) const;
    [[nodiscard]] std::vector<LocalEntry> EntriesOf(const std::vector<int>& rows) const;

    QPointer<CBrowseTree> tree_;
    QString listError_;
};

}  // namespace zyfar
