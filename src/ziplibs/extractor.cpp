#include "ziplibs/extractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "ziplibs/reporter.h"
#include "zipcore/namematch.h"
#include "zipcore/placement.h"
#include "zipcore/localheader.h"
#include "zipcore/records.h"
#include "ziplibs/zipcrypto.h"

namespace ziplibs {

using namespace zipcore;

namespace {

constexpr std::size_t kMaxTasks = 256;  // planned entries waiting (each may hold a folder descriptor)

const char* methodName(std::uint16_t m) {
  switch (m) {
    case 1: return "shrink";
    case 6: return "implode";
    case 9: return "deflate64";
    case 12: return "bzip2";
    case 14: return "LZMA";
    case 93: return "Zstandard";
    case 95: return "XZ";
    case 98: return "PPMd";
    case 99: return "AES";
    default: return "unknown";
  }
}

bool entryNewer(const ZipEntry& e, const struct stat& st) {
  if (auto t = extraModTime(e.extra)) return *t > st.st_mtim.tv_sec;
  return e.dosTime > unixToDos(st.st_mtim.tv_sec);
}

mode_t readUmask() {
  unsigned mask = 022;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    std::fclose(f);
  }
  return static_cast<mode_t>(mask);
}

}  // namespace

Extractor::Extractor(const ExtractOptions& opts, Reporter& reporter, DecodeTuning tuning)
    : opts_(opts), reporter_(reporter), tuning_(tuning) {}

Extractor::~Extractor() { cleanUp(); }

mode_t Extractor::modeFor(const ZipEntry& e, bool folder) const {
  std::uint32_t stored = e.unixMode() & 0777;  // setuid, setgid and sticky bits never
  if (stored) return static_cast<mode_t>(stored);
  mode_t mode = (folder ? 0777 : 0666) & ~umask_;
  if (!folder && (e.externalAttr & 0x01)) mode &= ~0222;  // MS-DOS read-only
  return mode;
}

void Extractor::selectEntries() {
  EntrySelector selector(opts_.specs, opts_.literal);
  for (std::size_t i = 0; i < dir_.entries.size(); ++i) {
    const ZipEntry& e = dir_.entries[i];
    if (selector.select(e.name, e.rawName) || opts_.specs.empty()) selected_.push_back(i);
  }
  for (const std::string& spec : selector.unused())
    reporter_.message(ZIPLIB_E_NOT_FOUND, spec + ": no such entry in " + opts_.archive);
  if (!opts_.test) findClashes();
}

// Entries whose output names collide are decided before anything is written, so
// that the outcome does not depend on the order members finish in: of several
// files with one name only the last is written (as other extractors do), and a
// file whose name is a folder that other entries need is not written at all.
void Extractor::findClashes() {
  clash_.assign(dir_.entries.size(), {});
  std::vector<std::string> names(selected_.size());  // output name of each selected file
  std::unordered_map<std::string, std::size_t> lastFile;
  std::unordered_set<std::string> folders;
  for (std::size_t k = 0; k < selected_.size(); ++k) {
    const ZipEntry& e = dir_.entries[selected_[k]];
    SafeName safe = checkEntryName(e.name);
    if (!safe.ok()) continue;  // refused when planned
    const bool folder = e.isDirectory() || safe.directory;
    if (folder && !opts_.dirNames) continue;
    const std::vector<std::string> parts = opts_.dirNames ? safe.parts : std::vector<std::string>{safe.parts.back()};
    const std::size_t folderParts = folder ? parts.size() : parts.size() - 1;
    for (std::size_t i = 1; i <= folderParts; ++i) folders.insert(joinParts(parts, i));
    if (folder) continue;
    names[k] = joinParts(parts, parts.size());
    lastFile[names[k]] = k;
  }
  for (std::size_t k = 0; k < selected_.size(); ++k) {
    if (names[k].empty()) continue;
    std::string& why = clash_[selected_[k]];
    if (folders.count(names[k]))
      why = "not written: " + names[k] + " must be a folder for other entries of the archive";
    else if (lastFile[names[k]] != k)
      why = "not written: a later entry of the same name is written instead";
  }
}

