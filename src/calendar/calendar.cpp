#include "calendar/calendar.h"

#include <array>

namespace calendar {

namespace {

// Days from 1 January 1 to 1 January 10000: 9999 years and their leap days.
constexpr long kLastDayNumber = 9999L * 365 + 9999 / 4 - 9999 / 100 + 9999 / 400;

// Paschal full moons (month, day) by year mod 19, valid for 1900..2199.
constexpr std::array<std::pair<int, int>, 19> kPaschalFullMoons{{
    {4, 14}, {4, 3},  {3, 23}, {4, 11}, {3, 31}, {4, 18}, {4, 8},  {3, 28}, {4, 16}, {4, 5},
    {3, 25}, {4, 13}, {4, 2},  {3, 22}, {4, 10}, {3, 30}, {4, 17}, {4, 7},  {3, 27},
}};

constexpr std::array<const char*, 7> kWeekdayTitles{"Mån", "Tis", "Ons", "Tor", "Fre", "Lör", "Sön"};
constexpr std::array<const char*, 12> kMonthNames{"JANUARI",   "FEBRUARI", "MARS",     "APRIL",
                                                  "MAJ",       "JUNI",     "JULI",     "AUGUSTI",
                                                  "SEPTEMBER", "OKTOBER",  "NOVEMBER", "DECEMBER"};

// Days after 21 March of the paschal full moon, from the Gregorian epact: the
// golden number's lunar age with the solar (skipped leap days) and lunar (drift of
// the 19-year cycle) corrections of the century, and the two exceptions that keep
// it on or before 18 April.
int paschalFullMoonAfterMarch21(int year) {
  const int golden = year % 19;
  const int century = year / 100;
  const int solar = century - century / 4;
  const int lunar = (century - (century + 8) / 25 + 1) / 3;
  int days = (19 * golden + solar - lunar + 15) % 30;
  if (days == 29 || (days == 28 && golden > 10)) --days;
  return days;
}

// d moved by days, for moves known to stay inside the range.
Date shifted(const Date& d, long days) { return *addDays(d, days); }

}  // namespace

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0);
}

bool isValid(const Date& d) {
  return d.year >= kMinYear && d.year <= kMaxYear && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= daysInMonth(d.year, d.month);
}

long dayNumber(const Date& d) {
  // Counted from 1 March of year 0 so that the leap day ends the counting year.
  const long y = d.year - (d.month <= 2 ? 1 : 0);
  const long m = d.month + (d.month <= 2 ? 9 : -3);  // March = 0
  const long days = 365 * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + d.day - 1;
  return days - 306;  // 1 January 1 is day 306 of that count
}

std::optional<Date> fromDayNumber(long n) {
  if (n < 0 || n >= kLastDayNumber) return std::nullopt;
  const long z = n + 306;
  const long era = z / 146097;
  const long doe = z - era * 146097;                                       // day of the 400-year era
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // year of the era
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // day from 1 March
  const long mp = (5 * doy + 2) / 153;
  Date d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
  return d;
}

int dayOfWeek(const Date& d) {
  // 1 January 1 was a Monday.
  return static_cast<int>(dayNumber(d) % 7) + 1;
}

std::optional<Date> addDays(const Date& d, long days) {
  if (!isValid(d)) return std::nullopt;
  return fromDayNumber(dayNumber(d) + days);
}

std::optional<Date> addMonths(const Date& d, int months) {
  if (!isValid(d)) return std::nullopt;
  const long index = static_cast<long>(d.year) * 12 + (d.month - 1) + months;
  const long year = index / 12;
  if (index < 0 || year < kMinYear || year > kMaxYear) return std::nullopt;
  Date r{static_cast<int>(year), static_cast<int>(index % 12) + 1, d.day};
  if (r.day > daysInMonth(r.year, r.month)) r.day = daysInMonth(r.year, r.month);
  return r;
}

std::optional<Date> addYears(const Date& d, int years) {
  if (!isValid(d)) return std::nullopt;
  const long year = static_cast<long>(d.year) + years;
  if (year < kMinYear || year > kMaxYear) return std::nullopt;
  Date r{static_cast<int>(year), d.month, d.day};
  if (r.day > daysInMonth(r.year, r.month)) r.day = daysInMonth(r.year, r.month);
  return r;
}

