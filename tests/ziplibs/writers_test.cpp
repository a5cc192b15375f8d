// One writer of an archive at a time: the compressor waits for the archive's
// lock (and can be cancelled while it waits), and does not replace an archive
// that another program changed or created meanwhile, nor move sources then.
#include <filesystem>

#include "zipcore/archivelock.h"
#include "ziplibs/ziplib_fixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace ziptest {
namespace {

class Writers : public ZipLibTest {
 protected:
  void SetUp() override {
    ZipLibTest::SetUp();
    writeFile(path("src/one.txt"), textData(50000, 1));
    writeFile(path("src/two.txt"), textData(60000, 2));
  }
  AddRequest request(const std::string& file, bool move = false) {
    AddRequest r;
    r.archive = path("a.zip");
    r.specs = {file};
    r.folder = tmp.path();
    r.move = move;
    return r;
  }
  // Runs fn at the first file begun by the library.
  void atFirstFile(std::function<void()> fn) {
    lib.stopWhen = [fn, done = false](const Event& e) mutable {
      if (e.action == ZIPLIB_ACTION_FILE_BEGIN && !done) {
        done = true;
        fn();
      }
      return false;
    };
  }
};

TEST_F(Writers, AWriterWaitsForTheLockAndCanBeCancelledWhileWaiting) {
  ASSERT_EQ(lib.add(request("src/one.txt")), 1);
  const std::string before = fileBytes(path("a.zip"));
  zipcore::ArchiveLock other;
  std::string error;
  ASSERT_EQ(other.acquire(path("a.zip"), 0ms, nullptr, error), zipcore::ArchiveLock::Outcome::Locked) << error;
  int polls = 0;
  lib.stopWhen = [&](const Event& e) { return e.action == ZIPLIB_ACTION_PROGRESS && e.size == 0 && ++polls == 5; };
  EXPECT_EQ(lib.add(request("src/two.txt", true)), 0);
  EXPECT_EQ(polls, 5) << "the caller is called back while the library waits";
  ASSERT_FALSE(lib.events.empty());
  EXPECT_EQ(lib.events.front().action, ZIPLIB_ACTION_MESSAGE);
  EXPECT_EQ(lib.events.front().code, ZIPLIB_OK);
  EXPECT_NE(lib.events.front().text.find("another program is changing the archive; waiting for it"), std::string::npos);
  EXPECT_EQ(fileBytes(path("a.zip")), before);
  EXPECT_TRUE(exists(path("src/two.txt")));

  // Once the other writer is done, the next add goes through.
  other.release();
  lib.stopWhen = nullptr;
  EXPECT_EQ(lib.add(request("src/two.txt", true)), 1);
  EXPECT_FALSE(exists(path("src/two.txt")));
  EXPECT_FALSE(exists(path(".a.zip.kvlock")));
}

// A program that does not take the lock replaces the archive while the library
// writes: the library's copy, built on the old archive, is dropped rather than
// renamed over the other program's, and a move keeps its sources.
TEST_F(Writers, AnArchiveChangedMeanwhileIsNotReplaced) {
  ASSERT_EQ(lib.add(request("src/one.txt")), 1);
  writeFile(path("other.zip"), "the other program's archive");
  atFirstFile([&] { fs::rename(path("other.zip"), path("a.zip")); });
  EXPECT_EQ(lib.add(request("src/two.txt", true)), 0);
  EXPECT_TRUE(lib.anyProblemContains(
      "another program changed the archive while the new one was being written; the new one was not saved"));
  EXPECT_EQ(fileBytes(path("a.zip")), "the other program's archive");
  EXPECT_TRUE(exists(path("src/two.txt")));
  EXPECT_TRUE(leftovers(tmp.path()).empty());

  // The same for an archive that did not exist when the library began.
  atFirstFile([&] { writeFile(path("new.zip"), "made meanwhile"); });
  AddRequest r = request("src/two.txt", true);
  r.archive = path("new.zip");
  EXPECT_EQ(lib.add(r), 0);
  EXPECT_TRUE(lib.anyProblemContains("another program created the archive while the new one was being written"));
  EXPECT_EQ(fileBytes(path("new.zip")), "made meanwhile");
  EXPECT_TRUE(exists(path("src/two.txt")));
}

}  // namespace
}  // namespace ziptest