void Extractor::plan(Task& t) {
  const ZipEntry& e = dir_.entries[t.entry];
  auto failed = [&](std::uint32_t code, std::string text) {
    t.action = Action::kFailed;
    t.code = code;
    t.message = std::move(text);
  };
  bool folder = e.isDirectory();
  // Members sharing data with others expand far beyond the archive's size; members
  // outside the data area lead nowhere.
  if (placement_[t.entry].problem != Placement::Fine)
    return failed(ZIPLIB_E_BAD_ARCHIVE, DescribePlacement(dir_, placement_[t.entry]) + "; refused");
  if (!folder) {
    if ((e.flags & kFlagStrongEncryption) || e.method == 99 || findExtra(e.extra, kExtraAes))
      return failed(ZIPLIB_E_UNSUPPORTED, "encryption method not supported (AES or strong encryption)");
    if (e.method != kMethodStore && e.method != kMethodDeflate)
      return failed(ZIPLIB_E_UNSUPPORTED,
                    "compression method " + std::to_string(e.method) + " (" + methodName(e.method) + ") not supported");
  }
  t.link = !folder && e.isSymlink();
  if (opts_.test) {
    t.action = folder ? Action::kFolder : Action::kDecode;
    t.sink = DecodeJob::kTest;
    if (!folder) findPassword(t, e);
    return;
  }
  SafeName safe = checkEntryName(e.name);
  if (!safe.ok()) return failed(ZIPLIB_E_UNSAFE_NAME, "refused: " + safe.problem);
  folder = folder || safe.directory;
  t.parts = opts_.dirNames ? safe.parts : std::vector<std::string>{safe.parts.back()};
  if (safe.changed && (opts_.dirNames || !folder)) {
    t.code = ZIPLIB_E_UNSAFE_NAME;
    t.message = "unsafe name made safe: extracted as " + joinParts(t.parts, t.parts.size());
  }
  if (folder) {
    t.action = opts_.dirNames ? Action::kFolder : Action::kSkip;
    return;
  }
  if (!clash_[t.entry].empty()) return failed(ZIPLIB_E_WARNING, clash_[t.entry]);
  if (planOutput(t, e, folder)) {
    t.action = Action::kDecode;
    t.sink = t.link ? DecodeJob::kMemory : DecodeJob::kFile;
    findPassword(t, e);
  }
}

// The password of an encrypted entry: the one that opened the encrypted entry
// before it, then the block's, then what the caller answers (asked again while
// its answers do not fit). Without one the entry fails, or is skipped when the
// caller says so.
void Extractor::findPassword(Task& t, const ZipEntry& e) {
  if (!e.encrypted()) return;
  auto failed = [&](std::uint32_t code, std::string text) {
    t.action = Action::kFailed;
    t.code = code;
    t.message = std::move(text);
    t.dir.reset();
  };
  LocalHeader lh;
  CryptHeader header;
  std::string error;
  if (!readLocalHeader(*file_, e, dir_.centralOffset, lh, error) || !readCryptHeader(*file_, lh, e, header, error)) {
    t.password = opts_.password;  // the member is damaged: its job says how
    return;
  }
  std::vector<std::string> known;
  if (lastGood_) known.push_back(*lastGood_);
  if (opts_.hasPassword() && (!lastGood_ || *lastGood_ != opts_.password)) known.push_back(opts_.password);
  for (const std::string& p : known) {
    if (passwordFits(p, header)) {
      t.password = p;
      lastGood_ = p;
      return;
    }
  }
  bool wrong = !known.empty();
  for (std::uint64_t asked = 0;; ++asked) {
    std::string answer;
    switch (reporter_.askPassword(e.name, wrong, asked, answer)) {
      case Reporter::PasswordAnswer::kGiven:
        if (passwordFits(answer, header)) {
          t.password = answer;
          lastGood_ = std::move(answer);
          return;
        }
        wrong = true;
        break;
      case Reporter::PasswordAnswer::kSkip: return failed(ZIPLIB_E_PASSWORD, "skipped: no password given");
      case Reporter::PasswordAnswer::kNone:
        return failed(ZIPLIB_E_PASSWORD, wrong ? "wrong password" : "password required");
    }
  }
}

