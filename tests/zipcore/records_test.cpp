// Record helpers: DOS times, and stored offsets moved within their fields.
#include <gtest/gtest.h>

#include <string>

#include "zipcore/records.h"

namespace {

TEST(DosTimes, RoundTripRoundUpAndClamp) {
  const std::int64_t t = 1700000000;  // even
  EXPECT_EQ(zipcore::dosToUnix(zipcore::unixToDos(t)), t);
  EXPECT_EQ(zipcore::dosToUnix(zipcore::unixToDos(t + 1)), t + 2);
  EXPECT_EQ(zipcore::unixToDos(100), (1u << 21) | (1u << 16));
  EXPECT_FALSE(zipcore::dosToUnix(0).has_value());  // month 0
}

TEST(MoveOffsetField, StaysWithinTheFieldAndBelowTheEscapeValue) {
  unsigned char f[8] = {};
  zipcore::put32(f, 1000);
  EXPECT_TRUE(zipcore::MoveOffsetField(f, 4, 24));
  EXPECT_EQ(zipcore::get32(f), 1024u);
  EXPECT_TRUE(zipcore::MoveOffsetField(f, 4, -1024));
  EXPECT_EQ(zipcore::get32(f), 0u);
  EXPECT_FALSE(zipcore::MoveOffsetField(f, 4, -1));
  zipcore::put32(f, 0xFFFFFFF0u);
  EXPECT_FALSE(zipcore::MoveOffsetField(f, 4, 15));  // would be the escape value
  EXPECT_EQ(zipcore::get32(f), 0xFFFFFFF0u);
  zipcore::put64(f, 0xFFFFFFF0u);
  EXPECT_TRUE(zipcore::MoveOffsetField(f, 8, 16));
  EXPECT_EQ(zipcore::get64(f), 0x100000000u);
}

}  // namespace
