#include "automation/ScriptRunner.h"

#include <utility>

#include "automation/ScriptInterpreter.h"
#include "platform/UiHost.h"

namespace zyfar {

ScriptRunner::ScriptRunner(std::string scriptPath, ScriptOutput& output, ScriptHost& host, TransferLog* log,
                           FinishedFn onFinished)
    : scriptPath_(std::move(scriptPath)),
      output_(output),
      host_(host),
      log_(log),
      onFinished_(std::move(onFinished)) {}

ScriptRunner::~ScriptRunner() {
    if (state() != State::Finished) control_.Cancel();
    Wait();
}

void ScriptRunner::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (worker_.joinable() || result_) return;
    worker_ = std::thread([this] { Work(); });
}

void ScriptRunner::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Running) return;
    control_.Pause();
    state_ = State::Suspended;
}

void ScriptRunner::Resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Suspended) return;
    control_.Resume();
    state_ = State::Running;
}

void ScriptRunner::Cancel() { control_.Cancel(); }

void ScriptRunner::Wait() {
    if (!worker_.joinable() || worker_.get_id() == std::this_thread::get_id()) return;
    // On the GUI thread the run's message boxes are still shown while it ends.
    ServeUiWhileWaiting([this] { return state() == State::Finished; });
    worker_.join();
}

ScriptRunner::State ScriptRunner::state() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

std::optional<ScriptRunResult> ScriptRunner::Result() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

void ScriptRunner::Work() {
    const WorkerScope worker(&control_);  // a "message" box ends its wait on a cancel
    ScriptRunResult result;
    {
        ScriptInterpreter interpreter(output_, host_, log_, &control_);
        result = interpreter.Run(scriptPath_);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = result;
        state_ = State::Finished;
    }
    if (onFinished_) onFinished_(result);
}

}  // namespace zyfar
