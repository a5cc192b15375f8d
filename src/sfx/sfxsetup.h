// The self-extracting program's own command line, its help text, and the two
// texts of its settings that it turns into actions: the default folder and the
// command to run after extracting.
#pragma once

#include <string>
#include <vector>

namespace sfx {

struct SfxArgs {
  std::string dest;    // --dest DIR: extract there without asking for a folder
  bool yes = false;    // --yes: ask nothing, take every default
  bool list = false;   // --list: only list the contents
  bool help = false;   // --help
  bool noRun = false;  // --no-run: never run the command
  std::string error;   // not empty: the command line was not understood
};

// Reads argv[1..argc-1].
SfxArgs ParseArgs(int argc, const char* const argv[]);

// The --help text; program is the name the program was started by.
std::string HelpText(const std::string& program);

// The folder a default-folder text names, before anything is created: "" for the
// current folder, kTempFolder for "><" (a fresh temporary folder), a drive root
// such as "C:\" or a text under one ("C:\Tools\x") below the home folder, "~" and
// "~/..." below the home folder, any other text as given with "\" read as "/".
inline constexpr const char* kTempFolder = "><";
std::string ResolveDefaultDir(const std::string& text, const std::string& home);

// The program and arguments of a command text "program|arguments" with every
// "><" replaced by folder (the extraction folder, with a trailing "/"). The
// arguments are split at blanks, double quotes grouping. Empty when the text
// names no program.
std::vector<std::string> BuildCommand(const std::string& text, const std::string& folder);

}  // namespace sfx
