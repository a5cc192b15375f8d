#include "sfx/sfxsession.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "platform/paths.h"
#include "platform/process.h"
#include "zipcore/directory.h"
#include "zipcore/fileio.h"
#include "zipcore/names.h"
#include "zipcore/safepath.h"
#include "zipcore/sfxblock.h"
#include "ziplibs/extractor.h"
#include "ziplibs/options.h"
#include "ziplibs/reporter.h"

namespace sfx {

using namespace zipcore;

namespace {

enum Exit { kDone = 0, kNotAll = 1, kDamaged = 3, kNoCommand = 4, kCancelled = 5 };

void say(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Everything a message shows from the archive goes through here: its settings
// and names may hold control characters meant for the terminal.
std::string shown(const std::string& text) { return PrintableName(text); }

class Messages {
 public:
  explicit Messages(std::string program) : program_(std::move(program)) {}
  const std::string& program() const { return program_; }
  void error(const std::string& text) const {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), text.c_str());
  }

 private:
  std::string program_;
};

// What the extractor reports, as lines on the terminal; problems on standard
// error, counted.
struct ExtractLog {
  const Messages* messages = nullptr;
  unsigned problems = 0;

  static std::uint32_t onRecord(ZipCallbackRecord* r) {
    auto* log = static_cast<ExtractLog*>(r->Caller);
    if (r->ActionCode != ZIPLIB_ACTION_MESSAGE) return 0;
    if (r->ErrorCode == 0) {
      say(r->Text);
    } else {
      ++log->problems;
      log->messages->error(r->Text);
    }
    return 0;
  }
};

// The program file ends where its archive does: it was copied whole.
bool sizeChecks(const Directory& dir, const InputFile& self) {
  return !dir.end.trailingGarbage && dir.end.commentEnd <= self.size() && !dir.entriesMissing();
}

std::string sizeText(std::uint64_t n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%10llu", static_cast<unsigned long long>(n));
  return buf;
}

std::string dateText(const ZipEntry& e) {
  const unsigned d = e.dosTime >> 16, t = e.dosTime & 0xFFFF;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u", 1980 + (d >> 9), (d >> 5) & 15, d & 31, t >> 11,
                (t >> 5) & 63);
  return buf;
}

int listEntries(const Directory& dir) {
  std::uint64_t total = 0;
  say("      Size  Date       Time   Name");
  for (const ZipEntry& e : dir.entries) {
    say(sizeText(e.uncompressedSize) + "  " + dateText(e) + "  " + shown(e.name));
    total += e.uncompressedSize;
  }
  say(sizeText(total) + "  " + std::to_string(dir.entries.size()) + " entries");
  return kDone;
}

// "1-3,7" into indices 0-based below count; false when it does not read.
bool parseSelection(const std::string& text, std::size_t count, std::vector<std::size_t>& out) {
  out.clear();
  std::set<std::size_t> picked;
  std::size_t i = 0;
  auto number = [&](std::size_t& v) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t start = i;
    v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && v <= count) v = v * 10 + (text[i++] - '0');
    while (i < text.size() && text[i] == ' ') ++i;
    return i > start && v >= 1 && v <= count;
  };
  while (i < text.size()) {
    std::size_t from = 0, to = 0;
    if (!number(from)) return false;
    to = from;
    if (i < text.size() && text[i] == '-') {
      ++i;
      if (!number(to) || to < from) return false;
    }
    for (std::size_t k = from; k <= to; ++k) picked.insert(k - 1);
    if (i < text.size()) {
      if (text[i] != ',') return false;
      ++i;
    }
  }
  out.assign(picked.begin(), picked.end());
  return !out.empty();
}

class Run {
 public:
  Run(const SfxArgs& args, const std::string& program) : args_(args), msg_(program) {}
  int go(const std::string& selfPath);

 private:
  bool chooseFolder();
  bool chooseMode();
  bool chooseEntries();
  bool chooseReplacements();
  bool askPassword();
  bool makeFolder();
  int extract();
  int runCommand();
  int cancelled() {
    say("Cancelled: nothing was extracted.");
    return kCancelled;
  }

  const SfxArgs& args_;
  Messages msg_;
  InputFile self_;
  std::string selfPath_;
  Directory dir_;
  SfxSettings settings_;
  Terminal term_{false};
  std::string dest_;  // kTempFolder until made
  SfxOverwrite mode_ = SfxOverwrite::Confirm;
  std::vector<std::size_t> chosen_;
  bool all_ = true;                // every entry chosen
  std::set<std::size_t> replace_;  // existing files to overwrite
  std::string password_;
};

