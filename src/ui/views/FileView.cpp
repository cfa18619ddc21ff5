#include "views/FileView.h"

#include <QApplication>
#include <QFontMetrics>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QMimeDatabase>
#include <QStyle>
#include <ctime>
#include <mutex>

#include "dialogs/CTransferDlg.h"
#include "dialogs/Prompter.h"
#include "engine/LocalBrowse.h"

namespace zyfar {

QString DisplayName(const std::string& bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    auto escape = [&out](unsigned char c) { out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0')); };
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) escape(c);
            else out += QLatin1Char(static_cast<char>(c));
            ++i;
            continue;
        }
        // The length of a well-formed sequence and its smallest value (no
        // overlong forms, no surrogates, nothing above U+10FFFF).
        std::size_t len = 0;
        char32_t cp = 0;
        char32_t least = 0;
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; least = 0x80; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; least = 0x800; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; least = 0x10000; }
        bool good = len != 0 && i + len <= n;
        for (std::size_t k = 1; good && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) good = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (good && (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) good = false;
        if (!good || (cp >= 0x80 && cp < 0xA0)) {  // C1 controls are escaped like C0
            if (good) {
                for (std::size_t k = 0; k < len; ++k) escape(p[i + k]);
                i += len;
            } else {
                escape(c);
                ++i;
            }
            continue;
        }
        out += QString::fromUcs4(&cp, 1);
        i += len;
    }
    return out;
}

// ---- FileRowsModel ----------------------------------------------------------------------

namespace {

void AppendBigEndian(std::string& key, std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63);  // signed order
    for (int shift = 56; shift >= 0; shift -= 8) key.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

std::string FoldedKey(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

QString SuffixKey(const FileRow& row) {
    switch (row.kind) {
    case FileRowKind::Folder:
    case FileRowKind::LinkFolder: return QStringLiteral("/folder");
    case FileRowKind::LinkFile: return QStringLiteral("/link");
    case FileRowKind::File: break;
    }
    const std::size_t dot = row.name.rfind('.');
    if (dot == std::string::npos || dot == 0) return QStringLiteral("/none");
    return QString::fromUtf8(row.name.substr(dot + 1)).toLower();
}

}  // namespace

FileRowsModel::FileRowsModel(bool utcTimes, QObject* parent)
    : ZyfarListModel(parent), utcTimes_(utcTimes), typeTexts_(1), typeIcons_(1) {
    SetTimeType(Read(keys::TimeTypeList));
}

// Rows copied from another list carry that list's type numbers: look them up again here.
static void ForgetTypes(std::vector<FileRow>& rows) {
    for (FileRow& r : rows) r.type = 0;
}

void FileRowsModel::SetRows(std::string folder, std::vector<FileRow> rows) {
    ForgetTypes(rows);
    BeginReset();
    folder_ = std::move(folder);
    rows_ = std::move(rows);
    EndReset();
}

void FileRowsModel::AppendRecords(std::vector<FileRow> rows) {
    if (rows.empty()) return;
    ForgetTypes(rows);
    BeginAppendRows(static_cast<int>(rows.size()));
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    EndAppendRows();
}

void FileRowsModel::RenameRow(int row, std::string name) {
    if (row < 0 || row >= RowCount()) return;
    FileRow& r = rows_[static_cast<std::size_t>(row)];
    r.name = std::move(name);
    r.type = 0;
    emit dataChanged(index(row, 0), index(row, ColumnCount() - 1));
}

int FileRowsModel::FindName(const std::string& name) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].name == name) return static_cast<int>(i);
    return -1;
}

void FileRowsModel::SetMaskHeading(const QString& mask) {
    mask_ = mask;
    emit headerDataChanged(Qt::Horizontal, ColName, ColName);
}

void FileRowsModel::SetTimeType(const std::string& timeType) {
    dateStyle_ = ParseDateStyle(timeType).value_or(DateStyle::MonthDay);
    if (!rows_.empty()) emit dataChanged(index(0, ColModified), index(RowCount() - 1, ColModified));
}

QString FileRowsModel::HeaderText(int column) const {
    switch (column) {
    case ColName: return mask_.isEmpty() ? MessageString(129) : MessageString(129) + " (" + mask_ + ")";
    case ColSize: return QStringLiteral("Size");
    case ColType: return QStringLiteral("File Type");
    case ColModified: return QStringLiteral("Modified");
    default: return {};
    }
}

