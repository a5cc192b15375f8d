// A monotonic millisecond clock (never jumps with the wall clock).
#pragma once

#include <cstdint>

namespace platform {

std::uint64_t tickCount();
void sleepMs(unsigned ms);

}  // namespace platform
