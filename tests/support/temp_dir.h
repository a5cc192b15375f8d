// A fresh temporary folder per test, removed with everything in it at the end.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file (creating folders on the way) and returns its path.
  std::string write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

// Reads a whole file ("" when missing).
std::string readFile(const std::string& path);

// Runs a shell command; returns its exit status and, when out is given, its output.
int shell(const std::string& command, std::string* out = nullptr);

// True when a program is on PATH.
bool haveProgram(const std::string& name);

// Folder of the sample files (tests/data): KV_TESTDATA when set, else the
// source tree's folder. Never empty; a missing sample fails the test using it.
std::string testDataFolder();

}  // namespace testsupport
