#include "automation/ScriptOutput.h"

#include <unistd.h>

#include "platform/UiHost.h"

namespace zyfar {
namespace {

class UiScriptHost final : public ScriptHost {
public:
    void ShowMessage(const std::string& text) override {
        (void)Ui().ShowMessage(text, MessageKind::Information, MessageButtons::Ok);
    }
    void Beep() override {
        if (::isatty(STDERR_FILENO) == 1) {
            const char bel = '\a';
            (void)!::write(STDERR_FILENO, &bel, 1);
        }
    }
};

}  // namespace

ScriptHost& DefaultScriptHost() {
    static UiScriptHost host;
    return host;
}

void ScriptOutputCollector::AddLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
}

std::vector<std::string> ScriptOutputCollector::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

}  // namespace zyfar
