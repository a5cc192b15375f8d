// The calendar's date arithmetic: leap years, weekdays, moves by day, month and
// year, Easter and the holidays, week numbers and the layout of a month.
#include <gtest/gtest.h>

#include <ctime>

#include "calendar/calendar.h"

using namespace calendar;

namespace {

Date at(int y, int m, int d) { return Date{y, m, d}; }

}  // namespace

TEST(Calendar, LeapYearsAndMonthLengths) {
  EXPECT_FALSE(isLeapYear(1900));
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_FALSE(isLeapYear(2100));
  EXPECT_TRUE(isLeapYear(2004));
  EXPECT_FALSE(isLeapYear(2001));
  EXPECT_EQ(daysInMonth(1900, 2), 28);
  EXPECT_EQ(daysInMonth(2000, 2), 29);
  EXPECT_EQ(daysInMonth(2100, 2), 28);
  EXPECT_EQ(daysInMonth(2001, 4), 30);
  EXPECT_EQ(daysInMonth(2001, 13), 0);
  EXPECT_TRUE(isValid(at(2000, 2, 29)));
  EXPECT_FALSE(isValid(at(1900, 2, 29)));
  EXPECT_FALSE(isValid(at(2100, 2, 29)));
  EXPECT_FALSE(isValid(at(2001, 4, 31)));
  EXPECT_FALSE(isValid(at(0, 1, 1)));
  EXPECT_FALSE(isValid(at(10000, 1, 1)));
}

