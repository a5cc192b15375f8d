// The commands that run an engine operation: t (test), x (extract), a (add) and
// d (delete). Each sets up a TZipEngine the way the windows do (but Unattended:
// no boxes), runs one operation and turns its outcome into an exit status.
// Messages of the engine and the libraries go to standard error; a progress line
// is shown there while standard error is a terminal.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progressline.h"
#include "platform/paths.h"
#include "zipengine/spannames.h"
#include "zipengine/ziplib_abi.h"
#include "zipengine/zipengine.h"

namespace cli {

namespace {

// What the command line of an operation gave.
struct OpArgs {
  std::string archive;
  std::vector<std::string> names;
  std::optional<std::string> password;
  std::string folder;            // x -d
  int level = -1;                // a -0 .. -9
  bool overwrite = false;        // x -o
  bool junkPaths = false;        // x -j
  bool recurse = false;          // a -r
  bool update = false;           // a -u
  bool freshen = false;          // a -f
  bool move = false;             // a -m
  bool literal = false;          // --literal: NAMES are names, not patterns
  std::uint64_t volumeSize = 0;  // a -s: write a spanned set of volumes this large
};

// Parses args; allowed lists the option letters this command takes ("P" needs a
// value, "d" too; "0" stands for the levels -0..-9; "L" for --literal). Prints the
// problem and returns false on a usage error.
bool parse(const char* command, std::span<const std::string> args, const char* allowed, OpArgs& out) {
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options && a == "--") {
      options = false;
      continue;
    }
    if (options && a == "--literal") {
      if (!std::strchr(allowed, 'L')) {
        std::fprintf(stderr, "kelvory-cli %s: unknown option %s\n", command, a.c_str());
        return false;
      }
      out.literal = true;
      continue;
    }
    if (options && a.size() == 2 && a[0] == '-') {
      const char o = a[1];
      const bool levelOption = o >= '0' && o <= '9';
      if (!std::strchr(allowed, levelOption ? '0' : o)) {
        std::fprintf(stderr, "kelvory-cli %s: unknown option %s\n", command, a.c_str());
        return false;
      }
      if (o == 's') {
        std::optional<std::uint64_t> size = i + 1 < args.size() ? spanname::ParseVolumeSize(args[i + 1]) : std::nullopt;
        if (!size || *size == 0) {
          std::fprintf(stderr, "kelvory-cli %s: option -s needs a volume size such as 640k, 10m or 2g\n", command);
          return false;
        }
        out.volumeSize = *size;
        ++i;
      } else if (o == 'P' || o == 'd') {
        if (i + 1 >= args.size()) {
          std::fprintf(stderr, "kelvory-cli %s: option %s needs a value\n", command, a.c_str());
          return false;
        }
        (o == 'P' ? out.password.emplace() : out.folder) = args[++i];
      } else if (levelOption) {
        out.level = o - '0';
      } else {
        bool& flag = o == 'o'   ? out.overwrite
                     : o == 'j' ? out.junkPaths
                     : o == 'r' ? out.recurse
                     : o == 'u' ? out.update
                     : o == 'f' ? out.freshen
                                : out.move;
        flag = true;
      }
      continue;
    }
    if (out.archive.empty())
      out.archive = a;
    else
      out.names.push_back(a);
  }
  if (out.archive.empty()) {
    std::fprintf(stderr, "kelvory-cli %s: no archive given\n", command);
    return false;
  }
  return true;
}

RarArgs rarArgs(const OpArgs& a) {
  RarArgs r;
  r.archive = a.archive;
  r.names = a.names;
  r.password = a.password;
  r.folder = a.folder;
  r.overwrite = a.overwrite;
  r.junkPaths = a.junkPaths;
  r.literal = a.literal;
  return r;
}

bool missing(const std::string& archive) {
  if (platform::fileExists(archive)) return false;
  std::fprintf(stderr, "kelvory-cli: %s: no such file\n", archive.c_str());
  return true;
}

