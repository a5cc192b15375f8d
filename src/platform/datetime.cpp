#include "platform/datetime.h"

#include <langinfo.h>

#include <cctype>
#include <ctime>
#include <mutex>

namespace platform {

namespace {

struct Token {
  enum Kind { Literal, Year4, Year2, Month, Month2, Day, Day2, Hour, Hour2, Minute, Minute2, Second, Second2 } kind;
  std::string text;  // for literals
};

bool startsWithNoCase(std::string_view s, std::size_t pos, std::string_view what) {
  if (pos + what.size() > s.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[pos + i])) != what[i]) return false;
  return true;
}

std::vector<Token> tokenize(std::string_view f) {
  std::vector<Token> out;
  bool lastWasHour = false;
  auto literal = [&](std::string_view t) {
    if (!out.empty() && out.back().kind == Token::Literal)
      out.back().text += t;
    else
      out.push_back({Token::Literal, std::string(t)});
  };
  std::size_t i = 0;
  while (i < f.size()) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
    if (f[i] == '"' || f[i] == '\'') {
      auto close = f.find(f[i], i + 1);
      if (close == std::string_view::npos) close = f.size();
      literal(f.substr(i + 1, close - i - 1));
      i = close + 1;
      continue;
    }
    auto code = [&](Token::Kind k, std::size_t len) {
      out.push_back({k, {}});
      i += len;
    };
    if (c == 'y') {
      if (startsWithNoCase(f, i, "yyyy"))
        code(Token::Year4, 4);
      else if (startsWithNoCase(f, i, "yy"))
        code(Token::Year2, 2);
      else
        code(Token::Year2, 1);
      lastWasHour = false;
    } else if (c == 'm') {
      bool two = startsWithNoCase(f, i, "mm");
      if (lastWasHour)
        code(two ? Token::Minute2 : Token::Minute, two ? 2 : 1);
      else
        code(two ? Token::Month2 : Token::Month, two ? 2 : 1);
      lastWasHour = false;
    } else if (c == 'd') {
      bool two = startsWithNoCase(f, i, "dd");
      code(two ? Token::Day2 : Token::Day, two ? 2 : 1);
      lastWasHour = false;
    } else if (c == 'h') {
      bool two = startsWithNoCase(f, i, "hh");
      code(two ? Token::Hour2 : Token::Hour, two ? 2 : 1);
      lastWasHour = true;
    } else if (c == 'n') {
      bool two = startsWithNoCase(f, i, "nn");
      code(two ? Token::Minute2 : Token::Minute, two ? 2 : 1);
      lastWasHour = false;
    } else if (c == 's') {
      bool two = startsWithNoCase(f, i, "ss");
      code(two ? Token::Second2 : Token::Second, two ? 2 : 1);
      lastWasHour = false;
    } else {
      literal(f.substr(i, 1));
      ++i;
    }
  }
  return out;
}

std::string num(int v, bool two) {
  std::string s = std::to_string(v);
  if (two && s.size() < 2) s.insert(0, "0");
  return s;
}

std::mutex g_formatMutex;
std::string g_dateFormat = "yyyy/mm/dd";
std::string g_timeFormat = "hh:mm";