Date paschalFullMoon(int year) {
  if (year >= 1900 && year <= 2199) {
    const auto [month, day] = kPaschalFullMoons[year % 19];
    return Date{year, month, day};
  }
  return paschalFullMoonFromEpact(year);
}

Date paschalFullMoonFromEpact(int year) { return shifted(Date{year, 3, 21}, paschalFullMoonAfterMarch21(year)); }

Date easterSunday(int year) {
  const Date moon = paschalFullMoon(year);
  return shifted(moon, 7 - dayOfWeek(moon) % 7);
}

std::vector<Holiday> holidays(int year) {
  auto code = [](const Date& d) { return d.month * 100 + d.day; };
  const Date easter = easterSunday(year);
  auto fromEaster = [&](long days) { return code(shifted(easter, days)); };
  // The first Saturday after a day.
  auto saturdayAfter = [&](int month, int day) {
    const Date from{year, month, day};
    const int wd = dayOfWeek(from);
    return code(shifted(from, wd < 6 ? 6 - wd : 13 - wd));
  };
  return {
      {101, "Nyårsdagen"},
      {106, "Trettondedagen"},
      {501, "Första maj"},
      {1225, "Juldagen"},
      {1226, "Annandag jul"},
      {code(easter), "Påskdagen"},
      {fromEaster(-2), "Långfredag"},
      {fromEaster(1), "Annandag påsk"},
      {fromEaster(39), "Kristi himmelsfärdsdag"},
      {fromEaster(49), "Pingstdagen"},
      {fromEaster(50), "Annandag Pingst"},
      {saturdayAfter(6, 19), "Midsommardagen"},
      {saturdayAfter(10, 30), "Allahelgonsdag"},
  };
}

std::string holidayName(const std::vector<Holiday>& table, int month, int day) {
  std::string names;
  for (const Holiday& h : table) {
    if (h.code != month * 100 + day) continue;
    if (!names.empty()) names += ", ";
    names += h.name;
  }
  return names;
}

int weekValue(const Date& d) {
  int year = d.year;
  const int firstWeekday = dayOfWeek(Date{year, 1, 1});
  const long n = dayNumber(d) - dayNumber(Date{year, 1, 1});
  // The week holding 1 January is week 1 when it has four days or more of the new
  // year, that is when the year starts on Monday to Thursday.
  long week = (n - 1 + firstWeekday) / 7 + (firstWeekday <= 4 ? 1 : 0);
  if (week > 52 && dayOfWeek(Date{year, 12, 31}) < 4) {
    week = 1;  // the days of 29..31 December that belong to the next year's week 1
    ++year;
  }
  // Days before the year's week 1 belong to the last week of the year before.
  if (week == 0) return year > kMinYear ? weekValue(Date{year - 1, 12, 31}) : 0;
  return (year % 100) * 100 + static_cast<int>(week);
}

MonthGrid::MonthGrid(int year, int month)
    : year_(year), month_(month), offset_(2 - dayOfWeek(Date{year, month, 1})), length_(daysInMonth(year, month)) {}

int MonthGrid::dayAt(int row, int column) const {
  if (row < 1 || row >= kRows || column < 0 || column >= kColumns) return 0;
  const int day = offset_ + column + (row - 1) * kColumns;
  return day >= 1 && day <= length_ ? day : 0;
}

std::pair<int, int> MonthGrid::cellOf(int day) const {
  const int index = day - offset_;  // cells counted from row 1, column 0
  return {index / kColumns + 1, index % kColumns};
}

int MonthGrid::weekValueOfRow(int row) const {
  int day = dayAt(row, 6);
  if (day == 0) day = dayAt(row, 0);
  return day == 0 ? 0 : weekValue(Date{year_, month_, day});
}

const char* weekdayTitle(int column) { return column >= 0 && column < 7 ? kWeekdayTitles[column] : ""; }

const char* monthName(int month) { return month >= 1 && month <= 12 ? kMonthNames[month - 1] : ""; }

}  // namespace calendar
