#include "frame/factory.h"
#include "modules/routing/dadsr.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV51MODS ZV-ADSR D"), createModule<Dadsr>);
}
