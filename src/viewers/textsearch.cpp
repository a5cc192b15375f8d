#include "viewers/textsearch.h"

#include <algorithm>

namespace viewers {

namespace {

QChar upper(QChar c) { return c.toUpper(); }

// Whether what matches text at pos, case and word rules applied.
bool matchesAt(QStringView text, QStringView what, QStringView whatUpper, qsizetype pos, const SearchOptions& o) {
  const qsizetype n = what.size();
  if (o.matchCase) {
    if (text.mid(pos, n) != what) return false;
  } else {
    for (qsizetype i = 0; i < n; ++i)
      if (text[pos + i] != what[i] && upper(text[pos + i]) != whatUpper[i]) return false;
  }
  if (!o.wholeWord) return true;
  if (pos > 0 && IsWordChar(text[pos - 1]) && IsWordChar(what.front())) return false;
  if (pos + n < text.size() && IsWordChar(text[pos + n]) && IsWordChar(what.back())) return false;
  return true;
}

QString upperOf(QStringView what) {
  QString u(what.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < what.size(); ++i) u[i] = upper(what[i]);
  return u;
}

}  // namespace

bool IsWordChar(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
}

qsizetype FindInText(QStringView text, QStringView what, qsizetype selStart, qsizetype selEnd,
                     const SearchOptions& options) {
  const qsizetype n = what.size(), size = text.size();
  if (n == 0 || n > size) return -1;
  const QString whatUpper = upperOf(what);
  if (options.down) {
    for (qsizetype pos = std::max<qsizetype>(selEnd, 0); pos + n <= size; ++pos)
      if (matchesAt(text, what, whatUpper, pos, options)) return pos;
    return -1;
  }
  for (qsizetype pos = std::min(selStart, size) - n; pos >= 0; --pos)
    if (matchesAt(text, what, whatUpper, pos, options)) return pos;
  return -1;
}

std::vector<qsizetype> FindAllInText(QStringView text, QStringView what, qsizetype from, const SearchOptions& options) {
  std::vector<qsizetype> hits;
  const qsizetype n = what.size(), size = text.size();
  if (n == 0) return hits;
  const QString whatUpper = upperOf(what);
  SearchOptions down = options;
  down.down = true;
  for (qsizetype pos = std::max<qsizetype>(from, 0); pos + n <= size;) {
    if (matchesAt(text, what, whatUpper, pos, down)) {
      hits.push_back(pos);
      pos += n;
    } else {
      ++pos;
    }
  }
  return hits;
}

}  // namespace viewers
