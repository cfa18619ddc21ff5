#pragma once
// A small drawn animation that loops while something works: a page flying
// from one folder to another (transfer windows) or a pulsing bar chart
// (the statistics window). It repaints only while running and visible.
#include <QWidget>

class QPainter;
class QTimer;

namespace zyfar {

class BusyAnimation : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Transfer, Statistics };
    explicit BusyAnimation(Kind kind, QWidget* parent = nullptr);

    void Start();
    void Stop();
    [[nodiscard]] bool IsRunning() const;
    [[nodiscard]] int Frame() const { return frame_; }

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintTransfer(QPainter& p);
    void PaintStatistics(QPainter& p);

    Kind kind_;
    QTimer* timer_ = nullptr;
    int frame_ = 0;
};

}  // namespace zyfar
