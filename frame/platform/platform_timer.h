// The platform's periodic timer behind the shared GUI timer. Each period the
// platform calls SharedGuiTimer::instance().tick() on the GUI thread.
#pragma once

#include <cstdint>

// Returns a non-zero identifier of the running timer.
uintptr_t platformStartTimer(int32_t milliseconds);
void platformStopTimer(uintptr_t timer);
