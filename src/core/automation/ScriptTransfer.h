#pragma once
// The file side of a script's "get", "put" and "send" lines: the age filter,
// local file matching, and the streaming copies (constant memory, one
// buffer per copy).
//
// Local file errors carry the file-exception cause of the failure as their
// code (2 not found, 3 bad path, 4 too many open files, 5 access denied,
// 6 bad descriptor, 10 hard I/O error, 13 disk full, 1 anything else: the
// engine's FileCauseOfErrno) and a text that names the file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpClient.h"
#include "ftp/FtpError.h"
#include "ftp/RemoteEntry.h"

namespace zyfar {

class WorkerControl;

// Bytes moved per pass of a script copy.
inline constexpr std::size_t kScriptCopyChunk = 64 * 1024;

// The optional "word op days" of a transfer line: a file takes part when its
// age (now minus its last-write time, in seconds) satisfies op against
// days x 86400: ">", ">=", "<", "<=", or "=" (more than days - 1 and at most
// days whole days old). Any other operator text lets no file pass.
struct ScriptAgeFilter {
    std::string op;
    std::int32_t days = 0;

    [[nodiscard]] bool Passes(std::int64_t ageSeconds) const;
};

// A server time (taken as UTC) in seconds since 1970; nothing when the time
// is not valid.
[[nodiscard]] std::optional<std::int64_t> RemoteTimeToEpoch(const RemoteTime& time);

// True when a name may be created inside a local folder: not empty, not "."
// or "..", no "/" and no NUL.
[[nodiscard]] bool IsSafeLocalName(std::string_view name);

struct LocalFile {
    std::string path;         // full path
    std::string name;         // the last part
    std::int64_t size = 0;
    std::int64_t modified = 0;  // last-write time, seconds since 1970
};

// The regular files a local spec names: a folder part and a last part that
// may hold "*" and "?" (case-sensitive). Folders and other non-regular files
// are skipped. Sorted by name. A folder that cannot be read gives its errno
// in `error` and no files.
struct LocalFind {
    std::vector<LocalFile> files;
    int error = 0;
};
[[nodiscard]] LocalFind FindLocalFiles(const std::string& spec);

// A local file failure (see the codes above).
[[nodiscard]] FtpResult LocalFileError(int err, std::string_view what, const std::string& path);

// Downloads remotePath into folder/name. The bytes go to a temporary file in
// that folder, which then takes the target's place; a failed copy leaves no
// partial target behind. Without overwrite an existing target (of any kind,
// a symbolic link included) is left alone and the result is 239 "Can't
// overwrite existing file!". The name must pass IsSafeLocalName.
[[nodiscard]] FtpResult DownloadFile(FtpClient& client, const std::string& remotePath, const std::string& folder,
                                     const std::string& name, FtpTransferType type, bool overwrite,
                                     WorkerControl* control);

// Uploads a local regular file to remotePath.
[[nodiscard]] FtpResult UploadFile(FtpClient& client, const std::string& localPath, const std::string& remotePath,
                                   FtpTransferType type, WorkerControl* control);

// Copies fromPath on one server to toPath on another. The two clients must
// be different connections.
[[nodiscard]] FtpResult CopyServerToServer(FtpClient& from, const std::string& fromPath, FtpClient& to,
                                           const std::string& toPath, FtpTransferType type,
                                           WorkerControl* control);

}  // namespace zyfar
