#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/drives.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string urlEscape(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

std::string urlUnescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      char buf[3] = {s[i + 1], s[i + 2], 0};
      char* end = nullptr;
      long v = std::strtol(buf, &end, 16);
      if (end == buf + 2) {
        out.push_back(static_cast<char>(v));
        i += 2;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

std::string nowIso() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

bool ensureTrash(const std::string& trash) {
  std::error_code ec;
  fs::create_directories(trash + "/files", ec);
  fs::create_directories(trash + "/info", ec);
  ::chmod(trash.c_str(), 0700);
  return directoryExists(trash + "/files") && directoryExists(trash + "/info");
}

// Tries to trash into one trash folder; errno tells a cross-device failure.
bool trashInto(const std::string& trash, const std::string& absPath, TrashResult& r) {
  if (!ensureTrash(trash)) {
    r.error = "Cannot create the trash folder " + trash;
    return false;
  }
  std::string base = fileNameOf(absPath);
  for (int n = 1; n < 10000; ++n) {
    std::string name = n == 1 ? base : base + "." + std::to_string(n);
    std::string info = trash + "/info/" + name + ".trashinfo";
    int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      r.error = "Cannot write " + info + ": " + std::strerror(errno);
      return false;
    }
    std::string text = "[Trash Info]\nPath=" + urlEscape(absPath) + "\nDeletionDate=" + nowIso() + "\n";
    bool wrote = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::fsync(fd);
    ::close(fd);
    std::string target = trash + "/files/" + name;
    if (!wrote || ::rename(absPath.c_str(), target.c_str()) != 0) {
      int saved = errno;
      ::unlink(info.c_str());
      errno = saved;
      r.error = "Cannot move " + absPath + " to the trash: " + std::strerror(saved);
      return false;
    }
    r.ok = true;
    r.trashedPath = target;
    return true;
  }
  r.error = "Too many items of that name in the trash";
  return false;
}

}  // namespace

std::string homeTrashFolder() {
  const char* d = std::getenv("XDG_DATA_HOME");
  std::string data = d && *d == '/' ? std::string(d) : homeFolder() + "/.local/share";
  return data + "/Trash";
}

TrashResult moveToTrash(const std::string& path) {
  TrashResult r;
  std::string abs = absolutePath(path);
  struct stat st {};
  if (::lstat(abs.c_str(), &st) != 0) {
    r.error = "Cannot find " + abs;
    return r;
  }
  std::string home = homeTrashFolder();
  std::error_code ec;
  fs::create_directories(home, ec);
  std::string fileRoot = RealDrives().rootOf(folderOf(abs));
  std::string homeRoot = RealDrives().rootOf(home);
  if (fileRoot == homeRoot) {
    trashInto(home, abs, r);
    return r;
  }
  std::string top = fileRoot == "/" ? std::string() : fileRoot;
  if (!trashInto(top + "/.Trash-" + std::to_string(::getuid()), abs, r)) {
    TrashResult second;
    if (trashInto(home, abs, second)) return second;
  }
  return r;
}

bool restoreFromTrash(const std::string& trashedPath, std::string* error) {
  std::string trash = folderOf(folderOf(trashedPath));
  std::string info = trash + "/info/" + fileNameOf(trashedPath) + ".trashinfo";
  std::ifstream in(info);
  std::string line, original;
  while (std::getline(in, line))
    if (line.rfind("Path=", 0) == 0) original = urlUnescape(line.substr(5));
  if (original.empty()) {
    if (error) *error = "No trash record for " + trashedPath;
    return false;
  }
  struct stat st {};
  if (::lstat(original.c_str(), &st) == 0) {
    if (error) *error = original + " exists already";
    return false;
  }
  if (::rename(trashedPath.c_str(), original.c_str()) != 0) {
    if (error) *error = std::string("Cannot restore ") + original + ": " + std::strerror(errno);
    return false;
  }
  ::unlink(info.c_str());
  return true;
}

bool isInsideTrash(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  std::string home = homeTrashFolder();
  if (p.size() > home.size() && p.compare(0, home.size(), home) == 0 && p[home.size()] == '/') return true;
  for (const char* marker : {"/.Trash-", "/.Trash/"}) {
    auto pos = p.find(marker);
    if (pos == std::string::npos) continue;
    auto afterTop = p.find('/', pos + 1);
    if (afterTop != std::string::npos && afterTop + 1 < p.size()) return true;
  }
  return false;
}

}  // namespace platform