QString FileRowsModel::TimeText(std::int64_t seconds) const {
    if (seconds == kNoTime) return {};
    LocalDateTime t;
    if (utcTimes_) {
        const auto value = static_cast<std::time_t>(seconds);
        std::tm tm{};
        if (gmtime_r(&value, &tm) == nullptr) return {};
        t = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59)};
    } else {
        t = LocalTimeOf(seconds);
    }
    return QString::fromStdString(ModifiedText(t, dateStyle_));
}

std::uint16_t FileRowsModel::TypeIndex(const FileRow& row) const {
    if (row.type != 0) return row.type;
    const QString key = SuffixKey(row);
    auto found = typeBySuffix_.constFind(key);
    if (found != typeBySuffix_.constEnd()) return row.type = *found;
    if (typeTexts_.size() >= 0xFFFF) return 0;  // a table that full shows the rest without a type
    static const QMimeDatabase db;
    QMimeType mime;
    QString text;
    QIcon icon;
    QStyle* style = QApplication::style();
    if (key == QLatin1String("/folder")) {
        mime = db.mimeTypeForName(QStringLiteral("inode/directory"));
        text = QStringLiteral("Folder");
        icon = QIcon::fromTheme(QStringLiteral("folder"), style ? style->standardIcon(QStyle::SP_DirIcon) : QIcon());
    } else if (key == QLatin1String("/link")) {
        text = MessageString(235);
        icon = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"),
                                style ? style->standardIcon(QStyle::SP_FileLinkIcon) : QIcon());
    } else {
        mime = key == QLatin1String("/none") ? db.mimeTypeForName(QStringLiteral("application/octet-stream"))
                                               : db.mimeTypeForFile(QStringLiteral("x.") + key, QMimeDatabase::MatchExtension);
        text = mime.isValid() && !mime.comment().isEmpty() ? mime.comment() : QStringLiteral("File");
        // No known type: "TXZ File" for an unknown suffix, "File" without one.
        if (mime.isDefault()) text = key == QLatin1String("/none") ? QStringLiteral("File") : key.toUpper() + QStringLiteral(" File");
        const QIcon fallback = style ? style->standardIcon(QStyle::SP_FileIcon) : QIcon();
        icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName(), fallback));
    }
    const auto index = static_cast<std::uint16_t>(typeTexts_.size());
    typeTexts_.push_back(text);
    typeIcons_.push_back(icon);
    typeBySuffix_.insert(key, index);
    return row.type = index;
}

QString FileRowsModel::TypeText(int row) const {
    if (row < 0 || row >= RowCount()) return {};
    return typeTexts_[TypeIndex(rows_[static_cast<std::size_t>(row)])];
}

QString FileRowsModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount()) return {};
    const FileRow& r = rows_[static_cast<std::size_t>(row)];
    switch (column) {
    case ColName: return DisplayName(r.name);
    case ColSize: return r.IsFolder() || r.size < 0 ? QString() : QString::number(r.size);
    case ColType: return typeTexts_[TypeIndex(r)];
    case ColModified: return TimeText(r.modified);
    default: return {};
    }
}

QIcon FileRowsModel::RowIcon(int row) const {
    if (row < 0 || row >= RowCount()) return {};
    return typeIcons_[TypeIndex(rows_[static_cast<std::size_t>(row)])];
}

int FileRowsModel::CompareRows(int a, int b, int column) const {
    const FileRow& x = rows_[static_cast<std::size_t>(a)];
    const FileRow& y = rows_[static_cast<std::size_t>(b)];
    auto three = [](auto p, auto q) { return p < q ? -1 : (q < p ? 1 : 0); };
    switch (column) {
    case ColSize: return three(x.size, y.size);
    case ColModified: return three(x.modified, y.modified);
    case ColType: return TypeText(a).compare(TypeText(b), Qt::CaseInsensitive);
    default: return three(FoldedKey(x.name), FoldedKey(y.name));
    }
}

