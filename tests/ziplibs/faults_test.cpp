// Cancel and failure never lose data: a cancelled or failed add (a full disk, a
// failing flush, a folder that refuses new files, a missing source) leaves the
// archive byte for byte as it was and the sources in place; a failing or
// cancelled extraction leaves no partial file and keeps existing ones.
#include <cerrno>
#include <filesystem>

#include "zipcore/sysio.h"
#include "ziplibs/ziplib_fixture.h"
#include "support/param_name.h"

namespace fs = std::filesystem;
using zipcore::sysio::kFaultCreate;
using zipcore::sysio::kFaultNone;
using zipcore::sysio::kFaultSync;
using zipcore::sysio::kFaultWrite;

namespace ziptest {
namespace {

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!lib.loaded()) GTEST_SKIP() << "fault-injecting libraries not found: " << lib.loadError();
    writeFile(path("old/keep.txt"), textData(40000, 4));
    writeFile(path("old/more.bin"), randomData(30000, 5));
    AddRequest r = request({"old/"});
    ASSERT_EQ(lib.add(r), 2);
    original = fileBytes(path("a.zip"));
    writeFile(path("src/one.txt"), textData(300000, 6));
    writeFile(path("src/two.bin"), randomData(200000, 7));
    writeFile(path("src/sub/three.txt"), textData(3000000, 8));
    sources = readTree(path("src"));
  }
  void TearDown() override {
    if (lib.loaded()) lib.fault(kFaultNone, 0, 0);
  }
  std::string path(const std::string& name) const { return tmp / name; }
  AddRequest request(std::vector<std::string> specs) {
    AddRequest r;
    r.archive = path("a.zip");
    r.specs = std::move(specs);
    r.folder = tmp.path();
    r.recurse = true;
    return r;
  }
  // The archive, the sources and the folder are as before the failed add.
  void expectUnchanged() {
    EXPECT_EQ(fileBytes(path("a.zip")), original);
    EXPECT_EQ(readTree(path("src")), sources);
    EXPECT_TRUE(leftovers(tmp.path()).empty()) << ::testing::PrintToString(leftovers(tmp.path()));
  }

  testsupport::TempDir tmp;
  ZipLibClient lib{true};
  std::string original;
  std::map<std::string, std::string> sources;
};

struct CancelPoint {
  std::uint32_t action;
  int occurrence;
};

class CancelledAdd : public Faults, public ::testing::WithParamInterface<CancelPoint> {};

TEST_P(CancelledAdd, LeavesArchiveAndSourcesAsTheyWere) {
  int seen = 0;
  lib.stopWhen = [&](const Event& e) { return e.action == GetParam().action && ++seen == GetParam().occurrence; };
  AddRequest r = request({"src/"});
  r.move = true;
  EXPECT_EQ(lib.add(r), 0);
  ASSERT_EQ(seen, GetParam().occurrence);
  // Nothing is called back after the stop answer.
  EXPECT_EQ(lib.events.back().action, GetParam().action);
  expectUnchanged();
}

INSTANTIATE_TEST_SUITE_P(
    Points, CancelledAdd,
    ::testing::Values(CancelPoint{ZIPLIB_ACTION_TOTAL_FILES, 1}, CancelPoint{ZIPLIB_ACTION_FILE_BEGIN, 1},
                      CancelPoint{ZIPLIB_ACTION_PROGRESS, 1}, CancelPoint{ZIPLIB_ACTION_PROGRESS, 20},
                      CancelPoint{ZIPLIB_ACTION_FILE_BEGIN, 3}, CancelPoint{ZIPLIB_ACTION_PROGRESS, 100}),
    testsupport::namedBy([](const CancelPoint& c) {
      return "action" + std::to_string(c.action) + "_call" + std::to_string(c.occurrence);
    }));

// A long walk for the files to add reports as it goes, so that a Cancel is taken
// before any file is read, and the archive stays as it was.
TEST_F(Faults, CancelDuringTheFolderWalk) {
  for (int i = 0; i < 1500; ++i) writeFile(path("src/many/f" + std::to_string(i)), "x");
  sources = readTree(path("src"));
  int reports = 0;
  lib.stopWhen = [&](const Event& e) { return e.action == ZIPLIB_ACTION_COLLECTING && ++reports == 2; };
  AddRequest r = request({"src/"});
  r.move = true;
  EXPECT_EQ(lib.add(r), 0);
  ASSERT_EQ(reports, 2);
  EXPECT_EQ(lib.events.front().action, ZIPLIB_ACTION_COLLECTING);
  EXPECT_EQ(lib.events.front().text, "src/many");
  EXPECT_GT(lib.events.back().size, 0u) << "files found so far";
  for (const Event& e : lib.events) EXPECT_EQ(e.action, ZIPLIB_ACTION_COLLECTING);
  expectUnchanged();
}

struct Fault {
  int kind;
  long long after;
  int error;
  const char* reported;
};

class FailedAdd : public Faults, public ::testing::WithParamInterface<Fault> {};

