#include "dialogs/QueueDialog.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <utility>

#include "automation/QueueSend.h"
#include "dialogs/Prompter.h"
#include "config/HelpWindow.h"

namespace zyfar {

// ---------------------------------------------------------------- the rows

namespace {

// Deleting more runs of adjacent rows than this rebuilds the list at once.
constexpr int kRemoveRunsLimit = 64;

// The widths of the columns when the dialog opens.
constexpr int kColumnWidths[QueueListModel::kColumns] = {60, 60, 100, 100, 100, 100, 100, 80, 80};

// A text's sort key: folded to lower case, so byte order is the order
// without regard to case.
std::string Folded(const std::string& text) {
    std::string key(text);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// A number's sort key: big-endian with the sign bit flipped, so byte order is
// numeric order.
std::string NumberKey(std::int64_t value) {
    const auto v = static_cast<std::uint64_t>(value) ^ 0x8000000000000000u;
    std::string key(8, '\0');
    for (int i = 0; i < 8; ++i) key[static_cast<std::size_t>(i)] = static_cast<char>(v >> (56 - 8 * i));
    return key;
}

// Where a resend continues: the entry's ResumeOffset when it will be used
// (all three resume keys readable), else 0.
std::int64_t ResumeAtOf(const QueueEntry& e) { return QueueResumeOf(e).offset; }

const std::string& TextOf(const QueueEntry& e, int column) {
    switch (column) {
    case QueueListModel::File: return e.localName;
    case QueueListModel::RemoteFile: return e.remoteName;
    case QueueListModel::Source: return e.source;
    case QueueListModel::Destination: return e.destination;
    default: return e.reason;
    }
}

// The number a numeric column sorts by.
std::int64_t NumberOf(const QueueEntry& e, int column) {
    switch (column) {
    case QueueListModel::Id: return e.number;
    case QueueListModel::Retries: return e.numTimes;
    case QueueListModel::ResumeAt: return ResumeAtOf(e);
    default: return e.status;
    }
}

bool IsNumeric(int column) {
    return column == QueueListModel::Id || column == QueueListModel::Retries || column == QueueListModel::Status ||
           column == QueueListModel::ResumeAt;
}

}  // namespace

QueueListModel::QueueListModel(QObject* parent) : ZyfarListModel(parent) {}

void QueueListModel::SetEntries(std::vector<QueueEntry> entries) {
    BeginReset();
    rows_ = std::move(entries);
    EndReset();
}

void QueueListModel::MarkAllIdle() {
    for (QueueEntry& e : rows_) e.status = 0;
    if (!rows_.empty()) emit dataChanged(index(0, Status), index(RowCount() - 1, Status));
}

QString QueueListModel::HeaderText(int column) const {
    static const char* const kHeaders[kColumns] = {"Id",     "Retries",     "File",   "Remote File Name",
                                                   "Source", "Destination", "Reason", "Status",
                                                   "Resume at"};
    return column >= 0 && column < kColumns ? QString::fromLatin1(kHeaders[column]) : QString();
}

QString QueueListModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const QueueEntry& e = Entry(row);
    switch (column) {
    case Id: return QString::number(e.number);
    case Retries: return QString::number(e.numTimes);
    case Status: return QString::fromLatin1(e.StatusText());
    case ResumeAt: {
        const std::int64_t at = ResumeAtOf(e);
        return at > 0 ? QString::number(at) : QString();
    }
    case File:
    case RemoteFile:
    case Source:
    case Destination:
    case Reason: return QString::fromStdString(TextOf(e, column));
    default: return {};
    }
}

int QueueListModel::CompareRows(int a, int b, int column) const {
    const QueueEntry& x = Entry(a);
    const QueueEntry& y = Entry(b);
    if (IsNumeric(column)) {
        const std::int64_t p = NumberOf(x, column), q = NumberOf(y, column);
        return p < q ? -1 : (q < p ? 1 : 0);
    }
    return Folded(TextOf(x, column)).compare(Folded(TextOf(y, column)));
}

bool QueueListModel::SortKeys(int column, std::vector<std::string>& keys) const {
    if (column < 0 || column >= kColumns) return false;
    keys.clear();
    keys.reserve(rows_.size());
    for (const QueueEntry& e : rows_) keys.push_back(IsNumeric(column) ? NumberKey(NumberOf(e, column)) : Folded(TextOf(e, column)));
    return true;
}

void QueueListModel::PermuteRecords(const std::vector<int>& newOrder) {
    std::vector<QueueEntry> sorted;
    sorted.reserve(newOrder.size());
    for (int old : newOrder) sorted.push_back(std::move(rows_[static_cast<std::size_t>(old)]));
    rows_ = std::move(sorted);
}

void QueueListModel::EraseRecords(int first, int count) {
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
}

// ---------------------------------------------------------------- the list

// The dialog's list: Delete and Clear List are the dialog's (they rewrite
// the queue file); rows are not dragged anywhere and nothing is dropped on it.
class QueueListView final : public CZyfarView {
public:
    QueueListView(QueueDialog* dialog, QWidget* parent) : CZyfarView(parent), dialog_(dialog) {}
    bool ClearList() override {
        dialog_->ClearList();
        return true;
    }
    void DeleteSelection() override { dialog_->DeleteSelected(); }
    [[nodiscard]] bool CanBeginDrag() const override { return false; }
    [[nodiscard]] bool AcceptsDrops() const override { return false; }

private:
    QueueDialog* dialog_;
};

// ---------------------------------------------------------------- the dialog

QueueDialog::QueueDialog(TransferRunStarter* starter, QWidget* parent, const std::string& queuePath)
    : QDialog(parent), starter_(starter), path_(queuePath.empty() ? QueueFile().path() : queuePath) {
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    setSizeGripEnabled(true);

    model_ = new QueueListModel(this);
    list_ = new QueueListView(this, this);
    list_->SetModel(model_);
    list_->SetAccessibleName(QStringLiteral("Queue entries"));
    QHeaderView* header = list_->ReportView()->header();
    header->setSectionsMovable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < QueueListModel::kColumns; ++c) list_->SetColumnWidth(c, kColumnWidths[c]);

