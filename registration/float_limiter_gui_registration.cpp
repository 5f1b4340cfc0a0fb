#include "frame/factory.h"
#include "modules/gui/float_limiter_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE Float Limiter"), createModule<FloatLimiterGui>);
}
