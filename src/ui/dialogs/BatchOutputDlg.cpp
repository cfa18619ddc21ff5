#include "dialogs/BatchOutputDlg.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QTreeView>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "automation/ScriptRunner.h"
#include "config/HelpWindow.h"
#include "dialogs/Prompter.h"
#include "platform/WorkerControl.h"

namespace zyfar {
namespace {

constexpr int kMsgStop = 33034;          // "Stop"
constexpr int kMsgResume = 33035;        // "Resume"
constexpr int kMsgCancelSending = 207;   // "Cancel FTP sending?"
constexpr std::size_t kLinesPerFlush = 5000;

// The windows open now (GUI thread only).
QList<BatchOutputDlg*>& OpenDialogs() {
    static QList<BatchOutputDlg*> dialogs;
    return dialogs;
}

// Knows when the application is quitting: quitting closes every window
// (QApplication::closeAllWindows while the Quit event is handled), and a
// batch window must then let its run go instead of asking 207, or the quit
// would be refused and the program would stay without a window.
class QuitWatcher final : public QObject {
public:
    using QObject::QObject;
    static bool Quitting() { return quitting_; }
    static void Install() {
        static QuitWatcher* watcher = [] {
            auto* w = new QuitWatcher(QCoreApplication::instance());
            QCoreApplication::instance()->installEventFilter(w);
            return w;
        }();
        (void)watcher;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
            quitting_ = true;
            // A quit another window refused is over once this event is.
            QTimer::singleShot(0, this, [] { quitting_ = false; });
        }
        return false;
    }

private:
    static inline bool quitting_ = false;
};

}  // namespace

// A "message" line the worker waits for. The worker and the GUI thread share
// it, so either side may give up first.
struct BatchMessage {
    QString text;
    CancellableEvent answered;
    std::atomic<bool> abandoned{false};  // the worker stopped waiting
    QPointer<QDialog> box;               // GUI thread only: the open box
};

// The output lines, one row each.
class BatchLinesModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rows_.size()) return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
            return rows_[index.row()];
        return {};
    }
    void Append(const std::string* lines, std::size_t count) {
        const int first = static_cast<int>(rows_.size());
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(count) - 1);
        for (std::size_t i = 0; i < count; ++i) rows_.append(QString::fromStdString(lines[i]));
        endInsertRows();
    }
    [[nodiscard]] const QStringList& Rows() const { return rows_; }

private:
    QStringList rows_;
};

// The run's output and host, called on the worker. It only queues and posts:
// the window outlives its worker (it is deleted only after the run ended), so
// `dialog_` is valid in every call; `closed_` stops posted calls that arrive
// while the window is being destroyed.
class BatchOutputBridge final : public ScriptOutput, public ScriptHost {
public:
    explicit BatchOutputBridge(BatchOutputDlg* dialog) : dialog_(dialog) {}

    void AddLine(const std::string& line) override {
        bool post = false;
        {
            std::lock_guard guard(mutex_);
            pending_.push_back(line);
            post = !posted_;
            posted_ = true;
        }
        if (post) QMetaObject::invokeMethod(dialog_, &BatchOutputDlg::FlushPending, Qt::QueuedConnection);
    }

    void ShowMessage(const std::string& text) override {
        auto message = std::make_shared<BatchMessage>();
        message->text = QString::fromStdString(text);
        // Ends the wait also when the call is dropped without running: the
        // last copy of the call releases it.
        std::shared_ptr<void> release(nullptr, [message](void*) { message->answered.Set(); });
        BatchOutputDlg* dialog = dialog_;
        QMetaObject::invokeMethod(
            dialog_,
            [this, dialog, message, release] {
                if (!message->abandoned.load() && !closed_.load()) dialog->ShowScriptMessage(message);
                message->answered.Set();
            },
            Qt::QueuedConnection);
        release.reset();  // from here only the queued call holds it
        if (!message->answered.Wait(CurrentWorkerControl())) {
            // Cancelled: the run goes on to its end without an answer; the box goes away.
            message->abandoned.store(true);
            QMetaObject::invokeMethod(
                dialog_,
                [message] {
                    if (message->box) message->box->reject();
                },
                Qt::QueuedConnection);
        }
    }

    void Beep() override {
        QMetaObject::invokeMethod(dialog_, [] { QApplication::beep(); }, Qt::QueuedConnection);
    }

    // GUI thread: every line written since the last call.
    std::vector<std::string> Take() {
        std::lock_guard guard(mutex_);
        std::vector<std::string> lines;
        lines.swap(pending_);
        posted_ = false;
        return lines;
    }