    BuildMenu();

    auto button = [this](const QString& text, const QString& name) {
        auto* b = new QPushButton(text, this);
        b->setAccessibleName(name);
        b->setAutoDefault(false);
        return b;
    };
    sendAll_ = button(QStringLiteral("Send All"), QStringLiteral("Send All"));
    sendAll_->setDefault(true);
    clear_ = button(QStringLiteral("Clear List"), QStringLiteral("Clear List"));
    auto* cancel = button(QStringLiteral("Cancel"), QStringLiteral("Cancel"));
    auto* help = button(QStringLiteral("Help"), QStringLiteral("Help"));
    sendAll_->setEnabled(starter_ != nullptr);
    connect(sendAll_, &QPushButton::clicked, this, &QueueDialog::SendAll);
    connect(clear_, &QPushButton::clicked, this, &QueueDialog::ClearList);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, &QueueDialog::helpRequested);
    InstallHelpKey(this, help);

    // The list fills the dialog less a 10-pixel margin; the buttons sit in a
    // centred row in a 50-pixel strip at the bottom.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {sendAll_, clear_, cancel, help}) buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(list_, 1);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    resize(760, 420);

    StartLoad();
}

QueueDialog::~QueueDialog() {
    if (loader_.joinable()) loader_.join();
    // The writes asked for still reach the file; the writer never waits for
    // this thread, so joining it cannot hang.
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable()) writer_.join();
}

int QueueDialog::Open(QWidget* parent, TransferRunStarter& starter) {
    QueueDialog dialog(&starter, parent);
    return dialog.exec();
}

CZyfarView* QueueDialog::List() const { return list_; }

