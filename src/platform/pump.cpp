#include "platform/pump.h"

namespace platform {

namespace {
std::function<void()>& hook() {
  static std::function<void()> h;
  return h;
}
}  // namespace

void setPumpHook(std::function<void()> h) { hook() = std::move(h); }

void pumpEvents() {
  if (auto& h = hook()) h();
}

}  // namespace platform
