// Names printed for people show every control character written out, and an
// entry's name is decided the same way for every reader.
#include <gtest/gtest.h>

#include <string>

#include "zipcore/names.h"
#include "zipcore/records.h"

namespace {

TEST(PrintableName, ControlCharactersAreWrittenOut) {
  using zipcore::PrintableName;
  EXPECT_EQ(PrintableName("plain/Caf\xC3\xA9.txt"), "plain/Caf\xC3\xA9.txt");
  EXPECT_EQ(PrintableName("a\x1b[31mred"), "a\\x1b[31mred");
  EXPECT_EQ(PrintableName("bell\a"), "bell\\x07");
  EXPECT_EQ(PrintableName("two\nlines\r"), "two\\x0alines\\x0d");
  EXPECT_EQ(PrintableName(std::string("nul\0here", 8)), "nul\\x00here");
  EXPECT_EQ(PrintableName("del\x7f"), "del\\x7f");
  EXPECT_EQ(PrintableName("csi\xC2\x9B"
                          "2J"),
            "csi\\u009b2J");
  EXPECT_EQ(PrintableName("back\\slash"), "back\\slash");
}

TEST(EntryName, UnicodePathBlockOnlyForUnmarkedNames) {
  const std::string raw = "Caf\x82.txt";
  std::string extra;
  zipcore::put16(extra, zipcore::kExtraUnicodePath);
  zipcore::put16(extra, static_cast<std::uint16_t>(5 + 9));
  extra.push_back(1);
  zipcore::put32(extra, zipcore::crc32Of(raw));
  extra += "Caf\xC3\xA9.ext";
  EXPECT_EQ(zipcore::EntryName(raw, extra, 0x0014, 0, cpAuto), "Caf\xC3\xA9.ext");
  // Marked UTF-8 (but not valid UTF-8): the flag wins over the block, and the bytes
  // are shown as code page 437.
  EXPECT_EQ(zipcore::EntryName(raw, extra, 0x0014, zipcore::kFlagUtf8, cpAuto), "Caf\xC3\xA9.txt");
  EXPECT_EQ(zipcore::EntryName(raw, "", 0x031E, 0, cpAuto), "Caf\xC3\xA9.txt");
}

}  // namespace
