// TSortGrid sorting: kind detection, the comparison, and moving rows into order.
//
// Each sort converts every key once: numbers, date-times and times become doubles,
// texts are upper-cased once for a case-insensitive sort. The row order is then
// computed on indices with a merge sort whose loops are bounded by the index ranges
// only, so even a custom comparison that contradicts itself cannot make it read
// outside the list. Rows move as whole handles (texts and attached pointers).
#include <QApplication>
#include <QCollator>
#include <QLocale>
#include <QScopeGuard>
#include <charconv>
#include <string_view>
#include <string>

#include "platform/datetime.h"
#include "widgets/sortgrid.h"

namespace {

bool isAsciiSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

// The whole trimmed text as a finite decimal floating-point number, with '.' as the
// decimal point whatever the locale ("12", "-3.5", "+1e3", ".5"). Empty text,
// grouping, hexadecimal, "inf" and "nan" are not numbers.
bool toNumber(QStringView s, double& out) {
  qsizetype b = 0, e = s.size();
  while (b < e && isAsciiSpace(s[b].unicode())) ++b;
  while (e > b && isAsciiSpace(s[e - 1].unicode())) --e;
  if (b == e) return false;
  std::string buf;
  buf.reserve(static_cast<std::size_t>(e - b));
  for (qsizetype i = b; i < e; ++i) {
    const char16_t c = s[i].unicode();
    if (c > 127) return false;
    buf.push_back(static_cast<char>(c));
  }
  const char* p = buf.data();
  const char* end = p + buf.size();
  if (*p == '+') ++p;
  const char* digits = (p < end && *p == '-') ? p + 1 : p;
  if (digits == end || !((*digits >= '0' && *digits <= '9') || *digits == '.')) return false;
  if (p != buf.data() && *p == '-') return false;  // "+-1"
  auto [ptr, ec] = std::from_chars(p, end, out, std::chars_format::general);
  return ec == std::errc() && ptr == end;
}

// A date with an optional time, as platform::parseDateTime reads it, as a serial
// number. The texts of a listing are almost all in the display format (date, blank,
// time), which is the first form the general parser accepts with a time; trying
// that one form first gives the same result for them at a fraction of the cost.
class DateTimeReader {
 public:
  DateTimeReader() : listingFormat_(platform::displayDateFormat() + " " + platform::displayTimeFormat()) {}

  bool operator()(const QString& s, double& out) const {
    const std::string text = s.toStdString();
    std::string_view t(text);
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    if (t.empty()) return false;
    auto dt = platform::parseWithFormat(t, listingFormat_);
    if (!dt || dt->year == 0) dt = platform::parseDateTime(t);
    if (!dt) return false;
    out = platform::toSerial(*dt);
    return true;
  }

