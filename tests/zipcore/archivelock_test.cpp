// Writers of one archive take turns through its lock, and the temporaries of
// writers that are gone can be told from those still being written.
#include "zipcore/archivelock.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using Outcome = zipcore::ArchiveLock::Outcome;

class ArchiveLockTest : public ::testing::Test {
 protected:
  bool exists(const std::string& name) const { return std::filesystem::exists(tmp / name); }
  testsupport::TempDir tmp;
  std::string archive = tmp / "a.zip";
  std::string error;
};

TEST_F(ArchiveLockTest, ASecondWriterWaitsUntilTheFirstLetsGo) {
  zipcore::ArchiveLock first, second;
  ASSERT_EQ(first.acquire(archive, 0ms, nullptr, error), Outcome::Locked) << error;
  EXPECT_TRUE(exists(".a.zip.kvlock"));
  EXPECT_EQ(second.acquire(archive, 150ms, nullptr, error), Outcome::Busy);
  int polls = 0;
  EXPECT_EQ(second.acquire(
                archive, 10s, [&] { return ++polls < 3; }, error),
            Outcome::Stopped);
  EXPECT_EQ(polls, 3);

  // A waiter gets the lock once the holder lets go, although the holder removed
  // the lock file the waiter was waiting on.
  std::atomic<bool> waiting = false;
  std::thread releaser([&] {
    while (!waiting) std::this_thread::sleep_for(5ms);
    first.release();
  });
  Outcome got = second.acquire(
      archive, 10s, [&] { return waiting = true; }, error);
  releaser.join();
  ASSERT_EQ(got, Outcome::Locked);
  zipcore::ArchiveLock third;
  EXPECT_EQ(third.acquire(archive, 100ms, nullptr, error), Outcome::Busy) << "the waiter holds the new lock file";
  second.release();
  EXPECT_FALSE(exists(".a.zip.kvlock")) << "nothing left beside the archive";
  EXPECT_EQ(third.acquire(archive, 0ms, nullptr, error), Outcome::Locked);
}

TEST_F(ArchiveLockTest, LockFilesThatAreNoFilesFail) {
  ASSERT_EQ(::symlink("elsewhere", (tmp / ".a.zip.kvlock").c_str()), 0);
  zipcore::ArchiveLock lock;
  EXPECT_EQ(lock.acquire(archive, 0ms, nullptr, error), Outcome::Failed);
  EXPECT_NE(error.find(".a.zip.kvlock"), std::string::npos) << error;
  EXPECT_FALSE(exists("elsewhere")) << "a link is not followed";
  EXPECT_EQ(lock.acquire(tmp / "missing/a.zip", 0ms, nullptr, error), Outcome::Failed);
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// Temporaries nobody holds are leftovers; one its writer holds, other archives'
// temporaries, names of another shape and links stay.
TEST_F(ArchiveLockTest, OnlyTemporariesWithoutAWriterAreRemoved) {
  std::string live;
  platform::UniqueFd writer = zipcore::CreateLockedTemp(archive, live);
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(live.rfind(tmp / ".a.zip.kvtmp-", 0), 0u) << live;
  tmp.write(".a.zip.kvtmp-0123456789ab", "left by a killed run");
  tmp.write(".a.zip.kvtmp-Ab3xY9", "left by an earlier version");
  tmp.write(".a.zip.kvtmp-notours", "");
  tmp.write(".b.zip.kvtmp-0123456789ab", "another archive's");
  tmp.write(".kvtmp-0123456789ab", "an extraction's");
  tmp.write("target", "t");
  ASSERT_EQ(::symlink("target", (tmp / ".a.zip.kvtmp-aaaaaaaaaaaa").c_str()), 0);

  std::vector<zipcore::StaleTemp> removed = zipcore::RemoveStaleTemps(archive);
  std::sort(removed.begin(), removed.end(), [](auto& a, auto& b) { return a.name < b.name; });
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_EQ(removed[0].name, ".a.zip.kvtmp-0123456789ab");
  EXPECT_EQ(removed[0].size, 20u);
  EXPECT_EQ(removed[1].name, ".a.zip.kvtmp-Ab3xY9");
  EXPECT_TRUE(std::filesystem::exists(live)) << "its writer still holds it";
  for (const char* kept : {".a.zip.kvtmp-notours", ".b.zip.kvtmp-0123456789ab", ".kvtmp-0123456789ab",
                           ".a.zip.kvtmp-aaaaaaaaaaaa", "target"})
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(tmp / kept))) << kept;

  writer.reset();  // the writer dies without removing its file
  removed = zipcore::RemoveStaleTemps(archive);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(live));
}

}  // namespace
