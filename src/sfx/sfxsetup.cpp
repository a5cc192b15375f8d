#include "sfx/sfxsetup.h"

#include <cctype>
#include <string_view>

#include "platform/process.h"
#include "platform/routines.h"

namespace sfx {

SfxArgs ParseArgs(int argc, const char* const argv[]) {
  SfxArgs a;
  for (int i = 1; i < argc && a.error.empty(); ++i) {
    std::string_view arg = argv[i];
    if (arg == "--dest" || arg == "-d") {
      if (i + 1 >= argc || !*argv[i + 1]) {
        a.error = "--dest needs a folder";
      } else {
        a.dest = argv[++i];
      }
    } else if (arg.starts_with("--dest=")) {
      a.dest = std::string(arg.substr(7));
      if (a.dest.empty()) a.error = "--dest needs a folder";
    } else if (arg == "--yes" || arg == "-y") {
      a.yes = true;
    } else if (arg == "--list" || arg == "-l") {
      a.list = true;
    } else if (arg == "--no-run") {
      a.noRun = true;
    } else if (arg == "--help" || arg == "-h") {
      a.help = true;
    } else {
      a.error = "unknown argument: " + std::string(arg);
    }
  }
  return a;
}

std::string HelpText(const std::string& program) {
  return "Usage: " + program +
         " [--dest DIR] [--yes] [--list] [--no-run]\n"
         "A self-extracting archive: extracts the files it carries.\n"
         "\n"
         "  --dest DIR, -d DIR  extract into DIR (created when missing) instead of the\n"
         "                      archive's default folder, without asking for one\n"
         "  --yes, -y           ask nothing: every question takes its default (all files,\n"
         "                      the archive's overwrite rule, existing files kept when\n"
         "                      the rule is to ask, the command run)\n"
         "  --list, -l          list the contents and extract nothing\n"
         "  --no-run            do not run the archive's command after extracting\n"
         "  --help, -h          show this text\n"
         "\n"
         "In a terminal the program asks for the folder and whatever else its archive\n"
         "allows; started without a terminal it asks nothing, extracts into the default\n"
         "folder and keeps existing files unless the archive says to overwrite them.\n"
         "Exit status: 0 done, 1 some files not extracted, 2 bad arguments, 3 damaged\n"
         "program file, 4 the command could not be run, 5 cancelled.\n";
}

std::string ResolveDefaultDir(const std::string& text, const std::string& home) {
  if (text == kTempFolder) return text;
  std::string t = text;
  for (char& c : t)
    if (c == '\\') c = '/';
  if (t.size() >= 2 && std::isalpha(static_cast<unsigned char>(t[0])) && t[1] == ':') {
    // A drive of the system the archive was made for: its root is the home folder.
    std::string rest = t.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    return rest.empty() ? home : home + "/" + rest;
  }
  if (t == "~") return home;
  if (t.starts_with("~/")) return home + t.substr(1);
  return t;
}

std::vector<std::string> BuildCommand(const std::string& text, const std::string& folder) {
  std::string program = text, arguments;
  if (auto bar = text.find('|'); bar != std::string::npos) {
    program = text.substr(0, bar);
    arguments = text.substr(bar + 1);
  }
  platform::ReplaceText("><", program, folder, true);
  platform::ReplaceText("><", arguments, folder, true);
  while (!program.empty() && (program.front() == ' ' || program.front() == '\t')) program.erase(0, 1);
  while (!program.empty() && (program.back() == ' ' || program.back() == '\t')) program.pop_back();
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"')
    program = program.substr(1, program.size() - 2);
  if (program.empty()) return {};
  std::vector<std::string> args{program};
  for (std::string& a : platform::splitCommandLine(arguments)) args.push_back(std::move(a));
  return args;
}

}  // namespace sfx