int Run::go(const std::string& selfPath) {
  selfPath_ = selfPath;
  if (!self_.open(selfPath)) {
    msg_.error("cannot read its own program file " + selfPath + ": " + errorText(errno));
    return kDamaged;
  }
  if (DirError e = ReadDirectory(self_, dir_); e != DirError::None) {
    msg_.error(std::string("this program carries no usable archive: ") + DescribeDirError(e));
    return kDamaged;
  }
  settings_.caption = "Self-extracting Archive";
  if (ReadSfxBlock(self_, dir_.prefixLength, settings_) == SfxBlockRead::Damaged) {
    msg_.error("the settings block of this program is damaged");
    return kDamaged;
  }
  say(shown(settings_.caption));
  if (!settings_.has(kSfxNoSizeCheck) && !sizeChecks(dir_, self_)) {
    msg_.error("this program file is damaged or incomplete: it does not end where its archive ends");
    return kDamaged;
  }
  if (args_.list) return listEntries(dir_);
  term_ = Terminal(::isatty(STDIN_FILENO) && !args_.yes && !settings_.has(kSfxAutoRun));
  mode_ = settings_.overwrite();
  for (std::size_t i = 0; i < dir_.entries.size(); ++i) chosen_.push_back(i);
  if (!chooseFolder() || !chooseMode() || !chooseEntries() || !askPassword()) return cancelled();
  if (!makeFolder()) return kNotAll;
  if (!chooseReplacements()) return cancelled();
  int status = extract();
  if (status != kDone) {
    if (!settings_.commandLine.empty() && !args_.noRun) say("The command is not run: not every file was extracted.");
    return status;
  }
  return runCommand();
}

bool Run::chooseFolder() {
  const std::string home = platform::homeFolder();
  if (!args_.dest.empty()) {
    dest_ = args_.dest;
    return true;
  }
  dest_ = ResolveDefaultDir(settings_.defaultDir, home);
  if (!term_.interactive()) return true;
  std::string offered = dest_ == kTempFolder ? "a new temporary folder" : dest_.empty() ? "the current folder" : dest_;
  auto answer = term_.ask("Extract to [" + shown(offered) + "]: ");
  if (!answer) return false;
  if (!answer->empty()) dest_ = ResolveDefaultDir(*answer, home);
  return true;
}

bool Run::chooseMode() {
  if (!term_.interactive() || settings_.has(kSfxHideOverwrite)) return true;
  const char* current = mode_ == SfxOverwrite::Always ? "o" : mode_ == SfxOverwrite::Never ? "k" : "a";
  for (;;) {
    auto answer =
        term_.ask(std::string("Files that exist already: [a]sk for each, [o]verwrite, [k]eep [") + current + "]: ");
    if (!answer) return false;
    if (answer->empty()) return true;
    switch ((*answer)[0]) {
      case 'a':
      case 'A': mode_ = SfxOverwrite::Confirm; return true;
      case 'o':
      case 'O': mode_ = SfxOverwrite::Always; return true;
      case 'k':
      case 'K': mode_ = SfxOverwrite::Never; return true;
      default: break;
    }
  }
}

bool Run::chooseEntries() {
  if (!term_.interactive() || !settings_.has(kSfxAskFiles)) return true;
  for (std::size_t i = 0; i < dir_.entries.size(); ++i)
    say(sizeText(i + 1).substr(4) + "  " + shown(dir_.entries[i].name));
  for (;;) {
    auto answer = term_.ask("Files to extract (Enter for all, or numbers such as 1-3,7): ");
    if (!answer) return false;
    if (answer->empty()) return true;
    std::vector<std::size_t> picked;
    if (parseSelection(*answer, dir_.entries.size(), picked)) {
      chosen_ = std::move(picked);
      all_ = chosen_.size() == dir_.entries.size();
      return true;
    }
    say("Please give numbers from 1 to " + std::to_string(dir_.entries.size()) + ".");
  }
}

bool Run::askPassword() {
  bool encrypted = false;
  for (std::size_t i : chosen_)
    encrypted = encrypted || (dir_.entries[i].encrypted() && !dir_.entries[i].isDirectory());
  if (!encrypted || !term_.interactive()) return true;
  auto answer = term_.askHidden("Password: ");
  if (!answer) return false;
  password_ = *answer;
  return true;
}

bool Run::makeFolder() {
  std::error_code ec;
  if (dest_ == kTempFolder) {
    std::string templ = platform::tempFolder() + "/sfx-XXXXXX";
    if (!::mkdtemp(templ.data())) {
      msg_.error("cannot make a temporary folder in " + platform::tempFolder() + ": " + errorText(errno));
      return false;
    }
    dest_ = templ;
  } else if (dest_.empty()) {
    dest_ = ".";
  } else {
    std::filesystem::create_directories(dest_, ec);
  }
  dest_ = platform::absolutePath(dest_);
  if (!platform::directoryExists(dest_)) {
    msg_.error("cannot make the folder " + shown(dest_) + (ec ? ": " + ec.message() : std::string()));
    return false;
  }
  if (::chdir(dest_.c_str()) != 0) {
    msg_.error("cannot enter the folder " + shown(dest_) + ": " + errorText(errno));
    return false;
  }
  return true;
}

