#include "platform/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/pump.h"

extern char** environ;

namespace platform {

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  std::string cur;
  bool inQuotes = false, have = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    char c = commandLine[i];
    if (inQuotes) {
      if (c == '\\' && i + 1 < commandLine.size() && (commandLine[i + 1] == '"' || commandLine[i + 1] == '\\')) {
        cur.push_back(commandLine[++i]);
      } else if (c == '"') {
        inQuotes = false;
      } else {
        cur.push_back(c);
      }
    } else if (c == '"') {
      inQuotes = true;
      have = true;
    } else if (c == ' ' || c == '\t') {
      if (have) args.push_back(cur);
      cur.clear();
      have = false;
    } else {
      cur.push_back(c);
      have = true;
    }
  }
  if (have) args.push_back(cur);
  return args;
}

ProcessResult runArgs(const std::vector<std::string>& args, bool wait, const std::string& folder) {
  ProcessResult r;
  if (args.empty() || args[0].empty()) {
    r.error = "No program given";
    return r;
  }
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    r.error = std::string("Cannot start ") + args[0] + ": " + std::strerror(rc);
    return r;
  }
  r.started = true;
  if (!wait) {
    // Collect it when it ends so it never lingers as a zombie.
    std::thread([pid] {
      int s = 0;
      while (::waitpid(pid, &s, 0) < 0 && errno == EINTR) {}
    }).detach();
    return r;
  }
  int status = 0;
  for (;;) {
    pid_t w = ::waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) {
      r.error = std::strerror(errno);
      return r;
    }
    pumpEvents();
    sleepMs(10);
  }
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

ProcessResult runCommand(const std::string& commandLine, bool wait) {
  return runArgs(splitCommandLine(commandLine), wait);
}

bool makeExecutable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  mode |= S_IXUSR;
  if (mode & S_IRGRP) mode |= S_IXGRP;
  if (mode & S_IROTH) mode |= S_IXOTH;
  if (mode != (st.st_mode & 07777) && ::chmod(path.c_str(), mode) != 0) return false;
  return ::access(path.c_str(), X_OK) == 0;
}

bool desktopOpen(const std::string& target) {
  if (target.empty()) return false;
  return runArgs({"xdg-open", target}, false).started;
}

}  // namespace platform
