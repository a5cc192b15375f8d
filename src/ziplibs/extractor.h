// Extracting or testing an archive's entries below the current folder.
//
// Nothing from the archive is trusted: every name passes checkEntryName(), every
// folder is walked without following links, links are made only when their
// target stays inside, and members overlapping others (or lying outside the data
// area) are refused. A local header that disagrees with the directory is
// reported: testing fails the entry, extracting takes the directory's word. Each file is
// written to a temporary name in its folder and renamed into place only after its
// CRC and size check out, so a damaged member leaves no file behind and an
// existing file is only ever replaced by good data. Members are decoded on all
// processors; results are reported, and files put in place, in archive order.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ziplibs/decodejob.h"
#include "ziplibs/options.h"
#include "zipcore/outputtree.h"
#include "zipcore/placement.h"
#include "zipcore/safepath.h"
#include "zipcore/directory.h"
#include "zipcore/inputfile.h"

namespace ziplibs {

using namespace zipcore;

class Reporter;

class Extractor {
 public:
  Extractor(const ExtractOptions& opts, Reporter& reporter, DecodeTuning tuning = {});
  ~Extractor();

  // Runs on the archive opened as file (the caller keeps it open). Returns the number
  // of entries extracted or tested good, folder entries included.
  int run(const InputFile& file);

 private:
  enum class Action { kNone, kKept, kFailed, kSkip, kFolder, kDecode };
  struct Task {
    std::size_t entry = 0;
    std::size_t pos = 0;          // into selected_
    std::size_t foldersMark = 0;  // folders made before it was planned
    Action action = Action::kNone;
    DecodeJob::Sink sink = DecodeJob::kTest;
    bool link = false;
    bool replace = false;
    std::uint32_t code = 0;
    std::string message;  // kFailed: why; kNone, kKept: an information
    std::vector<std::string> parts;
    std::string password;  // encrypted entries: the one that fits
    UniqueFd dir;
    std::shared_ptr<DecodeJob> job;
    std::uint64_t reported = 0;
  };

  void selectEntries();
  void findClashes();
  void plan(Task& t);
  bool planOutput(Task& t, const ZipEntry& e, bool folder);
  void findPassword(Task& t, const ZipEntry& e);
  void submitMore();
  bool finish(Task& t);
  bool commit(Task& t, const ZipEntry& e);
  bool commitLink(Task& t, const ZipEntry& e);
  bool outOfSpace(std::uint32_t code);
  void restartOneByOne();
  bool reportNotWritten();
  void cleanUp();
  mode_t modeFor(const ZipEntry& e, bool folder) const;

  const ExtractOptions& opts_;
  Reporter& reporter_;
  DecodeTuning tuning_;
  const InputFile* file_ = nullptr;
  Directory dir_;
  OutputTree tree_;
  std::vector<std::size_t> selected_;
  std::vector<std::string> clash_;  // per entry: why it is not written, or empty
  std::vector<Placement> placement_;
  std::vector<Codec> codecs_;
  std::unique_ptr<WorkerPool> pool_;
  std::deque<Task> tasks_;    // planned and not yet finished, in order
  std::size_t nextPlan_ = 0;  // into selected_
  unsigned inflightJobs_ = 0;
  unsigned pendingLinks_ = 0;            // links planned and not yet in place
  bool oneByOne_ = false;                // since the disk filled up: one member at a time
  bool retry_ = false;                   // the front task must be done again, one by one
  bool diskFull_ = false;                // no member is started any more
  std::optional<std::string> lastGood_;  // the password that opened the last encrypted entry
  mode_t umask_ = 022;
  int count_ = 0;
};

// Entry point shared by the library and the fuzz target: reads the block's
// options, opens the archive and runs. Returns the count.
int extractArchive(const ExtractOptions& opts, Reporter& reporter);

}  // namespace ziplibs
