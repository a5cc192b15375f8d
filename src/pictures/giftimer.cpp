#include "pictures/giftimer.h"

#include <algorithm>
#include <vector>

#include "platform/clock.h"

namespace pictures {

TGIFTimerPool::TGIFTimerPool() : Now([] { return platform::tickCount(); }) {}

TGIFTimerPool& TGIFTimerPool::Instance() {
  static TGIFTimerPool pool;
  return pool;
}

int TGIFTimerPool::Register(TTrigger onTrigger, int intervalMs) {
  const int id = NextId_++;
  Entry& e = Triggers_[id];
  e.OnTrigger = std::move(onTrigger);
  e.Interval = std::max(1, intervalMs);
  return id;
}

void TGIFTimerPool::Unregister(int id) {
  auto it = Triggers_.find(id);
  if (it == Triggers_.end()) return;
  const bool wasEnabled = it->second.Enabled;
  Triggers_.erase(it);
  if (wasEnabled) ScheduleChanged();
}

void TGIFTimerPool::SetEnabled(int id, bool on) {
  auto it = Triggers_.find(id);
  if (it == Triggers_.end() || it->second.Enabled == on) return;
  it->second.Enabled = on;
  if (on) it->second.Due = Now() + static_cast<std::uint64_t>(it->second.Interval);
  ScheduleChanged();
}

void TGIFTimerPool::SetInterval(int id, int intervalMs) {
  auto it = Triggers_.find(id);
  if (it == Triggers_.end()) return;
  it->second.Interval = std::max(1, intervalMs);
  it->second.Due = Now() + static_cast<std::uint64_t>(it->second.Interval);
  if (it->second.Enabled) ScheduleChanged();
}

bool TGIFTimerPool::Enabled(int id) const {
  auto it = Triggers_.find(id);
  return it != Triggers_.end() && it->second.Enabled;
}

int TGIFTimerPool::Interval(int id) const {
  auto it = Triggers_.find(id);
  return it == Triggers_.end() ? 0 : it->second.Interval;
}

int TGIFTimerPool::ActiveCount() const {
  return static_cast<int>(
      std::count_if(Triggers_.begin(), Triggers_.end(), [](const auto& t) { return t.second.Enabled; }));
}

std::optional<std::uint64_t> TGIFTimerPool::NextDue() const {
  std::optional<std::uint64_t> due;
  for (const auto& [id, e] : Triggers_)
    if (e.Enabled && (!due || e.Due < *due)) due = e.Due;
  return due;
}

void TGIFTimerPool::Fire(std::uint64_t now) {
  // Callbacks may change the map: collect the due ids first and look each up again.
  std::vector<int> due;
  for (const auto& [id, e] : Triggers_)
    if (e.Enabled && e.Due <= now) due.push_back(id);
  for (int id : due) {
    auto it = Triggers_.find(id);
    if (it == Triggers_.end() || !it->second.Enabled) continue;
    it->second.Due = now + static_cast<std::uint64_t>(it->second.Interval);
    TTrigger callback = it->second.OnTrigger;  // the trigger may remove itself
    if (callback) callback();
  }
  ScheduleChanged();
}

void TGIFTimerPool::ScheduleChanged() {
  if (OnScheduleChanged) OnScheduleChanged();
}

}  // namespace pictures
