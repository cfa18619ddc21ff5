#pragma once
// What stands at a path on a server: the overwrite rule and the target
// folders of puts and server-to-server copies (drivers and scripts).
//
// A lookup asks MLST for the exact path when the server offers it, else (or
// when MLST is refused) lists the folder once per batch and keeps the
// listing, updated with what the batch creates; a refused listing is kept
// too, so later names in that folder go straight to SIZE. A lookup the server refuses
// (a 550, 450 or 501 on the listing, as an account that may store but not
// list gets) is not "nothing there": SIZE is asked for the exact name, and
// when that does not answer either, the lookup cannot tell.
#include <cstdint>
#include <map>
#include <string>

#include "ftp/FtpClient.h"

namespace zyfar {

class RemoteLookup {
public:
    enum class Kind { Absent, File, Folder, Unknown };
    struct Found {
        Kind kind = Kind::Unknown;
        FtpResult failure;  // Unknown: why the server could not say
    };

    // Forgets the kept listings (a new connection).
    void Reset() {
        folders_.clear();
        refused_.clear();
    }

    // What stands at `name` in `folder` (as the job's paths spell it; empty:
    // where the server stands).
    [[nodiscard]] Found Find(FtpClient& client, const std::string& folder, const std::string& name);

    // Something now exists at `name` in `folder`.
    void NoteCreated(const std::string& folder, const std::string& name, bool isDirectory);

private:
    std::map<std::string, std::map<std::string, bool>> folders_;  // folder -> name -> is a folder
    std::map<std::string, FtpResult> refused_;  // folders the server would not list, and why
};

// The reason of a job that was not copied because the server could not say
// whether its target exists (status 239).
[[nodiscard]] std::string CannotTellText(const FtpResult& failure);

}  // namespace zyfar
