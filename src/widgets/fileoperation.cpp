#include "widgets/fileoperation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "platform/trash.h"
#include "platform/ui.h"
#include "widgets/copyprogress.h"
#include "widgets/fileopcore.h"
#include "widgets/qt_ui.h"
#include "zipcore/namematch.h"

namespace widgets {

using platform::MsgKind;

namespace {

// How one entry of the operation ended.
enum class Step { Done, Skipped, Cancelled, Failed };

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

std::string stripTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string errnoText(int err) { return err ? std::strerror(err) : "unknown error"; }

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct Totals {
  std::uint64_t bytes = 0;
  std::uint64_t entries = 0;
};

// Bytes of the regular files and number of entries in a tree (links not followed).
void scanTree(const std::string& path, Totals& totals) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return;
  ++totals.entries;
  if (S_ISREG(st.st_mode)) totals.bytes += static_cast<std::uint64_t>(st.st_size);
  if (S_ISDIR(st.st_mode))
    for (const std::string& name : fileop::listFolder(path)) scanTree(join(path, name), totals);
}

}  // namespace

// One run of the operation: the plan, the progress and the user's answers.
class TFileOperation::Run {
 public:
  explicit Run(TFileOperation& op) : op_(op), start_(platform::tickCount()) {}

  bool execute();
  bool aborted() const { return aborted_; }
  TCopyProgress* window() const { return window_.get(); }

 private:
  struct Source {
    std::string path;
    bool fromWildcard = false;
  };

  bool flag(TFileOpFlag f) const { return op_.Flags.testFlag(f); }
  std::string caption() const;
  void error(const std::string& text) { platform::ui().message(MsgKind::Error, caption(), text, platform::kOk); }

  bool expandSources(std::vector<Source>& out);
  bool planTargets(const std::vector<Source>& sources, std::vector<std::string>& targets);
  bool ensureFolder(const std::string& folder);
  Step askOverwrite(const std::string& target);

  bool deleteAll(const std::vector<Source>& sources);
  bool renameAll(const std::vector<Source>& sources);
  bool transferAll(const std::vector<Source>& sources, bool move);
  Step transfer(const std::string& source, std::string target, bool move);
  Step transferFolder(const std::string& source, const std::string& target, const struct stat& sst, bool merge,
                      bool move);
  Step transferFile(const std::string& source, const std::string& target, const struct stat& sst, bool replace,
                    bool move);

  // Reports progress, shows the window when due, pumps events; true when the user
  // cancelled.
  bool tick();
  Step cancelled() {
    aborted_ = true;
    return Step::Cancelled;
  }

  TFileOperation& op_;
  TFileOpProgress progress_;
  std::unique_ptr<TCopyProgress> window_;
  std::uint64_t start_;
  std::uint64_t lastUpdate_ = 0;
  std::uint64_t lastPump_ = 0;
  bool cancel_ = false;
  bool aborted_ = false;
};

std::string TFileOperation::Run::caption() const {
  if (!op_.ProgressTitle.empty()) return op_.ProgressTitle;
  switch (op_.Operation) {
    case foCopy: return "Copying files";
    case foMove: return "Moving files";
    case foDelete: return "Deleting files";
    case foRename: return "Renaming files";
  }
  return {};
}

bool TFileOperation::Run::tick() {
  std::uint64_t now = platform::tickCount();
  if (!window_ && !flag(fofSilent) && now - start_ >= op_.ProgressDelayMs) {
    window_ = std::make_unique<TCopyProgress>(op_.owner_.data(), qs(caption()), !flag(fofSimpleProgress));
    window_->setProgress(progress_);
    window_->show();
    lastUpdate_ = now;
    lastPump_ = 0;
  }
  if (window_ && now - lastUpdate_ >= 50) {
    window_->setProgress(progress_);
    lastUpdate_ = now;
  }
  if (op_.OnProgress) {
    bool cancel = false;
    op_.OnProgress(&op_, progress_, cancel);
    if (cancel) cancel_ = true;
  }
  // Events are processed only while the progress window shows: it is modal, so the
  // user's input cannot start other work in the middle of this one.
  if (window_ && (lastPump_ == 0 || now - lastPump_ >= 30)) {
    platform::pumpEvents();
    lastPump_ = now ? now : 1;
  }
  if (window_ && window_->cancelRequested()) cancel_ = true;
  if (cancel_) aborted_ = true;
  return cancel_;
}

