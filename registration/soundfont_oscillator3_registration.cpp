#include "frame/factory.h"
#include "modules/sampler/soundfont_oscillator3.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerDspCreator(MP_TEXT("SampleOscillator3"), createModule<SoundfontOscillator3>);
}
