#pragma once

namespace zyfar {

class CMainFrame;
struct CommandLine;

// The whole program: command line, settings store, main window, event loop.
// Returns the process exit status.
int RunZyfar(int argc, char* argv[]);

// A command-line script or link run (-b / -l) when a display exists: the
// main window hidden, the run's windows shown, the event loop served until
// the run has ended. Answers the unattended run's exit status (0, 1, 2).
int RunJobWithDisplay(const CommandLine& line, CMainFrame& frame);

}  // namespace zyfar
