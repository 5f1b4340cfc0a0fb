#include "frame/factory.h"
#include "modules/routing/mixm.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV MixM"), createModule<Mixm>);
}
