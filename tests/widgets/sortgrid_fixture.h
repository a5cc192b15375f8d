// Helpers for the TSortGrid tests: a grid shown in an active window with the focus,
// filling from rows of text, reading columns back, and real mouse clicks on cells.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <string>
#include <vector>

#include "widgets/sortgrid.h"

namespace sortgridtest {

using Table = std::vector<std::vector<std::string>>;

// Row 0 of the table becomes the title row; no fixed columns.
inline void fill(TSortGrid& g, const Table& t, int fixedRows = 1) {
  g.setColCount(static_cast<int>(t.at(0).size()));
  g.setRowCount(static_cast<int>(t.size()));
  g.setFixedCols(0);
  g.setFixedRows(fixedRows);
  for (std::size_t r = 0; r < t.size(); ++r)
    for (std::size_t c = 0; c < t[r].size(); ++c)
      g.setCells(static_cast<int>(c), static_cast<int>(r), QString::fromStdString(t[r][c]));
}

// The data cells (below the fixed rows) of one column.
inline std::vector<std::string> column(const TSortGrid& g, int c) {
  std::vector<std::string> out;
  for (int r = g.FixedRows(); r < g.RowCount(); ++r) out.push_back(g.Cells(c, r).toStdString());
  return out;
}

inline std::vector<std::string> row(const TSortGrid& g, int r) {
  std::vector<std::string> out;
  for (int c = 0; c < g.ColCount(); ++c) out.push_back(g.Cells(c, r).toStdString());
  return out;
}

// A grid in its own shown, active window, holding the keyboard focus.
struct ShownGrid {
  TSortGrid grid;
  ShownGrid() {
    grid.resize(420, 320);
    grid.show();
    grid.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&grid));
    grid.setFocus();
    QApplication::processEvents();
  }
  QPoint centre(int c, int r) const {
    const QRect rc = grid.CellRect(c, r);
    EXPECT_FALSE(rc.isEmpty()) << "cell " << c << "," << r << " is not on screen";
    return rc.center();
  }
  void click(int c, int r, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::mouseClick(grid.viewport(), b, m, centre(c, r));
  }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(&grid, static_cast<Qt::Key>(k), m); }
};

}  // namespace sortgridtest
