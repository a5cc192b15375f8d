#include "widgets/privatefolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace widgets {

std::string MakePrivateFolder(const std::string& parent, const std::string& prefix, std::string* error) {
  std::error_code ec;
  if (!parent.empty()) fs::create_directories(parent, ec);
  std::string base = parent.empty() ? std::string(".") : parent;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string pattern = (base == "/" ? std::string() : base) + "/" + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  // mkdtemp makes the folder with mode 0700 under a name nobody could have guessed.
  if (!::mkdtemp(buffer.data())) {
    if (error) *error = "Cannot create a folder in " + base + ": " + std::strerror(errno);
    return {};
  }
  return std::string(buffer.data());
}

bool RemoveFolderTree(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(folder, ec))) return true;
  // Folders extracted read-only must be writable before their entries can go.
  if (fs::is_directory(fs::symlink_status(folder, ec))) ::chmod(folder.c_str(), S_IRWXU);
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), S_IRWXU);
  }
  ec.clear();
  fs::remove_all(folder, ec);
  return !ec && !fs::exists(fs::symlink_status(folder, ec));
}

}  // namespace widgets
