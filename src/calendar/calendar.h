// Date arithmetic of the calendar window: the Gregorian calendar (leap years,
// weekdays, moving by days, months and years), the Swedish public holidays with
// Easter, week numbers, and the layout of one month as a grid of weeks.
//
// Dates run from 1 January 1 to 31 December 9999 in the Gregorian calendar (also
// before its introduction). A move that would leave that range gives nullopt.
// Everything here is pure and thread-safe.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <vector>

namespace calendar {

inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;

struct Date {
  int year = 0, month = 0, day = 0;  // 1..12, 1..31
  auto operator<=>(const Date&) const = default;
};

// Divisible by 4 and not by 100, or divisible by 400.
bool isLeapYear(int year);
// 28..31; 0 for a month outside 1..12.
int daysInMonth(int year, int month);
// A real date within kMinYear..kMaxYear.
bool isValid(const Date& d);

// Days from 1 January 1 (day 0) to d; d must be valid.
long dayNumber(const Date& d);
// The date of a day number; nullopt outside the range.
std::optional<Date> fromDayNumber(long n);
// Monday = 1 ... Sunday = 7; d must be valid.
int dayOfWeek(const Date& d);

// d moved by the given number of days.
std::optional<Date> addDays(const Date& d, long days);
// The same day the given number of months later (or earlier), reduced to the last
// day of the month reached when that month is shorter (31 March - 1 month gives
// 28 or 29 February).
std::optional<Date> addMonths(const Date& d, int months);
// The same day and month the given number of years later (or earlier); 29 February
// becomes 28 February in a year that is no leap year.
std::optional<Date> addYears(const Date& d, int years);

// The paschal full moon of a year: from the table of 19 dates indexed by year mod 19
// for 1900..2199 (the years the table holds for), otherwise from the Gregorian
// epact with its century corrections (which gives the same table in those years).
Date paschalFullMoon(int year);
// The full moon from the epact alone, for any year of the range.
Date paschalFullMoonFromEpact(int year);
// Easter Sunday: the first Sunday after the paschal full moon (never the same day).
Date easterSunday(int year);

struct Holiday {
  int code;          // month * 100 + day
  std::string name;  // Swedish name, e.g. "Påskdagen"
};
// The public holidays of a year, in a fixed order: Nyårsdagen, Trettondedagen,
// Första maj, Juldagen, Annandag jul, Påskdagen, Långfredag, Annandag påsk, Kristi
// himmelsfärdsdag, Pingstdagen, Annandag Pingst, Midsommardagen, Allahelgonsdag.
std::vector<Holiday> holidays(int year);
// The names of the holidays on d joined by ", " (two can fall on one day, like
// Första maj and Kristi himmelsfärdsdag in 2008); empty on an ordinary day.
std::string holidayName(const std::vector<Holiday>& table, int month, int day);

// The week value of a date: two digits of the year the week belongs to and two of
// the week number (weeks start on Monday; week 1 is the week holding the year's
// first Thursday), e.g. 1501 for 1 January 2015 and 9952 for 1 January 2000.
int weekValue(const Date& d);

// One month laid out in rows of weeks, Monday to Sunday (columns 0..6); row 0 is the
// title row, weeks are rows 1..6.
class MonthGrid {
 public:
  static constexpr int kColumns = 7;
  static constexpr int kRows = 7;

  MonthGrid(int year, int month);
  int year() const { return year_; }
  int month() const { return month_; }
  // Added to column + (row - 1) * 7 it gives the day shown in a cell.
  int offset() const { return offset_; }
  // The day shown in a cell; 0 for the title row and cells outside the month.
  int dayAt(int row, int column) const;
  // The cell of a day of the month: {row, column}.
  std::pair<int, int> cellOf(int day) const;
  // The week value of a week row: from its Sunday, or its Monday when the month
  // ends before Sunday; 0 for a row without days.
  int weekValueOfRow(int row) const;

 private:
  int year_, month_, offset_, length_;
};

// Weekday titles by weekday from Monday (column order), Swedish.
const char* weekdayTitle(int column);
// Month names in capitals, Swedish; month 1..12.
const char* monthName(int month);

}  // namespace calendar
