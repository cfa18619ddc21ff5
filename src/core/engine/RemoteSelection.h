#pragma once
// Remote files chosen in a browsing view, turned into transfer jobs: the
// selected rows of a remote list (a folder row brings the files directly in
// that folder) and a folder dragged out of a remote tree (its files, and with
// CONFIG DragDropDirs "YES" those of every folder below it). Target names
// follow CONFIG FileCasingGet. The jobs come sorted by source folder and
// name, each file once.
//
// Links are never followed into: an entry that may be a link is tried with a
// change of folder; one that can be entered counts as a folder (and is not
// walked), one that cannot as a file.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/TransferJob.h"
#include "ftp/FtpClient.h"
#include "settings/Keys.h"

namespace zyfar {

// One selected row of a remote list.
struct BrowseRow {
    std::string name;
    bool isFolder = false;
    std::int64_t size = 0;
    RemoteTime modified;
    bool sizeApproximate = false;
};

// Where the jobs go: a get into a local folder, or a server-to-server copy
// into a folder of the other server (TransferMode::Get or ServerToServer).
struct BrowseJobTarget {
    TransferMode mode = TransferMode::Get;
    std::string folder;
};

// The settings the jobs follow, read once per request.
struct RemoteJobSettings {
    FileCasing casing = FileCasing::Preserve;  // CONFIG FileCasingGet
    bool recursive = false;                    // CONFIG DragDropDirs "YES" (views: default "NO")
    DirTreeMode dirMode = DirTreeMode::NoPath;  // CONFIG FTPDirTree

    [[nodiscard]] static RemoteJobSettings FromStore();
};

struct RemoteJobs {
    FtpResult result;                 // the first failure (a folder that could not be listed), else ok
    std::vector<CTransferJob> jobs;
    std::int64_t batchSize = 0;       // sum of the job sizes
    std::vector<std::string> messages;  // failures and files left out, in order, for the user
};

// One job for the file `entry` in the server folder `folder`. A get keeps
// the server folder in remoteDir and the local folder in localDir; a
// server-to-server copy the source folder in localDir and the destination
// folder in remoteDir. Status -1, queue entry 0.
[[nodiscard]] CTransferJob MakeRemoteJob(const BrowseJobTarget& target, const std::string& folder,
                                         const RemoteEntry& entry, FileCasing casing);

// Sorts the jobs by source folder and name and drops a second job for the
// same file. A job whose target (the folder part FTPDirTree rebuilds and the
// target name) is already taken by an earlier job would overwrite that
// file within the batch: it is left out and named in the returned texts.
[[nodiscard]] std::vector<std::string> SortAndDropDuplicates(std::vector<CTransferJob>& jobs, TransferMode mode,
                                                             DirTreeMode dirMode);

// The session side of a link probe: the folder the server stands in, so a
// probe that entered a folder can go back.
struct ServerFolder {
    std::string path;
};

// Tries to enter `path`. True when it is a folder (the server is put back
// into `where`), false when it is not; a failure only when the connection
// could not go on (cancelled, dropped, or the way back was refused and the
// server's folder could not be read).
[[nodiscard]] FtpOutcome<bool> EntersAsFolder(FtpClient& client, const std::string& path, ServerFolder& where);

// An entry worth a probe: a link, or a name holding ".lnk" in any case.
[[nodiscard]] bool MayBeLink(const RemoteEntry& entry);

// The rows of `folder` (joined with `sep`) as jobs.
[[nodiscard]] RemoteJobs JobsFromRows(FtpClient& client, ServerFolder& where, char sep, const std::string& folder,
                                      const std::vector<BrowseRow>& rows, const BrowseJobTarget& target,
                                      const RemoteJobSettings& settings);

// The files of a dragged folder as jobs (recursive per the settings).
[[nodiscard]] RemoteJobs JobsFromFolder(FtpClient& client, ServerFolder& where, char sep, const std::string& folder,
                                        const BrowseJobTarget& target, const RemoteJobSettings& settings);

}  // namespace zyfar
