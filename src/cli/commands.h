// kelvory-cli: a command-line front end over the ZIP engine. Each command is one
// entry of the command table: its name, a usage line and the routine that runs it.
// A routine gets the arguments after the command name and returns the exit status
// (0 success, 1 the archive could not be processed, 2 wrong usage); it writes
// results to standard output and every message to standard error.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace cli {

using CommandRoutine = int (*)(std::span<const std::string> args);

struct Command {
  const char* name;
  const char* usage;  // arguments, e.g. "ARCHIVE"
  const char* summary;
  const char* details;  // option lines for the help text, each ending in "\n"; may be ""
  CommandRoutine run;
};

// The commands, in the order the help text lists them.
std::span<const Command> Commands();

// l ARCHIVE: one line per entry (name with its control characters written out,
// method, compressed size, size, DOS date and time, CRC-32), then a total line.
int ListCommand(std::span<const std::string> args);

// t ARCHIVE [-P PASSWORD]: tests every entry; 0 when all test good.
int TestCommand(std::span<const std::string> args);
// x ARCHIVE [-d FOLDER] [-o] [-j] [-P PASSWORD] [--literal] [NAMES...]: extracts the
// named entries (all without names); 1 when nothing was extracted or a problem was
// reported. NAMES are patterns unless --literal makes each a plain name.
int ExtractCommand(std::span<const std::string> args);
// a ARCHIVE [-0..-9] [-r] [-u] [-f] [-m] [-P PASSWORD] [--literal] FILES...: adds files,
// creating the archive when it does not exist; 1 when nothing was added or a
// problem was reported.
int AddCommand(std::span<const std::string> args);
// d ARCHIVE [--literal] NAMES...: deletes entries; 1 when nothing was deleted or a
// problem was reported.
int DeleteCommand(std::span<const std::string> args);

// sfx ARCHIVE.zip [--caption T] [--dir D] [--cmd C] [--overwrite confirm|always|never]:
// makes the archive into a self-extracting program ARCHIVE.exe, which replaces it.
int SfxCommand(std::span<const std::string> args);
// unsfx PROGRAM.exe: makes a self-extracting program into a ZIP archive
// PROGRAM.zip, which replaces it.
int UnsfxCommand(std::span<const std::string> args);

// RAR archives (recognised by their signature, whatever the name) take these
// instead; the options mean the same.
struct RarArgs {
  std::string archive;
  std::vector<std::string> names;
  std::optional<std::string> password;
  std::string folder;
  bool overwrite = false;
  bool junkPaths = false;
  bool literal = false;
};
bool IsRarArchive(const std::string& path);
int RarListCommand(const std::string& archive);
int RarTestCommand(const RarArgs& args);
int RarExtractCommand(const RarArgs& args);

}  // namespace cli
