#include "frame/factory.h"
#include "modules/conversion/float_to_text_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE FloatToText GUI"), createModule<FloatToTextGui>);
}
