#include "frame/factory.h"
#include "modules/effects/dist_over.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV DIST CS"), createModule<DistOver>);
}
