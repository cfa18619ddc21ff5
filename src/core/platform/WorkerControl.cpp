#include "platform/WorkerControl.h"

#include <sys/socket.h>

#include <algorithm>

namespace zyfar {

void WorkerControl::Pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void WorkerControl::Resume() {
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    wake_.notify_all();
}

void WorkerControl::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        // Shutting down under the lock: UnregisterSocket() takes the same
        // lock, so a descriptor is never closed (and reused) while we use it.
        for (int fd : sockets_) {
            ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& waker : wakers_) {
            waker.second();
        }
    }
    wake_.notify_all();
}

void WorkerControl::ShutdownSockets() {
    std::lock_guard lock(mutex_);
    for (int fd : sockets_) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

bool WorkerControl::IsCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool WorkerControl::IsPaused() const {
    std::lock_guard lock(mutex_);
    return paused_;
}

bool WorkerControl::Checkpoint() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !paused_ || cancelled_; });
    return !cancelled_;
}

void WorkerControl::RegisterSocket(int fd) {
    if (fd < 0) {
        return;
    }
    std::lock_guard lock(mutex_);
    sockets_.push_back(fd);
    if (cancelled_) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

void WorkerControl::UnregisterSocket(int fd) {
    std::lock_guard lock(mutex_);
    auto it = std::find(sockets_.begin(), sockets_.end(), fd);
    if (it != sockets_.end()) {
        sockets_.erase(it);
    }
}

int WorkerControl::AddCancelWaker(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        wake();
    }
    const int id = nextWaker_++;
    wakers_.emplace_back(id, std::move(wake));
    return id;
}

void WorkerControl::RemoveCancelWaker(int id) {
    std::lock_guard lock(mutex_);
    std::erase_if(wakers_, [id](const auto& w) { return w.first == id; });
}

bool WorkerControl::SleepFor(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, duration, [this] { return cancelled_; });
    return !cancelled_;
}

void CancellableEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

bool CancellableEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

bool CancellableEvent::Wait(WorkerControl* control) {
    // The waker only touches this event's own state, under its own lock, so
    // the control's lock is never taken while this one is held.
    const int waker = control == nullptr ? 0 : control->AddCancelWaker([this] {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
    });
    bool set = false;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return set_ || cancelled_; });
        set = set_;
    }
    if (control != nullptr) {
        control->RemoveCancelWaker(waker);
    }
    return set;
}

namespace {
thread_local WorkerControl* t_currentControl = nullptr;
}  // namespace

WorkerControl* CurrentWorkerControl() { return t_currentControl; }

WorkerScope::WorkerScope(WorkerControl* control) : previous_(t_currentControl) { t_currentControl = control; }

WorkerScope::~WorkerScope() { t_currentControl = previous_; }

SocketRegistration::SocketRegistration(WorkerControl* control, int fd)
    : control_(control), fd_(fd) {
    if (control_ != nullptr) {
        control_->RegisterSocket(fd_);
    }
}

SocketRegistration::~SocketRegistration() {
    if (control_ != nullptr) {
        control_->UnregisterSocket(fd_);
    }
}

}  // namespace zyfar
