#pragma once

namespace zyfar {

// The whole program: command line, settings store, main window, event loop.
// Returns the process exit status.
int RunZyfar(int argc, char* argv[]);

}  // namespace zyfar
