// DOS date-times convert both ways, impossible values are errors, and texts made
// with the settings' format codes read back as the same moment.
#include <gtest/gtest.h>

#include "platform/datetime.h"
#include "support/param_name.h"

using namespace platform;

namespace {
std::uint32_t dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<std::uint32_t>(((y - 1980) << 9) | (mo << 5) | d) << 16) |
         static_cast<std::uint32_t>((h << 11) | (mi << 5) | (s / 2));
}
}  // namespace

TEST(DosDateTime, RoundTrip) {
  auto dt = dosToDateTime(dos(2024, 3, 15, 10, 20, 30));
  ASSERT_TRUE(dt);
  EXPECT_EQ(*dt, (DateTime{2024, 3, 15, 10, 20, 30}));
  EXPECT_EQ(dateTimeToDos(*dt), dos(2024, 3, 15, 10, 20, 30));
  EXPECT_EQ(dateTimeToDos(DateTime{2000, 2, 29, 23, 59, 59}), dos(2000, 2, 29, 23, 59, 58));
}

TEST(DosDateTime, ImpossibleValuesAreErrors) {
  EXPECT_FALSE(dosToDateTime(0));                          // month 0, day 0
  EXPECT_FALSE(dosToDateTime(dos(2023, 13, 1, 0, 0, 0)));  // month 13
  EXPECT_FALSE(dosToDateTime(dos(2023, 2, 29, 0, 0, 0)));  // not a leap year
  EXPECT_FALSE(dosToDateTime(dos(2023, 4, 31, 0, 0, 0)));  // April has 30 days
  EXPECT_FALSE(dosToDateTime(dos(2023, 1, 1, 24, 0, 0)));  // hour 24
  EXPECT_FALSE(dosToDateTime(dos(2023, 1, 1, 0, 60, 0)));  // minute 60
  EXPECT_FALSE(dosToDateTime(dos(2023, 1, 1, 0, 0, 60)));  // second 60 (30 * 2)
  EXPECT_TRUE(dosToDateTime(dos(2024, 2, 29, 0, 0, 0)));
  EXPECT_FALSE(dateTimeToDos(DateTime{1979, 12, 31, 0, 0, 0}));
  EXPECT_FALSE(dateTimeToDos(DateTime{2108, 1, 1, 0, 0, 0}));
}

struct FormatCase {
  const char* format;
  const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.format; }

class FormatCodes : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatCodes, Formats) {
  DateTime dt{2005, 3, 7, 9, 4, 6};
  EXPECT_EQ(formatDateTime(GetParam().format, dt), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, FormatCodes,
                         ::testing::Values(FormatCase{"yyyy/mm/dd", "2005/03/07"}, FormatCase{"yy/mm/dd", "05/03/07"},
                                           FormatCase{"dd/mm/yyyy", "07/03/2005"}, FormatCase{"d/m/yy", "7/3/05"},
                                           FormatCase{"hh:mm:ss", "09:04:06"}, FormatCase{"hh:mm", "09:04"},
                                           FormatCase{"h:m:s", "9:4:6"}, FormatCase{"hh:nn", "09:04"},
                                           // "mm" not after an hour code is the month.
                                           FormatCase{"mm:hh", "03:09"},
                                           FormatCase{"yyyy/mm/dd hh:mm", "2005/03/07 09:04"},
                                           FormatCase{"\"at\" hh", "at 09"}),
                         testsupport::namedBy([](const FormatCase& c) { return std::string(c.format); }));

TEST(ParseDateTime, ReadsWhatTheSettingsWrite) {
  const char* dates[] = {"yy/mm/dd", "dd/mm/yy", "yyyy/mm/dd", "dd/mm/yyyy"};
  const char* times[] = {"hh:mm:ss", "hh:mm"};
  DateTime dt{2024, 3, 15, 10, 20, 30};
  for (const char* d : dates) {
    for (const char* t : times) {
      setDisplayFormats(d, t);
      std::string text = formatDateTime(std::string(d) + " " + t, dt);
      auto back = parseDateTime(text);
      ASSERT_TRUE(back) << text;
      EXPECT_EQ(back->year, 2024) << text;
      EXPECT_EQ(back->month, 3) << text;
      EXPECT_EQ(back->day, 15) << text;
      EXPECT_EQ(back->minute, 20) << text;
    }
  }
  setDisplayFormats("yyyy/mm/dd", "hh:mm");
}

TEST(ParseDateTime, RejectsNonDates) {
  setDisplayFormats("yyyy/mm/dd", "hh:mm");
  EXPECT_FALSE(parseDateTime(""));
  EXPECT_FALSE(parseDateTime("12345"));
  EXPECT_FALSE(parseDateTime("Unknown"));
  EXPECT_FALSE(parseDateTime("2023/02/30 10:00"));
  EXPECT_FALSE(parseDateTime("2023/02/03 25:00"));
  EXPECT_TRUE(parseDateTime("2023/02/03"));
  EXPECT_TRUE(parseDateTime("2023-02-03 10:11:12"));
}

TEST(FixedWidthDateFormat, WidensCodesAndRefusesWhatIsNoPlainDate) {
  EXPECT_EQ(fixedWidthDateFormat("yyyy/mm/dd"), "yyyy\"/\"mm\"/\"dd");
  EXPECT_EQ(fixedWidthDateFormat("d.m.y"), "dd\".\"mm\".\"yy");
  // What it writes has the same width for every date and reads back.
  auto f = fixedWidthDateFormat("d/m/yyyy");
  ASSERT_TRUE(f);
  EXPECT_EQ(formatDateTime(*f, DateTime{2005, 3, 7}), "07/03/2005");
  EXPECT_EQ(parseWithFormat("07/03/2005", *f), (DateTime{2005, 3, 7}));
  EXPECT_EQ(fixedWidthDateFormat("yyyy/mm/dd hh:mm"), std::nullopt);
  EXPECT_EQ(fixedWidthDateFormat("mm/dd"), std::nullopt);
  EXPECT_EQ(fixedWidthDateFormat("dd/mm/yy/dd"), std::nullopt);
  EXPECT_EQ(fixedWidthDateFormat("yyyy-mm-dd \"1\""), std::nullopt);
}

TEST(ParseTime, TimesOfDay) {
  EXPECT_TRUE(parseTime("10:20"));
  EXPECT_TRUE(parseTime("10:20:30"));
  EXPECT_FALSE(parseTime("24:00"));
  EXPECT_FALSE(parseTime("2023/02/03"));
  EXPECT_LT(toSerial(*parseTime("09:59")), toSerial(*parseTime("10:00")));
}

TEST(Serial, OrdersDates) {
  EXPECT_DOUBLE_EQ(toSerial(DateTime{1899, 12, 30, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(toSerial(DateTime{1970, 1, 1, 12, 0, 0}), 25569.5);
  EXPECT_LT(toSerial(DateTime{2024, 3, 15, 23, 59, 59}), toSerial(DateTime{2024, 3, 16, 0, 0, 0}));
}
