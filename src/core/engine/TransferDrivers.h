#pragma once
// The put, get and server-to-server drivers: each walks its run's job list
// once on the worker thread. It opens the session(s), works out every job's
// source and target path, creates target folders as FTPDirTree asks, applies
// the overwrite rule, runs the copy loop, and records each outcome in the job
// (status, reason), in the log ("FTP Transfer Complete") and with a sound.
// A per-file failure never stops the batch (except a "LAST_DIR" folder that
// cannot be created). A control connection lost between two jobs is opened
// again once before the next job; when that fails the remaining jobs fail
// with the connection's error.
#include <cstdint>
#include <optional>
#include <string>

#include "settings/Keys.h"

namespace zyfar {

class TransferRun;

// The drivers return this after walking the list, the session-open failure,
// or ftpcode::kCancelled when the worker was cancelled (the job being
// copied then stays unattempted).
inline constexpr std::int32_t kDriverDone = 1;

[[nodiscard]] std::int32_t RunPutJobs(TransferRun& run);             // modes 0 and 3
[[nodiscard]] std::int32_t RunGetJobs(TransferRun& run);             // mode 1
[[nodiscard]] std::int32_t RunServerToServerJobs(TransferRun& run);  // mode 2

// The driver of the run's mode.
[[nodiscard]] std::int32_t RunJobsForMode(TransferRun& run);

// The local file a get of `name` from the server folder `remoteDir` into the
// local folder `base` writes under `mode` (FTP Dir Tree), as the get driver
// plans it, without making any folder; nothing when the driver would refuse
// the job or when it depends on a server folder that is not given.
[[nodiscard]] std::optional<std::string> GetTargetPath(DirTreeMode mode, const std::string& base,
                                                       const std::string& remoteDir, const std::string& name);

}  // namespace zyfar
