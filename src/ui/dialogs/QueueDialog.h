#pragma once
// The "Queue" dialog (1213): the transfer queue as a list the user sorts,
// resets, deletes from, clears and sends, with its menu (1214) as menu bar
// and as the list's context menu.
//
// The list is a snapshot of the queue file taken when the dialog opens. The
// file is read on a worker and the rows arrive in one posted call, so a
// queue of 10,000 entries never holds up the GUI thread; until then the list
// is empty. Changes made to the file while the dialog is open (a transfer
// that ends, a send pass of another process) are not shown.
//
// Writes go through the core's locked read-modify-write of the file, also on
// workers (one at a time in the order asked). Delete and Clear List remove
// the entries the dialog shows by their content (file names, route and
// servers), never by position, so entries another run added or renumbered
// meanwhile are kept and no entry is brought back. A write that fails is
// said to the user and logged, and the list is read again from the file.
// Send and Send All first let the writes asked before them reach the file,
// so a deleted entry is never sent.
//
// Deleting entries (Delete, Clear List) also removes the partial downloads
// ("<name>.zyfar-part") of the get entries deleted, unless something may
// still continue them (RemoveDeletedPartials): an entry being sent keeps its
// file, since its run places it or queues it again.
//
// Columns: "Id", "Retries", "Status" and "Resume at" sort by their numbers,
// the others by their text without regard to case; every column starts
// descending, so the first click sorts ascending.
#include <QDialog>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "automation/QueueFile.h"
#include "views/ZyfarListModel.h"
#include "views/ZyfarView.h"

class QAction;
class QMenu;
class QMenuBar;
class QPushButton;

namespace zyfar {

class TransferRunStarter;

// The rows of the queue list: one QueueEntry each, in display order.
class QueueListModel final : public ZyfarListModel {
    Q_OBJECT
public:
    // ResumeAt: the byte a resend continues from (empty: it starts over).
    enum Column { Id, Retries, File, RemoteFile, Source, Destination, Reason, Status, ResumeAt, kColumns };

    explicit QueueListModel(QObject* parent = nullptr);

    // Replaces every row (one model reset).
    void SetEntries(std::vector<QueueEntry> entries);
    [[nodiscard]] const std::vector<QueueEntry>& Entries() const { return rows_; }
    [[nodiscard]] const QueueEntry& Entry(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // Every row idle ("IDLE").
    void MarkAllIdle();

    [[nodiscard]] int ColumnCount() const override { return kColumns; }
    [[nodiscard]] QString HeaderText(int column) const override;
    [[nodiscard]] int RowCount() const override { return static_cast<int>(rows_.size()); }
    [[nodiscard]] QString CellText(int row, int column) const override;
    [[nodiscard]] int CompareRows(int a, int b, int column) const override;
    bool SortKeys(int column, std::vector<std::string>& keys) const override;
    void PermuteRecords(const std::vector<int>& newOrder) override;
    void EraseRecords(int first, int count) override;

private:
    std::vector<QueueEntry> rows_;
};

class QueueListView;

class QueueDialog : public QDialog {
    Q_OBJECT
public:
    inline static const QString kTitle = QStringLiteral("Queue");
    // Dialog and menu commands of their own (the list commands use cmd::).
    static constexpr int kSendCommand = 1188;
    static constexpr int kResetCommand = 1207;
    static constexpr int kMsgClearQueue = 33044;
    static constexpr int kMsgNothingToSend = 33054;

    // `starter` opens the transfer windows of a send (the main window's
    // DialogRunStarter); null leaves Send and Send All disabled. `queuePath`
    // empty: the user's queue file.
    explicit QueueDialog(TransferRunStarter* starter, QWidget* parent = nullptr, const std::string& queuePath = {});
    ~QueueDialog() override;

    // File > Queue (1187): the dialog, modal, over `parent`. Answers
    // QDialog::Accepted when Send All started transfers.
    static int Open(QWidget* parent, TransferRunStarter& starter);

    // The controls, for tests and black-box drivers (each also has an
    // accessible name).
    [[nodiscard]] CZyfarView* List() const;
    [[nodiscard]] QueueListModel* Model() const { return model_; }
    [[nodiscard]] QMenu* QueueMenu() const { return menu_; }
    [[nodiscard]] QPushButton* SendAllButton() const { return sendAll_; }

    // The snapshot has arrived (the list shows it).
    [[nodiscard]] bool Loaded() const { return loaded_; }
    // Waits until every write asked so far has reached the file (or failed).
    // The failures are reported when the event loop next runs.
    void WaitForWrites();
    // Writes asked for have not all reached the file yet.
    [[nodiscard]] bool Writing() const;

    // The commands, as the buttons and the menu run them.
    void SendAll();
    void Send();
    void Reset();
    void DeleteSelected();
    void ClearList();
    // Menu 1214: Send, Reset, Delete, Clear List, Grid, Adjust Column Width,
    // Select All, Un-Select All. False for other ids.
    bool HandleCommand(int id);

signals:
    // The rows of the snapshot are in the list.
    void loaded();
    // The Help button: the queue topic.
    void helpRequested();

private:
    struct WriteResult {
        bool written = true;
        std::string error;
        std::string consequence;
    };
    void BuildMenu();
    void StartLoad();
    void OnLoaded(std::vector<QueueEntry> rows);
    void Write(std::function<bool(QueueFile&)> edit, std::string consequence);
    void WriterLoop();
    void OnWriteFailed(const WriteResult& result);
    // -1 when the file could not be read or written, else what the pass answered.
    int RunSendPass();
    void UpdateMenu();

    TransferRunStarter* starter_;
    std::string path_;
    QueueListModel* model_ = nullptr;
    QueueListView* list_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* gridAction_ = nullptr;
    QPushButton* sendAll_ = nullptr;
    QPushButton* clear_ = nullptr;
    bool loaded_ = false;
    bool resetWhileLoading_ = false;

    std::thread loader_;
    // One writer thread, started on the first write: the edits run in the
    // order asked.
    std::thread writer_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::pair<std::function<bool(QueueFile&)>, std::string>> pending_;
    bool writing_ = false;
    bool stopping_ = false;
};

}  // namespace zyfar
