#include "ziplibs/ziplib_fixture.h"

#include "ziplibs/zip_builder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace ziptest {

std::string textData(std::size_t size, unsigned seed) {
  static const char* words[] = {"archive ", "member ", "deflate ", "folder ", "the ",     "and ",
                                "of ",      "record ", "header ",  "data\n",  "kelvory ", "zip "};
  std::mt19937 rng(seed);
  std::string out;
  out.reserve(size + 16);
  while (out.size() < size) out += words[rng() % 12];
  out.resize(size);
  return out;
}

std::string randomData(std::size_t size, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(rng() & 0xFF);
  return out;
}

// Small contents as they are; big ones as size and CRC, so that a failing
// comparison prints a readable difference.
std::string digest(const std::string& data) {
  if (data.size() <= 256) return data;
  char buf[64];
  std::snprintf(buf, sizeof buf, "<%zu bytes, CRC %08x>", data.size(), crcOf(data));
  return buf;
}

std::map<std::string, std::string> readTree(const std::string& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel = it->path().lexically_relative(root).string();
    if (it->is_symlink())
      out[rel] = "@" + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      out[rel + "/"] = "";
    else
      out[rel] = digest(fileBytes(it->path().string()));
  }
  return out;
}

void writeFile(const std::string& path, const std::string& data) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> leftovers(const std::string& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.find(".kvtmp-") != std::string::npos || name.find(".kvlnk-") != std::string::npos)
      out.push_back(it->path().string());
  }
  return out;
}

void ZipLibTest::makeSourceTree() {
  writeFile(path("src/readme.txt"), textData(3000, 1));
  writeFile(path("src/docs/lorem.txt"), textData(100000, 2));
  writeFile(path("src/docs/empty.txt"), "");
  writeFile(path("src/bin/random.bin"), randomData(20000, 3));
  writeFile(path("src/nested/a/b/c/deep.txt"), "deep file\n");
  writeFile(path("src/.hidden"), "hidden\n");
  fs::create_directories(path("src/emptydir"));
}

}  // namespace ziptest
