#include "app/TrayIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

// The icons resource lives in the static GUI library: its registration is
// pulled in by name (at global scope, where Q_INIT_RESOURCE must be used).
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace zyfar {
namespace {

void EnsureIconResources() {
    static const bool registered = (InitIconResources(), true);
    (void)registered;
}

// A rounded square with two arrows; the arrow that is lit tells the state.
QPixmap DrawIcon(int size, const QColor& up, const QColor& down) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x4a, 0x6f));
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);

    auto arrow = [&](qreal cx, bool pointsUp, const QColor& colour) {
        QPainterPath path;
        const qreal w = s * 0.16, head = s * 0.2, top = s * 0.2, bottom = s * 0.8;
        if (pointsUp) {
            path.moveTo(cx, top);
            path.lineTo(cx + head, top + head);
            path.lineTo(cx + w / 2, top + head);
            path.lineTo(cx + w / 2, bottom);
            path.lineTo(cx - w / 2, bottom);
            path.lineTo(cx - w / 2, top + head);
            path.lineTo(cx - head, top + head);
        } else {
            path.moveTo(cx, bottom);
            path.lineTo(cx + head, bottom - head);
            path.lineTo(cx + w / 2, bottom - head);
            path.lineTo(cx + w / 2, top);
            path.lineTo(cx - w / 2, top);
            path.lineTo(cx - w / 2, bottom - head);
            path.lineTo(cx - head, bottom - head);
        }
        path.closeSubpath();
        p.setBrush(colour);
        p.drawPath(path);
    };
    arrow(s * 0.32, true, up);
    arrow(s * 0.68, false, down);
    return pixmap;
}

QIcon BuildIcon(const QColor& up, const QColor& down) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 44, 48, 64}) icon.addPixmap(DrawIcon(size, up, down));
    return icon;
}

QIcon DrawnTrayIcon(int state) {
    static const QColor dim(0x9a, 0xa8, 0xb8);
    static const QIcon idle = BuildIcon(dim, dim);
    static const QIcon receiving = BuildIcon(dim, QColor(0xff, 0xb3, 0x2e));
    static const QIcon sending = BuildIcon(QColor(0x5c, 0xd6, 0x6a), dim);
    switch (state) {
    case 1: return receiving;
    case 2: return sending;
    default: return idle;
    }
}

QIcon BundledAppIcon() {
    if (SvgIconsAvailable()) return QIcon(QStringLiteral(":/icons/zyfar.svg"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/zyfar-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace

bool SvgIconsAvailable() {
    EnsureIconResources();
    static const bool works = !QIcon(QStringLiteral(":/icons/tray-idle.svg")).pixmap(QSize(16, 16)).isNull();
    return works;
}

QIcon TrayIcon(int state) {
    if (!SvgIconsAvailable()) return DrawnTrayIcon(state);
    static const QIcon idle(QStringLiteral(":/icons/tray-idle.svg"));
    static const QIcon receiving(QStringLiteral(":/icons/tray-receiving.svg"));
    static const QIcon sending(QStringLiteral(":/icons/tray-sending.svg"));
    switch (state) {
    case 1: return receiving;
    case 2: return sending;
    default: return idle;
    }
}

QIcon AppIcon() {
    EnsureIconResources();
    return QIcon::fromTheme(QStringLiteral("zyfar"), BundledAppIcon());
}

}  // namespace zyfar