int usage(const char* command) {
  for (const Command& c : Commands())
    if (std::strcmp(c.name, command) == 0) std::fprintf(stderr, "usage: kelvory-cli %s %s\n", c.name, c.usage);
  return 2;
}

// An engine set up for the command line, with its events wired to standard error.
class CliEngine {
 public:
  explicit CliEngine(const char* verb) : progress_(verb) {
    engine.Unattended = true;
    engine.OnMessage = [this](TZipEngine&, int code, const std::string& text) {
      if (code != 0 && code != ZIPLIB_NOTICE) ++problems;
      if (code == 0 && text.starts_with(ZIPLIB_TEXT_KEPT)) ++kept;
      // The names copied into or out of a spanned set are progress, not news.
      if (code == 0 && text.rfind(zipmsg::Text(zipmsg::kCopying), 0) == 0) return;
      progress_.clear();
      std::fprintf(stderr, "kelvory-cli: %s\n", text.c_str());
      progress_.redraw();
    };
    engine.OnProgress = [this](TZipEngine&, ProgressType type, const std::string& name, std::int64_t size) {
      if (type == ptTotalFiles) total = size;
      progress_.update(type, name, size);
    };
  }
  ~CliEngine() { progress_.clear(); }

  // Names the archive, which reads its directory; false (after a message) when it
  // is missing or cannot be read.
  bool open(const std::string& archive) {
    if (!platform::fileExists(archive)) {
      std::fprintf(stderr, "kelvory-cli: %s: no such file\n", archive.c_str());
      return false;
    }
    engine.setZipFilename(archive);
    return !engine.ZipFilename().empty();
  }
  void done() { progress_.clear(); }

  TZipEngine engine;
  int problems = 0;         // messages with an error code
  int kept = 0;             // entries not extracted because a file of their name exists
  std::int64_t total = -1;  // files in the batch, as the library announced them

 private:
  ProgressLine progress_;
};

}  // namespace

int TestCommand(std::span<const std::string> args) {
  OpArgs a;
  if (!parse("t", args, "P", a) || !a.names.empty()) return usage("t");
  if (missing(a.archive)) return 1;
  if (IsRarArchive(a.archive)) return RarTestCommand(rarArgs(a));
  CliEngine cli("testing");
  if (!cli.open(a.archive)) return 1;
  TZipEngine& e = cli.engine;
  if (a.password) {
    e.Password = *a.password;
    e.PasswordGiven = true;  // -P "" is the empty password, not none
  }
  e.ExtrOptions = {ExtrTest};
  e.Extract();
  cli.done();
  const int entries = e.EntryCount(), good = e.SuccessCount();
  if (good != entries) {
    std::printf("ERROR: %d files tested BAD, or skipped!\n", entries - good);
    return 1;
  }
  std::printf("All %d files tested OK\n", entries);
  return cli.problems ? 1 : 0;
}

int ExtractCommand(std::span<const std::string> args) {
  OpArgs a;
  if (!parse("x", args, "dojPL", a)) return usage("x");
  if (missing(a.archive)) return 1;
  if (IsRarArchive(a.archive)) return RarExtractCommand(rarArgs(a));
  CliEngine cli("extracting");
  if (!cli.open(a.archive)) return 1;
  TZipEngine& e = cli.engine;
  if (a.password) {
    e.Password = *a.password;
    e.PasswordGiven = true;  // -P "" is the empty password, not none
  }
  e.ExtrBaseDir = a.folder;
  e.ExtrOptions = {};
  if (!a.junkPaths) e.ExtrOptions += ExtrDirNames;
  if (a.overwrite) e.ExtrOptions += ExtrOverWrite;
  e.FSpecArgs = a.names;
  e.FSpecArgsLiteral = a.literal;
  e.Extract();
  cli.done();
  const int done = e.SuccessCount();
  if (cli.total >= 0)
    std::printf("%d of %lld files extracted\n", done, static_cast<long long>(cli.total));
  else
    std::printf("%d files extracted\n", done);
  // The hint only where existing files were really kept.
  const char* hint = cli.kept > 0 ? " (-o overwrites existing files)" : "";
  // An archive without entries has nothing to extract, which is no failure.
  if (done == 0 && cli.total != 0) {
    std::fprintf(stderr, "kelvory-cli: nothing was extracted%s\n", hint);
    return 1;
  }
  if (cli.kept > 0) std::fprintf(stderr, "kelvory-cli: %d existing files were kept%s\n", cli.kept, hint);
  // Any entry not written is a failure, whatever the reason.
  return cli.problems || done < cli.total ? 1 : 0;
}

