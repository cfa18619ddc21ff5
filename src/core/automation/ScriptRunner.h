#pragma once
// A script run on a worker thread of its own, for the batch output dialog and
// the scheduler: the dialog's Stop, Resume and Cancel pause, resume or cancel
// the worker cooperatively (it notices at its next script line or copy pass;
// a cancel also ends any blocking network wait at once). A cancelled run
// still closes every session it opened, each closing logged.
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "automation/ScriptOutput.h"
#include "platform/WorkerControl.h"

namespace zyfar {

class TransferLog;

class ScriptRunner {
public:
    // The batch output dialog's states.
    enum class State { Running = 1, Suspended = 2, Finished = 3 };
    using FinishedFn = std::function<void(const ScriptRunResult&)>;

    // output, host and log must outlive the runner. onFinished runs on the
    // worker thread once the run has ended and its sessions are closed
    // (the command-line run asks the program to quit there).
    ScriptRunner(std::string scriptPath, ScriptOutput& output, ScriptHost& host, TransferLog* log = nullptr,
                 FinishedFn onFinished = {});
    // Cancels a run still going and waits for its worker.
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Starts the worker (once).
    void Start();
    // "Stop": the run pauses at its next line or copy pass.
    void Stop();
    void Resume();
    // Ends the run: sessions are closed and the worker finishes.
    void Cancel();
    // Waits for the worker to end (no-op when it was never started).
    void Wait();

    [[nodiscard]] State state() const;
    // The run's result once it has finished.
    [[nodiscard]] std::optional<ScriptRunResult> Result() const;

private:
    void Work();

    const std::string scriptPath_;
    ScriptOutput& output_;
    ScriptHost& host_;
    TransferLog* log_;
    FinishedFn onFinished_;
    WorkerControl control_;

    mutable std::mutex mutex_;
    State state_ = State::Running;
    std::optional<ScriptRunResult> result_;
    std::thread worker_;
};

}  // namespace zyfar
