#include "frame/factory.h"
#include "modules/effects/ring_eq_cs.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV-RING ZVQR CS"), createModule<RingEqCS>);
}
