// Archives the compressor writes come back byte for byte through the extractor,
// at every level, with both block layouts, with and without encryption.
#include <sys/stat.h>

#include <filesystem>

#include "ziplibs/ziplib_fixture.h"
#include "support/param_name.h"

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
                                           RoundTripCase{0, true, "s3cret pass"}),
                         testsupport::namedBy([](const RoundTripCase& c) {
                           return "level" + std::to_string(c.level) + (c.oldLayout ? "_old_layout" : "") +
                                  (c.password.empty() ? "" : "_encrypted");
                         }));

}  // namespace
}  // namespace ziptest

namespace ziptest {
namespace {

struct BigCase {
  bool random;
  bool encrypted;
  int level;
};

class BigMembers : public ZipLibTest, public ::testing::WithParamInterface<BigCase> {};

// Members above the whole-member limit are compressed in chunks on all workers
// (and written again stored when deflate does not shrink them); peers agree.
TEST_P(BigMembers, ChunkedMembersComeBackIdentical) {
  const BigCase& c = GetParam();
  std::string data = c.random ? randomData(17u << 20, 21) : textData(40u << 20, 22);
  writeFile(path("big.bin"), data);
  AddRequest add;
  add.archive = path("a.zip");
  add.specs = {"big.bin"};
  add.folder = tmp.path();
  add.level = c.level;
  add.password = c.encrypted ? "big secret" : "";
  add.encrypt = c.encrypted;
  ASSERT_EQ(lib.add(add), 1) << ::testing::PrintToString(lib.problems());
  std::uint64_t archiveSize = fileBytes(path("a.zip")).size();
  if (c.random || c.level == 0)
    EXPECT_LT(archiveSize, data.size() + 200);  // stored, not grown
  else
    EXPECT_LT(archiveSize, data.size() / 3);
  fs::create_directories(path("out"));
  ExtractRequest ex;
  ex.archive = path("a.zip");
  ex.folder = path("out");
  ex.password = add.password;
  EXPECT_EQ(lib.extract(ex), 1) << ::testing::PrintToString(lib.problems());
  EXPECT_TRUE(fileBytes(path("out/big.bin")) == data);
  if (testsupport::haveProgram("unzip")) {
    std::string pw = c.encrypted ? "-P 'big secret' " : "";
    EXPECT_EQ(testsupport::shell("unzip -tq " + pw + "'" + path("a.zip") + "' >/dev/null 2>&1"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BigMembers,
                         ::testing::Values(BigCase{false, false, 6}, BigCase{true, false, 6}, BigCase{false, true, 1},
                                           BigCase{true, true, 9}, BigCase{false, false, 0}),
                         testsupport::namedBy([](const BigCase& c) {
                           return std::string(c.random ? "random" : "text") + (c.encrypted ? "_encrypted" : "") +
                                  "_level" + std::to_string(c.level);
                         }));

}  // namespace
}  // namespace ziptest
