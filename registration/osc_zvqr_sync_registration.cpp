#include "frame/factory.h"
#include "modules/oscillators/osc_zvqr_sync.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("Osc ZVQR Sync"), createModule<OscZvqrSync>);
}
