#pragma once
#include <string>

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

// `zyfar ftp://[user@]host[:port]/path`: shows the main window on the
// Standard FTP screen and connects its remote tree to the URL's folder, the
// way the profile bar connects a site. Without a user the login is anonymous
// with CONFIG Email; a user without a password in the URL is asked for one
// (a masked one-line input; Cancel connects nothing). A refused URL is said
// in a message box and on standard error. False when no connect was started.
bool OpenFtpUrl(CMainFrame& frame, const std::string& url);

}  // namespace zyfar
