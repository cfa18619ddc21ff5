#include "engine/RemoteSelection.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <tuple>
#include <utility>

#include "engine/TransferPaths.h"
#include "platform/TextUtil.h"
#include "platform/WorkerControl.h"

namespace zyfar {

namespace {

// A dragged folder is walked this many levels deep at most.
constexpr int kMaxFolderDepth = 64;

bool Gone(const FtpClient& client) {
    return !client.IsConnected() || (client.control() != nullptr && client.control()->IsCancelled());
}

const std::string& SourceFolder(const CTransferJob& job, TransferMode mode) {
    return mode == TransferMode::ServerToServer ? job.localDir : job.remoteDir;
}

// The folder part the driver rebuilds on the target side for a job.
std::string RebuiltFolder(const std::string& sourceFolder, DirTreeMode mode) {
    if (mode == DirTreeMode::NoPath) return {};
    std::vector<std::string> pieces = SplitPieces(sourceFolder, RemoteSeparatorFor(sourceFolder));
    std::erase_if(pieces, [](const std::string& p) { return p.find(':') != std::string::npos; });
    if (pieces.empty()) return {};
    if (mode == DirTreeMode::LastDir) return pieces.back();
    std::string out;
    for (const std::string& p : pieces) out += "/" + p;
    return out;
}

// Lists one folder for jobs: plain files, and the sub-folders found (links
// that can be entered count as folders but are never walked into).
struct FolderFiles {
    FtpResult result;
    std::vector<RemoteEntry> files;
    std::vector<std::string> folders;  // plain sub-folders, not links
};

FolderFiles ListFiles(FtpClient& client, ServerFolder& where, char sep, const std::string& folder) {
    FolderFiles out;
    FtpOutcome<std::vector<RemoteEntry>> listed = client.ListEntries(folder);
    if (!listed.ok()) {
        out.result = listed.result;
        return out;
    }
    for (RemoteEntry& e : listed.value) {
        if (MayBeLink(e)) {
            FtpOutcome<bool> folderLink = EntersAsFolder(client, JoinWithSeparator(folder, sep, e.name), where);
            if (!folderLink.ok()) {
                out.result = folderLink.result;
                return out;
            }
            if (!folderLink.value) out.files.push_back(std::move(e));
            continue;
        }
        if (e.isDirectory) {
            out.folders.push_back(e.name);
        } else {
            out.files.push_back(std::move(e));
        }
    }
    return out;
}

std::string ListingFailedText(const std::string& folder, const FtpResult& r) {
    return "The files of " + folder + " could not be listed: " + r.text;
}

void Finish(RemoteJobs& out, const BrowseJobTarget& target, const RemoteJobSettings& settings) {
    std::vector<std::string> left = SortAndDropDuplicates(out.jobs, target.mode, settings.dirMode);
    out.messages.insert(out.messages.end(), left.begin(), left.end());
    out.batchSize = 0;
    for (const CTransferJob& job : out.jobs) out.batchSize += job.size;
}

}  // namespace

RemoteJobSettings RemoteJobSettings::FromStore() {
    RemoteJobSettings s;
    s.casing = ParseFileCasing(Read(keys::FileCasingGet));
    s.recursive = Read(keys::DragDropDirsView) == "YES";
    s.dirMode = ParseDirTree(Read(keys::FTPDirTree));
    return s;
}

CTransferJob MakeRemoteJob(const BrowseJobTarget& target, const std::string& folder, const RemoteEntry& entry,
                           FileCasing casing) {
    CTransferJob job;
    if (target.mode == TransferMode::ServerToServer) {
        job.localDir = folder;
        job.remoteDir = target.folder;
    } else {
        job.localDir = target.folder;
        job.remoteDir = folder;
    }
    job.sourceName = entry.name;
    job.targetName = ApplyFileCasing(entry.name, casing);
    job.size = entry.size < 0 ? 0 : entry.size;
    job.sizeApproximate = entry.sizeApproximate;
    job.SetTime(RemoteTimeToEpoch(entry.modified).value_or(0));
    return job;
}

std::vector<std::string> SortAndDropDuplicates(std::vector<CTransferJob>& jobs, TransferMode mode,
                                               DirTreeMode dirMode) {
    const auto key = [mode](const CTransferJob& j) { return std::tie(SourceFolder(j, mode), j.sourceName); };
    std::stable_sort(jobs.begin(), jobs.end(),
                     [&key](const CTransferJob& a, const CTransferJob& b) { return key(a) < key(b); });
    jobs.erase(std::unique(jobs.begin(), jobs.end(),
                           [&key](const CTransferJob& a, const CTransferJob& b) { return key(a) == key(b); }),
               jobs.end());
    std::vector<std::string> left;
    std::set<std::pair<std::string, std::string>> targets;
    std::vector<CTransferJob> kept;
    kept.reserve(jobs.size());
    for (CTransferJob& job : jobs) {
        const std::string& folder = SourceFolder(job, mode);
        if (!targets.emplace(RebuiltFolder(folder, dirMode), job.targetName).second) {
            left.push_back("Not transferred: " + JoinRemote(folder, job.sourceName) +
                           " (another file of this transfer gets the same target name " + job.targetName + ").");
            continue;
        }
        kept.push_back(std::move(job));
    }
    jobs = std::move(kept);
    return left;
}

bool MayBeLink(const RemoteEntry& entry) {
    return entry.isLink || ToLowerAscii(entry.name).find(".lnk") != std::string::npos;
}

FtpOutcome<bool> EntersAsFolder(FtpClient& client, const std::string& path, ServerFolder& where) {
    const FtpResult in = client.SetCurrentDirectory(path);
    if (!in.ok()) {
        if (Gone(client)) return in;
        return false;
    }
    if (!where.path.empty()) {
        const FtpResult back = client.SetCurrentDirectory(where.path);
        if (back.ok()) return true;
        if (Gone(client)) return back;
    }
    // Could not go back: from now on the server stands where it says.
    FtpOutcome<std::string> now = client.GetCurrentDirectory();
    if (!now.ok()) return now.result;
    where.path = std::move(now.value);
    return true;
}

RemoteJobs JobsFromRows(FtpClient& client, ServerFolder& where, char sep, const std::string& folder,
                        const std::vector<BrowseRow>& rows, const BrowseJobTarget& target,
                        const RemoteJobSettings& settings) {
    RemoteJobs out;
    for (const BrowseRow& row : rows) {
        if (!row.isFolder) {
            RemoteEntry e;
            e.name = row.name;
            e.size = row.size;
            e.modified = row.modified;
            e.sizeApproximate = row.sizeApproximate;
            out.jobs.push_back(MakeRemoteJob(target, folder, e, settings.casing));
            continue;
        }
        const std::string sub = JoinWithSeparator(folder, sep, row.name);
        FolderFiles listed = ListFiles(client, where, sep, sub);
        if (!listed.result.ok()) {
            if (out.result.ok()) out.result = listed.result;
            out.messages.push_back(ListingFailedText(sub, listed.result));
            if (Gone(client)) break;
            continue;
        }
        for (const RemoteEntry& e : listed.files) out.jobs.push_back(MakeRemoteJob(target, sub, e, settings.casing));
    }
    Finish(out, target, settings);
    return out;
}

RemoteJobs JobsFromFolder(FtpClient& client, ServerFolder& where, char sep, const std::string& folder,
                          const BrowseJobTarget& target, const RemoteJobSettings& settings) {
    RemoteJobs out;
    std::vector<std::pair<std::string, int>> todo{{folder, 0}};
    while (!todo.empty()) {
        auto [current, depth] = std::move(todo.back());
        todo.pop_back();
        FolderFiles listed = ListFiles(client, where, sep, current);
        if (!listed.result.ok()) {
            if (out.result.ok()) out.result = listed.result;
            out.messages.push_back(ListingFailedText(current, listed.result));
            if (Gone(client)) break;
            continue;
        }
        for (const RemoteEntry& e : listed.files) {
            out.jobs.push_back(MakeRemoteJob(target, current, e, settings.casing));
        }
        if (!settings.recursive) continue;
        // Walked in name order: the last one pushed is the first one taken.
        std::sort(listed.folders.rbegin(), listed.folders.rend());
        for (const std::string& name : listed.folders) {
            const std::string sub = JoinWithSeparator(current, sep, name);
            if (depth + 1 > kMaxFolderDepth) {
                out.messages.push_back("Not transferred: the files of " + sub + " (folders nest too deep).");
                continue;
            }
            todo.emplace_back(sub, depth + 1);
        }
    }
    Finish(out, target, settings);
    return out;
}

}  // namespace zyfar
