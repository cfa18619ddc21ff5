// The application and tray icons: drawn from their scalable pictures at any
// size (a 2x pixmap is the picture drawn at twice the size, not a smaller
// one blown up), the three tray states tell apart, and the committed hicolor
// PNGs have the sizes their folders name.
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "app/TrayIcons.h"

using namespace zyfar;

namespace {

// Pixels that are not fully transparent.
int Opaque(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return n;
}

// The device pixels of the icon drawn at `size` logical pixels and `ratio`.
QImage Rendered(const QIcon& icon, int size, qreal ratio = 1.0) {
    QImage image = icon.pixmap(QSize(size, size), ratio).toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1.0);
    return image;
}

}  // namespace

class IconsTest : public QObject {
    Q_OBJECT
private slots:
    void scalableAtEverySize_data();
    void scalableAtEverySize();
    void trayStatesDiffer();
    void hicolorPngs();
    void picture();
};

void IconsTest::scalableAtEverySize_data() {
    QTest::addColumn<int>("which");  // 0..2 a tray state, 3 the application icon
    QTest::addColumn<int>("size");
    for (int which : {0, 1, 2, 3})
        for (int size : {16, 22, 24, 48, 256})
            QTest::addRow("%s %d", which == 3 ? "app" : qPrintable(QStringLiteral("tray%1").arg(which)), size)
                << which << size;
}

void IconsTest::scalableAtEverySize() {
    QFETCH(int, which);
    QFETCH(int, size);
    QVERIFY2(SvgIconsAvailable(), "the Qt SVG plugins (libqt6svg6) are needed for the bundled icons");
    const QIcon icon = which == 3 ? AppIcon() : TrayIcon(which);
    const QImage one = Rendered(icon, size);
    QCOMPARE(one.size(), QSize(size, size));
    QVERIFY(Opaque(one) > size * size / 2);
    // At a scale of 2 the icon is drawn at twice the pixels, exactly as a
    // direct rendering at that size.
    const QImage two = Rendered(icon, size, 2.0);
    QCOMPARE(two.size(), QSize(2 * size, 2 * size));
    QCOMPARE(two, Rendered(icon, 2 * size));
    QVERIFY(two != one.scaled(2 * size, 2 * size));
}

void IconsTest::trayStatesDiffer() {
    const QImage idle = Rendered(TrayIcon(0), 22);
    const QImage receiving = Rendered(TrayIcon(1), 22);
    const QImage sending = Rendered(TrayIcon(2), 22);
    QVERIFY(idle != receiving && idle != sending && receiving != sending);
    QCOMPARE(Rendered(TrayIcon(7), 22), idle);  // an unknown state shows idle
}

void IconsTest::hicolorPngs() {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path =
            QStringLiteral(ZYFAR_TEST_SUPPORT_DIR "/../../desktop/icons/hicolor/%1x%1/apps/zyfar.png").arg(size);
        QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        QVERIFY(Opaque(image.convertToFormat(QImage::Format_ARGB32)) > size * size / 2);
    }
}

// ZYFAR_SHOT=<png>: the application icon at 16, 32, 48 and 256 pixels, and
// the three tray states at 22 and 44 pixels on a light and a dark panel.
void IconsTest::picture() {
    const QString shot = qEnvironmentVariable("ZYFAR_SHOT");
    if (shot.isEmpty()) QSKIP("ZYFAR_SHOT not set");
    QImage strip(16 + 32 + 48 + 256 + 5 * 12, 256 + 2 * 12 + 2 * (44 + 24), QImage::Format_ARGB32);
    strip.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter p(&strip);
    int x = 12;
    for (int size : {16, 32, 48, 256}) {
        p.drawImage(x, 12 + 256 - size, Rendered(AppIcon(), size));
        x += size + 12;
    }
    int y = 256 + 24;
    for (const QColor panel : {QColor(0xe8, 0xe8, 0xe8), QColor(0x30, 0x30, 0x30)}) {
        p.fillRect(0, y, strip.width(), 44 + 24, panel);
        x = 12;
        for (int size : {22, 44}) {
            for (int state : {0, 1, 2}) {
                p.drawImage(x, y + 12 + 44 - size, Rendered(TrayIcon(state), size));
                x += size + 12;
            }
            x += 12;
        }
        y += 44 + 24;
    }
    p.end();
    QVERIFY(strip.save(shot));
}

QTEST_MAIN(IconsTest)
#include "IconsTest.moc"