bool TFileOperation::Run::expandSources(std::vector<Source>& out) {
  for (const std::string& piece : splitList(op_.FilesFrom)) {
    std::string path = stripTrailingSeparators(platform::absolutePath(piece));
    std::string pattern = platform::fileNameOf(path);
    if (!zipcore::hasWildcards(pattern)) {
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) {
        error("Cannot find " + path + ": " + errnoText(errno));
        return false;
      }
      out.push_back({path, false});
      continue;
    }
    std::string folder = platform::folderOf(path);
    if (folder.empty()) folder = "/";
    for (const std::string& name : fileop::listFolder(folder)) {
      if (!zipcore::wildcardMatch(pattern, name)) continue;
      std::string full = join(folder, name);
      struct stat st {};
      if (::lstat(full.c_str(), &st) != 0) continue;
      if (flag(fofFilesOnly) && S_ISDIR(st.st_mode)) continue;
      out.push_back({full, true});
    }
  }
  return true;
}

bool TFileOperation::Run::ensureFolder(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    error("Cannot create the folder " + folder + ": " + errnoText(EEXIST));
    return false;
  }
  if (!flag(fofNoConfirmMkDir) && !flag(fofNoConfirmation)) {
    auto answer = platform::ui().message(MsgKind::Confirmation, caption(),
                                         "The folder " + folder + " does not exist. Create it?", platform::kYesNo);
    if (answer != platform::kBtnYes) {
      aborted_ = true;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !isFolder(folder)) {
    error("Cannot create the folder " + folder + ": " + (ec ? ec.message() : errnoText(ENOTDIR)));
    return false;
  }
  return true;
}

bool TFileOperation::Run::planTargets(const std::vector<Source>& sources, std::vector<std::string>& targets) {
  std::vector<std::string> dests = splitList(op_.FilesTo);
  if (flag(fofMultiDestFiles)) {
    if (dests.size() != sources.size()) {
      error("The number of targets (" + std::to_string(dests.size()) + ") does not match the number of sources (" +
            std::to_string(sources.size()) + ").");
      return false;
    }
    for (const std::string& d : dests) {
      std::string target = stripTrailingSeparators(platform::absolutePath(d));
      std::string folder = platform::folderOf(target);
      if (!ensureFolder(folder.empty() ? "/" : folder)) return false;
      targets.push_back(target);
    }
    return true;
  }
  if (dests.empty()) {
    error("No target was given.");
    return false;
  }
  // Several destinations without one-per-source: the first is the destination.
  std::string dest = platform::absolutePath(dests.front());
  bool namesFolder = dest.back() == '/' || isFolder(dest);
  dest = stripTrailingSeparators(dest);
  if (!namesFolder && sources.size() == 1 && !sources.front().fromWildcard) {
    std::string folder = platform::folderOf(dest);
    if (!ensureFolder(folder.empty() ? "/" : folder)) return false;
    targets.push_back(dest);
    return true;
  }
  if (!ensureFolder(dest)) return false;
  for (const Source& s : sources) targets.push_back(join(dest, platform::fileNameOf(s.path)));
  return true;
}

Step TFileOperation::Run::askOverwrite(const std::string& target) {
  if (flag(fofNoConfirmation)) return Step::Done;
  auto answer = platform::ui().message(MsgKind::Confirmation, caption(), "Overwrite existing file " + target + "?",
                                       platform::kYesNoCancel);
  if (answer == platform::kBtnYes) return Step::Done;
  aborted_ = true;
  return answer == platform::kBtnNo ? Step::Skipped : Step::Cancelled;
}

bool TFileOperation::Run::deleteAll(const std::vector<Source>& sources) {
  const bool toTrash = flag(fofAllowUndo);
  if (!flag(fofNoConfirmation)) {
    std::string text;
    if (sources.size() == 1)
      text = toTrash ? "Are you sure you want to move " + sources.front().path + " to the trash?"
                     : "Are you sure you want to delete " + sources.front().path + "?";
    else
      text = toTrash ? "Are you sure you want to move these " + std::to_string(sources.size()) + " items to the trash?"
                     : "Are you sure you want to delete these " + std::to_string(sources.size()) + " items?";
    if (platform::ui().message(MsgKind::Confirmation, caption(), text, platform::kYesNo) != platform::kBtnYes) {
      aborted_ = true;
      return false;
    }
  }
  progress_.FilesTotal = sources.size();
  for (const Source& s : sources) {
    progress_.CurrentFile = s.path;
    if (tick()) return false;
    if (toTrash) {
      platform::TrashResult r = platform::moveToTrash(s.path);
      if (!r.ok) {
        error("Cannot move " + s.path + " to the trash: " + r.error);
        return false;
      }
    } else {
      fileop::Status st = fileop::removePath(s.path, [this](const std::string& file, const struct stat&) {
        progress_.CurrentFile = file;
        return !tick();
      });
      if (st.outcome == fileop::Outcome::Cancelled) return false;
      if (!st.ok()) {
        error("Cannot delete " + st.path + ": " + errnoText(st.err));
        return false;
      }
    }
    ++progress_.FilesDone;
  }
  tick();
  return true;
}

