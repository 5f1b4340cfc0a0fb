#include "frame/factory.h"
#include "modules/control/voice_watcher_blocker.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerDspCreator(MP_TEXT("SE VoiceWatcherBlocker"), createModule<VoiceWatcherBlocker>);
}
