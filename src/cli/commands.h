// kelvory-cli: a command-line front end over the ZIP engine. Each command is one
// entry of the command table: its name, a usage line and the routine that runs it.
// A routine gets the arguments after the command name and returns the exit status
// (0 success, 1 the archive could not be processed, 2 wrong usage); it writes
// results to standard output and every message to standard error.
#pragma once

#include <span>
#include <string>

namespace cli {

using CommandRoutine = int (*)(std::span<const std::string> args);

struct Command {
  const char* name;
  const char* usage;  // arguments, e.g. "ARCHIVE"
  const char* summary;
  CommandRoutine run;
};

// The commands, in the order the help text lists them.
std::span<const Command> Commands();

// l ARCHIVE: one line per entry (name, method, compressed size, size, DOS date and
// time, CRC-32), then a total line.
int ListCommand(std::span<const std::string> args);

}  // namespace cli
