#pragma once
// The unattended script run without a display ("zyfar -b nightly.cmd" from
// cron or over ssh): every line the batch output dialog would list, error
// blocks included, goes to standard output as it comes; a "message" line
// prints its text and the run goes on.
#include <cstdio>
#include <string>

namespace zyfar {

// Exit statuses of a headless run.
inline constexpr int kHeadlessOk = 0;         // no error block was listed
inline constexpr int kHeadlessErrors = 1;     // an error block, an early end, or a queue file not written
inline constexpr int kHeadlessBadScript = 2;  // not a ".cmd" file that exists and can be read

// True when the path ends in ".cmd" (any case) and names an existing regular file.
[[nodiscard]] bool IsScriptFilePath(const std::string& path);

// Runs the script on the calling thread; lines go to `out`. A path that is
// not a ".cmd" file that exists (or cannot be opened) writes message 33050 to
// `err` and gives kHeadlessBadScript.
[[nodiscard]] int RunHeadlessScript(const std::string& path, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace zyfar