TEST(Calendar, DayNumbersAndWeekdaysAgreeWithTheSystemCalendar) {
  // Every day of 1900..2100 against the C library's own day count.
  std::tm tm{};
  tm.tm_year = 0;
  tm.tm_mday = 1;
  tm.tm_hour = 12;
  std::time_t t = timegm(&tm);
  const long start = dayNumber(at(1900, 1, 1));
  for (long i = 0; i < 73415; ++i, t += 86400) {
    std::tm day{};
    gmtime_r(&t, &day);
    const Date d = at(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
    ASSERT_EQ(dayNumber(d), start + i) << d.year << "-" << d.month << "-" << d.day;
    ASSERT_EQ(fromDayNumber(start + i), d);
    ASSERT_EQ(dayOfWeek(d), day.tm_wday == 0 ? 7 : day.tm_wday);
  }
  // The ends of the range.
  EXPECT_EQ(dayNumber(at(1, 1, 1)), 0);
  EXPECT_EQ(dayOfWeek(at(1, 1, 1)), 1);
  EXPECT_EQ(fromDayNumber(dayNumber(at(9999, 12, 31))), at(9999, 12, 31));
  EXPECT_EQ(fromDayNumber(-1), std::nullopt);
  EXPECT_EQ(fromDayNumber(dayNumber(at(9999, 12, 31)) + 1), std::nullopt);
}

TEST(Calendar, MovesByDayMonthAndYear) {
  EXPECT_EQ(addYears(at(2000, 2, 29), -1), at(1999, 2, 28));
  EXPECT_EQ(addYears(at(2000, 2, 29), 4), at(2004, 2, 29));
  EXPECT_EQ(addYears(at(2000, 2, 29), 100), at(2100, 2, 28));
  EXPECT_EQ(addMonths(at(2000, 1, 31), 1), at(2000, 2, 29));
  EXPECT_EQ(addMonths(at(1900, 3, 31), -1), at(1900, 2, 28));
  EXPECT_EQ(addMonths(at(2000, 5, 31), 1), at(2000, 6, 30));
  EXPECT_EQ(addMonths(at(2000, 12, 15), 1), at(2001, 1, 15));
  EXPECT_EQ(addMonths(at(2001, 1, 15), -1), at(2000, 12, 15));
  EXPECT_EQ(addMonths(at(2001, 1, 15), -25), at(1998, 12, 15));
  EXPECT_EQ(addDays(at(1999, 12, 31), 1), at(2000, 1, 1));
  EXPECT_EQ(addDays(at(2000, 3, 1), -1), at(2000, 2, 29));
  EXPECT_EQ(addDays(at(2100, 3, 1), -1), at(2100, 2, 28));
  // Nothing leaves the range, and an impossible start moves nowhere.
  EXPECT_EQ(addDays(at(1, 1, 1), -1), std::nullopt);
  EXPECT_EQ(addMonths(at(1, 1, 1), -1), std::nullopt);
  EXPECT_EQ(addYears(at(9999, 12, 31), 1), std::nullopt);
  EXPECT_EQ(addDays(at(9999, 12, 31), 1), std::nullopt);
  EXPECT_EQ(addDays(at(2001, 2, 29), 1), std::nullopt);
}

TEST(Calendar, EasterFromTheFullMoonTable) {
  EXPECT_EQ(paschalFullMoon(2000), at(2000, 4, 18));  // a Tuesday
  EXPECT_EQ(easterSunday(2000), at(2000, 4, 23));
  // A full moon on a Sunday: Easter is a week later.
  EXPECT_EQ(paschalFullMoon(2001), at(2001, 4, 8));
  EXPECT_EQ(easterSunday(2001), at(2001, 4, 15));
  EXPECT_EQ(paschalFullMoon(2038), at(2038, 4, 18));
  EXPECT_EQ(easterSunday(2038), at(2038, 4, 25));
  // The extremes of the table's years.
  EXPECT_EQ(easterSunday(2008), at(2008, 3, 23));
  EXPECT_EQ(easterSunday(1943), at(1943, 4, 25));
  EXPECT_EQ(easterSunday(2024), at(2024, 3, 31));
  EXPECT_EQ(easterSunday(2025), at(2025, 4, 20));
}

TEST(Calendar, EasterOutsideTheTableYears) {
  // The epact rule gives the table's full moons in the years the table holds for...
  for (int y = 1900; y <= 2199; ++y) ASSERT_EQ(paschalFullMoonFromEpact(y), paschalFullMoon(y)) << y;
  // ...and Easter in other centuries, where the table no longer holds.
  EXPECT_EQ(easterSunday(1818), at(1818, 3, 22));
  EXPECT_EQ(easterSunday(1700), at(1700, 4, 11));
  EXPECT_EQ(easterSunday(1886), at(1886, 4, 25));
  EXPECT_EQ(easterSunday(2200), at(2200, 4, 6));
  EXPECT_EQ(easterSunday(2285), at(2285, 3, 22));
  for (int y = 1; y <= 9999; ++y) {
    const Date e = easterSunday(y);
    ASSERT_GE(e, at(y, 3, 22)) << y;
    ASSERT_LE(e, at(y, 4, 25)) << y;
    ASSERT_EQ(dayOfWeek(e), 7) << y;
  }
}

TEST(Calendar, HolidaysOfAYear) {
  const auto table = holidays(2000);
  ASSERT_EQ(table.size(), 13u);
  auto codeOf = [&](const std::string& name) {
    for (const auto& h : table)
      if (h.name == name) return h.code;
    return 0;
  };
  EXPECT_EQ(codeOf("Nyårsdagen"), 101);
  EXPECT_EQ(codeOf("Trettondedagen"), 106);
  EXPECT_EQ(codeOf("Första maj"), 501);
  EXPECT_EQ(codeOf("Juldagen"), 1225);
  EXPECT_EQ(codeOf("Annandag jul"), 1226);
  EXPECT_EQ(codeOf("Påskdagen"), 423);
  EXPECT_EQ(codeOf("Långfredag"), 421);
  EXPECT_EQ(codeOf("Annandag påsk"), 424);
  EXPECT_EQ(codeOf("Kristi himmelsfärdsdag"), 601);
  EXPECT_EQ(codeOf("Pingstdagen"), 611);
  EXPECT_EQ(codeOf("Annandag Pingst"), 612);
  EXPECT_EQ(codeOf("Midsommardagen"), 624);
  EXPECT_EQ(codeOf("Allahelgonsdag"), 1104);
  EXPECT_EQ(holidayName(table, 6, 24), "Midsommardagen");
  EXPECT_EQ(holidayName(table, 6, 23), "");

  // Midsommardagen and Allahelgonsdag are Saturdays in their windows, also when
  // the window's first day is a Saturday (20 June 2015, 31 October 2015).
  EXPECT_EQ(holidayName(holidays(2015), 6, 20), "Midsommardagen");
  EXPECT_EQ(holidayName(holidays(2015), 10, 31), "Allahelgonsdag");
  for (int y = 1900; y <= 2100; ++y) {
    for (const auto& h : holidays(y)) {
      if (h.name != "Midsommardagen" && h.name != "Allahelgonsdag") continue;
      const Date d = at(y, h.code / 100, h.code % 100);
      ASSERT_EQ(dayOfWeek(d), 6) << y << " " << h.name;
      const Date from = h.name == "Midsommardagen" ? at(y, 6, 20) : at(y, 10, 31);
      ASSERT_GE(d, from);
      ASSERT_LT(dayNumber(d) - dayNumber(from), 7);
    }
  }
  // Two holidays on one day are both named.
  EXPECT_EQ(holidayName(holidays(2008), 5, 1), "Första maj, Kristi himmelsfärdsdag");
}

TEST(Calendar, WeekValues) {
  EXPECT_EQ(weekValue(at(2015, 1, 1)), 1501);  // a Thursday: week 1 of 2015
  EXPECT_EQ(weekValue(at(2015, 1, 4)), 1501);
  EXPECT_EQ(weekValue(at(2014, 12, 29)), 1501);
  EXPECT_EQ(weekValue(at(2015, 1, 5)), 1502);
  EXPECT_EQ(weekValue(at(2015, 1, 12)), 1503);
  EXPECT_EQ(weekValue(at(2015, 12, 31)), 1553);
  EXPECT_EQ(weekValue(at(2000, 1, 3)), 1);  // printed 0001
  EXPECT_EQ(weekValue(at(2000, 1, 1)), 9952);
  EXPECT_EQ(weekValue(at(2008, 12, 29)), 901);
  EXPECT_EQ(weekValue(at(1900, 1, 1)), 1);     // a Monday
  EXPECT_EQ(weekValue(at(2100, 12, 31)), 52);  // printed 0052
  // Every day of 1970..2037 against the C library's week numbers.
  std::tm tm{};
  tm.tm_year = 70;
  tm.tm_mday = 1;
  tm.tm_hour = 12;
  for (std::time_t t = timegm(&tm); t < 2145916800; t += 86400) {
    std::tm day{};
    gmtime_r(&t, &day);
    char text[16];
    std::strftime(text, sizeof text, "%g%V", &day);
    ASSERT_EQ(weekValue(at(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday)), std::stoi(text)) << t;
  }
}

TEST(Calendar, MonthGrid) {
  // June 2003 begins on a Sunday: day 1 is the last cell of the first week.
  MonthGrid june(2003, 6);
  EXPECT_EQ(june.dayAt(1, 6), 1);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(june.dayAt(1, c), 0) << c;
  EXPECT_EQ(june.dayAt(2, 0), 2);
  EXPECT_EQ(june.dayAt(6, 0), 30);
  EXPECT_EQ(june.dayAt(6, 1), 0);
  EXPECT_EQ(june.cellOf(1), (std::pair{1, 6}));
  EXPECT_EQ(june.cellOf(30), (std::pair{6, 0}));
  EXPECT_EQ(june.weekValueOfRow(1), 322);
  EXPECT_EQ(june.weekValueOfRow(6), 327) << "no Sunday in the row: its Monday";
  EXPECT_EQ(june.dayAt(0, 3), 0) << "the title row";

  // February 2010 begins on a Monday and fills four rows exactly.
  MonthGrid feb(2010, 2);
  EXPECT_EQ(feb.dayAt(1, 0), 1);
  EXPECT_EQ(feb.dayAt(4, 6), 28);
  EXPECT_EQ(feb.dayAt(5, 0), 0);
  EXPECT_EQ(feb.weekValueOfRow(5), 0);
  for (int d = 1; d <= 28; ++d) {
    auto [r, c] = feb.cellOf(d);
    EXPECT_EQ(feb.dayAt(r, c), d);
  }
  EXPECT_STREQ(weekdayTitle(0), "Mån");
  EXPECT_STREQ(weekdayTitle(6), "Sön");
  EXPECT_STREQ(monthName(6), "JUNI");
}