void QueueDialog::BuildMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setAccessibleName(QStringLiteral("Queue menu bar"));
    menu_ = menuBar_->addMenu(QStringLiteral("&Queue"));
    menu_->setAccessibleName(QStringLiteral("Queue menu"));
    auto add = [this](int id, const QString& text) {
        QAction* a = menu_->addAction(text);
        a->setData(id);
        a->setObjectName(QStringLiteral("cmd%1").arg(id));
        QString plain = text;
        a->setStatusTip(plain.remove(QLatin1Char('&')));
        connect(a, &QAction::triggered, this, [this, id] { HandleCommand(id); });
        return a;
    };
    add(kSendCommand, QStringLiteral("&Send"))->setEnabled(starter_ != nullptr);
    add(kResetCommand, QStringLiteral("&Reset"));
    add(cmd::Delete, QStringLiteral("&Delete"));
    add(cmd::ClearList, QStringLiteral("&Clear List"));
    menu_->addSeparator();
    gridAction_ = add(cmd::Grid, QStringLiteral("&Grid"));
    gridAction_->setCheckable(true);
    add(cmd::AdjustColumns, QStringLiteral("Adjust Column &Width"));
    menu_->addSeparator();
    add(cmd::SelectAll, QStringLiteral("Select &All"));
    add(cmd::UnselectAll, QStringLiteral("&Un-Select All"));
    connect(menu_, &QMenu::aboutToShow, this, &QueueDialog::UpdateMenu);
    list_->SetContextMenu(menu_);
}

void QueueDialog::UpdateMenu() { gridAction_->setChecked(list_->GridLines()); }

bool QueueDialog::HandleCommand(int id) {
    switch (id) {
    case kSendCommand: Send(); return true;
    case kResetCommand: Reset(); return true;
    case cmd::Delete: DeleteSelected(); return true;
    case cmd::ClearList: ClearList(); return true;
    case cmd::Grid:
    case cmd::AdjustColumns:
    case cmd::SelectAll:
    case cmd::UnselectAll:
        list_->HandleCommand(id);
        UpdateMenu();
        return true;
    default: return false;
    }
}

// ---------------------------------------------------------------- loading

void QueueDialog::StartLoad() {
    if (loader_.joinable()) loader_.join();
    loaded_ = false;
    // The loader only reads the file and posts its rows; it never waits for
    // the GUI thread, and the destructor joins it before the posted call
    // could outlive this dialog (Qt drops calls posted to a deleted object).
    loader_ = std::thread([this, path = path_] {
        std::vector<QueueEntry> rows = QueueFile(path).LoadRows();
        QMetaObject::invokeMethod(this, [this, rows = std::move(rows)]() mutable { OnLoaded(std::move(rows)); },
                                  Qt::QueuedConnection);
    });
}

void QueueDialog::OnLoaded(std::vector<QueueEntry> rows) {
    if (loader_.joinable()) loader_.join();  // it has posted its last act
    if (resetWhileLoading_)
        for (QueueEntry& e : rows) e.status = 0;
    resetWhileLoading_ = false;
    model_->SetEntries(std::move(rows));
    list_->ResetSortState();
    loaded_ = true;
    emit loaded();
}

// ---------------------------------------------------------------- writing

void QueueDialog::Write(std::function<bool(QueueFile&)> edit, std::string consequence) {
    {
        std::lock_guard lock(mutex_);
        pending_.emplace_back(std::move(edit), std::move(consequence));
        if (!writer_.joinable()) writer_ = std::thread([this] { WriterLoop(); });
    }
    wake_.notify_all();
}

void QueueDialog::WriterLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) return;  // stopping, nothing left
        auto [edit, consequence] = std::move(pending_.front());
        pending_.pop_front();
        writing_ = true;
        lock.unlock();
        QueueFile file(path_);
        WriteResult result;
        result.written = edit(file);
        result.error = file.lastError();
        result.consequence = std::move(consequence);
        if (!result.written) {
            // Logged here, so that it is on record even when the dialog has
            // closed before the GUI thread tells the user.
            ReportQueueWriteFailure(path_, result.error, {}, result.consequence, false);
            QMetaObject::invokeMethod(this, [this, result] { OnWriteFailed(result); }, Qt::QueuedConnection);
        }
        lock.lock();
        writing_ = false;
        idle_.notify_all();
    }
}

