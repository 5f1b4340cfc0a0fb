#include "frame/factory.h"
#include "modules/gui/spring2_gui.h"

namespace {
[[maybe_unused]] const int32_t registered = registerGuiCreator(MP_TEXT("SE Spring2"), createModule<Spring2Gui>);
[[maybe_unused]] const int32_t registeredOld = registerGuiCreator(MP_TEXT("SE Spring"), createModule<Spring2Gui>);
}  // namespace
