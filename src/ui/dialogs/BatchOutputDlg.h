#pragma once
// The batch output window ("Zyfar Batch File Dialog") of one script run: the
// list of the run's output lines, "Stop"/"Resume" and "Cancel". The window
// owns the run (a ScriptRunner and its worker) and has no owner window, so
// several runs and the main window never block each other.
//
// Lines arrive in batches: the worker appends each line to a pending vector
// under a mutex and posts one flush to the GUI thread when that vector turns
// non-empty; the flush appends the pending lines with one row insertion (at
// most 5,000 at a time, the rest in the next turn of the event loop) and
// scrolls to the last row once. A run that writes 100,000 lines costs a few
// dozen flushes, not 100,000 queued calls.
//
// A "message" line is shown as an information box over this window while the
// worker waits; the wait also ends when the run is cancelled (the box is then
// closed). Closing the window while the run goes on cancels the run without
// a question when a message box is waiting, else it is the Cancel button.
// The window goes away only after its worker has ended, and never under a
// box or question of its own.
//
// Stop suspends the run at its next line or copy pass and the button reads
// "Resume" (33035); Resume continues and the button reads "Stop" (33034).
// Cancel suspends the run and asks "Cancel FTP sending?" (207): No resumes
// it (a run the user had stopped stays stopped), Yes cancels it (its
// sessions are closed and logged) and the window closes. After the run the
// window stays open, "Stop" disabled, until the user closes it.
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/ScriptOutput.h"

class QTreeView;
class QPushButton;

namespace zyfar {

class BatchOutputBridge;
class BatchLinesModel;
class ScriptRunner;
struct BatchMessage;

class BatchOutputDlg : public QDialog {
    Q_OBJECT
public:
    // Runs once on the GUI thread when the run has ended (sessions closed),
    // whatever ended it: the end of the file, a cancel, or CancelAll.
    using FinishedFn = std::function<void(const ScriptRunResult&)>;

    // "Run Script" (1177), the scheduler and the command line: opens a new
    // window for the script (modeless, shown, no owner) and starts its run.
    // The window deletes itself once closed and its run has ended.
    static BatchOutputDlg* RunScript(const QString& scriptPath, FinishedFn onFinished = {});

    // Does not start the run (RunScript does: Start()).
    explicit BatchOutputDlg(const QString& scriptPath, FinishedFn onFinished = {});
    // A run still going is cancelled and its worker waited for.
    ~BatchOutputDlg() override;

    void Start();

    // The run's state: 1 running, 2 suspended, 3 finished.
    [[nodiscard]] int State() const;
    [[nodiscard]] std::optional<ScriptRunResult> Result() const;
    // The lines shown so far.
    [[nodiscard]] QStringList Lines() const;
    [[nodiscard]] int LineCount() const;
    [[nodiscard]] QPushButton* StopButton() const { return stop_; }
    [[nodiscard]] QPushButton* CancelButton() const { return cancel_; }
    [[nodiscard]] QTreeView* List() const { return list_; }
    // True while a "message" box of the run is shown.
    [[nodiscard]] bool ShowingMessage() const { return messageDepth_ > 0; }

    // The buttons, callable directly.
    void StopClicked();
    void CancelClicked();

    // Applies the lines written so far (the posted flush; tests and the
    // benchmark call it to skip the event loop).
    void FlushPending();
    // How many flushes added lines (diagnostics for the batching).
    [[nodiscard]] int Flushes() const { return flushes_; }

    // Every batch output window open now.
    [[nodiscard]] static int OpenCount();
    // Program shutdown: cancels every run without asking, waits for each
    // worker (message boxes they asked for end), runs their FinishedFn and
    // deletes the windows.
    static void CancelAll();

signals:
    // The run has ended (after FinishedFn).
    void runFinished();

public slots:
    void reject() override;  // Escape: the Cancel button

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class BatchOutputBridge;
    void BuildUi();
    void OnRunFinished();
    // A "message" line, on the GUI thread.
    void ShowScriptMessage(const std::shared_ptr<BatchMessage>& message);
    // Cancels the run and lets the window go once the run has ended.
    void CancelAndClose();
    // Deletes the window when it is closing, its run has ended and no box
    // or question of its own is open.
    void DeleteWhenDone();

    QString scriptPath_;
    FinishedFn onFinished_;
    std::shared_ptr<BatchOutputBridge> bridge_;
    std::unique_ptr<ScriptRunner> runner_;

    QTreeView* list_ = nullptr;
    BatchLinesModel* model_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* cancel_ = nullptr;

    // Lines taken from the worker and not shown yet (GUI thread).
    std::vector<std::string> backlog_;
    std::size_t backlogNext_ = 0;

    int messageDepth_ = 0;   // "message" boxes open now
    bool asking_ = false;    // the 207 question is open
    bool finished_ = false;  // OnRunFinished ran
    bool closing_ = false;   // the window goes once the run has ended
    bool deleting_ = false;
    int flushes_ = 0;
};

}  // namespace zyfar
