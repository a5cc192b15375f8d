// The directory reader: end records behind fake ones, stubs in front, counts that
// disagree with the directory, and damage that must give an error.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <string>

#include "support/temp_dir.h"
#include "zipcore/directory.h"
#include "ziplibs/zip_builder.h"
#include "ziplibs/ziplib_fixture.h"

namespace {

using ziptest::buildZip;
using ziptest::craft;

class Directory : public ::testing::Test {
 protected:
  zipcore::DirError read(const std::string& bytes) {
    ziptest::writeFile(tmp / "x.zip", bytes);
    zipcore::InputFile file;
    EXPECT_TRUE(file.open(tmp / "x.zip"));
    return zipcore::ReadDirectory(file, dir);
  }
  // The archive with its end record's two entry counts set to count.
  static std::string withCount(std::string zip, std::uint16_t count) {
    zip[zip.size() - 14] = static_cast<char>(count & 0xFF);
    zip[zip.size() - 13] = static_cast<char>(count >> 8);
    zip[zip.size() - 12] = static_cast<char>(count & 0xFF);
    zip[zip.size() - 11] = static_cast<char>(count >> 8);
    return zip;
  }
  testsupport::TempDir tmp;
  zipcore::Directory dir;
};

TEST_F(Directory, FindsTheRealEndRecordBehindAFakeOneInTheComment) {
  std::string zip = buildZip({craft("a.txt", "a"), craft("b.txt", "b")});
  // End record comment holding a fake end record that claims 7 entries at 0.
  std::string fake = std::string("PK\x05\x06", 4) + std::string("\0\0\0\0\x07\0\x07\0\0\0\0\0\0\0\0\0\0\0", 18);
  std::string comment = "before " + fake + " after";
  zip[zip.size() - 2] = static_cast<char>(comment.size());
  zip += comment;
  ASSERT_EQ(read(zip), zipcore::DirError::None);
  EXPECT_EQ(dir.entries.size(), 2u);
  EXPECT_EQ(dir.end.comment, comment);
  EXPECT_FALSE(dir.end.trailingGarbage);
}

TEST_F(Directory, CorrectsOffsetsThatDoNotCountAPrefix) {
  std::string zip = buildZip({craft("a.txt", ziptest::textData(1000)), craft("b.txt", "b")});
  ASSERT_EQ(read(std::string(4096, 'M') + zip), zipcore::DirError::None);
  EXPECT_EQ(dir.prefixLength, 4096u);
  EXPECT_EQ(dir.entries[0].localOffset, 4096u);
  EXPECT_EQ(dir.entries[0].storedOffset, 0u);
  EXPECT_TRUE(dir.structureError);
  ASSERT_EQ(read(buildZip({craft("a.txt", "a")}, std::string(300, 'S'))), zipcore::DirError::None);
  EXPECT_EQ(dir.prefixLength, 300u);
  EXPECT_EQ(dir.offsetShift, 0);
  EXPECT_FALSE(dir.structureError);
}

TEST_F(Directory, RefusesWhatIsNotThereOrDoesNotFit) {
  EXPECT_EQ(read(""), zipcore::DirError::NotZip);
  EXPECT_EQ(read(std::string(100000, 'x')), zipcore::DirError::NotZip);
  std::string zip = buildZip({craft("a.txt", "a")});
  std::string lying = zip;
  lying[lying.size() - 8] = 0x7F;  // directory size far beyond the file
  EXPECT_EQ(read(lying), zipcore::DirError::SizeBeyondEnd);
  lying = zip;
  lying[lying.size() - 10] = 10;  // directory size too small for its one header
  EXPECT_NE(read(lying), zipcore::DirError::None);
  ASSERT_EQ(read(zip + std::string(300, '\0')), zipcore::DirError::None);  // data after the end record
  EXPECT_EQ(dir.entries.size(), 1u);
  EXPECT_TRUE(dir.end.trailingGarbage);
}

// Counts stored modulo 65536, or simply wrong: every header of the directory is an
// entry, and the disagreement is known.
TEST_F(Directory, WalksTheDirectoryBySizeWhateverTheCountSays) {
  const std::string zip = buildZip({craft("a", "1"), craft("b", "2"), craft("c", "3")});
  ASSERT_EQ(read(withCount(zip, 1)), zipcore::DirError::None);
  EXPECT_EQ(dir.entries.size(), 3u);
  EXPECT_TRUE(dir.countDisagrees());
  EXPECT_FALSE(dir.entriesMissing());
  ASSERT_EQ(read(withCount(zip, 0)), zipcore::DirError::None);
  EXPECT_EQ(dir.entries.size(), 3u);
  // More counted than the directory's size holds: what is there, and it is known
  // that entries may be missing.
  ASSERT_EQ(read(withCount(zip, 5)), zipcore::DirError::None);
  EXPECT_EQ(dir.entries.size(), 3u);
  EXPECT_TRUE(dir.entriesMissing());
  ASSERT_EQ(read(zip), zipcore::DirError::None);
  EXPECT_FALSE(dir.countDisagrees());
}

TEST_F(Directory, WrappedCountOfSeventyThousandEntries) {
  std::vector<ziptest::CraftEntry> entries;
  for (int i = 0; i < 70000; ++i) {
    ziptest::CraftEntry e = craft("f" + std::to_string(i), "");
    e.method = 0;
    entries.push_back(e);
  }
  ASSERT_EQ(read(buildZip(entries)), zipcore::DirError::None);
  EXPECT_EQ(dir.recordedEntries, 70000u % 65536u);
  ASSERT_EQ(dir.entries.size(), 70000u);
  EXPECT_EQ(dir.entries.back().name, "f69999");
}

TEST_F(Directory, BytesAfterTheCountedHeadersEndTheWalkOnlyOnceAllAreFound) {
  std::string zip = buildZip({craft("a", "1"), craft("b", "2")});
  // Grow the directory by 8 filler bytes in front of the end record.
  std::string filled = zip.substr(0, zip.size() - 22) + std::string(8, 'F') + zip.substr(zip.size() - 22);
  filled[filled.size() - 10] = static_cast<char>(static_cast<unsigned char>(filled[filled.size() - 10]) + 8);
  ASSERT_EQ(read(filled), zipcore::DirError::None);
  EXPECT_EQ(dir.entries.size(), 2u);
  EXPECT_EQ(read(withCount(filled, 3)), zipcore::DirError::BadSignature);
}

}  // namespace
