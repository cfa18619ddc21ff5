#include "views/LogPrinting.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace zyfar {
namespace {

constexpr int kMaxLeftMargin = 200;
constexpr int kPageHeaderLine = 2;   // "Page No %d" two line heights from the top
constexpr int kFirstRowLine = 5;     // line i of a page at (i + 5) line heights
constexpr int kReservedLines = 7;

}  // namespace

QPrinter& ProgramPrinter() {
    static QPrinter printer(QPrinter::HighResolution);  // lives until the program ends
    return printer;
}

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

QStringList WrapLogLine(const QString& row, const QFontMetrics& metrics, int width) {
    QStringList lines;
    QString rest = row;
    const QString indent = QStringLiteral("  ");
    bool first = true;
    while (true) {
        const QString prefix = first ? QString() : indent;
        if (metrics.horizontalAdvance(prefix + rest) <= width) {
            lines << prefix + rest;
            return lines;
        }
        // The longest piece that fits (at least one character).
        int fit = 1;
        for (int lo = 1, hi = static_cast<int>(rest.size()); lo <= hi;) {
            const int mid = (lo + hi) / 2;
            if (metrics.horizontalAdvance(prefix + rest.left(mid)) <= width) {
                fit = mid;
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        const int blank = static_cast<int>(rest.lastIndexOf(QLatin1Char(' '), fit - 1));
        if (blank > fit / 2) fit = blank + 1;
        lines << prefix + rest.left(fit).trimmed();
        rest = rest.mid(fit);
        first = false;
    }
}

int PrintLogLines(QPagedPaintDevice& device, const QStringList& rowTexts) {
    if (rowTexts.isEmpty()) return 0;
    const QFontMetrics fm(LogPrintFont(), &device);
    const int width = fm.horizontalAdvance(QString::fromLatin1(kLogPrintRuler));
    QStringList lines;
    for (const QString& row : rowTexts) lines << WrapLogLine(row, fm, width);
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
