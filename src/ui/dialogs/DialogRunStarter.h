#pragma once
// Opens one transfer window per run handed in by the multiple-site put, the
// queue send pass and link runs (the GUI's TransferRunStarter).
//
// Spacing without sleeping: PauseBetweenStarts only notes the pause; a run
// handed in before that pause has passed since the previous start waits in a
// queue, and chained single-shot timers start the waiting runs one by one,
// each the asked pause (kRunStartStagger when none was asked) after the one
// before. The GUI thread never sleeps, so a send to a hundred sites keeps the
// program responsive; a waiting run costs its run record only.
//
// A run started "next to previous" opens 10 pixels right of and 20 below the
// window opened before it (PlaceNextTo), or at the default position when that
// window is gone.
//
// Lifetime: one instance lives as long as the main window. Runs still waiting
// when it is destroyed are never started; each is ended as a run that never
// connected (FinishTransfer: its files are logged as "FTP Put Canceled" and
// queued when SCHEDULE ResendFail is set), so nothing is lost silently and a
// command-line link run still counts down. Windows already open are not
// touched (CTransferDlg::CancelAll ends them).
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

#include "automation/MultiPut.h"

class QTimer;
class QWidget;

namespace zyfar {

class CTransferDlg;
class TransferQueueSink;

class DialogRunStarter final : public QObject, public TransferRunStarter {
    Q_OBJECT
public:
    // A null sink means the process's queue sink.
    explicit DialogRunStarter(TransferQueueSink* sink = nullptr, QObject* parent = nullptr);
    ~DialogRunStarter() override;

    // Opens the run's window now, or queues it (see above). GUI thread only.
    void StartRun(std::unique_ptr<TransferRun> run, bool nextToPrevious) override;
    // Never sleeps: the next run starts `pause` after the previous start.
    void PauseBetweenStarts(std::chrono::milliseconds pause) override;

    // Runs waiting for their start.
    [[nodiscard]] int Waiting() const { return static_cast<int>(waiting_.size()); }
    // Windows opened so far.
    [[nodiscard]] int Started() const { return started_; }
    // The window opened last, while it exists.
    [[nodiscard]] CTransferDlg* LastOpened() const { return last_.data(); }

signals:
    // A run's window opened (its worker runs).
    void opened(zyfar::CTransferDlg* dialog);

private:
    struct Pending {
        std::unique_ptr<TransferRun> run;
        bool nextToPrevious = false;
        std::chrono::milliseconds gap{0};  // after the previous start
    };
    void Open(std::unique_ptr<TransferRun> run, bool nextToPrevious);
    void StartDue();
    void ArmTimer();
    [[nodiscard]] std::chrono::milliseconds SinceLastStart() const;

    TransferQueueSink* sink_;
    std::deque<Pending> waiting_;
    std::optional<std::chrono::milliseconds> askedPause_;
    QElapsedTimer lastStart_;  // invalid before the first start
    QTimer* timer_ = nullptr;
    QPointer<CTransferDlg> last_;
    int started_ = 0;
};

}  // namespace zyfar
