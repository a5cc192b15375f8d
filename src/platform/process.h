// Starting other programs, waiting for them, and opening documents with the
// desktop's default application.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Splits a command line into arguments: blanks separate, double quotes group
// ("a b" is one argument), a backslash inside quotes escapes a quote or backslash.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

struct ProcessResult {
  bool started = false;  // the program could be started
  int exitCode = -1;     // when waited for: its exit status (-1 when it died on a signal)
  std::string error;     // why it could not be started
};

// Starts the program of the command line (the first argument, found on PATH when it
// has no "/"). With wait, blocks until it ends and reports its exit code; the
// caller's pump hook runs while waiting so a window stays alive.
ProcessResult runCommand(const std::string& commandLine, bool wait);
// With folder, the program starts in that folder instead of the caller's current one.
ProcessResult runArgs(const std::vector<std::string>& args, bool wait, const std::string& folder = {});

// Gives a file the execute bits (for its owner, and for group and others where it is
// readable by them). True when the file ends up executable.
bool makeExecutable(const std::string& path);

// Opens a document, folder or address with the desktop's default application
// (xdg-open). False when no opener could be started.
bool desktopOpen(const std::string& target);

}  // namespace platform
