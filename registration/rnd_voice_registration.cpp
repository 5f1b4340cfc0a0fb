#include "frame/factory.h"
#include "modules/control/rnd_voice.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV51MODS VOICE ID"), createModule<RndVoice>);
}
