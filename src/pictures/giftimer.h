// The timer pool that every animated GIF picture shares: each picture registers
// one trigger with its own interval, and one timer of the host (the window layer)
// serves them all. The pool knows nothing of windows: the host keeps one timer
// running until NextDue() and calls Fire() when it expires; the pool tells the
// host through OnScheduleChanged whenever the earliest due time may have moved.
//
// User-interface thread only. Triggers may register, change or remove triggers
// (their own included) from inside their callback.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace pictures {

class TGIFTimerPool {
 public:
  using TTrigger = std::function<void()>;

  // The pool of the process.
  static TGIFTimerPool& Instance();

  // Adds a trigger, disabled, that fires every intervalMs milliseconds once
  // enabled. Returns its id (never 0).
  int Register(TTrigger onTrigger, int intervalMs);
  // Removes a trigger; an unknown id is ignored.
  void Unregister(int id);
  // Enabling (re)starts the countdown from now; disabling stops it.
  void SetEnabled(int id, bool on);
  // A new interval (at least 1 ms) that counts from now.
  void SetInterval(int id, int intervalMs);

  bool Enabled(int id) const;
  int Interval(int id) const;
  // Number of enabled triggers.
  int ActiveCount() const;

  // The earliest due time of an enabled trigger, on the Now() clock; nullopt when
  // none is enabled (the host's timer may stop).
  std::optional<std::uint64_t> NextDue() const;
  // Fires every enabled trigger due at now (in id order), each at most once, and
  // schedules its next time one interval later.
  void Fire(std::uint64_t now);

  // The clock in milliseconds (the monotonic tick counter unless replaced).
  std::function<std::uint64_t()> Now;
  // Set by the host.
  std::function<void()> OnScheduleChanged;

 private:
  TGIFTimerPool();
  struct Entry {
    TTrigger OnTrigger;
    int Interval = 10;
    bool Enabled = false;
    std::uint64_t Due = 0;
  };
  void ScheduleChanged();

  std::map<int, Entry> Triggers_;
  int NextId_ = 1;
};

}  // namespace pictures
