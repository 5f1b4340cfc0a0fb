#include "frame/factory.h"
#include "modules/oscillators/init_osc_zvqr.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("INIT Osc ZVQR"), createModule<InitOscZvqr>);
}
