#pragma once
// The printed log: a fixed-pitch 10-point font; the line height is the font's
// height plus its external leading; the text is as wide as an 81-character
// ruler, the left margin half of what the page leaves beside it (at most 200
// device units); every page prints "Page No %d" two lines from the top and
// its rows from the sixth line on; a page holds (page height - 7 lines) /
// line height rows.
//
// A row longer than the ruler is not cut off at the page's edge: it goes on
// in further lines (indented by two blanks), and the pages count those lines.
#include <QFont>
#include <QFontMetrics>
#include <QStringList>

class QPaintDevice;
class QPagedPaintDevice;
class QPrinter;

namespace zyfar {

struct LogPrintLayout {
    int lineHeight = 0;
    int leftMargin = 0;
    int linesPerPage = 0;
    int pages = 1;
};

// The program's one printer: Print Setup chooses its printer, paper and
// margins, and printing and the preview start from them.
[[nodiscard]] QPrinter& ProgramPrinter();

// The 81-character ruler whose width is the printed text's width.
inline constexpr const char* kLogPrintRuler =
    "---------1---------2---------3---------4---------5---------6---------7---------8-";

// The printing font: DejaVu Sans Mono (or the system's fixed font), 10 points.
[[nodiscard]] QFont LogPrintFont();

// The layout of `rows` printed lines on the pages of `device`.
[[nodiscard]] LogPrintLayout ComputeLogPrintLayout(QPaintDevice& device, int rows);

// The printed lines of one row: the row itself when it fits in `width`,
// else pieces that fit (broken after a blank where one is near the end),
// each continuation indented by two blanks.
[[nodiscard]] QStringList WrapLogLine(const QString& row, const QFontMetrics& metrics, int width);

// Prints the rows on as many pages as the layout needs
// (device.newPage() between pages). Nothing is printed for no rows. Answers
// the number of pages painted.
int PrintLogLines(QPagedPaintDevice& device, const QStringList& lines);

}  // namespace zyfar
