// kelvory-cli entry point: picks the command from the table and runs it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace cli {

std::span<const Command> Commands() {
  static const Command kCommands[] = {
      {"l", "ARCHIVE", "list the entries of a ZIP archive", &ListCommand},
  };
  return kCommands;
}

}  // namespace cli

namespace {

void printUsage(std::FILE* to) {
  std::fprintf(to, "usage: kelvory-cli COMMAND ARGS...\ncommands:\n");
  for (const cli::Command& c : cli::Commands()) std::fprintf(to, "  %s %-12s %s\n", c.name, c.usage, c.summary);
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
