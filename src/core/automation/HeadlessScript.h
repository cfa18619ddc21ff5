#pragma once
// The unattended script run without a display ("zyfar -b nightly.cmd" from
// cron or over ssh): every line the batch output dialog would list, error
// blocks included, goes to standard output as it comes; a "message" line
// prints its text and the run goes on.
#include <cstdio>
#include <string>

#include "automation/ScriptOutput.h"

namespace zyfar {

// Exit statuses of a headless run.
inline constexpr int kHeadlessOk = 0;         // no error block was listed
inline constexpr int kHeadlessErrors = 1;     // an error block, an early end, or a queue file not written
inline constexpr int kHeadlessBadScript = 2;  // not a ".cmd" file that exists and can be read

// True when the path ends in ".cmd" (any case) and names an existing regular file.
[[nodiscard]] bool IsScriptFilePath(const std::string& path);

// The exit status of a script run that was started, with or without a
// display: kHeadlessOk when every line ran without an error block and every
// queue file write succeeded; kHeadlessBadScript when the file could not be
// opened; else kHeadlessErrors (error blocks, an early end, a cancel).
[[nodiscard]] int ScriptExitStatus(const ScriptRunResult& result, bool queueWritten);

// Runs the script on the calling thread; lines go to `out`. A path that is
// not a ".cmd" file that exists (or cannot be opened) writes message 33050 to
// `err` and gives kHeadlessBadScript.
[[nodiscard]] int RunHeadlessScript(const std::string& path, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace zyfar
