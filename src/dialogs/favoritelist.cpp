#include "dialogs/favoritelist.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "dialogs/filelines.h"
#include "platform/atomicfile.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/routines.h"

namespace dialogs {

std::string FavoritesFile() { return platform::ProgramPath(1) + "Favorites.lst"; }

std::vector<std::string> LoadFavoriteList() {
  const std::string file = FavoritesFile();
  if (!platform::fileExists(file)) platform::writeFileAtomically(file, {});
  std::string text;
  std::vector<std::string> list;
  if (!platform::readWholeFile(file, text)) return list;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    list.push_back(std::move(line));
    start = end + 1;
  }
  return list;
}

bool SaveFavoriteList(const std::vector<std::string>& list, std::string* error) {
  std::string text;
  for (const std::string& line : list) text += line + '\n';
  return platform::writeFileAtomically(FavoritesFile(), text, error);
}

std::optional<std::string> FavoriteLine(const std::string& path, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = std::strerror(errno);
    return std::nullopt;
  }
  const std::string when = platform::formatDateTime(platform::displayDateFormat() + " " + platform::displayTimeFormat(),
                                                    platform::fromUnixTime(st.st_mtime));
  return JoinFileLine(path, when, std::to_string(st.st_size));
}

bool IsFavorite(const std::vector<std::string>& list, const std::string& path) {
  struct stat wanted {};
  const bool exists = ::stat(path.c_str(), &wanted) == 0;
  for (const std::string& line : list) {
    const std::string file = SplitFileLine(line).file;
    if (file == path) return true;
    struct stat st {};
    if (exists && ::stat(file.c_str(), &st) == 0 && st.st_dev == wanted.st_dev && st.st_ino == wanted.st_ino)
      return true;
  }
  return false;
}

}  // namespace dialogs
