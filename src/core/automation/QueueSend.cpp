#include "automation/QueueSend.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "engine/TransferPaths.h"
#include "platform/Paths.h"
#include "platform/TextUtil.h"
#include "settings/IniFile.h"

namespace zyfar {
namespace {

namespace qk = queue_keys;

// The number of a "QUEUE<digits>" section name (any case), or 0.
int SectionNumber(std::string_view name) {
    constexpr std::string_view upper = "QUEUE";
    constexpr std::string_view lower = "queue";
    if (name.size() <= upper.size() || name.size() > upper.size() + 9) return 0;
    int n = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i < upper.size()) {
            if (name[i] != upper[i] && name[i] != lower[i]) return 0;
        } else {
            if (name[i] < '0' || name[i] > '9') return 0;
            n = n * 10 + (name[i] - '0');
        }
    }
    return n;
}

// NumQueues, but never more than the highest entry section present.
int EntryCount(const IniDocument& doc) {
    const std::optional<std::string> stored = doc.Get(kQueueSection, kQueueCountKey);
    const int count = stored ? std::max(0, ParseLeadingInt(*stored)) : 0;
    if (count == 0) return 0;
    int highest = 0;
    for (const std::string& name : doc.SectionNames()) highest = std::max(highest, SectionNumber(name));
    return std::min(count, highest);
}

std::string Text(const IniDocument& doc, const std::string& section, const char* key) {
    return doc.Get(section, key).value_or("");
}

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
// is a local path ("/"); for a get or a remote-to-remote transfer "\" is the
// separator when the folder already holds one.
std::string FullLocalPath(QueueMethod method, const std::string& folder, const std::string& name) {
    if (method == QueueMethod::Put) return JoinLocal(folder, name);
    return JoinWithSeparator(folder, folder.find('\\') != std::string::npos ? '\\' : '/', name);
}

struct Row {
    int number = 0;
    bool usable = false;  // the section exists and names a route and a file
    int status = 0;
    QueueMethod method = QueueMethod::Put;
    std::string source, destination, localName, remoteName, locDirFile, remDirFile;
};

Row ReadRow(const IniDocument& doc, int number) {
    Row r;
    r.number = number;
    const std::string s = QueueSectionName(number);
    if (!doc.HasSection(s)) return r;
    r.source = Text(doc, s, qk::Source);
    r.destination = Text(doc, s, qk::Destination);
    r.localName = Text(doc, s, qk::LocalName);
    r.remoteName = Text(doc, s, qk::RemoteName);
    r.locDirFile = Text(doc, s, qk::LocDirFile);
    r.remDirFile = Text(doc, s, qk::RemDirFile);
    r.method = MethodOf(Text(doc, s, qk::FtpMethod));
    const std::optional<std::string> status = doc.Get(s, qk::Status);
    r.status = status ? ParseLeadingInt(*status) : 0;
    r.usable = !r.source.empty() && !r.destination.empty() && !r.localName.empty();
    return r;
}

// The keys that hold one server of an entry.
struct ServerKeys {
    const char* login;
    const char* password;
    const char* remoteDir;
    const char* port;
};

TransferServer ServerOf(const IniDocument& doc, const Row& row, std::string host, const ServerKeys& keys) {
    const std::string s = QueueSectionName(row.number);
    TransferServer server;
    server.host = std::move(host);
    server.login = Text(doc, s, keys.login);
    server.password = Text(doc, s, keys.password);
    server.remoteDir = Text(doc, s, keys.remoteDir);
    server.port = QueuePortOf(Text(doc, s, keys.port));
    return server;
}

TransferServer FirstServer(const IniDocument& doc, const Row& row) {
    return ServerOf(doc, row, row.method == QueueMethod::Put ? row.destination : row.source,
                    {qk::Login, qk::Password, qk::RemDir, qk::Port});
}

TransferServer SecondServer(const IniDocument& doc, const Row& row) {
    return ServerOf(doc, row, row.destination, {qk::RemLogin, qk::RemPassword, qk::RemRemDir, qk::RemotePort});
}