int AddCommand(std::span<const std::string> args) {
  OpArgs a;
  if (!parse("a", args, "0rufmPLs", a)) return usage("a");
  if (a.names.empty()) {
    std::fprintf(stderr, "kelvory-cli a: no files given\n");
    return usage("a");
  }
  CliEngine cli("adding");
  TZipEngine& e = cli.engine;
  if (platform::fileExists(a.archive) && !cli.open(a.archive)) return 1;
  if (!platform::fileExists(a.archive)) e.setZipFilename(a.archive);
  // Like the common command-line tools: folder names kept, hidden files and
  // folder entries included.
  e.AddOptions = {AddDirNames, AddHiddenFiles, AddSeparateDirs};
  if (a.recurse) e.AddOptions += AddRecurseDirs;
  if (a.update) e.AddOptions += AddUpdate;
  if (a.freshen) e.AddOptions += AddFreshen;
  if (a.move) e.AddOptions += AddMove;
  if (a.password) {
    e.Password = *a.password;
    e.PasswordGiven = true;
    e.AddOptions += AddEncrypt;
  }
  if (a.level >= 0) e.AddCompLevel = a.level;
  if (a.volumeSize) {
    // Volume files archive001.zip, archive002.zip, ... beside the archive's name.
    const std::string first = spanname::NumberedVolume(a.archive, 0);
    if (platform::fileExists(first)) {
      std::fprintf(stderr, "kelvory-cli: %s already exists; remove the old set first\n", first.c_str());
      return 1;
    }
    e.AddOptions += AddDiskSpan;
    e.MaxVolumeSize = static_cast<std::int64_t>(a.volumeSize);
    e.MinFreeVolumeSize = std::min<std::int64_t>(e.MinFreeVolumeSize, e.MaxVolumeSize);
  }
  e.FSpecArgs = a.names;
  e.FSpecArgsLiteral = a.literal;
  e.Add();
  cli.done();
  const int added = e.SuccessCount();
  std::printf("%d files added, %d entries in %s\n", added, e.EntryCount(),
              (a.volumeSize ? e.ZipFilename() : a.archive).c_str());
  if (added == 0) {
    std::fprintf(stderr, "kelvory-cli: nothing was added\n");
    return 1;
  }
  return cli.problems ? 1 : 0;
}

int DeleteCommand(std::span<const std::string> args) {
  OpArgs a;
  if (!parse("d", args, "L", a)) return usage("d");
  if (a.names.empty()) {
    std::fprintf(stderr, "kelvory-cli d: no entry names given\n");
    return usage("d");
  }
  CliEngine cli("deleting");
  if (!cli.open(a.archive)) return 1;
  TZipEngine& e = cli.engine;
  e.FSpecArgs = a.names;
  e.FSpecArgsLiteral = a.literal;
  e.Delete();
  cli.done();
  const int deleted = e.SuccessCount();
  std::printf("%d entries deleted, %d left\n", deleted, e.EntryCount());
  if (deleted == 0) {
    std::fprintf(stderr, "kelvory-cli: nothing was deleted\n");
    return 1;
  }
  return cli.problems ? 1 : 0;
}

}  // namespace cli
