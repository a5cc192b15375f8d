#include "platform/routines.h"

#include <vector>

#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace platform {

std::string ProgramPath(int mode) {
  std::string folder = programFolder();
  if (mode == 0) return drives().rootOf(folder);
  if (mode == 1) return folder;
  return fileNameOf(executablePath());
}

std::string AddBackslash(const std::string& path) {
  if (path.empty() || path.back() == kSeparator) return path;
  return path + kSeparator;
}

std::string GetField(const std::string& text, int n, const std::string& delimiter) {
  if (delimiter.empty()) return n == 1 ? text : std::string();
  std::string rest = text, field;
  for (int i = 0; i < n; ++i) {
    auto pos = rest.find(delimiter);
    if (pos == std::string::npos) {
      if (rest.empty()) return std::string();
      field = rest;
      rest.clear();
    } else {
      field = rest.substr(0, pos);
      rest = rest.substr(pos + delimiter.size());
    }
  }
  return field;
}

void ReplaceText(const std::string& searched, std::string& text, const std::string& replacement, bool all) {
  if (searched.empty()) return;
  std::size_t from = 0;
  // Searching the edited text again from its start would loop for ever when the
  // replacement holds the searched text, so the search then resumes after it.
  // Otherwise a new occurrence can only overlap the replaced part (the text before
  // it held none), so resuming just before it finds what a restart would.
  while (true) {
    auto pos = text.find(searched, from);
    if (pos == std::string::npos) return;
    text.replace(pos, searched.size(), replacement);
    if (!all) return;
    if (replacement.find(searched) != std::string::npos)
      from = pos + replacement.size();
    else
      from = pos >= searched.size() - 1 ? pos - (searched.size() - 1) : 0;
  }
}

bool RunProgram(const std::string& program, const std::string& parameters, int /*showState*/, bool wait) {
  // The program name is taken as one argument even when it holds blanks; the
  // parameters are split like a command line.
  std::vector<std::string> args{program};
  for (auto& a : splitCommandLine(parameters)) args.push_back(a);
  ProcessResult r = runArgs(args, wait);
  if (!r.started) return false;
  return !wait || r.exitCode == 0;
}

void ShellOpen(const std::string& path) { desktopOpen(path); }

std::string FormatElapsed(std::uint64_t startTick, std::uint64_t endTick) {
  std::uint64_t diff = endTick >= startTick ? endTick - startTick : 0;
  std::uint64_t seconds = diff / 1000, minutes = seconds / 60;
  seconds %= 60;
  auto two = [](std::uint64_t v) { return (v <= 9 ? "0" : "") + std::to_string(v); };
  return two(minutes) + ":" + two(seconds);
}

}  // namespace platform
