#pragma once
// The background timers on the GUI thread: one QTimer per timer id. Set and
// kill them from the GUI thread (the main window and the timer callbacks do);
// the callbacks run there too, one at a time.
#include <QObject>
#include <QHash>

#include "platform/TimerService.h"

class QTimer;

namespace zyfar {

class QtTimerService final : public QObject, public TimerService {
    Q_OBJECT
public:
    explicit QtTimerService(QObject* parent = nullptr);
    ~QtTimerService() override;

    void SetTimer(int id, std::chrono::milliseconds period, TimerCallback callback) override;
    void KillTimer(int id) override;
    [[nodiscard]] std::optional<std::chrono::milliseconds> Period(int id) const override;

private:
    struct Entry {
        QTimer* timer = nullptr;
        std::shared_ptr<TimerCallback> callback;
    };
    QHash<int, Entry> timers_;
};

}  // namespace zyfar