 private:
  std::string listingFormat_;
};

bool toTime(const QString& s, double& out) {
  auto dt = platform::parseTime(s.toStdString());
  if (!dt) return false;
  out = platform::toSerial(*dt);
  return true;
}

// QString::toUpper, with a shortcut for the usual text that needs no change.
QString upperCased(const QString& s) {
  for (QChar ch : s) {
    const char16_t c = ch.unicode();
    if (c > 127 || (c >= u'a' && c <= u'z')) return s.toUpper();
  }
  return s;
}

// Stable merge sort of idx by cmp (< 0 means the first goes before the second).
// Already ordered runs are copied without merging, so sorted input costs one pass.
template <class Cmp>
void mergeSort(std::vector<int>& idx, Cmp cmp) {
  const std::size_t n = idx.size();
  constexpr std::size_t kRun = 16;
  for (std::size_t lo = 0; lo < n; lo += kRun) {  // insertion sort of short runs
    const std::size_t hi = std::min(n, lo + kRun);
    for (std::size_t i = lo + 1; i < hi; ++i) {
      const int v = idx[i];
      std::size_t j = i;
      while (j > lo && cmp(v, idx[j - 1]) < 0) {
        idx[j] = idx[j - 1];
        --j;
      }
      idx[j] = v;
    }
  }
  std::vector<int> buf(n);
  for (std::size_t width = kRun; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(n, lo + width), hi = std::min(n, lo + 2 * width);
      if (mid >= hi || cmp(idx[mid], idx[mid - 1]) >= 0) {
        std::copy(idx.begin() + static_cast<std::ptrdiff_t>(lo), idx.begin() + static_cast<std::ptrdiff_t>(hi),
                  buf.begin() + static_cast<std::ptrdiff_t>(lo));
        continue;
      }
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) buf[k++] = cmp(idx[j], idx[i]) < 0 ? idx[j++] : idx[i++];
      while (i < mid) buf[k++] = idx[i++];
      while (j < hi) buf[k++] = idx[j++];
    }
    idx.swap(buf);
  }
}

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// The locale-aware comparison of texts (QString::localeAwareCompare), prepared once
// per sort.
//
// Under the C locale that comparison is the plain order of UTF-16 code units. The
// texts (upper-cased when the sort ignores case) are then laid end to end in one
// pool, and each text's first eight units are packed, big-endian and zero-padded,
// into two integers whose order agrees with the texts' order wherever they differ;
// most comparisons touch only that compact array, the rest compare in the pool.
//
// Under any other locale each text gets the collator's sort key, which orders as
// the collator compares; an empty text goes before every other one.
class TextKeys {
 public:
  template <class CellAt>
  TextKeys(std::size_t n, bool caseSensitive, CellAt cellAt) {
    QCollator collator;
    cLocale_ = collator.locale().language() == QLocale::C;
    if (cLocale_) {
      prefix_.resize(n);
      offsets_.reserve(n + 1);
      offsets_.push_back(0);
      pool_.reserve(n * 16);
      for (std::size_t i = 0; i < n; ++i) {
        append(cellAt(i), caseSensitive);
        offsets_.push_back(pool_.size());
        const std::u16string_view t = text(i);
        quint64 p[2] = {0, 0};
        for (std::size_t k = 0; k < 8 && k < t.size(); ++k) p[k / 4] |= quint64(t[k]) << (16 * (3 - k % 4));
        prefix_[i] = {p[0], p[1]};
      }
    } else {
      empty_.resize(n);
      sortKeys_.reserve(n);
      for (std::size_t i = 0; i < n; ++i) {
        const QString t = caseSensitive ? cellAt(i) : upperCased(cellAt(i));
        empty_[i] = t.isEmpty();
        sortKeys_.push_back(collator.sortKey(t));
      }
    }
  }

  int compare(int a, int b) const {
    const auto ia = static_cast<std::size_t>(a), ib = static_cast<std::size_t>(b);
    if (cLocale_) {
      const Prefix& pa = prefix_[ia];
      const Prefix& pb = prefix_[ib];
      if (pa.hi != pb.hi) return pa.hi < pb.hi ? -1 : 1;
      if (pa.lo != pb.lo) return pa.lo < pb.lo ? -1 : 1;
      const int r = text(ia).compare(text(ib));
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    if (empty_[ia] || empty_[ib]) return empty_[ia] == empty_[ib] ? 0 : (empty_[ia] ? -1 : 1);
    return sign(sortKeys_[ia].compare(sortKeys_[ib]));
  }

 private:
  struct Prefix {
    quint64 hi, lo;
  };

  void append(const QString& t, bool caseSensitive) {
    const auto* units = reinterpret_cast<const char16_t*>(t.constData());
    if (caseSensitive) {
      pool_.append(units, static_cast<std::size_t>(t.size()));
      return;
    }
    const std::size_t start = pool_.size();
    for (qsizetype k = 0; k < t.size(); ++k) {
      const char16_t c = units[k];
      if (c > 127) {  // beyond ASCII the full Unicode rules apply
        pool_.resize(start);
        const QString u = t.toUpper();
        pool_.append(reinterpret_cast<const char16_t*>(u.constData()), static_cast<std::size_t>(u.size()));
        return;
      }
      pool_.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
    }
  }

  std::u16string_view text(std::size_t i) const {
    return std::u16string_view(pool_).substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
  }

  bool cLocale_ = false;
  std::u16string pool_;
  std::vector<std::size_t> offsets_;
  std::vector<Prefix> prefix_;
  std::vector<char> empty_;
  std::vector<QCollatorSortKey> sortKeys_;
};

}  // namespace

// Keys converted while detecting the kind, kept so the sort need not convert again.
struct TSortGrid::SortKeys {
  std::vector<double> numeric;   // complete when the column is numeric
  std::vector<double> dateTime;  // complete when the column is all date-times
  // Values from OnGetSortValue (in `numeric`), and which rows have one.
  bool fromOwner = false;
  std::vector<char> ownerValid;
};

