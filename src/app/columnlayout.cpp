#include "app/columnlayout.h"

#include <algorithm>
#include <charconv>

#include "platform/routines.h"

namespace app {

namespace {

struct Factory {
  const char* title;
  int width;
};
constexpr Factory kFactory[] = {{"Filename", 80},  {"Packed", 84}, {"Size", 84},
                                {"Modified", 100}, {"Path", 100},  {"Ratio", 30}};
constexpr int kPositions = static_cast<int>(std::size(kFactory));

bool knownTitle(const std::string& title) {
  return std::any_of(std::begin(kFactory), std::end(kFactory), [&](const Factory& f) { return title == f.title; });
}

// The whole text (blanks around it allowed) as a decimal integer.
bool toInt(std::string text, long long& out) {
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return false;
  const char* b = text.data();
  const char* e = b + text.size();
  if (*b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, out);
  return ec == std::errc() && p == e;
}

}  // namespace

int FactoryColumnWidth(const std::string& title) {
  for (const Factory& f : kFactory)
    if (title == f.title) return f.width;
  return 80;
}

ColumnPlan PlanColumnLayout(const std::vector<std::string>& defs) {
  struct Candidate {
    long long position;
    PlannedColumn column;
  };
  ColumnPlan plan;
  std::vector<Candidate> shown;
  for (const std::string& def : defs) {
    std::string line = def;
    platform::ReplaceText("=", line, ";", false);
    if (platform::GetField(line, 3, ";") != "True") continue;
    const std::string title = platform::GetField(line, 2, ";");
    const std::string width = platform::GetField(line, 4, ";");
    long long position = 0;
    if (!toInt(platform::GetField(line, 1, ";"), position) || position < 1 || position > kPositions) {
      plan.problems.push_back(def + ": the column number must be 1 to " + std::to_string(kPositions) +
                              "; the line is left out");
      continue;
    }
    if (!knownTitle(title)) {
      plan.problems.push_back(def + ": \"" + title + "\" is not a column title; the line is left out");
      continue;
    }
    if (std::any_of(shown.begin(), shown.end(), [&](const Candidate& c) { return c.column.title == title; }))
      continue;  // an older line of the same column, kept in the file by an earlier save
    long long w = 0;
    int applied = 0;
    if (!toInt(width, w)) {
      applied = FactoryColumnWidth(title);
      plan.problems.push_back(def + ": the width \"" + width + "\" is not a number; " + std::to_string(applied) +
                              " pixels are used");
    } else if (w < kMinColumnWidth || w > kMaxColumnWidth) {
      applied = static_cast<int>(std::clamp<long long>(w, kMinColumnWidth, kMaxColumnWidth));
      plan.problems.push_back(def + ": the width must be " + std::to_string(kMinColumnWidth) + " to " +
                              std::to_string(kMaxColumnWidth) + " pixels; " + std::to_string(applied) + " are used");
    } else {
      applied = static_cast<int>(w);
    }
    shown.push_back({position, {title, applied}});
  }
  std::stable_sort(shown.begin(), shown.end(),
                   [](const Candidate& a, const Candidate& b) { return a.position < b.position; });
  for (Candidate& c : shown) plan.columns.push_back(std::move(c.column));
  return plan;
}

}  // namespace app