bool TFileOperation::Run::renameAll(const std::vector<Source>& sources) {
  std::vector<std::string> dests = splitList(op_.FilesTo);
  if (dests.size() != sources.size()) {
    error("The number of new names (" + std::to_string(dests.size()) + ") does not match the number of sources (" +
          std::to_string(sources.size()) + ").");
    return false;
  }
  progress_.FilesTotal = sources.size();
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string& source = sources[i].path;
    // A bare name stays in the source's folder.
    std::string target = dests[i].find('/') == std::string::npos
                             ? join(platform::folderOf(source), dests[i])
                             : stripTrailingSeparators(platform::absolutePath(dests[i]));
    progress_.CurrentFile = source;
    progress_.Target = target;
    if (tick()) return false;
    struct stat sst {
    }, tst{};
    if (::lstat(source.c_str(), &sst) != 0) {
      error("Cannot find " + source + ": " + errnoText(errno));
      return false;
    }
    bool exists = ::lstat(target.c_str(), &tst) == 0;
    bool sameObject = exists && tst.st_dev == sst.st_dev && tst.st_ino == sst.st_ino;
    if (exists && !sameObject) {
      if (!flag(fofRenameOnCollision)) {
        error("Cannot rename " + source + ": " + target + " exists already.");
        return false;
      }
      target = fileop::uniqueName(target);
    }
    if (source != target && fileop::renamePath(source, target, sameObject) != 0) {
      error("Cannot rename " + source + " to " + target + ": " + errnoText(errno));
      return false;
    }
    ++progress_.FilesDone;
  }
  tick();
  return true;
}

bool TFileOperation::Run::transferAll(const std::vector<Source>& sources, bool move) {
  std::vector<std::string> targets;
  if (!planTargets(sources, targets)) return false;
  Totals totals;
  for (const Source& s : sources) scanTree(s.path, totals);
  progress_.BytesTotal = totals.bytes;
  progress_.FilesTotal = totals.entries;
  bool all = true;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    Step step = transfer(sources[i].path, targets[i], move);
    if (step == Step::Cancelled || step == Step::Failed) return false;
    if (step == Step::Skipped) all = false;
  }
  tick();
  return all;
}

Step TFileOperation::Run::transfer(const std::string& source, std::string target, bool move) {
  if (tick()) return Step::Cancelled;
  const char* verb = move ? "move" : "copy";
  struct stat sst {};
  if (::lstat(source.c_str(), &sst) != 0) {
    error("Cannot find " + source + ": " + errnoText(errno));
    return Step::Failed;
  }
  if (S_ISDIR(sst.st_mode) && fileop::isSameOrBelow(target, source)) {
    if (!(flag(fofRenameOnCollision) && target == source)) {
      error(std::string("Cannot ") + verb + " the folder " + source + " into itself.");
      return Step::Failed;
    }
  }
  struct stat tst {};
  bool replace = false, merge = false;
  if (::lstat(target.c_str(), &tst) == 0) {
    bool sameObject = tst.st_dev == sst.st_dev && tst.st_ino == sst.st_ino;
    if (flag(fofRenameOnCollision)) {
      target = fileop::uniqueName(target);
    } else if (sameObject) {
      error(std::string("Cannot ") + verb + " " + source + " onto itself.");
      return Step::Failed;
    } else if (S_ISDIR(sst.st_mode) && S_ISDIR(tst.st_mode)) {
      merge = true;
    } else if (S_ISDIR(sst.st_mode) || S_ISDIR(tst.st_mode)) {
      error("Cannot replace " + target + " with " + source + ": one is a folder and the other is not.");
      return Step::Failed;
    } else {
      Step answer = askOverwrite(target);
      if (answer != Step::Done) return answer;
      replace = true;
    }
  }
  progress_.CurrentFile = source;
  progress_.Target = target;

  if (move && !merge) {
    Totals moved;
    if (S_ISDIR(sst.st_mode)) scanTree(source, moved);
    if (fileop::renamePath(source, target, replace) == 0) {
      if (S_ISDIR(sst.st_mode))
        progress_.BytesDone += moved.bytes;
      else if (S_ISREG(sst.st_mode))
        progress_.BytesDone += static_cast<std::uint64_t>(sst.st_size);
      progress_.FilesDone += S_ISDIR(sst.st_mode) ? moved.entries : 1;
      return Step::Done;
    }
    if (errno != EXDEV) {
      error("Cannot move " + source + " to " + target + ": " + errnoText(errno));
      return Step::Failed;
    }
    // Another file system: copy, then remove each source once its copy is whole.
  }
  if (S_ISDIR(sst.st_mode)) return transferFolder(source, target, sst, merge, move);
  return transferFile(source, target, sst, replace, move);
}

