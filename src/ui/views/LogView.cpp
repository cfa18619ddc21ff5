#include "views/LogView.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTreeView>
#include <mutex>

#include "dialogs/Prompter.h"
#include "log/LogFile.h"
#include "log/TransferLog.h"
#include "settings/Keys.h"
#include "views/LogPrinting.h"

namespace zyfar {
namespace {

constexpr int kMsgListEmpty = 33043;
constexpr int kMsgOverwrite = 147;
constexpr int kMsgClearList = 345;

QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

FileRequest LogFileRequest(FileRequest::Kind kind, const QString& title) {
    FileRequest request;
    request.kind = kind;
    request.title = title;
    const std::string dataDir = Read(keys::DataDir);
    request.folder = dataDir.empty() ? QDir::currentPath() : FromStd(dataDir);
    request.filter = QStringLiteral("Logs (*.log)");
    request.defaultSuffix = QStringLiteral("log");
    return request;
}

}  // namespace

// The log's subscriber. Called on whichever thread wrote an entry; it only
// queues and posts. The view unsubscribes before it goes, and the log
// guarantees no call runs after that, so `view_` is valid in every call; a
// posted flush that has not run yet is dropped with the view.
class LogViewBridge final : public LogSubscriber {
public:
    explicit LogViewBridge(CLogView* view) : view_(view) {}

    struct Batch {
        std::vector<LogEntry> entries;
        bool refill = false;
        quint64 generation = 0;
    };

    void OnLogEntry(const LogEntry& entry, bool shown) override {
        if (!shown) return;
        bool post = false;
        {
            std::lock_guard guard(mutex_);
            if (entry.number <= dropUpTo_) return;  // already in a refill's rows
            pending_.push_back(entry);
            post = !posted_;
            posted_ = true;
        }
        if (post) Post();
    }

    void OnLogRefill() override {
        bool post = false;
        {
            std::lock_guard guard(mutex_);
            pending_.clear();  // the refill's rows hold them
            refill_ = true;
            dropUpTo_ = 0;
            ++generation_;
            post = !posted_;
            posted_ = true;
        }
        if (post) Post();
    }

    // GUI thread: everything announced so far.
    Batch Take() {
        std::lock_guard guard(mutex_);
        Batch batch;
        batch.entries.swap(pending_);
        batch.refill = refill_;
        batch.generation = generation_;
        refill_ = false;
        posted_ = false;
        return batch;
    }

    // GUI thread, after a refill read the log's rows up to entry number
    // `last`: later announcements of those entries are dropped, and the
    // entries announced since Take are handed over. Nothing when another
    // refill came meanwhile (the caller starts again).
    std::optional<std::vector<LogEntry>> SettleRefill(quint64 generation, int last) {
        std::lock_guard guard(mutex_);
        if (generation != generation_) return std::nullopt;
        dropUpTo_ = last;
        std::vector<LogEntry> entries;
        entries.swap(pending_);
        posted_ = false;
        return entries;
    }

private:
    void Post() { QMetaObject::invokeMethod(view_, &CLogView::FlushPending, Qt::QueuedConnection); }

    CLogView* const view_;
    std::mutex mutex_;
    std::vector<LogEntry> pending_;
    bool refill_ = false;
    bool posted_ = false;
    int dropUpTo_ = 0;
    quint64 generation_ = 0;
};

CLogView::CLogView(QWidget* parent) : CLogView(TheTransferLog(), parent) {}

CLogView::CLogView(TransferLog& log, QWidget* parent) : CZyfarView(parent), log_(log) { Setup(); }

CLogView::~CLogView() { log_.Unsubscribe(subscription_); }

void CLogView::Setup() {
    logModel_ = new LogListModel(this);
    SetModel(logModel_);
    SetAccessibleName(QStringLiteral("Transfer log"));
    SetColumnWidth(0, 100);
    SetColumnWidth(1, 50);
    SetColumnWidth(2, 100);
    ReportView()->header()->setStretchLastSection(true);
    bridge_ = std::make_shared<LogViewBridge>(this);
    // Subscribe first, then fill: a refill announced meanwhile only repeats the fill.
    subscription_ = log_.Subscribe(bridge_);
    bridge_->OnLogRefill();
    FlushPending();
}

void CLogView::FlushPending() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        LogViewBridge::Batch batch = bridge_->Take();
        if (!batch.refill) {
            if (batch.entries.empty()) return;
            ++flushes_;
            logModel_->Append(std::move(batch.entries));
            ActiveItemView()->scrollToBottom();
            return;
        }
        std::vector<LogEntry> rows = log_.VisibleEntries();
        const int last = rows.empty() ? 0 : rows.back().number;
        std::optional<std::vector<LogEntry>> since = bridge_->SettleRefill(batch.generation, last);
        if (!since) continue;  // another refill meanwhile: read again
        for (std::vector<LogEntry>* part : {&batch.entries, &*since})
            for (LogEntry& e : *part)
                if (e.number > last) rows.push_back(std::move(e));
        ++flushes_;
        logModel_->Reset(std::move(rows));
        ResetSortState();
        ActiveItemView()->scrollToBottom();
        return;
    }
}

