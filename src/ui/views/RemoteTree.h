#pragma once
// The folder tree of one FTP server (CRemoteTree) beside its file list
// (CRemFilesView). The tree owns a browsing session for its whole life; the
// session does every network step on its own worker, one at a time, and the
// tree only posts the results to the GUI thread and shows them. While a
// request runs, the tree and its list show the wait cursor, a second request
// is refused (with a status text, never a message box), and an operation
// that takes longer than a moment shows the progress window with Cancel.
// The connect always shows it, with the connect's status texts.
//
// Items: the host item (theme "network-server") on top; every other item is
// a folder whose full path is its PathRole (as shown: names escaped) and
// kBytesRole (the server's exact bytes). A click on a folder lists it.
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>

#include "engine/BrowseSession.h"
#include "views/FileView.h"

class QStandardItem;

namespace zyfar {

class CRemFilesView;
class ProgressWindow;

class CRemoteTree : public CBrowseTree {
    Q_OBJECT
public:
    // An item's folder path as the server's bytes.
    static constexpr int kBytesRole = Qt::UserRole + 2;
    // What an item is: the host, a folder, a link folder, the placeholder of a collapsed folder.
    static constexpr int kItemKindRole = Qt::UserRole + 3;
    enum ItemKind { HostItem = 1, FolderItem, LinkFolderItem, PlaceholderItem };

    using Done = std::function<void(const BrowseResult& result)>;

    explicit CRemoteTree(QWidget* parent = nullptr);
    ~CRemoteTree() override;

    [[nodiscard]] FileListKind Kind() const override { return FileListKind::Remote; }
    // Ties a list to this tree (and the list back to the tree).
    void SetList(CZyfarView* list) override;
    [[nodiscard]] CRemFilesView* Files() const;

    // --- connecting ---
    // Connects with a site profile file (section "Settings"). Asks 247 first
    // when a connection is open. False when nothing was started.
    bool ConnectWithProfile(const QString& profileFile);
    // Last Connection (1175): 247 when connected, the FTP Site dialog filled
    // from the Quick keys, then the connect.
    void QuickConnect();
    // Connects to a site (no question). False when it could not start.
    bool ConnectTo(const BrowseSite& site);
    // Disconnect (1176): empties the tree and the list.
    void Disconnect();
    [[nodiscard]] bool Connected() const;
    // The connected server with the current folder.
    [[nodiscard]] std::optional<TransferServer> ConnectedServer() const override;
    // The connected server with the folder of an item path (ItemPath) instead.
    [[nodiscard]] std::optional<TransferServer> ServerForFolder(const QString& itemPath) const override;
    // The server bytes of an item path of this tree (the path itself when no item has it).
    [[nodiscard]] std::string PathBytesOf(const QString& itemPath) const;

    // --- the current folder ---
    [[nodiscard]] const std::string& CurrentPath() const { return currentPath_; }
    [[nodiscard]] char Separator() const;
    [[nodiscard]] const std::string& Mask() const { return mask_; }
    void SetMask(const std::string& mask) { mask_ = mask; }
    // Lists the current folder again into the list.
    void Refresh() override;
    // The same; `done` gets whether the listing worked (not called when refused).
    bool RefreshThen(std::function<void(bool ok)> done);

    // --- requests ---
    // Submits an operation; `done` runs on the GUI thread with its result
    // (after the listing of a thenList went into the list), then the
    // result's messages are shown. False when refused (busy, not connected).
    bool Run(BrowseOperation operation, Done done, const QString& waitText = QString());
    [[nodiscard]] bool Busy() const { return !pending_.empty(); }
    // Cancels the running request (the session stays).
    void CancelOperation();
    [[nodiscard]] ProgressWindow* Progress() const { return progress_; }
    // The listing of a result into the list (and its folders under `item`).
    void ShowListing(const BrowseListing& listing, QStandardItem* item);

    // --- tree commands ---
    void NewFolder();      // 1152
    void StartRename();    // 1124: edit the current item's label
    void DeleteFolder();   // 1123
    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

    void OnCurrentItemChanged(const QModelIndex& index) override;
    void NewItem() override { NewFolder(); }
    void DeleteItem() override { DeleteFolder(); }
    void RenameItem() override { StartRename(); }
    void DropOperation(const DropInfo& info) override;
    [[nodiscard]] bool AcceptsUrlDrop() const override { return Connected(); }
    void DropUrls(const QStringList& paths, DropAction action, const QString& targetFolder) override;

    // The item whose files the list shows.
    [[nodiscard]] QModelIndex ShownItem() const { return shownItem_; }
    // Milliseconds before a running request shows the progress window.
    void SetProgressDelay(int ms) { progressDelay_ = ms; }
    // The connect's pause after its last status (the connecting window reads it).
    void SetConnectPause(std::chrono::milliseconds pause) { connectPause_ = pause; }

signals:
    void BusyChanged(bool busy);
    // A short note for the status bar (a refused command, a reconnect).
    void StatusMessage(const QString& text);
    void ConnectionChanged(bool connected);
    // Every result handled (tests, the comparison).
    void ResultHandled(quint64 id, bool ok);

private:
    void OnResult(BrowseResult result);
    void PostStatus(const std::string& text);
    void FlushStatus();
    void SetBusyLook(bool busy);
    void Refused(const FtpResult& result);
    void OnConnected(const BrowseResult& result);
    void BuildTree(const BrowseResult& result);
    void ClearViews();
    void SelectQuietly(const QModelIndex& index);
    void ListItem(QStandardItem* item, bool intoTree);
    void OnLabelEdited(QStandardItem* item);
    void OnExpanded(const QModelIndex& index);
    void AddFolderItems(QStandardItem* parent, const BrowseListing& listing);
    [[nodiscard]] QStandardItem* ItemOf(const QModelIndex& index) const;
    void ShowMessages(const BrowseResult& result);

    std::unique_ptr<BrowseSession> session_;
    QPointer<CRemFilesView> files_;
    ProgressWindow* progress_;
    std::map<quint64, Done> pending_;
    quint64 connectId_ = 0;
    std::string currentPath_;
    std::string mask_;
    QPersistentModelIndex shownItem_;
    QPersistentModelIndex editing_;
    QString editingOld_;
    bool quiet_ = false;
    int progressDelay_ = 800;
    std::chrono::milliseconds connectPause_{750};
    QTimer progressTimer_;
    QString waitText_;

    // Status texts from the connect worker: the newest one, one post per burst.
    std::mutex statusMutex_;
    std::string statusText_;
    bool statusPosted_ = false;
};

}  // namespace zyfar
