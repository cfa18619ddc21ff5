#pragma once
// Cooperative control of one worker thread: a pause gate, a cancel flag and the
// sockets the worker may block on. Another thread pauses, resumes or cancels
// the worker; the worker notices at its next checkpoint, and a cancel also
// shuts its registered sockets down so that blocking I/O returns at once.
// No thread is ever killed.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
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
    // Any thread, while the worker is suspended or blocked in I/O: shuts the
    // registered sockets down without cancelling, so blocked I/O on them
    // returns at once (the connection is given up, the worker goes on).
    void ShutdownSockets();

    // Any thread. `wake` runs once when Cancel() happens (at once when the
    // control is cancelled already). It runs under the control's lock: it
    // must be short and must not call back into the control. Remove it
    // before whatever it touches goes away; after RemoveCancelWaker returns
    // it never runs again.
    [[nodiscard]] int AddCancelWaker(std::function<void()> wake);
    void RemoveCancelWaker(int id);

    // Worker thread. Sleeps up to `duration`; a cancel ends the sleep at
    // once. False when cancelled.
    bool SleepFor(std::chrono::milliseconds duration);

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool paused_ = false;
    bool cancelled_ = false;
    std::vector<int> sockets_;
    std::vector<std::pair<int, std::function<void()>>> wakers_;
    int nextWaker_ = 1;
};

// A one-shot event one thread waits for and another sets, shared through a
// shared_ptr so the setting side may outlive the waiter (a resolver thread,
// a message box on the GUI thread). A cancel of the waiter's control ends
// the wait at once.
class CancellableEvent {
public:
    // Any thread; later calls do nothing.
    void Set();
    [[nodiscard]] bool IsSet() const;
    // Waits until Set() or until `control` is cancelled; true when set.
    // A null control waits for Set() alone.
    [[nodiscard]] bool Wait(WorkerControl* control);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
    bool cancelled_ = false;
};

// The control of the worker running on the calling thread, or null. A wait
// that does not know its worker (a message box the UI host shows for a
// worker) ends on this control's cancel.
[[nodiscard]] WorkerControl* CurrentWorkerControl();

// Makes `control` the calling thread's current control for its lifetime
// (the thread body of a worker holds one); the previous one comes back after.
class WorkerScope {
public:
    explicit WorkerScope(WorkerControl* control);
    ~WorkerScope();
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;

private:
    WorkerControl* previous_;
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
