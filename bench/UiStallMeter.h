#pragma once
// The GUI-thread stall meter of the window benchmarks: the longest gap
// between the ticks of a 5 ms timer (wall time), and the most CPU time the
// GUI thread itself spent between two ticks. On a loaded machine the wall
// gap also holds the time the thread waited for a core; the CPU time only
// the work it did.
#include <time.h>

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

namespace zyfar::bench {

// CPU nanoseconds of the calling thread so far.
inline qint64 ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class StallMeter {
public:
    StallMeter() {
        timer_.setInterval(5);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const qint64 cpu = ThreadCpuNs();
            if (last_ >= 0) {
                worst_ = std::max(worst_, now - last_);
                worstCpu_ = std::max(worstCpu_, cpu - lastCpu_);
            }
            last_ = now;
            lastCpu_ = cpu;
        });
    }
    void Start() {
        worst_ = worstCpu_ = 0;
        last_ = -1;
        clock_.start();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    [[nodiscard]] double WorstMs() const { return static_cast<double>(worst_) / 1e6; }
    [[nodiscard]] double WorstCpuMs() const { return static_cast<double>(worstCpu_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = -1;
    qint64 lastCpu_ = 0;
    qint64 worst_ = 0;
    qint64 worstCpu_ = 0;
};

}  // namespace zyfar::bench
