#include "frame/factory.h"
#include "modules/control/zvmod_cs.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV-MOD CS"), createModule<ZvmodCS>);
}
