#include <windows.h>

#include "frame/gui_timer.h"
#include "frame/platform/platform_timer.h"

namespace {

void CALLBACK onPlatformTimer(HWND, UINT, UINT_PTR, DWORD) { SharedGuiTimer::instance().tick(); }

}  // namespace

uintptr_t platformStartTimer(int32_t milliseconds) {
  // No window: the callback runs from the GUI thread's message loop.
  return SetTimer(nullptr, 0, static_cast<UINT>(milliseconds > 0 ? milliseconds : 1), onPlatformTimer);
}

void platformStopTimer(uintptr_t timer) { KillTimer(nullptr, timer); }
