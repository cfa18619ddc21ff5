#include "app/QtTimerService.h"

#include <QTimer>

namespace zyfar {

QtTimerService::QtTimerService(QObject* parent) : QObject(parent) {}

QtTimerService::~QtTimerService() {
    for (Entry& e : timers_) delete e.timer;
}

void QtTimerService::SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) {
    if (!callback) {
        KillTimer(id);
        return;
    }
    Entry& e = timers_[id];
    if (e.timer == nullptr) {
        e.timer = new QTimer(this);
        e.timer->setTimerType(Qt::CoarseTimer);
    }
    // The callback is held by a shared pointer the slot copies, so a callback
    // that replaces or kills its own timer keeps running to its end.
    e.callback = std::make_shared<TimerCallback>(std::move(callback));
    QObject::disconnect(e.timer, &QTimer::timeout, this, nullptr);
    std::weak_ptr<TimerCallback> weak = e.callback;
    connect(e.timer, &QTimer::timeout, this, [weak, id] {
        if (auto cb = weak.lock()) (*cb)(id);
    });
    e.timer->start(static_cast<int>(ClampTimerPeriod(period).count()));
}

void QtTimerService::KillTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->timer->stop();
    // Deleted later: KillTimer may be called from this timer's own callback.
    it->timer->deleteLater();
    timers_.erase(it);
}

std::optional<std::chrono::milliseconds> QtTimerService::Period(int id) const {
    auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return std::chrono::milliseconds(it->timer->interval());
}

}  // namespace zyfar
