// TSortGrid sorting: kind detection, the comparison, and moving rows into order.
//
// Each sort converts every key once: numbers, date-times and times become doubles,
// texts are upper-cased once for a case-insensitive sort. The row order is then
// computed on indices with a merge sort whose loops are bounded by the index ranges
// only, so even a custom comparison that contradicts itself cannot make it read
// outside the list. Rows move as whole handles (texts and attached pointers).
#include <QApplication>
#include <QScopeGuard>
#include <charconv>
#include <string>

#include "platform/datetime.h"
#include "widgets/sortgrid.h"

namespace {

bool isAsciiSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v'; }

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

bool toDateTime(const QString& s, double& out) {
  auto dt = platform::parseDateTime(s.toStdString());
  if (!dt) return false;
  out = platform::toSerial(*dt);
  return true;
}

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

}  // namespace

// Keys converted while detecting the kind, kept so the sort need not convert again.
struct TSortGrid::SortKeys {
  std::vector<double> numeric;   // complete when the column is numeric
  std::vector<double> dateTime;  // complete when the column is all date-times
};

TSortKind TSortGrid::detectKind(int ACol, SortKeys* keys) const {
  bool numeric = true, dateTime = true, time = true;
  const int first = fixedRows_, n = RowCount() - fixedRows_;
  if (keys) {
    keys->numeric.assign(static_cast<std::size_t>(std::max(0, n)), 0.0);
    keys->dateTime.assign(static_cast<std::size_t>(std::max(0, n)), 0.0);
  }
  for (int i = 0; i < n && (numeric || dateTime || time); ++i) {
    const QString text = Cells(ACol, first + i);
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
    SortOptions.SortKind = detectKind(ACol, &detected);
    keys = &detected;
  }
  if (OnBeginSort) {
    OnBeginSort(this, ACol, SortOptions);
    keys = nullptr;  // the handler may have changed the cells
    if (fixedRows_ + 1 >= RowCount()) return;
  }
  sortRows(ACol, SortOptions, keys);
  if (OnEndSort) OnEndSort(this, ACol);
}

void TSortGrid::sortRows(int ACol, const TSortOptions& opts, SortKeys* detected) {
  const int first = fixedRows_;
  const auto n = static_cast<std::size_t>(RowCount() - fixedRows_);
  // Sort keys: the cell texts, upper-cased unless the sort is case-sensitive. A key
  // converted during detection is reused when upper-casing left its text alone.
  std::vector<QString> texts(n);
  std::vector<char> unchanged(n, 1);
  for (std::size_t i = 0; i < n; ++i) {
    QString t = Cells(ACol, first + static_cast<int>(i));
    if (!opts.CaseSensitive) {
      QString u = upperCased(t);
      unchanged[i] = u.isSharedWith(t) || u == t;
      t = std::move(u);
    }
    texts[i] = std::move(t);
  }

  std::vector<int> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  const bool descending = opts.SortOrder == soDescending;
  // The tie-break on the source row is never reversed: equal keys keep their order.
  auto finish = [descending](int r, int a, int b) {
    if (r != 0) return descending ? -r : r;
    return a < b ? -1 : (a > b ? 1 : 0);
  };

  if (opts.SortKind == skNumeric || opts.SortKind == skDateTime || opts.SortKind == skTime) {
    const std::vector<double>* reuse = nullptr;
    if (detected && opts.SortKind == skNumeric) reuse = &detected->numeric;
    if (detected && opts.SortKind == skDateTime) reuse = &detected->dateTime;
    std::vector<double> values(n);
    std::vector<int> valid;  // positions whose text converts
    valid.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      bool ok;
      if (reuse && unchanged[i]) {
        values[i] = (*reuse)[i];
        ok = true;
      } else if (opts.SortKind == skNumeric) {
        ok = toNumber(texts[i], values[i]);
      } else if (opts.SortKind == skDateTime) {
        ok = toDateTime(texts[i], values[i]);
      } else {
        ok = toTime(texts[i], values[i]);
      }
      if (ok) valid.push_back(static_cast<int>(i));
    }
    mergeSort(valid, [&](int a, int b) {
      const double x = values[static_cast<std::size_t>(a)], y = values[static_cast<std::size_t>(b)];
      return finish(x < y ? -1 : (x > y ? 1 : 0), a, b);
    });
    // A text that does not convert compares equal to everything; such rows stay where
    // they are and the converted ones fill the other positions in order.
    std::vector<char> isValid(n, 0);
    for (int v : valid) isValid[static_cast<std::size_t>(v)] = 1;
    std::size_t next = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (isValid[i]) order[i] = valid[next++];
  } else if (opts.SortKind == skCustom) {
    if (opts.CompareProc) {
      const TCompareProc proc = opts.CompareProc;
      mergeSort(order, [&](int a, int b) {
        return finish(sign(proc(texts[static_cast<std::size_t>(a)], texts[static_cast<std::size_t>(b)])), a, b);
      });
    }
  } else {
    mergeSort(order, [&](int a, int b) {
      return finish(sign(QString::localeAwareCompare(texts[static_cast<std::size_t>(a)], texts[static_cast<std::size_t>(b)])),
                    a, b);
    });
  }
  applyRowOrder(order);
  sortRecord_ = std::move(order);
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
