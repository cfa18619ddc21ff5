#pragma once
// The queue send pass: the idle entries of the transfer queue, grouped by
// route (Source, Destination) in the order each route first appears, become
// one transfer run per route, and the taken entries are marked "1" (being
// sent) in the same locked update of the queue file. When a run ends, the
// engine queue update removes the entries whose files arrived and sets the
// others back to idle.
//
// Per route (a route is sent when it has an idle entry that is taken):
//  - all the route's entries are taken in queue order, whatever their
//    Status (an entry still marked as being sent is sent again); an entry
//    whose full local path is already in the route's job is not sent twice:
//    when it is the same transfer (same remote name too) it is merged into
//    the first (removed from the queue, the entries behind it move up),
//    otherwise it waits, unchanged, for a later pass;
//  - the server comes from the route's first entry (host: the destination
//    for a put, the source otherwise; Login, Password, RemDir, Port); a
//    remote-to-remote route takes its second server from its first entry's
//    RemLogin, RemPassword, RemRemDir and RemotePort, with the destination as
//    host;
//  - a put or get route becomes a single-server run (mode 0 or 1, type flag
//    2), a remote-to-remote route a server-to-server run; after a put or get
//    run is started the pass waits 200 ms before the next route.
//
// Before that, entries marked as being sent by a run that is gone become
// idle (QueueEditor::ReleaseAbandoned): those of a process that no longer
// runs, and at the first pass of a process those without an owner. Entries
// without a source, a
// destination or a local name cannot be sent and are left alone. FtpMethod
// "ZYFAR_GET" is a get, "ZYFAR_XFER" a remote-to-remote transfer, anything
// else (absent included) a put; entries of one route with different methods
// go to separate runs.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/MultiPut.h"
#include "automation/QueueFile.h"
#include "engine/TransferJob.h"
#include "engine/TransferRun.h"

namespace zyfar {

struct QueueSendRoute {
    std::string source;       // the entries' Source
    std::string destination;  // the entries' Destination
    QueueMethod method = QueueMethod::Put;
    TransferServer server;    // put: the destination server; get and remote-to-remote: the source server
    TransferServer second;    // remote-to-remote only: the destination server
    std::vector<CTransferJob> jobs;  // one per taken entry, queueEntry = its section number
};

struct QueueSendPlan {
    std::vector<QueueSendRoute> routes;
    int merged = 0;       // duplicate entries merged into the first of their transfer
    int freed = 0;        // entries of a run that is gone, made idle again
    bool written = true;  // false when the queue file could not be read or written
    std::string error;    // why, when not written
};

// The pass's result when the queue file could not be read or written (said
// to the user and logged by the pass).
inline constexpr int kQueueSendFailed = -1;

// Reads the queue, picks the routes and marks the taken entries "1", all in
// one locked read-modify-write of the file at `queuePath`. `processStart`:
// the first pass of this process.
[[nodiscard]] QueueSendPlan TakeQueueRoutes(const std::string& queuePath, bool processStart);

// The run of one route (see above).
[[nodiscard]] std::unique_ptr<TransferRun> MakeRouteRun(const QueueSendRoute& route);

// The whole pass over the user's queue file ("zyfarQue.ini" in the settings
// folder) or another one: 1 when at least one route was started, 0 when the
// queue is empty or has no idle entry that can be sent, kQueueSendFailed when
// the file could not be read or written.
int RunQueueSendPass(TransferRunStarter& starter);
int RunQueueSendPass(TransferRunStarter& starter, const std::string& queuePath);

// The partial download ("<target>.zyfar-part") a get entry's resend would
// continue, under the current FTP Dir Tree setting; nothing for a put or
// remote-to-remote entry, or when the target cannot be told offline.
[[nodiscard]] std::optional<std::string> QueuePartialPathOf(const QueueEntry& e);

// After `deleted` left the queue: removes the partial downloads of those get
// entries, except where bytes may still be wanted: an entry being sent
// (Status not 0; its run owns the file), a file that an entry of `remaining`
// (the queue as it is now) would continue, a file a run holds open, and
// anything that is not a regular file at exactly that path. Answers how many
// files were removed.
int RemoveDeletedPartials(const std::vector<QueueEntry>& deleted, const std::vector<QueueEntry>& remaining);

}  // namespace zyfar