void QueueDialog::WaitForWrites() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_.empty() && !writing_; });
}

bool QueueDialog::Writing() const {
    std::lock_guard lock(mutex_);
    return writing_ || !pending_.empty();
}

void QueueDialog::OnWriteFailed(const WriteResult& result) {
    (void)AskText(this,
                  QStringLiteral("The transfer queue file %1 could not be written (%2). %3")
                      .arg(QString::fromStdString(path_), QString::fromStdString(result.error),
                           QString::fromStdString(result.consequence)),
                  MessageKind::Stop, MessageButtons::Ok);
    // The list no longer shows the file: show what it holds.
    WaitForWrites();
    StartLoad();
}

// ---------------------------------------------------------------- commands

int QueueDialog::RunSendPass() {
    if (starter_ == nullptr) return 0;
    WaitForWrites();  // a row deleted a moment ago must not be sent
    return RunQueueSendPass(*starter_, path_);
}

void QueueDialog::SendAll() {
    if (starter_ == nullptr) return;
    const int result = RunSendPass();
    if (result == 1) {
        accept();
        return;
    }
    // A file that could not be read or written has been reported by the pass.
    if (result == 0) (void)AskMessage(this, kMsgNothingToSend, MessageKind::Information, MessageButtons::Ok);
}

void QueueDialog::Send() {
    if (starter_ == nullptr) return;
    if (RunSendPass() == 0) (void)AskMessage(this, kMsgNothingToSend, MessageKind::Information, MessageButtons::Ok);
}

void QueueDialog::Reset() {
    Write([](QueueFile& file) { return file.ResetAll(); }, "The queue entries were not reset.");
    if (!loaded_) resetWhileLoading_ = true;
    model_->MarkAllIdle();
}

void QueueDialog::DeleteSelected() {
    const std::vector<int> selected = list_->SelectedRows();
    if (selected.empty()) return;
    std::vector<QueueEntry> deleted;
    deleted.reserve(selected.size());
    for (int row : selected) deleted.push_back(model_->Entry(row));
    // A few runs of rows go as remove notifications (the list keeps its
    // scroll position); a scattered selection, thousands of runs, as one
    // reset with the rows left, so deleting every other row of 10,000 is
    // one step instead of 5,000.
    int runs = 0;
    for (std::size_t i = 0; i < selected.size(); ++i) runs += i == 0 || selected[i] != selected[i - 1] + 1 ? 1 : 0;
    if (runs <= kRemoveRunsLimit) {
        model_->RemoveRowsAt(selected);
    } else {
        std::vector<QueueEntry> left;
        left.reserve(static_cast<std::size_t>(model_->RowCount()) - selected.size());
        std::size_t next = 0;
        for (int row = 0; row < model_->RowCount(); ++row) {
            if (next < selected.size() && selected[next] == row) {
                ++next;
                continue;
            }
            left.push_back(model_->Entry(row));
        }
        model_->SetEntries(std::move(left));
    }
    Write([remaining = model_->Entries(), deleted = std::move(deleted)](QueueFile& file) {
        if (!file.DeleteRows(remaining, deleted)) return false;
        // Nothing continues the partial downloads of deleted get entries any more.
        (void)RemoveDeletedPartials(deleted, file.LoadRows());
        return true;
    }, "The entries were not deleted.");
}

void QueueDialog::ClearList() {
    if (model_->RowCount() == 0) return;
    if (AskMessage(this, kMsgClearQueue, MessageKind::Question, MessageButtons::YesNo) != MessageAnswer::Yes) return;
    std::vector<QueueEntry> shown = model_->Entries();
    model_->RemoveAllRows();
    list_->ResetSortState();
    Write([shown = std::move(shown)](QueueFile& file) {
        if (!file.ClearRows(shown)) return false;
        (void)RemoveDeletedPartials(shown, file.LoadRows());
        return true;
    }, "The queue was not cleared.");
}

}  // namespace zyfar
