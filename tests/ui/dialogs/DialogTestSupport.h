#pragma once
// Shared pieces of the dialog tests: a private home and settings file, a UI
// host that counts quit requests and serves the event loop like the main
// window, a queue sink that records reports, and field lookup by accessible
// name. Header-only.
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/TransferQueueSink.h"
#include "log/LogEntry.h"
#include "log/TransferLog.h"
#include "platform/UiHost.h"
#include "settings/SettingsStore.h"

namespace zyfar::uitest {

class TestHost final : public UiHost {
public:
    void SetTrayState(int) override {}
    void RequestQuit() override { ++quits; }
    MessageAnswer ShowMessage(const std::string&, MessageKind, MessageButtons) override { return MessageAnswer::Ok; }
    bool OnUiThread() const override { return QThread::currentThread() == QCoreApplication::instance()->thread(); }
    void ServeUntil(const std::function<bool()>& done) override {
        QTimer tick;
        tick.start(20);
        while (!done()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    std::atomic<int> quits{0};
};

class RecordingSink final : public TransferQueueSink {
public:
    void ApplyRun(const QueueReport& report) override {
        std::lock_guard guard(mutex_);
        reports_.push_back(report);
    }
    std::vector<QueueReport> Reports() const {
        std::lock_guard guard(mutex_);
        return reports_;
    }
    void Clear() {
        std::lock_guard guard(mutex_);
        reports_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<QueueReport> reports_;
};

// A private XDG home and settings file for the whole test program, with the
// transfer log in memory only.
class PrivateHome {
public:
    PrivateHome() {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
            qputenv(name, (dir_.path() + "/" + name).toUtf8());
        }
        SetSettingsFileForTesting((dir_.path() + "/store/Zyfar.ini").toStdString());
        WriteProfileString("LOG", "ToFile", "NO");
        (void)TheTransferLog().ReloadSettings();
    }
    ~PrivateHome() { SetSettingsFileForTesting(""); }
    [[nodiscard]] QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// The text of the label or line edit with this accessible name.
inline QString FieldText(const QWidget* window, const QString& accessibleName) {
    for (const QLabel* l : window->findChildren<QLabel*>())
        if (l->accessibleName() == accessibleName) return l->text();
    for (const QLineEdit* e : window->findChildren<QLineEdit*>())
        if (e->accessibleName() == accessibleName) return e->text();
    return QStringLiteral("<no field %1>").arg(accessibleName);
}

// The log entries of one event code, as "source > destination | file | detail".
inline QStringList Logged(int code) {
    QStringList out;
    for (const LogEntry& e : TheTransferLog().Entries()) {
        if (e.code == StoredLogCode(code))
            out << QString::fromStdString(e.source + " > " + e.destination + " | " + e.file + " | " + e.detail);
    }
    return out;
}

// Waits (bounded, off the event loop) for a condition another thread makes true.
template <typename Pred>
bool WaitOffLoop(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return pred();
}

}  // namespace zyfar::uitest
