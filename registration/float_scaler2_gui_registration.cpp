#include "frame/factory.h"
#include "modules/gui/float_scaler2_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE Float Scaler2"), createModule<FloatScaler2Gui>);
}
