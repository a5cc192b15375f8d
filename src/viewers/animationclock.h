// The one Qt timer that serves the GIF timer pool (pictures/giftimer.h) for every
// picture control of the program: it runs only while some picture animates and
// fires when the earliest trigger is due.
#pragma once

class QTimer;

namespace viewers {

class AnimationClock {
 public:
  // Connects the pool to the timer; needs the application object. Calling it again
  // does nothing.
  static void Install();
  // The timer (nullptr before Install); tests look at whether it runs.
  static QTimer* Timer();
};

}  // namespace viewers