bool TSortGrid::ownerKeys(int ACol, SortKeys& keys) {
  if (!OnGetSortValue) return false;
  const int first = fixedRows_, n = RowCount() - fixedRows_;
  keys.numeric.assign(static_cast<std::size_t>(n), 0.0);
  keys.ownerValid.assign(static_cast<std::size_t>(n), 0);
  bool any = false;
  for (int i = 0; i < n; ++i) {
    double v = 0;
    if (OnGetSortValue(this, ACol, first + i, v)) {
      keys.numeric[static_cast<std::size_t>(i)] = v;
      keys.ownerValid[static_cast<std::size_t>(i)] = 1;
      any = true;
    }
  }
  keys.fromOwner = any;
  return any;
}

TSortKind TSortGrid::detectKind(int ACol, SortKeys* keys) const {
  bool numeric = true, dateTime = true, time = true;
  const int first = fixedRows_, n = RowCount() - fixedRows_;
  const DateTimeReader toDateTime;
  if (keys) {
    keys->numeric.assign(static_cast<std::size_t>(std::max(0, n)), 0.0);
    keys->dateTime.assign(static_cast<std::size_t>(std::max(0, n)), 0.0);
  }
  for (int i = 0; i < n && (numeric || dateTime || time); ++i) {
    const QString& text = cellRef(ACol, first + i);
    double v = 0;
    if (numeric) {
      numeric = toNumber(text, v);
      if (numeric && keys) keys->numeric[static_cast<std::size_t>(i)] = v;
    }
    if (time) time = toTime(text, v);
    if (dateTime) {
      dateTime = toDateTime(text, v);
      if (dateTime && keys) keys->dateTime[static_cast<std::size_t>(i)] = v;
    }
  }
  if (numeric) return skNumeric;
  if (dateTime) return skDateTime;
  if (time) return skTime;
  return skText;
}

TSortKind TSortGrid::DetectSortKind(int ACol) const { return detectKind(ACol, nullptr); }

void TSortGrid::SortByColumn(int ACol, TSortOptions SortOptions) {
  if (sorting_ || EditorMode() || fixedRows_ + 1 >= RowCount()) return;
  sorting_ = true;
  auto done = qScopeGuard([this] { sorting_ = false; });
  SortKeys detected;
  SortKeys* keys = nullptr;
  if (SortOptions.SortKind == skAutomatic) {
    SortOptions.SortKind = ownerKeys(ACol, detected) ? skNumeric : detectKind(ACol, &detected);
    keys = &detected;
  }
  if (OnBeginSort) {
    OnBeginSort(this, ACol, SortOptions);
    // The handler may have changed the cells; the owner's values stay good while
    // the rows and the kind are as they were.
    if (!detected.fromOwner || SortOptions.SortKind != skNumeric ||
        detected.numeric.size() != static_cast<std::size_t>(RowCount() - fixedRows_))
      keys = nullptr;
    if (fixedRows_ + 1 >= RowCount()) return;
  }
  sortRows(ACol, SortOptions, keys);
  if (OnEndSort) OnEndSort(this, ACol);
}

