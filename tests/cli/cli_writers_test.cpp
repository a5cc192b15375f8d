// Several kelvory-cli runs writing one archive: they take turns, so every file
// added by any of them is kept and a move deletes only files in the archive; and
// the temporary archive of a run killed mid-way is removed by the next write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/file.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/uniquefd.h"
#include "support/temp_dir.h"

using testsupport::readFile;
using testsupport::shell;

namespace {

namespace fs = std::filesystem;

std::string cli() {
  const char* bin = std::getenv("KV_BIN");
  if (bin && *bin) return std::string(bin) + "/kelvory-cli";
  return fs::read_symlink("/proc/self/exe").parent_path().string() + "/kelvory-cli";
}

class CliWriters : public ::testing::Test {
 protected:
  int run(const std::string& args) {
    int status = shell("cd '" + dir.path() + "' && '" + cli() + "' " + args + " 2>err.txt", &out);
    err = readFile(dir / "err.txt");
    return status;
  }
  // Temporary archives beside t.zip.
  std::vector<std::string> temporaries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir.path()))
      if (e.path().filename().string().starts_with(".t.zip.kvtmp-")) found.push_back(e.path().string());
    return found;
  }

  testsupport::TempDir dir;
  std::string out, err;
};

// Ten pairs of runs, each pair started together on the same archive, each run
// moving its own file in: every file ends in the archive with its contents, every
// source is gone, and every run says it succeeded.
TEST_F(CliWriters, ConcurrentAddsKeepEveryFile) {
  // The pairs one after the other, the two runs of a pair at once.
  std::string script = "cd '" + dir.path() + "' || exit 1\n";
  for (int pair = 0; pair < 10; ++pair) {
    for (char side : {'a', 'b'}) {
      const std::string name = "f" + std::to_string(pair) + side + ".txt";
      dir.write(name, name + std::string(200000 + pair * 1000, side));
      script += "{ '" + cli() + "' a -m t.zip " + name + " >/dev/null 2>" + name + ".err; echo $? >" + name +
                ".status; } &\n";
    }
    script += "wait\n";
  }
  ASSERT_EQ(shell(script), 0);
  ASSERT_EQ(run("l t.zip"), 0) << err;
  for (int pair = 0; pair < 10; ++pair) {
    for (char side : {'a', 'b'}) {
      const std::string name = "f" + std::to_string(pair) + side + ".txt";
      EXPECT_EQ(readFile(dir / (name + ".status")), "0\n") << name << ": " << readFile(dir / (name + ".err"));
      EXPECT_NE(out.find(name), std::string::npos) << name << " is missing from the archive";
      EXPECT_FALSE(fs::exists(dir / name)) << name << " was moved";
    }
  }
  EXPECT_NE(out.find("\n20 entries\t"), std::string::npos) << out;
  ASSERT_EQ(run("x t.zip -d out"), 0) << err;
  EXPECT_EQ(readFile(dir / "out/f7b.txt"), "f7b.txt" + std::string(207000, 'b'));
  EXPECT_TRUE(temporaries().empty());
  EXPECT_FALSE(fs::exists(dir / ".t.zip.kvlock"));
}

// A run killed while writing leaves its temporary archive; the next run that
// writes the archive removes it and says so, but keeps one a live writer holds.
TEST_F(CliWriters, TheNextWriteRemovesAKilledRunsTemporary) {
  ASSERT_EQ(shell("head -c 30000000 /dev/urandom > '" + dir / "big.bin" + "'"), 0);
  dir.write("small.txt", "small");
  ASSERT_EQ(run("a t.zip small.txt"), 0) << err;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (::chdir(dir.path().c_str()) == 0 && null >= 0 && ::dup2(null, 1) == 1 && ::dup2(null, 2) == 2)
      ::execl(cli().c_str(), "kelvory-cli", "a", "-9", "t.zip", "big.bin", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (temporaries().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";
  ASSERT_EQ(temporaries().size(), 1u) << "the killed run left its temporary archive";
  const std::string leftover = temporaries()[0];

  // A temporary whose writer is alive (held by this test) is not touched.
  const std::string busy = dir.write(".t.zip.kvtmp-0123456789ab", "being written");
  platform::UniqueFd holder(::open(busy.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(holder.get(), LOCK_EX), 0);

  dir.write("more.txt", "more");
  ASSERT_EQ(run("a t.zip more.txt"), 0) << err;
  const std::string name = fs::path(leftover).filename().string();
  EXPECT_NE(err.find("kelvory-cli: t.zip: removed " + name + " ("), std::string::npos) << err;
  EXPECT_NE(err.find("a temporary file left by a write that was interrupted"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_TRUE(fs::exists(busy));
  EXPECT_EQ(out, "1 files added, 2 entries in t.zip\n");
}

}  // namespace
