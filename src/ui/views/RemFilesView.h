#pragma once
// The file list of a remote tree: the files of the tree's current folder,
// the list commands (delete, rename, filter, refresh, properties, FTP Get /
// Put and their wildcard forms, Highlight Differences), the double-click and
// the drags out of and onto it. Every server step goes through the tree's
// browsing session; the list only asks its questions first and shows results.
#include <QPointer>

#include "views/FileView.h"

namespace zyfar {

class CRemoteTree;
class ProgressWindow;

class CRemFilesView : public CFileView {
    Q_OBJECT
public:
    explicit CRemFilesView(QWidget* parent = nullptr);
    ~CRemFilesView() override;

    [[nodiscard]] FileListKind Kind() const override { return FileListKind::Remote; }
    [[nodiscard]] CBrowseTree* BrowseTree() const override;
    [[nodiscard]] CRemoteTree* Tree() const { return tree_.data(); }
    // Set by CRemoteTree::SetList.
    void SetTree(CRemoteTree* tree) { tree_ = tree; }

    [[nodiscard]] std::optional<TransferServer> ConnectedServer() const override;

    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

    void Refresh() override;
    void DeleteSelection() override;
    void Rename() override;
    void Properties() override;
    void Filter() override;
    void OnDoubleClick(int row) override;
    void DropOperation(const DropInfo& info) override;
    [[nodiscard]] bool AcceptsUrlDrop() const override;
    void DropUrls(const QStringList& paths, DropAction action) override;

    // FTP Get (1168) / FTP Put (1170) of the selection to the opposite list.
    void FtpGet();
    void FtpPut();
    // The wildcard forms (1169 / 1171).
    void FtpWildcard(bool put);
    // Highlight Differences (1241 / 1242) against the opposite list.
    void HighlightDifferences();
    [[nodiscard]] ProgressWindow* CompareProgress() const { return compareProgress_; }

signals:
    // The comparison ended (its selections are made).
    void ComparisonDone();

private:
    // The selected rows (or `rows`) turned into jobs by the session, then a
    // transfer to a local folder or to another server's folder.
    void TransferRows(const std::vector<int>& rows, CFileView* targetList, const std::optional<TransferServer>& toServer,
                      const std::string& toLocalFolder);
    void MoveRowsTo(const std::vector<int>& rows, const QString& targetFolder);
    [[nodiscard]] bool ReadyForServer() const;
    void FinishComparison();

    QPointer<CRemoteTree> tree_;
    ProgressWindow* compareProgress_;
    bool comparing_ = false;
};

// Local files (from the desktop) into put jobs of regular files, per folder;
// folders among them are left out and counted in `foldersLeft`.
[[nodiscard]] std::vector<CTransferJob> LocalPutJobsOf(const QStringList& paths, int* foldersLeft,
                                                       std::int64_t* batchSize);

}  // namespace zyfar
