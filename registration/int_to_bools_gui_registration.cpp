#include "frame/factory.h"
#include "modules/gui/int_to_bools_gui.h"

namespace {
[[maybe_unused]] const int32_t registered = registerGuiCreator(MP_TEXT("SE Int to Bools"), createModule<IntToBoolsGui>);
[[maybe_unused]] const int32_t registeredOld =
    registerGuiCreator(MP_TEXT("SE Bools to Int"), createModule<IntToBoolsGui>);
}  // namespace
