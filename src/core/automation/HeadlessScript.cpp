#include "automation/HeadlessScript.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "automation/QueueFile.h"
#include "automation/ScriptOutput.h"
#include "automation/ScriptRunner.h"
#include "platform/MessageTable.h"
#include "platform/TextUtil.h"

namespace zyfar {
namespace {

constexpr int kMsgCannotOpenScript = 33050;  // "Could not open Zyfar Script file, exiting ...."

void PrintLine(std::FILE* stream, const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

class StreamOutput final : public ScriptOutput {
public:
    explicit StreamOutput(std::FILE* out) : out_(out) {}
    void AddLine(const std::string& line) override { PrintLine(out_, line); }

private:
    std::FILE* out_;
};

// Nobody is there to close a message box: the text is printed and the run
// goes on. A beep rings the terminal when standard error is one.
class StreamHost final : public ScriptHost {
public:
    explicit StreamHost(std::FILE* out) : out_(out) {}
    void ShowMessage(const std::string& text) override {
        std::string shown = text;
        for (char& c : shown) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F) c = '?';
        }
        PrintLine(out_, shown);
    }
    void Beep() override { DefaultScriptHost().Beep(); }

private:
    std::FILE* out_;
};

bool EndsWithCmd(const std::string& path) {
    return EndsWithNoCase(path, ".cmd");
}

void PrintMessage(std::FILE* stream, int id) { PrintLine(stream, std::string(MessageText(id))); }

// Blocks SIGINT, SIGTERM and SIGHUP for its lifetime, on this thread and on
// the threads it starts, so that they can be waited for instead of killing
// the run halfway.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        sigaddset(&set_, SIGHUP);
        blocked_ = pthread_sigmask(SIG_BLOCK, &set_, &previous_) == 0;
    }
    ~StopSignals() {
        if (!blocked_) return;
        // Signals that come in after the run has ended keep their usual effect.
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Waits up to `ms` milliseconds; true when a stop signal arrived.
    bool Wait(long ms) const {
        if (!blocked_) {
            timespec pause{0, ms * 1000000L};
            ::nanosleep(&pause, nullptr);
            return false;
        }
        timespec timeout{0, ms * 1000000L};
        return ::sigtimedwait(&set_, nullptr, &timeout) > 0;
    }

private:
    sigset_t set_{};
    sigset_t previous_{};
    bool blocked_ = false;
};

}  // namespace

bool IsScriptFilePath(const std::string& path) {
    struct stat st {};
    return EndsWithCmd(path) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int RunHeadlessScript(const std::string& path, std::FILE* out, std::FILE* err) {
    if (!IsScriptFilePath(path)) {
        PrintMessage(err, kMsgCannotOpenScript);
        return kHeadlessBadScript;
    }
    const int queueFailuresBefore = QueueWriteFailures();
    StreamOutput output(out);
    StreamHost host(out);
    ScriptRunResult result;
    {
        // The run goes on a worker of its own; this thread waits for it and
        // turns Ctrl-C (or a SIGTERM from cron) into a cancel, so the run still
        // closes and logs its sessions.
        StopSignals signals;
        ScriptRunner runner(path, output, host);
        runner.Start();
        while (runner.state() != ScriptRunner::State::Finished) {
            if (signals.Wait(100)) runner.Cancel();
        }
        runner.Wait();
        result = runner.Result().value_or(ScriptRunResult{});
    }
    if (result.end == ScriptEnd::CouldNotOpen) PrintMessage(err, kMsgCannotOpenScript);
    return ScriptExitStatus(result, QueueWriteFailures() == queueFailuresBefore);
}

int ScriptExitStatus(const ScriptRunResult& result, bool queueWritten) {
    if (result.end == ScriptEnd::CouldNotOpen) return kHeadlessBadScript;
    return result.errorBlocks == 0 && result.end == ScriptEnd::EndOfFile && queueWritten ? kHeadlessOk
                                                                                          : kHeadlessErrors;
}

}  // namespace zyfar
