#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string envOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string withSeparator(std::string p) {
  if (p.empty() || p.back() != kSeparator) p.push_back(kSeparator);
  return p;
}

}  // namespace

std::string executablePath() {
  std::error_code ec;
  auto p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

std::string homeFolder() {
  std::string home = envOrEmpty("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  if (home.size() > 1 && home.back() == kSeparator) home.pop_back();
  return home.empty() ? std::string("/") : home;
}

std::string tempFolder() {
  std::string t = envOrEmpty("TMPDIR");
  if (t.empty() || !directoryExists(t)) t = "/tmp";
  if (t.size() > 1 && t.back() == kSeparator) t.pop_back();
  return t;
}

std::string programFolder() {
  std::string folder = envOrEmpty("KELVORY_HOME");
  if (folder.empty()) {
    std::string exeDir = folderOf(executablePath());
    if (!exeDir.empty() && isWritableDirectory(exeDir)) {
      folder = exeDir;
    } else {
      std::string config = envOrEmpty("XDG_CONFIG_HOME");
      if (config.empty() || config.front() != kSeparator) config = homeFolder() + "/.config";
      folder = config + "/kelvory";
    }
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  return withSeparator(folder);
}

std::string toNativeSeparators(std::string path) {
  for (char& c : path)
    if (c == '\\') c = kSeparator;
  return path;
}

unsigned currentUmask() {
  // umask() only reads the mask by setting it; set the old one straight back.
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

bool fileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isWritableDirectory(const std::string& path) {
  return directoryExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string extensionOf(const std::string& path) {
  std::string name = fileNameOf(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string firstDotExtension(const std::string& path) {
  std::string name = fileNameOf(path);
  auto dot = name.find('.');
  return dot == std::string::npos ? std::string() : lowerAscii(name.substr(dot + 1, 3));
}

std::string fileNameOf(const std::string& path) {
  auto pos = path.find_last_of("/\\");
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string folderOf(const std::string& path) {
  auto pos = path.find_last_of("/\\");
  if (pos == std::string::npos) return std::string();
  if (pos == 0) return std::string("/");
  return path.substr(0, pos);
}

std::string lowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string upperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string absolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  std::string s = p.lexically_normal().string();
  if (s.size() > 1 && s.back() == kSeparator && path.back() != kSeparator) s.pop_back();
  return s;
}

}  // namespace platform