bool Run::chooseReplacements() {
  if (mode_ == SfxOverwrite::Never) return true;
  bool all = mode_ == SfxOverwrite::Always;
  bool none = !term_.interactive() && !all;
  for (std::size_t i : chosen_) {
    if (none) break;
    const ZipEntry& e = dir_.entries[i];
    SafeName safe = checkEntryName(e.name);
    if (e.isDirectory() || !safe.ok() || safe.directory) continue;
    struct stat st {};
    const std::string path = joinParts(safe.parts, safe.parts.size());
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (all) {
      replace_.insert(i);
      continue;
    }
    for (;;) {
      auto answer = term_.ask("Replace " + shown(path) + "? [y]es, [n]o, [A]ll, [N]one: ");
      if (!answer) return false;
      const std::string a = *answer;
      if (a == "y" || a == "Y" || a == "yes") {
        replace_.insert(i);
      } else if (a == "A" || a == "all") {
        replace_.insert(i);
        all = true;
      } else if (a == "N" || a == "none") {
        none = true;
      } else if (a != "n" && a != "no") {
        continue;
      }
      break;
    }
  }
  return true;
}

int Run::extract() {
  ExtractLog log{&msg_};
  auto pass = [&](std::vector<std::string> specs, bool overwrite) {
    ziplibs::ExtractOptions opts;
    opts.archive = msg_.program();
    opts.specs = std::move(specs);
    opts.literal = true;
    opts.dirNames = true;
    opts.overwrite = overwrite;
    opts.password = password_;
    ziplibs::Reporter reporter(&ExtractLog::onRecord, nullptr, &log, true, false);
    ziplibs::Extractor x(opts, reporter);
    return x.run(self_);
  };
  std::vector<std::string> replaced, kept;
  for (std::size_t i : chosen_) (replace_.count(i) ? replaced : kept).push_back(dir_.entries[i].name);
  int count = 0;
  if (!replaced.empty()) count += pass(replaced, true);
  // An empty list asks for every entry: only when nothing was chosen away.
  if (!kept.empty() && all_ && replaced.empty()) {
    count += pass({}, false);
  } else if (!kept.empty()) {
    count += pass(kept, false);
  }
  say(std::to_string(count) + " of " + std::to_string(chosen_.size()) + " entries extracted into " + shown(dest_));
  return log.problems == 0 ? kDone : kNotAll;
}

int Run::runCommand() {
  if (settings_.commandLine.empty() || args_.noRun) return kDone;
  const std::string folder = dest_ == "/" ? dest_ : dest_ + "/";
  std::vector<std::string> cmd = BuildCommand(settings_.commandLine, folder);
  if (cmd.empty()) {
    msg_.error("the command line of this program names no program: " + shown(settings_.commandLine));
    return kNoCommand;
  }
  std::string line;
  for (const std::string& a : cmd) line += (line.empty() ? "" : " ") + shown(a);
  if (term_.interactive() && settings_.has(kSfxAskCmdLine)) {
    for (;;) {
      auto answer = term_.ask("Run " + line + " now? [Y/n]: ");
      if (!answer || *answer == "n" || *answer == "N" || *answer == "no") {
        say("The command was not run.");
        return kDone;
      }
      if (answer->empty() || *answer == "y" || *answer == "Y" || *answer == "yes") break;
    }
  }
  // A program the archive brought along gets its execute bits.
  if (cmd[0].starts_with(folder) && platform::fileExists(cmd[0])) platform::makeExecutable(cmd[0]);
  say("Running: " + line);
  platform::ProcessResult r = platform::runArgs(cmd, true);
  if (!r.started) {
    msg_.error(r.error);
    return kNoCommand;
  }
  if (r.exitCode != 0) say("The command ended with exit status " + std::to_string(r.exitCode) + ".");
  return kDone;
}

}  // namespace

std::optional<std::string> Terminal::ask(const std::string& question) {
  std::fwrite(question.data(), 1, question.size(), stdout);
  std::fflush(stdout);
  std::string line;
  if (!std::getline(std::cin, line)) {
    std::fputc('\n', stdout);
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> Terminal::askHidden(const std::string& question) {
  termios saved{};
  const bool tty = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (tty) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  auto answer = ask(question);
  if (tty) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fputc('\n', stdout);
  }
  return answer;
}

int RunSfx(const SfxArgs& args, const std::string& program, const std::string& self) {
  Run run(args, program);
  return run.go(self);
}

}  // namespace sfx