    void Close() { closed_.store(true); }
    [[nodiscard]] bool Closed() const { return closed_.load(); }

private:
    BatchOutputDlg* const dialog_;
    std::mutex mutex_;
    std::vector<std::string> pending_;
    bool posted_ = false;
    std::atomic<bool> closed_{false};
};

BatchOutputDlg* BatchOutputDlg::RunScript(const QString& scriptPath, FinishedFn onFinished) {
    auto* dialog = new BatchOutputDlg(scriptPath, std::move(onFinished));
    dialog->show();
    dialog->Start();
    return dialog;
}

BatchOutputDlg::BatchOutputDlg(const QString& scriptPath, FinishedFn onFinished)
    : QDialog(nullptr), scriptPath_(scriptPath), onFinished_(std::move(onFinished)) {
    setWindowTitle(tr("Zyfar Batch File Dialog"));
    setAccessibleName(windowTitle());
    setModal(false);
    QuitWatcher::Install();
    BuildUi();
    bridge_ = std::make_shared<BatchOutputBridge>(this);
    runner_ = std::make_unique<ScriptRunner>(scriptPath_.toStdString(), *bridge_, *bridge_, nullptr,
                                             [this](const ScriptRunResult&) {
                                                 QMetaObject::invokeMethod(this, &BatchOutputDlg::OnRunFinished,
                                                                           Qt::QueuedConnection);
                                             });
    OpenDialogs().append(this);
}

BatchOutputDlg::~BatchOutputDlg() {
    OpenDialogs().removeAll(this);
    bridge_->Close();
    if (runner_) {
        // Only when deleted with its run going (a test, or a shutdown that
        // skipped CancelAll): the run is cancelled and waited for.
        if (runner_->state() != ScriptRunner::State::Finished) runner_->Cancel();
        runner_->Wait();
    }
    runner_.reset();
}