bool CLogView::HandleCommand(int id) {
    switch (id) {
    case cmd::LogOpen: OpenLogFile(); return true;
    case cmd::LogSave: SaveLogFile(); return true;
    case cmd::LogClear:
    case cmd::ClearList: ClearList(); return true;
    case cmd::PrintLog: Print(); return true;
    case cmd::PrintPreview: PrintPreview(); return true;
    default: return CZyfarView::HandleCommand(id);
    }
}

std::optional<CommandState> CLogView::CommandStateOf(int id) const {
    switch (id) {
    case cmd::LogOpen:
    case cmd::LogSave:
    case cmd::LogClear:
    case cmd::ClearList:
    case cmd::PrintPreview: return CommandState{};
    case cmd::PrintLog: return CommandState{RowCount() > 0, std::nullopt};
    default: return CZyfarView::CommandStateOf(id);
    }
}

void CLogView::OpenLogFile() {
    const std::optional<QString> path = Prompt().ChooseFile(this, LogFileRequest(FileRequest::Kind::Open, QStringLiteral("Open Log File")));
    if (!path) return;
    const LogLoadResult result = log_.LoadFile(QFile::encodeName(*path).toStdString());
    FlushPending();  // the refill the load announced
    if (!result.message.empty())
        AskText(this, FromStd(result.message), result.Ok() ? MessageKind::Information : MessageKind::Stop,
                MessageButtons::Ok);
}

void CLogView::SaveLogFile() {
    if (RowCount() == 0) {
        AskMessage(this, kMsgListEmpty, MessageKind::Information, MessageButtons::Ok);
        return;
    }
    const std::optional<QString> path = Prompt().ChooseFile(this, LogFileRequest(FileRequest::Kind::Save, QStringLiteral("Save Log File")));
    if (!path) return;
    if (QFileInfo::exists(*path) &&
        AskMessage(this, kMsgOverwrite, MessageKind::Question, MessageButtons::OkCancel) != MessageAnswer::Ok)
        return;
    const LogSaveResult result = zyfar::SaveLogFile(QFile::encodeName(*path).toStdString(),
                                                       std::vector<LogEntry>(logModel_->Entries().begin(),
                                                                             logModel_->Entries().end()));
    if (!result.ok) AskText(this, FromStd(result.message), MessageKind::Stop, MessageButtons::Ok);
}

bool CLogView::ClearList() {
    if (RowCount() > 0 &&
        AskMessage(this, kMsgClearList, MessageKind::Question, MessageButtons::OkCancel) != MessageAnswer::Ok)
        return false;
    log_.Clear();
    FlushPending();  // the refill the clear announced: no rows
    return true;
}

QStringList CLogView::PrintLines() const {
    QStringList lines;
    lines.reserve(RowCount());
    for (const LogEntry& e : logModel_->Entries()) {
        const std::string_view event = LogEventText(e.code);
        lines.append(QStringList{QString::fromUtf8(event.data(), static_cast<qsizetype>(event.size())), FromStd(e.date),
                                 FromStd(e.time), FromStd(e.source), FromStd(e.destination), FromStd(e.file),
                                 FromStd(e.detail)}
                         .join(QLatin1Char(' ')));
    }
    return lines;
}

int CLogView::PrintTo(QPagedPaintDevice& device) const { return PrintLogLines(device, PrintLines()); }

void CLogView::Print() {
    if (RowCount() == 0) return;  // nothing to print
    QPrinter& printer = ProgramPrinter();
    QPrintDialog dialog(&printer, this);
    dialog.setAccessibleName(QStringLiteral("Print log"));
    if (dialog.exec() != QDialog::Accepted) return;
    PrintTo(printer);
}

void CLogView::PrintPreview() {
    QPrintPreviewDialog preview(&ProgramPrinter(), this);
    preview.setWindowTitle(QStringLiteral("Log Print Preview"));
    preview.setAccessibleName(QStringLiteral("Log print preview"));
    preview.resize(840, 900);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { PrintTo(*p); });
    preview.exec();
}

void CLogView::OnDoubleClick(int row) { logModel_->RemoveRowsAt({row}); }

void CLogView::DeleteSelection() { DeleteSelectedRows(); }

}  // namespace zyfar
