#include "cli/progressline.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace cli {

namespace {

int terminalWidth() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

// The end of name that fits in width characters (UTF-8 aware), with "..." in
// front when it had to be cut.
std::string tail(const std::string& name, int width) {
  std::size_t chars = 0;
  for (unsigned char c : name) chars += (c & 0xC0) != 0x80;
  if (static_cast<int>(chars) <= width) return name;
  if (width <= 3) return {};
  std::size_t keep = static_cast<std::size_t>(width - 3), at = name.size();
  while (at > 0 && keep > 0) {
    --at;
    if ((static_cast<unsigned char>(name[at]) & 0xC0) != 0x80) --keep;
  }
  return "..." + name.substr(at);
}

}  // namespace

ProgressLine::ProgressLine(std::string verb) : verb_(std::move(verb)), enabled_(::isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::update(ProgressType type, const std::string& name, std::int64_t size) {
  if (!enabled_) return;
  switch (type) {
    case ptTotalSize:
      total_ = size;
      done_ = 0;
      break;
    case ptFileBegin:
      name_ = name;
      lastPercent_ = -1;  // a new name is always shown
      break;
    case ptFileProgress: done_ += size; break;
    case ptBatchEnd: clear(); return;
    default: return;
  }
  int percent = total_ > 0 ? static_cast<int>(done_ * 100 / total_) : -1;
  if (percent > 100) percent = 100;
  if (percent == lastPercent_ && shown_) return;
  lastPercent_ = percent;
  draw();
}

void ProgressLine::draw() {
  if (!enabled_ || name_.empty()) return;
  std::string line = verb_ + " ";
  if (lastPercent_ >= 0) {
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3d%% ", lastPercent_);
    line += pct;
  }
  int room = terminalWidth() - 1 - static_cast<int>(line.size());
  line += tail(name_, room);
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

void ProgressLine::redraw() {
  if (enabled_ && !shown_) draw();
}

}  // namespace cli
