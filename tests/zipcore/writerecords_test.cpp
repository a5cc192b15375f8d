// Headers written for a new archive keep every 16-bit length true: an extra field
// with no room left for the ZIP64 block loses blocks instead of wrapping its
// length, and what cannot fit at all is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zipcore/directory.h"
#include "zipcore/writerecords.h"

namespace {

std::string block(std::uint16_t id, std::size_t size, char fill) {
  std::string b;
  zipcore::put16(b, id);
  zipcore::put16(b, static_cast<std::uint16_t>(size));
  return b + std::string(size, fill);
}

// The header parsed back: it must take exactly its own bytes.
zipcore::ZipEntry parse(const std::string& header) {
  zipcore::ZipEntry e;
  std::size_t used = 0;
  EXPECT_EQ(zipcore::ParseCentralHeader(header, cpAuto, e, used), zipcore::DirError::None);
  EXPECT_EQ(used, header.size());
  return e;
}

TEST(CentralHeaders, AFarOffsetWithAFullExtraFieldDropsBlocksNotLengths) {
  zipcore::CentralRecord r;
  r.name = "copied.bin";
  r.localOffset = 5ull << 30;  // needs a ZIP64 block of 12 bytes
  const std::string time = block(zipcore::kExtraTimestamp, 5, 't');
  r.extra = time + block(0x9999, 65520, 'x');
  std::string why;
  std::vector<std::uint16_t> dropped;
  ASSERT_TRUE(zipcore::FitCentralRecord(r, why, dropped));
  EXPECT_EQ(dropped, std::vector<std::uint16_t>{0x9999});
  const zipcore::ZipEntry e = parse(zipcore::centralHeaderFor(r));
  EXPECT_EQ(e.name, "copied.bin");
  EXPECT_EQ(e.storedOffset, 5ull << 30);
  EXPECT_NE(e.extra.find(time), std::string::npos);

  // Not fitted: the lengths are still never cut to 16 bits.
  zipcore::CentralRecord raw = r;
  raw.extra = time + block(0x9999, 65520, 'x');
  parse(zipcore::centralHeaderFor(raw));
}

TEST(CentralHeaders, WhatFitsStaysAndWhatCannotIsRefused) {
  zipcore::CentralRecord r;
  r.name = "near.bin";
  r.extra = block(0x9999, 65500, 'x');
  std::string why;
  std::vector<std::uint16_t> dropped;
  ASSERT_TRUE(zipcore::FitCentralRecord(r, why, dropped));
  EXPECT_TRUE(dropped.empty()) << "no ZIP64 block needed: the extra field fits as it is";
  EXPECT_EQ(parse(zipcore::centralHeaderFor(r)).extra.size(), 65504u);

  r.name.assign(70000, 'n');
  EXPECT_FALSE(zipcore::FitCentralRecord(r, why, dropped));
  EXPECT_EQ(why, "its name is longer than 65535 bytes");
}

TEST(EndRecords, ZIP64OnlyWhereAValueNeedsIt) {
  EXPECT_EQ(zipcore::endRecordsFor(3, 100, 1000, "c").size(), 22u + 1);
  const std::string big = zipcore::endRecordsFor(70000, 100, 1000, "");
  ASSERT_EQ(big.size(), 56u + 20 + 22);
  EXPECT_EQ(zipcore::ParseZip64End(big)->TotalEntries, 70000u);
  EXPECT_EQ(zipcore::ParseZip64Locator(big.substr(56)), 1100u);
  EXPECT_EQ(zipcore::get16(big, 56 + 20 + 10), 0xFFFFu);
}

}  // namespace
