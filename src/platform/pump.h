// The pump hook: long work calls pumpEvents() so the user interface can repaint and
// take a Cancel click. The program sets the hook to the toolkit's event processing;
// without a hook the call does nothing.
#pragma once

#include <functional>

namespace platform {

void setPumpHook(std::function<void()> hook);
void pumpEvents();

}  // namespace platform
