#include "frame/factory.h"
#include "modules/effects/delay_trois.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV Delay v3"), createModule<DelayTrois>);
}
