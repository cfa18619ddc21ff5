#pragma once
// The copy loops: one file from the local disk to a server (PutCopyLoop),
// from a server to the local disk (GetCopyLoop), or from one server to
// another (ServerToServerCopyLoop), inside open sessions.
//
// Each pass reads ReadBuffer bytes and writes WriteBuffer bytes (when
// WriteBuffer is smaller, one read is written in WriteBuffer pieces; else up
// to WriteBuffer / ReadBuffer reads are gathered into one write). Every read
// and write is counted in the statistics and sets the tray state (2 before a
// server write, 1 before a server read, 0 before local I/O). After each pass
// the progress state and the time counter are updated.
//
// A copy ends at the end of its source; the job's size only drives the
// display. It succeeds only when the data stream ended normally, the
// server's final reply was 2xx, and in binary mode the bytes moved equal the
// source's size when it was opened (the local file's size for a put, the
// server's SIZE answer for a get or server-to-server copy when the server
// gives one). When the server does not answer SIZE, a get or
// server-to-server copy that moved fewer bytes than the listing gave for the
// file fails; only when neither is known does the final reply alone decide.
//
// Verification (FTP VerifyHash): where the server offers a hash command
// (engine/ContentHash.h, ftp/FtpHash.h) the copy hashes the bytes as they
// pass, then asks the server for its hash of the file and fails on any
// difference (status kJobNotVerified, both hashes in the reason); a match names the hash
// in the outcome for the log ("SHA-256 <hex>"). "REQUIRE" fails a copy that
// cannot be verified (no hash command, a refused hash, an ASCII transfer)
// before it moves a byte where that is known beforehand. An answer that
// cannot be read strictly always fails the copy. A server-to-server copy is
// checked against each server that offers a hash ("REQUIRE": both must).
//
// Resuming (FTP Resume "YES", binary copies): a failed get keeps what
// arrived in "<target>.zyfar-part" when the request says so (keepPartial); a
// failed put leaves the server's partial file as always. The outcome's
// `resume` says where the copy stopped and what the source was then (its
// size and time: a local file's modification time, a server's MDTM). A
// later copy given that point continues only when the source is unchanged
// (same size and time), the partial part is still there (a get: the partial
// file holds exactly those bytes; a put: SIZE finds at most the bytes that
// were sent) and the server takes REST (a get), or REST STREAM or APPE (a
// put, see FtpClient::OpenFileAt); otherwise it starts over, never appending
// to bytes that may be wrong. A resumed copy is checked like any other: the
// bytes before the offset plus the bytes moved must be the source's size,
// and a verified copy hashes the bytes before the offset too (a get reads
// them back from its partial file; a put reads them from its source, which
// is this attempt's only read of them). Server-to-server copies always
// start from the beginning.
//
// A get writes into a new file beside the target and renames it over the
// target only once the copy is verified, so a failed or cancelled get leaves
// the old file as it was and no partial file behind; a link at the target is
// replaced, never written through. A failed put or server-to-server copy
// leaves the server's partial file where it is.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/ResumePoint.h"
#include "engine/TransferJob.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpError.h"

namespace zyfar {

class CTransferSession;
class WorkerControl;

struct CopyRequest {
    std::string sourcePath;
    std::string targetPath;
    int typeFlag = 1;         // for ChooseTransferType
    std::int64_t size = 0;    // the job's size (display only)
    // The batch start, for the batch rate and time left; none leaves them.
    std::optional<std::chrono::steady_clock::time_point> batchStart;
    TransferMode mode = TransferMode::Put;  // put: only mode 0 honours DeletePut
    // The transfer type; none lets ChooseTransferType decide by typeFlag.
    std::optional<FtpTransferType> type;
    // Get: an existing target is replaced; without it the copy ends with 239.
    bool overwrite = true;
    // Get and server to server: the file's size as a listing gave it, if it did.
    std::optional<std::int64_t> listedSize;
    // Resumed transfers (a binary get or put, FTP Resume "YES"): where an
    // earlier attempt stopped, with its source as it was then (offset 0: none).
    ResumePoint resumeFrom{};
    // Get: a copy that fails after moving bytes keeps them in the partial
    // file "<target>.zyfar-part" for a later attempt (the run's failures go
    // to the queue, which remembers where it stopped).
    bool keepPartial = false;
    // Put: a file stands at the target and Overwrite is off; the copy may
    // only continue it from resumeFrom (else it fails with 239, sending nothing).
    bool continueOnly = false;
};

struct CopyOutcome {
    std::int32_t result = 0;   // 0, 237 (put cancelled by the abort flag), or the failure's code
    std::string errorText;     // at most 255 bytes
    bool cancelled = false;    // the worker was cancelled (the job stays unattempted)
    std::int64_t bytesMoved = 0;
    // The content was verified: "SHA-256 <hex>" (the algorithm the server
    // used); empty when it was not.
    std::string verified;
    // A failed copy: where a later attempt may continue (offset 0: nowhere).
    ResumePoint resume{};
    // This copy continued an earlier attempt from this byte (0: from the start).
    std::int64_t resumedFrom = 0;

    [[nodiscard]] bool ok() const { return result == 0; }
};

[[nodiscard]] CopyOutcome PutCopyLoop(CTransferSession& session, const CopyRequest& request);
[[nodiscard]] CopyOutcome GetCopyLoop(CTransferSession& session, const CopyRequest& request);
// The source file on `source`, the target on `destination`; progress goes to
// the source session's progress.
[[nodiscard]] CopyOutcome ServerToServerCopyLoop(CTransferSession& source, CTransferSession& destination,
                                                 const CopyRequest& request);

// ---- the pass structure (shared by the three loops) ----

using CopyReadFn = std::function<FtpOutcome<std::size_t>(char*, std::size_t)>;
using CopyWriteFn = std::function<FtpResult(const char*, std::size_t)>;

enum class PassEnd { EndOfSource, Failed, Cancelled, Aborted };

struct PassResult {
    PassEnd end = PassEnd::EndOfSource;
    FtpResult failure;
    std::int64_t moved = 0;
    std::int64_t passes = 0;
};

// Passes until the source ends (a read returning nothing), a read or write
// fails, the control is cancelled (checked, and paused at, before every
// pass) or the abort flag is found set after a pass. `onPass` hears the
// bytes of each pass that moved any.
[[nodiscard]] PassResult CopyPassLoop(std::size_t readSize, std::size_t writeSize, WorkerControl* control,
                                      const std::atomic<bool>* abortFlag, const CopyReadFn& read,
                                      const CopyWriteFn& write, const std::function<void(std::int64_t)>& onPass);

// The largest ReadBuffer / WriteBuffer a copy uses (larger settings are cut).
inline constexpr std::int32_t kMaxCopyBuffer = 16 * 1024 * 1024;

}  // namespace zyfar
