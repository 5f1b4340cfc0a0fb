// Without a platform timer the host's GUI loop drives the shared timer
// through the exported MP_GuiTimerTick.
#include "frame/gui_timer.h"
#include "frame/interfaces.h"
#include "frame/platform/platform_timer.h"

namespace {

uintptr_t g_nextTimer = 0;

}  // namespace

uintptr_t platformStartTimer(int32_t) { return ++g_nextTimer; }

void platformStopTimer(uintptr_t) {}

MP_EXPORT int32_t MP_STDCALL MP_GuiTimerTick() {
  SharedGuiTimer& timer = SharedGuiTimer::instance();
  if (!timer.isRunning()) return 0;
  timer.tick();
  return timer.isRunning() ? timer.interval() : 0;
}

MP_EXPORT int32_t MP_STDCALL MP_GuiTimerPeriod() {
  const SharedGuiTimer& timer = SharedGuiTimer::instance();
  return timer.isRunning() ? timer.interval() : 0;
}
