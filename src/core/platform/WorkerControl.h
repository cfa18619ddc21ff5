#pragma once
// Cooperative control of one worker thread: a pause gate, a cancel flag and the
// sockets the worker may block on. Another thread pauses, resumes or cancels
// the worker; the worker notices at its next checkpoint, and a cancel also
// shuts its registered sockets down so that blocking I/O returns at once.
// No thread is ever killed.
#include <condition_variable>
#include <mutex>
#include <vector>

namespace zyfar {

class WorkerControl {
public:
    WorkerControl() = default;
    WorkerControl(const WorkerControl&) = delete;
    WorkerControl& operator=(const WorkerControl&) = delete;

    // Any thread. The worker stops at its next Checkpoint() until Resume().
    void Pause();
    void Resume();
    // Any thread. Sets the cancel flag, releases a paused worker and shuts
    // down every registered socket (both directions). Cannot be undone.
    void Cancel();

    [[nodiscard]] bool IsCancelled() const;
    [[nodiscard]] bool IsPaused() const;

    // Worker thread. Blocks while paused; false once cancelled.
    [[nodiscard]] bool Checkpoint();

    // Worker thread. A registered socket is shut down by Cancel(); a socket
    // registered after Cancel() is shut down at once. Unregister before the
    // descriptor is closed, so Cancel() never touches a reused descriptor.
    void RegisterSocket(int fd);
    void UnregisterSocket(int fd);

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool paused_ = false;
    bool cancelled_ = false;
    std::vector<int> sockets_;
};

// Registers a socket for the lifetime of this object (no-op with a null control).
class SocketRegistration {
public:
    SocketRegistration(WorkerControl* control, int fd);
    ~SocketRegistration();
    SocketRegistration(const SocketRegistration&) = delete;
    SocketRegistration& operator=(const SocketRegistration&) = delete;

private:
    WorkerControl* control_;
    int fd_;
};

}  // namespace zyfar
