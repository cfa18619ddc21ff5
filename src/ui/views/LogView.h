#pragma once
// The transfer log at the bottom of every screen. It shows the entries of the
// process's TransferLog that the current filter admits. Entries written by
// workers arrive in batches: the log's subscriber appends them to a pending
// vector under a mutex and posts one flush to the GUI thread when that vector
// turns non-empty; the flush adds every pending entry with one insert and
// scrolls to the last row once. A refill (filter change, clear, loaded file)
// is one reset from VisibleEntries().
//
// Commands: 1126 open a log file, 1178 save the rows, 1231 (and 1127) clear
// the log, 57607 print, 57609 print preview; a double-click removes one row
// from the view (the log keeps the entry). The main window changes the filter
// through TransferLog::SetFilter; the view then refills.
#include <QStringList>
#include <memory>

#include "views/LogListModel.h"
#include "views/ZyfarView.h"

class QPagedPaintDevice;

namespace zyfar {

class TransferLog;
class LogViewBridge;

class CLogView : public CZyfarView {
    Q_OBJECT
public:
    // Shows `log` (the process's log by default) and subscribes to it.
    explicit CLogView(QWidget* parent = nullptr);
    explicit CLogView(TransferLog& log, QWidget* parent = nullptr);
    ~CLogView() override;  // unsubscribes

    [[nodiscard]] LogListModel* LogModel() const { return logModel_; }
    [[nodiscard]] TransferLog& Log() const { return log_; }

    bool HandleCommand(int id) override;
    [[nodiscard]] std::optional<CommandState> CommandStateOf(int id) const override;

    // The commands, callable directly.
    void OpenLogFile();       // 1126
    void SaveLogFile();       // 1178
    bool ClearList() override;  // 1231 / 1127: the log's clear
    void Print();             // 57607
    void PrintPreview();      // 57609

    // The printed lines of the rows in their current order: event text,
    // date, time, source, destination, file and detail joined by blanks.
    [[nodiscard]] QStringList PrintLines() const;
    // Prints the rows on a paged device (a printer, a PDF writer); answers
    // the pages painted (0 without rows).
    int PrintTo(QPagedPaintDevice& device) const;

    // Applies what the log announced so far (the posted flush; tests call it
    // to avoid waiting for the event loop).
    void FlushPending();
    // How many flushes applied entries (diagnostics for the batching).
    [[nodiscard]] int Flushes() const { return flushes_; }

    void OnDoubleClick(int row) override;
    void DeleteSelection() override;

private:
    void Setup();

    TransferLog& log_;
    LogListModel* logModel_ = nullptr;
    std::shared_ptr<LogViewBridge> bridge_;
    int subscription_ = 0;
    int flushes_ = 0;
};

}  // namespace zyfar