// Turns a strftime format ("%m/%d/%y") into the codes above.
std::string fromStrftime(const char* f) {
  std::string out;
  for (const char* p = f; p && *p; ++p) {
    if (*p != '%' || !p[1]) {
      out.push_back(*p);
      continue;
    }
    char c = *++p;
    if (c == 'E' || c == 'O') c = *++p;
    switch (c) {
      case 'Y': out += "yyyy"; break;
      case 'y': out += "yy"; break;
      case 'm': out += "mm"; break;
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'H': out += "hh"; break;
      case 'I': out += "hh"; break;
      case 'M': out += "nn"; break;
      case 'S': out += "ss"; break;
      case 'D': out += "mm/dd/yy"; break;
      case 'F': out += "yyyy-mm-dd"; break;
      case 'T': out += "hh:nn:ss"; break;
      case 'R': out += "hh:nn"; break;
      case 'p':
      case 'P':
      case 'Z':
      case 'z': break;
      default: break;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

bool isValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= dim;
}

bool isValidTime(int hour, int minute, int second) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

std::optional<DateTime> dosToDateTime(std::uint32_t dos) {
  DateTime dt;
  std::uint32_t time = dos & 0xFFFF, date = dos >> 16;
  dt.second = static_cast<int>(time & 0x1F) * 2;
  dt.minute = static_cast<int>((time >> 5) & 0x3F);
  dt.hour = static_cast<int>(time >> 11);
  dt.day = static_cast<int>(date & 0x1F);
  dt.month = static_cast<int>((date >> 5) & 0x0F);
  dt.year = static_cast<int>(date >> 9) + 1980;
  if (!isValidDate(dt.year, dt.month, dt.day) || !isValidTime(dt.hour, dt.minute, dt.second)) return std::nullopt;
  return dt;
}

std::optional<std::uint32_t> dateTimeToDos(const DateTime& dt) {
  if (dt.year < 1980 || dt.year > 2107 || !isValidDate(dt.year, dt.month, dt.day) ||
      !isValidTime(dt.hour, dt.minute, dt.second))
    return std::nullopt;
  std::uint32_t date = static_cast<std::uint32_t>(((dt.year - 1980) << 9) | (dt.month << 5) | dt.day);
  std::uint32_t time = static_cast<std::uint32_t>((dt.hour << 11) | (dt.minute << 5) | (dt.second / 2));
  return (date << 16) | time;
}

DateTime fromUnixTime(std::int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::optional<std::int64_t> toUnixTime(const DateTime& dt) {
  if (!isValidDate(dt.year, dt.month, dt.day) || !isValidTime(dt.hour, dt.minute, dt.second)) return std::nullopt;
  std::tm tm{};
  tm.tm_year = dt.year - 1900;
  tm.tm_mon = dt.month - 1;
  tm.tm_mday = dt.day;
  tm.tm_hour = dt.hour;
  tm.tm_min = dt.minute;
  tm.tm_sec = dt.second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

double toSerial(const DateTime& dt) {
  double days = 0;
  if (dt.year > 0) {
    // Days from civil (proleptic Gregorian), shifted to 1899-12-30.
    int y = dt.year - (dt.month <= 2 ? 1 : 0);
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int mp = dt.month + (dt.month > 2 ? -3 : 9);
    int doy = (153 * mp + 2) / 5 + dt.day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long fromEpoch = static_cast<long long>(era) * 146097 + doe - 719468;  // days since 1970-01-01
    days = static_cast<double>(fromEpoch + 25569);
  }
  return days + (dt.hour * 3600 + dt.minute * 60 + dt.second) / 86400.0;
}

std::string formatDateTime(std::string_view format, const DateTime& dt) {
  std::string out;
  for (const Token& t : tokenize(format)) {
    switch (t.kind) {
      case Token::Literal: out += t.text; break;
      case Token::Year4: out += num(dt.year, false); break;
      case Token::Year2: out += num(dt.year % 100, true); break;
      case Token::Month: out += num(dt.month, false); break;
      case Token::Month2: out += num(dt.month, true); break;
      case Token::Day: out += num(dt.day, false); break;
      case Token::Day2: out += num(dt.day, true); break;
      case Token::Hour: out += num(dt.hour, false); break;
      case Token::Hour2: out += num(dt.hour, true); break;
      case Token::Minute: out += num(dt.minute, false); break;
      case Token::Minute2: out += num(dt.minute, true); break;
      case Token::Second: out += num(dt.second, false); break;
      case Token::Second2: out += num(dt.second, true); break;
    }
  }
  return out;
}

std::optional<std::string> fixedWidthDateFormat(std::string_view format) {
  std::string out;
  int years = 0, months = 0, days = 0;
  for (const Token& t : tokenize(format)) {
    switch (t.kind) {
      case Token::Literal:
        for (char c : t.text)
          if (std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        if (t.text.find('"') != std::string::npos) return std::nullopt;  // cannot be quoted again
        out += '"' + t.text + '"';
        break;
      case Token::Year4:
        out += "yyyy";
        ++years;
        break;
      case Token::Year2:
        out += "yy";
        ++years;
        break;
      case Token::Month:
      case Token::Month2:
        out += "mm";
        ++months;
        break;
      case Token::Day:
      case Token::Day2:
        out += "dd";
        ++days;
        break;
      default: return std::nullopt;  // a time code
    }
  }
  if (years != 1 || months != 1 || days != 1) return std::nullopt;
  return out;
}

std::string localeShortDateFormat() {
  std::string f = fromStrftime(nl_langinfo(D_FMT));
  return f.empty() ? std::string("yyyy-mm-dd") : f;
}

std::string localeShortTimeFormat() {
  std::string f = fromStrftime(nl_langinfo(T_FMT));
  return f.empty() ? std::string("hh:nn:ss") : f;
}

std::optional<DateTime> parseWithFormat(std::string_view text, std::string_view format) {
  DateTime dt{};
  bool haveDate = false, haveYear = false;
  std::size_t pos = 0;
  auto readNumber = [&](std::size_t minDigits, std::size_t maxDigits, int& out) {
    std::size_t start = pos;
    while (pos < text.size() && pos - start < maxDigits && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos - start < minDigits) return false;
    out = std::stoi(std::string(text.substr(start, pos - start)));
    return true;
  };
  for (const Token& t : tokenize(format)) {
    bool ok = true;
    switch (t.kind) {
      case Token::Literal:
        ok = text.substr(pos, t.text.size()) == t.text;
        pos += t.text.size();
        break;
      case Token::Year4:
        ok = readNumber(4, 4, dt.year);
        haveYear = haveDate = true;
        break;
      case Token::Year2:
        ok = readNumber(2, 2, dt.year);
        dt.year += dt.year < 50 ? 2000 : 1900;  // the usual two-digit window
        haveYear = haveDate = true;
        break;
      case Token::Month:
        ok = readNumber(1, 2, dt.month);
        haveDate = true;
        break;
      case Token::Month2:
        ok = readNumber(2, 2, dt.month);
        haveDate = true;
        break;
      case Token::Day:
        ok = readNumber(1, 2, dt.day);
        haveDate = true;
        break;
      case Token::Day2:
        ok = readNumber(2, 2, dt.day);
        haveDate = true;
        break;
      case Token::Hour: ok = readNumber(1, 2, dt.hour); break;
      case Token::Hour2: ok = readNumber(2, 2, dt.hour); break;
      case Token::Minute: ok = readNumber(1, 2, dt.minute); break;
      case Token::Minute2: ok = readNumber(2, 2, dt.minute); break;
      case Token::Second: ok = readNumber(1, 2, dt.second); break;
      case Token::Second2: ok = readNumber(2, 2, dt.second); break;
    }
    if (!ok || pos > text.size()) return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  if (haveDate) {
    if (!haveYear || !isValidDate(dt.year, dt.month, dt.day)) return std::nullopt;
  } else {
    dt.year = dt.month = dt.day = 0;
  }
  if (!isValidTime(dt.hour, dt.minute, dt.second)) return std::nullopt;
  return dt;
}

void setDisplayFormats(const std::string& dateFormat, const std::string& timeFormat) {
  std::lock_guard lock(g_formatMutex);
  g_dateFormat = dateFormat;
  g_timeFormat = timeFormat;
}

std::string displayDateFormat() {
  std::lock_guard lock(g_formatMutex);
  return g_dateFormat;
}

std::string displayTimeFormat() {
  std::lock_guard lock(g_formatMutex);
  return g_timeFormat;
}

namespace {

std::string trimmed(std::string_view s) {
  auto b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

std::vector<std::string> dateFormats() {
  return {displayDateFormat(), "yyyy-mm-dd", "yyyy/mm/dd", localeShortDateFormat()};
}

std::vector<std::string> timeFormats() { return {displayTimeFormat(), "hh:nn:ss", "hh:nn", localeShortTimeFormat()}; }

}  // namespace

std::optional<DateTime> parseDateTime(std::string_view text) {
  std::string t = trimmed(text);
  if (t.empty()) return std::nullopt;
  for (const auto& d : dateFormats()) {
    if (auto r = parseWithFormat(t, d); r) return r;
    for (const auto& tf : timeFormats()) {
      if (auto r = parseWithFormat(t, d + " " + tf); r && r->year > 0) return r;
      if (auto r = parseWithFormat(t, d + "T" + tf); r && r->year > 0) return r;
    }
  }
  return parseTime(t);  // a time alone is a date-time on day 0
}

std::optional<DateTime> parseTime(std::string_view text) {
  std::string t = trimmed(text);
  if (t.empty()) return std::nullopt;
  for (const auto& tf : timeFormats()) {
    if (auto r = parseWithFormat(t, tf); r && r->year == 0) return r;
  }
  return std::nullopt;
}

}  // namespace platform
