// kelvory-cli entry point: picks the command from the table and runs it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace cli {

std::span<const Command> Commands() {
  static const Command kCommands[] = {
      {"l", "ARCHIVE", "list the entries of a ZIP or RAR archive (any volume of a RAR set or a spanned ZIP set)", "",
       &ListCommand},
      {"t", "ARCHIVE [-P PASSWORD]", "test every entry of a ZIP or RAR archive",
       "-P PASSWORD  password of encrypted entries (-P \"\" is the empty password)\n", &TestCommand},
      {"x", "ARCHIVE [-d FOLDER] [-o] [-j] [-P PASSWORD] [--literal] [NAMES...]",
       "extract entries (all when no NAMES; wildcards * and ? allowed)",
       "-d FOLDER    extract into FOLDER (made when missing) instead of the current folder\n"
       "-o           overwrite existing files (they are kept otherwise)\n"
       "-j           junk paths: leave out the folder names of the entries\n"
       "-P PASSWORD  password of encrypted entries (-P \"\" is the empty password)\n"
       "--literal    every NAME matches only the entry of exactly that name (* and ? are\n"
       "             plain characters)\n",
       &ExtractCommand},
      {"a", "ARCHIVE [-0..-9] [-r] [-u] [-f] [-m] [-P PASSWORD] [-s SIZE] [--literal] FILES...",
       "add files to a ZIP archive, creating it when it does not exist",
       "-0 .. -9     compression level, 0 stores, 9 (the default) packs smallest\n"
       "-r           recurse into the folders named\n"
       "-u           update: add only files that are newer or not in the archive\n"
       "-f           freshen: replace only entries whose file is newer\n"
       "-m           move: delete the files once the archive is written\n"
       "-P PASSWORD  encrypt the new entries with PASSWORD (which may be empty: -P \"\")\n"
       "-s SIZE      write a spanned set instead: volume files ARCHIVE001.zip,\n"
       "             ARCHIVE002.zip, ... of at most SIZE bytes each (suffix k, m or g\n"
       "             for KiB, MiB, GiB); t, x and l read a set from any volume\n"
       "--literal    every FILE names one file (* and ? in its last part are plain\n"
       "             characters, not wildcards)\n",
       &AddCommand},
      {"d", "ARCHIVE [--literal] NAMES...", "delete entries (wildcards * and ? allowed)",
       "--literal    every NAME matches only the entry of exactly that name (* and ? are\n"
       "             plain characters)\n",
       &DeleteCommand},
      {"sfx", "ARCHIVE.zip [--caption T] [--dir D] [--cmd C] [--overwrite confirm|always|never]",
       "make a ZIP archive into a self-extracting program ARCHIVE.exe (the .zip goes to the trash)",
       "--caption T  first line the program shows (default \"Self-extracting Archive\")\n"
       "--dir D      folder it extracts into by default; >< makes a new temporary folder\n"
       "--cmd C      command run after extracting, \"program|arguments\"; >< stands for\n"
       "             the folder extracted into\n"
       "--overwrite  what the program does with existing files: confirm (ask; keep them\n"
       "             when nobody can be asked, the default), always or never\n",
       &SfxCommand},
      {"unsfx", "PROGRAM.exe",
       "make a self-extracting program into a ZIP archive PROGRAM.zip (the .exe goes to the trash)", "", &UnsfxCommand},
  };
  return kCommands;
}

}  // namespace cli

namespace {

void printUsage(std::FILE* to) {
  std::fprintf(to, "usage: kelvory-cli COMMAND ARGS...\ncommands:\n");
  for (const cli::Command& c : cli::Commands()) {
    std::fprintf(to, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
    for (const char* line = c.details; *line;) {
      const char* end = std::strchr(line, '\n');
      if (!end) end = line + std::strlen(line);
      std::fprintf(to, "      %.*s\n", static_cast<int>(end - line), line);
      line = *end ? end + 1 : end;
    }
  }
  std::fprintf(to,
               "Exit status: 0 success, 1 the archive could not be processed (or, for t, x, a and d, a\n"
               "problem was reported), 2 wrong usage. Messages go to standard error; a progress line\n"
               "is shown there while it is a terminal.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
    printUsage(stdout);
    return 0;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const cli::Command& c : cli::Commands())
    if (std::strcmp(argv[1], c.name) == 0) return c.run(args);
  std::fprintf(stderr, "kelvory-cli: unknown command '%s'\n", argv[1]);
  printUsage(stderr);
  return 2;
}
