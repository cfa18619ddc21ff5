#pragma once
// Where a failed transfer stopped, kept with its job (and in its queue entry)
// so that a later attempt can continue from there instead of starting over.
#include <cstdint>
#include <string>

namespace zyfar {

struct ResumePoint {
    // Bytes of the target already in place: a get's partial file
    // ("<target>.zyfar-part"); for a put the bytes handed to the server (it
    // may hold fewer: the next attempt asks it with SIZE). 0: none.
    std::int64_t offset = 0;
    // The source when those bytes were taken: its size (-1 unknown) and its
    // time ("" unknown; a local file's "<seconds>.<nanoseconds>", a server
    // file's MDTM text). A later attempt continues only when both are known
    // and unchanged.
    std::int64_t sourceSize = -1;
    std::string sourceTime;

    [[nodiscard]] bool Usable() const { return offset > 0 && sourceSize >= 0 && !sourceTime.empty(); }

    friend bool operator==(const ResumePoint&, const ResumePoint&) = default;
};

}  // namespace zyfar
