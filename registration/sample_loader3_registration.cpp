#include "frame/factory.h"
#include "modules/sampler/sample_loader3.h"

namespace {
[[maybe_unused]] const int32_t registeredAudio =
    registerDspCreator(MP_TEXT("SampleLoader3Gui"), createModule<SampleLoader3>);
[[maybe_unused]] const int32_t registeredGui =
    registerGuiCreator(MP_TEXT("SampleLoader3Gui"), createModule<SampleLoader3Gui>);
}  // namespace
