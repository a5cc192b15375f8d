// Self-extracting programs made for tests: the built stub, a settings block and
// ZIP data built byte by byte, and ways to run the result with or without a
// terminal.
#pragma once

#include <pty.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "zipcore/sfxblock.h"
#include "zipengine/zip_builder.h"

namespace sfxtest {

inline std::string binFolder() {
  const char* bin = std::getenv("KV_BIN");
  if (bin && *bin) return bin;
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

inline std::string stubPath() { return binFolder() + "/kvsfx"; }

inline std::string stubBytes() { return testsupport::readFile(stubPath()); }

// stub + block + archive of entries with offsets counting both; no block when
// withBlock is off (what the main window's rebuild writes).
inline std::string programBytes(const zipcore::SfxSettings& s, const std::vector<ziptest::Entry>& entries,
                                bool withBlock = true) {
  std::string stub = stubBytes();
  std::string block = withBlock ? zipcore::EncodeSfxBlock(s) : std::string();
  auto parts = ziptest::build(entries, {}, static_cast<std::uint32_t>(stub.size() + block.size()));
  return stub + block + parts.all();
}

// Writes an executable program file.
inline std::string writeProgram(const testsupport::TempDir& dir, const std::string& name, const std::string& bytes) {
  std::string path = dir.write(name, bytes);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

struct Ran {
  int status = -1;  // exit status; -1 when it did not end normally
  std::string out;
};

// Runs a program in a pseudo-terminal, typing answers (each followed by a line
// end) before it starts reading; returns what the terminal showed.
inline Ran runInTerminal(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& answers, const std::string& cwd) {
  Ran r;
  int master = -1;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return r;
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) _exit(126);
    ::alarm(60);  // a program waiting for an answer nobody gives ends the test
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    _exit(127);
  }
  termios t{};
  if (::tcgetattr(master, &t) == 0) {
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO);  // only what the program writes
    ::tcsetattr(master, TCSANOW, &t);
  }
  for (const auto& a : answers) {
    std::string line = a + "\n";
    if (::write(master, line.data(), line.size()) < 0) break;
  }
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the program has ended
    r.out.append(buf, static_cast<std::size_t>(n));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
  return r;
}

}  // namespace sfxtest
