#include "dialogs/DialogRunStarter.h"

#include <QThread>
#include <QTimer>
#include <algorithm>

#include "dialogs/CTransferDlg.h"
#include "engine/TransferFinish.h"
#include "engine/TransferRun.h"

namespace zyfar {

DialogRunStarter::DialogRunStarter(TransferQueueSink* sink, QObject* parent) : QObject(parent), sink_(sink) {
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    // A coarse timer may fire a little early; the starts must never come closer than asked.
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &DialogRunStarter::StartDue);
}

DialogRunStarter::~DialogRunStarter() {
    timer_->stop();
    // Runs that never started end as runs that never connected: their files
    // are logged as not sent (and queued when ResendFail says so).
    std::deque<Pending> dropped;
    dropped.swap(waiting_);
    for (Pending& p : dropped) {
        FinishTransfer(*p.run, sink_);
    }
}

std::chrono::milliseconds DialogRunStarter::SinceLastStart() const {
    if (!lastStart_.isValid()) return std::chrono::milliseconds::max();
    return std::chrono::milliseconds(lastStart_.elapsed());
}

void DialogRunStarter::PauseBetweenStarts(std::chrono::milliseconds pause) { askedPause_ = pause; }

void DialogRunStarter::StartRun(std::unique_ptr<TransferRun> run, bool nextToPrevious) {
    Q_ASSERT(QThread::currentThread() == thread());
    const std::chrono::milliseconds gap = askedPause_.value_or(kRunStartStagger);
    askedPause_.reset();
    if (waiting_.empty() && SinceLastStart() >= gap) {
        Open(std::move(run), nextToPrevious);
        return;
    }
    waiting_.push_back(Pending{std::move(run), nextToPrevious, gap});
    ArmTimer();
}

void DialogRunStarter::ArmTimer() {
    if (waiting_.empty() || timer_->isActive()) return;
    const std::chrono::milliseconds left = waiting_.front().gap - SinceLastStart();
    timer_->start(std::max<std::chrono::milliseconds>(left, std::chrono::milliseconds(0)));
}

void DialogRunStarter::StartDue() {
    if (waiting_.empty()) return;
    if (SinceLastStart() < waiting_.front().gap) {
        ArmTimer();
        return;
    }
    Pending next = std::move(waiting_.front());
    waiting_.pop_front();
    Open(std::move(next.run), next.nextToPrevious);
    ArmTimer();
}

void DialogRunStarter::Open(std::unique_ptr<TransferRun> run, bool nextToPrevious) {
    QWidget* placement = nextToPrevious ? last_.data() : nullptr;
    lastStart_.start();
    auto* dialog = new CTransferDlg(std::move(run), placement, nullptr, sink_);
    last_ = dialog;
    ++started_;
    emit opened(dialog);
}

}  // namespace zyfar
