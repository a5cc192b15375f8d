// Archives the compressor writes come back byte for byte through the extractor,
// at every level, with both block layouts, with and without encryption.
#include <sys/stat.h>

#include <filesystem>

#include "ziplibs/ziplib_fixture.h"

namespace fs = std::filesystem;

namespace ziptest {
namespace {

struct RoundTripCase {
  int level;
  bool oldLayout;
  std::string password;
};

class RoundTrip : public ZipLibTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, TreeComesBackIdentical) {
  makeSourceTree();
  const RoundTripCase& c = GetParam();
  AddRequest add;
  add.archive = path("a.zip");
  add.specs = {"src/"};
  add.folder = tmp.path();
  add.recurse = add.separateDirs = true;
  add.hidden = true;
  add.level = c.level;
  add.oldLayout = c.oldLayout;
  add.password = c.password;
  add.encrypt = !c.password.empty();
  // src/ and its 7 folders, 6 files: every file and folder is one entry.
  EXPECT_EQ(lib.add(add), 14) << ::testing::PrintToString(lib.problems());
  EXPECT_TRUE(lib.problems().empty()) << ::testing::PrintToString(lib.problems());

  fs::create_directories(path("out"));
  ExtractRequest ex;
  ex.archive = path("a.zip");
  ex.folder = path("out");
  ex.password = c.password;
  ex.oldLayout = c.oldLayout;
  EXPECT_EQ(lib.extract(ex), 14) << ::testing::PrintToString(lib.problems());
  EXPECT_EQ(readTree(path("out/src")), readTree(path("src")));
  EXPECT_TRUE(leftovers(tmp.path()).empty());

  ex.test = true;
  EXPECT_EQ(lib.extract(ex), 14);
  EXPECT_TRUE(lib.problems().empty()) << ::testing::PrintToString(lib.problems());
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip,
                         ::testing::Values(RoundTripCase{0, false, ""}, RoundTripCase{1, false, ""},
                                           RoundTripCase{6, false, ""}, RoundTripCase{9, false, ""},
                                           RoundTripCase{9, true, ""}, RoundTripCase{6, false, "s3cret pass"},
                                           RoundTripCase{0, true, "s3cret pass"}));

}  // namespace
}  // namespace ziptest
