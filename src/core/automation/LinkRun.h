#pragma once
// Running a link by name: the link file (Links/<name>.ini below the profile
// base) names a file list and site profiles; the list's files are sent to
// every site at once, one transfer run per site started 200 ms apart (the
// parallel multiple-site put, mode 3, type flag 1).
//
// The plan is read first and everything wrong with it is said in plain
// words: a link that names no file list or no site, a file list that is
// missing or lists nothing, a listed file that does not exist or is a folder
// (it is left out), a site profile that is missing or has no host (no run is
// started for it, instead of a run that can only fail against an empty
// host). Target names follow CONFIG FileCasingPut.
//
// The command-line link run also keeps PendingLinkTransfers: it is set to the
// number of runs before the first one starts (so a run that ends at once
// cannot end the program early or leave it waiting), and a link that starts
// nothing asks the program to quit at once instead of leaving it waiting for
// runs that never come.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/MultiPut.h"
#include "engine/TransferJob.h"
#include "engine/TransferRun.h"

namespace zyfar {

inline constexpr int kMsgLinkNotFound = 33051;  // "Could not find Zyfar link, exiting ..."

struct LinkRunPlan {
    bool found = false;     // the link file exists
    std::string linkFile;   // its path ("" for a name that cannot be a link name)
    std::string fileList;   // the "flist.ini" it names
    std::vector<CTransferJob> jobs;
    std::int64_t batchSize = 0;
    std::vector<TransferServer> servers;  // the usable sites, in SITE order
    std::vector<std::string> siteNames;   // host of each usable site, for messages
    // Sentences for the user about what is wrong with the link; a plan with
    // problems may still send something to somebody.
    std::vector<std::string> problems;

    // Something to send and somebody to send it to.
    [[nodiscard]] bool CanRun() const { return found && !jobs.empty() && !servers.empty(); }
};

// Reads the link, its file list and its site profiles.
[[nodiscard]] LinkRunPlan PlanLinkRun(std::string_view linkName);

struct LinkRunResult {
    bool found = false;
    int runsStarted = 0;
    std::vector<std::string> problems;
};

// Starts the plan's runs (nothing when it cannot run).
LinkRunResult StartLinkRuns(const LinkRunPlan& plan, TransferRunStarter& starter);

// Run a link by name (main window, scheduler).
LinkRunResult RunLink(std::string_view linkName, TransferRunStarter& starter);

// The command-line link run: as RunLink, keeping PendingLinkTransfers (see
// above). A link that is not found starts nothing and leaves
// PendingLinkTransfers alone; the caller shows message 33051.
LinkRunResult RunCommandLineLink(std::string_view linkName, TransferRunStarter& starter);
LinkRunResult StartCommandLineLink(const LinkRunPlan& plan, TransferRunStarter& starter);

}  // namespace zyfar
