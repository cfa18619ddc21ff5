#pragma once
// The progress state of one transfer run: the names shown ("FTP Server:",
// "Local File:", "Remote File:"), the batch and file counters and the two bar
// positions. The worker writes numbers every copy pass; the texts are made
// from them only when a display asks (Snapshot), so a fast copy spends its
// time moving bytes. Rate and time-left texts change only on every fifth
// pass, as they always have.
//
// Threads: the worker writes, any thread reads. Observers are called on the
// worker thread when a name changes, when a file ends, and at most about ten
// times a second while bytes move; they must not block.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zyfar {

struct ProgressSnapshot {
    std::string server;      // "FTP Server:"
    std::string localFile;   // "Local File:"
    std::string remoteFile;  // "Remote File:"
    std::string batchBytes;  // "Sent %ld bytes out of %ld (%.2f%%)"
    std::string batchRate;   // "%.2f kbs"
    std::string batchLeft;   // "Left: ..."
    std::string fileBytes;
    std::string fileRate;
    std::string fileLeft;
    int batchBar = 0;        // 0..100
    int fileBar = 0;         // 0..100
    std::int64_t batchDone = 0;
    std::int64_t batchTotal = 0;
    std::int64_t fileSent = 0;
    std::int64_t fileSize = 0;
    // The copy continues an earlier attempt from this byte (0: from the start);
    // fileSent counts those bytes too, the rates only what this copy moves.
    std::int64_t fileResumedFrom = 0;
};

class TransferProgress;

class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;
    virtual void OnProgress(const TransferProgress& progress) = 0;
};

class TransferProgress {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;

    TransferProgress() = default;
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    // ---- names ----
    void SetServer(std::string text);
    void SetLocalFile(std::string text);
    void SetRemoteFile(std::string text);

    // Session open: server shown, the two file names and the six progress
    // texts cleared, both bars at 0.
    void ResetForConnect(const std::string& server);
    // Destination session open: server shown, the remote-file name and the
    // three batch texts cleared; the bars stay.
    void ResetForDestination(const std::string& server);

    // ---- batch ----
    void SetBatch(std::int64_t total, std::int64_t done, int countUp);
    [[nodiscard]] std::int64_t BatchTotal() const;
    [[nodiscard]] std::int64_t BatchDone() const;
    [[nodiscard]] int CountUp() const;
    // A skipped file: done grows by n, bar and bytes text follow (no rate).
    void AdvanceBatch(std::int64_t n);

    // ---- one copy ----
    // The file bar at its start position; counters of the file at 0.
    void BeginFile(std::int64_t size);
    // After a pass that moved n bytes. `batchElapsed` and `fileElapsed` are
    // whole seconds (at least 1) and are given on every fifth pass only;
    // no batch start leaves the batch rate alone.
    void OnPass(std::int64_t n, std::optional<std::int64_t> batchElapsed, std::optional<std::int64_t> fileElapsed);
    // After BeginFile: the copy continues from byte `offset`, which the file
    // and the batch count as done (the rates and times left count only the
    // bytes this copy moves).
    void ResumeFile(std::int64_t offset);
    // The copy ended (whatever its result): observers hear of it.
    void EndFile();

    // ---- reading ----
    [[nodiscard]] ProgressSnapshot Snapshot() const;

    // Observers (see above). Subscribe returns an id for Unsubscribe.
    int Subscribe(std::shared_ptr<ProgressObserver> observer);
    void Unsubscribe(int id);

private:
    void Notify(bool force);

    // The batch or the file: its counters, its bar and what its three texts
    // (bytes, rate, time left) are made from.
    struct Meter {
        std::int64_t total = 0;
        std::int64_t done = 0;
        bool bytesShown = false;
        bool rateShown = false;
        std::int64_t rateDone = 0;
        std::int64_t rateElapsed = 1;
        int bar = 0;
        std::int64_t base = 0;  // bytes done before this copy's own (a resumed file)

        // `done` changed (total > 0): the bar and the bytes text follow, the
        // rate too when whole seconds are given.
        void Show(int countUp, std::optional<std::int64_t> elapsed);
        void HideTexts() { bytesShown = rateShown = false; }
        void Texts(std::string& bytes, std::string& rate, std::string& left) const;
    };

    mutable std::mutex mutex_;
    std::string server_, localFile_, remoteFile_;
    int countUp_ = 1;
    Meter batch_;
    Meter file_;

    std::mutex observersMutex_;
    std::vector<std::pair<int, std::shared_ptr<ProgressObserver>>> observers_;
    int nextObserverId_ = 1;
    bool hasObservers_ = false;  // guarded by mutex_ (checked every pass)
    SteadyTime lastNotify_{};
};

}  // namespace zyfar
