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
    }
    wake_.notify_all();
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
