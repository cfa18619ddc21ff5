#include "views/LogPrinting.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>

namespace zyfar {
namespace {

constexpr int kMaxLeftMargin = 200;
constexpr int kPageHeaderLine = 2;   // "Page No %d" two line heights from the top
constexpr int kFirstRowLine = 5;     // line i of a page at (i + 5) line heights
constexpr int kReservedLines = 7;

}  // namespace

QFont LogPrintFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    if (!QFontDatabase::families().contains(font.family())) font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    font.setWeight(QFont::Normal);
    return font;
}

LogPrintLayout ComputeLogPrintLayout(QPaintDevice& device, int rows) {
    const QFontMetrics fm(LogPrintFont(), &device);
    LogPrintLayout layout;
    layout.lineHeight = std::max(1, fm.height() + fm.leading());
    const int textWidth = fm.horizontalAdvance(QString::fromLatin1(kLogPrintRuler));
    layout.leftMargin = std::clamp((device.width() - textWidth) / 2, 0, kMaxLeftMargin);
    layout.linesPerPage = std::max(1, (device.height() - kReservedLines * layout.lineHeight) / layout.lineHeight);
    layout.pages = std::max(1, (rows + layout.linesPerPage - 1) / layout.linesPerPage);
    return layout;
}

int PrintLogLines(QPagedPaintDevice& device, const QStringList& lines) {
    if (lines.isEmpty()) return 0;
    const int rows = static_cast<int>(lines.size());
    const LogPrintLayout layout = ComputeLogPrintLayout(device, rows);
    QPainter painter(&device);
    if (!painter.isActive()) return 0;
    painter.setFont(LogPrintFont());
    painter.setPen(Qt::black);
    const int ascent = QFontMetrics(painter.font(), &device).ascent();
    // Text is placed by its top, as the lines are counted.
    auto put = [&](int line, const QString& text) {
        painter.drawText(layout.leftMargin, line * layout.lineHeight + ascent, text);
    };
    for (int page = 0; page < layout.pages; ++page) {
        if (page > 0 && !device.newPage()) return page;
        put(kPageHeaderLine, QStringLiteral("Page No %1").arg(page + 1));
        const int first = page * layout.linesPerPage;
        const int last = std::min(rows, first + layout.linesPerPage);
        for (int row = first; row < last; ++row) put(row - first + kFirstRowLine, lines[row]);
    }
    return layout.pages;
}

}  // namespace zyfar
