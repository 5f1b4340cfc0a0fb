#include "frame/factory.h"
#include "modules/gui/patch_info_gui.h"

namespace {
[[maybe_unused]] const int32_t registered = registerGuiCreator(MP_TEXT("SE Patch Info"), createModule<PatchInfoGui>);
}