bool Extractor::planOutput(Task& t, const ZipEntry& e, bool) {
  std::string error;
  bool link = false;
  t.dir = tree_.openFolder(t.parts, t.parts.size() - 1, !opts_.freshen, error, link);
  const std::string& name = t.parts.back();
  if (!t.dir.valid()) {
    t.code = link ? ZIPLIB_E_UNSAFE_NAME : noSpace(errno) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE;
    t.action = opts_.freshen && !link ? Action::kNone : Action::kFailed;
    t.message = opts_.freshen && !link ? "" : error;
    return false;
  }
  struct stat st {};
  bool exists = ::fstatat(t.dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  auto skip = [&](const std::string& why, Action action = Action::kNone) {
    t.action = action;
    t.code = 0;
    t.message = why;
    t.dir.reset();
    return false;
  };
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      t.action = Action::kFailed;
      t.code = ZIPLIB_E_WRITE;
      t.message = "a folder of that name is in the way";
      return false;
    }
    if (opts_.update || opts_.freshen) {
      if (!entryNewer(e, st)) return skip("  up to date: " + e.name);
    } else if (!opts_.overwrite) {
      return skip(ZIPLIB_TEXT_KEPT + e.name, Action::kKept);
    }
    t.replace = true;
  } else if (opts_.freshen) {
    return skip("");
  }
  return true;
}

// Plans entries ahead of the one being finished, in order, within the budget.
// After a link, nothing is planned until the link is in place: planning creates
// folders, and a later entry's folder must not take the link's place.
void Extractor::submitMore() {
  const std::size_t maxTasks = oneByOne_ ? 1 : kMaxTasks;
  const unsigned maxJobs = oneByOne_ ? 1 : tuning_.maxJobs;
  while (nextPlan_ < selected_.size() && tasks_.size() < maxTasks && pendingLinks_ == 0) {
    const ZipEntry& e = dir_.entries[selected_[nextPlan_]];
    if (inflightJobs_ >= maxJobs) return;
    Task& t = tasks_.emplace_back();
    t.pos = nextPlan_;
    t.foldersMark = tree_.foldersMade();
    t.entry = selected_[nextPlan_++];
    plan(t);
    if (t.action != Action::kDecode) continue;
    if (t.link && !opts_.test) ++pendingLinks_;
    auto job = std::make_shared<DecodeJob>();
    job->pool = pool_.get();
    job->codecs = &codecs_;
    job->tuning = &tuning_;
    job->archive = file_;
    job->entry = &e;
    job->limit = dir_.centralOffset;
    job->password = t.password;
    job->sink = t.sink;
    job->dir = t.dir.get();
    job->mode = modeFor(e, false);
    job->mtime = e.modTime();
    t.job = job;
    ++inflightJobs_;
    pool_->submit(job);
  }
}

bool Extractor::finish(Task& t) {
  const ZipEntry& e = dir_.entries[t.entry];
  if (!reporter_.fileBegin(e.name, e.uncompressedSize)) return false;
  bool ok = false;
  switch (t.action) {
    case Action::kFailed:
      if (outOfSpace(t.code)) return true;
      reporter_.message(t.code, e.name + ": " + t.message);
      break;
    case Action::kNone:
      if (!t.message.empty()) reporter_.info(t.message);
      break;
    case Action::kKept:
      reporter_.notice(t.message);  // not written: told whether verbose or not
      break;
    case Action::kSkip:
      ok = true;  // a folder entry while folder names are not restored: nothing to do
      break;
    case Action::kFolder:
      if (opts_.test) {
        ok = reporter_.info("    testing: " + e.name + "   OK");
        break;
      } else {
        std::string error;
        bool link = false;
        UniqueFd fd = tree_.openFolder(t.parts, t.parts.size(), true, error, link);
        if (!fd.valid()) {
          const std::uint32_t code = link ? ZIPLIB_E_UNSAFE_NAME : noSpace(errno) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE;
          if (outOfSpace(code)) return true;
          reporter_.message(code, e.name + ": " + error);
          break;
        }
        tree_.rememberFolder(t.parts, modeFor(e, true), e.modTime());
        ok = reporter_.info("   creating: " + joinParts(t.parts, t.parts.size()) + "/");
      }
      break;
    case Action::kDecode: {
      DecodeJob& job = *t.job;
      while (!pool_->wait(job, std::chrono::milliseconds(100))) {
        std::uint64_t now = job.progressed.load();
        if (!reporter_.progress(now - t.reported)) return false;
        t.reported = now;
      }
      if (!reporter_.progress(job.progressed.load() - t.reported)) return false;
      if (!job.error.empty()) {
        if (outOfSpace(job.code)) return true;
        reporter_.message(job.code ? job.code : std::uint32_t{ZIPLIB_E_MEMORY}, e.name + ": " + job.error);
      } else {
        if (!job.localDisagreement.empty())
          reporter_.message(ZIPLIB_E_WARNING, e.name + ": its local header disagrees with the central directory (" +
                                                  job.localDisagreement + "); the directory's values are used");
        ok = commit(t, e);
        if (retry_) return true;
      }
      break;
    }
  }
  if (ok && t.code != 0 && !t.message.empty()) reporter_.message(t.code, e.name + ": " + t.message);
  if (ok) ++count_;
  if (t.action == Action::kDecode && t.link && !opts_.test) --pendingLinks_;
  if (t.job) --inflightJobs_;
  return reporter_.fileEnd();
}

