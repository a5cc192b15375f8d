// Damaged and crafted archives end List with a clear message and an emptied name:
// no crash, no read outside the file, no allocation sized by an unchecked field.
#include <random>

#include "zipengine/engine_fixture.h"
#include "zipengine/zip_builder.h"

using namespace ziptest;

struct FaultCase {
  const char* what;
  void (*damage)(Parts&);
  const char* message;
};

class FaultTest : public EngineTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultTest, GivesItsMessageAndEmptiesTheName) {
  Parts p = build(sampleEntries(), "comment");
  GetParam().damage(p);
  open(p.all());
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{GetParam().message}) << GetParam().what;
  EXPECT_EQ(engine.ZipFilename(), "");
  EXPECT_EQ(engine.EntryCount(), 0);
  EXPECT_EQ(engine.ContentStart(), 0u);
  EXPECT_EQ(dirUpdates, 1);
}

// Offsets inside the central directory of the sample: the first header's name,
// extra and comment length fields.
constexpr std::size_t kNameLen = 28, kExtraLen = 30, kCommentLen = 32;

INSTANTIATE_TEST_SUITE_P(
    Cases, FaultTest,
    ::testing::Values(
        FaultCase{"name length past the directory", [](Parts& p) { set16(p.central, kNameLen, 0xFFFF); },
                  "Error while reading a central file name"},
        FaultCase{"extra length past the directory", [](Parts& p) { set16(p.central, kExtraLen, 0xFFFF); },
                  "Seek error reading Zip archive!"},
        FaultCase{"comment length past the directory", [](Parts& p) { set16(p.central, kCommentLen, 0xFFFF); },
                  "Error while reading a file comment"},
        FaultCase{"bad central signature", [](Parts& p) { p.central[2] = 'X'; }, "A central header signature is wrong"},
        FaultCase{"second header shifted", [](Parts& p) { set16(p.central, kCommentLen, 3); },
                  "A central header signature is wrong"},
        FaultCase{"directory size beyond the file", [](Parts& p) { set32(p.eocd, Parts::kCdSize, 0xFFFFFF00); },
                  "Seek error reading Zip archive!"},
        FaultCase{"zip64 directory size beyond the file",
                  [](Parts& p) {
                    p.zip64 = build(sampleEntries(), {}, 0, true).zip64;
                    set32(p.zip64, 44, 0x40000000);  // 2^62 bytes
                  },
                  "Seek error reading Zip archive!"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return paramName(info.param.what); });

// An end record whose count disagrees with the directory (kept modulo 65536 by some
// writers, or lying): every header of the directory is listed, with a warning, and
// nothing is allocated for the count.
TEST_F(EngineTest, EntryCountsThatDisagreeListEveryHeaderWithAWarning) {
  const std::string warning = "Warning - The entry count of the end record does not match the central directory: ";
  struct Count {
    std::uint16_t eocd;
    const char* counted;
  };
  for (Count c : {Count{4, "4"}, Count{0xFFFE, "65534"}, Count{1, "1"}, Count{0, "0"}}) {
    ui.boxes.clear();
    Parts p = build(sampleEntries());
    set16(p.eocd, 8, c.eocd);
    set16(p.eocd, Parts::kTotalEntries, c.eocd);
    open(p.all());
    EXPECT_EQ(engine.EntryCount(), 3) << c.eocd;
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{warning + "3 entries found, " + c.counted + " counted"});
  }
  ui.boxes.clear();
  Parts p = build(sampleEntries(), {}, 0, true);
  set32(p.zip64, 32, 0);
  set32(p.zip64, 36, 0x100);  // 2^40 entries
  open(p.all());
  EXPECT_EQ(engine.EntryCount(), 3);
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{warning + "3 entries found, 1099511627776 counted"});
}

TEST_F(EngineTest, StoredOffsetsOutsideTheFileAreRepairedWithAWarning) {
  Parts p = build(sampleEntries());
  set32(p.eocd, Parts::kCdOffset, 0xFFFFFF00);
  for (std::size_t at = 0, i = 0; i < 3; ++i) {
    set32(p.central, at + 42, 0xFFFFFF00);  // every local-header offset too
    at += 46 + static_cast<unsigned char>(p.central[at + 28]);
  }
  open(p.all());
  EXPECT_EQ(engine.EntryCount(), 3);
  EXPECT_TRUE(engine.StructureError());
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Warning - Error in zip structure!"});
  EXPECT_LE(engine.ContentStart(), engine.CentralDirOffset());
}

TEST_F(EngineTest, EveryTruncationEndsCleanly) {
  engine.Unattended = true;
  const std::string comment = "a comment";
  const std::string whole = build(sampleEntries(), comment).all();
  for (std::size_t n = 0; n < whole.size(); ++n) {
    messages.clear();
    open(whole.substr(0, n), "cut.zip");
    if (n >= whole.size() - comment.size()) {
      // Only the comment is cut: the directory is whole.
      EXPECT_EQ(engine.EntryCount(), 3) << n;
      EXPECT_EQ(messages, std::vector<std::string>{"Warning - Garbage at the end of the zipfile!"}) << n;
    } else {
      EXPECT_EQ(engine.ZipFilename(), "") << n;
      EXPECT_EQ(messages.size(), 1u) << n;
    }
  }
}

TEST_F(EngineTest, RandomDamageEndsCleanly) {
  engine.Unattended = true;
  std::vector<Entry> entries = sampleEntries();
  entries[0].zip64 = true;
  const std::string whole = build(entries, "comment", 0, true).all();
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = whole;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<char>(rng());
    open(bytes, "damaged.zip");
    // Either a listing within what the bytes can hold, or a clean failure.
    EXPECT_LE(engine.EntryCount(), static_cast<int>(bytes.size() / 46)) << round;
    if (engine.ZipFilename().empty()) { EXPECT_EQ(engine.EntryCount(), 0); }
  }
}
