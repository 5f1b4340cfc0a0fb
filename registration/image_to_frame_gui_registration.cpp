#include "frame/factory.h"
#include "modules/gui/image_to_frame_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE Image to Frame"), createModule<ImageToFrameGui>);
[[maybe_unused]] const int32_t registeredOld =
    registerGuiCreator(MP_TEXT("SE Image to Frame (old)"), createModule<ImageToFrameGui>);
}  // namespace
