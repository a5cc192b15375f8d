// One run of the self-extracting program: it reads its own file (the stub, the
// settings block and the ZIP data behind them), asks in a terminal what its
// settings allow, extracts with the extractor's safe-name and safe-output rules,
// and runs the command of its settings.
#pragma once

#include <optional>
#include <string>

#include "sfx/sfxsetup.h"

namespace sfx {

// Questions on standard input and output. Not interactive: no question is asked.
class Terminal {
 public:
  explicit Terminal(bool interactive) : interactive_(interactive) {}
  bool interactive() const { return interactive_; }
  // Writes the question and reads one line (without its line end); nothing at
  // the end of the input.
  std::optional<std::string> ask(const std::string& question);
  // The same without echoing what is typed (for a password).
  std::optional<std::string> askHidden(const std::string& question);

 private:
  bool interactive_;
};

// Runs the program. self is the program's own file, program its name for
// messages. Returns the exit status (see HelpText).
int RunSfx(const SfxArgs& args, const std::string& program, const std::string& self);

}  // namespace sfx
