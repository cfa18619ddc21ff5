#include "platform/UiHost.h"

#include <atomic>

namespace zyfar {
namespace {

class QuietHost final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override { quitRequested.store(true); }
    MessageAnswer ShowMessage(const std::string&, MessageKind, MessageButtons buttons) override {
        switch (buttons) {
        case MessageButtons::Ok:
        case MessageButtons::OkCancel: return MessageAnswer::Ok;
        case MessageButtons::YesNo:
        case MessageButtons::YesNoCancel: return MessageAnswer::Yes;
        }
        return MessageAnswer::Ok;
    }
    std::atomic<bool> quitRequested{false};
};

QuietHost& DefaultHost() {
    static QuietHost host;
    return host;
}

std::atomic<UiHost*> g_host{nullptr};

}  // namespace

UiHost& Ui() {
    UiHost* host = g_host.load(std::memory_order_acquire);
    return host ? *host : DefaultHost();
}

void ServeUiWhileWaiting(const std::function<bool()>& done) {
    UiHost& host = Ui();
    if (host.OnUiThread()) host.ServeUntil(done);
}

void SetUiHost(UiHost* host) { g_host.store(host, std::memory_order_release); }

}  // namespace zyfar
