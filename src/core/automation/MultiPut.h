#pragma once
// The multiple-site put: one list of local files sent to many servers, all at
// once ("Send Parallel": one transfer run per site, started 200 ms apart) or
// one server after another ("Send Serial": one run whose worker serves every
// site in turn, with the per-site queue step after each).
//
// The job list is built from the items of the file-list pane:
//  - an item of size 0 is a pattern, a full local path whose last component
//    may hold "*" and "?"; it is listed in its folder and every regular file
//    that matches becomes a job (local names are matched case sensitively);
//  - any other item is taken as it is;
//  - an explicit item always wins over a pattern match of the same file,
//    whichever comes first in the list, and a pattern match of a file that is
//    already in the list is dropped;
//  - the target names follow CONFIG FileCasingPut ("UPPER_CASE",
//    "LOWER_CASE", anything else keeps them); the local names never change.
//
// Who shows the runs is the caller's business: a TransferRunStarter takes
// each built run and starts it (the GUI opens a transfer window, a headless
// runner a TransferController).
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransferController.h"
#include "engine/TransferJob.h"
#include "engine/TransferRun.h"
#include "settings/Keys.h"

namespace zyfar {

class TransferQueueSink;

inline constexpr const char* kNoTargetSitesText = "No target FTP sites have been selected";
inline constexpr int kMsgNoFilesToFtp = 203;  // "No files to FTP!"
inline constexpr const char* kSortingFilesText = "Sorting files and removing duplicates. Please wait...";

// The pause between the starts of two runs of one multiple-site put or one
// queue send pass.
inline constexpr std::chrono::milliseconds kRunStartStagger{200};

// Takes over built transfer runs and starts them.
class TransferRunStarter {
public:
    virtual ~TransferRunStarter() = default;
    // Starts the run's worker. `nextToPrevious`: the run's window opens next
    // to the window of the run started just before it.
    virtual void StartRun(std::unique_ptr<TransferRun> run, bool nextToPrevious) = 0;
    // Waits between two starts; the default sleeps.
    virtual void PauseBetweenStarts(std::chrono::milliseconds pause);
};

// A starter for runs without windows (headless runs, tests, benchmarks): each
// run gets a TransferController that starts at once; WaitAll ends them.
class ControllerRunStarter : public TransferRunStarter {
public:
    // A null sink means the process's sink when each run ends.
    explicit ControllerRunStarter(TransferQueueSink* sink = nullptr) : sink_(sink) {}
    ~ControllerRunStarter() override;

    void StartRun(std::unique_ptr<TransferRun> run, bool nextToPrevious) override;

    // Waits for every started worker and runs each run's end processing
    // (FinishTransfer) on the calling thread, in start order.
    void WaitAll();

    [[nodiscard]] std::size_t Count() const { return controllers_.size(); }
    [[nodiscard]] TransferController& Controller(std::size_t i) { return *controllers_[i]; }
    [[nodiscard]] const std::vector<bool>& NextToPrevious() const { return nextToPrevious_; }

private:
    TransferQueueSink* sink_;
    std::vector<std::unique_ptr<TransferController>> controllers_;
    std::vector<bool> nextToPrevious_;
};

// ---- building the job list ----

// FileCasing and ParseFileCasing come with the settings keys.
// CONFIG FileCasingPut (default "PRESERVE").
[[nodiscard]] FileCasing FileCasingForPut();

// The folder part of a pattern path: up to its last "/" (the root stays
// "/"); "" when the path has no "/".
[[nodiscard]] std::string PatternFolder(std::string_view path);

// The regular files of `folder` whose names match `mask`, ordered by name,
// each with its size and modification time (seconds since the epoch).
struct LocalMatch {
    std::string name;
    std::int64_t size = 0;
    std::int64_t modified = 0;
};
[[nodiscard]] std::vector<LocalMatch> ListMatchingFiles(const std::string& folder, std::string_view mask);

struct MultiPutJobs {
    std::vector<CTransferJob> jobs;
    std::int64_t batchSize = 0;  // the bytes of every job, pattern matches included
    int patternsWithoutMatch = 0;
};

// Builds the job list from the file-list pane's items (localDir + sourceName
// is an item's local path; targetName its name on the servers, the source
// name when empty). Every job starts not attempted and from no queue entry.
[[nodiscard]] MultiPutJobs BuildMultiPutJobs(const std::vector<CTransferJob>& items, FileCasing casing);

// ---- the two send commands ----

enum class MultiPutOutcome {
    Started,
    NoSites,  // "No target FTP sites have been selected"
    NoFiles,  // "No files to FTP!" (also when no pattern matched a file)
};

struct MultiPutResult {
    MultiPutOutcome outcome = MultiPutOutcome::Started;
    int runsStarted = 0;
    std::size_t jobs = 0;
};

// The empty-list messages go through the UI host (stop icon); nothing is
// started then. Each parallel run gets its own copy of the jobs and its own
// server, so the runs share nothing they change.
MultiPutResult SendParallel(const std::vector<CTransferSite>& sites, const std::vector<CTransferJob>& items,
                            TransferRunStarter& starter);
MultiPutResult SendSerial(const std::vector<CTransferSite>& sites, const std::vector<CTransferJob>& items,
                          TransferRunStarter& starter);

// The parallel starts on their own, for a job list built already (link runs):
// one mode 3 run per server, top to bottom, PauseBetweenStarts between two
// starts. Returns the number of runs started.
int StartParallelRuns(const std::vector<TransferServer>& servers, const std::vector<CTransferJob>& jobs,
                      std::int64_t batchSize, TransferRunStarter& starter);

[[nodiscard]] TransferServer ServerOfSite(const CTransferSite& site);

}  // namespace zyfar
