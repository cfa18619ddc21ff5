#include "views/LogListModel.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

namespace zyfar {
namespace {

QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

int CompareNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = std::tolower(static_cast<unsigned char>(a[i]));
        const int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// One icon per event offset: a disc, green for successful events and red for
// the others, with the letter of the event's kind.
QIcon MakeOffsetIcon(int offset) {
    static constexpr char kLetters[] = "CCTTIIDDXXRRMMQQQ";
    const bool ok = offset % 2 == 0;  // as the filters count it
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ok ? QColor(0x2e, 0x8b, 0x3a) : QColor(0xc0, 0x2a, 0x2a));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    const char letter = offset >= 0 && offset < 17 ? kLetters[offset] : '?';
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString(QLatin1Char(letter)));
    return QIcon(pixmap);
}

}  // namespace

LogListModel::LogListModel(QObject* parent) : ZyfarListModel(parent) {}

QIcon LogListModel::IconOfOffset(int offset) {
    static std::array<QIcon, 18> icons;  // GUI thread only
    const auto slot = static_cast<std::size_t>(offset >= 0 && offset < 17 ? offset : 17);
    if (icons[slot].isNull()) icons[slot] = MakeOffsetIcon(offset);
    return icons[slot];
}

void LogListModel::Append(std::vector<LogEntry> entries) {
    if (entries.empty()) return;
    BeginAppendRows(static_cast<int>(entries.size()));
    rows_.insert(rows_.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    EndAppendRows();
    ++insertBatches_;
}

void LogListModel::Reset(std::vector<LogEntry> entries) {
    BeginReset();
    rows_.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    rows_.shrink_to_fit();
    EndReset();
}

QString LogListModel::HeaderText(int column) const {
    static const char* const kHeaders[kColumns] = {"Event", "No.",         "Time", "Date",
                                                   "Source", "Destination", "File", "Detail"};
    return column >= 0 && column < kColumns ? QString::fromLatin1(kHeaders[column]) : QString();
}

QString LogListModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const LogEntry& e = rows_[static_cast<std::size_t>(row)];
    switch (column) {
    case 0: {
        const std::string_view text = LogEventText(e.code);
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case 1: return QString::number(e.number);
    case 2: return FromStd(e.time);
    case 3: return FromStd(e.date);
    case 4: return FromStd(e.source);
    case 5: return FromStd(e.destination);
    case 6: return FromStd(e.file);
    case 7: return FromStd(e.detail);
    default: return {};
    }
}

QIcon LogListModel::RowIcon(int row) const {
    if (row < 0 || row >= RowCount()) return {};
    return IconOfOffset(rows_[static_cast<std::size_t>(row)].offset);
}

int LogListModel::CompareRows(int a, int b, int column) const {
    const LogEntry& x = rows_[static_cast<std::size_t>(a)];
    const LogEntry& y = rows_[static_cast<std::size_t>(b)];
    switch (column) {
    case 0: return x.code == y.code ? 0 : CompareNoCase(std::string(LogEventText(x.code)), std::string(LogEventText(y.code)));
    case 1: return x.number < y.number ? -1 : (y.number < x.number ? 1 : 0);
    case 2: return CompareNoCase(x.time, y.time);
    case 3: return CompareNoCase(x.date, y.date);
    case 4: return CompareNoCase(x.source, y.source);
    case 5: return CompareNoCase(x.destination, y.destination);
    case 6: return CompareNoCase(x.file, y.file);
    case 7: return CompareNoCase(x.detail, y.detail);
    default: return 0;
    }
}

bool LogListModel::SortKeys(int column, std::vector<std::string>& keys) const {
    if (column < 0 || column >= kColumns) return false;
    keys.clear();
    keys.reserve(rows_.size());
    auto folded = [](std::string_view text) {
        std::string key(text);
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return key;
    };
    for (const LogEntry& e : rows_) {
        switch (column) {
        case 0: keys.push_back(folded(LogEventText(e.code))); break;
        case 1: {
            // Big-endian with the sign bit flipped: byte order is numeric order.
            const auto v = static_cast<std::uint32_t>(e.number) ^ 0x80000000u;
            keys.push_back({static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                            static_cast<char>(v)});
            break;
        }
        case 2: keys.push_back(folded(e.time)); break;
        case 3: keys.push_back(folded(e.date)); break;
        case 4: keys.push_back(folded(e.source)); break;
        case 5: keys.push_back(folded(e.destination)); break;
        case 6: keys.push_back(folded(e.file)); break;
        default: keys.push_back(folded(e.detail)); break;
        }
    }
    return true;
}

void LogListModel::PermuteRecords(const std::vector<int>& newOrder) {
    std::deque<LogEntry> sorted;
    for (int old : newOrder) sorted.push_back(std::move(rows_[static_cast<std::size_t>(old)]));
    rows_ = std::move(sorted);
}

void LogListModel::EraseRecords(int first, int count) {
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
}

}  // namespace zyfar
