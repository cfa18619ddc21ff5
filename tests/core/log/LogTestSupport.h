#pragma once
// Shared pieces of the transfer log tests: a private home (support/TestEnv.h)
// and a UI host that records message boxes.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/UiHost.h"
#include "support/TestEnv.h"

namespace zyfar::logtest {

using test::ReadText;
using test::SplitLines;
using test::WriteText;

class RecordingHost final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override {}
    MessageAnswer ShowMessage(const std::string& text, MessageKind, MessageButtons) override {
        std::lock_guard guard(mutex_);
        messages_.push_back(text);
        return MessageAnswer::Ok;
    }
    std::vector<std::string> Messages() {
        std::lock_guard guard(mutex_);
        return messages_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

// A private home with the recording UI host installed; `root` is its folder.
class LogTest : public test::IsolatedHomeTest {
protected:
    void SetUp() override {
        IsolatedHomeTest::SetUp();
        root = Root();
        SetUiHost(&host);
    }
    void TearDown() override {
        SetUiHost(nullptr);
        IsolatedHomeTest::TearDown();
    }
    std::string root;
    RecordingHost host;
};

}  // namespace zyfar::logtest
