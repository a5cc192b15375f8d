#include "viewers/animationclock.h"

#include <QCoreApplication>
#include <QTimer>

#include "pictures/giftimer.h"

namespace viewers {

namespace {

QTimer* g_timer = nullptr;

// Starts the timer for the earliest due trigger, or stops it when none is enabled.
void Rearm() {
  if (!g_timer) return;
  pictures::TGIFTimerPool& pool = pictures::TGIFTimerPool::Instance();
  const auto due = pool.NextDue();
  if (!due) {
    g_timer->stop();
    return;
  }
  const std::uint64_t now = pool.Now();
  g_timer->start(*due > now ? static_cast<int>(std::min<std::uint64_t>(*due - now, 1u << 30)) : 0);
}

}  // namespace

void AnimationClock::Install() {
  if (g_timer || !QCoreApplication::instance()) return;
  // Owned by the application object, so it goes before the event loop does.
  g_timer = new QTimer(QCoreApplication::instance());
  g_timer->setSingleShot(true);
  g_timer->setTimerType(Qt::PreciseTimer);
  pictures::TGIFTimerPool& pool = pictures::TGIFTimerPool::Instance();
  QObject::connect(g_timer, &QTimer::timeout, [&pool] { pool.Fire(pool.Now()); });
  QObject::connect(g_timer, &QObject::destroyed, [&pool] {
    g_timer = nullptr;
    pool.OnScheduleChanged = nullptr;
  });
  pool.OnScheduleChanged = Rearm;
  Rearm();
}

QTimer* AnimationClock::Timer() { return g_timer; }

}  // namespace viewers
