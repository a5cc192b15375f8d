#include "ziplibs/sourcefiles.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <unordered_set>

#include "zipcore/fileio.h"
#include "ziplibs/reporter.h"
#include "zipcore/namematch.h"

namespace ziplibs {

using namespace zipcore;

namespace {

constexpr int kMaxDepth = 256;  // deeper trees are not walked (no links are followed, so no loops)
// How often a walk tells the caller it is still looking: after this many names,
// or this much time, whichever comes first.
constexpr unsigned kReportEvery = 512;
constexpr std::chrono::milliseconds kReportInterval{100};

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

class Collector {
 public:
  Collector(const AddOptions& o, const struct stat* archive, Reporter& r, SourceList& out)
      : opts_(o), archive_(archive), reporter_(r), out_(out) {}

  bool spec(const std::string& spec);

 private:
  bool addPath(const std::string& path, const struct stat& st, bool named);
  bool walk(const std::string& dir, const std::string& pattern, int depth);
  bool listFolder(const std::string& dir, std::vector<std::string>& names);
  void addEntry(SourceFile::Kind kind, const std::string& path, const struct stat& st);
  bool isArchive(const struct stat& st) const {
    return archive_ && st.st_dev == archive_->st_dev && st.st_ino == archive_->st_ino;
  }
  bool hiddenSkipped(const std::string& name) const { return !opts_.hidden && !name.empty() && name[0] == '.'; }
  bool stillLooking(const std::string& dir);

  const AddOptions& opts_;
  const struct stat* archive_;
  Reporter& reporter_;
  SourceList& out_;
  std::unordered_set<std::string> names_;
  unsigned matches_ = 0;
  unsigned sinceReport_ = 0;
  std::chrono::steady_clock::time_point lastReport_ = std::chrono::steady_clock::now();
};

// A walk over a big tree, or a long list of names, takes a while before the first
// file is read: the caller hears of it now and then, so that its window stays
// alive and a Cancel is taken. False once the caller asked to stop.
bool Collector::stillLooking(const std::string& dir) {
  const auto now = std::chrono::steady_clock::now();
  if (++sinceReport_ < kReportEvery && now - lastReport_ < kReportInterval) return true;
  sinceReport_ = 0;
  lastReport_ = now;
  return reporter_.collecting(dir, out_.files.size());
}

bool Collector::spec(const std::string& spec) {
  std::string s = spec;
  while (s.size() > 1 && s.back() == '/' && s[s.size() - 2] == '/') s.pop_back();
  std::size_t slash = s.rfind('/');
  std::string last = slash == std::string::npos ? s : s.substr(slash + 1);
  if (!opts_.literal && hasWildcards(last)) {
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : s.substr(0, slash));
    matches_ = 0;
    if (!walk(dir, last, 0)) return false;
    if (matches_ == 0) reporter_.message(ZIPLIB_E_WARNING, spec + ": no file matches");
    return true;
  }
  if (s.size() > 1 && s.back() == '/') s.pop_back();
  if (!stillLooking(s)) return false;
  struct stat st {};
  if (::lstat(s.c_str(), &st) != 0) {
    reporter_.message(ZIPLIB_E_NOT_FOUND, spec + ": " + errorText(errno));
    return false;
  }
  return addPath(s, st, true);
}

// A path given in full or matched: a folder is walked (its files only, without
// recursion), anything else added.
bool Collector::addPath(const std::string& path, const struct stat& st, bool named) {
  if (S_ISDIR(st.st_mode)) {
    if (!named) return true;
    addEntry(SourceFile::kDirectory, path, st);
    if (opts_.move) out_.walkedFolders.push_back(path);
    return walk(path, "*", 0);
  }
  addEntry(S_ISLNK(st.st_mode) ? SourceFile::kSymlink : SourceFile::kFile, path, st);
  return true;
}

bool Collector::listFolder(const std::string& dir, std::vector<std::string>& names) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) {
    reporter_.message(ZIPLIB_E_READ, dir + ": cannot read the folder: " + errorText(errno));
    return false;
  }
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names.emplace_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());  // the archive's order must not depend on the file system
  return true;
}

bool Collector::walk(const std::string& dir, const std::string& pattern, int depth) {
  if (depth > kMaxDepth) {
    reporter_.message(ZIPLIB_E_WARNING, dir + ": folders nested too deep, not walked further");
    return true;
  }
  std::vector<std::string> names;
  if (!listFolder(dir, names)) return false;
  for (const std::string& name : names) {
    if (!stillLooking(dir)) return false;
    if (hiddenSkipped(name)) continue;
    std::string path = joinPath(dir, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;  // vanished meanwhile
    if (S_ISDIR(st.st_mode)) {
      if (!opts_.recurse) continue;
      addEntry(SourceFile::kDirectory, path, st);
      if (opts_.move) out_.walkedFolders.push_back(path);
      if (!walk(path, pattern, depth + 1)) return false;
    } else if (wildcardMatch(pattern, name)) {
      ++matches_;
      if (!addPath(path, st, false)) return false;
    }
  }
  return true;
}

void Collector::addEntry(SourceFile::Kind kind, const std::string& path, const struct stat& st) {
  if (kind == SourceFile::kDirectory && (!opts_.dirEntries || opts_.stripDirs)) return;
  if (kind != SourceFile::kDirectory && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    reporter_.message(ZIPLIB_E_WARNING, path + ": not a regular file, skipped");
    return;
  }
  if (isArchive(st)) return;
  SourceFile f;
  f.kind = kind;
  f.path = path;
  f.st = st;
  f.storedName = storedNameFor(path, opts_.stripDirs, opts_.forceDos);
  if (f.storedName.empty()) return;
  if (kind == SourceFile::kDirectory) f.storedName += '/';
  if (!names_.insert(f.storedName).second) {
    if (kind != SourceFile::kDirectory)
      reporter_.message(ZIPLIB_E_WARNING, path + ": the name " + f.storedName + " is already taken, skipped");
    return;
  }
  out_.files.push_back(std::move(f));
}

}  // namespace

std::string dosPart(const std::string& part) {
  static const std::string kAllowed = "!#$%&'()-@^_`{}~";
  auto clean = [](std::string s, std::size_t max) {
    if (s.size() > max) s.resize(max);
    for (char& c : s) {
      unsigned char u = static_cast<unsigned char>(c);
      if (std::isalnum(u) && u < 128)
        c = static_cast<char>(std::toupper(u));
      else if (kAllowed.find(c) == std::string::npos)
        c = '_';
    }
    return s;
  };
  std::size_t dot = part.rfind('.');
  std::string base = dot == std::string::npos || dot == 0 ? part : part.substr(0, dot);
  std::string ext = dot == std::string::npos || dot == 0 ? "" : part.substr(dot + 1);
  base.erase(std::remove(base.begin(), base.end(), '.'), base.end());
  std::string out = clean(base.empty() ? "_" : base, 8);
  if (!ext.empty()) out += "." + clean(ext, 3);
  return out;
}

std::string storedNameFor(const std::string& path, bool stripDirs, bool forceDos) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") parts.push_back(forceDos ? dosPart(part) : part);
    start = end + 1;
  }
  if (parts.empty()) return {};
  if (stripDirs) return parts.back();
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

bool collectSources(const AddOptions& opts, const struct stat* archive, Reporter& reporter, SourceList& out) {
  Collector c(opts, archive, reporter, out);
  for (const std::string& spec : opts.specs)
    if (!c.spec(spec) || reporter.stopped()) return false;
  return true;
}

}  // namespace ziplibs
