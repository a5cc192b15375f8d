// Dates and times: DOS date-time values of ZIP entries, formatting with the
// settings' format codes, and parsing the texts the program writes back (for the
// grid's column sorting).
//
// Format codes: "yyyy" four-digit year, "yy" two-digit year, "mm"/"m" month with or
// without a leading zero, "dd"/"d" day, "hh"/"h" hour, "nn"/"n" minute, "ss"/"s"
// second. "mm"/"m" right after an hour code means minutes ("hh:mm"). Any other
// character stands for itself; text in double quotes is copied literally.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct DateTime {
  int year = 0, month = 0, day = 0;      // a real calendar date (1..12, 1..31)
  int hour = 0, minute = 0, second = 0;  // 0..23, 0..59, 0..59
  bool operator==(const DateTime&) const = default;
};

bool isValidDate(int year, int month, int day);
bool isValidTime(int hour, int minute, int second);

// A DOS date-time: time in the low 16 bits (hour 5 bits, minute 6, second/2 5),
// date in the high 16 bits (year-1980 7 bits, month 4, day 5). An impossible value
// (month 0 or 13, day 31 of April, hour 24, ...) gives nullopt.
std::optional<DateTime> dosToDateTime(std::uint32_t dos);
// Back to DOS form; seconds are rounded down to even. Years outside 1980..2107
// give nullopt.
std::optional<std::uint32_t> dateTimeToDos(const DateTime& dt);

// The local time of a Unix time, and back (nullopt when out of range).
DateTime fromUnixTime(std::int64_t t);
std::optional<std::int64_t> toUnixTime(const DateTime& dt);

// Days since 1899-12-30 plus the fraction of the day: one number that orders
// date-times (and times alone, which have day 0).
double toSerial(const DateTime& dt);

std::string formatDateTime(std::string_view format, const DateTime& dt);

// A date format with fixed-width codes, for typing a date into a mask: "d" and "m"
// become "dd" and "mm", a lone "y" becomes "yy"; literals are kept (quoted). Gives
// nullopt when format is not a plain date: a time code, a missing or repeated
// year, month or day, or a digit among the literals.
std::optional<std::string> fixedWidthDateFormat(std::string_view format);

// The locale's short date and time formats in the codes above.
std::string localeShortDateFormat();
std::string localeShortTimeFormat();

// Parses text that one of the given formats wrote; nullopt when none fits.
std::optional<DateTime> parseWithFormat(std::string_view text, std::string_view format);

// The formats the program currently writes dates and times in (the settings'
// choice). Parsing tries these first, then ISO forms and the locale's.
void setDisplayFormats(const std::string& dateFormat, const std::string& timeFormat);
std::string displayDateFormat();
std::string displayTimeFormat();

// A date with an optional time, in any known format.
std::optional<DateTime> parseDateTime(std::string_view text);
// A time of day alone ("10:20", "10:20:30").
std::optional<DateTime> parseTime(std::string_view text);

}  // namespace platform
