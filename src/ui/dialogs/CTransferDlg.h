#pragma once
// The transfer window: a small modeless window over one transfer run. It owns
// the run's TransferController (and so its worker), shows the run's progress
// (server, the two file names, bytes, bars, rates and times left of the
// current file and of the whole batch) from the run's snapshot ten times a
// second, and carries out the Cancel button's questions. When the worker ends
// the window runs the end of the transfer (FinishTransfer, once) and deletes
// itself. The close box does nothing and Escape is the Cancel button.
//
// A question may be open when the worker ends: the end waits until the
// question is answered (the window never goes away under its own message
// box), and the answer is then moot: the run ends as it ended. A second
// Cancel click while a question is open is ignored.
//
// Command-line link runs: FinishTransfer releases one pending link transfer
// (the last one asks the program to quit); every window runs it exactly
// once, also when it is destroyed early (CancelAll, shutdown).
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <memory>

#include "engine/TransferProgress.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zyfar {

class BusyAnimation;
class TransferController;
class TransferQueueSink;
class TransferRun;

// Where a window opens next to the window opened before it: 10 pixels right
// of and 20 pixels below it; at x = 20 when the previous window's right edge
// + 10 is not left of the available area's right end, at y = 40 when its
// bottom edge + 20 is not above the available area's bottom (offsets counted
// from the available area's origin). `previous` is the previous window's
// frame, `available` the screen's available geometry.
[[nodiscard]] QPoint PlaceNextTo(const QRect& previous, const QRect& available);

class CTransferDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the window for `run`, shows it (next to `placement` when given,
    // else at the default position) and starts the run's worker. The caller
    // forgets the pointer: the window deletes itself when the run has ended.
    // A null sink means the process's queue sink.
    explicit CTransferDlg(std::unique_ptr<TransferRun> run, QWidget* placement = nullptr, QWidget* parent = nullptr,
                          TransferQueueSink* sink = nullptr);
    // A worker still running is cancelled and joined, and FinishTransfer runs
    // if it has not yet.
    ~CTransferDlg() override;

    [[nodiscard]] TransferController& controller() { return *controller_; }
    [[nodiscard]] TransferRun& run();

    // The Cancel button (also Escape): suspend, ask, and cancel or resume.
    void CancelClicked();
    // True while a Cancel question is open.
    [[nodiscard]] bool AskingCancel() const { return asking_; }

    // Every transfer window open now.
    [[nodiscard]] static int OpenCount();
    // Ends every open transfer window without asking (program shutdown): each
    // worker is cancelled and joined, FinishTransfer runs, and the window is
    // deleted (a window with a question open goes when the question returns).
    static void CancelAll();

public slots:
    void reject() override;  // Escape: the Cancel button

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildUi();
    void Refresh();
    // The worker ended by itself (queued from the worker).
    void OnWorkerDone();
    void AskSingle();
    void AskSerial();
    // Runs FinishTransfer (once) and deletes the window, unless a question is
    // open: then it happens when the question returns.
    void FinishAndClose();
    void CancelAndClose();
    // After a question: ends the window when the run ended meanwhile or
    // CancelAll asked for it; true then.
    bool EndedWhileAsking();
    void OnlyThisOne();

    std::unique_ptr<TransferController> controller_;
    ProgressSnapshot shown_;  // what the fields show now

    BusyAnimation* animation_ = nullptr;
    QLabel* server_ = nullptr;
    QLineEdit* localFile_ = nullptr;
    QLineEdit* remoteFile_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* fileBytes_ = nullptr;
    QProgressBar* fileBar_ = nullptr;
    QLabel* fileRate_ = nullptr;
    QLabel* fileLeft_ = nullptr;
    QLabel* resumed_ = nullptr;  // "Resumed at <n> bytes" for a continued file
    QLabel* batchBytes_ = nullptr;
    QProgressBar* batchBar_ = nullptr;
    QLabel* batchRate_ = nullptr;
    QLabel* batchLeft_ = nullptr;
    QTimer* refresh_ = nullptr;

    enum class PendingEnd { None, Finish, Cancel };
    bool asking_ = false;       // a Cancel question is open
    PendingEnd pendingEnd_ = PendingEnd::None;  // asked for while a question was open
    bool closing_ = false;      // the window is going away
};

}  // namespace zyfar