bool Extractor::commit(Task& t, const ZipEntry& e) {
  DecodeJob& job = *t.job;
  if (opts_.test) return reporter_.info("    testing: " + e.name + "   OK") || true;
  if (t.link) return commitLink(t, e);
  const std::string& name = t.parts.back();
  std::string shown = joinParts(t.parts, t.parts.size());
  if (!job.file.publish(name, t.replace)) {
    int err = errno;
    job.file.discard();
    if (err == EEXIST) return reporter_.notice(ZIPLIB_TEXT_KEPT + e.name) && false;
    if (noSpace(err) && outOfSpace(ZIPLIB_E_DISK_FULL)) return false;
    reporter_.message(noSpace(err) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE,
                      e.name + ": cannot put the file in place: " + errorText(err));
    return false;
  }
  reporter_.info((e.method == kMethodStore ? " extracting: " : "  inflating: ") + shown);
  return true;
}

bool Extractor::commitLink(Task& t, const ZipEntry& e) {
  const std::string& target = t.job->memory;
  const std::string& name = t.parts.back();
  if (!linkTargetInside(t.parts, target)) {
    reporter_.message(ZIPLIB_E_UNSAFE_NAME,
                      e.name + ": link to " + target + " leads out of the target folder; refused");
    return false;
  }
  std::string tmp;
  for (int attempt = 0; attempt < 32 && tmp.empty(); ++attempt) {
    std::string candidate = temporaryName();
    if (::symlinkat(target.c_str(), t.dir.get(), candidate.c_str()) == 0)
      tmp = candidate;
    else if (errno != EEXIST)
      break;
  }
  if (tmp.empty()) {
    const int err = errno;
    if (noSpace(err) && outOfSpace(ZIPLIB_E_DISK_FULL)) return false;
    reporter_.message(noSpace(err) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE,
                      e.name + ": cannot create the link: " + errorText(err));
    return false;
  }
  if (!renameIntoPlace(t.dir.get(), tmp, name, t.replace)) {
    int err = errno;
    ::unlinkat(t.dir.get(), tmp.c_str(), 0);
    if (err == EEXIST) return reporter_.notice(ZIPLIB_TEXT_KEPT + e.name) && false;
    if (noSpace(err) && outOfSpace(ZIPLIB_E_DISK_FULL)) return false;
    reporter_.message(noSpace(err) ? ZIPLIB_E_DISK_FULL : ZIPLIB_E_WRITE,
                      e.name + ": cannot put the link in place: " + errorText(err));
    return false;
  }
  struct timespec times[2] = {{0, UTIME_OMIT}, {e.modTime(), 0}};
  ::utimensat(t.dir.get(), name.c_str(), times, AT_SYMLINK_NOFOLLOW);
  reporter_.info("    linking: " + joinParts(t.parts, t.parts.size()) + " -> " + target);
  return true;
}

