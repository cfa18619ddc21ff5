#include "dialogs/BusyAnimation.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

namespace zyfar {
namespace {

constexpr int kFrameMs = 80;
constexpr int kTransferFrames = 20;   // one page flight
constexpr int kStatisticsFrames = 16; // one pulse of the bars

void PaintFolder(QPainter& p, const QRectF& r, const QColor& color) {
    QPainterPath path;
    const qreal tab = r.width() * 0.4;
    path.moveTo(r.left(), r.top() + 4);
    path.lineTo(r.left() + tab * 0.2, r.top());
    path.lineTo(r.left() + tab, r.top());
    path.lineTo(r.left() + tab + 4, r.top() + 4);
    path.lineTo(r.right(), r.top() + 4);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(color.darker(150), 1));
    p.setBrush(color);
    p.drawPath(path);
}

}  // namespace

BusyAnimation::BusyAnimation(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    timer_ = new QTimer(this);
    timer_->setInterval(kFrameMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        const int frames = kind_ == Kind::Transfer ? kTransferFrames : kStatisticsFrames;
        frame_ = (frame_ + 1) % frames;
        if (isVisible()) update();
    });
    setAccessibleName(kind == Kind::Transfer ? tr("Transfer animation") : tr("Statistics animation"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void BusyAnimation::Start() { timer_->start(); }
void BusyAnimation::Stop() { timer_->stop(); }
bool BusyAnimation::IsRunning() const { return timer_->isActive(); }

QSize BusyAnimation::sizeHint() const { return kind_ == Kind::Transfer ? QSize(180, 48) : QSize(48, 48); }

void BusyAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (kind_ == Kind::Transfer) {
        PaintTransfer(p);
    } else {
        PaintStatistics(p);
    }
}

void BusyAnimation::PaintTransfer(QPainter& p) {
    const QColor folder(235, 190, 80);
    const qreal h = height();
    const qreal w = width();
    const QRectF left(4, h * 0.35, 40, h * 0.55);
    const QRectF right(w - 44, h * 0.35, 40, h * 0.55);
    PaintFolder(p, left, folder);
    PaintFolder(p, right, folder);
    // The page rises out of the left folder, flies in an arc and drops into the right one.
    const qreal t = static_cast<qreal>(frame_) / (kTransferFrames - 1);
    const qreal x0 = left.center().x() - 7;
    const qreal x1 = right.center().x() - 7;
    const qreal x = x0 + (x1 - x0) * t;
    const qreal y = left.top() - 6 - std::sin(t * M_PI) * (h * 0.3);
    const QRectF page(x, y, 14, 18);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(Qt::white);
    p.drawRect(page);
    p.setPen(QPen(QColor(120, 120, 160), 1));
    for (int line = 0; line < 3; ++line) {
        const qreal ly = page.top() + 5 + line * 4;
        p.drawLine(QPointF(page.left() + 3, ly), QPointF(page.right() - 3, ly));
    }
}

void BusyAnimation::PaintStatistics(QPainter& p) {
    const int bars = 4;
    const qreal gap = 3;
    const qreal barWidth = (width() - gap * (bars + 1)) / bars;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < bars; ++i) {
        const qreal phase = (frame_ + i * 4) % kStatisticsFrames / static_cast<qreal>(kStatisticsFrames);
        const qreal level = 0.3 + 0.7 * std::fabs(std::sin(phase * M_PI));
        const qreal barHeight = (height() - 4) * level;
        p.setBrush(QColor(60, 120 + i * 30, 200));
        p.drawRect(QRectF(gap + i * (barWidth + gap), height() - 2 - barHeight, barWidth, barHeight));
    }
}

}  // namespace zyfar
