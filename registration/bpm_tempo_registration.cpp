#include "frame/factory.h"
#include "modules/control/bpm_tempo.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV BPM Tempo"), createModule<BpmTempo>);
}
