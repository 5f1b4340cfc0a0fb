#include "frame/factory.h"
#include "modules/control/bpm_clock3.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV BPM Clock3"), createModule<BpmClock3>);
}