CTransferJob JobOf(const IniDocument& doc, const Row& row) {
    CTransferJob job;
    job.localDir = row.locDirFile;
    job.remoteDir = row.remDirFile;
    if (row.method == QueueMethod::Get) {
        job.sourceName = row.remoteName;  // the server's file
        job.targetName = row.localName;   // the local file to create
    } else {
        job.sourceName = row.localName;
        job.targetName = row.remoteName;
    }
    job.size = SizeOf(Text(doc, QueueSectionName(row.number), qk::FileSize));
    job.status = kJobNotAttempted;
    job.queueEntry = row.number;
    job.marked = 1;
    return job;
}

// Removes entry `number` of `count`: the entries behind it move up by one.
void RemoveEntry(IniDocument& doc, int number, int count) {
    for (int q = number; q < count; ++q) {
        doc.ReplaceSection(QueueSectionName(q), doc.GetSection(QueueSectionName(q + 1)));
    }
    doc.RemoveSection(QueueSectionName(count));
    doc.Set(kQueueSection, kQueueCountKey, std::to_string(count - 1));
}

}  // namespace

std::uint16_t QueuePortOf(const std::string& text) {
    if (text.empty()) return 21;
    const int port = ParseLeadingInt(text);
    return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : std::uint16_t{21};
}

QueueSendPlan TakeQueueRoutes(const std::string& queuePath) {
    QueueSendPlan plan;
    plan.written = UpdatePrivateProfile(queuePath, [&](IniDocument& doc) {
        plan.routes.clear();
        plan.merged = 0;
        const int count = EntryCount(doc);
        std::vector<Row> rows;
        rows.reserve(static_cast<std::size_t>(count));
        for (int i = 1; i <= count; ++i) rows.push_back(ReadRow(doc, i));

        // Routes in the order of their first idle entry.
        using Key = std::tuple<std::string, std::string, QueueMethod>;
        std::vector<Key> order;
        std::set<Key> seen;
        for (const Row& r : rows) {
            if (!r.usable || r.status != 0) continue;
            Key key{r.source, r.destination, r.method};
            if (seen.insert(key).second) order.push_back(std::move(key));
        }

        std::vector<int> merged;  // entry numbers to remove, ascending
        for (const Key& key : order) {
            QueueSendRoute route;
            std::tie(route.source, route.destination, route.method) = key;
            std::vector<std::pair<std::string, std::string>> paths;  // full local path, remote name
            for (const Row& r : rows) {
                if (!r.usable || r.status != 0 || r.source != route.source || r.destination != route.destination ||
                    r.method != route.method) {
                    continue;
                }
                const std::string path = FullLocalPath(r.method, r.locDirFile, r.localName);
                const auto same = std::find_if(paths.begin(), paths.end(),
                                               [&](const auto& p) { return p.first == path; });
                if (same != paths.end()) {
                    // Not sent twice: the same transfer merges into the first,
                    // another remote name waits for a later pass.
                    if (same->second == r.remoteName) merged.push_back(r.number);
                    continue;
                }
                if (route.jobs.empty()) {
                    route.server = FirstServer(doc, r);
                    if (route.method == QueueMethod::Xfer) route.second = SecondServer(doc, r);
                }
                paths.emplace_back(path, r.remoteName);
                route.jobs.push_back(JobOf(doc, r));
                doc.Set(QueueSectionName(r.number), qk::Status, "1");
            }
            plan.routes.push_back(std::move(route));
        }

        // Merged duplicates leave the queue; every number behind one moves up.
        int total = count;
        for (auto it = merged.rbegin(); it != merged.rend(); ++it) {
            RemoveEntry(doc, *it, total);
            --total;
        }
        plan.merged = static_cast<int>(merged.size());
        if (!merged.empty()) {
            for (QueueSendRoute& route : plan.routes) {
                for (CTransferJob& job : route.jobs) {
                    const auto below = std::count_if(merged.begin(), merged.end(),
                                                     [&](int n) { return n < job.queueEntry; });
                    job.queueEntry -= static_cast<std::int32_t>(below);
                }
            }
        }
    });
    if (!plan.written) plan.routes.clear();
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
    QueueSendPlan plan = TakeQueueRoutes(queuePath);
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

}  // namespace zyfar
