#include "automation/QueueSend.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <tuple>

#include "engine/BufferedLocalFile.h"
#include "engine/TransferDrivers.h"
#include "engine/TransferPaths.h"
#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"

namespace zyfar {
namespace {

QueueMethod MethodOf(const std::string& text) {
    if (text == kQueueMethodGet) return QueueMethod::Get;
    if (text == kQueueMethodXfer) return QueueMethod::Xfer;
    return QueueMethod::Put;
}

std::int64_t SizeOf(const std::string& text) {
    std::int64_t value = 0;
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        if (value > (INT64_MAX - 9) / 10) return 0;  // garbage, not a size
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The file's full local path as the pass compares it: a put's local folder
// is a local path ("/"); for a get or a remote-to-remote transfer "\\" is the
// separator when the folder already holds one.
std::string FullLocalPath(QueueMethod method, const std::string& folder, const std::string& name) {
    if (method == QueueMethod::Put) return JoinLocal(folder, name);
    return JoinWithSeparator(folder, folder.find('\\') != std::string::npos ? '\\' : '/', name);
}

bool Usable(const QueueEntry& e) { return !e.source.empty() && !e.destination.empty() && !e.localName.empty(); }

TransferServer ServerOf(std::string host, const std::string& login, const std::string& password,
                        const std::string& remoteDir, const std::string& port, const std::string& encryption) {
    return TransferServer{std::move(host), login, password, remoteDir, QueuePortOf(port),
                          QueueEncryptionOf(encryption)};
}

CTransferJob JobOf(const QueueEntry& e, QueueMethod method) {
    CTransferJob job;
    job.localDir = e.locDirFile;
    job.remoteDir = e.remDirFile;
    if (method == QueueMethod::Get) {
        job.sourceName = e.remoteName;  // the server's file
        job.targetName = e.localName;   // the local file to create
    } else {
        job.sourceName = e.localName;
        job.targetName = e.remoteName;
    }
    job.size = SizeOf(e.fileSize);
    job.status = kJobNotAttempted;
    job.queueEntry = e.number;
    job.marked = 1;
    job.resume = QueueResumeOf(e);  // none in an older entry: the file starts over
    return job;
}

// Whether this process has made its first pass (entries left at "being
// sent" by an earlier process are freed then).
std::atomic<bool> gFirstPassDone{false};

}  // namespace

QueueSendPlan TakeQueueRoutes(const std::string& queuePath, bool processStart) {
    QueueSendPlan plan;
    QueueFile file(queuePath);
    plan.written = file.Edit([&](QueueEditor& q) {
        plan = QueueSendPlan{};
        plan.freed = q.ReleaseAbandoned(processStart);
        const std::vector<QueueEntry> entries = q.Entries();

        // Routes in the order of their first idle entry.
        using Key = std::tuple<std::string, std::string, QueueMethod, std::string>;
        auto keyOf = [](const QueueEntry& e) {
            return Key{e.source, e.destination, MethodOf(e.ftpMethod), QueueServerIdentity(e)};
        };
        std::vector<Key> order;
        std::set<Key> seen;
        for (const QueueEntry& e : entries) {
            if (!Usable(e) || e.status != 0) continue;
            Key key = keyOf(e);
            if (seen.insert(key).second) order.push_back(std::move(key));
        }

        std::vector<int> merged;  // entry numbers to remove
        for (const Key& key : order) {
            QueueSendRoute route;
            route.source = std::get<0>(key);
            route.destination = std::get<1>(key);
            route.method = std::get<2>(key);
            std::vector<std::pair<std::string, std::string>> paths;  // full local path, remote name
            std::vector<int> taken, duplicates;
            bool idleTaken = false;
            // A route with an idle entry takes all its entries, whatever their
            // Status: one that is still marked as being sent is sent again.
            for (const QueueEntry& e : entries) {
                if (!Usable(e) || keyOf(e) != key) continue;
                const std::string path = FullLocalPath(route.method, e.locDirFile, e.localName);
                const auto same = std::find_if(paths.begin(), paths.end(),
                                               [&](const auto& p) { return p.first == path; });
                if (same != paths.end()) {
                    // Not sent twice: the same transfer merges into the first,
                    // another remote name waits for a later pass.
                    if (same->second == e.remoteName) duplicates.push_back(e.number);
                    continue;
                }
                if (route.jobs.empty()) {
                    route.server = ServerOf(route.method == QueueMethod::Put ? e.destination : e.source, e.login,
                                            e.password, e.remDir, e.port, e.encryption);
                    if (route.method == QueueMethod::Xfer)
                        route.second = ServerOf(e.destination, e.remLogin, e.remPassword, e.remRemDir, e.remotePort,
                                                e.remEncryption);
                }
                paths.emplace_back(path, e.remoteName);
                route.jobs.push_back(JobOf(e, route.method));
                taken.push_back(e.number);
                idleTaken = idleTaken || e.status == 0;
            }
            // Only idle entries that wait behind a file of the same path: the
            // route has nothing new to send.
            if (!idleTaken) continue;
            for (const int number : taken) q.MarkSending(number);
            merged.insert(merged.end(), duplicates.begin(), duplicates.end());
            plan.routes.push_back(std::move(route));
        }

        // Merged duplicates leave the queue; every number behind one moves up.
        std::sort(merged.begin(), merged.end());
        for (auto it = merged.rbegin(); it != merged.rend(); ++it) q.RemoveAt(*it);
        plan.merged = static_cast<int>(merged.size());
        for (QueueSendRoute& route : plan.routes) {
            for (CTransferJob& job : route.jobs) {
                const auto below =
                    std::count_if(merged.begin(), merged.end(), [&](int n) { return n < job.queueEntry; });
                job.queueEntry -= static_cast<std::int32_t>(below);
            }
        }
    });
    if (!plan.written) {
        plan.routes.clear();
        plan.error = file.lastError();
    }
    return plan;
}

std::unique_ptr<TransferRun> MakeRouteRun(const QueueSendRoute& route) {
    const std::int64_t batch = BatchSizeOf(route.jobs);
    switch (route.method) {
        case QueueMethod::Get:
            return MakeSingleServerRun(route.server, route.jobs, std::string(), batch, TransferMode::Get, 2, nullptr,
                                       nullptr, false);
        case QueueMethod::Xfer:
            return MakeServerToServerRun(route.second, route.server, route.jobs, batch, 2, nullptr, nullptr, false);
        case QueueMethod::Put:
        default:
            return MakeSingleServerRun(route.server, route.jobs, std::string(), batch, TransferMode::Put, 2, nullptr,
                                       nullptr, false);
    }
}

int RunQueueSendPass(TransferRunStarter& starter) {
    return RunQueueSendPass(starter, ResolvePrivateFile(kQueueFileName));
}

int RunQueueSendPass(TransferRunStarter& starter, const std::string& queuePath) {
    const bool processStart = !gFirstPassDone.exchange(true);
    QueueSendPlan plan = TakeQueueRoutes(queuePath, processStart);
    // The timer repeats a failing pass: the user is told when it starts
    // failing, the log has every pass.
    static std::atomic<bool> lastPassFailed{false};
    if (!plan.written) {
        ReportQueueWriteFailure(queuePath, plan.error, {}, "The queue was not sent.", !lastPassFailed.exchange(true));
        return kQueueSendFailed;
    }
    lastPassFailed = false;
    if (plan.routes.empty()) return 0;
    bool pauseBeforeNext = false;
    for (const QueueSendRoute& route : plan.routes) {
        if (pauseBeforeNext) starter.PauseBetweenStarts(kRunStartStagger);
        starter.StartRun(MakeRouteRun(route), false);
        // Puts and gets are staggered; a remote-to-remote run is not.
        pauseBeforeNext = route.method != QueueMethod::Xfer;
    }
    return 1;
}

namespace {

// The local file a get entry's resend writes, when that can be told offline.
std::optional<std::string> GetTargetOf(const QueueEntry& e) {
    if (MethodOf(e.ftpMethod) != QueueMethod::Get) return std::nullopt;
    return GetTargetPath(ParseDirTree(Read(keys::FTPDirTree)), e.locDirFile, e.remDirFile, e.localName);
}

}  // namespace

std::optional<std::string> QueuePartialPathOf(const QueueEntry& e) {
    const std::optional<std::string> target = GetTargetOf(e);
    if (!target) return std::nullopt;
    return BufferedLocalFile::PartialPathFor(*target);
}

int RemoveDeletedPartials(const std::vector<QueueEntry>& deleted, const std::vector<QueueEntry>& remaining) {
    std::set<std::string> wanted;
    for (const QueueEntry& e : remaining) {
        if (const std::optional<std::string> target = GetTargetOf(e)) wanted.insert(*target);
    }
    int removed = 0;
    for (const QueueEntry& e : deleted) {
        if (e.status != 0) continue;  // being sent: its run places the file or keeps it for a new entry
        const std::optional<std::string> target = GetTargetOf(e);
        if (!target || wanted.count(*target) != 0) continue;
        if (BufferedLocalFile::RemovePartial(*target) == BufferedLocalFile::PartialRemoval::kRemoved) ++removed;
    }
    return removed;
}

}  // namespace zyfar
