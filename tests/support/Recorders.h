#pragma once
// Recording stand-ins for what the core calls out to: the user-interface host
// and the sound player. Any thread may call them. Header-only.
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/SoundPlayer.h"
#include "platform/UiHost.h"

namespace zyfar::test {

// A list that several threads may add to.
template <typename T>
class Recorded {
public:
    void Add(T value) { std::lock_guard guard(mutex_); values_.push_back(std::move(value)); }
    std::vector<T> Get() const { std::lock_guard guard(mutex_); return values_; }
    void Clear() { std::lock_guard guard(mutex_); values_.clear(); }

private:
    mutable std::mutex mutex_;
    std::vector<T> values_;
};

struct ShownMessage {
    std::string text;
    MessageKind kind;
    MessageButtons buttons;
};

// Records message boxes, tray states and quit requests; every box is answered with `answer`.
class RecordingUiHost final : public UiHost {
public:
    void SetTrayState(int state) override { trayStates.Add(state); }
    void RequestQuit() override { ++quits; }
    MessageAnswer ShowMessage(const std::string& text, MessageKind kind, MessageButtons buttons) override {
        shown.Add({text, kind, buttons});
        return answer.load();
    }
    // The texts of the boxes shown so far.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownMessage& m : shown.Get()) texts.push_back(m.text);
        return texts;
    }
    Recorded<ShownMessage> shown;
    Recorded<int> trayStates;
    std::atomic<int> quits{0};
    std::atomic<MessageAnswer> answer{MessageAnswer::Ok};
};

class RecordingPlayer final : public SoundPlayer {
public:
    void Play(const std::string& path) override { played.Add(path); }
    Recorded<std::string> played;
};

}  // namespace zyfar::test
