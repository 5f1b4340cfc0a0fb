#include "frame/factory.h"
#include "modules/gui/zv_scope_trois.h"

namespace {
[[maybe_unused]] const int32_t registeredAudio =
    registerDspCreator(MP_TEXT("ZV51MODS: ZV SCOPE V3"), createModule<ZvScopeTrois>);
[[maybe_unused]] const int32_t registeredGui =
    registerGuiCreator(MP_TEXT("ZV51MODS: ZV SCOPE V3"), createModule<ZvScopeTroisGui>);
}  // namespace