void TSortGrid::sortRows(int ACol, const TSortOptions& opts, SortKeys* detected) {
  const int first = fixedRows_;
  const auto n = static_cast<std::size_t>(RowCount() - fixedRows_);
  auto cellAt = [&](std::size_t i) -> const QString& { return cellRef(ACol, first + static_cast<int>(i)); };
  // The key of a row: its text, upper-cased unless the sort is case-sensitive.
  auto keyText = [&](std::size_t i) { return opts.CaseSensitive ? cellAt(i) : upperCased(cellAt(i)); };

  std::vector<int> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  const bool descending = opts.SortOrder == soDescending;
  // The tie-break on the source row is never reversed: equal keys keep their order.
  auto finish = [descending](int r, int a, int b) {
    if (r != 0) return descending ? -r : r;
    return a < b ? -1 : (a > b ? 1 : 0);
  };

  if (opts.SortKind == skNumeric || opts.SortKind == skDateTime || opts.SortKind == skTime) {
    // A value converted during detection serves when upper-casing leaves the text
    // as it is (as it does for digits, signs and separators).
    const DateTimeReader toDateTime;
    const std::vector<double>* reuse = nullptr;
    if (detected && opts.SortKind == skNumeric) reuse = &detected->numeric;
    if (detected && opts.SortKind == skDateTime) reuse = &detected->dateTime;
    std::vector<double> values(n);
    std::vector<char> converted(n, 0);
    std::vector<int> valid;
    valid.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      if (reuse && detected->fromOwner) {
        values[i] = (*reuse)[i];
        converted[i] = detected->ownerValid[i];
        if (converted[i]) valid.push_back(static_cast<int>(i));
        continue;
      }
      const QString key = keyText(i);
      bool ok;
      if (reuse && (key.isSharedWith(cellAt(i)) || key == cellAt(i))) {
        values[i] = (*reuse)[i];
        ok = true;
      } else if (opts.SortKind == skNumeric) {
        ok = toNumber(key, values[i]);
      } else if (opts.SortKind == skDateTime) {
        ok = toDateTime(key, values[i]);
      } else {
        ok = toTime(key, values[i]);
      }
      converted[i] = ok;
      if (ok) valid.push_back(static_cast<int>(i));
    }
    mergeSort(valid, [&](int a, int b) {
      const double x = values[static_cast<std::size_t>(a)], y = values[static_cast<std::size_t>(b)];
      return finish(x < y ? -1 : (x > y ? 1 : 0), a, b);
    });
    // A text that does not convert compares equal to everything; such rows stay where
    // they are and the converted ones fill the other positions in order.
    std::size_t next = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (converted[i]) order[i] = valid[next++];
  } else if (opts.SortKind == skCustom) {
    if (opts.CompareProc) {
      std::vector<QString> texts(n);
      for (std::size_t i = 0; i < n; ++i) texts[i] = keyText(i);
      const TCompareProc proc = opts.CompareProc;
      mergeSort(order, [&](int a, int b) {
        return finish(sign(proc(texts[static_cast<std::size_t>(a)], texts[static_cast<std::size_t>(b)])), a, b);
      });
    }
  } else {
    const TextKeys keys(n, opts.CaseSensitive, cellAt);
    mergeSort(order, [&](int a, int b) { return finish(keys.compare(a, b), a, b); });
  }
  applyRowOrder(order);
  sortRecord_ = std::move(order);
}

const QString& TSortGrid::cellRef(int ACol, int ARow) const {
  static const QString empty;
  if (ARow < 0 || ARow >= RowCount() || ACol < 0 || ACol >= colCount_) return empty;
  const auto& cells = rows_[static_cast<std::size_t>(ARow)].cells;
  return static_cast<std::size_t>(ACol) < cells.size() ? cells[static_cast<std::size_t>(ACol)] : empty;
}

// Puts data row FixedRows + order[i] at FixedRows + i, moving the row handles, and
// keeps the current cell (through GoToCell) and the validation record on their data.
void TSortGrid::applyRowOrder(const std::vector<int>& order) {
  const int first = fixedRows_;
  const std::size_t n = order.size();
  std::vector<GridRow> sorted;
  sorted.reserve(n);
  for (int src : order) sorted.push_back(std::move(rows_[static_cast<std::size_t>(first + src)]));
  for (std::size_t i = 0; i < n; ++i) rows_[static_cast<std::size_t>(first) + i] = std::move(sorted[i]);

  std::vector<int> position(n);
  for (std::size_t i = 0; i < n; ++i) position[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
  auto follow = [&](int row) {
    const int rel = row - first;
    return rel >= 0 && static_cast<std::size_t>(rel) < n ? first + position[static_cast<std::size_t>(rel)] : row;
  };
  rememberedCell_.row = follow(rememberedCell_.row);
  GoToCell(current_.col, follow(current_.row));
  invalidate();
}

bool TSortGrid::HasSortRecord() {
  const int n = RowCount() - fixedRows_;
  if (!sortRecord_.empty() && static_cast<int>(sortRecord_.size()) == n) return true;
  sortRecord_.clear();
  return false;
}

void TSortGrid::RestoreUnsortedOrder() {
  if (!HasSortRecord()) return;
  hideEditor();
  // Sorted position i goes back to row order[i]: row p takes the row now at the
  // position whose source was p.
  const std::vector<int> order = std::move(sortRecord_);
  sortRecord_.clear();
  std::vector<int> inverse(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) inverse[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
  applyRowOrder(inverse);
}
