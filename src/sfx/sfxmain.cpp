// The self-extracting program: the stub that the engine puts in front of a
// settings block and ZIP data. It reads nothing but its own file.
#include <cstdio>
#include <string>

#include "platform/paths.h"
#include "sfx/sfxsession.h"
#include "sfx/sfxsetup.h"

int main(int argc, char* argv[]) {
  const std::string program = argc > 0 && argv[0] && *argv[0] ? platform::fileNameOf(argv[0]) : "kvsfx";
  sfx::SfxArgs args = sfx::ParseArgs(argc, argv);
  if (!args.error.empty()) {
    std::fprintf(stderr, "%s: %s\n%s", program.c_str(), args.error.c_str(), sfx::HelpText(program).c_str());
    return 2;
  }
  if (args.help) {
    std::fputs(sfx::HelpText(program).c_str(), stdout);
    return 0;
  }
  // The running program's own file, whatever name it was started by.
  return sfx::RunSfx(args, program, "/proc/self/exe");
}
