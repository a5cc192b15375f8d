// The binary interface as the engine sees it: versions that select the new block
// layouts, blocks of both layouts, refusal of a block that is neither, and ZIP64
// archives for entry counts past 65,535.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ziplibs/ziplib_fixture.h"

namespace fs = std::filesystem;

namespace ziptest {
namespace {

using Abi = ZipLibTest;

TEST_F(Abi, VersionsSelectTheLayoutsWithFileRecords) {
  EXPECT_GE(lib.zipVersion(), ZIPLIB_ZIP_NEW_LAYOUT_VERSION);
  EXPECT_GE(lib.unzVersion(), ZIPLIB_UNZ_NEW_LAYOUT_VERSION);
}

TEST_F(Abi, BlocksOfNeitherLayoutAreRefused) {
  auto* zip = static_cast<ZipExecParams*>(std::calloc(1, sizeof(ZipExecParamsOld)));
  zip->Caller = &lib;
  zip->Callback = &ZipLibClient::callback;
  zip->ArchiveName = "never.zip";
  EXPECT_EQ(lib.rawZip(zip), 0);
  ASSERT_EQ(lib.events.size(), 1u);
  EXPECT_EQ(lib.events[0].code, std::uint32_t{ZIPLIB_E_BAD_PARAMS});
  zip->Mark = ZIPLIB_BLOCK_MARK;
  zip->ArchiveName = nullptr;
  EXPECT_EQ(lib.rawZip(zip), 0);
  EXPECT_EQ(lib.events.at(0).code, std::uint32_t{ZIPLIB_E_BAD_PARAMS});
  std::free(zip);
  EXPECT_FALSE(fs::exists("never.zip"));

  auto* unz = static_cast<UnzExecParams*>(std::calloc(1, sizeof(UnzExecParamsOld)));
  unz->Caller = &lib;
  unz->Callback = &ZipLibClient::callback;
  unz->ArchiveName = "never.zip";
  EXPECT_EQ(lib.rawUnz(unz), 0);
  EXPECT_EQ(lib.events.at(0).code, std::uint32_t{ZIPLIB_E_BAD_PARAMS});
  std::free(unz);
}

TEST_F(Abi, NoCallbackIsFine) {
  writeFile(path("f.txt"), "x");
  auto* zip = static_cast<ZipExecParams*>(std::calloc(1, sizeof(ZipExecParams)));
  std::string archive = path("a.zip"), spec = path("f.txt");
  ZipFileRecord rec{spec.c_str(), {}};
  zip->ArchiveName = archive.c_str();
  zip->FileRecords = &rec;
  zip->SpecCount = 1;
  zip->Level = 9;
  zip->Mark = ZIPLIB_BLOCK_MARK;
  EXPECT_EQ(lib.rawZip(zip), 1);
  std::free(zip);
}

// More than 65,535 entries: the archive carries ZIP64 end records, and the peers
// and the extractor read every entry.
TEST_F(Abi, ManyEntriesMakeAZip64Archive) {
  const int kFiles = 70000;
  fs::create_directories(path("many"));
  for (int i = 0; i < kFiles; ++i) std::ofstream(path("many/f" + std::to_string(i)));
  AddRequest r;
  r.archive = path("many.zip");
  r.specs = {"many/"};
  r.folder = tmp.path();
  r.verbose = false;
  ASSERT_EQ(lib.add(r), kFiles);
  std::string zip = fileBytes(path("many.zip"));
  EXPECT_NE(zip.find(std::string("PK\x06\x06", 4)), std::string::npos);
  ExtractRequest x;
  x.archive = path("many.zip");
  x.test = true;
  x.verbose = false;
  EXPECT_EQ(lib.extract(x), kFiles);
  if (testsupport::haveProgram("unzip")) {
    EXPECT_EQ(testsupport::shell("unzip -tq '" + path("many.zip") + "' >/dev/null 2>&1"), 0);
  }
  if (testsupport::haveProgram("7zz")) {
    EXPECT_EQ(testsupport::shell("7zz t '" + path("many.zip") + "' >/dev/null 2>&1"), 0);
  }
}

// A member beyond 4 GiB (a sparse file: quick to read). Takes a while, so it runs
// only with KV_SLOW_TESTS set.
TEST_F(Abi, MemberBeyondFourGiB) {
  if (!std::getenv("KV_SLOW_TESTS")) GTEST_SKIP() << "set KV_SLOW_TESTS=1 to run";
  const std::uint64_t size = (4ull << 30) + 12345;
  {
    std::ofstream f(path("huge.bin"), std::ios::binary);
    f << "head";
  }
  fs::resize_file(path("huge.bin"), size);
  {
    std::fstream f(path("huge.bin"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size - 4));
    f << "tail";
  }
  AddRequest r;
  r.archive = path("huge.zip");
  r.specs = {"huge.bin"};
  r.folder = tmp.path();
  r.level = 1;
  ASSERT_EQ(lib.add(r), 1) << ::testing::PrintToString(lib.problems());
  ExtractRequest x;
  x.archive = path("huge.zip");
  x.test = true;
  EXPECT_EQ(lib.extract(x), 1) << ::testing::PrintToString(lib.problems());
  if (testsupport::haveProgram("unzip")) {
    EXPECT_EQ(testsupport::shell("unzip -tq '" + path("huge.zip") + "' >/dev/null 2>&1"), 0);
  }
}

}  // namespace
}  // namespace ziptest
