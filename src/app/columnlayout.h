// The column layout of the archive listing, worked out from the column
// definitions of the settings ("position=title;True|False;width", section USER).
//
// The definitions are text the user may have edited by hand, so nothing in them
// is trusted: a shown definition takes part only when its position is a number
// from 1 to 6 and its title is one of the six column titles; the grid gets one
// column per such definition (so never more than six), ordered by position, the
// first definition of a title winning. A width that is not a number, or lies
// outside kMinColumnWidth..kMaxColumnWidth, is applied as the column's factory
// width or the nearest bound; the text stored in the settings stays as typed.
// Every definition left out and every width replaced is named in `problems`.
//
// Plain C++, no Qt; no state.
#pragma once

#include <string>
#include <vector>

namespace app {

inline constexpr int kMinColumnWidth = 8;
inline constexpr int kMaxColumnWidth = 2000;

struct PlannedColumn {
  std::string title;
  int width = 0;
};

struct ColumnPlan {
  std::vector<PlannedColumn> columns;  // grid columns from the left
  std::vector<std::string> problems;   // one line per definition not used as it stands
};

ColumnPlan PlanColumnLayout(const std::vector<std::string>& defs);

// The factory width of a column title (80 for an unknown one).
int FactoryColumnWidth(const std::string& title);

}  // namespace app