void BatchOutputDlg::BuildUi() {
    // The list keeps 10 units from the edges above a strip with the two
    // buttons centred.
    model_ = new BatchLinesModel(this);
    list_ = new QTreeView(this);
    list_->setModel(model_);
    list_->setUniformRowHeights(true);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setHeaderHidden(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setAccessibleName(tr("Batch Output"));

    stop_ = new QPushButton(MessageString(kMsgStop), this);
    stop_->setAccessibleName(tr("Stop or Resume"));
    stop_->setAutoDefault(false);
    cancel_ = new QPushButton(tr("Cancel"), this);
    cancel_->setAccessibleName(tr("Cancel"));
    cancel_->setAutoDefault(false);
    connect(stop_, &QPushButton::clicked, this, &BatchOutputDlg::StopClicked);
    connect(cancel_, &QPushButton::clicked, this, &BatchOutputDlg::CancelClicked);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(stop_);
    buttons->addSpacing(20);
    buttons->addWidget(cancel_);
    buttons->addWidget(MakeHelpButton(this, QStringLiteral("scripts")));
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(list_, 1);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(520, 360);
}

void BatchOutputDlg::Start() {
    if (runner_) runner_->Start();
}

int BatchOutputDlg::State() const {
    if (finished_) return 3;
    return static_cast<int>(runner_->state());
}

std::optional<ScriptRunResult> BatchOutputDlg::Result() const { return runner_->Result(); }

QStringList BatchOutputDlg::Lines() const { return model_->Rows(); }

int BatchOutputDlg::LineCount() const { return model_->rowCount(); }

int BatchOutputDlg::OpenCount() { return static_cast<int>(OpenDialogs().size()); }

void BatchOutputDlg::FlushPending() {
    if (bridge_->Closed()) return;
    std::vector<std::string> taken = bridge_->Take();
    if (!taken.empty()) {
        if (backlog_.empty()) {
            backlog_.swap(taken);
        } else {
            backlog_.insert(backlog_.end(), std::make_move_iterator(taken.begin()),
                            std::make_move_iterator(taken.end()));
        }
    }
    if (backlogNext_ >= backlog_.size()) return;
    // At most kLinesPerFlush lines at a time, so that a fast run never holds
    // the GUI thread long; the rest follows in the next turn of the loop.
    const std::size_t end = std::min(backlog_.size(), backlogNext_ + kLinesPerFlush);
    ++flushes_;
    model_->Append(backlog_.data() + backlogNext_, end - backlogNext_);
    list_->scrollToBottom();
    backlogNext_ = end;
    if (backlogNext_ < backlog_.size()) {
        QMetaObject::invokeMethod(this, &BatchOutputDlg::FlushPending, Qt::QueuedConnection);
    } else {
        backlog_.clear();
        backlogNext_ = 0;
    }
}

void BatchOutputDlg::StopClicked() {
    if (finished_) return;
    switch (runner_->state()) {
        case ScriptRunner::State::Running:
            runner_->Stop();
            stop_->setText(MessageString(kMsgResume));
            break;
        case ScriptRunner::State::Suspended:
            runner_->Resume();
            stop_->setText(MessageString(kMsgStop));
            break;
        case ScriptRunner::State::Finished: break;
    }
}

void BatchOutputDlg::CancelClicked() {
    if (asking_ || closing_) return;
    if (finished_ || runner_->state() == ScriptRunner::State::Finished) {
        closing_ = true;
        hide();
        DeleteWhenDone();
        return;
    }
    // The run waits while the user decides; a run the user had stopped
    // stays stopped when the answer is No.
    const bool wasRunning = runner_->state() == ScriptRunner::State::Running;
    if (wasRunning) runner_->Stop();
    asking_ = true;
    const QPointer<BatchOutputDlg> self(this);
    const MessageAnswer answer = AskMessage(this, kMsgCancelSending, MessageKind::Question, MessageButtons::YesNo);
    if (!self) return;
    asking_ = false;
    if (answer == MessageAnswer::Yes) {
        CancelAndClose();
        return;
    }
    if (wasRunning) runner_->Resume();
    DeleteWhenDone();  // closed meanwhile (shutdown)
}

void BatchOutputDlg::reject() { CancelClicked(); }

void BatchOutputDlg::closeEvent(QCloseEvent* event) {
    if (deleting_) {
        event->accept();
        return;
    }
    if (QuitWatcher::Quitting()) {
        // The program ends: the run is cancelled without a question (its
        // sessions are still closed and logged) and CancelAll waits for it.
        closing_ = true;
        if (!finished_) runner_->Cancel();
        event->accept();
        return;
    }
    event->ignore();
    if (finished_) {
        closing_ = true;
        hide();
        DeleteWhenDone();
    } else if (messageDepth_ > 0 || asking_) {
        // Nobody answers the box once its window is gone: the run ends.
        CancelAndClose();
    } else {
        CancelClicked();
    }
}

void BatchOutputDlg::CancelAndClose() {
    closing_ = true;
    if (!finished_) runner_->Cancel();
    hide();
    DeleteWhenDone();
}

void BatchOutputDlg::DeleteWhenDone() {
    if (!closing_ || deleting_ || !finished_ || messageDepth_ > 0 || asking_) return;
    deleting_ = true;
    deleteLater();
}

void BatchOutputDlg::ShowScriptMessage(const std::shared_ptr<BatchMessage>& message) {
    ++messageDepth_;
    const QPointer<BatchOutputDlg> self(this);
    (void)Prompt().Message(this, MessageRequest{0, message->text, MessageKind::Information, MessageButtons::Ok},
                           &message->box);
    if (!self) return;
    --messageDepth_;
    DeleteWhenDone();
}

void BatchOutputDlg::OnRunFinished() {
    if (finished_) return;
    FlushPending();
    if (backlogNext_ < backlog_.size()) {
        // The end is told after the last line is shown.
        QMetaObject::invokeMethod(this, &BatchOutputDlg::OnRunFinished, Qt::QueuedConnection);
        return;
    }
    finished_ = true;
    runner_->Wait();  // the worker has marked its end: this returns at once
    stop_->setEnabled(false);
    stop_->setText(MessageString(kMsgStop));
    const ScriptRunResult result = runner_->Result().value_or(ScriptRunResult{});
    const QPointer<BatchOutputDlg> self(this);
    if (onFinished_) {
        const FinishedFn finished = std::move(onFinished_);
        onFinished_ = nullptr;
        finished(result);
    }
    if (!self) return;
    emit runFinished();
    DeleteWhenDone();
}

void BatchOutputDlg::CancelAll() {
    QList<QPointer<BatchOutputDlg>> dialogs;
    for (BatchOutputDlg* d : OpenDialogs()) dialogs.append(d);
    for (const QPointer<BatchOutputDlg>& d : dialogs) {
        if (!d) continue;
        d->closing_ = true;
        if (!d->finished_) d->runner_->Cancel();
        d->hide();
    }
    // A cancelled worker ends at its next check or at once when it blocks;
    // a message it waits for ends with the cancel. The queued calls of the
    // workers (lines, box closings) are served meanwhile.
    const auto pending = [&dialogs] {
        for (const QPointer<BatchOutputDlg>& d : dialogs) {
            if (d && !d->finished_) return true;
        }
        return false;
    };
    QTimer tick;
    tick.start(20);
    while (pending()) {
        for (const QPointer<BatchOutputDlg>& d : dialogs) {
            if (d && !d->finished_ && d->runner_->state() == ScriptRunner::State::Finished) d->OnRunFinished();
        }
        if (pending()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    for (const QPointer<BatchOutputDlg>& d : dialogs) {
        if (d) d->DeleteWhenDone();
    }
}

}  // namespace zyfar