// A member that found no room left. While members are written side by side,
// which of them got the last space is a matter of timing: the task is to be done
// again, one member at a time (true). Done one by one, the disk really is full:
// the failure is reported and no further member is started (false).
bool Extractor::outOfSpace(std::uint32_t code) {
  if (code != ZIPLIB_E_DISK_FULL) return false;
  if (!oneByOne_ && tasks_.size() > 1) {
    retry_ = true;
    return true;
  }
  oneByOne_ = true;
  diskFull_ = true;
  return false;
}

// Drops everything not yet in place (the files written ahead give their space
// back, the folders made for them go) and goes on one member at a time from the
// first entry not in place, so that the outcome is the same on every run.
void Extractor::restartOneByOne() {
  retry_ = false;
  oneByOne_ = true;
  const std::size_t from = tasks_.front().pos;
  const std::size_t mark = tasks_.front().foldersMark;
  pool_->cancel();
  cleanUp();
  tree_.removeFoldersSince(mark);
  nextPlan_ = from;
  inflightJobs_ = 0;
  pendingLinks_ = 0;
  pool_ = std::make_unique<WorkerPool>(static_cast<unsigned>(codecs_.size()));
}

// Once the disk is full: each entry left is named, then all are counted in one
// problem message.
bool Extractor::reportNotWritten() {
  std::size_t left = 1;  // the entry that found the disk full
  for (std::size_t k = nextPlan_; k < selected_.size(); ++k, ++left)
    if (!reporter_.notice(dir_.entries[selected_[k]].name + ": not written: the disk is full")) return false;
  return reporter_.message(ZIPLIB_E_DISK_FULL, opts_.archive + ": the disk is full; " + std::to_string(left) +
                                                   (left == 1 ? " entry was" : " entries were") + " not written");
}

void Extractor::cleanUp() {
  pool_.reset();  // waits for running jobs
  for (Task& t : tasks_)
    if (t.job) t.job->file.discard();  // files decoded but never put in place
  tasks_.clear();
}

int Extractor::run(const InputFile& file) {
  file_ = &file;
  umask_ = readUmask();
  std::string error;
  if (DirError dirError = ReadDirectory(file, dir_); dirError != DirError::None) {
    reporter_.message(ZIPLIB_E_BAD_ARCHIVE, opts_.archive + ": " + DescribeDirError(dirError));
    reporter_.batchEnd();
    return 0;
  }
  if (!opts_.test && !tree_.open(error)) {
    reporter_.message(ZIPLIB_E_WRITE, error);
    reporter_.batchEnd();
    return 0;
  }
  reporter_.trace(opts_.archive + ": " + std::to_string(dir_.entries.size()) + " entries, central directory at " +
                  std::to_string(dir_.centralOffset) + ", " + std::to_string(dir_.prefixLength) + " bytes in front");
  selectEntries();
  placement_ = CheckPlacement(dir_);
  std::uint64_t total = 0;
  for (std::size_t i : selected_) total += dir_.entries[i].uncompressedSize;
  if (!reporter_.totalFiles(selected_.size()) || !reporter_.totalSize(total)) return 0;
  unsigned threads = tuning_.threads ? tuning_.threads : WorkerPool::defaultThreads();
  codecs_ = std::vector<Codec>(threads);
  pool_ = std::make_unique<WorkerPool>(threads);
  bool going = true;
  while (going && (nextPlan_ < selected_.size() || !tasks_.empty())) {
    submitMore();
    going = finish(tasks_.front());
    if (going && retry_) {
      restartOneByOne();
      continue;
    }
    if (going) tasks_.pop_front();  // else cleanUp() removes what it left behind
    if (going && diskFull_) {
      reportNotWritten();
      break;
    }
  }
  cleanUp();
  if (!opts_.test) tree_.finishFolders();
  if (reporter_.stopped()) return count_;
  if (opts_.test && reporter_.errors() == 0)
    reporter_.info("No errors detected in compressed data of " + opts_.archive + ".");
  reporter_.batchEnd();
  return count_;
}

int extractArchive(const ExtractOptions& opts, Reporter& reporter) {
  InputFile file;
  if (!file.open(opts.archive)) {
    reporter.message(errno == ENOENT ? ZIPLIB_E_NOT_FOUND : ZIPLIB_E_READ, opts.archive + ": " + errorText(errno));
    reporter.batchEnd();
    return 0;
  }
  Extractor x(opts, reporter);
  return x.run(file);
}

}  // namespace ziplibs
