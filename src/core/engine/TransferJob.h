#pragma once
// The transfer job record, the site record of a serial put, the four
// transfer modes and the texts the engine writes into the log.
#include <cstdint>
#include <string>

#include "engine/ResumePoint.h"
#include "settings/Keys.h"

namespace zyfar {

// The mode word of a transfer run.
enum class TransferMode : std::int32_t {
    Put = 0,             // local files to one server
    Get = 1,             // server files to the local disk
    ServerToServer = 2,  // files from one server to another
    PutKeep = 3,         // a put that never deletes the local file (multiple-site put)
};

[[nodiscard]] constexpr bool IsPutMode(TransferMode mode) {
    return mode == TransferMode::Put || mode == TransferMode::PutKeep;
}

// Status values of a job besides 0 (transferred) and the copy loop's error codes.
inline constexpr std::int32_t kJobNotAttempted = -1;
inline constexpr std::int32_t kJobCancelled = 237;       // "FTP Put Canceled"
inline constexpr std::int32_t kJobTargetExists = 239;    // "Can't overwrite existing file!"
inline constexpr std::int32_t kJobFolderFailed = 240;    // "Can't create file folder! FTP Put Canceled!"
// The content's hash differs or cannot be had (the reason says which). No
// message explains it, so its number lies outside the message table's ranges,
// the internet error range and the file error causes.
inline constexpr std::int32_t kJobNotVerified = 3001;

// Texts of the engine's log entries and job reasons.
inline constexpr const char* kPutCanceledText = "FTP Put Canceled";
inline constexpr const char* kGetCanceledText = "FTP Get Canceled";
inline constexpr const char* kCantOverwriteText = "Can't overwrite existing file!";
inline constexpr const char* kCantCreateFolderText = "Can't create file folder! FTP Put Canceled!";

// One file of a run.
struct CTransferJob {
    std::string localDir;      // local folder (mode 2: the source server's folder); a failed or
                               // skipped get stores its local target folder here
    std::string secondString;  // carried along
    std::string sourceName;    // name on the source side
    std::string targetName;    // name to create on the target side, already cased
    std::string remoteDir;     // remote folder (mode 2: the destination server's folder); empty
                               // means the server's current folder after login
    std::string reason;        // failure text, empty while none
    std::int64_t size = 0;     // bytes (drives the progress display only)
    std::uint32_t timeLow = 0;   // the file's time as its view listed it
    std::uint32_t timeHigh = 0;
    std::int32_t word = 0;       // carried along
    std::int32_t status = kJobNotAttempted;
    std::int32_t queueEntry = 0;  // the queue entry the job was made from, 0 if none
    std::int32_t marked = 1;      // carried along
    bool sizeApproximate = false;  // the listing gave the size in blocks or units, not bytes
    // Where an earlier attempt stopped (from the queue entry), then where this
    // run's attempt stopped; offset 0 when there is nothing to continue.
    ResumePoint resume{};

    // Stores a time in seconds since the epoch in timeLow/timeHigh (a time
    // before the epoch counts as 0).
    void SetTime(std::int64_t seconds) {
        const auto value = static_cast<std::uint64_t>(seconds < 0 ? 0 : seconds);
        timeLow = static_cast<std::uint32_t>(value & 0xFFFFFFFFu);
        timeHigh = static_cast<std::uint32_t>(value >> 32);
    }

    friend bool operator==(const CTransferJob&, const CTransferJob&) = default;
};

// One server of a serial put's site list.
struct CTransferSite {
    std::string host;
    std::string login;
    std::string password;
    std::string remoteDir;
    std::int32_t status = 0;  // 0, or the driver's error after the site was served
    std::uint16_t port = 21;
    Encryption encryption = Encryption::None;  // FTP over TLS (the site profile's)

    friend bool operator==(const CTransferSite&, const CTransferSite&) = default;
};

}  // namespace zyfar
