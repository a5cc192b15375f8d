// One updating status line on standard error while an engine operation runs:
// "<verb> <percent>% <current file>", redrawn in place, only when standard error
// is a terminal (nothing at all otherwise, so logs and pipes stay clean).
#pragma once

#include <cstdint>
#include <string>

#include "zipengine/zipengine.h"

namespace cli {

class ProgressLine {
 public:
  // verb: what the operation does ("adding", "extracting", "testing", "deleting").
  explicit ProgressLine(std::string verb);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool enabled() const { return enabled_; }
  // Feeds one progress event of the engine.
  void update(ProgressType type, const std::string& name, std::int64_t size);
  // Removes the line (before a message is printed, and at the end).
  void clear();
  // Draws the line again after clear().
  void redraw();

 private:
  void draw();

  std::string verb_;
  bool enabled_;
  bool shown_ = false;
  std::string name_;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  int lastPercent_ = -1;
};

}  // namespace cli
