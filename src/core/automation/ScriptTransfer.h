#pragma once
// The file side of a script's "get", "put" and "send" lines: the age filter
// and local file matching. The copies themselves are the engine's copy
// loops (engine/CopyLoop.h), with every check they make.
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

#include "ftp/FtpError.h"
#include "ftp/RemoteEntry.h"

namespace zyfar {

// The optional "word op days" of a transfer line: a file takes part when its
// age (now minus its last-write time, in seconds) satisfies op against
// days x 86400: ">", ">=", "<", "<=", or "=" (more than days - 1 and at most
// days whole days old). Any other operator text lets no file pass.
struct ScriptAgeFilter {
    std::string op;
    std::int32_t days = 0;

    [[nodiscard]] bool Passes(std::int64_t ageSeconds) const;
};

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

}  // namespace zyfar