Step TFileOperation::Run::transferFile(const std::string& source, const std::string& target, const struct stat& sst,
                                       bool replace, bool move) {
  const char* verb = move ? "move" : "copy";
  fileop::Status st;
  if (S_ISREG(sst.st_mode)) {
    fileop::CopyOptions options;
    options.blockSize = op_.BlockSize;
    options.replace = replace;
    // The copy must be on disk before it replaces a file or its source goes.
    options.durable = replace || move;
    st = fileop::copyFile(source, target, options, [this](std::uint64_t bytes) {
      progress_.BytesDone += bytes;
      return !tick();
    });
  } else if (S_ISLNK(sst.st_mode)) {
    st = fileop::copyLink(source, target, replace);
  } else {
    error(std::string("Cannot ") + verb + " " + source + ": it is not a file, a folder or a link.");
    return Step::Failed;
  }
  if (st.outcome == fileop::Outcome::Cancelled) return cancelled();
  if (!st.ok()) {
    error(std::string("Cannot ") + verb + " " + source + " to " + target + ": " + errnoText(st.err));
    return Step::Failed;
  }
  if (move && ::unlink(source.c_str()) != 0) {
    error("Cannot delete " + source + " after copying it: " + errnoText(errno));
    return Step::Failed;
  }
  ++progress_.FilesDone;
  return Step::Done;
}

Step TFileOperation::Run::transferFolder(const std::string& source, const std::string& target, const struct stat& sst,
                                         bool merge, bool move) {
  const char* verb = move ? "move" : "copy";
  if (!merge && ::mkdir(target.c_str(), 0700) != 0) {
    error(std::string("Cannot ") + verb + " " + source + " to " + target + ": " + errnoText(errno));
    return Step::Failed;
  }
  Step result = Step::Done;
  for (const std::string& name : fileop::listFolder(source)) {
    Step step = transfer(join(source, name), join(target, name), move);
    if (step == Step::Skipped) result = Step::Skipped;
    if (step == Step::Cancelled || step == Step::Failed) {
      result = step;
      break;
    }
  }
  // A new folder gets the source's permissions and times; a merged one keeps its own.
  if (!merge) fileop::applyFolderAttributes(target, sst);
  if (result != Step::Done) return result;
  ++progress_.FilesDone;
  if (move && ::rmdir(source.c_str()) != 0) {
    error("Cannot delete " + source + " after moving its contents: " + errnoText(errno));
    return Step::Failed;
  }
  return Step::Done;
}

bool TFileOperation::Run::execute() {
  std::vector<Source> sources;
  if (splitList(op_.FilesFrom).empty()) {
    error("No files were given.");
    return false;
  }
  if (!expandSources(sources)) return false;
  if (sources.empty()) return true;  // wildcards that match nothing: nothing to do
  bool ok = false;
  switch (op_.Operation) {
    case foDelete: ok = deleteAll(sources); break;
    case foRename: ok = renameAll(sources); break;
    case foCopy: ok = transferAll(sources, false); break;
    case foMove: ok = transferAll(sources, true); break;
  }
  return ok && !aborted_;
}

// ---- TFileOperation ----------------------------------------------------------

TFileOperation::TFileOperation(QWidget* owner) : owner_(owner) {}

TFileOperation::~TFileOperation() = default;

void TFileOperation::setActive(bool on) {
  if (on) lastResult_ = Execute();
}

bool TFileOperation::Execute() {
  if (running_) return false;
  running_ = true;
  aborted_ = false;
  Run run(*this);
  run_ = &run;
  bool ok = false;
  try {
    ok = run.execute();
  } catch (...) {
    run_ = nullptr;
    running_ = false;
    throw;
  }
  aborted_ = run.aborted();
  run_ = nullptr;
  running_ = false;
  lastResult_ = ok;
  return ok;
}

TCopyProgress* TFileOperation::progressWindow() const { return run_ ? run_->window() : nullptr; }

}  // namespace widgets
