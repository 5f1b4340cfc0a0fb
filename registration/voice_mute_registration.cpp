#include "frame/factory.h"
#include "modules/control/voice_mute.h"

extern const char zvBuiltinDescription_voice_mute[];

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("SE Voice Mute"), createModule<VoiceMute>);
[[maybe_unused]] const int32_t described = registerXmlDescription(zvBuiltinDescription_voice_mute);
}  // namespace
