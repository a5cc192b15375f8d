#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "kvtest.XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Give back write permission everywhere first: tests make read-only folders.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::error_code ec2;
    if (it->is_directory(ec2) && !it->is_symlink(ec2))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec2);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& contents) const {
  fs::path p = fs::path(path_) / name;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << contents;
  return p.string();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int shell(const std::string& command, std::string* out) {
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return -1;
  std::array<char, 4096> buf{};
  std::string text;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
  int status = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveProgram(const std::string& name) { return shell("command -v " + name + " >/dev/null 2>&1") == 0; }

std::string testDataFolder() {
  const char* env = std::getenv("KV_TESTDATA");
  return env && *env ? std::string(env) : std::string(KV_SOURCE_TESTDATA);
}

}  // namespace testsupport