bool FileRowsModel::SortKeys(int column, std::vector<std::string>& keys) const {
    keys.clear();
    keys.reserve(rows_.size());
    // One folded text per type, made once: the rows copy their type's key.
    std::vector<std::string> typeKeys;
    if (column == ColType) {
        for (const FileRow& r : rows_) (void)TypeIndex(r);
        typeKeys.reserve(typeTexts_.size());
        for (const QString& text : typeTexts_) typeKeys.push_back(text.toLower().toStdString());
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const FileRow& r = rows_[i];
        std::string key;
        switch (column) {
        case ColSize: AppendBigEndian(key, r.size); break;
        case ColModified: AppendBigEndian(key, r.modified); break;
        case ColType: key = typeKeys[TypeIndex(r)]; break;
        default: key = FoldedKey(r.name); break;
        }
        keys.push_back(std::move(key));
    }
    return true;
}

void FileRowsModel::PermuteRecords(const std::vector<int>& newOrder) {
    std::vector<FileRow> sorted;
    sorted.reserve(rows_.size());
    for (int old : newOrder) sorted.push_back(std::move(rows_[static_cast<std::size_t>(old)]));
    rows_ = std::move(sorted);
}

void FileRowsModel::EraseRecords(int first, int count) {
    rows_.erase(rows_.begin() + first, rows_.begin() + first + count);
}

// ---- CFileView --------------------------------------------------------------------------

// The view's side of a transfer run: the folder it shows (kept up to date
// by the view, read by the run on any thread) and the refresh, which runs on
// the GUI thread and not at all once the view is gone.
class FileViewLink final : public TransferViewLink {
public:
    explicit FileViewLink(CFileView* view) : view_(view) {}
    [[nodiscard]] std::string ShownDirectoryText() const override {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    void SetShown(std::string shown) {
        std::lock_guard lock(mutex_);
        shown_ = std::move(shown);
    }
    void Refresh() override {
        QMetaObject::invokeMethod(
            qApp, [view = view_] { if (view) view->Refresh(); }, Qt::QueuedConnection);
    }

private:
    QPointer<CFileView> view_;
    mutable std::mutex mutex_;
    std::string shown_;
};

CFileView::CFileView(bool utcTimes, QWidget* parent)
    : CZyfarView(parent), files_(new FileRowsModel(utcTimes)), link_(std::make_shared<FileViewLink>(this)) {
    SetModel(files_);
    // Every listing replaces the rows in one reset: the folder shown changes with it.
    connect(files_, &QAbstractItemModel::modelReset, this, [this] { link_->SetShown(ShownFolder()); });
    // "File" starts at 100 pixels; the others fit a typical size, type and time.
    const QFontMetrics fm(font());
    SetColumnWidth(FileRowsModel::ColName, 100);
    SetColumnWidth(FileRowsModel::ColSize, fm.horizontalAdvance(QStringLiteral("0000000000")) + 12);
    SetColumnWidth(FileRowsModel::ColType, fm.horizontalAdvance(QStringLiteral("Plain text document")) + 12);
    SetColumnWidth(FileRowsModel::ColModified, fm.horizontalAdvance(QStringLiteral("Mar/07/2026  09:05")) + 16);
}

void CFileView::SetMask(const QString& mask) {
    mask_ = mask;
    const bool all = mask.isEmpty() || mask == QLatin1String("*") || mask == QLatin1String("*.*");
    files_->SetMaskHeading(all ? QString() : mask);
}

std::shared_ptr<TransferViewLink> CFileView::RefreshLink() {
    link_->SetShown(ShownFolder());
    return link_;
}

void CFileView::SelectRowsByFlags(const std::vector<bool>& flags) {
    QItemSelection selection;
    const int n = std::min(RowCount(), static_cast<int>(flags.size()));
    const int last = Files()->ColumnCount() - 1;
    int start = -1;
    for (int row = 0; row <= n; ++row) {
        const bool on = row < n && flags[static_cast<std::size_t>(row)];
        if (on && start < 0) start = row;
        if (!on && start >= 0) {
            selection.select(files_->index(start, 0), files_->index(row - 1, last));
            start = -1;
        }
    }
    SelectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void CFileView::StartTransfer(std::unique_ptr<TransferRun> run) {
    if (run) new CTransferDlg(std::move(run));
}

}  // namespace zyfar
