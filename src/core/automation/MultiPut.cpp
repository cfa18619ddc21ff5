#include "automation/MultiPut.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <set>
#include <thread>

#include "engine/TransferPaths.h"
#include "ftp/NameMask.h"
#include "platform/MessageTable.h"
#include "platform/TextUtil.h"
#include "platform/UiHost.h"
#include "settings/Keys.h"

namespace zyfar {

// ---- starters ----

void TransferRunStarter::PauseBetweenStarts(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }

ControllerRunStarter::~ControllerRunStarter() { WaitAll(); }

void ControllerRunStarter::StartRun(std::unique_ptr<TransferRun> run, bool nextToPrevious) {
    auto controller = std::make_unique<TransferController>(std::move(run), sink_);
    controller->Start();
    controllers_.push_back(std::move(controller));
    nextToPrevious_.push_back(nextToPrevious);
}

void ControllerRunStarter::WaitAll() {
    for (const std::unique_ptr<TransferController>& controller : controllers_) {
        controller->Finish();
    }
}

// ---- casing ----

FileCasing FileCasingForPut() { return ParseFileCasing(Read(keys::FileCasingPut)); }

// ---- pattern expansion ----

std::string PatternFolder(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::vector<LocalMatch> ListMatchingFiles(const std::string& folder, std::string_view mask) {
    std::vector<LocalMatch> out;
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return out;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || !MatchesMask(name, mask)) continue;
        struct stat st {};
        // A link to a regular file is sent as that file; folders, devices and
        // dangling links are not files to send.
        if (::stat(JoinLocal(folder, name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        out.push_back(LocalMatch{name, static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtime)});
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const LocalMatch& a, const LocalMatch& b) { return a.name < b.name; });
    return out;
}

namespace {

std::string LocalPathOf(const CTransferJob& job) { return JoinLocal(job.localDir, job.sourceName); }

// The key two jobs of one file share: the folder without a trailing "/" and
// the name, so "/web/" + "a" and "/web" + "a" are the same file.
std::string FileKey(std::string_view folder, std::string_view name) {
    std::string dir(folder);
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return JoinLocal(dir, name);
}

}  // namespace

MultiPutJobs BuildMultiPutJobs(const std::vector<CTransferJob>& items, FileCasing casing) {
    MultiPutJobs out;
    // Explicit items win over pattern matches wherever they stand in the list.
    std::set<std::string> taken;
    for (const CTransferJob& item : items) {
        if (item.size != 0) taken.insert(FileKey(item.localDir, item.sourceName));
    }
    for (const CTransferJob& item : items) {
        if (item.size != 0) {
            CTransferJob job = item;
            job.targetName = ApplyFileCasing(item.targetName.empty() ? item.sourceName : item.targetName, casing);
            job.status = kJobNotAttempted;
            job.reason.clear();
            job.queueEntry = 0;
            out.jobs.push_back(std::move(job));
            continue;
        }
        const std::string pattern = LocalPathOf(item);
        const std::string folder = PatternFolder(pattern);
        const std::string mask = folder.empty() ? pattern : pattern.substr(pattern.rfind('/') + 1);
        const std::vector<LocalMatch> matches = ListMatchingFiles(folder, mask);
        if (matches.empty()) ++out.patternsWithoutMatch;
        for (const LocalMatch& m : matches) {
            if (!taken.insert(FileKey(folder, m.name)).second) continue;
            CTransferJob job;
            job.localDir = folder;
            job.sourceName = m.name;
            job.targetName = ApplyFileCasing(m.name, casing);
            job.remoteDir = item.remoteDir;
            job.size = m.size;
            job.SetTime(m.modified);
            out.jobs.push_back(std::move(job));
        }
    }
    out.batchSize = BatchSizeOf(out.jobs);
    return out;
}

// ---- sending ----

TransferServer ServerOfSite(const CTransferSite& site) {
    TransferServer server{site.host, site.login, site.password, site.remoteDir, site.port};
    server.encryption = site.encryption;
    return server;
}

int StartParallelRuns(const std::vector<TransferServer>& servers, const std::vector<CTransferJob>& jobs,
                      std::int64_t batchSize, TransferRunStarter& starter) {
    int started = 0;
    for (const TransferServer& server : servers) {
        if (started > 0) starter.PauseBetweenStarts(kRunStartStagger);
        // Each run owns a copy of the jobs: the runs share nothing they change.
        starter.StartRun(MakeSingleServerRun(server, jobs, std::string(), batchSize, TransferMode::PutKeep, 1, nullptr,
                                             nullptr, false),
                         started > 0);
        ++started;
    }
    return started;
}

namespace {

std::optional<MultiPutOutcome> CheckLists(const std::vector<CTransferSite>& sites,
                                          const std::vector<CTransferJob>& items) {
    if (sites.empty()) {
        Ui().ShowMessage(kNoTargetSitesText, MessageKind::Stop, MessageButtons::Ok);
        return MultiPutOutcome::NoSites;
    }
    if (items.empty()) {
        Ui().ShowMessage(std::string(MessageText(kMsgNoFilesToFtp)), MessageKind::Stop, MessageButtons::Ok);
        return MultiPutOutcome::NoFiles;
    }
    return std::nullopt;
}

// Checks the lists and builds the jobs, telling the user when there is
// nothing to send: the jobs (their count noted in `result`), or nothing with
// `result.outcome` saying why.
std::optional<MultiPutJobs> PrepareSend(const std::vector<CTransferSite>& sites,
                                        const std::vector<CTransferJob>& items, MultiPutResult& result) {
    if (auto bad = CheckLists(sites, items)) {
        result.outcome = *bad;
        return std::nullopt;
    }
    MultiPutJobs built = BuildMultiPutJobs(items, FileCasingForPut());
    if (built.jobs.empty()) {
        // Only patterns that matched nothing: there is nothing to send.
        Ui().ShowMessage(std::string(MessageText(kMsgNoFilesToFtp)), MessageKind::Stop, MessageButtons::Ok);
        result.outcome = MultiPutOutcome::NoFiles;
        return std::nullopt;
    }
    result.jobs = built.jobs.size();
    return built;
}

}  // namespace

MultiPutResult SendParallel(const std::vector<CTransferSite>& sites, const std::vector<CTransferJob>& items,
                            TransferRunStarter& starter) {
    MultiPutResult result;
    std::optional<MultiPutJobs> built = PrepareSend(sites, items, result);
    if (!built) {
        return result;
    }
    std::vector<TransferServer> servers;
    servers.reserve(sites.size());
    for (const CTransferSite& site : sites) servers.push_back(ServerOfSite(site));
    result.runsStarted = StartParallelRuns(servers, built->jobs, built->batchSize, starter);
    return result;
}

MultiPutResult SendSerial(const std::vector<CTransferSite>& sites, const std::vector<CTransferJob>& items,
                          TransferRunStarter& starter) {
    MultiPutResult result;
    std::optional<MultiPutJobs> built = PrepareSend(sites, items, result);
    if (!built) {
        return result;
    }
    std::vector<CTransferSite> copies = sites;
    for (CTransferSite& site : copies) site.status = 0;
    starter.StartRun(MakeSerialRun(std::move(copies), std::move(built->jobs), built->batchSize, TransferMode::PutKeep,
                                   1, nullptr, nullptr, false),
                     false);
    result.runsStarted = 1;
    return result;
}

}  // namespace zyfar
