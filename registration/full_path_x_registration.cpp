#include "frame/factory.h"
#include "modules/gui/full_path_x.h"

namespace {
[[maybe_unused]] const int32_t registeredAudio =
    registerDspCreator(MP_TEXT("ZV Full Path Memory-x16"), createModule<FullPathX>);
[[maybe_unused]] const int32_t registeredGui =
    registerGuiCreator(MP_TEXT("ZV Full Path Memory-x16"), createModule<FullPathXGui>);
}  // namespace
