#include "frame/factory.h"
#include "modules/control/prg_ch.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZvPrgChange"), createModule<PrgCh>);
[[maybe_unused]] const int32_t registeredGui = registerGuiCreator(MP_TEXT("ZvPrgChange"), createModule<PrgChGui>);
}  // namespace
