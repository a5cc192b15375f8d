#include "widgets/deltree.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/fileopcore.h"

namespace widgets {

void TMPDelTree::report(const std::string& format, const std::string& argument) {
  if (!Verbose || messageShown_) return;
  messageShown_ = true;
  std::string text = format;
  if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  platform::ui().message(platform::MsgKind::Plain, "", text, platform::kOk);
}

bool TMPDelTree::Execute() {
  messageShown_ = false;
  // Resolve a relative Path before the current folder moves, so it still names the
  // folder the caller meant.
  std::string target = platform::absolutePath(Path);
  // Step out of the current folder: it may be the tree about to go.
  if (::chdir("..") != 0) {
    // Nothing depends on it: a folder in use can be removed on this system.
  }
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  while (target.size() > 1 && target.back() == '/') target.pop_back();

  struct stat st {};
  if (Path.empty() || ::stat(target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    report("The directory %s doesn't exist", Path);
    return true;
  }

  bool cancelled = false;
  auto before = [&](const std::string& file, const struct stat& fst) {
    if (!OnProcessFile) return true;
    TSearchRec rec;
    rec.Name = platform::fileNameOf(file);
    rec.Size = static_cast<std::uint64_t>(fst.st_size);
    rec.Time = static_cast<std::int64_t>(fst.st_mtime);
    rec.Attr = fst.st_mode;
    bool cancel = false;
    OnProcessFile(this, file, rec, cancel);
    cancelled = cancel;
    return !cancel;
  };

  fileop::Status result;
  struct stat lst {};
  if (::lstat(target.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    // A link to a folder: its target is not part of this tree.
    if (DeleteRoot) result = fileop::removePath(target, before);
  } else {
    result = fileop::removeTree(target, DeleteRoot, before);
  }
  if (result.ok()) return true;
  if (cancelled || result.outcome == fileop::Outcome::Cancelled)
    report("DelTree aborted by user !", "");
  else
    report("Cannot delete file %s", result.path);
  return false;
}

}  // namespace widgets