TEST_P(FailedAdd, LeavesArchiveAndSourcesAsTheyWere) {
  const Fault& f = GetParam();
  lib.fault(f.kind, f.after, f.error);
  AddRequest r = request({"src/"});
  r.move = true;
  EXPECT_EQ(lib.add(r), 0);
  EXPECT_TRUE(lib.anyProblemContains(f.reported)) << ::testing::PrintToString(lib.problems());
  expectUnchanged();
  // And nothing is left over that would stop the next attempt.
  lib.fault(kFaultNone, 0, 0);
  EXPECT_EQ(lib.add(r), 3);
  EXPECT_FALSE(exists(path("src/one.txt")));
}

INSTANTIATE_TEST_SUITE_P(Faults, FailedAdd,
                         ::testing::Values(Fault{kFaultWrite, 0, ENOSPC, "No space left on device"},
                                           Fault{kFaultWrite, 1, ENOSPC, "No space left on device"},
                                           Fault{kFaultWrite, 5000, ENOSPC, "No space left on device"},
                                           Fault{kFaultWrite, 90000, ENOSPC, "No space left on device"},
                                           Fault{kFaultWrite, 400000, EIO, "Input/output error"},
                                           Fault{kFaultCreate, 0, EROFS, "Read-only file system"},
                                           Fault{kFaultSync, 0, EIO, "Input/output error"}),
                         testsupport::namedBy([](const Fault& f) {
                           return "kind" + std::to_string(f.kind) + "_after" + std::to_string(f.after) + "_" +
                                  f.reported;
                         }));

TEST_F(Faults, FailedAddOfANewArchiveCreatesNothing) {
  lib.fault(kFaultWrite, 1000, ENOSPC);
  AddRequest r = request({"src/"});
  r.archive = path("new.zip");
  EXPECT_EQ(lib.add(r), 0);
  EXPECT_FALSE(exists(path("new.zip")));
  EXPECT_TRUE(leftovers(tmp.path()).empty());
}

TEST_F(Faults, MissingSourceFailsTheWholeAdd) {
  AddRequest r = request({"src/one.txt", "src/missing.txt"});
  r.move = true;
  EXPECT_EQ(lib.add(r), 0);
  EXPECT_TRUE(lib.anyProblemContains("src/missing.txt"));
  expectUnchanged();
}

TEST_F(Faults, DeleteFailureLeavesArchiveAsItWas) {
  lib.fault(kFaultWrite, 2000, ENOSPC);
  EXPECT_EQ(lib.remove(path("a.zip"), {"old/keep.txt"}), 0);
  expectUnchanged();
}

class FailedExtract : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    if (IsSkipped()) return;
    AddRequest r = request({"src/"});
    ASSERT_EQ(lib.add(r), 3);
    fs::create_directories(path("out/src/sub"));
    writeFile(path("out/src/two.bin"), "existing two");
  }
  int extract() {
    ExtractRequest x;
    x.archive = path("a.zip");
    x.folder = path("out");
    x.overwrite = true;
    x.specs = {"src/*"};
    return lib.extract(x);
  }
};

// The target folder turns read-only after the first file (members are decoded
// in parallel, so which one got in first may vary): the others fail, each by
// name, and an existing file is either kept or wholly replaced.
TEST_F(FailedExtract, FolderTurningReadOnlyMidway) {
  lib.fault(kFaultCreate, 1, EROFS);
  EXPECT_EQ(extract(), 1);
  bool oneIn = exists(path("out/src/one.txt"));
  if (oneIn) {
    EXPECT_EQ(fileBytes(path("out/src/one.txt")), textData(300000, 6));
    EXPECT_EQ(fileBytes(path("out/src/two.bin")), "existing two");
    EXPECT_TRUE(lib.anyProblemContains("src/two.bin: cannot create: Read-only file system"));
  } else {
    EXPECT_EQ(fileBytes(path("out/src/two.bin")), randomData(200000, 7));
    EXPECT_TRUE(lib.anyProblemContains("src/one.txt: cannot create: Read-only file system"));
  }
  EXPECT_FALSE(exists(path("out/src/sub/three.txt")));
  EXPECT_TRUE(lib.anyProblemContains("src/sub/three.txt: cannot create"));
  EXPECT_TRUE(leftovers(tmp.path()).empty());
}

TEST_F(FailedExtract, DiskFillingUpMidway) {
  lib.fault(kFaultWrite, 350000, ENOSPC);
  int count = extract();
  EXPECT_LT(count, 3);
  EXPECT_TRUE(lib.anyProblemContains("No space left on device"));
  std::string two = fileBytes(path("out/src/two.bin"));
  EXPECT_TRUE(two == "existing two" || two == randomData(200000, 7));  // whole old or whole new
  EXPECT_TRUE(!exists(path("out/src/sub/three.txt")) ||
              fileBytes(path("out/src/sub/three.txt")) == textData(3000000, 8));
  EXPECT_TRUE(leftovers(tmp.path()).empty());
}

TEST_F(FailedExtract, CancelReturnsTheCountSoFarAndLeavesNoPartialFile) {
  int begins = 0;
  lib.stopWhen = [&](const Event& e) { return e.action == ZIPLIB_ACTION_PROGRESS && ++begins == 12; };
  int count = extract();
  EXPECT_EQ(count, 1);  // one.txt (10 progress steps) is in place; two.bin was being reported
  EXPECT_EQ(fileBytes(path("out/src/two.bin")), "existing two");
  EXPECT_FALSE(exists(path("out/src/sub/three.txt")));
  EXPECT_TRUE(leftovers(tmp.path()).empty());
}

}  // namespace
}  // namespace ziptest
